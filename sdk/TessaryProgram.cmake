# Programs that run on Tessary, written in C (docs/PROGRAMS.md).
#
#   add_tessary_program(NAME SOURCES... [DIRECTORY DIR])
#
# compiles the sources with the start-up code and the memory functions of
# sdk/, freestanding for the i686, links them at the program's load address with
# sdk/program.ld and packs the result into DIR/NAME.exe (build/programs by
# default, which `./tessary run` copies to /programs on a new disk). The
# target NAME builds it, and is part of the default build.

set(TESSARY_SDK_DIR ${CMAKE_CURRENT_LIST_DIR})
set(TESSARY_PROGRAM_COMPILE_OPTIONS
    -m32 -march=i686 -ffreestanding -fno-pic -fno-pie -fno-stack-protector -fno-asynchronous-unwind-tables
    -nostdlib -O2 -Wall -Wextra -Werror)
set(TESSARY_PROGRAM_LINK_OPTIONS
    -m32 -nostdlib -static -no-pie -Wl,--build-id=none -Wl,--no-warn-rwx-segments -T ${TESSARY_SDK_DIR}/program.ld)

function(add_tessary_program name)
    cmake_parse_arguments(PARSE_ARGV 1 PROGRAM "" "DIRECTORY" "")
    if(NOT PROGRAM_DIRECTORY)
        set(PROGRAM_DIRECTORY ${CMAKE_BINARY_DIR}/programs)
    endif()
    set(elf ${name}.elf)
    set(exe ${PROGRAM_DIRECTORY}/${name}.exe)

    add_executable(${elf} ${TESSARY_SDK_DIR}/start.c ${TESSARY_SDK_DIR}/lib.c ${PROGRAM_UNPARSED_ARGUMENTS})
    target_include_directories(${elf} PRIVATE ${TESSARY_SDK_DIR})
    # libgcc for the arithmetic the i686 lacks (64-bit division).
    target_link_libraries(${elf} PRIVATE gcc)
    # Set, not added to: a program takes none of the options a host build
    # gives every target of its folder (the sanitizers, for one).
    set_target_properties(${elf} PROPERTIES
        COMPILE_OPTIONS "${TESSARY_PROGRAM_COMPILE_OPTIONS}"
        LINK_OPTIONS "${TESSARY_PROGRAM_LINK_OPTIONS}"
        LINK_DEPENDS ${TESSARY_SDK_DIR}/program.ld
        RUNTIME_OUTPUT_DIRECTORY ${PROGRAM_DIRECTORY})

    add_custom_command(OUTPUT ${exe}
        COMMAND mz-pack $<TARGET_FILE:${elf}> ${exe}
        DEPENDS mz-pack ${elf}
        COMMENT "Packing ${name}.exe")
    add_custom_target(${name} ALL DEPENDS ${exe})
endfunction()
