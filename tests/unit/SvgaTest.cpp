#include "gfx/VMWareSVGAII.h"
#include "hal/Pci.h"
#include "tests/sim/PciConfigSpace.h"
#include "tests/sim/TestMachine.h"

#include <gtest/gtest.h>
#include <map>
#include <vector>

namespace {

constexpr u16 IoBase = 0xC050;
constexpr u32 FrameBuffer = 0x01000000;
constexpr u32 FrameBufferSize = 0x00400000;
constexpr u32 Queue = 0x02000000;
constexpr u32 QueueSize = 0x1000;

// The adapter's two register ports; a write of 1 to Sync runs the queue:
// its commands are recorded and Stop catches up with Next.
class SvgaDevice : public Sim::PortDevice {
public:
    std::map<u32, u32> registers;
    u32 index { 0 };
    bool accepts_version2 { true };
    int syncs { 0 };
    std::vector<std::vector<u32>> commands;

    SvgaDevice()
    {
        Sim::attach(IoBase, IoBase + 3, this);
        registers[13] = FrameBuffer;
        registers[15] = FrameBufferSize;
        registers[17] = 0;
        registers[18] = Queue;
        registers[19] = QueueSize;
    }
    u32 read(u16 port, int) override { return port == IoBase + 1 ? registers[index] : 0; }
    void write(u16 port, u32 value, int) override
    {
        if (port == IoBase) {
            index = value;
            return;
        }
        if (port != IoBase + 1)
            return;
        if (index == 0 && !(accepts_version2 && value == 0x90000002))
            value = 0x90000000;
        registers[index] = value;
        if (index == 21 && value == 1)
            run_queue();
    }
    u32 fifo(u32 offset) { return *reinterpret_cast<u32*>(Sim::memory(Queue + offset)); }
    void set_fifo(u32 offset, u32 value) { *reinterpret_cast<u32*>(Sim::memory(Queue + offset)) = value; }

private:
    void run_queue()
    {
        ++syncs;
        u32 min = fifo(0), max = fifo(4), next = fifo(8), stop = fifo(12);
        std::vector<u32> words;
        while (stop != next) {
            words.push_back(fifo(stop));
            stop += 4;
            if (stop == max)
                stop = min;
        }
        set_fifo(12, stop);
        static std::map<u32, size_t> const Lengths { { 1, 5 }, { 2, 6 }, { 3, 7 } };
        for (size_t i = 0; i < words.size();) {
            auto it = Lengths.find(words[i]);
            size_t n = it == Lengths.end() ? 1 : it->second;
            commands.emplace_back(words.begin() + i, words.begin() + std::min(words.size(), i + n));
            i += n;
        }
    }
};

struct Svga : ::testing::Test {
    TestMachine machine;
    PciConfigSpace space;
    SvgaDevice device;

    Svga()
    {
        Sim::map_memory(FrameBuffer, FrameBufferSize);
        Sim::map_memory(Queue, QueueSize);
        auto& f = space.add(0, 2, 0, 0x15AD, 0x0405, 0x03);
        f.set32(0x10, IoBase | 1);
        (void)PCI::enumerate();
    }
    u32 pixel_word(u32 offset) { return *reinterpret_cast<u32*>(Sim::memory(FrameBuffer + offset)); }
};

}

TEST_F(Svga, TheDriverFindsTheAdapterAndSetsUpItsQueue)
{
    VMWareSVGAII svga;
    ASSERT_TRUE(svga.is_usable());
    EXPECT_EQ(svga.video_memory().base(), FrameBuffer);
    EXPECT_EQ(svga.video_memory().length(), FrameBufferSize);
    EXPECT_EQ(device.fifo(0), 0x494u);
    EXPECT_EQ(device.fifo(4), QueueSize);
    EXPECT_EQ(device.fifo(8), 0x494u);
    EXPECT_EQ(device.fifo(12), 0x494u);
    EXPECT_EQ(device.registers[20], 1u);
    // Memory decoding, I/O decoding and bus mastering are on.
    EXPECT_EQ(PCI::get_device(0x15AD, 0x0405)->read_register16(0x04) & 7, 7);
}

TEST_F(Svga, AnAdapterThatRefusesTheVersionIsNotUsable)
{
    device.accepts_version2 = false;
    VMWareSVGAII svga;
    EXPECT_FALSE(svga.is_usable());
    EXPECT_EQ(svga.video_memory().length(), 0u);
}

