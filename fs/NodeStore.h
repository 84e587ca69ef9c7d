#pragma once

#include "fs/BlockAllocator.h"

// Where a directory node sits: the nodes from the root's down to it, each
// with the name of the record in the node above that points at it (the
// root's has none). A node that moves to fresh blocks is found again through
// the record that names it.
struct NodeLink {
    BlockNumber node;
    String name;
};
using NodeChain = Vector<NodeLink>;

inline NodeChain root_chain() { return { NodeLink { DiskFormat::RootNode, String() } }; }

// The directory nodes of a volume: reads them, writes new ones, and commits
// changed ones so that a power cut leaves the old records or the new ones.
class NodeStore {
public:
    NodeStore(BlockStore& store, BlockAllocator& allocator)
        : m_store(store)
        , m_allocator(allocator)
    {
    }

    BlockStore& blocks() { return m_store; }
    BlockAllocator& allocator() { return m_allocator; }

    // The records of the node at `node`, checked as they are parsed.
    ErrorOr<DiskFormat::DecodedNode> read(BlockNumber node);
    // Fresh blocks holding `node`, inside the allocated area, that no
    // record points at yet.
    ErrorOr<BlockNumber> write_new(ByteBuffer const& node);
    // Replaces the node at the end of `chain` with `node`. A node that
    // moves is followed in `chain`, and so is every node above it that moves
    // with it.
    ErrorOr<void> commit(NodeChain& chain, ByteBuffer const& node);
    // commit for a node without the `dropped` records: their blocks, and
    // those of everything below them, go back to the free extents once the
    // node is on the disk, not before.
    ErrorOr<void> commit_dropping(NodeChain& chain, ByteBuffer const& node, Vector<DirectoryRecord> const& dropped);

private:
    ErrorOr<void> commit_at(NodeChain& chain, size_t index, ByteBuffer const& node);

    BlockStore& m_store;
    BlockAllocator& m_allocator;
};
