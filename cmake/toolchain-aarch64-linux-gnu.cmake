# Cross build for 64-bit Arm (Debian arm64): crossbuild-essential-arm64, run under qemu-aarch64.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(QUILLOCK_CROSS_TRIPLE aarch64-linux-gnu)
set(QUILLOCK_CROSS_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/CrossToolchain.cmake)
