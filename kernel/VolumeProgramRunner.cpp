#include "kernel/VolumeProgramRunner.h"

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
        return { nullptr, 0, ProgramRunner::Failed };
    auto record = files.value()->stat(path);
    if (record.is_error() || record.value().is_directory())
        return { nullptr, 0, ProgramRunner::Missing };
    auto length = record.value().content_length();
    if (!length)
        return { nullptr, 0, ProgramRunner::Failed };
    return { files.value(), static_cast<i32>(*length), 0 };
}

}

i32 VolumeProgramRunner::file_size(String const& path)
{
    auto file = look_up(m_storage, path);
    return file.files ? file.size : file.failure;
}

i32 VolumeProgramRunner::read_file(String const& path, u32 capacity, ByteBuffer& content)
{
    auto file = look_up(m_storage, path);
    if (!file.files)
        return file.failure;
    // A file that fits is read whole, its checksum checked; of a bigger one
    // only what the buffer holds is read.
    bool fits = static_cast<u32>(file.size) <= capacity;
    auto read = fits ? file.files->read_file(path) : file.files->read(path, 0, capacity);
    if (read.is_error())
        return Failed;
    content = read.release_value();
    return static_cast<i32>(content.size());
}

i32 VolumeProgramRunner::write_file(String const& path, ByteBuffer const& bytes)
{
    auto files = m_storage.filesystem();
    if (files.is_error() || files.value()->save_file(bytes, path, m_storage.user().name).is_error())
        return Failed;
    return 0;
}
