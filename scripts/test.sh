#!/usr/bin/env bash
# Builds everything and runs the whole test suite: the program's tests with g++ (warnings as
# errors), the Qt-free tests under AddressSanitizer/UBSan and the fuzzers, built with clang, and
# the Windows build, cross-built with MinGW-w64, with its tests under Wine. Ends with every test
# that was skipped and why; with CI=true, where the machine has every package and runs as root,
# a test skipped for want of a network namespace, Wine or a sound server fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

jobs=$(nproc)
status=0
cmake -S . -B build -DSKARVEL_WERROR=ON
cmake --build build -j"$jobs"

CC=clang CXX=clang++ cmake -S . -B build-asan -DSKARVEL_WITH_QT=OFF -DSKARVEL_SANITIZE=ON -DSKARVEL_FUZZ=ON \
  -DSKARVEL_WERROR=ON
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build-asan --output-on-failure -j2 \
  --output-junit "$PWD/build-asan/test-results.xml" || status=1

ctest --test-dir build --output-on-failure -j2 --output-junit "$PWD/build/test-results.xml" || status=1

# The Windows program's pictures show the Linux one beside it; its tests use the Linux build's
# simulator and click counter.
cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DSKARVEL_WERROR=ON \
  -DSKARVEL_LINUX_PROGRAM="$PWD/build/skarvel" -DSKARVEL_LINUX_TOOLS="$PWD/build"
cmake --build build-win -j"$jobs"
ctest --test-dir build-win --output-on-failure --output-junit "$PWD/build-win/test-results.xml" || status=1

python3 scripts/skipped-tests.py build-asan/test-results.xml build/test-results.xml build-win/test-results.xml \
  || status=1
exit "$status"
