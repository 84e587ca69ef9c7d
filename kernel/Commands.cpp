#include "kernel/Commands.h"

#include "hal/Console.h"

void RegisterCommands(Vector<Command>&)
{
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
