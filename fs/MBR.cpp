#include "fs/MBR.h"

#include "base/Endian.h"

MBR::MBR(ByteBuffer const& sector)
{
    if (sector.size() < SignatureOffset + 2 || sector[SignatureOffset] != 0x55 || sector[SignatureOffset + 1] != 0xAA)
        return;
    for (size_t i = 0; i < EntryCount; ++i) {
        size_t entry = TableOffset + i * EntrySize;
        u8 system_id = sector[entry + 4];
        if (system_id == 0)
            continue;
        m_partitions.append({ system_id, read_le32(sector, entry + 8), read_le32(sector, entry + 12) });
    }
}
