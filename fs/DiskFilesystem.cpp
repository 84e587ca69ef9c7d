#include "fs/DiskFilesystem.h"

#include "base/Endian.h"
#include "fs/Checksum.h"
#include "fs/Stream.h"
#include "fs/TimeStamp.h"

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

bool hasPermissionBit(u8 bits, u8 n) { return (bits >> (n - 1)) & 1; }

ErrorOr<DirectoryRecord> parseRecord(BinaryReader& reader)
{
    DirectoryRecord e;
    e.name = TRY(reader.ReadString());
    e.address = TRY(reader.ReadInt32());
    e.size = TRY(reader.ReadInt32());
    e.type = TRY(reader.ReadByte());
    e.ownerPermissions = TRY(reader.ReadByte());
    e.groupPermissions = TRY(reader.ReadByte());
    e.otherPermissions = TRY(reader.ReadByte());
    e.dateTime = TRY(reader.ReadString());
    e.owner = TRY(reader.ReadString());
    e.checksum = TRY(reader.ReadInt32());
    return e;
}

void writeRecord(BinaryWriter& writer, DirectoryRecord const& e)
{
    writer.Write(e.name);
    writer.Write(e.address);
    writer.Write(e.size);
    writer.Write(e.type);
    writer.Write(e.ownerPermissions);
    writer.Write(e.groupPermissions);
    writer.Write(e.otherPermissions);
    writer.Write(e.dateTime);
    writer.Write(e.owner);
    writer.Write(e.checksum);
}

// The disk keeps one byte per character, so a name must consist of
// characters that byte holds exactly; anything else (the line editor's arrow
// marks, control characters) would be stored as another name than the one
// later looked up.
bool isStorableNameCharacter(char16_t c) { return (c >= 0x20 && c <= 0x7E) || (c >= 0xA0 && c <= 0xFF); }

ErrorOr<void> checkName(String const& name)
{
    if (name.is_empty())
        return Error("Invalid file name");
    if (name.length() > DiskFilesystem::MaxNameLength)
        return Error("Name too long (at most 255 characters)");
    for (char16_t c : name.chars()) {
        if (!isStorableNameCharacter(c) || c == Separator)
            return Error("Invalid character in file name");
    }
    return {};
}

ErrorOr<void> checkOwner(String const& owner)
{
    if (owner.length() > DiskFilesystem::MaxNameLength)
        return Error("Owner name too long (at most 255 characters)");
    return {};
}

ErrorOr<DiskFilesystem::Superblock> parseSuperblock(ByteBuffer block)
{
    MemoryStream stream(BlockDevice::BlockSize);
    stream.data = static_cast<ByteBuffer&&>(block);
    BinaryReader reader(stream);
    DiskFilesystem::Superblock super;
    super.signature = TRY(reader.ReadString());
    super.label = TRY(reader.ReadString());
    super.nextFreeBlock = TRY(reader.ReadInt32());
    return super;
}

Vector<String> components(String const& path) { return path.split(Separator); }

// The records of a node and the number of its bytes they take.
struct ParsedNode {
    Vector<DirectoryRecord> records;
    size_t used;
};

ErrorOr<ParsedNode> parseNode(ByteBuffer bytes)
{
    MemoryStream stream(DiskFilesystem::NodeSize);
    stream.data = static_cast<ByteBuffer&&>(bytes);
    BinaryReader reader(stream);
    i32 count = TRY(reader.ReadInt32());
    if (count < 0 || count > MaxRecordsPerNode)
        return Error(CorruptNode);
    Vector<DirectoryRecord> records;
    for (i32 i = 0; i < count; ++i) {
        auto record = parseRecord(reader);
        if (record.is_error() || (record.value().type != DirectoryRecord::File && record.value().type != DirectoryRecord::Directory))
            return Error(CorruptNode);
        records.append(record.release_value());
    }
    return ParsedNode { static_cast<Vector<DirectoryRecord>&&>(records), static_cast<size_t>(stream.position) };
}

// Block `index` (0 or 1) of a node's bytes.
ByteBuffer nodeBlock(ByteBuffer const& node, u32 index)
{
    ByteBuffer block;
    block.resize(BlockDevice::BlockSize);
    __builtin_memcpy(block.data(), node.data() + static_cast<size_t>(index) * BlockDevice::BlockSize, block.size());
    return block;
}

}

namespace Path {

String trimSeparators(String const& path)
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

String directoryPart(String const& path)
{
    i32 last = path.last_index_of(Separator);
    return last < 0 ? String() : path.substring(0, static_cast<size_t>(last));
}

}

