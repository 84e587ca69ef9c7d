#include "bench/Bench.h"

#include "fs/AtaPio.h"
#include "fs/Storage.h"

// Raw sequential programmed I/O against the file system's save and read of
// a 1 MiB file. The raw figures use the same request size (1 MiB, one cache
// flush per write request) as the file system's content transfer.
namespace {

constexpr u32 ChunkBlocks = 2048; // 1 MiB
constexpr u32 Rounds = 8;
constexpr u64 Bytes = static_cast<u64>(ChunkBlocks) * BlockDevice::BlockSize * Rounds;

AtaPio* find_disk(Storage& storage)
{
    for (auto* device : storage.devices()) {
        // Whole disks in the kernel's registry are always ATA drives.
        if (!device->AsPartition())
            return static_cast<AtaPio*>(device);
    }
    return nullptr;
}

bool raw_pass(AtaPio& disk, u64 area, bool write, ByteBuffer& buffer, String const& name, String const& baseline)
{
    Bench::Stopwatch watch;
    for (u32 i = 0; i < Rounds; ++i) {
        u64 first = area + static_cast<u64>(i) * ChunkBlocks;
        auto result = write ? disk.WriteBlock(first, ChunkBlocks, buffer) : disk.ReadBlock(first, ChunkBlocks, buffer);
        if (result.is_error()) {
            Bench::Fail(name + ": " + result.error().message());
            return false;
        }
    }
    Bench::Report(name, Bench::KibPerSecond(Bytes, watch), "KiB/s", baseline);
    return true;
}

}

void Bench::RunDiskBenchmarks(Storage& storage)
{
    AtaPio* disk = find_disk(storage);
    auto volume = storage.boot_volume();
    if (!disk || volume.is_error()) {
        Fail("disk: no ATA disk with a file system");
        return;
    }
    DiskFilesystem& fs = *volume.value();
    ByteBuffer buffer;
    buffer.resize(static_cast<size_t>(ChunkBlocks) * BlockDevice::BlockSize);
    for (size_t i = 0; i < buffer.size(); ++i)
        buffer[i] = static_cast<u8>(i * 31);
    // The top of the disk, far above what the file system allocates here.
    u64 area = disk->BlockCount() - static_cast<u64>(ChunkBlocks) * Rounds;

    u32 multiple = disk->SectorsPerDataBlock();
    Report("disk.sectors_per_data_block", multiple, "sectors");
    if (!raw_pass(*disk, area, true, buffer, "disk.raw_write", {})
        || !raw_pass(*disk, area, false, buffer, "disk.raw_read", {}))
        return;
    // READ/WRITE SECTORS for comparison: what the multiple commands gain.
    disk->SetSectorsPerDataBlock(1);
    bool single = raw_pass(*disk, area, true, buffer, "disk.raw_write_single", "disk.raw_write")
        && raw_pass(*disk, area, false, buffer, "disk.raw_read_single", "disk.raw_read");
    disk->SetSectorsPerDataBlock(multiple);
    if (!single)
        return;

    Stopwatch save;
    for (u32 i = 0; i < Rounds; ++i) {
        auto result = fs.saveFile(buffer, "/bench.bin", "root");
        if (result.is_error())
            return Fail("disk.fs_save: " + result.error().message());
    }
    Report("disk.fs_save", KibPerSecond(Bytes, save), "KiB/s", "disk.raw_write");

    Stopwatch read;
    for (u32 i = 0; i < Rounds; ++i) {
        auto result = fs.readFile("/bench.bin");
        if (result.is_error())
            return Fail("disk.fs_read: " + result.error().message());
        if (result.value().size() != buffer.size())
            return Fail("disk.fs_read: wrong length");
    }
    Report("disk.fs_read", KibPerSecond(Bytes, read), "KiB/s", "disk.raw_read");
}
