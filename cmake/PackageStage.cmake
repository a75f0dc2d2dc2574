# Run by CPack (CPACK_PRE_BUILD_SCRIPTS) on the staged files of the Debian
# packages: manual pages and changelogs gzip-compressed as Debian keeps them
# (best compression, no name or time in the header, so rebuilds are identical),
# the programs without the compiler's .comment section (which names the
# compiler, not needed to run), as Debian's own strip step leaves them, and
# every folder and file with the modes a package expects.

file(GLOB_RECURSE staged LIST_DIRECTORIES true "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
foreach(path IN LISTS staged)
    if(IS_SYMLINK "${path}")
        continue()
    endif()
    if(IS_DIRECTORY "${path}")
        file(CHMOD "${path}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
                                         WORLD_EXECUTE)
        continue()
    endif()
    if((path MATCHES "/share/man/" AND NOT path MATCHES "\\.gz$") OR path MATCHES "/share/doc/[^/]+/changelog$")
        execute_process(COMMAND gzip -9 -n -f "${path}" RESULT_VARIABLE failed)
        if(failed)
            message(FATAL_ERROR "gzip ${path} failed")
        endif()
    elseif(path MATCHES "/bin/[^/]+$")
        execute_process(COMMAND objcopy --remove-section=.comment --remove-section=.note "${path}"
                        RESULT_VARIABLE failed)
        if(failed)
            message(FATAL_ERROR "objcopy ${path} failed")
        endif()
    endif()
endforeach()
