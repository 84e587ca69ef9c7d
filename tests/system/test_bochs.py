"""The GRUB ISO boots in Bochs too, whose ATA and keyboard-controller models
are stricter than QEMU's, and formats a blank disk there."""

import os
import re
import shutil
import subprocess
import time
import unittest

from tessary_qemu import RESULTS, SystemTest, blank_disk, package_iso, read_text, tessfs

MILESTONE = "Boot screen done"


class Bochs:
    """Bochs without a window, COM1 written to a file.

    Debian's Bochs has no display-less library: the rfb display with
    timeout=0 starts at once without waiting for a viewer. Its server takes
    the first free TCP port from 5900 to 5949, so runs side by side do not
    collide; with none free, Bochs panics and the failure shows its log."""

    def __init__(self, directory, iso, disk):
        self.disk = disk
        self.log_path = os.path.join(directory, "kernel.log")
        self.bochs_log = os.path.join(directory, "bochs.log")
        self.output_path = os.path.join(directory, "bochs.out")
        config = os.path.join(directory, "bochsrc")
        with open(config, "w") as f:
            # sync=none runs as fast as the host can; sound=dummy because the
            # default ALSA driver crashes Bochs on a machine without a sound
            # card; the speaker is off because the kernel never sounds it, and
            # Bochs's model of it fills the log with complaints about the
            # timer channel the kernel keeps counting.
            f.write(f"""log: {self.bochs_log}
panic: action=fatal
megs: 128
romimage: file=/usr/share/bochs/BIOS-bochs-latest
vgaromimage: file=/usr/share/vgabios/vgabios.bin
display_library: rfb, options="timeout=0"
clock: sync=none
sound: driver=dummy
speaker: enabled=0
ata0-master: type=disk, path={disk}, mode=flat
ata1-master: type=cdrom, path={iso}, status=inserted
boot: cdrom
com1: enabled=1, mode=file, dev={self.log_path}
""")
        # The built-in debugger stops before the first instruction: continue.
        commands = os.path.join(directory, "debugger")
        with open(commands, "w") as f:
            f.write("c\n")
        self.output = open(self.output_path, "wb")
        self.process = subprocess.Popen(["bochs", "-q", "-f", config, "-rc", commands], stdin=subprocess.DEVNULL,
                                        stdout=self.output, stderr=subprocess.STDOUT)

    def kernel_log(self):
        return read_text(self.log_path)

    def report(self):
        """The kernel log and Bochs's own errors and panics."""
        try:
            with open(self.bochs_log, errors="replace") as f:
                errors = [line.rstrip() for line in f if re.match(r"\d+[ep]\[", line)]
        except FileNotFoundError:
            errors = ["(no Bochs log)"]
        return "--- kernel log ---\n" + self.kernel_log() + "--- Bochs errors ---\n" + "\n".join(errors[-20:])

    def wait_for_log(self, text, timeout):
        deadline = time.time() + timeout
        while text not in self.kernel_log():
            if self.process.poll() is not None:
                raise AssertionError(f"Bochs ended with status {self.process.returncode} before the kernel logged "
                                     f"{text!r}\n{self.report()}")
            if time.time() > deadline:
                raise AssertionError(f"timed out after {timeout}s waiting for {text!r} in the kernel log\n"
                                     f"{self.report()}")
            time.sleep(0.1)

    def save_artifacts(self, name):
        target = os.path.join(RESULTS, name)
        os.makedirs(target, exist_ok=True)
        for path in (self.log_path, self.bochs_log, self.output_path, self.disk):
            if os.path.exists(path):
                shutil.copy(path, target)
        return target

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.output.close()


class BochsBoot(SystemTest):
    def test_iso_formats_a_blank_disk_in_bochs(self):
        disk = blank_disk(self.workdir, 16)
        bochs = Bochs(self.workdir, package_iso(self.workdir), disk)
        self.machines.append(bochs)
        bochs.wait_for_log(MILESTONE, 90)
        # Bochs writes a flat image straight through: stopping it loses nothing.
        bochs.close()
        check = tessfs("fsck", disk, check=False)
        self.assertEqual(check.returncode, 0, check.stdout.decode() + check.stderr.decode())

        def names(path):
            return sorted(line.split()[-1] for line in tessfs("ls", disk, path).stdout.decode().splitlines())

        self.assertEqual(names("/"), ["documents", "home"])
        self.assertEqual(names("/home"), ["root"])


if __name__ == "__main__":
    unittest.main()
