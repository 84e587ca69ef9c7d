#include "bench/Bench.h"

#include "fs/AtaPio.h"
#include "fs/DiskFilesystem.h"
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

// 2,000 small files in 100 directories, below five groups of 20 (a node
// holds about two dozen records); appends the address of every directory
// node of the volume to `nodes`.
bool build_tree(DiskFilesystem& fs, Vector<BlockNumber>& nodes)
{
    ByteBuffer content;
    content.resize(100);
    if (!Bench::check(fs.make_dir("tree", "root"), "disk.fs_mount: mkdir"))
        return false;
    for (u32 group = 0; group < 5; ++group) {
        String group_path = "tree/g" + String::number(group);
        if (!Bench::check(fs.make_dir(group_path, "root"), "disk.fs_mount: mkdir"))
            return false;
        for (u32 directory = 0; directory < 20; ++directory) {
            String path = group_path + "/d" + String::number(directory);
            if (!Bench::check(fs.make_dir(path, "root"), "disk.fs_mount: mkdir"))
                return false;
            for (u32 file = 0; file < 20; ++file) {
                if (!Bench::check(
                        fs.save_file(content, path + "/f" + String::number(file), "root"), "disk.fs_mount: save"))
                    return false;
            }
        }
    }
    // Every directory node of the volume, what a mount's walk reads, found
    // once the tree is complete: adding records can move a node.
    nodes.append(DiskFormat::RootNode);
    Vector<String> directories { "" };
    for (size_t i = 0; i < directories.size(); ++i) {
        auto records = fs.list(directories[i]);
        if (records.is_error()) {
            Bench::fail("disk.fs_mount: " + records.error().message());
            return false;
        }
        for (auto const& record : records.value()) {
            if (!record.is_directory())
                continue;
            directories.append(directories[i] + "/" + record.name);
            nodes.append(record.address);
        }
    }
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

    Vector<BlockNumber> nodes;
    if (!build_tree(fs, nodes))
        return;
    // Each directory node read once: the least a mount's walk reads.
    ByteBuffer node;
    node.resize(DiskFormat::NodeSize);
    Stopwatch raw_nodes;
    for (BlockNumber address : nodes) {
        if (!check(fs.blocks().partition().read_block(address.value(), DiskFormat::NodeBlocks, node),
                "disk.raw_read_nodes"))
            return;
    }
    report("disk.raw_read_nodes", raw_nodes.elapsed_microseconds(), "us");

    Stopwatch mount;
    DiskFilesystem fresh(fs.blocks().partition(), storage.user());
    auto usage = fresh.space_usage();
    u64 mount_time = mount.elapsed_microseconds();
    if (usage.is_error())
        return fail("disk.fs_mount_2000: " + usage.error().message());
    auto kept = fs.space_usage();
    if (kept.is_error() || kept.value().used_bytes != usage.value().used_bytes)
        return fail("disk.fs_mount_2000: the walk and the mounted volume disagree on the space used");
    report("disk.fs_mount_2000", mount_time, "us", "disk.raw_read_nodes");
}
