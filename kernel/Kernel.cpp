#include "kernel/Kernel.h"

#include "arch/Runtime.h"
#include "hal/Console.h"
#include "hal/Debugger.h"
#include "hal/Time.h"
#include "kernel/Commands.h"
#include "kernel/DiskCommands.h"

namespace {

// The system name in '@' letters: "TESS" in red on the left, "ARY" in cyan on
// the right.
char const* const BannerLeft[6] = {
    "@@@@@ @@@@@ @@@@@ @@@@@ ",
    "  @   @     @     @     ",
    "  @   @@@@  @@@@@ @@@@@ ",
    "  @   @         @     @ ",
    "  @   @         @     @ ",
    "  @   @@@@@ @@@@@ @@@@@ ",
};
char const* const BannerRight[6] = {
    " @@  @@@  @ @",
    "@  @ @  @ @ @ ",
    "@@@@ @@@   @ ",
    "@  @ @ @   @ ",
    "@  @ @  @  @  ",
    "@  @ @  @  @ ",
};

struct ColoredLetter {
    char16_t letter;
    u8 color;
};
ColoredLetter const StartingKernel[] = {
    { u'S', 12 },
    { u't', 10 },
    { u'a', 9 },
    { u'r', 11 },
    { u't', 14 },
    { u'i', 3 },
    { u'n', 5 },
    { u'g', 13 },
    { u' ', 8 },
    { u'k', 2 },
    { u'e', 4 },
    { u'r', 6 },
    { u'n', 7 },
    { u'e', 9 },
    { u'l', 12 },
    { u'.', 15 },
    { u'.', 15 },
    { u'.', 15 },
};

void colors(u8 foreground)
{
    Console::Writer().Screen().SetColors(foreground, 0);
}

}

void RunKernel()
{
    // Lives in this frame, which the system never leaves while it runs.
    Kernel kernel;
    auto result = kernel.Start();
    if (result.is_error())
        (void)Console::WriteLine(result.error().message());
}

Kernel::Kernel() { RegisterCommands(m_commands); }

void Kernel::RestartShell(bool skipQuestion)
{
    skipBootQuestion = skipQuestion;
    m_restartPending = true;
}

namespace {
void (*g_after_boot_screen)(Kernel&) = nullptr;
}

void Kernel::run_after_boot_screen(void (*task)(Kernel& kernel)) { g_after_boot_screen = task; }

ErrorOr<void> Kernel::BeforeRun()
{
    Console::Clear();
    for (int row = 0; row < 6; ++row) {
        colors(12);
        TRY(Console::Write(BannerLeft[row]));
        colors(11);
        TRY(Console::WriteLine(BannerRight[row]));
    }
    colors(5);
    TRY(Console::WriteLine("Tessary 0.2 Booting..."));
    Time::Wait(2);
    colors(15);
    TRY(Console::WriteLine("Checking Memory..."));
    Time::Wait(1);
    TRY(Console::Write("Memory: " + String::number(GetAmountOfRAM() + 2) + " MB "));
    colors(10);
    TRY(Console::WriteLine("OK"));
    colors(15);
    size_t count = sizeof StartingKernel / sizeof StartingKernel[0];
    for (size_t i = 0; i < count; ++i) {
        colors(StartingKernel[i].color);
        if (i + 1 < count)
            TRY(Console::Write(StartingKernel[i].letter));
        else
            TRY(Console::WriteLine(String::repeated(StartingKernel[i].letter, 1)));
    }
    Time::Wait(1);
    colors(15);
    TRY(Console::Write("Creating partitions..."));
    TRY(DetectAndMountDisks(storage()));
    colors(10);
    TRY(Console::WriteLine("OK"));
    colors(15);
    Debugger::Send("Boot screen done");
    return {};
}

ErrorOr<void> Kernel::Run()
{
    if (g_after_boot_screen)
        g_after_boot_screen(*this);
    if (m_restartPending) {
        m_restartPending = false;
        Console::Clear();
        TRY(BeforeRun());
    }
    if (skipBootQuestion) {
        skipBootQuestion = false;
        return PromptLoop();
    }
    TRY(Console::WriteLine("Do you want to boot on DOS or on GUI? DOS/GUI"));
    String answer = TRY(Console::ReadLine());
    if (answer == "DOS")
        return PromptLoop();
    if (answer == "GUI")
        return m_desktop.run();
    // Anything else returns, and the run loop asks again.
    return {};
}

ErrorOr<void> Kernel::WritePrompt()
{
    Console::SetForegroundColor(ConsoleColor::Yellow);
    TRY(Console::Write("root "));
    Console::SetForegroundColor(ConsoleColor::Red);
    TRY(Console::Write("~"));
    TRY(Console::Write(m_current_directory));
    TRY(Console::Write(" "));
    Console::SetForegroundColor(ConsoleColor::Blue);
    TRY(Console::Write("# "));
    Console::SetForegroundColor(ConsoleColor::White);
    return {};
}

ErrorOr<void> Kernel::PromptLoop()
{
    Debugger::Send("Shell started");
    while (!m_restartPending) {
        TRY(WritePrompt());
        String line = TRY(Console::ReadLine());
        Vector<String> parts = SplitAtFirstSpace(line);
        String word = parts.size() > 0 ? parts[0] : String();
        Argument argument;
        if (parts.size() > 1)
            argument = parts[1];
        auto result = RunCommand(word, argument);
        if (result.is_error()) {
            Debugger::Send("Command " + word + " failed: " + result.error().message());
            TRY(WriteError(result.error().message()));
        }
    }
    return {};
}

ErrorOr<void> Kernel::RunCommand(String const& word, Argument const& argument)
{
    String command = word.to_lower();
    for (auto const& entry : m_commands) {
        if (command == entry.word)
            return entry.handler(*this, argument);
    }
    if (word.is_empty())
        return {};
    Console::SetBackgroundColor(ConsoleColor::Red);
    TRY(Console::WriteLine("UNKNOWN COMMAND: " + word));
    Console::SetBackgroundColor(ConsoleColor::Black);
    return {};
}
