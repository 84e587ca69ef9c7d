#pragma once

class TextScreen;
class TextConsole;
class Keyboard;

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
    static TextScreen& Screen();
    static TextConsole& Writer();
    static Keyboard& Keys();
};
