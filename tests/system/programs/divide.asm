; A program that divides by zero: the processor's exception must end the
; program, and only the program.
%include "mz.inc"

start:
    mov eax, 1
    xor edx, edx
    xor ecx, ecx
    div ecx
    ret
mz_end:
