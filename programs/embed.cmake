# Turns the assembled example program into a C++ source that defines
# ExampleProgram (programs/ExampleProgram.h). Run as: cmake -DINPUT=example.exe -DOUTPUT=x.cpp -P embed.cmake
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
if(NOT size EQUAL 4608)
    message(FATAL_ERROR "${INPUT} is ${size} bytes; the example program must be 4608")
endif()
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n    " bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
    "// Generated at build time from programs/example.asm; do not edit.\n"
    "#include \"programs/ExampleProgram.h\"\n\n"
    "u8 const ExampleProgram[ExampleProgramSize] = {\n    ${bytes}\n};\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
