#include "bench/Bench.h"

#include "arch/PhysicalMemory.h"

#include "gfx/ProgramDisplay.h"
#include "gfx/SysColors.h"
#include "gfx/VGA.h"
#include "gfx/VGAScreen.h"
#include "kernel/Kernel.h"

// Screen work against the plainest way to fill the same video memory:
// switching to 640x480x16 (which clears the screen and draws the test
// rectangle) against one four-plane fill of its 38,400 bytes, and a full
// desktop redraw and a program's frame against one 64,000-byte copy to
// 0xA0000.
namespace {

constexpr u32 Rounds = 20;

u64 average(Bench::Stopwatch const& watch) { return watch.elapsed_microseconds() / Rounds; }

void planar_benchmarks()
{
    if (!Bench::check(VGA::set_mode(ScreenResolution::Mode640x480x16), "640x480x16"))
        return;
    auto memory = VGAPortGroup::vga_memory_block();
    Bench::Stopwatch raw;
    for (u32 i = 0; i < Rounds; ++i) {
        VGAPortGroup::write_sequencer(VGAPortGroup::SequencerMapMask, 0x0F);
        if (!Bench::check(memory.fill8(0, static_cast<u8>(i), 640 * 480 / 8), "raw fill"))
            return;
    }
    Bench::report("gfx.raw_planar_fill", average(raw), "us");

    Bench::Stopwatch modes;
    for (u32 i = 0; i < Rounds; ++i) {
        if (!Bench::check(VGA::set_mode(ScreenResolution::Mode640x480x16), "mode switch"))
            return;
    }
    Bench::report("gfx.mode_640x480x16", average(modes), "us", "gfx.raw_planar_fill");

    Bench::Stopwatch clears;
    for (u32 i = 0; i < Rounds; ++i) {
        if (!Bench::check(VGA::clear(i), "clear"))
            return;
    }
    Bench::report("gfx.clear_640x480x16", average(clears), "us", "gfx.raw_planar_fill");
}

void desktop_benchmarks()
{
    Kernel kernel { Vector<Command>() };
    auto& desktop = kernel.desktop();
    auto& screen = desktop.screen();
    SysColors::init_colors();
    screen.set_mode320x200x8();
    // The baseline: 16,000 plain 32-bit stores, no bounds checks.
    static u32 g_picture[320 * 200 / 4];
    for (u32 i = 0; i < 320 * 200 / 4; ++i)
        g_picture[i] = i * 0x07070707u;
    auto* video = reinterpret_cast<u32 volatile*>(PhysicalMemory::map(0xA0000, 320 * 200));
    Bench::Stopwatch raw;
    for (u32 i = 0; i < Rounds; ++i) {
        for (u32 w = 0; w < 320 * 200 / 4; ++w)
            video[w] = g_picture[w];
    }
    Bench::report("gfx.raw_copy_64000", average(raw), "us");

    // A program's frame in the page-sized pieces the runner hands over.
    ProgramDisplay display;
    display.set_screen(TESSARY_SCREEN_320X200);
    auto const* picture = reinterpret_cast<u8 const*>(g_picture);
    Bench::Stopwatch frames;
    for (u32 i = 0; i < Rounds; ++i) {
        for (u32 done = 0; done < ProgramScreen::FrameSize; done += 4096) {
            u32 count = ProgramScreen::FrameSize - done < 4096 ? ProgramScreen::FrameSize - done : 4096;
            display.show_frame_piece(done, { picture + done, count });
        }
    }
    Bench::report("gfx.program_frame", average(frames), "us", "gfx.raw_copy_64000");
    display.restore();

    if (!Bench::check(screen.clear(SysColors::Blue), "desktop clear"))
        return;
    // The first redraw also prepares the desktop's picture, which is kept
    // until the panel or the clock's minute changes.
    Bench::Stopwatch first;
    if (!Bench::check(desktop.redraw(99, 100), "desktop redraw"))
        return;
    Bench::report("gfx.desktop_first_redraw", first.elapsed_microseconds(), "us", "gfx.raw_copy_64000");
    Bench::Stopwatch redraws;
    for (u32 i = 0; i < Rounds; ++i) {
        // A different place each time, as when the pointer moves.
        if (!Bench::check(desktop.redraw(static_cast<i32>(100 + i), 100), "desktop redraw"))
            return;
    }
    Bench::report("gfx.desktop_redraw", average(redraws), "us", "gfx.raw_copy_64000");
}

}

void Bench::run_graphics_benchmarks()
{
    planar_benchmarks();
    desktop_benchmarks();
}
