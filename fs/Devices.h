#pragma once

#include "fs/AtaPio.h"

// A named entry of the system's device registry: "/dev/sda", "/dev/sda1", ...
struct device {
    String name;
    BlockDevice* blockDevice;
};

class Devices {
public:
    static Vector<device> dev;
};

class ATA {
public:
    // Start-up probe of one drive slot: a disk found there is added to
    // BlockDevice::Devices, followed by the partitions of its MBR.
    static void InitAta(AtaPio::Controller controller, AtaPio::Position position);
    // Adds a disk and its partitions to BlockDevice::Devices (also used by
    // tests and tools with devices of their own).
    static ErrorOr<void> AddDisk(BlockDevice& disk);

    // Names every block device in Devices::dev: disks /dev/sda, /dev/sdb, ...
    // and partitions /dev/sda1, /dev/sda2, ... with one counter across all
    // disks. The registry is rebuilt on every call, so a restarted boot
    // screen names the same devices again.
    static void Detect();
    // Empties the registry and frees the drives and partitions it created
    // (disks added by reference stay their owner's).
    static void Forget();
    static char16_t nextDiskLetter;
};
