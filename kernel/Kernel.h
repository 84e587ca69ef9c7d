#pragma once

#include "base/OwnPtr.h"
#include "fs/FileHandles.h"
#include "fs/Storage.h"
#include "gfx/ProgramDisplay.h"
#include "hal/Keyboard.h"
#include "hal/ProgramRunner.h"
#include "hal/TextConsole.h"
#include "kernel/Desktop.h"
#include "kernel/Shell.h"
#include "kernel/TessScript.h"
#include "net/NetworkStack.h"
#include "net/ProgramSockets.h"

class Kernel;

using CommandHandler = ErrorOr<void> (*)(Kernel& kernel, Argument const& argument);

struct Command {
    char const* word; // lower case
    CommandHandler handler;
};

// The system's kernel: it brings the machine up once, shows the boot
// screen, asks the text-or-graphics question and runs the shell, for as long
// as the system runs. The shell's commands come from whoever makes it
// (shell_commands() in kernel/Commands.h for the system itself).
class Kernel {
public:
    explicit Kernel(Vector<Command> commands);

    // Returns only when an error ended the run (after reporting it) or when
    // the kernel was already started.
    ErrorOr<void> start();

    // The boot screen: the banner, the memory line, and the disks mounted
    // under "Creating partitions...". The start shows it, and so does every
    // restart of the shell.
    ErrorOr<void> show_boot_screen();

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

    // Runs `task` before each question, once the boot screen has mounted the
    // disks; set before the kernel starts. An error it returns ends the run
    // as any other does. The benchmark image measures there.
    using Task = ErrorOr<void> (*)(Kernel& kernel);
    static void run_after_boot_screen(Task task);

    // The disks found at start-up and what the boot screen mounted on them.
    Storage& storage() { return m_storage; }
    // The network above the card found at start-up, if any.
    NetworkStack& network() { return m_network; }

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

private:
    void start_console();
    // Finds the network card, runs the network whenever the system waits and
    // asks for an address, all in the kernel log only.
    void start_network();
    // The idle task: polls the network and logs what DHCP did.
    static void poll_network(void* context);
    // One pass of the run: the question and what its answer starts.
    ErrorOr<void> run();
    ErrorOr<void> prompt_loop();
    ErrorOr<void> write_prompt();

    Vector<Command> m_commands;
    bool m_started { false };
    // The console is bound to these from the start for as long as the system
    // runs.
    OwnPtr<TextScreen> m_screen;
    OwnPtr<TextConsole> m_console_writer;
    OwnPtr<Keyboard> m_keyboard;
    Storage m_storage;
    OwnPtr<NetworkCard> m_network_card;
    NetworkStack m_network { nullptr };
    DhcpState m_reported_dhcp_state { DhcpState::Off };
    bool m_restart_pending { false };
    bool m_skip_boot_question { false };
    Desktop m_desktop { m_skip_boot_question };
    String m_current_directory { "/home/root" };
    TessScript m_script;
    FileHandles m_program_files { storage() };
    ProgramDisplay m_program_display;
    ProgramSockets m_program_sockets { m_network };
    ProgramRunner m_programs { m_program_files, m_program_display, m_program_sockets };
};
