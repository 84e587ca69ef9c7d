#include "fs/Partition.h"

ErrorOr<void> Partition::ReadBlock(u64 first, u32 count, ByteBuffer& buffer)
{
    TRY(CheckRequest(first, count, buffer.size()));
    return m_parent.ReadBlock(m_firstSector + first, count, buffer);
}

ErrorOr<void> Partition::WriteBlock(u64 first, u32 count, ByteBuffer const& buffer)
{
    TRY(CheckRequest(first, count, buffer.size()));
    return m_parent.WriteBlock(m_firstSector + first, count, buffer);
}
