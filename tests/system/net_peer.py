"""A machine of our own on a Tessary machine's network link, in this process.

QEMU's socket network back-end carries each Ethernet frame as one UDP
datagram between two ports of 127.0.0.1, so a Peer is a UDP socket there:
what QEMU sends to it is a frame from Tessary's card, and what it sends to
QEMU arrives at the card. Nothing leaves the loopback interface.

The peer answers ARP for its own address, serves DHCP (an offer and an
acknowledgement from 192.0.2.0/24 with netmask and router), answers pings,
sends pings and UDP datagrams of its own and collects the answers. Every
frame Tessary sends is checked field by field (lengths, checksums, ARP's
fixed fields, no fragments) and every fault is kept in `violations`, so a
test can fail on any.

`malformed_frames` makes the frames of a flood: truncated, oversized,
wrongly summed and plain random ones, and `flood` sends them as fast as
QEMU takes them in.
"""

import queue
import random
import socket
import struct
import threading
import time

TYPE_IPV4 = 0x0800
TYPE_ARP = 0x0806
PROTOCOL_ICMP = 1
PROTOCOL_UDP = 17
ICMP_ECHO_REPLY = 0
ICMP_ECHO_REQUEST = 8
ARP_REQUEST = 1
ARP_REPLY = 2
BROADCAST_MAC = b"\xff" * 6
ZERO_MAC = b"\x00" * 6
MIN_FRAME = 60
MAX_FRAME = 1514
DHCP_SERVER_PORT = 67
DHCP_CLIENT_PORT = 68
DHCP_MAGIC = 0x63825363
DHCP_DISCOVER, DHCP_OFFER, DHCP_REQUEST, DHCP_ACK = 1, 2, 3, 5
# Room for any datagram: a frame longer than the card may send must still
# arrive whole to be seen as one.
LARGEST_DATAGRAM = 65536


def mac_bytes(text):
    return bytes(int(part, 16) for part in text.split(":"))


def mac_text(mac):
    return ":".join(f"{byte:02x}" for byte in mac)


def ip_bytes(text):
    return socket.inet_aton(text)


def ip_text(address):
    return socket.inet_ntoa(address)


