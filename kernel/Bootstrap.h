#pragma once

// The two steps of a kernel start, in this order.

// Hardware bring-up: interrupt controllers, descriptor table, FPU. (The heap
// is ready before: the runtime sets it up before the kernel object exists.)
void initialize_hardware();

// What the user sees when the hardware layer reports an event of its own:
// heap exhaustion and Ctrl-Alt-Delete. initialize_hardware installs them
// first.
void install_event_handlers();

class Storage;

// The devices the system runs with: the text screen, the console writer and
// the keyboard the console is bound to, the PCI devices, and the ATA drives,
// which go to `storage`.
void initialize_devices(Storage& storage);
