#pragma once

// VERIFY(condition) states an invariant: when it does not hold, the machine
// stops at once with the condition and where it was written, instead of
// going on with a wrong index or a broken structure and failing somewhere
// far away. The kernel stops on the panic screen; host programs print the
// line and abort, which the sanitizers and the fuzzers report as a crash.
[[noreturn]] void verification_failed(char const* condition, char const* file, int line);
// The kernel's stop: the panic screen with the message. base/ cannot reach
// the screen, so the kernel's hardware layer defines it (hal/Panic.cpp).
[[noreturn]] void panic(char const* message);

#define VERIFY(condition)                                                        \
    (__builtin_expect(static_cast<bool>(condition), true) ? static_cast<void>(0) \
                                                          : verification_failed(#condition, __FILE__, __LINE__))
