/* One entry stub per vector, each 16 bytes long so that the stub of vector n
   sits at interrupt_stubs + 16 * n. A stub pushes a zero error code where the
   processor pushes none, then the vector number, and joins the common path,
   which builds the IRQContext, saves the FPU/SSE state with FXSAVE, loads
   the kernel's data segments (a program's are in the segment registers
   when it is interrupted) and calls the dispatcher. */

.altmacro

.macro interrupt_stub vector
    .align 16
    .if (\vector == 8) || (\vector == 10) || (\vector == 11) || (\vector == 12) || (\vector == 13) || (\vector == 14) || (\vector == 17)
    .else
        pushl $0
    .endif
    pushl $\vector
    jmp interrupt_common
.endm

.section .text
.align 16
.global interrupt_stubs
interrupt_stubs:
.set vector, 0
.rept 256
    interrupt_stub %vector
    .set vector, vector + 1
.endr

interrupt_common:
    pushl %ds
    pushl %es
    pushl %fs
    pushl %gs
    pushal
    movw $0x10, %ax
    movw %ax, %ds
    movw %ax, %es
    movw %ax, %fs
    movw %ax, %gs
    subl $4, %esp              /* the save-area pointer word */
    movl %esp, %ebp            /* context address */
    andl $-16, %esp
    subl $512, %esp
    fxsave (%esp)
    movl %esp, (%ebp)
    cld
    pushl %ebp
    ljmp $0x08, $1f
1:
    call interrupt_dispatch
    addl $4, %esp
    fxrstor (%esp)
    movl %ebp, %esp
    addl $4, %esp
    popal
    popl %gs
    popl %fs
    popl %es
    popl %ds
    addl $8, %esp              /* vector number and error code */
    iret

.section .note.GNU-stack, "", @progbits
