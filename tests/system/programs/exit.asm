; Ends through the exit call from three nested calls deep, after checking
; that a write from a null pointer is refused: the shell must show the
; status and carry on as after a plain return.
%include "mz.inc"

WRITE       equ 17          ; EBX: address, ECX: length
EXIT        equ 16          ; EBX: status

start:
    call .here
.here:
    pop ebp
    sub ebp, .here - module
    mov ecx, 3
    call nested
    ; Never reached: exit does not return.
    mov eax, WRITE
    lea ebx, [ebp + returned - module]
    mov ecx, returned_length
    int 0x80
    ret

nested:
    dec ecx
    jz .deepest
    push ecx
    call nested
    pop ecx
    ret
.deepest:
    mov eax, WRITE
    xor ebx, ebx
    mov ecx, 5
    int 0x80
    mov esi, eax                        ; -1 expected
    mov eax, WRITE
    lea ebx, [ebp + deep - module]
    mov ecx, deep_length
    int 0x80
    mov ebx, 1
    cmp esi, -1
    jne .exit
    mov ebx, -42
.exit:
    mov eax, EXIT
    int 0x80
    ret

deep:       db "deep inside", 10
deep_length equ $ - deep
returned:   db "returned", 10
returned_length equ $ - returned
mz_end:
