#include "fs/Ahci.h"

#include "hal/PageFrames.h"
#include "hal/Time.h"

namespace {

// Controller registers.
constexpr u32 Capabilities = 0x00;
constexpr u32 GlobalControl = 0x04;
constexpr u32 PortsImplemented = 0x0C;
constexpr u32 ExtendedCapabilities = 0x24;
constexpr u32 HandoffControl = 0x28;
constexpr u32 FirstPort = 0x100;
constexpr u32 PortStride = 0x80;
constexpr u32 RegisterBytes = FirstPort + 32 * PortStride;

constexpr u32 StaggeredSpinUp = 1u << 27;
constexpr u32 AhciEnable = 1u << 31;
constexpr u32 BiosHandoff = 1u << 0;
constexpr u32 BiosOwned = 1u << 0;
constexpr u32 OsOwned = 1u << 1;

// Port registers.
constexpr u32 CommandListBase = 0x00;
constexpr u32 CommandListBaseUpper = 0x04;
constexpr u32 FisBase = 0x08;
constexpr u32 FisBaseUpper = 0x0C;
constexpr u32 InterruptStatus = 0x10;
constexpr u32 InterruptEnable = 0x14;
constexpr u32 CommandStatus = 0x18;
constexpr u32 TaskFile = 0x20;
constexpr u32 Signature = 0x24;
constexpr u32 SataStatus = 0x28;
constexpr u32 SataError = 0x30;
constexpr u32 CommandIssue = 0x38;

constexpr u32 Start = 1u << 0;
constexpr u32 SpinUp = 1u << 1;
constexpr u32 PowerOn = 1u << 2;
constexpr u32 FisReceiveEnable = 1u << 4;
constexpr u32 FisReceiveRunning = 1u << 14;
constexpr u32 CommandListRunning = 1u << 15;
constexpr u32 TaskFileError = 1u << 30;

constexpr u32 DevicePresent = 3;
constexpr u32 AtaSignature = 0x00000101;

constexpr u8 StatusBusy = 0x80;
constexpr u8 StatusDriveFault = 0x20;
constexpr u8 StatusDataRequest = 0x08;
constexpr u8 StatusError = 0x01;

// Layout of the port's page: the list needs 1 KiB alignment, the FIS area
// 256 bytes and the table 128 bytes; a page start satisfies all three.
constexpr u32 ListOffset = 0x000;
constexpr u32 FisOffset = 0x400;
constexpr u32 TableOffset = 0x500;
constexpr u32 PrdtOffset = TableOffset + 0x80;
constexpr u32 MemoryBytes = 4096;
constexpr u32 BufferBytes = AhciDisk::MaxSectorsPerCommand * BlockDevice::BlockSize;

constexpr u8 HostToDeviceFis = 0x27;
constexpr u8 FisCommandFlag = 0x80;
constexpr u8 DeviceLba = 0x40;
constexpr u32 HeaderFisDwords = 5;
constexpr u32 HeaderWrite = 1u << 6;

constexpr u8 CommandReadDmaExt = 0x25;
constexpr u8 CommandWriteDmaExt = 0x35;
constexpr u8 CommandFlushCacheExt = 0xEA;
constexpr u8 CommandIdentify = 0xEC;

// Firmware may need up to two seconds to finish what it does with the
// controller before it lets go; an engine stops within half a second.
constexpr u32 HandoffMs = 2000;
constexpr u32 EngineStopMs = 500;

char const* const AtaError = "ATA Error";

// Waits until (register & mask) == value.
ErrorOr<void> wait_for(MemoryWindow const& window, u32 reg, u32 mask, u32 value, u32 milliseconds)
{
    Deadline deadline(milliseconds);
    while ((TRY(window.read32(reg)) & mask) != value) {
        if (deadline.has_passed())
            return Error(AtaError);
    }
    return {};
}

ErrorOr<void> take_from_firmware(MemoryWindow& hba)
{
    if (!(TRY(hba.read32(ExtendedCapabilities)) & BiosHandoff))
        return {};
    TRY(hba.write32(HandoffControl, TRY(hba.read32(HandoffControl)) | OsOwned));
    return wait_for(hba, HandoffControl, BiosOwned, 0, HandoffMs);
}

ErrorOr<OwnPtr<AhciDisk>> start_port(MemoryWindow& hba, u32 port, bool spin_up)
{
    MemoryWindow registers(hba.base() + FirstPort + port * PortStride, PortStride);
    if (spin_up)
        TRY(registers.write32(CommandStatus, TRY(registers.read32(CommandStatus)) | SpinUp | PowerOn));
    if ((TRY(registers.read32(SataStatus)) & 0x0F) != DevicePresent)
        return OwnPtr<AhciDisk> {};
    if (TRY(registers.read32(Signature)) != AtaSignature)
        return OwnPtr<AhciDisk> {};
    u32 memory = TRY(PageFrames::take(MemoryBytes));
    auto buffer = PageFrames::take(BufferBytes);
    if (buffer.is_error()) {
        PageFrames::give_back(memory);
        return buffer.release_error();
    }
    auto disk = make_own<AhciDisk>(registers, memory, buffer.value());
    TRY(disk->start());
    return disk;
}

}

