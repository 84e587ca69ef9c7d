#pragma once

// A simulated primary ATA channel (ports 0x1F0-0x1F7 and 0x3F6) with up to
// two drives over byte buffers. It answers IDENTIFY, SET MULTIPLE MODE,
// READ/WRITE SECTORS, READ/WRITE MULTIPLE and CACHE FLUSH like a real drive
// in PIO mode, logs every command, and can be told to fail.

#include "tests/sim/Sim.h"

#include <vector>

namespace Sim {

class AtaChannel : public PortDevice {
public:
    struct Command {
        u8 code;
        u32 lba;
        u32 count; // sector count register as written (0 means 256)
        int drive; // 0 master, 1 slave
    };

    struct Drive {
        std::vector<u8> bytes;
        u8 max_multiple { 16 };    // IDENTIFY word 47; 0: no multiple commands
        bool packet { false };     // answers IDENTIFY with the ATAPI signature
        bool stuck_busy { false }; // status stays busy for ever
        int fail_commands { 0 };   // the next n data commands end with the error bit
    };

    // Attaches itself to the ports; Sim::reset() detaches it again, so reset
    // the simulated machine before the channel goes away.
    AtaChannel();

    // Puts a drive of `sectors` zero sectors in a slot (0 master, 1 slave).
    Drive& attach_drive(int slot, u64 sectors);
    Drive* drive(int slot) { return m_present[slot] ? &m_drives[slot] : nullptr; }
    std::vector<Command> const& commands() const { return m_commands; }
    void clear_commands() { m_commands.clear(); }
    // Data blocks (DRQ phases) moved so far.
    u64 data_blocks() const { return m_data_blocks; }

    u32 read(u16 port, int width) override;
    void write(u16 port, u32 value, int width) override;

private:
    void execute(u8 command);
    void start_block();
    void finish_block();
    void fail(u8 error);
    u8 status() const;
    Drive& selected() { return m_drives[m_slave]; }

    Drive m_drives[2];
    bool m_present[2] { false, false };
    std::vector<Command> m_commands;
    int m_slave { 0 };
    u8 m_count { 0 };
    u8 m_lba[3] { 0, 0, 0 };
    u8 m_head { 0 };
    u8 m_status { 0x40 };
    u8 m_error { 0 };
    u8 m_multiple { 0 };
    // Transfer in progress.
    bool m_writing { false };
    u64 m_sector { 0 };
    u32 m_sectors_left { 0 };
    u32 m_block_sectors { 0 };
    std::vector<u16> m_buffer;
    size_t m_word { 0 };
    u64 m_data_blocks { 0 };
};

}
