#pragma once

#include "fs/StorageDevice.h"

struct MountPoint {
    String path; // the mount prefix without its leading and trailing separator
    StorageDevice* mountedDevice;
};

// One tree over all mounted file systems. A path goes to the first mount
// point (in mount order) whose non-empty prefix starts it, with the prefix cut
// off; a plain character prefix, so "mntx/y" matches the mount "mnt" as "x/y".
// Paths no prefix matches go to the first mount point, which is why a mount
// at "/" only serves when it was mounted first.
class RootFilesystem : public StorageDevice {
public:
    static constexpr char16_t separator = u'/';

    void Mount(String const& path, StorageDevice& device);

    ErrorOr<Vector<fsEntry>> getLongList(String const& path) override;
    ErrorOr<ByteBuffer> readFile(String const& path) override;
    ErrorOr<Vector<String>> ListFiles(String const& path) override;
    ErrorOr<void> Delete(String const& path) override;
    ErrorOr<void> makeDir(String const& path, String const& owner) override;
    ErrorOr<void> saveFile(ByteBuffer const& data, String const& path, String const& owner) override;

    Vector<MountPoint> mountPoints;

private:
    struct Target {
        StorageDevice* device;
        String path;
    };
    ErrorOr<Target> resolve(String const& path) const;
};

class FileSystem {
public:
    // The system's root file system; replaced by every boot screen run.
    static RootFilesystem* Root;
};

namespace String_Util {
// One leading separator, then one trailing separator, removed.
String cleanName(String const& s);
bool Contains(String const& s, char16_t c);
i32 LastIndexOf(String const& s, char16_t c);
}
