#pragma once

#include "base/Error.h"

// The generic kernel life: bring the machine up once, show the boot screen,
// then run the shell for as long as the system runs.
class KernelBase {
public:
    virtual ~KernelBase() = default;

    // Returns only when an error ended the run (after reporting it) or when
    // the kernel was already started.
    ErrorOr<void> Start();

protected:
    virtual ErrorOr<void> BeforeRun() { return {}; }
    virtual ErrorOr<void> Run() = 0;

    bool started { false };
};
