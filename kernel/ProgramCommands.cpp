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
    return MzExecutable::load(TRY(fs->read_file(path)));
}

// Loads and checks the program without running it.
ErrorOr<void> exe(Kernel& kernel, Argument const& argument)
{
    if (is_blank(argument))
        return write_usage("USAGE: exe <executable path>");
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
    TRY(fs->save_file(program, ExamplePath, "root"));
    // The directory a previous exexe made is fine as it is.
    auto existing = fs->read_from_node(DirectoryPath);
    if (!existing.is_error() && existing.value().is_directory())
        return {};
    return fs->make_dir(DirectoryPath, "root");
}

ErrorOr<void> exexe2(Kernel& kernel, Argument const&)
{
    auto program = TRY(load(kernel.storage(), ExamplePath));
    program.execute();
    return {};
}

}

void register_program_commands(Vector<Command>& table)
{
    table.append({ "exe", exe });
    table.append({ "exexe", exexe });
    table.append({ "exexe2", exexe2 });
}
