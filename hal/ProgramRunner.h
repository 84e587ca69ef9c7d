#pragma once

#include "arch/Cpu.h"
#include "arch/InterruptEntry.h"
#include "hal/MzExecutable.h"
#include "hal/ProgramFiles.h"
#include "hal/ProgramMemory.h"
#include "hal/ProgramNetwork.h"
#include "hal/ProgramScreen.h"
#include "sdk/tessary_calls.h"

// Runs one MZ program at a time in ring 3, in memory of its own
// (hal/ProgramMemory.h), and serves its system calls 16 and up (INT 0x80,
// EAX the function, arguments in EBX, ECX and EDX, the result in EAX,
// negative on failure). A fault in the program ends it and nothing else.
// The calls on files, the screen and the network reach layers above this
// one, through the interfaces the kernel hands the runner.
class ProgramRunner {
public:
    // Failure results, as the program sees them in EAX.
    static constexpr i32 BadArgument = TESSARY_BAD_ARGUMENT;
    static constexpr i32 Missing = TESSARY_NOT_FOUND; // no such file, or a directory
    static constexpr i32 Failed = TESSARY_FAILED;
    static constexpr i32 NoMemory = TESSARY_NO_MEMORY;

    // How a program ended: its status (the exit call's, 0 when it returned,
    // 128 plus the exception's number when it faulted) and, after a fault,
    // the line that names it.
    struct Ending {
        i32 status { 0 };
        String fault;
    };

    ProgramRunner(ProgramFiles& files, ProgramScreen& screen, ProgramNetwork& network)
        : m_files(files)
        , m_screen(screen)
        , m_network(network)
    {
    }

    // Maps the module at its load address with its extra memory zeroed, a
    // stack and the exit page, and enters it. Fails only when the program
    // cannot be placed. `arguments` is the text the arguments call hands
    // out. Every page the program had is gone when this returns.
    ErrorOr<Ending> run(MzExecutable const& program, String const& arguments);

    // A program call (16 and up) from the running program; EAX becomes
    // BadArgument when no program runs. Exit does not return.
    static void handle_system_call(IRQContext& context);
    // An exception raised in ring 3: ends the running program.
    [[noreturn]] static void end_on_fault(IRQContext const& context);
    // The running program's memory, or null.
    static ProgramMemory* running_memory();

private:
    ErrorOr<void> place(MzExecutable const& program);
    void end_program();
    i32 serve(u32 function, u32 first, u32 second, u32 third);
    i32 serve_handle(u32 function, u32 first, u32 second, u32 third);
    i32 serve_path(u32 function, u32 first, u32 second, u32 third);
    i32 serve_screen(u32 function, u32 first);
    i32 send_datagram(u32 port, u32 address);
    i32 receive_datagram(u32 port, u32 address, u32 timeout_ms);
    i32 write(u32 address, u32 length);
    i32 read_console(u32 address, u32 capacity);
    i32 read_handle(i32 handle, u32 address, u32 capacity);
    i32 write_handle(i32 handle, u32 address, u32 length);
    i32 read_file_into(u32 path, u32 address, u32 capacity);
    i32 write_file_from(u32 path, u32 address, u32 length);
    i32 copy_arguments(u32 address, u32 capacity);
    i32 set_break(u32 address);
    i32 next_key_event();
    template<typename Value>
    i32 store(u32 address, Value const& value);

    ProgramFiles& m_files;
    ProgramScreen& m_screen;
    ProgramNetwork& m_network;

    Cpu::KernelReturnPoint m_return_point {};
    ProgramMemory m_memory;
    ByteBuffer m_arguments;
    String m_fault;
    // Whether the program has taken key events: the characters of those
    // keys are then dropped when it ends, not left for the shell.
    bool m_took_key_events { false };
    // The console line standard input hands out, and how much of it has gone.
    ByteBuffer m_input;
    size_t m_input_used { 0 };
};
