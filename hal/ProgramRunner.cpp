#include "hal/ProgramRunner.h"

#include "hal/Console.h"
#include "hal/Debugger.h"
#include "hal/ProgramArea.h"
#include "hal/SystemCall.h"
#include "hal/Time.h"

namespace {

constexpr u32 Exit = 16;
constexpr u32 Write = 17;
constexpr u32 ReadKey = 18;
constexpr u32 FileSize = 19;
constexpr u32 ReadFile = 20;
constexpr u32 WriteFile = 21;
constexpr u32 Arguments = 22;
constexpr u32 Milliseconds = 23;
constexpr u32 Sleep = 24;
constexpr u32 Colors = 25;
constexpr u32 Clear = 26;
constexpr u32 PollKey = 27;
constexpr u32 Cursor = 28;

constexpr u32 ColorCount = 16;
// Written in pieces, so a long text needs no copy as long as itself.
constexpr u32 WriteChunk = 256;

// The program area holds one program: the one whose calls arrive now.
ProgramRunner* g_running = nullptr;

// A line feed ends the line (the console's own handling); every other byte
// is written as the console writes it.
i32 write_bytes(MemoryWindow const& bytes)
{
    u8 chunk[WriteChunk];
    for (u32 done = 0; done < bytes.length();) {
        u32 count = bytes.length() - done < WriteChunk ? bytes.length() - done : WriteChunk;
        if (bytes.copy_out(done, chunk, count).is_error())
            return ProgramRunner::Failed;
        auto text = String::try_from_bytes(chunk, count);
        if (!text || Console::write(*text).is_error())
            return ProgramRunner::Failed;
        done += count;
    }
    return static_cast<i32>(bytes.length());
}

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

ErrorOr<i32> ProgramRunner::run(MzExecutable const& program, String const& arguments)
{
    VERIFY(!g_running);
    MemoryWindow area = TRY(ProgramArea::buffer(ProgramArea::Base, ProgramArea::ImageLimit - ProgramArea::Base));
    TRY(area.copy_in(0, program.image(), program.image_size()));
    TRY(area.fill8(program.image_size(), 0, program.extra_size()));
    m_arguments = arguments.to_bytes();
    Debugger::send("Running program at 0x" + String::hex(program.entry_address(), 8));
    g_running = this;
    i32 status = Cpu::enter_program(program.entry_address(), ProgramArea::End, m_return_point);
    g_running = nullptr;
    return status;
}

void ProgramRunner::handle_system_call(IRQContext& context)
{
    i32 result = g_running ? g_running->serve(context.eax, context.ebx, context.ecx, context.edx) : BadArgument;
    context.eax = static_cast<u32>(result);
}

i32 ProgramRunner::serve(u32 function, u32 first, u32 second, u32 third)
{
    switch (function) {
    case Exit:
        // Straight back into run(), from however deep the program called:
        // its stack, with this call's interrupt frame on it, is dropped (see
        // arch/i386/ProgramSwitch.S), and the EFLAGS saved at entry bring
        // back the interrupt flag the gate cleared.
        Cpu::leave_program(m_return_point, static_cast<i32>(first));
    case Write: {
        auto bytes = ProgramArea::buffer(first, second);
        return bytes.is_error() ? BadArgument : write_bytes(bytes.value());
    }
    case ReadKey:
        return read_key();
    case FileSize: {
        auto path = ProgramArea::path(first);
        return path.is_error() ? BadArgument : file_size(path.value());
    }
    case ReadFile: {
        auto path = ProgramArea::path(first);
        auto buffer = ProgramArea::buffer(second, third);
        if (path.is_error() || buffer.is_error())
            return BadArgument;
        return read_file(path.value(), buffer.value());
    }
    case WriteFile: {
        auto path = ProgramArea::path(first);
        auto source = ProgramArea::buffer(second, third);
        if (path.is_error() || source.is_error())
            return BadArgument;
        ByteBuffer bytes;
        if (!bytes.try_resize(third) || source.value().copy_out(0, bytes.data(), third).is_error())
            return Failed;
        return write_file(path.value(), bytes);
    }
    case Arguments:
        return copy_arguments(first, second);
    case Milliseconds:
        return static_cast<i32>(Time::milliseconds_since_start());
    case Sleep:
        return sleep(first);
    case Colors:
        return set_colors(first, second);
    case Clear:
        return clear();
    case PollKey:
        return poll_key();
    case Cursor:
        return move_cursor(first, second);
    default:
        return BadArgument;
    }
}

// The text is cut to the capacity less the terminating 0.
i32 ProgramRunner::copy_arguments(u32 address, u32 capacity)
{
    if (capacity == 0)
        return BadArgument;
    auto buffer = ProgramArea::buffer(address, capacity);
    if (buffer.is_error())
        return BadArgument;
    u32 length
        = static_cast<u32>(m_arguments.size()) < capacity - 1 ? static_cast<u32>(m_arguments.size()) : capacity - 1;
    if (buffer.value().copy_in(0, m_arguments.data(), length).is_error() || buffer.value().write8(length, 0).is_error())
        return Failed;
    return static_cast<i32>(length);
}
