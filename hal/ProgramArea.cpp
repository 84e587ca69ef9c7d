#include "hal/ProgramArea.h"

namespace {
Error outside() { return Error("Outside the program area"); }
}

ErrorOr<MemoryWindow> ProgramArea::buffer(u32 address, u32 length)
{
    if (length == 0)
        return MemoryWindow();
    // Unsigned arithmetic cannot wrap here: address is at least Base.
    if (address < Base || address >= End || length > End - address)
        return outside();
    MemoryWindow window(address, length);
    if (window.length() != length)
        return outside();
    return window;
}

ErrorOr<String> ProgramArea::path(u32 address)
{
    if (address < Base || address >= End)
        return outside();
    u32 length = End - address < MaxPathLength + 1 ? End - address : MaxPathLength + 1;
    MemoryWindow window = TRY(buffer(address, length));
    String path;
    for (u32 i = 0; i < length; ++i) {
        u8 byte = TRY(window.read8(i));
        if (byte == 0)
            return path;
        path.append(byte);
    }
    return outside();
}
