#pragma once

// A simulated AHCI controller: its registers in simulated physical memory
// at `Base`, ports with ATA disks over byte buffers. It works when the
// deadlines read the timer, as a real controller runs beside the processor:
// each read lets it take the firmware's hand-off, follow the engines' start
// and stop bits and run the command in slot 0, reading the command list,
// command table and PRDT from simulated memory. It answers IDENTIFY, READ and
// WRITE DMA EXT and FLUSH CACHE EXT, logs every command, and can be told to
// fail a command or stay busy.

#include "base/Types.h"

#include <array>
#include <vector>

namespace Sim {

class AhciController {
public:
    static constexpr u32 Base = 0xFEB00000;

    struct Command {
        u8 code;
        u64 lba;
        u32 count;
        u32 prdt_entries;
    };

    struct Disk {
        std::vector<u8> bytes;
        u32 signature { 0x00000101 };
        bool fail_next { false };    // the next command ends with the error bit
        bool stuck_busy { false };   // commands never complete
        bool engine_stuck { false }; // the command engine never stops
        std::vector<Command> commands;
        // Interrupt status as the controller holds it: the register is
        // write-one-to-clear, which plain simulated memory cannot be, so a
        // write is seen as a changed value at the next run.
        u32 interrupt_status { 0 };
    };

    // `firmware_owned`: the firmware holds the controller until it is asked
    // for it through the hand-off register.
    explicit AhciController(bool firmware_owned = false);
    ~AhciController();

    Disk& attach_disk(u32 port, u64 sectors);
    u32 reg(u32 offset) const;
    u32 port_reg(u32 port, u32 offset) const { return reg(0x100 + port * 0x80 + offset); }

private:
    void run();
    void run_port(u32 port);
    void execute(u32 port, Disk& disk);
    void set_reg(u32 offset, u32 value);

    u8* m_registers;
    std::array<Disk, 32> m_disks;
    u32 m_attached { 0 };
};

}
