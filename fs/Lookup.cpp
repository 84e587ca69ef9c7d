#include "fs/Lookup.h"

namespace {

char const* const PathNotFound = "File not found :(";
char const* const RecordNotFound = "File not found!!!";

}

ErrorOr<Lookup> Lookup::resolve(NodeStore& nodes, Path path)
{
    Lookup lookup(static_cast<Path&&>(path));
    NodeChain chain = root_chain();
    auto const& names = lookup.m_path.names();
    for (size_t i = 0; i < names.size(); ++i) {
        auto found = TRY(Directory(nodes, chain).find(names[i]));
        if (!found)
            break;
        lookup.m_found.append(static_cast<Entry&&>(*found));
        Entry const& entry = lookup.m_found.last();
        // Only directories are descended into; a file's content is no node.
        if (!entry.record.is_directory())
            break;
        chain = entry.node_chain();
    }
    return lookup;
}

ErrorOr<NodeChain> Lookup::directory(size_t count) const
{
    for (size_t i = 0; i < count; ++i) {
        if (i >= m_found.size())
            return Error(PathNotFound);
        if (!m_found[i].record.is_directory())
            return Error("Not a directory");
    }
    return count == 0 ? root_chain() : m_found[count - 1].node_chain();
}

ErrorOr<Entry const*> Lookup::entry(size_t count) const
{
    if (count == 0)
        return Error(RecordNotFound);
    TRY(directory(count - 1));
    if (count > m_found.size())
        return Error(RecordNotFound);
    return &m_found[count - 1];
}
