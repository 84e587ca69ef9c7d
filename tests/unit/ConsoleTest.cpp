#include "arch/Port.h"
#include "base/StdString.h"
#include "gfx/Mouse.h"
#include "hal/Interrupts.h"
#include "kernel/Bootstrap.h"
#include "sdk/tessary_calls.h"
#include "tests/sim/PS2Mouse.h"
#include "tests/sim/TestMachine.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
std::string read_line(TestMachine&)
{
    auto line = Console::read_line();
    EXPECT_FALSE(line.is_error());
    return line.is_error() ? std::string() : ascii(line.value());
}
}

TEST(ReadLine, InsertsAtTheCursorAfterLeftArrows)
{
    TestMachine machine;
    machine.type("abc");
    machine.press(TestMachine::Left);
    machine.press(TestMachine::Left);
    machine.type("X\n");
    EXPECT_EQ(read_line(machine), "aXbc");
    EXPECT_EQ(machine.line(0), "aXbc");
    EXPECT_EQ(Console::cursor_top(), 1);
    EXPECT_EQ(Console::cursor_left(), 0);
}

TEST(TextConsole, WrapsAtColumn80AndScrollsAtRow25)
{
    TestMachine machine;
    Console::set_cursor_top(24);
    Console::set_foreground_color(ConsoleColor::Yellow);
    Console::set_background_color(ConsoleColor::Blue);
    ASSERT_FALSE(Console::write(String::repeated(u'x', 80)).is_error());
    // The 80th character wrapped onto a new last row, scrolling once.
    EXPECT_EQ(Console::cursor_top(), 24);
    EXPECT_EQ(Console::cursor_left(), 0);
    EXPECT_EQ(machine.line(23), std::string(80, 'x'));
    EXPECT_EQ(machine.attribute(0, 23), 0x9E);
    // The freshly exposed row is the clear cell: a space on black.
    EXPECT_EQ(machine.character(0, 24), ' ');
    EXPECT_EQ(machine.attribute(0, 24), 0x00);
}

TEST(TextConsole, InterpretsTabLineFeedAndCarriageReturnOnlyInStrings)
{
    TestMachine machine;
    ASSERT_FALSE(Console::write("a\tb\r\nc").is_error());
    EXPECT_EQ(machine.line(0), "a    b");
    EXPECT_EQ(machine.line(1), "c");
    ASSERT_FALSE(Console::write(u'\n').is_error());
    EXPECT_EQ(machine.character(1, 1), 0x0A);
    EXPECT_EQ(Console::cursor_top(), 1);
    EXPECT_EQ(Console::cursor_left(), 2);
}

TEST(TextConsole, CellStoreOutsideTextMemoryFailsAndStoresNothing)
{
    TestMachine machine;
    Console::set_cursor_top(25);
    auto result = Console::write("z");
    ASSERT_TRUE(result.is_error());
    EXPECT_EQ(ascii(result.error().message()), "Memory access violation");
    Console::set_cursor_top(0);
    Console::set_cursor_left(-1);
    EXPECT_TRUE(Console::write("z").is_error());
    EXPECT_EQ(machine.screen().find('z'), std::string::npos);
}

TEST(TextConsole, ClearIsBlackWhateverTheColours)
{
    TestMachine machine;
    Console::set_background_color(ConsoleColor::Blue);
    ASSERT_FALSE(Console::write("abc").is_error());
    Console::clear();
    EXPECT_EQ(machine.character(0, 0), ' ');
    EXPECT_EQ(machine.attribute(0, 0), 0x00);
    EXPECT_EQ(Console::cursor_left(), 0);
    ASSERT_FALSE(Console::write("d").is_error());
    EXPECT_EQ(machine.attribute(0, 0), 0x9F);
    EXPECT_EQ(machine.attribute(1, 0), 0x00);
}

TEST(TextScreen, MovesTheHardwareCursorThroughTheCrtController)
{
    TestMachine machine;
    Sim::clear_accesses();
    machine.text_screen().set_cursor_pos(5, 2);
    auto index = Sim::writes_to(0x3D4);
    auto data = Sim::writes_to(0x3D5);
    ASSERT_EQ(index.size(), 2u);
    ASSERT_EQ(data.size(), 2u);
    EXPECT_EQ(index[0].value, 0x0Fu);
    EXPECT_EQ(data[0].value, 165u);
    EXPECT_EQ(index[1].value, 0x0Eu);
    EXPECT_EQ(data[1].value, 0u);
}

