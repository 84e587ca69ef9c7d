#include "kernel/Bootstrap.h"

#include "arch/Cpu.h"
#include "fs/Devices.h"
#include "hal/Console.h"
#include "hal/Debugger.h"
#include "hal/Interrupts.h"
#include "hal/Pci.h"

void Bootstrap::Init()
{
    PIC::Initialize();
    Interrupts::UpdateIDT(true);
    Cpu::initialize_fpu();
    Debugger::Send("Bootstrap done: interrupts on");
}

void Global::Init()
{
    // They live as long as the system: the console is bound to them.
    auto* screen = new TextScreen();
    auto* writer = new TextConsole(*screen);
    screen->Clear();
    auto* keyboard = new Keyboard();
    Console::Bind(*writer, *keyboard);
    ATA::InitAta(AtaPio::Controller::Primary, AtaPio::Position::Master);
    ATA::InitAta(AtaPio::Controller::Primary, AtaPio::Position::Slave);
    (void)Console::WriteLine("Finding PCI Devices");
    auto pci = PCI::Setup();
    if (pci.is_error())
        Debugger::Send("PCI enumeration failed: " + pci.error().message());
    Debugger::Send("Globals ready: console, keyboard, disks and PCI");
}
