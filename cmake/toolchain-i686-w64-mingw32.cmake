# Cross build for Windows (i686) with the MinGW-w64 compilers of the host
# distribution (Debian: g++-mingw-w64-i686).
#
#   cmake -S . -B build/windows-x86 -G Ninja \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake
#
# The program is linked statically, runtime libraries included, so the .exe
# runs on its own without any MinGW DLL beside it.
# i686 makes the project compile for SSE2 arithmetic (-msse2 -mfpmath=sse):
# every result is rounded to double, never kept in a wider x87 register.
set(CMAKE_SYSTEM_PROCESSOR i686)

set(GSCMERGE_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