TEST(ReadLine, BackspaceRemovesBeforeTheCursorWithoutStrayCharacters)
{
    TestMachine machine;
    machine.press(TestMachine::Backspace); // at the start: nothing
    machine.type("abc");
    machine.press(TestMachine::Left);
    machine.press(TestMachine::Backspace);
    machine.type("\n");
    EXPECT_EQ(read_line(machine), "ac");
    EXPECT_EQ(machine.line(0), "ac");
}

TEST(ReadLine, RightArrowStopsAtTheEndAndUpArrowIsText)
{
    TestMachine machine;
    machine.type("ab");
    machine.press(TestMachine::Right);
    machine.press(TestMachine::Up);
    machine.type("\n");
    auto line = Console::read_line();
    ASSERT_FALSE(line.is_error());
    ASSERT_EQ(line.value().length(), 3u);
    EXPECT_EQ(line.value()[2], KeyChar::UpArrow);
    EXPECT_EQ(machine.character(2, 0), 0x91);
}

TEST(ReadLine, EditsALineThatWrappedOntoTheNextRow)
{
    TestMachine machine;
    Console::set_cursor_left(78);
    machine.type("abcd");
    machine.press(TestMachine::Left);
    machine.press(TestMachine::Left);
    machine.press(TestMachine::Left);
    machine.press(TestMachine::Backspace);
    machine.type("\n");
    EXPECT_EQ(read_line(machine), "bcd");
    EXPECT_EQ(machine.row(0).substr(78), "bc");
    EXPECT_EQ(machine.line(1), "d");
}

TEST(Keyboard, MapsShiftedAndControlKeys)
{
    TestMachine machine;
    auto& keyboard = machine.keyboard();
    machine.scancodes({ TestMachine::LeftShift, 0x05, 0x85, 0x1E, 0x9E, TestMachine::LeftShift | 0x80,
        TestMachine::Control, 0x2E, 0xAE, TestMachine::Control | 0x80, 0x37, 0x3A });
    machine.deliver_all();
    char16_t c;
    ConsoleKey key;
    ASSERT_EQ(keyboard.queued_count(), 5u);
    KeyMapping mapping = keyboard.read_mapping();
    EXPECT_EQ(mapping.value, u'$');
    EXPECT_EQ(mapping.key, static_cast<ConsoleKey>(52));
    EXPECT_TRUE(keyboard.get_char(c));
    EXPECT_EQ(c, u'A');
    EXPECT_TRUE(keyboard.get_char(c));
    EXPECT_EQ(c, u'c'); // Ctrl does not change the key code
    EXPECT_TRUE(keyboard.get_key(key));
    EXPECT_EQ(key, ConsoleKey::PrintScreen);
    EXPECT_TRUE(keyboard.get_key(key)); // Caps Lock is queued but unmapped
    EXPECT_EQ(key, ConsoleKey::NoName);
    EXPECT_FALSE(keyboard.get_key(key));
    EXPECT_EQ(key, ConsoleKey::NoName);
    EXPECT_FALSE(keyboard.get_char(c));
    EXPECT_EQ(c, 0);
}

TEST(Keyboard, KeepsTheFirst64KeysAndDropsReleases)
{
    TestMachine machine;
    for (int i = 0; i < 65; ++i)
        machine.press(i < 64 ? 0x1E : 0x30);
    machine.deliver_all();
    EXPECT_EQ(machine.keyboard().queued_count(), 64u);
    char16_t c = 0;
    for (int i = 0; i < 64; ++i)
        machine.keyboard().get_char(c);
    EXPECT_EQ(c, u'a');
    EXPECT_FALSE(machine.keyboard().get_char(c));
}

TEST(Keyboard, ReadKeyEchoesEvenKeysWithoutCharacters)
{
    TestMachine machine;
    machine.press(TestMachine::F1);
    auto info = Console::read_key();
    ASSERT_FALSE(info.is_error());
    EXPECT_EQ(info.value().key, ConsoleKey::F1);
    EXPECT_EQ(info.value().key_char, 0);
    EXPECT_EQ(Console::cursor_left(), 1);
}

