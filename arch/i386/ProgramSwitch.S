/* Entering and leaving a program (Cpu::enter_program and Cpu::leave_program
   in arch/Cpu.h, which call these). The kernel's callee-saved registers,
   EFLAGS, x87 control word and stack pointer go into the caller's
   KernelReturnPoint; the program then runs in ring 3 on its own stack.

   The task state's ring-0 stack is the kernel stack just below the saved
   pointer: every interrupt, system call or fault that arrives while the
   program runs is handled there. Leaving from inside one abandons the
   interrupt entry frame, the dispatcher's frames and the FXSAVE image the
   stub made, all of it below the saved pointer, while the frames above it
   are still live. The system call path holds nothing that needs undoing (no
   lock, no allocation, no end of interrupt: INT 0x80 is no hardware line),
   and neither does a fault's. The gate cleared the interrupt flag on the
   way in; restoring the saved EFLAGS brings back the shell's own flag, so
   the kernel continues exactly as after a plain return. */

.set USER_CODE, 0x18 | 3
.set USER_DATA, 0x20 | 3
.set INTERRUPTS_ON, 0x202

.section .text
.global program_enter
/* i32 program_enter(u32 entry, u32 stack_pointer, KernelReturnPoint* point) */
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
    movl %esp, task_state + 4
    movl 4(%esp), %eax
    movl 8(%esp), %ecx
    /* IRET to ring 3: the program's stack, its flags (interrupts on, no
       port access), its code. */
    pushl $USER_DATA
    pushl %ecx
    pushl $INTERRUPTS_ON
    pushl $USER_CODE
    pushl %eax
    movw $USER_DATA, %ax
    movw %ax, %ds
    movw %ax, %es
    movw %ax, %fs
    movw %ax, %gs
    xorl %eax, %eax
    xorl %ebx, %ebx
    xorl %ecx, %ecx
    xorl %edx, %edx
    xorl %esi, %esi
    xorl %edi, %edi
    xorl %ebp, %ebp
    iret

.global program_leave
/* void program_leave(KernelReturnPoint const* point, i32 status) */
program_leave:
    movl 4(%esp), %edx
    movl 8(%esp), %eax
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
