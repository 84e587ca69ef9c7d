#include "hal/ProgramRunner.h"

#include "base/OwnPtr.h"
#include "hal/Console.h"
#include "hal/Debugger.h"
#include "hal/Interrupts.h"
#include "hal/SystemCall.h"
#include "hal/Time.h"
#include "sdk/tessary_calls.h"

// The datagram description is read and written as the program lays it out.
static_assert(sizeof(tessary_datagram) == 16);

namespace {

constexpr u32 ColorCount = 16;
// Written in pieces, so a long text needs no copy as long as itself.
constexpr u32 WriteChunk = 256;
constexpr u32 MaxPathLength = 255;
constexpr i32 FaultStatusBase = 128;
// A read or write through a handle moves at most this much at once (a read
// returns fewer bytes, as reads may; a write goes on in pieces), so the
// kernel never holds a copy as big as a program's buffer.
constexpr u32 HandleChunk = 1024 * 1024;

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
    // The program's key events start with the keys it is given.
    if (Keyboard* keyboard = Keyboard::receiver())
        keyboard->drop_events();
    g_running = this;
    i32 status = Cpu::enter_program(program.entry_address(), ProgramMemory::StackTop - 4, m_return_point);
    g_running = nullptr;
    end_program();
    return Ending { status, static_cast<String&&>(m_fault) };
}

// However the program ended: its files reach the disk and are closed, its
// ports are closed, the text console comes back, and keys it took as events
// do not reach the shell as characters.
void ProgramRunner::end_program()
{
    m_files.close_all();
    m_network.close_all();
    m_screen.restore();
    if (Keyboard* keyboard = Keyboard::receiver(); keyboard && m_took_key_events)
        keyboard->drop_queued_keys();
    m_took_key_events = false;
    m_arguments = {};
    m_input = {};
    m_input_used = 0;
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
        return path.is_error() ? BadArgument : m_files.file_size(path.value());
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
    case TESSARY_CALL_OPEN:
    case TESSARY_CALL_CLOSE:
    case TESSARY_CALL_READ:
    case TESSARY_CALL_WRITE_HANDLE:
    case TESSARY_CALL_SEEK:
    case TESSARY_CALL_HANDLE_INFO:
        return serve_handle(function, first, second, third);
    case TESSARY_CALL_PATH_INFO:
    case TESSARY_CALL_REMOVE:
    case TESSARY_CALL_RENAME:
    case TESSARY_CALL_MAKE_DIRECTORY:
    case TESSARY_CALL_LIST:
        return serve_path(function, first, second, third);
    case TESSARY_CALL_TIME:
        return static_cast<i32>(RTC::seconds_since_1970());
    case TESSARY_CALL_KEY_EVENT:
        return next_key_event();
    case TESSARY_CALL_GRAPHICS:
    case TESSARY_CALL_PALETTE:
    case TESSARY_CALL_SHOW_FRAME:
        return serve_screen(function, first);
    case TESSARY_CALL_UDP_OPEN:
        return m_network.open(first);
    case TESSARY_CALL_UDP_SEND:
        return send_datagram(first, second);
    case TESSARY_CALL_UDP_RECEIVE:
        return receive_datagram(first, second, third);
    case TESSARY_CALL_UDP_CLOSE:
        return m_network.close(first);
    default:
        return BadArgument;
    }
}

