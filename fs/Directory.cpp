#include "fs/Directory.h"

#include <algorithm>

using namespace DiskFormat;

namespace {

// Neighbouring leaves whose records fit together in this much merge into
// one: well below a full node, so the next record does not split them again.
constexpr size_t MergeLimit = NodeCapacity * 3 / 4;
// Index levels deeper than this are a loop in a damaged tree; 18 children
// a level hold more records than a partition has blocks long before.
constexpr size_t MaxIndexLevels = 16;

char const* const RecordNotFound = "File not found!!!";

bool has_index(Vector<DirectoryRecord> const& records)
{
    return std::any_of(records.begin(), records.end(), is_index_record);
}

// The hash a record is placed by: its name's, or an index record's bound.
u32 placement_hash(DirectoryRecord const& record)
{
    return is_index_record(record) ? index_bound(record) : name_hash(record.name);
}

// The index record to follow for `hash`: the one with the highest bound not
// above it (in a damaged index without one, the lowest).
std::optional<size_t> choose_child(Vector<DirectoryRecord> const& records, u32 hash)
{
    std::optional<size_t> best;
    std::optional<size_t> lowest;
    for (size_t i = 0; i < records.size(); ++i) {
        if (!is_index_record(records[i]))
            continue;
        u32 bound = index_bound(records[i]);
        if (bound <= hash && (!best || bound >= index_bound(records[*best])))
            best = i;
        if (!lowest || bound < index_bound(records[*lowest]))
            lowest = i;
    }
    return best ? best : lowest;
}

// `records` in pieces of at most `capacity` bytes, in hash order, about equal
// in size; two records of one hash always share a piece, so a lookup finds
// both where the hash leads. "Directory is full" when the records of one hash
// alone are more than a piece holds.
ErrorOr<Vector<Vector<DirectoryRecord>>> plan_pieces(
    Vector<DirectoryRecord> records, size_t capacity, size_t minimum_pieces = 1)
{
    std::sort(records.begin(), records.end(),
        [](DirectoryRecord const& a, DirectoryRecord const& b) { return placement_hash(a) < placement_hash(b); });
    size_t total = encoded_size(records);
    size_t count = (total + capacity - 1) / capacity;
    if (count < minimum_pieces)
        count = minimum_pieces;
    size_t target = (total + count - 1) / count;
    Vector<Vector<DirectoryRecord>> pieces;
    Vector<DirectoryRecord> current;
    size_t current_size = 0;
    for (size_t i = 0; i < records.size();) {
        size_t end = i;
        size_t group_size = 0;
        for (; end < records.size() && placement_hash(records[end]) == placement_hash(records[i]); ++end)
            group_size += encoded_size(records[end]);
        if (group_size > capacity)
            return Error("Directory is full");
        if (!current.is_empty() && (current_size + group_size > capacity || current_size >= target)) {
            pieces.append(static_cast<Vector<DirectoryRecord>&&>(current));
            current = {};
            current_size = 0;
        }
        for (; i < end; ++i)
            current.append(records[i]);
        current_size += group_size;
    }
    pieces.append(static_cast<Vector<DirectoryRecord>&&>(current));
    return pieces;
}

// The levels that may hold a record of a name: the directory's own node,
// and the leaf its hash leads to when the directory has grown.
Vector<size_t> levels_to_search(size_t levels)
{
    if (levels == 1)
        return { 0 };
    return { 0, levels - 1 };
}

// The records named `name` (the first one only, or all) set apart from the
// rest; index records are never among them.
struct Split {
    Vector<DirectoryRecord> kept;
    Vector<DirectoryRecord> taken;
};
Split split_named(Vector<DirectoryRecord> const& records, String const& name, bool first_only)
{
    Split split;
    for (auto const& record : records) {
        bool take = !is_index_record(record) && record.name == name && (!first_only || split.taken.is_empty());
        (take ? split.taken : split.kept).append(record);
    }
    return split;
}

Vector<DirectoryRecord> concatenated(Vector<DirectoryRecord> const& first, Vector<DirectoryRecord> const& second)
{
    Vector<DirectoryRecord> both = first;
    for (auto const& record : second)
        both.append(record);
    return both;
}

// Every record below the node at `node`, depth first in index order.
ErrorOr<void> collect(NodeStore& nodes, BlockNumber node, size_t depth, Vector<DirectoryRecord>& out)
{
    if (depth > MaxIndexLevels)
        return Error(CorruptNode);
    for (auto const& record : TRY(nodes.read(node)).records) {
        if (is_index_record(record))
            TRY(collect(nodes, record.address, depth + 1, out));
        else
            out.append(record);
    }
    return {};
}

}

