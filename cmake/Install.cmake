# What `cmake --install` puts into the prefix, in two components that are the
# two Debian packages (cmake/Package.cmake makes them of exactly these files):
#   cli     quillock-cli, its manual page and shell completion (completion/,
#           man/), and the documentation;
#   window  the window program quillock, its manual page, the desktop entry,
#           the application icon and the icon of sealed files, the MIME package
#           for sealed data files and the metainfo for software centres.
# Each has its own documentation folder with the copyright and the changelog,
# as every Debian package must.

# The id software centres know the program by, and the name of its metainfo file.
set(QUILLOCK_APPSTREAM_ID invalid.quillock.Quillock)
set(QUILLOCK_CLI_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/quillock-cli)
set(QUILLOCK_WINDOW_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/quillock)
set(QUILLOCK_INSTALL_MANIFEST ${QUILLOCK_CLI_DOCDIR}/install_manifest.txt)

install(TARGETS quillock-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT cli)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/SECURITY.md ${PROJECT_SOURCE_DIR}/packaging/copyright
              ${PROJECT_SOURCE_DIR}/packaging/changelog
        DESTINATION ${QUILLOCK_CLI_DOCDIR} COMPONENT cli)
install(FILES ${PROJECT_SOURCE_DIR}/docs/datafile-notes.md ${PROJECT_SOURCE_DIR}/docs/session-notes.md
              ${PROJECT_SOURCE_DIR}/docs/ui-notes.md
        DESTINATION ${QUILLOCK_CLI_DOCDIR}/docs COMPONENT cli)

if(TARGET quillock)
    install(TARGETS quillock RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT window)
    install(FILES ${PROJECT_SOURCE_DIR}/data/quillock.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
            COMPONENT window)
    install(FILES ${PROJECT_SOURCE_DIR}/data/quillock.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
            COMPONENT window)
    # The application icon, and the same picture as the icon of sealed files
    # under the name the MIME type asks for (application/x-quillock-sealed).
    foreach(context_name apps/quillock mimetypes/application-x-quillock-sealed)
        get_filename_component(context ${context_name} DIRECTORY)
        get_filename_component(name ${context_name} NAME)
        install(FILES ${PROJECT_SOURCE_DIR}/data/icons/quillock.svg
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/${context} RENAME ${name}.svg
                COMPONENT window)
        foreach(size 48 256)
            install(FILES ${PROJECT_SOURCE_DIR}/data/icons/quillock-${size}.png
                    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/${context} RENAME ${name}.png
                    COMPONENT window)
        endforeach()
    endforeach()
    install(FILES ${PROJECT_SOURCE_DIR}/data/${QUILLOCK_APPSTREAM_ID}.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT window)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${PROJECT_SOURCE_DIR}/packaging/changelog
            DESTINATION ${QUILLOCK_WINDOW_DOCDIR} COMPONENT window)
endif()

# The list of what a whole `cmake --install` put in place, for uninstalling,
# kept in the prefix as well as in the build folder (cmake/InstallManifest.cmake).
# Where the one installing cannot write into the build folder, CMake's own
# copy there is left out (it is the last step of the install script).
install(CODE "set(QUILLOCK_INSTALL_MANIFEST ${QUILLOCK_INSTALL_MANIFEST})
set(QUILLOCK_BUILD_DIR \"${CMAKE_BINARY_DIR}\")
include(\"${PROJECT_SOURCE_DIR}/cmake/InstallManifest.cmake\")
if(QUILLOCK_BUILD_DIR_READ_ONLY)
    return()
endif()")
