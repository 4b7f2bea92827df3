# How the 32-bit code is generated, in one place for both i686 toolchains: mingw-i686.cmake (the
# DLL the host loads) and linux-i686.cmake (the same code built for Linux, whose tests run under
# qemu-i386). The floating-point unit is named, not left to each compiler's defaults: the x87
# unit, whose 80-bit intermediates the tests of the Linux build must meet exactly as the DLL does.
# Each toolchain starts its CMAKE_<LANG>_FLAGS_INIT with them;
# scripts/check-i686-codegen.sh compares what both compilers make of these options.
set(EPD_I686_CODEGEN_FLAGS "-march=pentiumpro -mtune=generic -mfpmath=387 -fexcess-precision=fast")
