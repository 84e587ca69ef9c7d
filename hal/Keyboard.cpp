#include "hal/Keyboard.h"

#include "arch/Cpu.h"
#include "arch/Port.h"
#include "hal/Interrupts.h"
#include "hal/Time.h"

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

Keyboard* volatile s_receiver = nullptr;
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
    return !(status & AuxiliaryData) || !InterruptTable::HasIrqHandler(MouseLine);
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
    CreateDefaultKeymap();
    InterruptGuard guard;
    m_previousReceiver = s_receiver;
    s_receiver = this;
    InterruptTable::SetIrqHandler(1, OnInterrupt);
    drain_controller();
}

Keyboard::~Keyboard()
{
    InterruptGuard guard;
    if (s_receiver == this)
        s_receiver = m_previousReceiver;
}

Keyboard* Keyboard::Receiver() { return s_receiver; }

void Keyboard::OnInterrupt(IRQContext&)
{
    u8 status = Port::in8(StatusPort);
    if (!byte_to_take(status))
        return;
    u8 scancode = Port::in8(DataPort);
    Keyboard* keyboard = s_receiver;
    if ((status & AuxiliaryData) || !keyboard)
        return;
    bool released = (scancode & 0x80) == 0x80;
    if (released)
        scancode &= 0x7F;
    keyboard->HandleScancode(scancode, released);
}

void Keyboard::set_ctrl_alt_delete_handler(void (*handler)()) { g_ctrl_alt_delete_handler = handler; }

void Keyboard::HandleScancode(u8 scancode, bool released)
{
    // An 0xE0 prefix arrives as a "release" of 0x60 and is dropped here, so
    // extended keys act as their ordinary twins (right Ctrl, grey arrows).
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

u32 Keyboard::QueuedCount() const { return m_count; }

bool Keyboard::Dequeue(u32& code)
{
    InterruptGuard guard;
    if (m_count == 0)
        return false;
    code = m_queue[m_head];
    m_head = (m_head + 1) % QueueCapacity;
    m_count = m_count - 1;
    return true;
}

u32 Keyboard::WaitForCode()
{
    for (;;) {
        Cpu::disable_interrupts();
        if (m_count > 0)
            break;
        // Sleep until the next interrupt; the check above and the halt
        // cannot be separated by a key arriving unseen.
        Cpu::enable_interrupts_and_halt();
    }
    u32 code = m_queue[m_head];
    m_head = (m_head + 1) % QueueCapacity;
    m_count = m_count - 1;
    Cpu::enable_interrupts();
    return code;
}

char16_t Keyboard::ReadChar()
{
    for (;;) {
        char16_t c;
        if (GetCharValue(WaitForCode(), c))
            return c;
    }
}

KeyMapping Keyboard::ReadMapping()
{
    for (;;) {
        KeyMapping mapping;
        if (GetKeyMapping(WaitForCode(), mapping))
            return mapping;
    }
}

bool Keyboard::GetChar(char16_t& c)
{
    u32 code;
    if (!Dequeue(code)) {
        c = 0;
        return false;
    }
    GetCharValue(code, c);
    return true;
}

bool Keyboard::GetKey(ConsoleKey& result)
{
    u32 code;
    if (!Dequeue(code)) {
        result = ConsoleKey::NoName;
        return false;
    }
    GetKeyValue(code, result);
    return true;
}

bool Keyboard::GetKeyMapping(u32 scancode, KeyMapping& mapping) const
{
    for (auto const& entry : m_keys) {
        if (entry.Scancode == scancode) {
            mapping = entry;
            return true;
        }
    }
    return false;
}

bool Keyboard::GetCharValue(u32 scancode, char16_t& c) const
{
    KeyMapping mapping;
    c = 0;
    if (!GetKeyMapping(scancode, mapping) || mapping.Value == 0)
        return false;
    c = mapping.Value;
    return true;
}

bool Keyboard::GetKeyValue(u32 scancode, ConsoleKey& result) const
{
    KeyMapping mapping;
    if (!GetKeyMapping(scancode, mapping)) {
        result = ConsoleKey::NoName;
        return false;
    }
    result = mapping.Key;
    return true;
}

void Keyboard::AddKey(u32 scancode, char16_t c, ConsoleKey k)
{
    m_keys.append({ scancode, c, k });
    ++m_mappingCount;
}

void Keyboard::AddKeyWithShift(u32 scancode, char16_t c, ConsoleKey k)
{
    AddKey(scancode, c, k);
    AddKey(scancode << 16, c, k);
}

// The US layout in set-1 scan codes. Every key is entered twice: as its
// scan code, and shifted 16 bits up for the code HandleScancode queues while
// Shift is held.
void Keyboard::CreateDefaultKeymap()
{
    // Letters and digits: runs of consecutive scan codes.
    struct Row {
        u8 first;
        char const* plain;
        char const* shifted;
    };
    static Row const rows[] = {
        { 0x10, "qwertyuiop", "QWERTYUIOP" },
        { 0x1E, "asdfghjkl", "ASDFGHJKL" },
        { 0x2C, "zxcvbnm", "ZXCVBNM" },
        { 0x02, "1234567890", "!@#$%^&*()" },
    };
    for (auto const& row : rows) {
        for (u32 i = 0; row.plain[i]; ++i) {
            u32 code = row.first + i;
            ConsoleKey key = key_of(row.plain[i]);
            AddKey(code, static_cast<u8>(row.plain[i]), key);
            AddKey(code << 16, static_cast<u8>(row.shifted[i]), key);
        }
    }

    struct Symbol {
        u8 code;
        char plain;
        char shifted;
        ConsoleKey key;
    };
    static Symbol const symbols[] = {
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
    for (auto const& symbol : symbols) {
        AddKey(symbol.code, static_cast<u8>(symbol.plain), symbol.key);
        AddKey(static_cast<u32>(symbol.code) << 16, static_cast<u8>(symbol.shifted), symbol.key);
    }

    AddKeyWithShift(0x0E, KeyChar::Backspace, ConsoleKey::Backspace);
    AddKeyWithShift(0x0F, u'\t', ConsoleKey::Tab);
    AddKeyWithShift(0x1C, u'\n', ConsoleKey::Enter);
    AddKeyWithShift(0x39, u' ', ConsoleKey::Spacebar);
    AddKeyWithShift(0x4B, KeyChar::LeftArrow, ConsoleKey::LeftArrow);
    AddKeyWithShift(0x48, KeyChar::UpArrow, ConsoleKey::UpArrow);
    AddKeyWithShift(0x4D, KeyChar::RightArrow, ConsoleKey::RightArrow);
    AddKeyWithShift(0x50, KeyChar::DownArrow, ConsoleKey::DownArrow);
    AddKeyWithShift(0x4C, u'5', ConsoleKey::NumPad5);
    AddKeyWithShift(0x4A, u'-', ConsoleKey::OemMinus);
    AddKeyWithShift(0x4E, u'+', ConsoleKey::OemPlus);

    // Keys without a character. The extended keys (Windows, Insert, Home,
    // Page Up, Delete, End, Page Down) arrive without their 0xE0 prefix and
    // share the codes of the keypad keys they duplicate.
    struct Silent {
        u8 code;
        ConsoleKey key;
    };
    static Silent const silent[] = {
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
    for (auto const& key : silent)
        AddKeyWithShift(key.code, key.key);
}
