#include "kernel/Kernel.h"

#include "arch/Runtime.h"
#include "hal/Console.h"
#include "hal/Debugger.h"
#include "hal/Idle.h"
#include "hal/Time.h"
#include "kernel/Bootstrap.h"
#include "kernel/Output.h"
#include "net/Ethernet.h"

namespace {

// The system name in '@' letters: "TESS" in red on the left, "ARY" in cyan on
// the right.
char const* const BannerLeft[6] = {
    "@@@@@ @@@@@ @@@@@ @@@@@ ",
    "  @   @     @     @     ",
    "  @   @@@@  @@@@@ @@@@@ ",
    "  @   @         @     @ ",
    "  @   @         @     @ ",
    "  @   @@@@@ @@@@@ @@@@@ ",
};
char const* const BannerRight[6] = {
    " @@  @@@  @ @",
    "@  @ @  @ @ @ ",
    "@@@@ @@@   @ ",
    "@  @ @ @   @ ",
    "@  @ @  @  @  ",
    "@  @ @  @  @ ",
};

struct ColoredLetter {
    char16_t letter;
    u8 color;
};
ColoredLetter const StartingKernel[] = {
    { u'S', 12 },
    { u't', 10 },
    { u'a', 9 },
    { u'r', 11 },
    { u't', 14 },
    { u'i', 3 },
    { u'n', 5 },
    { u'g', 13 },
    { u' ', 8 },
    { u'k', 2 },
    { u'e', 4 },
    { u'r', 6 },
    { u'n', 7 },
    { u'e', 9 },
    { u'l', 12 },
    { u'.', 15 },
    { u'.', 15 },
    { u'.', 15 },
};

void colors(u8 foreground) { Console::writer().screen().set_colors(foreground, 0); }

}

Kernel::Kernel(Vector<Command> commands)
    : m_commands(static_cast<Vector<Command>&&>(commands))
{
}

ErrorOr<void> Kernel::start()
{
    if (m_started) {
        Debugger::send("ERROR: Kernel Already Started");
        return Error("Kernel has already been started. A kernel cannot be started twice.");
    }
    m_started = true;
    Debugger::send("Starting kernel");
    initialize_hardware();
    start_console();

    // The system runs until something fails.
    auto run_until_failure = [this]() -> ErrorOr<void> {
        TRY(find_devices(m_storage));
        start_network();
        Console::clear();
        TRY(show_boot_screen());
        for (;;)
            TRY(run());
    };
    auto result = run_until_failure();
    if (result.is_error()) {
        Debugger::send("Kernel stopped by an error: " + result.error().message());
        (void)Console::write_line("Exception occurred while running kernel:");
        (void)Console::write_line("Exception: " + result.error().message());
    }
    return {};
}

void Kernel::start_console()
{
    m_screen = make_own<TextScreen>();
    m_console_writer = make_own<TextConsole>(*m_screen);
    m_screen->clear();
    m_keyboard = make_own<Keyboard>();
    Console::bind(*m_console_writer, *m_keyboard);
}

// The network's turn whenever the system waits. What DHCP makes of the
// address goes to the kernel log, never to the screen. `ping` and the
// programs' UDP calls poll the stack too, so a change is told against the
// state last reported, not against the one before this poll.
void Kernel::poll_network(void* context)
{
    auto& kernel = *static_cast<Kernel*>(context);
    auto& network = kernel.m_network;
    network.poll(Time::milliseconds_since_start());
    DhcpState state = network.dhcp_state();
    if (state == kernel.m_reported_dhcp_state)
        return;
    kernel.m_reported_dhcp_state = state;
    if (state == DhcpState::Bound && network.subnet())
        Debugger::send("Network address " + network.subnet()->to_string() + " from DHCP");
    else if (state == DhcpState::Failed)
        Debugger::send("Network: no DHCP server answered; no address");
}

void Kernel::start_network()
{
    auto card = find_network_card();
    if (card.is_error()) {
        Debugger::send("Network: " + card.error().message());
        return;
    }
    m_network_card = card.release_value();
    m_network.set_card(m_network_card.ptr());
    Idle::set_task(poll_network, this);
    Debugger::send("Network card " + Ethernet::mac_to_string(m_network.mac_address()) + ": asking DHCP for an address");
    (void)m_network.start_dhcp();
    m_reported_dhcp_state = m_network.dhcp_state();
}

