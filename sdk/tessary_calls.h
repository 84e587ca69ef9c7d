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
};

/* Failure results every call may return in EAX. */
enum tessary_failure {
    TESSARY_BAD_ARGUMENT = -1, /* a pointer not on the program's pages, a value out of range */
    TESSARY_NOT_FOUND = -2,    /* no such file, or it is a directory */
    TESSARY_FAILED = -3,       /* disk error, out of space, permission, bad name */
    TESSARY_NO_MEMORY = -4,    /* the heap cannot grow that far */
};

#endif
