#include "kernel/TessScript.h"

#include "hal/Console.h"

Vector<String> TessScript::stack;

namespace {

ErrorOr<void> run_line(String const& line)
{
    // Statements are matched exactly, case included; a carriage return left
    // by a CR LF file is part of the line, so "wfk\r" is not "wfk".
    if (line.starts_with("push "))
        TessScript::stack.append(line.substring(5));
    if (line.starts_with("push$ "))
        TessScript::stack.append(line.substring(6));
    if (line.starts_with("wait "))
        TRY(Console::WriteLine("WAIT function not implemented!"));
    if (line == "wfk")
        TRY(Console::ReadKey());
    if (line == "cls")
        Console::Clear();
    return {};
}

}

ErrorOr<i32> TessScript::Run(String const& script)
{
    Vector<String> lines = script.split(u'\n');
    for (size_t i = 0; i + 1 < lines.size(); ++i)
        TRY(run_line(lines[i]));
    return 0;
}
