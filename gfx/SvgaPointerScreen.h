#pragma once

#include "gfx/VMWareSVGAII.h"

// The pointer screen on the SVGA adapter: 640x480 in true colour with the
// adapter's own pointer following the mouse.
class SvgaPointerScreen {
public:
    explicit SvgaPointerScreen(VMWareSVGAII& adapter)
        : m_adapter(adapter)
    {
    }

    // Shows the screen and moves the pointer with the mouse; returns only on
    // an error.
    ErrorOr<void> run();

private:
    VMWareSVGAII& m_adapter;
};
