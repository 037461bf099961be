#!/usr/bin/env bash
# Builds Quillmark and runs every test:
#   1. Release build, unit tests and whole-program tests (ctest);
#   2. the same tests built with AddressSanitizer and UndefinedBehaviorSanitizer;
#   3. the Windows cross build of quillmark.exe with MinGW-w64, run under Wine on the
#      bundled sample and compared with the Linux build;
#   4. the fuzz targets for 30 seconds each (fuzz/run_all.sh, when present);
#   5. the house rules: formatting (.clang-format) and clang-tidy (.clang-tidy), see
#      tools/check_style.sh.
# Every build treats compiler warnings as errors (QM_WERROR).
# The whole-program tests include installing (cmake --install), the Debian package
# (cpack -G DEB) and quillmark-parallel against a single run.
# Stops at the first failure. Missing Debian packages are installed when run as root.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"
. tools/deps.sh
qm_ensure_packages build-essential cmake zlib1g-dev libgcrypt20-dev libgtest-dev python3 \
    qpdf mupdf-tools python3-fitz python3-pikepdf python3-reportlab fonts-dejavu-core clang libclang-rt-dev \
    g++-mingw-w64-x86-64 libz-mingw-w64-dev libgcrypt-mingw-w64-dev libgpg-error-mingw-w64-dev \
    wine wine64 parallel faketime dpkg-dev man-db groff-base clang-format clang-tidy

JOBS="$(nproc 2>/dev/null || echo 2)"
step() { printf '\n==== %s ====\n' "$*"; }
# The whole-program tests use the system Python with its Debian modules (fitz,
# pikepdf), also when another python3 comes first on PATH.
PY=()
PYTHON=python3
if [ -x /usr/bin/python3 ]; then PY=(-DPython3_EXECUTABLE=/usr/bin/python3); PYTHON=/usr/bin/python3; fi

step "Release build and tests"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DQM_WERROR=ON -DCMAKE_EXPORT_COMPILE_COMMANDS=ON "${PY[@]}"
cmake --build build -j"$JOBS"
ctest --test-dir build -j"$JOBS" --output-on-failure

step "Sanitizer build (AddressSanitizer + UndefinedBehaviorSanitizer) and tests"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_SANITIZE=ON -DQM_WERROR=ON "${PY[@]}"
cmake --build build-asan -j"$JOBS"
ASAN_OPTIONS="abort_on_error=0:detect_leaks=1:strict_string_checks=1" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    ctest --test-dir build-asan -j"$JOBS" --output-on-failure

step "Windows cross build (MinGW-w64)"
cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release -DQM_WERROR=ON
cmake --build build-win -j"$JOBS" --target quillmark
ls -l build-win/quillmark.exe

step "Windows build under Wine"
# A Wine prefix of its own in a temporary folder, no display, Wine's debug output off.
"$PYTHON" tests/windows/run_under_wine.py build-win/quillmark.exe build/quillmark

if [ -f fuzz/run_all.sh ]; then
    step "Fuzzing (30 seconds per target)"
    bash fuzz/run_all.sh 30
fi

step "House rules: formatting and clang-tidy"
bash tools/check_style.sh build

step "All tests passed"
