#include "gfx/SysColors.h"

#include "gfx/VGAPortGroup.h"
#include "gfx/WebColors.h"

namespace {

// Indices 0-11 and 143 are the system's own choice.
// clang-format off
constexpr SysColors::Entry Own[12] = {
    { "Black", { 0, 0, 0 } },
    { "White", { 255, 255, 255 } },
    { "Gray", { 128, 128, 128 } },
    { "Magenta", { 255, 0, 255 } },
    { "Purple", { 160, 32, 240 } },
    { "DarkPurple", { 57, 48, 88 } },
    { "Red", { 255, 0, 0 } },
    { "LightGray", { 192, 192, 192 } },
    { "Green", { 34, 177, 76 } },
    { "Lime", { 0, 255, 0 } },
    { "DarkGray", { 90, 90, 90 } },
    { "Yellow", { 255, 255, 0 } },
};
// clang-format on
constexpr SysColors::Entry Last { "TovalsRandom", { 89, 36, 255 } };

// Web colours left out besides those an own colour already holds under the
// same name and value.
constexpr char const* LeftOut[] = { "Aqua", "DarkGoldenRod" };

constexpr bool held_by_own_colour(WebColors::Colour const& colour)
{
    for (auto const& own : Own) {
        if (WebColors::same_name(own.name, colour.name) && own.rgb[0] == colour.r && own.rgb[1] == colour.g
            && own.rgb[2] == colour.b)
            return true;
    }
    return false;
}

constexpr bool left_out(WebColors::Colour const& colour)
{
    for (auto const* name : LeftOut) {
        if (WebColors::same_name(name, colour.name))
            return true;
    }
    return held_by_own_colour(colour);
}

constexpr std::array<SysColors::Entry, SysColors::Count> make_table()
{
    std::array<SysColors::Entry, SysColors::Count> table {};
    u32 index = 0;
    for (auto const& own : Own)
        table[index++] = own;
    for (auto const& colour : WebColors::Table) {
        if (left_out(colour))
            continue;
        // Light pink has always been shown in light salmon's colour.
        auto const& value = WebColors::same_name(colour.name, "LightPink") ? WebColors::find("LightSalmon") : colour;
        table[index++] = { colour.name, { value.r, value.g, value.b } };
    }
    table[index] = Last;
    return table;
}

constexpr u32 web_colours_kept()
{
    u32 count = 0;
    for (auto const& colour : WebColors::Table)
        count += left_out(colour) ? 0 : 1;
    return count;
}
static_assert(std::size(Own) + web_colours_kept() + 1 == SysColors::Count);

}

// Indices 12 to 142 follow the web colour names alphabetically.
constinit std::array<SysColors::Entry, SysColors::Count> const SysColors::Table = make_table();

void SysColors::init_colors()
{
    for (u32 i = 0; i < Count; ++i)
        VGAPortGroup::set_palette_entry(static_cast<u8>(i), Table[i].rgb[0], Table[i].rgb[1], Table[i].rgb[2]);
    auto const& black = Table[Black].rgb;
    VGAPortGroup::set_palette_entry(TextBlack, black[0], black[1], black[2]);
}
