#pragma once

#include "fs/BlockStore.h"

// What a walk of the directory tree reports to whoever walks it: the free
// map to learn which blocks are taken, the file-system check to claim and
// check them.
class TreeVisitor {
public:
    virtual ~TreeVisitor() = default;

    // What the visitor needs of each record: a walk for blocks alone reads
    // faster and makes no paths.
    virtual DiskFormat::Detail detail() const { return DiskFormat::Detail::Full; }

    // A record of the directory at `directory` ("" for the root), whose own
    // path is `path`. True walks into a directory record's node.
    virtual ErrorOr<bool> visit(DirectoryRecord const& record, String const& directory, String const& path) = 0;
    // The node of the directory at `path` does not read. An error stops the
    // walk.
    virtual ErrorOr<void> unreadable(String const& path, BlockNumber node, Error const& error) = 0;
    // The directory at `path` lies deeper than any real tree: a loop.
    virtual ErrorOr<void> nested_too_deeply(String const& path) = 0;
};

// Walks every record reachable from the node at `node`, which is the
// directory at `path` ("" for the root), depth first in record order.
ErrorOr<void> walk_tree(BlockStore& store, BlockNumber node, String const& path, TreeVisitor& visitor);
// The same below records already read, which lie in the directory at `path`.
ErrorOr<void> walk_records(
    BlockStore& store, Vector<DirectoryRecord> const& records, String const& path, TreeVisitor& visitor);
