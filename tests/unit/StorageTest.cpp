#include "fs/Storage.h"
#include "fs/Ahci.h"
#include "fs/MBR.h"
#include "fs/Partition.h"
#include "hal/MemoryWindow.h"
#include "hal/Pci.h"
#include "tests/sim/AhciController.h"
#include "tests/sim/AtaChannel.h"
#include "tests/sim/PciConfigSpace.h"
#include "tests/unit/StorageTestSupport.h"

namespace {

// Writes a partition table entry, and the signature that makes sector 0 a
// partition table.
void put_entry(u8* sector, int index, u8 type, u32 start, u32 count)
{
    sector[510] = 0x55;
    sector[511] = 0xAA;
    u8* entry = sector + 446 + 16 * index;
    entry[4] = type;
    for (int i = 0; i < 4; ++i) {
        entry[8 + i] = static_cast<u8>(start >> (8 * i));
        entry[12 + i] = static_cast<u8>(count >> (8 * i));
    }
}

std::vector<std::string> registry_names(Storage const& storage)
{
    std::vector<std::string> names;
    for (auto const& d : storage.named_devices())
        names.push_back(ascii(d.name));
    return names;
}

}

TEST(MBR, SkipsUnusedEntriesAndReadsStartAndCount)
{
    ByteBuffer sector;
    sector.resize(512);
    put_entry(sector.data(), 0, 0x83, 2048, 1000);
    put_entry(sector.data(), 2, 0x0C, 0x01020304, 0xA0B0C0D0);
    MBR table(sector);
    ASSERT_EQ(table.partitions().size(), 2u);
    EXPECT_EQ(table.partitions()[0].system_id, 0x83);
    EXPECT_EQ(table.partitions()[0].start_sector, 2048u);
    EXPECT_EQ(table.partitions()[0].sector_count, 1000u);
    EXPECT_EQ(table.partitions()[1].start_sector, 0x01020304u);
    EXPECT_EQ(table.partitions()[1].sector_count, 0xA0B0C0D0u);

    // Without 0x55 0xAA at its end, sector 0 is no partition table.
    sector[511] = 0;
    EXPECT_TRUE(MBR(sector).partitions().is_empty());
}

TEST(DeviceRegistry, NamesDisksAndPartitionsWithOnePartitionCounter)
{
    MemoryDisk first(8192), second(8192), bare(100);
    Storage storage;
    put_entry(first.block(0), 0, 0x83, 2048, 1024);
    put_entry(first.block(0), 1, 0x83, 4096, 1024);
    put_entry(second.block(0), 0, 0x83, 2048, 6144);
    ASSERT_FALSE(storage.add_disk(first).is_error());
    ASSERT_FALSE(storage.add_disk(second).is_error());
    ASSERT_FALSE(storage.add_disk(bare).is_error());
    storage.name_devices();
    EXPECT_EQ(registry_names(storage),
        (std::vector<std::string> { "/dev/sda", "/dev/sda1", "/dev/sda2", "/dev/sdb", "/dev/sda3", "/dev/sdc" }));
    EXPECT_EQ(storage.named_devices()[4].device->block_count(), 6144u);
    // Naming again names the same devices.
    storage.name_devices();
    EXPECT_EQ(registry_names(storage).size(), 6u);
}

TEST(DeviceRegistry, OnlyPlainPartitionsInsideTheDiskBecomeDevices)
{
    // Containers and other schemes' entries are no partitions of ours: the
    // extended kinds, the GPT protective entry, an entry over sector 0 and
    // one past the end of the disk.
    MemoryDisk disk(8192), gpt(8192);
    Storage storage;
    put_entry(disk.block(0), 0, 0x05, 100, 100);
    put_entry(disk.block(0), 1, 0x0F, 300, 100);
    put_entry(disk.block(0), 2, 0x83, 0, 1000);
    put_entry(disk.block(0), 3, 0x83, 4096, 4097);
    put_entry(gpt.block(0), 0, 0xEE, 1, 8191);
    put_entry(gpt.block(0), 1, 0x85, 2048, 100);
    put_entry(gpt.block(0), 2, 0x83, 4096, 4096);
    ASSERT_FALSE(storage.add_disk(disk).is_error());
    ASSERT_FALSE(storage.add_disk(gpt).is_error());
    storage.name_devices();
    EXPECT_EQ(registry_names(storage), (std::vector<std::string> { "/dev/sda", "/dev/sdb", "/dev/sda1" }));
    EXPECT_EQ(static_cast<Partition*>(storage.named_devices()[2].device)->first_sector(), 4096u);
}