ErrorOr<Vector<DirectoryRecord>> Directory::records()
{
    Vector<DirectoryRecord> out;
    TRY(collect(m_nodes, m_chain.last().node, 0, out));
    return out;
}

ErrorOr<Vector<Directory::Level> const*> Directory::descend(u32 hash)
{
    if (m_descent && m_descent->hash == hash)
        return &m_descent->levels;
    m_descent.reset();
    Vector<Level> levels;
    NodeChain chain = m_chain;
    for (;;) {
        if (levels.size() > MaxIndexLevels)
            return Error(CorruptNode);
        auto records = TRY(m_nodes.read(chain.last().node)).records;
        auto child = choose_child(records, hash);
        levels.append({ chain, static_cast<Vector<DirectoryRecord>&&>(records), child });
        if (!child)
            break;
        DirectoryRecord const& index = levels.last().records[*child];
        chain.append({ index.address, index.name });
    }
    m_descent = Descent { hash, static_cast<Vector<Level>&&>(levels) };
    return &m_descent->levels;
}

// A grown directory's own node may still hold records of its own: code
// that knows only single-node directories adds them there. They are found
// first, then the leaf the name's hash leads to.
ErrorOr<std::optional<Entry>> Directory::find(String const& name)
{
    auto const& levels = *TRY(descend(name_hash(name)));
    for (size_t level : levels_to_search(levels.size())) {
        for (auto const& record : levels[level].records) {
            if (!is_index_record(record) && record.name == name)
                return Entry { record, levels[level].chain };
        }
    }
    return std::optional<Entry> {};
}

ErrorOr<Vector<DirectoryRecord>> Directory::find_all(String const& name)
{
    auto const& levels = *TRY(descend(name_hash(name)));
    Vector<DirectoryRecord> found;
    for (size_t level : levels_to_search(levels.size())) {
        for (auto const& record : levels[level].records) {
            if (!is_index_record(record) && record.name == name)
                found.append(record);
        }
    }
    return found;
}

ErrorOr<void> Directory::check_room(DirectoryRecord const& record)
{
    auto const& levels = *TRY(descend(name_hash(record.name)));
    Vector<DirectoryRecord> records;
    for (auto const& other : levels.last().records) {
        if (other.name != record.name)
            records.append(other);
    }
    records.append(record);
    if (encoded_size(records) > NodeCapacity)
        TRY(plan_pieces(records, NodeCapacity));
    return {};
}

ErrorOr<void> Directory::put(DirectoryRecord const& record)
{
    auto levels = *TRY(descend(name_hash(record.name)));
    forget_descent();
    size_t leaf = levels.size() - 1;
    auto [records, dropped] = split_named(levels[leaf].records, record.name, false);
    records.append(record);
    Freed freed { m_nodes.allocator().extents_below(dropped) };
    TRY(rebuild(levels, leaf, static_cast<Vector<DirectoryRecord>&&>(records), freed));
    release(freed);
    // A record of the name in the grown directory's own node goes after the
    // new one is in: a cut in between leaves the old one, found first.
    bool stray = leaf > 0 && std::any_of(levels[0].records.begin(), levels[0].records.end(), [&](auto const& other) {
        return !is_index_record(other) && other.name == record.name;
    });
    if (!stray)
        return {};
    Vector<DirectoryRecord> strays;
    return drop_from_own_node(m_chain, record.name, false, true, strays);
}

ErrorOr<void> Directory::update(DirectoryRecord const& record)
{
    auto levels = *TRY(descend(name_hash(record.name)));
    forget_descent();
    for (size_t level : levels_to_search(levels.size())) {
        auto records = levels[level].records;
        for (auto& old : records) {
            if (is_index_record(old) || old.name != record.name)
                continue;
            Freed freed { m_nodes.allocator().extents_below({ old }) };
            old = record;
            TRY(rebuild(levels, level, static_cast<Vector<DirectoryRecord>&&>(records), freed));
            release(freed);
            return {};
        }
    }
    return Error(RecordNotFound);
}

