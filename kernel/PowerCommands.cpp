#include "kernel/PowerCommands.h"

#include "hal/Acpi.h"

ErrorOr<void> Kernel::Shutdown() { return ACPI::Shutdown(); }

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
