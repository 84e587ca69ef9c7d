#pragma once

#include "base/Types.h"

// The MZ program that `exexe` stores on the disk: programs/example.asm,
// assembled at build time and compiled in as these bytes (programs/embed.cmake
// writes the definition into the build folder).
constexpr u32 ExampleProgramSize = 4608;
extern u8 const ExampleProgram[ExampleProgramSize];
