"""Boots the real Tessary image in QEMU and drives it like a person would.

A Machine starts QEMU with the kernel, an IDE disk and a QMP socket, types
keys with `send-key`, moves the mouse with `input-send-event`, reads the 80x25
text cells (character and attribute) from 0xB8000 with `pmemsave`, takes
screendumps, and notices resets and power-off. Waits poll the screen against a
time-out; nothing relies on bare sleeps for correctness.
"""

import functools
import json
import os
import re
import shutil
import socket
import subprocess
import tempfile
import time
import unittest

ROOT = os.environ.get("TESSARY_ROOT", os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..")))
BUILD = os.environ.get("TESSARY_BUILD", os.path.join(ROOT, "build"))
ELF = os.path.join(BUILD, "tessary.elf")
TESSFS = os.path.join(BUILD, "tessfs")
RESULTS = os.path.join(BUILD, "system-results")

PROMPT = "root ~/home/root # "
QUESTION = "Do you want to boot on DOS or on GUI? DOS/GUI"

# Characters typed with send-key: qcode, and whether Shift is held.
_PLAIN = {
    " ": "spc", "\n": "ret", "-": "minus", "=": "equal", "/": "slash", ".": "dot", ",": "comma",
    ";": "semicolon", "'": "apostrophe", "\\": "backslash", "[": "bracket_left", "]": "bracket_right",
    "`": "grave_accent", "\t": "tab",
}
_SHIFTED = {
    "!": "1", "@": "2", "#": "3", "$": "4", "%": "5", "^": "6", "&": "7", "*": "8", "(": "9", ")": "0",
    "_": "minus", "+": "equal", "?": "slash", ">": "dot", "<": "comma", ":": "semicolon", '"': "apostrophe",
    "|": "backslash", "{": "bracket_left", "}": "bracket_right", "~": "grave_accent",
}


# Keys whose scan codes carry the 0xE0 prefix: two bytes a press and two a
# release (the controller's translation makes every other key one and one).
_EXTENDED = {"up", "down", "left", "right", "home", "end", "pgup", "pgdn", "insert", "delete", "ctrl_r", "alt_r",
             "kp_enter", "kp_divide", "meta_l", "meta_r", "menu"}
# Bytes QEMU's PS/2 keyboard queues before it drops the rest.
_PS2_QUEUE_BYTES = 16


def _key_event(qcode, down):
    return {"type": "key", "data": {"down": down, "key": {"type": "qcode", "data": qcode}}}


def key_for(char):
    """(qcode, shift) for one typed character."""
    if char.isascii() and char.isalpha():
        return char.lower(), char.isupper()
    if char.isdigit():
        return char, False
    if char in _PLAIN:
        return _PLAIN[char], False
    if char in _SHIFTED:
        return _SHIFTED[char], True
    raise ValueError(f"no key types {char!r}")


class Machine:
    def __init__(self, disk=None, vga="std", memory=128, extra_args=(), name="machine", kernel=ELF, board="pc"):
        self.name = name
        self.kernel = kernel
        self.tmp = tempfile.mkdtemp(prefix="tessary-")
        self.qmp_path = os.path.join(self.tmp, "qmp.sock")
        self.log_path = os.path.join(self.tmp, "kernel.log")
        self.disk = disk
        self.events = []
        # On "q35" the disk lands on the ICH9's AHCI controller instead of IDE.
        # QEMU would add a network card whose frames reach the host's network;
        # a test that wants a card adds its own, joined only to this machine's
        # peers (extra_args).
        args = ["qemu-system-i386", "-machine", board, "-m", str(memory),
                *(["-kernel", kernel] if kernel else []), "-display", "none", "-vga", vga, "-serial", f"file:{self.log_path}",
                "-qmp", f"unix:{self.qmp_path},server=on,wait=off", "-no-shutdown", "-nic", "none"]
        if disk:
            args += ["-drive", f"file={disk},format=raw,if=ide,index=0"]
        args += list(extra_args)
        self.process = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                        stderr=subprocess.STDOUT)
        self._connect()

    # ---- QMP -------------------------------------------------------------
    def _connect(self):
        deadline = time.time() + 20
        while True:
            self.sock = socket.socket(socket.AF_UNIX)
            try:
                self.sock.connect(self.qmp_path)
                break
            except OSError:
                self.sock.close()
                if time.time() > deadline or self.process.poll() is not None:
                    raise RuntimeError("QEMU did not start: " + self._qemu_output())
                time.sleep(0.05)
        self.stream = self.sock.makefile("rw")
        json.loads(self.stream.readline())  # greeting
        self.command("qmp_capabilities")

    def _qemu_output(self):
        try:
            return self.process.stdout.read().decode(errors="replace") if self.process.poll() is not None else ""
        except Exception:
            return ""

    def command(self, name, **arguments):
        message = {"execute": name}
        if arguments:
            message["arguments"] = arguments
        self.stream.write(json.dumps(message) + "\n")
        self.stream.flush()
        while True:
            line = self.stream.readline()
            if not line:
                raise RuntimeError("QEMU closed the QMP connection")
            reply = json.loads(line)
            if "event" in reply:
                self.events.append(reply)
                continue
            if "error" in reply:
                raise RuntimeError(f"QMP {name}: {reply['error']}")
            return reply.get("return")

    def poll_events(self):
        """Collects pending QMP events without blocking."""
        try:
            self.command("query-status")
        except (RuntimeError, OSError):
            pass
        return self.events

    def event_names(self):
        return [e["event"] for e in self.poll_events()]

    # ---- screen -----------------------------------------------------------
    def read_memory(self, address, size):
        """`size` bytes of physical memory from `address`."""
        path = os.path.join(self.tmp, "memory.bin")
        self.command("pmemsave", val=address, size=size, filename=path)
        with open(path, "rb") as f:
            return f.read()

    def read_i32s(self, *symbols):
        """32-bit variables of the kernel by their (demangled) names, e.g.
        '(anonymous namespace)::g_mouse_x', read in one go."""
        addresses = [symbol_address(self.kernel, symbol) for symbol in symbols]
        first = min(addresses)
        data = self.read_memory(first, max(addresses) + 4 - first)
        return tuple(int.from_bytes(data[a - first:a - first + 4], "little", signed=True) for a in addresses)

    def waiting_for_key(self, pause=0.02):
        """Whether the processor sleeps in the keyboard's wait for a key, which
        it enters only with no key queued: every key sent has been taken and
        what it did is on the screen. Asked a second time `pause` seconds
        later (unless 0), as a key sent just before may still be on its way
        to the processor."""
        for attempt in range(2 if pause else 1):
            if attempt:
                time.sleep(pause)
            registers = self.command("human-monitor-command", **{"command-line": "info registers"})
            if not re.search(r"\bHLT=1\b", registers):
                return False
            # The halt is the one in Cpu::enable_interrupts_and_halt, a
            # function without a frame: its caller's address is on top of
            # the stack (unless the processor has moved on meanwhile).
            eip = int(re.search(r"\bEIP=([0-9a-f]+)", registers).group(1), 16)
            esp = int(re.search(r"\bESP=([0-9a-f]+)", registers).group(1), 16)
            if "Cpu::enable_interrupts_and_halt" not in functions_at(self.kernel, eip - 1):
                return False
            caller = int.from_bytes(self.read_memory(esp, 4), "little")
            if "Keyboard::wait_for_code" not in functions_at(self.kernel, caller - 1):
                return False
        return True

    def cells(self):
        """25 rows of 80 (character, attribute) pairs."""
        data = self.read_memory(0xB8000, 4000)
        return [[(data[(r * 80 + c) * 2], data[(r * 80 + c) * 2 + 1]) for c in range(80)] for r in range(25)]

    def rows(self):
        """25 text rows of 80 characters, cell bytes as Latin-1."""
        return ["".join(chr(ch) if ch >= 32 else " " for ch, _ in row) for row in self.cells()]

    def screen(self):
        """25 text rows with trailing blanks removed."""
        return [row.rstrip() for row in self.rows()]

    def text(self):
        return "\n".join(self.screen())

    def attribute_at(self, row, column):
        return self.cells()[row][column][1]

    def find(self, text):
        """(row, column) of the first occurrence of text on the screen, or None."""
        for r, row in enumerate(self.rows()):
            c = row.find(text)
            if c >= 0:
                return r, c
        return None

    def wait_for(self, predicate, timeout=30, what="condition", interval=0.1):
        deadline = time.time() + timeout
        while True:
            result = predicate()
            if result:
                return result
            if time.time() > deadline:
                raise AssertionError(f"timed out after {timeout}s waiting for {what}\n--- screen ---\n{self.text()}")
            time.sleep(interval)

    def wait_for_text(self, text, timeout=30):
        return self.wait_for(lambda: self.find(text), timeout, repr(text))

    def wait_for_count(self, text, count, timeout=30):
        return self.wait_for(lambda: "\n".join(self.rows()).count(text) >= count, timeout, f"{count} x {text!r}")

    def screendump(self, path):
        self.command("screendump", filename=path, format="png")
        return path

    # ---- input ------------------------------------------------------------
    def press(self, *qcodes, hold_ms=40):
        """Presses a chord of keys by their QEMU qcodes, e.g. press('ctrl', 'alt', 'delete')."""
        keys = [{"type": "qcode", "data": q} for q in qcodes]
        self.command("send-key", keys=keys, **{"hold-time": hold_ms})
        time.sleep(hold_ms / 1000 + 0.03)

    def type(self, text):
        for char in text:
            qcode, shift = key_for(char)
            if shift:
                self.press("shift", qcode)
            else:
                self.press(qcode)

    def send_keys(self, chords, timeout=30):
        """Types chords of qcodes (tuples held down together: pressed in order,
        released in reverse) with input-send-event. send-key holds every
        chord for a fixed time; this goes as fast as the machine takes the
        scan codes. No message carries more bytes than QEMU's PS/2 keyboard
        queues, and the next one waits until the machine waits for a key
        again, so none is dropped; a machine that does not come back to its
        keyboard within `timeout` seconds fails the test."""
        messages, queued = [[]], 0
        for chord in chords:
            size = sum(4 if qcode in _EXTENDED else 2 for qcode in chord)
            if messages[-1] and queued + size > _PS2_QUEUE_BYTES:
                messages.append([])
                queued = 0
            messages[-1] += [_key_event(q, True) for q in chord] + [_key_event(q, False) for q in reversed(chord)]
            queued += size
        for number, events in enumerate(messages):
            if number:
                self.wait_for(self.waiting_for_key, timeout, "the machine to take the keys sent")
            if events:
                self.command("input-send-event", events=events)

    def type_quickly(self, text):
        """type() through send_keys()."""
        self.send_keys([("shift", qcode) if shift else (qcode,) for qcode, shift in map(key_for, text)])

    def type_line(self, text):
        self.type(text + "\n")

    def mouse_move(self, dx, dy):
        self.command("input-send-event", events=[
            {"type": "rel", "data": {"axis": "x", "value": dx}},
            {"type": "rel", "data": {"axis": "y", "value": dy}}])

    def mouse_button(self, button="left", down=True):
        self.command("input-send-event", events=[{"type": "btn", "data": {"down": down, "button": button}}])

    # ---- life cycle -------------------------------------------------------
    def boot_to_question(self, timeout=60):
        self.wait_for_text(QUESTION, timeout)

    def boot_to_prompt(self, timeout=60):
        self.boot_to_question(timeout)
        self.type_line("DOS")
        self.wait_for_text(PROMPT, timeout)

    def wait_for_exit(self, timeout=30):
        """Waits for QEMU to end (power-off ends it; -no-shutdown keeps it paused, so quit then)."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            if self.process.poll() is not None:
                return True
            if "SHUTDOWN" in self.event_names():
                return True
            time.sleep(0.1)
        return False

    def kernel_log(self):
        return read_text(self.log_path)

    def save_artifacts(self, name):
        target = os.path.join(RESULTS, name)
        os.makedirs(target, exist_ok=True)
        try:
            with open(os.path.join(target, "screen.txt"), "w") as f:
                f.write(self.text())
        except Exception as error:  # the machine may be gone
            with open(os.path.join(target, "screen.txt"), "w") as f:
                f.write(f"screen unavailable: {error}")
        shutil.copy(self.log_path, os.path.join(target, "kernel.log")) if os.path.exists(self.log_path) else None
        if self.disk and os.path.exists(self.disk):
            shutil.copy(self.disk, os.path.join(target, "disk.img"))
        return target

    def close(self):
        try:
            self.command("quit")
        except Exception:
            pass
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        if self.process.stdout:
            self.process.stdout.close()
        try:
            self.sock.close()
        except Exception:
            pass
        shutil.rmtree(self.tmp, ignore_errors=True)


def read_text(path):
    """A log file's text so far; empty before the emulator has made it."""
    try:
        with open(path, errors="replace") as f:
            return f.read()
    except FileNotFoundError:
        return ""


