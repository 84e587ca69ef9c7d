#include "hal/ProgramRunner.h"

#include "hal/Console.h"
#include "hal/Debugger.h"
#include "hal/Interrupts.h"
#include "hal/SystemCall.h"
#include "hal/Time.h"
#include "sdk/tessary_calls.h"

namespace {

constexpr u32 ColorCount = 16;
// Written in pieces, so a long text needs no copy as long as itself.
constexpr u32 WriteChunk = 256;
constexpr u32 MaxPathLength = 255;
constexpr i32 FaultStatusBase = 128;

// The code of the exit page: XOR EBX, EBX; MOV EAX, exit; INT 0x80. A
// program's final RET lands on it, so returning is exiting with status 0.
constexpr u8 ExitCode[] = { 0x31, 0xDB, 0xB8, TESSARY_CALL_EXIT, 0, 0, 0, 0xCD, TESSARY_SYSTEM_CALL_VECTOR };

// The one program that runs: the one whose calls arrive now.
ProgramRunner* g_running = nullptr;

// The character a program sees for a key: Latin-1, Backspace as 8, and 0 for
// keys without a character of their own (the arrows' internal ones included).
i32 character_of(KeyMapping const& mapping)
{
    if (mapping.value == KeyChar::Backspace)
        return 8;
    return mapping.value > 0xFF ? 0 : mapping.value;
}

i32 read_key()
{
    Keyboard* keyboard = Keyboard::receiver();
    if (!keyboard)
        return ProgramRunner::Failed;
    // The gate masked interrupts; the key arrives by one.
    InterruptsEnabledScope interrupts;
    interrupts.enable();
    return character_of(keyboard->read_mapping());
}

i32 poll_key()
{
    Keyboard* keyboard = Keyboard::receiver();
    auto mapping = keyboard ? keyboard->poll_mapping() : std::nullopt;
    return mapping ? character_of(*mapping) : -1;
}

i32 sleep(u32 milliseconds)
{
    // The one-shots that measure the wait interrupt.
    InterruptsEnabledScope interrupts;
    interrupts.enable();
    Time::wait_ms(milliseconds);
    return 0;
}

i32 set_colors(u32 foreground, u32 background)
{
    if (foreground >= ColorCount || background >= ColorCount)
        return ProgramRunner::BadArgument;
    Console::set_foreground_color(static_cast<u8>(foreground));
    Console::set_background_color(static_cast<u8>(background));
    return 0;
}

i32 clear()
{
    Console::writer().screen().clear_in_current_colors();
    Console::set_cursor_left(0);
    Console::set_cursor_top(0);
    return 0;
}

i32 move_cursor(u32 column, u32 row)
{
    if (column >= static_cast<u32>(Console::window_width()) || row >= static_cast<u32>(Console::window_height()))
        return ProgramRunner::BadArgument;
    Console::set_cursor_left(static_cast<i32>(column));
    Console::set_cursor_top(static_cast<i32>(row));
    return 0;
}

}

ErrorOr<void> ProgramRunner::place(MzExecutable const& program)
{
    using Access = ProgramMemory::Access;
    u32 base = program.load_address();
    u32 image_end = base + program.image_size() + program.extra_size();
    TRY(m_memory.map(base, image_end - base, Access::Write, { program.image(), program.image_size() }));
    TRY(m_memory.map(ProgramMemory::StackTop - ProgramMemory::StackSize, ProgramMemory::StackSize, Access::Write));
    TRY(m_memory.map(ProgramMemory::ExitPage, ProgramMemory::PageSize, Access::Read, ExitCode));
    // Entered as if called: the return address on top of the stack.
    u32 return_address = ProgramMemory::ExitPage;
    TRY(m_memory.copy_in(ProgramMemory::StackTop - 4, reinterpret_cast<u8 const*>(&return_address), 4));
    // The heap follows a program linked in the high range; one in the low
    // range has all of the high range for it.
    u32 heap_start
        = base >= Paging::HighProgramBase ? static_cast<u32>(Paging::page_up(image_end)) : Paging::HighProgramBase;
    m_memory.start_heap(heap_start);
    return {};
}

ErrorOr<ProgramRunner::Ending> ProgramRunner::run(MzExecutable const& program, String const& arguments)
{
    VERIFY(!g_running);
    // However the run ends, a test's simulated halt unwinding through here
    // included, the program's pages go.
    struct Release {
        ProgramMemory& memory;
        ~Release() { memory.release(); }
    } release { m_memory };
    TRY(place(program));
    m_arguments = arguments.to_bytes();
    m_fault = {};
    Debugger::send("Running program at 0x" + String::hex(program.entry_address(), 8));
    g_running = this;
    i32 status = Cpu::enter_program(program.entry_address(), ProgramMemory::StackTop - 4, m_return_point);
    g_running = nullptr;
    m_arguments = {};
    return Ending { status, static_cast<String&&>(m_fault) };
}

void ProgramRunner::handle_system_call(IRQContext& context)
{
    i32 result = g_running ? g_running->serve(context.eax, context.ebx, context.ecx, context.edx) : BadArgument;
    context.eax = static_cast<u32>(result);
}

ProgramMemory* ProgramRunner::running_memory() { return g_running ? &g_running->m_memory : nullptr; }

