#pragma once

#include "kernel/Kernel.h"

// The disk commands: ls (all forms), mkdir, rmdir, cd, rovazav and tessfs.
void RegisterDiskCommands(Vector<Command>& table);

// The boot's disk steps: names the detected devices, logs in root, creates a
// new root file system, and for every partition formats it (with /home,
// /home/root and /documents) or prints "Drive detected!", then mounts it at
// "/". Kernel::fd ends as the last partition's file system, or null.
ErrorOr<void> DetectAndMountDisks();

// The disk file system found at boot, for the commands that use it; fails
// with "No disk file system" when no partition was found.
ErrorOr<KLNFS*> BootVolume();
