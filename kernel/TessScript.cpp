#include "kernel/TessScript.h"

#include "hal/Console.h"

namespace {

// One line of the script: a view into its text, so running a script as long
// as a file copies nothing but the text a statement keeps.
struct Line {
    String const& script;
    size_t start;
    size_t length;

    bool is(char const* text) const { return length == __builtin_strlen(text) && starts_with(text); }
    bool starts_with(char const* prefix) const
    {
        size_t n = __builtin_strlen(prefix);
        if (n > length)
            return false;
        for (size_t i = 0; i < n; ++i) {
            if (script[start + i] != static_cast<u8>(prefix[i]))
                return false;
        }
        return true;
    }
    // The text after the first `skip` characters. A script can push as
    // much as its file holds, so the copy may fail.
    ErrorOr<String> rest(size_t skip) const
    {
        auto text = script.try_substring(start + skip, length - skip);
        if (!text)
            return Error::out_of_memory((length - skip) * sizeof(char16_t));
        return static_cast<String&&>(*text);
    }
};

ErrorOr<void> push(Vector<String>& stack, String text)
{
    if (!stack.try_append(static_cast<String&&>(text)))
        return Error::out_of_memory((stack.size() + 1) * sizeof(String));
    return {};
}

ErrorOr<void> run_line(Line const& line, Vector<String>& stack)
{
    // Statements are matched exactly, case included; a carriage return left
    // by a CR LF file is part of the line, so "wfk\r" is not "wfk".
    if (line.starts_with("push "))
        TRY(push(stack, TRY(line.rest(5))));
    if (line.starts_with("push$ "))
        TRY(push(stack, TRY(line.rest(6))));
    if (line.starts_with("wait "))
        TRY(Console::write_line("WAIT function not implemented!"));
    if (line.is("wfk"))
        TRY(Console::read_key());
    if (line.is("cls"))
        Console::clear();
    return {};
}

}

ErrorOr<i32> TessScript::run(String const& script)
{
    // Only lines ended by a line feed run: text after the last one does not.
    size_t start = 0;
    for (size_t i = 0; i < script.length(); ++i) {
        if (script[i] != u'\n')
            continue;
        TRY(run_line(Line { script, start, i - start }, m_stack));
        start = i + 1;
    }
    return 0;
}
