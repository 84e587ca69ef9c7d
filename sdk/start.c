/*
 * start.c: the first code of every program. The linker script puts the
 * section .text.entry at the start of the program's image, and the packer
 * points the MZ entry at _start.
 *
 * The kernel enters as if by a near CALL, ESP at the top of the program's
 * stack (16-byte aligned before the call), which is exactly what a C
 * function expects on entry, so _start needs no assembly: it runs main and
 * passes its result on as the program's status.
 */
#include "tessary.h"

__attribute__((section(".text.entry"), used, noreturn)) void _start(void) { tessary_exit(main()); }
