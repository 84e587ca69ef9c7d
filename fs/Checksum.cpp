#include "fs/Checksum.h"

i32 content_checksum(ByteBuffer const& bytes)
{
    u32 h = 23;
    u32 i = 0;
    for (u8 b : bytes) {
        ++i;
        h += i | b;
    }
    h *= static_cast<u32>(bytes.size());
    return static_cast<i32>(h);
}
