#include "gfx/Mouse.h"
#include "arch/Port.h"
#include "tests/sim/PS2Mouse.h"

#include <gtest/gtest.h>

namespace {

struct MouseDriver : ::testing::Test {
    Sim::FreshMachine fresh;
    PS2Mouse mouse;

    MouseDriver() { Mouse::initialize(); }
    void at(i32 x, i32 y) { Mouse::reset(x, y); }
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
    EXPECT_EQ(Mouse::x(), 105);
    EXPECT_EQ(Mouse::y(), 97);
    EXPECT_EQ(Mouse::buttons(), 0);

    at(100, 100);
    send({ 0x18, 0xFF, 0x00 });
    EXPECT_EQ(Mouse::x(), 99);
    EXPECT_EQ(Mouse::y(), 100);

    at(10, 10);
    send({ 0x29, 0x00, 0xFE });
    EXPECT_EQ(Mouse::x(), 10);
    EXPECT_EQ(Mouse::y(), 12);
    EXPECT_EQ(Mouse::buttons(), 1);
}

TEST_F(MouseDriver, AFirstByteWithoutBit3IsDroppedToRegainStep)
{
    at(100, 100);
    send({ 0x00, 0x08, 0x02, 0x00 });
    EXPECT_EQ(Mouse::x(), 102);
    EXPECT_EQ(Mouse::y(), 100);
    EXPECT_EQ(Mouse::packet_bytes_taken(), 0u);
    // Half a packet changes nothing yet.
    send({ 0x09, 0x10 });
    EXPECT_EQ(Mouse::x(), 102);
    EXPECT_EQ(Mouse::buttons(), 0);
}

TEST_F(MouseDriver, BytesOutOfStepNeverClick)
{
    at(100, 100);
    // A late acknowledgement, a self-test result, a packet whose movement
    // overflowed, then a packet in step.
    std::vector<i32> buttons;
    for (u8 byte : { 0xFA, 0xAA, 0x00, 0xC9, 0x00, 0x00, 0x08, 0x05, 0x03 }) {
        send({ byte });
        buttons.push_back(Mouse::buttons());
    }
    EXPECT_EQ(buttons, std::vector<i32>(9, 0));
    EXPECT_EQ(Mouse::x(), 105);
    EXPECT_EQ(Mouse::y(), 97);
}

TEST_F(MouseDriver, ThePointerIsPinnedToTheDesktop)
{
    at(315, 3);
    send({ 0x08, 0x7F, 0x7F });
    EXPECT_EQ(Mouse::x(), 319);
    EXPECT_EQ(Mouse::y(), 0);
    send({ 0x38, 0x80, 0x80 }); // -128, -128: left and down
    send({ 0x38, 0x80, 0x80 });
    send({ 0x38, 0x80, 0x80 });
    EXPECT_EQ(Mouse::x(), 0);
    EXPECT_EQ(Mouse::y(), 199);
}

TEST_F(MouseDriver, AnInterruptWithoutAMouseByteReadsNothing)
{
    at(50, 50);
    u32 events = Mouse::events();
    Sim::clear_accesses();
    Sim::raise_irq(12);
    EXPECT_TRUE(Sim::writes_to(0x60).empty());
    for (auto const& a : Sim::accesses())
        EXPECT_NE(a.port, 0x60) << "the data port was read";
    EXPECT_EQ(Mouse::events(), events + 1);
    EXPECT_EQ(Mouse::x(), 50);
}

TEST(MouseSetUp, WaitsForASlowControllerAndStartsAFreshPacket)
{
    Sim::FreshMachine fresh;
    PS2Mouse mouse;
    Mouse::initialize();
    // Set up again (another desktop) while packets stream: the first two
    // bytes of one are taken, the third arrives as the set-up begins.
    mouse.queue({ 0x08, 0x05 });
    mouse.deliver();
    mouse.put(0x03, true);
    mouse.commands.clear();
    mouse.mouse_bytes.clear();
    // About 2 us a poll, as on real hardware, and 5 ms for every answer.
    Sim::set_timer_ticks_per_read(2);
    mouse.answer_polls = 3000;
    Mouse::initialize();
    EXPECT_EQ(mouse.commands, (std::vector<u8> { 0xA8, 0x20, 0x60, 0xD4, 0xD4 }));
    EXPECT_EQ(mouse.configuration, 0x47);
    EXPECT_EQ(mouse.mouse_bytes, (std::vector<u8> { 0xF6, 0xF4 }));
    EXPECT_EQ(Port::in8(0x64) & 1, 0);
    EXPECT_EQ(Mouse::packet_bytes_taken(), 0u);

    Mouse::reset(100, 100);
    mouse.answer_polls = 0;
    mouse.packet(5, 3);
    mouse.deliver();
    EXPECT_EQ(Mouse::x(), 105);
    EXPECT_EQ(Mouse::y(), 97);
    EXPECT_EQ(Mouse::buttons(), 0);
}
