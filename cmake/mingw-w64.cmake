# Cross build for 64-bit Windows with Debian's MinGW-w64 (the posix thread model, so std::thread
# and std::mutex work). Use: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake, or
# scripts/build-windows.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ARKEVEN_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ARKEVEN_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ARKEVEN_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ARKEVEN_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ARKEVEN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test executables run under wine when ctest or gtest discovery runs them from Linux.
find_program(ARKEVEN_WINE NAMES wine wine64)
if(ARKEVEN_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ARKEVEN_WINE})
endif()

# One self-contained executable: the C and C++ runtimes and winpthread linked in, so the CD
# needs no DLL beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
