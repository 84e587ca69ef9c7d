/*
 * tessary_calls.h: the interface between a program and the Tessary kernel,
 * defined once for both sides: the SDK's tessary.h and the kernel's
 * dispatcher (hal/SystemCall.cpp, hal/ProgramRunner.cpp) include it. Plain C,
 * for C programs and for the kernel's C++ alike.
 *
 * A program calls the kernel with INT 0x80 (the only interrupt a program
 * may raise): EAX holds the call's number and EBX, ECX and EDX its
 * arguments (calls 1 and 2 take ESI, EDI and ECX, as the first programs
 * did); EAX comes back with the result, negative on failure. Every other
 * register is kept. Every address is the program's own and is checked
 * against the program's pages, the whole buffer or string with it, before
 * the kernel touches anything. docs/PROGRAMS.md describes each call.
 */
#ifndef TESSARY_CALLS_H
#define TESSARY_CALLS_H

#define TESSARY_SYSTEM_CALL_VECTOR 0x80

enum tessary_call {
    TESSARY_CALL_PRINT = 1,       /* ESI: 0-terminated string; printed cell by cell, no line breaks */
    TESSARY_CALL_READ_LINE = 2,   /* EDI: buffer, ECX: its size (0: unlimited); the length */
    TESSARY_CALL_EXIT = 16,       /* EBX: status; does not return */
    TESSARY_CALL_WRITE = 17,      /* EBX: address, ECX: length; the length */
    TESSARY_CALL_READ_KEY = 18,   /* the key's character, after waiting for it */
    TESSARY_CALL_FILE_SIZE = 19,  /* EBX: path; the size */
    TESSARY_CALL_READ_FILE = 20,  /* EBX: path, ECX: buffer, EDX: capacity; the count read */
    TESSARY_CALL_WRITE_FILE = 21, /* EBX: path, ECX: data, EDX: length; 0 */
    TESSARY_CALL_ARGUMENTS = 22,  /* EBX: buffer, ECX: capacity; the length */
    TESSARY_CALL_MILLISECONDS = 23,
    TESSARY_CALL_SLEEP = 24,   /* EBX: milliseconds; 0 */
    TESSARY_CALL_COLOURS = 25, /* EBX: foreground, ECX: background; 0 */
    TESSARY_CALL_CLEAR = 26,
    TESSARY_CALL_POLL_KEY = 27, /* the key's character, or -1 at once */
    TESSARY_CALL_CURSOR = 28,   /* EBX: column, ECX: row; 0 */
    TESSARY_CALL_BREAK = 29,    /* EBX: the heap's new end, or 0 to ask; the break */

    /* Files through handles: 0, 1 and 2 are the console (input, output,
       errors), files get 3 and up. */
    TESSARY_CALL_OPEN = 30,           /* EBX: path, ECX: TESSARY_OPEN_* flags; the handle */
    TESSARY_CALL_CLOSE = 31,          /* EBX: handle; 0 */
    TESSARY_CALL_READ = 32,           /* EBX: handle, ECX: buffer, EDX: capacity; the count, 0 at the end */
    TESSARY_CALL_WRITE_HANDLE = 33,   /* EBX: handle, ECX: data, EDX: length; the length */
    TESSARY_CALL_SEEK = 34,           /* EBX: handle, ECX: offset, EDX: TESSARY_SEEK_*; the new position */
    TESSARY_CALL_HANDLE_INFO = 35,    /* EBX: handle, ECX: struct tessary_file_info; 0 */
    TESSARY_CALL_PATH_INFO = 36,      /* EBX: path, ECX: struct tessary_file_info; 0 */
    TESSARY_CALL_REMOVE = 37,         /* EBX: path (a file, or an empty directory); 0 */
    TESSARY_CALL_RENAME = 38,         /* EBX: path, ECX: new path; 0 */
    TESSARY_CALL_MAKE_DIRECTORY = 39, /* EBX: path; 0 */
    TESSARY_CALL_LIST = 40,           /* EBX: directory path, ECX: index, EDX: struct tessary_directory_entry; 0 */

    TESSARY_CALL_TIME = 41,      /* seconds since 1970-01-01 00:00 UTC, from the clock */
    TESSARY_CALL_KEY_EVENT = 42, /* the next key event (TESSARY_KEY_*), or -1 at once */

    TESSARY_CALL_GRAPHICS = 43,   /* EBX: TESSARY_SCREEN_*; 0 */
    TESSARY_CALL_PALETTE = 44,    /* EBX: 768 bytes, red, green, blue 0-255 for colours 0-255; 0 */
    TESSARY_CALL_SHOW_FRAME = 45, /* EBX: 64,000 bytes, 320 a row, top row first; 0 */

    /* UDP over the machine's network: a program has up to TESSARY_UDP_PORTS
       ports open at once, and whatever it leaves open is closed when it
       ends. */
    TESSARY_CALL_UDP_OPEN = 46,    /* EBX: port, 0 for a free one from 49152-65535; the port */
    TESSARY_CALL_UDP_SEND = 47,    /* EBX: port, ECX: struct tessary_datagram; the length */
    TESSARY_CALL_UDP_RECEIVE = 48, /* EBX: port, ECX: struct tessary_datagram, EDX: milliseconds to wait; the count */
    TESSARY_CALL_UDP_CLOSE = 49,   /* EBX: port; 0 */
};

/* TESSARY_CALL_OPEN's flags. Reading, writing or both; a missing file is an
   error unless CREATE is given. */
