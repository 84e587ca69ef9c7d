#include "fs/FileHandles.h"

#include "fs/TimeStamp.h"
#include "hal/Debugger.h"

#include <algorithm>

namespace {

// A file the program names: the file system it is on and its size, or the result
// the program gets instead.
struct FileLookup {
    Filesystem* files { nullptr };
    i32 size { 0 };
    i32 failure { 0 };
};

// A path that leads nowhere counts as missing, whatever the lookup stumbled
// on (a name that is not there, a file where a directory should be).
FileLookup look_up(Storage& storage, String const& path)
{
    auto files = storage.filesystem();
    if (files.is_error())
        return { nullptr, 0, TESSARY_FAILED };
    auto record = files.value()->stat(path);
    if (record.is_error() || record.value().is_directory())
        return { nullptr, 0, TESSARY_NOT_FOUND };
    auto length = record.value().content_length();
    if (!length)
        return { nullptr, 0, TESSARY_FAILED };
    return { files.value(), static_cast<i32>(*length), 0 };
}

// What the program is told of a failure of the file system, which tells its
// failures apart by their texts alone (fs/Lookup.h, fs/DiskFilesystem.cpp).
i32 failure_of(Error const& error)
{
    if (error.is_out_of_memory())
        return TESSARY_NO_MEMORY;
    String message = error.message();
    if (message.starts_with("File not found") || message == "Not a directory")
        return TESSARY_NOT_FOUND;
    if (message == "File already exists" || message == "Target exists")
        return TESSARY_EXISTS;
    if (message == "Is a directory")
        return TESSARY_IS_DIRECTORY;
    return TESSARY_FAILED;
}

// Does a call's work and gives its result as the program sees it.
template<typename Work>
i32 served(Work work)
{
    ErrorOr<i32> result = work();
    return result.is_error() ? failure_of(result.error()) : result.value();
}

u32 content_size(DirectoryRecord const& record)
{
    return record.is_directory() ? 0 : record.content_length().value_or(0);
}

tessary_file_info info_of(DirectoryRecord const& record)
{
    return { content_size(record),
        static_cast<unsigned>(record.is_directory() ? TESSARY_KIND_DIRECTORY : TESSARY_KIND_FILE),
        TimeStamp::seconds_since_1970(record.date_time).value_or(0) };
}

bool is_at_or_below(String const& path, String const& top)
{
    if (top == "/" || path == top)
        return true;
    return path.length() > top.length() && path.starts_with(top) && path[top.length()] == u'/';
}

constexpr u32 KnownFlags = TESSARY_OPEN_READ | TESSARY_OPEN_WRITE | TESSARY_OPEN_CREATE | TESSARY_OPEN_TRUNCATE
    | TESSARY_OPEN_APPEND | TESSARY_OPEN_EXCLUSIVE;
// Positions come back from seek as non-negative 32-bit results.
constexpr u32 MaxPosition = 0x7FFFFFFF;

}

// The whole-file calls see what the handles wrote, and a file they replace
// is not patched by an older run afterwards.
ErrorOr<void> FileHandles::write_runs_from_top(String const& path)
{
    auto absolute = absolute_path(path, "/");
    return absolute ? write_runs(*absolute) : ErrorOr<void> {};
}

i32 FileHandles::file_size(String const& path)
{
    if (write_runs_from_top(path).is_error())
        return TESSARY_FAILED;
    auto file = look_up(m_storage, path);
    return file.files ? file.size : file.failure;
}

i32 FileHandles::read_file(String const& path, u32 capacity, ByteBuffer& content)
{
    if (write_runs_from_top(path).is_error())
        return TESSARY_FAILED;
    auto file = look_up(m_storage, path);
    if (!file.files)
        return file.failure;
    // A file that fits is read whole, its checksum checked; of a bigger one
    // only what the buffer holds is read.
    bool fits = static_cast<u32>(file.size) <= capacity;
    auto read = fits ? file.files->read_file(path) : file.files->read(path, 0, capacity);
    if (read.is_error())
        return TESSARY_FAILED;
    content = read.release_value();
    return static_cast<i32>(content.size());
}

i32 FileHandles::write_file(String const& path, ByteBuffer const& bytes)
{
    if (write_runs_from_top(path).is_error())
        return TESSARY_FAILED;
    auto files = files_to_change();
    if (files.is_error() || files.value()->save_file(bytes, path, m_storage.user().name).is_error())
        return TESSARY_FAILED;
    return 0;
}

