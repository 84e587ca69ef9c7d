#include "fs/DiskFilesystem.h"

#include "base/Endian.h"
#include "fs/Checksum.h"
#include "fs/Stream.h"
#include "fs/TimeStamp.h"

#include <algorithm>
#include <optional>

namespace {

constexpr char16_t Separator = u'/';
char const* const Signature = "KFS SC";
constexpr u8 ReadBit = 3;
constexpr u8 WriteBit = 2;
// Smallest record: seven fixed bytes, three integers and three length bytes.
constexpr i32 MinRecordSize = 19;
constexpr i32 MaxRecordsPerNode = (DiskFilesystem::NodeSize - 4) / MinRecordSize;
// A checksum mismatch is read again this many times before giving up.
constexpr int ChecksumRetries = 3;
// A file's content goes to the disk through a buffer of this many blocks, so
// a save needs little more memory than the file itself.
constexpr u32 ContentChunkBlocks = 128;
// Block numbers are stored as signed 32-bit integers: a bigger partition is
// used up to the largest number they hold.
constexpr u64 AddressableBlocks = 0x7FFFFFFF;

char const* const PathNotFound = "File not found :(";
char const* const RecordNotFound = "File not found!!!";
char const* const CorruptNode = "Corrupt directory node";

bool has_permission_bit(u8 bits, u8 n) { return (bits >> (n - 1)) & 1; }

ErrorOr<DirectoryRecord> parse_record(BinaryReader& reader)
{
    DirectoryRecord e;
    e.name = TRY(reader.read_string());
    e.address = TRY(reader.read_int32());
    e.size = TRY(reader.read_int32());
    e.type = TRY(reader.read_byte());
    e.owner_permissions = TRY(reader.read_byte());
    e.group_permissions = TRY(reader.read_byte());
    e.other_permissions = TRY(reader.read_byte());
    e.date_time = TRY(reader.read_string());
    e.owner = TRY(reader.read_string());
    e.checksum = TRY(reader.read_int32());
    return e;
}

void write_record(BinaryWriter& writer, DirectoryRecord const& e)
{
    writer.write(e.name);
    writer.write(e.address);
    writer.write(e.size);
    writer.write(e.type);
    writer.write(e.owner_permissions);
    writer.write(e.group_permissions);
    writer.write(e.other_permissions);
    writer.write(e.date_time);
    writer.write(e.owner);
    writer.write(e.checksum);
}

// The disk keeps one byte per character, so a name must consist of
// characters that byte holds exactly; anything else (the line editor's arrow
// marks, control characters) would be stored as another name than the one
// later looked up.
bool is_storable_name_character(char16_t c) { return (c >= 0x20 && c <= 0x7E) || (c >= 0xA0 && c <= 0xFF); }

ErrorOr<void> check_name(String const& name)
{
    if (name.is_empty())
        return Error("Invalid file name");
    if (name.length() > DiskFilesystem::MaxNameLength)
        return Error("Name too long (at most 255 characters)");
    for (char16_t c : name.chars()) {
        if (!is_storable_name_character(c) || c == Separator)
            return Error("Invalid character in file name");
    }
    return {};
}

ErrorOr<void> check_owner(String const& owner)
{
    if (owner.length() > DiskFilesystem::MaxNameLength)
        return Error("Owner name too long (at most 255 characters)");
    return {};
}

ErrorOr<DiskFilesystem::Superblock> parse_superblock(ByteBuffer block)
{
    MemoryStream stream(BlockDevice::BlockSize);
    stream.data() = static_cast<ByteBuffer&&>(block);
    BinaryReader reader(stream);
    DiskFilesystem::Superblock super;
    super.signature = TRY(reader.read_string());
    super.label = TRY(reader.read_string());
    super.next_free_block = TRY(reader.read_int32());
    return super;
}

Vector<String> components(String const& path) { return path.split(Separator); }

// The records of a node and the number of its bytes they take.
struct ParsedNode {
    Vector<DirectoryRecord> records;
    size_t used;
};

ErrorOr<ParsedNode> parse_node(ByteBuffer bytes)
{
    MemoryStream stream(DiskFilesystem::NodeSize);
    stream.data() = static_cast<ByteBuffer&&>(bytes);
    BinaryReader reader(stream);
    i32 count = TRY(reader.read_int32());
    if (count < 0 || count > MaxRecordsPerNode)
        return Error(CorruptNode);
    Vector<DirectoryRecord> records;
    for (i32 i = 0; i < count; ++i) {
        auto record = parse_record(reader);
        if (record.is_error()
            || (record.value().type != DirectoryRecord::File && record.value().type != DirectoryRecord::Directory))
            return Error(CorruptNode);
        records.append(record.release_value());
    }
    return ParsedNode { static_cast<Vector<DirectoryRecord>&&>(records), static_cast<size_t>(stream.position()) };
}

// Whether `path` is `ancestor` or lies below it, both trimmed, compared by
// whole names: "a/b" lies below "a", "ab" does not.
bool is_same_or_below(String const& path, String const& ancestor)
{
    auto path_names = components(path);
    auto ancestor_names = components(ancestor);
    if (path_names.size() < ancestor_names.size())
        return false;
    for (size_t i = 0; i < ancestor_names.size(); ++i) {
        if (path_names[i] != ancestor_names[i])
            return false;
    }
    return true;
}

// The first record of `name`, the one lookups follow.
std::optional<size_t> find_record(Vector<DirectoryRecord> const& records, String const& name)
{
    for (size_t i = 0; i < records.size(); ++i) {
        if (records[i].name == name)
            return i;
    }
    return {};
}

Vector<DirectoryRecord> without(Vector<DirectoryRecord> const& records, size_t index)
{
    Vector<DirectoryRecord> kept;
    for (size_t i = 0; i < records.size(); ++i) {
        if (i != index)
            kept.append(records[i]);
    }
    return kept;
}

// Block `index` (0 or 1) of a node's bytes.
ByteBuffer node_block(ByteBuffer const& node, u32 index)
{
    ByteBuffer block;
    block.resize(BlockDevice::BlockSize);
    __builtin_memcpy(block.data(), node.data() + static_cast<size_t>(index) * BlockDevice::BlockSize, block.size());
    return block;
}

}

