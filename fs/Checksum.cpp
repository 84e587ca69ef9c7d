#include "fs/Checksum.h"

i32 content_checksum(ByteBuffer const& bytes)
{
    ContentChecksum checksum;
    checksum.add(bytes);
    return checksum.result();
}
