"""The network card and stack in QEMU, on links that never leave 127.0.0.1.

Against a peer in this process (net_peer.py): DHCP gives the machine the
peer's offer, the peer's pings of several sizes come back, `ping` of the
peer gets four replies, a datagram for a closed port is counted as dropped,
a flood of malformed frames leaves the prompt, the heap and the stack as they
were, and udpecho answers the peer. Every frame the machine sends on the way
is checked by the peer. Then two Tessary machines joined to each other:
`ping` from one to the other, and udpsend against udpecho.

TESSARY_FLOOD_FRAMES sets the flood's size (100,000 by default, which QEMU
takes in within a few seconds) and TESSARY_FLOOD_SECONDS the most the peer
spends sending it (20 by default).
"""

import os
import re
import sys
import threading
import time
import unittest

from net_peer import Peer, free_udp_port, link_args, malformed_frames, queued_bytes
from shell_session import formatted_disk, run, wait_for_prompt
from tessary_qemu import BUILD, SystemTest, tessfs

PEER = "192.0.2.2"
PEER_MAC = "02:00:00:00:00:02"
GATEWAY = "192.0.2.1"
OFFERED = "192.0.2.15"
CARD_MAC = "52:54:00:00:00:01"
FLOOD_FRAMES = int(os.environ.get("TESSARY_FLOOD_FRAMES", "100000"))
FLOOD_SECONDS = float(os.environ.get("TESSARY_FLOOD_SECONDS", "20"))
WARM_UP_FRAMES = 30000
UDP_PROGRAMS = ("udpecho.exe", "udpsend.exe")

FRAMES = re.compile(r"Frames: (\d+) received, (\d+) sent, (\d+) dropped$")
HEAP = re.compile(r"Heap: (\d+) bytes in use, (\d+) free, largest free block (\d+)$")
REPLY = re.compile(r"Reply from ([\d.]+): seq=(\d) time=(\d+) ms$")
SUMMARY = re.compile(r"4 sent, 4 received, 0% lost, average (\d+) ms$")


def disk_with_udp_programs(workdir):
    """A formatted disk with the UDP programs in /programs."""
    disk = formatted_disk(workdir, "/home", "/home/root", "/documents", "/programs")
    for name in UDP_PROGRAMS:
        tessfs("put", disk, os.path.join(BUILD, "programs", name), "/programs/" + name)
    return disk


def counters(machine):
    """(received, sent, dropped) from `net`."""
    lines = run(machine, "net")
    match = FRAMES.match(lines[-1]) if lines else None
    assert match, f"no frame counters in {lines}"
    return tuple(int(group) for group in match.groups())


def heap_in_use(machine):
    lines = run(machine, "mem")
    match = HEAP.match(lines[0]) if len(lines) == 1 else None
    assert match, f"no heap line in {lines}"
    return int(match.group(1))


