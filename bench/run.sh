#!/usr/bin/env bash
# Times whole-process runs on the benchmark files, alternating the commands round by
# round so that a change in machine load hits all of them alike:
#   cp (the floor), mutool clean, qpdf, quillmark rewriting every page (-changepart
#   with a target no link has), quillmark stamping every page.
# Prints per command the median wall time, the median CPU time (user + system) and
# the peak resident memory, for big.pdf and big-objstm.pdf (made by make_big.py).
# Usage: bench/run.sh [path of quillmark] [rounds]
set -euo pipefail
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
QM="${1:-$HERE/../build/quillmark}"
ROUNDS="${2:-7}"
WORK="$HERE/work"
[ -f "$WORK/big.pdf" ] || python3 "$HERE/make_big.py"
OUT="$WORK/out"
mkdir -p "$OUT"

for input in big.pdf big-objstm.pdf; do
    IN="$WORK/$input"
    declare -a NAMES=("cp" "mutool clean" "qpdf" "quillmark rewrite" "quillmark stamp")
    declare -a CMDS=(
        "cp $IN $OUT/cp.pdf"
        "mutool clean $IN $OUT/mutool.pdf"
        "qpdf $IN $OUT/qpdf.pdf"
        "$QM $IN $OUT/qm-rewrite.pdf -changepart -link quillmark-no-such-target -newlink x"
        "$QM $IN $OUT/qm-stamp.pdf -text Visit -link https://example.com/ -pos72,72"
    )
    RES="$OUT/times.txt"
    : > "$RES"
    for ((r = 0; r < ROUNDS; r++)); do
        for i in "${!CMDS[@]}"; do
            # wall seconds, user seconds, system seconds, peak RSS in KB
            /usr/bin/time -f "$i %e %U %S %M" -a -o "$RES" ${CMDS[$i]} > /dev/null 2>&1
        done
    done
    echo "== $input ($(du -m "$IN" | cut -f1) MB, $ROUNDS rounds, load average $(cut -d" " -f1 /proc/loadavg)) =="
    printf "%-20s %10s %10s %10s\n" "command" "wall s" "cpu s" "peak MB"
    for i in "${!CMDS[@]}"; do
        sort -k1,1n "$RES" | awk -v id="$i" '$1 == id { print $2, $3 + $4, $5 }' > "$OUT/one.txt"
        wall=$(sort -n -k1,1 "$OUT/one.txt" | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
        cpu=$(sort -n -k2,2 "$OUT/one.txt" | awk '{ v[NR] = $2 } END { printf "%.2f", v[int((NR + 1) / 2)] }')
        mem=$(sort -n -k3,3 "$OUT/one.txt" | awk '{ m = $3 } END { printf "%.1f", m / 1024 }')
        printf "%-20s %10s %10s %10s\n" "${NAMES[$i]}" "$wall" "$cpu" "$mem"
    done
    echo
done
