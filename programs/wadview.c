/*
 * wadview.c: shows the full-screen pictures of a DOOM data file (a WAD, such
 * as Freedoom's) in 320x200 with the game's own palette, 35 frames a
 * second, as the game's engine would: the file is opened once, its directory
 * read by seeking to it, and every picture read as a piece of the file where
 * the directory says it lies.
 *
 *   run /programs/wadview.exe /documents/freedoom2.wad
 *
 * Right and Left show the next and the previous picture, one per press; a
 * held Up or Down scrolls the picture for as long as it is held; a held P
 * shows it in the palette the game flashes when the player is hurt; Escape
 * or Q ends, and the program says how many frames it showed and how fast.
 */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tessary.h"

#define FRAMES_PER_SECOND 35
#define WIDTH TESSARY_SCREEN_WIDTH
#define HEIGHT TESSARY_SCREEN_HEIGHT
#define PALETTE_SIZE 768
#define HURT_PALETTE 3 /* the third of the eight red palettes */
#define SCROLL_STEP 4  /* pixels a frame */

struct lump {
    uint32_t offset;
    uint32_t size;
    char name[9];
};

static FILE* g_file;
static struct lump* g_lumps;
static uint32_t g_lump_count;
static unsigned long g_bytes_read;
static unsigned g_pieces_read;

static uint32_t little_32(unsigned char const* bytes)
{
    return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | (uint32_t)bytes[3] << 24;
}

static unsigned little_16(unsigned char const* bytes) { return bytes[0] | bytes[1] << 8; }

/* `size` bytes of the file from `offset`: the one way this program reads. */
static int read_piece(uint32_t offset, void* buffer, uint32_t size)
{
    if (fseek(g_file, (long)offset, SEEK_SET) != 0 || fread(buffer, 1, size, g_file) != size)
        return 0;
    g_bytes_read += size;
    ++g_pieces_read;
    return 1;
}

static int read_directory(void)
{
    unsigned char header[12];
    if (!read_piece(0, header, sizeof header) || (memcmp(header, "IWAD", 4) && memcmp(header, "PWAD", 4)))
        return 0;
    g_lump_count = little_32(header + 4);
    uint32_t directory = little_32(header + 8);
    unsigned char* entries = malloc((size_t)g_lump_count * 16);
    g_lumps = calloc(g_lump_count, sizeof *g_lumps);
    if (!entries || !g_lumps || !read_piece(directory, entries, g_lump_count * 16))
        return 0;
    for (uint32_t i = 0; i < g_lump_count; ++i) {
        g_lumps[i].offset = little_32(entries + i * 16);
        g_lumps[i].size = little_32(entries + i * 16 + 4);
        memcpy(g_lumps[i].name, entries + i * 16 + 8, 8);
    }
    free(entries);
    return 1;
}

static struct lump const* find_lump(char const* name)
{
    /* The last of a name counts, as in the game: later files override. */
    for (uint32_t i = g_lump_count; i-- > 0;)
        if (!strncmp(g_lumps[i].name, name, 8))
            return &g_lumps[i];
    return NULL;
}

/* A lump read whole into memory of its own, or NULL. */
static unsigned char* read_lump(struct lump const* lump)
{
    unsigned char* bytes = malloc(lump->size ? lump->size : 1);
    if (bytes && !read_piece(lump->offset, bytes, lump->size)) {
        free(bytes);
        return NULL;
    }
    return bytes;
}

/* A picture in the game's format: columns of runs ("posts") of colour
   numbers, each column found through a table of offsets. Drawn into a
   320x200 image with its top-left corner at (0, 0); what falls outside the
   image or the lump is left out. */
static int draw_picture(unsigned char const* picture, uint32_t size, unsigned char* image)
{
    if (size < 8)
        return 0;
    unsigned width = little_16(picture), height = little_16(picture + 2);
    if (8 + 4 * width > size)
        return 0;
    for (unsigned x = 0; x < width && x < WIDTH; ++x) {
        uint32_t at = little_32(picture + 8 + 4 * x);
        while (at < size && picture[at] != 0xFF) {
            if (at + 3 > size)
                break;
            unsigned top = picture[at], length = picture[at + 1];
            unsigned char const* pixels = picture + at + 3;
            if (at + 4 + length > size)
                break;
            for (unsigned y = 0; y < length && top + y < height && top + y < HEIGHT; ++y)
                image[(top + y) * WIDTH + x] = pixels[y];
            at += 4 + length;
        }
    }
    return 1;
}

/* The full-screen pictures the game has, in the order it shows them. */
static char const* const g_picture_names[]
    = { "TITLEPIC", "CREDIT", "HELP", "HELP1", "HELP2", "INTERPIC", "BOSSBACK", "VICTORY2", "ENDPIC", "CWILV00" };
#define PICTURE_NAMES (sizeof g_picture_names / sizeof g_picture_names[0])

