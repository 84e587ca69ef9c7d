#pragma once

#include "fs/Directory.h"
#include "fs/Path.h"

// What one walk down a path found: for each of its names, the record that
// names it, as far as the names lead. Every operation resolves its path once
// and asks this what it needs; the answers fail as a path that leads nowhere
// fails everywhere:
// - "File not found :(" when a directory on the way is missing;
// - "Not a directory" when a file stands where a directory should;
// - "File not found!!!" when only the entry itself is missing.
class Lookup {
public:
    static ErrorOr<Lookup> resolve(NodeStore& nodes, Path path);

    Path const& path() const { return m_path; }
    // The directory the first `count` names lead to (the root for none).
    ErrorOr<NodeChain> directory(size_t count) const;
    // The record the first `count` names lead to (the root has none).
    ErrorOr<Entry const*> entry(size_t count) const;

    // The directory that holds the path's leaf, and the leaf's record.
    ErrorOr<NodeChain> parent_directory() const { return directory(m_path.depth() - (m_path.is_root() ? 0 : 1)); }
    ErrorOr<Entry const*> target() const { return entry(m_path.depth()); }

private:
    explicit Lookup(Path path)
        : m_path(static_cast<Path&&>(path))
    {
    }

    Path m_path;
    // m_found[i] is the record of the first i + 1 names.
    Vector<Entry> m_found;
};