@functools.lru_cache(maxsize=None)
def _symbols(elf):
    output = subprocess.run(["nm", "-C", "--defined-only", elf], capture_output=True, text=True, check=True).stdout
    table = {}
    for line in output.splitlines():
        address, _, name = line.split(" ", 2)
        table[name] = int(address, 16)
    return table


def symbol_address(elf, name):
    """Address of a symbol of the image, by its demangled name."""
    return _symbols(elf)[name]


@functools.lru_cache(maxsize=None)
def functions_at(elf, address):
    """Names (without parameters) of the functions the code at `address` belongs to, inlined ones included."""
    if address < 0:
        return []
    output = subprocess.run(["addr2line", "-f", "-i", "-C", "-e", elf, hex(address)], capture_output=True, text=True,
                            check=True).stdout
    return [name.split("(")[0] for name in output.splitlines()[0::2]]


def tessfs(*args, check=True):
    """Runs the host disk-image tool; returns the completed process."""
    return subprocess.run([TESSFS, *args], capture_output=True, check=check)


def blank_disk(directory, size_mib=64):
    """A fresh disk image with one empty partition from sector 2048, made by tessfs when it exists."""
    path = os.path.join(directory, "disk.img")
    if os.path.exists(TESSFS):
        tessfs("mkdisk", path, str(size_mib))
    else:
        with open(path, "wb") as f:
            f.truncate(size_mib * 1024 * 1024)
    return path