// The console's handles are served here; files' by the file layer.
i32 ProgramRunner::serve_handle(u32 function, u32 first, u32 second, u32 third)
{
    i32 handle = static_cast<i32>(first);
    bool console = first <= TESSARY_ERRORS;
    switch (function) {
    case TESSARY_CALL_OPEN: {
        auto path = m_memory.string_at(first, MaxPathLength);
        return path.is_error() ? BadArgument : m_files.open(path.value(), second);
    }
    case TESSARY_CALL_CLOSE:
        // The console's handles stay: closing one changes nothing.
        return console ? 0 : m_files.close(handle);
    case TESSARY_CALL_READ:
        if (first == TESSARY_INPUT)
            return read_console(second, third);
        return console ? BadArgument : read_handle(handle, second, third);
    case TESSARY_CALL_WRITE_HANDLE:
        if (first == TESSARY_OUTPUT || first == TESSARY_ERRORS)
            return write(second, third);
        return console ? BadArgument : write_handle(handle, second, third);
    case TESSARY_CALL_SEEK:
        return console ? BadArgument : m_files.seek(handle, static_cast<i32>(second), third);
    case TESSARY_CALL_HANDLE_INFO: {
        tessary_file_info info {};
        info.kind = TESSARY_KIND_CONSOLE;
        i32 result = console ? 0 : m_files.handle_info(handle, info);
        return result < 0 ? result : store(second, info);
    }
    default:
        return BadArgument;
    }
}

i32 ProgramRunner::serve_path(u32 function, u32 first, u32 second, u32 third)
{
    auto path = m_memory.string_at(first, MaxPathLength);
    if (path.is_error())
        return BadArgument;
    switch (function) {
    case TESSARY_CALL_PATH_INFO: {
        tessary_file_info info {};
        i32 result = m_files.path_info(path.value(), info);
        return result < 0 ? result : store(second, info);
    }
    case TESSARY_CALL_REMOVE:
        return m_files.remove(path.value());
    case TESSARY_CALL_RENAME: {
        auto target = m_memory.string_at(second, MaxPathLength);
        return target.is_error() ? BadArgument : m_files.rename(path.value(), target.value());
    }
    case TESSARY_CALL_MAKE_DIRECTORY:
        return m_files.make_directory(path.value());
    case TESSARY_CALL_LIST: {
        if (!m_memory.contains(third, sizeof(tessary_directory_entry), ProgramMemory::Access::Write))
            return BadArgument;
        // The entry is big: it lives on the heap, not the kernel stack.
        auto entry = make_own<tessary_directory_entry>();
        i32 result = m_files.list(path.value(), second, *entry);
        return result < 0 ? result : store(third, *entry);
    }
    default:
        return BadArgument;
    }
}

i32 ProgramRunner::serve_screen(u32 function, u32 address)
{
    switch (function) {
    case TESSARY_CALL_GRAPHICS:
        return m_screen.set_screen(address);
    case TESSARY_CALL_PALETTE: {
        u8 palette[ProgramScreen::PaletteSize];
        if (m_memory.copy_out(address, palette, sizeof palette).is_error())
            return BadArgument;
        return m_screen.set_palette(palette);
    }
    case TESSARY_CALL_SHOW_FRAME: {
        // Straight from the program's pages to the screen: no copy between.
        i32 result = 0;
        auto pieces = m_memory.read_pieces(address, ProgramScreen::FrameSize, [&](u32 done, std::span<u8 const> bytes) {
            if (result == 0)
                result = m_screen.show_frame_piece(done, bytes);
        });
        return pieces.is_error() ? BadArgument : result;
    }
    default:
        return BadArgument;
    }
}

i32 ProgramRunner::send_datagram(u32 port, u32 address)
{
    tessary_datagram datagram {};
    if (m_memory.copy_out(address, reinterpret_cast<u8*>(&datagram), sizeof datagram).is_error()
        || !m_memory.contains(datagram.data, datagram.length, ProgramMemory::Access::Read))
        return BadArgument;
    if (datagram.length > TESSARY_UDP_MAX_DATA)
        return TESSARY_TOO_LARGE;
    ByteBuffer bytes;
    if (!bytes.try_resize(datagram.length)
        || m_memory.copy_out(datagram.data, bytes.data(), datagram.length).is_error())
        return Failed;
    u32 destination = static_cast<u32>(datagram.address[0]) << 24 | static_cast<u32>(datagram.address[1]) << 16
        | static_cast<u32>(datagram.address[2]) << 8 | datagram.address[3];
    return m_network.send(port, { destination, datagram.port }, bytes);
}

