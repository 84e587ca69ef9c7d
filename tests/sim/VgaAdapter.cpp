#include "tests/sim/VgaAdapter.h"

VgaAdapter::VgaAdapter()
    : m_window(Sim::memory(0xA0000))
    , m_planes(4, std::vector<u8>(0x10000, 0))
    , m_snapshot(0x10000, 0)
{
    Sim::attach(0x3C0, 0x3DA, this);
    // As text mode leaves them: CRT registers 0-7 write-protected.
    crtc[0x03] = 0x02;
    crtc[0x11] = 0x8E;
    graphics[5] = 0x10;
    graphics[6] = 0x0E;
}

bool VgaAdapter::routing_register(bool sequencer_port, u8 index) const
{
    if (sequencer_port)
        return index == 2 || index == 4;
    return index == 0 || index == 1 || index == 4 || index == 5 || index == 8;
}

void VgaAdapter::commit()
{
    if (!m_loaded)
        return;
    u8 map_mask = sequencer[2] & 0x0F;
    if (chained()) {
        for (u32 i = 0; i < 0x10000; ++i) {
            if (m_window[i] != m_snapshot[i] && (map_mask & (1 << (i & 3))))
                m_planes[i & 3][i >> 2] = m_window[i];
        }
        m_loaded = false;
        return;
    }
    u8 enable = graphics[1] & 0x0F;
    u8 set_reset = graphics[0] & 0x0F;
    u8 bit_mask = graphics[8];
    for (u32 i = 0; i < 0x10000; ++i) {
        if (m_window[i] == m_snapshot[i])
            continue;
        for (int p = 0; p < 4; ++p) {
            if (!(map_mask & (1 << p)))
                continue;
            u8 data = (enable & (1 << p)) ? ((set_reset & (1 << p)) ? 0xFF : 0x00) : m_window[i];
            m_planes[p][i] = static_cast<u8>((data & bit_mask) | (m_planes[p][i] & ~bit_mask));
        }
    }
    m_loaded = false;
}

void VgaAdapter::load()
{
    if (chained()) {
        for (u32 i = 0; i < 0x10000; ++i)
            m_window[i] = m_planes[i & 3][i >> 2];
    } else if (!planar()) {
        return;
    } else if ((graphics[1] & 0x0F) == 0x0F) {
        std::fill(m_window, m_window + 0x10000, 0);
    } else {
        auto const& source = m_planes[graphics[4] & 3];
        std::copy(source.begin(), source.end(), m_window);
    }
    std::copy(m_window, m_window + 0x10000, m_snapshot.begin());
    m_loaded = true;
}

u8 VgaAdapter::plane(int p, u32 offset)
{
    commit();
    load();
    return m_planes[p][offset];
}

void VgaAdapter::write_plane(int p, u32 offset, std::span<u8 const> bytes)
{
    commit();
    std::copy(bytes.begin(), bytes.end(), m_planes[p].begin() + offset);
    load();
}

u32 VgaAdapter::planar_pixel(u32 width, u32 x, u32 y)
{
    u32 offset = width / 8 * y + x / 8;
    u8 mask = static_cast<u8>(0x80 >> (x & 7));
    u32 colour = 0;
    for (int p = 0; p < 4; ++p) {
        if (plane(p, offset) & mask)
            colour |= 1u << p;
    }
    return colour;
}

std::vector<u8> VgaAdapter::planar_screen(u32 width, u32 height)
{
    commit();
    load();
    std::vector<u8> pixels(width * height);
    for (u32 y = 0; y < height; ++y) {
        for (u32 x = 0; x < width; ++x) {
            u32 offset = width / 8 * y + x / 8;
            u8 mask = static_cast<u8>(0x80 >> (x & 7));
            for (int p = 0; p < 4; ++p) {
                if (m_planes[p][offset] & mask)
                    pixels[y * width + x] |= static_cast<u8>(1u << p);
            }
        }
    }
    return pixels;
}

u32 VgaAdapter::read(u16 port, int)
{
    switch (port) {
    case 0x3C5:
        return sequencer[m_sequencer_index % 5];
    case 0x3CF:
        return graphics[m_graphics_index % 9];
    case 0x3D5:
        return crtc[m_crtc_index % 25];
    case 0x3DA:
        m_attribute_data = false;
        return 0;
    case 0x3C1:
        return attribute[m_attribute_index % 21];
    case 0x3CC:
        return misc;
    case 0x3C9: {
        u8 value = dac[m_dac_read_index][m_dac_read_component];
        if (++m_dac_read_component == 3) {
            m_dac_read_component = 0;
            ++m_dac_read_index;
        }
        return value;
    }
    }
    return 0xFF;
}

void VgaAdapter::write(u16 port, u32 value, int)
{
    u8 v = static_cast<u8>(value);
    switch (port) {
    case 0x3C0:
        if (m_attribute_data)
            attribute[m_attribute_index % 21] = v;
        else
            m_attribute_index = v & 0x1F;
        m_attribute_data = !m_attribute_data;
        break;
    case 0x3C2:
        misc = v;
        break;
    case 0x3C4:
        m_sequencer_index = v;
        break;
    case 0x3C5:
    case 0x3CF: {
        bool sequencer_port = port == 0x3C5;
        u8 index = sequencer_port ? m_sequencer_index : m_graphics_index;
        bool routing = routing_register(sequencer_port, index);
        if (routing)
            commit();
        if (sequencer_port)
            sequencer[index % 5] = v;
        else
            graphics[index % 9] = v;
        if (routing)
            load();
        break;
    }
    case 0x3CE:
        m_graphics_index = v;
        break;
    case 0x3D4:
        m_crtc_index = v;
        break;
    case 0x3D5:
        crtc[m_crtc_index % 25] = v;
        break;
    case 0x3C7:
        m_dac_read_index = v;
        m_dac_read_component = 0;
        break;
    case 0x3C8:
        m_dac_index = v;
        m_dac_component = 0;
        break;
    case 0x3C9:
        dac[m_dac_index][m_dac_component] = v;
        if (++m_dac_component == 3) {
            m_dac_component = 0;
            ++m_dac_index;
        }
        break;
    }
}