def free_udp_port():
    """A port of 127.0.0.1 that no one uses right now."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def link_args(local_port, remote_port, mac, netdev="n0"):
    """QEMU options for an e1000 card whose frames go to 127.0.0.1:remote_port
    and come from local_port."""
    return ("-netdev", f"socket,id={netdev},udp=127.0.0.1:{remote_port},localaddr=127.0.0.1:{local_port}",
            "-device", f"e1000,netdev={netdev},mac={mac}")


def internet_checksum(data):
    """The ones' complement of the ones' complement sum of 16-bit words:
    0 over a block that carries its own right checksum."""
    if len(data) % 2:
        data += b"\x00"
    total = sum(struct.unpack(f"!{len(data) // 2}H", data))
    while total > 0xFFFF:
        total = (total >> 16) + (total & 0xFFFF)
    return ~total & 0xFFFF


# ---- building frames ------------------------------------------------------

def ethernet(destination, source, frame_type, payload):
    return destination + source + struct.pack("!H", frame_type) + payload


def ipv4(source, destination, protocol, payload, ttl=64, identification=0, flags_offset=0x4000, options=b"",
         total_length=None, fix_checksum=True):
    ihl = 5 + len(options) // 4
    length = total_length if total_length is not None else ihl * 4 + len(payload)
    header = struct.pack("!BBHHHBBH4s4s", 0x40 | ihl, 0, length & 0xFFFF, identification, flags_offset, ttl,
                         protocol, 0, source, destination) + options
    if fix_checksum:
        header = header[:10] + struct.pack("!H", internet_checksum(header)) + header[12:]
    return header + payload


def pseudo_header(source, destination, protocol, length):
    return source + destination + struct.pack("!BBH", 0, protocol, length)


def udp(source, destination, source_port, destination_port, data, length=None):
    length = length if length is not None else 8 + len(data)
    segment = struct.pack("!HHHH", source_port, destination_port, length & 0xFFFF, 0) + data
    checksum = internet_checksum(pseudo_header(source, destination, PROTOCOL_UDP, len(segment)) + segment) or 0xFFFF
    return segment[:6] + struct.pack("!H", checksum) + segment[8:]


def icmp_echo(kind, identifier, sequence, data):
    message = struct.pack("!BBHHH", kind, 0, 0, identifier, sequence) + data
    return message[:2] + struct.pack("!H", internet_checksum(message)) + message[4:]


def arp(operation, sender_mac, sender_ip, target_mac, target_ip, hardware=1, protocol=TYPE_IPV4, hlen=6, plen=4):
    return struct.pack("!HHBBH", hardware, protocol, hlen, plen, operation) + sender_mac + sender_ip + target_mac \
        + target_ip


def dhcp_reply(kind, transaction, client_mac, offered, server, netmask, router, lease_seconds=3600):
    fixed = struct.pack("!BBBBIHH4s4s4s4s16s64s128sI", 2, 1, 6, 0, transaction, 0, 0x8000, b"\0" * 4, offered,
                        server, b"\0" * 4, client_mac, b"", b"", DHCP_MAGIC)
    options = bytes([53, 1, kind, 54, 4]) + server + bytes([1, 4]) + netmask + bytes([3, 4]) + router \
        + bytes([51, 4]) + struct.pack("!I", lease_seconds) + bytes([255])
    return fixed + options


# ---- reading and checking Tessary's frames --------------------------------

class Parsed:
    """The fields of one frame that the peer acts on; `None` where a layer is
    absent or broken (its faults are in the violations)."""

    def __init__(self, frame):
        self.frame = frame
        self.destination, self.source = frame[0:6], frame[6:12]
        self.type = struct.unpack("!H", frame[12:14])[0] if len(frame) >= 14 else None
        self.arp = None        # (operation, sender_mac, sender_ip, target_mac, target_ip)
        self.ip = None         # (source, destination, protocol, payload)
        self.udp = None        # (source_port, destination_port, data)
        self.icmp = None       # (type, identifier, sequence, data)


def check_frame(frame, expected_source=None):
    """Takes a frame Tessary sent apart and checks every field it can; returns
    (Parsed, [violation texts])."""
    parsed, faults = Parsed(frame), []
    if len(frame) < MIN_FRAME:
        faults.append(f"frame of {len(frame)} bytes: shorter than 60 (not padded)")
    if len(frame) > MAX_FRAME:
        faults.append(f"frame of {len(frame)} bytes: longer than 1514")
    if len(frame) < 14:
        return parsed, faults
    if parsed.source[0] & 1:
        faults.append(f"multicast source MAC {mac_text(parsed.source)}")
    if expected_source and parsed.source != expected_source:
        faults.append(f"source MAC {mac_text(parsed.source)}, not the card's {mac_text(expected_source)}")
    if parsed.destination == ZERO_MAC:
        faults.append("destination MAC all zeros")
    if parsed.type == TYPE_ARP:
        faults += check_arp(parsed)
    elif parsed.type == TYPE_IPV4:
        faults += check_ipv4(parsed)
    else:
        faults.append(f"frame type {parsed.type:#06x} neither IPv4 nor ARP")
    return parsed, faults


def check_arp(parsed):
    body = parsed.frame[14:]
    if len(body) < 28:
        return [f"ARP packet of {len(body)} bytes"]
    hardware, protocol, hlen, plen, operation = struct.unpack("!HHBBH", body[:8])
    faults = []
    if (hardware, protocol, hlen, plen) != (1, TYPE_IPV4, 6, 4):
        faults.append(f"ARP fields htype {hardware} ptype {protocol:#06x} hlen {hlen} plen {plen}")
    if operation not in (ARP_REQUEST, ARP_REPLY):
        faults.append(f"ARP opcode {operation}")
    sender_mac, sender_ip, target_mac, target_ip = body[8:14], body[14:18], body[18:24], body[24:28]
    if sender_mac != parsed.source:
        faults.append("ARP sender MAC differs from the frame's source")
    if operation == ARP_REQUEST and parsed.destination != BROADCAST_MAC:
        faults.append("ARP request not broadcast")
    if operation == ARP_REPLY and parsed.destination != target_mac:
        faults.append("ARP reply not sent to its target MAC")
    if any(body[28:]):
        faults.append("ARP padding not zero")
    parsed.arp = (operation, sender_mac, sender_ip, target_mac, target_ip)
    return faults


def check_ipv4(parsed):
    body = parsed.frame[14:]
    if len(body) < 20:
        return [f"IPv4 packet of {len(body)} bytes"]
    version, ihl = body[0] >> 4, (body[0] & 0x0F) * 4
    total, flags_offset, ttl, protocol = struct.unpack("!H", body[2:4])[0], struct.unpack("!H", body[6:8])[0], \
        body[8], body[9]
    faults = []
    if version != 4 or ihl < 20:
        return [f"IPv4 version {version}, header length {ihl}"]
    if internet_checksum(body[:ihl]) != 0:
        faults.append("IPv4 header checksum wrong")
    if total < ihl or total > len(body):
        return faults + [f"IPv4 total length {total} for {len(body)} bytes after the Ethernet header"]
    if len(parsed.frame) > MIN_FRAME and 14 + total != len(parsed.frame):
        faults.append(f"IPv4 total length {total} in a frame of {len(parsed.frame)} bytes")
    if ttl == 0:
        faults.append("TTL 0")
    if flags_offset & 0x2000 or flags_offset & 0x1FFF:
        faults.append(f"fragment (flags and offset {flags_offset:#06x})")
    source, destination, payload = body[12:16], body[16:20], body[ihl:total]
    parsed.ip = (source, destination, protocol, payload)
    if protocol == PROTOCOL_UDP:
        faults += check_udp(parsed)
    elif protocol == PROTOCOL_ICMP:
        faults += check_icmp(parsed)
    else:
        faults.append(f"IP protocol {protocol}")
    return faults


def check_udp(parsed):
    source, destination, _, segment = parsed.ip
    if len(segment) < 8:
        return [f"UDP segment of {len(segment)} bytes"]
    source_port, destination_port, length, checksum = struct.unpack("!HHHH", segment[:8])
    faults = []
    if length != len(segment):
        faults.append(f"UDP length {length} in a segment of {len(segment)} bytes")
    if checksum == 0:
        faults.append("UDP sent without a checksum")
    elif internet_checksum(pseudo_header(source, destination, PROTOCOL_UDP, len(segment)) + segment) != 0:
        faults.append("UDP checksum wrong")
    parsed.udp = (source_port, destination_port, segment[8:])
    return faults


def check_icmp(parsed):
    message = parsed.ip[3]
    if len(message) < 8:
        return [f"ICMP message of {len(message)} bytes"]
    kind, code, _, identifier, sequence = struct.unpack("!BBHHH", message[:8])
    faults = []
    if internet_checksum(message) != 0:
        faults.append("ICMP checksum wrong")
    if kind not in (ICMP_ECHO_REPLY, ICMP_ECHO_REQUEST) or code != 0:
        faults.append(f"ICMP type {kind} code {code}")
    parsed.icmp = (kind, identifier, sequence, message[8:])
    return faults


def dhcp_message(data):
    """(message type, transaction, requested address or None) of a client's
    DHCP message, or None when it is not one."""
    if len(data) < 240 or data[0] != 1 or struct.unpack("!I", data[236:240])[0] != DHCP_MAGIC:
        return None
    transaction = struct.unpack("!I", data[4:8])[0]
    kind, requested, at = None, None, 240
    while at + 1 < len(data) and data[at] != 255:
        if data[at] == 0:
            at += 1
            continue
        code, length = data[at], data[at + 1]
        value = data[at + 2:at + 2 + length]
        if code == 53 and length == 1:
            kind = value[0]
        elif code == 50 and length == 4:
            requested = value
        at += 2 + length
    return kind, transaction, requested


# ---- the peer -------------------------------------------------------------

class Peer:
    """The far end of one Tessary card's link. Start QEMU with
    `peer.link_args(mac)`, which names the ports both ends use."""

    def __init__(self, address="192.0.2.2", mac="02:00:00:00:00:02", offer="192.0.2.15",
                 netmask="255.255.255.0", router=None):
        self.mac = mac_bytes(mac)
        self.address = ip_bytes(address)
        self.offer = ip_bytes(offer) if offer else None
        self.netmask = ip_bytes(netmask)
        self.router = ip_bytes(router or address)
        self.socket = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.socket.bind(("127.0.0.1", 0))
        self.socket.settimeout(0.1)
        self.port = self.socket.getsockname()[1]
        self.card_port = free_udp_port()
        self.card_mac = None
        self.violations = []
        self.frames_seen = 0
        self.dhcp_seen = []
        self.arp_table = {}
        self.lock = threading.Lock()
        self.replies = queue.Queue()
        self.datagrams = queue.Queue()
        self.running = True
        self.thread = threading.Thread(target=self._receive_loop, daemon=True)
        self.thread.start()

    def link_args(self, mac):
        """QEMU options for the card at the other end, with MAC `mac`."""
        self.card_mac = mac_bytes(mac)
        return link_args(self.card_port, self.port, mac)

    def close(self):
        self.running = False
        self.thread.join(timeout=2)
        self.socket.close()

    def send(self, frame):
        self.socket.sendto(frame, ("127.0.0.1", self.card_port))

    # ---- what arrives --------------------------------------------------------
    def _receive_loop(self):
        while self.running:
            try:
                frame = self.socket.recv(LARGEST_DATAGRAM)
            except socket.timeout:
                continue
            except OSError:
                return
            parsed, faults = check_frame(frame, self.card_mac)
            with self.lock:
                self.frames_seen += 1
                self.violations += [f"{fault}: {frame[:64].hex()}" for fault in faults]
            self._answer(parsed)

    def _answer(self, parsed):
        if parsed.arp:
            self._answer_arp(*parsed.arp)
        if not parsed.ip or parsed.destination not in (self.mac, BROADCAST_MAC):
            return
        source, destination, _, _ = parsed.ip
        if parsed.udp:
            source_port, destination_port, data = parsed.udp
            if destination_port == DHCP_SERVER_PORT:
                self._answer_dhcp(data)
            elif destination == self.address:
                self.datagrams.put((ip_text(source), source_port, destination_port, data))
        elif parsed.icmp and destination == self.address:
            kind, identifier, sequence, data = parsed.icmp
            if kind == ICMP_ECHO_REQUEST:
                self.send(ethernet(parsed.source, self.mac, TYPE_IPV4,
                                   ipv4(self.address, source, PROTOCOL_ICMP,
                                        icmp_echo(ICMP_ECHO_REPLY, identifier, sequence, data))))
            else:
                self.replies.put((ip_text(source), identifier, sequence, data, time.perf_counter()))

    def _answer_arp(self, operation, sender_mac, sender_ip, target_mac, target_ip):
        with self.lock:
            self.arp_table[sender_ip] = sender_mac
        if operation == ARP_REQUEST and target_ip == self.address:
            self.send(ethernet(sender_mac, self.mac, TYPE_ARP, arp(ARP_REPLY, self.mac, self.address, sender_mac,
                                                                   sender_ip)))

    def _answer_dhcp(self, data):
        message = dhcp_message(data)
        if not message or not self.offer or not self.card_mac:
            return
        kind, transaction, requested = message
        with self.lock:
            self.dhcp_seen.append(kind)
        if kind == DHCP_DISCOVER:
            answer = DHCP_OFFER
        elif kind == DHCP_REQUEST and requested in (None, self.offer):
            answer = DHCP_ACK
        else:
            return
        reply = dhcp_reply(answer, transaction, self.card_mac, self.offer, self.address, self.netmask, self.router)
        self.send(ethernet(BROADCAST_MAC, self.mac, TYPE_IPV4,
                           ipv4(self.address, b"\xff" * 4, PROTOCOL_UDP,
                                udp(self.address, b"\xff" * 4, DHCP_SERVER_PORT, DHCP_CLIENT_PORT, reply))))

    # ---- what the peer does ----------------------------------------------------
    def resolve(self, address, timeout=5):
        """The MAC that `address` gives in answer to an ARP request, or None."""
        target = ip_bytes(address)
        with self.lock:
            self.arp_table.pop(target, None)
        request = arp(ARP_REQUEST, self.mac, self.address, ZERO_MAC, target)
        deadline = time.time() + timeout
        while time.time() < deadline:
            self.send(ethernet(BROADCAST_MAC, self.mac, TYPE_ARP, request))
            for _ in range(20):
                with self.lock:
                    if target in self.arp_table:
                        return self.arp_table[target]
                time.sleep(0.01)
        return None

    def ping(self, address, sequence, size=32, identifier=0x7E57, timeout=2):
        """Sends one echo request with `size` bytes of data; its round trip in
        seconds, or None without a matching reply in time. A reply must
        carry back exactly the data sent."""
        mac = self.resolve(address)
        if mac is None:
            return None
        data = bytes((sequence + i) & 0xFF for i in range(size))
        sent = time.perf_counter()
        self.send(ethernet(mac, self.mac, TYPE_IPV4,
                           ipv4(self.address, ip_bytes(address), PROTOCOL_ICMP,
                                icmp_echo(ICMP_ECHO_REQUEST, identifier, sequence, data), identification=sequence)))
        deadline = time.time() + timeout
        while time.time() < deadline:
            try:
                source, got_identifier, got_sequence, got_data, arrived = self.replies.get(timeout=0.05)
            except queue.Empty:
                continue
            if (source, got_identifier, got_sequence, got_data) == (address, identifier, sequence, data):
                return arrived - sent
        return None

    def send_udp(self, address, destination_port, data, source_port=40000, mac=None):
        mac = mac or self.resolve(address)
        self.send(ethernet(mac, self.mac, TYPE_IPV4,
                           ipv4(self.address, ip_bytes(address), PROTOCOL_UDP,
                                udp(self.address, ip_bytes(address), source_port, destination_port, data))))

    def receive_udp(self, timeout=2):
        """(source address, source port, destination port, data) of the next
        datagram for the peer, or None."""
        try:
            return self.datagrams.get(timeout=timeout)
        except queue.Empty:
            return None

    def flood(self, frames, seconds=None, backlog=64 * 1024):
        """Sends `frames` (an iterable) to the card as fast as QEMU reads them:
        while more than `backlog` bytes wait in QEMU's socket the peer pauses,
        so nothing is lost in the host before the card has seen it. Stops
        after `seconds` if given; returns the number of frames sent."""
        sent, deadline = 0, time.time() + seconds if seconds else None
        for frame in frames:
            if sent % 64 == 0:
                while queued_bytes(self.card_port) > backlog:
                    time.sleep(0.0005)
                if deadline and time.time() > deadline:
                    break
            self.send(frame)
            sent += 1
        return sent


def queued_bytes(port):
    """Bytes waiting in the receive queue of the UDP socket bound to
    127.0.0.1:port (0 when Linux does not say)."""
    wanted = f"0100007F:{port:04X}"
    try:
        with open("/proc/net/udp") as table:
            for line in table:
                fields = line.split()
                if len(fields) > 4 and fields[1] == wanted:
                    return int(fields[4].split(":")[1], 16)
    except OSError:
        pass
    return 0


# ---- the flood --------------------------------------------------------------

def malformed_frames(count, card_mac, card_ip, peer_mac, peer_ip, seed=1):
    """`count` frames a working stack must drop (or may answer, for the few
    well-formed ones among them) without harm: broken at every layer, for the
    card's MAC or broadcast so the card lets them through."""
    rng = random.Random(seed)
    card_mac, peer_mac = mac_bytes(card_mac), mac_bytes(peer_mac)
    card_ip, peer_ip = ip_bytes(card_ip), ip_bytes(peer_ip)
    kinds = [_truncated, _bad_ip_checksum, _wrong_total_length, _fragment, _odd_arp, _udp_to_random_port,
             _bad_udp, _bad_icmp, _odd_ip_header, _giant, _tiny, _random_bytes]
    for number in range(count):
        kind = kinds[number % len(kinds)]
        destination = card_mac if rng.random() < 0.8 else BROADCAST_MAC
        yield kind(rng, destination, card_ip, peer_mac, peer_ip)