namespace Path {

String trim_separators(String const& path)
{
    String s = path;
    if (!s.is_empty() && s[0] == Separator)
        s = s.substring(1);
    if (!s.is_empty() && s[s.length() - 1] == Separator)
        s = s.substring(0, s.length() - 1);
    return s;
}

String leaf(String const& path)
{
    i32 last = path.last_index_of(Separator);
    return last < 0 ? path : path.substring(static_cast<size_t>(last) + 1);
}

String directory_part(String const& path)
{
    i32 last = path.last_index_of(Separator);
    return last < 0 ? String() : path.substring(0, static_cast<size_t>(last));
}

}

DiskFilesystem::DiskFilesystem(Partition& p, User const& user)
    : m_partition(p)
    , m_user(user)
{
    auto super = read_superblock();
    if (!super.is_error())
        m_label = super.value().label;
}

ErrorOr<bool> DiskFilesystem::is_formatted(Partition& p)
{
    if (p.block_count() <= static_cast<u64>(SuperBlock))
        return false;
    ByteBuffer block;
    block.resize(BlockDevice::BlockSize);
    TRY(p.read_block(SuperBlock, 1, block));
    auto super = parse_superblock(static_cast<ByteBuffer&&>(block));
    return !super.is_error() && super.value().signature == Signature;
}

ErrorOr<bool> DiskFilesystem::is_blank(Partition& p)
{
    u32 count = p.block_count() < FormattedBlocks ? static_cast<u32>(p.block_count()) : FormattedBlocks;
    ByteBuffer blocks;
    blocks.resize(static_cast<size_t>(count) * BlockDevice::BlockSize);
    TRY(p.read_block(0, count, blocks));
    for (u8 byte : blocks) {
        if (byte != 0)
            return false;
    }
    return true;
}

ErrorOr<void> DiskFilesystem::format(String const& volume_label)
{
    if (volume_label.length() > MaxNameLength)
        return Error("Volume label too long (at most 255 characters)");
    if (m_partition.block_count() < FormattedBlocks)
        return Error("Partition too small for a file system (at least 100 blocks)");
    m_free_extents.clear();
    m_free_map = FreeMap::NotBuilt;
    ByteBuffer zeros;
    zeros.resize(FormattedBlocks * BlockDevice::BlockSize);
    TRY(m_partition.write_block(0, FormattedBlocks, zeros));
    MemoryStream stream(BlockDevice::BlockSize);
    BinaryWriter writer(stream);
    writer.write(String(Signature));
    writer.write(volume_label);
    writer.write(FirstFreeBlock);
    return m_partition.write_block(SuperBlock, 1, stream.data());
}

