#include "kernel/Editors.h"

#include "fs/TextFile.h"
#include "hal/Console.h"
#include "kernel/DiskCommands.h"
#include "kernel/Output.h"

#include <optional>

namespace {

constexpr char const* DocumentsDirectory = "/documents/";

// Documents live on the boot volume; the editors report why one could not be
// opened or saved.
ErrorOr<void> save_document(Storage& storage, String const& text, String const& file_name)
{
    return TextFile::write(*TRY(storage.filesystem()), DocumentsDirectory + file_name, text);
}

ErrorOr<String> load_document(Storage& storage, String const& file_name)
{
    return TextFile::read(*TRY(storage.filesystem()), DocumentsDirectory + file_name);
}

// A document grows with what is typed and with the file it was opened
// from, so its growth may run out of memory: that ends the editor with an
// error instead of stopping the machine.
ErrorOr<void> append(String& text, String const& more)
{
    if (!text.try_append(more))
        return Error::out_of_memory((text.length() + more.length()) * sizeof(char16_t));
    return {};
}

// The lines of a text, as split() makes them, or the out-of-memory error.
ErrorOr<Vector<String>> split_lines(String const& text)
{
    Vector<String> lines;
    size_t start = 0;
    for (size_t i = 0; i <= text.length(); ++i) {
        if (i < text.length() && text[i] != u'\n')
            continue;
        auto line = text.try_substring(start, i - start);
        if (!line || !lines.try_append(static_cast<String&&>(*line)))
            return Error::out_of_memory((i - start) * sizeof(char16_t) + sizeof(String));
        start = i + 1;
    }
    return lines;
}

// Asks for a name and saves the text as that name + ".txt"; gives the reason
// when the save failed (the caller's text stays as it was).
ErrorOr<std::optional<String>> save_as(Storage& storage, String const& text)
{
    TRY(Console::write_line("Please type the name :"));
    String name = TRY(Console::read_line());
    auto saved = save_document(storage, text, name + ".txt");
    if (saved.is_error())
        return std::optional<String>(saved.error().message());
    return std::optional<String>();
}

// "Do you want to save your file ? Y/N" until the answer is exactly Y or N;
// true for Y. The magenta background stays, as it always has.
ErrorOr<bool> ask_to_save()
{
    for (;;) {
        Console::set_background_color(ConsoleColor::Magenta);
        TRY(Console::write_line("Do you want to save your file ? Y/N"));
        String answer = TRY(Console::read_line());
        if (answer == "Y")
            return true;
        if (answer == "N")
            return false;
    }
}

ErrorOr<void> write_header(char const* const (&lines)[3])
{
    Console::set_background_color(ConsoleColor::Blue);
    for (char const* line : lines)
        TRY(Console::write_line(line));
    Console::set_background_color(ConsoleColor::Black);
    return {};
}

// TESSTEXT: before each key the editor reads a line, which joins the text
// followed by a line feed; then the key: F1 redraws an empty page, F2 saves,
// F4 leaves (asking to save first when there is text), and every other key
// is added to the text. Leaving restarts the shell without the question.
class LineEditor {
public:
    LineEditor(Kernel& kernel, Argument const& path)
        : m_kernel(kernel)
        , m_path(path)
        , m_with_path(!is_blank(path))
    {
    }

    ErrorOr<void> run()
    {
        if (m_with_path)
            m_text = TRY(read_text_for_display(m_kernel.storage(), *m_path));
        if (!m_with_path) {
            Console::set_foreground_color(ConsoleColor::Cyan);
            TRY(Console::write_line("Press ENTER to start."));
            Console::set_foreground_color(ConsoleColor::White);
            if (TRY(Console::read_key()).key != ConsoleKey::Enter)
                return {};
        }
        TRY(draw());
        for (;;) {
            TRY(append(m_text, TRY(Console::read_line())));
            TRY(append(m_text, "\n"));
            ConsoleKeyInfo key = TRY(Console::read_key());
            switch (key.key) {
            case ConsoleKey::F1:
                if (m_text.is_blank())
                    TRY(draw());
                break;
            case ConsoleKey::F2:
                TRY(save());
                break;
            case ConsoleKey::F4:
                if (m_text.is_blank() || !TRY(ask_to_save()))
                    return leave();
                TRY(save());
                break;
            default:
                TRY(append_key(key));
                break;
            }
        }
    }

private:
    ErrorOr<void> draw()
    {
        static char const* const Plain[3] = {
            "---------------F1:OPEN--F2:SAVE----------------------------------------F4:EXIT-",
            "-| A B C |--------------------------TESSTEXT-----------------------------------",
            "-------------------------------------------------------------------------------",
        };
        static char const* const WithPath[3] = {
            "---------------F1:OPEN--F2:SAVE-----------------------------------------F4:EXIT-",
            "-| A B C |--------------------------TESSTEXT------------------------------------",
            "--------------------------------------------------------------------------------",
        };
        Console::clear();
        TRY(write_header(m_with_path ? WithPath : Plain));
        if (m_with_path)
            TRY(Console::write_line(m_text));
        return {};
    }