DiskFilesystem::DiskFilesystem(Partition& p, User const& user)
    : partition(p)
    , m_user(user)
{
    auto super = ReadSuperblock();
    if (!super.is_error())
        label = super.value().label;
}

ErrorOr<bool> DiskFilesystem::is_formatted(Partition& p)
{
    if (p.BlockCount() <= static_cast<u64>(SuperBlock))
        return false;
    ByteBuffer block;
    block.resize(BlockDevice::BlockSize);
    TRY(p.ReadBlock(SuperBlock, 1, block));
    auto super = parseSuperblock(static_cast<ByteBuffer&&>(block));
    return !super.is_error() && super.value().signature == Signature;
}

ErrorOr<bool> DiskFilesystem::IsBlank(Partition& p)
{
    u32 count = p.BlockCount() < FormattedBlocks ? static_cast<u32>(p.BlockCount()) : FormattedBlocks;
    ByteBuffer blocks;
    blocks.resize(static_cast<size_t>(count) * BlockDevice::BlockSize);
    TRY(p.ReadBlock(0, count, blocks));
    for (u8 byte : blocks) {
        if (byte != 0)
            return false;
    }
    return true;
}

ErrorOr<void> DiskFilesystem::Format(String const& volumeLabel)
{
    if (volumeLabel.length() > MaxNameLength)
        return Error("Volume label too long (at most 255 characters)");
    if (partition.BlockCount() < FormattedBlocks)
        return Error("Partition too small for a file system (at least 100 blocks)");
    ByteBuffer zeros;
    zeros.resize(FormattedBlocks * BlockDevice::BlockSize);
    TRY(partition.WriteBlock(0, FormattedBlocks, zeros));
    MemoryStream stream(BlockDevice::BlockSize);
    BinaryWriter writer(stream);
    writer.Write(String(Signature));
    writer.Write(volumeLabel);
    writer.Write(FirstFreeBlock);
    return partition.WriteBlock(SuperBlock, 1, stream.data);
}

ErrorOr<DiskFilesystem::Superblock> DiskFilesystem::ReadSuperblock()
{
    auto super = parseSuperblock(TRY(readBlocks(SuperBlock, 1)));
    if (super.is_error() || super.value().signature != Signature)
        return Error("No file system on this partition");
    i32 next = super.value().nextFreeBlock;
    if (next < FirstFreeBlock || static_cast<u64>(next) > partition.BlockCount())
        return Error("Corrupt superblock");
    return super.release_value();
}

ErrorOr<i32> DiskFilesystem::getWriteAddress() { return TRY(ReadSuperblock()).nextFreeBlock; }

ErrorOr<void> DiskFilesystem::advanceWriteAddress(i32 blocks)
{
    ByteBuffer block = TRY(readBlocks(SuperBlock, 1));
    auto super = TRY(parseSuperblock(block));
    // The pointer follows the two strings.
    size_t offset = 2 + super.signature.length() + super.label.length();
    MemoryStream stream(BlockDevice::BlockSize);
    stream.data = static_cast<ByteBuffer&&>(block);
    stream.position = static_cast<i32>(offset);
    BinaryWriter(stream).Write(super.nextFreeBlock + blocks);
    return partition.WriteBlock(SuperBlock, 1, stream.data);
}

// Checks that `blocks` more blocks fit in the partition and returns the
// first of them; the caller advances the pointer once they are written.
ErrorOr<i32> DiskFilesystem::allocate(u32 blocks)
{
    i32 address = TRY(getWriteAddress());
    u64 end = partition.BlockCount() < AddressableBlocks ? partition.BlockCount() : AddressableBlocks;
    if (static_cast<u64>(address) + blocks > end)
        return Error("Not enough space on the disk");
    return address;
}

ErrorOr<void> DiskFilesystem::checkInside(i32 address, u32 count) const
{
    if (address < 0 || static_cast<u64>(address) + count > partition.BlockCount())
        return Error("Corrupt file system: block " + String::number(address) + " is outside the partition");
    return {};
}

ErrorOr<ByteBuffer> DiskFilesystem::readBlocks(i32 address, u32 count)
{
    TRY(checkInside(address, count));
    ByteBuffer blocks;
    blocks.resize(static_cast<size_t>(count) * BlockDevice::BlockSize);
    TRY(partition.ReadBlock(static_cast<u64>(address), count, blocks));
    return blocks;
}

