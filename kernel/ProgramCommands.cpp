#include "kernel/ProgramCommands.h"

#include "hal/Console.h"
#include "hal/MzExecutable.h"
#include "kernel/Output.h"
#include "programs/ExampleProgram.h"

namespace {

char const* const ExamplePath = "/home/root/example.exe";
char const* const DirectoryPath = "/home/root/test1";

ErrorOr<MzExecutable> load(Storage& storage, String const& path)
{
    return MzExecutable::load(TRY(TRY(storage.filesystem())->read_file(path)));
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
    auto* files = TRY(kernel.storage().filesystem());
    ByteBuffer program;
    program.resize(ExampleProgramSize);
    for (u32 i = 0; i < ExampleProgramSize; ++i)
        program[i] = ExampleProgram[i];
    TRY(files->save_file(program, ExamplePath, "root"));
    // The directory a previous exexe made is fine as it is.
    auto existing = files->stat(DirectoryPath);
    if (!existing.is_error() && existing.value().is_directory())
        return {};
    return files->make_dir(DirectoryPath, "root");
}

// The red line that names a program's fault, on a line of its own.
ErrorOr<void> report_fault(ProgramRunner::Ending const& ending)
{
    if (ending.fault.is_empty())
        return {};
    if (Console::cursor_left() != 0)
        Console::write_line();
    return write_error(ending.fault);
}

ErrorOr<void> exexe2(Kernel& kernel, Argument const&)
{
    auto program = TRY(load(kernel.storage(), ExamplePath));
    return report_fault(TRY(kernel.programs().run(program, String())));
}

String without_leading_spaces(String const& text)
{
    size_t start = 0;
    while (start < text.length() && text[start] == u' ')
        ++start;
    return text.substring(start);
}

// The path ends at the first space; the rest, leading spaces dropped, is
// what the program's arguments call hands out. Whatever colours the program
// chose end with it, and the prompt starts on a line of its own.
ErrorOr<void> run(Kernel& kernel, Argument const& argument)
{
    if (is_blank(argument))
        return write_usage("USAGE: run <program path> [arguments]");
    Vector<String> parts = split_at_first_space(without_leading_spaces(*argument));
    String arguments = parts.size() > 1 ? without_leading_spaces(parts[1]) : String();
    auto program = TRY(load(kernel.storage(), parts[0]));

    ConsoleColor foreground = Console::foreground_color();
    ConsoleColor background = Console::background_color();
    kernel.program_files().set_working_directory(kernel.current_directory());
    auto ending = TRY(kernel.programs().run(program, arguments));
    Console::set_foreground_color(foreground);
    Console::set_background_color(background);
    TRY(report_fault(ending));
    if (Console::cursor_left() != 0)
        Console::write_line();
    if (ending.status != 0)
        TRY(Console::write_line("Program exited with status " + String::number(ending.status)));
    return {};
}

}

void register_program_commands(Vector<Command>& table)
{
    table.append({ "exe", exe });
    table.append({ "exexe", exexe });
    table.append({ "exexe2", exexe2 });
    table.append({ "run", run });
}
