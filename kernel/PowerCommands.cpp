#include "kernel/PowerCommands.h"

#include "hal/Acpi.h"
#include "hal/Console.h"
#include "hal/Power.h"

ErrorOr<void> Kernel::shutdown()
{
    Console::clear();
    auto acpi = ACPI::find();
    if (acpi.is_error())
        (void)Console::write(acpi.error().message() + "\n");
    else
        acpi.value().power_off();
    return Console::write("It is now safe to turn off your computer");
}

namespace {

ErrorOr<void> reboot(Kernel&, Argument const&)
{
    Power::restart_through_keyboard_controller();
    return {};
}

ErrorOr<void> shutdown(Kernel&, Argument const&) { return Kernel::shutdown(); }

}

void register_power_commands(Vector<Command>& table)
{
    table.append({ "reboot", reboot });
    table.append({ "shutdown", shutdown });
}
