// Machine facts the boot image provides in the kernel; the simulated machine
// reports a 128 MiB loader figure.
#include "arch/Runtime.h"

u32 get_amount_of_ram() { return 129920 / 1024 + 1; }
u32 get_end_of_kernel() { return 0x600000; }