def package_iso(directory):
    """Packages the already built image with `./tessary iso` in a build folder
    of its own under directory, so tests running side by side never share the
    staging folder; returns the ISO's path."""
    build = os.path.join(directory, "build")
    os.makedirs(build)
    os.symlink(ELF, os.path.join(build, "tessary.elf"))
    subprocess.run([os.path.join(ROOT, "tessary"), "iso", "--packaged-only"],
                   env=dict(os.environ, TESSARY_BUILD=build), check=True, capture_output=True)
    return os.path.join(build, "tessary.iso")


class SystemTest(unittest.TestCase):
    """Base class: self.boot() starts a machine that is closed after the test;
    on failure its screen, kernel log and disk are kept under build/system-results/."""

    def setUp(self):
        self.machines = []
        self.workdir = tempfile.mkdtemp(prefix="tessary-test-")

    def boot(self, disk=None, **kwargs):
        machine = Machine(disk=disk, name=self.id(), **kwargs)
        self.machines.append(machine)
        return machine

    def _failed(self):
        # The outcome's own success flag is reset for the tear-down itself, so
        # look for this test among the failures the result already holds.
        result = self._outcome.result
        return any(test is self for test, _ in result.failures + result.errors)

    def tearDown(self):
        failed = self._failed()
        for machine in self.machines:
            if failed:
                print("artifacts kept in", machine.save_artifacts(self.id()))
            machine.close()
        shutil.rmtree(self.workdir, ignore_errors=True)
