"""One long shell session: rounds of every command that comes back to the
prompt by itself, typed quickly, with the heap meter read at the end of every
round. The heap in use after the last round must equal the figure after the
first (whatever a command keeps for good it has taken by then), the prompt
must still take commands, and the disk must check clean. Every file a round
makes it deletes again, so each round finds the disk as the first did.

TESSARY_SOAK_COMMANDS sets the number of command lines (300 by default;
`./tessary bench` runs 1,000)."""

import os
import re
import time
import unittest

from shell_session import formatted_disk, last_line
from tessary_qemu import BUILD, PROMPT, QUESTION, SystemTest, tessfs

COMMANDS = int(os.environ.get("TESSARY_SOAK_COMMANDS", "300"))
HEAP = re.compile(r"Heap: (\d+) bytes in use, (\d+) free, largest free block (\d+)$")
GREETING = "Hello from example.exe! Type a line: "
SAVE_QUESTION = "Do you want to save your file ? Y/N"
SCRIPT = "/home/root/soak.tsc"
# No push: the script stack keeps what scripts push for the rest of the
# session, by design, so a pushing script would grow the heap.
SCRIPT_TEXT = b"wait 1\nwfk\n"
PROGRAMS = ("programs/write.exe", "programs/wc.exe", "test-programs/hostile.exe")
RUN_FILE = "/home/root/soakrun.txt"
LONG_WORD = "soak" * 40
# Most commands are done within milliseconds: the screen is read that often.
POLL = 0.01
# 300 lines take seven rounds.
SLOW_ROUND = 10


