#include "tests/sim/PS2Mouse.h"

PS2Mouse::PS2Mouse()
{
    Sim::attach(0x60, 0x60, this);
    Sim::attach(0x64, 0x64, this);
}

u32 PS2Mouse::read(u16 port, int)
{
    if (port == 0x64) {
        if (m_busy > 0 && --m_busy == 0) {
            m_output.insert(m_output.end(), m_answers.begin(), m_answers.end());
            m_answers.clear();
        }
        u32 status = m_busy > 0 ? 0x02 : 0x00;
        if (!m_output.empty())
            status |= 0x01 | (m_output.front().aux ? 0x20 : 0);
        return status;
    }
    if (m_output.empty())
        return 0;
    u8 value = m_output.front().value;
    m_output.pop_front();
    return value;
}

void PS2Mouse::write(u16 port, u32 value, int)
{
    if (m_busy > 0)
        return;
    m_busy = answer_polls;
    u8 v = static_cast<u8>(value);
    if (port == 0x64) {
        commands.push_back(v);
        m_last_command = v;
        if (v == 0x20)
            answer(configuration, false);
        return;
    }
    if (m_last_command == 0x60) {
        configuration = v;
    } else if (m_last_command == 0xD4) {
        mouse_bytes.push_back(v);
        answer(0xFA, true);
    }
    m_last_command = 0;
}

void PS2Mouse::answer(u8 value, bool aux)
{
    if (m_busy > 0)
        m_answers.push_back({ value, aux });
    else
        m_output.push_back({ value, aux });
}

void PS2Mouse::put(u8 value, bool aux) { m_output.push_back({ value, aux }); }

void PS2Mouse::queue(std::initializer_list<u8> bytes)
{
    for (u8 b : bytes)
        m_pending.push_back(b);
}

void PS2Mouse::packet(int dx, int dy, u8 buttons)
{
    u8 first = static_cast<u8>(0x08 | (buttons & 7) | (dx < 0 ? 0x10 : 0) | (dy < 0 ? 0x20 : 0));
    queue({ first, static_cast<u8>(dx), static_cast<u8>(dy) });
}

void PS2Mouse::deliver()
{
    while (!m_pending.empty()) {
        m_output.push_back({ m_pending.front(), true });
        m_pending.pop_front();
        Sim::raise_irq(12);
    }
}

void PS2Mouse::deliver_on_halt()
{
    Sim::on_halt([this] {
        if (m_pending.empty())
            throw Sim::Stopped {};
        m_output.push_back({ m_pending.front(), true });
        m_pending.pop_front();
        Sim::raise_irq(12);
    });
}