ErrorOr<DiskFilesystem::Superblock> DiskFilesystem::read_superblock()
{
    auto super = parse_superblock(TRY(read_blocks(SuperBlock, 1)));
    if (super.is_error() || super.value().signature != Signature)
        return Error("No file system on this partition");
    i32 next = super.value().next_free_block;
    if (next < FirstFreeBlock || static_cast<u64>(next) > m_partition.block_count())
        return Error("Corrupt superblock");
    return super.release_value();
}

ErrorOr<i32> DiskFilesystem::get_write_address() { return TRY(read_superblock()).next_free_block; }

ErrorOr<DiskFilesystem::SpaceUsage> DiskFilesystem::space_usage()
{
    // Every block below the allocation pointer is taken but the free extents.
    u64 used_blocks = static_cast<u64>(TRY(get_write_address()));
    if (m_free_map == FreeMap::NotBuilt)
        TRY(build_free_map());
    for (auto const& extent : m_free_extents)
        used_blocks -= extent.count;
    u64 size_blocks = m_partition.block_count();
    return SpaceUsage { size_blocks * BlockDevice::BlockSize, used_blocks * BlockDevice::BlockSize,
        (size_blocks - used_blocks) * BlockDevice::BlockSize };
}

// Moves the allocation pointer over the written blocks [address, address +
// blocks) when the allocation went past it; a free extent lies below it.
ErrorOr<void> DiskFilesystem::advance_write_address(i32 address, u32 blocks)
{
    ByteBuffer block = TRY(read_blocks(SuperBlock, 1));
    auto super = TRY(parse_superblock(block));
    i32 end = address + static_cast<i32>(blocks);
    if (end <= super.next_free_block)
        return {};
    // The pointer follows the two strings.
    size_t offset = 2 + super.signature.length() + super.label.length();
    MemoryStream stream(BlockDevice::BlockSize);
    stream.data() = static_cast<ByteBuffer&&>(block);
    stream.set_position(static_cast<i32>(offset));
    BinaryWriter(stream).write(end);
    return m_partition.write_block(SuperBlock, 1, stream.data());
}

// The first of `blocks` free blocks: the lowest free extent that holds them,
// else the pointer if they fit in the partition. The caller advances the
// pointer once they are written.
ErrorOr<i32> DiskFilesystem::allocate(u32 blocks)
{
    if (m_free_map == FreeMap::NotBuilt)
        TRY(build_free_map());
    for (size_t i = 0; i < m_free_extents.size(); ++i) {
        Extent& extent = m_free_extents[i];
        if (extent.count < blocks)
            continue;
        i32 first = extent.first;
        if (extent.count == blocks) {
            m_free_extents.remove(i);
        } else {
            extent.first += static_cast<i32>(blocks);
            extent.count -= blocks;
        }
        return first;
    }
    i32 address = TRY(get_write_address());
    u64 end = m_partition.block_count() < AddressableBlocks ? m_partition.block_count() : AddressableBlocks;
    if (static_cast<u64>(address) + blocks > end)
        return Error("Not enough space on the disk");
    return address;
}

// The mount's walk: every block below the pointer that no record reachable
// from the root uses is free. Each directory node is read once; a file's
// record gives its length, so its content is not read.
ErrorOr<void> DiskFilesystem::build_free_map()
{
    i32 next = TRY(get_write_address());
    // Reuse is safe only when the tree says which blocks are taken. A block
    // claimed twice (a damaged disk, or a power cut in the middle of a move,
    // which writes the target's record before it removes the source's) or a
    // record outside the allocated area means it cannot: freeing one claim
    // would hand out blocks the other still points at. Such a volume takes
    // blocks from the pointer only, as if nothing were ever freed, until it
    // is mounted again.
    stop_reuse();
    Vector<Extent> used;
    used.append({ RootNode, NodeBlocks });
    auto root = read_node(RootNode);
    if (root.is_error() || gather_extents(root.value(), used, next).is_error())
        return {};
    std::sort(
        used.data(), used.data() + used.size(), [](Extent const& a, Extent const& b) { return a.first < b.first; });
    Vector<Extent> free;
    i64 covered = RootNode;
    for (auto const& extent : used) {
        i64 end = static_cast<i64>(extent.first) + extent.count;
        if (extent.first < covered || end > next)
            return {};
        if (extent.first > covered)
            free.append({ static_cast<i32>(covered), static_cast<u32>(extent.first - covered) });
        covered = end;
    }
    if (covered < next)
        free.append({ static_cast<i32>(covered), static_cast<u32>(next - covered) });
    m_free_extents = static_cast<Vector<Extent>&&>(free);
    m_free_map = FreeMap::Ready;
    return {};
}

