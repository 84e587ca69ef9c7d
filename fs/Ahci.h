#pragma once

#include "base/OwnPtr.h"
#include "base/Vector.h"
#include "fs/BlockDevice.h"
#include "hal/MemoryWindow.h"

// One ATA disk on a port of an AHCI (Serial ATA) controller, driven by DMA
// with 48-bit LBA commands through command slot 0. Completion is polled, and
// every wait gives up after a time limit ("ATA Error"), as with the IDE
// drives. The port's command list, received-FIS area, command table and a
// transfer buffer live in page frames the disk owns: the controller only
// ever sees physical addresses of memory that stays put while it runs.
class AhciDisk : public BlockDevice {
public:
    // Largest sector count one command carries (the transfer buffer's size);
    // bigger requests are split.
    static constexpr u32 MaxSectorsPerCommand = 128;
    static constexpr u32 TimeoutMs = 10000;

    // Takes the controller whose registers (ABAR) start at `registers` from
    // the firmware, switches it to AHCI mode and returns a started disk for
    // every implemented port with an ATA disk attached.
    static Vector<OwnPtr<AhciDisk>> find_disks(u32 registers);

    AhciDisk(MemoryWindow port_registers, u32 memory, u32 buffer);
    ~AhciDisk() override;

    // Stops the port's engines, hands it this disk's memory, starts it again
    // and identifies the disk.
    ErrorOr<void> start();

    ErrorOr<void> read_block(u64 first, u32 count, ByteBuffer& buffer) override;
    ErrorOr<void> write_blocks(u64 first, std::span<BlockPiece const> pieces) override;
    u64 block_count() const override { return m_sector_count; }
    AhciDisk* as_ahci() override { return this; }

private:
    ErrorOr<void> stop_engines();
    ErrorOr<void> start_engines();
    ErrorOr<void> identify();
    // Runs one command through slot 0, moving `sectors` sectors between the
    // device and the transfer buffer.
    ErrorOr<void> execute(u8 command, u64 lba, u32 sectors, bool write);
    ErrorOr<void> wait_for_completion();
    // After a failed command: the engines are stopped so that no command
    // still points into the memory. If they do not stop, the port is left
    // for dead and its memory is never given back.
    void recover();

    MemoryWindow m_port;
    // Command list, received FIS and command table, in one page.
    MemoryWindow m_memory;
    MemoryWindow m_buffer;
    bool m_wedged { false };
    u64 m_sector_count { 0 };
};