    // Without a path keys are added by name ("a", "DEL", "LEFT", a line feed
    // for Enter); with a path by their character, so Shift gives capitals.
    // Keys whose character is only the keyboard layer's own marker (arrows,
    // Backspace) or none at all add nothing to a file.
    ErrorOr<void> append_key(ConsoleKeyInfo const& key)
    {
        if (!m_with_path)
            return append(m_text, get_key_from_key(key.key));
        if (key.key_char != 0 && key.key_char < 0x100)
            return append(m_text, String::repeated(key.key_char, 1));
        return {};
    }

    ErrorOr<void> save()
    {
        auto failure = TRY(save_as(m_kernel.storage(), m_text));
        if (failure)
            TRY(write_error(*failure));
        return {};
    }

    ErrorOr<void> leave()
    {
        Console::clear();
        m_kernel.restart_shell(true);
        return {};
    }

    Kernel& m_kernel;
    Argument m_path;
    bool m_with_path;
    String m_text;
};

ErrorOr<void> textedit(Kernel& kernel, Argument const& argument)
{
    LineEditor editor(kernel, argument);
    return editor.run();
}

// TSWRITE: a full-screen editor under its header. Typing inserts at the
// cursor, Enter splits the line, Backspace joins or deletes, the arrows move
// the cursor; F1 opens a document, F2 saves one, F4 leaves after the save
// question. Questions and errors use the row under the text.
class ScreenEditor {
public:
    explicit ScreenEditor(Storage& storage)
        : m_storage(storage)
    {
    }

    ErrorOr<void> run()
    {
        for (;;) {
            TRY(draw());
            ConsoleKeyInfo key = TRY(Console::read_key(true));
            m_message = {};
            switch (key.key) {
            case ConsoleKey::F1:
                TRY(open());
                break;
            case ConsoleKey::F2:
                TRY(save());
                break;
            case ConsoleKey::F4:
                if (TRY(leave()))
                    return {};
                break;
            case ConsoleKey::Enter:
                split_line();
                break;
            case ConsoleKey::Backspace:
                erase();
                break;
            case ConsoleKey::LeftArrow:
            case ConsoleKey::RightArrow:
            case ConsoleKey::UpArrow:
            case ConsoleKey::DownArrow:
                move_cursor(key.key);
                break;
            default:
                if (key.key_char >= u' ' && key.key_char < 0x100)
                    insert(key.key_char);
                break;
            }
        }
    }

    ErrorOr<String> text() const
    {
        String text;
        for (size_t i = 0; i < m_lines.size(); ++i) {
            if (i > 0)
                TRY(append(text, "\n"));
            TRY(append(text, m_lines[i]));
        }
        return text;
    }

private:
    static constexpr i32 Width = Console::window_width();
    static constexpr i32 HeaderRows = 3;
    // Rows 3-22 show the text; row 23 takes questions and messages, whose
    // line end then lands on row 24 without scrolling the screen.
    static constexpr i32 TextRows = 20;
    static constexpr i32 PromptRow = HeaderRows + TextRows;

    void to_prompt_row()
    {
        Console::set_cursor_top(PromptRow);
        Console::set_cursor_left(0);
    }

    ErrorOr<void> draw()
    {
        Console::clear();
        Console::set_background_color(ConsoleColor::Blue);
        // Each header line is exactly one row wide and wraps to the next.
        TRY(Console::write("-F1:OPEN--F2:SAVE-------------------------------------------------------F4:EXIT-"));
        TRY(Console::write("------------------------------------TSWRITE-------------------------------------"));
        TRY(Console::write(String::repeated(u'-', static_cast<size_t>(Width))));
        Console::set_background_color(ConsoleColor::Black);
        if (m_row < m_top)
            m_top = m_row;
        if (m_row >= m_top + TextRows)
            m_top = m_row - TextRows + 1;
        for (i32 i = 0; i < TextRows && static_cast<size_t>(m_top + i) < m_lines.size(); ++i) {
            String const& line = m_lines[static_cast<size_t>(m_top + i)];
            Console::set_cursor_top(HeaderRows + i);
            Console::set_cursor_left(0);
            // Long lines are cut at the screen's edge rather than wrapped.
            TRY(Console::write(line.length() > Width ? line.substring(0, Width) : line));
        }
        if (!m_message.is_empty()) {
            to_prompt_row();
            Console::set_background_color(ConsoleColor::Red);
            TRY(Console::write(m_message));
            Console::set_background_color(ConsoleColor::Black);
        }
        Console::set_cursor_top(HeaderRows + m_row - m_top);
        Console::set_cursor_left(m_column < Width ? m_column : Width - 1);
        return {};
    }

