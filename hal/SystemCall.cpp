#include "hal/SystemCall.h"

#include "hal/Console.h"
#include "hal/MemoryWindow.h"
#include "hal/ProgramRunner.h"

namespace {

constexpr u32 PrintString = 1;
constexpr u32 ReadLine = 2;
constexpr u32 FirstProgramCall = 16;
constexpr u32 SystemCallVector = 0x80;

void print_string(u32 address)
{
    for (;; ++address) {
        auto byte = MemoryWindow(address, 1).read8(0);
        if (byte.is_error() || byte.value() == 0)
            return;
        if (Console::write(static_cast<char16_t>(byte.value())).is_error())
            return;
    }
}

// Returns the number of characters stored before the terminating 0.
u32 read_line(u32 buffer, u32 size)
{
    InterruptsEnabledScope interrupts;
    interrupts.enable();
    auto line = Console::read_line();
    if (line.is_error())
        return 0;
    ByteBuffer bytes = line.value().to_bytes();
    if (size != 0 && bytes.size() > size - 1)
        bytes.resize(size - 1);
    bytes.append(0);
    MemoryWindow destination(buffer, static_cast<u32>(bytes.size()));
    if (destination.copy_in(0, bytes.data(), static_cast<u32>(bytes.size())).is_error())
        return 0;
    return static_cast<u32>(bytes.size() - 1);
}

}

void SystemCall::handle(IRQContext& context)
{
    // Only the program's own INT 0x80 reaches the program calls: a stray
    // vector that happens to find 16 in EAX must not end a program.
    if (context.eax >= FirstProgramCall) {
        if (context.interrupt == SystemCallVector)
            ProgramRunner::handle_system_call(context);
        return;
    }
    switch (context.eax) {
    case PrintString:
        print_string(context.esi);
        break;
    case ReadLine:
        context.eax = read_line(context.edi, context.ecx);
        break;
    default:
        break;
    }
}
