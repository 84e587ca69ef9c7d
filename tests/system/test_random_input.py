"""Random input: keys typed into the shell and into whatever command they
start, and mouse packets and clicks on the desktop. Afterwards the machine
must still answer: no panic screen, no hang, no restart; and the disk the
file commands and programs worked on must check clean.

The seed is printed and TESSARY_RANDOM_SEED sets it, so a failure can be
replayed (the machine's timing decides which keys meet a busy machine, so a
replay is close, not exact). TESSARY_RANDOM_KEYS sets the number of keys
(2,000 by default; `./tessary bench` types 10,000), TESSARY_RANDOM_PACKETS
the number of mouse packets (5,000)."""

import collections
import glob
import os
import random
import time
import unittest

from picture import BLUE, bars_drawn, close, pointer_at, wait_for_desktop
from shell_session import formatted_disk
from tessary_qemu import BUILD, QUESTION, SystemTest, key_for, tessfs

SEED = int(os.environ.get("TESSARY_RANDOM_SEED", "20240611"))
KEYS = int(os.environ.get("TESSARY_RANDOM_KEYS", "2000"))
PACKETS = int(os.environ.get("TESSARY_RANDOM_PACKETS", "5000"))

PROMPT_START = "root ~"
PROMPT_END = " # "
SAVE_QUESTION = "Do you want to save your file ? Y/N"
PANIC_TEXT = "A problem has been detected"
# Commands that never come back to a prompt the test can read: the endless
# one, the desktops, the restart and the power-off, and hdvga, which comes
# back behind a graphics screen. The dispatcher takes the word before the
# first space in any case, so a line is emptied before Enter when it starts
# with one of them in any case (a leading space makes no command at all).
NEVER_RETURN = ("lolz", "showgui", "svga", "hdvga", "reboot", "shutdown")
# Words typed whole now and then, so that commands start and the keys after
# them go into the commands; the ones that take long come rarely.
WORDS = ["help", "debughlp", "cls", "info", "time", "mem", "ls", "mkdir", "rmdir", "cd", "chmod", "rovazav", "tessfs",
         "tsc", "textedit", "tswrite", "pci", "exe", "exexe", "exexe2", "keybrd", "snake", "matrix", "fillcon",
         "credits", "stopwatch", "bas", "cat", "cp", "mv", "rm", "df", "run", *NEVER_RETURN]
RARE_WORDS = ["about", "testprogbar"]
# Random characters seldom name a file: the file commands mostly get paths
# of the disk's files and folders, and names beside them.
PATH_WORDS = {"cat": 1, "cp": 2, "mv": 2, "rm": 1, "run": 1, "exe": 1, "tsc": 1}
PATHS = ["/programs/args.exe", "/programs/wc.exe", "/programs/write.exe", "/programs/guess.exe", "/home/root/notes.txt",
         "/home/root/new.txt", "/documents/copy.txt", "/documents", "/programs", "/home/root"]
NOTES = b"random notes\n"

ENTER_KEYS = ("ret", "kp_enter")
LETTERS = list("abcdefghijklmnopqrstuvwxyz")
DIGITS = list("0123456789")
PUNCTUATION = ["spc", "minus", "equal", "slash", "dot", "comma", "semicolon", "apostrophe", "backslash",
               "bracket_left", "bracket_right", "grave_accent"]
EDITING = ["backspace", "left", "right", "up", "down", "tab", "esc", "home", "end", "pgup", "pgdn", "insert"]
FUNCTION = [f"f{n}" for n in range(1, 13)]
# Keypad 5, -, +, * and / and the keypad arrows; never the keypad's dot,
# which is Delete: with Ctrl and Alt held it restarts the machine.
KEYPAD = ["kp_0", "kp_1", "kp_2", "kp_3", "kp_4", "kp_5", "kp_6", "kp_7", "kp_8", "kp_9", "kp_add", "kp_subtract",
          "kp_multiply", "kp_divide"]
MODIFIERS = [(), (), (), (), (), (), (), (), (), (), (), ("shift",), ("shift",), ("shift_r",), ("ctrl",), ("alt",),
             ("ctrl_r",), ("alt_r",), ("ctrl", "shift"), ("alt", "shift"), ("ctrl", "alt")]
# Longer than any line typed at the prompt: random keys bring an Enter long
# before (and a line would have to be 1,900 characters long to scroll the
# prompt away).
LONGEST_LINE = 300
# The longest a command keeps the machine from reading keys: testprogbar's
# 44 seconds, with room to spare.
HANG_SECONDS = 90


def dangerous(line):
    return line.lower().startswith(NEVER_RETURN)


