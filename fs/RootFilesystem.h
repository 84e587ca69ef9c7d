#pragma once

#include "fs/Filesystem.h"

struct MountPoint {
    String path; // the mount prefix without its leading and trailing separator
    Filesystem* filesystem;
};

// One tree over all mounted file systems. A path goes to the first mount
// point (in mount order) whose non-empty prefix starts it, with the prefix cut
// off; a plain character prefix, so "mntx/y" matches the mount "mnt" as "x/y".
// Paths no prefix matches go to the first mount point, which is why a mount
// at "/" only serves when it was mounted first.
class RootFilesystem : public Filesystem {
public:
    void Mount(String const& path, Filesystem& filesystem);
    void unmount_all() { mountPoints.clear(); }

    ErrorOr<Vector<DirectoryRecord>> getLongList(String const& path) override;
    ErrorOr<ByteBuffer> readFile(String const& path) override;
    ErrorOr<Vector<String>> ListFiles(String const& path) override;
    ErrorOr<void> Remove(String const& path) override;
    ErrorOr<void> makeDir(String const& path, String const& owner) override;
    ErrorOr<void> saveFile(ByteBuffer const& data, String const& path, String const& owner) override;

    Vector<MountPoint> mountPoints;

private:
    struct Target {
        Filesystem* filesystem;
        String path;
    };
    ErrorOr<Target> resolve(String const& path) const;
};
