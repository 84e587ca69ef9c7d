#pragma once

#include "base/Types.h"

// Work the system does whenever it waits, for a key, the mouse or time to
// pass: the network's poll, so a frame is answered within milliseconds
// whatever the shell or a program's call is waiting for. One task at most,
// set by the kernel; the waiting loops run it each time they wake.
namespace Idle {
using Task = void (*)(void* context);
// A task is never left without a run for longer than this.
constexpr u32 TaskPeriodMs = 20;

// Null for none.
void set_task(Task task, void* context);
// Runs the task, if one is set, with interrupts on.
void run_task();
// Enables interrupts and halts until the next one, in one step (the caller
// disabled them to check what it waits for). With a task set, the interval
// timer ends the halt after TaskPeriodMs at the latest.
void halt();
}