ErrorOr<void> DiskFilesystem::writeBlocks(i32 address, ByteBuffer const& blocks)
{
    u32 count = static_cast<u32>(blocks.size() / BlockDevice::BlockSize);
    // Block 0 and the superblock are never written through here.
    if (address < RootNode || static_cast<u64>(address) + count > partition.BlockCount())
        return Error("Corrupt file system: block " + String::number(address) + " is outside the partition");
    return partition.WriteBlock(static_cast<u64>(address), count, blocks);
}

ErrorOr<Vector<DirectoryRecord>> DiskFilesystem::ReadNode(i32 address)
{
    return TRY(parseNode(TRY(readBlocks(address, NodeBlocks)))).records;
}

ErrorOr<ByteBuffer> DiskFilesystem::EncodeNode(Vector<DirectoryRecord> const& records)
{
    MemoryStream stream(NodeSize);
    BinaryWriter writer(stream);
    writer.Write(static_cast<i32>(records.size()));
    for (auto const& record : records)
        writeRecord(writer, record);
    // The stream grows past the node when the records do not fit.
    if (stream.data.size() > NodeSize)
        return Error("Directory is full");
    return static_cast<ByteBuffer&&>(stream.data);
}

ErrorOr<i32> DiskFilesystem::getNodeAddress(String const& path, i32 parent)
{
    String p = Path::trimSeparators(path);
    if (p.is_empty())
        return RootNode;
    i32 node = parent == 0 ? RootNode : parent;
    auto names = components(p);
    for (size_t i = 0; i < names.size(); ++i) {
        auto records = TRY(ReadNode(node));
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
        if (!match->isDirectory())
            return Error(PathNotFound);
        node = match->address;
    }
    return Error(PathNotFound);
}

// The node of the directory that `path` names (the root for "").
ErrorOr<i32> DiskFilesystem::directoryNode(String const& path)
{
    String p = Path::trimSeparators(path);
    if (p.is_empty())
        return RootNode;
    i32 parent = TRY(getNodeAddress(Path::directoryPart(p), RootNode));
    String name = Path::leaf(p);
    for (auto const& record : TRY(ReadNode(parent))) {
        if (record.name == name) {
            if (!record.isDirectory())
                return Error("Not a directory");
            return record.address;
        }
    }
    return Error(PathNotFound);
}

ErrorOr<DirectoryRecord> DiskFilesystem::readFromNode(String const& path)
{
    String p = Path::trimSeparators(path);
    i32 parent = TRY(directoryNode(Path::directoryPart(p)));
    String name = Path::leaf(p);
    for (auto& record : TRY(ReadNode(parent))) {
        if (record.name == name)
            return record;
    }
    return Error(RecordNotFound);
}

ErrorOr<ByteBuffer> DiskFilesystem::ReadContent(DirectoryRecord const& entry)
{
    // The record's size and the length stored with the content must agree
    // before a buffer that long is asked for: a damaged record must not claim
    // more than is there.
    if (entry.size < 4)
        return Error("Corrupt file record");
    ByteBuffer content = TRY(readBlocks(entry.address, 1));
    u32 length = read_le32(content, 0);
    if (length != static_cast<u32>(entry.size) - 4)
        return Error("Corrupt file record");
    u32 blocks = BlocksForFile(length);
    if (blocks > 1) {
        TRY(checkInside(entry.address, blocks));
        content = TRY(try_allocate_bytes(static_cast<size_t>(blocks) * BlockDevice::BlockSize));
        TRY(partition.ReadBlock(static_cast<u64>(entry.address), blocks, content));
    }
    // The bytes follow their length in the same buffer: move them to the
    // front rather than copying a whole file into a second one.
    __builtin_memmove(content.data(), content.data() + 4, length);
    content.resize(length);
    return content;
}

