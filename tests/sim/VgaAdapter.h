#pragma once

// A simulated VGA adapter: the register file behind ports 0x3C0-0x3DA (with
// the attribute controller's index/data toggle and the DAC's auto-increment
// for writes and reads) and four bit planes behind the 64 KiB window at
// 0xA0000, in the planar modes and in the chained 256-colour mode, where
// window byte i is byte i / 4 of plane i % 4 (as QEMU lays them out). The
// text buffer at 0xB8000 stays plain memory apart from the planes.
//
// The window is plain simulated memory, so CPU accesses cannot be seen one
// by one. The planes are kept in step at every register write that changes
// how the CPU reaches them: bytes that changed in the window since the last
// such write are applied to the planes with the routing then in force (map
// mask, set/reset, bit mask), and the window is then refilled from the plane
// that reads come from. While set/reset drives all four planes the data byte
// does not matter, so the window is cleared and any non-zero byte written
// counts as a write.

#include "tests/sim/Sim.h"

#include <algorithm>
#include <array>
#include <span>
#include <vector>

class VgaAdapter : public Sim::PortDevice {
public:
    VgaAdapter();

    u32 read(u16 port, int width) override;
    void write(u16 port, u32 value, int width) override;

    // Plane contents, brought up to date first.
    u8 plane(int p, u32 offset);
    // Puts bytes into a plane directly, as a font loaded before the test.
    void write_plane(int p, u32 offset, std::span<u8 const> bytes);
    // The colour (0-15) of pixel (x, y) in a planar mode with the given width.
    u32 planar_pixel(u32 width, u32 x, u32 y);
    // Every planar pixel of a width x height screen, row by row: one sync
    // with the window instead of one per pixel.
    std::vector<u8> planar_screen(u32 width, u32 height);
    u8* window() { return m_window; }

    std::array<u8, 5> sequencer {};
    std::array<u8, 25> crtc {};
    std::array<u8, 9> graphics {};
    std::array<u8, 21> attribute {};
    u8 misc { 0 };
    std::array<std::array<u8, 3>, 256> dac {};

private:
    bool planar() const { return (graphics[5] & 0x70) == 0; }
    bool chained() const { return sequencer[4] & 0x08; }
    bool routing_register(bool sequencer_port, u8 index) const;
    void commit();
    void load();

    u8* m_window;
    std::vector<std::vector<u8>> m_planes;
    std::vector<u8> m_snapshot;
    bool m_loaded { false };
    u8 m_sequencer_index { 0 }, m_graphics_index { 0 }, m_crtc_index { 0 }, m_attribute_index { 0 };
    bool m_attribute_data { false };
    u8 m_dac_index { 0 }, m_dac_component { 0 };
    u8 m_dac_read_index { 0 }, m_dac_read_component { 0 };
};
