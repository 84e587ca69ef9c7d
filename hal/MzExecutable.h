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
// file's memory and the relocation entries collected. The module runs at the
// bottom of the program area (hal/ProgramArea.h), unrelocated; the
// relocation entries are kept for inspection only.
class MzExecutable {
public:
    // Fails with a message naming what is wrong when the bytes are not an
    // MZ executable, a header field points outside the file, or the module
    // and its extra memory do not fit below the kernel image.
    static ErrorOr<MzExecutable> load(ByteBuffer file);

    MzHeader const& header() const { return m_header; }
    Vector<RelocationInfo> const& relocations() const { return m_relocations; }
    u8 const* image() const { return m_image.data(); }
    u32 image_size() const { return static_cast<u32>(m_image.size()); }
    // The zeroed memory the program asks for after its module (its BSS).
    u32 extra_size() const;
    // The program area's base + CS x 16 + IP.
    u32 entry_address() const;

private:
    MzHeader m_header {};
    Vector<RelocationInfo> m_relocations;
    ByteBuffer m_image;
};
