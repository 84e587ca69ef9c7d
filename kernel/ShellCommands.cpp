#include "kernel/ShellCommands.h"

#include "hal/Console.h"
#include "hal/Heap.h"
#include "hal/Time.h"
#include "kernel/DiskCommands.h"
#include "kernel/Output.h"
#include "kernel/ProgressBar.h"
#include "kernel/TessScript.h"

namespace {

char const* const HelpLines[] = {
    "Tessary Help : Page 1/1",
    "-----------------------",
    "help: show this help",
    "tsc <file path>: run the TessScript interpreter",
    "showgui: show graphical interface",
    "reboot: restart the computer",
    "shutdown: shut down the computer",
    "ls: list root directory",
    "lolz: just types lolz for infinite if you get bored",
    "lolz: WARNING IT WILL PROBABLY BURN OUT YOUR CPU!",
    "debughlp: show the development commands",
    "cls: clear screen",
    "info: show system informations",
    "mkdir <folder name>: make a folder with the specified name and/or path",
    "rmdir <folder name>: remove a folder with the specified path",
    "tswrite <file path(optional)>: launch the Tess text editor",
    "textedit: launch text editor [OBSELETE]",
    "textedit: type #end# to exit",
    "textedit: type #save# to save and exit",
    "stopwatch: run stopwatch. press ESCAPE to exit.",
    "CREDITS: SHOW CREDITS AND COPYRIGHTS",
};

// The commands `help TOPIC` explains, matched exactly (in lower case).
struct HelpTopic {
    char const* word;
    char const* description;
    char const* parameters;
};

HelpTopic const HelpTopics[] = {
    { "showgui", "Switches the system to graphical mode.", "Nothing" },
    { "cat", "Prints a file as text; control characters show as '.'.", "<file path>" },
    { "cp", "Copies a file to a new name; an existing target is kept.", "<source file, no spaces> <target file>" },
    { "mv", "Moves or renames a file or a directory; an existing target is kept.",
        "<source path, no spaces> <target path>" },
    { "rm", "Deletes a file; directories are removed with rmdir.", "<file path>" },
    { "df", "Shows the disk's size, used and free space in KiB.", "Nothing" },
    { "run", "Runs the MZ program at the path; the rest of the line is its arguments.",
        "<program path, no spaces> [arguments]" },
    { "net", "Shows the network card, its address, netmask, gateway and frame counters, or sets the address.",
        "Nothing, or <address>/<prefix length> [gateway]" },
    { "ping", "Sends four echo requests a second apart and shows each reply's time; Escape stops it.", "<address>" },
};

ErrorOr<void> write_on(ConsoleColor background, String const& text)
{
    Console::set_background_color(background);
    return Console::write_line(text);
}

ErrorOr<void> help(Kernel&, Argument const& argument)
{
    if (is_blank(argument)) {
        Console::set_background_color(ConsoleColor::Cyan);
        for (char const* line : HelpLines)
            TRY(Console::write_line(line));
        Console::set_background_color(ConsoleColor::Black);
        return {};
    }
    for (auto const& topic : HelpTopics) {
        if (*argument != topic.word)
            continue;
        TRY(write_on(ConsoleColor::Cyan, String("Help of command : ") + topic.word));
        TRY(write_on(ConsoleColor::Black, topic.description));
        TRY(write_on(ConsoleColor::Cyan, String("Parameters : ") + topic.parameters));
        Console::set_background_color(ConsoleColor::Black);
        return {};
    }
    // The red background stays in force: the message is meant to stand out
    // until a command resets it.
    return write_on(ConsoleColor::Red, "CAN'T PARSE ARGUMENT : " + *argument);
}

ErrorOr<void> debughlp(Kernel&, Argument const&)
{
    TRY(write_on(ConsoleColor::Cyan, "Tessary Developer Help : Page 1/1"));
    TRY(Console::write_line(String::repeated(u'-', 33)));
    Console::set_background_color(ConsoleColor::Black);
    return {};
}

ErrorOr<void> cls(Kernel& kernel, Argument const&)
{
    Console::clear();
    kernel.restart_shell(false);
    return {};
}

ErrorOr<void> chmod(Kernel&, Argument const& argument)
{
    if (is_blank(argument))
        return write_usage("USAGE: chmod <file/folder path> <permissions>");
    return {};
}

ErrorOr<void> info(Kernel&, Argument const&)
{
    TRY(write_on(ConsoleColor::Cyan, "SYSTEM INFORMATION"));
    TRY(write_on(ConsoleColor::DarkCyan, "Tessary 0.2 Dev"));
    TRY(Console::write_line("Development build: features and file formats may still change."));
    Console::write_line();
    TRY(Console::write_line("Created with Vantor User Kit 92560"));
    TRY(Console::write("For more informations, go to "));
    Console::set_foreground_color(ConsoleColor::Red);
    TRY(Console::write("https://userkit.vantor.example"));
    Console::set_foreground_color(ConsoleColor::White);
    TRY(Console::write_line("."));
    Console::write_line();
    TRY(write_on(ConsoleColor::Cyan, "COMPUTER INFORMATION"));
    Console::set_background_color(ConsoleColor::DarkMagenta);
    return {};
}

ErrorOr<void> write_time(char const* label, String const& value)
{
    TRY(Console::write(label));
    Console::set_foreground_color(ConsoleColor::Cyan);
    TRY(Console::write_line(value));
    Console::set_foreground_color(ConsoleColor::White);
    return {};
}

ErrorOr<void> show_time(Kernel&, Argument const&)
{
    TRY(write_time("24-hours time: ", Time::twenty_four_hour_to_string()));
    return write_time("12-hours time: ", Time::twelve_hour_to_string());
}

// A file that cannot be read comes back as the text "Error!", which holds no
// statement, so the script runs and does nothing.
ErrorOr<void> tsc(Kernel& kernel, Argument const& argument)
{
    if (is_blank(argument))
        return write_usage("USAGE: tsc <file path>");
    TRY(kernel.script().run(TRY(read_text_for_display(kernel.storage(), *argument))));
    return {};
}

ErrorOr<void> nothing(Kernel&, Argument const&) { return {}; }

// The kernel heap's figures, read before the line that reports them is
// built: over a long session the bytes in use come back to the same figure
// unless something leaks.
ErrorOr<void> mem(Kernel&, Argument const&)
{
    FreeListHeap const& heap = Heap::instance();
    size_t used = heap.used_bytes();
    size_t free = heap.free_bytes();
    size_t largest = heap.largest_free_block();
    return Console::write_line("Heap: " + String::number(used) + " bytes in use, " + String::number(free)
        + " free, largest free block " + String::number(largest));
}

// Echoes the name of every key pressed until Escape, on a keyboard of its
// own; leaving the scope hands the keys back to the console.
ErrorOr<void> keybrd(Kernel&, Argument const&)
{
    Keyboard keyboard;
    for (;;) {
        ConsoleKey key = keyboard.read_mapping().key;
        TRY(Console::write_line(get_key_from_key(key)));
        if (key == ConsoleKey::Escape)
            return {};
    }
}

// The pause after each step of the progress-bar demonstration: the first
// rule that divides the value.
u32 progress_pause(i32 value)
{
    struct Rule {
        i32 divisor;
        u32 milliseconds;
    };
    static Rule const Rules[] = { { 10, 200 }, { 5, 600 }, { 4, 100 }, { 6, 800 }, { 3, 750 }, { 2, 400 } };
    for (auto const& rule : Rules) {
        if (value % rule.divisor == 0)
            return rule.milliseconds;
    }
    return 500;
}

ErrorOr<void> testprogbar(Kernel&, Argument const&)
{
    ProgressBar bar(0, true);
    TRY(bar.refresh());
    TRY(bar.refresh());
    while (bar.value() < 100) {
        u32 pause = progress_pause(bar.value());
        TRY(bar.increment());
        Time::wait_ms(pause);
    }
    return {};
}

}

void register_shell_commands(Vector<Command>& table)
{
    table.append({ "help", help });
    table.append({ "debughlp", debughlp });
    table.append({ "cls", cls });
    table.append({ "chmod", chmod });
    table.append({ "info", info });
    table.append({ "time", show_time });
    table.append({ "tsc", tsc });
    table.append({ "bas", nothing });
    table.append({ "keybrd", keybrd });
    table.append({ "testprogbar", testprogbar });
    table.append({ "mem", mem });
}
