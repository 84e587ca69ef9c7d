#include "base/StdString.h"
#include "hal/Interrupts.h"
#include "hal/Pci.h"
#include "net/E1000.h"
#include "tests/sim/E1000Card.h"
#include "tests/unit/StorageTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

using Card = Sim::E1000Card;

// A machine with one card on its PCI bus.
struct Bench {
    explicit Bench(u16 device_id = 0x100E)
        : card(space, device_id)
    {
    }
    ~Bench() { Sim::reset(); }

    ErrorOr<OwnPtr<E1000>> find()
    {
        (void)PCI::enumerate();
        return E1000::find();
    }
    OwnPtr<E1000> start()
    {
        auto found = find();
        if (found.is_error()) {
            ADD_FAILURE() << error_of(found);
            return {};
        }
        return found.release_value();
    }

    Sim::FreshMachine fresh;
    PciConfigSpace space;
    Card card;
};

constexpr std::array<u8, 6> Broadcast { 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF };

// A frame of `length` bytes to `to` whose every byte depends on `seed`.
std::vector<u8> frame_to(std::array<u8, 6> const& to, size_t length, u32 seed)
{
    std::vector<u8> frame(length);
    for (size_t i = 0; i < length; ++i)
        frame[i] = i < 6 ? to[i] : static_cast<u8>(i * 13 + seed * 7 + 1);
    return frame;
}

std::vector<u8> receive(E1000& nic, size_t buffer_bytes = E1000::MaxFrameSize)
{
    std::vector<u8> buffer(buffer_bytes, 0xEE);
    buffer.resize(nic.receive(buffer));
    return buffer;
}

}

TEST(NetworkCardDriver, FindsTheCardResetsItAndProgramsBothRingsInMemoryItOwns)
{
    Bench bench;
    auto& card = bench.card;
    bench.space.add(0, 1, 0, 0x8086, 0x7110, 0x06, 0x01); // not a network card
    card.set_reg(Card::InterruptMask, 0x9D);              // what a boot ROM might leave
    {
        auto nic = bench.start();
        ASSERT_TRUE(nic);
        EXPECT_EQ(card.function().get16(0x04) & 0x06, 0x06); // memory space, bus mastering
        EXPECT_EQ(card.resets(), 1u);
        EXPECT_EQ(nic->mac_address(), card.mac);
        // What the boot ROM left is cleared; the card wakes the processor on
        // the line the firmware routed it to (11), for frames and the link.
        EXPECT_EQ(card.reg(Card::InterruptMask), 0x4u | 0x10 | 0x40 | 0x80);
        EXPECT_TRUE(InterruptTable::has_irq_handler(11));
        card.run(); // the link comes up a moment after it is allowed to
        EXPECT_TRUE(nic->link_up());
        for (u32 word = 0; word < 128; ++word)
            ASSERT_EQ(card.reg(Card::MulticastTable + word * 4), 0u) << word;

        // Receiver on for the card's address and broadcasts, 2048-byte
        // buffers, check sequence stripped; transmitter on, padding.
        u32 const receive_bits = 0x2 | 0x8 | 0x10 | 0x20 | 0x8000 | 0x30000 | 0x2000000 | 0x4000000;
        EXPECT_EQ(card.reg(Card::ReceiveControl) & receive_bits, 0x2u | 0x8000 | 0x4000000);
        EXPECT_EQ(card.reg(Card::TransmitControl) & 0xA, 0xAu);
        EXPECT_EQ(card.reg(Card::TransmitGap) & 0x3FF, 10u);

        EXPECT_EQ(card.reg(Card::ReceiveLength), E1000::ReceiveDescriptors * 16);
        EXPECT_EQ(card.reg(Card::TransmitLength), E1000::TransmitDescriptors * 16);
        EXPECT_EQ(card.reg(Card::ReceiveHead), 0u);
        EXPECT_EQ(card.reg(Card::ReceiveTail), E1000::ReceiveDescriptors - 1);
        EXPECT_EQ(card.reg(Card::TransmitHead), card.reg(Card::TransmitTail));
        EXPECT_EQ(Sim::page_frame_bytes(), E1000::MemoryBytes);
        // Both rings and every buffer lie apart from one another inside
        // one run of that size.
        struct Range {
            u32 first, length;
        };
        std::vector<Range> ranges { { card.reg(Card::ReceiveBaseLow), card.reg(Card::ReceiveLength) },
            { card.reg(Card::TransmitBaseLow), card.reg(Card::TransmitLength) } };
        for (auto ring : { Card::ReceiveBaseLow, Card::TransmitBaseLow }) {
            EXPECT_EQ(card.reg(ring) % 16, 0u);
            u8 const* descriptors = Sim::memory(card.reg(ring));
            for (u32 i = 0; i < 32; ++i) {
                u32 address;
                std::memcpy(&address, descriptors + i * 16, 4);
                ranges.push_back({ address, E1000::BufferBytes });
            }
        }
        std::sort(ranges.begin(), ranges.end(), [](Range a, Range b) { return a.first < b.first; });
        for (size_t i = 1; i < ranges.size(); ++i)
            EXPECT_LE(ranges[i - 1].first + ranges[i - 1].length, ranges[i].first);
        EXPECT_LE(ranges.back().first + ranges.back().length - ranges.front().first, E1000::MemoryBytes);
    }
    // Stopped, reset, so that it forgets the rings, and only then the
    // memory given back.
    EXPECT_EQ(card.resets(), 2u);
    EXPECT_FALSE(InterruptTable::has_irq_handler(11));
    EXPECT_EQ(card.reg(Card::ReceiveBaseLow), 0u);
    EXPECT_EQ(card.reg(Card::ReceiveControl) & 0x2, 0u);
    EXPECT_EQ(Sim::page_frame_bytes(), 0u);
}

