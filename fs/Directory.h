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

// The records of one directory and the changes made to them. A directory
// that fits one node is that node, records in the order they were added. One
// that does not grows into a tree (DiskFormat.h): its own node becomes an
// index of up to 18 nodes by name hash, full nodes split in two and the
// index grows a level when it must; emptied nodes go and neighbours that fit
// together merge, until the records fit the directory's own node again.
//
// Every change writes what is new to fresh blocks and ends with a single
// commit of one existing node, the highest one that changes: a power cut
// leaves the old records or the new ones, never a mix. Blocks a change no
// longer uses (replaced nodes, the content of a dropped record) go back to
// the free extents once that commit is on the disk.
class Directory {
public:
    // The directory whose own node is at the end of `chain`.
    Directory(NodeStore& nodes, NodeChain chain)
        : m_nodes(nodes)
        , m_chain(static_cast<NodeChain&&>(chain))
    {
    }

    NodeChain const& chain() const { return m_chain; }
    // Every record: in the order they were added while the directory fits
    // one node, in the order of its index once it has grown.
    ErrorOr<Vector<DirectoryRecord>> records();
    // The first record named `name`: the one lookups follow.
    ErrorOr<std::optional<Entry>> find(String const& name);
    // Every record named `name` (a cut in the middle of a move may leave two).
    ErrorOr<Vector<DirectoryRecord>> find_all(String const& name);

    // "Directory is full" unless `record` can be added once the records of
    // its name are gone: checked before any block is taken for it, since
    // blocks taken in vain stay lost until the next mount.
    ErrorOr<void> check_room(DirectoryRecord const& record);
    // Adds `record`, dropping every record of its name and freeing what
    // those held.
    ErrorOr<void> put(DirectoryRecord const& record);
    // Drops every record named `name` and frees what they held; returns them
    // (none: nothing changed).
    ErrorOr<Vector<DirectoryRecord>> remove(String const& name);
    // Puts `record` in place of the first record of its name, where it
    // stands, and frees what the old one held: a file rewritten.
    ErrorOr<void> update(DirectoryRecord const& record);
    // Takes the first record named `name` out and keeps what it holds: the
    // record has moved to another directory.
    ErrorOr<void> detach(String const& name);
    // Renames the first record named `from`.
    ErrorOr<void> rename(String const& from, String const& to);

private:
    // One node on the way from the directory's own node down to a leaf.
    struct Level {
        NodeChain chain;
        Vector<DirectoryRecord> records;
        // The index record followed to the next level (none at the leaf).
        std::optional<size_t> child;
    };
    // What a change leaves behind to free once its commit is on the disk.
    struct Freed {
        Vector<Extent> extents;
    };

    // The nodes a name with this hash leads through; the last one holds it.
    // An operation asks several times for one name before it changes
    // anything: the way down is read once and kept until a change.
    ErrorOr<Vector<Level> const*> descend(u32 hash);
    void forget_descent() { m_descent.reset(); }
    // Makes `records` the new records of the node at `levels[index]`: in
    // place when they fit, else through fresh nodes and a change of the
    // level above, up to one commit.
    ErrorOr<void> rebuild(Vector<Level>& levels, size_t index, Vector<DirectoryRecord> records, Freed& freed);
    // The directory's own node with `records`: an index of at most 18 when
    // they do not fit it, a single child pulled back up when it fits.
    ErrorOr<Vector<DirectoryRecord>> shape_own_node(Vector<DirectoryRecord> records, Freed& freed);
    // `records` in fresh nodes (at least `minimum_pieces`) of at most
    // `capacity` bytes of records each, split between names of different
    // hashes; their index records, the first one with `first_bound`.
    ErrorOr<Vector<DirectoryRecord>> write_pieces(
        Vector<DirectoryRecord> records, u32 first_bound, size_t capacity, size_t minimum_pieces = 1);
    ErrorOr<void> drop(String const& name, bool first_only, bool free_blocks, Vector<DirectoryRecord>& dropped);
    ErrorOr<void> drop_from_own_node(
        NodeChain chain, String const& name, bool first_only, bool free_blocks, Vector<DirectoryRecord>& dropped);
    void release(Freed const& freed);

    struct Descent {
        u32 hash;
        Vector<Level> levels;
    };

    NodeStore& m_nodes;
    NodeChain m_chain;
    std::optional<Descent> m_descent;
};