class QuickShell:
    """Types command lines at the prompt with send_keys and waits for the
    next prompt, following the prompt's directory through `cd`."""

    def __init__(self, machine):
        self.machine = machine
        self.prompt = PROMPT
        self.commands = 0

    def at_fresh_prompt(self):
        # The prompt follows whatever a command left on its row.
        return last_line(self.machine.screen())[1].endswith(self.prompt.rstrip())

    def wait_until(self, predicate, what, timeout=10):
        return self.machine.wait_for(predicate, timeout, what, POLL)

    def wait_for_text(self, text, timeout=10):
        return self.wait_until(lambda: self.machine.find(text), repr(text), timeout)

    def wait_for_prompt(self, timeout=30):
        self.wait_until(self.at_fresh_prompt, f"a fresh prompt {self.prompt!r}", timeout)

    def type_and_check(self, text, after):
        """Types text and waits until the screen ends with `after` + text: a
        key lost on the way would otherwise run another command."""
        self.machine.type_quickly(text)
        echo = (after + text).rstrip()
        self.wait_until(lambda: "".join(self.machine.rows()).rstrip().endswith(echo), f"the echo {echo!r}")

    def enter(self, line):
        """Types a command line at a fresh prompt and presses Enter."""
        self.wait_for_prompt()
        self.type_and_check(line, self.prompt)
        self.machine.send_keys([("ret",)])
        self.commands += 1
        if line.startswith("cd ") and line[3:].strip():
            self.prompt = f"root ~{line[3:]} # "

    def run(self, line, timeout=30):
        """enter(line), then the rows of its output once the prompt is back
        (empty when they have scrolled the command line away)."""
        echo = self.prompt + line
        self.enter(line)
        self.wait_for_prompt(timeout)
        rows = self.machine.rows()
        prompt_row = last_line(self.machine.screen())[0]
        start = "".join(rows).rfind(echo, 0, prompt_row * 80)
        if start < 0:
            return []
        return [row.rstrip() for row in rows[(start + len(echo)) // 80 + 1:prompt_row]]

    def check(self, condition, what):
        if not condition:
            raise AssertionError(f"{what}\n--- screen ---\n{self.machine.text()}")


class Soak(SystemTest):
    def disk(self):
        disk = formatted_disk(self.workdir, "/home", "/home/root", "/documents")
        script = os.path.join(self.workdir, "soak.tsc")
        with open(script, "wb") as f:
            f.write(SCRIPT_TEXT)
        tessfs("put", disk, script, SCRIPT)
        tessfs("mkdir", disk, "/programs")
        for program in PROGRAMS:
            tessfs("put", disk, os.path.join(BUILD, program), "/programs/" + os.path.basename(program))
        return disk

    def round(self, shell, number):
        """Every command that returns by itself, leaving the disk as it found
        it, then `mem`, whose line is returned. Every round ends the same way
        (cls, the question, DOS), so the heap's figures compare."""
        self.plain_commands(shell, number)
        self.file_commands(shell, number)
        # The long demonstrations (about takes 15 s, testprogbar 44 s) once,
        # in a round only the bench's 1,000 lines reach: CI keeps to its
        # minutes.
        if number == SLOW_ROUND:
            shell.run("about", 60)
            # The prompt comes back on the row above the full bar, which stays
            # under it: two empty lines bring a fresh prompt under both.
            shell.enter("testprogbar")
            shell.wait_for_text("]  100%", 120)
            shell.wait_until(shell.machine.waiting_for_key, "the prompt above the bar")
            shell.machine.send_keys([("ret",), ("ret",)])
            shell.wait_for_prompt()
        self.keyboard_commands(shell, number)
        # Leaving textedit goes through the boot screen's four seconds, as cls
        # does; every other round shows a leak there as well.
        if number % 2:
            self.textedit(shell)
        self.tswrite(shell)
        shell.enter("cls")
        shell.wait_for_text(QUESTION, 60)
        shell.machine.type_quickly("DOS\n")
        shell.wait_for_prompt()
        output = shell.run("mem")
        shell.check(len(output) == 1 and HEAP.match(output[0]), "the heap line")
        return output[0]

    def plain_commands(self, shell, number):
        check = shell.check
        check(shell.run("help")[-1:] == ["CREDITS: SHOW CREDITS AND COPYRIGHTS"], "the help screen")
        shell.run("help showgui")
        shell.run("debughlp")
        shell.run("info")
        check(any(row.startswith("24-hours time: ") for row in shell.run("time")), "the time")
        for line in ("ls", "ls -f", "ls -d", "ls /home", "ls /documents"):
            shell.run(line)
        shell.run("mkdir /home/root/soak")
        check("soak" in "".join(shell.run("ls -d")), "the new directory")
        shell.run("cd /home/root/soak")
        shell.run("ls")
        shell.run("cd /home/root")
        shell.run("mv /home/root/soak /documents/soak")
        shell.run("rmdir /documents/soak")
        shell.run("chmod /home/root/soak.tsc 777")
        shell.run("chmod")
        shell.run("rovazav")
        shell.run("tessfs")
        shell.run("bas")
        shell.run("pci")
        shell.run("fillcon")
        shell.run("matrix")
        shell.run("exexe")
        check(shell.run(f"frobnicate {number} x") == ["UNKNOWN COMMAND: frobnicate"], "the unknown word")
        check(f"UNKNOWN COMMAND: {LONG_WORD}" in "".join(shell.run(LONG_WORD + " and more")), "the long line")
        check(any(row.startswith("ERROR: ") for row in shell.run("ls /" + LONG_WORD)), "the long path's error")

    def file_commands(self, shell, number):
        """A file written by a program, copied, moved, shown, counted by
        another program and deleted: df reads the same before and after."""
        check = shell.check
        usage = shell.run("df")
        check([row.split(":")[0] for row in usage] == ["Size", "Used", "Free"], "the disk's figures")
        text = f"soak round {number}"
        check(shell.run(f"run /programs/write.exe {RUN_FILE} {text}") == [f"Wrote {len(text) + 1} bytes to {RUN_FILE}"],
              "the program's file")
        shell.run(f"cp {RUN_FILE} /documents/soakcopy.txt")
        shell.run("mv /documents/soakcopy.txt /documents/soakmoved.txt")
        check(shell.run("cat /documents/soakmoved.txt") == [text], "the moved copy")
        check(shell.run("run /programs/wc.exe /documents/soakmoved.txt")
              == [f"1 3 {len(text) + 1} /documents/soakmoved.txt"], "the copy's counts")
        shell.run("rm /documents/soakmoved.txt")
        shell.run(f"rm {RUN_FILE}")
        # A program that takes memory and one that faults: everything they
        # had comes back, which the heap meter shows at the round's end.
        check(shell.run("run /programs/hostile.exe alloc 8") == ["checked 8 MiB"], "the program's heap")
        check(shell.run("run /programs/hostile.exe null-write")
              == ["ERROR: Program ended: PAGE_FAULT at 0x00000000", "Program exited with status 142"], "the fault")
        check(shell.run(f"cat {RUN_FILE}") == ["ERROR: File not found!!!"], "the deleted file")
        check(shell.run("df") == usage, "the disk's figures after the round's files are gone")

    def keyboard_commands(self, shell, number):
        """The commands that read keys until they are done."""
        machine = shell.machine
        shell.enter(f"tsc {SCRIPT}")
        shell.wait_for_text("WAIT function not implemented!")
        machine.send_keys([("x",)])
        shell.wait_for_prompt()

        shell.enter("exexe2")
        shell.wait_for_text(GREETING)
        shell.type_and_check(f"soak line {number}", GREETING)
        machine.send_keys([("ret",)])
        shell.wait_for_prompt()
        shell.check(machine.find(f"You typed: soak line {number}") is not None, "the program's echo")

        shell.enter("credits")
        shell.wait_for_text("Press ESC to exit")
        machine.send_keys([("a",), ("ret",), ("esc",)])
        shell.wait_for_prompt()

        shell.enter("stopwatch")
        shell.wait_until(lambda: "0:0:0" in machine.screen(), "the stopwatch")
        machine.send_keys([("esc",)])
        shell.wait_for_prompt()

        # keybrd prints nothing before it takes the keyboard over.
        shell.enter("keybrd")
        shell.wait_until(machine.waiting_for_key, "keybrd to read keys")
        machine.send_keys([("k",), ("up",), ("esc",)])
        shell.wait_for_prompt()
        screen = machine.screen()
        prompt_row = last_line(screen)[0]
        shell.check(screen[prompt_row - 3:prompt_row] == ["k", "UP", "ESC"], "the key names")

        shell.enter("snake")
        machine.send_keys([("right",), ("down",), ("esc",)])
        shell.wait_for_prompt()

    def textedit(self, shell):
        """A line saved with F2, then F4 and N: the shell restarts through
        the boot screen, straight to the prompt."""
        machine = shell.machine
        shell.enter("textedit")
        shell.wait_for_text("Press ENTER to start.")
        machine.send_keys([("ret",)])
        shell.wait_for_text("TESSTEXT")
        machine.type_quickly("soak text")
        shell.wait_for_text("soak text")
        machine.send_keys([("ret",), ("f2",)])
        shell.wait_for_text("Please type the name :")
        machine.type_quickly("soaktext\n")
        machine.send_keys([("ret",), ("f4",)])
        shell.wait_for_text(SAVE_QUESTION)
        machine.type_quickly("N\n")
        shell.wait_for_prompt(60)

    def tswrite(self, shell):
        machine = shell.machine
        shell.enter("tswrite")
        shell.wait_for_text("TSWRITE")
        machine.type_quickly("soak write")
        shell.wait_until(lambda: machine.screen()[3] == "soak write", "the text")
        machine.send_keys([("f2",)])
        shell.wait_for_text("Please type the name :")
        machine.type_quickly("soakwrite\n")
        shell.wait_until(lambda: machine.find("Please type the name :") is None, "the redraw")
        machine.send_keys([("f4",)])
        shell.wait_for_text(SAVE_QUESTION)
        machine.type_quickly("N\n")
        shell.wait_for_prompt()

    def test_a_long_session_keeps_the_heap_and_the_disk(self):
        disk = self.disk()
        machine = self.boot(disk=disk)
        machine.boot_to_prompt()
        shell = QuickShell(machine)
        started = time.time()
        heap = [self.round(shell, 1)]
        while shell.commands < COMMANDS:
            heap.append(self.round(shell, len(heap) + 1))
        seconds = time.time() - started
        in_use = [int(HEAP.match(line).group(1)) for line in heap]
        growth = in_use[-1] - in_use[0]
        print(f"\nsoak: {shell.commands} commands in {len(heap)} rounds, {seconds:.0f} s; heap in use "
              f"{in_use[0]} bytes after the first round, {in_use[-1]} after the last: growth {growth} bytes; "
              f"every round: {' '.join(map(str, in_use))}")
        self.assertEqual(growth, 0, "\n".join(heap))

        # The prompt still takes commands; the disk is as clean as it was.
        self.assertEqual(shell.run("debughlp")[0], "Tessary Developer Help : Page 1/1")
        machine.close()
        checked = tessfs("fsck", disk, check=False)
        self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)
        self.assertIn(b": clean, ", checked.stdout)
        self.assertEqual(tessfs("cat", disk, "/documents/soaktext.txt").stdout, b"soak text\n")
        self.assertEqual(tessfs("cat", disk, "/documents/soakwrite.txt").stdout, b"soak write\n")


if __name__ == "__main__":
    unittest.main()
