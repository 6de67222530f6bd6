# Cross-builds Skarvel for 64-bit Windows with MinGW-w64 and runs what it builds under Wine:
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#   cmake --build build-win && ctest --test-dir build-win
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The -posix compilers: the win32 thread model has no std::thread or std::mutex.
set(SKARVEL_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${SKARVEL_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SKARVEL_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${SKARVEL_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${SKARVEL_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C++ runtime, libgcc and winpthreads linked in: a program needs no DLL beside it. (Under a
# quiet Wine a missing DLL shows only as exit code 53.)
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# Programs of the build run under Wine, with a Wine prefix of the build's own.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${CMAKE_BINARY_DIR}/wine)
