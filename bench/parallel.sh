#!/usr/bin/env bash
# Files per second over many small real-world files: the corpus files that open
# (tests/corpus, damaged and encrypted ones left out), each linked under COPIES
# different names, so the list holds COPIES x 23 distinct files of 5 to 270 KB.
# Alternating round by round, each command writes every output into a folder of its
# own (emptied before each round):
#   one quillmark process over the list (batch mode),
#   tools/quillmark-parallel with one and with two workers,
#   qpdf run once per file (a rewrite, for scale; over every tenth file of the list),
# in two modes: a stamp on every page, and a report of every link (-fnul -report).
# Prints the median wall time, the median CPU time (user + system, children included)
# and files per second of each.
# Usage: bench/parallel.sh [path of quillmark] [rounds] [copies]
set -euo pipefail
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
ROOT="$(cd "$HERE/.." && pwd)"
QM="$(readlink -f "${1:-$ROOT/build/quillmark}")"
ROUNDS="${2:-5}"
COPIES="${3:-40}"
TOOL="$ROOT/tools/quillmark-parallel"
WORK="$HERE/work/parallel"

rm -rf "$WORK"
mkdir -p "$WORK/in"
for ((r = 1; r <= COPIES; r++)); do
    for f in "$ROOT"/tests/corpus/*.pdf; do
        case "$(basename "$f")" in damaged-* | encrypted-*) continue ;; esac
        ln -s "$f" "$WORK/in/c$r-$(basename "$f")"
    done
done
ls "$WORK"/in/*.pdf > "$WORK/list.txt"
awk 'NR % 10 == 1' "$WORK/list.txt" > "$WORK/tenth.txt"
FILES="$(wc -l < "$WORK/list.txt")"
TENTH="$(wc -l < "$WORK/tenth.txt")"
cd "$WORK"

STAMP=(-text Batch -link https://b.example/)
REPORT=(-report rep.txt -reportappend)
NAMES=("stamp, one process" "stamp, quillmark-parallel -j 1" "stamp, quillmark-parallel -j 2"
       "report, one process" "report, quillmark-parallel -j 1" "report, quillmark-parallel -j 2"
       "qpdf per file (a tenth)")
run_cmd() {
    case "$1" in
        0) "$QM" list.txt -fout "${STAMP[@]}" ;;
        1) "$TOOL" --quillmark "$QM" -j 1 list.txt -fout "${STAMP[@]}" ;;
        2) "$TOOL" --quillmark "$QM" -j 2 list.txt -fout "${STAMP[@]}" ;;
        3) "$QM" list.txt -fnul "${REPORT[@]}" ;;
        4) "$TOOL" --quillmark "$QM" -j 1 list.txt -fnul "${REPORT[@]}" ;;
        5) "$TOOL" --quillmark "$QM" -j 2 list.txt -fnul "${REPORT[@]}" ;;
        6) while IFS= read -r f; do qpdf "$f" "out/$(basename "$f")"; done < tenth.txt ;;
    esac
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
declare -A WALL CPU
TIMEFORMAT='%R %U %S'
for ((round = 1; round <= ROUNDS; round++)); do
    for i in "${!NAMES[@]}"; do
        rm -rf out rep.txt
        mkdir -p out
        t="$({ time run_cmd "$i" > /dev/null 2>&1; } 2>&1)"
        read -r wall user sys <<< "$t"
        WALL[$i]+="$wall "
        CPU[$i]+="$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }') "
    done
done

echo "$FILES files, $ROUNDS rounds, load average $(cut -d' ' -f1-3 /proc/loadavg)"
printf '| %-32s | %7s | %7s | %9s |\n' "command" "wall s" "cpu s" "files/s"
printf '|%s|%s|%s|%s|\n' "----------------------------------" "---------" "---------" "-----------"
for i in "${!NAMES[@]}"; do
    w="$(tr ' ' '\n' <<< "${WALL[$i]}" | grep . | median)"
    c="$(tr ' ' '\n' <<< "${CPU[$i]}" | grep . | median)"
    n="$FILES"
    [ "$i" != 6 ] || n="$TENTH"
    printf '| %-32s | %7.2f | %7.2f | %9.0f |\n' "${NAMES[$i]}" "$w" "$c" "$(awk -v f="$n" -v w="$w" 'BEGIN { print f / w }')"
done
rm -rf "$WORK"
