#pragma once

#include "fs/Storage.h"
#include "hal/ProgramFiles.h"

// The running program's files on the shell's volume: the whole-file calls
// and the handles. Paths given to the whole-file calls start at the top of
// the disk; the handle and path calls take paths from the top too, and
// others from the directory the program was started in.
class FileHandles : public ProgramFiles {
public:
    explicit FileHandles(Storage& storage)
        : m_storage(storage)
    {
    }

    // Where relative paths of the program about to run start.
    void set_working_directory(String directory) { m_working_directory = static_cast<String&&>(directory); }

    i32 file_size(String const& path) override;
    i32 read_file(String const& path, u32 capacity, ByteBuffer& content) override;
    i32 write_file(String const& path, ByteBuffer const& bytes) override;

    i32 open(String const& path, u32 flags) override;
    i32 close(i32 handle) override;
    i32 read(i32 handle, u32 capacity, ByteBuffer& bytes) override;
    i32 write(i32 handle, std::span<u8 const> bytes) override;
    i32 seek(i32 handle, i32 offset, u32 origin) override;
    i32 handle_info(i32 handle, tessary_file_info& info) override;
    i32 path_info(String const& path, tessary_file_info& info) override;
    i32 remove(String const& path) override;
    i32 rename(String const& from, String const& to) override;
    i32 make_directory(String const& path) override;
    i32 list(String const& path, u32 index, tessary_directory_entry& entry) override;
    void close_all() override;

private:
    Storage& m_storage;
    String m_working_directory { "/" };
};
