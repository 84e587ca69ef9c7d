"""Reads QEMU screendumps in PPM form, so tests can check pixels without an
imaging library, and keeps a PNG of the same screen for people to look at."""

import os
import time

from tessary_qemu import RESULTS

ORANGE, BLUE, WHITE, RED = (255, 165, 0), (0, 0, 255), (255, 255, 255), (255, 0, 0)
# The pointer's pixels around its position.
POINTER = [(0, 0), (0, 1), (0, 2), (1, 0), (2, 0), (2, 2), (3, 2), (2, 3), (3, 3), (4, 3), (4, 4), (3, 4)]


class Picture:
    def __init__(self, path):
        with open(path, "rb") as f:
            data = f.read()
        fields, position = [], 0
        while len(fields) < 4:  # magic, width, height, maximum
            while data[position:position + 1].isspace():
                position += 1
            if data[position:position + 1] == b"#":
                position = data.index(b"\n", position)
                continue
            end = position
            while not data[end:end + 1].isspace():
                end += 1
            fields.append(data[position:end])
            position = end
        if fields[0] != b"P6" or fields[3] != b"255":
            raise ValueError(f"{path}: not an 8-bit binary PPM")
        self.width, self.height = int(fields[1]), int(fields[2])
        self.pixels = data[position + 1:]

    def rgb(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.pixels[i:i + 3])

    def count(self, colour, near=8):
        """Number of pixels within `near` of the colour in every channel."""
        total = 0
        for i in range(0, len(self.pixels), 3):
            if all(abs(self.pixels[i + c] - colour[c]) <= near for c in range(3)):
                total += 1
        return total


def close(a, b, near=8):
    """Palette values may come back a few units off."""
    return all(abs(x - y) <= near for x, y in zip(a, b))


def capture(machine, name, kind=None):
    """A screendump as a Picture (or the given subclass), with a PNG copy
    kept under the test results."""
    os.makedirs(RESULTS, exist_ok=True)
    ppm = os.path.join(machine.tmp, name + ".ppm")
    machine.command("screendump", filename=ppm)
    machine.screendump(os.path.join(RESULTS, name + ".png"))
    return (kind or Picture)(ppm)


class DesktopPicture(Picture):
    """A 320x200 screen, dumped by QEMU at twice the size."""

    def at(self, x, y):
        return self.rgb(2 * x, 2 * y)


def desktop(machine, name):
    return capture(machine, name, DesktopPicture)


def wait_for_desktop(machine, name, predicate, timeout=30):
    """Desktop screendumps until one satisfies the predicate; that one."""
    deadline = time.time() + timeout
    while True:
        p = desktop(machine, name)
        if predicate(p):
            return p
        if time.time() > deadline:
            raise AssertionError(f"{name}: the screen never showed what was expected (see {RESULTS}/{name}.png)")
        time.sleep(0.3)


def pointer_at(p, x, y, colour=WHITE):
    return all(close(p.at(x + dx, y + dy), colour) for dx, dy in POINTER)


def bars_drawn(p):
    """The desktop's orange bars: under and over the top bar, over and under
    the bottom one (row 10 ends where the panel's area begins)."""
    return all(close(p.at(x, y), ORANGE) for y in (0, 10, 188, 199) for x in range(32, 307, 5))
