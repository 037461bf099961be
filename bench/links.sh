#!/usr/bin/env bash
# Times the link phases that read page text on the benchmark file against MuPDF's text
# extraction (mutool draw -F txt), alternating the commands round by round so that a
# change in machine load hits all of them alike: the report of every link, link
# creation over a phrase, and the web-address scan.
# Prints per command the median wall time, the median CPU time (user + system) and the
# peak resident memory.
# Usage: bench/links.sh [path of quillmark] [rounds] [input]
set -euo pipefail
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
QM="${1:-$HERE/../build/quillmark}"
ROUNDS="${2:-5}"
IN="${3:-$HERE/work/big.pdf}"
[ -f "$IN" ] || python3 "$HERE/make_big.py"
OUT="$HERE/work/out"
mkdir -p "$OUT"
RES="$OUT/links_times.txt"
: > "$RES"
NAMES=("mutool draw -F txt" "-report" "-create -text" "-create (web scan)")
CMDS=(
    "mutool draw -q -F txt -o /dev/null $IN"
    "$QM $IN nul -report $OUT/links-report.txt"
    "$QM $IN $OUT/links-create.pdf -create -text sales -link https://example.com/sales"
    "$QM $IN $OUT/links-web.pdf -create"
)
for ((r = 0; r < ROUNDS; r++)); do
    for i in "${!CMDS[@]}"; do
        /usr/bin/time -f "$i %e %U %S %M" -a -o "$RES" ${CMDS[$i]} > /dev/null 2>&1
    done
done
echo "== $(basename "$IN") ($ROUNDS rounds) =="
printf "%-20s %10s %10s %10s\n" "command" "wall s" "cpu s" "peak MB"
for i in "${!CMDS[@]}"; do
    awk -v id="$i" '$1 == id { print $2, $3 + $4, $5 }' "$RES" > "$OUT/links_one.txt"
    wall=$(sort -n -k1,1 "$OUT/links_one.txt" | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
    cpu=$(sort -n -k2,2 "$OUT/links_one.txt" | awk '{ v[NR] = $2 } END { printf "%.2f", v[int((NR + 1) / 2)] }')
    mem=$(sort -n -k3,3 "$OUT/links_one.txt" | awk '{ m = $3 } END { printf "%.1f", m / 1024 }')
    printf "%-20s %10s %10s %10s\n" "${NAMES[$i]}" "$wall" "$cpu" "$mem"
done
