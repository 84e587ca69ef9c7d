#pragma once

#include "fs/BlockAllocator.h"
#include "fs/BlockStore.h"
#include "fs/Filesystem.h"
#include "fs/Lookup.h"
#include "fs/NodeStore.h"
#include "fs/Permissions.h"
#include "fs/User.h"

// The disk file system of one partition, in layers:
//
//   DiskFilesystem   the operations and their rules (this file)
//   Permissions      who may read and write a record
//   Lookup           a path resolved once, to the records it names
//   Directory        the records of one directory and their changes
//   NodeStore        directory nodes, committed crash-safely
//   BlockAllocator   free extents, found by one walk (TreeWalker)
//   FileContent      a file's length-prefixed bytes
//   BlockStore       bounds-checked blocks and the superblock
//   DiskFormat       the layout and the codec, no I/O
//
// Nothing is cached but the free extents: every operation reads what it
// needs and writes back what it changed before returning. Writes are ordered
// for power cuts: new content and nodes go to free blocks first, the
// allocation pointer then moves over them if they lie past it, and the
// record that points at them comes last, so a cut leaves the old tree or the
// new one (at worst some blocks allocated to nothing, found free at the next
// mount). Every structure read from the disk is checked before it is used,
// so a corrupt disk gives an error, never a wild read.
//
// A move only moves a record: the content or the node it points at stays
// where it is. Between two directories the record is written into the target
// directory first and dropped from the source directory after, so a cut
// between the two leaves it in both, pointing at the same blocks: nothing is
// lost, and the extra record is the one thing to tidy up. Until it is tidied
// up the volume reclaims nothing, since its records share blocks.
class DiskFilesystem : public Filesystem {
public:
    // Reads the volume label if the partition carries the file system;
    // never fails on content (an unformatted partition gives an empty label).
    // The permission checks are made for `user`, who is whoever is logged in
    // at the time of the check: the caller keeps it alive and up to date.
    DiskFilesystem(Partition& partition, User const& user);

    static ErrorOr<bool> is_formatted(Partition& partition) { return BlockStore::is_formatted(partition); }
    static ErrorOr<bool> is_blank(Partition& partition) { return BlockStore::is_blank(partition); }
    ErrorOr<void> format(String const& label);

    // The first block past the allocated area.
    ErrorOr<BlockNumber> next_free_block() { return m_store.next_free_block(); }
    BlockStore& blocks() { return m_store; }

    ErrorOr<Vector<DirectoryRecord>> list(String const& path) override;
    ErrorOr<DirectoryRecord> stat(String const& path) override;
    ErrorOr<ByteBuffer> read_file(String const& path) override;
    ErrorOr<ByteBuffer> read(String const& path, u64 offset, u32 length) override;
    ErrorOr<void> save_file(ByteBuffer const& data, String const& path, String const& owner) override;
    ErrorOr<void> write(String const& path, u64 offset, ByteBuffer const& data) override;
    ErrorOr<void> make_dir(String const& path, String const& owner) override;
    ErrorOr<void> remove(String const& path) override;
    ErrorOr<void> remove_file(String const& path) override;
    ErrorOr<void> copy_file(String const& source, String const& target, String const& owner) override;
    ErrorOr<void> move(String const& source, String const& target) override;
    ErrorOr<SpaceUsage> space_usage() override;

private:
    ErrorOr<Lookup> resolve(String const& path) { return Lookup::resolve(m_nodes, Path(path)); }
    // Whether the logged-in user may read or write what the first `count`
    // names of `lookup` lead to. The superuser passes without a record.
    ErrorOr<bool> may(Lookup const& lookup, size_t count, Permissions::Access access) const;
    // Listing a directory other than the root asks for read permission.
    ErrorOr<void> check_listable(String const& path, Lookup const& lookup, size_t count) const;
    ErrorOr<void> remove_entry(Lookup const& lookup);
    // The record of the file `lookup` names, for reading or writing it.
    ErrorOr<DirectoryRecord> file_for(Lookup const& lookup, Permissions::Access access) const;

    BlockStore m_store;
    BlockAllocator m_allocator;
    NodeStore m_nodes;
    User const& m_user;
};
