# 32-bit x86 Linux on an x86-64 Debian host, with the host's multilib
# compilers (Debian: g++-multilib).
#
#   cmake -S . -B build/linux-x86 -G Ninja \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-linux-gnu.cmake
#
# Hosts of this kind need not execute 32-bit programs themselves ("Exec
# format error"), so every program built here runs under user-mode emulation
# (Debian: qemu-user's qemu-i386): CMake starts the test executables through
# CMAKE_CROSSCOMPILING_EMULATOR, and the tests start the program through the
# same emulator. qemu-i386 does not trap on SSE floating-point exceptions; the
# program's outcome does not depend on the trap firing.
# i686 makes the project compile for SSE2 arithmetic (-msse2 -mfpmath=sse):
# every result is rounded to double, never kept in a wider x87 register.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")

find_program(GSCMERGE_QEMU_I386 qemu-i386 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${GSCMERGE_QEMU_I386})
