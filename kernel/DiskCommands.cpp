#include "kernel/DiskCommands.h"

#include "base/OwnPtr.h"
#include "fs/CurrentUser.h"
#include "fs/Devices.h"
#include "fs/Extras.h"
#include "fs/KLNFS.h"
#include "fs/RootFilesystem.h"
#include "fs/TessFS.h"
#include "hal/Console.h"
#include "hal/Debugger.h"
#include "kernel/Commands.h"

KLNFS* Kernel::fd = nullptr;

ErrorOr<KLNFS*> BootVolume()
{
    if (!Kernel::fd)
        return Error("No disk file system");
    return Kernel::fd;
}

namespace {

// Directories a new disk gets, so the prompt's home and the editors' save
// folder exist from the first boot.
char const* const InitialDirectories[] = { "/home", "/home/root", "/documents" };

ErrorOr<void> ls(Kernel&, Argument const& argument)
{
    auto* fs = TRY(BootVolume());
    String directory = Environment::CurrentDir;
    bool onlyFiles = false;
    bool onlyDirectories = false;
    if (!IsBlank(argument)) {
        if (*argument == "-f")
            onlyFiles = true;
        else if (*argument == "-d")
            onlyDirectories = true;
        else
            directory = *argument;
    }
    auto entries = TRY(fs->getLongList(directory));
    TRY(Console::WriteLine("Directory of " + directory + "\n"));
    for (auto const& entry : entries) {
        if ((onlyFiles && entry.isDirectory()) || (onlyDirectories && !entry.isDirectory()))
            continue;
        if (entry.isDirectory() && !onlyFiles)
            TRY(Console::Write("<DIR>"));
        Console::SetCursorLeft(6);
        TRY(Console::WriteLine(entry.name + "   "));
    }
    return {};
}

ErrorOr<void> mkdir(Kernel&, Argument const& argument)
{
    if (IsBlank(argument))
        return WriteUsage("USAGE: mkdir <directory name>");
    return TRY(BootVolume())->makeDir(*argument, "");
}

ErrorOr<void> rmdir(Kernel&, Argument const& argument)
{
    if (IsBlank(argument))
        return WriteUsage("USAGE: rmdir <directory name>");
    return TRY(BootVolume())->Delete(*argument);
}

ErrorOr<void> cd(Kernel&, Argument const& argument)
{
    if (IsBlank(argument))
        return WriteUsage("USAGE: cd <directory name>");
    Environment::CurrentDir = *argument;
    return {};
}

ErrorOr<void> rovazav(Kernel&, Argument const&) { return Console::WriteLine(TRY(FS::ReadFile("/home/root/test.tsc"))); }

ErrorOr<void> tessfs(Kernel&, Argument const&)
{
    TessFS probe;
    return {};
}

ErrorOr<void> formatWithDirectories(KLNFS& fs)
{
    TRY(fs.Format("TESSARY"));
    for (char const* directory : InitialDirectories)
        TRY(fs.makeDir(directory, "root"));
    return {};
}

}

void RegisterDiskCommands(Vector<Command>& table)
{
    table.append({ "ls", ls });
    table.append({ "mkdir", mkdir });
    table.append({ "rmdir", rmdir });
    table.append({ "cd", cd });
    table.append({ "rovazav", rovazav });
    table.append({ "tessfs", tessfs });
}

namespace {

// What the last run of the boot screen mounted. Every run (cls, leaving an
// editor) replaces both and frees the old ones.
OwnPtr<RootFilesystem> s_root;
OwnPtr<KLNFS> s_volume;

enum class PartitionContent { Tessary, Blank, Foreign };

ErrorOr<PartitionContent> probe(Partition& partition)
{
    if (TRY(KLNFS::isKFS(partition)))
        return PartitionContent::Tessary;
    return TRY(KLNFS::IsBlank(partition)) ? PartitionContent::Blank : PartitionContent::Foreign;
}

// A partition's own line under "Creating partitions...", which leaves the
// cursor on its line.
ErrorOr<void> report(String const& line)
{
    if (Console::CursorLeft() != 0)
        Console::WriteLine();
    return Console::WriteLine(line);
}

// The file system on a partition: ours as it is, a blank partition freshly
// formatted. Anything else belongs to another system and is never written.
ErrorOr<OwnPtr<KLNFS>> open_volume(device const& entry, Partition& partition)
{
    auto content = probe(partition);
    if (content.is_error()) {
        TRY(report(entry.name + ": " + content.error().message()));
        return OwnPtr<KLNFS>();
    }
    switch (content.value()) {
    case PartitionContent::Tessary:
        TRY(Console::WriteLine("Drive detected!"));
        return make_own<KLNFS>(partition);
    case PartitionContent::Foreign:
        Debugger::Send("Left alone: " + entry.name);
        TRY(report(entry.name + " holds another system and was left untouched"));
        return OwnPtr<KLNFS>();
    case PartitionContent::Blank:
        break;
    }
    Debugger::Send("Formatting " + entry.name);
    auto fs = make_own<KLNFS>(partition);
    auto formatted = formatWithDirectories(*fs);
    // A partition that cannot hold the file system (too small, a disk
    // error) is left out; the other disks still serve.
    if (formatted.is_error()) {
        TRY(report(entry.name + ": " + formatted.error().message()));
        return OwnPtr<KLNFS>();
    }
    return fs;
}

}

ErrorOr<void> DetectAndMountDisks()
{
    ATA::Detect();
    CurrentUser::Privilages = 0;
    CurrentUser::Username = "root";
    Kernel::fd = nullptr;
    s_volume.clear();
    s_root = make_own<RootFilesystem>();
    FileSystem::Root = s_root.ptr();
    for (auto const& entry : Devices::dev) {
        Partition* partition = entry.blockDevice->AsPartition();
        if (!partition)
            continue;
        auto volume = TRY(open_volume(entry, *partition));
        // The last Tessary partition is the shell's one volume: the disk
        // commands, the editors and the scripts all see the same files.
        if (volume)
            s_volume = static_cast<OwnPtr<KLNFS>&&>(volume);
    }
    if (s_volume) {
        Kernel::fd = s_volume.ptr();
        FileSystem::Root->Mount("/", *s_volume);
    }
    return {};
}
