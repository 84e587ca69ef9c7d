#include "kernel/ShellCommands.h"

#include "hal/Console.h"
#include "hal/Heap.h"
#include "hal/Time.h"
#include "kernel/Commands.h"
#include "kernel/DiskCommands.h"
#include "kernel/Output.h"
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

ErrorOr<void> write_on(ConsoleColor background, String const& text)
{
    Console::SetBackgroundColor(background);
    return Console::WriteLine(text);
}

ErrorOr<void> help(Kernel&, Argument const& argument)
{
    if (IsBlank(argument)) {
        Console::SetBackgroundColor(ConsoleColor::Cyan);
        for (char const* line : HelpLines)
            TRY(Console::WriteLine(line));
        Console::SetBackgroundColor(ConsoleColor::Black);
        return {};
    }
    if (*argument == "showgui") {
        TRY(write_on(ConsoleColor::Cyan, "Help of command : showgui"));
        TRY(write_on(ConsoleColor::Black, "Switches the system to graphical mode."));
        TRY(write_on(ConsoleColor::Cyan, "Parameters : Nothing"));
        Console::SetBackgroundColor(ConsoleColor::Black);
        return {};
    }
    // The red background stays in force: the message is meant to stand out
    // until a command resets it.
    return write_on(ConsoleColor::Red, "CAN'T PARSE ARGUMENT : " + *argument);
}

ErrorOr<void> debughlp(Kernel&, Argument const&)
{
    TRY(write_on(ConsoleColor::Cyan, "Tessary Developer Help : Page 1/1"));
    TRY(Console::WriteLine(String::repeated(u'-', 33)));
    Console::SetBackgroundColor(ConsoleColor::Black);
    return {};
}

ErrorOr<void> cls(Kernel& kernel, Argument const&)
{
    Console::Clear();
    kernel.RestartShell(false);
    return {};
}

ErrorOr<void> chmod(Kernel&, Argument const& argument)
{
    if (IsBlank(argument))
        return WriteUsage("USAGE: chmod <file/folder path> <permissions>");
    return {};
}

ErrorOr<void> info(Kernel&, Argument const&)
{
    TRY(write_on(ConsoleColor::Cyan, "SYSTEM INFORMATION"));
    TRY(write_on(ConsoleColor::DarkCyan, "Tessary 0.2 Dev"));
    TRY(Console::WriteLine("Development build: features and file formats may still change."));
    Console::WriteLine();
    TRY(Console::WriteLine("Created with Vantor User Kit 92560"));
    TRY(Console::Write("For more informations, go to "));
    Console::SetForegroundColor(ConsoleColor::Red);
    TRY(Console::Write("https://userkit.vantor.example"));
    Console::SetForegroundColor(ConsoleColor::White);
    TRY(Console::WriteLine("."));
    Console::WriteLine();
    TRY(write_on(ConsoleColor::Cyan, "COMPUTER INFORMATION"));
    Console::SetBackgroundColor(ConsoleColor::DarkMagenta);
    return {};
}

ErrorOr<void> write_time(char const* label, String const& value)
{
    TRY(Console::Write(label));
    Console::SetForegroundColor(ConsoleColor::Cyan);
    TRY(Console::WriteLine(value));
    Console::SetForegroundColor(ConsoleColor::White);
    return {};
}

ErrorOr<void> show_time(Kernel&, Argument const&)
{
    TRY(write_time("24-hours time: ", Time::TwentyFourHourToString()));
    return write_time("12-hours time: ", Time::TwelveHourToString());
}

// A file that cannot be read comes back as the text "Error!", which holds no
// statement, so the script runs and does nothing.
ErrorOr<void> tsc(Kernel& kernel, Argument const& argument)
{
    if (IsBlank(argument))
        return WriteUsage("USAGE: tsc <file path>");
    TRY(kernel.script().Run(TRY(read_text_for_display(kernel.storage(), *argument))));
    return {};
}

ErrorOr<void> nothing(Kernel&, Argument const&) { return {}; }

// The kernel heap's figures, read before the line that reports them is
// built: over a long session the bytes in use come back to the same figure
// unless something leaks.
ErrorOr<void> mem(Kernel&, Argument const&)
{
    FreeListHeap const& heap = Heap::Instance();
    size_t used = heap.UsedBytes();
    size_t free = heap.FreeBytes();
    size_t largest = heap.LargestFreeBlock();
    return Console::WriteLine("Heap: " + String::number(used) + " bytes in use, " + String::number(free)
        + " free, largest free block " + String::number(largest));
}

// Echoes the name of every key pressed until Escape, on a keyboard of its
// own; leaving the scope hands the keys back to the console.
ErrorOr<void> keybrd(Kernel&, Argument const&)
{
    Keyboard keyboard;
    for (;;) {
        ConsoleKey key = keyboard.ReadMapping().Key;
        TRY(Console::WriteLine(getKeyFromKey(key)));
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
    static Rule const rules[] = { { 10, 200 }, { 5, 600 }, { 4, 100 }, { 6, 800 }, { 3, 750 }, { 2, 400 } };
    for (auto const& rule : rules) {
        if (value % rule.divisor == 0)
            return rule.milliseconds;
    }
    return 500;
}

ErrorOr<void> testprogbar(Kernel&, Argument const&)
{
    ProgressBar bar(0, true);
    TRY(bar.Refresh());
    TRY(bar.Refresh());
    while (bar.Value() < 100) {
        u32 pause = progress_pause(bar.Value());
        TRY(bar.Increment());
        Time::WaitMS(pause);
    }
    return {};
}

}

void RegisterShellCommands(Vector<Command>& table)
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
