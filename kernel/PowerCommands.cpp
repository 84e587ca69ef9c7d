#include "kernel/PowerCommands.h"

#include "arch/Port.h"
#include "hal/Acpi.h"

u16 Kernel::PP = 0;
u8 Kernel::D = 0;

ErrorOr<void> Kernel::Shutdown() { return ACPI::Shutdown(); }

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
    Kernel::RebootACPI();
    return {};
}

ErrorOr<void> shutdown(Kernel&, Argument const&) { return Kernel::Shutdown(); }

}

void RegisterPowerCommands(Vector<Command>& table)
{
    table.append({ "reboot", reboot });
    table.append({ "shutdown", shutdown });
}