TEST(DeviceRegistry, TheStorageFreesThePartitionsItMade)
{
    MemoryDisk disk(8192);
    put_entry(disk.block(0), 0, 0x83, 2048, 1024);
    put_entry(disk.block(0), 1, 0x83, 4096, 1024);
    auto register_once = [&] {
        Storage storage;
        ASSERT_FALSE(storage.add_disk(disk).is_error());
        storage.name_devices();
    };
    // The first round gives the registry's lists their room.
    register_once();
    u64 before = Sim::live_allocations();
    register_once();
    EXPECT_EQ(Sim::live_allocations(), before);
}

TEST(Partition, OffsetsBlocksAndRefusesRequestsOutsideItsWindow)
{
    MemoryDisk disk(4096);
    Partition p(disk, 2048, 10);
    ByteBuffer two;
    two.resize(1024);
    two[0] = 0xAA;
    two[512] = 0xBB;
    ASSERT_FALSE(p.write_block(1, 2, two).is_error());
    EXPECT_EQ(disk.block(2049)[0], 0xAA);
    EXPECT_EQ(disk.block(2050)[0], 0xBB);
    EXPECT_FALSE(error_of(p.write_block(9, 2, two)).empty());
    ByteBuffer wrong;
    wrong.resize(100);
    EXPECT_EQ(error_of(p.read_block(0, 1, wrong)), "Invalid data size.");
    // A partition of a disk is not the disk: the driver is asked of its parent.
    EXPECT_EQ(p.as_ahci(), nullptr);
}

// Copies out of a window keep every byte in place whatever the alignment of
// either side (word copies for aligned runs, bytes around them), and a range
// past the window's end copies nothing.
TEST(MemoryWindow, CopiesOutAtAnyAlignmentAndRefusesRangesPastItsEnd)
{
    Sim::FreshMachine fresh;
    constexpr u32 Base = 0x300000;
    constexpr u32 Length = 64;
    u8* memory = Sim::map_memory(Base, Length);
    for (u32 i = 0; i < Length; ++i)
        memory[i] = static_cast<u8>(i * 37 + 11);
    MemoryWindow window(Base, Length);
    alignas(4) u8 out[Length + 8];
    for (u32 from = 0; from < 4; ++from) {
        for (u32 to = 0; to < 4; ++to) {
            for (u32 length : { 0u, 1u, 3u, 4u, 7u, 33u, Length - from }) {
                std::fill(std::begin(out), std::end(out), 0xEE);
                ASSERT_FALSE(window.copy_out(from, out + to, length).is_error());
                for (u32 i = 0; i < sizeof out; ++i) {
                    bool copied = i >= to && i < to + length;
                    ASSERT_EQ(out[i], copied ? memory[from + i - to] : 0xEE)
                        << "from " << from << " to " << to << " length " << length << " byte " << i;
                }
            }
        }
    }
    std::fill(std::begin(out), std::end(out), 0xEE);
    EXPECT_EQ(error_of(window.copy_out(Length - 4, out, 5)), "Memory access violation");
    EXPECT_EQ(error_of(window.copy_out(Length + 1, out, 0)), "Memory access violation");
    EXPECT_EQ(error_of(window.copy_out(4, out, 0xFFFFFFFF)), "Memory access violation");
    EXPECT_TRUE(std::all_of(std::begin(out), std::end(out), [](u8 byte) { return byte == 0xEE; }));
    EXPECT_FALSE(window.copy_out(Length, out, 0).is_error());
    Sim::reset();
}

