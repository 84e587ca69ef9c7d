#include "kernel/PciCommands.h"

#include "hal/Console.h"
#include "hal/Pci.h"

namespace {

ErrorOr<void> pci(Kernel&, Argument const&)
{
    for (auto const& record : PCI::PCIDeviceList()) {
        TRY(Console::WriteLine("Name: " + record.DeviceName));
        TRY(Console::WriteLine("Sub-class name: " + record.SubclassName));
        TRY(Console::WriteLine("Device " + String::number(record.DeviceNumber) + " is on bus "
            + String::number(record.Bus)));
    }
    return {};
}

}

ErrorOr<void> find_pci_devices()
{
    for (auto const& line : PCI::Setup())
        TRY(Console::WriteLine(line));
    return {};
}

void RegisterPciCommands(Vector<Command>& table) { table.append({ "pci", pci }); }
