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

    Point Location() const { return m_location; }
    ::Size Size() const { return m_size; }
    bool Contains(i32 x, i32 y) const
    {
        return x >= m_location.X && x <= m_location.X + m_size.Width - 1 && y >= m_location.Y
            && y <= m_location.Y + m_size.Height - 1;
    }

private:
    Point m_location;
    ::Size m_size;
};
