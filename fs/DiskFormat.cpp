#include "fs/DiskFormat.h"

#include "fs/Stream.h"

namespace DiskFormat {

char const* const Signature = "KFS SC";
char const* const CorruptNode = "Corrupt directory node";
char const* const CorruptFileRecord = "Corrupt file record";

namespace {

    // Smallest record: seven fixed bytes, three integers and three length bytes.
    constexpr size_t MinRecordSize = 19;
    constexpr i32 MaxRecordsPerNode = static_cast<i32>((NodeSize - 4) / MinRecordSize);
    constexpr char16_t Separator = u'/';

    constexpr u8 IndexNameLength = 9;

    // The name of a record, or with Detail::Extents none but an index
    // record's: those are few, and the walk needs to know them.
    ErrorOr<String> read_name(BinaryReader& reader, Detail detail)
    {
        if (detail == Detail::Full || TRY(reader.peek_byte()) == IndexNameLength)
            return reader.read_string();
        TRY(reader.skip(TRY(reader.read_byte())));
        return String();
    }

    ErrorOr<DirectoryRecord> decode_record(BinaryReader& reader, Detail detail)
    {
        DirectoryRecord record;
        record.name = TRY(read_name(reader, detail));
        record.address = BlockNumber(static_cast<u32>(TRY(reader.read_int32())));
        record.size = TRY(reader.read_int32());
        record.type = TRY(reader.read_byte());
        record.owner_permissions = TRY(reader.read_byte());
        record.group_permissions = TRY(reader.read_byte());
        record.other_permissions = TRY(reader.read_byte());
        if (detail == Detail::Full) {
            record.date_time = TRY(reader.read_string());
            record.owner = TRY(reader.read_string());
        } else {
            TRY(reader.skip(TRY(reader.read_byte())));
            TRY(reader.skip(TRY(reader.read_byte())));
        }
        record.checksum = TRY(reader.read_int32());
        return record;
    }

    void encode_record(BinaryWriter& writer, DirectoryRecord const& record)
    {
        writer.write(record.name);
        writer.write(record.address.stored());
        writer.write(record.size);
        writer.write(record.type);
        writer.write(record.owner_permissions);
        writer.write(record.group_permissions);
        writer.write(record.other_permissions);
        writer.write(record.date_time);
        writer.write(record.owner);
        writer.write(record.checksum);
    }

    // The disk keeps one byte per character, so a name must consist of
    // characters that byte holds exactly; anything else (the line editor's arrow
    // marks, control characters) would be stored as another name than the one
    // later looked up.
    bool is_storable_name_character(char16_t c) { return (c >= 0x20 && c <= 0x7E) || (c >= 0xA0 && c <= 0xFF); }

}

ErrorOr<Superblock> decode_superblock(ByteBuffer const& block)
{
    MemoryStream stream(BlockDevice::BlockSize);
    stream.data() = block;
    BinaryReader reader(stream);
    Superblock super;
    super.signature = TRY(reader.read_string());
    super.label = TRY(reader.read_string());
    super.next_free_block = BlockNumber(static_cast<u32>(TRY(reader.read_int32())));
    return super;
}

ByteBuffer encode_superblock(String const& label, BlockNumber next_free_block)
{
    MemoryStream stream(BlockDevice::BlockSize);
    BinaryWriter writer(stream);
    writer.write(String(Signature));
    writer.write(label);
    writer.write(next_free_block.stored());
    return static_cast<ByteBuffer&&>(stream.data());
}

ErrorOr<DecodedNode> decode_node(ByteBuffer const& node, Detail detail)
{
    MemoryStream stream(NodeSize);
    stream.data() = node;
    BinaryReader reader(stream);
    i32 count = TRY(reader.read_int32());
    if (count < 0 || count > MaxRecordsPerNode)
        return Error(CorruptNode);
    DecodedNode decoded;
    decoded.records.ensure_capacity(static_cast<size_t>(count));
    for (i32 i = 0; i < count; ++i) {
        auto record = decode_record(reader, detail);
        if (record.is_error()
            || (record.value().type != DirectoryRecord::File && record.value().type != DirectoryRecord::Directory))
            return Error(CorruptNode);
        decoded.records.append(record.release_value());
    }
    decoded.used = static_cast<size_t>(stream.position());
    return decoded;
}

ErrorOr<ByteBuffer> encode_node(Vector<DirectoryRecord> const& records)
{
    MemoryStream stream(NodeSize);
    BinaryWriter writer(stream);
    writer.write(static_cast<i32>(records.size()));
    for (auto const& record : records)
        encode_record(writer, record);
    // The stream grows past the node when the records do not fit.
    if (stream.data().size() > NodeSize)
        return Error("Directory is full");
    return static_cast<ByteBuffer&&>(stream.data());
}

size_t encoded_size(DirectoryRecord const& record)
{
    return MinRecordSize + record.name.length() + record.date_time.length() + record.owner.length();
}

size_t encoded_size(Vector<DirectoryRecord> const& records)
{
    size_t total = 0;
    for (auto const& record : records)
        total += encoded_size(record);
    return total;
}

u32 name_hash(String const& name)
{
    u32 hash = 2166136261u;
    for (char16_t c : name.chars()) {
        hash ^= static_cast<u8>(c);
        hash *= 16777619u;
    }
    return hash;
}

bool is_index_record(DirectoryRecord const& record)
{
    return record.is_directory() && record.name.length() == IndexNameLength && record.name[0] == Separator;
}

u32 index_bound(DirectoryRecord const& record)
{
    u32 bound = 0;
    for (size_t i = 1; i < record.name.length(); ++i) {
        char16_t c = record.name[i];
        u32 digit = 0;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else if (c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        bound = bound << 4 | digit;
    }
    return bound;
}

DirectoryRecord index_record(u32 bound, BlockNumber node)
{
    DirectoryRecord record;
    record.name = String::repeated(Separator, 1) + String::hex(bound, 8);
    record.type = DirectoryRecord::Directory;
    record.size = static_cast<i32>(NodeBlocks);
    record.address = node;
    return record;
}

std::optional<Extent> extent_of(DirectoryRecord const& record)
{
    if (record.is_directory())
        return Extent { record.address, NodeBlocks };
    auto length = record.content_length();
    if (!length)
        return {};
    return Extent { record.address, blocks_for_file(*length) };
}

ErrorOr<void> check_name(String const& name)
{
    if (name.is_empty())
        return Error("Invalid file name");
    if (name.length() > MaxNameLength)
        return Error("Name too long (at most 255 characters)");
    for (char16_t c : name.chars()) {
        if (!is_storable_name_character(c) || c == Separator)
            return Error("Invalid character in file name");
    }
    return {};
}

ErrorOr<void> check_owner(String const& owner)
{
    if (owner.length() > MaxNameLength)
        return Error("Owner name too long (at most 255 characters)");
    return {};
}

}
