#include "fs/Filesystem.h"

namespace {

String in_kib(u64 bytes) { return String::number(static_cast<i64>(bytes / 1024)) + " KiB"; }

}

Vector<String> Filesystem::SpaceUsage::lines() const
{
    return { "Size: " + in_kib(size_bytes), "Used: " + in_kib(used_bytes), "Free: " + in_kib(free_bytes) };
}
