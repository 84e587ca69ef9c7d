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
        if (!device->as_partition())
            return static_cast<AtaPio*>(device);
    }
    return nullptr;
}

bool raw_pass(AtaPio& disk, u64 area, bool write, ByteBuffer& buffer, String const& name, String const& baseline)
{
    Bench::Stopwatch watch;
    for (u32 i = 0; i < Rounds; ++i) {
        u64 first = area + static_cast<u64>(i) * ChunkBlocks;
        auto result
            = write ? disk.write_block(first, ChunkBlocks, buffer) : disk.read_block(first, ChunkBlocks, buffer);
        if (result.is_error()) {
            Bench::fail(name + ": " + result.error().message());
            return false;
        }
    }
    Bench::report(name, Bench::kib_per_second(Bytes, watch), "KiB/s", baseline);
    return true;
}

}

void Bench::run_disk_benchmarks(Storage& storage)
{
    AtaPio* disk = find_disk(storage);
    auto volume = storage.boot_volume();
    if (!disk || volume.is_error()) {
        fail("disk: no ATA disk with a file system");
        return;
    }
    DiskFilesystem& fs = *volume.value();
    ByteBuffer buffer;
    buffer.resize(static_cast<size_t>(ChunkBlocks) * BlockDevice::BlockSize);
    for (size_t i = 0; i < buffer.size(); ++i)
        buffer[i] = static_cast<u8>(i * 31);
    // The top of the disk, far above what the file system allocates here.
    u64 area = disk->block_count() - static_cast<u64>(ChunkBlocks) * Rounds;

    u32 multiple = disk->sectors_per_data_block();
    report("disk.sectors_per_data_block", multiple, "sectors");
    if (!raw_pass(*disk, area, true, buffer, "disk.raw_write", {})
        || !raw_pass(*disk, area, false, buffer, "disk.raw_read", {}))
        return;
    // READ/WRITE SECTORS for comparison: what the multiple commands gain.
    disk->set_sectors_per_data_block(1);
    bool single = raw_pass(*disk, area, true, buffer, "disk.raw_write_single", "disk.raw_write")
        && raw_pass(*disk, area, false, buffer, "disk.raw_read_single", "disk.raw_read");
    disk->set_sectors_per_data_block(multiple);
    if (!single)
        return;

    Stopwatch save;
    for (u32 i = 0; i < Rounds; ++i) {
        auto result = fs.save_file(buffer, "/bench.bin", "root");
        if (result.is_error())
            return fail("disk.fs_save: " + result.error().message());
    }
    report("disk.fs_save", kib_per_second(Bytes, save), "KiB/s", "disk.raw_write");

    Stopwatch read;
    for (u32 i = 0; i < Rounds; ++i) {
        auto result = fs.read_file("/bench.bin");
        if (result.is_error())
            return fail("disk.fs_read: " + result.error().message());
        if (result.value().size() != buffer.size())
            return fail("disk.fs_read: wrong length");
    }
    report("disk.fs_read", kib_per_second(Bytes, read), "KiB/s", "disk.raw_read");
}