std::optional<String> FileHandles::absolute_path(String const& path, String const& base)
{
    if (path.is_empty())
        return {};
    Vector<String> names;
    auto walk = [&](String const& text) {
        for (auto& name : text.split(u'/')) {
            if (name == "..") {
                if (!names.is_empty())
                    names.remove(names.size() - 1);
            } else if (!name.is_empty() && name != ".") {
                names.append(static_cast<String&&>(name));
            }
        }
    };
    if (path[0] != u'/')
        walk(base);
    walk(path);
    if (names.is_empty())
        return String("/");
    String absolute;
    for (auto const& name : names) {
        absolute.append(u'/');
        absolute.append(name);
    }
    return absolute;
}

FileHandles::OpenFile* FileHandles::open_file(i32 handle)
{
    if (handle < FirstHandle || handle - FirstHandle >= static_cast<i32>(m_open.size()))
        return nullptr;
    auto& open = m_open[static_cast<size_t>(handle - FirstHandle)];
    return open ? &*open : nullptr;
}

ErrorOr<Filesystem*> FileHandles::files_to_change()
{
    m_listing.reset();
    for (auto& open : m_open) {
        if (open)
            open->fetched = {};
    }
    return m_storage.filesystem();
}

ErrorOr<void> FileHandles::write_run(OpenFile& file)
{
    if (file.run.is_empty())
        return {};
    TRY(TRY(files_to_change())->write(file.path, file.run_start, file.run));
    file.length_on_disk = std::max(file.length_on_disk, file.run_end());
    file.run = {};
    return {};
}

ErrorOr<void> FileHandles::write_runs(String const& path)
{
    ErrorOr<void> result;
    for (auto& open : m_open) {
        if (!open || open->run.is_empty() || !is_at_or_below(open->path, path))
            continue;
        // Every run gets its chance; the first failure is the one told.
        auto written = write_run(*open);
        if (written.is_error() && !result.is_error())
            result = static_cast<ErrorOr<void>&&>(written);
    }
    return result;
}

void FileHandles::drop_runs(String const& path)
{
    for (auto& open : m_open) {
        if (open && open->path == path)
            open->run = {};
    }
}

ErrorOr<void> FileHandles::add_to_run(OpenFile& file, std::span<u8 const> bytes)
{
    // Short of memory for a longer run, the run so far goes to the disk and
    // its memory is used again.
    if (!file.run.try_grow_for(file.run.size() + bytes.size()))
        TRY(write_run(file));
    if (file.run.is_empty())
        file.run_start = file.position;
    if (!file.run.try_grow_for(file.run.size() + bytes.size()))
        return Error::out_of_memory(bytes.size());
    size_t end = file.run.size();
    file.run.resize(end + bytes.size());
    std::copy(bytes.begin(), bytes.end(), file.run.data() + end);
    return {};
}

ErrorOr<DirectoryRecord> FileHandles::settled_record(OpenFile& file)
{
    TRY(write_runs(file.path));
    auto record = TRY(TRY(m_storage.filesystem())->stat(file.path));
    file.length_on_disk = content_size(record);
    return record;
}

i32 FileHandles::open(String const& path, u32 flags)
{
    if ((flags & ~KnownFlags) || !(flags & (TESSARY_OPEN_READ | TESSARY_OPEN_WRITE))
        || ((flags & TESSARY_OPEN_TRUNCATE) && !(flags & TESSARY_OPEN_WRITE)))
        return TESSARY_BAD_ARGUMENT;
    auto slot = std::find_if(m_open.begin(), m_open.end(), [](auto const& open) { return !open; });
    if (slot == m_open.end())
        return TESSARY_TOO_MANY;
    auto absolute = absolute_path(path);
    if (!absolute)
        return TESSARY_NOT_FOUND;
    return served([&]() -> ErrorOr<i32> {
        if (*absolute == "/")
            return TESSARY_IS_DIRECTORY;
        // Runs of other handles on the file land first: they were written
        // before this handle truncates it or takes its length.
        TRY(write_runs(*absolute));
        auto record = TRY(m_storage.filesystem())->stat(*absolute);
        u32 length = 0;
        if (record.is_error()) {
            i32 failure = failure_of(record.error());
            if (failure != TESSARY_NOT_FOUND || !(flags & TESSARY_OPEN_CREATE))
                return failure;
            TRY(TRY(files_to_change())->save_file({}, *absolute, m_storage.user().name));
        } else if (record.value().is_directory()) {
            return TESSARY_IS_DIRECTORY;
        } else if ((flags & TESSARY_OPEN_CREATE) && (flags & TESSARY_OPEN_EXCLUSIVE)) {
            return TESSARY_EXISTS;
        } else {
            length = content_size(record.value());
            if ((flags & TESSARY_OPEN_TRUNCATE) && length > 0) {
                TRY(TRY(files_to_change())->save_file({}, *absolute, m_storage.user().name));
                length = 0;
            }
        }
        *slot = OpenFile {};
        (*slot)->path = *absolute;
        (*slot)->flags = flags;
        (*slot)->length_on_disk = length;
        return FirstHandle + static_cast<i32>(slot - m_open.begin());
    });
}