class KeyMonkey:
    """Types random keys, whole command words now and then, and guards every
    Enter: it is pressed only while the machine waits for a key, and only
    after the line on the screen has been made harmless."""

    def __init__(self, machine, rng):
        self.machine = machine
        self.rng = rng
        self.stats = collections.Counter()
        self.busy_since = None
        self.last_at_prompt = 0

    # ---- what is on the screen ------------------------------------------
    def context(self):
        """('prompt', lines the typed text may be), ('question', answer),
        ('save', answer) or ('other', None): whichever of the shell's prompt
        and the two questions was written last."""
        text = "".join(self.machine.rows())
        end = len(text.rstrip())
        marks = {"prompt": text.rfind(PROMPT_START), "question": text.rfind(QUESTION),
                 "save": text.rfind(SAVE_QUESTION)}
        kind = max(marks, key=marks.get)
        if marks[kind] < 0:
            return "other", None
        if kind == "prompt":
            # The directory in the prompt is whatever `cd` was given, so the
            # typed text may follow any " # " after the prompt's start.
            candidates, position = [], text.find(PROMPT_END, marks[kind])
            while 0 <= position < end:
                candidates.append(text[position + len(PROMPT_END):end])
                position = text.find(PROMPT_END, position + 1)
            return kind, candidates or [""]
        # A question's answer starts on the row after it.
        return kind, text[(marks[kind] // 80 + 1) * 80:end]

    # ---- sending keys ---------------------------------------------------
    def throttle(self):
        """Waits until the machine reads keys again, letting a key through
        once a second while it is busy; presses Escape every three seconds
        of that (the stopwatch ends on nothing else) and fails after
        HANG_SECONDS."""
        asked = time.time()
        while not self.machine.waiting_for_key(pause=0):
            now = time.time()
            if self.busy_since is None:
                self.busy_since, self.escaped_at = now, now
            if now - self.busy_since > HANG_SECONDS:
                raise AssertionError(f"no key read for {HANG_SECONDS} s: a hang\n--- screen ---\n"
                                     f"{self.machine.text()}")
            if now - self.escaped_at > 3:
                self.machine.send_keys([("esc",)])
                self.stats["escapes while busy"] += 1
                self.escaped_at = now
            if now - asked > 1:
                return
            time.sleep(0.05)
        self.busy_since = None

    def settle(self):
        self.machine.wait_for(self.machine.waiting_for_key, HANG_SECONDS, "the machine to read keys again")

    def erase(self, length):
        """Right to the end of the line, then Backspace over all of it."""
        self.machine.send_keys([("right",)] * (length + 4) + [("backspace",)] * (length + 4))
        self.settle()

    def make_harmless(self):
        """Empties a line that would start a command that never returns,
        answers the boot question with DOS and, now and then, the save
        question with Y or N. True when Enter may be pressed."""
        for _ in range(5):
            kind, typed = self.context()
            if kind == "prompt":
                self.last_at_prompt = self.stats["keys"]
                if not any(map(dangerous, typed)):
                    return True
                self.stats["lines emptied before Enter"] += 1
                # A prompt above a command's output (keybrd writes under it)
                # makes a long "line": the Enter then goes to the command.
                self.erase(min(max(map(len, typed)), LONGEST_LINE))
            elif kind == "question":
                if typed == "DOS":
                    return True
                self.erase(len(typed))
                self.machine.type_quickly("DOS")
                self.settle()
            elif kind == "save" and typed not in ("Y", "N") and self.rng.random() < 0.5:
                self.erase(len(typed))
                self.machine.type_quickly(self.rng.choice("YN"))
                self.settle()
            else:
                return True
        return False

    def enter(self, chord):
        # A busy machine would take the Enter later, for a line nobody checked.
        if not self.machine.waiting_for_key() or not self.make_harmless():
            self.stats["Enters held back"] += 1
            return
        self.machine.send_keys([chord])
        self.stats["keys"] += 1
        self.stats["Enters"] += 1

    def press(self, chord):
        if chord[-1] in ENTER_KEYS:
            self.enter(chord)
        else:
            self.machine.send_keys([chord])
            self.stats["keys"] += 1

    # ---- what to type ---------------------------------------------------
    def random_chord(self):
        # Long away from the prompt (an editor, a game), Escape, F4 and
        # Enter lead back out.
        if self.stats["keys"] - self.last_at_prompt > 150 and self.rng.random() < 0.3:
            return (self.rng.choice(["esc", "f4", "ret"]),)
        roll = self.rng.random()
        for share, keys in ((0.07, ENTER_KEYS), (0.45, LETTERS), (0.53, DIGITS), (0.62, PUNCTUATION),
                            (0.80, EDITING), (0.90, FUNCTION), (1.0, KEYPAD)):
            if roll < share:
                break
        return (*self.rng.choice(MODIFIERS), self.rng.choice(keys))

    def word_chords(self):
        """A command word in some case, maybe after a space, maybe with an
        argument, maybe with Enter."""
        word = self.rng.choice(RARE_WORDS if self.rng.random() < 0.01 else WORDS)
        word = self.rng.choice([word, word, word.upper(), word.capitalize()])
        if self.rng.random() < 0.1:
            word = " " + word
        paths = PATH_WORDS.get(word.strip().lower(), 0)
        if paths and self.rng.random() < 0.7:
            word += "".join(" " + self.rng.choice(PATHS) for _ in range(paths)) + self.rng.choice(["", "", " one two"])
        elif self.rng.random() < 0.5:
            word += " " + "".join(self.rng.choice("abc/.-123 ") for _ in range(self.rng.randint(1, 8)))
        chords = [("shift", q) if shift else (q,) for q, shift in map(key_for, word)]
        return chords + ([("ret",)] if self.rng.random() < 0.7 else [])

    def run(self, count):
        line_start = True
        while self.stats["keys"] < count:
            # A word starts a command only at the start of a line.
            chords = self.word_chords() if line_start and self.rng.random() < 0.4 else [self.random_chord()]
            for chord in chords:
                self.throttle()
                self.press(chord)
            line_start = chords[-1][-1] in ENTER_KEYS

    def back_to_prompt(self, attempts=300):
        """Leads back to an empty prompt line with the keys that leave the
        editors, games and questions."""
        for _ in range(attempts):
            self.throttle()
            if self.machine.waiting_for_key():
                kind, typed = self.context()
                if kind == "prompt" and typed[-1] == "":
                    return
                if kind == "prompt" and len(typed[-1]) < LONGEST_LINE:
                    self.erase(len(typed[-1]))
                    continue
            self.press((self.rng.choice(["esc", "f4", "ret"]),))
        raise AssertionError(f"no way back to the prompt\n--- screen ---\n{self.machine.text()}")


class RandomInput(SystemTest):
    def assert_no_panic(self, machine):
        self.assertNotIn("PANIC", machine.kernel_log())
        events = machine.event_names()
        self.assertNotIn("RESET", events)
        self.assertNotIn("SHUTDOWN", events)

    def disk(self):
        disk = formatted_disk(self.workdir, "/home", "/home/root", "/documents", "/programs")
        for program in glob.glob(os.path.join(BUILD, "programs", "*.exe")):
            tessfs("put", disk, program, "/programs/" + os.path.basename(program))
        notes = os.path.join(self.workdir, "notes.txt")
        with open(notes, "wb") as f:
            f.write(NOTES)
        tessfs("put", disk, notes, "/home/root/notes.txt")
        return disk

    def test_random_keys_leave_the_shell_answering(self):
        print(f"\nrandom keys: seed {SEED} (TESSARY_RANDOM_SEED replays it)")
        disk = self.disk()
        machine = self.boot(disk=disk)
        machine.boot_to_prompt()
        monkey = KeyMonkey(machine, random.Random(SEED))
        started = time.time()
        monkey.run(KEYS)
        monkey.back_to_prompt()
        seconds = time.time() - started
        self.assertIsNone(machine.find(PANIC_TEXT), machine.text())
        self.assert_no_panic(machine)

        # The machine answers `time` at a prompt.
        machine.type_quickly("time")
        monkey.settle()
        monkey.enter(("ret",))

        def answered():
            screen = [row for row in machine.screen() if row]
            return (len(screen) >= 3 and screen[-3].startswith("24-hours time: ")
                    and screen[-2].startswith("12-hours time: ") and PROMPT_START in screen[-1])

        machine.wait_for(answered, 10, "the time and a prompt")
        machine.close()
        self.machines.remove(machine)
        checked = tessfs("fsck", disk, check=False)
        self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)
        stats = monkey.stats
        print(f"random keys: {stats['keys']} keys typed in {seconds:.0f} s ({stats['Enters']} Enters, "
              f"{stats['lines emptied before Enter']} lines emptied before Enter, {stats['Enters held back']} Enters "
              f"held back while busy, {stats['escapes while busy']} Escapes while busy); hangs 0, panics 0")

    def test_random_mouse_packets_leave_the_desktop_drawn_and_the_pointer_moving(self):
        print(f"\nrandom mouse: seed {SEED} (TESSARY_RANDOM_SEED replays it)")
        rng = random.Random(SEED)
        machine = self.boot()
        machine.boot_to_question()
        machine.type_line("GUI")
        wait_for_desktop(machine, "random-blue", lambda p: p.width == 640 and close(p.at(160, 100), BLUE))
        pointer = Pointer(machine)
        pointer.move(150, 100)
        wait_for_desktop(machine, "random-desktop", lambda p: pointer_at(p, 150, 100))

        started = time.time()
        for number in range(PACKETS):
            pointer.random_packet(rng)
            if number % 500 == 0:
                self.assert_no_panic(machine)
        pointer.release_all()
        seconds = time.time() - started
        self.assert_no_panic(machine)

        # The desktop is drawn and the pointer follows the mouse.
        pointer.move(-320, -200)
        pointer.move(160, 100)
        p = wait_for_desktop(machine, "random-after", lambda p: pointer_at(p, 160, 100))
        self.assertTrue(bars_drawn(p))
        pointer.move(20, 30)
        p = wait_for_desktop(machine, "random-moved", lambda p: pointer_at(p, 180, 130))
        self.assertFalse(pointer_at(p, 160, 100))
        self.assert_no_panic(machine)
        print(f"random mouse: {PACKETS} packets, {pointer.clicks} left clicks in {seconds:.0f} s; "
              f"hangs 0, panics 0")


class Pointer:
    """Sends mouse events one at a time and follows the pointer the kernel
    keeps. Every event makes QEMU send at least one three-byte packet, and
    the next event is sent once the machine has taken all their bytes
    (the mouse driver's event count) and its pointer and buttons show the
    result: nothing piles up in QEMU, where a full queue would hold a packet
    back until some later event, and the model stays exact. The left button,
    which clicks again with every packet while held, goes down only away
    from the DOS button (x 1-21, y 2-8, top left) and, held, the pointer only
    moves right and down: from x > 21 or y > 8 it cannot reach the button
    that way."""

    FIELDS = tuple(f"(anonymous namespace)::g_mouse_{name}" for name in ("x", "y", "buttons", "events"))
    BUTTONS = {"left": 1, "right": 2, "middle": 4}
    # QEMU splits a move into packets of at most 127 and queues five.
    LONGEST_MOVE = 5 * 127

    def __init__(self, machine):
        self.machine = machine
        self.x, self.y, self.buttons, self.bytes = machine.read_i32s(*self.FIELDS)
        self.previous = (self.x, self.y)
        self.clicks = 0

    def safe(self, x, y):
        return x > 21 or y > 8

    def send(self, events, packets=1):
        self.machine.command("input-send-event", events=events)
        self.bytes += 3 * packets

        def taken():
            x, y, buttons, count = self.machine.read_i32s(*self.FIELDS)
            return (x, y, buttons) == (self.x, self.y, self.buttons) and count >= self.bytes

        self.machine.wait_for(taken, 10, f"the pointer at {(self.x, self.y)}, buttons {self.buttons}", 0.002)

    def move(self, dx, dy):
        assert max(abs(dx), abs(dy)) <= self.LONGEST_MOVE
        self.previous = (self.x, self.y)
        self.x = min(max(self.x + dx, 0), 319)
        self.y = min(max(self.y + dy, 0), 199)
        self.send([{"type": "rel", "data": {"axis": "x", "value": dx}},
                   {"type": "rel", "data": {"axis": "y", "value": dy}}], max(1, -(-max(abs(dx), abs(dy)) // 127)))

    def button(self, name, down):
        bit = self.BUTTONS[name]
        self.buttons = self.buttons | bit if down else self.buttons & ~bit
        self.send([{"type": "btn", "data": {"down": down, "button": name}}])

    def random_packet(self, rng):
        roll = rng.random()
        held = self.buttons & 1
        if roll < 0.75:
            reach = 400 if rng.random() < 0.05 else 40
            dx, dy = rng.randint(-reach, reach), rng.randint(-reach, reach)
            self.move(abs(dx) if held else dx, abs(dy) if held else dy)
        elif roll < 0.85:
            name = rng.choice(["right", "middle"])
            self.button(name, not self.buttons & self.BUTTONS[name])
        elif roll < 0.95:
            if held:
                self.button("left", False)
            elif self.safe(self.x, self.y) and self.safe(*self.previous):
                self.button("left", True)
                self.clicks += 1
        else:
            # Three-byte packets carry no wheel: one packet, nothing moves.
            wheel = rng.choice(["wheel-up", "wheel-down"])
            self.send([{"type": "btn", "data": {"down": down, "button": wheel}} for down in (True, False)])

    def release_all(self):
        for name, bit in self.BUTTONS.items():
            if self.buttons & bit:
                self.button(name, False)


if __name__ == "__main__":
    unittest.main()
