; example.exe: the program the shell's `exexe` command stores on the disk and
; `exexe2` runs. It greets, asks for a line, prints the line back and returns.
;
; A Tessary program is flat 32-bit code in an MZ file. The kernel copies the
; load module (everything after the header) to 0x100000 and enters it with a
; near CALL at 0x100000 + CS * 16 + IP on a stack of its own; the program ends
; with a near RET. Nothing is relocated, and this code finds its data relative
; to where it runs (EBP below), so it runs at any load address. See "Writing
; programs for Tessary" in README.md.
;
; Build: nasm -f bin -I programs/ -o example.exe programs/example.asm

%include "mz.inc"

FILE_SIZE   equ 4608
LINE_SIZE   equ 256
COLUMNS     equ 80

PRINT       equ 1           ; ESI: 0-terminated string
READ_LINE   equ 2           ; EDI: buffer, ECX: its size; EAX: the length

start:
    call .here                          ; EBP = where the module was loaded
.here:
    pop ebp
    sub ebp, .here - module

    mov eax, PRINT
    lea esi, [ebp + greeting - module]
    int 0x80

    mov eax, READ_LINE
    lea edi, [ebp + line - module]
    mov ecx, LINE_SIZE
    int 0x80
    mov ebx, eax                        ; length of the line

    mov eax, PRINT
    lea esi, [ebp + echo - module]
    int 0x80
    mov eax, PRINT
    lea esi, [ebp + line - module]
    int 0x80

    ; Printing never ends a line, so fill the row with spaces: the shell's
    ; prompt then starts on a fresh one. The row began with the echo text.
    lea eax, [ebx + echo_length]
    xor edx, edx
    mov ecx, COLUMNS
    div ecx                             ; EDX = column after the text
    test edx, edx
    jz .done
    mov eax, PRINT
    lea esi, [ebp + spaces - module + edx]
    int 0x80
.done:
    ret

greeting:   db "Hello from example.exe! Type a line: ", 0
echo:       db "You typed: ", 0
echo_length equ $ - echo - 1
spaces:     times COLUMNS db ' '
            db 0
line:       times LINE_SIZE db 0

    times FILE_SIZE - ($ - mz_header) db 0
mz_end:
