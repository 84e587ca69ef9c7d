"""Power-off through the firmware's ACPI tables and restart through the keyboard controller."""

import unittest

from tessary_qemu import PROMPT, QUESTION, SystemTest

SAFE_TEXT = "It is now safe to turn off your computer"


class Power(SystemTest):
    def test_shutdown_switches_the_machine_off(self):
        machine = self.boot()
        machine.boot_to_prompt()
        machine.type_line("shutdown")
        self.assertTrue(machine.wait_for_exit(30), "the machine is still on:\n" + machine.text())
        # The sleep state came from QEMU's own tables, not from a guess.
        self.assertIn("ACPI: PM1a control at 0x", machine.kernel_log())

    def test_shutdown_without_acpi_explains_and_keeps_running(self):
        machine = self.boot(extra_args=("-no-acpi",))
        machine.boot_to_prompt()
        machine.type_line("shutdown")
        # The message stays on the cleared screen and the prompt follows it
        # on the same line: the machine is still running.
        machine.wait_for_text(SAFE_TEXT + PROMPT)
        screen = machine.screen()
        self.assertEqual(screen[0], "no acpi.")
        self.assertEqual(screen[1], SAFE_TEXT + PROMPT.rstrip())
        self.assertTrue(all(row == "" for row in screen[2:]), machine.text())
        self.assertFalse(machine.wait_for_exit(2))

    def test_reboot_restarts_the_machine(self):
        machine = self.boot()
        machine.boot_to_prompt()
        machine.type_line("reboot")
        machine.wait_for(lambda: "RESET" in machine.event_names(), 20, "a reset")
        # The old screen goes, and the boot screen comes back to its question.
        machine.wait_for(lambda: not machine.find(PROMPT + "reboot"), 30, "the screen to clear")
        machine.wait_for_text(QUESTION, 60)
        self.assertEqual(machine.kernel_log().count("Boot screen done"), 2)


if __name__ == "__main__":
    unittest.main()