struct viewer {
    struct lump const* pictures[PICTURE_NAMES];
    unsigned count;
    unsigned shown;
    int scroll;
    int up_held, down_held, hurt_held;
    int quit;
    unsigned char image[WIDTH * HEIGHT];
    unsigned char frame[WIDTH * HEIGHT];
    unsigned char palettes[2][PALETTE_SIZE];
};

static int load_picture(struct viewer* viewer)
{
    struct lump const* lump = viewer->pictures[viewer->shown];
    unsigned char* picture = read_lump(lump);
    memset(viewer->image, 0, sizeof viewer->image);
    int drawn = picture && draw_picture(picture, lump->size, viewer->image);
    free(picture);
    viewer->scroll = 0;
    return drawn;
}

/* A press of Right or Left moves one picture on or back however long it
   is held; Up, Down and P act for as long as they are down. */
static void take_keys(struct viewer* viewer)
{
    for (int event; (event = tessary_key_event()) >= 0;) {
        int down = !(event & TESSARY_KEY_RELEASED);
        switch (event & ~TESSARY_KEY_RELEASED) {
        case TESSARY_KEY_RIGHT:
        case TESSARY_KEY_LEFT:
            if (down) {
                int step = (event & ~TESSARY_KEY_RELEASED) == TESSARY_KEY_RIGHT ? 1 : (int)viewer->count - 1;
                viewer->shown = (viewer->shown + (unsigned)step) % viewer->count;
                load_picture(viewer);
            }
            break;
        case TESSARY_KEY_UP:
            viewer->up_held = down;
            break;
        case TESSARY_KEY_DOWN:
            viewer->down_held = down;
            break;
        case 'p':
            viewer->hurt_held = down;
            break;
        case TESSARY_KEY_ESCAPE:
        case 'q':
            viewer->quit |= down;
            break;
        }
    }
}

/* The picture moved up by `scroll` rows, wrapping round. */
static void compose(struct viewer* viewer)
{
    unsigned first = (unsigned)viewer->scroll % HEIGHT;
    memcpy(viewer->frame, viewer->image + first * WIDTH, (HEIGHT - first) * WIDTH);
    memcpy(viewer->frame + (HEIGHT - first) * WIDTH, viewer->image, first * WIDTH);
}

int main(int argument_count, char** arguments)
{
    char const* path = argument_count > 1 ? arguments[1] : "/documents/freedoom2.wad";
    static struct viewer viewer;
    g_file = fopen(path, "rb");
    if (!g_file) {
        fprintf(stderr, "wadview: %s: cannot open\n", path);
        return 1;
    }
    struct lump const* palettes;
    if (!read_directory() || !(palettes = find_lump("PLAYPAL")) || palettes->size < PALETTE_SIZE * (HURT_PALETTE + 1)
        || !read_piece(palettes->offset, viewer.palettes[0], PALETTE_SIZE)
        || !read_piece(palettes->offset + PALETTE_SIZE * HURT_PALETTE, viewer.palettes[1], PALETTE_SIZE)) {
        fprintf(stderr, "wadview: %s: not a DOOM data file with a palette\n", path);
        return 1;
    }
    for (unsigned i = 0; i < PICTURE_NAMES; ++i)
        if (find_lump(g_picture_names[i]))
            viewer.pictures[viewer.count++] = find_lump(g_picture_names[i]);
    if (viewer.count == 0 || !load_picture(&viewer)) {
        fprintf(stderr, "wadview: %s: no full-screen picture\n", path);
        return 1;
    }

    tessary_graphics(TESSARY_SCREEN_320X200);
    int hurt_shown = -1;
    unsigned frames = 0;
    unsigned start = tessary_milliseconds();
    while (!viewer.quit) {
        take_keys(&viewer);
        viewer.scroll += SCROLL_STEP * (viewer.down_held - viewer.up_held);
        if (viewer.hurt_held != hurt_shown) {
            hurt_shown = viewer.hurt_held;
            tessary_palette(viewer.palettes[hurt_shown]);
        }
        compose(&viewer);
        tessary_show_frame(viewer.frame);
        ++frames;
        /* The next frame at its time, as the game's tick does: no drift. */
        unsigned due = start + (unsigned)((unsigned long long)frames * 1000 / FRAMES_PER_SECOND);
        int wait = (int)(due - tessary_milliseconds());
        if (wait > 0)
            tessary_sleep((unsigned)wait);
    }
    unsigned elapsed = tessary_milliseconds() - start;
    tessary_graphics(TESSARY_SCREEN_TEXT);
    printf("Showed %u frames in %u ms: %u.%u a second\n", frames, elapsed, elapsed ? frames * 1000 / elapsed : 0,
        elapsed ? frames * 10000 / elapsed % 10 : 0);
    printf("Read %lu bytes in %u pieces for %u pictures\n", g_bytes_read, g_pieces_read, viewer.count);
    fclose(g_file);
    return 0;
}
