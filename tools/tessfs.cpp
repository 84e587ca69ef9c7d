// tessfs: creates, inspects, fills, reads and checks Tessary disk images on
// the host, with the same file-system code the kernel runs.

#include "base/Endian.h"
#include "base/StdString.h"
#include "fs/DiskFilesystem.h"
#include "fs/FsCheck.h"
#include "fs/MBR.h"
#include "fs/TimeStamp.h"
#include "tools/ImageFile.h"

#include <algorithm>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr u32 FirstPartitionSector = 2048;
constexpr u8 PartitionType = 0x83;

char const* const Usage = R"(usage: tessfs [--part N] COMMAND IMAGE [ARGS...]
  mkdisk IMAGE SIZE_MIB     new image: MBR with one partition from sector 2048 to the end
  format IMAGE [LABEL]      empty file system on the partition (label TESSARY by default)
  ls IMAGE PATH             list a directory
  mkdir IMAGE PATH          make a directory
  put IMAGE HOSTFILE PATH [OFFSET|end]
                            copy a host file into the image; with OFFSET, write
                            it into the file there from that byte (end: append)
  cat IMAGE PATH [OFFSET LENGTH]
                            write a file's bytes (or LENGTH from OFFSET) to
                            standard output
  cp IMAGE SOURCE TARGET    copy a file to a new name
  mv IMAGE SOURCE TARGET    move or rename a file or directory
  rm IMAGE PATH             remove a file
  rmdir IMAGE PATH          remove a directory with everything under it
  df IMAGE                  the volume's size, used and free space in KiB
  fsck IMAGE                check the file system; status 1 and one line per problem
  --part N                  work on partition N of the table (default 1)
)";

struct Failure {
    std::string message;
};

template<typename T>
T check(ErrorOr<T> result)
{
    if (result.is_error())
        throw Failure { ascii(result.error().message()) };
    return result.release_value();
}

void check(ErrorOr<void> result)
{
    if (result.is_error())
        throw Failure { ascii(result.error().message()) };
}

struct Volume {
    OwnPtr<ImageFile> image;
    OwnPtr<Partition> partition;
    OwnPtr<DiskFilesystem> fs;
};

// The tool works on images as the superuser.
User const& tool_user()
{
    static User const Root = User::root();
    return Root;
}

Volume open_volume(std::string const& path, unsigned part)
{
    Volume v;
    v.image = check(ImageFile::open(path));
    ByteBuffer sector;
    sector.resize(BlockDevice::BlockSize);
    check(v.image->read_block(0, 1, sector));
    MBR table(sector);
    if (part < 1 || part > table.partitions().size())
        throw Failure { path + ": no partition " + std::to_string(part) + " in the partition table" };
    auto const& info = table.partitions()[part - 1];
    u64 disk = v.image->block_count();
    if (info.start_sector >= disk || info.sector_count > disk - info.start_sector)
        throw Failure { path + ": partition " + std::to_string(part) + " reaches past the end of the image" };
    v.partition = make_own<Partition>(*v.image, info.start_sector, info.sector_count);
    v.fs = make_own<DiskFilesystem>(*v.partition, tool_user());
    return v;
}

int mkdisk(std::string const& path, std::string const& size)
{
    u64 mib = 0;
    try {
        size_t used = 0;
        mib = std::stoull(size, &used);
        if (used != size.size())
            throw std::invalid_argument(size);
    } catch (std::exception const&) {
        throw Failure { "size must be a whole number of MiB, not '" + size + "'" };
    }
    u64 blocks = mib * 2048;
    if (mib < 2 || blocks > (1u << 28))
        throw Failure { "size must be between 2 and 131072 MiB" };
    auto image = check(ImageFile::create(path, blocks));
    ByteBuffer mbr;
    mbr.resize(BlockDevice::BlockSize);
    u32 start = FirstPartitionSector;
    u32 count = static_cast<u32>(blocks) - start;
    size_t entry = MBR::TableOffset;
    mbr[entry + 4] = PartitionType;
    write_le32(mbr, entry + 8, start);
    write_le32(mbr, entry + 12, count);
    mbr[510] = 0x55;
    mbr[511] = 0xAA;
    check(image->write_block(0, 1, mbr));
    return 0;
}

int ls(Volume& v, std::string const& path)
{
    for (auto const& e : check(v.fs->list(String(path.c_str())))) {
        std::string size = e.is_directory() ? "" : std::to_string(e.size - DirectoryRecord::LengthPrefixSize);
        std::printf("%-5s %10s  %-8s %-18s %s\n", e.is_directory() ? "<DIR>" : "", size.c_str(), ascii(e.owner).c_str(),
            ascii(e.date_time).c_str(), ascii(e.name).c_str());
    }
    return 0;
}

