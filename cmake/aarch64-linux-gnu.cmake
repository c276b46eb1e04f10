# 64-bit Arm Linux from an x86-64 Debian: the cross compiler of g++-aarch64-linux-gnu, the arm64
# libraries of dpkg's multiarch layout (libhwy-dev:arm64 in /usr/lib/aarch64-linux-gnu), and
# qemu-user to run what is built.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
# find_package looks in lib/aarch64-linux-gnu and never in the host's lib/x86_64-linux-gnu.
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
# The programs run on multiarch's C library (libc6:arm64, a dependency of Highway's arm64
# package), loaded from /lib/ld-linux-aarch64.so.1. Not with `-L /usr/aarch64-linux-gnu`: that
# tree's loader comes from the cross toolchain's older build of glibc and still loads multiarch's
# libc.so.6 from /lib/aarch64-linux-gnu; a loader and a libc of two builds hang in pthread_create.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)
