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
    virtual ErrorOr<void> read_block(u64 first, u32 count, ByteBuffer& buffer) = 0;
    virtual ErrorOr<void> write_block(u64 first, u32 count, ByteBuffer const& buffer) = 0;
    // Number of blocks the device holds.
    virtual u64 block_count() const = 0;

    // The partition behind this device, or null for a whole disk.
    virtual Partition* as_partition() { return nullptr; }

protected:
    // The checks every device makes before a transfer.
    ErrorOr<void> check_request(u64 first, u32 count, size_t buffer_size) const;
};
