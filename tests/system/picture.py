"""Reads QEMU screendumps in PPM form, so tests can check pixels without an
imaging library, and keeps a PNG of the same screen for people to look at."""

import os

from tessary_qemu import RESULTS


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
