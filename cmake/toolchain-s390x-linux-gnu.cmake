# Cross build for IBM Z (Debian s390x, big-endian): crossbuild-essential-s390x, run under qemu-s390x.
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(QUILLOCK_CROSS_TRIPLE s390x-linux-gnu)
set(QUILLOCK_CROSS_QEMU qemu-s390x)
include(${CMAKE_CURRENT_LIST_DIR}/CrossToolchain.cmake)
