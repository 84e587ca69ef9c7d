// mz-pack: turns a program linked by sdk/program.ld (a 32-bit ELF executable
// for the program area) into the MZ file the kernel runs.
//
// The load module is the program's memory image from the start of the area:
// every loadable segment's bytes at its offset from 0x00100000, zeros in the
// gaps. The zeroed tail no segment has file bytes for (.bss) stays out of the
// file and becomes the header's extra paragraphs, which the kernel clears
// after the module. The MZ entry (CS:IP) is the ELF entry's offset; there are
// no relocations, as the program is linked where it runs.

#include "hal/MzExecutable.h"
#include "hal/ProgramArea.h"

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
// The header as written: the 28 bytes of MzHeader padded to two paragraphs.
constexpr u32 HeaderParagraphs = 2;
constexpr u32 HeaderSize = HeaderParagraphs * ParagraphSize;
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

    // The module covers every segment's file bytes; memory covers the zeroed
    // tails too.
    std::vector<u8> module;
    u32 memory_end = 0;
    u32 loaded_segments = 0;
    for (u32 i = 0; i < header.e_phnum; ++i) {
        auto segment = read_struct<Elf32_Phdr>(elf, header.e_phoff + i * header.e_phentsize, "a program header");
        if (segment.p_type != PT_LOAD || segment.p_memsz == 0)
            continue;
        ++loaded_segments;
        u32 start = segment.p_vaddr;
        if (segment.p_filesz > segment.p_memsz || start < ProgramArea::Base || start > ProgramArea::End
            || ProgramArea::End - start < segment.p_memsz)
            throw Failure { "a segment at " + hex(start) + " (" + std::to_string(segment.p_memsz)
                + " bytes) lies outside the program area " + hex(ProgramArea::Base) + "-" + hex(ProgramArea::End)
                + " (linked without sdk/program.ld, or too large)" };
        if (segment.p_offset > elf.size() || elf.size() - segment.p_offset < segment.p_filesz)
            throw Failure { "a segment's bytes lie outside the file" };
        u32 offset = start - ProgramArea::Base;
        if (segment.p_filesz > 0) {
            if (module.size() < offset + segment.p_filesz)
                module.resize(offset + segment.p_filesz);
            std::copy_n(elf.begin() + segment.p_offset, segment.p_filesz, module.begin() + offset);
        }
        memory_end = std::max(memory_end, offset + segment.p_memsz);
    }
    if (loaded_segments == 0)
        throw Failure { "no loadable segment" };

    // The tail beyond the module is cleared by the kernel, in paragraphs.
    u32 extra_paragraphs
        = (std::max<u32>(memory_end, module.size()) - module.size() + ParagraphSize - 1) / ParagraphSize;
    if (extra_paragraphs > MaxExtraParagraphs)
        throw Failure { "the zeroed data (.bss) is larger than an MZ header can ask for (1 MiB)" };
    if (module.size() + extra_paragraphs * ParagraphSize > ProgramArea::End - ProgramArea::Base)
        throw Failure { "the program does not fit the program area" };

    u32 entry = header.e_entry - ProgramArea::Base;
    if (header.e_entry < ProgramArea::Base || entry >= module.size())
        throw Failure { "the entry point " + hex(header.e_entry) + " is not in the program's code" };
    if (entry > MaxEntryOffset)
        throw Failure { "the entry point lies beyond the first MiB of the program, which CS:IP cannot reach" };

    u32 file_size = HeaderSize + static_cast<u32>(module.size());
    MzHeader mz {};
    mz.signature = MzHeader::Signature;
    mz.bytes_in_last_page = static_cast<u16>(file_size % PageSize);
    mz.pages = static_cast<u16>((file_size + PageSize - 1) / PageSize);
    mz.header_paragraphs = HeaderParagraphs;
    mz.min_extra_paragraphs = static_cast<u16>(extra_paragraphs);
    mz.max_extra_paragraphs = static_cast<u16>(extra_paragraphs);
    mz.initial_cs = static_cast<u16>(entry / ParagraphSize);
    mz.initial_ip = static_cast<u16>(entry % ParagraphSize);
    mz.relocation_table_offset = sizeof(MzHeader);

    // The MZ file is little-endian, like the host this tool builds on.
    std::vector<u8> file(HeaderSize, 0);
    std::memcpy(file.data(), &mz, sizeof mz);
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