struct AtaDriver : ::testing::Test {
    void TearDown() override { Sim::reset(); }
    // The machine is reset before the channel attaches to it.
    struct Fresh {
        Fresh() { Sim::reset(); }
    } fresh;
    Sim::AtaChannel channel;
};

TEST_F(AtaDriver, IdentifiesTheDriveAndSwitchesOnMultipleMode)
{
    channel.attach_drive(0, 5000).max_multiple = 16;
    AtaPio drive(AtaPio::Controller::Primary, AtaPio::Position::Master);
    ASSERT_EQ(drive.identify(), AtaPio::DriveKind::Ata);
    EXPECT_EQ(drive.block_count(), 5000u);
    EXPECT_EQ(drive.sectors_per_data_block(), 16u);
    EXPECT_EQ(drive.as_ata_pio(), &drive);
    EXPECT_EQ(drive.as_ahci(), nullptr);
    ASSERT_EQ(channel.commands().size(), 2u);
    EXPECT_EQ(channel.commands()[0].code, 0xEC);
    EXPECT_EQ(channel.commands()[1].code, 0xC6);
    EXPECT_EQ(channel.commands()[1].count, 16u);

    // An empty slot is known at once: no time limit is waited out.
    AtaPio slave(AtaPio::Controller::Primary, AtaPio::Position::Slave);
    u64 before = Sim::timer_milliseconds();
    EXPECT_EQ(slave.identify(), AtaPio::DriveKind::None);
    EXPECT_EQ(Sim::timer_milliseconds(), before);
    channel.attach_drive(1, 10).packet = true;
    EXPECT_EQ(slave.identify(), AtaPio::DriveKind::Packet);
}

TEST_F(AtaDriver, SplitsLargeTransfersIntoMultipleCommandsOfAtMost255Sectors)
{
    auto& d = channel.attach_drive(0, 4096);
    AtaPio drive(AtaPio::Controller::Primary, AtaPio::Position::Master);
    ASSERT_EQ(drive.identify(), AtaPio::DriveKind::Ata);
    channel.clear_commands();

    ByteBuffer data;
    data.resize(300 * 512);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<u8>(i * 7 + i / 512);
    ASSERT_FALSE(drive.write_block(1110, 300, data).is_error());
    auto commands = channel.commands();
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_EQ(commands[0].code, 0xC5);
    EXPECT_EQ(commands[0].count, 255u);
    EXPECT_EQ(commands[1].code, 0xC5);
    EXPECT_EQ(commands[1].count, 45u);
    EXPECT_EQ(commands[1].lba, commands[0].lba + 255);
    EXPECT_EQ(commands[2].code, 0xE7); // one cache flush per request
    u32 base = commands[0].lba;
    EXPECT_EQ(d.bytes[base * 512 + 1], data[1]);
    EXPECT_EQ(d.bytes[(base + 299) * 512 + 511], data[299 * 512 + 511]);

    channel.clear_commands();
    u64 blocks_before = channel.data_blocks();
    ByteBuffer back;
    back.resize(300 * 512);
    ASSERT_FALSE(drive.read_block(base, 300, back).is_error());
    EXPECT_TRUE(std::equal(back.begin(), back.end(), data.begin()));
    EXPECT_EQ(channel.commands()[0].code, 0xC4);
    // 16 sectors per data request: ceil(255 / 16) + ceil(45 / 16).
    EXPECT_EQ(channel.data_blocks() - blocks_before, 16u + 3u);

    // The same blocks gathered from three places, the pieces ending inside
    // data requests and inside a command: the same bytes land, and the
    // request is flushed once.
    ByteBuffer head, tail;
    head.resize(512);
    tail.resize(512);
    for (size_t i = 0; i < 512; ++i) {
        head[i] = static_cast<u8>(i ^ 0x5A);
        tail[i] = static_cast<u8>(i ^ 0xA5);
    }
    BlockPiece pieces[] = { head, BlockPiece(data.data() + 512, 298 * 512), tail };
    channel.clear_commands();
    ASSERT_FALSE(drive.write_blocks(base, pieces).is_error());
    ASSERT_EQ(channel.commands().size(), 3u);
    EXPECT_EQ(channel.commands()[2].code, 0xE7);
    EXPECT_TRUE(std::equal(head.begin(), head.end(), d.bytes.begin() + base * 512));
    EXPECT_TRUE(std::equal(data.begin() + 512, data.begin() + 299 * 512, d.bytes.begin() + (base + 1) * 512));
    EXPECT_TRUE(std::equal(tail.begin(), tail.end(), d.bytes.begin() + (base + 299) * 512));
    BlockPiece ragged[] = { BlockPiece(head.data(), 500) };
    EXPECT_EQ(error_of(drive.write_blocks(base, ragged)), "Invalid data size.");
}

