# The Debian package: `cpack -G DEB` (or the `package` target) in a build folder
# makes quillock_<version>_<arch>.deb from the files cmake/Install.cmake names,
# installed under /usr, with stripped programs and dependencies read from them.
# The MIME, desktop and icon caches are refreshed by the file triggers of
# shared-mime-info, desktop-file-utils and the hicolor theme, as for every
# Debian package, so the package has no maintainer scripts of its own.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillock)
set(CPACK_PACKAGE_VENDOR "The Quillock developers")
set(CPACK_PACKAGE_CONTACT "Quillock team <quillock@users.noreply.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "keeps editor data files encrypted at rest")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window runs natively on Wayland desktops with Qt's Wayland platform;
# quillock-cli falls back to sensible-editor when no editor is configured.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, sensible-utils")
# The long description; CPack puts the summary above it and formats the lines.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Quillock keeps the data files of the Arbolix editor encrypted while they
are not being edited. It unseals a data file into owner-only temporary
files, starts the editor on the plain copy and waits, and when something
changed keeps backups, optionally compresses the text with zlib and seals
it again with Rijndael or Blowfish. The temporary files are overwritten
with zeros before they are deleted.

The package holds the Qt window (quillock) and the terminal program
(quillock-cli).")

# Debian's rules for the staged files (compressed manual pages and changelog,
# modes), applied after CPack installed them and before it packs them.
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/PackageStage.cmake)
set(CPACK_QUILLOCK_DOCDIR ${QUILLOCK_DOCDIR})

include(CPack)
