#include "kernel/ProgramCommands.h"

#include "fs/KLNFS.h"
#include "hal/MzExecutable.h"
#include "kernel/Commands.h"
#include "kernel/DiskCommands.h"

namespace {

char const* const ExamplePath = "/home/root/example.exe";
char const* const DirectoryPath = "/home/root/test1";

ErrorOr<MzExecutable> load(String const& path)
{
    auto* fs = TRY(BootVolume());
    return MzExecutable::Load(TRY(fs->readFile(path)));
}

// Loads and checks the program without running it.
ErrorOr<void> exe(Kernel&, Argument const& argument)
{
    if (IsBlank(argument))
        return WriteUsage("USAGE: exe <executable path>");
    TRY(load(*argument));
    return {};
}

// Stores the built-in example program, and a directory beside it.
ErrorOr<void> exexe(Kernel&, Argument const&)
{
    auto* fs = TRY(BootVolume());
    ByteBuffer program;
    program.resize(Kernel::ExampleExeSize);
    for (u32 i = 0; i < Kernel::ExampleExeSize; ++i)
        program[i] = Kernel::Example_exe[i];
    TRY(fs->saveFile(program, ExamplePath, "root"));
    // The directory a previous exexe made is fine as it is.
    auto existing = fs->readFromNode(DirectoryPath);
    if (!existing.is_error() && existing.value().isDirectory())
        return {};
    return fs->makeDir(DirectoryPath, "root");
}

ErrorOr<void> exexe2(Kernel&, Argument const&)
{
    auto program = TRY(load(ExamplePath));
    program.Execute();
    return {};
}

}

void RegisterProgramCommands(Vector<Command>& table)
{
    table.append({ "exe", exe });
    table.append({ "exexe", exexe });
    table.append({ "exexe2", exexe2 });
}
