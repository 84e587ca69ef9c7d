#include "fs/RootFilesystem.h"

#include "fs/DiskFilesystem.h"

void RootFilesystem::mount(String const& path, Filesystem& filesystem)
{
    m_mount_points.append({ Path::trim_separators(path), &filesystem });
}

ErrorOr<RootFilesystem::Target> RootFilesystem::resolve(String const& path) const
{
    if (m_mount_points.is_empty())
        return Error("No file system is mounted");
    String p = Path::trim_separators(path);
    for (auto const& mount : m_mount_points) {
        if (!mount.path.is_empty() && p.starts_with(mount.path))
            return Target { mount.filesystem, p.substring(mount.path.length()) };
    }
    return Target { m_mount_points[0].filesystem, p };
}

ErrorOr<Vector<DirectoryRecord>> RootFilesystem::get_long_list(String const& path)
{
    auto target = TRY(resolve(path));
    return target.filesystem->get_long_list(target.path);
}

ErrorOr<ByteBuffer> RootFilesystem::read_file(String const& path)
{
    auto target = TRY(resolve(path));
    return target.filesystem->read_file(target.path);
}

ErrorOr<Vector<String>> RootFilesystem::list_files(String const& path)
{
    auto target = TRY(resolve(path));
    return target.filesystem->list_files(target.path);
}

ErrorOr<void> RootFilesystem::remove(String const& path)
{
    auto target = TRY(resolve(path));
    return target.filesystem->remove(target.path);
}

ErrorOr<void> RootFilesystem::make_dir(String const& path, String const& owner)
{
    auto target = TRY(resolve(path));
    return target.filesystem->make_dir(target.path, owner);
}

ErrorOr<void> RootFilesystem::save_file(ByteBuffer const& data, String const& path, String const& owner)
{
    auto target = TRY(resolve(path));
    return target.filesystem->save_file(data, target.path, owner);
}
