#include "fs/Devices.h"

#include "base/OwnPtr.h"
#include "fs/MBR.h"
#include "fs/Partition.h"
#include "hal/Debugger.h"

Vector<device> Devices::dev;
char16_t ATA::nextDiskLetter = u'a';

namespace {
// The drives and partitions the registry created itself; they last until
// Forget, which normally means as long as the system.
Vector<OwnPtr<BlockDevice>> s_created;

BlockDevice& keep(OwnPtr<BlockDevice> device)
{
    BlockDevice& kept = *device;
    s_created.append(std::move(device));
    return kept;
}
}

void ATA::InitAta(AtaPio::Controller controller, AtaPio::Position position)
{
    auto drive = make_own<AtaPio>(controller, position);
    if (drive->Identify() != AtaPio::DriveKind::Ata)
        return;
    Debugger::Send("ATA disk: " + String::number(static_cast<i64>(drive->BlockCount())) + " sectors, "
        + String::number(drive->SectorsPerDataBlock()) + " per data block");
    auto added = AddDisk(keep(std::move(drive)));
    if (added.is_error())
        Debugger::Send("Partition table unreadable: " + added.error().message());
}

namespace {

// Only plain partitions can hold a file system of ours. Extended partitions
// (0x05, 0x0F, 0x85) are containers of further partitions, and 0xEE is the
// protective entry of a GUID partition table, which starts at sector 1:
// treating either as a partition would write over another system's tables.
// An entry that starts at sector 0 covers the table itself, and one that
// reaches past the end of the disk is not a table entry this disk wrote.
bool is_plain_partition(PartInfo const& entry, u64 diskBlocks)
{
    switch (entry.systemId) {
    case 0x05:
    case 0x0F:
    case 0x85:
    case 0xEE:
        return false;
    }
    return entry.startSector != 0 && entry.sectorCount != 0
        && static_cast<u64>(entry.startSector) + entry.sectorCount <= diskBlocks;
}

}

ErrorOr<void> ATA::AddDisk(BlockDevice& disk)
{
    BlockDevice::Devices.append(&disk);
    ByteBuffer sector;
    sector.resize(BlockDevice::BlockSize);
    TRY(disk.ReadBlock(0, 1, sector));
    MBR table(sector);
    for (auto const& entry : table.partitions) {
        if (is_plain_partition(entry, disk.BlockCount()))
            BlockDevice::Devices.append(&keep(make_own<Partition>(disk, entry.startSector, entry.sectorCount)));
    }
    return {};
}

void ATA::Detect()
{
    Devices::dev.clear();
    nextDiskLetter = u'a';
    i32 partitionNumber = 1;
    for (auto* blockDevice : BlockDevice::Devices) {
        if (blockDevice->AsPartition()) {
            Devices::dev.append({ "/dev/sda" + String::number(partitionNumber++), blockDevice });
        } else {
            Devices::dev.append({ "/dev/sd" + String::repeated(nextDiskLetter, 1), blockDevice });
            nextDiskLetter = static_cast<char16_t>(nextDiskLetter + 1);
        }
    }
}

void ATA::Forget()
{
    Devices::dev.clear();
    BlockDevice::Devices.clear();
    s_created.clear();
}
