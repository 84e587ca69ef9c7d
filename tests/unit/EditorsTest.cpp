#include "tests/unit/ShellTestSupport.h"
#include "tests/unit/StorageTestSupport.h"

#include <gtest/gtest.h>

namespace {

// A formatted in-memory disk mounted as the kernel's boot volume, with or
// without the "/documents" directory.
struct Documents {
    explicit Documents(bool with_directory = true)
    {
        kernel.storage().mount_boot_volume(make_own<DiskFilesystem>(volume.partition, kernel.storage().user()));
        if (with_directory) {
            EXPECT_FALSE(volume.fs.make_dir("/documents", "root").is_error());
        }
    }

    Filesystem& root() { return *kernel.storage().filesystem().value(); }
    std::string read(char const* path)
    {
        auto content = root().read_file(path);
        return content.is_error() ? "<" + ascii(content.error().message()) + ">" : text_of(content.value());
    }
    void put(char const* path, std::string const& text)
    {
        ASSERT_FALSE(root().save_file(bytes_of(text), path, "root").is_error());
    }

    Volume volume;
    Kernel kernel { shell_commands() };
};

constexpr u8 F3 = 0x3D;

void run(Kernel& kernel, String const& line) { ASSERT_FALSE(run_line(kernel, line).is_error()); }
}

TEST(TextEdit, AnyKeyButEnterAtTheStartReturnsWithoutAHeader)
{
    TestMachine machine;
    Kernel kernel { shell_commands() };
    machine.type("x");
    run(kernel, "textedit");
    EXPECT_EQ(machine.line(0), "Press ENTER to start.");
    EXPECT_EQ(machine.attribute(0, 0), 0x0B);
    EXPECT_EQ(machine.line(1), "x");
    EXPECT_EQ(machine.screen().find("TESSTEXT"), std::string::npos);
    EXPECT_FALSE(kernel.skip_boot_question());
}

TEST(TextEdit, TypedLinesAndKeyNamesJoinTheTextThatF2SavesAndF4LeavesAfterAsking)
{
    TestMachine machine;
    Documents documents;
    Kernel& kernel = documents.kernel;
    machine.press(TestMachine::Enter);
    // One pass: a line, then a key. The line joins the text with a line
    // feed; the key is added by its name.
    machine.type("Hello there\n");
    machine.type("Q");
    machine.type("\n");
    machine.press(TestMachine::Left);
    machine.type("\n");
    machine.press(TestMachine::F2);
    machine.type("my notes\n");
    machine.type("\n");
    machine.press(TestMachine::F4);
    machine.type("y\nN\n");
    run(kernel, "textedit");

    EXPECT_EQ(documents.read("/documents/my notes.txt"), "Hello there\nq\nLEFT\n");
    // Only exactly "N" leaves: "y" asked again. Leaving restarts the shell
    // straight to the prompt, from a cleared screen.
    EXPECT_TRUE(kernel.skip_boot_question());
    EXPECT_EQ(machine.screen(), std::string(25, '\n'));
    // Nothing after the last answer was read (its key release is left).
    EXPECT_EQ(machine.pending(), 1u);
}

// Row and column of the first occurrence of text on the screen.
std::pair<int, int> find(TestMachine& machine, std::string const& text)
{
    for (int y = 0; y < TextScreen::Rows; ++y) {
        size_t x = machine.row(y).find(text);
        if (x != std::string::npos)
            return { static_cast<int>(x), y };
    }
    return { -1, -1 };
}

TEST(TextEdit, F1RedrawsABlankPageAndF4OnTextAsksOnMagenta)
{
    TestMachine machine;
    Documents documents;
    Kernel& kernel = documents.kernel;
    machine.press(TestMachine::Enter);
    machine.type("\n");
    machine.press(TestMachine::F1);
    machine.type("\n");
    machine.press(F3);
    machine.type("abc\n");
    machine.press(TestMachine::F4);
    EXPECT_THROW(run(kernel, "textedit"), Sim::Stopped);
    // The redraw put the header back on top with only what followed it
    // below; F3 added nothing.
    EXPECT_EQ(machine.line(0), "---------------F1:OPEN--F2:SAVE----------------------------------------F4:EXIT-");
    EXPECT_EQ(machine.line(1), "-| A B C |--------------------------TESSTEXT-----------------------------------");
    EXPECT_EQ(machine.line(2), std::string(79, '-'));
    EXPECT_EQ(machine.attribute(0, 0), 0x9F);
    EXPECT_EQ(machine.attribute(78, 2), 0x9F);
    EXPECT_NE(machine.attribute(79, 2), 0x9F);
    auto [x, y] = find(machine, "Do you want to save your file ? Y/N");
    ASSERT_GE(y, 4);
    EXPECT_EQ(machine.attribute(x, y), 0xDF);
    EXPECT_EQ(find(machine, "abc").second, y - 1);
    EXPECT_FALSE(kernel.skip_boot_question());
}