// Appends the blocks of `records` and of everything below them. A tree that
// claims more than `limit` blocks in all, or nests too deep, loops.
ErrorOr<void> DiskFilesystem::gather_extents(Vector<DirectoryRecord> const& records, Vector<Extent>& out, i64 limit)
{
    struct Pending {
        i32 node;
        u32 depth;
    };
    Vector<Pending> pending;
    i64 total = 0;
    auto add = [&](DirectoryRecord const& record, u32 depth) -> ErrorOr<void> {
        if (record.is_directory()) {
            if (depth == MaxDirectoryDepth)
                return Error(CorruptNode);
            out.append({ record.address, NodeBlocks });
            pending.append({ record.address, depth + 1 });
        } else {
            auto length = record.content_length();
            if (!length)
                return Error("Corrupt file record");
            out.append({ record.address, blocks_for_file(*length) });
        }
        total += out.last().count;
        if (total > limit)
            return Error(CorruptNode);
        return {};
    };
    for (auto const& record : records)
        TRY(add(record, 0));
    while (!pending.is_empty()) {
        Pending next = pending.last();
        pending.remove(pending.size() - 1);
        for (auto const& record : TRY(read_node(next.node)))
            TRY(add(record, next.depth));
    }
    return {};
}

// The blocks that `records` and everything below them use, to release once
// the records are gone from the disk; none when the tree below does not read.
Vector<DiskFilesystem::Extent> DiskFilesystem::extents_of(Vector<DirectoryRecord> const& records)
{
    Vector<Extent> extents;
    // The map is built now, while the records still hold their blocks: built
    // after they are dropped, it would find those blocks free already, and
    // releasing them then would free them twice.
    if (m_free_map == FreeMap::NotBuilt && build_free_map().is_error())
        return extents;
    if (m_free_map != FreeMap::Ready)
        return extents;
    auto next = get_write_address();
    if (next.is_error() || gather_extents(records, extents, next.value()).is_error())
        extents.clear();
    return extents;
}

// Returns blocks no record on the disk points at any more to the free map.
void DiskFilesystem::release(Vector<Extent> const& extents)
{
    if (m_free_map != FreeMap::Ready || extents.is_empty())
        return;
    auto next = get_write_address();
    if (next.is_error())
        return;
    for (auto const& extent : extents) {
        i64 end = static_cast<i64>(extent.first) + extent.count;
        // The first extent that starts after this one.
        size_t index = 0;
        for (size_t step = m_free_extents.size(); step > 0;) {
            size_t half = step / 2;
            if (m_free_extents[index + half].first <= extent.first) {
                index += half + 1;
                step -= half + 1;
            } else {
                step = half;
            }
        }
        // A block freed while it is free already, or one outside the
        // allocated area: the map and the tree disagree, and neither can be
        // trusted to say what is free.
        bool overlaps_before = index > 0
            && static_cast<i64>(m_free_extents[index - 1].first) + m_free_extents[index - 1].count > extent.first;
        bool overlaps_after = index < m_free_extents.size() && end > m_free_extents[index].first;
        if (extent.first < FirstFreeBlock || end > next.value() || overlaps_before || overlaps_after) {
            stop_reuse();
            return;
        }
        m_free_extents.insert(index, extent);
        if (index + 1 < m_free_extents.size() && end == m_free_extents[index + 1].first) {
            m_free_extents[index].count += m_free_extents[index + 1].count;
            m_free_extents.remove(index + 1);
        }
        if (index > 0
            && m_free_extents[index - 1].first + static_cast<i32>(m_free_extents[index - 1].count) == extent.first) {
            m_free_extents[index - 1].count += m_free_extents[index].count;
            m_free_extents.remove(index);
        }
    }
}

