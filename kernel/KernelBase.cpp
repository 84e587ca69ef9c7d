#include "kernel/KernelBase.h"

#include "hal/Console.h"
#include "hal/Debugger.h"
#include "kernel/Bootstrap.h"

ErrorOr<void> KernelBase::start()
{
    if (m_started) {
        Debugger::send("ERROR: Kernel Already Started");
        return Error("Kernel has already been started. A kernel cannot be started twice.");
    }
    m_started = true;
    Debugger::send("Starting kernel");
    initialize_hardware();
    initialize_devices(m_storage);
    Console::clear();

    // The system runs until something fails.
    auto run_until_failure = [this]() -> ErrorOr<void> {
        TRY(before_run());
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
