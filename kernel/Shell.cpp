#include "kernel/Shell.h"

Vector<String> split_at_first_space(String const& line)
{
    Vector<String> parts;
    if (line.is_empty())
        return parts;
    i32 space = line.index_of(u' ');
    if (space < 0) {
        parts.append(line);
        return parts;
    }
    parts.append(line.substring(0, static_cast<size_t>(space)));
    parts.append(line.substring(static_cast<size_t>(space) + 1));
    return parts;
}

String get_key_from_key(ConsoleKey key)
{
    i32 value = static_cast<i32>(key);
    switch (key) {
    case ConsoleKey::Backspace:
        return "DEL";
    case ConsoleKey::Enter:
        return "\n";
    case ConsoleKey::Escape:
        return "ESC";
    case ConsoleKey::Spacebar:
        return " ";
    case ConsoleKey::LeftArrow:
        return "LEFT";
    case ConsoleKey::UpArrow:
        return "UP";
    case ConsoleKey::RightArrow:
        return "RIGHT";
    case ConsoleKey::DownArrow:
        return "DOWN";
    default:
        break;
    }
    if (value >= 65 && value <= 90)
        return String::repeated(static_cast<char16_t>(u'a' + (value - 65)), 1);
    return {};
}

bool escape_pressed(Keyboard& keyboard)
{
    ConsoleKey key;
    while (keyboard.get_key(key)) {
        if (key == ConsoleKey::Escape)
            return true;
    }
    return false;
}
