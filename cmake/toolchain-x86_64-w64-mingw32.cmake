# Cross build for Windows (x86_64) with the MinGW-w64 compilers of the host
# distribution (Debian: g++-mingw-w64-x86-64).
#
#   cmake -S . -B build/windows-x64 -G Ninja \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake
#
# The program is linked statically, runtime libraries included, so the .exe
# runs on its own without any MinGW DLL beside it.
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(GSCMERGE_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
