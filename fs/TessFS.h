#pragma once

class Partition;

// A probe for a second file-system format that this system does not have:
// it recognises nothing and changes nothing on the disk.
class TessFS {
public:
    // Probes every partition in BlockDevice::Devices.
    TessFS();
    explicit TessFS(Partition& p);

    static bool isTessFS(Partition& p);

    Partition* partition { nullptr };
};
