#include "hal/Keyboard.h"

#include "arch/Cpu.h"
#include "arch/Port.h"
#include "hal/Idle.h"
#include "hal/Interrupts.h"
#include "hal/Time.h"
#include "sdk/tessary_calls.h"

namespace {
constexpr u16 DataPort = 0x60;
constexpr u16 StatusPort = 0x64;
constexpr u8 OutputFull = 0x01;
constexpr u8 AuxiliaryData = 0x20;
constexpr u8 MouseLine = 12;
// The controller holds a single byte; the limit only keeps a broken one that
// always reports a byte from holding up the start.
constexpr u32 DrainMilliseconds = 20;
constexpr u8 ScanLeftShift = 0x2A;
constexpr u8 ScanRightShift = 0x36;
constexpr u8 ScanControl = 0x1D;
constexpr u8 ScanAlt = 0x38;
constexpr u8 ScanDelete = 0x53;
// What an 0xE0 prefix looks like once the release bit is taken off.
constexpr u8 ScanExtendedPrefix = 0x60;

// A program's identity of each key by its scan code (set 1): the key's own
// character, unshifted, or one of the codes for keys without one; 0 for keys
// a program cannot tell apart (Num Lock, the keypad's 5).
constexpr u8 ProgramKeys[] = { 0, TESSARY_KEY_ESCAPE, '1', '2', '3', '4', '5', '6', '7', '8', '9', '0', '-', '=',
    TESSARY_KEY_BACKSPACE, TESSARY_KEY_TAB, 'q', 'w', 'e', 'r', 't', 'y', 'u', 'i', 'o', 'p', '[', ']',
    TESSARY_KEY_ENTER, TESSARY_KEY_CONTROL, 'a', 's', 'd', 'f', 'g', 'h', 'j', 'k', 'l', ';', '\'', '`',
    TESSARY_KEY_SHIFT, '\\', 'z', 'x', 'c', 'v', 'b', 'n', 'm', ',', '.', '/', TESSARY_KEY_SHIFT, '*', TESSARY_KEY_ALT,
    TESSARY_KEY_SPACE, TESSARY_KEY_CAPS_LOCK, TESSARY_KEY_F1, TESSARY_KEY_F1 + 1, TESSARY_KEY_F1 + 2,
    TESSARY_KEY_F1 + 3, TESSARY_KEY_F1 + 4, TESSARY_KEY_F1 + 5, TESSARY_KEY_F1 + 6, TESSARY_KEY_F1 + 7,
    TESSARY_KEY_F1 + 8, TESSARY_KEY_F1 + 9, 0, 0, TESSARY_KEY_HOME, TESSARY_KEY_UP, TESSARY_KEY_PAGE_UP, '-',
    TESSARY_KEY_LEFT, 0, TESSARY_KEY_RIGHT, '+', TESSARY_KEY_END, TESSARY_KEY_DOWN, TESSARY_KEY_PAGE_DOWN,
    TESSARY_KEY_INSERT, TESSARY_KEY_DELETE, 0, 0, 0, TESSARY_KEY_F1 + 10, TESSARY_KEY_F1 + 11 };

Keyboard* volatile g_receiver = nullptr;
void (*g_ctrl_alt_delete_handler)() = nullptr;

// The key of a character on the letter and digit rows.
ConsoleKey key_of(char c)
{
    if (c >= '0' && c <= '9')
        return static_cast<ConsoleKey>(static_cast<i32>(ConsoleKey::D0) + (c - '0'));
    return static_cast<ConsoleKey>(static_cast<i32>(ConsoleKey::A) + (c - 'a'));
}

// Whether the controller's output buffer holds a byte for the keyboard's
// side to read. While that buffer is full the controller raises no further
// interrupt, so every such byte must be read, even when no keyboard receives
// it. A byte from the auxiliary port is the mouse driver's, when one is
// installed; without one nobody else would ever read it.
bool byte_to_take(u8 status)
{
    if (!(status & OutputFull))
        return false;
    return !(status & AuxiliaryData) || !InterruptTable::has_irq_handler(MouseLine);
}

// Empties the controller of what it received before this keyboard existed:
// a scan code typed while the firmware or the boot was running, whose
// interrupt came before anyone listened.
void drain_controller()
{
    Deadline limit(DrainMilliseconds);
    while (byte_to_take(Port::in8(StatusPort)) && !limit.has_passed())
        (void)Port::in8(DataPort);
}
}

Keyboard::Keyboard()
{
    create_default_keymap();
    InterruptGuard guard;
    m_previous_receiver = g_receiver;
    g_receiver = this;
    InterruptTable::set_irq_handler(1, on_interrupt);
    drain_controller();
}

Keyboard::~Keyboard()
{
    InterruptGuard guard;
    if (g_receiver == this)
        g_receiver = m_previous_receiver;
}

Keyboard* Keyboard::receiver() { return g_receiver; }