ErrorOr<Vector<DirectoryRecord>> Directory::remove(String const& name)
{
    Vector<DirectoryRecord> dropped;
    TRY(drop(name, false, true, dropped));
    return dropped;
}

ErrorOr<void> Directory::detach(String const& name)
{
    Vector<DirectoryRecord> dropped;
    TRY(drop(name, true, false, dropped));
    if (dropped.is_empty())
        return Error(CorruptNode);
    return {};
}

ErrorOr<void> Directory::rename(String const& from, String const& to)
{
    auto own = TRY(m_nodes.read(m_chain.last().node)).records;
    bool found_in_place = false;
    for (auto& record : own) {
        if (record.name == from && !found_in_place) {
            record.name = to;
            found_in_place = true;
        }
    }
    if (has_index(own) || encoded_size(own) > NodeCapacity) {
        // In a grown directory the new name's hash may lead elsewhere, and a
        // longer name may not fit a full node: the record goes in under it
        // first, growing the directory if need be, then out under the old
        // one, as a move between directories does.
        auto found = TRY(find(from));
        if (!found)
            return Error(RecordNotFound);
        DirectoryRecord renamed = found->record;
        renamed.name = to;
        TRY(put(renamed));
        return detach(from);
    }
    if (!found_in_place)
        return Error(RecordNotFound);
    forget_descent();
    return m_nodes.commit(m_chain, TRY(encode_node(own)));
}

// The records named `name` (the first one only, or all) leave the directory:
// first from its own node, where lookups find them first, then from the leaf.
ErrorOr<void> Directory::drop(String const& name, bool first_only, bool free_blocks, Vector<DirectoryRecord>& dropped)
{
    auto levels = *TRY(descend(name_hash(name)));
    forget_descent();
    if (levels.size() > 1) {
        TRY(drop_from_own_node(levels[0].chain, name, first_only, free_blocks, dropped));
        if (first_only && !dropped.is_empty())
            return {};
        // The own node changed: the way down is read again.
        if (!dropped.is_empty()) {
            levels = *TRY(descend(name_hash(name)));
            forget_descent();
        }
    }
    size_t level = levels.size() - 1;
    Level& leaf = levels[level];
    auto [kept, taken] = split_named(leaf.records, name, first_only);
    if (taken.is_empty())
        return {};
    Freed freed;
    if (free_blocks)
        freed.extents = m_nodes.allocator().extents_below(taken);
    for (auto const& record : taken)
        dropped.append(record);
    if (level > 0 && !kept.is_empty()) {
        // A leaf that now fits with a neighbour merges with it: the index
        // above loses a record.
        Level& parent = levels[level - 1];
        size_t slot = *parent.child;
        std::optional<size_t> sibling;
        if (slot + 1 < parent.records.size() && is_index_record(parent.records[slot + 1]))
            sibling = slot + 1;
        else if (slot > 0 && is_index_record(parent.records[slot - 1]))
            sibling = slot - 1;
        if (sibling) {
            BlockNumber other_node = parent.records[*sibling].address;
            auto other = TRY(m_nodes.read(other_node)).records;
            if (!has_index(other) && encoded_size(kept) + encoded_size(other) <= MergeLimit) {
                auto merged = *sibling < slot ? concatenated(other, kept) : concatenated(kept, other);
                BlockNumber address = TRY(m_nodes.write_new(TRY(encode_node(merged))));
                freed.extents.append({ leaf.chain.last().node, NodeBlocks });
                freed.extents.append({ other_node, NodeBlocks });
                Vector<DirectoryRecord> above = parent.records;
                above[std::min(slot, *sibling)].address = address;
                above.remove(std::max(slot, *sibling));
                TRY(rebuild(levels, level - 1, static_cast<Vector<DirectoryRecord>&&>(above), freed));
                release(freed);
                return {};
            }
        }
    }
    TRY(rebuild(levels, level, static_cast<Vector<DirectoryRecord>&&>(kept), freed));
    release(freed);
    return {};
}

