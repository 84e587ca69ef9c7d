#pragma once

#include "arch/Cpu.h"
#include "arch/InterruptEntry.h"
#include "hal/MemoryWindow.h"
#include "hal/MzExecutable.h"

// Runs one MZ program at a time in the program area, on its own stack, and
// serves its system calls 16 and up (INT 0x80, EAX the function, arguments in
// EBX, ECX and EDX, the result in EAX, negative on failure). The calls on
// files reach the shell's volume, which lives above this layer: the kernel
// derives the runner that provides them.
class ProgramRunner {
public:
    // Failure results, as the program sees them in EAX.
    static constexpr i32 BadArgument = -1;
    static constexpr i32 Missing = -2; // no such file, or a directory
    static constexpr i32 Failed = -3;

    virtual ~ProgramRunner() = default;

    // Copies the module to the bottom of the area, zeroes its extra memory
    // and calls the entry with the stack at the top of the area. The status
    // is 0 when the program returns, the one it gives when it exits; fails
    // only when the program cannot be placed. `arguments` is the text the
    // arguments call hands out.
    ErrorOr<i32> run(MzExecutable const& program, String const& arguments);

    // A system call 16 or up from the running program; EAX becomes
    // BadArgument when no program runs. Exit does not return.
    static void handle_system_call(IRQContext& context);

protected:
    // Results as the program sees them: the size, a count of bytes or 0,
    // else Missing or Failed.
    virtual i32 file_size(String const& path) = 0;
    // Reads up to buffer.length() bytes from the start of the file.
    virtual i32 read_file(String const& path, MemoryWindow& buffer) = 0;
    // Creates or replaces the file, owned by the logged-in user.
    virtual i32 write_file(String const& path, ByteBuffer const& bytes) = 0;

private:
    i32 serve(u32 function, u32 first, u32 second, u32 third);
    i32 copy_arguments(u32 address, u32 capacity);

    Cpu::KernelReturnPoint m_return_point {};
    ByteBuffer m_arguments;
};
