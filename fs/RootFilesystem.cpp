#include "fs/RootFilesystem.h"

#include "fs/DiskFilesystem.h"

void RootFilesystem::Mount(String const& path, Filesystem& filesystem)
{
    mountPoints.append({ Path::trimSeparators(path), &filesystem });
}

ErrorOr<RootFilesystem::Target> RootFilesystem::resolve(String const& path) const
{
    if (mountPoints.is_empty())
        return Error("No file system is mounted");
    String p = Path::trimSeparators(path);
    for (auto const& mount : mountPoints) {
        if (!mount.path.is_empty() && p.starts_with(mount.path))
            return Target { mount.filesystem, p.substring(mount.path.length()) };
    }
    return Target { mountPoints[0].filesystem, p };
}

ErrorOr<Vector<DirectoryRecord>> RootFilesystem::getLongList(String const& path)
{
    auto target = TRY(resolve(path));
    return target.filesystem->getLongList(target.path);
}

ErrorOr<ByteBuffer> RootFilesystem::readFile(String const& path)
{
    auto target = TRY(resolve(path));
    return target.filesystem->readFile(target.path);
}

ErrorOr<Vector<String>> RootFilesystem::ListFiles(String const& path)
{
    auto target = TRY(resolve(path));
    return target.filesystem->ListFiles(target.path);
}

ErrorOr<void> RootFilesystem::Remove(String const& path)
{
    auto target = TRY(resolve(path));
    return target.filesystem->Remove(target.path);
}

ErrorOr<void> RootFilesystem::makeDir(String const& path, String const& owner)
{
    auto target = TRY(resolve(path));
    return target.filesystem->makeDir(target.path, owner);
}

ErrorOr<void> RootFilesystem::saveFile(ByteBuffer const& data, String const& path, String const& owner)
{
    auto target = TRY(resolve(path));
    return target.filesystem->saveFile(data, target.path, owner);
}
