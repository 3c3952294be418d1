# The part of the MinGW-w64 toolchain files that both targets share; the
# including file sets CMAKE_SYSTEM_PROCESSOR and GSCMERGE_MINGW_TRIPLE first.
set(CMAKE_SYSTEM_NAME Windows)

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
