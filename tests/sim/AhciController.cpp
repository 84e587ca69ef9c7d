#include "tests/sim/AhciController.h"

#include "tests/sim/Sim.h"

#include <algorithm>
#include <cstring>

namespace Sim {

namespace {

    constexpr u32 CommandStatus = 0x18;
    constexpr u32 TaskFile = 0x20;
    constexpr u32 CommandIssue = 0x38;

    u32 load32(u32 address)
    {
        u32 value;
        std::memcpy(&value, memory(address), 4);
        return value;
    }

}

AhciController::AhciController(bool firmware_owned)
    : m_registers(map_memory(Base, 0x1100))
{
    set_reg(0x00, 0x40000005); // 64-bit capable, 6 ports
    set_reg(0x24, firmware_owned ? 1 : 0);
    set_reg(0x28, firmware_owned ? 1 : 0);
    on_timer_read([this] { run(); });
}

AhciController::~AhciController() { on_timer_read(nullptr); }

u32 AhciController::reg(u32 offset) const
{
    u32 value;
    std::memcpy(&value, m_registers + offset, 4);
    return value;
}

void AhciController::set_reg(u32 offset, u32 value) { std::memcpy(m_registers + offset, &value, 4); }

AhciController::Disk& AhciController::attach_disk(u32 port, u64 sectors)
{
    m_attached |= 1u << port;
    set_reg(0x0C, reg(0x0C) | 1u << port);
    auto& disk = m_disks[port];
    disk.bytes.assign(sectors * 512, 0);
    u32 base = 0x100 + port * 0x80;
    set_reg(base + 0x24, disk.signature);
    set_reg(base + 0x28, 0x113); // present, link up, active
    set_reg(base + TaskFile, 0x50);
    return disk;
}

void AhciController::run()
{
    // The firmware lets go once the system asks for the controller.
    if ((reg(0x28) & 2) && (reg(0x28) & 1))
        set_reg(0x28, reg(0x28) & ~1u);
    for (u32 port = 0; port < 32; ++port) {
        if (m_attached & (1u << port))
            run_port(port);
    }
}

void AhciController::run_port(u32 port)
{
    auto& disk = m_disks[port];
    u32 base = 0x100 + port * 0x80;
    set_reg(base + 0x24, disk.signature);
    if (u32 written = reg(base + 0x10); written != disk.interrupt_status)
        disk.interrupt_status &= ~written;
    set_reg(base + 0x10, disk.interrupt_status);
    u32 command = reg(base + CommandStatus);
    // The running bits follow start and FIS-receive enable; clearing start
    // also clears the issued commands.
    bool running = command & 1;
    if (!running && !disk.engine_stuck) {
        command &= ~(1u << 15);
        set_reg(base + CommandIssue, 0);
        if (disk.stuck_busy)
            set_reg(base + TaskFile, 0x50);
    } else if (running) {
        command |= 1u << 15;
    }
    command = (command & 0x10) ? command | 1u << 14 : command & ~(1u << 14);
    set_reg(base + CommandStatus, command);
    if (running && (reg(base + CommandIssue) & 1))
        execute(port, disk);
}

void AhciController::execute(u32 port, Disk& disk)
{
    u32 base = 0x100 + port * 0x80;
    if (disk.stuck_busy) {
        set_reg(base + TaskFile, 0x80);
        return;
    }
    u32 list = reg(base + 0x00);
    u32 header = load32(list);
    u32 table = load32(list + 8);
    u8 const* fis = memory(table);
    Command command { fis[2],
        fis[4] | static_cast<u64>(fis[5]) << 8 | static_cast<u64>(fis[6]) << 16 | static_cast<u64>(fis[8]) << 24
            | static_cast<u64>(fis[9]) << 32 | static_cast<u64>(fis[10]) << 40,
        static_cast<u32>(fis[12] | fis[13] << 8), header >> 16 };
    disk.commands.push_back(command);

    bool fail = disk.fail_next || fis[0] != 0x27 || !(fis[1] & 0x80);
    disk.fail_next = false;
    std::vector<u8> data;
    u64 offset = command.lba * 512;
    u64 length = static_cast<u64>(command.count) * 512;
    bool write = command.code == 0x35;
    if (command.code == 0xEC) {
        data.assign(512, 0);
        u64 sectors = disk.bytes.size() / 512;
        data[83 * 2 + 1] = 1 << 2; // 48-bit addressing
        for (int i = 0; i < 4; ++i) {
            data[(100 + i) * 2] = static_cast<u8>(sectors >> (16 * i));
            data[(100 + i) * 2 + 1] = static_cast<u8>(sectors >> (16 * i + 8));
        }
        data[60 * 2] = 0xFF; // the 28-bit count, capped, must not be used
        data[60 * 2 + 1] = 0xFF;
    } else if (command.code == 0x25 || write) {
        if (offset + length > disk.bytes.size() || (header & 0x40) != (write ? 0x40u : 0u))
            fail = true;
        else if (!write)
            data.assign(disk.bytes.begin() + offset, disk.bytes.begin() + offset + length);
        else
            data.resize(length);
    } else if (command.code != 0xEA) {
        fail = true;
    }
    if (!fail) {
        // Scatter or gather through the PRDT entries.
        size_t moved = 0;
        for (u32 entry = 0; entry < command.prdt_entries && moved < data.size(); ++entry) {
            u32 address = load32(table + 0x80 + entry * 16);
            size_t bytes
                = std::min<size_t>((load32(table + 0x80 + entry * 16 + 12) & 0x3FFFFF) + 1, data.size() - moved);
            if (write)
                std::memcpy(data.data() + moved, memory(address), bytes);
            else
                std::memcpy(memory(address), data.data() + moved, bytes);
            moved += bytes;
        }
        if (moved < data.size())
            fail = true;
        else if (write)
            std::copy(data.begin(), data.end(), disk.bytes.begin() + static_cast<long>(offset));
    }
    if (fail) {
        set_reg(base + TaskFile, 0x0451); // aborted, error bit
        disk.interrupt_status |= 1u << 30;
        set_reg(base + 0x10, disk.interrupt_status);
        return;
    }
    set_reg(base + TaskFile, 0x50);
    set_reg(base + CommandIssue, 0);
}

}
