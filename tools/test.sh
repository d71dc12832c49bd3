#!/usr/bin/env bash
# Checks the formatting, then builds contourmill and runs every test three ways: with warnings as
# errors, under AddressSanitizer and UndefinedBehaviorSanitizer, and the parser fuzzers briefly.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
jobs=${JOBS:-2}
fuzz_seconds=${FUZZ_SECONDS:-20}
# The compressed-stream fuzzers are many small targets (the chunk table and one per item decoder).
rkp_fuzz_seconds=${RKP_FUZZ_SECONDS:-6}
# The readers of the other point formats have seven small targets.
reader_fuzz_seconds=${READER_FUZZ_SECONDS:-8}

echo "== formatting"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

echo "== build and test (warnings are errors)"
cmake -S . -B build/release -G Ninja -DCONTOURMILL_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j"$jobs"
ctest --test-dir build/release --output-on-failure -j"$jobs" | tee build/release-ctest.log | grep -v "^ *Start\|Passed" || true
grep -q "tests passed, 0 tests failed" build/release-ctest.log

echo "== build and test under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build/sanitize -G Ninja -DCONTOURMILL_WERROR=ON -DCONTOURMILL_SANITIZE=ON \
  -DCONTOURMILL_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/sanitize -j"$jobs"
ctest --test-dir build/sanitize --output-on-failure -j"$jobs" | tee build/sanitize-ctest.log | grep -v "^ *Start\|Passed" || true
grep -q "tests passed, 0 tests failed" build/sanitize-ctest.log

echo "== fuzz the parsers (${fuzz_seconds}s each)"
# Warnings are held to -Werror by the two builds above; clang, needed here only for libFuzzer, reads
# -Wconversion more widely than gcc (sign changes, float to double in every context), so its
# warnings are shown but do not stop the fuzzing.
cmake -S . -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCONTOURMILL_FUZZ=ON -DCONTOURMILL_WERROR=OFF \
  -DCONTOURMILL_TESTS=ON -DCONTOURMILL_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/fuzz -j"$jobs" --target fuzzers
for target in build/fuzz/tests/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  case "$name" in *_replay) continue ;; esac
  corpus="build/fuzz/corpus/$name"
  mkdir -p "$corpus"
  seeds="tests/fuzz/corpus_${name#fuzz_}"
  [ -d "$seeds" ] || seeds="tests/fuzz/corpus_$(echo "${name#fuzz_}" | cut -d_ -f1)"
  [ -d "$seeds" ] || seeds=""
  seconds=$fuzz_seconds
  case "$name" in
    fuzz_rkp_*) seconds=$rkp_fuzz_seconds ;;
    fuzz_lax) seconds=${LAX_FUZZ_SECONDS:-10} ;;
    fuzz_breakline_shp) seconds=${BREAKLINE_FUZZ_SECONDS:-8} ;;
    fuzz_reader_*) seconds=$reader_fuzz_seconds ;;
  esac
  echo "-- $name"
  "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 "$corpus" $seeds 2>&1 | tail -n 12
done
count() { sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$1"; }
echo "tests: $(( $(count build/release-ctest.log) + $(count build/sanitize-ctest.log) )) passed, 0 failed"
