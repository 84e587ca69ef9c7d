#include "fs/DiskFilesystem.h"

#include "base/Endian.h"
#include "fs/Checksum.h"
#include "fs/Stream.h"
#include "fs/TimeStamp.h"

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
    // Every block below the allocation pointer is taken, because nothing is
    // reclaimed yet. When freed extents are reused they are subtracted here,
    // the one place that counts the space in use.
    u64 used_blocks = static_cast<u64>(TRY(get_write_address()));
    u64 size_blocks = m_partition.block_count();
    return SpaceUsage { size_blocks * BlockDevice::BlockSize, used_blocks * BlockDevice::BlockSize,
        (size_blocks - used_blocks) * BlockDevice::BlockSize };
}

ErrorOr<void> DiskFilesystem::advance_write_address(i32 blocks)
{
    ByteBuffer block = TRY(read_blocks(SuperBlock, 1));
    auto super = TRY(parse_superblock(block));
    // The pointer follows the two strings.
    size_t offset = 2 + super.signature.length() + super.label.length();
    MemoryStream stream(BlockDevice::BlockSize);
    stream.data() = static_cast<ByteBuffer&&>(block);
    stream.set_position(static_cast<i32>(offset));
    BinaryWriter(stream).write(super.next_free_block + blocks);
    return m_partition.write_block(SuperBlock, 1, stream.data());
}

// Checks that `blocks` more blocks fit in the partition and returns the
// first of them; the caller advances the pointer once they are written.
ErrorOr<i32> DiskFilesystem::allocate(u32 blocks)
{
    i32 address = TRY(get_write_address());
    u64 end = m_partition.block_count() < AddressableBlocks ? m_partition.block_count() : AddressableBlocks;
    if (static_cast<u64>(address) + blocks > end)
        return Error("Not enough space on the disk");
    return address;
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
    if (entry.size < 4)
        return Error("Corrupt file record");
    ByteBuffer content = TRY(read_blocks(entry.address, 1));
    u32 length = read_le32(content, 0);
    if (length != static_cast<u32>(entry.size) - 4)
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
    size_t stream_length = data.size() + 4;
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
    entry.size = static_cast<i32>(data.size() + 4);
    entry.checksum = content_checksum(data);
    entry.owner = owner;
    entry.date_time = TimeStamp::date_time_string();

    // The replaced record keeps its owner and permissions; the new record is
    // appended at the end of the node. A directory is never replaced by a
    // file: everything below it would become unreachable.
    auto old = TRY(read_node(parent));
    Vector<DirectoryRecord> records;
    bool replacing = false;
    for (auto const& record : old) {
        if (record.name != name) {
            records.append(record);
            continue;
        }
        if (record.is_directory())
            return Error(name + " is a directory");
        if (!replacing) {
            replacing = true;
            entry.owner = record.owner;
            entry.owner_permissions = record.owner_permissions;
            entry.group_permissions = record.group_permissions;
            entry.other_permissions = record.other_permissions;
        }
    }
    if (replacing && !TRY(can_write(p)))
        return Error("Access denied!");

    // The new content is written before the record changes, so a failure
    // leaves the old file as it was.
    u32 blocks = blocks_for_file(static_cast<u32>(data.size()));
    entry.address = TRY(allocate(blocks));
    records.append(entry);
    // The node must have room before anything is written.
    ByteBuffer node = TRY(encode_node(records));

    TRY(write_content(entry.address, data));
    TRY(advance_write_address(static_cast<i32>(blocks)));
    return commit_node(directory, parent, node);
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
    entry.address = TRY(allocate(NodeBlocks));
    records.append(entry);
    ByteBuffer node = TRY(encode_node(records));

    TRY(write_blocks(entry.address, TRY(encode_node({}))));
    TRY(advance_write_address(NodeBlocks));
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
    auto records = TRY(read_node(parent));
    for (auto const& record : records) {
        if (record.name != name)
            kept.append(record);
    }
    if (kept.size() == records.size())
        return Error(RecordNotFound);
    return commit_node(directory, parent, TRY(encode_node(kept)));
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
    // node, made the same way.
    if (directory.is_empty())
        return write_blocks(address, node);
    i32 moved = TRY(allocate(NodeBlocks));
    TRY(write_blocks(moved, node));
    TRY(advance_write_address(NodeBlocks));
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
        return commit_node(parent_directory, parent, TRY(encode_node(records)));
    }
    return Error(CorruptNode);
}