TEST(SvgaAbsent, WithoutTheAdapterTheDriverExistsButIsNotUsable)
{
    TestMachine machine;
    PciConfigSpace space;
    space.add(0, 2, 0, 0x1234, 0x1111, 0x03);
    (void)PCI::enumerate();
    VMWareSVGAII svga;
    EXPECT_FALSE(svga.is_usable());
    EXPECT_TRUE(svga.set_pixel(0, 0, 1).is_error());
}

TEST_F(Svga, ModesAndPixels)
{
    VMWareSVGAII svga;
    ASSERT_FALSE(svga.set_mode(800, 600, 32).is_error());
    EXPECT_EQ(device.registers[2], 800u);
    EXPECT_EQ(device.registers[3], 600u);
    EXPECT_EQ(device.registers[7], 32u);
    EXPECT_EQ(device.registers[1], 1u);

    ASSERT_FALSE(svga.set_mode(640, 480, 32).is_error());
    ASSERT_FALSE(svga.set_pixel(15, 15, 0xFF0000).is_error());
    EXPECT_EQ(pixel_word(38460), 0x00FF0000u);
    auto beyond = svga.set_pixel(0, 65535, 1);
    ASSERT_TRUE(beyond.is_error());
    EXPECT_EQ(beyond.error().message(), "Memory access violation");
}

TEST_F(Svga, QueueWritesWrapAndWaitWhenFull)
{
    VMWareSVGAII svga;
    // Next at the last slot, Stop at the start: full. The adapter is asked
    // to catch up first, then the word goes into the last slot.
    device.set_fifo(8, QueueSize - 4);
    device.set_fifo(12, 0x494);
    int syncs = device.syncs;
    ASSERT_FALSE(svga.write_to_fifo(0xABCD).is_error());
    EXPECT_EQ(device.syncs, syncs + 1);
    EXPECT_EQ(device.fifo(QueueSize - 4), 0xABCDu);
    EXPECT_EQ(device.fifo(8), 0x494u);

    // Next right behind Stop: full as well.
    device.set_fifo(8, 0x600);
    device.set_fifo(12, 0x604);
    syncs = device.syncs;
    ASSERT_FALSE(svga.write_to_fifo(1).is_error());
    EXPECT_EQ(device.syncs, syncs + 1);

    // With room, nothing waits.
    device.set_fifo(8, 0x600);
    device.set_fifo(12, 0x600);
    syncs = device.syncs;
    ASSERT_FALSE(svga.write_to_fifo(2).is_error());
    EXPECT_EQ(device.syncs, syncs);
    EXPECT_EQ(device.fifo(8), 0x604u);
}

TEST_F(Svga, FillsGoToTheFrameBufferFollowedByOneUpdate)
{
    device.registers[17] = 3; // fill and copy capabilities
    VMWareSVGAII svga;
    ASSERT_FALSE(svga.set_mode(640, 480, 32).is_error());
    device.commands.clear();
    ASSERT_FALSE(svga.clear(0x3D9FED).is_error());
    EXPECT_EQ(pixel_word(0), 0x3D9FEDu);
    EXPECT_EQ(pixel_word((640 * 480 - 1) * 4), 0x3D9FEDu);
    EXPECT_EQ(pixel_word(640 * 480 * 4), 0u);
    ASSERT_EQ(device.commands.size(), 1u);
    EXPECT_EQ(device.commands[0], (std::vector<u32> { 1, 0, 0, 640, 480 }));

    device.commands.clear();
    ASSERT_FALSE(svga.fill(10, 20, 3, 2, 7).is_error());
    EXPECT_EQ(pixel_word((20 * 640 + 10) * 4), 7u);
    EXPECT_EQ(pixel_word((21 * 640 + 12) * 4), 7u);
    EXPECT_EQ(pixel_word((21 * 640 + 13) * 4), 0x3D9FEDu);
    EXPECT_EQ(pixel_word((22 * 640 + 10) * 4), 0x3D9FEDu);
    EXPECT_EQ(device.commands, (std::vector<std::vector<u32>> { { 1, 10, 20, 3, 2 } }));
}

TEST_F(Svga, ThePointerIsShownAndMovedThroughItsRegisters)
{
    VMWareSVGAII svga;
    svga.set_cursor(true, 120, 80);
    EXPECT_EQ(device.registers[24], 1u);
    EXPECT_EQ(device.registers[25], 120u);
    EXPECT_EQ(device.registers[26], 80u);
    EXPECT_EQ(device.registers[27], 1u);
    svga.set_cursor(false, 0, 0);
    EXPECT_EQ(device.registers[27], 0u);
    EXPECT_EQ(device.registers[25], 120u);
}