    ErrorOr<void> save()
    {
        to_prompt_row();
        // The file ends with a line feed, so that a script written here keeps
        // its last statement (TessScript runs up to the last line feed); a
        // last line left empty already gives it one.
        String content = TRY(text());
        if (!m_lines.last().is_empty())
            TRY(append(content, "\n"));
        auto failure = TRY(save_as(m_storage, content));
        if (failure)
            m_message = "ERROR: " + *failure;
        return {};
    }

    // The save question when there is text; true when the editor may close.
    ErrorOr<bool> leave()
    {
        if (!is_blank()) {
            to_prompt_row();
            bool wants_save = TRY(ask_to_save());
            Console::set_background_color(ConsoleColor::Black);
            if (wants_save) {
                TRY(save());
                if (!m_message.is_empty())
                    return false;
            }
        }
        Console::clear();
        return true;
    }

    ErrorOr<void> open()
    {
        to_prompt_row();
        TRY(Console::write_line("Please type the name :"));
        String name = TRY(Console::read_line());
        auto text = load_document(m_storage, name + ".txt");
        if (text.is_error()) {
            m_message = "ERROR: " + text.error().message();
            return {};
        }
        auto lines = split_lines(text.value());
        if (lines.is_error()) {
            m_message = "ERROR: " + lines.error().message();
            return {};
        }
        m_lines = lines.release_value();
        m_row = 0;
        m_column = 0;
        m_top = 0;
        return {};
    }

    bool is_blank() const
    {
        for (auto const& line : m_lines) {
            if (!line.is_blank())
                return false;
        }
        return true;
    }

    String& line() { return m_lines[static_cast<size_t>(m_row)]; }
    i32 line_length(i32 row) const { return static_cast<i32>(m_lines[static_cast<size_t>(row)].length()); }

    void insert(char16_t c)
    {
        line().insert(static_cast<size_t>(m_column), c);
        ++m_column;
    }

    void split_line()
    {
        String rest = line().substring(static_cast<size_t>(m_column));
        line() = line().substring(0, static_cast<size_t>(m_column));
        m_lines.insert(static_cast<size_t>(m_row) + 1, rest);
        ++m_row;
        m_column = 0;
    }

    void erase()
    {
        if (m_column > 0) {
            line().remove(static_cast<size_t>(--m_column));
            return;
        }
        if (m_row == 0)
            return;
        String joined = line();
        m_lines.remove(static_cast<size_t>(m_row));
        --m_row;
        m_column = line_length(m_row);
        line() += joined;
    }

    void move_cursor(ConsoleKey key)
    {
        i32 last_row = static_cast<i32>(m_lines.size()) - 1;
        if (key == ConsoleKey::LeftArrow) {
            if (m_column > 0)
                --m_column;
            else if (m_row > 0)
                m_column = line_length(--m_row);
        } else if (key == ConsoleKey::RightArrow) {
            if (m_column < line_length(m_row))
                ++m_column;
            else if (m_row < last_row) {
                ++m_row;
                m_column = 0;
            }
        } else if (key == ConsoleKey::UpArrow) {
            if (m_row > 0)
                --m_row;
        } else if (m_row < last_row) {
            ++m_row;
        }
        if (m_column > line_length(m_row))
            m_column = line_length(m_row);
    }

    Vector<String> m_lines { String() };
    i32 m_row { 0 };
    i32 m_column { 0 };
    Storage& m_storage;
    i32 m_top { 0 };
    String m_message;
};

ErrorOr<void> tswrite(Kernel& kernel, Argument const& argument)
{
    Console::clear();
    if (!is_blank(argument))
        return {};
    ScreenEditor editor(kernel.storage());
    return editor.run();
}

}

void register_editor_commands(Vector<Command>& table)
{
    table.append({ "textedit", textedit });
    table.append({ "tswrite", tswrite });
}
