# Cross-compiles for 64-bit Windows with Debian's mingw-w64 toolchain
# (g++-mingw-w64-x86-64): cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VELDRATH_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VELDRATH_MINGW_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${VELDRATH_MINGW_TRIPLET}-g++)
set(CMAKE_RC_COMPILER ${VELDRATH_MINGW_TRIPLET}-windres)

# Headers and libraries come from the Windows sysroot only, never the host's;
# programs run during the build are the host's.
set(CMAKE_FIND_ROOT_PATH /usr/${VELDRATH_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
