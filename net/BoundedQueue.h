#pragma once

#include "base/Assertions.h"
#include "base/Types.h"

#include <array>
#include <optional>
#include <utility>

// A first-in, first-out queue of at most `Capacity` elements in a ring: what
// arrives from the network waits in one of these, so a flood fills a queue
// and is refused instead of growing the heap.
template<typename T, size_t Capacity>
class BoundedQueue {
public:
    size_t size() const { return m_size; }
    bool is_empty() const { return m_size == 0; }
    bool is_full() const { return m_size == Capacity; }

    // False, with the queue unchanged, when it is full.
    [[nodiscard]] bool push(T value)
    {
        if (is_full())
            return false;
        m_slots[(m_head + m_size) % Capacity] = std::move(value);
        ++m_size;
        return true;
    }
    T& front()
    {
        VERIFY(m_size > 0);
        return m_slots[m_head];
    }
    std::optional<T> pop()
    {
        if (is_empty())
            return {};
        T value = std::move(m_slots[m_head]);
        m_head = (m_head + 1) % Capacity;
        --m_size;
        return value;
    }

private:
    std::array<T, Capacity> m_slots {};
    size_t m_head { 0 };
    size_t m_size { 0 };
};