void DiskFilesystem::stop_reuse()
{
    m_free_extents.clear();
    m_free_map = FreeMap::Off;
}

ErrorOr<void> DiskFilesystem::check_inside(i32 address, u32 count) const
{
    if (address < 0 || static_cast<u64>(address) + count > m_partition.block_count())
        return Error("Corrupt file system: block " + String::number(address) + " is outside the partition");
    return {};
}

ErrorOr<ByteBuffer> DiskFilesystem::read_blocks(i32 address, u32 count)
{
    TRY(check_inside(address, count));
    ByteBuffer blocks;
    blocks.resize(static_cast<size_t>(count) * BlockDevice::BlockSize);
    TRY(m_partition.read_block(static_cast<u64>(address), count, blocks));
    return blocks;
}

ErrorOr<void> DiskFilesystem::write_blocks(i32 address, ByteBuffer const& blocks)
{
    u32 count = static_cast<u32>(blocks.size() / BlockDevice::BlockSize);
    // Block 0 and the superblock are never written through here.
    if (address < RootNode || static_cast<u64>(address) + count > m_partition.block_count())
        return Error("Corrupt file system: block " + String::number(address) + " is outside the partition");
    return m_partition.write_block(static_cast<u64>(address), count, blocks);
}

ErrorOr<Vector<DirectoryRecord>> DiskFilesystem::read_node(i32 address)
{
    return TRY(parse_node(TRY(read_blocks(address, NodeBlocks)))).records;
}

ErrorOr<ByteBuffer> DiskFilesystem::encode_node(Vector<DirectoryRecord> const& records)
{
    MemoryStream stream(NodeSize);
    BinaryWriter writer(stream);
    writer.write(static_cast<i32>(records.size()));
    for (auto const& record : records)
        write_record(writer, record);
    // The stream grows past the node when the records do not fit.
    if (stream.data().size() > NodeSize)
        return Error("Directory is full");
    return static_cast<ByteBuffer&&>(stream.data());
}

ErrorOr<i32> DiskFilesystem::get_node_address(String const& path, i32 parent)
{
    String p = Path::trim_separators(path);
    if (p.is_empty())
        return RootNode;
    i32 node = parent == 0 ? RootNode : parent;
    auto names = components(p);
    for (size_t i = 0; i < names.size(); ++i) {
        auto records = TRY(read_node(node));
        DirectoryRecord const* match = nullptr;
        for (auto const& record : records) {
            if (record.name == names[i]) {
                match = &record;
                break;
            }
        }
        if (!match)
            return Error(PathNotFound);
        if (i + 1 == names.size())
            return match->address;
        // Only directories are descended into; a file's content is no node.
        if (!match->is_directory())
            return Error(PathNotFound);
        node = match->address;
    }
    return Error(PathNotFound);
}

// The node of the directory that `path` names (the root for "").
ErrorOr<i32> DiskFilesystem::directory_node(String const& path)
{
    String p = Path::trim_separators(path);
    if (p.is_empty())
        return RootNode;
    i32 parent = TRY(get_node_address(Path::directory_part(p), RootNode));
    String name = Path::leaf(p);
    for (auto const& record : TRY(read_node(parent))) {
        if (record.name == name) {
            if (!record.is_directory())
                return Error("Not a directory");
            return record.address;
        }
    }
    return Error(PathNotFound);
}

ErrorOr<DirectoryRecord> DiskFilesystem::read_from_node(String const& path)
{
    String p = Path::trim_separators(path);
    i32 parent = TRY(directory_node(Path::directory_part(p)));
    String name = Path::leaf(p);
    for (auto& record : TRY(read_node(parent))) {
        if (record.name == name)
            return record;
    }
    return Error(RecordNotFound);
}

ErrorOr<ByteBuffer> DiskFilesystem::read_content(DirectoryRecord const& entry)
{
    // The record's size and the length stored with the content must agree
    // before a buffer that long is asked for: a damaged record must not claim
    // more than is there.
    auto claimed = entry.content_length();
    if (!claimed)
        return Error("Corrupt file record");
    ByteBuffer content = TRY(read_blocks(entry.address, 1));
    u32 length = read_le32(content, 0);
    if (length != *claimed)
        return Error("Corrupt file record");
    u32 blocks = blocks_for_file(length);
    if (blocks > 1) {
        TRY(check_inside(entry.address, blocks));
        content = TRY(try_allocate_bytes(static_cast<size_t>(blocks) * BlockDevice::BlockSize));
        TRY(m_partition.read_block(static_cast<u64>(entry.address), blocks, content));
    }
    // The bytes follow their length in the same buffer: move them to the
    // front rather than copying a whole file into a second one.
    __builtin_memmove(content.data(), content.data() + 4, length);
    content.resize(length);
    return content;
}

