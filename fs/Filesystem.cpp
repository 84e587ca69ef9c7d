#include "fs/Filesystem.h"

namespace {

String in_kib(u64 bytes) { return String::number(static_cast<i64>(bytes / 1024)) + " KiB"; }

}

ErrorOr<void> Filesystem::append(String const& path, ByteBuffer const& data)
{
    auto length = TRY(stat(path)).content_length();
    return write(path, length ? *length : 0, data);
}

Vector<String> Filesystem::SpaceUsage::lines() const
{
    return { "Size: " + in_kib(size_bytes), "Used: " + in_kib(used_bytes), "Free: " + in_kib(free_bytes) };
}
