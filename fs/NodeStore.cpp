#include "fs/NodeStore.h"

using namespace DiskFormat;

namespace {

// Block `index` (0 or 1) of a node's bytes.
ByteBuffer node_block(ByteBuffer const& node, u32 index)
{
    ByteBuffer block;
    block.resize(BlockDevice::BlockSize);
    __builtin_memcpy(block.data(), node.data() + static_cast<size_t>(index) * BlockDevice::BlockSize, block.size());
    return block;
}

}

ErrorOr<DecodedNode> NodeStore::read(BlockNumber node) { return decode_node(TRY(m_store.read({ node, NodeBlocks }))); }

ErrorOr<BlockNumber> NodeStore::write_new(ByteBuffer const& node)
{
    BlockNumber address = TRY(m_allocator.allocate(NodeBlocks));
    TRY(m_store.write(address, node));
    TRY(m_store.extend_allocated_area({ address, NodeBlocks }));
    return address;
}

ErrorOr<void> NodeStore::commit(NodeChain& chain, ByteBuffer const& node)
{
    return commit_at(chain, chain.size() - 1, node);
}

ErrorOr<void> NodeStore::commit_dropping(
    NodeChain& chain, ByteBuffer const& node, Vector<DirectoryRecord> const& dropped)
{
    auto freed = m_allocator.extents_below(dropped);
    TRY(commit(chain, node));
    m_allocator.release(freed);
    return {};
}

// A drive may stop after any sector of a write, and a node's two blocks
// would go out in one command: rewriting both at once could leave the first
// block new and the second old, records cut in half and every entry of the
// directory lost. So the blocks go out one at a time, in an order that keeps
// the old records or the new ones readable at every moment.
ErrorOr<void> NodeStore::commit_at(NodeChain& chain, size_t index, ByteBuffer const& node)
{
    constexpr size_t Second = BlockDevice::BlockSize;
    BlockNumber address = chain[index].node;
    ByteBuffer old = TRY(m_store.read({ address, NodeBlocks }));
    size_t old_used = TRY(decode_node(old)).used;
    size_t new_used = TRY(decode_node(node)).used;
    auto unchanged = [&](size_t from, size_t to) {
        return to <= from || __builtin_memcmp(old.data() + from, node.data() + from, to - from) == 0;
    };
    auto write = [&](u32 block) { return m_store.write(address + block, node_block(node, block)); };

    if (unchanged(Second, NodeSize))
        return unchanged(0, Second) ? ErrorOr<void> {} : write(0);
    if (unchanged(0, Second))
        return write(1);
    // The old records do not reach the bytes that change in the second block
    // (a record appended): it goes first, and the count in the first block
    // then takes the new records in.
    if (unchanged(Second, old_used)) {
        TRY(write(1));
        return write(0);
    }
    // The new records find their bytes of the second block already there (the
    // last record dropped): the first block commits them, the second only
    // clears what lies behind them.
    if (unchanged(Second, new_used)) {
        TRY(write(0));
        return write(1);
    }
    // Records move across the block boundary. The root has a fixed place and
    // is rewritten there, in one write that a cut can still tear: the format
    // has nowhere else to put it. Any other node is written to fresh blocks,
    // and the record that points at it is then moved to them: a change of
    // the node above, made the same way. The old blocks are free once it is.
    if (index == 0)
        return m_store.write(address, node);
    BlockNumber moved = TRY(write_new(node));
    NodeLink const& link = chain[index];
    auto above = TRY(read(chain[index - 1].node)).records;
    // Lookups follow the first record of a name.
    for (auto& record : above) {
        if (record.name != link.name)
            continue;
        if (record.address != address)
            return Error(CorruptNode);
        record.address = moved;
        TRY(commit_at(chain, index - 1, TRY(encode_node(above))));
        chain[index].node = moved;
        m_allocator.release({ { address, NodeBlocks } });
        return {};
    }
    return Error(CorruptNode);
}