// Writes the stored form of `data` from block `address`: its 32-bit length,
// the bytes, zeros to the end of the last block.
ErrorOr<void> DiskFilesystem::write_content(i32 address, ByteBuffer const& data)
{
    u32 blocks = blocks_for_file(static_cast<u32>(data.size()));
    size_t stream_length = data.size() + DirectoryRecord::LengthPrefixSize;
    ByteBuffer chunk;
    for (u32 done = 0; done < blocks;) {
        u32 count = blocks - done < ContentChunkBlocks ? blocks - done : ContentChunkBlocks;
        chunk.resize(0);
        chunk.resize(static_cast<size_t>(count) * BlockDevice::BlockSize);
        // Stream bytes [begin, end) go in this chunk; the length word is
        // stream bytes 0-3, content byte i is stream byte i + 4.
        size_t begin = static_cast<size_t>(done) * BlockDevice::BlockSize;
        size_t end = begin + chunk.size() < stream_length ? begin + chunk.size() : stream_length;
        for (size_t i = begin; i < 4 && i < end; ++i)
            chunk[i - begin] = static_cast<u8>(data.size() >> (8 * i));
        size_t first = begin < 4 ? 4 : begin;
        if (end > first)
            __builtin_memcpy(chunk.data() + (first - begin), data.data() + (first - 4), end - first);
        TRY(write_blocks(address + static_cast<i32>(done), chunk));
        done += count;
    }
    return {};
}

ErrorOr<bool> DiskFilesystem::has_permission(String const& path, u8 bit)
{
    if (m_user.is_superuser())
        return true;
    DirectoryRecord record = TRY(read_from_node(path));
    return (has_permission_bit(record.owner_permissions, bit) && m_user.name == record.owner)
        || has_permission_bit(record.group_permissions, bit) || has_permission_bit(record.other_permissions, bit);
}

ErrorOr<bool> DiskFilesystem::can_read(String const& path) { return has_permission(path, ReadBit); }
ErrorOr<bool> DiskFilesystem::can_write(String const& path) { return has_permission(path, WriteBit); }

ErrorOr<void> DiskFilesystem::check_listable(String const& path)
{
    if (path.is_empty() || path == "/")
        return {};
    if (!TRY(can_read(path)))
        return Error("Access Denied!");
    return {};
}

ErrorOr<Vector<String>> DiskFilesystem::list_files(String const& path)
{
    TRY(check_listable(path));
    Vector<String> names;
    for (auto const& record : TRY(read_node(TRY(directory_node(path)))))
        names.append(record.name);
    return names;
}

ErrorOr<Vector<DirectoryRecord>> DiskFilesystem::get_long_list(String const& path)
{
    TRY(check_listable(path));
    return read_node(TRY(directory_node(path)));
}

ErrorOr<ByteBuffer> DiskFilesystem::read_file(String const& path)
{
    for (int attempt = 0;; ++attempt) {
        if (!TRY(can_read(path)))
            return Error("Access Denied!");
        DirectoryRecord record = TRY(read_from_node(path));
        ByteBuffer content = TRY(read_content(record));
        i32 checksum = content_checksum(content);
        if (checksum == record.checksum)
            return content;
        if (attempt == ChecksumRetries)
            return Error(
                "Checksum mismatch: stored " + String::number(record.checksum) + ", read " + String::number(checksum));
    }
}

