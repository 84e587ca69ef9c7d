#include "tests/sim/TestMachine.h"

#include <map>
#include <stdexcept>

class TestMachine::KeyboardController : public Sim::PortDevice {
public:
    u8 data { 0 };
    bool full { false };
    // The reset line was pulsed: the machine restarts and runs nothing more
    // of what the test set up.
    bool reset { false };
    u32 read(u16 port, int) override
    {
        if (port == 0x60) {
            full = false;
            return data;
        }
        return full ? 0x01 : 0x00; // status: output buffer full
    }
    void write(u16 port, u32 value, int) override
    {
        if (port == 0x64 && value == 0xFE)
            reset = true;
    }
};

namespace {

struct Stroke {
    u8 code;
    bool shift;
};

std::map<char, Stroke> const& strokes()
{
    static std::map<char, Stroke> g_table = [] {
        std::map<char, Stroke> t;
        auto row = [&](u8 first, char const* plain, char const* shifted) {
            for (int i = 0; plain[i]; ++i) {
                t[plain[i]] = { static_cast<u8>(first + i), false };
                t[shifted[i]] = { static_cast<u8>(first + i), true };
            }
        };
        row(0x10, "qwertyuiop[]", "QWERTYUIOP{}");
        row(0x1E, "asdfghjkl;'`", "ASDFGHJKL:\"~");
        row(0x2C, "zxcvbnm,./", "ZXCVBNM<>?");
        row(0x02, "1234567890-=", "!@#$%^&*()_+");
        t['\\'] = { 0x2B, false };
        t['|'] = { 0x2B, true };
        t[' '] = { 0x39, false };
        t['\n'] = { 0x1C, false };
        t['\t'] = { 0x0F, false };
        return t;
    }();
    return g_table;
}

}

TestMachine::TestMachine()
    : m_writer(m_screen)
    , m_controller(std::make_unique<KeyboardController>())
{
    Sim::attach(0x60, 0x60, m_controller.get());
    Sim::attach(0x64, 0x64, m_controller.get());
    m_keyboard = new Keyboard();
    Console::bind(m_writer, *m_keyboard);
    m_screen.clear();
    Sim::on_halt([this] {
        if (m_codes.empty() || m_controller->reset)
            throw Sim::Stopped {};
        deliver_next();
    });
}

TestMachine::~TestMachine()
{
    Sim::on_halt(nullptr);
    delete m_keyboard;
}

void TestMachine::scancodes(std::span<u8 const> codes)
{
    for (u8 code : codes)
        m_codes.push_back(code);
}

void TestMachine::press(u8 scancode)
{
    m_codes.push_back(scancode);
    m_codes.push_back(static_cast<u8>(scancode | 0x80));
}

void TestMachine::type(std::string const& text)
{
    for (char c : text) {
        auto it = strokes().find(c);
        if (it == strokes().end())
            throw std::invalid_argument(std::string("no key types ") + c);
        if (it->second.shift)
            m_codes.push_back(LeftShift);
        press(it->second.code);
        if (it->second.shift)
            m_codes.push_back(LeftShift | 0x80);
    }
}

void TestMachine::deliver_next()
{
    m_controller->data = m_codes.front();
    m_controller->full = true;
    m_codes.pop_front();
    Sim::raise_irq(1);
}

void TestMachine::deliver_all()
{
    while (!m_codes.empty())
        deliver_next();
}

u8 TestMachine::character(int x, int y) const { return static_cast<u8>(m_screen.cell(x, y) & 0xFF); }
u8 TestMachine::attribute(int x, int y) const { return static_cast<u8>(m_screen.cell(x, y) >> 8); }

std::string TestMachine::row(int y) const
{
    std::string text;
    for (int x = 0; x < TextScreen::Cols; ++x)
        text += static_cast<char>(character(x, y));
    return text;
}

std::string TestMachine::line(int y) const
{
    std::string text = row(y);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0'))
        text.pop_back();
    return text;
}

std::string TestMachine::screen() const
{
    std::string all;
    for (int y = 0; y < TextScreen::Rows; ++y)
        all += line(y) + "\n";
    return all;
}
