#pragma once

#include "base/Error.h"

class Partition;

// A device addressed in 512-byte blocks: an ATA drive, a partition of one,
// or (in the host tools and tests) an image file or a buffer.
class BlockDevice {
public:
    static constexpr u32 BlockSize = 512;

    virtual ~BlockDevice() = default;

    // `buffer` must hold exactly count * BlockSize bytes ("Invalid data size.").
    virtual ErrorOr<void> ReadBlock(u64 first, u32 count, ByteBuffer& buffer) = 0;
    virtual ErrorOr<void> WriteBlock(u64 first, u32 count, ByteBuffer const& buffer) = 0;
    // Number of blocks the device holds.
    virtual u64 BlockCount() const = 0;

    // The partition behind this device, or null for a whole disk.
    virtual Partition* AsPartition() { return nullptr; }

protected:
    // The checks every device makes before a transfer.
    ErrorOr<void> CheckRequest(u64 first, u32 count, size_t bufferSize) const;
};
