#!/usr/bin/env python3
"""Writes the fuzz targets' seed inputs into the folders beside this file.

    tests/fuzz/corpus/make_seeds.py BUILD_DIR

BUILD_DIR is a normal build folder: its tessfs makes the disk-image volume
and its assembled example program seeds the MZ loader. The seeds are
committed; run this again only to change them.
"""

import os
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
BLOCK = 512


def write(target, name, data):
    os.makedirs(os.path.join(HERE, target), exist_ok=True)
    with open(os.path.join(HERE, target, name), "wb") as f:
        f.write(data)


def mbr(*entries):
    """Sector 0 with a partition table of (type, start, count) entries."""
    sector = bytearray(BLOCK)
    for i, (kind, start, count) in enumerate(entries):
        at = 446 + 16 * i
        sector[at + 4] = kind
        sector[at + 8:at + 16] = struct.pack("<II", start, count)
    sector[510:512] = b"\x55\xaa"
    return bytes(sector)


def tessary_volume(tessfs, grown=False):
    """The used blocks of a volume tessfs formatted and filled: folders as a
    first boot makes them, a script, a document over three blocks, and a
    folder two levels down; with `grown`, files enough at the top that the
    root outgrows its node."""
    with tempfile.TemporaryDirectory() as tmp:
        image = os.path.join(tmp, "disk.img")
        subprocess.run([tessfs, "mkdisk", image, "2"], check=True)
        subprocess.run([tessfs, "format", image], check=True)
        for folder in ("/home", "/home/root", "/documents", "/home/root/deep"):
            subprocess.run([tessfs, "mkdir", image, folder], check=True)
        files = {
            "/home/root/test.tsc": b"push hello\nwait 1\ncls\n",
            "/documents/notes.txt": bytes((i * 7) % 251 for i in range(1100)),
            "/home/root/deep/empty.txt": b"",
        }
        if grown:
            files.update({f"/{n:02}" + "-" * 58: bytes([n]) for n in range(24)})
        for path, content in files.items():
            host = os.path.join(tmp, "file")
            with open(host, "wb") as f:
                f.write(content)
            subprocess.run([tessfs, "put", image, host, path], check=True)
        with open(image, "rb") as f:
            f.seek(2048 * BLOCK)
            volume = f.read(128 * BLOCK)
    return volume.rstrip(b"\0")


def disk_image_seeds(tessfs):
    volume = tessary_volume(tessfs)
    # The volume from sector 8 of a 1024-sector disk, as the fuzzer lays it.
    write("disk_image", "tessary", mbr((0x83, 8, 1000)) + bytes(7 * BLOCK) + volume)
    # A blank partition, which the boot formats.
    write("disk_image", "blank", mbr((0x83, 8, 1000)))
    # Another system's partition, an extended one and a Tessary one after them.
    foreign = bytearray(mbr((0x0C, 8, 20), (0x05, 30, 10), (0x83, 40, 900)))
    foreign += bytes(7 * BLOCK) + b"\xeb\x3c\x90MSDOS5.0" + bytes(BLOCK - 11)
    foreign += bytes((40 - 9) * BLOCK) + volume
    write("disk_image", "foreign", bytes(foreign))
    # A root that has grown into an index of nodes.
    write("disk_image", "grown", mbr((0x83, 8, 1000)) + bytes(7 * BLOCK) + tessary_volume(tessfs, grown=True))


def node_codec_seeds(tessfs):
    """The root node of a volume as a first boot leaves it, a grown root's
    index, and a superblock."""
    volume = tessary_volume(tessfs)
    write("node_codec", "root", volume[2 * BLOCK:4 * BLOCK])
    write("node_codec", "grown", tessary_volume(tessfs, grown=True)[2 * BLOCK:4 * BLOCK])
    write("node_codec", "superblock", volume[BLOCK:2 * BLOCK].rstrip(b"\0"))


def mz_seeds(build):
    with open(os.path.join(build, "generated", "example.exe"), "rb") as f:
        write("mz_exe", "example", f.read())
    # Three relocation entries in a three-paragraph header, entry at 1:4.
    header = bytearray(48)
    struct.pack_into("<2sHHHH", header, 0, b"MZ", 0, 1, 3, 3)
    struct.pack_into("<HHH", header, 0x14, 4, 1, 0x1C)
    struct.pack_into("<6H", header, 0x1C, 1, 0x10, 0x1234, 0, 0xFFFE, 0xABCD)
    write("mz_exe", "relocations", bytes(header) + b"\x90" * 20 + b"\xc3")


