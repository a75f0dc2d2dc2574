# The Debian packages: `cpack -G DEB` (or the `package` target) in a build
# folder makes, in one run, one package of each component of cmake/Install.cmake,
# installed under /usr, with stripped programs and dependencies read from them:
#   quillock-cli_<version>_<arch>.deb  the terminal tool (no Qt, no X, no GL);
#   quillock_<version>_<arch>.deb      the window, which depends on the
#                                      quillock-cli of the same version.
# The MIME, desktop and icon caches are refreshed by the file triggers of
# shared-mime-info, desktop-file-utils and the hicolor theme, as for every
# Debian package, so the packages have no maintainer scripts of their own.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillock)
set(CPACK_PACKAGE_VENDOR "The Quillock developers")
set(CPACK_PACKAGE_CONTACT "Quillock team <quillock@users.noreply.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL cli)
if(TARGET quillock)
    list(APPEND CPACK_COMPONENTS_ALL window)
endif()
set(CPACK_DEBIAN_CLI_PACKAGE_NAME quillock-cli)
set(CPACK_DEBIAN_WINDOW_PACKAGE_NAME quillock)
# Both come from one source, whose name the changelog carries.
set(CPACK_DEBIAN_PACKAGE_SOURCE quillock)
# After a session was cut short the window sends the user to
# `quillock-cli recover`, and the documentation is the terminal tool's: the
# window depends on the quillock-cli of its own version.
set(CPACK_COMPONENT_WINDOW_DEPENDS cli)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# quillock-cli falls back to sensible-editor when no editor is configured, and
# its bash completion needs bash-completion; the window runs natively on
# Wayland desktops with Qt's Wayland platform.
set(CPACK_DEBIAN_CLI_PACKAGE_RECOMMENDS sensible-utils)
set(CPACK_DEBIAN_CLI_PACKAGE_SUGGESTS bash-completion)
set(CPACK_DEBIAN_WINDOW_PACKAGE_RECOMMENDS qt6-wayland)

# Each description: the synopsis (a noun phrase), then the long description,
# which CPack formats. The first paragraph is shared. No summary for all
# packages: CPack would put the project's description (a sentence) above each.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
set(about
    "Quillock keeps the data files of the Arbolix editor encrypted while they
are not being edited. It unseals a data file into owner-only temporary
files, starts the editor on the plain copy and waits, and when something
changed keeps backups, optionally compresses the text with zlib and seals
it again with Rijndael or Blowfish. The temporary files are overwritten
with zeros before they are deleted.

It edits only the Arbolix editor's own data files (plain text files whose
first line names the editor); it is not a general tool for encrypting
other files.")
set(CPACK_DEBIAN_CLI_DESCRIPTION
    "encrypted editing sessions for Arbolix data files - terminal tool
${about}

This package holds the terminal program quillock-cli (editing sessions,
sealing, unsealing, recovery after a session was cut short), its manual
page, its completion for bash, zsh and fish, and the documentation. It
needs neither Qt nor a display.")
set(CPACK_DEBIAN_WINDOW_DESCRIPTION
    "encrypted editing sessions for Arbolix data files - window
${about}

This package holds the Qt window program quillock, its desktop entry and
icons, and the MIME type of sealed data files (*.qlx), so that a file
manager opens them with it.")

# Debian's rules for the staged files (compressed manual pages and changelogs,
# modes, no .comment sections), applied after CPack installed them and before
# it packs them.
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/PackageStage.cmake)

include(CPack)
