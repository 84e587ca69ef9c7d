#include "hal/SystemCall.h"

#include "hal/Console.h"
#include "hal/MemoryWindow.h"
#include "hal/ProgramRunner.h"
#include "sdk/tessary_calls.h"

namespace {

// The program calls start at exit.
constexpr u32 FirstProgramCall = TESSARY_CALL_EXIT;

// The kernel's own calls reach any address; a program's reach its own
// memory only, and one that hands another gets BadArgument with nothing
// printed or stored.
constexpr u32 Refused = static_cast<u32>(ProgramRunner::BadArgument);
constexpr u32 Unlimited = 0xFFFFFFFF;

void print_bytes(String const& bytes)
{
    for (size_t i = 0; i < bytes.length(); ++i) {
        if (Console::write(bytes[i]).is_error())
            return;
    }
}

void print_string(IRQContext& context)
{
    if (ProgramMemory* memory = context.from_program() ? ProgramRunner::running_memory() : nullptr) {
        auto text = memory->string_at(context.esi, Unlimited);
        if (text.is_error())
            context.eax = Refused;
        else
            print_bytes(text.value());
        return;
    }
    for (u32 address = context.esi;; ++address) {
        auto byte = MemoryWindow(address, 1).read8(0);
        if (byte.is_error() || byte.value() == 0)
            return;
        if (Console::write(static_cast<char16_t>(byte.value())).is_error())
            return;
    }
}

// Returns the number of characters stored before the terminating 0.
u32 read_line(IRQContext const& context)
{
    u32 buffer = context.edi;
    u32 size = context.ecx;
    ProgramMemory* memory = context.from_program() ? ProgramRunner::running_memory() : nullptr;
    if (memory && size != 0 && !memory->contains(buffer, size, ProgramMemory::Access::Write))
        return Refused;
    InterruptsEnabledScope interrupts;
    interrupts.enable();
    auto line = Console::read_line();
    if (line.is_error())
        return 0;
    ByteBuffer bytes = line.value().to_bytes();
    if (size != 0 && bytes.size() > size - 1)
        bytes.resize(size - 1);
    bytes.append(0);
    if (memory)
        return memory->copy_in(buffer, bytes.data(), static_cast<u32>(bytes.size())).is_error()
            ? Refused
            : static_cast<u32>(bytes.size() - 1);
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
        if (context.interrupt == TESSARY_SYSTEM_CALL_VECTOR)
            ProgramRunner::handle_system_call(context);
        return;
    }
    switch (context.eax) {
    case TESSARY_CALL_PRINT:
        print_string(context);
        break;
    case TESSARY_CALL_READ_LINE:
        context.eax = read_line(context);
        break;
    default:
        break;
    }
}
