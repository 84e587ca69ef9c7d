#include "fs/AtaPio.h"

#include "arch/Port.h"
#include "hal/Time.h"

namespace {

// Command block register offsets.
constexpr u16 Data = 0;
constexpr u16 SectorCount = 2;
constexpr u16 LbaLow = 3;
constexpr u16 LbaMid = 4;
constexpr u16 LbaHigh = 5;
constexpr u16 DriveHead = 6;
constexpr u16 StatusCommand = 7;

constexpr u8 StatusBusy = 0x80;
constexpr u8 StatusDriveFault = 0x20;
constexpr u8 StatusDataRequest = 0x08;
constexpr u8 StatusError = 0x01;

constexpr u8 ControlNoInterrupt = 0x02;

constexpr u8 CommandReadSectors = 0x20;
constexpr u8 CommandWriteSectors = 0x30;
constexpr u8 CommandReadMultiple = 0xC4;
constexpr u8 CommandWriteMultiple = 0xC5;
constexpr u8 CommandSetMultiple = 0xC6;
constexpr u8 CommandCacheFlush = 0xE7;
constexpr u8 CommandIdentify = 0xEC;

constexpr u32 WordsPerSector = BlockDevice::BlockSize / 2;
constexpr u64 Lba28Limit = 1u << 28;

char const* const AtaError = "ATA Error";

}

AtaPio::AtaPio(Controller controller, Position position)
    : m_command_base(controller == Controller::Primary ? 0x1F0 : 0x170)
    , m_control(controller == Controller::Primary ? 0x3F6 : 0x376)
    , m_slave(position == Position::Slave)
{
}

u8 AtaPio::drive_select(u32 lba_high) const { return static_cast<u8>(0xE0 | (m_slave ? 0x10 : 0) | (lba_high & 0x0F)); }

// Reading the status four times gives the drive the 400 ns it needs before
// its status reflects a new command or drive selection.
void AtaPio::settle() const
{
    for (int i = 0; i < 4; ++i)
        Port::in8(m_control);
}

ErrorOr<u8> AtaPio::wait_not_busy() const
{
    u8 status = Port::in8(reg(StatusCommand));
    if (!(status & StatusBusy))
        return status;
    // The clock is only read once the drive turns out to be busy.
    Deadline deadline(TimeoutMs);
    while (!deadline.has_passed()) {
        status = Port::in8(reg(StatusCommand));
        if (!(status & StatusBusy))
            return status;
    }
    return Error(AtaError);
}

ErrorOr<void> AtaPio::check_status() const
{
    settle();
    u8 status = TRY(wait_not_busy());
    if (status & (StatusError | StatusDriveFault))
        return Error(AtaError);
    return {};
}

ErrorOr<void> AtaPio::wait_for_data() const
{
    settle();
    u8 status = TRY(wait_not_busy());
    if (status & (StatusError | StatusDriveFault))
        return Error(AtaError);
    if (status & StatusDataRequest)
        return {};
    Deadline deadline(TimeoutMs);
    while (!(status & StatusDataRequest)) {
        if (deadline.has_passed())
            return Error(AtaError);
        status = Port::in8(reg(StatusCommand));
        if (status & (StatusError | StatusDriveFault))
            return Error(AtaError);
    }
    return {};
}

ErrorOr<void> AtaPio::issue(u8 command, u32 lba, u32 count)
{
    TRY(wait_not_busy());
    Port::out8(reg(DriveHead), drive_select(lba >> 24));
    settle();
    TRY(wait_not_busy());
    Port::out8(reg(SectorCount), static_cast<u8>(count));
    Port::out8(reg(LbaLow), static_cast<u8>(lba));
    Port::out8(reg(LbaMid), static_cast<u8>(lba >> 8));
    Port::out8(reg(LbaHigh), static_cast<u8>(lba >> 16));
    Port::out8(reg(StatusCommand), command);
    return {};
}

