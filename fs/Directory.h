#pragma once

#include "fs/NodeStore.h"

#include <optional>

// A record found in a directory, with the node that holds it.
struct Entry {
    DirectoryRecord record;
    NodeChain holder;

    // Where the node of the directory this record names sits.
    NodeChain node_chain() const
    {
        NodeChain chain = holder;
        chain.append({ record.address, record.name });
        return chain;
    }
};

// The records of one directory, read from its node, and the changes made to
// them: each change is one crash-safe commit of the node.
class Directory {
public:
    // The directory whose node is at the end of `chain`.
    static ErrorOr<Directory> open(NodeStore& nodes, NodeChain chain);

    NodeChain const& chain() const { return m_chain; }
    // Every record, in record order.
    Vector<DirectoryRecord> const& records() const { return m_records; }
    // The first record named `name`: the one lookups follow.
    std::optional<Entry> find(String const& name) const;
    // Every record named `name` (a cut in the middle of a move may leave two).
    Vector<DirectoryRecord> find_all(String const& name) const;

    // "Directory is full" unless `record` fits once the records of its name
    // are gone: checked before any block is taken for it, since blocks taken
    // in vain stay lost until the next mount.
    ErrorOr<void> check_room(DirectoryRecord const& record) const;
    // Appends `record`, dropping every record of its name; what those held
    // is freed once the node is on the disk.
    ErrorOr<void> put(DirectoryRecord const& record);
    // Drops every record named `name` and frees what they held; returns them
    // (none: nothing changed).
    ErrorOr<Vector<DirectoryRecord>> remove(String const& name);
    // Takes the first record named `name` out and keeps what it holds: the
    // record has moved to another directory.
    ErrorOr<void> detach(String const& name);
    // Renames the first record named `from`, where it stands.
    ErrorOr<void> rename(String const& from, String const& to);

private:
    Directory(NodeStore& nodes, NodeChain chain, Vector<DirectoryRecord> records)
        : m_nodes(&nodes)
        , m_chain(static_cast<NodeChain&&>(chain))
        , m_records(static_cast<Vector<DirectoryRecord>&&>(records))
    {
    }

    Vector<DirectoryRecord> without(String const& name) const;

    NodeStore* m_nodes;
    NodeChain m_chain;
    Vector<DirectoryRecord> m_records;
};
