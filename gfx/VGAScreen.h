#pragma once

#include "gfx/VGAPortGroup.h"

// The desktop's screen: the VGA adapter in 320x200 with 256 colours. Until
// set_mode320x200x8 is called its pixel writer and reader fail.
class VGAScreen {
public:
    void set_mode320x200x8();
    // The memory window that graphics controller register 6 maps in.
    ErrorOr<MemoryWindow> get_framebuffer_segment();

    ErrorOr<void> set_pixel(u32 x, u32 y, u32 colour);
    ErrorOr<u32> get_pixel(u32 x, u32 y);

    ErrorOr<void> clear(i32 colour);
    // Sets the pixels x0..x1, y0..y1 (inclusive) as the pixel writer would,
    // a row at a time.
    ErrorOr<void> fill_rectangle(u32 x0, u32 y0, u32 x1, u32 y1, u32 colour);

    // Direct access to the 64,000 visible bytes, for whole-screen passes.
    static MemoryWindow framebuffer() { return VGAPortGroup::vga_memory_block(); }
    // Until called again with null, the pixel writer, the reader and
    // fill_rectangle work on `buffer` (as long as the video window, with the
    // same bounds) instead of the screen: pictures are prepared off screen.
    void set_target(ByteBuffer* buffer) { m_target = buffer; }

    // The rows of video memory written through this screen since the last
    // call, so a redraw can leave alone the rows nothing has touched.
    struct RowRange {
        u32 first;
        u32 last;
        bool empty() const { return first > last; }
    };
    RowRange take_dirty_rows();
    // For writes that bypass this object: every row counts as touched.
    void mark_all_dirty() { m_dirty = { 0, 0xFFFF }; }

private:
    // Sets `count` bytes of the off-screen target from `offset` on.
    ErrorOr<void> fill_target(u32 offset, u8 value, u32 count);
    void mark_dirty(u32 offset, u32 count);

    bool m_mode_set { false };
    i32 m_pixel_width { 0 };
    i32 m_pixel_height { 0 };
    ByteBuffer* m_target { nullptr };
    RowRange m_dirty { 0, 0xFFFF };
};