class NetworkTest(SystemTest):
    def check_four_replies(self, lines, address):
        """`ping` output: four replies in order and the summary; their times."""
        self.assertEqual(len(lines), 5, lines)
        times = []
        for sequence, line in enumerate(lines[:4], 1):
            match = REPLY.match(line)
            self.assertTrue(match, line)
            self.assertEqual((match.group(1), int(match.group(2))), (address, sequence))
            times.append(int(match.group(3)))
        self.assertRegex(lines[4], SUMMARY)
        self.assertEqual(int(SUMMARY.match(lines[4]).group(1)), sum(times) // 4)
        return times

    def start_udpecho(self, machine):
        """Starts the echo server on port 7; it runs until the test ends."""
        wait_for_prompt(machine)
        machine.type_line("run /programs/udpecho.exe 7")


class PeerLink(NetworkTest):
    def test_dhcp_pings_udp_and_a_flood_against_a_peer(self):
        peer = Peer(address=PEER, mac=PEER_MAC, offer=OFFERED, router=GATEWAY)
        self.addCleanup(peer.close)
        machine = self.boot(disk=disk_with_udp_programs(self.workdir), extra_args=peer.link_args(CARD_MAC))
        machine.boot_to_prompt()

        with self.subTest("DHCP"):
            machine.wait_for(lambda: f"Network address {OFFERED}/24 from DHCP" in machine.kernel_log(), 20,
                             "the DHCP line in the kernel log")
            self.assertIn(f"Network card {CARD_MAC}: asking DHCP for an address", machine.kernel_log())
            lines = run(machine, "net")
            self.assertEqual(lines[:4], [f"Card: {CARD_MAC}, link up", f"Address: {OFFERED}/24 (from DHCP)",
                                         "Netmask: 255.255.255.0", f"Gateway: {GATEWAY}"])
            self.assertRegex(lines[4], FRAMES)
            self.assertEqual(peer.dhcp_seen[-2:], [1, 3], "a discover, then a request")

        with self.subTest("the peer pings the machine"):
            # The largest fills a 1,500-byte packet; one byte more is a frame
            # too long for the card, which must stay unanswered.
            for sequence, size in enumerate((0, 1, 32, 56, 333, 1000, 1472), 1):
                self.assertIsNotNone(peer.ping(OFFERED, sequence, size), f"echo of {size} bytes")
            self.assertIsNone(peer.ping(OFFERED, 99, 1473, timeout=1), "an echo of a frame over 1,514 bytes")

        with self.subTest("the machine pings the peer"):
            self.check_four_replies(run(machine, f"ping {PEER}", timeout=20), PEER)

        with self.subTest("UDP for a closed port"):
            mac = peer.resolve(OFFERED)
            before = counters(machine)
            for port in (9, 5000, 65535):
                peer.send_udp(OFFERED, port, b"is anyone there?", mac=mac)
            after = counters(machine)
            self.assertEqual(after[0] - before[0], 3)
            self.assertEqual(after[2] - before[2], 3)
            self.assertEqual(peer.receive_udp(timeout=0.2), None, "no answer to a closed port")

        with self.subTest("a flood of malformed frames"):
            self.flood(machine, peer)

        with self.subTest("udpecho answers the peer"):
            self.start_udpecho(machine)
            mac = peer.resolve(OFFERED)
            answer = None
            for attempt in range(20):
                peer.send_udp(OFFERED, 7, b"echo %d" % attempt, source_port=41000, mac=mac)
                answer = peer.receive_udp(timeout=0.5)
                if answer:
                    break
            self.assertIsNotNone(answer, "udpecho never answered")
            self.assertEqual(answer[:3], (OFFERED, 7, 41000))
            self.assertTrue(answer[3].startswith(b"echo "), answer)
            for size in (0, 1, 100, 1472):
                data = bytes(i & 0xFF for i in range(size))
                peer.send_udp(OFFERED, 7, data, source_port=41001, mac=mac)
                self.assertEqual(peer.receive_udp(timeout=2), (OFFERED, 7, 41001, data), f"{size} bytes")

        self.assertEqual(peer.violations, [], "frames the machine sent that break the wire formats")
        self.assertGreater(peer.frames_seen, 20)

    def flood(self, machine, peer):
        # A first flood while `ping` runs: the keyboard's interrupts, the
        # ping's waits and the card's interrupts all at once. What the stack
        # keeps for good after it (the room its tables grow to, up to their
        # bounds) it has when the heap is first measured.
        _, _, during = self.run_while_flooding(machine, peer, f"ping {PEER}", WARM_UP_FRAMES, seed=2)
        self.assertRegex(during[-1], r"^4 sent, \d received, \d+% lost")
        heap_in_use(machine)
        heap_before = heap_in_use(machine)
        before = counters(machine)

        sent, seconds, during = self.run_while_flooding(machine, peer, "net", FLOOD_FRAMES, seed=1,
                                                        seconds=FLOOD_SECONDS)
        self.assertRegex(during[-1], FRAMES)
        after = counters(machine)
        heap_after = heap_in_use(machine)
        taken, dropped = after[0] - before[0], after[2] - before[2]
        print(f"\nflood: {sent} frames sent in {seconds:.1f} s; the stack took {taken} "
              f"(the card filters the others) and dropped {dropped}", file=sys.stderr)
        if FLOOD_SECONDS >= 20:
            self.assertGreaterEqual(sent, min(FLOOD_FRAMES, 10000), "the flood went too slowly to mean much")
        # Most frames are broken beyond use; a few well-formed ones (ARP
        # requests, echo requests) may be answered.
        self.assertGreater(taken, sent // 2)
        self.assertGreater(dropped, taken * 3 // 4)
        self.assertEqual(heap_after, heap_before, "heap in use after the flood")
        # The stack still answers.
        self.assertIsNotNone(peer.ping(OFFERED, 200, 64))

    def run_while_flooding(self, machine, peer, line, count, seed, seconds=None):
        """Runs a command line while `count` malformed frames pour in; (frames
        sent, seconds until QEMU took the last, the command's output)."""
        started, sent = time.time(), []
        flooding = threading.Thread(target=lambda: sent.append(peer.flood(
            malformed_frames(count, CARD_MAC, OFFERED, PEER_MAC, PEER, seed=seed), seconds=seconds)))
        flooding.start()
        try:
            output = run(machine, line, timeout=30)
        finally:
            flooding.join()
        machine.wait_for(lambda: queued_bytes(peer.card_port) == 0, 30, "QEMU to take in the flood")
        return sent[0], time.time() - started, output


class TwoMachines(NetworkTest):
    def test_ping_and_udp_between_two_tessary_machines(self):
        port_a, port_b = free_udp_port(), free_udp_port()
        a = self.boot(disk=disk_with_udp_programs(self.workdir),
                      extra_args=link_args(port_a, port_b, "52:54:00:00:00:0a"))
        disk_b = os.path.join(self.workdir, "b")
        os.makedirs(disk_b)
        b = self.boot(disk=disk_with_udp_programs(disk_b), extra_args=link_args(port_b, port_a, "52:54:00:00:00:0b"))
        a.boot_to_prompt()
        b.boot_to_prompt()
        self.assertEqual(run(a, "net 192.0.2.1/24"), [])
        self.assertEqual(run(b, "net 192.0.2.2/24"), [])

        self.check_four_replies(run(a, "ping 192.0.2.2", timeout=20), "192.0.2.2")
        self.check_four_replies(run(b, "ping 192.0.2.1", timeout=20), "192.0.2.1")

        self.start_udpecho(b)
        # The server may need a moment to start: udpsend says "No answer"
        # until it does.
        for attempt in range(5):
            lines = run(a, "run /programs/udpsend.exe 192.0.2.2 7 hello from A", timeout=20)
            if lines != ["No answer"]:
                break
        self.assertEqual(lines, ["hello from A"])


if __name__ == "__main__":
    unittest.main()