// Writes the stored form of `data` from block `address`: its 32-bit length,
// the bytes, zeros to the end of the last block.
ErrorOr<void> DiskFilesystem::writeContent(i32 address, ByteBuffer const& data)
{
    u32 blocks = BlocksForFile(static_cast<u32>(data.size()));
    size_t streamLength = data.size() + 4;
    ByteBuffer chunk;
    for (u32 done = 0; done < blocks;) {
        u32 count = blocks - done < ContentChunkBlocks ? blocks - done : ContentChunkBlocks;
        chunk.resize(0);
        chunk.resize(static_cast<size_t>(count) * BlockDevice::BlockSize);
        // Stream bytes [begin, end) go in this chunk; the length word is
        // stream bytes 0-3, content byte i is stream byte i + 4.
        size_t begin = static_cast<size_t>(done) * BlockDevice::BlockSize;
        size_t end = begin + chunk.size() < streamLength ? begin + chunk.size() : streamLength;
        for (size_t i = begin; i < 4 && i < end; ++i)
            chunk[i - begin] = static_cast<u8>(data.size() >> (8 * i));
        size_t first = begin < 4 ? 4 : begin;
        if (end > first)
            __builtin_memcpy(chunk.data() + (first - begin), data.data() + (first - 4), end - first);
        TRY(writeBlocks(address + static_cast<i32>(done), chunk));
        done += count;
    }
    return {};
}

ErrorOr<bool> DiskFilesystem::hasPermission(String const& path, u8 bit)
{
    if (m_user.is_superuser())
        return true;
    DirectoryRecord record = TRY(readFromNode(path));
    return (hasPermissionBit(record.ownerPermissions, bit) && m_user.name == record.owner)
        || hasPermissionBit(record.groupPermissions, bit) || hasPermissionBit(record.otherPermissions, bit);
}

ErrorOr<bool> DiskFilesystem::CanRead(String const& path) { return hasPermission(path, ReadBit); }
ErrorOr<bool> DiskFilesystem::CanWrite(String const& path) { return hasPermission(path, WriteBit); }

ErrorOr<void> DiskFilesystem::checkListable(String const& path)
{
    if (path.is_empty() || path == "/")
        return {};
    if (!TRY(CanRead(path)))
        return Error("Access Denied!");
    return {};
}

ErrorOr<Vector<String>> DiskFilesystem::ListFiles(String const& path)
{
    TRY(checkListable(path));
    Vector<String> names;
    for (auto const& record : TRY(ReadNode(TRY(directoryNode(path)))))
        names.append(record.name);
    return names;
}

ErrorOr<Vector<DirectoryRecord>> DiskFilesystem::getLongList(String const& path)
{
    TRY(checkListable(path));
    return ReadNode(TRY(directoryNode(path)));
}

ErrorOr<ByteBuffer> DiskFilesystem::readFile(String const& path)
{
    for (int attempt = 0;; ++attempt) {
        if (!TRY(CanRead(path)))
            return Error("Access Denied!");
        DirectoryRecord record = TRY(readFromNode(path));
        ByteBuffer content = TRY(ReadContent(record));
        i32 checksum = content_checksum(content);
        if (checksum == record.checksum)
            return content;
        if (attempt == ChecksumRetries)
            return Error("Checksum mismatch: stored " + String::number(record.checksum) + ", read "
                + String::number(checksum));
    }
}

ErrorOr<void> DiskFilesystem::saveFile(ByteBuffer const& data, String const& path, String const& owner)
{
    String p = Path::trimSeparators(path);
    String directory = Path::directoryPart(p);
    String name = Path::leaf(p);
    TRY(checkName(name));
    TRY(checkOwner(owner));
    bool nested = p.contains(Separator);
    if (nested && !TRY(CanWrite(directory)))
        return Error("Access denied");
    i32 parent = TRY(directoryNode(directory));
    TRY(checkListable(directory));

    DirectoryRecord entry;
    entry.name = name;
    entry.type = DirectoryRecord::File;
    entry.size = static_cast<i32>(data.size() + 4);
    entry.checksum = content_checksum(data);
    entry.owner = owner;
    entry.dateTime = TimeStamp::dateTimeString();

    // The replaced record keeps its owner and permissions; the new record is
    // appended at the end of the node. A directory is never replaced by a
    // file: everything below it would become unreachable.
    auto old = TRY(ReadNode(parent));
    Vector<DirectoryRecord> records;
    bool replacing = false;
    for (auto const& record : old) {
        if (record.name != name) {
            records.append(record);
            continue;
        }
        if (record.isDirectory())
            return Error(name + " is a directory");
        if (!replacing) {
            replacing = true;
            entry.owner = record.owner;
            entry.ownerPermissions = record.ownerPermissions;
            entry.groupPermissions = record.groupPermissions;
            entry.otherPermissions = record.otherPermissions;
        }
    }
    if (replacing && !TRY(CanWrite(p)))
        return Error("Access denied!");

    // The new content is written before the record changes, so a failure
    // leaves the old file as it was.
    u32 blocks = BlocksForFile(static_cast<u32>(data.size()));
    entry.address = TRY(allocate(blocks));
    records.append(entry);
    // The node must have room before anything is written.
    ByteBuffer node = TRY(EncodeNode(records));

    TRY(writeContent(entry.address, data));
    TRY(advanceWriteAddress(static_cast<i32>(blocks)));
    return commitNode(directory, parent, node);
}