TEST(TextEdit, AFailedSaveIsReportedOnRedAndTheTextStays)
{
    TestMachine machine;
    Documents documents;
    Kernel& kernel = documents.kernel;
    machine.press(TestMachine::Enter);
    machine.type("kept\n");
    machine.press(TestMachine::F2);
    // No directory "no" in "/documents": the save fails.
    machine.type("no/such\n");
    machine.type("\n");
    machine.press(TestMachine::F2);
    machine.type("found\n");
    EXPECT_THROW(run(kernel, "textedit"), Sim::Stopped);
    auto [x, y] = find(machine, "ERROR: ");
    ASSERT_EQ(x, 0);
    EXPECT_GT(machine.line(y).size(), 7u);
    EXPECT_EQ(machine.attribute(0, y), 0xCF);
    // The next save has all the text: nothing was lost.
    EXPECT_EQ(documents.read("/documents/found.txt"), "kept\n\n");
}

TEST(TextEdit, WithAPathEditsTheFileByCharacters)
{
    TestMachine machine;
    Documents documents;
    Kernel& kernel = documents.kernel;
    documents.put("/documents/old.txt", "line one\nline two");
    machine.type("\n");
    machine.type("A");
    machine.type("\n");
    machine.press(TestMachine::Left);
    machine.type("\n");
    machine.press(TestMachine::F4);
    machine.type("Y\nnew\n");
    EXPECT_THROW(run(kernel, "textedit /documents/old.txt"), Sim::Stopped);
    EXPECT_EQ(machine.line(0), "---------------F1:OPEN--F2:SAVE-----------------------------------------F4:EXIT-");
    // 80-column lines fill their rows, and each is followed by an empty row.
    EXPECT_EQ(machine.line(1), "");
    EXPECT_EQ(machine.line(2), "-| A B C |--------------------------TESSTEXT------------------------------------");
    EXPECT_EQ(machine.line(4), std::string(80, '-'));
    EXPECT_EQ(machine.line(6), "line one");
    EXPECT_EQ(machine.line(7), "line two");
    // Shift gave a capital; the arrow added nothing to the file.
    EXPECT_EQ(documents.read("/documents/new.txt"), "line one\nline two\nA\n\n");
    EXPECT_EQ(documents.read("/documents/old.txt"), "line one\nline two");

    // A path that does not exist shows and edits "Error!".
    Console::clear();
    EXPECT_THROW(run(kernel, "textedit /nothing"), Sim::Stopped);
    EXPECT_EQ(machine.line(6), "Error!");
}

TEST(TsWrite, EditsWithTheCursorAndSavesTheDocument)
{
    TestMachine machine;
    Documents documents;
    Kernel& kernel = documents.kernel;
    machine.type("hi\nthere");
    machine.press(TestMachine::Left);
    machine.press(TestMachine::Left);
    machine.type("X");
    machine.press(TestMachine::Up);
    machine.press(TestMachine::Backspace);
    machine.press(TestMachine::Down);
    machine.press(TestMachine::Right);
    machine.press(TestMachine::Right);
    machine.press(TestMachine::Right);
    machine.press(TestMachine::Right);
    machine.type("!");
    machine.press(TestMachine::F2);
    machine.type("doc\n");
    EXPECT_THROW(run(kernel, "tswrite"), Sim::Stopped);
    // Down kept the column (1), four Rights went to column 5.
    EXPECT_EQ(documents.read("/documents/doc.txt"), "h\ntheXr!e\n");

    // The page: the header on three rows, the text under it, the cursor at
    // the end of the second line.
    EXPECT_EQ(machine.line(0), "-F1:OPEN--F2:SAVE-------------------------------------------------------F4:EXIT-");
    EXPECT_EQ(machine.line(1), "------------------------------------TSWRITE-------------------------------------");
    EXPECT_EQ(machine.line(2), std::string(80, '-'));
    EXPECT_EQ(machine.attribute(0, 1), 0x9F);
    EXPECT_EQ(machine.line(3), "h");
    EXPECT_EQ(machine.line(4), "theXr!e");
    EXPECT_EQ(Console::cursor_top(), 4);
    EXPECT_EQ(Console::cursor_left(), 6);
}

