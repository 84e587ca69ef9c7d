#include "hal/MzExecutable.h"

#include "base/Endian.h"
#include "hal/Debugger.h"

namespace {
constexpr u16 Signature = 'M' | ('Z' << 8);
constexpr u32 ParagraphSize = 16;
}

ErrorOr<MzExecutable> MzExecutable::Load(ByteBuffer file)
{
    u32 size = static_cast<u32>(file.size());
    if (size < sizeof(MZ_Header) || read_le16(file, 0) != Signature)
        return Error("Not an MZ executable");

    MzExecutable exe;
    // The file is little-endian, like both machines this code is built for.
    __builtin_memcpy(&exe.m_header, file.data(), sizeof(MZ_Header));
    MZ_Header const& header = exe.m_header;

    u32 header_size = header.HeaderParagraphs * ParagraphSize;
    if (header_size < sizeof(MZ_Header) || header_size > size)
        return Error("MZ header size outside the file");
    u32 table = header.RelocationTableOffset;
    if (table + header.RelocationCount * sizeof(RelocationStruct) > size)
        return Error("MZ relocation table outside the file");
    u32 module_size = size - header_size;
    if (header.InitialCS * ParagraphSize + header.InitialIP >= module_size)
        return Error("MZ entry point outside the program");

    for (u32 i = 0; i < header.RelocationCount; ++i) {
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

u32 MzExecutable::EntryAddress() const
{
    auto load_address = static_cast<u32>(reinterpret_cast<uintptr_t>(m_image.data()));
    return load_address + m_header.InitialCS * ParagraphSize + m_header.InitialIP;
}

void MzExecutable::Execute() const
{
    Debugger::Send("Running program at 0x" + String::hex(EntryAddress(), 8));
    Caller().CallCode(EntryAddress());
}