u64 number(std::string const& text, char const* what)
{
    try {
        size_t used = 0;
        u64 value = std::stoull(text, &used);
        if (used == text.size())
            return value;
    } catch (std::exception const&) {
    }
    throw Failure { std::string(what) + " must be a whole number, not '" + text + "'" };
}

// The whole file, or written into an existing one at `offset` ("end" for its
// end).
int put(Volume& v, std::string const& host, std::string const& path, std::optional<std::string> const& offset)
{
    std::ifstream in(host, std::ios::binary);
    if (!in)
        throw Failure { host + ": cannot read" };
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ByteBuffer data;
    data.resize(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i)
        data[i] = static_cast<u8>(bytes[i]);
    String target(path.c_str());
    if (!offset)
        check(v.fs->save_file(data, target, "root"));
    else if (*offset == "end")
        check(v.fs->append(target, data));
    else
        check(v.fs->write(target, number(*offset, "OFFSET"), data));
    return 0;
}

// The whole file, its checksum checked, or `length` bytes from `offset`.
int cat(Volume& v, std::string const& path, std::vector<std::string> const& range)
{
    String source(path.c_str());
    ByteBuffer data = range.empty()
        ? check(v.fs->read_file(source))
        : check(v.fs->read(source, number(range[0], "OFFSET"), static_cast<u32>(number(range[1], "LENGTH"))));
    std::fwrite(data.data(), 1, data.size(), stdout);
    return 0;
}

int fsck(Volume& v, std::string const& path)
{
    auto problems = check(FsCheck::run(*v.fs));
    for (auto const& problem : problems)
        std::printf("%s\n", ascii(problem).c_str());
    if (!problems.is_empty())
        return 1;
    std::printf("%s: clean, %d blocks used\n", path.c_str(), check(v.fs->next_free_block()).stored());
    return 0;
}

// The same three lines as the shell's df.
int df(Volume& v)
{
    for (auto const& line : check(v.fs->space_usage()).lines())
        std::printf("%s\n", ascii(line).c_str());
    return 0;
}

int run(std::vector<std::string> args)
{
    unsigned part = 1;
    if (args.size() >= 2 && args[0] == "--part") {
        try {
            part = static_cast<unsigned>(std::stoul(args[1]));
        } catch (std::exception const&) {
            throw Failure { "--part needs a partition number" };
        }
        args.erase(args.begin(), args.begin() + 2);
    }
    auto want = [&](size_t min, size_t max) {
        if (args.size() < min || args.size() > max) {
            std::cerr << Usage;
            std::exit(2);
        }
    };
    want(2, 5);
    std::string const& command = args[0];
    std::string const& image = args[1];
    static std::string const Commands[]
        = { "mkdisk", "format", "ls", "mkdir", "put", "cp", "mv", "cat", "rm", "rmdir", "df", "fsck" };
    if (std::find(std::begin(Commands), std::end(Commands), command) == std::end(Commands)) {
        std::cerr << "tessfs: unknown command '" << command << "'\n" << Usage;
        return 2;
    }
    if (command == "mkdisk") {
        want(3, 3);
        return mkdisk(image, args[2]);
    }
    Volume v = open_volume(image, part);
    if (command == "format") {
        want(2, 3);
        check(v.fs->format(String(args.size() > 2 ? args[2].c_str() : "TESSARY")));
        return 0;
    }
    if (command == "df") {
        want(2, 2);
        return df(v);
    }
    if (command == "fsck") {
        want(2, 2);
        return fsck(v, image);
    }
    if (command == "put") {
        want(4, 5);
        return put(v, args[2], args[3], args.size() > 4 ? std::optional(args[4]) : std::nullopt);
    }
    if (command == "cat" && args.size() > 3) {
        want(5, 5);
        return cat(v, args[2], { args[3], args[4] });
    }
    if (command == "cp" || command == "mv") {
        want(4, 4);
        String source(args[2].c_str());
        String target(args[3].c_str());
        check(command == "cp" ? v.fs->copy_file(source, target, "root") : v.fs->move(source, target));
        return 0;
    }
    want(3, 3);
    if (command == "ls")
        return ls(v, args[2]);
    if (command == "mkdir") {
        check(v.fs->make_dir(String(args[2].c_str()), "root"));
        return 0;
    }
    if (command == "cat")
        return cat(v, args[2], {});
    String path(args[2].c_str());
    check(command == "rm" ? v.fs->remove_file(path) : v.fs->remove(path));
    return 0;
}

}

int main(int argc, char** argv)
{
    try {
        return run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (Failure const& failure) {
        std::cerr << "tessfs: " << failure.message << "\n";
        return 1;
    }
}
