# Shared settings for the project's own targets.

# Warnings are always on; they stop the build only where asked
# (QUILLOCK_WERROR: the test command and CI), never in a user's build.
add_library(quillock_warnings INTERFACE)
target_compile_options(quillock_warnings INTERFACE -Wall -Wextra $<$<BOOL:${QUILLOCK_WERROR}>:-Werror>)

# quillock_layer(NAME SOURCES... [DEPENDS targets...])
# One static library of the core, compiled with the project's warnings; includes
# are relative to the repository root ("crypto/Cipher.h").
function(quillock_layer name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_DEPENDS} PRIVATE quillock_warnings)
endfunction()
