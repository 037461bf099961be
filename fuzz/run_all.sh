#!/bin/bash
# Builds every libFuzzer target with clang in build-fuzz and runs each one for
# the given number of seconds (default 60), starting from its seeds and
# regression inputs. Exits non-zero on the first finding; the input that
# caused it is left in build-fuzz/findings/<target>/.
#   fuzz/run_all.sh 120
#   fuzz/run_all.sh 60 fuzz_flate      (only the named targets)
set -euo pipefail

seconds=${1:-60}
shift || true
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QM_FUZZ_BUILD:-$root/build-fuzz}
jobs=${QM_FUZZ_JOBS:-2}

mkdir -p "$build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
      -DQM_FUZZ=ON -DQM_BUILD_TESTS=OFF > "$build/configure.log" 2>&1 || {
    cat "$build/configure.log"; exit 2; }

if [ $# -gt 0 ]; then
    targets=("$@")
else
    targets=()
    for src in "$root"/fuzz/fuzz_*.cpp; do
        targets+=("$(basename "$src" .cpp)")
    done
fi

cmake --build "$build" -j"$jobs" --target "${targets[@]}"

# Runs one target; its output goes to a log file that is shown on a finding.
run_one() {
    local t=$1
    local corpus="$build/corpus/$t" findings="$build/findings/$t"
    mkdir -p "$corpus" "$findings"
    local dirs=("$corpus")
    for d in "$root/fuzz/seeds/$t" "$root/fuzz/regressions/$t"; do
        [ -d "$d" ] && dirs+=("$d")
    done
    local exe="$build/fuzz/$t"
    if [ ! -x "$exe" ]; then
        echo "== $t: not built"
        return 2
    fi
    if ! "$exe" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
            -print_final_stats=1 -artifact_prefix="$findings/" "${dirs[@]}" > "$build/$t.log" 2>&1; then
        tail -n 60 "$build/$t.log"
        echo "== $t: FINDING (see $findings)"
        return 1
    fi
    echo "== $t: ${seconds}s, no finding ($(grep -m1 -o 'stat::number_of_executed_units: [0-9]*' "$build/$t.log" | awk '{print $2}') runs)"
}

# The targets run $jobs at a time, one per core.
status=0
pids=()
names=()
for t in "${targets[@]}"; do
    run_one "$t" &
    pids+=($!)
    names+=("$t")
    if [ "${#pids[@]}" -ge "$jobs" ]; then
        for i in "${!pids[@]}"; do
            wait "${pids[$i]}" || status=1
        done
        pids=()
        names=()
        [ $status -eq 0 ] || break
    fi
done
for i in "${!pids[@]}"; do
    wait "${pids[$i]}" || status=1
done
exit $status
