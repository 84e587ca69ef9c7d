"""The GRUB-bootable ISO boots to the same boot screen."""

import os
import unittest

from tessary_qemu import QUESTION, SystemTest, package_iso


class Iso(SystemTest):
    def test_iso_boots_to_the_question(self):
        iso = package_iso(self.workdir)
        self.assertTrue(os.path.getsize(iso) > 0)
        machine = self.boot(kernel=None, extra_args=["-cdrom", iso])
        machine.wait_for_text(QUESTION, 90)
        self.assertEqual(machine.screen()[8], "Memory: 129 MB OK")


if __name__ == "__main__":
    unittest.main()
