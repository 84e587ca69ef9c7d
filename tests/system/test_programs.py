"""MZ programs from the disk: the built-in example talking through interrupt 0x80, loading
without running, a file that is not a program, a program that exits from deep inside, and a
program that faults and ends alone."""

import os
import subprocess
import unittest

from tessary_qemu import PROMPT, ROOT, SystemTest, blank_disk, tessfs

GREETING = "Hello from example.exe! Type a line: "


class Programs(SystemTest):
    def assemble(self, name):
        """Assembles tests/system/programs/NAME.asm into the work directory."""
        output = os.path.join(self.workdir, name + ".exe")
        subprocess.run(["nasm", "-f", "bin", "-I", os.path.join(ROOT, "programs") + "/", "-o", output,
                        os.path.join(ROOT, "tests", "system", "programs", name + ".asm")], check=True)
        return output

    def disk_with(self, files):
        """A formatted disk with /home/root and the given {disk path: host file} entries."""
        disk = blank_disk(self.workdir)
        tessfs("format", disk)
        tessfs("mkdir", disk, "/home")
        tessfs("mkdir", disk, "/home/root")
        for path, host_file in files.items():
            tessfs("put", disk, host_file, path)
        return disk

    def test_example_program_greets_echoes_and_returns(self):
        notes = os.path.join(self.workdir, "notes.txt")
        with open(notes, "w") as f:
            f.write("These are notes, not a program.\n")
        machine = self.boot(disk=self.disk_with({"/home/root/notes.txt": notes}))
        machine.boot_to_prompt()

        machine.type_line("exexe")
        machine.wait_for_count(PROMPT, 2)
        machine.type_line("exexe2")
        row, column = machine.wait_for_text(GREETING)
        self.assertEqual(column, 0)
        # The line is read with the console's editor: echo and Backspace work.
        machine.type("Hello, Tessary!x")
        machine.press("backspace")
        machine.press("ret")
        machine.wait_for_count(PROMPT, 3)
        screen = machine.screen()
        self.assertEqual(screen[row], GREETING + "Hello, Tessary!")
        self.assertEqual(screen[row + 1], "You typed: Hello, Tessary!")
        self.assertEqual(screen[row + 2], PROMPT.rstrip())

        # exe only loads and checks the program: nothing runs, nothing is printed.
        machine.type_line("exe /home/root/example.exe")
        machine.wait_for_count(PROMPT, 4)
        screen = machine.screen()
        self.assertEqual(screen[row + 3], PROMPT.rstrip())
        self.assertEqual(machine.text().count(GREETING), 1)

        machine.type_line("exe /home/root/notes.txt")
        error_row, _ = machine.wait_for_text("ERROR: Not an MZ executable")
        self.assertEqual(machine.attribute_at(error_row, 0) >> 4, 12)
        machine.wait_for_count(PROMPT, 5)

    def test_exit_from_nested_calls_returns_to_the_shell_with_its_status(self):
        program = self.assemble("exit")
        machine = self.boot(disk=self.disk_with({"/home/root/exit.exe": program}))
        machine.boot_to_prompt()
        # Twice: the kernel's state after the first exit must carry a second run.
        for run in (1, 2):
            machine.type_line("run /home/root/exit.exe")
            machine.wait_for_count(PROMPT, 1 + run)
        text = machine.text()
        self.assertEqual(text.count("deep inside"), 2)
        self.assertNotIn("returned", text)
        screen = machine.screen()
        row = screen.index("deep inside")
        self.assertEqual(screen[row + 1], "Program exited with status -42")
        self.assertEqual(screen[row + 2], PROMPT + "run /home/root/exit.exe")
        self.assertIn("Running program at 0x00100000", machine.kernel_log())

    def test_a_program_that_divides_by_zero_ends_alone(self):
        # The fault ends the program, not the system: a red line names it
        # and the instruction, the shell goes on, and `run` gives a status.
        divide = self.assemble("divide")
        exit_program = self.assemble("exit")
        machine = self.boot(disk=self.disk_with({"/home/root/example.exe": divide,
                                                 "/home/root/exit.exe": exit_program}))
        machine.boot_to_prompt()
        fault = "ERROR: Program ended: DIVIDE_BY_ZERO at 0x00100009"
        machine.type_line("exexe2")
        row, column = machine.wait_for_text(fault)
        self.assertEqual(column, 0)
        self.assertEqual(machine.attribute_at(row, 0) >> 4, 12)
        machine.wait_for_count(PROMPT, 2)
        machine.type_line("run /home/root/example.exe")
        machine.wait_for_count(PROMPT, 3)
        screen = machine.screen()
        row = screen.index(fault, row + 1)
        self.assertEqual(screen[row + 1], "Program exited with status 128")
        machine.type_line("run /home/root/exit.exe")
        machine.wait_for_count(PROMPT, 4)
        self.assertIn("deep inside", machine.text())
        self.assertNotIn("PANIC", machine.kernel_log())


if __name__ == "__main__":
    unittest.main()
