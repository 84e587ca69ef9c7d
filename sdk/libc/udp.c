/*
 * udp.c: the UDP functions of tessary_net.h on the system's UDP calls,
 * failures turned into errno as in system.c.
 */
#include <errno.h>

#include "tessary.h"
#include "tessary_net.h"

static int on_port(int result)
{
    if (result >= 0)
        return result;
    switch (result) {
    case TESSARY_NOT_FOUND:
        errno = EBADF;
        break;
    case TESSARY_BAD_ARGUMENT:
        errno = EINVAL;
        break;
    case TESSARY_TOO_MANY:
        errno = EMFILE;
        break;
    case TESSARY_NO_MEMORY:
        errno = ENOMEM;
        break;
    case TESSARY_IN_USE:
        errno = EADDRINUSE;
        break;
    case TESSARY_NO_NETWORK:
        errno = ENETDOWN;
        break;
    case TESSARY_UNREACHABLE:
        errno = ENETUNREACH;
        break;
    case TESSARY_TIMED_OUT:
        errno = ETIMEDOUT;
        break;
    case TESSARY_TOO_LARGE:
        errno = EMSGSIZE;
        break;
    case TESSARY_QUEUE_FULL:
        errno = ENOBUFS;
        break;
    default:
        errno = EIO;
        break;
    }
    return -1;
}

int udp_parse_address(char const* text, unsigned char address[4])
{
    for (int part = 0; part < 4; ++part) {
        if (part > 0 && *text++ != '.')
            return -1;
        if (*text < '0' || *text > '9' || (*text == '0' && text[1] >= '0' && text[1] <= '9'))
            return -1;
        unsigned value = 0;
        for (int digits = 0; *text >= '0' && *text <= '9'; ++digits, ++text) {
            if (digits == 3)
                return -1;
            value = value * 10 + (unsigned)(*text - '0');
        }
        if (value > 255)
            return -1;
        address[part] = (unsigned char)value;
    }
    return *text ? -1 : 0;
}

/* Writes "a.b.c.d" and its 0 (16 bytes at most) without printf, which a
   program that never formats need not carry. */
static void format_address(unsigned char const address[4], char* text)
{
    for (int part = 0; part < 4; ++part) {
        unsigned value = address[part];
        if (value >= 100)
            *text++ = (char)('0' + value / 100);
        if (value >= 10)
            *text++ = (char)('0' + value / 10 % 10);
        *text++ = (char)('0' + value % 10);
        *text++ = part < 3 ? '.' : 0;
    }
}

int udp_open(unsigned short port) { return on_port(tessary_system_call(TESSARY_CALL_UDP_OPEN, port, 0, 0)); }

int udp_close(int port) { return on_port(tessary_system_call(TESSARY_CALL_UDP_CLOSE, (unsigned)port, 0, 0)); }

int udp_send(int port, char const* address, unsigned short to_port, void const* data, size_t length)
{
    struct tessary_datagram datagram = { { 0 }, to_port, 0, (unsigned)data, length };
    if (!address || udp_parse_address(address, datagram.address) != 0) {
        errno = EINVAL;
        return -1;
    }
    return on_port(tessary_system_call(TESSARY_CALL_UDP_SEND, (unsigned)port, (unsigned)&datagram, 0));
}

int udp_receive(int port, void* buffer, size_t capacity, unsigned timeout_ms, struct udp_source* source)
{
    struct tessary_datagram datagram = { { 0 }, 0, 0, (unsigned)buffer, capacity };
    int count = on_port(tessary_system_call(TESSARY_CALL_UDP_RECEIVE, (unsigned)port, (unsigned)&datagram, timeout_ms));
    if (count >= 0 && source) {
        format_address(datagram.address, source->address);
        source->port = datagram.port;
        source->length = datagram.length;
    }
    return count;
}
