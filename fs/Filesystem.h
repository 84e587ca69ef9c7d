#pragma once

#include "base/Error.h"
#include "fs/DirectoryRecord.h"

// The one door to the files: the shell's commands, the editors, TessScript,
// the program calls and the host tools all go through it. Paths use "/" as
// separator; one leading and one trailing separator are ignored. What each
// operation may do, and the error it gives when it may not, is decided
// behind the door, so every front end behaves the same.
class Filesystem {
public:
    // The volume's size and how much of it is taken, in bytes.
    struct SpaceUsage {
        u64 size_bytes;
        u64 used_bytes;
        u64 free_bytes;

        // What df prints: "Size: 65535 KiB", then Used and Free.
        Vector<String> lines() const;
    };

    virtual ~Filesystem() = default;

    // The records of a directory, in listing order.
    virtual ErrorOr<Vector<DirectoryRecord>> list(String const& path) = 0;
    // The record that `path` names.
    virtual ErrorOr<DirectoryRecord> stat(String const& path) = 0;
    // A file's bytes; a directory is an error ("Is a directory").
    virtual ErrorOr<ByteBuffer> read_file(String const& path) = 0;
    // Up to `length` bytes of a file from byte `offset` (fewer at its end,
    // none past it), reading only what holds them.
    virtual ErrorOr<ByteBuffer> read(String const& path, u64 offset, u32 length) = 0;
    // Creates or replaces a file.
    virtual ErrorOr<void> save_file(ByteBuffer const& data, String const& path, String const& owner) = 0;
    // Writes `data` into an existing file from byte `offset`; the file grows
    // when it reaches past the end, and a gap before it reads as zeros.
    // After a power cut the file holds its old content or its new one.
    virtual ErrorOr<void> write(String const& path, u64 offset, ByteBuffer const& data) = 0;
    // write at the file's end.
    ErrorOr<void> append(String const& path, ByteBuffer const& data);
    virtual ErrorOr<void> make_dir(String const& path, String const& owner) = 0;
    // Removes a file, or a directory with everything below it.
    virtual ErrorOr<void> remove(String const& path) = 0;
    // Removes a file; a directory is an error.
    virtual ErrorOr<void> remove_file(String const& path) = 0;
    // Copies a file to a new name, owned by `owner`: an existing target or
    // a directory source is an error.
    virtual ErrorOr<void> copy_file(String const& source, String const& target, String const& owner) = 0;
    // Renames or moves a file or directory to `target`, whose directory must
    // exist and which must not; a directory never goes into itself.
    virtual ErrorOr<void> move(String const& source, String const& target) = 0;
    virtual ErrorOr<SpaceUsage> space_usage() = 0;

    // The volume label.
    String const& label() const { return m_label; }

protected:
    String m_label;
};
