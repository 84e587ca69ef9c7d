#pragma once

#include "fs/Filesystem.h"
#include "fs/Partition.h"
#include "fs/User.h"

// The disk file system: a linked-node format inside one partition.
//
//   block 0       unused (zeroed by Format)
//   block 1       superblock: "KFS SC", the volume label, next_free_block
//   blocks 2-3    the root directory node
//   block 4 ...   files and directory nodes, below next_free_block
//
// A directory node is 1024 bytes (two blocks): a record count, then the
// records back to back. A file of n bytes is stored from its record's address
// as the 32-bit length n followed by the bytes, in ceil((n + 4) / 512) blocks.
// Nothing is cached: every operation reads what it needs and writes back what
// it changed before returning, except for one thing kept in memory: the free
// extents below the allocation pointer, found by one walk of the tree when
// the volume is first written to or measured (so one object writes a
// partition at a time). An allocation takes the first free extent that fits
// and goes past the pointer only when none does; the blocks of a deleted or
// replaced file, a deleted tree or a moved node return to the extents once
// the record that pointed at them is gone from the disk. Writes are ordered
// for power cuts: new content and nodes go to free blocks first, the pointer
// then moves over them if they lie past it, and the record that points at
// them comes last, so a cut leaves the old tree or the new one (at worst some
// blocks allocated to nothing, found free at the next mount). A directory
// node that moves records across its two blocks is written to fresh blocks
// and its parent's record moved to it; the root, which has a fixed place, is
// rewritten there. Every structure read from the disk is checked before it is
// used, so a corrupt disk gives an error, never a wild read.
//
// A move only moves a record: the content or the node it points at stays
// where it is. Between two directories the record is written into the target
// directory first and dropped from the source directory after, so a cut
// between the two leaves it in both, pointing at the same blocks: nothing is
// lost, and the extra record is the one thing to tidy up. Until it is tidied up
// the volume reclaims nothing, since its records share blocks.
class DiskFilesystem : public Filesystem {
public:
    static constexpr i32 SuperBlock = 1;
    static constexpr i32 RootNode = 2;
    static constexpr i32 FirstFreeBlock = 4;
    static constexpr u32 FormattedBlocks = 100;
    static constexpr u32 NodeBlocks = 2;
    static constexpr u32 NodeSize = NodeBlocks * BlockDevice::BlockSize;
    // Names, owners, labels and time stamps are stored with a length byte.
    static constexpr size_t MaxNameLength = 255;
    // Directories nested deeper than this are taken for a loop in a damaged
    // tree: no real tree needs the depth.
    static constexpr u32 MaxDirectoryDepth = 64;

    struct Superblock {
        String signature;
        String label;
        i32 next_free_block;
    };

    // Reads the volume label if the partition carries the file system;
    // never fails on content (an unformatted partition gives an empty label).
    // The permission checks are made for `user`, who is whoever is logged in
    // at the time of the check: the caller keeps it alive and up to date.
    DiskFilesystem(Partition& partition, User const& user);

    static ErrorOr<bool> is_formatted(Partition& partition);
    // True when every block that Format would write holds only zeros: such
    // a partition holds nothing that formatting could destroy.
    static ErrorOr<bool> is_blank(Partition& partition);
    ErrorOr<void> format(String const& label);

    ErrorOr<Superblock> read_superblock();
    ErrorOr<i32> get_write_address();

    // The volume's size and how much of it is taken, in bytes.
    struct SpaceUsage {
        u64 size_bytes;
        u64 used_bytes;
        u64 free_bytes;
    };
    ErrorOr<SpaceUsage> space_usage();

