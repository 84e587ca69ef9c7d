/* Entering and leaving a program (Cpu::enter_program and Cpu::leave_program
   in arch/Cpu.h, which call these). The kernel's callee-saved registers,
   EFLAGS, x87 control word and stack pointer go into the caller's
   KernelReturnPoint; the program then runs on its own stack, so everything
   it pushes, interrupt frames included, lies on that stack and never on the
   kernel's.

   Leaving from inside a system call abandons the interrupt entry frame, the
   dispatcher's frames and the FXSAVE image the stub made: they all live on
   the program's stack, which is given up as a whole, while the kernel stack
   pointer saved here lies above the kernel frames that are still live. The
   system call path holds nothing that needs undoing (no lock, no allocation,
   no end of interrupt: INT 0x80 is no hardware line). The gate cleared the
   interrupt flag on the way in; restoring the saved EFLAGS brings back the
   shell's own flag, so the kernel continues exactly as after a plain
   return. */

.section .bss
.align 4
/* The point of the program now running, for the path of its near RET, where
   no register of the kernel's survives. */
current_return_point:
    .long 0

.section .text
.global program_enter
/* i32 program_enter(u32 entry, u32 stack_top, KernelReturnPoint* point) */
program_enter:
    movl 12(%esp), %edx
    movl %ebx, 0(%edx)
    movl %esi, 4(%edx)
    movl %edi, 8(%edx)
    movl %ebp, 12(%edx)
    movl %esp, 16(%edx)
    pushfl
    popl 20(%edx)
    fnstcw 24(%edx)
    movl %edx, current_return_point
    movl 4(%esp), %eax
    movl 8(%esp), %esp
    call *%eax
    /* The program returned: status 0. */
    movl current_return_point, %edx
    xorl %eax, %eax
    jmp restore_kernel

.global program_leave
/* void program_leave(KernelReturnPoint const* point, i32 status) */
program_leave:
    movl 4(%esp), %edx
    movl 8(%esp), %eax
restore_kernel:
    movl 0(%edx), %ebx
    movl 4(%edx), %esi
    movl 8(%edx), %edi
    movl 12(%edx), %ebp
    movl 16(%edx), %esp
    fldcw 24(%edx)
    /* Pushed below program_enter's return address, in space the kernel no
       longer uses. */
    pushl 20(%edx)
    popfl
    ret

.section .note.GNU-stack, "", @progbits
