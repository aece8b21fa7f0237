#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once plainly, once under
# AddressSanitizer and UndefinedBehaviorSanitizer (any report fails the run).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALMORA_WERROR=ON
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")

# With clang when there is one: its UBSan also checks float-to-integer conversions.
compiler=()
if command -v clang++ >/dev/null; then compiler=(-DCMAKE_CXX_COMPILER=clang++); fi
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTALMORA_SANITIZE=ON "${compiler[@]}"
cmake --build build-asan -j"$jobs"
export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
(cd build-asan && ctest --output-on-failure -j"$jobs")
