#pragma once

#include "base/Vector.h"

// One used entry of a disk's partition table.
struct PartInfo {
    u8 systemId;
    u32 startSector;
    u32 sectorCount;
};

// The partition table of a disk's sector 0: the four 16-byte entries at
// byte 446. Entries with system id 0 are unused; boot flag, CHS fields and
// the 0x55AA signature are not looked at.
class MBR {
public:
    static constexpr size_t TableOffset = 446;
    static constexpr size_t EntrySize = 16;
    static constexpr size_t EntryCount = 4;

    // `sector` is the 512 bytes of sector 0.
    explicit MBR(ByteBuffer const& sector);

    Vector<PartInfo> partitions;
};
