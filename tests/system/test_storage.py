"""The disk across boots: formatting a blank partition, the disk commands'
output, files put on the image with tessfs, and a clean fsck afterwards."""

import os
import unittest

from shell_session import run, wait_for_prompt
from tessary_qemu import PROMPT, SystemTest, blank_disk, tessfs

RED = 12


class Storage(SystemTest):
    def run_command(self, machine, line, prompts_before):
        """Types a command line and waits for the prompt after it."""
        machine.type_line(line)
        machine.wait_for_count(PROMPT, prompts_before + 1)

    def assert_fsck_clean(self, disk):
        check = tessfs("fsck", disk, check=False)
        self.assertEqual(check.returncode, 0, check.stdout.decode() + check.stderr.decode())

    def allocated_blocks(self, disk):
        """Where the allocation pointer stands: the count fsck reports."""
        self.assert_fsck_clean(disk)
        return int(tessfs("fsck", disk).stdout.decode().split(", ")[1].split()[0])

    def test_disk_commands_and_persistence_across_boots(self):
        disk = blank_disk(self.workdir)

        # First boot: the blank partition is formatted without a word.
        machine = self.boot(disk=disk)
        machine.boot_to_prompt()
        screen = machine.screen()
        self.assertIn("Creating partitions...OK", screen)
        self.assertNotIn("Drive detected!", machine.text())
        prompts = 1

        # The boot made /home/root, so ls works at once and lists nothing.
        self.run_command(machine, "ls", prompts)
        prompts += 1
        row, _ = machine.find("Directory of /home/root")
        self.assertEqual(machine.screen()[row + 1], "")

        for line in ("mkdir /home/root/docs", "mkdir /home/root/old", "rmdir /home/root/old", "ls"):
            self.run_command(machine, line, prompts)
            prompts += 1
        rows = machine.screen()
        listing = max(r for r, text in enumerate(rows) if text == "Directory of /home/root")
        self.assertEqual(rows[listing + 1], "")
        self.assertEqual(rows[listing + 2], "<DIR> docs")
        self.assertTrue(rows[listing + 3].startswith(PROMPT.rstrip()), rows[listing + 3])

        # A missing path: the red error line, then the prompt again.
        self.run_command(machine, "ls /nowhere", prompts)
        prompts += 1
        row, column = machine.find("ERROR: File not found :(")
        self.assertEqual(column, 0)
        self.assertEqual(machine.attribute_at(row, 0) >> 4, RED)
        self.assertTrue(machine.screen()[row + 1].startswith(PROMPT.rstrip()), machine.screen()[row + 1])
        machine.close()
        self.machines.remove(machine)
        self.assert_fsck_clean(disk)

        listing = tessfs("ls", disk, "/home/root").stdout.decode()
        self.assertIn("docs", listing)
        self.assertNotIn("old", listing)

        # A script put on the disk from the host, read by the next boot.
        script = os.path.join(self.workdir, "test.tsc")
        with open(script, "w") as f:
            f.write("hello from the host")
        tessfs("put", disk, script, "/home/root/test.tsc")
        self.assertEqual(tessfs("cat", disk, "/home/root/test.tsc").stdout, b"hello from the host")
        big = os.path.join(self.workdir, "big.bin")
        with open(big, "wb") as f:
            f.write(os.urandom(1024 * 1024))
        tessfs("put", disk, big, "/documents/big.bin")
        blocks_before_boot = self.allocated_blocks(disk)

        machine = self.boot(disk=disk)
        machine.boot_to_prompt()
        row, column = machine.find("Creating partitions...Drive detected!")
        self.assertEqual(machine.screen()[row + 1], "OK")
        self.assertEqual(machine.attribute_at(row + 1, 0), 0x0A)
        prompts = 1
        for line in ("rovazav", "ls -d", "ls -f", "ls /home"):
            self.run_command(machine, line, prompts)
            prompts += 1
        machine.type_line("cd /home")
        machine.wait_for_text("root ~/home # ")
        text = machine.screen()
        self.assertIn("hello from the host", text)
        d_listing = text.index("<DIR> docs")
        self.assertTrue(text[d_listing + 1].startswith(PROMPT.rstrip()), text[d_listing + 1])
        f_listing = text.index("      test.tsc")
        self.assertEqual(text[f_listing - 1], "")
        self.assertTrue(text[f_listing + 1].startswith(PROMPT.rstrip()), text[f_listing + 1])
        self.assertIn("Directory of /home", text)
        self.assertIn("<DIR> root", text)

        # The host's file copied, shown and deleted: the copy never replaces
        # a file, and rm leaves directories alone.
        machine.type_line("cd /home/root")
        wait_for_prompt(machine)
        self.assertEqual(run(machine, "cp /home/root/test.tsc /home/root/copy.tsc"), [])
        self.assertEqual(run(machine, "cat /home/root/copy.tsc"), ["hello from the host"])
        self.assertEqual(run(machine, "cp /home/root/docs /home/root/test.tsc"), ["ERROR: Is a directory"])
        self.assertEqual(run(machine, "cp /home/root/copy.tsc /home/root/test.tsc"), ["ERROR: Target exists"])
        row, _ = machine.find("ERROR: Target exists")
        self.assertEqual(machine.attribute_at(row, 0) >> 4, RED)
        self.assertEqual(run(machine, "rm /home/root/docs"), ["ERROR: Is a directory"])
        self.assertEqual(run(machine, "rm /home/root/test.tsc"), [])
        self.assertEqual(run(machine, "cat /home/root/test.tsc"), ["ERROR: File not found!!!"])
        # The copy moves into docs; a directory never goes into itself.
        self.assertEqual(run(machine, "mv /home/root/copy.tsc /home/root/docs/copy.tsc"), [])
        self.assertEqual(
            run(machine, "mv /home/root/docs /home/root/docs/inner"), ["ERROR: Cannot move a directory into itself"]
        )
        # A deleted copy gives its blocks back: the next copy takes them
        # instead of growing the allocated part of the disk.
        for line in ("cp /documents/big.bin /documents/big2.bin", "rm /documents/big2.bin",
                     "cp /documents/big.bin /documents/big3.bin"):
            self.assertEqual(run(machine, line), [])
        # The shell and the host tool count the same disk the same way.
        usage = run(machine, "df")
        self.assertEqual([line.split(":")[0] for line in usage], ["Size", "Used", "Free"], usage)
        size, used, free = (int(line.split()[1]) for line in usage)
        self.assertTrue(0 < used < size and 0 < free < size, usage)
        machine.close()
        self.machines.remove(machine)
        self.assert_fsck_clean(disk)
        self.assertEqual(tessfs("df", disk).stdout.decode().splitlines(), usage)

        self.assertEqual(tessfs("cat", disk, "/home/root/docs/copy.tsc").stdout, b"hello from the host")
        with open(big, "rb") as f:
            self.assertEqual(tessfs("cat", disk, "/documents/big3.bin").stdout, f.read())
        big_blocks = (1024 * 1024 + 4 + 511) // 512
        self.assertLess(self.allocated_blocks(disk), blocks_before_boot + big_blocks + 100)
        # The host tool keeps the shell's rules: rm and cp refuse what the
        # shell's rm and cp refuse, and rmdir takes a directory away.
        for command, want in ((("rm", "/home/root/docs"), "Is a directory"),
                              (("cp", "/home/root/docs/copy.tsc", "/documents/big3.bin"), "Target exists")):
            refused = tessfs(*command[:1], disk, *command[1:], check=False)
            self.assertEqual((refused.returncode, refused.stderr.decode()), (1, f"tessfs: {want}\n"), command)
        listing = tessfs("ls", disk, "/home/root").stdout.decode()
        self.assertIn("docs", listing)
        self.assertNotIn("copy.tsc", listing)
        self.assertNotIn("test.tsc", listing)
        tessfs("rmdir", disk, "/home/root/docs")
        self.assertNotIn("docs", tessfs("ls", disk, "/home/root").stdout.decode())
        self.assert_fsck_clean(disk)

    def test_without_a_partition_the_disk_commands_say_so(self):
        path = os.path.join(self.workdir, "raw.img")
        with open(path, "wb") as f:
            f.truncate(8 * 1024 * 1024)
        machine = self.boot(disk=path)
        machine.boot_to_prompt()
        self.assertIn("Creating partitions...OK", machine.screen())
        machine.type_line("ls")
        machine.wait_for_count(PROMPT, 2)
        row, _ = machine.find("ERROR: No disk file system")
        self.assertEqual(machine.attribute_at(row, 0) >> 4, RED)
        self.assertEqual(machine.attribute_at(row + 1, 0) >> 4, 0)


if __name__ == "__main__":
    unittest.main()
