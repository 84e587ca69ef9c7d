#include "kernel/PciCommands.h"

#include "hal/Console.h"
#include "hal/Pci.h"

namespace {

ErrorOr<void> pci(Kernel&, Argument const&)
{
    for (auto const& record : PCI::pci_device_list()) {
        TRY(Console::write_line("Name: " + record.device_name));
        TRY(Console::write_line("Sub-class name: " + record.subclass_name));
        TRY(Console::write_line(
            "Device " + String::number(record.device_number) + " is on bus " + String::number(record.bus)));
    }
    return {};
}

}

ErrorOr<void> find_pci_devices()
{
    for (auto const& line : PCI::setup())
        TRY(Console::write_line(line));
    return {};
}

void register_pci_commands(Vector<Command>& table) { table.append({ "pci", pci }); }
