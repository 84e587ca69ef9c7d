#pragma once

#include "base/Error.h"
#include "fs/Storage.h"

// The generic kernel life: bring the machine up once, show the boot screen,
// then run the shell for as long as the system runs.
class KernelBase {
public:
    virtual ~KernelBase() = default;

    // Returns only when an error ended the run (after reporting it) or when
    // the kernel was already started.
    ErrorOr<void> start();

    // The disks found at start-up and what the boot screen mounted on them.
    Storage& storage() { return m_storage; }

protected:
    virtual ErrorOr<void> before_run() { return {}; }
    virtual ErrorOr<void> run() = 0;

    bool m_started { false };

private:
    Storage m_storage;
};