void Kernel::restart_shell(bool skip_question)
{
    m_skip_boot_question = skip_question;
    m_restart_pending = true;
}

namespace {
Kernel::Task g_after_boot_screen = nullptr;
}

void Kernel::run_after_boot_screen(Task task) { g_after_boot_screen = task; }

ErrorOr<void> Kernel::show_boot_screen()
{
    Console::clear();
    for (int row = 0; row < 6; ++row) {
        colors(12);
        TRY(Console::write(BannerLeft[row]));
        colors(11);
        TRY(Console::write_line(BannerRight[row]));
    }
    colors(5);
    TRY(Console::write_line("Tessary 0.2 Booting..."));
    Time::wait(2);
    colors(15);
    TRY(Console::write_line("Checking Memory..."));
    Time::wait(1);
    TRY(Console::write("Memory: " + String::number(get_amount_of_ram() + 2) + " MB "));
    colors(10);
    TRY(Console::write_line("OK"));
    colors(15);
    size_t count = sizeof StartingKernel / sizeof StartingKernel[0];
    for (size_t i = 0; i < count; ++i) {
        colors(StartingKernel[i].color);
        if (i + 1 < count)
            TRY(Console::write(StartingKernel[i].letter));
        else
            TRY(Console::write_line(String::repeated(StartingKernel[i].letter, 1)));
    }
    Time::wait(1);
    colors(15);
    TRY(Console::write("Creating partitions..."));
    TRY(mount_disks(m_storage));
    colors(10);
    TRY(Console::write_line("OK"));
    colors(15);
    Debugger::send("Boot screen done");
    return {};
}

ErrorOr<void> Kernel::run()
{
    if (g_after_boot_screen)
        TRY(g_after_boot_screen(*this));
    if (m_restart_pending) {
        m_restart_pending = false;
        Console::clear();
        TRY(show_boot_screen());
    }
    if (m_skip_boot_question) {
        m_skip_boot_question = false;
        return prompt_loop();
    }
    TRY(Console::write_line("Do you want to boot on DOS or on GUI? DOS/GUI"));
    String answer = TRY(Console::read_line());
    if (answer == "DOS")
        return prompt_loop();
    if (answer == "GUI")
        return m_desktop.run();
    // Anything else returns, and the run loop asks again.
    return {};
}

ErrorOr<void> Kernel::write_prompt()
{
    Console::set_foreground_color(ConsoleColor::Yellow);
    TRY(Console::write("root "));
    Console::set_foreground_color(ConsoleColor::Red);
    TRY(Console::write("~"));
    TRY(Console::write(m_current_directory));
    TRY(Console::write(" "));
    Console::set_foreground_color(ConsoleColor::Blue);
    TRY(Console::write("# "));
    Console::set_foreground_color(ConsoleColor::White);
    return {};
}

ErrorOr<void> Kernel::prompt_loop()
{
    Debugger::send("Shell started");
    while (!m_restart_pending) {
        TRY(write_prompt());
        String line = TRY(Console::read_line());
        Vector<String> parts = split_at_first_space(line);
        String word = parts.size() > 0 ? parts[0] : String();
        Argument argument;
        if (parts.size() > 1)
            argument = parts[1];
        auto result = run_command(word, argument);
        if (result.is_error()) {
            Debugger::send("Command " + word + " failed: " + result.error().message());
            TRY(write_error(result.error().message()));
        }
    }
    return {};
}

ErrorOr<void> Kernel::run_command(String const& word, Argument const& argument)
{
    String command = word.to_lower();
    for (auto const& entry : m_commands) {
        if (command == entry.word)
            return entry.handler(*this, argument);
    }
    if (word.is_empty())
        return {};
    Console::set_background_color(ConsoleColor::Red);
    TRY(Console::write_line("UNKNOWN COMMAND: " + word));
    Console::set_background_color(ConsoleColor::Black);
    return {};
}
