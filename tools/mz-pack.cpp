// mz-pack: turns a program linked by sdk/program.ld (a 32-bit ELF executable
// for one of the program ranges) into the MZ file the kernel runs.
//
// The load module is the program's memory image from its lowest segment:
// every loadable segment's bytes at its offset from there, zeros in the
// gaps. The zeroed tail no segment has file bytes for (.bss) stays out of the
// file; the kernel clears it after the module. A program linked at 0x00100000
// gets the plain header, the tail in its extra paragraphs; one linked in the
// high range gets Tessary's load information after the header, with its load
// address and the tail's size. The MZ entry (CS:IP) is the ELF entry's
// offset; there are no relocations, as the program is linked where it runs.

#include "hal/MzExecutable.h"
#include "hal/ProgramArea.h"
#include "hal/ProgramMemory.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <elf.h>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr u32 ParagraphSize = MzHeader::ParagraphSize;
// The header as written: the 28 bytes of MzHeader padded to two paragraphs,
// or to three with the load information after it.
constexpr u32 PlainHeaderParagraphs = 2;
constexpr u32 LoadInfoHeaderParagraphs = 3;
constexpr u32 PageSize = 512;
constexpr u32 MaxExtraParagraphs = 0xFFFF;
constexpr u32 MaxEntryOffset = 0xFFFF * ParagraphSize + 15;

struct Failure {
    std::string message;
};

template<typename T>
T read_struct(std::vector<u8> const& file, u32 offset, char const* what)
{
    if (offset > file.size() || file.size() - offset < sizeof(T))
        throw Failure { std::string(what) + " lies outside the file" };
    T value;
    std::memcpy(&value, file.data() + offset, sizeof(T));
    return value;
}

std::string hex(u32 value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", value);
    return text;
}

std::vector<u8> pack(std::vector<u8> const& elf)
{
    auto header = read_struct<Elf32_Ehdr>(elf, 0, "the ELF header");
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0)
        throw Failure { "not an ELF file" };
    if (header.e_ident[EI_CLASS] != ELFCLASS32 || header.e_ident[EI_DATA] != ELFDATA2LSB || header.e_machine != EM_386)
        throw Failure { "not a 32-bit little-endian x86 ELF file" };
    if (header.e_type != ET_EXEC)
        throw Failure { "not an executable (link it with sdk/program.ld)" };

    std::vector<Elf32_Phdr> segments;
    for (u32 i = 0; i < header.e_phnum; ++i) {
        auto segment = read_struct<Elf32_Phdr>(elf, header.e_phoff + i * header.e_phentsize, "a program header");
        if (segment.p_type == PT_LOAD && segment.p_memsz != 0)
            segments.push_back(segment);
    }
    if (segments.empty())
        throw Failure { "no loadable segment" };
    u32 base = std::min_element(
                   segments.begin(), segments.end(), [](auto const& a, auto const& b) { return a.p_vaddr < b.p_vaddr; })
                   ->p_vaddr
        & ~(Paging::PageSize - 1);
    bool high = base >= Paging::HighProgramBase && base < ProgramMemory::HeapLimit;
    if (base != ProgramArea::Base && !high)
        throw Failure { "the program starts at " + hex(base) + ", neither at " + hex(ProgramArea::Base)
            + " nor in the range " + hex(Paging::HighProgramBase) + "-" + hex(ProgramMemory::HeapLimit)
            + " (linked without sdk/program.ld?)" };
    u32 limit = high ? ProgramMemory::HeapLimit : ProgramArea::End;

    // The module covers every segment's file bytes; memory covers the zeroed
    // tails too.
    std::vector<u8> module;
    u32 memory_end = 0;
    for (auto const& segment : segments) {
        u32 start = segment.p_vaddr;
        if (segment.p_filesz > segment.p_memsz || start > limit || limit - start < segment.p_memsz)
            throw Failure { "a segment at " + hex(start) + " (" + std::to_string(segment.p_memsz)
                + " bytes) does not fit below " + hex(limit) + " (too large)" };
        if (segment.p_offset > elf.size() || elf.size() - segment.p_offset < segment.p_filesz)
            throw Failure { "a segment's bytes lie outside the file" };
        u32 offset = start - base;
        if (segment.p_filesz > 0) {
            if (module.size() < offset + segment.p_filesz)
                module.resize(offset + segment.p_filesz);
            std::copy_n(elf.begin() + segment.p_offset, segment.p_filesz, module.begin() + offset);
        }
        memory_end = std::max(memory_end, offset + segment.p_memsz);
    }

    // The tail beyond the module is cleared by the kernel.
    u32 extra = std::max<u32>(memory_end, module.size()) - static_cast<u32>(module.size());
    u32 extra_paragraphs = (extra + ParagraphSize - 1) / ParagraphSize;
    if (!high && extra_paragraphs > MaxExtraParagraphs)
        throw Failure { "the zeroed data (.bss) is larger than an MZ header can ask for (1 MiB)" };

    u32 entry = header.e_entry - base;
    if (header.e_entry < base || entry >= module.size())
        throw Failure { "the entry point " + hex(header.e_entry) + " is not in the program's code" };
    if (entry > MaxEntryOffset)
        throw Failure { "the entry point lies beyond the first MiB of the program, which CS:IP cannot reach" };

    u32 header_size = (high ? LoadInfoHeaderParagraphs : PlainHeaderParagraphs) * ParagraphSize;
    u32 file_size = header_size + static_cast<u32>(module.size());
    // A high program's extra paragraphs say what they can; its load
    // information says it all.
    u16 paragraphs = static_cast<u16>(std::min(extra_paragraphs, MaxExtraParagraphs));
    MzHeader mz {};
    mz.signature = MzHeader::Signature;
    mz.bytes_in_last_page = static_cast<u16>(file_size % PageSize);
    mz.pages = static_cast<u16>((file_size + PageSize - 1) / PageSize);
    mz.header_paragraphs = static_cast<u16>(header_size / ParagraphSize);
    mz.min_extra_paragraphs = paragraphs;
    mz.max_extra_paragraphs = paragraphs;
    mz.initial_cs = static_cast<u16>(entry / ParagraphSize);
    mz.initial_ip = static_cast<u16>(entry % ParagraphSize);
    mz.relocation_table_offset = static_cast<u16>(header_size);

    // The MZ file is little-endian, like the host this tool builds on.
    std::vector<u8> file(header_size, 0);
    std::memcpy(file.data(), &mz, sizeof mz);
    if (high) {
        TessaryLoadInfo info { TessaryLoadInfo::Signature, base, extra };
        std::memcpy(file.data() + TessaryLoadInfo::Offset, &info, sizeof info);
    }
    file.insert(file.end(), module.begin(), module.end());
    return file;
}

}

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: mz-pack PROGRAM.elf OUTPUT.exe\n";
        return 2;
    }
    try {
        std::ifstream input(argv[1], std::ios::binary);
        if (!input)
            throw Failure { "cannot open it" };
        std::vector<u8> elf((std::istreambuf_iterator<char>(input)), std::istreambuf_iterator<char>());
        auto exe = pack(elf);
        std::ofstream output(argv[2], std::ios::binary | std::ios::trunc);
        output.write(reinterpret_cast<char const*>(exe.data()), static_cast<std::streamsize>(exe.size()));
        if (!output.flush())
            throw Failure { std::string("cannot write ") + argv[2] };
    } catch (Failure const& failure) {
        std::cerr << "mz-pack: " << argv[1] << ": " << failure.message << "\n";
        std::remove(argv[2]);
        return 1;
    }
    return 0;
}