AhciDisk::AhciDisk(MemoryWindow port_registers, u32 memory, u32 buffer)
    : m_port(port_registers)
    , m_memory(memory, MemoryBytes)
    , m_buffer(buffer, BufferBytes)
{
}

AhciDisk::~AhciDisk()
{
    if (!m_wedged && !stop_engines().is_error()) {
        PageFrames::give_back(m_memory.base());
        PageFrames::give_back(m_buffer.base());
    }
}

Vector<OwnPtr<AhciDisk>> AhciDisk::find_disks(u32 registers)
{
    Vector<OwnPtr<AhciDisk>> disks;
    MemoryWindow hba(registers, RegisterBytes);
    if (take_from_firmware(hba).is_error())
        return disks;
    auto control = hba.read32(GlobalControl);
    if (control.is_error() || hba.write32(GlobalControl, control.value() | AhciEnable).is_error())
        return disks;
    auto capabilities = hba.read32(Capabilities);
    auto implemented = hba.read32(PortsImplemented);
    if (capabilities.is_error() || implemented.is_error())
        return disks;
    for (u32 port = 0; port < 32; ++port) {
        if (!(implemented.value() & (1u << port)))
            continue;
        auto disk = start_port(hba, port, capabilities.value() & StaggeredSpinUp);
        if (!disk.is_error() && disk.value())
            disks.append(disk.release_value());
    }
    return disks;
}

ErrorOr<void> AhciDisk::stop_engines()
{
    u32 command = TRY(m_port.read32(CommandStatus));
    TRY(m_port.write32(CommandStatus, command & ~Start));
    TRY(wait_for(m_port, CommandStatus, CommandListRunning, 0, EngineStopMs));
    TRY(m_port.write32(CommandStatus, TRY(m_port.read32(CommandStatus)) & ~FisReceiveEnable));
    return wait_for(m_port, CommandStatus, FisReceiveRunning, 0, EngineStopMs);
}

ErrorOr<void> AhciDisk::start()
{
    if (auto stopped = stop_engines(); stopped.is_error()) {
        // Something else left the port running and it will not stop: it may
        // still write wherever its old list points, not into our memory.
        m_wedged = true;
        return stopped;
    }
    TRY(m_port.write32(CommandListBase, m_memory.base() + ListOffset));
    TRY(m_port.write32(CommandListBaseUpper, 0));
    TRY(m_port.write32(FisBase, m_memory.base() + FisOffset));
    TRY(m_port.write32(FisBaseUpper, 0));
    TRY(m_port.write32(InterruptEnable, 0));
    TRY(start_engines());
    return identify();
}

// Clears what the last command left and lets the port fetch commands again.
ErrorOr<void> AhciDisk::start_engines()
{
    TRY(m_port.write32(SataError, 0xFFFFFFFF));
    TRY(m_port.write32(InterruptStatus, 0xFFFFFFFF));
    TRY(m_port.write32(CommandStatus, TRY(m_port.read32(CommandStatus)) | FisReceiveEnable));
    return m_port.write32(CommandStatus, TRY(m_port.read32(CommandStatus)) | Start);
}

ErrorOr<void> AhciDisk::identify()
{
    TRY(execute(CommandIdentify, 0, 1, false));
    auto word = [&](u32 index) -> ErrorOr<u64> { return TRY(m_buffer.read16(index * 2)); };
    bool lba48 = TRY(word(83)) & (1u << 10);
    if (lba48)
        m_sector_count = TRY(word(100)) | TRY(word(101)) << 16 | TRY(word(102)) << 32 | TRY(word(103)) << 48;
    else
        m_sector_count = TRY(word(60)) | TRY(word(61)) << 16;
    return {};
}

