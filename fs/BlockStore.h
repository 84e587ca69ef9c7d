#pragma once

#include "fs/DiskFormat.h"
#include "fs/Partition.h"

// The blocks of one volume: every transfer checked against the partition's
// bounds, and the superblock, which says where the allocated area ends. The
// lowest layer of the disk file system: it knows blocks, not records.
class BlockStore {
public:
    explicit BlockStore(Partition& partition)
        : m_partition(partition)
    {
    }

    Partition& partition() const { return m_partition; }
    u64 block_count() const { return m_partition.block_count(); }
    // The first block an allocation may not reach: the partition's end, or
    // the last number the format can store.
    u64 allocation_limit() const;

    // "Corrupt file system: block N is outside the partition" for blocks the
    // partition does not hold: a damaged record points anywhere.
    ErrorOr<void> check_inside(Extent extent) const;
    ErrorOr<ByteBuffer> read(Extent extent);
    ErrorOr<void> read_into(Extent extent, ByteBuffer& buffer);
    // Block 0 and the superblock are never written through here.
    ErrorOr<void> write(BlockNumber first, ByteBuffer const& blocks);
    // Whole blocks gathered from `pieces`, as one request.
    ErrorOr<void> write(BlockNumber first, std::span<BlockPiece const> pieces);

    static ErrorOr<bool> is_formatted(Partition& partition);
    // True when every block that formatting would write holds only zeros:
    // such a partition holds nothing that formatting could destroy.
    static ErrorOr<bool> is_blank(Partition& partition);
    // Zeroes blocks 0-99 and writes a superblock with `label` and the
    // allocation pointer at block 4: an empty root directory.
    ErrorOr<void> format(String const& label);

    // "No file system on this partition" without the signature, "Corrupt
    // superblock" for a pointer outside the partition.
    ErrorOr<DiskFormat::Superblock> read_superblock();
    ErrorOr<BlockNumber> next_free_block();
    // Moves the allocation pointer over `written` when it ends past it; a
    // free extent below the pointer leaves it where it is.
    ErrorOr<void> extend_allocated_area(Extent written);

private:
    Partition& m_partition;
};
