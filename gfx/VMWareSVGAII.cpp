#include "gfx/VMWareSVGAII.h"

#include "arch/Port.h"
#include "hal/Debugger.h"
#include "hal/Pci.h"

namespace {
// The queue starts after a header of 293 words.
constexpr u32 QueueStart = 0x494;
// A working adapter finishes its queue long before this many polls; one
// that never does must not freeze the machine.
constexpr u32 BusyPollLimit = 10'000'000;
}

VMWareSVGAII::VMWareSVGAII()
{
    PCIDevice* device = PCI::GetDevice(VendorID, DeviceID);
    if (!device || device->Kind() != PCIHeaderType::Normal)
        return;
    device->EnableMemory(true);
    u16 base = static_cast<u16>(static_cast<PCIDeviceNormal*>(device)->BAR(0).BaseAddress);
    IndexPort = base;
    ValuePort = static_cast<u16>(base + 1);

    WriteRegister(ID, VersionId2);
    if (ReadRegister(ID) != VersionId2)
        return;
    m_video_memory = MemoryWindow(ReadRegister(FrameBufferStart), ReadRegister(VRamSize));
    u32 capabilities = ReadRegister(Capabilities);
    m_usable = !InitializeFIFO().is_error();
    Debugger::Send("SVGA: frame buffer 0x" + String::hex(m_video_memory.base(), 8) + " (" + String::number(m_video_memory.length())
        + " bytes), queue 0x" + String::hex(m_fifo_memory.base(), 8) + " (" + String::number(m_fifo_memory.length())
        + " bytes), capabilities 0x" + String::hex(capabilities, 8));
}

void VMWareSVGAII::WriteRegister(u32 reg, u32 value)
{
    Port::out32(IndexPort, reg);
    Port::out32(ValuePort, value);
}

u32 VMWareSVGAII::ReadRegister(u32 reg)
{
    Port::out32(IndexPort, reg);
    return Port::in32(ValuePort);
}

ErrorOr<void> VMWareSVGAII::InitializeFIFO()
{
    m_fifo_memory = MemoryWindow(ReadRegister(MemStart), ReadRegister(MemSize));
    TRY(SetFIFO(Min, QueueStart));
    TRY(SetFIFO(Max, m_fifo_memory.length()));
    TRY(SetFIFO(NextCmd, QueueStart));
    TRY(SetFIFO(Stop, QueueStart));
    WriteRegister(ConfigDone, 1);
    return {};
}

ErrorOr<void> VMWareSVGAII::SetMode(u16 width, u16 height, u32 depth)
{
    m_bytesPerPixel = depth / 8;
    m_width = width;
    m_height = height;
    WriteRegister(Width, width);
    WriteRegister(Height, height);
    WriteRegister(BitsPerPixel, depth);
    WriteRegister(Enable, 1);
    return InitializeFIFO();
}

ErrorOr<void> VMWareSVGAII::SetPixel(u16 x, u16 y, u32 colour)
{
    return m_video_memory.write32((static_cast<u32>(y) * m_width + x) * m_bytesPerPixel, colour);
}

void VMWareSVGAII::WaitForFifo()
{
    WriteRegister(Sync, 1);
    for (u32 i = 0; i < BusyPollLimit && ReadRegister(Busy) != 0; ++i) { }
}

ErrorOr<void> VMWareSVGAII::WriteToFifo(u32 value)
{
    u32 min = TRY(GetFIFO(Min));
    u32 max = TRY(GetFIFO(Max));
    u32 next = TRY(GetFIFO(NextCmd));
    u32 stop = TRY(GetFIFO(Stop));
    if (next + 4 == stop || (next == max - 4 && stop == min))
        WaitForFifo();
    TRY(m_fifo_memory.write32(next, value));
    next += 4;
    if (next == max)
        next = min;
    return SetFIFO(NextCmd, next);
}

ErrorOr<void> VMWareSVGAII::Queue(std::initializer_list<u32> words)
{
    for (u32 word : words)
        TRY(WriteToFifo(word));
    return {};
}

ErrorOr<void> VMWareSVGAII::Update(u16 x, u16 y, u16 width, u16 height)
{
    TRY(Queue({ CommandUpdate, x, y, width, height }));
    WaitForFifo();
    return {};
}

ErrorOr<void> VMWareSVGAII::Clear(u32 colour) { return Fill(0, 0, m_width, m_height, colour); }

// The rectangle goes straight into the frame buffer, followed by an Update.
// The fill command is not used: an adapter may reject it until its display
// has caught up with a mode change (QEMU's does), which left the screen
// black right after SetMode.
ErrorOr<void> VMWareSVGAII::Fill(u16 x, u16 y, u16 width, u16 height, u32 colour)
{
    u16 right = static_cast<u16>(x + width);
    u16 bottom = static_cast<u16>(y + height);
    for (u16 row = y; row != bottom; ++row) {
        if (m_bytesPerPixel == 4 && right > x) {
            TRY(m_video_memory.fill32((static_cast<u32>(row) * m_width + x) * 4, colour, static_cast<u32>(right - x)));
            continue;
        }
        for (u16 column = x; column != right; ++column)
            TRY(SetPixel(column, row, colour));
    }
    return Update(x, y, width, height);
}

// The pointer goes through the cursor-bypass registers, which every
// version-2 adapter (QEMU's included) honours; a pointer-move command in the
// queue is not understood everywhere and would put the queue out of step.
void VMWareSVGAII::SetCursor(bool visible, u16 x, u16 y)
{
    WriteRegister(CursorID, 1);
    if (visible) {
        WriteRegister(CursorX, x);
        WriteRegister(CursorY, y);
    }
    WriteRegister(CursorOn, visible ? 1 : 0);
}
