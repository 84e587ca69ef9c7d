/*
 * udpecho.c: a UDP echo server. Every datagram that arrives on the port
 * goes back to its sender unchanged, and a line tells who sent how much.
 *
 *   run /programs/udpecho.exe [PORT]    (7, the echo service's, by default)
 *
 * Any key ends it; the status is 1 when the port cannot be opened.
 */
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tessary.h"
#include "tessary_net.h"

/* How long one wait for a datagram lasts before the keyboard is looked at:
   short enough that a key ends the server at once. */
#define WAIT_MS 100

int main(int argument_count, char** arguments)
{
    long port = 7;
    if (argument_count > 1) {
        char* end;
        port = strtol(arguments[1], &end, 10);
        if (*end || port < 1 || port > 65535 || argument_count > 2) {
            printf("usage: run udpecho.exe [PORT]\n");
            return 1;
        }
    }
    if (udp_open((unsigned short)port) < 0) {
        printf("udpecho: cannot open port %ld: %s\n", port, strerror(errno));
        return 1;
    }
    printf("Echoing UDP on port %ld; press a key to stop\n", port);

    static unsigned char buffer[TESSARY_UDP_MAX_DATA];
    unsigned echoed = 0;
    while (tessary_poll_key() == -1) {
        struct udp_source source;
        int count = udp_receive((int)port, buffer, sizeof buffer, WAIT_MS, &source);
        if (count < 0) {
            if (errno == ETIMEDOUT)
                continue;
            printf("udpecho: %s\n", strerror(errno));
            return 1;
        }
        printf("%s port %u: %d bytes\n", source.address, source.port, count);
        if (udp_send((int)port, source.address, source.port, buffer, (size_t)count) < 0)
            printf("udpecho: no answer to %s: %s\n", source.address, strerror(errno));
        else
            ++echoed;
    }
    printf("Echoed %u datagram%s\n", echoed, echoed == 1 ? "" : "s");
    return 0;
}