i32 FileHandles::close(i32 handle)
{
    OpenFile* file = open_file(handle);
    if (!file)
        return TESSARY_BAD_ARGUMENT;
    // The handle goes whatever happens to its run, as a closed descriptor
    // does in POSIX.
    auto written = write_run(*file);
    m_open[static_cast<size_t>(handle - FirstHandle)].reset();
    return written.is_error() ? failure_of(written.error()) : 0;
}

i32 FileHandles::read(i32 handle, u32 capacity, std::span<u8 const>& bytes)
{
    OpenFile* file = open_file(handle);
    if (!file || !(file->flags & TESSARY_OPEN_READ))
        return TESSARY_BAD_ARGUMENT;
    return served([&]() -> ErrorOr<i32> {
        if (capacity == 0)
            return 0;
        TRY(write_runs(file->path));
        u32 position = file->position;
        if (position < file->fetched_start || position >= file->fetched_end()) {
            bool reads_on = position == file->read_end && !file->fetched.is_empty();
            file->read_ahead = reads_on ? std::min(ReadAheadLimit, std::max(capacity, 2 * file->read_ahead)) : 0;
            file->fetched = {};
            file->fetched
                = TRY(TRY(m_storage.filesystem())->read(file->path, position, std::max(capacity, file->read_ahead)));
            file->fetched_start = position;
        }
        u32 offset = position - file->fetched_start;
        u32 count = std::min(capacity, static_cast<u32>(file->fetched.size()) - offset);
        bytes = { file->fetched.data() + offset, count };
        file->position += count;
        file->read_end = file->position;
        return static_cast<i32>(count);
    });
}

i32 FileHandles::write(i32 handle, std::span<u8 const> bytes)
{
    OpenFile* file = open_file(handle);
    if (!file || !(file->flags & TESSARY_OPEN_WRITE))
        return TESSARY_BAD_ARGUMENT;
    return served([&]() -> ErrorOr<i32> {
        if (bytes.empty())
            return 0;
        // A run of an appending handle always ends at the end of the file.
        if (file->flags & TESSARY_OPEN_APPEND)
            file->position = file->run.is_empty() ? content_size(TRY(settled_record(*file))) : file->run_end();
        if (bytes.size() > MaxPosition - file->position)
            return Error("File too large");
        bool continues = file->position == file->run_end()
            && file->run.size() + bytes.size() <= std::max(RunLimit, file->length_on_disk);
        if (!continues)
            TRY(write_run(*file));
        TRY(add_to_run(*file, bytes));
        file->position += static_cast<u32>(bytes.size());
        return static_cast<i32>(bytes.size());
    });
}

i32 FileHandles::seek(i32 handle, i32 offset, u32 origin)
{
    OpenFile* file = open_file(handle);
    if (!file || origin > TESSARY_SEEK_END)
        return TESSARY_BAD_ARGUMENT;
    return served([&]() -> ErrorOr<i32> {
        i64 from = origin == TESSARY_SEEK_CURRENT ? file->position : 0;
        if (origin == TESSARY_SEEK_END)
            from = content_size(TRY(settled_record(*file)));
        i64 to = from + offset;
        if (to < 0 || to > MaxPosition)
            return TESSARY_BAD_ARGUMENT;
        file->position = static_cast<u32>(to);
        return static_cast<i32>(to);
    });
}

i32 FileHandles::handle_info(i32 handle, tessary_file_info& info)
{
    OpenFile* file = open_file(handle);
    if (!file)
        return TESSARY_BAD_ARGUMENT;
    return served([&]() -> ErrorOr<i32> {
        info = info_of(TRY(settled_record(*file)));
        return 0;
    });
}