def _some_udp(rng, card_ip, peer_ip, size=None):
    data = rng.randbytes(size if size is not None else rng.randrange(0, 64))
    return udp(peer_ip, card_ip, rng.randrange(1, 65536), rng.randrange(1, 65536), data)


def _some_packet(rng, card_ip, peer_ip):
    if rng.random() < 0.5:
        return ipv4(peer_ip, card_ip, PROTOCOL_UDP, _some_udp(rng, card_ip, peer_ip))
    message = icmp_echo(ICMP_ECHO_REQUEST, rng.randrange(65536), rng.randrange(65536), rng.randbytes(rng.randrange(64)))
    return ipv4(peer_ip, card_ip, PROTOCOL_ICMP, message)


def _truncated(rng, destination, card_ip, peer_mac, peer_ip):
    frame = ethernet(destination, peer_mac, TYPE_IPV4, _some_packet(rng, card_ip, peer_ip))
    return frame[:rng.randrange(14, len(frame))]


def _bad_ip_checksum(rng, destination, card_ip, peer_mac, peer_ip):
    packet = bytearray(_some_packet(rng, card_ip, peer_ip))
    packet[10] ^= 1 << rng.randrange(8)
    return ethernet(destination, peer_mac, TYPE_IPV4, bytes(packet))


