#include "kernel/DiskCommands.h"

#include "fs/TextFile.h"
#include "hal/Console.h"
#include "hal/Debugger.h"
#include "kernel/Commands.h"

ErrorOr<String> read_text_for_display(Storage& storage, String const& path)
{
    auto files = storage.filesystem();
    auto text = files.is_error() ? ErrorOr<String>(files.release_error()) : TextFile::read(*files.value(), path);
    if (text.is_error() && !text.error().is_out_of_memory())
        return String("Error!");
    return text;
}

namespace {

// Directories a new disk gets, so the prompt's home and the editors' save
// folder exist from the first boot.
char const* const InitialDirectories[] = { "/home", "/home/root", "/documents" };

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

ErrorOr<void> format_with_directories(DiskFilesystem& fs)
{
    TRY(fs.format("TESSARY"));
    for (char const* directory : InitialDirectories)
        TRY(fs.make_dir(directory, "root"));
    return {};
}

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

namespace {

enum class PartitionContent { Tessary, Blank, Foreign };

ErrorOr<PartitionContent> probe(Partition& partition)
{
    if (TRY(DiskFilesystem::is_formatted(partition)))
        return PartitionContent::Tessary;
    return TRY(DiskFilesystem::is_blank(partition)) ? PartitionContent::Blank : PartitionContent::Foreign;
}

// A partition's own line under "Creating partitions...", which leaves the
// cursor on its line.
ErrorOr<void> report(String const& line)
{
    if (Console::cursor_left() != 0)
        Console::write_line();
    return Console::write_line(line);
}

// The file system on a partition: ours as it is, a blank partition freshly
// formatted. Anything else belongs to another system and is never written.
ErrorOr<OwnPtr<DiskFilesystem>> open_volume(NamedDevice const& entry, Partition& partition, User const& user)
{
    auto content = probe(partition);
    if (content.is_error()) {
        TRY(report(entry.name + ": " + content.error().message()));
        return OwnPtr<DiskFilesystem>();
    }
    switch (content.value()) {
    case PartitionContent::Tessary:
        TRY(Console::write_line("Drive detected!"));
        return make_own<DiskFilesystem>(partition, user);
    case PartitionContent::Foreign:
        Debugger::send("Left alone: " + entry.name);
        TRY(report(entry.name + " holds another system and was left untouched"));
        return OwnPtr<DiskFilesystem>();
    case PartitionContent::Blank:
        break;
    }
    Debugger::send("Formatting " + entry.name);
    auto fs = make_own<DiskFilesystem>(partition, user);
    auto formatted = format_with_directories(*fs);
    // A partition that cannot hold the file system (too small, a disk
    // error) is left out; the other disks still serve.
    if (formatted.is_error()) {
        TRY(report(entry.name + ": " + formatted.error().message()));
        return OwnPtr<DiskFilesystem>();
    }
    return fs;
}

}

ErrorOr<void> detect_and_mount_disks(Storage& storage)
{
    storage.name_devices();
    storage.log_in(User::root());
    // Every run of the boot screen (cls, leaving an editor) replaces what the
    // last one mounted.
    storage.unmount();
    OwnPtr<DiskFilesystem> boot_volume;
    for (auto const& entry : storage.named_devices()) {
        Partition* partition = entry.device->as_partition();
        if (!partition)
            continue;
        auto volume = TRY(open_volume(entry, *partition, storage.user()));
        // The last Tessary partition is the shell's one volume: the disk
        // commands, the editors and the scripts all see the same files.
        if (volume)
            boot_volume = static_cast<OwnPtr<DiskFilesystem>&&>(volume);
    }
    if (boot_volume)
        storage.mount_boot_volume(static_cast<OwnPtr<DiskFilesystem>&&>(boot_volume));
    return {};
}
