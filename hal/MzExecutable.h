#pragma once

#include "arch/Cpu.h"
#include "base/Error.h"

// The DOS executable header at the start of an MZ file, little-endian.
struct MZ_Header {
    u16 Signature; // "MZ"
    u16 BytesInLastPage;
    u16 Pages;
    u16 RelocationCount;
    u16 HeaderParagraphs; // header size in 16-byte units: the load module follows
    u16 MinExtraParagraphs;
    u16 MaxExtraParagraphs;
    u16 InitialSS;
    u16 InitialSP;
    u16 Checksum;
    u16 InitialIP;
    u16 InitialCS; // relative to the load module
    u16 RelocationTableOffset;
    u16 OverlayNumber;
};
static_assert(sizeof(MZ_Header) == 0x1C);

// One entry of the file's relocation table.
struct RelocationStruct {
    u16 Offset;
    u16 Segment;
};

// A relocation entry as the loader keeps it.
struct RelocationInfo {
    u32 Offset;
    u32 Segment;
};

// Enters a program: a near call to a flat 32-bit address, back at the
// program's near return.
class Caller {
public:
    void CallCode(u32 address) { Cpu::call(address); }
};

// An MZ executable made ready to run: the header checked against the file,
// the load module (everything after the header) moved to the start of the
// file's memory and the relocation entries collected. Programs run where they are
// loaded, unrelocated, so they must be position-independent; the relocation
// entries are kept for inspection only.
class MzExecutable {
public:
    // Fails with a message naming what is wrong when the bytes are not an
    // MZ executable or a header field points outside the file.
    static ErrorOr<MzExecutable> Load(ByteBuffer file);

    MZ_Header const& Header() const { return m_header; }
    Vector<RelocationInfo> const& Relocations() const { return m_relocations; }
    u8 const* Image() const { return m_image.data(); }
    u32 ImageSize() const { return static_cast<u32>(m_image.size()); }
    // Load address + CS x 16 + IP.
    u32 EntryAddress() const;

    // Runs the program until its near return.
    void Execute() const;

private:
    MZ_Header m_header {};
    Vector<RelocationInfo> m_relocations;
    ByteBuffer m_image;
};
