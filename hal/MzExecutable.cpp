#include "hal/MzExecutable.h"

#include "base/Endian.h"
#include "hal/ProgramArea.h"

ErrorOr<MzExecutable> MzExecutable::load(ByteBuffer file)
{
    u32 size = static_cast<u32>(file.size());
    if (size < sizeof(MzHeader) || read_le16(file, 0) != MzHeader::Signature)
        return Error("Not an MZ executable");

    MzExecutable exe;
    // The file is little-endian, like both machines this code is built for.
    __builtin_memcpy(&exe.m_header, file.data(), sizeof(MzHeader));
    MzHeader const& header = exe.m_header;

    u32 header_size = header.header_paragraphs * MzHeader::ParagraphSize;
    if (header_size < sizeof(MzHeader) || header_size > size)
        return Error("MZ header size outside the file");
    u32 table = header.relocation_table_offset;
    if (table + header.relocation_count * sizeof(RelocationStruct) > size)
        return Error("MZ relocation table outside the file");
    u32 module_size = size - header_size;
    if (header.initial_cs * MzHeader::ParagraphSize + header.initial_ip >= module_size)
        return Error("MZ entry point outside the program");
    if (module_size + exe.extra_size() > ProgramArea::End - ProgramArea::Base)
        return Error("Program too large");

    for (u32 i = 0; i < header.relocation_count; ++i) {
        u32 entry = table + i * static_cast<u32>(sizeof(RelocationStruct));
        exe.m_relocations.append({ read_le16(file, entry), read_le16(file, entry + 2) });
    }
    // The load module takes the file's own memory: a program as big as the
    // heap allows can be loaded without a second copy.
    __builtin_memmove(file.data(), file.data() + header_size, module_size);
    file.resize(module_size);
    exe.m_image = static_cast<ByteBuffer&&>(file);
    return exe;
}

u32 MzExecutable::extra_size() const { return m_header.min_extra_paragraphs * MzHeader::ParagraphSize; }

u32 MzExecutable::entry_address() const
{
    return ProgramArea::Base + m_header.initial_cs * MzHeader::ParagraphSize + m_header.initial_ip;
}
