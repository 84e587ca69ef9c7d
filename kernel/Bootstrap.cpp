#include "kernel/Bootstrap.h"

#include "arch/Cpu.h"
#include "fs/Storage.h"
#include "hal/Console.h"
#include "hal/Debugger.h"
#include "hal/Heap.h"
#include "hal/Interrupts.h"
#include "hal/Pci.h"
#include "hal/Power.h"
#include "hal/Time.h"
#include "net/E1000.h"

namespace {

void report_heap_exhaustion(u32 size)
{
    (void)Console::write_line("Too large memory block allocated!");
    (void)Console::write_line("0x" + String::hex(size, 8));
}

void restart_on_ctrl_alt_delete()
{
    (void)Console::write_line("Detected Ctrl-Alt-Delete! Rebooting System...");
    Power::restart_through_keyboard_controller();
}

}

void install_event_handlers()
{
    Heap::set_exhaustion_handler(report_heap_exhaustion);
    Keyboard::set_ctrl_alt_delete_handler(restart_on_ctrl_alt_delete);
}

void initialize_hardware()
{
    Time::mark_start();
    install_event_handlers();
    // The keyboard's line and the cascade; the timer's line opens with the
    // first one-shot.
    PIC::initialize(0xF9, 0x00);
    Interrupts::update_idt(true);
    Cpu::initialize_fpu();
    Debugger::send("Bootstrap done: interrupts on");
}

ErrorOr<void> find_devices(Storage& storage)
{
    storage.probe_ata(AtaPio::Controller::Primary, AtaPio::Position::Master);
    storage.probe_ata(AtaPio::Controller::Primary, AtaPio::Position::Slave);
    TRY(Console::write_line("Finding PCI Devices"));
    for (auto const& device : PCI::enumerate()) {
        String line = String::repeated(u' ', 5 * device->bridges_crossed) + String::number(device->bus) + ":"
            + String::number(device->slot) + ":" + String::number(device->function) + "   "
            + DeviceClass::get_string(*device);
        Debugger::send("PCI " + line);
        TRY(Console::write_line(line));
    }
    // No IDE disk: the machine's disks may sit behind an AHCI controller
    // (a q35 board, a PC whose firmware runs its SATA ports in AHCI mode).
    if (storage.devices().is_empty())
        storage.probe_ahci();
    Debugger::send("Devices found: disks and PCI");
    return {};
}

ErrorOr<OwnPtr<NetworkCard>> find_network_card() { return OwnPtr<NetworkCard>(TRY(E1000::find())); }

namespace {

// Directories a new disk gets, so the prompt's home and the editors' save
// folder exist from the first boot.
char const* const InitialDirectories[] = { "/home", "/home/root", "/documents" };

ErrorOr<void> format_with_directories(DiskFilesystem& fs)
{
    TRY(fs.format("TESSARY"));
    for (char const* directory : InitialDirectories)
        TRY(fs.make_dir(directory, "root"));
    return {};
}

enum class PartitionContent { Tessary, Blank, Foreign };

ErrorOr<PartitionContent> probe(Partition& partition)
{
    if (TRY(DiskFilesystem::is_formatted(partition)))
        return PartitionContent::Tessary;
    return TRY(DiskFilesystem::is_blank(partition)) ? PartitionContent::Blank : PartitionContent::Foreign;
}

// A partition's own line under "Creating partitions...", which leaves the
// cursor on its line.
ErrorOr<void> report(String const& line)
{
    if (Console::cursor_left() != 0)
        Console::write_line();
    return Console::write_line(line);
}

// The file system on a partition: ours as it is, a blank partition freshly
// formatted. Anything else belongs to another system and is never written.
ErrorOr<OwnPtr<DiskFilesystem>> open_volume(NamedDevice const& entry, Partition& partition, User const& user)
{
    auto content = probe(partition);
    if (content.is_error()) {
        TRY(report(entry.name + ": " + content.error().message()));
        return OwnPtr<DiskFilesystem>();
    }
    switch (content.value()) {
    case PartitionContent::Tessary:
        TRY(Console::write_line("Drive detected!"));
        return make_own<DiskFilesystem>(partition, user);
    case PartitionContent::Foreign:
        Debugger::send("Left alone: " + entry.name);
        TRY(report(entry.name + " holds another system and was left untouched"));
        return OwnPtr<DiskFilesystem>();
    case PartitionContent::Blank:
        break;
    }
    Debugger::send("Formatting " + entry.name);
    auto fs = make_own<DiskFilesystem>(partition, user);
    auto formatted = format_with_directories(*fs);
    // A partition that cannot hold the file system (too small, a disk
    // error) is left out; the other disks still serve.
    if (formatted.is_error()) {
        TRY(report(entry.name + ": " + formatted.error().message()));
        return OwnPtr<DiskFilesystem>();
    }
    return fs;
}

}

ErrorOr<void> mount_disks(Storage& storage)
{
    storage.name_devices();
    storage.log_in(User::root());
    // Every run of the boot screen (cls, leaving an editor) replaces what the
    // last one mounted.
    storage.unmount();
    OwnPtr<DiskFilesystem> boot_volume;
    for (auto const& entry : storage.named_devices()) {
        Partition* partition = entry.device->as_partition();
        if (!partition)
            continue;
        auto volume = TRY(open_volume(entry, *partition, storage.user()));
        // The last Tessary partition is the shell's one volume: the disk
        // commands, the editors and the scripts all see the same files.
        if (volume)
            boot_volume = static_cast<OwnPtr<DiskFilesystem>&&>(volume);
    }
    if (boot_volume)
        storage.mount_boot_volume(static_cast<OwnPtr<DiskFilesystem>&&>(boot_volume));
    return {};
}
