# Cross-builds the Linux program for 64-bit ARM (a Raspberry Pi on Debian's arm64) against Debian's
# multiarch :arm64 packages, and runs what it builds under qemu-user:
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
#   cmake --build build-arm64 && ctest --test-dir build-arm64 && (cd build-arm64 && cpack -G DEB)
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(SKARVEL_CROSS aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${SKARVEL_CROSS}-gcc)
set(CMAKE_CXX_COMPILER ${SKARVEL_CROSS}-g++)

# Multiarch keeps the arm64 libraries in /usr/lib/aarch64-linux-gnu beside the build machine's and
# shares /usr/include: no separate root to search. CMake takes the library folder from the
# compiler; pkg-config needs its cross wrapper to read the arm64 .pc files.
set(PKG_CONFIG_EXECUTABLE ${SKARVEL_CROSS}-pkg-config CACHE FILEPATH "pkg-config for arm64")

# Programs of the build run under qemu-user. A machine need not have a binfmt handler for arm64, so
# each run names the emulator; the arm64 loader and libraries are found in their multiarch places.
find_program(SKARVEL_QEMU_AARCH64 qemu-aarch64-static qemu-aarch64)
if(SKARVEL_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SKARVEL_QEMU_AARCH64})
endif()
