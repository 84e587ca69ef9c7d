"""The Lua 5.4 interpreter, built unchanged from its own sources with the SDK
and its C library, runs scripts that lean on what such a program takes from
the system: printf and strtod under Lua's number formats, the maths library,
files read and written at positions, the clock, errors and coroutines, and
the collector under 32 MiB of live data. Skipped when the sources are not
there (build/test-programs/lua.exe is then not built)."""

import os
import time
import unittest

from shell_session import cat, formatted_disk, run, wait_for_prompt
from tessary_qemu import BUILD, ROOT, SystemTest, tessfs

LUA = os.path.join(BUILD, "test-programs", "lua.exe")
SCRIPTS = os.path.join(ROOT, "tests", "system", "lua")
NUMBERS = [0.1, 1 / 3, -2.5, 1e15, 1e16, 2.0**53, 2.0**63, 123456.789, 1e-5, 6.02214076e23, 5e-324,
           1.7976931348623157e308]


def lua_float(value):
    """A float as Lua writes it: %.14g, with ".0" when that looks like an integer."""
    text = "%.14g" % value
    return text + ".0" if text.lstrip("-").isdigit() else text


def words(lines):
    """Lines with their runs of blanks made one space: print's tabs reach the
    screen as spaces."""
    return [" ".join(line.split()) for line in lines]


@unittest.skipUnless(os.path.exists(LUA), "no Lua sources: lua.exe was not built")
class Lua(SystemTest):
    def test_scripts_run_on_the_unmodified_interpreter(self):
        disk = formatted_disk(self.workdir, "/home", "/home/root", "/programs", "/home/root/work")
        tessfs("put", disk, LUA, "/programs/lua.exe")
        for script in ("numbers.lua", "library.lua", "files.lua"):
            tessfs("put", disk, os.path.join(SCRIPTS, script), "/home/root/" + script)
        machine = self.boot(disk=disk, memory=256)
        machine.boot_to_prompt()

        numbers = [f"{'%g' % v}|{'%.14g' % v}|{'%.17g' % v}|{lua_float(v)}" for v in NUMBERS]
        numbers += [
            "42| 3.14|ab |ff|0x1.5555555555555p-2",
            "3 3.0 -2 2 3.5 7 1024.0 inf inf",
            "9223372036854775807 -9223372036854775808 true 3 nil",
            "16 100.0 12 nil 35 16.0",
            "true integer float nil 1e+100 0",
            "0.000 100000000000000 2147483648 15 7.0",
        ]
        self.assertEqual(words(run(machine, "run /programs/lua.exe numbers.lua", 60)), words(numbers))

        before = time.time()
        output = run(machine, "run /programs/lua.exe library.lua", 300)
        after = time.time()
        self.assertEqual(output[:5], ["maths ok", "strings ok", "errors ok", "coroutines ok", "closures ok"])
        self.assertRegex(output[5], r"^collector ok (3[2-9]|[4-9]\d) MiB$")
        # The clock's fields are UTC: os.date and os.time agree with the host's.
        self.assertEqual(words(output[6:8]), ["1970-01-01 00:00:00 Tuesday February 060",
                                              "951825600 2147483647"])
        now = int(output[8].split()[1])
        self.assertTrue(before - 5 <= now <= after + 5, f"os.time() {now}, host {before:.0f}-{after:.0f}")
        self.assertEqual(output[9:], ["clock ok"])

        self.assertEqual(run(machine, "run /programs/lua.exe files.lua work", 120),
                         ["lines ok 1001 500503.25 15450", "io.write ok", "stderr ok", "files ok"])
        # A failing script: Lua's own message, and its status.
        failed = run(machine, 'run /programs/lua.exe -e "error([[boom]])"')
        self.assertEqual((failed[0], failed[-1]), ("lua: (command line):1: boom", "Program exited with status 1"))
        wait_for_prompt(machine)
        machine.close()
        self.machines.remove(machine)

        # What the script wrote is on the disk.
        data = cat(disk, "/home/root/work/data.txt").decode()
        self.assertTrue(data.startswith("X line 1\n2 line 4\n"))
        self.assertTrue(data.endswith("1000 line 1000000\n3.25 -17 0x1F\nappended\n"))
        self.assertEqual(tessfs("ls", disk, "/home/root/work").stdout.decode().count("moved.bin"), 0)


if __name__ == "__main__":
    unittest.main()
