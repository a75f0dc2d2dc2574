# Run at the end of `cmake --install` (cmake/Install.cmake): writes the list of
# the files installed into the prefix, QUILLOCK_INSTALL_MANIFEST (the list names
# itself), so that uninstalling needs no build folder, and says whether the
# build folder QUILLOCK_BUILD_DIR can take CMake's own copy,
# install_manifest.txt. It cannot when the tree was built by another user (root)
# than the one installing (into ~/.local), or when that user's earlier install
# left a copy this one may not replace; then QUILLOCK_BUILD_DIR_READ_ONLY is set
# and the install leaves CMake's copy out instead of failing after every file
# was copied.
#
# Nothing is written for one component alone (how the package is staged) or
# under DESTDIR, whose paths are not where the files end up.

set(QUILLOCK_BUILD_DIR_READ_ONLY OFF)
if(CMAKE_INSTALL_COMPONENT OR NOT "$ENV{DESTDIR}" STREQUAL "")
    return()
endif()

set(manifest "${CMAKE_INSTALL_PREFIX}/${QUILLOCK_INSTALL_MANIFEST}")
message(STATUS "Installing: ${manifest}")
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${manifest}")
list(JOIN CMAKE_INSTALL_MANIFEST_FILES "\n" content)
file(WRITE "${manifest}" "${content}\n")

set(copy "${QUILLOCK_BUILD_DIR}/install_manifest.txt")
execute_process(COMMAND sh -c "test -w \"$1\" && { test ! -e \"$2\" || test -w \"$2\"; }" sh "${QUILLOCK_BUILD_DIR}"
                        "${copy}" RESULT_VARIABLE read_only)
if(read_only)
    message(STATUS "Not written: ${copy} (not writable by this user); the list is in ${manifest}")
    set(QUILLOCK_BUILD_DIR_READ_ONLY ON)
endif()
