#pragma once

// Hardware bring-up: interrupt controllers, descriptor table, FPU. (The heap
// is ready before: the runtime sets it up before the kernel object exists.)
class Bootstrap {
public:
    static void Init();
};

class Storage;

// The system globals: console writer, text screen and keyboard; the disks
// found at start-up go to `storage`.
class Global {
public:
    static void Init(Storage& storage);
};
