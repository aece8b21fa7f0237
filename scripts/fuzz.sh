#!/usr/bin/env bash
# Builds the script fuzzer with clang in build-fuzz and runs it for SECONDS (default 60) from the
# seed scripts in tests/fuzz/corpus. New inputs gather in build-fuzz/corpus, crashes in
# build-fuzz/artifacts. Any finding fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DTALMORA_FUZZ=ON >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target script_fuzzer
mkdir -p build-fuzz/corpus build-fuzz/artifacts
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export ASAN_OPTIONS=detect_leaks=1
build-fuzz/script_fuzzer -max_total_time="$seconds" -timeout=10 -rss_limit_mb=3072 -max_len=8192 \
  -dict=tests/fuzz/script.dict -artifact_prefix=build-fuzz/artifacts/ -print_final_stats=1 \
  build-fuzz/corpus tests/fuzz/corpus
