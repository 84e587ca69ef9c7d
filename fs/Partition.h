#pragma once

#include "fs/BlockDevice.h"

// A window on a parent device: block n of the partition is block
// first_sector + n of the parent. Requests that would reach outside the
// window are refused, so a file system can never touch its neighbours.
class Partition : public BlockDevice {
public:
    Partition(BlockDevice& parent, u64 first_sector, u64 sector_count)
        : m_parent(parent)
        , m_first_sector(first_sector)
        , m_sector_count(sector_count)
    {
    }

    ErrorOr<void> read_block(u64 first, u32 count, ByteBuffer& buffer) override;
    ErrorOr<void> write_blocks(u64 first, std::span<BlockPiece const> pieces) override;
    u64 block_count() const override { return m_sector_count; }
    Partition* as_partition() override { return this; }

    BlockDevice& parent() const { return m_parent; }
    u64 first_sector() const { return m_first_sector; }

private:
    BlockDevice& m_parent;
    u64 m_first_sector;
    u64 m_sector_count;
};