TEST(NetworkCardDriver, ReadsTheAddressFromTheEepromWhenTheResetLoadsNoneAndReceivesOnIt)
{
    for (u16 device : { 0x100E, 0x100F, 0x10D3 }) {
        SCOPED_TRACE(device);
        Bench bench(device);
        bench.card.mac_loaded_at_reset = false;
        bench.card.mac = { 0x02, 0xA0, 0xB1, 0xC2, 0xD3, static_cast<u8>(device) };
        auto nic = bench.start();
        ASSERT_TRUE(nic);
        EXPECT_EQ(nic->mac_address(), bench.card.mac);
        // Only the card's own unicast address gets through, and broadcasts;
        // no multicast group was joined.
        auto mine = frame_to(bench.card.mac, 60, 1);
        auto other = frame_to({ 0x02, 0xA0, 0xB1, 0xC2, 0xD3, 0x00 }, 60, 2);
        auto group = frame_to({ 0x01, 0x00, 0x5E, 0x00, 0x00, 0xFB }, 60, 3);
        EXPECT_TRUE(bench.card.deliver(mine));
        EXPECT_FALSE(bench.card.deliver(other));
        EXPECT_FALSE(bench.card.deliver(group));
        EXPECT_TRUE(bench.card.deliver(frame_to(Broadcast, 60, 4)));
        EXPECT_EQ(receive(*nic), mine);
        EXPECT_EQ(receive(*nic), frame_to(Broadcast, 60, 4));
    }
}

