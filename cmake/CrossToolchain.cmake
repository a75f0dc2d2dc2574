# The part every cross toolchain file shares: Debian's cross compiler for
# QUILLOCK_CROSS_TRIPLE, the target's libraries, and qemu's user-mode emulation
# to run what was built. A toolchain file sets QUILLOCK_CROSS_TRIPLE,
# CMAKE_SYSTEM_PROCESSOR and QUILLOCK_CROSS_QEMU, then includes this file.
#
# The target's libraries come from QUILLOCK_CROSS_SYSROOT, a folder holding
# Debian's packages of that architecture unpacked (scripts/test-cross makes
# one), else from Debian's multiarch folders (packages installed as
# zlib1g-dev:ARCH and so on).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${QUILLOCK_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${QUILLOCK_CROSS_TRIPLE}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${QUILLOCK_CROSS_TRIPLE})

# try_compile reads this file again without the cache: the folder travels in
# the environment.
if(QUILLOCK_CROSS_SYSROOT)
    set(ENV{QUILLOCK_CROSS_SYSROOT} "${QUILLOCK_CROSS_SYSROOT}")
elseif(DEFINED ENV{QUILLOCK_CROSS_SYSROOT})
    set(QUILLOCK_CROSS_SYSROOT "$ENV{QUILLOCK_CROSS_SYSROOT}")
endif()

if(QUILLOCK_CROSS_SYSROOT)
    set(CMAKE_FIND_ROOT_PATH ${QUILLOCK_CROSS_SYSROOT} /usr/${QUILLOCK_CROSS_TRIPLE})
    set(ENV{PKG_CONFIG_SYSROOT_DIR} "${QUILLOCK_CROSS_SYSROOT}")
    set(ENV{PKG_CONFIG_LIBDIR} "${QUILLOCK_CROSS_SYSROOT}/usr/lib/${QUILLOCK_CROSS_TRIPLE}/pkgconfig")
    set(target_includes ${QUILLOCK_CROSS_SYSROOT}/usr/include/${QUILLOCK_CROSS_TRIPLE}
                        ${QUILLOCK_CROSS_SYSROOT}/usr/include)
else()
    set(CMAKE_FIND_ROOT_PATH / /usr/${QUILLOCK_CROSS_TRIPLE})
    set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/${QUILLOCK_CROSS_TRIPLE}/pkgconfig:/usr/share/pkgconfig")
    set(target_includes /usr/include/${QUILLOCK_CROSS_TRIPLE})
endif()
# The cross compiler does not look in the target's multiarch header folder
# (where OpenSSL keeps its configuration header) by itself.
set(CMAKE_C_STANDARD_INCLUDE_DIRECTORIES ${target_includes})
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES ${target_includes})
# Programs run on the build machine; libraries, headers and packages are the target's.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ctest (and the test discovery after each build) runs the target's programs
# through qemu, in the root that holds the target's run-time libraries: the
# unpacked packages (which include the C library), else the cross C library.
find_program(QUILLOCK_CROSS_QEMU_PATH NAMES ${QUILLOCK_CROSS_QEMU}-static ${QUILLOCK_CROSS_QEMU} REQUIRED)
if(QUILLOCK_CROSS_SYSROOT)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${QUILLOCK_CROSS_QEMU_PATH} -L ${QUILLOCK_CROSS_SYSROOT})
else()
    set(CMAKE_CROSSCOMPILING_EMULATOR ${QUILLOCK_CROSS_QEMU_PATH} -L /usr/${QUILLOCK_CROSS_TRIPLE})
endif()
