#include "kernel/Bootstrap.h"

#include "arch/Cpu.h"
#include "base/OwnPtr.h"
#include "fs/Storage.h"
#include "hal/Console.h"
#include "hal/Debugger.h"
#include "hal/Heap.h"
#include "hal/Interrupts.h"
#include "hal/Power.h"
#include "hal/Time.h"
#include "kernel/PciCommands.h"

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

namespace {
// The console is bound to these for as long as the system runs. A later start
// (the tests start many kernels) replaces them; the old keyboard goes first,
// so it hands the keys back before the new one takes them.
OwnPtr<TextScreen> g_screen;
OwnPtr<TextConsole> g_writer;
OwnPtr<Keyboard> g_keyboard;
}

void initialize_devices(Storage& storage)
{
    g_keyboard.clear();
    g_writer.clear();
    g_screen = make_own<TextScreen>();
    g_writer = make_own<TextConsole>(*g_screen);
    g_screen->clear();
    g_keyboard = make_own<Keyboard>();
    Console::bind(*g_writer, *g_keyboard);
    storage.probe_ata(AtaPio::Controller::Primary, AtaPio::Position::Master);
    storage.probe_ata(AtaPio::Controller::Primary, AtaPio::Position::Slave);
    (void)Console::write_line("Finding PCI Devices");
    auto pci = find_pci_devices();
    if (pci.is_error())
        Debugger::send("PCI enumeration failed: " + pci.error().message());
    // No IDE disk: the machine's disks may sit behind an AHCI controller
    // (a q35 board, a PC whose firmware runs its SATA ports in AHCI mode).
    if (storage.devices().is_empty())
        storage.probe_ahci();
    Debugger::send("Globals ready: console, keyboard, disks and PCI");
}
