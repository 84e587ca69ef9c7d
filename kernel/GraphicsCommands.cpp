#include "kernel/GraphicsCommands.h"

#include "gfx/DesktopTypes.h"
#include "gfx/Draw.h"
#include "gfx/SvgaPointerScreen.h"
#include "gfx/VGA.h"

namespace {

ErrorOr<void> showgui(Kernel& kernel, Argument const&) { return kernel.desktop().run(); }

// The screen stays in graphics mode; the shell goes on writing to the text
// memory behind it.
ErrorOr<void> hdvga(Kernel&, Argument const&)
{
    TRY(VGA::set_mode(ScreenResolution::Mode640x480x16));
    TRY(VGA::clear(Colors::DesktopBlueBackground));
    TRY(Draw::circle_hd(10, 10, 100, 0xFF00FF));
    return VGA::set_pixel(500, 500, 0x00FF00);
}

// The adapter's one driver lives as long as its screen, which never returns
// but on an error.
ErrorOr<void> svga(Kernel&, Argument const&)
{
    VMWareSVGAII adapter;
    if (!adapter.is_usable())
        return Error("no VMware SVGA II adapter (PCI 15AD:0405) in this machine");
    return SvgaPointerScreen(adapter).run();
}

}

void register_graphics_commands(Vector<Command>& table)
{
    table.append({ "showgui", showgui });
    table.append({ "hdvga", hdvga });
    table.append({ "svga", svga });
}
