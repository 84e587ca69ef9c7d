#include "kernel/Commands.h"

#include "hal/Console.h"
#include "kernel/DiskCommands.h"
#include "kernel/Editors.h"
#include "kernel/Games.h"
#include "kernel/GraphicsCommands.h"
#include "kernel/PciCommands.h"
#include "kernel/PowerCommands.h"
#include "kernel/ProgramCommands.h"
#include "kernel/ShellCommands.h"

void RegisterCommands(Vector<Command>& table)
{
    RegisterDiskCommands(table);
    RegisterPciCommands(table);
    RegisterGraphicsCommands(table);
    RegisterPowerCommands(table);
    RegisterProgramCommands(table);
    RegisterShellCommands(table);
    RegisterGameCommands(table);
    RegisterEditorCommands(table);
}

ErrorOr<void> WriteUsage(String const& text)
{
    Console::SetBackgroundColor(ConsoleColor::Blue);
    TRY(Console::WriteLine(text));
    Console::SetBackgroundColor(ConsoleColor::Black);
    return {};
}

ErrorOr<void> WriteError(String const& message)
{
    Console::SetBackgroundColor(ConsoleColor::Red);
    TRY(Console::WriteLine("ERROR: " + message));
    Console::SetBackgroundColor(ConsoleColor::Black);
    return {};
}
