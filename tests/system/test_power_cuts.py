"""Power cuts in the middle of write commands, many times over one disk.

Every boot may finish one write command, then starts another and kills QEMU
with SIGKILL inside it: after the Enter that starts the command, once the
disk has completed a random number of the command's writes (none up to all
of them), plus a random part of the time between two writes. While the shell
runs, disk writes are throttled to a few a second, so every gap between two
writes of a command is tens of milliseconds wide and the kill lands in the
gap it aims at; QEMU's block statistics count the writes.

After every cut `tessfs fsck` is clean; the directories and files read
exactly as the model of the disk says, where the command in flight has taken
effect or not (an overwritten file holds its old or its new content, never a
mix, never nothing); and the next boot shows "Drive detected!".

TESSARY_POWER_CUTS sets the number of cuts (10, as the test suite runs it;
`./tessary torture [CUTS]` runs a long series); TESSARY_POWER_SEED replays a
series.
"""

import filecmp
import hashlib
import os
import random
import shutil
import signal
import sys
import time
import unittest

from shell_session import wait_for_output, wait_for_prompt
from tessary_qemu import BUILD, SystemTest, blank_disk, tessfs

CUTS = int(os.environ.get("TESSARY_POWER_CUTS", "10"))
SEED = int(os.environ.get("TESSARY_POWER_SEED", str(random.randrange(1 << 31))))
EXAMPLE = os.path.join(BUILD, "generated", "example.exe")

HOME = "/home/root"
DOCUMENTS = "/documents"
SMALL = DOCUMENTS + "/small.txt"
BIG = DOCUMENTS + "/big.txt"
# Enough entries that /home/root's node reaches into its second block.
FILLERS = 12
# Directories the series makes and removes in /home/root, at most.
MADE = 4

WRITES_PER_SECOND = 10
# A command that has not written for this long has finished.
IDLE = 1.5
# Disk writes each kind of command makes, as QEMU counts them (one per block
# of up to 16 sectors); a cut aims after 0 up to this many of them. exexe
# makes its directory only the first time.
WRITES = {"mkdir": 4, "rmdir": 3, "exexe": 5, "exexe and its directory": 8, "textedit": 3, "tswrite": 4, "cp": 3,
          "rm": 1}
KINDS = ["mkdir", "tswrite", "exexe", "rmdir", "textedit", "cp", "rm"]
# Copies the series makes and deletes in /documents, at most: a deleted
# copy's blocks are what the next write takes.
COPIES = 3
SAVE_QUESTION = "Do you want to save your file ? Y/N"
NAME_QUESTION = "Please type the name :"


class Tree:
    """What the disk must read as: the entries of /home/root and /documents
    in listing order (a directory's name ends in "/") and every file's bytes."""

    def __init__(self, listing, files):
        self.listing = listing
        self.files = files

    def __eq__(self, other):
        return self.listing == other.listing and self.files == other.files

    def __repr__(self):
        files = {path: (len(data), hashlib.sha1(data).hexdigest()[:8]) for path, data in self.files.items()}
        return f"Tree({self.listing}, {files})"

    def with_directory(self, directory, name):
        listing = dict(self.listing)
        listing[directory] = listing[directory] + (name + "/",)
        return Tree(listing, self.files)

    def without(self, directory, name):
        listing = dict(self.listing)
        listing[directory] = tuple(entry for entry in listing[directory] if entry != name + "/")
        return Tree(listing, self.files)

    def without_file(self, path):
        directory, name = path.rsplit("/", 1)
        listing = dict(self.listing)
        listing[directory] = tuple(entry for entry in listing[directory] if entry != name)
        return Tree(listing, {key: data for key, data in self.files.items() if key != path})

    def with_file(self, path, data):
        """A save: the record moves to the end of its directory."""
        directory, name = path.rsplit("/", 1)
        listing = dict(self.listing)
        listing[directory] = tuple(entry for entry in listing[directory] if entry != name) + (name,)
        return Tree(listing, {**self.files, path: data})


