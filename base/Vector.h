#pragma once

#include "base/Assertions.h"
#include "base/Types.h"

#include <initializer_list>
#include <new>
#include <type_traits>
#include <utility>

// A growable array. The kernel has no standard library containers, so this is
// the one sequence type of the system; it owns its elements and frees them on
// destruction, which keeps long sessions from leaking the heap.
template<typename T>
class Vector {
public:
    Vector() = default;
    Vector(std::initializer_list<T> items)
    {
        ensure_capacity(items.size());
        for (auto const& item : items)
            append(item);
    }
    Vector(Vector const& other) { *this = other; }
    Vector(Vector&& other) noexcept
        : m_data(other.m_data)
        , m_size(other.m_size)
        , m_capacity(other.m_capacity)
    {
        other.m_data = nullptr;
        other.m_size = other.m_capacity = 0;
    }
    ~Vector()
    {
        clear();
        ::operator delete(m_data);
    }

    Vector& operator=(Vector const& other)
    {
        if (this == &other)
            return *this;
        clear();
        ensure_capacity(other.m_size);
        if constexpr (std::is_trivially_copyable_v<T>) {
            // Blocks and texts are copied whole, not an element at a time:
            // a megabyte a byte at a time takes tens of milliseconds under
            // emulation.
            if (other.m_size > 0)
                __builtin_memcpy(static_cast<void*>(m_data), other.m_data, other.m_size * sizeof(T));
        } else {
            for (size_t i = 0; i < other.m_size; ++i)
                new (&m_data[i]) T(other.m_data[i]);
        }
        m_size = other.m_size;
        return *this;
    }
    Vector& operator=(Vector&& other) noexcept
    {
        if (this == &other)
            return *this;
        clear();
        ::operator delete(m_data);
        m_data = other.m_data;
        m_size = other.m_size;
        m_capacity = other.m_capacity;
        other.m_data = nullptr;
        other.m_size = other.m_capacity = 0;
        return *this;
    }

    size_t size() const { return m_size; }
    bool is_empty() const { return m_size == 0; }

    T* data() { return m_data; }
    T const* data() const { return m_data; }
    // Every element access is checked: an index past the end stops the
    // machine where the mistake is, not where the damage shows.
    T& operator[](size_t i)
    {
        VERIFY(i < m_size);
        return m_data[i];
    }
    T const& operator[](size_t i) const
    {
        VERIFY(i < m_size);
        return m_data[i];
    }
    T& last() { return (*this)[m_size - 1]; }
    T const& last() const { return (*this)[m_size - 1]; }

    T* begin() { return m_data; }
    T* end() { return m_data + m_size; }
    T const* begin() const { return m_data; }
    T const* end() const { return m_data + m_size; }

    void append(T const& value)
    {
        T copy(value); // value may live inside our own buffer
        grow_for(m_size + 1);
        new (&m_data[m_size++]) T(std::move(copy));
    }
    void append(T&& value)
    {
        if (m_size == m_capacity) {
            T moved(std::move(value));
            grow_for(m_size + 1);
            new (&m_data[m_size++]) T(std::move(moved));
            return;
        }
        new (&m_data[m_size++]) T(std::move(value));
    }
    void insert(size_t index, T value)
    {
        VERIFY(index <= m_size);
        grow_for(m_size + 1);
        new (&m_data[m_size]) T();
        for (size_t i = m_size; i > index; --i)
            m_data[i] = std::move(m_data[i - 1]);
        m_data[index] = std::move(value);
        ++m_size;
    }
    void remove(size_t index)
    {
        VERIFY(index < m_size);
        for (size_t i = index; i + 1 < m_size; ++i)
            m_data[i] = std::move(m_data[i + 1]);
        m_data[--m_size].~T();
    }
    void resize(size_t new_size)
    {
        ensure_capacity(new_size);
        if constexpr (std::is_trivially_default_constructible_v<T>) {
            // Byte buffers of whole files grow here: one fill, not a loop
            // of constructors.
            if (new_size > m_size)
                __builtin_memset(static_cast<void*>(m_data + m_size), 0, (new_size - m_size) * sizeof(T));
            m_size = new_size > m_size ? new_size : m_size;
        }
        while (m_size < new_size)
            new (&m_data[m_size++]) T();
        destroy_from(new_size);
    }
    void clear() { destroy_from(0); }
    void ensure_capacity(size_t wanted)
    {
        if (wanted > m_capacity)
            adopt(static_cast<T*>(::operator new(wanted * sizeof(T))), wanted);
    }

    // The fallible forms, for sizes that come from a disk or a user: running
    // out of memory returns false and leaves the vector as it was, where the
    // plain forms would stop the machine.
    [[nodiscard]] bool try_ensure_capacity(size_t wanted)
    {
        if (wanted <= m_capacity)
            return true;
        if (wanted > static_cast<size_t>(-1) / sizeof(T))
            return false;
        auto* fresh = static_cast<T*>(::operator new(wanted * sizeof(T), std::nothrow));
        if (!fresh)
            return false;
        adopt(fresh, wanted);
        return true;
    }
    [[nodiscard]] bool try_resize(size_t new_size)
    {
        if (!try_ensure_capacity(new_size))
            return false;
        resize(new_size);
        return true;
    }
    [[nodiscard]] bool try_append(T&& value)
    {
        if (!try_grow_for(m_size + 1))
            return false;
        new (&m_data[m_size++]) T(std::move(value));
        return true;
    }
    // Room for `wanted` elements, doubling like append does, or exactly
    // `wanted` when doubling does not fit.
    [[nodiscard]] bool try_grow_for(size_t wanted)
    {
        if (wanted <= m_capacity)
            return true;
        size_t next = m_capacity < 8 ? 8 : m_capacity * 2;
        return (next > wanted && try_ensure_capacity(next)) || try_ensure_capacity(wanted);
    }

private:
    // Ends the elements from `index` on. Bytes and characters need no end:
    // a file-sized buffer is dropped without a pass over it.
    void destroy_from(size_t index)
    {
        if constexpr (!std::is_trivially_destructible_v<T>) {
            while (m_size > index)
                m_data[--m_size].~T();
        }
        if (m_size > index)
            m_size = index;
    }

    // Moves the elements into `fresh`, which holds `capacity` elements.
    void adopt(T* fresh, size_t capacity)
    {
        if constexpr (std::is_trivially_copyable_v<T>) {
            if (m_size > 0)
                __builtin_memcpy(static_cast<void*>(fresh), m_data, m_size * sizeof(T));
        } else {
            for (size_t i = 0; i < m_size; ++i) {
                new (&fresh[i]) T(std::move(m_data[i]));
                m_data[i].~T();
            }
        }
        ::operator delete(m_data);
        m_data = fresh;
        m_capacity = capacity;
    }

    void grow_for(size_t wanted)
    {
        if (wanted <= m_capacity)
            return;
        size_t next = m_capacity < 8 ? 8 : m_capacity * 2;
        ensure_capacity(next < wanted ? wanted : next);
    }

    T* m_data { nullptr };
    size_t m_size { 0 };
    size_t m_capacity { 0 };
};

using ByteBuffer = Vector<u8>;
