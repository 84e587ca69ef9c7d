#pragma once

#include "base/Error.h"
#include "fs/BlockDevice.h"
#include "fs/DirectoryRecord.h"

// The disk file system's on-disk layout and its codec: bytes in, records out,
// nothing read from or written to a disk here.
//
//   block 0       unused (zeroed by formatting)
//   block 1       superblock: "KFS SC", the volume label, next_free_block
//   blocks 2-3    the root directory node
//   block 4 ...   files and directory nodes, below next_free_block
//
// A directory node is 1024 bytes (two blocks): a 32-bit record count, then
// the records back to back. A file of n bytes is stored from its record's
// address as the 32-bit length n followed by the bytes, in ceil((n + 4) /
// 512) blocks. Integers are 32-bit little-endian, strings a length byte and
// one byte per character.
namespace DiskFormat {

constexpr BlockNumber SuperBlock { 1 };
constexpr BlockNumber RootNode { 2 };
constexpr BlockNumber FirstFreeBlock { 4 };
// Formatting zeroes this many blocks from block 0.
constexpr u32 FormattedBlocks = 100;
constexpr u32 NodeBlocks = 2;
constexpr u32 NodeSize = NodeBlocks * BlockDevice::BlockSize;
// Names, owners, labels and time stamps are stored with a length byte.
constexpr size_t MaxNameLength = 255;
// Directories nested deeper than this are taken for a loop in a damaged
// tree: no real tree needs the depth.
constexpr u32 MaxDirectoryDepth = 64;
// Block numbers are stored as signed 32-bit integers: a bigger partition is
// used up to the largest number they hold.
constexpr u64 AddressableBlocks = 0x7FFFFFFF;

extern char const* const Signature;
extern char const* const CorruptNode;
extern char const* const CorruptFileRecord;

struct Superblock {
    String signature;
    String label;
    BlockNumber next_free_block;

    // Where next_free_block sits in the block: after the two strings.
    size_t pointer_offset() const { return 2 + signature.length() + label.length(); }
};

// The superblock's fields, whatever its signature says.
ErrorOr<Superblock> decode_superblock(ByteBuffer const& block);
// Block 1 of a new volume.
ByteBuffer encode_superblock(String const& label, BlockNumber next_free_block);

// The records of a node and the number of its bytes they take.
struct DecodedNode {
    Vector<DirectoryRecord> records;
    size_t used { 0 };
};
// How much of each record a decode keeps: all of it, or only where its
// blocks are (type, address and size, and the name of an index record), for
// walks over a whole tree that need no more and make no string for it.
enum class Detail : u8 {
    Full,
    Extents,
};
// "Corrupt directory node" for a count or a record that does not parse.
ErrorOr<DecodedNode> decode_node(ByteBuffer const& node, Detail detail = Detail::Full);
// The 1024 bytes of a node holding `records` ("Directory is full").
ErrorOr<ByteBuffer> encode_node(Vector<DirectoryRecord> const& records);
// Bytes one record takes in a node.
size_t encoded_size(DirectoryRecord const& record);
// Bytes the records take in a node, its count not included.
size_t encoded_size(Vector<DirectoryRecord> const& records);

// A record's size counts a file's length and the four bytes before it in a
// signed 32-bit field.
constexpr u32 MaxFileLength = 0x7FFFFFFF - DirectoryRecord::LengthPrefixSize;

// Blocks a file of `length` bytes occupies.
constexpr u32 blocks_for_file(u32 length)
{
    return (length + DirectoryRecord::LengthPrefixSize + BlockDevice::BlockSize - 1) / BlockDevice::BlockSize;
}
// The blocks a record's content or node takes; none for a file record whose
// size cannot even count its length.
std::optional<Extent> extent_of(DirectoryRecord const& record);

// A directory grows past one node as a tree of nodes, found by a hash of
// each name. Its own node then holds index records: directory records named
// "/" and eight hexadecimal digits, the lowest name hash of the node they
// point at, in ascending order. Below them lie further index nodes or leaf
// nodes of ordinary records. A name can never hold a separator, so no path
// reaches an index record, and code that knows only single-node directories
// sees subdirectories it cannot enter: it walks them, counts their blocks
// and keeps them, so nothing it does loses an entry.
constexpr size_t NodeCapacity = NodeSize - 4;
// The index a grown directory keeps in its own node stays in the node's
// first block, so turning a full node into an index and back is one sector
// write, wherever the node lies: a power cut cannot tear it.
constexpr size_t OwnIndexCapacity = BlockDevice::BlockSize - 4;

// FNV-1a over the bytes the disk stores for the name.
u32 name_hash(String const& name);
bool is_index_record(DirectoryRecord const& record);
// The lowest hash an index record's node holds.
u32 index_bound(DirectoryRecord const& record);
DirectoryRecord index_record(u32 bound, BlockNumber node);

// A name a record can hold: 1 to 255 characters that one byte each stores
// exactly, no separator.
ErrorOr<void> check_name(String const& name);
ErrorOr<void> check_owner(String const& owner);

}
