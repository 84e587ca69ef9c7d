#include "bench/Bench.h"

#include "fs/AtaPio.h"
#include "fs/DiskFilesystem.h"
#include "fs/Storage.h"

// The disk the boot volume lives on, whichever driver the boot found it
// with: raw sequential transfers through its block interface against the
// file system's save and read of a 1 MiB file. The raw figures use the same
// request size (1 MiB, one cache flush per write request) as the file
// system's content transfer.
namespace {

constexpr u32 ChunkBlocks = 2048; // 1 MiB
constexpr u32 Rounds = 8;
constexpr u64 Bytes = static_cast<u64>(ChunkBlocks) * BlockDevice::BlockSize * Rounds;

// The names of one disk's figures: the IDE drive's are "disk.NAME", as they
// always were, an AHCI disk's "ahci.NAME", so that bench/run can set the
// two boards' runs side by side.
class Figures {
public:
    explicit Figures(char const* prefix)
        : m_prefix(prefix)
    {
    }
    String name(char const* figure) const { return String(m_prefix) + "." + figure; }
    void report(char const* figure, u64 value, char const* unit, char const* baseline = nullptr) const
    {
        Bench::report(name(figure), value, unit, baseline ? name(baseline) : String());
    }
    bool check(ErrorOr<void> const& result, char const* what) const
    {
        if (!result.is_error())
            return true;
        fail(what, result.error().message());
        return false;
    }
    void fail(char const* what, String const& why) const { Bench::fail(name(what) + ": " + why); }

private:
    char const* m_prefix;
};

// The rate of `Rounds` 1 MiB requests, in KiB/s.
ErrorOr<u64> raw_rate(BlockDevice& disk, u64 area, bool write, ByteBuffer& buffer)
{
    Bench::Stopwatch watch;
    for (u32 i = 0; i < Rounds; ++i) {
        u64 first = area + static_cast<u64>(i) * ChunkBlocks;
        TRY(write ? disk.write_block(first, ChunkBlocks, buffer) : disk.read_block(first, ChunkBlocks, buffer));
    }
    return Bench::kib_per_second(Bytes, watch);
}

bool raw_pass(Figures const& figures, AtaPio& disk, u64 area, bool write, ByteBuffer& buffer, char const* name,
    char const* baseline)
{
    auto rate = raw_rate(disk, area, write, buffer);
    if (rate.is_error()) {
        figures.fail(name, rate.error().message());
        return false;
    }
    figures.report(name, rate.value(), "KiB/s", baseline);
    return true;
}

// The file system's save and read of a 1 MiB file, `Rounds` times each.
ErrorOr<u64> save_rate(DiskFilesystem& fs, ByteBuffer const& buffer)
{
    Bench::Stopwatch watch;
    for (u32 i = 0; i < Rounds; ++i)
        TRY(fs.save_file(buffer, "/bench.bin", "root"));
    return Bench::kib_per_second(Bytes, watch);
}

ErrorOr<u64> read_rate(DiskFilesystem& fs, ByteBuffer const& buffer)
{
    Bench::Stopwatch watch;
    for (u32 i = 0; i < Rounds; ++i) {
        if (TRY(fs.read_file("/bench.bin")).size() != buffer.size())
            return Error("wrong length");
    }
    return Bench::kib_per_second(Bytes, watch);
}

// Each of the four rates at its best over three turns, the raw passes and
// the file system's taken in turn: a busy host can halve any single pass,
// which would make a ratio of two passes measured apart meaningless.
bool transfer_rates(Figures const& figures, BlockDevice& disk, DiskFilesystem& fs, u64 area, ByteBuffer& buffer)
{
    u64 best[4] = {};
    char const* const names[4] = { "raw_write", "fs_save", "raw_read", "fs_read" };
    for (u32 turn = 0; turn < 3; ++turn) {
        ErrorOr<u64> rates[4] = { raw_rate(disk, area, true, buffer), save_rate(fs, buffer),
            raw_rate(disk, area, false, buffer), read_rate(fs, buffer) };
        for (u32 i = 0; i < 4; ++i) {
            if (rates[i].is_error()) {
                figures.fail(names[i], rates[i].error().message());
                return false;
            }
            best[i] = rates[i].value() > best[i] ? rates[i].value() : best[i];
        }
    }
    figures.report(names[0], best[0], "KiB/s");
    figures.report(names[1], best[1], "KiB/s", names[0]);
    figures.report(names[2], best[2], "KiB/s");
    figures.report(names[3], best[3], "KiB/s", names[2]);
    return true;
}

// 2,000 small files in 100 directories, below five groups of 20 (a node
// holds about two dozen records); appends the address of every directory
// node of the volume to `nodes`.
bool build_tree(Figures const& figures, DiskFilesystem& fs, Vector<BlockNumber>& nodes)
{
    ByteBuffer content;
    content.resize(100);
    if (!figures.check(fs.make_dir("tree", "root"), "fs_mount: mkdir"))
        return false;
    for (u32 group = 0; group < 5; ++group) {
        String group_path = "tree/g" + String::number(group);
        if (!figures.check(fs.make_dir(group_path, "root"), "fs_mount: mkdir"))
            return false;
        for (u32 directory = 0; directory < 20; ++directory) {
            String path = group_path + "/d" + String::number(directory);
            if (!figures.check(fs.make_dir(path, "root"), "fs_mount: mkdir"))
                return false;
            for (u32 file = 0; file < 20; ++file) {
                if (!figures.check(fs.save_file(content, path + "/f" + String::number(file), "root"), "fs_mount: save"))
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
            figures.fail("fs_mount", records.error().message());
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

// 10,000 files of 100 bytes in /many: a directory grown far past one node.
constexpr u32 ManyFiles = 10000;
// Saves and lookups timed in it, each a new or an existing name.
constexpr u32 Probes = 50;

String many(u32 i) { return "many/file" + String::number(i); }

// One block written (and flushed) or read, the least a save or a lookup
// costs the disk: the baseline of the figures in the grown directory.
bool raw_block(Figures const& figures, BlockDevice& disk, u64 area, bool write, char const* name)
{
    ByteBuffer block;
    block.resize(BlockDevice::BlockSize);
    Bench::Stopwatch watch;
    for (u32 i = 0; i < Probes; ++i) {
        auto result = write ? disk.write_block(area + i, 1, block) : disk.read_block(area + i, 1, block);
        if (!figures.check(result, name))
            return false;
    }
    figures.report(name, watch.elapsed_microseconds() / Probes, "us");
    return true;
}

void grown_directory_benchmarks(
    Figures const& figures, DiskFilesystem& fs, BlockDevice& disk, u64 area, User const& user)
{
    ByteBuffer content;
    content.resize(100);
    if (!figures.check(fs.make_dir("many", "root"), "fs_many: mkdir"))
        return;
    for (u32 i = 0; i < ManyFiles; ++i) {
        if (!figures.check(fs.save_file(content, many(i), "root"), "fs_many: save"))
            return;
    }
    if (!raw_block(figures, disk, area, true, "raw_write_block")
        || !raw_block(figures, disk, area, false, "raw_read_block"))
        return;

    Bench::Stopwatch save;
    for (u32 i = 0; i < Probes; ++i) {
        if (!figures.check(fs.save_file(content, many(ManyFiles + i), "root"), "fs_save_in_10000"))
            return;
    }
    figures.report("fs_save_in_10000", save.elapsed_microseconds() / Probes, "us", "raw_write_block");

    Bench::Stopwatch lookup;
    for (u32 i = 0; i < Probes; ++i) {
        auto record = fs.stat(many(i * (ManyFiles / Probes)));
        if (record.is_error())
            return figures.fail("fs_lookup_in_10000", record.error().message());
    }
    figures.report("fs_lookup_in_10000", lookup.elapsed_microseconds() / Probes, "us", "raw_read_block");

    // A mount: the walk that finds the free blocks, on a new object.
    Bench::Stopwatch mount;
    DiskFilesystem fresh(fs.blocks().partition(), user);
    auto usage = fresh.space_usage();
    u64 mount_time = mount.elapsed_microseconds();
    if (usage.is_error())
        return figures.fail("fs_mount_10000", usage.error().message());
    figures.report("fs_mount_10000", mount_time, "us");
    // The directory goes again, so the tree's figures that follow are made
    // on the volume they always were.
    figures.check(fs.remove("many"), "fs_many: rmdir");
}

// 64 KiB from the end of a 32 MiB file against a whole 64 KiB file: a read
// at any position costs what the bytes it wants cost.
void ranged_read_benchmarks(Figures const& figures, DiskFilesystem& fs)
{
    constexpr u32 Piece = 64 * 1024;
    constexpr u32 Big = 32 * 1024 * 1024;
    ByteBuffer data;
    data.resize(Big);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<u8>(i * 13);
    if (!figures.check(fs.save_file(data, "range32m", "root"), "fs_read_64k: save"))
        return;
    data.resize(Piece);
    if (!figures.check(fs.save_file(data, "range64k", "root"), "fs_read_64k: save"))
        return;
    Bench::Stopwatch whole;
    for (u32 i = 0; i < Probes; ++i) {
        auto content = fs.read_file("range64k");
        if (content.is_error() || content.value().size() != Piece)
            return figures.fail("fs_read_64k_file", "the file does not read back");
    }
    figures.report("fs_read_64k_file", whole.elapsed_microseconds() / Probes, "us");
    Bench::Stopwatch at_end;
    for (u32 i = 0; i < Probes; ++i) {
        auto content = fs.read("range32m", Big - Piece, Piece);
        if (content.is_error() || content.value().size() != Piece
            || content.value()[0] != static_cast<u8>((Big - Piece) * 13))
            return figures.fail("fs_read_64k_at_end_of_32m", "the range does not read back");
    }
    figures.report("fs_read_64k_at_end_of_32m", at_end.elapsed_microseconds() / Probes, "us", "fs_read_64k_file");
}

}

BlockDevice* Bench::boot_disk(Storage& storage)
{
    auto volume = storage.boot_volume();
    return volume.is_error() ? nullptr : &volume.value()->blocks().partition().parent();
}

void Bench::run_disk_benchmarks(Storage& storage)
{
    BlockDevice* disk = boot_disk(storage);
    if (!disk) {
        fail("disk: no disk with a file system");
        return;
    }
    AtaPio* ide = disk->as_ata_pio();
    if (!ide && !disk->as_ahci()) {
        fail("disk: the file system is on a disk of no known driver");
        return;
    }
    Figures figures(ide ? "disk" : "ahci");
    DiskFilesystem& fs = *MUST(storage.boot_volume());
    ByteBuffer buffer;
    buffer.resize(static_cast<size_t>(ChunkBlocks) * BlockDevice::BlockSize);
    for (size_t i = 0; i < buffer.size(); ++i)
        buffer[i] = static_cast<u8>(i * 31);
    // The top of the disk, far above what the file system allocates here.
    u64 area = disk->block_count() - static_cast<u64>(ChunkBlocks) * Rounds;

    if (ide)
        figures.report("sectors_per_data_block", ide->sectors_per_data_block(), "sectors");
    if (!transfer_rates(figures, *disk, fs, area, buffer))
        return;
    if (ide) {
        // READ/WRITE SECTORS for comparison: what the multiple commands gain.
        u32 multiple = ide->sectors_per_data_block();
        ide->set_sectors_per_data_block(1);
        bool single = raw_pass(figures, *ide, area, true, buffer, "raw_write_single", "raw_write")
            && raw_pass(figures, *ide, area, false, buffer, "raw_read_single", "raw_read");
        ide->set_sectors_per_data_block(multiple);
        if (!single)
            return;
    }

    // A volume of 10,000 files first.
    grown_directory_benchmarks(figures, fs, *disk, area, storage.user());

    Vector<BlockNumber> nodes;
    if (!build_tree(figures, fs, nodes))
        return;
    // Each directory node read once: the least a mount's walk reads.
    ByteBuffer node;
    node.resize(DiskFormat::NodeSize);
    Stopwatch raw_nodes;
    for (BlockNumber address : nodes) {
        if (!figures.check(
                fs.blocks().partition().read_block(address.value(), DiskFormat::NodeBlocks, node), "raw_read_nodes"))
            return;
    }
    figures.report("raw_read_nodes", raw_nodes.elapsed_microseconds(), "us");

    Stopwatch mount;
    DiskFilesystem fresh(fs.blocks().partition(), storage.user());
    auto usage = fresh.space_usage();
    u64 mount_time = mount.elapsed_microseconds();
    if (usage.is_error())
        return figures.fail("fs_mount_2000", usage.error().message());
    auto kept = fs.space_usage();
    if (kept.is_error() || kept.value().used_bytes != usage.value().used_bytes)
        return figures.fail("fs_mount_2000", "the walk and the mounted volume disagree on the space used");
    figures.report("fs_mount_2000", mount_time, "us", "raw_read_nodes");

    ranged_read_benchmarks(figures, fs);
}
