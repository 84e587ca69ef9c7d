#pragma once

#include "fs/BlockDevice.h"

// A window on a parent device: block n of the partition is block
// firstSector + n of the parent. Requests that would reach outside the
// window are refused, so a file system can never touch its neighbours.
class Partition : public BlockDevice {
public:
    Partition(BlockDevice& parent, u64 firstSector, u64 sectorCount)
        : m_parent(parent)
        , m_firstSector(firstSector)
        , m_sectorCount(sectorCount)
    {
    }

    ErrorOr<void> ReadBlock(u64 first, u32 count, ByteBuffer& buffer) override;
    ErrorOr<void> WriteBlock(u64 first, u32 count, ByteBuffer const& buffer) override;
    u64 BlockCount() const override { return m_sectorCount; }
    Partition* AsPartition() override { return this; }

    BlockDevice& Parent() const { return m_parent; }
    u64 FirstSector() const { return m_firstSector; }

private:
    BlockDevice& m_parent;
    u64 m_firstSector;
    u64 m_sectorCount;
};
