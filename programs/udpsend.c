/*
 * udpsend.c: sends a line of text as one UDP datagram and prints the
 * answer, as a client of udpecho.exe.
 *
 *   run /programs/udpsend.exe 192.0.2.9 7 Hello there
 *
 * The words after the port, joined by single spaces, are the datagram. The
 * answer is awaited for 2 seconds from the address and port it was sent
 * to; it is printed as it came, or "No answer", and then the status is 1.
 */
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tessary.h"
#include "tessary_net.h"

#define ANSWER_MS 2000

int main(int argument_count, char** arguments)
{
    char* end = NULL;
    long to_port = argument_count > 2 ? strtol(arguments[2], &end, 10) : 0;
    unsigned char address[4];
    if (argument_count < 4 || udp_parse_address(arguments[1], address) != 0 || *end || to_port < 1 || to_port > 65535) {
        printf("usage: run udpsend.exe ADDRESS PORT TEXT...\n");
        return 1;
    }
    static char text[TESSARY_UDP_MAX_DATA + 1];
    size_t length = 0;
    for (int i = 3; i < argument_count; ++i) {
        size_t word = strlen(arguments[i]);
        if (length + (i > 3) + word > TESSARY_UDP_MAX_DATA) {
            printf("udpsend: more than %d bytes\n", TESSARY_UDP_MAX_DATA);
            return 1;
        }
        if (i > 3)
            text[length++] = ' ';
        memcpy(text + length, arguments[i], word);
        length += word;
    }

    int port = udp_open(0);
    if (port < 0) {
        printf("udpsend: %s\n", strerror(errno));
        return 1;
    }
    if (udp_send(port, arguments[1], (unsigned short)to_port, text, length) < 0) {
        printf("udpsend: cannot send to %s: %s\n", arguments[1], strerror(errno));
        return 1;
    }

    /* Datagrams from anyone else are no answer: they are dropped, and the
       wait goes on for what is left of the time. */
    static char answer[TESSARY_UDP_MAX_DATA];
    unsigned start = tessary_milliseconds();
    for (;;) {
        unsigned waited = tessary_milliseconds() - start;
        struct udp_source source;
        int count = waited < ANSWER_MS ? udp_receive(port, answer, sizeof answer, ANSWER_MS - waited, &source) : -1;
        if (count < 0) {
            if (waited >= ANSWER_MS || errno == ETIMEDOUT) {
                printf("No answer\n");
            } else {
                printf("udpsend: %s\n", strerror(errno));
            }
            return 1;
        }
        if (!strcmp(source.address, arguments[1]) && source.port == to_port) {
            fwrite(answer, 1, (size_t)count, stdout);
            if (count == 0 || answer[count - 1] != '\n')
                putchar('\n');
            return 0;
        }
    }
}
