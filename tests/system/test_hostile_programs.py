"""A program that reaches for what is not its own: the kernel's image, the
screen, address 0, the heap's far side, the ports, the interrupt flag, a
driver's interrupt, and the kernel's memory through every call that takes a
pointer. Each fault ends the program alone with a red line that names it,
each pointer is refused, and the kernel's code and heap come out as they went
in; a program that fills most of the machine's memory gets it, and one that
asks for more than there is is told so. One that takes the 320x200 screen
and ends on it, however it ends, leaves the text screen as it found it."""

import os
import re
import struct
import unittest

from picture import capture, close, wait_for_desktop
from shell_session import formatted_disk, last_line, run, run_quickly, wait_for_output, wait_for_prompt
from tessary_qemu import BUILD, ELF, PROMPT, SystemTest, symbol_address, tessfs

HOSTILE_ELF = os.path.join(BUILD, "test-programs", "hostile.elf")
HOSTILE_EXE = os.path.join(BUILD, "test-programs", "hostile.exe")
HOSTILE = "/home/root/hostile.exe"
FAULT = re.compile(r"ERROR: Program ended: (\w+) at 0x([0-9A-F]{8})$")
HEAP = re.compile(r"Heap: (\d+) bytes in use, \d+ free, largest free block \d+$")

PAGE_FAULT = ("PAGE_FAULT", 142)
PROTECTION = ("GENERAL_PROTECTION_FAULT", 141)

GUARD_PAGE = 0x7FEFE000
LOAD_ADDRESS = 0x40000000
# The MZ header with Tessary's load information after it.
MZ_HEADER_SIZE = 48
DIVIDE_OPCODE = 0xF7


def heap_start():
    """The first page after the program's image and zeroed memory."""
    with open(HOSTILE_EXE, "rb") as f:
        data = f.read()
    (extra,) = struct.unpack_from("<I", data, 0x24)
    end = LOAD_ADDRESS + len(data) - MZ_HEADER_SIZE + extra
    return (end + 0xFFF) & ~0xFFF


def exact(address):
    return {address}


def expected_faults():
    """{mode: (exception, status, the addresses the red line may name)}."""
    def label(mode):
        return exact(symbol_address(HOSTILE_ELF, "hostile_" + mode))

    # The division is the compiler's: whichever instruction of divide_by()
    # with the divide opcode.
    with open(HOSTILE_EXE, "rb") as f:
        image = f.read()[MZ_HEADER_SIZE:]
    divide_by = symbol_address(HOSTILE_ELF, "divide_by")
    divides = {address for address in range(divide_by, divide_by + 32) if image[address - LOAD_ADDRESS] == DIVIDE_OPCODE}
    return {
        "kernel-write": (*PAGE_FAULT, exact(0x00500000)),
        "kernel-read": (*PAGE_FAULT, exact(0x00510000)),
        "text-write": (*PAGE_FAULT, exact(0x000B8000)),
        "null-write": (*PAGE_FAULT, exact(0)),
        # A page on the heap, then a store 1 MiB above the break.
        "above-heap": (*PAGE_FAULT, exact(heap_start() + 0x1000 + 0x100000)),
        **{mode: (*PROTECTION, label(mode)) for mode in ("in", "out", "cli", "hlt", "int3", "int21")},
        "ud2": ("INVALID_OPCODE", 134, label("ud2")),
        "divide": ("DIVIDE_BY_ZERO", 128, divides),
        "recursion": (*PAGE_FAULT, range(GUARD_PAGE, GUARD_PAGE + 0x1000)),
    }


# A text row's height in QEMU's screendumps of the 80x25 screen.
CHARACTER_HEIGHT = 16
SCREEN_CALLS_ON_TEXT = ["palette on text = -1", "frame on text = -1", "screen 2 = -1"]


def frame_colour(x, y):
    """hostile.exe screen's picture: colour x + y, red i, green 255 - i, blue 128."""
    i = (x + y) % 256
    return (i, 255 - i, 128)


POINTER_CALLS = ["write", "file size", "read file path", "read file into", "write file path", "write file from",
                 "arguments into", "print", "read line into"]


