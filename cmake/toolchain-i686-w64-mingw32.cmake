# Cross build for Windows (i686) with the MinGW-w64 compilers of the host
# distribution (Debian: g++-mingw-w64-i686).
#
#   cmake -S . -B build/windows-x86 -G Ninja \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake
#
# The program is linked statically, runtime libraries included, so the .exe
# runs on its own without any MinGW DLL beside it.
set(CMAKE_SYSTEM_NAME Windows)
# i686 makes the project compile for SSE2 arithmetic (-msse2 -mfpmath=sse):
# every result is rounded to double, never kept in a wider x87 register.
set(CMAKE_SYSTEM_PROCESSOR i686)

set(GSCMERGE_MINGW_TRIPLE i686-w64-mingw32)
# Debian installs each compiler twice, for the "win32" and the "posix" thread
# model, and points the plain name at the win32 one. The program itself is
# single-threaded, but GoogleTest needs std::mutex, which only the posix
# model provides; its threading library is linked statically like the rest.
find_program(GSCMERGE_MINGW_CXX NAMES ${GSCMERGE_MINGW_TRIPLE}-g++-posix ${GSCMERGE_MINGW_TRIPLE}-g++
             NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_program(GSCMERGE_MINGW_CC NAMES ${GSCMERGE_MINGW_TRIPLE}-gcc-posix ${GSCMERGE_MINGW_TRIPLE}-gcc
             NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(CMAKE_C_COMPILER ${GSCMERGE_MINGW_CC})
set(CMAKE_CXX_COMPILER ${GSCMERGE_MINGW_CXX})
set(CMAKE_RC_COMPILER ${GSCMERGE_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${GSCMERGE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