ErrorOr<void> DiskFilesystem::makeDir(String const& path, String const& owner)
{
    String p = Path::trimSeparators(path);
    String name = Path::leaf(p);
    TRY(checkName(name));
    TRY(checkOwner(owner));
    if (!p.contains(Separator)) {
        if (!m_user.is_superuser() && label == "Karvolin")
            return Error("Can not make files here");
    } else if (!TRY(CanWrite(Path::directoryPart(p)))) {
        return Error("Access denied!");
    }

    String directory = Path::directoryPart(p);
    i32 parent = TRY(directoryNode(directory));
    auto records = TRY(ReadNode(parent));
    for (auto const& record : records) {
        if (record.name == name)
            return Error("File already exists");
    }
    DirectoryRecord entry;
    entry.name = name;
    entry.type = DirectoryRecord::Directory;
    entry.size = NodeBlocks;
    entry.owner = owner;
    entry.dateTime = TimeStamp::dateTimeString();
    entry.address = TRY(allocate(NodeBlocks));
    records.append(entry);
    ByteBuffer node = TRY(EncodeNode(records));

    TRY(writeBlocks(entry.address, TRY(EncodeNode({}))));
    TRY(advanceWriteAddress(NodeBlocks));
    return commitNode(directory, parent, node);
}

ErrorOr<void> DiskFilesystem::Remove(String const& path)
{
    String p = Path::trimSeparators(path);
    if (!TRY(CanWrite(p)))
        return Error("Access denied!");
    String directory = Path::directoryPart(p);
    i32 parent = TRY(directoryNode(directory));
    String name = Path::leaf(p);
    Vector<DirectoryRecord> kept;
    auto records = TRY(ReadNode(parent));
    for (auto const& record : records) {
        if (record.name != name)
            kept.append(record);
    }
    if (kept.size() == records.size())
        return Error(RecordNotFound);
    return commitNode(directory, parent, TRY(EncodeNode(kept)));
}

// A drive may stop after any sector of a write, and a node's two blocks
// would go out in one command: rewriting both at once could leave the first
// block new and the second old, records cut in half and every entry of the
// directory lost. So the blocks go out one at a time, in an order that keeps
// the old records or the new ones readable at every moment.
ErrorOr<void> DiskFilesystem::commitNode(String const& directory, i32 address, ByteBuffer const& node)
{
    constexpr size_t Second = BlockDevice::BlockSize;
    ByteBuffer old = TRY(readBlocks(address, NodeBlocks));
    size_t oldUsed = TRY(parseNode(old)).used;
    size_t newUsed = TRY(parseNode(node)).used;
    auto unchanged = [&](size_t from, size_t to) {
        return to <= from || __builtin_memcmp(old.data() + from, node.data() + from, to - from) == 0;
    };
    auto write = [&](u32 index) { return writeBlocks(address + static_cast<i32>(index), nodeBlock(node, index)); };

    if (unchanged(Second, NodeSize))
        return unchanged(0, Second) ? ErrorOr<void> {} : write(0);
    if (unchanged(0, Second))
        return write(1);
    // The old records do not reach the bytes that change in the second block
    // (a record appended): it goes first, and the count in the first block
    // then takes the new records in.
    if (unchanged(Second, oldUsed)) {
        TRY(write(1));
        return write(0);
    }
    // The new records find their bytes of the second block already there (the
    // last record dropped): the first block commits them, the second only
    // clears what lies behind them.
    if (unchanged(Second, newUsed)) {
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
        return writeBlocks(address, node);
    i32 moved = TRY(allocate(NodeBlocks));
    TRY(writeBlocks(moved, node));
    TRY(advanceWriteAddress(NodeBlocks));
    String parentDirectory = Path::directoryPart(directory);
    String name = Path::leaf(directory);
    i32 parent = TRY(directoryNode(parentDirectory));
    auto records = TRY(ReadNode(parent));
    // Lookups follow the first record of a name.
    for (auto& record : records) {
        if (record.name != name)
            continue;
        if (record.address != address)
            return Error(CorruptNode);
        record.address = moved;
        return commitNode(parentDirectory, parent, TRY(EncodeNode(records)));
    }
    return Error(CorruptNode);
}
