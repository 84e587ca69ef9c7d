"""The disk across boots: formatting a blank partition, the disk commands'
output, files put on the image with tessfs, and a clean fsck afterwards; and
one directory of 2,000 files, written from both sides."""

import os
import unittest

from shell_session import formatted_disk, last_line, run, run_quickly, wait_for_prompt
from tessary_qemu import BUILD, PROMPT, SystemTest, blank_disk, tessfs

RED = 12
PROBE = os.path.join(BUILD, "test-programs", "probe.exe")
# Files each side saves in the big directory: enough for an index of more
# than one level.
SIDE_FILES = 1000


def numbered_files(directory, prefix):
    """{path: content} of the files `probe.exe fill` saves: the name (prefix
    and four digits) and a space, 1 to 8 times, and a line feed."""
    names = (f"{prefix}{number:04}" for number in range(SIDE_FILES))
    return {f"{directory}/{name}": ((name + " ") * (1 + number % 8) + "\n").encode()
            for number, name in enumerate(names)}


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
        # Bytes written into it across block boundaries and after its end:
        # the shell's copy below reads the result, checksum and all.
        with open(big, "rb") as f:
            content = bytearray(f.read())
        patch_bytes = os.urandom(3000)
        patch = os.path.join(self.workdir, "patch.bin")
        with open(patch, "wb") as f:
            f.write(patch_bytes)
        tessfs("put", disk, patch, "/documents/big.bin", "700001")
        content[700001:703001] = patch_bytes
        tessfs("put", disk, patch, "/documents/big.bin", "end")
        content += patch_bytes
        self.assertEqual(tessfs("cat", disk, "/documents/big.bin", "699000", "5000").stdout, content[699000:704000])
        self.assertEqual(tessfs("cat", disk, "/documents/big.bin", str(len(content) - 10), "100").stdout,
                         content[-10:])
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
        self.assertEqual(tessfs("cat", disk, "/documents/big3.bin").stdout, content)
        big_blocks = (len(content) + 4 + 511) // 512
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

    def listing(self, disk, path):
        return [line.split()[-1] for line in tessfs("ls", disk, path).stdout.decode().splitlines()]

    def test_a_disk_on_the_q35_boards_ahci_controller_is_formatted_and_kept(self):
        disk = blank_disk(self.workdir)
        machine = self.boot(disk=disk, board="q35")
        machine.boot_to_prompt()
        self.assertIn("AHCI disk: 131072 sectors", machine.kernel_log())
        self.assertIn("Creating partitions...OK", machine.screen())
        self.run_command(machine, "mkdir /home/root/sata", 1)
        machine.close()
        self.machines.remove(machine)
        self.assert_fsck_clean(disk)
        self.assertIn("sata", tessfs("ls", disk, "/home/root").stdout.decode())

        note = os.path.join(self.workdir, "note.txt")
        with open(note, "w") as f:
            f.write("kept on the SATA disk")
        tessfs("put", disk, note, "/home/root/note.txt")
        machine = self.boot(disk=disk, board="q35")
        machine.boot_to_prompt()
        self.assertIn("Creating partitions...Drive detected!", machine.text())
        # The controller is function 2 of the ICH9's device 31, which only
        # the walk of every function of a multi-function device finds.
        self.assertIn("Sub-class name: Serial ATA Controller", run(machine, "pci"))
        self.assertIn("PCI 0:31:2   Mass Storage Controller", machine.kernel_log())
        self.assertEqual(run(machine, "cp /home/root/note.txt /home/root/sata/copy.txt"), [])
        self.assertEqual(run(machine, "cat /home/root/sata/copy.txt"), ["kept on the SATA disk"])
        machine.close()
        self.machines.remove(machine)
        self.assert_fsck_clean(disk)
        self.assertEqual(tessfs("cat", disk, "/home/root/sata/copy.txt").stdout, b"kept on the SATA disk")

    def test_two_thousand_files_in_one_directory(self):
        shell_files = numbered_files("/big", "s")
        host_files = numbered_files("/big", "h")
        disk = formatted_disk(self.workdir, "/home", "/home/root", "/big")
        tessfs("put", disk, PROBE, "/probe.exe")

        # The shell's half, saved by a program through the system call.
        machine = self.boot(disk=disk)
        machine.boot_to_prompt()
        self.assertEqual(run(machine, f"run /probe.exe fill /big/s {SIDE_FILES}", 120), [f"Saved {SIDE_FILES} files"])
        machine.close()
        self.machines.remove(machine)

        # The host's half goes into the directory the kernel grew.
        host = os.path.join(self.workdir, "file")
        for path, data in host_files.items():
            with open(host, "wb") as f:
                f.write(data)
            tessfs("put", disk, host, path)
        self.assert_fsck_clean(disk)
        listing = self.listing(disk, "/big")
        every_file = {**shell_files, **host_files}
        self.assertEqual(sorted(listing), sorted(path[5:] for path in every_file))
        # A sample read whole, and the bytes after the first name of as many.
        for number, (path, data) in enumerate(every_file.items()):
            if number % 20 == 0:
                self.assertEqual(tessfs("cat", disk, path).stdout, data, path)
            elif number % 20 == 10:
                self.assertEqual(tessfs("cat", disk, path, "6", "100").stdout, data[6:106], path)

        machine = self.boot(disk=disk)
        machine.boot_to_prompt()
        # The listing scrolls its head away, the command line with it; its
        # tail is the host's listing's.
        machine.type_quickly("ls /big")
        machine.wait_for(lambda: last_line(machine.screen())[1] == PROMPT + "ls /big", what="the command line")
        machine.press("ret")
        prompt = wait_for_prompt(machine, 120)
        screen = machine.screen()
        self.assertNotIn("ERROR", machine.text())
        self.assertEqual(screen[:prompt], ["      " + name for name in listing[-prompt:]])
        # Every file read back through the system call.
        for prefix in "sh":
            self.assertEqual(run_quickly(machine, f"run /probe.exe check /big/{prefix} {SIDE_FILES}", 120),
                             [f"{SIDE_FILES} of {SIDE_FILES} files read back right"])
        for path in ("/big/s0007", "/big/h0998"):
            self.assertEqual(run_quickly(machine, f"cat {path}"), [every_file[path].decode().rstrip()])
        # Half of them go, a few through the shell's rm and the rest on the host.
        gone = {f"/big/{prefix}{number:04}" for number in range(0, SIDE_FILES, 2) for prefix in "sh"}
        by_shell = sorted(path for path in gone if path.endswith("00"))
        for path in by_shell:
            self.assertEqual(run_quickly(machine, f"rm {path}"), [])
        machine.close()
        self.machines.remove(machine)
        for path in sorted(gone - set(by_shell)):
            tessfs("rm", disk, path)
        self.assert_fsck_clean(disk)
        kept = {path: data for path, data in every_file.items() if path not in gone}
        self.assertEqual(sorted(self.listing(disk, "/big")), sorted(path[5:] for path in kept))
        for path, data in kept.items():
            self.assertEqual(tessfs("cat", disk, path).stdout, data, path)

    # A rename to a name that no longer fits a full node grows the directory,
    # as a new record of that name would.
    def test_a_longer_name_grows_a_full_directory(self):
        disk = formatted_disk(self.workdir, "/full")
        # 22 records of 38 to 44 bytes fill most of the node's 1,020; a name
        # of 255 characters does not fit beside them.
        for number in range(22):
            tessfs("mkdir", disk, f"/full/d{number:02}")
        long_name = "n" * 255
        renamed = tessfs("mv", disk, "/full/d00", "/full/" + long_name, check=False)
        self.assertEqual(renamed.returncode, 0, renamed.stderr.decode())
        self.assertIn(long_name, self.listing(disk, "/full"))
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
