#pragma once

// Called by the runtime once global constructors have run: makes the one
// kernel object and starts it. Never returns while the system runs.
void RunKernel();
