/* Multiboot entry: save the loader's memory sizes, take our own stack and
   descriptor tables, enable the FPU and SSE state, and enter C++.

   The header's flags ask for page-aligned modules (bit 0) and the memory
   sizes (bit 1); the three words after the checksum are the address fields
   a loader reads only for ELF-less images (bit 16, not set). The GDT is the
   flat model: a null descriptor, ring-0 code (0x08) and data (0x10), ring-3
   code (0x18) and data (0x20), each 4 GiB from base 0, and the task state
   (0x28), which initialize_task_state fills in. */

.set MULTIBOOT_MAGIC, 0x1BADB002
.set MULTIBOOT_FLAGS, 0x00000003
.set STACK_SIZE, 0x50000

.section .multiboot, "awx"
.align 4
multiboot_header:
    .long MULTIBOOT_MAGIC
    .long MULTIBOOT_FLAGS
    .long -(MULTIBOOT_MAGIC + MULTIBOOT_FLAGS)
    .long 0x7FFFFFFF
    .long 0x7FFFFFFF
    .long 0x7FFFFFFF
.global multiboot_upper_memory_kib
multiboot_upper_memory_kib:
    .long 0
.global multiboot_lower_memory_kib
multiboot_lower_memory_kib:
    .long 0

.section .kernel_stack, "aw"
.align 16
kernel_stack_bottom:
    .skip STACK_SIZE
.global kernel_stack_top
kernel_stack_top:

.section .data
.align 8
.global gdt_entries
gdt_entries:
    .byte 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00
    .byte 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x9A, 0xCF, 0x00
    .byte 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x92, 0xCF, 0x00
    .byte 0xFF, 0xFF, 0x00, 0x00, 0x00, 0xFA, 0xCF, 0x00
    .byte 0xFF, 0xFF, 0x00, 0x00, 0x00, 0xF2, 0xCF, 0x00
    .byte 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00
gdt_pointer:
    .word 0x2F
    .long 0
.global idt_pointer
.align 4
idt_pointer:
    .word 0x800
    .long 0
.global multiboot_info
multiboot_info:
    .long 0

.section .text
.global kernel_start
kernel_start:
    cli
    movl %ebx, multiboot_info
    movl 4(%ebx), %eax
    movl %eax, multiboot_lower_memory_kib
    movl 8(%ebx), %eax
    movl %eax, multiboot_upper_memory_kib

    movl $kernel_stack_top, %esp

    movl $gdt_entries, gdt_pointer + 2
    lgdt gdt_pointer
    movw $0x10, %ax
    movw %ax, %ds
    movw %ax, %es
    movw %ax, %fs
    movw %ax, %gs
    movw %ax, %ss
    ljmp $0x08, $1f
1:
    movl $idt_entries, idt_pointer + 2
    lidt idt_pointer

    /* CR4 bit 8 (PCE) lets RDPMC run outside ring 0: a program may read
       the performance counters, which give it nothing of the kernel's. Bit 9 (OSFXSR) tells the processor
       that the system saves the SSE registers with FXSAVE/FXRSTOR, as the
       interrupt stubs do: FXSAVE then includes the XMM registers, and SSE
       instructions run instead of raising invalid-opcode. The kernel is
       built for the i686 and uses none; a loaded program may. */
    movl %cr4, %eax
    orl $0x100, %eax
    movl %eax, %cr4
    orl $0x200, %eax
    movl %eax, %cr4

    /* CR0 keeps only bit 0 (PE, protected mode, set by the loader). Bit 1
       (MP) goes, which the first AND states and the second repeats; bit 2
       (EM) clear lets FPU and SSE instructions run instead of trapping; bit
       3 (TS) clear keeps the first of them from trapping as a task switch;
       bit 5 (NE) clear reports FPU errors the legacy way, on interrupt line
       13, which has no handler: the dispatcher only acknowledges it; bit 18
       (AM) clear: no alignment checks; bits 29 and 30 (NW, CD) clear switch
       the caches on in write-back mode; bits 31 (PG) and 16 (WP) are set
       by enable_paging, called below. (Bit 4, ET, is fixed
       to 1 on every processor since the i486 whatever is written.) */
    movl %cr0, %eax
    andl $0xFFFFFFFD, %eax
    andl $0x00000001, %eax
    movl %eax, %cr0

    call initialize_task_state
    call enable_paging
    call kernel_runtime_entry

2:
    cli
    hlt
    jmp 2b

.section .note.GNU-stack, "", @progbits
