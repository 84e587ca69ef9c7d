#include "kernel/Bootstrap.h"

#include "arch/Cpu.h"
#include "fs/Devices.h"
#include "hal/Console.h"
#include "hal/Debugger.h"
#include "hal/Interrupts.h"
#include "hal/Pci.h"

namespace {
TextScreen* s_screen;
TextConsole* s_writer;
Keyboard* s_keyboard;
}

void Bootstrap::Init()
{
    PIC::Initialize();
    Interrupts::UpdateIDT(true);
    Cpu::initialize_fpu();
    Debugger::Send("Bootstrap done: interrupts on");
}

void Global::Init()
{
    s_screen = new TextScreen();
    s_writer = new TextConsole(*s_screen);
    s_screen->Clear();
    s_keyboard = new Keyboard();
    Console::Bind(*s_writer, *s_keyboard);
    ATA::InitAta(AtaPio::Controller::Primary, AtaPio::Position::Master);
    ATA::InitAta(AtaPio::Controller::Primary, AtaPio::Position::Slave);
    (void)Console::WriteLine("Finding PCI Devices");
    auto pci = PCI::Setup();
    if (pci.is_error())
        Debugger::Send("PCI enumeration failed: " + pci.error().message());
    Debugger::Send("Globals ready: console and keyboard");
}

TextScreen& Global::Screen() { return *s_screen; }
TextConsole& Global::Writer() { return *s_writer; }
Keyboard& Global::Keys() { return *s_keyboard; }