TEST_F(AtaDriver, FallsBackToSingleSectorCommandsWithoutMultipleSupport)
{
    auto& d = channel.attach_drive(0, 64);
    d.max_multiple = 0;
    d.bytes[3 * 512 + 5] = 0x5A;
    AtaPio drive(AtaPio::Controller::Primary, AtaPio::Position::Master);
    ASSERT_EQ(drive.identify(), AtaPio::DriveKind::Ata);
    EXPECT_EQ(drive.sectors_per_data_block(), 1u);
    channel.clear_commands();
    ByteBuffer two;
    two.resize(1024);
    ASSERT_FALSE(drive.read_block(2, 2, two).is_error());
    EXPECT_EQ(two[512 + 5], 0x5A);
    ASSERT_EQ(channel.commands().size(), 1u);
    EXPECT_EQ(channel.commands()[0].code, 0x20);
    EXPECT_EQ(channel.commands()[0].lba, 2u);
    EXPECT_EQ(channel.commands()[0].count, 2u);
    ASSERT_FALSE(drive.write_block(2, 2, two).is_error());
    EXPECT_EQ(channel.commands()[1].code, 0x30);
}

TEST_F(AtaDriver, ReportsErrorBitTimeOutAndWrongBufferSize)
{
    auto& d = channel.attach_drive(0, 64);
    AtaPio drive(AtaPio::Controller::Primary, AtaPio::Position::Master);
    ASSERT_EQ(drive.identify(), AtaPio::DriveKind::Ata);
    ByteBuffer one;
    one.resize(512);
    d.fail_commands = 1;
    EXPECT_EQ(error_of(drive.read_block(1, 1, one)), "ATA Error");
    EXPECT_FALSE(drive.read_block(1, 1, one).is_error());

    ByteBuffer odd;
    odd.resize(513);
    EXPECT_EQ(error_of(drive.write_block(1, 1, odd)), "Invalid data size.");
    EXPECT_FALSE(error_of(drive.read_block(64, 1, one)).empty()); // past the end

    // A drive that stays busy is given the whole time limit, measured on the
    // clock however fast the status polls are, and no more.
    d.stuck_busy = true;
    u64 before = Sim::timer_milliseconds();
    EXPECT_EQ(error_of(drive.read_block(1, 1, one)), "ATA Error");
    EXPECT_GE(Sim::timer_milliseconds() - before, AtaPio::TimeoutMs);
    EXPECT_LT(Sim::timer_milliseconds() - before, AtaPio::TimeoutMs + 50);
}

