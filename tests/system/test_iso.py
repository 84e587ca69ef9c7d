"""The GRUB-bootable ISO boots to the same boot screen."""

import os
import subprocess
import unittest

from tessary_qemu import QUESTION, ROOT, SystemTest


class Iso(SystemTest):
    def test_iso_boots_to_the_question(self):
        build = os.path.join(self.workdir, "build")
        os.makedirs(build)
        # Package the already built image the way ./tessary iso does.
        env = dict(os.environ, TESSARY_BUILD=build)
        os.symlink(os.path.join(os.environ.get("TESSARY_BUILD", os.path.join(ROOT, "build")), "tessary.elf"),
                   os.path.join(build, "tessary.elf"))
        subprocess.run([os.path.join(ROOT, "tessary"), "iso", "--packaged-only"], env=env, check=True,
                       capture_output=True)
        iso = os.path.join(build, "tessary.iso")
        self.assertTrue(os.path.getsize(iso) > 0)
        machine = self.boot(kernel=None, extra_args=["-cdrom", iso])
        machine.wait_for_text(QUESTION, 90)
        self.assertEqual(machine.screen()[8], "Memory: 129 MB OK")


if __name__ == "__main__":
    unittest.main()
