#pragma once

#include "fs/BlockStore.h"

// Hands out blocks: the first free extent below the allocation pointer that
// holds them, else blocks from the pointer. The free extents are found by one
// walk of the tree when the volume is first written to or measured, and kept
// in memory from then on (so one object writes a partition at a time): a
// block is free when no record reachable from the root uses it. Blocks come
// back to the free extents once the record that pointed at them is gone from
// the disk.
class BlockAllocator {
public:
    explicit BlockAllocator(BlockStore& store)
        : m_store(store)
    {
    }

    // The first of `count` free blocks. The caller writes them, then
    // moves the allocation pointer over them with
    // BlockStore::extend_allocated_area before any record points at them.
    ErrorOr<BlockNumber> allocate(u32 count);
    // The blocks that `records` and
    // everything below them use: what to release once they are gone from the
    // disk. None when the tree below does not read.
    Vector<Extent> extents_below(Vector<DirectoryRecord> const& records);
    // Returns blocks no record on the disk points at any more.
    void release(Vector<Extent> const& extents);
    // Blocks below the allocation pointer that no record uses.
    ErrorOr<u64> free_blocks_below_pointer();
    // Forgets the free extents: the volume was formatted.
    void forget();

    // Sorted by first block, never overlapping or touching.
    Vector<Extent> const& free_extents() const { return m_free; }

private:
    enum class State : u8 {
        NotBuilt,
        Ready,
        // The disk did not walk cleanly: nothing is reused until it is
        // mounted again, and blocks come from the pointer only.
        Off,
    };

    ErrorOr<void> build();
    void stop_reuse();

    BlockStore& m_store;
    Vector<Extent> m_free;
    State m_state { State::NotBuilt };
};
