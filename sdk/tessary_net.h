/*
 * tessary_net.h: UDP for C programs, on the system's UDP calls
 * (tessary_calls.h, 46-49); the functions are in sdk/libc/udp.c.
 *
 * A port is a number from 1 to 65535 that the program opens and then sends
 * from and receives on; a program has up to TESSARY_UDP_PORTS open at once,
 * and every one it leaves open is closed when it ends. Addresses are text,
 * four numbers from 0 to 255 between dots: "192.0.2.5". Each function
 * returns -1 and sets errno on failure:
 *
 *   EBADF         the port is not open (by this program)
 *   EINVAL        an address that is not a.b.c.d, a port or destination out
 *                 of range (port 0, 0.0.0.0, a multicast group, the
 *                 machine's own address), a buffer not the program's own
 *   EADDRINUSE    udp_open: the port is open already
 *   EMFILE        udp_open: every port the program may have is open
 *   ENETDOWN      udp_open: the machine has no network card
 *   ENETUNREACH   udp_send: the machine has no address yet (DHCP has not
 *                 answered, none was set), or the destination is off its
 *                 network and there is no gateway
 *   EMSGSIZE      udp_send: more than TESSARY_UDP_MAX_DATA bytes
 *   ENOBUFS       udp_send: the frames waiting to leave fill the queue
 *   ETIMEDOUT     udp_receive: nothing arrived in the time given
 *
 * Sending hands the datagram to the network: it is not told whether it
 * arrives. While udp_receive waits, the system keeps running the network
 * (it answers ARP and pings), and the keyboard is not looked at.
 */
#ifndef TESSARY_NET_H
#define TESSARY_NET_H

#include <stddef.h>

#include "tessary_calls.h"

/* Where a received datagram came from, and how long it was. */
struct udp_source {
    char address[16];    /* "192.0.2.9", 0-terminated */
    unsigned short port; /* the sender's port */
    size_t length;       /* the datagram's whole length: more than udp_receive returned when it was cut */
};

/* Opens `port`, or with 0 a free port from 49152 to 65535; returns the
   port. */
int udp_open(unsigned short port);

/* Sends `length` bytes of `data` (0 is fine) from the open `port` to
   `address`:`to_port`; returns the length. */
int udp_send(int port, char const* address, unsigned short to_port, void const* data, size_t length);

/* Takes the oldest datagram that arrived on `port`, waiting up to
   `timeout_ms` milliseconds for one (0: not at all); returns the count
   stored in `buffer`. A datagram longer than `capacity` is cut to it and
   the rest is lost: `source->length` then tells how long it was. `source`
   may be NULL. */
int udp_receive(int port, void* buffer, size_t capacity, unsigned timeout_ms, struct udp_source* source);

/* Closes the port: what waited on it is dropped. */
int udp_close(int port);

/* Reads "a.b.c.d" into address[0] to address[3]: 0, or -1 for anything
   else (spaces, a missing or extra part, a part above 255 or with a leading
   zero). */
int udp_parse_address(char const* text, unsigned char address[4]);

#endif
