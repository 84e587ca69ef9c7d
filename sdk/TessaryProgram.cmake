# Programs that run on Tessary, written in C (docs/PROGRAMS.md).
#
#   add_tessary_program(NAME SOURCES... [DIRECTORY DIR] [OPTIONS OPTION...])
#
# compiles the sources for the i686 against the C library (newlib, built
# once from Debian's newlib-source into build/newlib by sdk/build-newlib),
# links them with the SDK's start-up code and system functions, the C and
# maths libraries and the compiler's own runtime (libgcc: 64-bit division and
# the like) at the program's load address with sdk/program.ld, and packs the
# result into DIR/NAME.exe (build/programs by default, which `./tessary run`
# copies to /programs on a new disk). OPTIONS are added to the compiler's
# (-D settings, say). The target NAME builds
# it, and is part of the default build.

set(TESSARY_SDK_DIR ${CMAKE_CURRENT_LIST_DIR})

file(GLOB TESSARY_NEWLIB_TARBALL /usr/src/newlib/newlib-*.tar.xz)
if(NOT TESSARY_NEWLIB_TARBALL)
    message(FATAL_ERROR "newlib's sources are missing: install the Debian package newlib-source")
endif()
list(GET TESSARY_NEWLIB_TARBALL 0 TESSARY_NEWLIB_TARBALL)
set(TESSARY_NEWLIB_DIR ${CMAKE_BINARY_DIR}/newlib)
set(TESSARY_NEWLIB_LIBRARIES ${TESSARY_NEWLIB_DIR}/lib/libc.a ${TESSARY_NEWLIB_DIR}/lib/libm.a)
add_custom_command(OUTPUT ${TESSARY_NEWLIB_LIBRARIES}
    COMMAND ${TESSARY_SDK_DIR}/build-newlib ${TESSARY_NEWLIB_TARBALL} ${TESSARY_NEWLIB_DIR}
    DEPENDS ${TESSARY_SDK_DIR}/build-newlib ${TESSARY_NEWLIB_TARBALL}
    COMMENT "Building the C library (newlib) for programs"
    USES_TERMINAL)
add_custom_target(tessary_newlib DEPENDS ${TESSARY_NEWLIB_LIBRARIES})

# Hosted C against newlib's headers and the compiler's own (stddef.h,
# stdarg.h, float.h), never the host's C library; and not Linux, which the
# host's gcc announces: __tessary__ says what the system is.
execute_process(COMMAND ${CMAKE_C_COMPILER} -m32 -print-file-name=include
    OUTPUT_VARIABLE TESSARY_COMPILER_INCLUDE OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${CMAKE_C_COMPILER} -m32 -print-libgcc-file-name
    OUTPUT_VARIABLE TESSARY_LIBGCC OUTPUT_STRIP_TRAILING_WHITESPACE)
set(TESSARY_PROGRAM_COMPILE_OPTIONS
    -m32 -march=i686 -fno-pic -fno-pie -fno-stack-protector -fno-asynchronous-unwind-tables
    -ffunction-sections -fdata-sections -nostdinc -isystem${TESSARY_COMPILER_INCLUDE}
    -isystem${TESSARY_NEWLIB_DIR}/include -I${TESSARY_SDK_DIR} -O2
    -U__linux__ -U__gnu_linux__ -U__linux -Ulinux -U__unix__ -U__unix -Uunix -D__tessary__)
set(TESSARY_PROGRAM_WARNINGS -Wall -Wextra -Werror)
set(TESSARY_PROGRAM_LINK_OPTIONS
    -m32 -nostdlib -static -no-pie -Wl,--build-id=none -Wl,--no-warn-rwx-segments -Wl,--no-warn-execstack -Wl,--gc-sections
    -T ${TESSARY_SDK_DIR}/program.ld)

# The start-up code and the system functions, built once for every program.
add_library(tessary_sdk STATIC ${TESSARY_SDK_DIR}/start.c ${TESSARY_SDK_DIR}/libc/system.c ${TESSARY_SDK_DIR}/libc/udp.c)
add_dependencies(tessary_sdk tessary_newlib)
# Set, not added to: a program takes none of the options a host build
# gives every target of its folder (the sanitizers, for one).
set_target_properties(tessary_sdk PROPERTIES COMPILE_OPTIONS "${TESSARY_PROGRAM_COMPILE_OPTIONS};${TESSARY_PROGRAM_WARNINGS}")

function(add_tessary_program name)
    cmake_parse_arguments(PARSE_ARGV 1 PROGRAM "" "DIRECTORY" "OPTIONS")
    if(NOT PROGRAM_DIRECTORY)
        set(PROGRAM_DIRECTORY ${CMAKE_BINARY_DIR}/programs)
    endif()
    set(elf ${name}.elf)
    set(exe ${PROGRAM_DIRECTORY}/${name}.exe)

    add_executable(${elf} ${PROGRAM_UNPARSED_ARGUMENTS})
    add_dependencies(${elf} tessary_newlib)
    target_link_libraries(${elf} PRIVATE
        -Wl,--start-group tessary_sdk ${TESSARY_NEWLIB_LIBRARIES} ${TESSARY_LIBGCC} -Wl,--end-group)
    set_target_properties(${elf} PROPERTIES
        COMPILE_OPTIONS "${TESSARY_PROGRAM_COMPILE_OPTIONS};${TESSARY_PROGRAM_WARNINGS};${PROGRAM_OPTIONS}"
        LINK_OPTIONS "${TESSARY_PROGRAM_LINK_OPTIONS}"
        LINK_DEPENDS ${TESSARY_SDK_DIR}/program.ld
        RUNTIME_OUTPUT_DIRECTORY ${PROGRAM_DIRECTORY})

    add_custom_command(OUTPUT ${exe}
        COMMAND mz-pack $<TARGET_FILE:${elf}> ${exe}
        DEPENDS mz-pack ${elf}
        COMMENT "Packing ${name}.exe")
    add_custom_target(${name} ALL DEPENDS ${exe})
endfunction()
