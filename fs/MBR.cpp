#include "fs/MBR.h"

namespace {
u32 read_u32(ByteBuffer const& bytes, size_t offset)
{
    return static_cast<u32>(bytes[offset]) | static_cast<u32>(bytes[offset + 1]) << 8
        | static_cast<u32>(bytes[offset + 2]) << 16 | static_cast<u32>(bytes[offset + 3]) << 24;
}
}

MBR::MBR(ByteBuffer const& sector)
{
    if (sector.size() < SignatureOffset + 2 || sector[SignatureOffset] != 0x55 || sector[SignatureOffset + 1] != 0xAA)
        return;
    for (size_t i = 0; i < EntryCount; ++i) {
        size_t entry = TableOffset + i * EntrySize;
        u8 systemId = sector[entry + 4];
        if (systemId == 0)
            continue;
        partitions.append({ systemId, read_u32(sector, entry + 8), read_u32(sector, entry + 12) });
    }
}
