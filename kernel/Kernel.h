#pragma once

#include "fs/FileHandles.h"
#include "gfx/ProgramDisplay.h"
#include "hal/ProgramRunner.h"
#include "kernel/Desktop.h"
#include "kernel/KernelBase.h"
#include "kernel/Shell.h"
#include "kernel/TessScript.h"

class Kernel;

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
    ErrorOr<void> run_command(String const& word, Argument const& argument);

    // Shows the boot screen again and returns to the prompt (or to the
    // question) once the running command has returned. The shell restarts
    // from the kernel's run loop, so restarts never pile up on the stack.
    void restart_shell(bool skip_question);

    // Power-off through ACPI; returns, with a message, when the machine
    // stayed on.
    static ErrorOr<void> shutdown();

    // Whether the shell's next start skips the boot question.
    bool skip_boot_question() const { return m_skip_boot_question; }
    void set_skip_boot_question(bool skip) { m_skip_boot_question = skip; }

    // Runs `task` in place of the question and the shell once the boot
    // screen has mounted the disks; set before the kernel starts. The
    // benchmark image measures there.
    static void run_after_boot_screen(void (*task)(Kernel& kernel));

    // The graphical desktop, which `showgui` and the answer GUI start.
    Desktop& desktop() { return m_desktop; }

    // The shell's current directory, shown in the prompt; only `cd` changes
    // it and nothing checks that it exists.
    String const& current_directory() const { return m_current_directory; }
    void set_current_directory(String directory) { m_current_directory = static_cast<String&&>(directory); }

    // The TessScript interpreter: its stack lasts as long as the kernel.
    TessScript& script() { return m_script; }

    // Runs MZ programs (`run`, `exexe2`) and serves their system calls.
    ProgramRunner& programs() { return m_programs; }
    // The files of the program that runs, and where its relative paths start.
    FileHandles& program_files() { return m_program_files; }

protected:
    ErrorOr<void> before_run() override;
    ErrorOr<void> run() override;

private:
    ErrorOr<void> prompt_loop();
    ErrorOr<void> write_prompt();

    Vector<Command> m_commands;
    bool m_restart_pending { false };
    bool m_skip_boot_question { false };
    Desktop m_desktop { *this };
    String m_current_directory { "/home/root" };
    TessScript m_script;
    FileHandles m_program_files { storage() };
    ProgramDisplay m_program_display;
    ProgramRunner m_programs { m_program_files, m_program_display };
};
