#include "fs/DiskFilesystem.h"

#include "fs/Checksum.h"
#include "fs/FileContent.h"
#include "fs/TimeStamp.h"

using namespace DiskFormat;
using Permissions::Access;

namespace {

char const* const RecordNotFound = "File not found!!!";
char const* const IsADirectory = "Is a directory";
// A checksum mismatch is read again this many times before giving up.
constexpr int ChecksumRetries = 3;

}

DiskFilesystem::DiskFilesystem(Partition& partition, User const& user)
    : m_store(partition)
    , m_allocator(m_store)
    , m_nodes(m_store, m_allocator)
    , m_user(user)
{
    auto super = m_store.read_superblock();
    if (!super.is_error())
        m_label = super.value().label;
}

ErrorOr<void> DiskFilesystem::format(String const& label)
{
    m_allocator.forget();
    return m_store.format(label);
}

ErrorOr<bool> DiskFilesystem::may(Lookup const& lookup, size_t count, Access access) const
{
    if (m_user.is_superuser())
        return true;
    return Permissions::allows(m_user, TRY(lookup.entry(count))->record, access);
}

ErrorOr<void> DiskFilesystem::check_listable(String const& path, Lookup const& lookup, size_t count) const
{
    if (path.is_empty() || path == "/")
        return {};
    if (!TRY(may(lookup, count, Access::Read)))
        return Error("Access Denied!");
    return {};
}

ErrorOr<Vector<DirectoryRecord>> DiskFilesystem::list(String const& path)
{
    auto lookup = TRY(resolve(path));
    TRY(check_listable(path, lookup, lookup.path().depth()));
    return TRY(Directory(m_nodes, TRY(lookup.directory(lookup.path().depth()))).records());
}

ErrorOr<DirectoryRecord> DiskFilesystem::stat(String const& path)
{
    auto lookup = TRY(resolve(path));
    return TRY(lookup.target())->record;
}

ErrorOr<ByteBuffer> DiskFilesystem::read_file(String const& path)
{
    // A mismatch repeats the whole read, the record included: either may
    // have come off the disk wrong.
    for (int attempt = 0;; ++attempt) {
        auto lookup = TRY(resolve(path));
        DirectoryRecord record = TRY(file_for(lookup, Access::Read));
        ByteBuffer content = TRY(FileContent::read(m_store, record));
        i32 checksum = content_checksum(content);
        if (checksum == record.checksum)
            return content;
        if (attempt == ChecksumRetries)
            return Error(
                "Checksum mismatch: stored " + String::number(record.checksum) + ", read " + String::number(checksum));
    }
}

ErrorOr<DirectoryRecord> DiskFilesystem::file_for(Lookup const& lookup, Access access) const
{
    if (!TRY(may(lookup, lookup.path().depth(), access)))
        return Error(access == Access::Read ? "Access Denied!" : "Access denied!");
    DirectoryRecord const& record = TRY(lookup.target())->record;
    if (record.is_directory())
        return Error(IsADirectory);
    return record;
}

ErrorOr<ByteBuffer> DiskFilesystem::read(String const& path, u64 offset, u32 length)
{
    auto record = TRY(file_for(TRY(resolve(path)), Access::Read));
    return FileContent::read_range(m_store, record, offset, length);
}

ErrorOr<void> DiskFilesystem::write(String const& path, u64 offset, ByteBuffer const& data)
{
    auto lookup = TRY(resolve(path));
    DirectoryRecord record = TRY(file_for(lookup, Access::Write));
    auto old_length = record.content_length();
    if (!old_length)
        return Error(CorruptFileRecord);
    if (offset > MaxFileLength || data.size() > MaxFileLength - offset)
        return Error("File too large");
    u64 end = offset + data.size();
    u64 length = end > *old_length ? end : *old_length;
    // The whole file goes to fresh blocks with the change in it, and the
    // record moves over to them in one commit: a file is one extent, and
    // its checksum covers all of it.
    u32 blocks = blocks_for_file(static_cast<u32>(length));
    DirectoryRecord written = record;
    written.address = TRY(m_allocator.allocate(blocks));
    written.size = static_cast<i32>(length) + DirectoryRecord::LengthPrefixSize;
    written.date_time = TimeStamp::date_time_string();
    FileContent::PatchSource source(m_store, record, offset, data);
    written.checksum = TRY(FileContent::write(m_store, written.address, static_cast<u32>(length), source));
    TRY(m_store.extend_allocated_area({ written.address, blocks }));
    return Directory(m_nodes, TRY(lookup.parent_directory())).update(written);
}

