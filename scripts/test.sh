#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once plainly, once under
# AddressSanitizer and UndefinedBehaviorSanitizer, then the threads' tests under ThreadSanitizer
# (any report fails the run).
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

# ThreadSanitizer over what runs on threads of its own: the frame pipeline, the banded colour
# conversion, the compressors' threads, a short render through all of them with texts drawn, and
# the preview server, whose requests draw frames and check the script on the server's threads.
# Only these targets are built; tests/tsan.supp names the libraries built without it.
if command -v clang++ >/dev/null; then
  cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALMORA_TSAN=ON -DCMAKE_CXX_COMPILER=clang++
  cmake --build build-tsan -j"$jobs" --target test_movie test_video test_serve talmora
  export TSAN_OPTIONS="halt_on_error=1 suppressions=$PWD/tests/tsan.supp"
  build-tsan/test_movie
  build-tsan/test_video --gtest_filter='MovieRenderTest.*'
  build-tsan/test_serve
  scene=$(mktemp -d)
  trap 'rm -rf "$scene"' EXIT
  bash examples/make-assets.sh "$scene" intro >/dev/null
  for codec in H264 FFV1 MJPG; do
    build-tsan/talmora --codec "$codec" --to 2 "$scene/intro.xml" </dev/null >/dev/null
  done
fi
