#include "fs/FileHandles.h"

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

}

i32 FileHandles::file_size(String const& path)
{
    auto file = look_up(m_storage, path);
    return file.files ? file.size : file.failure;
}

i32 FileHandles::read_file(String const& path, u32 capacity, ByteBuffer& content)
{
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
    auto files = m_storage.filesystem();
    if (files.is_error() || files.value()->save_file(bytes, path, m_storage.user().name).is_error())
        return TESSARY_FAILED;
    return 0;
}

i32 FileHandles::open(String const&, u32) { return TESSARY_FAILED; }
i32 FileHandles::close(i32) { return TESSARY_BAD_ARGUMENT; }
i32 FileHandles::read(i32, u32, ByteBuffer&) { return TESSARY_BAD_ARGUMENT; }
i32 FileHandles::write(i32, std::span<u8 const>) { return TESSARY_BAD_ARGUMENT; }
i32 FileHandles::seek(i32, i32, u32) { return TESSARY_BAD_ARGUMENT; }
i32 FileHandles::handle_info(i32, tessary_file_info&) { return TESSARY_BAD_ARGUMENT; }
i32 FileHandles::path_info(String const&, tessary_file_info&) { return TESSARY_FAILED; }
i32 FileHandles::remove(String const&) { return TESSARY_FAILED; }
i32 FileHandles::rename(String const&, String const&) { return TESSARY_FAILED; }
i32 FileHandles::make_directory(String const&) { return TESSARY_FAILED; }
i32 FileHandles::list(String const&, u32, tessary_directory_entry&) { return TESSARY_FAILED; }
void FileHandles::close_all() { }
