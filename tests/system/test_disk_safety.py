"""What the boot does with disks it did not write: another system's
partition, a GPT disk and a disk without a partition table are never
written; with two Tessary partitions every command uses the same one; big
and damaged files give error lines, never a halted machine.

The disk scenarios run on the pc board's IDE disk and again on the q35
board, where the same disk sits behind the ICH9's AHCI controller: its own
probe, DMA reads and writes and partition walk. Big and damaged files are
the file system's matter and run on pc alone."""

import hashlib
import os
import random
import struct
import unittest

from tessary_qemu import PROMPT, SystemTest, blank_disk, tessfs

MIB = 1024 * 1024
HALT = "Too large memory block allocated!"


def partitioned_disk(path, size_mib, entries, signature=True):
    """A disk image whose sector 0 holds the given (type, start, count) entries."""
    with open(path, "wb") as f:
        f.truncate(size_mib * MIB)
    mbr = bytearray(512)
    for i, (kind, start, count) in enumerate(entries):
        struct.pack_into("<B3xB3xII", mbr, 446 + 16 * i, 0, kind, start, count)
    if signature:
        mbr[510:512] = b"\x55\xaa"
    write_at(path, 0, bytes(mbr))
    return path


def write_at(path, offset, data):
    with open(path, "r+b") as f:
        f.seek(offset)
        f.write(data)


def digest(path, offset=0, length=None):
    with open(path, "rb") as f:
        f.seek(offset)
        return hashlib.sha256(f.read() if length is None else f.read(length)).hexdigest()


def noise(length, seed):
    return random.Random(seed).randbytes(length)


class DiskTest(SystemTest):
    """Boots the machines of a scenario on the board `board` names."""

    board = "pc"

    def boot(self, disk=None, **kwargs):
        return super().boot(disk=disk, board=self.board, **kwargs)

    def run_command(self, machine, line, timeout=60):
        prompts = "\n".join(machine.rows()).count(PROMPT)
        machine.type_line(line)
        machine.wait_for_count(PROMPT, prompts + 1, timeout)

    def assert_no_disk_file_system(self, machine):
        machine.boot_to_prompt()
        self.run_command(machine, "ls")
        machine.wait_for_text("ERROR: No disk file system")


class DiskSafety(DiskTest):
    """The disk scenarios on the pc board (IDE)."""

    def test_another_systems_partition_is_untouched_and_the_blank_one_serves(self):
        disk = partitioned_disk(os.path.join(self.workdir, "dual.img"), 32,
                                [(0x07, 2048, 16384), (0x83, 18432, 32 * 2048 - 18432)])
        foreign = 2048 * 512
        write_at(disk, foreign, b"\xebR\x90NTFS    " + noise(16384 * 512 - 11, 7))
        before = digest(disk, foreign, 16384 * 512)

        machine = self.boot(disk=disk)
        machine.boot_to_question()
        rows = machine.screen()
        row = rows.index("Creating partitions...")
        self.assertEqual(rows[row + 1], "/dev/sda1 holds another system and was left untouched")
        self.assertEqual(rows[row + 2], "OK")
        machine.type_line("DOS")
        machine.wait_for_text(PROMPT)
        self.run_command(machine, "mkdir /home/root/kept")
        # Saving over a directory is refused and keeps it.
        self.run_command(machine, "mkdir /home/root/example.exe")
        self.run_command(machine, "exexe")
        machine.wait_for_text("ERROR: example.exe is a directory")
        machine.close()
        self.machines.remove(machine)

        self.assertEqual(digest(disk, foreign, 16384 * 512), before)
        listing = tessfs("--part", "2", "ls", disk, "/home/root").stdout.decode()
        self.assertRegex(listing, r"<DIR>.*kept")
        self.assertRegex(listing, r"<DIR>.*example\.exe")
        check = tessfs("--part", "2", "fsck", disk, check=False)
        self.assertEqual(check.returncode, 0, check.stdout.decode())

    def test_gpt_disks_and_disks_without_a_table_are_never_written(self):
        gpt = partitioned_disk(os.path.join(self.workdir, "gpt.img"), 8, [(0xEE, 1, 8 * 2048 - 1)])
        write_at(gpt, 512, b"EFI PART" + bytes(504))
        # Without 0x55 0xAA the entry is not a partition, even over blank
        # sectors that an old table would have let the boot format.
        bare = partitioned_disk(os.path.join(self.workdir, "bare.img"), 8, [(0x83, 2048, 6 * 2048)],
                                signature=False)
        before = {disk: digest(disk) for disk in (gpt, bare)}
        # One boot sees both: the second disk is the IDE slave on pc, the
        # second AHCI port on q35.
        machine = self.boot(disk=gpt, extra_args=["-drive", f"file={bare},format=raw,if=ide,index=1"])
        self.assert_no_disk_file_system(machine)
        # Both were found ("ATA disk: ..." or "AHCI disk: ..."), so the boot
        # read both tables and left both alone.
        self.assertEqual(machine.kernel_log().count(" disk: 16384 sectors"), 2)
        machine.close()
        self.machines.remove(machine)
        self.assertEqual({disk: digest(disk) for disk in before}, before)

    def test_with_two_tessary_partitions_every_command_uses_the_last(self):
        disk = partitioned_disk(os.path.join(self.workdir, "two.img"), 16,
                                [(0x83, 2048, 8192), (0x83, 10240, 16 * 2048 - 10240)])
        script = os.path.join(self.workdir, "test.tsc")
        with open(script, "w") as f:
            f.write("on the second partition")
        for part in ("1", "2"):
            tessfs("--part", part, "format", disk)
            for directory in ("/home", "/home/root", "/documents"):
                tessfs("--part", part, "mkdir", disk, directory)
        tessfs("--part", "2", "put", disk, script, "/home/root/test.tsc")

        machine = self.boot(disk=disk)
        machine.boot_to_prompt()
        self.run_command(machine, "ls")
        self.run_command(machine, "rovazav")
        text = machine.screen()
        self.assertIn("      test.tsc", text)
        self.assertIn("on the second partition", text)


