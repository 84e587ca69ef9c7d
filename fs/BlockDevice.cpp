#include "fs/BlockDevice.h"

ErrorOr<void> BlockDevice::check_request(u64 first, u32 count, size_t buffer_size) const
{
    if (buffer_size != static_cast<u64>(count) * BlockSize)
        return Error("Invalid data size.");
    if (first > block_count() || count > block_count() - first)
        return Error("Block number out of range");
    return {};
}
