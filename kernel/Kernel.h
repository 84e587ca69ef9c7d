#pragma once

#include "gfx/Controls.h"
#include "kernel/KernelBase.h"
#include "kernel/Shell.h"

class Kernel;
class VGAScreen;
class VMWareSVGAII;
class KLNFS;

using CommandHandler = ErrorOr<void> (*)(Kernel& kernel, Argument const& argument);

struct Command {
    char const* word; // lower case
    CommandHandler handler;
};

// The system's own kernel: the boot screen, the text-or-graphics question and
// the shell.
class Kernel : public KernelBase {
public:
    Kernel();

    // Performs one command line: the command word (matched in lower case)
    // and its argument string.
    ErrorOr<void> runFunc(String const& word, Argument const& argument);

    // Shows the boot screen again and returns to the prompt (or to the
    // question) once the running command has returned. The shell restarts
    // from the kernel's run loop, so restarts never pile up on the stack.
    void RestartShell(bool skipQuestion);

    // Power-off through ACPI; returns, with a message, when the machine
    // stayed on.
    static ErrorOr<void> Shutdown();

    // The shell's byte port access; Outb remembers the last port and value
    // written in PP and D.
    static u8 Inb(u16 port);
    static void Outb(u16 port, u8 value);
    static u16 PP;
    static u8 D;

    // The MZ program that `exexe` stores on the disk (programs/example.asm).
    static constexpr u32 ExampleExeSize = 4608;
    static u8 const Example_exe[ExampleExeSize];

    bool skipBootQuestion { false };

    // When set (before the kernel starts), runs in place of the question and
    // the shell once the boot screen has mounted the disks: the benchmark
    // image measures there.
    static void (*AfterBootScreen)();

    // The graphical desktop (kernel/KernelDesktop.cpp): enters 320x200 with
    // 256 colours and runs the pointer loop; returns only on an error.
    ErrorOr<void> initGui();
    ErrorOr<void> setDesk();
    // Erases the old pointer (every white and red pixel), draws the desktop
    // and the white pointer at (x, y).
    ErrorOr<void> RedrawDesktop(i32 x, i32 y);
    ErrorOr<void> OnClick(u32 x, u32 y);
    ErrorOr<void> BtnClick();
    // The desktop's screen and the SVGA adapter driver, made at first use
    // (after the PCI walk, which the driver needs).
    static VGAScreen& scr();
    static VMWareSVGAII& svga();

    i32 lastMouseX { 0 };
    i32 lastMouseY { 0 };
    bool menuOpen { false };
    // The LAUNCH block of the bottom bar.
    Button desktopButton { Point(0, 189), Size(31, 10) };
    // A 16 x 4 bar sprite drawn under the top bar.
    static u32 const barSprite[64];

    // The disk file system of the last partition found at boot; null when
    // there is none.
    static KLNFS* fd;

protected:
    ErrorOr<void> BeforeRun() override;
    ErrorOr<void> Run() override;

private:
    ErrorOr<void> PromptLoop();
    ErrorOr<void> WritePrompt();

    Vector<Command> m_commands;
    bool m_restartPending { false };
};
