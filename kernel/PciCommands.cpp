#include "kernel/PciCommands.h"

#include "hal/Console.h"
#include "hal/Pci.h"

namespace {

// The devices the start-up walk found, in its order, three lines each.
ErrorOr<void> pci(Kernel&, Argument const&)
{
    for (auto const& device : PCI::devices()) {
        TRY(Console::write_line("Name: " + DeviceClass::get_string(*device)));
        TRY(Console::write_line("Sub-class name: " + DeviceClass::subclass_name(*device)));
        TRY(Console::write_line(
            "Device " + String::number(device->device_id) + " is on bus " + String::number(device->bus)));
    }
    return {};
}

}

void register_pci_commands(Vector<Command>& table) { table.append({ "pci", pci }); }
