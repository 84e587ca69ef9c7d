#include "fs/BlockDevice.h"

ErrorOr<void> BlockDevice::CheckRequest(u64 first, u32 count, size_t bufferSize) const
{
    if (bufferSize != static_cast<u64>(count) * BlockSize)
        return Error("Invalid data size.");
    if (first > BlockCount() || count > BlockCount() - first)
        return Error("Block number out of range");
    return {};
}
