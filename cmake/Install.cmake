# What `cmake --install` puts into the prefix: both programs, the desktop entry,
# the application icon, the MIME package for sealed data files, the metainfo for
# software centres and the documentation. The Debian package (cmake/Package.cmake)
# is made of exactly these files.

# The id software centres know the program by, and the name of its metainfo file.
set(QUILLOCK_APPSTREAM_ID invalid.quillock.Quillock)
set(QUILLOCK_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/quillock)

install(TARGETS quillock-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET quillock)
    install(TARGETS quillock RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

install(FILES ${PROJECT_SOURCE_DIR}/data/quillock.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/data/quillock.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
install(FILES ${PROJECT_SOURCE_DIR}/data/icons/quillock.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 48 256)
    install(FILES ${PROJECT_SOURCE_DIR}/data/icons/quillock-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME quillock.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/data/${QUILLOCK_APPSTREAM_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/SECURITY.md ${PROJECT_SOURCE_DIR}/LICENSE
              ${PROJECT_SOURCE_DIR}/packaging/copyright ${PROJECT_SOURCE_DIR}/packaging/changelog
        DESTINATION ${QUILLOCK_DOCDIR})
install(FILES ${PROJECT_SOURCE_DIR}/docs/datafile-notes.md ${PROJECT_SOURCE_DIR}/docs/session-notes.md
              ${PROJECT_SOURCE_DIR}/docs/ui-notes.md
        DESTINATION ${QUILLOCK_DOCDIR}/docs)
