#include "fs/BlockAllocator.h"

#include "fs/TreeWalker.h"

#include <algorithm>

using namespace DiskFormat;

namespace {

// Collects the extent of every record it is shown. A tree that claims more
// blocks in all than the allocated area holds loops, and so does one that
// nests too deep: the walk stops with an error.
class ExtentCollector : public TreeVisitor {
public:
    ExtentCollector(Vector<Extent>& out, u64 limit)
        : m_out(out)
        , m_limit(limit)
    {
    }

    DiskFormat::Detail detail() const override { return DiskFormat::Detail::Extents; }

    ErrorOr<bool> visit(DirectoryRecord const& record, String const&, String const&) override
    {
        auto extent = extent_of(record);
        if (!extent)
            return Error(CorruptFileRecord);
        m_out.append(*extent);
        m_total += extent->count;
        if (m_total > m_limit)
            return Error(CorruptNode);
        return true;
    }
    ErrorOr<void> unreadable(String const&, BlockNumber, Error const& error) override { return Error(error); }
    ErrorOr<void> nested_too_deeply(String const&) override { return Error(CorruptNode); }

private:
    Vector<Extent>& m_out;
    u64 m_limit;
    u64 m_total { 0 };
};

}

ErrorOr<BlockNumber> BlockAllocator::allocate(u32 count)
{
    if (m_state == State::NotBuilt)
        TRY(build());
    for (size_t i = 0; i < m_free.size(); ++i) {
        Extent& extent = m_free[i];
        if (extent.count < count)
            continue;
        BlockNumber first = extent.first;
        if (extent.count == count) {
            m_free.remove(i);
        } else {
            extent.first = extent.first + count;
            extent.count -= count;
        }
        return first;
    }
    BlockNumber next = TRY(m_store.next_free_block());
    if (static_cast<u64>(next.value()) + count > m_store.allocation_limit())
        return Error("Not enough space on the disk");
    return next;
}

// The mount's walk: every block below the pointer that no record reachable
// from the root uses is free. Each directory node is read once; a file's
// record gives its length, so its content is not read.
ErrorOr<void> BlockAllocator::build()
{
    BlockNumber next = TRY(m_store.next_free_block());
    // Reuse is safe only when the tree says which blocks are taken. A block
    // claimed twice (a damaged disk, or a power cut in the middle of a move,
    // which writes the target's record before it removes the source's) or a
    // record outside the allocated area means it cannot: freeing one claim
    // would hand out blocks the other still points at. Such a volume takes
    // blocks from the pointer only, as if nothing were ever freed, until it
    // is mounted again.
    stop_reuse();
    Vector<Extent> used;
    used.append({ RootNode, NodeBlocks });
    ExtentCollector collector(used, next.value());
    if (walk_tree(m_store, RootNode, "", collector).is_error())
        return {};
    std::sort(
        used.data(), used.data() + used.size(), [](Extent const& a, Extent const& b) { return a.first < b.first; });
    Vector<Extent> free;
    u64 covered = RootNode.value();
    for (auto const& extent : used) {
        if (extent.first.value() < covered || extent.end() > next.value())
            return {};
        if (extent.first.value() > covered)
            free.append({ BlockNumber(static_cast<u32>(covered)), static_cast<u32>(extent.first.value() - covered) });
        covered = extent.end();
    }
    if (covered < next.value())
        free.append({ BlockNumber(static_cast<u32>(covered)), static_cast<u32>(next.value() - covered) });
    m_free = static_cast<Vector<Extent>&&>(free);
    m_state = State::Ready;
    return {};
}

Vector<Extent> BlockAllocator::extents_below(Vector<DirectoryRecord> const& records)
{
    Vector<Extent> extents;
    if (records.is_empty())
        return extents;
    // The map is built now, while the records still hold their blocks: built
    // after they are dropped, it would find those blocks free already, and
    // releasing them then would free them twice.
    if (m_state == State::NotBuilt && build().is_error())
        return extents;
    if (m_state != State::Ready)
        return extents;
    auto next = m_store.next_free_block();
    if (next.is_error())
        return extents;
    ExtentCollector collector(extents, next.value().value());
    if (walk_records(m_store, records, String(), collector).is_error())
        extents.clear();
    return extents;
}

void BlockAllocator::release(Vector<Extent> const& extents)
{
    if (m_state != State::Ready || extents.is_empty())
        return;
    auto next = m_store.next_free_block();
    if (next.is_error())
        return;
    for (auto const& extent : extents) {
        // The first free extent that starts after this one.
        size_t index = 0;
        for (size_t step = m_free.size(); step > 0;) {
            size_t half = step / 2;
            if (m_free[index + half].first <= extent.first) {
                index += half + 1;
                step -= half + 1;
            } else {
                step = half;
            }
        }
        // A block freed while it is free already, or one outside the
        // allocated area: the map and the tree disagree, and neither can be
        // trusted to say what is free.
        bool overlaps_before = index > 0 && m_free[index - 1].end() > extent.first.value();
        bool overlaps_after = index < m_free.size() && extent.end() > m_free[index].first.value();
        if (extent.first < FirstFreeBlock || extent.end() > next.value().value() || overlaps_before || overlaps_after) {
            stop_reuse();
            return;
        }
        m_free.insert(index, extent);
        if (index + 1 < m_free.size() && extent.end() == m_free[index + 1].first.value()) {
            m_free[index].count += m_free[index + 1].count;
            m_free.remove(index + 1);
        }
        if (index > 0 && m_free[index - 1].end() == extent.first.value()) {
            m_free[index - 1].count += m_free[index].count;
            m_free.remove(index);
        }
    }
}

ErrorOr<u64> BlockAllocator::free_blocks_below_pointer()
{
    if (m_state == State::NotBuilt)
        TRY(build());
    u64 free = 0;
    for (auto const& extent : m_free)
        free += extent.count;
    return free;
}

void BlockAllocator::forget()
{
    m_free.clear();
    m_state = State::NotBuilt;
}

void BlockAllocator::stop_reuse()
{
    m_free.clear();
    m_state = State::Off;
}
