#include "kernel/ProgramCommands.h"

#include "fs/DiskFilesystem.h"
#include "hal/MzExecutable.h"
#include "kernel/Commands.h"
#include "programs/ExampleProgram.h"

namespace {

char const* const ExamplePath = "/home/root/example.exe";
char const* const DirectoryPath = "/home/root/test1";

ErrorOr<MzExecutable> load(Storage& storage, String const& path)
{
    auto* fs = TRY(storage.boot_volume());
    return MzExecutable::Load(TRY(fs->readFile(path)));
}

// Loads and checks the program without running it.
ErrorOr<void> exe(Kernel& kernel, Argument const& argument)
{
    if (IsBlank(argument))
        return WriteUsage("USAGE: exe <executable path>");
    TRY(load(kernel.storage(), *argument));
    return {};
}

// Stores the built-in example program, and a directory beside it.
ErrorOr<void> exexe(Kernel& kernel, Argument const&)
{
    auto* fs = TRY(kernel.storage().boot_volume());
    ByteBuffer program;
    program.resize(ExampleProgramSize);
    for (u32 i = 0; i < ExampleProgramSize; ++i)
        program[i] = ExampleProgram[i];
    TRY(fs->saveFile(program, ExamplePath, "root"));
    // The directory a previous exexe made is fine as it is.
    auto existing = fs->readFromNode(DirectoryPath);
    if (!existing.is_error() && existing.value().isDirectory())
        return {};
    return fs->makeDir(DirectoryPath, "root");
}

ErrorOr<void> exexe2(Kernel& kernel, Argument const&)
{
    auto program = TRY(load(kernel.storage(), ExamplePath));
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
