#pragma once

#include "fs/BlockDevice.h"

// One ATA drive driven by programmed I/O with 28-bit LBA addressing. The
// drive's interrupt is switched off: every command is completed by polling
// the status register, and every wait gives up after a time limit ("ATA
// Error"), so a dead drive cannot hang the system.
class AtaPio : public BlockDevice {
public:
    enum class Controller { Primary, Secondary };
    enum class Position { Master, Slave };
    enum class DriveKind { None, Ata, Packet };

    // Largest sector count one LBA28 command carries; bigger requests are
    // split into several commands.
    static constexpr u32 MaxSectorsPerCommand = 255;
    // How long a drive may stay busy or keep its data back. A disk that is
    // spinning up answers its first command after several seconds.
    static constexpr u32 TimeoutMs = 10000;

    AtaPio(Controller controller, Position position);

    // IDENTIFY DEVICE: finds out what sits in this slot. For an ATA disk it
    // also records the size and switches on multiple-sector transfers when
    // the drive offers them (IDENTIFY word 47).
    DriveKind identify();

    ErrorOr<void> read_block(u64 first, u32 count, ByteBuffer& buffer) override;
    ErrorOr<void> write_blocks(u64 first, std::span<BlockPiece const> pieces) override;
    u64 block_count() const override { return m_sector_count; }
    AtaPio* as_ata_pio() override { return this; }

    // Sectors moved per data request: the multiple-mode block size, or 1 when
    // the drive only does READ/WRITE SECTORS.
    u32 sectors_per_data_block() const { return m_sectors_per_data_block; }
    // Falls back to single-sector commands (the benchmark's baseline uses it).
    void set_sectors_per_data_block(u32 sectors) { m_sectors_per_data_block = sectors ? sectors : 1; }
    // Largest multiple-mode block size the drive reported (0: none).
    u32 max_multiple_sectors() const { return m_max_multiple_sectors; }

private:
    u16 reg(u16 offset) const { return static_cast<u16>(m_command_base + offset); }
    u8 drive_select(u32 lba_high) const;
    void settle() const;
    ErrorOr<u8> wait_not_busy() const;
    ErrorOr<void> wait_for_data() const;
    ErrorOr<void> check_status() const;
    ErrorOr<void> issue(u8 command, u32 lba, u32 count);
    // One command of `count` sectors; `move_data_block(words)` moves each
    // data block through the data port.
    template<typename MoveDataBlock>
    ErrorOr<void> transfer(bool write, u32 lba, u32 count, MoveDataBlock const& move_data_block);
    ErrorOr<void> flush_cache();
    ErrorOr<void> set_multiple_mode(u32 sectors);

    u16 m_command_base;
    u16 m_control;
    bool m_slave;
    u64 m_sector_count { 0 };
    u32 m_max_multiple_sectors { 0 };
    u32 m_sectors_per_data_block { 1 };
};