void Keyboard::on_interrupt(IRQContext&)
{
    u8 status = Port::in8(StatusPort);
    if (!byte_to_take(status))
        return;
    u8 scancode = Port::in8(DataPort);
    Keyboard* keyboard = g_receiver;
    if ((status & AuxiliaryData) || !keyboard)
        return;
    bool released = (scancode & 0x80) == 0x80;
    if (released)
        scancode &= 0x7F;
    keyboard->handle_scancode(scancode, released);
}

void Keyboard::set_ctrl_alt_delete_handler(void (*handler)()) { g_ctrl_alt_delete_handler = handler; }

void Keyboard::handle_scancode(u8 scancode, bool released)
{
    // An 0xE0 prefix arrives as a "release" of 0x60 and is dropped here, so
    // extended keys act as their ordinary twins (right Ctrl, grey arrows).
    if (scancode != ScanExtendedPrefix && m_event_count < QueueCapacity) {
        m_events[(m_event_head + m_event_count) % QueueCapacity]
            = static_cast<u16>(scancode | (released ? TESSARY_KEY_RELEASED : 0));
        m_event_count = m_event_count + 1;
    }
    u32 code = scancode;
    if (code == ScanLeftShift || code == ScanRightShift) {
        m_shift = !released;
        return;
    }
    if (code == ScanControl) {
        m_control = !released;
        return;
    }
    if (code == ScanAlt) {
        m_alt = !released;
        return;
    }
    if (m_control && m_alt && code == ScanDelete && !released && g_ctrl_alt_delete_handler)
        g_ctrl_alt_delete_handler();
    if (m_shift)
        code <<= 16;
    if (!released && m_count < QueueCapacity) {
        m_queue[(m_head + m_count) % QueueCapacity] = code;
        m_count = m_count + 1;
    }
}

u32 Keyboard::queued_count() const { return m_count; }

bool Keyboard::dequeue(u32& code)
{
    InterruptGuard guard;
    if (m_count == 0)
        return false;
    code = m_queue[m_head];
    m_head = (m_head + 1) % QueueCapacity;
    m_count = m_count - 1;
    return true;
}

u32 Keyboard::wait_for_code()
{
    for (;;) {
        Idle::run_task();
        Cpu::disable_interrupts();
        if (m_count > 0)
            break;
        // Sleep until the next interrupt; the check above and the halt
        // cannot be separated by a key arriving unseen.
        Idle::halt();
    }
    u32 code = m_queue[m_head];
    m_head = (m_head + 1) % QueueCapacity;
    m_count = m_count - 1;
    Cpu::enable_interrupts();
    return code;
}

char16_t Keyboard::read_char()
{
    for (;;) {
        char16_t c;
        if (get_char_value(wait_for_code(), c))
            return c;
    }
}

KeyMapping Keyboard::read_mapping()
{
    for (;;) {
        KeyMapping mapping;
        if (get_key_mapping(wait_for_code(), mapping))
            return mapping;
    }
}

std::optional<KeyMapping> Keyboard::poll_mapping()
{
    u32 code;
    while (dequeue(code)) {
        KeyMapping mapping;
        if (get_key_mapping(code, mapping))
            return mapping;
    }
    return {};
}

std::optional<u32> Keyboard::poll_event()
{
    for (;;) {
        u16 event;
        {
            InterruptGuard guard;
            if (m_event_count == 0)
                return {};
            event = m_events[m_event_head];
            m_event_head = (m_event_head + 1) % QueueCapacity;
            m_event_count = m_event_count - 1;
        }
        u32 scancode = event & 0xFF;
        u32 key = scancode < sizeof ProgramKeys ? ProgramKeys[scancode] : 0;
        if (key)
            return key | (event & TESSARY_KEY_RELEASED);
    }
}

void Keyboard::drop_events()
{
    InterruptGuard guard;
    m_event_count = 0;
}

void Keyboard::drop_queued_keys()
{
    InterruptGuard guard;
    m_count = 0;
    m_event_count = 0;
}

bool Keyboard::get_char(char16_t& c)
{
    u32 code;
    if (!dequeue(code)) {
        c = 0;
        return false;
    }
    get_char_value(code, c);
    return true;
}

bool Keyboard::get_key(ConsoleKey& result)
{
    u32 code;
    if (!dequeue(code)) {
        result = ConsoleKey::NoName;
        return false;
    }
    get_key_value(code, result);
    return true;
}

bool Keyboard::get_key_mapping(u32 scancode, KeyMapping& mapping) const
{
    for (auto const& entry : m_keys) {
        if (entry.scancode == scancode) {
            mapping = entry;
            return true;
        }
    }
    return false;
}

bool Keyboard::get_char_value(u32 scancode, char16_t& c) const
{
    KeyMapping mapping;
    c = 0;
    if (!get_key_mapping(scancode, mapping) || mapping.value == 0)
        return false;
    c = mapping.value;
    return true;
}

bool Keyboard::get_key_value(u32 scancode, ConsoleKey& result) const
{
    KeyMapping mapping;
    if (!get_key_mapping(scancode, mapping)) {
        result = ConsoleKey::NoName;
        return false;
    }
    result = mapping.key;
    return true;
}

void Keyboard::add_key(u32 scancode, char16_t c, ConsoleKey k)
{
    m_keys.append({ scancode, c, k });
    ++m_mapping_count;
}

