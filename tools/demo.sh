#!/usr/bin/env bash
# Builds quillmark and runs its main jobs on the bundled sample examples/sample.pdf:
#   1. stamps a line of text carrying a link on every page;
#   2. creates links over the web addresses written in the page text;
#   3. writes a report of every link of the result and prints it.
# The outputs land in build-demo/demo/. Missing Debian packages are installed when
# run as root.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"
. tools/deps.sh
qm_ensure_packages build-essential cmake zlib1g-dev libgcrypt20-dev

JOBS="$(nproc 2>/dev/null || echo 2)"
cmake -S . -B build-demo -DCMAKE_BUILD_TYPE=Release -DQM_BUILD_TESTS=OFF
cmake --build build-demo -j"$JOBS" --target quillmark

QM="$ROOT/build-demo/quillmark"
SAMPLE="examples/sample.pdf"
OUT="build-demo/demo"
mkdir -p "$OUT"

if [ ! -f "$SAMPLE" ]; then
    "$QM"
    echo "(no $SAMPLE in this checkout: only the usage text is shown)"
    exit 0
fi

echo
echo "== 1. Stamp a link on every page =="
"$QM" "$SAMPLE" "$OUT/sample-stamped.pdf" \
    -text "Quillmark home page" -link "https://quillmark.example.com" \
    -pos20,20 -size12 -color0000FF -linktype "Visible Rectangle" -linkcolor0000FF

echo
echo "== 2. Create links over the web addresses in the text =="
"$QM" "$OUT/sample-stamped.pdf" "$OUT/sample-linked.pdf" -create

echo
echo "== 3. Report every link of the result =="
"$QM" "$OUT/sample-linked.pdf" "$OUT/report-run.pdf" -report "$OUT/links.txt" -reportpos

echo
echo "---- $OUT/links.txt ----"
cat "$OUT/links.txt"
echo "------------------------"
echo "Outputs: $OUT/sample-stamped.pdf, $OUT/sample-linked.pdf, $OUT/links.txt"
