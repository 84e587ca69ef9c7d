#include "kernel/PowerCommands.h"

#include "hal/Acpi.h"
#include "hal/Console.h"
#include "hal/Power.h"

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