void Keyboard::add_key_with_shift(u32 scancode, char16_t c, ConsoleKey k)
{
    add_key(scancode, c, k);
    add_key(scancode << 16, c, k);
}

// The US layout in set-1 scan codes. Every key is entered twice: as its
// scan code, and shifted 16 bits up for the code handle_scancode queues while
// Shift is held.
void Keyboard::create_default_keymap()
{
    // Letters and digits: runs of consecutive scan codes.
    struct Row {
        u8 first;
        char const* plain;
        char const* shifted;
    };
    static Row const Rows[] = {
        { 0x10, "qwertyuiop", "QWERTYUIOP" },
        { 0x1E, "asdfghjkl", "ASDFGHJKL" },
        { 0x2C, "zxcvbnm", "ZXCVBNM" },
        { 0x02, "1234567890", "!@#$%^&*()" },
    };
    for (auto const& row : Rows) {
        for (u32 i = 0; row.plain[i]; ++i) {
            u32 code = row.first + i;
            ConsoleKey key = key_of(row.plain[i]);
            add_key(code, static_cast<u8>(row.plain[i]), key);
            add_key(code << 16, static_cast<u8>(row.shifted[i]), key);
        }
    }

    struct Symbol {
        u8 code;
        char plain;
        char shifted;
        ConsoleKey key;
    };
    static Symbol const Symbols[] = {
        { 0x29, '`', '~', ConsoleKey::NoName },
        { 0x27, ';', ':', ConsoleKey::NoName },
        { 0x28, '\'', '"', ConsoleKey::NoName },
        { 0x2B, '\\', '|', ConsoleKey::NoName },
        { 0x33, ',', '<', ConsoleKey::OemComma },
        { 0x34, '.', '>', ConsoleKey::OemPeriod },
        { 0x35, '/', '?', ConsoleKey::Divide },
        { 0x0C, '-', '_', ConsoleKey::Subtract },
        { 0x0D, '=', '+', ConsoleKey::OemPlus },
        { 0x1A, '[', '{', ConsoleKey::NoName },
        { 0x1B, ']', '}', ConsoleKey::NoName },
    };
    for (auto const& symbol : Symbols) {
        add_key(symbol.code, static_cast<u8>(symbol.plain), symbol.key);
        add_key(static_cast<u32>(symbol.code) << 16, static_cast<u8>(symbol.shifted), symbol.key);
    }

    add_key_with_shift(0x0E, KeyChar::Backspace, ConsoleKey::Backspace);
    add_key_with_shift(0x0F, u'\t', ConsoleKey::Tab);
    add_key_with_shift(0x1C, u'\n', ConsoleKey::Enter);
    add_key_with_shift(0x39, u' ', ConsoleKey::Spacebar);
    add_key_with_shift(0x4B, KeyChar::LeftArrow, ConsoleKey::LeftArrow);
    add_key_with_shift(0x48, KeyChar::UpArrow, ConsoleKey::UpArrow);
    add_key_with_shift(0x4D, KeyChar::RightArrow, ConsoleKey::RightArrow);
    add_key_with_shift(0x50, KeyChar::DownArrow, ConsoleKey::DownArrow);
    add_key_with_shift(0x4C, u'5', ConsoleKey::NumPad5);
    add_key_with_shift(0x4A, u'-', ConsoleKey::OemMinus);
    add_key_with_shift(0x4E, u'+', ConsoleKey::OemPlus);

    // Keys without a character. The extended keys (Windows, Insert, Home,
    // Page Up, Delete, End, Page Down) arrive without their 0xE0 prefix and
    // share the codes of the keypad keys they duplicate.
    struct Silent {
        u8 code;
        ConsoleKey key;
    };
    static Silent const Silent[] = {
        { 0x5B, ConsoleKey::LeftWindows },
        { 0x5C, ConsoleKey::RightWindows },
        { 0x52, ConsoleKey::Insert },
        { 0x47, ConsoleKey::Home },
        { 0x49, ConsoleKey::PageUp },
        { 0x53, ConsoleKey::Delete },
        { 0x4F, ConsoleKey::End },
        { 0x51, ConsoleKey::PageDown },
        { 0x37, ConsoleKey::PrintScreen },
        { 0x45, ConsoleKey::Pause },
        { 0x57, ConsoleKey::F11 },
        { 0x58, ConsoleKey::F12 },
        { 0x01, ConsoleKey::Escape },
        { 0x3B, ConsoleKey::F1 },
        { 0x3C, ConsoleKey::F2 },
        { 0x3D, ConsoleKey::F3 },
        { 0x3E, ConsoleKey::F4 },
        { 0x3F, ConsoleKey::F5 },
        { 0x40, ConsoleKey::F6 },
        { 0x41, ConsoleKey::F7 },
        { 0x42, ConsoleKey::F8 },
        { 0x43, ConsoleKey::F9 },
        { 0x44, ConsoleKey::F10 },
    };
    for (auto const& key : Silent)
        add_key_with_shift(key.code, key.key);
}
