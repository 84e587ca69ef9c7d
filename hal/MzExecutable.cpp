#include "hal/MzExecutable.h"

#include "base/Endian.h"
#include "hal/ProgramArea.h"
#include "hal/ProgramMemory.h"

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
    exe.m_load_address = ProgramArea::Base;
    exe.m_extra_size = header.min_extra_paragraphs * MzHeader::ParagraphSize;
    if (header_size >= TessaryLoadInfo::Offset + sizeof(TessaryLoadInfo)
        && read_le32(file, TessaryLoadInfo::Offset) == TessaryLoadInfo::Signature) {
        exe.m_load_address = read_le32(file, TessaryLoadInfo::Offset + 4);
        exe.m_extra_size = read_le32(file, TessaryLoadInfo::Offset + 8);
    }
    u32 load = exe.m_load_address;
    bool low = load >= ProgramArea::Base && load < ProgramArea::End;
    bool high = load >= Paging::HighProgramBase && load < ProgramMemory::HeapLimit;
    if (load % Paging::PageSize != 0 || (!low && !high))
        return Error("MZ load address outside the program's memory");
    // The heap and the stack lie above a high program.
    u32 limit = low ? ProgramArea::End : ProgramMemory::HeapLimit;
    if (module_size > limit - load || exe.m_extra_size > limit - load - module_size)
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

u32 MzExecutable::entry_address() const
{
    return m_load_address + m_header.initial_cs * MzHeader::ParagraphSize + m_header.initial_ip;
}
