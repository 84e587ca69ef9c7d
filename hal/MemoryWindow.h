#pragma once

#include "arch/PhysicalMemory.h"
#include "base/Error.h"

// A bounds-checked view of physical memory: the text buffer at 0xB8000, the
// VGA window at 0xA0000, an SVGA frame buffer, firmware tables. Every access
// at or beyond the length fails with "Memory access violation" instead of
// touching memory that belongs to someone else.
class MemoryWindow {
public:
    MemoryWindow() = default;
    MemoryWindow(u32 base, u32 length)
        : m_base(base)
        , m_length(length)
        , m_bytes(PhysicalMemory::map(base, length))
    {
        if (!m_bytes)
            m_length = 0;
    }

    u32 base() const { return m_base; }
    u32 length() const { return m_length; }
    bool contains(u32 offset, u32 width = 1) const { return width <= m_length && offset <= m_length - width; }

    ErrorOr<u8> read8(u32 offset) const
    {
        if (!contains(offset))
            return violation();
        return static_cast<u8>(at(offset));
    }
    ErrorOr<void> write8(u32 offset, u8 value)
    {
        if (!contains(offset))
            return violation();
        at(offset) = value;
        return {};
    }
    ErrorOr<u16> read16(u32 offset) const
    {
        if (!contains(offset, 2))
            return violation();
        return *reinterpret_cast<u16 volatile*>(m_bytes + offset);
    }
    ErrorOr<void> write16(u32 offset, u16 value)
    {
        if (!contains(offset, 2))
            return violation();
        *reinterpret_cast<u16 volatile*>(m_bytes + offset) = value;
        return {};
    }
    ErrorOr<u32> read32(u32 offset) const
    {
        if (!contains(offset, 4))
            return violation();
        return *reinterpret_cast<u32 volatile*>(m_bytes + offset);
    }
    ErrorOr<void> write32(u32 offset, u32 value)
    {
        if (!contains(offset, 4))
            return violation();
        *reinterpret_cast<u32 volatile*>(m_bytes + offset) = value;
        return {};
    }
    // Bulk operations for fills and scrolls, checked once for the whole range.
    ErrorOr<void> fill32(u32 offset, u32 value, u32 count);
    ErrorOr<void> fill8(u32 offset, u8 value, u32 count);
    ErrorOr<void> move(u32 destination, u32 source, u32 length);
    ErrorOr<void> copy_in(u32 offset, u8 const* bytes, u32 length);
    ErrorOr<void> copy_out(u32 offset, u8* bytes, u32 length) const;
    // Replaces `count` 32-bit words from `offset` with change(index, old),
    // checked once for the whole range; words that stay the same are not
    // written back. Whole-screen passes of the desktop use it.
    template<typename Change>
    ErrorOr<void> update32(u32 offset, u32 count, Change change)
    {
        if (count > m_length / 4 || !contains(offset, count * 4))
            return violation();
        auto* words = reinterpret_cast<u32 volatile*>(m_bytes + offset);
        for (u32 i = 0; i < count; ++i) {
            u32 old = words[i];
            u32 fresh = change(i, old);
            if (fresh != old)
                words[i] = fresh;
        }
        return {};
    }

    static Error violation() { return Error("Memory access violation"); }

private:
    u8 volatile& at(u32 offset) const { return m_bytes[offset]; }

    u32 m_base { 0 };
    u32 m_length { 0 };
    u8* m_bytes { nullptr };
};
