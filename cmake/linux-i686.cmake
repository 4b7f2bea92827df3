# The portable code and its native tests built as 32-bit Linux programs with the DLL's code
# generation, run under qemu-i386 user-mode emulation (this machine's kernel runs no 32-bit
# programs itself): 32-bit size_t, long and pointers, and x87 arithmetic, as in the DLL.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)
set(CMAKE_FIND_ROOT_PATH /usr/i686-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
include(${CMAKE_CURRENT_LIST_DIR}/i686-codegen.cmake)
# mingw-w64 has 64-bit file offsets and times; so must this build (a 32-bit readdir under qemu
# on a 64-bit kernel fails with EOVERFLOW without them).
set(CMAKE_C_FLAGS_INIT "${EPD_I686_CODEGEN_FLAGS} -D_FILE_OFFSET_BITS=64 -D_TIME_BITS=64")
# GCC 12 for i686 misreads std::string concatenation inlined at -O2 as an overlapping memcpy of
# 2 GiB (-Wrestrict, GCC bug 105329); the native and mingw builds check the same code.
set(CMAKE_CXX_FLAGS_INIT "${EPD_I686_CODEGEN_FLAGS} -D_FILE_OFFSET_BITS=64 -D_TIME_BITS=64 -Wno-restrict")
# The cross sysroot's own libraries: with Debian's libc6-i386 installed, the loader would take
# the host's /lib32 libc from the system cache, in which a forked child hangs.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386 -L /usr/i686-linux-gnu -E LD_LIBRARY_PATH=/usr/i686-linux-gnu/lib)
