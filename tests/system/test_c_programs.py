"""Programs written in C with the SDK (sdk/, programs/): the MZ files the
packer makes, checked against the linked ELF files, and every example run with
`run` in one session, with a test program that hands the system bad pointers
and ends itself from deep inside nested calls."""

import glob
import os
import re
import struct
import subprocess
import time
import unittest

from picture import close, desktop, wait_for_desktop
from shell_session import formatted_disk, run, wait_for_output, wait_for_prompt
from tessary_qemu import BUILD, PROMPT, ROOT, SystemTest, tessfs

PROGRAMS = os.path.join(BUILD, "programs")
TEST_PROGRAMS = os.path.join(BUILD, "test-programs")
MZ_PACK = os.path.join(BUILD, "mz-pack")
# Where the SDK links programs, and where their image must end: the start of
# the high program range, and the page below the stack's guard page.
LOAD_ADDRESS = 0x40000000
IMAGE_LIMIT = 0x7FEFE000


def elf_layout(path):
    """(entry, [(address, file size, memory size)] of the loadable segments) of a 32-bit ELF file."""
    with open(path, "rb") as f:
        data = f.read()
    entry, phoff = struct.unpack_from("<II", data, 24)
    phentsize, phnum = struct.unpack_from("<HH", data, 42)
    segments = []
    for i in range(phnum):
        kind, _, address, _, file_size, memory_size = struct.unpack_from("<6I", data, phoff + i * phentsize)
        if kind == 1 and memory_size:
            segments.append((address, file_size, memory_size))
    return entry, segments


