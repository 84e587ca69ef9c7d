#include "fs/Partition.h"

ErrorOr<void> Partition::read_block(u64 first, u32 count, ByteBuffer& buffer)
{
    TRY(check_request(first, count, buffer.size()));
    return m_parent.read_block(m_first_sector + first, count, buffer);
}

ErrorOr<void> Partition::write_blocks(u64 first, std::span<BlockPiece const> pieces)
{
    TRY(check_request(first, pieces));
    return m_parent.write_blocks(m_first_sector + first, pieces);
}
