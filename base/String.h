#pragma once

#include "base/Types.h"
#include "base/Vector.h"

#include <optional>

// The system's string: a sequence of 16-bit characters. The text screen and
// the disk format keep only the low 8 bits of each character; the keyboard
// layer uses a few characters above 0xFF (arrows, Backspace) internally.
class String {
public:
    String() = default;
    String(char const* latin1);
    String(char16_t const* chars, size_t length);
    explicit String(Vector<char16_t> chars)
        : m_chars(static_cast<Vector<char16_t>&&>(chars))
    {
    }

    static String repeated(char16_t c, size_t count);
    static String number(i64 value);
    // Decimal, zero padded to at least `digits` digits (clock fields: "07").
    static String zero_padded(u32 value, u32 digits);
    // "0x"-less upper-case hexadecimal, zero padded to `digits` digits.
    static String hex(u32 value, u32 digits);
    // Each byte one character, or nothing when memory runs out: for texts as
    // long as a file.
    static std::optional<String> try_from_bytes(u8 const* bytes, size_t length);

    size_t length() const { return m_chars.size(); }
    bool is_empty() const { return m_chars.is_empty(); }
    // True for the empty string and for strings made only of white space.
    bool is_blank() const;
    char16_t operator[](size_t i) const { return m_chars[i]; }
    Vector<char16_t> const& chars() const { return m_chars; }

    String substring(size_t start) const;
    String substring(size_t start, size_t length) const;
    // Nothing when memory runs out: for pieces of texts as long as a file.
    std::optional<String> try_substring(size_t start, size_t length) const;
    i32 index_of(char16_t c) const;
    i32 last_index_of(char16_t c) const;
    bool contains(char16_t c) const { return index_of(c) >= 0; }
    bool starts_with(String const& prefix) const;
    String to_lower() const;
    Vector<String> split(char16_t separator) const;
    // Low 8 bits of every character, for the disk format and the serial log.
    ByteBuffer to_bytes() const;
    // to_bytes, or nothing when memory runs out: for texts as long as a file.
    std::optional<ByteBuffer> try_to_bytes() const;

    void append(char16_t c) { m_chars.append(c); }
    void append(String const& other);
    // false, with the string unchanged, when memory runs out.
    [[nodiscard]] bool try_append(String const& other);
    void insert(size_t index, char16_t c) { m_chars.insert(index, c); }
    void remove(size_t index) { m_chars.remove(index); }

    String& operator+=(String const& other)
    {
        append(other);
        return *this;
    }
    String& operator+=(char16_t c)
    {
        append(c);
        return *this;
    }
    bool operator==(String const& other) const;
    bool operator==(char const* latin1) const;
    bool operator!=(String const& other) const { return !(*this == other); }
    bool operator!=(char const* latin1) const { return !(*this == latin1); }

private:
    void copy_low_bytes(u8* bytes) const;

    Vector<char16_t> m_chars;
};

String operator+(String const& a, String const& b);
String operator+(String const& a, char const* b);
String operator+(char const* a, String const& b);
String operator+(String const& a, char16_t b);