AtaPio::DriveKind AtaPio::identify()
{
    Port::out8(m_control, ControlNoInterrupt);
    Port::out8(reg(DriveHead), static_cast<u8>(0xA0 | (m_slave ? 0x10 : 0)));
    settle();
    Port::out8(reg(SectorCount), 0);
    Port::out8(reg(LbaLow), 0);
    Port::out8(reg(LbaMid), 0);
    Port::out8(reg(LbaHigh), 0);
    Port::out8(reg(StatusCommand), CommandIdentify);
    u8 status = Port::in8(reg(StatusCommand));
    // 0: nothing answers in this slot; all ones: no controller at all.
    if (status == 0 || status == 0xFF)
        return DriveKind::None;
    auto ready = wait_not_busy();
    if (ready.is_error())
        return DriveKind::None;
    status = ready.value();
    if (status & StatusError) {
        u16 signature = static_cast<u16>(Port::in8(reg(LbaHigh)) << 8 | Port::in8(reg(LbaMid)));
        return signature == 0xEB14 || signature == 0x9669 ? DriveKind::Packet : DriveKind::None;
    }
    if (!(status & StatusDataRequest))
        return DriveKind::None;
    u16 identity[WordsPerSector];
    Port::in16_block(reg(Data), identity, WordsPerSector);
    m_sector_count = static_cast<u64>(identity[60]) | static_cast<u64>(identity[61]) << 16;
    m_max_multiple_sectors = identity[47] & 0xFF;
    if (m_max_multiple_sectors > 1 && !set_multiple_mode(m_max_multiple_sectors).is_error())
        m_sectors_per_data_block = m_max_multiple_sectors;
    return DriveKind::Ata;
}

ErrorOr<void> AtaPio::set_multiple_mode(u32 sectors)
{
    TRY(issue(CommandSetMultiple, 0, sectors));
    return check_status();
}

template<typename MoveDataBlock>
ErrorOr<void> AtaPio::transfer(bool write, u32 lba, u32 count, MoveDataBlock const& move_data_block)
{
    bool multiple = m_sectors_per_data_block > 1;
    u8 command = write ? (multiple ? CommandWriteMultiple : CommandWriteSectors)
                       : (multiple ? CommandReadMultiple : CommandReadSectors);
    TRY(issue(command, lba, count));
    for (u32 done = 0; done < count;) {
        u32 sectors = count - done < m_sectors_per_data_block ? count - done : m_sectors_per_data_block;
        TRY(wait_for_data());
        move_data_block(sectors * WordsPerSector);
        done += sectors;
    }
    if (write)
        TRY(check_status());
    return {};
}

ErrorOr<void> AtaPio::flush_cache()
{
    TRY(issue(CommandCacheFlush, 0, 0));
    return check_status();
}

ErrorOr<void> AtaPio::read_block(u64 first, u32 count, ByteBuffer& buffer)
{
    TRY(check_request(first, count, buffer.size()));
    if (first + count > Lba28Limit)
        return Error("Block number out of range");
    auto* words = reinterpret_cast<u16*>(buffer.data());
    for (u32 done = 0; done < count;) {
        u32 sectors = count - done < MaxSectorsPerCommand ? count - done : MaxSectorsPerCommand;
        TRY(transfer(false, static_cast<u32>(first + done), sectors, [&](u32 word_count) {
            Port::in16_block(reg(Data), words, word_count);
            words += word_count;
        }));
        done += sectors;
    }
    return {};
}

ErrorOr<void> AtaPio::write_blocks(u64 first, std::span<BlockPiece const> pieces)
{
    u32 count = TRY(check_request(first, pieces));
    if (first + count > Lba28Limit)
        return Error("Block number out of range");
    BlockPieceCursor cursor(pieces);
    for (u32 done = 0; done < count;) {
        u32 sectors = count - done < MaxSectorsPerCommand ? count - done : MaxSectorsPerCommand;
        TRY(transfer(true, static_cast<u32>(first + done), sectors, [&](u32 word_count) {
            // A data block may span pieces: the drive only counts words.
            for (u32 sent = 0; sent < word_count;) {
                // Pieces hold whole blocks: a run is whole words.
                auto run = cursor.take((word_count - sent) * 2u);
                Port::out16_block(reg(Data), reinterpret_cast<u16 const*>(run.data()), run.size() / 2);
                sent += static_cast<u32>(run.size() / 2);
            }
        }));
        done += sectors;
    }
    // One flush for the whole request: it is durable when this returns.
    return flush_cache();
}