def _wrong_total_length(rng, destination, card_ip, peer_mac, peer_ip):
    segment = _some_udp(rng, card_ip, peer_ip)
    total = rng.choice([0, 1, 19, 20, 27, 20 + len(segment) + rng.randrange(1, 2000), 65535])
    return ethernet(destination, peer_mac, TYPE_IPV4, ipv4(peer_ip, card_ip, PROTOCOL_UDP, segment,
                                                          total_length=total))


def _fragment(rng, destination, card_ip, peer_mac, peer_ip):
    flags_offset = rng.choice([0x2000, 0x2000 | rng.randrange(1, 0x2000), rng.randrange(1, 0x2000)])
    return ethernet(destination, peer_mac, TYPE_IPV4, ipv4(peer_ip, card_ip, PROTOCOL_UDP,
                                                          _some_udp(rng, card_ip, peer_ip), flags_offset=flags_offset,
                                                          identification=rng.randrange(65536)))


def _odd_arp(rng, destination, card_ip, peer_mac, peer_ip):
    # Senders from all over the subnet (and beyond), with odd sizes, types
    # and opcodes; now and then a well-formed one, which fills ARP's table.
    sender_ip = bytes([192, 0, 2, rng.randrange(256)]) if rng.random() < 0.7 else rng.randbytes(4)
    sender_mac = bytes([2]) + rng.randbytes(5)
    fields = dict(hardware=1, protocol=TYPE_IPV4, hlen=6, plen=4)
    change = rng.randrange(6)
    if change == 0:
        fields["hlen"] = rng.choice([0, 4, 8, 255])
    elif change == 1:
        fields["plen"] = rng.choice([0, 6, 16, 255])
    elif change == 2:
        fields["hardware"] = rng.randrange(2, 65536)
    elif change == 3:
        fields["protocol"] = rng.choice([0x86DD, 0, 0xFFFF])
    operation = rng.choice([ARP_REQUEST, ARP_REPLY, 0, 3, 0xFFFF])
    packet = arp(operation, sender_mac, sender_ip, rng.choice([ZERO_MAC, sender_mac]), card_ip, **fields)
    if rng.random() < 0.5:
        packet = packet[:rng.randrange(0, len(packet))]
    return ethernet(destination, peer_mac, TYPE_ARP, packet)


