#pragma once

#include "base/String.h"

#include <new>
#include <utility>

// Kernel code has no C++ exceptions: a failure is an Error carrying the text
// the user sees, returned up the stack as ErrorOr<T> and forwarded with TRY.
class Error {
public:
    explicit Error(String message)
        : m_message(std::move(message))
    {
    }
    Error(char const* message)
        : m_message(message)
    {
    }
    // A request for `bytes` that the heap cannot meet. It is told apart from
    // other failures so that code which turns failures into a placeholder
    // (a text file that cannot be read shows "Error!") does not hide it.
    static Error out_of_memory(u64 bytes)
    {
        Error error("Not enough memory: " + String::number(static_cast<i64>(bytes)) + " bytes needed");
        error.m_out_of_memory = true;
        return error;
    }

    String const& message() const { return m_message; }
    bool is_out_of_memory() const { return m_out_of_memory; }

private:
    String m_message;
    bool m_out_of_memory { false };
};

template<typename T>
class [[nodiscard]] ErrorOr {
public:
    ErrorOr(T value)
        : m_is_error(false)
    {
        new (&m_value) T(std::move(value));
    }
    template<typename U>
    ErrorOr(U&& value)
        requires(!std::is_same_v<std::remove_cvref_t<U>, Error> && std::is_constructible_v<T, U &&>
                 && !std::is_same_v<std::remove_cvref_t<U>, ErrorOr<T>>)
        : m_is_error(false)
    {
        new (&m_value) T(std::forward<U>(value));
    }
    ErrorOr(Error error)
        : m_is_error(true)
    {
        new (&m_error) Error(std::move(error));
    }
    ErrorOr(ErrorOr&& other)
        : m_is_error(other.m_is_error)
    {
        if (m_is_error)
            new (&m_error) Error(std::move(other.m_error));
        else
            new (&m_value) T(std::move(other.m_value));
    }
    ErrorOr(ErrorOr const&) = delete;
    ErrorOr& operator=(ErrorOr const&) = delete;
    ~ErrorOr()
    {
        if (m_is_error)
            m_error.~Error();
        else
            m_value.~T();
    }

    bool is_error() const { return m_is_error; }
    T& value() { return m_value; }
    T const& value() const { return m_value; }
    Error const& error() const { return m_error; }
    T release_value() { return std::move(m_value); }
    Error release_error() { return std::move(m_error); }

private:
    union {
        T m_value;
        Error m_error;
    };
    bool m_is_error;
};

template<>
class [[nodiscard]] ErrorOr<void> {
public:
    ErrorOr() = default;
    ErrorOr(Error error)
        : m_error(new Error(std::move(error)))
    {
    }
    ErrorOr(ErrorOr&& other)
        : m_error(other.m_error)
    {
        other.m_error = nullptr;
    }
    ErrorOr(ErrorOr const&) = delete;
    ErrorOr& operator=(ErrorOr const&) = delete;
    ErrorOr& operator=(ErrorOr&& other)
    {
        if (this != &other) {
            delete m_error;
            m_error = other.m_error;
            other.m_error = nullptr;
        }
        return *this;
    }
    ~ErrorOr() { delete m_error; }

    bool is_error() const { return m_error != nullptr; }
    Error const& error() const { return *m_error; }
    void release_value() { }
    Error release_error() { return std::move(*m_error); }

private:
    Error* m_error { nullptr };
};

// A zero-filled buffer of `size` bytes, or the out-of-memory error: for
// buffers whose size comes from a disk or a user.
inline ErrorOr<ByteBuffer> try_allocate_bytes(size_t size)
{
    ByteBuffer bytes;
    if (!bytes.try_resize(size))
        return Error::out_of_memory(size);
    return bytes;
}

// Evaluates an ErrorOr expression; on error returns it from the enclosing
// function, otherwise yields the value.
#define TRY(expression)                                  \
    ({                                                   \
        auto _try_result = (expression);                 \
        if (_try_result.is_error())                      \
            return _try_result.release_error();          \
        _try_result.release_value();                     \
    })
