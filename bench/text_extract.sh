#!/usr/bin/env bash
# Times the text extraction of every page of the benchmark file against MuPDF's text
# extraction (mutool draw -F txt), alternating the commands round by round so that a
# change in machine load hits both alike. qm_textdump -q hands the records over page
# by page; -v collects all of them in one vector as the link handler does.
# Prints per command the median wall time, the median CPU time (user + system) and the
# peak resident memory.
# Usage: bench/text_extract.sh [build dir with qm_textdump] [rounds] [input]
set -euo pipefail
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
BUILD="${1:-$HERE/../build}"
ROUNDS="${2:-5}"
IN="${3:-$HERE/work/big.pdf}"
[ -f "$IN" ] || python3 "$HERE/make_big.py"
OUT="$HERE/work/out"
mkdir -p "$OUT"
RES="$OUT/text_times.txt"
: > "$RES"
NAMES=("mutool draw -F txt" "qm_textdump -q" "qm_textdump -v")
CMDS=(
    "mutool draw -q -F txt -o /dev/null $IN"
    "$BUILD/qm_textdump -q $IN"
    "$BUILD/qm_textdump -v $IN"
)
for ((r = 0; r < ROUNDS; r++)); do
    for i in "${!CMDS[@]}"; do
        /usr/bin/time -f "$i %e %U %S %M" -a -o "$RES" ${CMDS[$i]} > /dev/null 2>&1
    done
done
echo "== $(basename "$IN") ($ROUNDS rounds) =="
printf "%-20s %10s %10s %10s\n" "command" "wall s" "cpu s" "peak MB"
for i in "${!CMDS[@]}"; do
    awk -v id="$i" '$1 == id { print $2, $3 + $4, $5 }' "$RES" > "$OUT/text_one.txt"
    wall=$(sort -n -k1,1 "$OUT/text_one.txt" | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
    cpu=$(sort -n -k2,2 "$OUT/text_one.txt" | awk '{ v[NR] = $2 } END { printf "%.2f", v[int((NR + 1) / 2)] }')
    mem=$(sort -n -k3,3 "$OUT/text_one.txt" | awk '{ m = $3 } END { printf "%.1f", m / 1024 }')
    printf "%-20s %10s %10s %10s\n" "${NAMES[$i]}" "$wall" "$cpu" "$mem"
done
