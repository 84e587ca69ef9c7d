#include "kernel/DiskCommands.h"

#include "fs/TextFile.h"
#include "hal/Console.h"
#include "kernel/Output.h"

ErrorOr<String> read_text_for_display(Storage& storage, String const& path)
{
    auto files = storage.filesystem();
    auto text = files.is_error() ? ErrorOr<String>(files.release_error()) : TextFile::read(*files.value(), path);
    if (text.is_error() && !text.error().is_out_of_memory())
        return String("Error!");
    return text;
}

namespace {

ErrorOr<void> ls(Kernel& kernel, Argument const& argument)
{
    auto* files = TRY(kernel.storage().filesystem());
    String directory = kernel.current_directory();
    bool only_files = false;
    bool only_directories = false;
    if (!is_blank(argument)) {
        if (*argument == "-f")
            only_files = true;
        else if (*argument == "-d")
            only_directories = true;
        else
            directory = *argument;
    }
    auto entries = TRY(files->list(directory));
    TRY(Console::write_line("Directory of " + directory + "\n"));
    for (auto const& entry : entries) {
        if ((only_files && entry.is_directory()) || (only_directories && !entry.is_directory()))
            continue;
        if (entry.is_directory() && !only_files)
            TRY(Console::write("<DIR>"));
        Console::set_cursor_left(6);
        TRY(Console::write_line(entry.name + "   "));
    }
    return {};
}

ErrorOr<void> mkdir(Kernel& kernel, Argument const& argument)
{
    if (is_blank(argument))
        return write_usage("USAGE: mkdir <directory name>");
    return TRY(kernel.storage().filesystem())->make_dir(*argument, "");
}

ErrorOr<void> rmdir(Kernel& kernel, Argument const& argument)
{
    if (is_blank(argument))
        return write_usage("USAGE: rmdir <directory name>");
    return TRY(kernel.storage().filesystem())->remove(*argument);
}

// A file is shown as text: a line feed ends a line and a carriage return just
// before one is dropped, so files written on either kind of system read the
// same. Any other control byte (below 0x20, and 0x7F) is a '.', so a binary
// file cannot move the cursor or clear the screen; bytes from 0x80 show as the
// console's own characters for them.
char16_t shown_as(u8 byte) { return byte < 0x20 || byte == 0x7F ? u'.' : byte; }

ErrorOr<void> write_as_text(ByteBuffer const& bytes)
{
    // Written a screen row at a time, so a long line needs no text as long
    // as itself.
    String pending;
    bool line_open = false;
    for (size_t i = 0; i < bytes.size(); ++i) {
        u8 byte = bytes[i];
        if (byte == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            continue;
        if (byte == '\n') {
            TRY(Console::write_line(pending));
            pending = String();
            line_open = false;
            continue;
        }
        pending.append(shown_as(byte));
        line_open = true;
        if (pending.length() == static_cast<size_t>(Console::window_width())) {
            TRY(Console::write(pending));
            pending = String();
        }
    }
    if (line_open)
        TRY(Console::write_line(pending));
    return {};
}

ErrorOr<void> cat(Kernel& kernel, Argument const& argument)
{
    if (is_blank(argument))
        return write_usage("USAGE: cat <file path>");
    return write_as_text(TRY(TRY(kernel.storage().filesystem())->read_file(*argument)));
}

// The source ends at the first space, the target is the rest as typed, so a
// source path cannot hold a space. Empty when either is missing.
Vector<String> source_and_target(Argument const& argument)
{
    if (is_blank(argument))
        return {};
    auto paths = split_at_first_space(*argument);
    if (paths.size() < 2 || paths[0].is_blank() || paths[1].is_blank())
        return {};
    return paths;
}

ErrorOr<void> cp(Kernel& kernel, Argument const& argument)
{
    auto paths = source_and_target(argument);
    if (paths.is_empty())
        return write_usage("USAGE: cp <source file> <target file>");
    return TRY(kernel.storage().filesystem())->copy_file(paths[0], paths[1], kernel.storage().user().name);
}

ErrorOr<void> mv(Kernel& kernel, Argument const& argument)
{
    auto paths = source_and_target(argument);
    if (paths.is_empty())
        return write_usage("USAGE: mv <source path> <target path>");
    return TRY(kernel.storage().filesystem())->move(paths[0], paths[1]);
}

ErrorOr<void> rm(Kernel& kernel, Argument const& argument)
{
    if (is_blank(argument))
        return write_usage("USAGE: rm <file path>");
    return TRY(kernel.storage().filesystem())->remove_file(*argument);
}

// Takes no argument and, like the other such commands, ignores one.
ErrorOr<void> df(Kernel& kernel, Argument const&)
{
    for (auto const& line : TRY(TRY(kernel.storage().filesystem())->space_usage()).lines())
        TRY(Console::write_line(line));
    return {};
}

ErrorOr<void> cd(Kernel& kernel, Argument const& argument)
{
    if (is_blank(argument))
        return write_usage("USAGE: cd <directory name>");
    kernel.set_current_directory(*argument);
    return {};
}

ErrorOr<void> rovazav(Kernel& kernel, Argument const&)
{
    return Console::write_line(TRY(read_text_for_display(kernel.storage(), "/home/root/test.tsc")));
}

// The system has one disk format, so probing for another finds nothing and
// says nothing; the command stays known rather than becoming an unknown one.
ErrorOr<void> tessfs(Kernel&, Argument const&) { return {}; }

}

void register_disk_commands(Vector<Command>& table)
{
    table.append({ "ls", ls });
    table.append({ "mkdir", mkdir });
    table.append({ "rmdir", rmdir });
    table.append({ "cat", cat });
    table.append({ "cp", cp });
    table.append({ "mv", mv });
    table.append({ "rm", rm });
    table.append({ "df", df });
    table.append({ "cd", cd });
    table.append({ "rovazav", rovazav });
    table.append({ "tessfs", tessfs });
}
