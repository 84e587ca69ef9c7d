#include "fs/Directory.h"

using namespace DiskFormat;

ErrorOr<Directory> Directory::open(NodeStore& nodes, NodeChain chain)
{
    auto records = TRY(nodes.read(chain.last().node)).records;
    return Directory(nodes, static_cast<NodeChain&&>(chain), static_cast<Vector<DirectoryRecord>&&>(records));
}

std::optional<Entry> Directory::find(String const& name) const
{
    for (auto const& record : m_records) {
        if (record.name == name)
            return Entry { record, m_chain };
    }
    return {};
}

Vector<DirectoryRecord> Directory::find_all(String const& name) const
{
    Vector<DirectoryRecord> found;
    for (auto const& record : m_records) {
        if (record.name == name)
            found.append(record);
    }
    return found;
}

Vector<DirectoryRecord> Directory::without(String const& name) const
{
    Vector<DirectoryRecord> kept;
    for (auto const& record : m_records) {
        if (record.name != name)
            kept.append(record);
    }
    return kept;
}

ErrorOr<void> Directory::check_room(DirectoryRecord const& record) const
{
    auto records = without(record.name);
    records.append(record);
    TRY(encode_node(records));
    return {};
}

ErrorOr<void> Directory::put(DirectoryRecord const& record)
{
    auto records = without(record.name);
    records.append(record);
    TRY(m_nodes->commit_dropping(m_chain, TRY(encode_node(records)), find_all(record.name)));
    m_records = static_cast<Vector<DirectoryRecord>&&>(records);
    return {};
}

ErrorOr<Vector<DirectoryRecord>> Directory::remove(String const& name)
{
    auto removed = find_all(name);
    if (removed.is_empty())
        return removed;
    auto kept = without(name);
    TRY(m_nodes->commit_dropping(m_chain, TRY(encode_node(kept)), removed));
    m_records = static_cast<Vector<DirectoryRecord>&&>(kept);
    return removed;
}

ErrorOr<void> Directory::detach(String const& name)
{
    for (size_t i = 0; i < m_records.size(); ++i) {
        if (m_records[i].name != name)
            continue;
        auto records = m_records;
        records.remove(i);
        TRY(m_nodes->commit(m_chain, TRY(encode_node(records))));
        m_records = static_cast<Vector<DirectoryRecord>&&>(records);
        return {};
    }
    return Error(CorruptNode);
}

ErrorOr<void> Directory::rename(String const& from, String const& to)
{
    auto records = m_records;
    for (auto& record : records) {
        if (record.name == from) {
            record.name = to;
            TRY(m_nodes->commit(m_chain, TRY(encode_node(records))));
            m_records = static_cast<Vector<DirectoryRecord>&&>(records);
            return {};
        }
    }
    return Error("File not found!!!");
}
