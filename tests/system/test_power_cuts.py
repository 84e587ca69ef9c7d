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

/home/root starts a few bytes short of filling its node, and the series'
mkdir and rmdir commands drive it across the edge and back: a mkdir while it
is one node, an rmdir once it has grown into a tree of nodes, until it
returns to one node. The first cut always lands inside the writes that grow
it, after the first new leaf and before the node that indexes the leaves.

The series runs on the pc board's IDE disk and again on the q35 board,
where the disk sits behind the ICH9's AHCI controller and the writes are
DMA commands of up to 128 sectors.

TESSARY_POWER_CUTS sets the number of cuts on each board (10, as the test
suite runs it; `./tessary torture [CUTS]` runs a long series);
TESSARY_POWER_SEED replays a series.
"""

import collections
import filecmp
import hashlib
import os
import random
import shutil
import signal
import struct
import sys
import time
import unittest

from shell_session import last_line, wait_for_output, wait_for_prompt
from tessary_qemu import BUILD, PROMPT, SystemTest, blank_disk, tessfs

CUTS = int(os.environ.get("TESSARY_POWER_CUTS", "10"))
SEED = int(os.environ.get("TESSARY_POWER_SEED", str(random.randrange(1 << 31))))
EXAMPLE = os.path.join(BUILD, "generated", "example.exe")

HOME = "/home/root"
DOCUMENTS = "/documents"
SMALL = DOCUMENTS + "/small.txt"
BIG = DOCUMENTS + "/big.txt"
# A directory node: 1,024 bytes, the first four the record count.
SECTOR = 512
NODE_BYTES = 1024
NODE_ROOM = NODE_BYTES - 4
# A record takes 19 bytes besides its name, time stamp and owner; the
# shell's mkdir gives no owner. A time stamp has 12 characters (" 1/1/26
# 1:00", from a clock without a day of the week) to 18 ("Wed 12/31/26 12:59").
RECORD_BYTES = 19
SHORTEST_STAMP = 12
LONGEST_STAMP = 18
# The directories in /home/root have names this long, so that a few of them
# fill or free the difference between a full node and one that its
# neighbour takes back; the line that names one still fits a screen row.
NAME_LENGTH = 39
# Less room than this is left in the node of /home/root as prepared: a name
# of NAME_LENGTH characters or fewer is long enough to grow it.
EDGE = RECORD_BYTES + NAME_LENGTH + SHORTEST_STAMP

WRITES_PER_SECOND = 10
# A command that has not written for this long has finished.
IDLE = 1.5
# Disk writes each kind of command makes, as QEMU counts them (one per
# command of up to 16 sectors on IDE, 128 on AHCI); a cut aims after 0 up to
# this many of them. exexe makes its directory only the first time.
WRITES = {"mkdir": 4, "mkdir that grows": 8, "rmdir": 3, "exexe": 5, "exexe and its directory": 8, "textedit": 3,
          "tswrite": 4, "cp": 3, "rm": 1}
KINDS = ["mkdir", "tswrite", "exexe", "rmdir", "textedit", "cp", "rm"]
# Copies the series makes and deletes in /documents, at most: a deleted
# copy's blocks are what the next write takes.
COPIES = 3
SAVE_QUESTION = "Do you want to save your file ? Y/N"
NAME_QUESTION = "Please type the name :"


class Tree:
    """What the disk must read as: the entries of /home/root and /documents
    in listing order (a directory's name ends in "/"), every file's bytes,
    and which of the two directories have grown past their node, as the
    disk read last showed them."""

    def __init__(self, listing, files, grown=frozenset()):
        self.listing = listing
        self.files = files
        self.grown = grown

    def __eq__(self, other):
        # A directory of one node lists its records in the order they were
        # saved; a grown one in the order of its index, by name hash.
        def same(directory):
            if directory in self.grown | other.grown:
                return collections.Counter(self.listing[directory]) == collections.Counter(other.listing[directory])
            return self.listing[directory] == other.listing[directory]

        return (self.listing.keys() == other.listing.keys() and all(map(same, self.listing))
                and self.files == other.files)

    def __repr__(self):
        files = {path: (len(data), hashlib.sha1(data).hexdigest()[:8]) for path, data in self.files.items()}
        return f"Tree({self.listing}, {files}, grown {sorted(self.grown)})"

    def changed(self, directory, entries, files=None):
        return Tree({**self.listing, directory: tuple(entries)}, self.files if files is None else files, self.grown)

    def with_directory(self, directory, name):
        return self.changed(directory, self.listing[directory] + (name + "/",))

    def without(self, directory, name):
        return self.changed(directory, (entry for entry in self.listing[directory] if entry != name + "/"))

    def without_file(self, path):
        directory, name = path.rsplit("/", 1)
        return self.changed(directory, (entry for entry in self.listing[directory] if entry != name),
                            {key: data for key, data in self.files.items() if key != path})

    def with_file(self, path, data):
        """A save: the record moves to the end of its directory."""
        directory, name = path.rsplit("/", 1)
        entries = tuple(entry for entry in self.listing[directory] if entry != name) + (name,)
        return self.changed(directory, entries, {**self.files, path: data})


Record = collections.namedtuple("Record", "name type address stamp")


def decode_node(data):
    """The records of a directory node and the bytes they take."""
    at = 4

    def string():
        nonlocal at
        length = data[at]
        at += 1 + length
        return data[at - length:at].decode("latin-1")

    records = []
    for _ in range(struct.unpack_from("<i", data)[0]):
        name = string()
        address, _, kind = struct.unpack_from("<iiB", data, at)
        at += 12  # address, size, type and the three permission bytes
        stamp = string()
        string()  # owner
        at += 4  # checksum
        records.append(Record(name, kind, address, stamp))
    return records, at - 4


def directory_node(disk, path):
    """The records of a directory's own node and the bytes they take, read
    from the image by the disk format (the directories on the way are single
    nodes here)."""
    with open(disk, "rb") as image:
        image.seek(0x1BE + 8)
        start = struct.unpack("<I", image.read(4))[0]

        def node(block):
            image.seek((start + block) * SECTOR)
            return decode_node(image.read(NODE_BYTES))

        records, used = node(2)
        for name in path.strip("/").split("/"):
            records, used = node(next(r.address for r in records if r.name == name and r.type == 2))
    return records, used


def is_index(record):
    return record.type == 2 and record.name.startswith("/")


def read_tree(disk):
    """The Tree the disk holds, or the reason it cannot be read."""
    listing, files, grown = {}, {}, set()
    for directory in (HOME, DOCUMENTS):
        if any(map(is_index, directory_node(disk, directory)[0])):
            grown.add(directory)
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
    return Tree(listing, files, frozenset(grown))


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
        # Finished, it leaves /home/root grown into a tree.
        self.grows = kind == "mkdir that grows"


def shell_command(kind, machine, line, outcomes):
    wait_for_prompt(machine)
    machine.type_quickly(line)
    # Every key is taken before the Enter that starts the cut's count.
    machine.wait_for(lambda: last_line(machine.screen())[1] == PROMPT + line, 10, repr(line))
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
    """The series on the pc board (IDE)."""

    board = "pc"

    def boot(self, disk=None, **kwargs):
        return super().boot(disk=disk, board=self.board, **kwargs)

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
        # Names that surely fit (the host adds the owner "root"), until the
        # node is at its edge.
        room = NODE_ROOM - directory_node(disk, HOME)[1]
        while room >= EDGE:
            self.made += 1
            length = min(NAME_LENGTH, room - RECORD_BYTES - len("root") - LONGEST_STAMP)
            tessfs("mkdir", disk, f"{HOME}/{self.long_name(length)}")
            room = NODE_ROOM - directory_node(disk, HOME)[1]
        for path, data in ((SMALL, b"first\n"), (BIG, big_document())):
            host = os.path.join(self.workdir, "put")
            with open(host, "wb") as f:
                f.write(data)
            tessfs("put", disk, host, path)
        tree = read_tree(disk)
        self.assertIsInstance(tree, Tree, tree)
        return disk, tree

    def long_name(self, length):
        return f"d{self.made}-".ljust(length, "x")

    def made_directories(self, tree):
        return [entry[:-1] for entry in tree.listing[HOME] if entry.startswith("d") and entry.endswith("/")]

    def next_command(self, machine, disk, tree, kind):
        """Types a write command of the given kind (None: a random one) up to
        its last Enter."""
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
        if kind in ("mkdir", "rmdir"):
            return self.directory_command(machine, disk, tree)
        if kind == "exexe":
            saved = tree.with_file(HOME + "/example.exe", self.example)
            if "test1/" in saved.listing[HOME]:
                return shell_command(kind, machine, "exexe", [tree, saved])
            return shell_command("exexe and its directory", machine, "exexe",
                                 [tree, saved, saved.with_directory(HOME, "test1")])
        if kind == "textedit":
            return textedit_command(machine, tree, self.rng.randrange(1000))
        return tswrite_command(machine, tree, self.rng.choice("abcdefghijklmnopqrstuvwxyz"))

    def directory_command(self, machine, disk, tree):
        """An rmdir while /home/root is grown, until it is one node again; then
        mkdirs, until one of them grows it: a new name fits the node surely
        while it can, and once less than EDGE bytes are left, it is one
        character too long for the room even with the shortest time stamp."""
        made = self.made_directories(tree)
        if HOME in tree.grown and made:
            name = self.rng.choice(made)
            return shell_command("rmdir", machine, f"rmdir {HOME}/{name}", [tree, tree.without(HOME, name)])
        self.made += 1
        room = NODE_ROOM - directory_node(disk, HOME)[1]
        if HOME in tree.grown or room >= EDGE:
            name, kind = self.long_name(min(NAME_LENGTH, room - RECORD_BYTES - LONGEST_STAMP)), "mkdir"
        else:
            name, kind = self.long_name(room - RECORD_BYTES - SHORTEST_STAMP + 1), "mkdir that grows"
        return shell_command(kind, machine, f"mkdir {HOME}/{name}", [tree, tree.with_directory(HOME, name)])

    @staticmethod
    def disk_writes(machine):
        return machine.command("query-blockstats")[0]["stats"]["wr_operations"]

    def throttle(self, machine):
        device = machine.command("query-block")[0]["device"]
        machine.command("block_set_io_throttle", device=device, bps=0, bps_rd=0, bps_wr=0, iops=0, iops_rd=0,
                        iops_wr=WRITES_PER_SECOND)

    def cut(self, machine, command, inside):
        """Presses the command's last Enter and kills QEMU after a random number
        of its disk writes; returns how many had completed. Inside: four to
        two writes before its last, which a command of fewer writes never
        reaches."""
        most = WRITES[command.kind]
        target = self.rng.randint(most - 4, most - 2) if inside else self.rng.randint(0, most)
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

    def check(self, disk, command, finished=False):
        """The index in command.outcomes of the outcome the disk holds (when
        finished, it must be the last), or the reason there is none; and the
        tree the disk holds."""
        fsck = tessfs("fsck", disk, check=False)
        if fsck.returncode:
            return "fsck: " + fsck.stdout.decode(errors="replace") + fsck.stderr.decode(errors="replace"), None
        found = read_tree(disk)
        if not isinstance(found, Tree):
            return found, None
        last = len(command.outcomes) - 1
        for index in [last] if finished else range(last + 1):
            if found == command.outcomes[index]:
                if index == last and command.grows and HOME not in found.grown:
                    return f"{command.kind} left {HOME} in one node: {found}", None
                return index, found
        expected = command.outcomes[-1:] if finished else command.outcomes
        return f"the disk reads as {found}, expected one of {expected}", None

    def finished_tree(self, disk, command, number, bad):
        """Lets the command finish; the disk, read at the prompt, must hold its
        last outcome, and then is the tree the cut starts from."""
        command.finish()
        outcome, found = self.check(disk, command, finished=True)
        if found is not None:
            return found
        bad.append(f"boot {number}: {command.kind} finished, but {outcome}")
        return command.outcomes[-1]

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
        writes = self.cut(machine, command, number == 1)
        outcome, found = self.check(disk, command)
        if isinstance(outcome, str):
            bad.append(f"cut {number} ({command.kind} after {writes} writes): {outcome}")
            print("artifacts kept in", machine.save_artifacts(f"{self.id()}/cut-{number}"))
            shutil.copy(snapshot, disk)
            where, found = "a bad outcome", command.outcomes[0]
        elif outcome == len(command.outcomes) - 1:
            where = "after the last write"
        elif outcome == 0 and filecmp.cmp(snapshot, disk, shallow=False):
            where = "before the first write"
        else:
            where = "mid-write"
        print(f"{self.board} cut {number}/{CUTS}: {command.kind} after {writes} writes: {where}", file=sys.stderr)
        return where, found

    def test_cuts_during_writes_lose_nothing_that_returned(self):
        disk, tree = self.prepare_disk()
        snapshot = os.path.join(self.workdir, "before-cut.img")
        shutil.copy(disk, snapshot)
        landed = {"before the first write": 0, "mid-write": 0, "after the last write": 0, "a bad outcome": 0}
        bad = []
        growing_cuts = []
        resized = collections.Counter()
        before_cut = tree
        for number in range(1, CUTS + 1):
            machine, restored = self.boot_after_cut(disk, snapshot, number, bad)
            if restored:
                tree = before_cut
            self.throttle(machine)
            # Half the boots first finish a command: what it wrote must
            # survive the cut that follows. The first cut meets /home/root
            # as prepared, at the edge, and grows it.
            if number > 1 and self.rng.random() < 0.5:
                done = self.next_command(machine, disk, tree, None)
                machine.press("ret")
                found = self.finished_tree(disk, done, number, bad)
                resized[self.resizing(tree, found)] += 1
                tree = found
            # The cuts go round the kinds, so a short series meets each.
            command = self.next_command(machine, disk, tree, KINDS[(number - 1) % len(KINDS)])
            before_cut = tree
            where, tree = self.cut_and_check(machine, disk, snapshot, command, number, bad)
            landed[where] += 1
            resized[self.resizing(before_cut, tree)] += 1
            if command.grows:
                growing_cuts.append(where)
            self.close(machine)

        machine, detected = self.boot_detected(disk)
        if not detected:
            bad.append(f"cut {CUTS}: the next boot did not show 'Drive detected!'")
        summary = ", ".join(f"{count} {where}" for where, count in landed.items() if where != "a bad outcome")
        print(f"power cuts on {self.board}: {CUTS} (seed {SEED}): {summary}; bad outcomes: {len(bad)}; {HOME} grew "
              f"{resized['grew']} and shrank {resized['shrank']} times; cuts in a mkdir that grows it: "
              f"{', '.join(growing_cuts)}", file=sys.stderr)
        self.assertEqual(bad, [])
        self.assertEqual(growing_cuts[:1], ["mid-write"])

    @staticmethod
    def resizing(before, after):
        """Whether /home/root grew or shrank from one tree read from the disk to the next."""
        if (HOME in before.grown) == (HOME in after.grown):
            return "kept its shape"
        return "grew" if HOME in after.grown else "shrank"


class PowerCutsBehindAhci(PowerCuts):
    """The same series on the q35 board's AHCI disk."""

    board = "q35"

if __name__ == "__main__":
    unittest.main()