def read_tree(disk):
    """The Tree the disk holds, or the reason it cannot be read."""
    listing, files = {}, {}
    for directory in (HOME, DOCUMENTS):
        result = tessfs("ls", disk, directory, check=False)
        if result.returncode:
            return f"ls {directory}: {result.stderr.decode(errors='replace')}"
        entries = []
        for line in result.stdout.decode("latin-1").splitlines():
            name = line.split()[-1]
            if line.startswith("<DIR>"):
                entries.append(name + "/")
                continue
            entries.append(name)
            content = tessfs("cat", disk, f"{directory}/{name}", check=False)
            if content.returncode:
                return f"cat {directory}/{name}: {content.stderr.decode(errors='replace')}"
            files[f"{directory}/{name}"] = content.stdout
        listing[directory] = tuple(entries)
    return Tree(listing, files)


def big_document():
    return "".join(f"line {n:03} ".ljust(69, "-") + "\n" for n in range(150)).encode()


class Command:
    """A write command typed up to its last Enter: the trees the disk may read
    as from the moment that Enter is pressed (before it first, finished last),
    and how to wait for it to return to the prompt."""

    def __init__(self, kind, outcomes, finish):
        self.kind = kind
        self.outcomes = outcomes
        self.finish = finish


def shell_command(kind, machine, line, outcomes):
    wait_for_prompt(machine)
    machine.type(line)
    return Command(kind, outcomes, lambda: wait_for_output(machine, line))


def leave_editor(machine):
    """F4 and no second save: back at the prompt."""
    machine.press("f4")
    machine.wait_for_text(SAVE_QUESTION)
    machine.type_line("N")
    wait_for_prompt(machine, 60)


def textedit_command(machine, tree, number):
    text = f"note {number}"
    wait_for_prompt(machine)
    machine.type_line("textedit")
    machine.wait_for_text("Press ENTER to start.")
    machine.press("ret")
    machine.wait_for_text("TESSTEXT")
    machine.type_line(text)
    machine.press("f2")
    machine.wait_for_text(NAME_QUESTION)
    machine.type("small")

    def finish():
        # The next line is read (empty), then F4 asks, so the save is done.
        machine.press("ret")
        leave_editor(machine)

    return Command("textedit", [tree, tree.with_file(SMALL, (text + "\n").encode())], finish)


def tswrite_command(machine, tree, letter):
    old = tree.files[BIG]
    first_line = old.split(b"\n", 1)[0].decode("latin-1")
    wait_for_prompt(machine)
    machine.type_line("tswrite")
    machine.wait_for_text("TSWRITE")
    machine.press("f1")
    machine.wait_for_text(NAME_QUESTION)
    machine.type_line("big")
    machine.wait_for(lambda: machine.screen()[3] == first_line[:80].rstrip(), 10, "the document")
    machine.type(letter)
    machine.wait_for(lambda: machine.screen()[3] == (letter + first_line)[:80].rstrip(), 10, "the typed letter")
    machine.press("f2")
    machine.wait_for_text(NAME_QUESTION)
    machine.type("big")

    def finish():
        machine.wait_for(lambda: machine.find(NAME_QUESTION) is None, 10, "the redraw after the save")
        leave_editor(machine)

    return Command("tswrite", [tree, tree.with_file(BIG, letter.encode() + old)], finish)


