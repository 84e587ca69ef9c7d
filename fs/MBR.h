#pragma once

#include "base/Vector.h"

// One used entry of a disk's partition table.
struct PartInfo {
    u8 system_id;
    u32 start_sector;
    u32 sector_count;
};

// The partition table of a disk's sector 0: the four 16-byte entries at
// byte 446. Sector 0 holds a table only when it ends with the bytes 0x55
// 0xAA; without them the disk has no partitions (it may be a whole-disk file
// system of another system, or blank). Entries with system id 0 are unused;
// boot flag and CHS fields are not looked at.
class MBR {
public:
    static constexpr size_t TableOffset = 446;
    static constexpr size_t EntrySize = 16;
    static constexpr size_t EntryCount = 4;
    static constexpr size_t SignatureOffset = 510;

    // `sector` is the 512 bytes of sector 0.
    explicit MBR(ByteBuffer const& sector);

    Vector<PartInfo> const& partitions() const { return m_partitions; }

private:
    Vector<PartInfo> m_partitions;
};
