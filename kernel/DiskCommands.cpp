#include "kernel/DiskCommands.h"

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

ErrorOr<void> rovazav(Kernel&, Argument const&) { return Console::WriteLine(FS::ReadFile("/home/root/test.tsc")); }

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

ErrorOr<void> DetectAndMountDisks()
{
    ATA::Detect();
    CurrentUser::Privilages = 0;
    CurrentUser::Username = "root";
    FileSystem::Root = new RootFilesystem();
    Kernel::fd = nullptr;
    for (auto const& entry : Devices::dev) {
        Partition* partition = entry.blockDevice->AsPartition();
        if (!partition)
            continue;
        auto* fs = new KLNFS(*partition);
        if (TRY(KLNFS::isKFS(*partition))) {
            TRY(Console::WriteLine("Drive detected!"));
        } else {
            Debugger::Send("Formatting " + entry.name);
            auto formatted = formatWithDirectories(*fs);
            // A partition that cannot hold the file system (too small, a
            // disk error) is left out; the other disks still serve.
            if (formatted.is_error()) {
                TRY(Console::WriteLine(entry.name + ": " + formatted.error().message()));
                delete fs;
                continue;
            }
        }
        // Only the last partition's file system stays reachable through fd;
        // the earlier ones live on in the root file system's mount list.
        Kernel::fd = fs;
        FileSystem::Root->Mount("/", *fs);
    }
    return {};
}
