# The hardening every build of Quillock gets, on every target (QUILLOCK_HARDENING,
# on by default): stack protector, source fortification, stack-clash protection,
# control-flow protection on x86, position-independent executables, read-only
# relocations bound at start and a stack that cannot execute. The programs hold
# passwords and plain text; these are what a reviewer checks first
# (`hardening-check`, and scripts/package-check does).

option(QUILLOCK_HARDENING "Build with the compiler's and linker's hardening options" ON)
if(NOT QUILLOCK_HARDENING)
    return()
endif()

include(CheckCXXCompilerFlag)
include(CheckCXXSourceCompiles)
include(CheckLinkerFlag)
include(CheckPIESupported)

check_pie_supported(LANGUAGES CXX)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
# Position-independent code makes the static libraries -fPIC, where the
# compiler would assume that each global function may be replaced at load time
# and stop inlining it. Nothing of ours is a shared library, so none can be.
check_cxx_compiler_flag(-fno-semantic-interposition QUILLOCK_HAVE_NO_SEMANTIC_INTERPOSITION)
if(QUILLOCK_HAVE_NO_SEMANTIC_INTERPOSITION)
    add_compile_options(-fno-semantic-interposition)
endif()

add_compile_options(-fstack-protector-strong)
check_cxx_compiler_flag(-fstack-clash-protection QUILLOCK_HAVE_STACK_CLASH_PROTECTION)
if(QUILLOCK_HAVE_STACK_CLASH_PROTECTION)
    add_compile_options(-fstack-clash-protection)
endif()
# Branch targets marked with endbr64 and the shadow-stack note: x86 only.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|i[3-6]86)$")
    check_cxx_compiler_flag(-fcf-protection QUILLOCK_HAVE_CF_PROTECTION)
    if(QUILLOCK_HAVE_CF_PROTECTION)
        add_compile_options(-fcf-protection)
    endif()
endif()

# Fortification needs the optimiser (glibc warns without it, so not in Debug)
# and gets in the sanitizers' way (their own checks replace it). Level 3 checks
# sizes known only at run time; it needs __builtin_dynamic_object_size (GCC 12,
# clang 9), else level 2. Any level set earlier (a distribution's flags) is
# undefined first, so the two never clash.
if(NOT QUILLOCK_SANITIZE AND NOT QUILLOCK_FUZZ)
    check_cxx_source_compiles(
        "#if !defined(__has_builtin) || !__has_builtin(__builtin_dynamic_object_size)
         #error no dynamic object size
         #endif
         int main() { return 0; }"
        QUILLOCK_HAVE_FORTIFY_3)
    if(QUILLOCK_HAVE_FORTIFY_3)
        set(level 3)
    else()
        set(level 2)
    endif()
    add_compile_options("$<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE>"
                        "$<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=${level}>")
endif()

foreach(flag -z,relro -z,now -z,noexecstack)
    string(MAKE_C_IDENTIFIER "QUILLOCK_HAVE_LINK${flag}" have)
    check_linker_flag(CXX "LINKER:${flag}" ${have})
    if(${have})
        add_link_options("LINKER:${flag}")
    endif()
endforeach()
