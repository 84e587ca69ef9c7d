#pragma once

#include "base/OwnPtr.h"
#include "fs/AtaPio.h"
#include "fs/DiskFilesystem.h"

// A named entry of the device registry: "/dev/sda", "/dev/sda1", ...
struct NamedDevice {
    String name;
    BlockDevice* device;
};

// The storage the system runs on: the block devices found at start-up (the
// drives and partitions it creates itself it also owns), their names, and
// the volume the boot screen mounted, used on behalf of the logged-in user.
// The kernel owns the one instance; the host tools and tests make their own.
class Storage {
public:
    // Start-up probe of one drive slot: a disk found there is added, followed
    // by the partitions of its MBR.
    void probe_ata(AtaPio::Controller controller, AtaPio::Position position);
    // Start-up probe of the AHCI controllers the PCI walk found (class 01,
    // sub-class 06, interface 01): every ATA disk on their ports is added
    // with its partitions, in controller and port order.
    void probe_ahci();
    // Adds a disk and its partitions. A disk added this way stays its
    // caller's; the partitions made for it belong to the storage.
    ErrorOr<void> add_disk(BlockDevice& disk);
    // Adds a single device as it is (a test stands in for the probe with it).
    void add_device(BlockDevice& device) { m_devices.append(&device); }

    // Every block device, in discovery order: each disk is directly followed
    // by its partitions.
    Vector<BlockDevice*> const& devices() const { return m_devices; }

    // Names every block device: disks /dev/sda, /dev/sdb, ... and partitions
    // /dev/sda1, /dev/sda2, ... with one counter across all disks. The names
    // are made again on every call, so a restarted boot screen names the
    // same devices again.
    void name_devices();
    Vector<NamedDevice> const& named_devices() const { return m_named; }

    // Lets go of the boot volume.
    void unmount() { m_boot_volume.clear(); }
    // Takes the volume the shell works on.
    void mount_boot_volume(OwnPtr<DiskFilesystem> volume);

    // The user every mounted volume makes its permission checks for.
    User const& user() const { return m_user; }
    void log_in(User user) { m_user = static_cast<User&&>(user); }

    // The files of the volume mounted at boot, the one door the commands,
    // the editors, the scripts and the programs use: "No disk file system"
    // without one.
    ErrorOr<Filesystem*> filesystem();
    // The same volume as the disk file system it is, for the instruments
    // that look below the door (the file-system check, the benchmarks).
    ErrorOr<DiskFilesystem*> boot_volume();

private:
    BlockDevice& keep(OwnPtr<BlockDevice> device);

    Vector<OwnPtr<BlockDevice>> m_created;
    Vector<BlockDevice*> m_devices;
    Vector<NamedDevice> m_named;
    User m_user { User::root() };
    OwnPtr<DiskFilesystem> m_boot_volume;
};