TEST_F(AtaDriver, StartUpProbeRegistersTheDiskAndItsPartitions)
{
    Storage storage;
    auto& master = channel.attach_drive(0, 8192);
    put_entry(master.bytes.data(), 0, 0x83, 2048, 6144);
    auto& slave = channel.attach_drive(1, 4096);
    put_entry(slave.bytes.data(), 0, 0x83, 100, 200);
    storage.probe_ata(AtaPio::Controller::Primary, AtaPio::Position::Master);
    storage.probe_ata(AtaPio::Controller::Primary, AtaPio::Position::Slave);
    storage.name_devices();
    EXPECT_EQ(registry_names(storage), (std::vector<std::string> { "/dev/sda", "/dev/sda1", "/dev/sdb", "/dev/sda2" }));

    // Block 1 of the slave's partition is sector 101 of the slave.
    ByteBuffer one;
    one.resize(512);
    one[0] = 0x42;
    ASSERT_FALSE(storage.named_devices()[3].device->write_block(1, 1, one).is_error());
    EXPECT_EQ(slave.bytes[101 * 512], 0x42);
    EXPECT_EQ(master.bytes[2049 * 512], 0);
}

struct AhciDriver : ::testing::Test {
    void TearDown() override { Sim::reset(); }
    struct Fresh {
        Fresh() { Sim::reset(); }
    } fresh;
    Sim::AhciController controller { true };
    static constexpr u32 Port0 = 0x100;
};

TEST_F(AhciDriver, TakesTheControllerFromTheFirmwareAndStartsEveryPortWithAnAtaDisk)
{
    controller.attach_disk(0, 3000);
    controller.attach_disk(2, 100).signature = 0xEB140101; // a packet device
    controller.attach_disk(4, 500);
    {
        auto disks = AhciDisk::find_disks(Sim::AhciController::Base);
        EXPECT_EQ(controller.reg(0x28) & 3, 2u); // the system owns it now
        EXPECT_TRUE(controller.reg(0x04) & 0x80000000u);
        ASSERT_EQ(disks.size(), 2u);
        // IDENTIFY's 48-bit count, not its capped 28-bit one.
        EXPECT_EQ(disks[0]->block_count(), 3000u);
        EXPECT_EQ(disks[1]->block_count(), 500u);
        // The benchmarks tell the two drivers' disks apart by these.
        EXPECT_EQ(disks[0]->as_ahci(), disks[0].ptr());
        EXPECT_EQ(disks[0]->as_ata_pio(), nullptr);
        EXPECT_EQ(controller.port_reg(0, 0x00) % 1024, 0u);
        EXPECT_EQ(controller.port_reg(0, 0x08) % 256, 0u);
        EXPECT_EQ(controller.port_reg(0, 0x18) & 0x11, 0x11u); // started, receiving FISes
    }
    // Gone with the disks: the engines stopped first, then the memory.
    EXPECT_EQ(controller.port_reg(0, 0x18) & 0xC011, 0u);
    EXPECT_EQ(Sim::page_frame_bytes(), 0u);
}

TEST_F(AhciDriver, SplitsTransfersGathersPiecesAndFlushesOncePerWrite)
{
    auto& d = controller.attach_disk(1, 4096);
    auto disks = AhciDisk::find_disks(Sim::AhciController::Base);
    ASSERT_EQ(disks.size(), 1u);
    auto& disk = *disks[0];
    d.commands.clear();

    ByteBuffer data;
    data.resize(300 * 512);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<u8>(i * 7 + i / 512);
    ASSERT_FALSE(disk.write_block(1110, 300, data).is_error());
    ASSERT_EQ(d.commands.size(), 4u);
    u32 counts[] = { 128, 128, 44 };
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(d.commands[i].code, 0x35);
        EXPECT_EQ(d.commands[i].lba, 1110u + 128 * i);
        EXPECT_EQ(d.commands[i].count, counts[i]);
    }
    EXPECT_EQ(d.commands[3].code, 0xEA);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), d.bytes.begin() + 1110 * 512));

    ByteBuffer back;
    back.resize(300 * 512);
    ASSERT_FALSE(disk.read_block(1110, 300, back).is_error());
    EXPECT_TRUE(std::equal(back.begin(), back.end(), data.begin()));
    EXPECT_EQ(d.commands[4].code, 0x25);

    // Pieces ending inside a command and across the split between two.
    ByteBuffer head, tail;
    head.resize(512);
    tail.resize(512);
    for (size_t i = 0; i < 512; ++i) {
        head[i] = static_cast<u8>(i ^ 0x5A);
        tail[i] = static_cast<u8>(i ^ 0xA5);
    }
    BlockPiece pieces[] = { head, BlockPiece(data.data() + 512, 298 * 512), tail };
    d.commands.clear();
    ASSERT_FALSE(disk.write_blocks(2000, pieces).is_error());
    ASSERT_EQ(d.commands.size(), 4u);
    EXPECT_TRUE(std::equal(head.begin(), head.end(), d.bytes.begin() + 2000 * 512));
    EXPECT_TRUE(std::equal(data.begin() + 512, data.begin() + 299 * 512, d.bytes.begin() + 2001 * 512));
    EXPECT_TRUE(std::equal(tail.begin(), tail.end(), d.bytes.begin() + 2299 * 512));
    EXPECT_EQ(error_of(disk.read_block(4096, 1, back)), "Invalid data size.");
    back.resize(512);
    EXPECT_EQ(error_of(disk.read_block(4096, 1, back)), "Block number out of range");
}

