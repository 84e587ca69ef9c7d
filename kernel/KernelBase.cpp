#include "kernel/KernelBase.h"

#include "hal/Console.h"
#include "hal/Debugger.h"
#include "kernel/Bootstrap.h"

ErrorOr<void> KernelBase::Start()
{
    if (started) {
        Debugger::Send("ERROR: Kernel Already Started");
        return Error("Kernel has already been started. A kernel cannot be started twice.");
    }
    started = true;
    Debugger::Send("Starting kernel");
    initialize_hardware();
    initialize_devices(m_storage);
    Console::Clear();

    // The system runs until something fails.
    auto run = [this]() -> ErrorOr<void> {
        TRY(BeforeRun());
        for (;;)
            TRY(Run());
    };
    auto result = run();
    if (result.is_error()) {
        Debugger::Send("Kernel stopped by an error: " + result.error().message());
        (void)Console::WriteLine("Exception occurred while running kernel:");
        (void)Console::WriteLine("Exception: " + result.error().message());
    }
    return {};
}
