#pragma once

#include "arch/Paging.h"
#include "base/Error.h"

#include <span>

// The running program's memory: pages of its own in the program ranges of
// the page directory (arch/Paging.h), on page frames from the kernel heap
// (hal/PageFrames.h), and the one check of every address a program hands
// the kernel. Nothing else is mapped for ring 3, so whatever else a program
// touches ends it with a page fault.
//
// What a program sees:
//   its image   at the address it is linked for, then its heap, which grows
//               and shrinks with the break call
//   its stack   StackSize bytes below StackTop, over a guard page that
//               nothing maps, so a runaway recursion faults
//   ExitPage    one read-only page of code: a program's last RET lands there
//               and exits with status 0
class ProgramMemory {
public:
    static constexpr u32 PageSize = Paging::PageSize;
    static constexpr u32 ExitPage = Paging::HighProgramEnd - PageSize;
    static constexpr u32 StackTop = ExitPage;
    static constexpr u32 StackSize = 1024 * 1024;
    static constexpr u32 StackGuard = StackTop - StackSize - PageSize;
    // The heap ends below the guard page.
    static constexpr u32 HeapLimit = StackGuard;

    enum class Access { Read, Write };

    ProgramMemory() = default;
    ~ProgramMemory() { release(); }
    ProgramMemory(ProgramMemory const&) = delete;
    ProgramMemory& operator=(ProgramMemory const&) = delete;

    // Fresh pages for [address, address + length), whole pages around it,
    // holding `content` from `address` on and zeros after it. "Outside the
    // program's memory" for a range outside the program ranges or over
    // pages already there; "Not enough memory" when the frames run out.
    ErrorOr<void> map(u32 address, u32 length, Access access, std::span<u8 const> content = {});
    // Every page goes, with the tables that held it.
    void release();

    // True when all of [address, address + length) lies on the program's
    // pages (writable ones for Write); a length of 0 is fine anywhere.
    bool contains(u32 address, u32 length, Access access) const;
    // The kernel's side of the program's buffers, checked as contains()
    // checks them; nothing is copied when the check fails.
    ErrorOr<void> copy_in(u32 address, u8 const* bytes, u32 length);
    ErrorOr<void> copy_out(u32 address, u8* bytes, u32 length) const;
    // The 0-terminated string at `address`, at most `max_length` bytes
    // before the 0, all on the program's pages.
    ErrorOr<String> string_at(u32 address, u32 max_length) const;
    // Hands `take` the bytes of a checked range where they lie, a page at a
    // time, with how far along the range they start: a copy straight from
    // the program's pages to a device.
    template<typename Take>
    ErrorOr<void> read_pieces(u32 address, u32 length, Take take) const
    {
        return move_bytes(address, length, Access::Read,
            [&](u8 const* program, u32 done, u32 count) { take(done, std::span<u8 const>(program, count)); });
    }

    // The heap: from `start` (a page boundary) up to the break.
    void start_heap(u32 start);
    u32 heap_start() const { return m_heap_start; }
    u32 heap_break() const { return m_break; }
    // Moves the break; pages come as it grows and go as it shrinks, in
    // steps of at least HeapStep. "Not enough memory" leaves it as it was.
    ErrorOr<void> set_heap_break(u32 address);

private:
    // A run of pages on one run of frames.
    struct Chunk {
        u32 address;
        u32 frames;
        u32 length;
    };
    static constexpr u32 HeapStep = 64 * 1024;

    // The entry that maps `address` in a table, or null where a 4 MiB page
    // of the kernel's does; make_entry_for makes the table.
    u32* entry_for(u32 address) const;
    ErrorOr<u32*> make_entry_for(u32 address);
    void unmap(Chunk const& chunk);
    // The kernel's view of the byte at `address`, to the end of its page,
    // when the program's page there allows `access`; null otherwise.
    u8* byte_at(u32 address, Access access) const;
    // Checks the whole range, then hands `move` the program's bytes a page
    // at a time, with how far along the range they lie.
    template<typename Move>
    ErrorOr<void> move_bytes(u32 address, u32 length, Access access, Move move) const
    {
        // Every page is checked before any byte moves.
        if (!contains(address, length, access))
            return Error(OutsideMessage);
        for (u32 done = 0; done < length;) {
            u32 at = address + done;
            u32 count = PageSize - at % PageSize < length - done ? PageSize - at % PageSize : length - done;
            move(byte_at(at, access), done, count);
            done += count;
        }
        return {};
    }
    static constexpr char const* OutsideMessage = "Outside the program's memory";

    Vector<Chunk> m_chunks;
    Vector<u32> m_tables; // directory indices of the tables made here
    u32 m_heap_start { 0 };
    u32 m_break { 0 };
    u32 m_heap_mapped_end { 0 };
};