TEST(Keyboard, CtrlAltDeleteAnnouncesAndPulsesTheResetLine)
{
    TestMachine machine;
    install_event_handlers();
    machine.scancodes({ TestMachine::Control, TestMachine::Alt, TestMachine::Delete, 0x1E });
    Sim::clear_accesses();
    // The reset halts waiting for the machine to restart; the simulated
    // machine stops there, and what was still to be typed never arrives.
    EXPECT_THROW(machine.deliver_all(), Sim::Stopped);
    EXPECT_EQ(machine.pending(), 1u);
    EXPECT_EQ(machine.keyboard().queued_count(), 0u);
    EXPECT_EQ(machine.line(0), "Detected Ctrl-Alt-Delete! Rebooting System...");
    auto commands = Sim::writes_to(0x64);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].value, 0xFEu);
}

TEST(Keyboard, AKeyboardHandsTheKeysBackWhenItEnds)
{
    TestMachine machine;
    {
        Keyboard borrowed;
        machine.press(0x1E);
        machine.deliver_all();
        EXPECT_EQ(borrowed.queued_count(), 1u);
        EXPECT_EQ(machine.keyboard().queued_count(), 0u);
    }
    machine.press(0x30);
    machine.deliver_all();
    EXPECT_EQ(machine.keyboard().queued_count(), 1u);
}

TEST(Keyboard, NeverLeavesTheControllerFullYetLeavesTheMouseItsBytes)
{
    Sim::FreshMachine fresh;
    PS2Mouse controller;
    InterruptTable::set_irq_handler(12, nullptr); // no mouse driver yet
    auto full = [] { return (Port::in8(0x64) & 0x01) != 0; };

    // A scan code typed while the firmware ran, its interrupt long gone:
    // setting up a keyboard drops it.
    controller.put(0x1E, false);
    {
        Keyboard keyboard;
        EXPECT_FALSE(full());
    }
    // With no keyboard receiving, the interrupt still reads the byte; so it
    // does a stray byte from a mouse without a driver.
    for (bool aux : { false, true }) {
        controller.put(0x1E, aux);
        Sim::raise_irq(1);
        EXPECT_FALSE(full()) << aux;
    }
    // With the mouse driver in, a keyboard interrupt latched while the mouse
    // was being set up leaves the mouse's byte for it.
    Mouse::initialize();
    Keyboard keyboard;
    controller.put(0x08, true);
    Sim::raise_irq(1);
    EXPECT_TRUE(full());
    EXPECT_EQ(keyboard.queued_count(), 0u);
    InterruptTable::set_irq_handler(12, nullptr);
}

TEST(Keyboard, KeyEventsTellPressesFromReleasesBesideTheCharacters)
{
    Sim::FreshMachine fresh;
    Keyboard keyboard;
    // a down, Shift down, the grey Up arrow (0xE0 0x48) down and up, a up,
    // Shift up, then a key no program can tell (the keypad's 5).
    for (auto [code, released] :
        std::initializer_list<std::pair<u8, bool>> { { 0x1E, false }, { 0x2A, false }, { 0x60, true }, { 0x48, false },
            { 0x60, true }, { 0x48, true }, { 0x1E, true }, { 0x2A, true }, { 0x4C, false } })
        keyboard.handle_scancode(code, released);

    std::vector<u32> events;
    while (auto event = keyboard.poll_event())
        events.push_back(*event);
    u32 const released = TESSARY_KEY_RELEASED;
    EXPECT_EQ(events,
        (std::vector<u32> { 'a', TESSARY_KEY_SHIFT, TESSARY_KEY_UP, TESSARY_KEY_UP | released, 'a' | released,
            TESSARY_KEY_SHIFT | released }));
    // The characters are still there for a program that reads those.
    EXPECT_EQ(keyboard.read_char(), u'a');

    keyboard.handle_scancode(0x1E, false);
    keyboard.drop_queued_keys();
    EXPECT_FALSE(keyboard.poll_event());
    EXPECT_FALSE(keyboard.poll_mapping());
}
