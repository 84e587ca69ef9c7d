#include "kernel/PowerCommands.h"

#include "arch/Port.h"
#include "hal/Acpi.h"
#include "hal/Console.h"
#include "hal/Power.h"

u16 Kernel::PP = 0;
u8 Kernel::D = 0;

ErrorOr<void> Kernel::Shutdown()
{
    Console::Clear();
    auto acpi = ACPI::Find();
    if (acpi.is_error())
        (void)Console::Write(acpi.error().message() + "\n");
    else
        acpi.value().PowerOff();
    return Console::Write("It is now safe to turn off your computer");
}

u8 Kernel::Inb(u16 port) { return Port::in8(port); }

void Kernel::Outb(u16 port, u8 value)
{
    PP = port;
    D = value;
    Port::out8(port, value);
}

namespace {

ErrorOr<void> reboot(Kernel&, Argument const&)
{
    Power::restart_through_keyboard_controller();
    return {};
}

ErrorOr<void> shutdown(Kernel&, Argument const&) { return Kernel::Shutdown(); }

}

void RegisterPowerCommands(Vector<Command>& table)
{
    table.append({ "reboot", reboot });
    table.append({ "shutdown", shutdown });
}