TEST_F(AhciDriver, ADeviceErrorOrATimeOutFailsTheRequestAndThePortRecovers)
{
    auto& d = controller.attach_disk(0, 64);
    d.bytes[3 * 512] = 0x77;
    auto disks = AhciDisk::find_disks(Sim::AhciController::Base);
    ASSERT_EQ(disks.size(), 1u);
    auto& disk = *disks[0];
    ByteBuffer one;
    one.resize(512);

    d.fail_next = true;
    EXPECT_EQ(error_of(disk.read_block(3, 1, one)), "ATA Error");
    ASSERT_FALSE(disk.read_block(3, 1, one).is_error());
    EXPECT_EQ(one[0], 0x77);

    // A port that never completes is given the whole time limit, then
    // stopped: no command is left pointing into the driver's memory.
    d.stuck_busy = true;
    u64 before = Sim::timer_milliseconds();
    EXPECT_EQ(error_of(disk.read_block(3, 1, one)), "ATA Error");
    EXPECT_GE(Sim::timer_milliseconds() - before, AhciDisk::TimeoutMs);
    EXPECT_LT(Sim::timer_milliseconds() - before, AhciDisk::TimeoutMs + 1000);
    EXPECT_EQ(controller.port_reg(0, 0x38), 0u);
    d.stuck_busy = false;
    EXPECT_FALSE(disk.read_block(3, 1, one).is_error());

    // An engine that will not stop may still write to the memory: the disk
    // refuses further work and never gives that memory back.
    d.stuck_busy = true;
    d.engine_stuck = true;
    EXPECT_EQ(error_of(disk.read_block(3, 1, one)), "ATA Error");
    size_t issued = d.commands.size();
    EXPECT_EQ(error_of(disk.read_block(3, 1, one)), "ATA Error");
    EXPECT_EQ(d.commands.size(), issued);
    disks.clear();
    EXPECT_GT(Sim::page_frame_bytes(), 0u);
}

TEST_F(AhciDriver, StartUpProbeFindsTheControllerOnThePciBusAndNamesItsDisks)
{
    PciConfigSpace space;
    space.add(0, 31, 0, 0x8086, 0x2918, 0x06, 0x01, 0, 0x80);
    auto& function = space.add(0, 31, 2, 0x8086, 0x2922, 0x01, 0x06, 0x01);
    function.set32(0x24, Sim::AhciController::Base);
    space.add(0, 31, 3, 0x8086, 0x2930, 0x01, 0x06, 0x00); // SATA, not AHCI
    (void)PCI::enumerate();
    auto& d = controller.attach_disk(3, 8192);
    put_entry(d.bytes.data(), 0, 0x83, 2048, 6144);
    Storage storage;
    storage.probe_ahci();
    storage.name_devices();
    EXPECT_EQ(registry_names(storage), (std::vector<std::string> { "/dev/sda", "/dev/sda1" }));
    EXPECT_EQ(function.get16(0x04) & 0x06, 0x06); // memory space and bus mastering
}