ErrorOr<void> AhciDisk::wait_for_completion()
{
    Deadline deadline(TimeoutMs);
    while (true) {
        if (TRY(m_port.read32(InterruptStatus)) & TaskFileError)
            return Error(AtaError);
        if (!(TRY(m_port.read32(CommandIssue)) & 1))
            break;
        if (deadline.has_passed())
            return Error(AtaError);
    }
    if (TRY(m_port.read32(TaskFile)) & (StatusError | StatusDriveFault))
        return Error(AtaError);
    return {};
}

void AhciDisk::recover()
{
    if (stop_engines().is_error() || start_engines().is_error())
        m_wedged = true;
}

ErrorOr<void> AhciDisk::execute(u8 command, u64 lba, u32 sectors, bool write)
{
    if (m_wedged)
        return Error(AtaError);
    TRY(wait_for(m_port, TaskFile, StatusBusy | StatusDataRequest, 0, TimeoutMs));
    u32 bytes = sectors * BlockSize;
    // Command header 0: FIS length, direction and one PRDT entry.
    TRY(m_memory.write32(ListOffset, HeaderFisDwords | (write ? HeaderWrite : 0) | (bytes ? 1u << 16 : 0)));
    TRY(m_memory.write32(ListOffset + 4, 0));
    TRY(m_memory.write32(ListOffset + 8, m_memory.base() + TableOffset));
    TRY(m_memory.write32(ListOffset + 12, 0));

    u8 fis[20] = {
        HostToDeviceFis,
        FisCommandFlag,
        command,
        0,
        static_cast<u8>(lba),
        static_cast<u8>(lba >> 8),
        static_cast<u8>(lba >> 16),
        DeviceLba,
        static_cast<u8>(lba >> 24),
        static_cast<u8>(lba >> 32),
        static_cast<u8>(lba >> 40),
        0,
        static_cast<u8>(sectors),
        static_cast<u8>(sectors >> 8),
    };
    TRY(m_memory.copy_in(TableOffset, fis, sizeof fis));
    if (bytes) {
        TRY(m_memory.write32(PrdtOffset, m_buffer.base()));
        TRY(m_memory.write32(PrdtOffset + 4, 0));
        TRY(m_memory.write32(PrdtOffset + 8, 0));
        TRY(m_memory.write32(PrdtOffset + 12, bytes - 1));
    }
    TRY(m_port.write32(InterruptStatus, 0xFFFFFFFF));
    TRY(m_port.write32(CommandIssue, 1));
    auto completed = wait_for_completion();
    if (completed.is_error())
        recover();
    return completed;
}

ErrorOr<void> AhciDisk::read_block(u64 first, u32 count, ByteBuffer& buffer)
{
    TRY(check_request(first, count, buffer.size()));
    for (u32 done = 0; done < count;) {
        u32 sectors = count - done < MaxSectorsPerCommand ? count - done : MaxSectorsPerCommand;
        TRY(execute(CommandReadDmaExt, first + done, sectors, false));
        TRY(m_buffer.copy_out(0, buffer.data() + done * BlockSize, sectors * BlockSize));
        done += sectors;
    }
    return {};
}

ErrorOr<void> AhciDisk::write_blocks(u64 first, std::span<BlockPiece const> pieces)
{
    u32 count = TRY(check_request(first, pieces));
    BlockPieceCursor cursor(pieces);
    for (u32 done = 0; done < count;) {
        u32 sectors = count - done < MaxSectorsPerCommand ? count - done : MaxSectorsPerCommand;
        // Gather the next sectors from the pieces into the transfer buffer.
        for (u32 filled = 0; filled < sectors * BlockSize;) {
            auto run = cursor.take(sectors * BlockSize - filled);
            TRY(m_buffer.copy_in(filled, run.data(), static_cast<u32>(run.size())));
            filled += static_cast<u32>(run.size());
        }
        TRY(execute(CommandWriteDmaExt, first + done, sectors, true));
        done += sectors;
    }
    // One flush for the whole request: it is durable when this returns.
    return execute(CommandFlushCacheExt, 0, 0, false);
}
