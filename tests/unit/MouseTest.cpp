#include "arch/Port.h"
#include "gfx/Mouse.h"
#include "tests/sim/PS2Mouse.h"

#include <gtest/gtest.h>

namespace {

struct MouseDriver : ::testing::Test {
    Sim::FreshMachine fresh;
    PS2Mouse mouse;

    MouseDriver()
    {
        Mouse::Initialize();
        Mouse::mouse_cycle = 0;
    }
    void at(i32 x, i32 y)
    {
        Mouse::X = x;
        Mouse::Y = y;
    }
    void send(std::initializer_list<u8> bytes)
    {
        mouse.queue(bytes);
        mouse.deliver();
    }
};

}

TEST_F(MouseDriver, InitializeEnablesTheAuxiliaryInterruptAndStreaming)
{
    EXPECT_EQ(mouse.commands, (std::vector<u8> { 0xA8, 0x20, 0x60, 0xD4, 0xD4 }));
    EXPECT_EQ(mouse.configuration, 0x47); // bit 1 added, nothing else changed
    EXPECT_EQ(mouse.mouse_bytes, (std::vector<u8> { 0xF6, 0xF4 }));
    // Both acknowledgements were taken: nothing is left for the handler.
    EXPECT_EQ(Port::in8(0x64) & 1, 0);
}

TEST_F(MouseDriver, PacketsMoveThePointerAndSetTheButtons)
{
    at(100, 100);
    send({ 0x08, 0x05, 0x03 });
    EXPECT_EQ(Mouse::X, 105);
    EXPECT_EQ(Mouse::Y, 97);
    EXPECT_EQ(Mouse::Buttons, 0);

    at(100, 100);
    send({ 0x18, 0xFF, 0x00 });
    EXPECT_EQ(Mouse::X, 99);
    EXPECT_EQ(Mouse::Y, 100);

    at(10, 10);
    send({ 0x29, 0x00, 0xFE });
    EXPECT_EQ(Mouse::X, 10);
    EXPECT_EQ(Mouse::Y, 12);
    EXPECT_EQ(Mouse::Buttons, 1);
}

TEST_F(MouseDriver, AFirstByteWithoutBit3IsDroppedToRegainStep)
{
    at(100, 100);
    send({ 0x00, 0x08, 0x02, 0x00 });
    EXPECT_EQ(Mouse::X, 102);
    EXPECT_EQ(Mouse::Y, 100);
    EXPECT_EQ(Mouse::mouse_cycle, 0);
    // Half a packet changes nothing yet.
    send({ 0x09, 0x10 });
    EXPECT_EQ(Mouse::X, 102);
    EXPECT_EQ(Mouse::Buttons, 0);
}

TEST_F(MouseDriver, ThePointerIsPinnedToTheDesktop)
{
    at(315, 3);
    send({ 0x08, 0x7F, 0x7F });
    EXPECT_EQ(Mouse::X, 319);
    EXPECT_EQ(Mouse::Y, 0);
    send({ 0x38, 0x80, 0x80 }); // -128, -128: left and down
    send({ 0x38, 0x80, 0x80 });
    send({ 0x38, 0x80, 0x80 });
    EXPECT_EQ(Mouse::X, 0);
    EXPECT_EQ(Mouse::Y, 199);
}

TEST_F(MouseDriver, AnInterruptWithoutAMouseByteReadsNothing)
{
    at(50, 50);
    u32 events = Mouse::Events;
    Sim::clear_accesses();
    Sim::raise_irq(12);
    EXPECT_TRUE(Sim::writes_to(0x60).empty());
    for (auto const& a : Sim::accesses())
        EXPECT_NE(a.port, 0x60) << "the data port was read";
    EXPECT_EQ(Mouse::Events, events + 1);
    EXPECT_EQ(Mouse::X, 50);
}