TEST(NetworkCardDriver, SendsAndReceivesRoundTheRingsManyTimes)
{
    Bench bench;
    auto& card = bench.card;
    auto nic = bench.start();
    ASSERT_TRUE(nic);

    // Long frames first, then short ones into the same buffers: the
    // padding to 60 bytes must be zeros, not what was there.
    std::vector<std::vector<u8>> frames;
    for (u32 i = 0; i < 100; ++i) {
        frames.push_back(frame_to(Broadcast, i < 32 ? E1000::MaxFrameSize - i : 14 + (i * 7) % 90, i));
        ASSERT_FALSE(nic->send(frames.back()).is_error()) << i;
    }
    auto const& sent = card.sent();
    ASSERT_EQ(sent.size(), frames.size());
    for (u32 i = 0; i < frames.size(); ++i) {
        auto expected = frames[i];
        expected.resize(std::max<size_t>(expected.size(), 60), 0);
        EXPECT_EQ(sent[i].bytes, expected) << i;
        EXPECT_EQ(sent[i].command & 0x0B, 0x0B) << i; // end of packet, insert CRC, report status
    }
    std::vector<u8> tiny(13), huge(E1000::MaxFrameSize + 1);
    EXPECT_EQ(error_of(nic->send(tiny)), "Frame size out of range");
    EXPECT_EQ(error_of(nic->send(huge)), "Frame size out of range");

    for (u32 i = 0; i < 100; ++i) {
        auto frame = frame_to(card.mac, 14 + (i * 151) % (E1000::MaxFrameSize - 13), i);
        ASSERT_TRUE(card.deliver(frame)) << i;
        EXPECT_EQ(receive(*nic), frame) << i;
        EXPECT_TRUE(receive(*nic).empty());
    }
    // A full ring: one descriptor always stays with the driver. Whatever
    // comes while none is free is missed by the card, the rest arrives in
    // order, and every descriptor read goes back to the card.
    for (u32 round = 0; round < 2; ++round) {
        for (u32 i = 0; i < E1000::ReceiveDescriptors - 1; ++i)
            ASSERT_TRUE(card.deliver(frame_to(card.mac, 100, i))) << i;
        EXPECT_FALSE(card.deliver(frame_to(card.mac, 100, 99)));
        EXPECT_EQ(card.missed(), round + 1);
        for (u32 i = 0; i < E1000::ReceiveDescriptors - 1; ++i)
            ASSERT_EQ(receive(*nic), frame_to(card.mac, 100, i)) << i;
        EXPECT_TRUE(receive(*nic).empty());
    }
}

TEST(NetworkCardDriver, AFullTransmitRingFailsAfterAShortWaitInsteadOfHanging)
{
    Bench bench;
    auto& card = bench.card;
    auto nic = bench.start();
    ASSERT_TRUE(nic);
    card.transmit_stuck = true;
    for (u32 i = 0; i < E1000::TransmitDescriptors - 1; ++i)
        ASSERT_FALSE(nic->send(frame_to(Broadcast, 64, i)).is_error()) << i;
    u64 before = Sim::timer_milliseconds();
    EXPECT_EQ(error_of(nic->send(frame_to(Broadcast, 64, 99))), "Network card transmit ring full");
    EXPECT_GE(Sim::timer_milliseconds() - before, E1000::TransmitWaitMs);
    EXPECT_LT(Sim::timer_milliseconds() - before, E1000::TransmitWaitMs + 50);
    EXPECT_TRUE(card.sent().empty());

    // Once the card moves again the refused frame can go, after the others.
    card.transmit_stuck = false;
    ASSERT_FALSE(nic->send(frame_to(Broadcast, 64, 99)).is_error());
    auto const& sent = card.sent();
    ASSERT_EQ(sent.size(), E1000::TransmitDescriptors);
    EXPECT_EQ(sent[0].bytes, frame_to(Broadcast, 64, 0));
    EXPECT_EQ(sent.back().bytes, frame_to(Broadcast, 64, 99));
}

