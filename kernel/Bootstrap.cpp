#include "kernel/Bootstrap.h"

#include "arch/Cpu.h"
#include "base/OwnPtr.h"
#include "fs/Storage.h"
#include "hal/Console.h"
#include "hal/Debugger.h"
#include "hal/Heap.h"
#include "hal/Interrupts.h"
#include "hal/Power.h"
#include "kernel/PciCommands.h"

namespace {

void report_heap_exhaustion(u32 size)
{
    (void)Console::WriteLine("Too large memory block allocated!");
    (void)Console::WriteLine("0x" + String::hex(size, 8));
}

void restart_on_ctrl_alt_delete()
{
    (void)Console::WriteLine("Detected Ctrl-Alt-Delete! Rebooting System...");
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
    install_event_handlers();
    // The keyboard's line and the cascade; the timer's line opens with the
    // first one-shot.
    PIC::Initialize(0xF9, 0x00);
    Interrupts::UpdateIDT(true);
    Cpu::initialize_fpu();
    Debugger::Send("Bootstrap done: interrupts on");
}

namespace {
// The console is bound to these for as long as the system runs. A later start
// (the tests start many kernels) replaces them; the old keyboard goes first,
// so it hands the keys back before the new one takes them.
OwnPtr<TextScreen> s_screen;
OwnPtr<TextConsole> s_writer;
OwnPtr<Keyboard> s_keyboard;
}

void initialize_devices(Storage& storage)
{
    s_keyboard.clear();
    s_writer.clear();
    s_screen = make_own<TextScreen>();
    s_writer = make_own<TextConsole>(*s_screen);
    s_screen->Clear();
    s_keyboard = make_own<Keyboard>();
    Console::Bind(*s_writer, *s_keyboard);
    storage.probe_ata(AtaPio::Controller::Primary, AtaPio::Position::Master);
    storage.probe_ata(AtaPio::Controller::Primary, AtaPio::Position::Slave);
    (void)Console::WriteLine("Finding PCI Devices");
    auto pci = find_pci_devices();
    if (pci.is_error())
        Debugger::Send("PCI enumeration failed: " + pci.error().message());
    Debugger::Send("Globals ready: console, keyboard, disks and PCI");
}
