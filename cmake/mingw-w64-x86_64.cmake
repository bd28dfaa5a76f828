# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (POSIX threads
# flavour, so that std::thread and std::mutex are there).
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TERVANE_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TERVANE_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TERVANE_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TERVANE_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TERVANE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under Wine on the build machine (ctest and the test
# discovery go through it).
find_program(TERVANE_WINE wine)
if(TERVANE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TERVANE_WINE})
endif()
