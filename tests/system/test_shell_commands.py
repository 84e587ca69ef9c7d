"""The shell's own commands in QEMU: help screens, messages and colours,
info, time, the key echo test, the progress bar and cls."""

import unittest

from shell_session import PROMPT_LINE, run, wait_for_prompt
from tessary_qemu import QUESTION, SystemTest

ON_CYAN, ON_RED, ON_BLUE = 0xB, 0xC, 0x9


class ShellCommands(SystemTest):
    def test_help_info_time_usage_and_messages(self):
        machine = self.boot()
        machine.boot_to_prompt()

        output = run(machine, "HELP")
        self.assertEqual(len(output), 21)
        self.assertEqual(output[0], "Tessary Help : Page 1/1")
        self.assertEqual(output[2], "help: show this help")
        self.assertEqual(output[20], "CREDITS: SHOW CREDITS AND COPYRIGHTS")
        row, _ = machine.find("CREDITS: SHOW CREDITS")
        self.assertEqual(machine.attribute_at(row, 0) >> 4, ON_CYAN)
        self.assertEqual(machine.attribute_at(row + 1, 0) >> 4, 0)

        self.assertEqual(run(machine, "help showgui"), [
            "Help of command : showgui", "Switches the system to graphical mode.", "Parameters : Nothing"])
        self.assertEqual(run(machine, "debughlp"), ["Tessary Developer Help : Page 1/1", "-" * 33])
        self.assertEqual(run(machine, "chmod"), ["USAGE: chmod <file/folder path> <permissions>"])
        row, _ = machine.find("USAGE: chmod")
        self.assertEqual(machine.attribute_at(row, 0) >> 4, ON_BLUE)
        self.assertEqual(run(machine, "chmod /x 7"), [])
        self.assertEqual(run(machine, "bas"), [])
        self.assertEqual(run(machine, "tsc"), ["USAGE: tsc <file path>"])

        output = run(machine, "time")
        self.assertRegex(output[0], r"^24-hours time: \d{1,2}:\d\d$")
        self.assertRegex(output[1], r"^12-hours time: \d{1,2}:\d\d[ap]m$")
        row, _ = machine.find(output[0])
        self.assertEqual(machine.attribute_at(row, 15), 0x0B)

        self.assertEqual(run(machine, "xyz"), ["UNKNOWN COMMAND: xyz"])

        output = run(machine, "info")
        self.assertEqual(output[:2], ["SYSTEM INFORMATION", "Tessary 0.2 Dev"])
        self.assertEqual(output[3:5], ["", "Created with Vantor User Kit 92560"])
        self.assertTrue(output[5].startswith("For more informations, go to "))
        self.assertEqual(output[6:], ["", "COMPUTER INFORMATION"])
        row, _ = machine.find("Tessary 0.2 Dev")
        self.assertEqual(machine.attribute_at(row, 0) >> 4, 3)
        # The dark magenta background stays for the prompt.
        prompt_row = wait_for_prompt(machine)
        self.assertEqual(machine.attribute_at(prompt_row, 0) >> 4, 5)

        # A bad help topic leaves the background red.
        self.assertEqual(run(machine, "help SHOWGUI"), ["CAN'T PARSE ARGUMENT : SHOWGUI"])
        prompt_row = wait_for_prompt(machine)
        self.assertEqual(machine.attribute_at(prompt_row, 0) >> 4, ON_RED)

    def test_testprogbar_cls_fillcon_and_keybrd(self):
        machine = self.boot()
        machine.boot_to_prompt()

        # The bar is drawn under the cursor's line and fills in about 44
        # seconds; the prompt comes back on the line above it.
        machine.type_line("testprogbar")
        row, column = machine.wait_for_text("100%", timeout=120)
        self.assertEqual(column, 54)
        self.assertEqual(machine.screen()[row], "[" + "=" * 50 + "]  100%")
        machine.wait_for(lambda: machine.screen()[row - 1] == PROMPT_LINE, 10, "the prompt above the bar")

        # cls clears and shows the boot screen and the question again.
        machine.type_line("cls")
        machine.wait_for(lambda: machine.screen()[6] == "Tessary 0.2 Booting...", 30, "the boot screen")
        machine.wait_for_text(QUESTION, 60)
        self.assertIsNone(machine.find("100%"))
        machine.type_line("DOS")

        # The red rows scroll the command line away.
        wait_for_prompt(machine)
        machine.type_line("fillcon")
        self.assertEqual(wait_for_prompt(machine), 24)
        cells = machine.cells()
        self.assertTrue(all(cells[row][col][1] >> 4 == ON_RED for row in range(23) for col in (0, 40, 79)))

        # keybrd names every key until Escape, then the prompt reads keys again.
        wait_for_prompt(machine)
        machine.type_line("keybrd")
        machine.type("q")
        machine.press("up")
        machine.press("backspace")
        machine.press("esc")
        row = wait_for_prompt(machine)
        self.assertEqual(machine.screen()[row - 4:row], ["q", "UP", "DEL", "ESC"])
        self.assertEqual(run(machine, "debughlp")[0], "Tessary Developer Help : Page 1/1")

if __name__ == "__main__":
    unittest.main()
