#!/usr/bin/env bash
# Times whole-process runs on the benchmark files, alternating the commands round by
# round so that a change in machine load hits all of them alike:
#   cp (the floor), mutool clean, qpdf, quillmark rewriting every page (-changepart
#   with a target no link has), quillmark stamping every page.
# Every command writes over its own output of the round before, as a script run again
# over the same files would.
# Prints per command the median wall time and the median CPU time (user + system) in
# milliseconds (bash's own timer), and the peak resident memory (GNU time, in a
# separate run of each command), then quillmark's ratios against the targets: at most
# 2.5 times cp, at least 2 times faster than mutool clean, 10 times faster than qpdf.
# Usage: bench/run.sh [path of quillmark] [rounds]
set -euo pipefail
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
QM="${1:-$HERE/../build/quillmark}"
ROUNDS="${2:-7}"
WORK="$HERE/work"
[ -f "$WORK/big.pdf" ] || python3 "$HERE/make_big.py"
OUT="$WORK/out"
mkdir -p "$OUT"

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

for input in big.pdf big-objstm.pdf; do
    IN="$WORK/$input"
    NAMES=("cp" "mutool clean" "qpdf" "quillmark rewrite" "quillmark stamp")
    CMDS=(
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
            # id, wall, user and system seconds with three decimals
            TIMEFORMAT="$i %3R %3U %3S"
            { time ${CMDS[$i]} > /dev/null 2>&1; } 2>> "$RES"
        done
    done
    echo "== $input ($(du -m "$IN" | cut -f1) MB, $ROUNDS rounds, load average $(cut -d" " -f1 /proc/loadavg)) =="
    printf "%-20s %10s %10s %10s\n" "command" "wall ms" "cpu ms" "peak MB"
    declare -a WALL
    for i in "${!CMDS[@]}"; do
        wall=$(awk -v id="$i" '$1 == id { printf "%.0f\n", $2 * 1000 }' "$RES" | median)
        cpu=$(awk -v id="$i" '$1 == id { printf "%.0f\n", ($3 + $4) * 1000 }' "$RES" | median)
        /usr/bin/time -f "%M" -o "$OUT/mem.txt" ${CMDS[$i]} > /dev/null 2>&1
        mem=$(awk '{ printf "%.1f", $1 / 1024 }' "$OUT/mem.txt")
        WALL[$i]=$wall
        printf "%-20s %10s %10s %10s\n" "${NAMES[$i]}" "$wall" "$cpu" "$mem"
    done
    for q in 3 4; do
        awk -v n="${NAMES[$q]}" -v q="${WALL[$q]}" -v c="${WALL[0]}" -v m="${WALL[1]}" -v p="${WALL[2]}" 'BEGIN {
            printf "%s: %.2f x cp (target <= 2.5), %.2f x faster than mutool clean (>= 2), %.1f x faster than qpdf (>= 10)\n",
                n, q / c, m / q, p / q }'
    done
    echo
done
