#pragma once

#include "kernel/KernelBase.h"
#include "kernel/Shell.h"

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
    ErrorOr<void> runFunc(String const& word, Argument const& argument);

    // Shows the boot screen again and returns to the prompt (or to the
    // question) once the running command has returned. The shell restarts
    // from the kernel's run loop, so restarts never pile up on the stack.
    void RestartShell(bool skipQuestion);

    // Restart through the keyboard controller.
    static void RebootACPI();

    bool skipBootQuestion { false };

protected:
    ErrorOr<void> BeforeRun() override;
    ErrorOr<void> Run() override;

private:
    ErrorOr<void> PromptLoop();
    ErrorOr<void> WritePrompt();

    Vector<Command> m_commands;
    bool m_restartPending { false };
};
