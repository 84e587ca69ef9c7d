// The input is a directory node as the disk may hold it, and the start of a
// superblock: the codec alone, no disk. Whatever decodes must encode back to
// the very bytes it came from, and no record may claim to use more of the
// node than there is.

#include "fs/DiskFormat.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

[[noreturn]] void fail(char const* what)
{
    std::fprintf(stderr, "node codec fuzzer: %s\n", what);
    std::abort();
}

void check_node(ByteBuffer const& node)
{
    auto decoded = DiskFormat::decode_node(node);
    if (decoded.is_error())
        return;
    auto const& records = decoded.value().records;
    size_t used = decoded.value().used;
    if (used > DiskFormat::NodeSize || 4 + DiskFormat::encoded_size(records) != used)
        fail("the records do not add up to the bytes they were read from");
    auto encoded = DiskFormat::encode_node(records);
    if (encoded.is_error())
        fail("decoded records do not encode again");
    if (std::memcmp(encoded.value().data(), node.data(), used) != 0)
        fail("decoded records encode to other bytes");
    for (auto const& record : records) {
        if (!DiskFormat::is_index_record(record))
            continue;
        // An index record names the bound it holds.
        auto again = DiskFormat::index_record(DiskFormat::index_bound(record), record.address);
        if (DiskFormat::index_bound(again) != DiskFormat::index_bound(record) || again.address != record.address)
            fail("an index record's bound does not survive a round trip");
    }
}

void check_superblock(ByteBuffer const& block)
{
    auto super = DiskFormat::decode_superblock(block);
    if (super.is_error() || super.value().signature != DiskFormat::Signature)
        return;
    ByteBuffer encoded = DiskFormat::encode_superblock(super.value().label, super.value().next_free_block);
    size_t used = super.value().pointer_offset() + 4;
    if (used > block.size() || std::memcmp(encoded.data(), block.data(), used) != 0)
        fail("a superblock encodes to other bytes");
}

}

extern "C" int LLVMFuzzerTestOneInput(u8 const* data, size_t size)
{
    ByteBuffer node;
    node.resize(DiskFormat::NodeSize);
    std::memcpy(node.data(), data, size < node.size() ? size : node.size());
    check_node(node);
    node.resize(BlockDevice::BlockSize);
    check_superblock(node);
    return 0;
}
