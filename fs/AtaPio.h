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
    DriveKind Identify();

    ErrorOr<void> ReadBlock(u64 first, u32 count, ByteBuffer& buffer) override;
    ErrorOr<void> WriteBlock(u64 first, u32 count, ByteBuffer const& buffer) override;
    u64 BlockCount() const override { return m_sectorCount; }

    // Sectors moved per data request: the multiple-mode block size, or 1 when
    // the drive only does READ/WRITE SECTORS.
    u32 SectorsPerDataBlock() const { return m_sectorsPerDataBlock; }
    // Falls back to single-sector commands (the benchmark's baseline uses it).
    void SetSectorsPerDataBlock(u32 sectors) { m_sectorsPerDataBlock = sectors ? sectors : 1; }
    // Largest multiple-mode block size the drive reported (0: none).
    u32 MaxMultipleSectors() const { return m_maxMultipleSectors; }

private:
    u16 reg(u16 offset) const { return static_cast<u16>(m_commandBase + offset); }
    u8 driveSelect(u32 lbaHigh) const;
    void settle() const;
    ErrorOr<u8> waitNotBusy() const;
    ErrorOr<void> waitForData() const;
    ErrorOr<void> checkStatus() const;
    ErrorOr<void> issue(u8 command, u32 lba, u32 count);
    ErrorOr<void> transfer(bool write, u32 lba, u32 count, u8* bytes);
    ErrorOr<void> flushCache();
    ErrorOr<void> setMultipleMode(u32 sectors);

    u16 m_commandBase;
    u16 m_control;
    bool m_slave;
    u64 m_sectorCount { 0 };
    u32 m_maxMultipleSectors { 0 };
    u32 m_sectorsPerDataBlock { 1 };
};
