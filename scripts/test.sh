#!/usr/bin/env bash
# Builds everything and runs the whole test suite: the program's tests with g++ (warnings as
# errors), the Qt-free tests under AddressSanitizer/UBSan and the fuzzers, built with clang, the
# Windows build, cross-built with MinGW-w64, with its tests under Wine, and the arm64 build with
# its Debian package, its core, simulator and package tests under qemu-user. Ends with each step's
# time and every test that was skipped and why; with CI=true, where the machine has every package
# and runs as root, a test skipped for want of a network namespace, Wine or a sound server fails
# the run.
set -euo pipefail
cd "$(dirname "$0")/.."
# CI allows the whole run 12 minutes: each step's time is shown at the end.
steps=()
step_done() { steps+=("$(printf '%4d s  %s' $((SECONDS - step_start)) "$1")"); step_start=$SECONDS; }
step_start=$SECONDS
bash scripts/install-deps.sh
step_done "Debian packages"

jobs=$(nproc)
status=0
cmake -S . -B build -DSKARVEL_WERROR=ON
cmake --build build -j"$jobs"
step_done "build"

CC=clang CXX=clang++ cmake -S . -B build-asan -DSKARVEL_WITH_QT=OFF -DSKARVEL_SANITIZE=ON -DSKARVEL_FUZZ=ON \
  -DSKARVEL_WERROR=ON
cmake --build build-asan -j"$jobs"
step_done "build-asan"
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build-asan --output-on-failure -j2 \
  --output-junit "$PWD/build-asan/test-results.xml" || status=1
step_done "build-asan: tests"

ctest --test-dir build --output-on-failure -j2 --output-junit "$PWD/build/test-results.xml" || status=1
step_done "build: tests"

# The arm64 build: only what runs under emulation is built (tests/arm64.cmake), once, for both the
# package and the tests.
cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake -DSKARVEL_WERROR=ON
cmake --build build-arm64 -j"$jobs"
step_done "build-arm64"
ctest --test-dir build-arm64 --output-on-failure -j2 --output-junit "$PWD/build-arm64/test-results.xml" || status=1
step_done "build-arm64: tests and package"

# The Windows program's pictures show the Linux one beside it; its tests use the Linux build's
# simulator and click counter.
cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DSKARVEL_WERROR=ON \
  -DSKARVEL_LINUX_PROGRAM="$PWD/build/skarvel" -DSKARVEL_LINUX_TOOLS="$PWD/build"
cmake --build build-win -j"$jobs"
step_done "build-win"
ctest --test-dir build-win --output-on-failure --output-junit "$PWD/build-win/test-results.xml" || status=1
step_done "build-win: tests"

printf '%s\n' "Time of each step:" "${steps[@]}" "$(printf '%4d s  %s' "$SECONDS" "in all")"
python3 scripts/skipped-tests.py build-asan/test-results.xml build/test-results.xml build-arm64/test-results.xml \
  build-win/test-results.xml || status=1
exit "$status"
