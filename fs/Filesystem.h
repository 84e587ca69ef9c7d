#pragma once

#include "base/Error.h"
#include "fs/DirectoryRecord.h"

// What every file system offers: the disk file system and the root file
// system that forwards to the mounted ones. Paths use "/" as separator; one
// leading and one trailing separator are ignored.
class Filesystem {
public:
    virtual ~Filesystem() = default;

    // The records of a directory, in record order.
    virtual ErrorOr<Vector<DirectoryRecord>> get_long_list(String const& path) = 0;
    virtual ErrorOr<ByteBuffer> read_file(String const& path) = 0;
    // The names in a directory, in record order.
    virtual ErrorOr<Vector<String>> list_files(String const& path) = 0;
    virtual ErrorOr<void> remove(String const& path) = 0;
    virtual ErrorOr<void> make_dir(String const& path, String const& owner) = 0;
    // Creates or replaces a file.
    virtual ErrorOr<void> save_file(ByteBuffer const& data, String const& path, String const& owner) = 0;

    // The volume label (empty for the root file system).
    String const& label() const { return m_label; }

protected:
    String m_label;
};