    // Address of the node or content that `path` names, searched from the
    // node at `parent` (0: the root). "File not found :(" when missing.
    ErrorOr<i32> get_node_address(String const& path, i32 parent);
    // The record that `path` names. "File not found!!!" when missing.
    ErrorOr<DirectoryRecord> read_from_node(String const& path);
    // The records of the node at `address`, checked as they are parsed.
    ErrorOr<Vector<DirectoryRecord>> read_node(i32 address);
    // The 1024 bytes of a node holding `records` ("Directory is full").
    static ErrorOr<ByteBuffer> encode_node(Vector<DirectoryRecord> const& records);
    // The stored content of a file record: its length-prefixed bytes.
    ErrorOr<ByteBuffer> read_content(DirectoryRecord const& entry);

    ErrorOr<bool> can_read(String const& path);
    ErrorOr<bool> can_write(String const& path);

    ErrorOr<Vector<DirectoryRecord>> get_long_list(String const& path) override;
    ErrorOr<ByteBuffer> read_file(String const& path) override;
    ErrorOr<Vector<String>> list_files(String const& path) override;
    ErrorOr<void> remove(String const& path) override;
    ErrorOr<void> make_dir(String const& path, String const& owner) override;
    ErrorOr<void> save_file(ByteBuffer const& data, String const& path, String const& owner) override;
    // Renames or moves the file or directory `source` to `target`, whose
    // directory must exist and which must not; a directory never goes into
    // itself. Everything is checked before the first write.
    ErrorOr<void> move(String const& source, String const& target);

    // Blocks a file of `length` bytes occupies.
    static u32 blocks_for_file(u32 length)
    {
        return (length + DirectoryRecord::LengthPrefixSize + BlockDevice::BlockSize - 1) / BlockDevice::BlockSize;
    }

    Partition& partition() const { return m_partition; }

private:
    // A run of `count` blocks from `first`.
    struct Extent {
        i32 first;
        u32 count;
    };
    enum class FreeMap : u8 {
        NotBuilt,
        Ready,
        // The disk did not walk cleanly: nothing is reused until it is
        // mounted again, and blocks come from the pointer only.
        Off,
    };

    ErrorOr<void> check_inside(i32 address, u32 count) const;
    ErrorOr<ByteBuffer> read_blocks(i32 address, u32 count);
    ErrorOr<void> write_content(i32 address, ByteBuffer const& data);
    ErrorOr<void> write_blocks(i32 address, ByteBuffer const& blocks);
    ErrorOr<void> advance_write_address(i32 address, u32 blocks);
    ErrorOr<i32> allocate(u32 blocks);
    ErrorOr<void> build_free_map();
    ErrorOr<void> gather_extents(Vector<DirectoryRecord> const& records, Vector<Extent>& out, i64 limit);
    Vector<Extent> extents_of(Vector<DirectoryRecord> const& records);
    void release(Vector<Extent> const& extents);
    void stop_reuse();
    // Replaces the node at `address` of `directory` ("" for the root) with
    // `node` so that a power cut leaves either the old or the new records.
    ErrorOr<void> commit_node(String const& directory, i32 address, ByteBuffer const& node);
    // commit_node for a node without the `dropped` records: their blocks, and
    // those of everything below them, go back to the free map once the node
    // is on the disk, not before.
    ErrorOr<void> commit_node_dropping(
        String const& directory, i32 address, ByteBuffer const& node, Vector<DirectoryRecord> const& dropped);
    ErrorOr<i32> directory_node(String const& path);
    ErrorOr<bool> has_permission(String const& path, u8 bit);
    ErrorOr<void> check_listable(String const& path);

    Partition& m_partition;
    User const& m_user;
    // Sorted by first block, never overlapping or touching.
    Vector<Extent> m_free_extents;
    FreeMap m_free_map { FreeMap::NotBuilt };
};

// Path helpers on the "/" separator.
namespace Path {
// Drops one leading and then one trailing separator: "/a/b/" gives "a/b".
String trim_separators(String const& path);
// The part after the last separator (the whole path without one).
String leaf(String const& path);
// The part before the last separator (empty for a top-level name).
String directory_part(String const& path);
}