def _udp_to_random_port(rng, destination, card_ip, peer_mac, peer_ip):
    # Well-formed, for ports where nothing listens.
    return ethernet(destination, peer_mac, TYPE_IPV4, ipv4(peer_ip, card_ip, PROTOCOL_UDP,
                                                          _some_udp(rng, card_ip, peer_ip)))


def _bad_udp(rng, destination, card_ip, peer_mac, peer_ip):
    data = rng.randbytes(rng.randrange(0, 64))
    port = rng.randrange(1, 65536)
    if rng.random() < 0.5:
        segment = bytearray(udp(peer_ip, card_ip, 4000, port, data))
        segment[6] ^= 0x40
    else:
        segment = bytearray(udp(peer_ip, card_ip, 4000, port, data, length=rng.choice([0, 7, 9 + len(data), 65535])))
    return ethernet(destination, peer_mac, TYPE_IPV4, ipv4(peer_ip, card_ip, PROTOCOL_UDP, bytes(segment)))


def _bad_icmp(rng, destination, card_ip, peer_mac, peer_ip):
    message = bytearray(icmp_echo(ICMP_ECHO_REQUEST, 1, rng.randrange(65536), rng.randbytes(rng.randrange(64))))
    change = rng.randrange(3)
    if change == 0:
        message[2] ^= 0x10
    elif change == 1:
        message = message[:rng.randrange(0, 8)]
    else:
        message[0] = rng.choice([3, 5, 11, 13, 200])
        message[2:4] = b"\0\0"
        message[2:4] = struct.pack("!H", internet_checksum(bytes(message)))
    return ethernet(destination, peer_mac, TYPE_IPV4, ipv4(peer_ip, card_ip, PROTOCOL_ICMP, bytes(message)))