class PowerCuts(SystemTest):
    def setUp(self):
        super().setUp()
        self.rng = random.Random(SEED)
        self.made = 0
        with open(EXAMPLE, "rb") as f:
            self.example = f.read()

    def prepare_disk(self):
        disk = blank_disk(self.workdir, 8)
        tessfs("format", disk)
        for directory in ("/home", HOME, DOCUMENTS):
            tessfs("mkdir", disk, directory)
        for n in range(FILLERS):
            tessfs("mkdir", disk, f"{HOME}/keep{n:02}")
        for path, data in ((SMALL, b"first\n"), (BIG, big_document())):
            host = os.path.join(self.workdir, "put")
            with open(host, "wb") as f:
                f.write(data)
            tessfs("put", disk, host, path)
        tree = read_tree(disk)
        self.assertIsInstance(tree, Tree, tree)
        return disk, tree

    def made_directories(self, tree):
        return [entry[:-1] for entry in tree.listing[HOME] if entry.startswith("d") and entry.endswith("/")]

    def next_command(self, machine, tree, kind):
        """Types a write command of the given kind (None: a random one) up to
        its last Enter."""
        made = self.made_directories(tree)
        copies = [entry for entry in tree.listing[DOCUMENTS] if entry.startswith("copy")]
        if kind is None:
            kind = self.rng.choice(KINDS)
        if kind == "rm" and not copies:
            kind = "cp"
        if kind == "cp" and len(copies) >= COPIES:
            kind = "rm"
        if kind == "cp":
            self.made += 1
            source = self.rng.choice([SMALL, BIG])
            target = f"{DOCUMENTS}/copy{self.made}.txt"
            return shell_command(kind, machine, f"cp {source} {target}",
                                 [tree, tree.with_file(target, tree.files[source])])
        if kind == "rm":
            path = f"{DOCUMENTS}/{self.rng.choice(copies)}"
            return shell_command(kind, machine, f"rm {path}", [tree, tree.without_file(path)])
        if kind == "rmdir" and not made:
            kind = "mkdir"
        if kind == "mkdir" and len(made) >= MADE:
            kind = "rmdir"
        if kind == "mkdir":
            self.made += 1
            name = f"d{self.made}"
            return shell_command(kind, machine, f"mkdir {HOME}/{name}", [tree, tree.with_directory(HOME, name)])
        if kind == "rmdir":
            name = self.rng.choice(made)
            return shell_command(kind, machine, f"rmdir {HOME}/{name}", [tree, tree.without(HOME, name)])
        if kind == "exexe":
            saved = tree.with_file(HOME + "/example.exe", self.example)
            if "test1/" in saved.listing[HOME]:
                return shell_command(kind, machine, "exexe", [tree, saved])
            return shell_command("exexe and its directory", machine, "exexe",
                                 [tree, saved, saved.with_directory(HOME, "test1")])
        if kind == "textedit":
            return textedit_command(machine, tree, self.rng.randrange(1000))
        return tswrite_command(machine, tree, self.rng.choice("abcdefghijklmnopqrstuvwxyz"))

    @staticmethod
    def disk_writes(machine):
        return machine.command("query-blockstats")[0]["stats"]["wr_operations"]

    def throttle(self, machine):
        device = machine.command("query-block")[0]["device"]
        machine.command("block_set_io_throttle", device=device, bps=0, bps_rd=0, bps_wr=0, iops=0, iops_rd=0,
                        iops_wr=WRITES_PER_SECOND)

    def cut(self, machine, command):
        """Presses the command's last Enter and kills QEMU after a random number
        of its disk writes; returns how many had completed."""
        target = self.rng.randint(0, WRITES[command.kind])
        start = self.disk_writes(machine)
        machine.command("send-key", keys=[{"type": "qcode", "data": "ret"}])
        count, changed = start, time.monotonic()
        while count - start < target and time.monotonic() - changed < IDLE:
            time.sleep(0.002)
            now = self.disk_writes(machine)
            if now != count:
                count, changed = now, time.monotonic()
        time.sleep(self.rng.uniform(0, 1 / WRITES_PER_SECOND))
        machine.process.send_signal(signal.SIGKILL)
        machine.process.wait()
        return count - start

    def check(self, disk, command):
        """The outcome index in command.outcomes, or the reason there is none."""
        fsck = tessfs("fsck", disk, check=False)
        if fsck.returncode:
            return "fsck: " + fsck.stdout.decode(errors="replace") + fsck.stderr.decode(errors="replace")
        found = read_tree(disk)
        if not isinstance(found, Tree):
            return found
        for index, outcome in enumerate(command.outcomes):
            if found == outcome:
                return index
        return f"the disk reads as {found}, expected one of {command.outcomes}"

    def boot_detected(self, disk):
        machine = self.boot(disk=disk)
        machine.boot_to_question()
        return machine, machine.find("Drive detected!") is not None

    def close(self, machine):
        machine.close()
        self.machines.remove(machine)

    def boot_after_cut(self, disk, snapshot, number, bad):
        """Boots to the prompt; returns the machine and whether the disk was
        put back as it was before the last cut: a boot without "Drive
        detected!" is a bad outcome of that cut."""
        machine, detected = self.boot_detected(disk)
        if not detected:
            bad.append(f"cut {number - 1}: the next boot did not show 'Drive detected!'")
            print("artifacts kept in", machine.save_artifacts(f"{self.id()}/boot-{number}"))
            self.close(machine)
            shutil.copy(snapshot, disk)
            machine, _ = self.boot_detected(disk)
        machine.type_line("DOS")
        wait_for_prompt(machine, 60)
        return machine, not detected

    def cut_and_check(self, machine, disk, snapshot, command, number, bad):
        """Cuts the power inside the command and checks the disk; returns where
        the cut landed and the tree the disk now holds (after a bad outcome,
        the disk is put back as it was before the cut)."""
        shutil.copy(disk, snapshot)
        writes = self.cut(machine, command)
        outcome = self.check(disk, command)
        if isinstance(outcome, str):
            bad.append(f"cut {number} ({command.kind} after {writes} writes): {outcome}")
            print("artifacts kept in", machine.save_artifacts(f"{self.id()}/cut-{number}"))
            shutil.copy(snapshot, disk)
            where, tree = "a bad outcome", command.outcomes[0]
        elif outcome == len(command.outcomes) - 1:
            where, tree = "after the last write", command.outcomes[outcome]
        elif outcome == 0 and filecmp.cmp(snapshot, disk, shallow=False):
            where, tree = "before the first write", command.outcomes[0]
        else:
            where, tree = "mid-write", command.outcomes[outcome]
        print(f"cut {number}/{CUTS}: {command.kind} after {writes} writes: {where}", file=sys.stderr)
        return where, tree

    def test_cuts_during_writes_lose_nothing_that_returned(self):
        disk, tree = self.prepare_disk()
        snapshot = os.path.join(self.workdir, "before-cut.img")
        shutil.copy(disk, snapshot)
        landed = {"before the first write": 0, "mid-write": 0, "after the last write": 0, "a bad outcome": 0}
        bad = []
        before_cut = tree
        for number in range(1, CUTS + 1):
            machine, restored = self.boot_after_cut(disk, snapshot, number, bad)
            if restored:
                tree = before_cut
            self.throttle(machine)
            # Half the boots first finish a command: what it wrote must
            # survive the cut that follows.
            if self.rng.random() < 0.5:
                done = self.next_command(machine, tree, None)
                machine.press("ret")
                done.finish()
                tree = done.outcomes[-1]
            # The cuts go round the kinds, so a short series meets each.
            command = self.next_command(machine, tree, KINDS[(number - 1) % len(KINDS)])
            before_cut = tree
            where, tree = self.cut_and_check(machine, disk, snapshot, command, number, bad)
            landed[where] += 1
            self.close(machine)

        machine, detected = self.boot_detected(disk)
        if not detected:
            bad.append(f"cut {CUTS}: the next boot did not show 'Drive detected!'")
        summary = ", ".join(f"{count} {where}" for where, count in landed.items() if where != "a bad outcome")
        print(f"power cuts: {CUTS} (seed {SEED}): {summary}; bad outcomes: {len(bad)}", file=sys.stderr)
        self.assertEqual(bad, [])

if __name__ == "__main__":
    unittest.main()