TEST(TsWrite, BackspaceAndEnterJoinAndSplitLines)
{
    TestMachine machine;
    Kernel kernel { shell_commands() };
    machine.type("ab\ncd");
    machine.press(TestMachine::Left);
    machine.press(TestMachine::Left);
    machine.press(TestMachine::Backspace);
    machine.press(TestMachine::Right);
    machine.type("\n");
    machine.press(TestMachine::Left);
    machine.press(TestMachine::Left);
    machine.press(TestMachine::Backspace);
    EXPECT_THROW(run(kernel, "tswrite"), Sim::Stopped);
    // The first Backspace joined "ab" and "cd"; Enter after "abc" split off
    // "d"; Left at the start of "d" went to the end of "abc", and the last
    // Backspace removed its "b".
    EXPECT_EQ(machine.line(3), "ac");
    EXPECT_EQ(machine.line(4), "d");
    EXPECT_EQ(Console::cursor_top(), 3);
    EXPECT_EQ(Console::cursor_left(), 1);
}

TEST(TsWrite, F1OpensADocumentAndAFailedSaveStaysOnScreenInRed)
{
    TestMachine machine;
    Documents documents;
    Kernel& kernel = documents.kernel;
    documents.put("/documents/story.txt", "once\nupon");
    machine.type("x");
    machine.press(TestMachine::F1);
    machine.type("story\n");
    machine.press(TestMachine::F2);
    machine.type("no/such/place\n");
    EXPECT_THROW(run(kernel, "tswrite"), Sim::Stopped);
    EXPECT_EQ(machine.line(3), "once");
    EXPECT_EQ(machine.line(4), "upon");
    EXPECT_EQ(machine.line(23).substr(0, 7), "ERROR: ");
    EXPECT_GT(machine.line(23).size(), 7u);
    EXPECT_EQ(machine.attribute(0, 23), 0xCF);
    EXPECT_EQ(machine.attribute(0, 4), 0x0F);

    // A document that is not there leaves the text as it was.
    machine.press(TestMachine::F1);
    machine.type("missing\n");
    EXPECT_THROW(run(kernel, "tswrite"), Sim::Stopped);
    EXPECT_EQ(machine.line(23).substr(0, 7), "ERROR: ");
}

TEST(TsWrite, OpeningAndSavingAgainKeepsOneFinalLineFeed)
{
    TestMachine machine;
    Documents documents;
    Kernel& kernel = documents.kernel;
    documents.put("/documents/ended.txt", "push a\npush b\n");
    documents.put("/documents/open.txt", "push a\npush b");
    for (std::string name : { "ended", "open" }) {
        machine.press(TestMachine::F1);
        machine.type(name + "\n");
        machine.press(TestMachine::F2);
        machine.type(name + "\n");
    }
    EXPECT_THROW(run(kernel, "tswrite"), Sim::Stopped);
    EXPECT_EQ(documents.read("/documents/ended.txt"), "push a\npush b\n");
    EXPECT_EQ(documents.read("/documents/open.txt"), "push a\npush b\n");
}

TEST(TsWrite, F4LeavesAfterTheSaveQuestionAndAPathOnlyClears)
{
    TestMachine machine;
    Documents documents;
    Kernel& kernel = documents.kernel;
    machine.type("note");
    machine.press(TestMachine::F4);
    machine.type("maybe\nY\nleft\n");
    run(kernel, "tswrite");
    EXPECT_EQ(documents.read("/documents/left.txt"), "note\n");
    EXPECT_EQ(machine.screen(), std::string(25, '\n'));
    EXPECT_EQ(machine.pending(), 1u);
    EXPECT_EQ(Console::background_color(), ConsoleColor::Black);

    // Blank text leaves without a question.
    machine.deliver_all();
    machine.press(TestMachine::F4);
    run(kernel, "tswrite");
    EXPECT_EQ(machine.pending(), 1u);

    ASSERT_FALSE(Console::write_line("before").is_error());
    run(kernel, "tswrite /documents/left.txt");
    EXPECT_EQ(machine.screen(), std::string(25, '\n'));
}
