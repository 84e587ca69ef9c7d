#pragma once

#include "base/Error.h"

// The DOS executable header at the start of an MZ file, little-endian.
struct MzHeader {
    // "MZ" as the little-endian first word.
    static constexpr u16 Signature = 'M' | ('Z' << 8);
    // Sizes and segments count in paragraphs of 16 bytes.
    static constexpr u32 ParagraphSize = 16;

    u16 signature; // "MZ"
    u16 bytes_in_last_page;
    u16 pages;
    u16 relocation_count;
    u16 header_paragraphs; // header size in 16-byte units: the load module follows
    u16 min_extra_paragraphs;
    u16 max_extra_paragraphs;
    u16 initial_ss;
    u16 initial_sp;
    u16 checksum;
    u16 initial_ip;
    u16 initial_cs; // relative to the load module
    u16 relocation_table_offset;
    u16 overlay_number;
};
static_assert(sizeof(MzHeader) == 0x1C);

// What Tessary adds to the header, in the bytes right after it (the header
// then takes three paragraphs): where the module goes and how many zeroed
// bytes follow it. Programs linked for the low program range need none; a
// program linked higher has it, and its zeroed memory may be larger than
// the 1 MiB the header's paragraphs can ask for.
struct TessaryLoadInfo {
    static constexpr u32 Offset = sizeof(MzHeader);
    // "TSRY" as the little-endian first word.
    static constexpr u32 Signature = 'T' | ('S' << 8) | ('R' << 16) | (static_cast<u32>('Y') << 24);

    u32 signature;
    u32 load_address;
    u32 extra_bytes;
};
static_assert(sizeof(TessaryLoadInfo) == 12);

// One entry of the file's relocation table.
struct RelocationStruct {
    u16 offset;
    u16 segment;
};

// A relocation entry as the loader keeps it.
struct RelocationInfo {
    u32 offset;
    u32 segment;
};

// An MZ executable made ready to run: the header checked against the file,
// the load module (everything after the header) moved to the start of the
// file's memory and the relocation entries collected. The module runs where
// it is linked, unrelocated: at the bottom of the low program range
// (hal/ProgramArea.h), or where its TessaryLoadInfo says. The relocation
// entries are kept for inspection only.
class MzExecutable {
public:
    // Fails with a message naming what is wrong when the bytes are not an
    // MZ executable, a header field points outside the file, the load
    // address is not a page of a program range, or the module and its extra
    // memory do not fit there ("Program too large": in the low range below
    // the kernel image, in the high one below the stack).
    static ErrorOr<MzExecutable> load(ByteBuffer file);

    MzHeader const& header() const { return m_header; }
    Vector<RelocationInfo> const& relocations() const { return m_relocations; }
    u8 const* image() const { return m_image.data(); }
    u32 image_size() const { return static_cast<u32>(m_image.size()); }
    // The zeroed memory the program asks for after its module (its BSS).
    u32 extra_size() const { return m_extra_size; }
    u32 load_address() const { return m_load_address; }
    // The load address + CS x 16 + IP.
    u32 entry_address() const;

private:
    MzHeader m_header {};
    u32 m_load_address { 0 };
    u32 m_extra_size { 0 };
    Vector<RelocationInfo> m_relocations;
    ByteBuffer m_image;
};
