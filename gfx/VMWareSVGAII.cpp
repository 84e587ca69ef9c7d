#include "gfx/VMWareSVGAII.h"

#include "arch/Port.h"
#include "hal/Debugger.h"
#include "hal/Pci.h"
#include "hal/Time.h"

namespace {
// The queue starts after a header of 293 words.
constexpr u32 QueueStart = 0x494;
// A working adapter finishes its queue well within this; one that never does
// must not freeze the machine.
constexpr u32 FlushMilliseconds = 1000;
}

VMWareSVGAII::VMWareSVGAII()
{
    PCIDevice* device = PCI::get_device(VendorID, DeviceID);
    if (!device || device->kind() != PCIHeaderType::Normal)
        return;
    device->enable_memory(true);
    u16 base = static_cast<u16>(static_cast<PCIDeviceNormal*>(device)->bar(0).base_address);
    m_index_port = base;
    m_value_port = static_cast<u16>(base + 1);

    write_register(ID, VersionId2);
    if (read_register(ID) != VersionId2)
        return;
    m_video_memory = MemoryWindow(read_register(FrameBufferStart), read_register(VRamSize));
    u32 capabilities = read_register(Capabilities);
    m_usable = !initialize_fifo().is_error();
    Debugger::send("SVGA: frame buffer 0x" + String::hex(m_video_memory.base(), 8) + " ("
        + String::number(m_video_memory.length()) + " bytes), queue 0x" + String::hex(m_fifo_memory.base(), 8) + " ("
        + String::number(m_fifo_memory.length()) + " bytes), capabilities 0x" + String::hex(capabilities, 8));
}

void VMWareSVGAII::write_register(u32 reg, u32 value)
{
    Port::out32(m_index_port, reg);
    Port::out32(m_value_port, value);
}

u32 VMWareSVGAII::read_register(u32 reg)
{
    Port::out32(m_index_port, reg);
    return Port::in32(m_value_port);
}

ErrorOr<void> VMWareSVGAII::initialize_fifo()
{
    m_fifo_memory = MemoryWindow(read_register(MemStart), read_register(MemSize));
    TRY(set_fifo(Min, QueueStart));
    TRY(set_fifo(Max, m_fifo_memory.length()));
    TRY(set_fifo(NextCmd, QueueStart));
    TRY(set_fifo(Stop, QueueStart));
    write_register(ConfigDone, 1);
    return {};
}

ErrorOr<void> VMWareSVGAII::set_mode(u16 width, u16 height, u32 depth)
{
    m_bytes_per_pixel = depth / 8;
    m_width = width;
    m_height = height;
    write_register(Width, width);
    write_register(Height, height);
    write_register(BitsPerPixel, depth);
    write_register(Enable, 1);
    return initialize_fifo();
}

ErrorOr<void> VMWareSVGAII::set_pixel(u16 x, u16 y, u32 colour)
{
    return m_video_memory.write32((static_cast<u32>(y) * m_width + x) * m_bytes_per_pixel, colour);
}

void VMWareSVGAII::wait_for_fifo()
{
    write_register(Sync, 1);
    Deadline limit(FlushMilliseconds);
    while (read_register(Busy) != 0 && !limit.has_passed()) { }
}

ErrorOr<void> VMWareSVGAII::write_to_fifo(u32 value)
{
    u32 min = TRY(get_fifo(Min));
    u32 max = TRY(get_fifo(Max));
    u32 next = TRY(get_fifo(NextCmd));
    u32 stop = TRY(get_fifo(Stop));
    if (next + 4 == stop || (next == max - 4 && stop == min))
        wait_for_fifo();
    TRY(m_fifo_memory.write32(next, value));
    next += 4;
    if (next == max)
        next = min;
    return set_fifo(NextCmd, next);
}

ErrorOr<void> VMWareSVGAII::queue(std::initializer_list<u32> words)
{
    for (u32 word : words)
        TRY(write_to_fifo(word));
    return {};
}

ErrorOr<void> VMWareSVGAII::update(u16 x, u16 y, u16 width, u16 height)
{
    TRY(queue({ CommandUpdate, x, y, width, height }));
    wait_for_fifo();
    return {};
}

ErrorOr<void> VMWareSVGAII::clear(u32 colour) { return fill(0, 0, m_width, m_height, colour); }

// The rectangle goes straight into the frame buffer, followed by an Update.
// The fill command is not used: an adapter may reject it until its display
// has caught up with a mode change (QEMU's does), which left the screen
// black right after set_mode.
ErrorOr<void> VMWareSVGAII::fill(u16 x, u16 y, u16 width, u16 height, u32 colour)
{
    u16 right = static_cast<u16>(x + width);
    u16 bottom = static_cast<u16>(y + height);
    for (u16 row = y; row != bottom; ++row) {
        if (m_bytes_per_pixel == 4 && right > x) {
            TRY(m_video_memory.fill32((static_cast<u32>(row) * m_width + x) * 4, colour, static_cast<u32>(right - x)));
            continue;
        }
        for (u16 column = x; column != right; ++column)
            TRY(set_pixel(column, row, colour));
    }
    return update(x, y, width, height);
}

// The pointer goes through the cursor-bypass registers, which every
// version-2 adapter (QEMU's included) honours; a pointer-move command in the
// queue is not understood everywhere and would put the queue out of step.
void VMWareSVGAII::set_cursor(bool visible, u16 x, u16 y)
{
    write_register(CursorID, 1);
    if (visible) {
        write_register(CursorX, x);
        write_register(CursorY, y);
    }
    write_register(CursorOn, visible ? 1 : 0);
}
