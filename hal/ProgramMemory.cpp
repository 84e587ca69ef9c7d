#include "hal/ProgramMemory.h"

#include "arch/PhysicalMemory.h"
#include "hal/PageFrames.h"

using namespace Paging;

namespace {

bool in_program_range(u32 first, u64 end)
{
    auto inside = [&](u32 base, u32 limit) { return first >= base && end <= limit; };
    return inside(LowProgramBase, LowProgramEnd) || inside(HighProgramBase, HighProgramEnd);
}

// The kernel reaches every page frame and table at its physical address.
u32* table_at(u32 physical) { return reinterpret_cast<u32*>(PhysicalMemory::map(physical, PageSize)); }

constexpr u32 ProgramPage = Present | User;

}

u32* ProgramMemory::entry_for(u32 address) const
{
    u32 directory_entry = table_at(directory())[address >> 22];
    if (!(directory_entry & Present) || (directory_entry & LargePage))
        return nullptr;
    return table_at(directory_entry & FrameMask) + ((address >> 12) & 1023);
}

ErrorOr<u32*> ProgramMemory::make_entry_for(u32 address)
{
    if (u32* entry = entry_for(address))
        return entry;
    // A 4 MiB page of the kernel's: a table takes its place, mapping the
    // same one to one until program pages go in.
    u32 index = address >> 22;
    u32 table = TRY(PageFrames::take(PageSize));
    u32* entries = table_at(table);
    for (u32 page = 0; page < 1024; ++page)
        entries[page] = kernel_page(index * TableSpan + page * PageSize);
    table_at(directory())[index] = table | Present | Writable | User;
    m_tables.append(index);
    return entries + ((address >> 12) & 1023);
}

ErrorOr<void> ProgramMemory::map(u32 address, u32 length, Access access, std::span<u8 const> content)
{
    if (length == 0)
        return {};
    u32 first = page_down(address);
    u64 end = page_up(static_cast<u64>(address) + length);
    if (!in_program_range(first, end) || content.size() > length)
        return Error(OutsideMessage);
    // The tables first, so that once the frames are taken nothing can fail.
    for (u64 page = first; page < end; page += PageSize) {
        u32* entry = TRY(make_entry_for(static_cast<u32>(page)));
        if (*entry & User)
            return Error(OutsideMessage);
    }
    u32 bytes = static_cast<u32>(end - first);
    u32 frames = TRY(PageFrames::take(bytes));
    if (!content.empty())
        __builtin_memcpy(PhysicalMemory::map(frames, bytes) + (address - first), content.data(), content.size());
    u32 flags = ProgramPage | (access == Access::Write ? Writable : 0);
    for (u32 offset = 0; offset < bytes; offset += PageSize)
        *entry_for(first + offset) = (frames + offset) | flags;
    m_chunks.append({ first, frames, bytes });
    flush();
    return {};
}

void ProgramMemory::unmap(Chunk const& chunk)
{
    for (u32 offset = 0; offset < chunk.length; offset += PageSize)
        *entry_for(chunk.address + offset) = kernel_page(chunk.address + offset);
    PageFrames::give_back(chunk.frames);
}

void ProgramMemory::release()
{
    if (m_chunks.is_empty() && m_tables.is_empty())
        return;
    for (auto const& chunk : m_chunks)
        unmap(chunk);
    // Emptied to nothing: the runner lives on, and what it keeps between
    // programs would show in the heap's figures.
    m_chunks = {};
    u32* directory_entries = table_at(directory());
    for (u32 index : m_tables) {
        PageFrames::give_back(directory_entries[index] & FrameMask);
        directory_entries[index] = kernel_large_page(index * TableSpan);
    }
    m_tables = {};
    m_heap_start = m_break = m_heap_mapped_end = 0;
    flush();
}

bool ProgramMemory::contains(u32 address, u32 length, Access access) const
{
    if (length == 0)
        return true;
    if (address > 0xFFFFFFFFu - (length - 1))
        return false;
    u32 last = page_down(address + (length - 1));
    for (u32 page = page_down(address);; page += PageSize) {
        if (!byte_at(page, access))
            return false;
        if (page == last)
            return true;
    }
}

u8* ProgramMemory::byte_at(u32 address, Access access) const
{
    u32 needed = ProgramPage | (access == Access::Write ? Writable : 0);
    u32* entry = entry_for(address);
    if (!entry || (*entry & needed) != needed)
        return nullptr;
    return PhysicalMemory::map((*entry & FrameMask) + address % PageSize, PageSize - address % PageSize);
}

ErrorOr<void> ProgramMemory::copy_in(u32 address, u8 const* bytes, u32 length)
{
    return move_bytes(address, length, Access::Write,
        [&](u8* program, u32 done, u32 count) { __builtin_memcpy(program, bytes + done, count); });
}

ErrorOr<void> ProgramMemory::copy_out(u32 address, u8* bytes, u32 length) const
{
    return move_bytes(address, length, Access::Read,
        [&](u8* program, u32 done, u32 count) { __builtin_memcpy(bytes + done, program, count); });
}

ErrorOr<String> ProgramMemory::string_at(u32 address, u32 max_length) const
{
    // A page's entry is looked up once, where the string enters it.
    String text;
    u8 const* byte = nullptr;
    for (u32 i = 0; i <= max_length; ++i) {
        u32 at = address + i;
        if (at < address)
            return Error(OutsideMessage);
        byte = byte && at % PageSize != 0 ? byte + 1 : byte_at(at, Access::Read);
        if (!byte)
            return Error(OutsideMessage);
        if (*byte == 0)
            return text;
        text.append(*byte);
    }
    return Error(OutsideMessage);
}

void ProgramMemory::start_heap(u32 start) { m_heap_start = m_break = m_heap_mapped_end = start; }

ErrorOr<void> ProgramMemory::set_heap_break(u32 address)
{
    if (address < m_heap_start || address > HeapLimit)
        return Error(OutsideMessage);
    u32 needed = static_cast<u32>(page_up(address));
    if (needed > m_heap_mapped_end) {
        // Few big steps rather than a page at a time: each is a block of the
        // kernel heap.
        u32 end = needed - m_heap_mapped_end < HeapStep ? m_heap_mapped_end + HeapStep : needed;
        if (end > HeapLimit)
            end = HeapLimit;
        TRY(map(m_heap_mapped_end, end - m_heap_mapped_end, Access::Write));
        m_heap_mapped_end = end;
    }
    // The steps the break has left go back; the one it ends in stays. The
    // heap's steps are the last chunks, and the only ones between its start
    // and its limit: the stack and the exit page lie above.
    while (!m_chunks.is_empty() && m_chunks.last().address >= m_heap_start && m_chunks.last().address < HeapLimit
        && m_chunks.last().address >= needed) {
        unmap(m_chunks.last());
        m_heap_mapped_end = m_chunks.last().address;
        m_chunks.remove(m_chunks.size() - 1);
    }
    flush();
    m_break = address;
    return {};
}
