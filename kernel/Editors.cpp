#include "kernel/Editors.h"

#include "fs/TextFile.h"
#include "hal/Console.h"
#include "kernel/Commands.h"
#include "kernel/DiskCommands.h"

#include <optional>

namespace {

constexpr char const* DocumentsDirectory = "/documents/";

// Documents live in the root file system; the editors report why one could
// not be opened or saved.
ErrorOr<void> save_document(Filesystem& files, String const& text, String const& fileName)
{
    return TextFile::write(files, DocumentsDirectory + fileName, text);
}

ErrorOr<String> load_document(Filesystem& files, String const& fileName)
{
    return TextFile::read(files, DocumentsDirectory + fileName);
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
ErrorOr<std::optional<String>> save_as(Filesystem& files, String const& text)
{
    TRY(Console::WriteLine("Please type the name :"));
    String name = TRY(Console::ReadLine());
    auto saved = save_document(files, text, name + ".txt");
    if (saved.is_error())
        return std::optional<String>(saved.error().message());
    return std::optional<String>();
}

// "Do you want to save your file ? Y/N" until the answer is exactly Y or N;
// true for Y. The magenta background stays, as it always has.
ErrorOr<bool> ask_to_save()
{
    for (;;) {
        Console::SetBackgroundColor(ConsoleColor::Magenta);
        TRY(Console::WriteLine("Do you want to save your file ? Y/N"));
        String answer = TRY(Console::ReadLine());
        if (answer == "Y")
            return true;
        if (answer == "N")
            return false;
    }
}

ErrorOr<void> write_header(char const* const (&lines)[3])
{
    Console::SetBackgroundColor(ConsoleColor::Blue);
    for (char const* line : lines)
        TRY(Console::WriteLine(line));
    Console::SetBackgroundColor(ConsoleColor::Black);
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
        , m_withPath(!IsBlank(path))
    {
    }

    ErrorOr<void> Run()
    {
        if (m_withPath)
            m_text = TRY(read_text_for_display(m_kernel.storage(), *m_path));
        if (!m_withPath) {
            Console::SetForegroundColor(ConsoleColor::Cyan);
            TRY(Console::WriteLine("Press ENTER to start."));
            Console::SetForegroundColor(ConsoleColor::White);
            if (TRY(Console::ReadKey()).Key != ConsoleKey::Enter)
                return {};
        }
        TRY(Draw());
        for (;;) {
            TRY(append(m_text, TRY(Console::ReadLine())));
            TRY(append(m_text, "\n"));
            ConsoleKeyInfo key = TRY(Console::ReadKey());
            switch (key.Key) {
            case ConsoleKey::F1:
                if (m_text.is_blank())
                    TRY(Draw());
                break;
            case ConsoleKey::F2:
                TRY(Save());
                break;
            case ConsoleKey::F4:
                if (m_text.is_blank() || !TRY(ask_to_save()))
                    return Leave();
                TRY(Save());
                break;
            default:
                TRY(Append(key));
                break;
            }
        }
    }

private:
    ErrorOr<void> Draw()
    {
        static char const* const plain[3] = {
            "---------------F1:OPEN--F2:SAVE----------------------------------------F4:EXIT-",
            "-| A B C |--------------------------TESSTEXT-----------------------------------",
            "-------------------------------------------------------------------------------",
        };
        static char const* const withPath[3] = {
            "---------------F1:OPEN--F2:SAVE-----------------------------------------F4:EXIT-",
            "-| A B C |--------------------------TESSTEXT------------------------------------",
            "--------------------------------------------------------------------------------",
        };
        Console::Clear();
        TRY(write_header(m_withPath ? withPath : plain));
        if (m_withPath)
            TRY(Console::WriteLine(m_text));
        return {};
    }

    // Without a path keys are added by name ("a", "DEL", "LEFT", a line feed
    // for Enter); with a path by their character, so Shift gives capitals.
    // Keys whose character is only the keyboard layer's own marker (arrows,
    // Backspace) or none at all add nothing to a file.
    ErrorOr<void> Append(ConsoleKeyInfo const& key)
    {
        if (!m_withPath)
            return append(m_text, getKeyFromKey(key.Key));
        if (key.KeyChar != 0 && key.KeyChar < 0x100)
            return append(m_text, String::repeated(key.KeyChar, 1));
        return {};
    }

    ErrorOr<void> Save()
    {
        auto failure = TRY(save_as(m_kernel.storage().root(), m_text));
        if (failure)
            TRY(WriteError(*failure));
        return {};
    }

    ErrorOr<void> Leave()
    {
        Console::Clear();
        m_kernel.RestartShell(true);
        return {};
    }

    Kernel& m_kernel;
    Argument m_path;
    bool m_withPath;
    String m_text;
};

ErrorOr<void> textedit(Kernel& kernel, Argument const& argument)
{
    LineEditor editor(kernel, argument);
    return editor.Run();
}

// TSWRITE: a full-screen editor under its header. Typing inserts at the
// cursor, Enter splits the line, Backspace joins or deletes, the arrows move
// the cursor; F1 opens a document, F2 saves one, F4 leaves after the save
// question. Questions and errors use the row under the text.
class ScreenEditor {
public:
    explicit ScreenEditor(Filesystem& files)
        : m_files(files)
    {
    }

    ErrorOr<void> Run()
    {
        for (;;) {
            TRY(Draw());
            ConsoleKeyInfo key = TRY(Console::ReadKey(true));
            m_message = {};
            switch (key.Key) {
            case ConsoleKey::F1:
                TRY(Open());
                break;
            case ConsoleKey::F2:
                TRY(Save());
                break;
            case ConsoleKey::F4:
                if (TRY(Leave()))
                    return {};
                break;
            case ConsoleKey::Enter:
                SplitLine();
                break;
            case ConsoleKey::Backspace:
                Erase();
                break;
            case ConsoleKey::LeftArrow:
            case ConsoleKey::RightArrow:
            case ConsoleKey::UpArrow:
            case ConsoleKey::DownArrow:
                MoveCursor(key.Key);
                break;
            default:
                if (key.KeyChar >= u' ' && key.KeyChar < 0x100)
                    Insert(key.KeyChar);
                break;
            }
        }
    }

    ErrorOr<String> Text() const
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
    static constexpr i32 Width = Console::WindowWidth();
    static constexpr i32 HeaderRows = 3;
    // Rows 3-22 show the text; row 23 takes questions and messages, whose
    // line end then lands on row 24 without scrolling the screen.
    static constexpr i32 TextRows = 20;
    static constexpr i32 PromptRow = HeaderRows + TextRows;

    void ToPromptRow()
    {
        Console::SetCursorTop(PromptRow);
        Console::SetCursorLeft(0);
    }

    ErrorOr<void> Draw()
    {
        Console::Clear();
        Console::SetBackgroundColor(ConsoleColor::Blue);
        // Each header line is exactly one row wide and wraps to the next.
        TRY(Console::Write("-F1:OPEN--F2:SAVE-------------------------------------------------------F4:EXIT-"));
        TRY(Console::Write("------------------------------------TSWRITE-------------------------------------"));
        TRY(Console::Write(String::repeated(u'-', static_cast<size_t>(Width))));
        Console::SetBackgroundColor(ConsoleColor::Black);
        if (m_row < m_top)
            m_top = m_row;
        if (m_row >= m_top + TextRows)
            m_top = m_row - TextRows + 1;
        for (i32 i = 0; i < TextRows && static_cast<size_t>(m_top + i) < m_lines.size(); ++i) {
            String const& line = m_lines[static_cast<size_t>(m_top + i)];
            Console::SetCursorTop(HeaderRows + i);
            Console::SetCursorLeft(0);
            // Long lines are cut at the screen's edge rather than wrapped.
            TRY(Console::Write(line.length() > Width ? line.substring(0, Width) : line));
        }
        if (!m_message.is_empty()) {
            ToPromptRow();
            Console::SetBackgroundColor(ConsoleColor::Red);
            TRY(Console::Write(m_message));
            Console::SetBackgroundColor(ConsoleColor::Black);
        }
        Console::SetCursorTop(HeaderRows + m_row - m_top);
        Console::SetCursorLeft(m_column < Width ? m_column : Width - 1);
        return {};
    }

    ErrorOr<void> Save()
    {
        ToPromptRow();
        // The file ends with a line feed, so that a script written here keeps
        // its last statement (TessScript runs up to the last line feed); a
        // last line left empty already gives it one.
        String text = TRY(Text());
        if (!m_lines.last().is_empty())
            TRY(append(text, "\n"));
        auto failure = TRY(save_as(m_files, text));
        if (failure)
            m_message = "ERROR: " + *failure;
        return {};
    }

    // The save question when there is text; true when the editor may close.
    ErrorOr<bool> Leave()
    {
        if (!IsBlank()) {
            ToPromptRow();
            bool save = TRY(ask_to_save());
            Console::SetBackgroundColor(ConsoleColor::Black);
            if (save) {
                TRY(Save());
                if (!m_message.is_empty())
                    return false;
            }
        }
        Console::Clear();
        return true;
    }

    ErrorOr<void> Open()
    {
        ToPromptRow();
        TRY(Console::WriteLine("Please type the name :"));
        String name = TRY(Console::ReadLine());
        auto text = load_document(m_files, name + ".txt");
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

    bool IsBlank() const
    {
        for (auto const& line : m_lines) {
            if (!line.is_blank())
                return false;
        }
        return true;
    }

    String& Line() { return m_lines[static_cast<size_t>(m_row)]; }
    i32 LineLength(i32 row) const { return static_cast<i32>(m_lines[static_cast<size_t>(row)].length()); }

    void Insert(char16_t c)
    {
        Line().insert(static_cast<size_t>(m_column), c);
        ++m_column;
    }

    void SplitLine()
    {
        String rest = Line().substring(static_cast<size_t>(m_column));
        Line() = Line().substring(0, static_cast<size_t>(m_column));
        m_lines.insert(static_cast<size_t>(m_row) + 1, rest);
        ++m_row;
        m_column = 0;
    }

    void Erase()
    {
        if (m_column > 0) {
            Line().remove(static_cast<size_t>(--m_column));
            return;
        }
        if (m_row == 0)
            return;
        String joined = Line();
        m_lines.remove(static_cast<size_t>(m_row));
        --m_row;
        m_column = LineLength(m_row);
        Line() += joined;
    }

    void MoveCursor(ConsoleKey key)
    {
        i32 lastRow = static_cast<i32>(m_lines.size()) - 1;
        if (key == ConsoleKey::LeftArrow) {
            if (m_column > 0)
                --m_column;
            else if (m_row > 0)
                m_column = LineLength(--m_row);
        } else if (key == ConsoleKey::RightArrow) {
            if (m_column < LineLength(m_row))
                ++m_column;
            else if (m_row < lastRow) {
                ++m_row;
                m_column = 0;
            }
        } else if (key == ConsoleKey::UpArrow) {
            if (m_row > 0)
                --m_row;
        } else if (m_row < lastRow) {
            ++m_row;
        }
        if (m_column > LineLength(m_row))
            m_column = LineLength(m_row);
    }

    Vector<String> m_lines { String() };
    i32 m_row { 0 };
    i32 m_column { 0 };
    Filesystem& m_files;
    i32 m_top { 0 };
    String m_message;
};

ErrorOr<void> tswrite(Kernel& kernel, Argument const& argument)
{
    Console::Clear();
    if (!IsBlank(argument))
        return {};
    ScreenEditor editor(kernel.storage().root());
    return editor.Run();
}

}

void RegisterEditorCommands(Vector<Command>& table)
{
    table.append({ "textedit", textedit });
    table.append({ "tswrite", tswrite });
}