TEST(NetworkCardDriver, DropsFlaggedChainedAndOverlongFramesAndKeepsTheRingWhole)
{
    Bench bench;
    auto& card = bench.card;
    auto nic = bench.start();
    ASSERT_TRUE(nic);
    auto frame = [&](u32 seed, size_t length = 80) { return frame_to(card.mac, length, seed); };

    ASSERT_TRUE(card.deliver(frame(1), 0x01)); // CRC error
    ASSERT_TRUE(card.deliver(frame(2)));
    ASSERT_TRUE(card.deliver(frame(3), 0x80)); // data error
    ASSERT_TRUE(card.deliver(frame(4), 0x20)); // a TCP checksum the stack checks itself
    EXPECT_EQ(receive(*nic), frame(2));
    EXPECT_EQ(receive(*nic), frame(4));
    EXPECT_EQ(nic->receive_drops().bad, 2u);

    // A card told to take long frames spreads one over three descriptors:
    // all of them go, and the frame after it comes through.
    card.set_reg(Card::ReceiveControl, card.reg(Card::ReceiveControl) | 0x20);
    ASSERT_TRUE(card.deliver(frame(5, 5000)));
    ASSERT_TRUE(card.deliver(frame(6)));
    EXPECT_EQ(receive(*nic), frame(6));
    EXPECT_EQ(nic->receive_drops().chained, 1u);

    // A tagged frame is longer than the shortest buffer a caller may give.
    ASSERT_TRUE(card.deliver(frame(7, 1518)));
    ASSERT_TRUE(card.deliver(frame(8)));
    EXPECT_EQ(receive(*nic, E1000::MaxFrameSize), frame(8));
    EXPECT_EQ(nic->receive_drops().too_long, 1u);
    EXPECT_TRUE(receive(*nic).empty());

    // Every descriptor came back: the card has all but one to fill again.
    EXPECT_EQ(card.reg(Card::ReceiveTail), (card.reg(Card::ReceiveHead) + E1000::ReceiveDescriptors - 1) % 32);
    EXPECT_EQ(nic->receive_drops().bad, 2u);
}

TEST(NetworkCardDriver, AResetThatNeverEndsFailsInTimeAndLeavesNoMemoryTaken)
{
    Bench bench;
    bench.card.reset_stuck = true;
    u64 before = Sim::timer_milliseconds();
    EXPECT_EQ(error_of(bench.find()), "Network card reset timed out");
    EXPECT_GE(Sim::timer_milliseconds() - before, E1000::ResetTimeoutMs);
    EXPECT_LT(Sim::timer_milliseconds() - before, E1000::ResetTimeoutMs + 50);
    EXPECT_EQ(Sim::page_frame_bytes(), 0u);
}

TEST(NetworkCardDriver, ACardThatDoesNotComeOutOfItsResetKeepsItsMemory)
{
    Bench bench;
    auto nic = bench.start();
    ASSERT_TRUE(nic);
    bench.card.reset_stuck = true;
    nic.clear();
    EXPECT_EQ(bench.card.reg(Card::ReceiveControl) & 0x2, 0u);
    EXPECT_EQ(Sim::page_frame_bytes(), E1000::MemoryBytes);
}

TEST(NetworkCardDriver, FindsNothingWithoutACardItCanReach)
{
    {
        Sim::reset();
        PciConfigSpace space;
        space.add(0, 1, 0, 0x8086, 0x7110, 0x06, 0x01);
        space.add(0, 2, 0, 0x10EC, 0x8139, 0x02, 0x00); // another maker's network card
        (void)PCI::enumerate();
        EXPECT_EQ(error_of(E1000::find()), "No network card");
    }
    Bench bench;
    bench.card.function().set32(0x10, 0xC001); // registers behind I/O ports only
    EXPECT_EQ(error_of(bench.find()), "Network card registers out of reach");
}

TEST(NetworkCardDriver, ReportsTheLinkAsTheCardSeesIt)
{
    Bench bench;
    bench.card.link = false;
    auto nic = bench.start();
    ASSERT_TRUE(nic);
    EXPECT_FALSE(nic->link_up());
    bench.card.link = true;
    bench.card.run();
    EXPECT_TRUE(nic->link_up());
}
