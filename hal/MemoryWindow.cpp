#include "hal/MemoryWindow.h"

ErrorOr<void> MemoryWindow::fill32(u32 offset, u32 value, u32 count)
{
    if (count > m_length / 4 || !contains(offset, count * 4))
        return violation();
    auto* words = reinterpret_cast<u32 volatile*>(m_bytes + offset);
    for (u32 i = 0; i < count; ++i)
        words[i] = value;
    return {};
}

ErrorOr<void> MemoryWindow::fill8(u32 offset, u8 value, u32 count)
{
    if (!contains(offset, count))
        return violation();
    for (u32 i = 0; i < count; ++i)
        m_bytes[offset + i] = value;
    return {};
}

ErrorOr<void> MemoryWindow::move(u32 destination, u32 source, u32 length)
{
    if (!contains(destination, length) || !contains(source, length))
        return violation();
    // Whole 32-bit words when both ends allow it: video memory behind an
    // emulated adapter costs the same per access whatever its width.
    bool words = ((m_base + destination) | (m_base + source) | length) % 4 == 0;
    if (words) {
        auto* d = reinterpret_cast<u32 volatile*>(m_bytes + destination);
        auto* s = reinterpret_cast<u32 volatile*>(m_bytes + source);
        u32 count = length / 4;
        if (destination < source) {
            for (u32 i = 0; i < count; ++i)
                d[i] = s[i];
        } else {
            for (u32 i = count; i > 0; --i)
                d[i - 1] = s[i - 1];
        }
        return {};
    }
    u8 volatile* bytes = m_bytes;
    if (destination < source) {
        for (u32 i = 0; i < length; ++i)
            bytes[destination + i] = bytes[source + i];
    } else {
        for (u32 i = length; i > 0; --i)
            bytes[destination + i - 1] = bytes[source + i - 1];
    }
    return {};
}

// Whole 32-bit words when both sides are aligned, as in move(): a frame
// for the screen goes a quarter as many stores.
ErrorOr<void> MemoryWindow::copy_in(u32 offset, u8 const* source, u32 length)
{
    if (!contains(offset, length))
        return violation();
    u32 i = 0;
    if ((reinterpret_cast<uintptr_t>(m_bytes + offset) | reinterpret_cast<uintptr_t>(source)) % 4 == 0) {
        auto* words = reinterpret_cast<u32 volatile*>(m_bytes + offset);
        for (; i + 4 <= length; i += 4) {
            u32 word;
            __builtin_memcpy(&word, source + i, 4);
            words[i / 4] = word;
        }
    }
    for (; i < length; ++i)
        m_bytes[offset + i] = source[i];
    return {};
}

// Through memcpy's whole-word loop: the AHCI disk hands every block it reads
// over through here, and byte by byte that copy took longer than the DMA.
ErrorOr<void> MemoryWindow::copy_out(u32 offset, u8* destination, u32 length) const
{
    if (!contains(offset, length))
        return violation();
    __builtin_memcpy(destination, m_bytes + offset, length);
    return {};
}
