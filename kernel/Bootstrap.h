#pragma once

// Hardware bring-up: interrupt controllers, descriptor table, FPU. (The heap
// is ready before: the runtime sets it up before the kernel object exists.)
class Bootstrap {
public:
    static void Init();
};

// The system globals: console writer, text screen, keyboard and the devices
// found at start-up.
class Global {
public:
    static void Init();
};
