"""The games and demonstrations in QEMU: snake, matrix, credits, stopwatch,
about and lolz."""

import unittest

from shell_session import PROMPT_LINE, fresh_prompt_row, last_line, run, wait_for_prompt
from tessary_qemu import SystemTest

# Foreground colours of successive "LOLZ" lines.
LOLZ_CYCLE = [9, 11, 1, 3, 8, 2, 5, 4, 6, 6, 7, 10, 13, 12, 15, 14]


class Games(SystemTest):
    def test_snake_matrix_credits_stopwatch_and_about(self):
        machine = self.boot()
        machine.boot_to_prompt()

        # Twelve Up presses from the middle reach the top row.
        machine.type_line("snake")
        for _ in range(11):
            machine.press("up")
        machine.wait_for(lambda: machine.cells()[1][40][0] == ord("#"), 10, "the snake on row 1")
        machine.press("up")
        machine.wait_for_text("YOU LOSE!", 10)
        self.assertEqual(machine.find("YOU LOSE!"), (10, 36))
        self.assertEqual(machine.find("Your score: 24"), (12, 33))
        self.assertEqual(machine.attribute_at(10, 36) & 0x0F, 12)
        wait_for_prompt(machine)

        # The prompt follows the last symbol on its row.
        machine.type_line("matrix")
        machine.wait_for(lambda: last_line(machine.screen())[1].endswith(PROMPT_LINE), 120, "the end of the rain")
        # The name stays in the middle; the prompt may have scrolled it by a row.
        rows = machine.rows()
        self.assertTrue(any(rows[row][37:44] == "Tessary" for row in (10, 11)))
        self.assertTrue(any(ch == ord("~") and attr == 0x09 for row in machine.cells() for ch, attr in row))

        machine.type_line("credits")
        machine.wait_for(lambda: machine.screen()[0] == "Press ESC to exit", 10, "the credits screen")
        machine.type("ab")
        machine.press("esc")
        # Escape's echo is an empty cell before the prompt.
        machine.wait_for(lambda: machine.screen()[3].endswith(PROMPT_LINE), 10, "the prompt after the credits")
        self.assertEqual(machine.screen()[:3], ["Press ESC to exit", "a", "b"])
        self.assertEqual(last_line(machine.screen())[0], 3)
        machine.press("ret")

        # The stopwatch counts seconds until Escape; then the prompt reads
        # keys again.
        machine.type_line("stopwatch")
        machine.wait_for_text("0:0:2", 15)
        machine.press("esc")
        wait_for_prompt(machine, 10)
        self.assertIn("0:0:1", machine.screen())
        self.assertEqual(run(machine, "debughlp")[0], "Tessary Developer Help : Page 1/1")

        # 38 frames of 400 ms; the last shows the name in red and cyan.
        wait_for_prompt(machine)
        machine.type_line("about")
        machine.wait_for(lambda: fresh_prompt_row(machine.screen()) == 6, 60, "the last frame and the prompt")
        cells = machine.cells()
        for line in range(6):
            red = [col for col in range(22) if cells[line][col][0] == ord("@")]
            cyan = [col for col in range(22, 38) if cells[line][col][0] == ord("@")]
            self.assertTrue(red and cyan, f"row {line}")
            self.assertTrue(all(cells[line][col][1] == 0x0C for col in red))
            self.assertTrue(all(cells[line][col][1] == 0x0B for col in cyan))

    def test_lolz_cycles_its_colours(self):
        machine = self.boot()
        machine.boot_to_prompt()
        machine.type_line("lolz")
        machine.wait_for(lambda: sum(text == "LOLZ" for text in machine.screen()) >= 24, 30, "a screen of LOLZ")

        def follows_the_cycle():
            colours = [attr & 0x0F for (ch, attr), *_ in machine.cells() if ch == ord("L")]
            start = LOLZ_CYCLE.index(colours[0])
            expected = [LOLZ_CYCLE[(start + i) % 16] for i in range(len(colours))]
            # Two dark yellow lines in a row make the start ambiguous.
            if colours != expected and colours[0] == 6:
                expected = [LOLZ_CYCLE[(start + 1 + i) % 16] for i in range(len(colours))]
            return colours == expected

        # A screen read may catch a scroll half done; one of a few reads is whole.
        self.assertTrue(any(follows_the_cycle() for _ in range(5)))


if __name__ == "__main__":
    unittest.main()