i32 FileHandles::path_info(String const& path, tessary_file_info& info)
{
    auto absolute = absolute_path(path);
    if (!absolute)
        return TESSARY_NOT_FOUND;
    return served([&]() -> ErrorOr<i32> {
        // The top directory has no record of its own.
        if (*absolute == "/") {
            info = { 0, TESSARY_KIND_DIRECTORY, 0 };
            return 0;
        }
        TRY(write_runs(*absolute));
        info = info_of(TRY(TRY(m_storage.filesystem())->stat(*absolute)));
        return 0;
    });
}

i32 FileHandles::remove(String const& path)
{
    auto absolute = absolute_path(path);
    if (!absolute)
        return TESSARY_NOT_FOUND;
    return served([&]() -> ErrorOr<i32> {
        if (*absolute == "/")
            return TESSARY_FAILED;
        auto* files = TRY(files_to_change());
        if (!TRY(files->stat(*absolute)).is_directory()) {
            TRY(files->remove_file(*absolute));
            drop_runs(*absolute);
            return 0;
        }
        // The file system removes a directory with everything below it; a
        // program only ever removes an empty one.
        if (!TRY(files->list(*absolute)).is_empty())
            return TESSARY_NOT_EMPTY;
        TRY(files->remove(*absolute));
        return 0;
    });
}

i32 FileHandles::rename(String const& from, String const& to)
{
    auto source = absolute_path(from);
    auto target = absolute_path(to);
    if (!source || !target)
        return TESSARY_NOT_FOUND;
    return served([&]() -> ErrorOr<i32> {
        auto* files = TRY(files_to_change());
        bool moves_directory = TRY(files->stat(*source)).is_directory();
        if (*source == *target)
            return 0;
        // An existing file is replaced, as in POSIX; a directory never is.
        // The old file goes first: a power cut between the two steps loses
        // it but keeps the source under its old name.
        auto replaced = files->stat(*target);
        if (!replaced.is_error()) {
            if (replaced.value().is_directory())
                return moves_directory ? TESSARY_EXISTS : TESSARY_IS_DIRECTORY;
            if (moves_directory)
                return TESSARY_EXISTS;
            TRY(files->remove_file(*target));
            drop_runs(*target);
        }
        TRY(files->move(*source, *target));
        // Open handles follow their files to the new name.
        for (auto& open : m_open) {
            if (open && is_at_or_below(open->path, *source))
                open->path = *target + open->path.substring(source->length());
        }
        return 0;
    });
}

i32 FileHandles::make_directory(String const& path)
{
    auto absolute = absolute_path(path);
    if (!absolute)
        return TESSARY_NOT_FOUND;
    return served([&]() -> ErrorOr<i32> {
        if (*absolute == "/")
            return TESSARY_EXISTS;
        TRY(TRY(files_to_change())->make_dir(*absolute, m_storage.user().name));
        return 0;
    });
}

i32 FileHandles::list(String const& path, u32 index, tessary_directory_entry& entry)
{
    auto absolute = absolute_path(path);
    if (!absolute)
        return TESSARY_NOT_FOUND;
    return served([&]() -> ErrorOr<i32> {
        // Sizes in the listing count what the handles wrote.
        TRY(write_runs(*absolute));
        if (!m_listing || m_listing->path != *absolute) {
            auto records = TRY(TRY(m_storage.filesystem())->list(*absolute));
            m_listing = Listing { *absolute, static_cast<Vector<DirectoryRecord>&&>(records) };
        }
        if (index >= m_listing->records.size())
            return TESSARY_NOT_FOUND;
        DirectoryRecord const& record = m_listing->records[index];
        size_t length = std::min<size_t>(record.name.length(), TESSARY_NAME_CAPACITY - 1);
        for (size_t i = 0; i < length; ++i)
            entry.name[i] = static_cast<char>(record.name[i]);
        entry.name[length] = 0;
        entry.info = info_of(record);
        return 0;
    });
}

void FileHandles::close_all()
{
    for (auto& open : m_open) {
        if (!open)
            continue;
        // The program is gone: the kernel log is the one place left to tell.
        if (auto written = write_run(*open); written.is_error())
            Debugger::send("Writes to " + open->path + " lost: " + written.error().message());
        open.reset();
    }
    m_listing.reset();
    // The next program is given its own.
    m_working_directory = "/";
}