// The description and the buffer are checked before the wait, so a
// datagram taken off the port always reaches the program.
i32 ProgramRunner::receive_datagram(u32 port, u32 address, u32 timeout_ms)
{
    tessary_datagram datagram {};
    if (!m_memory.contains(address, sizeof datagram, ProgramMemory::Access::Write)
        || m_memory.copy_out(address, reinterpret_cast<u8*>(&datagram), sizeof datagram).is_error()
        || !m_memory.contains(datagram.data, datagram.length, ProgramMemory::Access::Write))
        return BadArgument;
    ProgramNetwork::Peer source;
    std::span<u8 const> bytes;
    i32 result;
    {
        // The wait halts until the timer's one-shot interrupts.
        InterruptsEnabledScope interrupts;
        interrupts.enable();
        result = m_network.receive(port, timeout_ms, source, bytes);
    }
    if (result < 0)
        return result;
    u32 count = bytes.size() < datagram.length ? static_cast<u32>(bytes.size()) : datagram.length;
    if (m_memory.copy_in(datagram.data, bytes.data(), count).is_error())
        return Failed;
    for (u32 i = 0; i < 4; ++i)
        datagram.address[i] = static_cast<u8>(source.address >> (24 - 8 * i));
    datagram.port = source.port;
    datagram.length = static_cast<u32>(bytes.size());
    i32 stored = store(address, datagram);
    return stored < 0 ? stored : static_cast<i32>(count);
}

// Standard input is the console's line editor: a line is read when the
// last one is used up, and handed out with its line feed in pieces as
// small as the program asks for.
i32 ProgramRunner::read_console(u32 address, u32 capacity)
{
    if (!m_memory.contains(address, capacity, ProgramMemory::Access::Write))
        return BadArgument;
    if (capacity == 0)
        return 0;
    if (m_input_used == m_input.size()) {
        InterruptsEnabledScope interrupts;
        interrupts.enable();
        auto line = Console::read_line();
        if (line.is_error())
            return Failed;
        m_input = line.value().to_bytes();
        m_input.append('\n');
        m_input_used = 0;
    }
    u32 left = static_cast<u32>(m_input.size() - m_input_used);
    u32 count = left < capacity ? left : capacity;
    if (m_memory.copy_in(address, m_input.data() + m_input_used, count).is_error())
        return Failed;
    m_input_used += count;
    return static_cast<i32>(count);
}

i32 ProgramRunner::read_handle(i32 handle, u32 address, u32 capacity)
{
    if (!m_memory.contains(address, capacity, ProgramMemory::Access::Write))
        return BadArgument;
    std::span<u8 const> bytes;
    i32 result = m_files.read(handle, capacity < HandleChunk ? capacity : HandleChunk, bytes);
    if (result <= 0)
        return result;
    if (m_memory.copy_in(address, bytes.data(), static_cast<u32>(bytes.size())).is_error())
        return Failed;
    return static_cast<i32>(bytes.size());
}

i32 ProgramRunner::write_handle(i32 handle, u32 address, u32 length)
{
    if (!m_memory.contains(address, length, ProgramMemory::Access::Read))
        return BadArgument;
    ByteBuffer chunk;
    for (u32 done = 0; done < length;) {
        u32 count = length - done < HandleChunk ? length - done : HandleChunk;
        if (!chunk.try_resize(count) || m_memory.copy_out(address + done, chunk.data(), count).is_error())
            return Failed;
        i32 result = m_files.write(handle, chunk);
        if (result < 0)
            return result;
        done += count;
    }
    return static_cast<i32>(length);
}

template<typename Value>
i32 ProgramRunner::store(u32 address, Value const& value)
{
    return m_memory.copy_in(address, reinterpret_cast<u8 const*>(&value), sizeof value).is_error() ? BadArgument : 0;
}

i32 ProgramRunner::next_key_event()
{
    Keyboard* keyboard = Keyboard::receiver();
    if (!keyboard)
        return -1;
    m_took_key_events = true;
    auto event = keyboard->poll_event();
    return event ? static_cast<i32>(*event) : -1;
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
    i32 result = m_files.read_file(path.value(), capacity, content);
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
    return m_files.write_file(path.value(), bytes);
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