class DiskSafetyBehindAhci(DiskSafety):
    """The same disk scenarios on the q35 board, whose disks sit on the
    ICH9's AHCI ports."""

    board = "q35"


class BigAndDamagedFiles(DiskTest):
    """Not a matter of the controller: pc alone."""

    def test_big_and_damaged_files_give_errors_never_a_halt(self):
        disk = blank_disk(self.workdir, 64)
        tessfs("format", disk)
        for directory in ("/home", "/home/root", "/documents"):
            tessfs("mkdir", disk, directory)
        big = os.path.join(self.workdir, "big")
        with open(big, "w") as f:
            for n in range(24 * MIB // 80):
                f.write(f"line {n:07} ".ljust(79, "-") + "\n")
        tessfs("put", disk, big, "/home/root/big")
        small = os.path.join(self.workdir, "small")
        with open(small, "w") as f:
            f.write("short")
        tessfs("put", disk, small, "/home/root/bad")
        # Damage the record's size field: it follows the name and the address.
        with open(disk, "rb") as f:
            image = f.read(4 * MIB)
        record = image.index(b"\x03bad")
        write_at(disk, record + 4 + 4, struct.pack("<i", 0x7FFFFFF0))

        machine = self.boot(disk=disk, memory=128)
        machine.boot_to_prompt()
        self.run_command(machine, "exe /home/root/big", timeout=120)
        self.run_command(machine, "tsc /home/root/big", timeout=120)
        self.run_command(machine, "exe /home/root/bad")
        machine.wait_for_text("ERROR: Corrupt file record")
        # The editor shows the whole file (or says there is not enough
        # memory), then takes a line and F4.
        machine.type_line("cls")
        machine.boot_to_prompt()
        machine.type_line("textedit /home/root/big")
        machine.type_line("")
        machine.press("f4")
        question = "Do you want to save your file ? Y/N"
        machine.wait_for(lambda: machine.find(question) or machine.find("ERROR: ") or machine.find(HALT),
                         timeout=300, what="the editor or an error line")
        self.assertIsNone(machine.find(HALT))
        if machine.find(question):
            machine.type_line("N")
        machine.wait_for_text(PROMPT, timeout=120)
        self.assertIsNone(machine.find(HALT))

if __name__ == "__main__":
    unittest.main()
