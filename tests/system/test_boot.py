"""The boot screen, the text-or-graphics question, the prompt and its line editor."""

import unittest

from tessary_qemu import PROMPT, QUESTION, SystemTest, blank_disk

RED_ON_BLACK, CYAN_ON_BLACK, GREEN_ON_BLACK, WHITE_ON_BLACK = 0x0C, 0x0B, 0x0A, 0x0F

STARTING_KERNEL_COLOURS = [12, 10, 9, 11, 14, 3, 5, 13, 8, 2, 4, 6, 7, 9, 12, 15, 15, 15]


class BootScreen(SystemTest):
    def test_boot_screen_question_prompt_and_line_editor(self):
        machine = self.boot(disk=blank_disk(self.workdir))
        machine.boot_to_question()
        cells = machine.cells()
        screen = machine.screen()

        # Banner: 24 red columns then a cyan part, six rows.
        for row in range(6):
            left = [a for ch, a in cells[row][:24] if ch == ord("@")]
            right = [a for ch, a in cells[row][24:38] if ch == ord("@")]
            self.assertTrue(left and all(a == RED_ON_BLACK for a in left), f"row {row} left part")
            self.assertTrue(right and all(a == CYAN_ON_BLACK for a in right), f"row {row} right part")
        self.assertEqual(screen[6], "Tessary 0.2 Booting...")
        self.assertEqual(cells[6][0][1], 0x05)
        self.assertEqual(screen[7], "Checking Memory...")
        # QEMU's loader reports 129,920 KiB at -m 128: 126 + 1 + 2.
        self.assertEqual(screen[8], "Memory: 129 MB OK")
        self.assertEqual(cells[8][0][1], WHITE_ON_BLACK)
        self.assertEqual([cells[8][c][1] for c in (15, 16)], [GREEN_ON_BLACK, GREEN_ON_BLACK])
        self.assertEqual(screen[9], "Starting kernel...")
        self.assertEqual([cells[9][c][1] for c in range(18)], STARTING_KERNEL_COLOURS)
        self.assertTrue(screen[10].startswith("Creating partitions..."))
        self.assertEqual(screen[11], QUESTION)
        log = machine.kernel_log()
        for milestone in ("Starting kernel", "Bootstrap done", "Boot screen done"):
            self.assertIn(milestone, log)

        # Only "DOS" exactly leads to the prompt.
        machine.type_line("dos")
        machine.wait_for_count(QUESTION, 2)
        machine.type_line("DOS")
        row, column = machine.wait_for_text(PROMPT)
        cells = machine.cells()
        self.assertEqual([cells[row][c][1] for c in range(0, 5)], [0x0E] * 5)  # "root " yellow
        self.assertEqual([cells[row][c][1] for c in range(5, 17)], [0x0C] * 12)  # "~/home/root " red
        self.assertEqual([cells[row][c][1] for c in range(17, 19)], [0x09] * 2)  # "# " blue

        # a, b, c, Left, Left, X, Enter gives the command word "aXbc".
        machine.type("abc")
        machine.press("left")
        machine.press("left")
        machine.type("X")
        machine.wait_for_text(PROMPT + "aXbc")
        machine.press("ret")
        machine.wait_for_text("UNKNOWN COMMAND: aXbc")
        row, _ = machine.find("UNKNOWN COMMAND: aXbc")
        self.assertEqual(machine.attribute_at(row, 0) >> 4, 12)
        machine.wait_for_count(PROMPT, 2)

        # An empty line prints nothing and gives a fresh prompt.
        machine.press("ret")
        machine.wait_for_count(PROMPT, 3)
        self.assertIn("Shell started", machine.kernel_log())


class Restart(SystemTest):
    def test_ctrl_alt_delete_restarts_the_machine(self):
        machine = self.boot()
        machine.boot_to_prompt()
        machine.press("ctrl", "alt", "delete", hold_ms=100)
        machine.wait_for(lambda: "RESET" in machine.event_names(), 20, "a reset")
        # The machine comes back to a fresh boot screen: the old prompt goes
        # away first, then the question is asked again.
        machine.wait_for(lambda: machine.find(PROMPT) is None, 30, "the old screen to go")
        machine.wait_for_text(QUESTION, 60)


if __name__ == "__main__":
    unittest.main()