ErrorOr<void> DiskFilesystem::save_file(ByteBuffer const& data, String const& path, String const& owner)
{
    auto lookup = TRY(resolve(path));
    Path const& p = lookup.path();
    String name = p.leaf();
    TRY(check_name(name));
    TRY(check_owner(owner));
    if (data.size() > MaxFileLength)
        return Error("File too large");
    size_t parent_depth = p.depth() - 1;
    // A top-level name is saved without a check of the root.
    if (parent_depth > 0 && !TRY(may(lookup, parent_depth, Access::Write)))
        return Error("Access denied");
    Directory directory(m_nodes, TRY(lookup.parent_directory()));
    TRY(check_listable(p.parent().to_string(), lookup, parent_depth));

    DirectoryRecord entry;
    entry.name = name;
    entry.type = DirectoryRecord::File;
    entry.size = static_cast<i32>(data.size()) + DirectoryRecord::LengthPrefixSize;
    entry.owner = owner;
    entry.date_time = TimeStamp::date_time_string();

    // The replaced record keeps its owner and permissions; the new record is
    // appended at the end of the node. A directory is never replaced by a
    // file: everything below it would become unreachable.
    auto replaced = TRY(directory.find_all(name));
    for (auto const& record : replaced) {
        if (record.is_directory())
            return Error(name + " is a directory");
    }
    if (!replaced.is_empty()) {
        entry.owner = replaced[0].owner;
        entry.owner_permissions = replaced[0].owner_permissions;
        entry.group_permissions = replaced[0].group_permissions;
        entry.other_permissions = replaced[0].other_permissions;
        if (!TRY(may(lookup, p.depth(), Access::Write)))
            return Error("Access denied!");
    }

    // The new content is written before the record changes, so a failure
    // leaves the old file as it was.
    TRY(directory.check_room(entry));
    u32 blocks = blocks_for_file(static_cast<u32>(data.size()));
    entry.address = TRY(m_allocator.allocate(blocks));
    FileContent::BufferSource source(data);
    entry.checksum = TRY(FileContent::write(m_store, entry.address, static_cast<u32>(data.size()), source));
    TRY(m_store.extend_allocated_area({ entry.address, blocks }));
    return directory.put(entry);
}

ErrorOr<void> DiskFilesystem::make_dir(String const& path, String const& owner)
{
    auto lookup = TRY(resolve(path));
    Path const& p = lookup.path();
    String name = p.leaf();
    TRY(check_name(name));
    TRY(check_owner(owner));
    if (p.depth() <= 1) {
        if (!m_user.is_superuser() && m_label == "Karvolin")
            return Error("Can not make files here");
    } else if (!TRY(may(lookup, p.depth() - 1, Access::Write))) {
        return Error("Access denied!");
    }

    Directory directory(m_nodes, TRY(lookup.parent_directory()));
    if (TRY(directory.find(name)))
        return Error("File already exists");
    DirectoryRecord entry;
    entry.name = name;
    entry.type = DirectoryRecord::Directory;
    entry.size = NodeBlocks;
    entry.owner = owner;
    entry.date_time = TimeStamp::date_time_string();
    TRY(directory.check_room(entry));
    entry.address = TRY(m_nodes.write_new(TRY(encode_node({}))));
    return directory.put(entry);
}

ErrorOr<void> DiskFilesystem::remove(String const& path) { return remove_entry(TRY(resolve(path))); }

ErrorOr<void> DiskFilesystem::remove_file(String const& path)
{
    auto lookup = TRY(resolve(path));
    if (TRY(lookup.target())->record.is_directory())
        return Error(IsADirectory);
    return remove_entry(lookup);
}

ErrorOr<void> DiskFilesystem::remove_entry(Lookup const& lookup)
{
    // The entry itself must be writable, not its directory.
    if (!TRY(may(lookup, lookup.path().depth(), Access::Write)))
        return Error("Access denied!");
    Directory directory(m_nodes, TRY(lookup.parent_directory()));
    if (TRY(directory.remove(lookup.path().leaf())).is_empty())
        return Error(RecordNotFound);
    return {};
}

ErrorOr<void> DiskFilesystem::copy_file(String const& source, String const& target, String const& owner)
{
    if (TRY(stat(source)).is_directory())
        return Error(IsADirectory);
    ByteBuffer content = TRY(read_file(source));
    // A copy never replaces a file. A target that cannot be looked up (its
    // directory missing, say) is left to save_file, which reports why.
    if (!stat(target).is_error())
        return Error("Target exists");
    return save_file(content, target, owner);
}

ErrorOr<void> DiskFilesystem::move(String const& source, String const& target)
{
    auto from = TRY(resolve(source));
    Path to(target);
    if (from.path().is_root())
        return Error("Cannot move the root directory");
    DirectoryRecord record = TRY(from.target())->record;
    // Taking a record out of its directory is what remove does, so it asks
    // for the same right; the target's directory is checked as save_file
    // checks it.
    if (!TRY(may(from, from.path().depth(), Access::Write)))
        return Error("Access denied!");
    if (record.is_directory() && to.is_same_or_below(from.path()))
        return Error("Cannot move a directory into itself");
    String from_name = record.name;
    record.name = to.leaf();
    TRY(check_name(record.name));
    auto to_lookup = TRY(Lookup::resolve(m_nodes, to));
    if (to.depth() > 1 && !TRY(may(to_lookup, to.depth() - 1, Access::Write)))
        return Error("Access denied");
    Directory to_directory(m_nodes, TRY(to_lookup.parent_directory()));
    TRY(check_listable(to.parent().to_string(), to_lookup, to.depth() - 1));
    if (TRY(to_directory.find(record.name)))
        return Error("Target exists");

    Directory from_directory(m_nodes, TRY(from.parent_directory()));
    if (from_directory.chain().last().node == to_directory.chain().last().node)
        return from_directory.rename(from_name, record.name);
    TRY(to_directory.check_room(record));
    TRY(to_directory.put(record));
    // The commit may have moved nodes on the way up to the root, the
    // source's directory among them, so it is looked up again.
    auto moved_from = TRY(Lookup::resolve(m_nodes, from.path()));
    return Directory(m_nodes, TRY(moved_from.parent_directory())).detach(from_name);
}

ErrorOr<Filesystem::SpaceUsage> DiskFilesystem::space_usage()
{
    // Every block below the allocation pointer is taken but the free extents.
    u64 used = TRY(m_store.next_free_block()).value();
    used -= TRY(m_allocator.free_blocks_below_pointer());
    u64 size = m_store.block_count();
    return SpaceUsage { size * BlockDevice::BlockSize, used * BlockDevice::BlockSize,
        (size - used) * BlockDevice::BlockSize };
}
