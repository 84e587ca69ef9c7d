#pragma once

#include "base/String.h"

#include <new>
#include <utility>

// Kernel code has no C++ exceptions: a failure is an Error carrying the text
// the user sees, returned up the stack as ErrorOr<T> and forwarded with TRY.
//
// Failing must not cost memory: the heap may be what ran out, and most
// failures are dropped or only written once. So an Error keeps a literal
// message as the pointer it was given (every `char const*` message in the
// tree lives for the whole run), and an out-of-memory error only its byte
// count; the text is made when someone reads message().
class Error {
public:
    Error(char const* literal)
        : m_literal(literal)
    {
    }
    // A message put together at run time (a file name in it, say).
    explicit Error(String message)
        : m_text(std::move(message))
    {
    }
    // A request for `bytes` that the heap cannot meet. It is told apart from
    // other failures so that code which turns failures into a placeholder
    // (a text file that cannot be read shows "Error!") does not hide it.
    static Error out_of_memory(u64 bytes)
    {
        Error error;
        error.m_bytes_needed = bytes;
        error.m_out_of_memory = true;
        return error;
    }

    String message() const
    {
        if (m_out_of_memory)
            return "Not enough memory: " + String::number(static_cast<i64>(m_bytes_needed)) + " bytes needed";
        if (m_literal)
            return String(m_literal);
        return m_text;
    }
    bool is_out_of_memory() const { return m_out_of_memory; }

private:
    Error() = default;

    char const* m_literal { nullptr };
    String m_text;
    u64 m_bytes_needed { 0 };
    bool m_out_of_memory { false };
};

template<typename T>
class ErrorOr;

// What an ErrorOr<T> takes as its value: anything T can be made from, except
// an Error (which makes a failure) or another ErrorOr<T> (which moves).
template<typename U, typename T>
constexpr bool IsResultOf = std::is_same_v<std::decay_t<U>, Error> || std::is_same_v<std::decay_t<U>, ErrorOr<T>>;
template<typename U, typename T>
concept ConstructsValueOf = std::is_constructible_v<T, U&&> && !IsResultOf<U, T>;

template<typename T>
class [[nodiscard]] ErrorOr {
public:
    ErrorOr(T value)
        : m_is_error(false)
    {
        new (&m_value) T(std::move(value));
    }
    template<ConstructsValueOf<T> U>
    ErrorOr(U&& value)
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
    T& value()
    {
        VERIFY(!m_is_error);
        return m_value;
    }
    T const& value() const
    {
        VERIFY(!m_is_error);
        return m_value;
    }
    Error const& error() const
    {
        VERIFY(m_is_error);
        return m_error;
    }
    T release_value()
    {
        VERIFY(!m_is_error);
        return std::move(m_value);
    }
    Error release_error()
    {
        VERIFY(m_is_error);
        return std::move(m_error);
    }

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
    ErrorOr() { }
    ErrorOr(Error error)
        : m_is_error(true)
    {
        new (&m_error) Error(std::move(error));
    }
    // The moved-from result reads as a success, so nothing reports twice.
    ErrorOr(ErrorOr&& other) { take(other); }
    ErrorOr(ErrorOr const&) = delete;
    ErrorOr& operator=(ErrorOr const&) = delete;
    ErrorOr& operator=(ErrorOr&& other)
    {
        if (this != &other) {
            clear();
            take(other);
        }
        return *this;
    }
    ~ErrorOr() { clear(); }

    bool is_error() const { return m_is_error; }
    Error const& error() const
    {
        VERIFY(m_is_error);
        return m_error;
    }
    void release_value() { }
    Error release_error()
    {
        VERIFY(m_is_error);
        return std::move(m_error);
    }

private:
    void take(ErrorOr& other)
    {
        if (!other.m_is_error)
            return;
        new (&m_error) Error(std::move(other.m_error));
        m_is_error = true;
        other.clear();
    }
    void clear()
    {
        if (m_is_error)
            m_error.~Error();
        m_is_error = false;
    }

    // Held in place, not on the heap: a failure with a literal message
    // allocates nothing.
    union {
        Error m_error;
    };
    bool m_is_error { false };
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
#define TRY(expression)                         \
    ({                                          \
        auto _try_result = (expression);        \
        if (_try_result.is_error())             \
            return _try_result.release_error(); \
        _try_result.release_value();            \
    })

// Evaluates an ErrorOr expression that cannot fail here and yields its value;
// a failure stops the machine like a broken invariant does.
#define MUST(expression)                                                      \
    ({                                                                        \
        auto _must_result = (expression);                                     \
        if (_must_result.is_error())                                          \
            verification_failed("MUST(" #expression ")", __FILE__, __LINE__); \
        _must_result.release_value();                                         \
    })
