#include "fs/TreeWalker.h"

using namespace DiskFormat;

namespace {

String child_path(String const& directory, String const& name)
{
    return directory.is_empty() ? name : directory + "/" + name;
}

ErrorOr<void> walk(
    BlockStore& store, Vector<DirectoryRecord> const& records, String const& path, u32 depth, TreeVisitor& visitor);

ErrorOr<void> walk_node(BlockStore& store, BlockNumber node, String const& path, u32 depth, TreeVisitor& visitor)
{
    // Deeper than any real tree: a directory loop.
    if (depth > MaxDirectoryDepth)
        return visitor.nested_too_deeply(path);
    auto bytes = store.read({ node, NodeBlocks });
    auto decoded
        = bytes.is_error() ? ErrorOr<DecodedNode>(bytes.release_error()) : decode_node(bytes.value(), visitor.detail());
    if (decoded.is_error())
        return visitor.unreadable(path, node, decoded.error());
    return walk(store, decoded.value().records, path, depth, visitor);
}

ErrorOr<void> walk(
    BlockStore& store, Vector<DirectoryRecord> const& records, String const& path, u32 depth, TreeVisitor& visitor)
{
    for (auto const& record : records) {
        // An index record of a grown directory leads to more of the same
        // directory; a walk for blocks alone makes no paths at all.
        bool same_directory = is_index_record(record) || visitor.detail() != Detail::Full;
        String child = same_directory ? path : child_path(path, record.name);
        if (TRY(visitor.visit(record, path, child)) && record.is_directory())
            TRY(walk_node(store, record.address, child, depth + 1, visitor));
    }
    return {};
}

}

ErrorOr<void> walk_tree(BlockStore& store, BlockNumber node, String const& path, TreeVisitor& visitor)
{
    return walk_node(store, node, path, 0, visitor);
}

ErrorOr<void> walk_records(
    BlockStore& store, Vector<DirectoryRecord> const& records, String const& path, TreeVisitor& visitor)
{
    return walk(store, records, path, 0, visitor);
}
