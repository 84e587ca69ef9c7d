#include "base/String.h"

String::String(char const* latin1)
{
    if (!latin1)
        return;
    size_t n = 0;
    while (latin1[n])
        ++n;
    m_chars.ensure_capacity(n);
    for (size_t i = 0; i < n; ++i)
        m_chars.append(static_cast<u8>(latin1[i]));
}

String::String(char16_t const* chars, size_t length)
{
    m_chars.ensure_capacity(length);
    for (size_t i = 0; i < length; ++i)
        m_chars.append(chars[i]);
}

String String::repeated(char16_t c, size_t count)
{
    String s;
    s.m_chars.ensure_capacity(count);
    for (size_t i = 0; i < count; ++i)
        s.m_chars.append(c);
    return s;
}

String String::number(i64 value)
{
    char digits[24];
    size_t n = 0;
    bool negative = value < 0;
    u64 magnitude = negative ? static_cast<u64>(-(value + 1)) + 1 : static_cast<u64>(value);
    do {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    String s;
    if (negative)
        s.append(u'-');
    while (n)
        s.append(static_cast<char16_t>(digits[--n]));
    return s;
}

String String::zero_padded(u32 value, u32 digits)
{
    String decimal = number(value);
    if (decimal.length() >= digits)
        return decimal;
    return repeated(u'0', digits - decimal.length()) + decimal;
}

String String::hex(u32 value, u32 digits)
{
    String s;
    for (u32 i = digits; i > 0; --i) {
        u32 nibble = (i - 1) < 8 ? (value >> ((i - 1) * 4)) & 0xF : 0;
        s.append(static_cast<char16_t>("0123456789ABCDEF"[nibble]));
    }
    return s;
}

std::optional<String> String::try_substring(size_t start, size_t length) const
{
    VERIFY(start <= this->length() && length <= this->length() - start);
    Vector<char16_t> chars;
    if (!chars.try_resize(length))
        return {};
    for (size_t i = 0; i < length; ++i)
        chars[i] = m_chars[start + i];
    return String(static_cast<Vector<char16_t>&&>(chars));
}

std::optional<String> String::try_from_bytes(u8 const* bytes, size_t length)
{
    String s;
    if (!s.m_chars.try_resize(length))
        return {};
    for (size_t i = 0; i < length; ++i)
        s.m_chars[i] = bytes[i];
    return s;
}

bool String::is_blank() const
{
    for (char16_t c : m_chars) {
        if (c != u' ' && c != u'\t' && c != u'\n' && c != u'\r' && c != u'\v' && c != u'\f')
            return false;
    }
    return true;
}

String String::substring(size_t start) const
{
    if (start >= length())
        return {};
    return substring(start, length() - start);
}

String String::substring(size_t start, size_t count) const
{
    if (start >= length())
        return {};
    if (count > length() - start)
        count = length() - start;
    return String(m_chars.data() + start, count);
}

i32 String::index_of(char16_t c) const
{
    for (size_t i = 0; i < length(); ++i) {
        if (m_chars[i] == c)
            return static_cast<i32>(i);
    }
    return -1;
}

i32 String::last_index_of(char16_t c) const
{
    for (size_t i = length(); i > 0; --i) {
        if (m_chars[i - 1] == c)
            return static_cast<i32>(i - 1);
    }
    return -1;
}

bool String::starts_with(String const& prefix) const
{
    if (prefix.length() > length())
        return false;
    for (size_t i = 0; i < prefix.length(); ++i) {
        if (m_chars[i] != prefix[i])
            return false;
    }
    return true;
}

String String::to_lower() const
{
    String s(*this);
    for (char16_t& c : s.m_chars) {
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c + 32);
    }
    return s;
}

Vector<String> String::split(char16_t separator) const
{
    Vector<String> pieces;
    size_t start = 0;
    for (size_t i = 0; i <= length(); ++i) {
        if (i == length() || m_chars[i] == separator) {
            pieces.append(String(m_chars.data() + start, i - start));
            start = i + 1;
        }
    }
    return pieces;
}

void String::copy_low_bytes(u8* bytes) const
{
    for (size_t i = 0; i < length(); ++i)
        bytes[i] = static_cast<u8>(m_chars[i] & 0xFF);
}

ByteBuffer String::to_bytes() const
{
    ByteBuffer bytes;
    bytes.resize(length());
    copy_low_bytes(bytes.data());
    return bytes;
}

std::optional<ByteBuffer> String::try_to_bytes() const
{
    ByteBuffer bytes;
    if (!bytes.try_resize(length()))
        return {};
    copy_low_bytes(bytes.data());
    return bytes;
}

void String::append(String const& other)
{
    m_chars.ensure_capacity(length() + other.length());
    for (char16_t c : other.m_chars)
        m_chars.append(c);
}

bool String::try_append(String const& other)
{
    if (!m_chars.try_grow_for(length() + other.length()))
        return false;
    for (char16_t c : other.m_chars)
        m_chars.append(c);
    return true;
}

bool String::operator==(String const& other) const
{
    if (length() != other.length())
        return false;
    for (size_t i = 0; i < length(); ++i) {
        if (m_chars[i] != other.m_chars[i])
            return false;
    }
    return true;
}

bool String::operator==(char const* latin1) const
{
    size_t i = 0;
    for (; latin1[i]; ++i) {
        if (i >= length() || m_chars[i] != static_cast<u8>(latin1[i]))
            return false;
    }
    return i == length();
}

String operator+(String const& a, String const& b)
{
    String s(a);
    s.append(b);
    return s;
}

String operator+(String const& a, char const* b) { return a + String(b); }
String operator+(char const* a, String const& b) { return String(a) + b; }
String operator+(String const& a, char16_t b)
{
    String s(a);
    s.append(b);
    return s;
}