def _odd_ip_header(rng, destination, card_ip, peer_mac, peer_ip):
    segment = _some_udp(rng, card_ip, peer_ip)
    change = rng.randrange(5)
    if change == 0:   # version 6 in an IPv4 frame
        packet = bytearray(ipv4(peer_ip, card_ip, PROTOCOL_UDP, segment))
        packet[0] = 0x65
        return ethernet(destination, peer_mac, TYPE_IPV4, bytes(packet))
    if change == 1:   # a header length under 20 or past the packet
        packet = bytearray(ipv4(peer_ip, card_ip, PROTOCOL_UDP, segment))
        packet[0] = 0x40 | rng.choice([0, 1, 4, 15])
        packet[10:12] = b"\0\0"
        packet[10:12] = struct.pack("!H", internet_checksum(bytes(packet[:20])))
        return ethernet(destination, peer_mac, TYPE_IPV4, bytes(packet))
    if change == 2:   # options, then a payload for them to eat into
        options = rng.randbytes(4 * rng.randrange(1, 11))
        return ethernet(destination, peer_mac, TYPE_IPV4, ipv4(peer_ip, card_ip, PROTOCOL_UDP, segment,
                                                              options=options))
    if change == 3:   # broadcast or multicast sources, unknown protocols
        source = rng.choice([b"\xff" * 4, bytes([224, 0, 0, 1]), peer_ip])
        protocol = rng.choice([PROTOCOL_UDP, 6, 41, 255])
        return ethernet(destination, peer_mac, TYPE_IPV4, ipv4(source, card_ip, protocol, segment))
    # Other machines' packets, and other frame types.
    other = ipv4(peer_ip, bytes([192, 0, 2, rng.randrange(256)]), PROTOCOL_UDP, segment)
    return ethernet(destination, peer_mac, rng.choice([TYPE_IPV4, 0x86DD, 0x8100, 0x0001]), other)


def _giant(rng, destination, card_ip, peer_mac, peer_ip):
    size = rng.choice([1515, 1518, 1522, 2048, 4000, 9000, 16000])
    segment = _some_udp(rng, card_ip, peer_ip, size=size)
    return ethernet(destination, peer_mac, TYPE_IPV4, ipv4(peer_ip, card_ip, PROTOCOL_UDP, segment))


def _tiny(rng, destination, card_ip, peer_mac, peer_ip):
    frame = ethernet(destination, peer_mac, rng.choice([TYPE_IPV4, TYPE_ARP]), rng.randbytes(rng.randrange(0, 20)))
    return frame[:rng.randrange(1, len(frame) + 1)]


def _random_bytes(rng, destination, card_ip, peer_mac, peer_ip):
    return destination + rng.randbytes(rng.randrange(0, 1600))
