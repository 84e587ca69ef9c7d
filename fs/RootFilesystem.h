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
    void mount(String const& path, Filesystem& filesystem);
    void unmount_all() { m_mount_points.clear(); }

    ErrorOr<Vector<DirectoryRecord>> get_long_list(String const& path) override;
    ErrorOr<ByteBuffer> read_file(String const& path) override;
    ErrorOr<Vector<String>> list_files(String const& path) override;
    ErrorOr<void> remove(String const& path) override;
    ErrorOr<void> make_dir(String const& path, String const& owner) override;
    ErrorOr<void> save_file(ByteBuffer const& data, String const& path, String const& owner) override;

    Vector<MountPoint> const& mount_points() const { return m_mount_points; }

private:
    struct Target {
        Filesystem* filesystem;
        String path;
    };
    ErrorOr<Target> resolve(String const& path) const;

    Vector<MountPoint> m_mount_points;
};
