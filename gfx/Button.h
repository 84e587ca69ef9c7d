#pragma once

#include "gfx/DesktopTypes.h"

// A clickable area of the desktop with a fixed place and size.
class Button {
public:
    constexpr Button(Point location, Size size)
        : m_location(location)
        , m_size(size)
    {
    }

    Point location() const { return m_location; }
    ::Size size() const { return m_size; }
    bool contains(i32 x, i32 y) const
    {
        return x >= m_location.x && x <= m_location.x + m_size.width - 1 && y >= m_location.y
            && y <= m_location.y + m_size.height - 1;
    }

private:
    Point m_location;
    ::Size m_size;
};
