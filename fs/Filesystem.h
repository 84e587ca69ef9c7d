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
    virtual ErrorOr<Vector<DirectoryRecord>> getLongList(String const& path) = 0;
    virtual ErrorOr<ByteBuffer> readFile(String const& path) = 0;
    // The names in a directory, in record order.
    virtual ErrorOr<Vector<String>> ListFiles(String const& path) = 0;
    virtual ErrorOr<void> Remove(String const& path) = 0;
    virtual ErrorOr<void> makeDir(String const& path, String const& owner) = 0;
    // Creates or replaces a file.
    virtual ErrorOr<void> saveFile(ByteBuffer const& data, String const& path, String const& owner) = 0;

    // The volume label (empty for the root file system).
    String label;
};
