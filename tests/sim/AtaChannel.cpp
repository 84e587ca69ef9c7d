#include "tests/sim/AtaChannel.h"

namespace {
constexpr u8 Busy = 0x80, Ready = 0x40, DataRequest = 0x08, ErrorBit = 0x01;
constexpr u8 Abort = 0x04, IdNotFound = 0x10;
}

namespace Sim {

AtaChannel::AtaChannel()
{
    attach(0x1F0, 0x1F7, this);
    attach(0x3F6, 0x3F6, this);
}

AtaChannel::Drive& AtaChannel::attach_drive(int slot, u64 sectors)
{
    m_present[slot] = true;
    m_drives[slot] = Drive {};
    m_drives[slot].bytes.assign(sectors * 512, 0);
    return m_drives[slot];
}

u8 AtaChannel::status() const
{
    if (!m_present[m_slave])
        return 0;
    if (m_drives[m_slave].stuck_busy)
        return Busy;
    return m_status;
}

u32 AtaChannel::read(u16 port, int width)
{
    switch (port) {
    case 0x1F0: {
        if (!(m_status & DataRequest) || m_writing)
            return 0;
        u16 word = m_buffer[m_word++];
        if (width == 8)
            return word & 0xFF;
        if (m_word == m_buffer.size())
            finish_block();
        return word;
    }
    case 0x1F1:
        return m_error;
    case 0x1F2:
        return m_count;
    case 0x1F3:
    case 0x1F4:
    case 0x1F5:
        return m_lba[port - 0x1F3];
    case 0x1F6:
        return m_head;
    case 0x1F7:
    case 0x3F6:
        return status();
    }
    return 0;
}

void AtaChannel::write(u16 port, u32 value, int)
{
    u8 byte = static_cast<u8>(value);
    switch (port) {
    case 0x1F0:
        if ((m_status & DataRequest) && m_writing) {
            m_buffer[m_word++] = static_cast<u16>(value);
            if (m_word == m_buffer.size())
                finish_block();
        }
        return;
    case 0x1F2:
        m_count = byte;
        return;
    case 0x1F3:
    case 0x1F4:
    case 0x1F5:
        m_lba[port - 0x1F3] = byte;
        return;
    case 0x1F6:
        m_head = byte;
        m_slave = (byte >> 4) & 1;
        return;
    case 0x1F7:
        if (m_present[m_slave])
            execute(byte);
        return;
    }
}

void AtaChannel::fail(u8 error)
{
    m_status = Ready | ErrorBit;
    m_error = error;
}

void AtaChannel::execute(u8 command)
{
    u32 lba = m_lba[0] | m_lba[1] << 8 | m_lba[2] << 16 | (m_head & 0x0F) << 24;
    m_commands.push_back({ command, lba, m_count, m_slave });
    m_status = Ready;
    m_error = 0;
    Drive& d = selected();
    if (command == 0xEC) {
        if (d.packet) {
            m_lba[1] = 0x14;
            m_lba[2] = 0xEB;
            return fail(Abort);
        }
        u64 sectors = d.bytes.size() / 512;
        m_buffer.assign(256, 0);
        m_buffer[47] = static_cast<u16>(0x8000 | d.max_multiple);
        m_buffer[60] = static_cast<u16>(sectors & 0xFFFF);
        m_buffer[61] = static_cast<u16>((sectors >> 16) & 0x0FFF);
        m_word = 0;
        m_writing = false;
        m_sectors_left = 0;
        m_status = Ready | DataRequest;
        return;
    }
    if (command == 0xC6) {
        bool power_of_two = m_count && !(m_count & (m_count - 1));
        if (!d.max_multiple || m_count > d.max_multiple || !power_of_two)
            return fail(Abort);
        m_multiple = m_count;
        return;
    }
    if (command == 0xE7)
        return;
    bool multiple = command == 0xC4 || command == 0xC5;
    if (command != 0x20 && command != 0x30 && !multiple)
        return fail(Abort);
    if (multiple && !m_multiple)
        return fail(Abort);
    if (d.fail_commands > 0) {
        --d.fail_commands;
        return fail(Abort);
    }
    u32 count = m_count ? m_count : 256;
    if (static_cast<u64>(lba) + count > d.bytes.size() / 512)
        return fail(IdNotFound);
    m_writing = command == 0x30 || command == 0xC5;
    m_sector = lba;
    m_sectors_left = count;
    m_block_sectors = multiple ? m_multiple : 1;
    start_block();
}

void AtaChannel::start_block()
{
    u32 sectors = m_sectors_left < m_block_sectors ? m_sectors_left : m_block_sectors;
    m_buffer.assign(sectors * 256, 0);
    m_word = 0;
    if (!m_writing) {
        u8 const* source = selected().bytes.data() + m_sector * 512;
        for (size_t i = 0; i < m_buffer.size(); ++i)
            m_buffer[i] = static_cast<u16>(source[2 * i] | source[2 * i + 1] << 8);
    }
    m_status = Ready | DataRequest;
}

void AtaChannel::finish_block()
{
    ++m_data_blocks;
    u32 sectors = static_cast<u32>(m_buffer.size() / 256);
    if (m_writing) {
        u8* target = selected().bytes.data() + m_sector * 512;
        for (size_t i = 0; i < m_buffer.size(); ++i) {
            target[2 * i] = static_cast<u8>(m_buffer[i]);
            target[2 * i + 1] = static_cast<u8>(m_buffer[i] >> 8);
        }
    }
    m_status = Ready;
    if (m_sectors_left == 0) // IDENTIFY
        return;
    m_sector += sectors;
    m_sectors_left -= sectors;
    if (m_sectors_left)
        start_block();
}

}
