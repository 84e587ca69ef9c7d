#pragma once

#include "base/String.h"
#include "sdk/tessary_calls.h"

#include <span>

// What a running program's file calls do, served by the layer that owns the
// files: fs/FileHandles over the shell's volume. The runner has checked and
// copied every pointer; these see kernel memory only. Results are as the
// program sees them: a count, a handle or 0, else a negative TESSARY_*
// failure.
class ProgramFiles {
public:
    virtual ~ProgramFiles() = default;

    // The calls on whole files by path.
    virtual i32 file_size(String const& path) = 0;
    // Up to `capacity` bytes from the start of the file into `content`.
    virtual i32 read_file(String const& path, u32 capacity, ByteBuffer& content) = 0;
    // Creates or replaces the file, owned by the logged-in user.
    virtual i32 write_file(String const& path, ByteBuffer const& bytes) = 0;

    // Handles 3 and up; 0-2 are the console's and never reach these.
    virtual i32 open(String const& path, u32 flags) = 0;
    virtual i32 close(i32 handle) = 0;
    // Up to `capacity` bytes at the handle's position, in `bytes`, which
    // stay valid until the next call; the position moves past them. 0 at
    // the end.
    virtual i32 read(i32 handle, u32 capacity, std::span<u8 const>& bytes) = 0;
    virtual i32 write(i32 handle, std::span<u8 const> bytes) = 0;
    virtual i32 seek(i32 handle, i32 offset, u32 origin) = 0;
    virtual i32 handle_info(i32 handle, tessary_file_info& info) = 0;
    virtual i32 path_info(String const& path, tessary_file_info& info) = 0;
    virtual i32 remove(String const& path) = 0;
    virtual i32 rename(String const& from, String const& to) = 0;
    virtual i32 make_directory(String const& path) = 0;
    virtual i32 list(String const& path, u32 index, tessary_directory_entry& entry) = 0;

    // The program has ended, however: every handle still open is closed,
    // and what was written through it reaches the disk.
    virtual void close_all() = 0;
};
