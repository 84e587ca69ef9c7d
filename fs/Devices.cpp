#include "fs/Devices.h"

#include "fs/MBR.h"
#include "fs/Partition.h"
#include "hal/Debugger.h"

Vector<device> Devices::dev;
char16_t ATA::nextDiskLetter = u'a';

void ATA::InitAta(AtaPio::Controller controller, AtaPio::Position position)
{
    auto* drive = new AtaPio(controller, position);
    if (drive->Identify() != AtaPio::DriveKind::Ata) {
        delete drive;
        return;
    }
    Debugger::Send("ATA disk: " + String::number(static_cast<i64>(drive->BlockCount())) + " sectors, "
        + String::number(drive->SectorsPerDataBlock()) + " per data block");
    auto added = AddDisk(*drive);
    if (added.is_error())
        Debugger::Send("Partition table unreadable: " + added.error().message());
}

ErrorOr<void> ATA::AddDisk(BlockDevice& disk)
{
    BlockDevice::Devices.append(&disk);
    ByteBuffer sector;
    sector.resize(BlockDevice::BlockSize);
    TRY(disk.ReadBlock(0, 1, sector));
    MBR table(sector);
    for (auto const& part : table.partitions) {
        // A table entry reaching past the disk is cut at the disk's end, so
        // the partition cannot address sectors that do not exist.
        u64 start = part.startSector;
        if (start >= disk.BlockCount())
            continue;
        u64 count = part.sectorCount;
        if (count > disk.BlockCount() - start)
            count = disk.BlockCount() - start;
        BlockDevice::Devices.append(new Partition(disk, start, count));
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
