#include "fs/Storage.h"

#include "base/Assertions.h"
#include "fs/Ahci.h"
#include "fs/MBR.h"
#include "fs/Partition.h"
#include "hal/Debugger.h"
#include "hal/Pci.h"

namespace {

// Only plain partitions can hold a file system of ours. Extended partitions
// (0x05, 0x0F, 0x85) are containers of further partitions, and 0xEE is the
// protective entry of a GUID partition table, which starts at sector 1:
// treating either as a partition would write over another system's tables.
// An entry that starts at sector 0 covers the table itself, and one that
// reaches past the end of the disk is not a table entry this disk wrote.
bool is_plain_partition(PartInfo const& entry, u64 disk_blocks)
{
    switch (entry.system_id) {
    case 0x05:
    case 0x0F:
    case 0x85:
    case 0xEE:
        return false;
    }
    return entry.start_sector != 0 && entry.sector_count != 0
        && static_cast<u64>(entry.start_sector) + entry.sector_count <= disk_blocks;
}

}

BlockDevice& Storage::keep(OwnPtr<BlockDevice> device)
{
    BlockDevice& kept = *device;
    m_created.append(std::move(device));
    return kept;
}

void Storage::probe_ata(AtaPio::Controller controller, AtaPio::Position position)
{
    auto drive = make_own<AtaPio>(controller, position);
    if (drive->identify() != AtaPio::DriveKind::Ata)
        return;
    Debugger::send("ATA disk: " + String::number(static_cast<i64>(drive->block_count())) + " sectors, "
        + String::number(drive->sectors_per_data_block()) + " per data block");
    auto added = add_disk(keep(std::move(drive)));
    if (added.is_error())
        Debugger::send("Partition table unreadable: " + added.error().message());
}

void Storage::probe_ahci()
{
    constexpr u8 MassStorage = 0x01;
    constexpr u8 SerialAta = 0x06;
    constexpr u8 AhciInterface = 0x01;
    for (auto const& function : PCI::devices()) {
        if (function->class_code != MassStorage || function->subclass != SerialAta || function->prog_if != AhciInterface
            || function->kind() != PCIHeaderType::Normal)
            continue;
        auto registers = static_cast<PCIDeviceNormal const&>(*function).bar(5);
        if (registers.is_io || registers.base_address == 0)
            continue;
        // The controller fetches its command lists and moves the data itself.
        function->enable_memory(true);
        for (auto& disk : AhciDisk::find_disks(registers.base_address)) {
            Debugger::send("AHCI disk: " + String::number(static_cast<i64>(disk->block_count())) + " sectors");
            auto added = add_disk(keep(std::move(disk)));
            if (added.is_error())
                Debugger::send("Partition table unreadable: " + added.error().message());
        }
    }
}

ErrorOr<void> Storage::add_disk(BlockDevice& disk)
{
    m_devices.append(&disk);
    ByteBuffer sector;
    sector.resize(BlockDevice::BlockSize);
    TRY(disk.read_block(0, 1, sector));
    MBR table(sector);
    for (auto const& entry : table.partitions()) {
        if (is_plain_partition(entry, disk.block_count()))
            m_devices.append(&keep(make_own<Partition>(disk, entry.start_sector, entry.sector_count)));
    }
    return {};
}

void Storage::name_devices()
{
    m_named.clear();
    char16_t disk_letter = u'a';
    i32 partition_number = 1;
    for (auto* device : m_devices) {
        if (device->as_partition()) {
            m_named.append({ "/dev/sda" + String::number(partition_number++), device });
        } else {
            m_named.append({ "/dev/sd" + String::repeated(disk_letter, 1), device });
            disk_letter = static_cast<char16_t>(disk_letter + 1);
        }
    }
}

void Storage::mount_boot_volume(OwnPtr<DiskFilesystem> volume)
{
    VERIFY(!m_boot_volume && volume);
    m_boot_volume = std::move(volume);
}

ErrorOr<Filesystem*> Storage::filesystem() { return TRY(boot_volume()); }

ErrorOr<DiskFilesystem*> Storage::boot_volume()
{
    if (!m_boot_volume)
        return Error("No disk file system");
    return m_boot_volume.ptr();
}
