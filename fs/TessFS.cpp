#include "fs/TessFS.h"

#include "fs/Partition.h"

TessFS::TessFS()
{
    for (auto* device : BlockDevice::Devices) {
        if (auto* p = device->AsPartition())
            TessFS { *p };
    }
}

TessFS::TessFS(Partition& p)
    : partition(&p)
{
    (void)isTessFS(p);
}

bool TessFS::isTessFS(Partition&) { return false; }
