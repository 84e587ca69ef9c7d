#pragma once

// Hardware bring-up: interrupt controllers, descriptor table, FPU. (The heap
// is ready before: the runtime sets it up before the kernel object exists.)
class Bootstrap {
public:
    static void Init();
    // What the user sees when the hardware layer reports an event of its
    // own: heap exhaustion and Ctrl-Alt-Delete. Init installs them first.
    static void install_event_handlers();
};

// The system globals: console writer, text screen, keyboard and the devices
// found at start-up.
class Global {
public:
    static void Init();
};
