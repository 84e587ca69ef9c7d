#include "arch/Runtime.h"
#include "hal/Console.h"
#include "kernel/Commands.h"

void run_kernel()
{
    // Lives in this frame, which the system never leaves while it runs.
    Kernel kernel { shell_commands() };
    auto result = kernel.start();
    if (result.is_error())
        (void)Console::write_line(result.error().message());
}