def tess_script_seeds():
    write("tess_script", "statements", b"push hello\npush$ $x\nwait 5\nwfk\ncls\nwfk\r\npush last")
    write("tess_script", "lines", b"\n\npush \n" + b"push a\n" * 40 + b"wait \n")


def line_editor_seeds():
    enter, backspace, left, right, shift = 0x1C, 0x0E, 0x4B, 0x4D, 0x2A

    def press(*codes):
        out = []
        for code in codes:
            out += [code, code | 0x80]
        return out

    hello = press(0x23, 0x12, 0x26, 0x26, 0x18)  # h e l l o
    # Typed as it comes: a word edited with the arrows and Backspace, Enter,
    # then the key after the line; a shifted letter.
    codes = hello + press(left, left, backspace, right, 0x1E) + press(enter) + press(0x3B)
    codes += [shift] + press(0x1E) + [shift | 0x80] + press(enter, 0x01)
    write("line_editor", "editing", bytes([0] + codes))
    # Ninety keys typed before the first read: the queue holds 64.
    ahead = press(*([0x1E] * 45))
    write("line_editor", "typed_ahead", bytes([len(ahead)] + ahead + press(enter, 0x3E)))
    # Ctrl-Alt-Delete in the middle of a line.
    write("line_editor", "reboot", bytes([0] + hello + [0x1D, 0x38] + press(0x53) + [0x9D, 0xB8] + press(enter)))


def mouse_seeds():
    packets = [0x08, 0x05, 0x03, 0x18, 0xFF, 0x00, 0x29, 0x00, 0xFE, 0x38, 0x80, 0x80]
    write("mouse", "packets", bytes([160, 100] + packets))
    # Out of step: an acknowledgement, a self-test result, an overflow.
    write("mouse", "resync", bytes([10, 190, 0xFA, 0xAA, 0x00, 0xC9, 0x00, 0x00, 0x08, 0x05, 0x03, 0x09, 0x10]))


def acpi_seeds():
    base = 0xE0000
    rsdt, other, facp, dsdt = 0x40, 0x80, 0xC0, 0x140

    def tables(package, valid_checksum):
        memory = bytearray(0x200)

        def header(at, signature, length):
            memory[at:at + 4] = signature
            struct.pack_into("<I", memory, at + 4, length)

        memory[0:8] = b"RSD PTR "
        struct.pack_into("<I", memory, 16, base + rsdt)
        memory[8] = (-sum(memory[0:20]) + (0 if valid_checksum else 1)) & 0xFF
        header(rsdt, b"RSDT", 36 + 8)
        struct.pack_into("<II", memory, rsdt + 36, base + other, base + facp)
        header(other, b"APIC", 44)
        header(facp, b"FACP", 116)
        struct.pack_into("<I", memory, facp + 40, base + dsdt)
        struct.pack_into("<II", memory, facp + 64, 0xB004, 0xB008)
        aml = bytes([0x10, 0x05, 0x5F, 0x53, 0x42, 0x5F, 0xA3]) + package + b"\xa3" * 4
        header(dsdt, b"DSDT", 36 + len(aml))
        memory[dsdt + 36:dsdt + 36 + len(aml)] = aml
        return bytes(memory[:dsdt + 36 + len(aml)])

    byte_prefixed = bytes([0x08, 0x5F, 0x53, 0x35, 0x5F, 0x12, 0x0A, 0x04, 0x0A, 0x05, 0x0A, 0x07, 0x00, 0x00])
    bare_root = bytes([0x08, 0x5C, 0x5F, 0x53, 0x35, 0x5F, 0x12, 0x06, 0x04, 0x05, 0x07, 0x00, 0x00])
    write("acpi", "checksummed", tables(byte_prefixed, True))
    # Found through the extended BIOS data area, where no checksum is asked.
    write("acpi", "ebda", tables(bare_root, False))


