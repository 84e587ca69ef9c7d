"""PCI enumeration at start-up and the `pci` device list."""

import unittest

from tessary_qemu import PROMPT, SystemTest


class PciList(SystemTest):
    def test_pci_lists_the_machines_devices_by_class_and_sub_class(self):
        # The card is joined to nothing: its frames go nowhere.
        machine = self.boot(extra_args=("-device", "e1000"))
        machine.boot_to_prompt()
        self.assertIn("PCI 0:0:0   Bridge Device", machine.kernel_log())
        machine.type_line("pci")
        machine.wait_for_count(PROMPT, 2)
        screen = machine.screen()
        # QEMU's pc machine: the i440FX host bridge, the PIIX3 (a
        # multi-function device: ISA bridge, IDE controller at function 1,
        # ACPI at function 3), the standard VGA adapter and the e1000 card.
        self.assertIn("PCI 0:1:1   Mass Storage Controller", machine.kernel_log())
        self.assertIn("PCI 0:1:3   Bridge Device", machine.kernel_log())
        expected = [
            "Name: Bridge Device", "Sub-class name: Host Bridge", "Device 4663 is on bus 0",
            "Name: Bridge Device", "Sub-class name: ISA Bridge", "Device 28672 is on bus 0",
            "Name: Mass Storage Controller", "Sub-class name: IDE Controller", "Device 28688 is on bus 0",
            "Name: Bridge Device", "Sub-class name: ClassCode: 6     Subclass: 128     ProgIF: 0",
            "Device 28947 is on bus 0",
            "Name: Display Controller", "Sub-class name: VGA Compatible Controller", "Device 4369 is on bus 0",
            "Name: Network Controller", "Sub-class name: Ethernet Controller", "Device 4110 is on bus 0",
        ]
        start = screen.index(PROMPT + "pci") + 1
        self.assertEqual(screen[start:start + len(expected)], expected)

    def test_the_vmware_adapter_is_named_from_the_known_devices(self):
        machine = self.boot(vga="vmware")
        machine.boot_to_prompt()
        machine.type_line("pci")
        machine.wait_for_count(PROMPT, 2)
        self.assertIsNotNone(machine.find("Name: VMware NVIDIA 9500MGS"))
        self.assertIsNotNone(machine.find("Sub-class name: VGA Compatible Controller"))
        self.assertIsNotNone(machine.find("Device 1029 is on bus 0"))


if __name__ == "__main__":
    unittest.main()