#define TESSARY_OPEN_READ 1
#define TESSARY_OPEN_WRITE 2
#define TESSARY_OPEN_CREATE 4     /* create the file when it is missing */
#define TESSARY_OPEN_TRUNCATE 8   /* empty it on opening */
#define TESSARY_OPEN_APPEND 16    /* every write goes to the end */
#define TESSARY_OPEN_EXCLUSIVE 32 /* with CREATE: fail if the file exists */

/* TESSARY_CALL_SEEK's origin. */
#define TESSARY_SEEK_SET 0
#define TESSARY_SEEK_CURRENT 1
#define TESSARY_SEEK_END 2

/* The handles every program starts with. */
#define TESSARY_INPUT 0
#define TESSARY_OUTPUT 1
#define TESSARY_ERRORS 2
/* At least this many files are open at once. */
#define TESSARY_OPEN_FILES 32

struct tessary_file_info {
    unsigned size;     /* in bytes; 0 for a directory and the console */
    unsigned kind;     /* TESSARY_KIND_* */
    unsigned modified; /* seconds since 1970, as TESSARY_CALL_TIME */
};
#define TESSARY_KIND_FILE 0
#define TESSARY_KIND_DIRECTORY 1
#define TESSARY_KIND_CONSOLE 2

#define TESSARY_NAME_CAPACITY 256
struct tessary_directory_entry {
    char name[TESSARY_NAME_CAPACITY]; /* 0-terminated */
    struct tessary_file_info info;
};

/* Key events: the key's identity in the low byte, TESSARY_KEY_RELEASED when
   it went up. A key with a character is that character, unshifted and in
   lower case ('a', '1', ' ', '-'); Enter, Tab, Backspace and Escape are 13,
   9, 8 and 27; the others have codes of their own. */
#define TESSARY_KEY_RELEASED 0x100
enum tessary_key {
    TESSARY_KEY_BACKSPACE = 8,
    TESSARY_KEY_TAB = 9,
    TESSARY_KEY_ENTER = 13,
    TESSARY_KEY_ESCAPE = 27,
    TESSARY_KEY_SPACE = 32,
    TESSARY_KEY_UP = 0x80,
    TESSARY_KEY_DOWN,
    TESSARY_KEY_LEFT,
    TESSARY_KEY_RIGHT,
    TESSARY_KEY_SHIFT,
    TESSARY_KEY_CONTROL,
    TESSARY_KEY_ALT,
    TESSARY_KEY_INSERT,
    TESSARY_KEY_DELETE,
    TESSARY_KEY_HOME,
    TESSARY_KEY_END,
    TESSARY_KEY_PAGE_UP,
    TESSARY_KEY_PAGE_DOWN,
    TESSARY_KEY_CAPS_LOCK,
    TESSARY_KEY_F1 = 0x90, /* F2-F12 follow */
};

/* TESSARY_CALL_GRAPHICS's screens. */
#define TESSARY_SCREEN_TEXT 0
#define TESSARY_SCREEN_320X200 1
#define TESSARY_SCREEN_WIDTH 320
#define TESSARY_SCREEN_HEIGHT 200

/* A datagram for TESSARY_CALL_UDP_SEND and TESSARY_CALL_UDP_RECEIVE. The
   address is the other end's IPv4 address in the order it is written:
   192.0.2.5 is { 192, 0, 2, 5 }. Sending reads every field but `reserved`;
   receiving takes `data` and `length` as the buffer and its capacity, and
   fills in the sender's address and port and the datagram's whole length.
   The count stored is the call's result: when it is less than `length`, the
   datagram was longer than the buffer and its end is lost. */
struct tessary_datagram {
    unsigned char address[4];
    unsigned short port;
    unsigned short reserved; /* 0 */
    unsigned data;           /* the program's address of the bytes, or of the buffer */
    unsigned length;
};
/* Ports open at once, per program. */
#define TESSARY_UDP_PORTS 8
/* The most a datagram carries: what fits one Ethernet frame, unfragmented. */
#define TESSARY_UDP_MAX_DATA 1472

/* Failure results every call may return in EAX. */
enum tessary_failure {
    TESSARY_BAD_ARGUMENT = -1, /* a pointer not on the program's pages, a value out of range */
    TESSARY_NOT_FOUND = -2,    /* no such file, or it is a directory; a port the program has not opened */
    TESSARY_FAILED = -3,       /* disk error, out of space, permission, bad name */
    TESSARY_NO_MEMORY = -4,    /* the heap cannot grow that far */
    TESSARY_EXISTS = -5,       /* the file or directory is already there */
    TESSARY_TOO_MANY = -6,     /* every handle, or every port, is taken */
    TESSARY_NOT_EMPTY = -7,    /* the directory still holds something */
    TESSARY_IS_DIRECTORY = -8, /* a directory where a file is needed */
    TESSARY_IN_USE = -9,       /* the port is open already */
    TESSARY_NO_NETWORK = -10,  /* the machine has no network card */
    TESSARY_UNREACHABLE = -11, /* no network address yet, or no way to the destination */
    TESSARY_TIMED_OUT = -12,   /* nothing arrived in the time given */
    TESSARY_TOO_LARGE = -13,   /* more than TESSARY_UDP_MAX_DATA bytes */
    TESSARY_QUEUE_FULL = -14,  /* the frames waiting to be sent fill the queue: try again later */
};

#endif
