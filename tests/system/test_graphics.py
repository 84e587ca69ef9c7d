"""The desktop, the planar 640x480 demonstration and the SVGA pointer screen,
checked on QEMU's screendumps (PNG copies are kept under system-results/)."""

import math
import time
import unittest

from picture import BLUE, POINTER, RED, WHITE, bars_drawn, capture, close, pointer_at, wait_for_desktop
from tessary_qemu import PROMPT, SystemTest

YELLOW, AQUAMARINE, BLACK, MAGENTA = (255, 255, 0), (127, 255, 212), (0, 0, 0), (255, 0, 255)
SVGA_BLUE = (0x3D, 0x9F, 0xED)


class Desktop(SystemTest):
    def test_gui_desktop_pointer_clock_and_panel(self):
        machine = self.boot()
        machine.boot_to_question()
        machine.type_line("GUI")
        # Nothing but the blue background until the mouse first moves.
        p = wait_for_desktop(machine, "desktop-before-move",
                                  lambda p: p.width == 640 and p.height == 400 and close(p.at(160, 5), BLUE))
        self.assertTrue(close(p.at(160, 0), BLUE))

        machine.mouse_move(150, 100)
        p = wait_for_desktop(machine, "desktop", lambda p: pointer_at(p, 150, 100))
        self.assertTrue(bars_drawn(p))
        for x, y in ((100, 100), (250, 150), (5, 150), (315, 25)):
            self.assertTrue(close(p.at(x, y), BLUE), (x, y))
        # The clock: a yellow block with black digits; the DOS button and
        # the LAUNCH block in aquamarine.
        clock = [p.at(x, y) for x in range(284, 307) for y in range(1, 10)]
        self.assertGreater(sum(close(c, YELLOW) for c in clock), 80)
        self.assertGreater(sum(close(c, BLACK) for c in clock), 15)
        self.assertTrue(close(p.at(1, 1), AQUAMARINE))
        self.assertTrue(close(p.at(2, 2), YELLOW))  # the D of DOS
        self.assertTrue(close(p.at(30, 198), AQUAMARINE))
        self.assertTrue(close(p.at(70, 60), MAGENTA))  # the circle around (60, 60)
        self.assertTrue(close(p.at(315, 15), BLUE))  # the panel is closed

        # A click on the top-right button: the panel shows in red at the
        # next redraw.
        # Over drawn parts of the desktop the pointer is redrawn without
        # rest, so the move shows as the old pointer gone.
        machine.mouse_move(165, -95)
        wait_for_desktop(machine, "desktop-at-button", lambda p: not any(
            close(p.at(150 + dx, 100 + dy), WHITE) for dx, dy in POINTER))
        machine.mouse_button("left", True)
        time.sleep(0.2)
        machine.mouse_button("left", False)
        machine.mouse_move(-100, 80)
        p = wait_for_desktop(machine, "desktop-panel", lambda p: pointer_at(p, 215, 85))
        self.assertTrue(all(close(p.at(x, y), RED) for x in range(308, 320) for y in range(11, 20)))
        self.assertTrue(all(close(p.at(307, y), (255, 140, 0)) for y in range(10, 21)))

        # The DOS button restarts the machine, which comes back to the question.
        machine.mouse_move(-205, -80)
        wait_for_desktop(machine, "desktop-at-dos", lambda p: not any(
            close(p.at(215 + dx, 85 + dy), WHITE) for dx, dy in POINTER))
        machine.mouse_button("left", True)
        machine.wait_for(lambda: "RESET" in machine.event_names(), 20, "a restart")
        machine.mouse_button("left", False)
        machine.boot_to_question()

    def test_hdvga_shows_the_planar_demonstration(self):
        machine = self.boot()
        machine.boot_to_prompt()
        machine.type_line("hdvga")
        # The dotted circle of radius 100 around (110, 110): its dots in one
        # colour, everything else in the background colour.
        dots = {(int(110 + 100 * math.cos(2 * (i * 2 * math.pi / 360))),
                 int(110 + 100 * math.sin(2 * (i * 2 * math.pi / 360)))) for i in range(360)}

        def drawn(p):
            if (p.width, p.height) != (640, 480):
                return False
            colours = {p.rgb(x, y) for x, y in dots}
            return len(colours) == 1 and colours != {p.rgb(320, 240)}

        deadline = time.time() + 30
        while True:
            p = capture(machine, "hdvga")
            if drawn(p):
                break
            self.assertLess(time.time(), deadline, "no 640x480 screen with the circle")
            time.sleep(0.3)
        background = p.rgb(320, 240)
        others = sum(1 for y in range(0, 480, 3) for x in range(0, 640, 3)
                     if (x, y) not in dots and p.rgb(x, y) != background)
        self.assertEqual(others, 0)


class SvgaScreen(SystemTest):
    def test_svga_shows_the_blue_screen_and_the_pointer_follows_the_mouse(self):
        machine = self.boot(vga="vmware")
        machine.boot_to_prompt()
        # QEMU only notices a new SVGA mode whose size differs from the
        # display's last surface; a dump of the text screen gives it one.
        capture(machine, "svga-before")
        machine.type_line("svga")
        deadline = time.time() + 30
        while True:
            p = capture(machine, "svga")
            if (p.width, p.height) == (640, 480) and close(p.rgb(320, 240), SVGA_BLUE, 2) \
                    and close(p.rgb(15, 15), RED, 2):
                break
            self.assertLess(time.time(), deadline, "no blue 640x480 SVGA screen")
            time.sleep(0.3)
        self.assertTrue(close(p.rgb(639, 479), SVGA_BLUE, 2))
        self.assertTrue(close(p.rgb(14, 15), SVGA_BLUE, 2))
        machine.wait_for(lambda: "SVGA pointer at 0,0" in machine.kernel_log(), 10, "the pointer")
        machine.mouse_move(30, 40)
        machine.wait_for(lambda: "SVGA pointer at 30,40" in machine.kernel_log(), 10, "the pointer to follow")
        machine.mouse_move(500, 500)
        machine.wait_for(lambda: "SVGA pointer at 319,199" in machine.kernel_log(), 10, "the pointer at the edge")

    def test_svga_without_the_adapter_prints_an_error(self):
        machine = self.boot(vga="std")
        machine.boot_to_prompt()
        machine.type_line("svga")
        row, column = machine.wait_for_text("ERROR: ")
        self.assertIn("VMware SVGA II", machine.screen()[row])
        self.assertEqual(machine.attribute_at(row, column) >> 4, 12)
        machine.wait_for_count(PROMPT, 2)
        self.assertEqual(machine.attribute_at(row + 1, 0) >> 4, 0)
        # The shell still takes commands.
        machine.type_line("pci")
        machine.wait_for_count(PROMPT, 3)


if __name__ == "__main__":
    unittest.main()