class ProgramFiles(unittest.TestCase):
    def programs(self):
        exes = sorted(glob.glob(os.path.join(PROGRAMS, "*.exe")) + glob.glob(os.path.join(TEST_PROGRAMS, "*.exe")))
        self.assertEqual({os.path.basename(p) for p in exes},
                         {"args.exe", "guess.exe", "wc.exe", "write.exe", "wadview.exe", "udpecho.exe", "udpsend.exe",
                          "probe.exe", "hostile.exe", "big.exe", "libc.exe"}
                         | ({"lua.exe"} if os.path.exists(os.path.join(TEST_PROGRAMS, "lua.exe")) else set()))
        return exes

    def test_mz_files_hold_the_linked_image_where_the_loader_puts_it(self):
        for exe in self.programs():
            with self.subTest(exe=os.path.basename(exe)):
                elf = exe[:-4] + ".elf"
                with open(exe, "rb") as f:
                    data = f.read()
                (signature, last_page, pages, relocations, header_paragraphs, min_extra, _, _, _, _, ip, cs,
                 _, _) = struct.unpack_from("<2s13H", data)
                self.assertEqual(signature, b"MZ")
                self.assertEqual((header_paragraphs, relocations), (3, 0))
                self.assertEqual((pages, last_page), ((len(data) + 511) // 512, len(data) % 512))
                # The load information follows the header: where the module
                # goes and how many zeroed bytes follow it.
                load_signature, load_address, extra = struct.unpack_from("<4sII", data, 0x1C)
                self.assertEqual((load_signature, load_address), (b"TSRY", LOAD_ADDRESS))

                # The module is the memory image objcopy makes of the file
                # bytes; what lies beyond it is zeroed.
                image = os.path.join(os.path.dirname(exe), os.path.basename(elf) + ".bin")
                subprocess.run(["objcopy", "-O", "binary", elf, image], check=True)
                with open(image, "rb") as f:
                    expected = f.read()
                os.remove(image)
                module = data[48:]
                self.assertEqual(module, expected)

                entry, segments = elf_layout(elf)
                memory_end = max(address + memory_size for address, _, memory_size in segments)
                self.assertEqual(min(address for address, _, _ in segments), LOAD_ADDRESS)
                self.assertEqual(extra, memory_end - LOAD_ADDRESS - len(module))
                self.assertEqual(min_extra, min(-(-extra // 16), 0xFFFF))
                self.assertLessEqual(LOAD_ADDRESS + len(module) + extra, IMAGE_LIMIT)
                # The start-up code is the first byte, and the entry.
                self.assertEqual(LOAD_ADDRESS + cs * 16 + ip, entry)
                self.assertEqual(entry, LOAD_ADDRESS)

    def test_a_program_linked_outside_the_program_ranges_is_refused(self):
        moved = os.path.join(BUILD, "test-programs", "moved.elf")
        output = os.path.join(BUILD, "test-programs", "moved.exe")
        subprocess.run(["objcopy", "--change-addresses", "-0x80000", os.path.join(PROGRAMS, "args.elf"), moved],
                       check=True, capture_output=True)
        try:
            result = subprocess.run([MZ_PACK, moved, output], capture_output=True, text=True)
        finally:
            os.remove(moved)
        self.assertEqual(result.returncode, 1)
        self.assertIn("the program starts at 0x3ff80000", result.stderr)
        self.assertFalse(os.path.exists(output))


NOTES = "one two\nthree\n\n  four five\tsix\n"


def linked_at_one_mib(workdir):
    """args.c linked at 0x00100000, where the first SDK linked programs, and
    packed with the plain MZ header."""
    script = os.path.join(workdir, "program-1mib.ld")
    with open(os.path.join(ROOT, "sdk", "program.ld")) as f:
        text = f.read()
    with open(script, "w") as f:
        f.write(text.replace(". = 0x40000000;", ". = 0x00100000;"))
    elf = os.path.join(workdir, "args-1mib.elf")
    exe = os.path.join(workdir, "args-1mib.exe")
    libgcc = subprocess.run(["gcc", "-m32", "-print-libgcc-file-name"], check=True, capture_output=True,
                            text=True).stdout.strip()
    subprocess.run(["gcc", "-m32", "-nostdlib", "-static", "-no-pie", "-Wl,--build-id=none",
                    "-Wl,--no-warn-rwx-segments", "-Wl,--no-warn-execstack", "-Wl,--gc-sections", "-T", script,
                    "-o", elf, os.path.join(PROGRAMS, "CMakeFiles", "args.elf.dir", "args.c.o"),
                    "-Wl,--start-group", os.path.join(BUILD, "libtessary_sdk.a"),
                    os.path.join(BUILD, "newlib", "lib", "libc.a"), os.path.join(BUILD, "newlib", "lib", "libm.a"),
                    libgcc, "-Wl,--end-group"], check=True)
    subprocess.run([MZ_PACK, elf, exe], check=True)
    with open(exe, "rb") as f:
        assert struct.unpack_from("<H", f.read(), 8) == (2,), "not the plain header"
    return exe


WAD = "/usr/share/games/doom/freedoom2.wad"


class Wad:
    """The DOOM data file decoded here, apart from the viewer: its directory,
    first palette and full-screen pictures as rows of colour numbers."""

    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        count, directory = struct.unpack_from("<II", self.data, 4)
        self.lumps = {}
        for i in range(count):
            offset, size, name = struct.unpack_from("<II8s", self.data, directory + 16 * i)
            self.lumps[name.rstrip(b"\0").decode()] = (offset, size)
        offset, _ = self.lumps["PLAYPAL"]
        self.palette = [tuple(self.data[offset + 3 * i:offset + 3 * i + 3]) for i in range(256)]

    def picture(self, name):
        offset, _ = self.lumps[name]
        width, height = struct.unpack_from("<HH", self.data, offset)
        rows = [[0] * 320 for _ in range(200)]
        for x in range(min(width, 320)):
            at = offset + struct.unpack_from("<I", self.data, offset + 8 + 4 * x)[0]
            while self.data[at] != 0xFF:
                top, length = self.data[at], self.data[at + 1]
                for y in range(length):
                    if top + y < 200:
                        rows[top + y][x] = self.data[at + 3 + y]
                at += length + 4
        return rows


class CPrograms(SystemTest):
    def test_examples_and_edge_cases_in_one_session(self):
        notes = os.path.join(self.workdir, "notes.txt")
        with open(notes, "w") as f:
            f.write(NOTES)
        disk = formatted_disk(self.workdir, "/home", "/home/root", "/documents", "/programs")
        for exe in glob.glob(os.path.join(PROGRAMS, "*.exe")):
            tessfs("put", disk, exe, "/programs/" + os.path.basename(exe))
        tessfs("put", disk, os.path.join(TEST_PROGRAMS, "probe.exe"), "/home/root/probe.exe")
        tessfs("put", disk, os.path.join(TEST_PROGRAMS, "big.exe"), "/home/root/big.exe")
        tessfs("put", disk, os.path.join(TEST_PROGRAMS, "libc.exe"), "/home/root/libc.exe")
        tessfs("mkdir", disk, "/home/root/scratch")
        tessfs("put", disk, linked_at_one_mib(self.workdir), "/home/root/old.exe")
        tessfs("put", disk, notes, "/home/root/notes.txt")
        machine = self.boot(disk=disk)
        machine.boot_to_prompt()
        prompt_colours = machine.attribute_at(wait_for_prompt(machine), 0)

        self.assertEqual(run(machine, "run /programs/args.exe one  two three"), ["1: one", "2: two", "3: three"])
        self.assertEqual(run(machine, "run /programs/args.exe"), ["No arguments."])
        # Linked at 1 MiB, as programs made before the SDK moved to 1 GiB.
        self.assertEqual(run(machine, "run /home/root/old.exe one two"), ["1: one", "2: two"])
        # An image four times what the area at 1 MiB could hold.
        self.assertEqual(run(machine, "run /home/root/big.exe", 60), ["checked 16 MiB of .bss"])

        counts = f"{NOTES.count(chr(10))} {len(NOTES.split())} {len(NOTES)} /home/root/notes.txt"
        self.assertEqual(run(machine, "run /programs/wc.exe /home/root/notes.txt"), [counts])
        self.assertEqual(run(machine, "run /programs/wc.exe /home/root/gone.txt"),
                         ["wc: /home/root/gone.txt: no such file", "Program exited with status 1"])

        self.assertEqual(run(machine, "run /programs/write.exe /documents/hello.txt Hello from C"),
                         ["Wrote 13 bytes to /documents/hello.txt"])

        # Refused, with -1, and nothing written or broken: the run goes on.
        self.assertEqual(run(machine, "run /home/root/probe.exe pointers"), [
            "write 0 = -1",
            "write 0x00600000 = -1",
            "write across the end = -1",
            "file size 0 = -1",
            "read file into 0x00600000 = -1",
            "arguments into 0 = -1",
            "colours 16 = -1",
            "cursor 80 = -1",
            "write 0 bytes at 0 = 0",
        ])
        # The probe wrote in its own colours; the shell's are back.
        self.assertEqual(machine.attribute_at(wait_for_prompt(machine), 0), prompt_colours)

        # exit from 100 calls deep: the kernel's own state comes back, and
        # the shell runs the next program as before.
        self.assertEqual(run(machine, "run /home/root/probe.exe exit"), ["Program exited with status 42"])
        status_row = wait_for_prompt(machine) - 1
        self.assertEqual(machine.attribute_at(status_row, 0), machine.attribute_at(status_row - 1, len(PROMPT)))
        self.assertEqual(run(machine, "run /programs/args.exe after"), ["1: after"])

        # The C library on the system: each group of checks says ok.
        self.assertEqual(run(machine, "run /home/root/libc.exe scratch", 120),
                         [f"{group}: ok" for group in ("numbers", "qsort", "setjmp", "malloc", "files", "time",
                                                       "maths", "network")])

        # The UDP examples on a machine without a network card: each says
        # so and fails; the two-machine tests run them on a network.
        self.assertEqual(run(machine, "run /programs/udpecho.exe"),
                         ["udpecho: cannot open port 7: Network interface is not configured",
                          "Program exited with status 1"])
        self.assertEqual(run(machine, "run /programs/udpecho.exe 70000"),
                         ["usage: run udpecho.exe [PORT]", "Program exited with status 1"])
        self.assertEqual(run(machine, "run /programs/udpsend.exe 192.0.2.9 7 hello"),
                         ["udpsend: Network interface is not configured", "Program exited with status 1"])
        self.assertEqual(run(machine, "run /programs/udpsend.exe 192.0.2.9 hello"),
                         ["usage: run udpsend.exe ADDRESS PORT TEXT...", "Program exited with status 1"])

        self.play_guess(machine)
        machine.close()
        self.machines.remove(machine)
        self.assertEqual(tessfs("cat", disk, "/documents/hello.txt").stdout, b"Hello from C\n")

    @unittest.skipUnless(os.path.exists(WAD), "no Freedoom data (Debian package freedoom)")
    def test_the_viewer_shows_the_data_files_pictures_and_tells_a_press_from_a_hold(self):
        wad = Wad(WAD)
        disk = formatted_disk(self.workdir, "/home", "/home/root", "/documents")
        tessfs("put", disk, os.path.join(PROGRAMS, "wadview.exe"), "/home/root/wadview.exe")
        tessfs("put", disk, WAD, "/documents/freedoom2.wad")
        machine = self.boot(disk=disk)
        machine.boot_to_prompt()
        machine.type_line("run /home/root/wadview.exe /documents/freedoom2.wad")

        def showing(rows, shift=0):
            """Whether the screen shows these rows, moved up by `shift`, in the palette."""
            return lambda p: p.width == 640 and all(
                close(p.at(x, y), wad.palette[rows[(y + shift) % 200][x]])
                for x in range(3, 320, 29) for y in range(1, 200, 13))

        title = wad.picture("TITLEPIC")
        wait_for_desktop(machine, "wadview-title", showing(title))
        # A tap of Right is one picture on, however the key repeats.
        machine.press("right", hold_ms=300)
        wait_for_desktop(machine, "wadview-credit", showing(wad.picture("CREDIT")))
        machine.press("left")
        wait_for_desktop(machine, "wadview-title-again", showing(title))
        # A held Down scrolls for as long as it is held: four rows a frame.
        machine.press("down", hold_ms=600)
        scrolled = desktop(machine, "wadview-scrolled")
        shifts = [shift for shift in range(4, 200, 4) if showing(title, shift)(scrolled)]
        self.assertEqual(len(shifts), 1, "the picture did not scroll by whole steps")
        self.assertGreater(shifts[0], 20)
        time.sleep(0.5)
        self.assertTrue(showing(title, shifts[0])(desktop(machine, "wadview-still")), "it went on scrolling")

        machine.press("esc")
        output = wait_for_output(machine, "run /home/root/wadview.exe /documents/freedoom2.wad")
        self.assertEqual(len(output), 2, output)
        rate = re.match(r"Showed (\d+) frames in (\d+) ms: (\d+)\.\d a second$", output[0])
        self.assertTrue(rate, output[0])
        self.assertGreaterEqual(int(rate.group(3)), 30)
        self.assertLessEqual(int(rate.group(3)), 35)
        # Only the pieces it needs of the 28 MB: header, directory, two
        # palettes, three pictures.
        self.assertRegex(output[1], r"^Read \d+ bytes in 7 pieces for \d+ pictures$")
        self.assertLess(int(output[1].split()[1]), 1 << 20)

    def play_guess(self, machine):
        """Finds the number by halving the range on the game's answers; then
        the same seed again, left with Escape, names the same number."""
        machine.type_line("run /programs/guess.exe 7")
        machine.wait_for_text("Guess the number from 1 to 100")
        self.assertEqual(machine.attribute_at(0, 0), 0x1F)  # white on blue

        low, high = 1, 100
        for guesses in range(1, 8):
            guess = (low + high) // 2
            if guesses == 1:
                # A digit too many, taken back with Backspace.
                machine.type(f"{guess}9")
                machine.press("backspace")
                machine.type("\n")
            else:
                machine.type(f"{guess}\n")
            answer_row = 3 + guesses
            answer = machine.wait_for(lambda: machine.screen()[answer_row], what=f"the answer to {guess}")
            if answer == f"{guess} is too low.":
                low = guess + 1
            elif answer == f"{guess} is too high.":
                high = guess - 1
            else:
                break
        self.assertEqual(answer, f"{guess} is right! Found in {guesses} {'guess' if guesses == 1 else 'guesses'}.")
        self.assertEqual(machine.attribute_at(answer_row, 0) & 0x0F, 10)  # light green
        wait_for_prompt(machine)

        machine.type_line("run /programs/guess.exe 7")
        machine.wait_for_text("Your guess:")
        machine.press("esc")
        machine.wait_for_text(f"The number was {guess}.")
        wait_for_prompt(machine)


if __name__ == "__main__":
    unittest.main()