class HostilePrograms(SystemTest):
    def kernel_code(self, machine):
        """The kernel's code and read-only data, after its stack."""
        start = symbol_address(ELF, "kernel_stack_top")
        return machine.read_memory(start, symbol_address(ELF, "init_array_start") - start)

    def heap_in_use(self, machine):
        output = run(machine, "mem")
        self.assertEqual(len(output), 1, output)
        self.assertRegex(output[0], HEAP)
        return int(HEAP.match(output[0]).group(1))

    def test_faults_and_bad_pointers_leave_the_kernel_as_it_was(self):
        disk = formatted_disk(self.workdir, "/home", "/home/root")
        tessfs("put", disk, HOSTILE_EXE, HOSTILE)
        machine = self.boot(disk=disk)
        machine.boot_to_prompt()
        self.heap_in_use(machine)
        heap_before = self.heap_in_use(machine)
        code_before = self.kernel_code(machine)

        for mode, (name, status, addresses) in expected_faults().items():
            with self.subTest(mode=mode):
                output = run_quickly(machine, f"run {HOSTILE} {mode}")
                self.assertEqual(len(output), 2, output)
                fault = FAULT.match(output[0])
                self.assertTrue(fault, output)
                self.assertEqual(fault.group(1), name)
                self.assertIn(int(fault.group(2), 16), addresses)
                self.assertEqual(output[1], f"Program exited with status {status}")
                self.assertEqual(machine.attribute_at(wait_for_prompt(machine) - 2, 0) >> 4, 12)

        expected = [f"{call} 0x{target:08X} = -1" for target in (0x00500000, 0xB8000) for call in POINTER_CALLS]
        self.assertEqual(run_quickly(machine, f"run {HOSTILE} pointers"), expected + ["stolen file size = -2"])

        self.assertEqual(self.kernel_code(machine), code_before)
        self.assertEqual(self.heap_in_use(machine), heap_before)

        # More than the machine's 128 MiB: refused, and whatever was mapped
        # on the way goes back, or the 96 MiB after it would not fit.
        self.assertEqual(run_quickly(machine, f"run {HOSTILE} alloc 200"),
                         [f"break 0x{heap_start() + (200 << 20):08X} = -4", "Program exited with status 1"])
        self.assertEqual(run_quickly(machine, f"run {HOSTILE} alloc 96", 120), ["checked 96 MiB"])
        self.assertEqual(self.heap_in_use(machine), heap_before)
        self.assertNotIn("PANIC", machine.kernel_log())

    def test_a_program_ending_on_the_256_colour_screen_leaves_the_text_screen_as_it_was(self):
        disk = formatted_disk(self.workdir, "/home", "/home/root")
        tessfs("put", disk, HOSTILE_EXE, HOSTILE)
        machine = self.boot(disk=disk)
        machine.boot_to_prompt()
        run(machine, "mem")

        endings = {"return": [], "exit": ["Program exited with status 3"],
                   "fault": ["ERROR: Program ended: PAGE_FAULT at 0x00000000", "Program exited with status 142"]}
        for how, ending in endings.items():
            with self.subTest(how=how):
                line = f"run {HOSTILE} screen {how}"
                wait_for_prompt(machine)
                machine.type_quickly(line)
                machine.wait_for(lambda: last_line(machine.screen())[1] == PROMPT + line, what="the command line")
                echo_row = last_line(machine.screen())[0]
                cells, text = machine.cells(), capture(machine, f"text-before-{how}")
                machine.press("ret")

                picture = wait_for_desktop(machine, f"frame-{how}",
                                           lambda p: p.width == 640 and close(p.at(0, 0), frame_colour(0, 0)))
                for x, y in ((100, 50), (200, 55), (319, 199), (7, 180)):
                    self.assertTrue(close(picture.at(x, y), frame_colour(x, y)), (x, y, picture.at(x, y)))
                machine.press("spc")

                self.assertEqual(wait_for_output(machine, line), SCREEN_CALLS_ON_TEXT + ending)
                # Up to the command line, the rows are the same cells (moved
                # up when the output scrolled the screen) drawn with the same
                # font and colours.
                moved = echo_row - machine.find(PROMPT + line)[0]
                self.assertEqual(machine.cells()[:echo_row + 1 - moved], cells[moved:echo_row + 1])
                after = capture(machine, f"text-after-{how}")
                self.assertEqual((after.width, after.height), (text.width, text.height))
                row_bytes = text.width * 3 * CHARACTER_HEIGHT
                self.assertTrue(after.pixels[:row_bytes * (echo_row - moved)]
                                == text.pixels[row_bytes * moved:row_bytes * echo_row],
                                f"the rows look different in text-before-{how}.png and text-after-{how}.png")
        self.assertNotIn("PANIC", machine.kernel_log())


if __name__ == "__main__":
    unittest.main()