// Records older code added to a grown directory's own node, whose index
// lies at `chain`.
ErrorOr<void> Directory::drop_from_own_node(
    NodeChain chain, String const& name, bool first_only, bool free_blocks, Vector<DirectoryRecord>& dropped)
{
    auto [kept, strays] = split_named(TRY(m_nodes.read(chain.last().node)).records, name, first_only);
    if (strays.is_empty())
        return {};
    Freed freed;
    if (free_blocks)
        freed.extents = m_nodes.allocator().extents_below(strays);
    TRY(m_nodes.commit(chain, TRY(encode_node(kept))));
    m_chain = chain;
    release(freed);
    for (auto const& record : strays)
        dropped.append(record);
    return {};
}

ErrorOr<void> Directory::rebuild(Vector<Level>& levels, size_t index, Vector<DirectoryRecord> records, Freed& freed)
{
    for (;;) {
        Level& level = levels[index];
        bool own_node = index == 0;
        if (own_node)
            records = TRY(shape_own_node(static_cast<Vector<DirectoryRecord>&&>(records), freed));
        if (own_node || (!records.is_empty() && encoded_size(records) <= NodeCapacity)) {
            TRY(m_nodes.commit(level.chain, TRY(encode_node(records))));
            // A commit may move the nodes above, the directory's own among
            // them, to fresh blocks.
            for (size_t i = 0; i < m_chain.size(); ++i)
                m_chain[i] = level.chain[i];
            return {};
        }
        // The node gives way to fresh ones (none when it is empty), and the
        // level above changes instead.
        Level& parent = levels[index - 1];
        size_t slot = *parent.child;
        Vector<DirectoryRecord> replacement;
        if (!records.is_empty())
            replacement = TRY(write_pieces(records, index_bound(parent.records[slot]), NodeCapacity));
        freed.extents.append({ level.chain.last().node, NodeBlocks });
        Vector<DirectoryRecord> above = parent.records;
        above.remove(slot);
        for (size_t i = 0; i < replacement.size(); ++i)
            above.insert(slot + i, replacement[i]);
        records = static_cast<Vector<DirectoryRecord>&&>(above);
        --index;
    }
}

ErrorOr<Vector<DirectoryRecord>> Directory::shape_own_node(Vector<DirectoryRecord> records, Freed& freed)
{
    Vector<DirectoryRecord> index;
    Vector<DirectoryRecord> own;
    for (auto& record : records)
        (is_index_record(record) ? index : own).append(record);
    if (index.is_empty()) {
        if (encoded_size(own) <= NodeCapacity)
            return own;
        // The directory outgrows its node: its records go to leaves.
        index = TRY(write_pieces(static_cast<Vector<DirectoryRecord>&&>(own), 0, NodeCapacity));
        own = {};
    }
    // A single child that fits comes back up, a level less to read.
    while (index.size() == 1 && own.is_empty()) {
        auto child = TRY(m_nodes.read(index[0].address)).records;
        bool child_is_index = has_index(child);
        if (encoded_size(child) > (child_is_index ? OwnIndexCapacity : MergeLimit))
            break;
        freed.extents.append({ index[0].address, NodeBlocks });
        if (!child_is_index)
            return child;
        index = static_cast<Vector<DirectoryRecord>&&>(child);
    }
    if (index.is_empty())
        return own;
    // More children than the first block indexes: another level below, of
    // at least two nodes, so the own node's index has room to grow again.
    while (encoded_size(index) > OwnIndexCapacity)
        index = TRY(write_pieces(index, index_bound(index[0]), NodeCapacity, 2));
    for (auto& record : own)
        index.append(record);
    return index;
}

ErrorOr<Vector<DirectoryRecord>> Directory::write_pieces(
    Vector<DirectoryRecord> records, u32 first_bound, size_t capacity, size_t minimum_pieces)
{
    auto pieces = TRY(plan_pieces(static_cast<Vector<DirectoryRecord>&&>(records), capacity, minimum_pieces));
    Vector<DirectoryRecord> index;
    for (size_t i = 0; i < pieces.size(); ++i) {
        BlockNumber node = TRY(m_nodes.write_new(TRY(encode_node(pieces[i]))));
        index.append(index_record(i == 0 ? first_bound : placement_hash(pieces[i][0]), node));
    }
    return index;
}

void Directory::release(Freed const& freed) { m_nodes.allocator().release(freed.extents); }