void ProgramRunner::end_on_fault(IRQContext const& context)
{
    // Ring 3 runs only while a program does.
    VERIFY(g_running);
    u32 vector = context.interrupt;
    {
        // Leaving drops this frame without its destructors: what is
        // allocated here is gone or kept in the runner before that.
        char const* name = InterruptTable::exception_name(vector);
        String what = *name ? String(name) : "CPU Exception x" + String::hex(vector, 2);
        // A page fault names the address it touched, any other fault the
        // instruction.
        u32 address = vector == InterruptTable::PageFault ? Paging::fault_address() : context.eip;
        g_running->m_fault = "Program ended: " + what + " at 0x" + String::hex(address, 8);
        Debugger::send(g_running->m_fault);
    }
    Cpu::leave_program(g_running->m_return_point, FaultStatusBase + static_cast<i32>(vector));
}

i32 ProgramRunner::serve(u32 function, u32 first, u32 second, u32 third)
{
    switch (function) {
    case TESSARY_CALL_EXIT:
        // Straight back into run(), from however deep the program called:
        // the kernel frames of this call are dropped (see
        // arch/i386/ProgramSwitch.S), and the EFLAGS saved at entry bring
        // back the interrupt flag the gate cleared.
        Cpu::leave_program(m_return_point, static_cast<i32>(first));
    case TESSARY_CALL_WRITE:
        return write(first, second);
    case TESSARY_CALL_READ_KEY:
        return read_key();
    case TESSARY_CALL_FILE_SIZE: {
        auto path = m_memory.string_at(first, MaxPathLength);
        return path.is_error() ? BadArgument : file_size(path.value());
    }
    case TESSARY_CALL_READ_FILE:
        return read_file_into(first, second, third);
    case TESSARY_CALL_WRITE_FILE:
        return write_file_from(first, second, third);
    case TESSARY_CALL_ARGUMENTS:
        return copy_arguments(first, second);
    case TESSARY_CALL_MILLISECONDS:
        return static_cast<i32>(Time::milliseconds_since_start());
    case TESSARY_CALL_SLEEP:
        return sleep(first);
    case TESSARY_CALL_COLOURS:
        return set_colors(first, second);
    case TESSARY_CALL_CLEAR:
        return clear();
    case TESSARY_CALL_POLL_KEY:
        return poll_key();
    case TESSARY_CALL_CURSOR:
        return move_cursor(first, second);
    case TESSARY_CALL_BREAK:
        return set_break(first);
    default:
        return BadArgument;
    }
}

// A line feed ends the line (the console's own handling); every other byte
// is written as the console writes it.
i32 ProgramRunner::write(u32 address, u32 length)
{
    if (!m_memory.contains(address, length, ProgramMemory::Access::Read))
        return BadArgument;
    u8 chunk[WriteChunk];
    for (u32 done = 0; done < length;) {
        u32 count = length - done < WriteChunk ? length - done : WriteChunk;
        if (m_memory.copy_out(address + done, chunk, count).is_error())
            return Failed;
        auto text = String::try_from_bytes(chunk, count);
        if (!text || Console::write(*text).is_error())
            return Failed;
        done += count;
    }
    return static_cast<i32>(length);
}

i32 ProgramRunner::read_file_into(u32 path_address, u32 address, u32 capacity)
{
    auto path = m_memory.string_at(path_address, MaxPathLength);
    if (path.is_error() || !m_memory.contains(address, capacity, ProgramMemory::Access::Write))
        return BadArgument;
    ByteBuffer content;
    i32 result = read_file(path.value(), capacity, content);
    if (result < 0)
        return result;
    if (m_memory.copy_in(address, content.data(), static_cast<u32>(content.size())).is_error())
        return Failed;
    return static_cast<i32>(content.size());
}

i32 ProgramRunner::write_file_from(u32 path_address, u32 address, u32 length)
{
    auto path = m_memory.string_at(path_address, MaxPathLength);
    if (path.is_error() || !m_memory.contains(address, length, ProgramMemory::Access::Read))
        return BadArgument;
    ByteBuffer bytes;
    if (!bytes.try_resize(length) || m_memory.copy_out(address, bytes.data(), length).is_error())
        return Failed;
    return write_file(path.value(), bytes);
}

// The text is cut to the capacity less the terminating 0.
i32 ProgramRunner::copy_arguments(u32 address, u32 capacity)
{
    if (capacity == 0 || !m_memory.contains(address, capacity, ProgramMemory::Access::Write))
        return BadArgument;
    u32 length
        = static_cast<u32>(m_arguments.size()) < capacity - 1 ? static_cast<u32>(m_arguments.size()) : capacity - 1;
    u8 const end = 0;
    if (m_memory.copy_in(address, m_arguments.data(), length).is_error()
        || m_memory.copy_in(address + length, &end, 1).is_error())
        return Failed;
    return static_cast<i32>(length);
}

// 0 asks where the break is; any other address moves it there. The result
// is the break, or a failure that leaves it where it was.
i32 ProgramRunner::set_break(u32 address)
{
    if (address == 0)
        return static_cast<i32>(m_memory.heap_break());
    if (address < m_memory.heap_start() || address > ProgramMemory::HeapLimit)
        return BadArgument;
    if (m_memory.set_heap_break(address).is_error())
        return NoMemory;
    return static_cast<i32>(m_memory.heap_break());
}