def network_frame_seeds():
    """Frames for the stack at 192.0.2.5 (MAC 52:54:00:12:34:56) from a peer
    at 192.0.2.9, after the set-up byte (0: address set by hand), each after
    its length."""
    ours, peer = bytes.fromhex("525400123456"), bytes.fromhex("020000000009")
    our_ip, peer_ip = bytes([192, 0, 2, 5]), bytes([192, 0, 2, 9])

    def checksum(data):
        data += b"\0" * (len(data) % 2)
        total = sum(struct.unpack(f"!{len(data) // 2}H", data))
        while total > 0xFFFF:
            total = (total >> 16) + (total & 0xFFFF)
        return ~total & 0xFFFF

    def ipv4(protocol, payload, source=peer_ip, destination=our_ip):
        header = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 20 + len(payload), 1, 0x4000, 64, protocol, 0, source,
                             destination)
        return header[:10] + struct.pack("!H", checksum(header)) + header[12:] + payload

    def udp(source_port, destination_port, data, source=peer_ip, destination=our_ip):
        segment = struct.pack("!HHHH", source_port, destination_port, 8 + len(data), 0) + data
        pseudo = source + destination + struct.pack("!BBH", 0, 17, len(segment))
        segment = segment[:6] + struct.pack("!H", checksum(pseudo + segment)) + segment[8:]
        return ipv4(17, segment, source, destination)

    def frame(destination, kind, payload):
        return destination + peer + struct.pack("!H", kind) + payload

    def framed(*frames):
        return b"\0" + b"".join(struct.pack("!H", len(f)) + f for f in frames)

    arp_request = struct.pack("!HHBBH6s4s6s4s", 1, 0x0800, 6, 4, 1, peer, peer_ip, bytes(6), our_ip)
    write("network_frame", "arp_request", framed(frame(b"\xff" * 6, 0x0806, arp_request)))
    echo = struct.pack("!BBHHH", 8, 0, 0, 0x1234, 1) + b"abcdefghijklmnopqrstuvwabcdefghi"
    echo = echo[:2] + struct.pack("!H", checksum(echo)) + echo[4:]
    write("network_frame", "echo_request", framed(frame(ours, 0x0800, ipv4(1, echo))))
    write("network_frame", "udp_datagram", framed(frame(ours, 0x0800, udp(40000, 7, b"a datagram for port 7"))))
    # The peer answers the ARP request for it, then the stack's own ping
    # (identifier 0x5445, sequence 1, its 32 bytes of data).
    arp_reply = struct.pack("!HHBBH6s4s6s4s", 1, 0x0800, 6, 4, 2, peer, peer_ip, ours, our_ip)
    reply = struct.pack("!BBHHH", 0, 0, 0, 0x5445, 1) + b"Tessary echo data for ping 12345"
    reply = reply[:2] + struct.pack("!H", checksum(reply)) + reply[4:]
    write("network_frame", "arp_and_echo_reply",
          framed(frame(ours, 0x0806, arp_reply), frame(ours, 0x0800, ipv4(1, reply))))

    # With DHCP running (set-up byte 1; 2 has checksums put right): a server
    # at 192.0.2.1 offers 192.0.2.77/24 and acknowledges it. The transaction
    # is the one the client picks for this MAC at the fuzzer's first poll.
    transaction = 0x00123456 ^ (1000 * 2654435761 & 0xFFFFFFFF)

    def dhcp(kind):
        message = struct.pack("!BBBBI", 2, 1, 6, 0, transaction) + bytes(8)
        message += bytes([192, 0, 2, 77, 192, 0, 2, 1]) + bytes(4) + ours + bytes(10 + 192)
        message += struct.pack("!I", 0x63825363) + bytes([53, 1, kind, 54, 4, 192, 0, 2, 1, 1, 4, 255, 255, 255, 0])
        message += bytes([3, 4, 192, 0, 2, 1, 51, 4, 0, 0, 14, 16, 255])
        return frame(b"\xff" * 6, 0x0800, udp(67, 68, message, bytes([192, 0, 2, 1]), b"\xff" * 4))

    write("network_frame", "dhcp_exchange", b"\3" + framed(dhcp(2), dhcp(5))[1:])


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    build = os.path.abspath(sys.argv[1])
    disk_image_seeds(os.path.join(build, "tessfs"))
    node_codec_seeds(os.path.join(build, "tessfs"))
    mz_seeds(build)
    tess_script_seeds()
    line_editor_seeds()
    mouse_seeds()
    acpi_seeds()
    network_frame_seeds()


if __name__ == "__main__":
    main()
