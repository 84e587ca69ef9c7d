#pragma once

#include "base/Error.h"

// The generic kernel life: bring the machine up once, show the boot screen,
// then run the shell for as long as the system runs.
class KernelBase {
public:
    KernelBase()
        : clearScreen(true)
    {
    }
    virtual ~KernelBase() = default;

    // Returns only when an error ended the run (after reporting it) or when
    // the kernel was already started.
    ErrorOr<void> Start();

protected:
    virtual ErrorOr<void> BeforeRun() { return {}; }
    virtual ErrorOr<void> Run() = 0;
    virtual ErrorOr<void> AfterRun() { return {}; }

    bool stopped { false };
    bool started { false };
    bool clearScreen;
};
