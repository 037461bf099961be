#!/usr/bin/env bash
# Runs one quillmark binary over a set of PDFs in every mode and keeps what each run
# produced (output PDF, report, printed messages, exit status) in a folder, so that two
# builds can be compared with `diff -r`:
#
#   bash tools/mode_matrix.sh <quillmark> <result folder> [pdf or folder ...]
#   diff -r before/ after/
#
# Default inputs: tests/corpus/*.pdf and examples/sample.pdf. The clock is frozen with
# faketime (Debian package faketime) so that the stamp's font resource name, drawn from
# the time, is the same in every run.
set -uo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BIN="$(readlink -f "$1")"; OUT="$2"; shift 2
[ $# -gt 0 ] || set -- "$ROOT"/tests/corpus "$ROOT"/examples/sample.pdf
command -v faketime >/dev/null || { echo "needs faketime (apt-get install faketime)"; exit 2; }
FAKE=(faketime -f "@2026-01-01 00:00:00")

inputs=()
for a in "$@"; do
    if [ -d "$a" ]; then for f in "$a"/*.pdf; do inputs+=("$(readlink -f "$f")"); done
    else inputs+=("$(readlink -f "$a")"); fi
done

rm -rf "$OUT"; mkdir -p "$OUT"; OUT="$(readlink -f "$OUT")"
WORK="$(mktemp -d)"; trap 'rm -rf "$WORK"' EXIT
printf 'the\nPDF\nexample\nlink text\n' > "$WORK/words.txt"
printf 'the|https://the.example/\nPDF|https://pdf.example/\nexample|https://ex.example/path\n' > "$WORK/links.txt"

# name|options (run from $WORK; rep.txt is the report file)
MODES=(
  "stamp|-text Visit -link https://example.com/"
  "stamp-placed|-text Placed -link https://p.example/ -pos-1,40 -angle90 -force -flipv -fliph -align right -font Times-Roman -size14 -color3366FF -s2 -e3"
  "stamp-visible|-text Box -link notes.txt -linkaction Open_a_file -linktype Visible_Rectangle -linestyle Dashed -linethickness Thick -highlightstyle Outline -posLength10 -posHeight5"
  "create-text|-create -text the -link https://found.example/"
  "create-web|-create"
  "textfile|-create -textfile words.txt -link https://tf.example/"
  "linkfile|-create -linkfile links.txt"
  "remove-all|-remove"
  "remove-target|-remove -link http"
  "remove-text|-remove -textlink example"
  "change-target|-change -link https://www.example.com -newlink https://changed.example/"
  "change-text|-change -textlink example -newlink https://changed.example/"
  "changepart|-changepart -link example -newlink EXAMPLE"
  "report|-report rep.txt"
  "report-pos|-report rep.txt -reportpos"
  "range|-s2 -e2 -text Range -link https://r.example/"
)

run_one() {  # <input> <mode name> <options...>
    local in="$1" name="$2"; shift 2
    local base; base="$(basename "$in" .pdf)"
    local dir="$OUT/$base"; mkdir -p "$dir"
    rm -f "$WORK/out.pdf" "$WORK/rep.txt"
    ( cd "$WORK" && "${FAKE[@]}" "$BIN" "$in" out.pdf "$@" > "$WORK/msg" 2>&1; echo $? > "$WORK/rc" )
    sed "s#$in#INPUT#g" "$WORK/msg" > "$dir/$name.msg"
    cp "$WORK/rc" "$dir/$name.rc"
    [ -f "$WORK/out.pdf" ] && cp "$WORK/out.pdf" "$dir/$name.pdf"
    [ -f "$WORK/rep.txt" ] && sed "s#$in#INPUT#g" "$WORK/rep.txt" > "$dir/$name.report"
    return 0
}

for in in "${inputs[@]}"; do
    for m in "${MODES[@]}"; do
        name="${m%%|*}"; opts="${m#*|}"
        # underscores stand for spaces inside one option value
        read -r -a argv <<< "$opts"
        for i in "${!argv[@]}"; do argv[$i]="${argv[$i]//_/ }"; done
        run_one "$in" "$name" "${argv[@]}"
    done
done

# One batch run over every input with a list file, and a batch report.
# damaged and encrypted files last: a file that fails ends a batch
printf '%s\n' "${inputs[@]}" | grep -v -e /damaged- -e /encrypted- > "$WORK/list.txt"
printf '%s\n' "${inputs[@]}" | grep -e /damaged- -e /encrypted- >> "$WORK/list.txt"
mkdir -p "$WORK/batch"
( cd "$WORK" && "${FAKE[@]}" "$BIN" list.txt -fbatch -text Batch -link https://b.example/ > "$WORK/msg" 2>&1; echo $? > "$OUT/batch.rc" )
sed "s#$WORK#WORK#g" "$WORK/msg" > "$OUT/batch.msg"
mkdir -p "$OUT/batch"; cp "$WORK"/batch/*.pdf "$OUT/batch/" 2>/dev/null
( cd "$WORK" && "${FAKE[@]}" "$BIN" list.txt -fnul -report batchrep.txt -reportappend > "$WORK/msg" 2>&1; echo $? > "$OUT/batch-report.rc" )
sed "s#$WORK#WORK#g" "$WORK/msg" > "$OUT/batch-report.msg"
[ -f "$WORK/batchrep.txt" ] && cp "$WORK/batchrep.txt" "$OUT/batch-report.report"
echo "$(find "$OUT" -type f | wc -l) files in $OUT"
