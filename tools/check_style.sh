#!/usr/bin/env bash
# Checks the house rules of the C++ sources:
#   1. every C++ file is formatted as .clang-format says (generated tables excepted);
#   2. clang-tidy's checks of .clang-tidy find nothing in the program's sources.
# Usage: tools/check_style.sh [build folder with compile_commands.json]
# Without a build folder, one is configured in build-tidy (nothing is compiled).
# Fix formatting with: clang-format -i $(git ls-files '*.cpp' '*.h')
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"

# Written by tools/gen_*.py; reformatting them would only be undone by the next run.
GENERATED='^(font/BuiltinTablesData\.cpp|font/GlyphListData\.cpp|writer/FontMetricsData\.cpp)$'

mapfile -t files < <(git ls-files '*.cpp' '*.h' | grep -Ev "$GENERATED")
echo "Format check: ${#files[@]} files"
clang-format --dry-run --Werror "${files[@]}"

BUILD="${1:-build-tidy}"
if [ ! -f "$BUILD/compile_commands.json" ]; then
    # A folder configured already keeps its own options (its tests among them); only
    # the list of compile commands is turned on.
    if [ -f "$BUILD/CMakeCache.txt" ]; then
        cmake -S . -B "$BUILD" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
    else
        cmake -S . -B "$BUILD" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DQM_BUILD_TESTS=OFF >/dev/null
    fi
fi
mapfile -t sources < <(printf '%s\n' "${files[@]}" | grep -E '^(platform|base|stream|pdf|font|text|writer|links|cli)/.*\.cpp$')
echo "clang-tidy: ${#sources[@]} sources"
printf '%s\n' "${sources[@]}" |
    xargs -P"$(nproc 2>/dev/null || echo 2)" -n4 clang-tidy -p "$BUILD" --quiet 2>/dev/null |
    tee "$BUILD/clang-tidy.log" || true
if grep -qE ': (warning|error):' "$BUILD/clang-tidy.log"; then
    echo "clang-tidy found the above" >&2
    exit 1
fi
echo "Style checks passed"