ErrorOr<void> DiskFilesystem::save_file(ByteBuffer const& data, String const& path, String const& owner)
{
    String p = Path::trim_separators(path);
    String directory = Path::directory_part(p);
    String name = Path::leaf(p);
    TRY(check_name(name));
    TRY(check_owner(owner));
    bool nested = p.contains(Separator);
    if (nested && !TRY(can_write(directory)))
        return Error("Access denied");
    i32 parent = TRY(directory_node(directory));
    TRY(check_listable(directory));

    DirectoryRecord entry;
    entry.name = name;
    entry.type = DirectoryRecord::File;
    entry.size = static_cast<i32>(data.size()) + DirectoryRecord::LengthPrefixSize;
    entry.checksum = content_checksum(data);
    entry.owner = owner;
    entry.date_time = TimeStamp::date_time_string();

    // The replaced record keeps its owner and permissions; the new record is
    // appended at the end of the node. A directory is never replaced by a
    // file: everything below it would become unreachable.
    auto old = TRY(read_node(parent));
    Vector<DirectoryRecord> records;
    Vector<DirectoryRecord> replaced;
    for (auto const& record : old) {
        if (record.name != name) {
            records.append(record);
            continue;
        }
        if (record.is_directory())
            return Error(name + " is a directory");
        replaced.append(record);
        if (replaced.size() == 1) {
            entry.owner = record.owner;
            entry.owner_permissions = record.owner_permissions;
            entry.group_permissions = record.group_permissions;
            entry.other_permissions = record.other_permissions;
        }
    }
    if (!replaced.is_empty() && !TRY(can_write(p)))
        return Error("Access denied!");

    // The new content is written before the record changes, so a failure
    // leaves the old file as it was. The node must have room before blocks
    // are taken: a free extent taken in vain stays lost until the next mount.
    u32 blocks = blocks_for_file(static_cast<u32>(data.size()));
    records.append(entry);
    TRY(encode_node(records));
    i32 address = TRY(allocate(blocks));
    records.last().address = address;
    ByteBuffer node = TRY(encode_node(records));

    TRY(write_content(address, data));
    TRY(advance_write_address(address, blocks));
    return commit_node_dropping(directory, parent, node, replaced);
}

ErrorOr<void> DiskFilesystem::make_dir(String const& path, String const& owner)
{
    String p = Path::trim_separators(path);
    String name = Path::leaf(p);
    TRY(check_name(name));
    TRY(check_owner(owner));
    if (!p.contains(Separator)) {
        if (!m_user.is_superuser() && m_label == "Karvolin")
            return Error("Can not make files here");
    } else if (!TRY(can_write(Path::directory_part(p)))) {
        return Error("Access denied!");
    }

    String directory = Path::directory_part(p);
    i32 parent = TRY(directory_node(directory));
    auto records = TRY(read_node(parent));
    for (auto const& record : records) {
        if (record.name == name)
            return Error("File already exists");
    }
    DirectoryRecord entry;
    entry.name = name;
    entry.type = DirectoryRecord::Directory;
    entry.size = NodeBlocks;
    entry.owner = owner;
    entry.date_time = TimeStamp::date_time_string();
    records.append(entry);
    TRY(encode_node(records));
    i32 address = TRY(allocate(NodeBlocks));
    records.last().address = address;
    ByteBuffer node = TRY(encode_node(records));

    TRY(write_blocks(address, TRY(encode_node({}))));
    TRY(advance_write_address(address, NodeBlocks));
    return commit_node(directory, parent, node);
}

ErrorOr<void> DiskFilesystem::remove(String const& path)
{
    String p = Path::trim_separators(path);
    if (!TRY(can_write(p)))
        return Error("Access denied!");
    String directory = Path::directory_part(p);
    i32 parent = TRY(directory_node(directory));
    String name = Path::leaf(p);
    Vector<DirectoryRecord> kept;
    Vector<DirectoryRecord> removed;
    for (auto const& record : TRY(read_node(parent)))
        (record.name != name ? kept : removed).append(record);
    if (removed.is_empty())
        return Error(RecordNotFound);
    return commit_node_dropping(directory, parent, TRY(encode_node(kept)), removed);
}

