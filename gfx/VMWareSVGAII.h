#pragma once

#include "hal/MemoryWindow.h"

#include <initializer_list>

// The VMware SVGA II display adapter (PCI 15AD:0405): registers through two
// I/O ports, a linear frame buffer, and a command queue (FIFO) that tells
// the adapter which rectangles of the frame buffer to show anew; the
// pointer is the adapter's own.
// The object can be made on any machine; without the adapter (or with one
// that refuses the interface version) it is not usable: is_usable() says so.
class VMWareSVGAII {
public:
    enum Register : u32 {
        ID = 0,
        Enable = 1,
        Width = 2,
        Height = 3,
        BitsPerPixel = 7,
        FrameBufferStart = 13,
        VRamSize = 15,
        Capabilities = 17,
        MemStart = 18,
        MemSize = 19,
        ConfigDone = 20,
        Sync = 21,
        Busy = 22,
        CursorID = 24,
        CursorX = 25,
        CursorY = 26,
        CursorOn = 27,
    };
    // Header slots of the command queue, as byte offsets.
    enum FIFO : u32 {
        Min = 0,
        Max = 4,
        NextCmd = 8,
        Stop = 12,
    };
    // Command codes of the queue.
    static constexpr u32 CommandUpdate = 1;
    static constexpr u32 VersionId2 = 0x90000002;
    static constexpr u16 VendorID = 0x15AD;
    static constexpr u16 DeviceID = 0x0405;

    VMWareSVGAII();

    bool is_usable() const { return m_usable; }

    ErrorOr<void> set_mode(u16 width, u16 height, u32 depth);
    ErrorOr<void> set_pixel(u16 x, u16 y, u32 colour);
    ErrorOr<void> clear(u32 colour);
    ErrorOr<void> fill(u16 x, u16 y, u16 width, u16 height, u32 colour);
    ErrorOr<void> update(u16 x, u16 y, u16 width, u16 height);
    void set_cursor(bool visible, u16 x, u16 y);

    // Puts one word into the command queue, letting the adapter catch up
    // first when the queue is full.
    ErrorOr<void> write_to_fifo(u32 value);

    MemoryWindow const& video_memory() const { return m_video_memory; }

private:
    void write_register(u32 reg, u32 value);
    u32 read_register(u32 reg);
    ErrorOr<void> initialize_fifo();
    void wait_for_fifo();
    ErrorOr<u32> get_fifo(FIFO slot) { return m_fifo_memory.read32(slot); }
    ErrorOr<void> set_fifo(FIFO slot, u32 value) { return m_fifo_memory.write32(slot, value); }
    ErrorOr<void> queue(std::initializer_list<u32> words);

    bool m_usable { false };
    u16 m_index_port { 0 };
    u16 m_value_port { 0 };
    u16 m_width { 0 };
    u16 m_height { 0 };
    u32 m_bytes_per_pixel { 0 };
    MemoryWindow m_video_memory;
    MemoryWindow m_fifo_memory;
};
