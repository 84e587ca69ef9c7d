"""The editors and the script runner in QEMU: documents saved by textedit
and tswrite are on the disk with their exact bytes, and a script put on the
disk runs with tsc."""

import os
import unittest

from shell_session import PROMPT_LINE, cat, formatted_disk, run, wait_for_prompt
from tessary_qemu import QUESTION, SystemTest, tessfs


class Editors(SystemTest):
    def test_textedit_and_tswrite_save_documents(self):
        disk = formatted_disk(self.workdir, "/documents")
        machine = self.boot(disk=disk)
        machine.boot_to_prompt()

        # textedit: each typed line joins the text; F2 saves it.
        machine.type_line("textedit")
        machine.wait_for_text("Press ENTER to start.")
        machine.press("ret")
        machine.wait_for_text("TESSTEXT")
        machine.type_line("Hello, disk")
        machine.press("f2")
        machine.wait_for_text("Please type the name :")
        machine.type_line("first note")
        # F4 after an empty line asks; N leaves through the boot screen
        # straight to the prompt.
        machine.press("ret")
        machine.press("f4")
        machine.wait_for_text("Do you want to save your file ? Y/N")
        machine.type_line("N")
        machine.wait_for(lambda: machine.screen()[6] == "Tessary 0.2 Booting...", 30, "the boot screen")
        wait_for_prompt(machine, 60)
        self.assertIsNone(machine.find(QUESTION))

        # tswrite: typing, Enter, Backspace and the arrows; F2 saves, F4 asks and leaves.
        machine.type_line("tswrite")
        machine.wait_for_text("TSWRITE")
        machine.type("Tesz")
        machine.press("backspace")
        machine.type("s\nwrte")
        machine.press("left")
        machine.press("left")
        machine.type("i")
        machine.wait_for(lambda: machine.screen()[4] == "write", 10, "the second line")
        self.assertEqual(machine.screen()[3], "Tess")
        machine.press("f2")
        machine.wait_for_text("Please type the name :")
        machine.type_line("second")
        machine.wait_for(lambda: machine.find("Please type the name :") is None, 10, "the redraw")
        machine.press("f4")
        machine.wait_for_text("Do you want to save your file ? Y/N")
        machine.type_line("N")
        wait_for_prompt(machine)

        # The prompt takes commands again.
        self.assertEqual(run(machine, "debughlp")[0], "Tessary Developer Help : Page 1/1")
        machine.close()
        self.assertEqual(cat(disk, "/documents/first note.txt"), b"Hello, disk\n")
        self.assertEqual(cat(disk, "/documents/second.txt"), b"Tess\nwrite\n")

    def test_a_failed_save_is_reported_and_tsc_runs_a_script(self):
        disk = formatted_disk(self.workdir)
        script = os.path.join(self.workdir, "hello.tsc")
        with open(script, "wb") as f:
            f.write(b"push one\nwait 5\ncls\nwait 5\nwfk\nwait 5")
        tessfs("put", disk, script, "/hello.tsc")
        machine = self.boot(disk=disk)
        machine.boot_to_prompt()

        # Without "/documents" the save fails on red and the editor goes on.
        machine.type_line("tswrite")
        machine.wait_for_text("TSWRITE")
        machine.type("kept")
        machine.press("f2")
        machine.wait_for_text("Please type the name :")
        machine.type_line("nowhere")
        row, column = machine.wait_for_text("ERROR: ")
        self.assertEqual((row, column), (23, 0))
        self.assertEqual(machine.attribute_at(23, 0) >> 4, 12)
        self.assertEqual(machine.screen()[3], "kept")
        machine.press("f4")
        machine.wait_for_text("Do you want to save your file ? Y/N")
        machine.type_line("N")

        # The script clears the screen, reports one wait, waits for a key;
        # its last line has no line feed and does not run.
        wait_for_prompt(machine)
        machine.type_line("tsc /hello.tsc")
        machine.wait_for(lambda: machine.screen()[0] == "WAIT function not implemented!", 10, "the script")
        machine.type("k")
        # The key is echoed and the prompt follows it on the same row.
        machine.wait_for(lambda: machine.screen()[1] == "k" + PROMPT_LINE, 10, "the prompt after the key")
        screen = machine.screen()
        self.assertEqual(screen.count("WAIT function not implemented!"), 1)


if __name__ == "__main__":
    unittest.main()