ErrorOr<void> DiskFilesystem::move(String const& source, String const& target)
{
    String from = Path::trim_separators(source);
    String to = Path::trim_separators(target);
    if (from.is_empty())
        return Error("Cannot move the root directory");
    String from_directory = Path::directory_part(from);
    String from_name = Path::leaf(from);
    i32 from_parent = TRY(directory_node(from_directory));
    auto from_records = TRY(read_node(from_parent));
    auto from_index = find_record(from_records, from_name);
    if (!from_index)
        return Error(RecordNotFound);
    // Taking a record out of its directory is what remove does, so it asks
    // for the same right; the target's directory is checked as save_file
    // checks it.
    if (!TRY(can_write(from)))
        return Error("Access denied!");
    DirectoryRecord record = from_records[*from_index];
    if (record.is_directory() && is_same_or_below(to, from))
        return Error("Cannot move a directory into itself");
    String to_directory = Path::directory_part(to);
    record.name = Path::leaf(to);
    TRY(check_name(record.name));
    if (to.contains(Separator) && !TRY(can_write(to_directory)))
        return Error("Access denied");
    i32 to_parent = TRY(directory_node(to_directory));
    TRY(check_listable(to_directory));
    auto to_records = TRY(read_node(to_parent));
    if (find_record(to_records, record.name))
        return Error("Target exists");

    if (to_parent == from_parent) {
        from_records[*from_index].name = record.name;
        return commit_node(from_directory, from_parent, TRY(encode_node(from_records)));
    }
    to_records.append(record);
    TRY(commit_node(to_directory, to_parent, TRY(encode_node(to_records))));
    // The commit may have moved nodes on the way up to the root, the source's
    // directory among them, so its node is looked up again.
    from_parent = TRY(directory_node(from_directory));
    from_records = TRY(read_node(from_parent));
    from_index = find_record(from_records, from_name);
    if (!from_index)
        return Error(CorruptNode);
    return commit_node(from_directory, from_parent, TRY(encode_node(without(from_records, *from_index))));
}

ErrorOr<void> DiskFilesystem::commit_node_dropping(
    String const& directory, i32 address, ByteBuffer const& node, Vector<DirectoryRecord> const& dropped)
{
    auto freed = extents_of(dropped);
    TRY(commit_node(directory, address, node));
    release(freed);
    return {};
}

// A drive may stop after any sector of a write, and a node's two blocks
// would go out in one command: rewriting both at once could leave the first
// block new and the second old, records cut in half and every entry of the
// directory lost. So the blocks go out one at a time, in an order that keeps
// the old records or the new ones readable at every moment.
ErrorOr<void> DiskFilesystem::commit_node(String const& directory, i32 address, ByteBuffer const& node)
{
    constexpr size_t Second = BlockDevice::BlockSize;
    ByteBuffer old = TRY(read_blocks(address, NodeBlocks));
    size_t old_used = TRY(parse_node(old)).used;
    size_t new_used = TRY(parse_node(node)).used;
    auto unchanged = [&](size_t from, size_t to) {
        return to <= from || __builtin_memcmp(old.data() + from, node.data() + from, to - from) == 0;
    };
    auto write = [&](u32 index) { return write_blocks(address + static_cast<i32>(index), node_block(node, index)); };

    if (unchanged(Second, NodeSize))
        return unchanged(0, Second) ? ErrorOr<void> {} : write(0);
    if (unchanged(0, Second))
        return write(1);
    // The old records do not reach the bytes that change in the second block
    // (a record appended): it goes first, and the count in the first block
    // then takes the new records in.
    if (unchanged(Second, old_used)) {
        TRY(write(1));
        return write(0);
    }
    // The new records find their bytes of the second block already there (the
    // last record dropped): the first block commits them, the second only
    // clears what lies behind them.
    if (unchanged(Second, new_used)) {
        TRY(write(0));
        return write(1);
    }
    // Records move across the block boundary. The root has a fixed place and
    // is rewritten there, in one write that a cut can still tear: the format
    // has nowhere else to put it. Any other directory gets the new node in
    // fresh blocks, allocated before the record points at them, and the
    // record in its parent is then moved to it: a change of the parent's
    // node, made the same way. The old blocks are free once it is.
    if (directory.is_empty())
        return write_blocks(address, node);
    i32 moved = TRY(allocate(NodeBlocks));
    TRY(write_blocks(moved, node));
    TRY(advance_write_address(moved, NodeBlocks));
    String parent_directory = Path::directory_part(directory);
    String name = Path::leaf(directory);
    i32 parent = TRY(directory_node(parent_directory));
    auto records = TRY(read_node(parent));
    // Lookups follow the first record of a name.
    for (auto& record : records) {
        if (record.name != name)
            continue;
        if (record.address != address)
            return Error(CorruptNode);
        record.address = moved;
        TRY(commit_node(parent_directory, parent, TRY(encode_node(records))));
        release({ { address, NodeBlocks } });
        return {};
    }
    return Error(CorruptNode);
}
