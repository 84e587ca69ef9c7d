#include "fs/RootFilesystem.h"

#include "fs/KLNFS.h"

RootFilesystem* FileSystem::Root = nullptr;

namespace String_Util {
String cleanName(String const& s) { return Path::trimSeparators(s); }
bool Contains(String const& s, char16_t c) { return s.contains(c); }
i32 LastIndexOf(String const& s, char16_t c) { return s.last_index_of(c); }
}

void RootFilesystem::Mount(String const& path, StorageDevice& device)
{
    mountPoints.append({ String_Util::cleanName(path), &device });
}

ErrorOr<RootFilesystem::Target> RootFilesystem::resolve(String const& path) const
{
    if (mountPoints.is_empty())
        return Error("No file system is mounted");
    String p = String_Util::cleanName(path);
    for (auto const& mount : mountPoints) {
        if (!mount.path.is_empty() && p.starts_with(mount.path))
            return Target { mount.mountedDevice, p.substring(mount.path.length()) };
    }
    return Target { mountPoints[0].mountedDevice, p };
}

ErrorOr<Vector<fsEntry>> RootFilesystem::getLongList(String const& path)
{
    auto target = TRY(resolve(path));
    return target.device->getLongList(target.path);
}

ErrorOr<ByteBuffer> RootFilesystem::readFile(String const& path)
{
    auto target = TRY(resolve(path));
    return target.device->readFile(target.path);
}

ErrorOr<Vector<String>> RootFilesystem::ListFiles(String const& path)
{
    auto target = TRY(resolve(path));
    return target.device->ListFiles(target.path);
}

ErrorOr<void> RootFilesystem::Delete(String const& path)
{
    auto target = TRY(resolve(path));
    return target.device->Delete(target.path);
}

ErrorOr<void> RootFilesystem::makeDir(String const& path, String const& owner)
{
    auto target = TRY(resolve(path));
    return target.device->makeDir(target.path, owner);
}

ErrorOr<void> RootFilesystem::saveFile(ByteBuffer const& data, String const& path, String const& owner)
{
    auto target = TRY(resolve(path));
    return target.device->saveFile(data, target.path, owner);
}
