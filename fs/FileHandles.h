#pragma once

#include "fs/Storage.h"
#include "hal/ProgramFiles.h"

#include <array>
#include <optional>

// The running program's files on the shell's volume: the whole-file calls
// and the handles. Paths given to the whole-file calls start at the top of
// the disk; the handle and path calls take paths from the top too, and
// others from the directory the program was started in.
//
// Every write to the volume rewrites the whole file in one commit, so a
// handle gathers what is written through it into one run of bytes and
// writes the run when the program writes elsewhere, reads, asks for the
// file's size, closes the handle or ends. A run may grow to the length the
// file already has on the disk (at least RunLimit): writing a file from
// start to end then costs each byte a fixed number of disk writes, however
// small the program's pieces.
class FileHandles : public ProgramFiles {
public:
    explicit FileHandles(Storage& storage)
        : m_storage(storage)
    {
    }

    // Where relative paths of the program about to run start, until it ends.
    void set_working_directory(String directory) { m_working_directory = static_cast<String&&>(directory); }

    i32 file_size(String const& path) override;
    i32 read_file(String const& path, u32 capacity, ByteBuffer& content) override;
    i32 write_file(String const& path, ByteBuffer const& bytes) override;

    i32 open(String const& path, u32 flags) override;
    i32 close(i32 handle) override;
    i32 read(i32 handle, u32 capacity, std::span<u8 const>& bytes) override;
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
    static constexpr i32 FirstHandle = TESSARY_ERRORS + 1;
    static constexpr u32 RunLimit = 1024 * 1024;
    // How far a handle read on from where it stopped reads ahead at most:
    // the pieces the file system reads fastest in.
    static constexpr u32 ReadAheadLimit = 1024 * 1024;

    struct OpenFile {
        // From the top of the disk, as absolute_path makes it.
        String path;
        u32 flags { 0 };
        u32 position { 0 };
        // The file's length on the disk when the handle last looked: how
        // far the run may grow.
        u32 length_on_disk { 0 };
        // Bytes written but not yet on the disk, from run_start on.
        u32 run_start { 0 };
        ByteBuffer run;

        // What the last read fetched, from fetched_start on: the next reads
        // are served from it. A handle that reads on where it stopped
        // fetches twice as much each time, up to ReadAheadLimit, so a file
        // read in small pieces costs a visit to the disk per megabyte, and
        // one read here and there costs no more than itself.
        u32 fetched_start { 0 };
        ByteBuffer fetched;
        u32 read_end { 0 };
        u32 read_ahead { 0 };

        u32 run_end() const { return run_start + static_cast<u32>(run.size()); }
        u32 fetched_end() const { return fetched_start + static_cast<u32>(fetched.size()); }
    };
    // The records of the directory listed last, for a program that walks
    // it one index at a time. Anything that changes the volume drops it.
    struct Listing {
        String path;
        Vector<DirectoryRecord> records;
    };

    // `path` from the top of the disk, relative ones from `base`: empty
    // names and "." are skipped, ".." goes up. Nothing for an empty path.
    static std::optional<String> absolute_path(String const& path, String const& base);
    std::optional<String> absolute_path(String const& path) const { return absolute_path(path, m_working_directory); }
    OpenFile* open_file(i32 handle);
    // The volume for a change: the listing and the bytes read ahead are no
    // longer true after it.
    ErrorOr<Filesystem*> files_to_change();
    // Writes the handle's run; a run that fails stays, for a later try.
    ErrorOr<void> write_run(OpenFile& file);
    // Adds the bytes at the handle's position to its run.
    ErrorOr<void> add_to_run(OpenFile& file, std::span<u8 const> bytes);
    // Writes the runs of every handle on `path` or below it, so the disk
    // shows what the program wrote.
    ErrorOr<void> write_runs(String const& path);
    // The handle's file as the disk holds it with everything written.
    ErrorOr<DirectoryRecord> settled_record(OpenFile& file);
    // Forgets the runs of the handles on a file that is gone.
    void drop_runs(String const& path);
    // What write_runs does before a whole-file call, whose paths start at
    // the top of the disk.
    ErrorOr<void> write_runs_from_top(String const& path);

    Storage& m_storage;
    String m_working_directory { "/" };
    std::array<std::optional<OpenFile>, TESSARY_OPEN_FILES> m_open;
    std::optional<Listing> m_listing;
};
