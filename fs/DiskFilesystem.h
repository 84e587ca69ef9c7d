#pragma once

#include "fs/Filesystem.h"
#include "fs/Partition.h"
#include "fs/User.h"

// The disk file system: a linked-node format inside one partition.
//
//   block 0       unused (zeroed by Format)
//   block 1       superblock: "KFS SC", the volume label, next_free_block
//   blocks 2-3    the root directory node
//   block 4 ...   handed out in order from next_free_block, never reclaimed
//
// A directory node is 1024 bytes (two blocks): a record count, then the
// records back to back. A file of n bytes is stored from its record's address
// as the 32-bit length n followed by the bytes, in ceil((n + 4) / 512) blocks.
// Nothing is cached: every operation reads what it needs and writes back what
// it changed before returning. Writes are ordered for power cuts: new content
// and nodes go to blocks past the allocation pointer first, the pointer then
// moves over them, and the record that points at them comes last, so a cut
// leaves the old tree or the new one (at worst some blocks allocated to
// nothing). A directory node that moves records across its two blocks is
// written to fresh blocks and its parent's record moved to it; the root,
// which has a fixed place, is rewritten there. Every structure read from the
// disk is checked before it is used, so a corrupt disk gives an error, never
// a wild read.
//
// A move only moves a record: the content or the node it points at stays
// where it is. Between two directories the record is written into the target
// directory first and dropped from the source directory after, so a cut
// between the two leaves it in both, pointing at the same blocks: nothing is
// lost, and the extra record is the one thing to tidy up.
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
        return (length + 4 + BlockDevice::BlockSize - 1) / BlockDevice::BlockSize;
    }

    Partition& partition() const { return m_partition; }

private:
    ErrorOr<void> check_inside(i32 address, u32 count) const;
    ErrorOr<ByteBuffer> read_blocks(i32 address, u32 count);
    ErrorOr<void> write_content(i32 address, ByteBuffer const& data);
    ErrorOr<void> write_blocks(i32 address, ByteBuffer const& blocks);
    ErrorOr<void> advance_write_address(i32 blocks);
    ErrorOr<i32> allocate(u32 blocks);
    // Replaces the node at `address` of `directory` ("" for the root) with
    // `node` so that a power cut leaves either the old or the new records.
    ErrorOr<void> commit_node(String const& directory, i32 address, ByteBuffer const& node);
    ErrorOr<i32> directory_node(String const& path);
    ErrorOr<bool> has_permission(String const& path, u8 bit);
    ErrorOr<void> check_listable(String const& path);

    Partition& m_partition;
    User const& m_user;
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
