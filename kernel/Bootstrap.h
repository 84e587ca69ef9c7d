#pragma once

#include "base/Error.h"

#include "base/OwnPtr.h"

class NetworkCard;
class Storage;

// The steps of a kernel start, in this order. The kernel object takes them
// in Kernel::start; the boot screen repeats the last one.

// Hardware bring-up: interrupt controllers, descriptor table, FPU. (The heap
// is ready before: the runtime sets it up before the kernel object exists.)
void initialize_hardware();

// What the user sees when the hardware layer reports an event of its own:
// heap exhaustion and Ctrl-Alt-Delete. initialize_hardware installs them
// first.
void install_event_handlers();

// The disks and the other devices: the ATA drives, the walk of the PCI buses
// with one line on screen per function found (indented five spaces per
// bridge crossed), and, when there is no ATA drive, the disks of the AHCI
// controllers the walk found. The disks go to `storage`.
ErrorOr<void> find_devices(Storage& storage);

// The first network card the PCI walk found that a driver of ours serves,
// started.
ErrorOr<OwnPtr<NetworkCard>> find_network_card();

// The boot screen's disk step: names the detected devices, logs in root,
// unmounts what the last run mounted, and for every partition formats it
// (with /home, /home/root and /documents) or prints "Drive detected!"; the
// last partition with a file system becomes the boot volume, mounted at "/".
// Another system's partition is never written.
ErrorOr<void> mount_disks(Storage& storage);
