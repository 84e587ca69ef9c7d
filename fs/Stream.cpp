#include "fs/Stream.h"

#include "base/Endian.h"

namespace {
// Growth step of a stream written past its end: keeps a byte-by-byte writer
// from reallocating on every byte.
constexpr size_t GrowthStep = 1000;
char const* const EndOfData = "Unexpected end of data";
}

void Stream::init(i32 size)
{
    m_data.clear();
    m_data.resize(size > 0 ? static_cast<size_t>(size) : 0);
    m_position = 0;
}

ErrorOr<u8> Stream::read()
{
    if (m_position < 0 || static_cast<size_t>(m_position) >= m_data.size())
        return Error(EndOfData);
    return m_data[static_cast<size_t>(m_position++)];
}

void Stream::write(u8 byte)
{
    if (m_position < 0)
        m_position = 0;
    size_t index = static_cast<size_t>(m_position);
    if (index >= m_data.size()) {
        size_t new_size = m_data.size() + GrowthStep;
        while (new_size <= index)
            new_size += GrowthStep;
        m_data.resize(new_size); // the new bytes are zero
    }
    m_data[index] = byte;
    ++m_position;
}

ErrorOr<i32> BinaryReader::read_int32()
{
    i32 position = m_stream.position();
    if (position < 0 || static_cast<size_t>(position) + 4 > m_stream.data().size())
        return Error(EndOfData);
    u32 value = read_le32(m_stream.data(), static_cast<size_t>(position));
    m_stream.set_position(position + 4);
    return static_cast<i32>(value);
}

ErrorOr<String> BinaryReader::read_string()
{
    u8 length = TRY(read_byte());
    // In one piece: every directory record holds three strings, and a walk
    // of a large tree reads tens of thousands.
    i32 position = m_stream.position();
    if (static_cast<size_t>(position) + length > m_stream.data().size())
        return Error(EndOfData);
    auto text = String::try_from_bytes(m_stream.data().data() + position, length);
    if (!text)
        return Error::out_of_memory(length * sizeof(char16_t));
    m_stream.set_position(position + length);
    return static_cast<String&&>(*text);
}

ErrorOr<u8> BinaryReader::peek_byte()
{
    u8 byte = TRY(m_stream.read());
    m_stream.set_position(m_stream.position() - 1);
    return byte;
}

ErrorOr<void> BinaryReader::skip(u32 count)
{
    i32 position = m_stream.position();
    if (position < 0 || static_cast<size_t>(position) + count > m_stream.data().size())
        return Error(EndOfData);
    m_stream.set_position(position + static_cast<i32>(count));
    return {};
}

void BinaryWriter::write(i32 value)
{
    u32 bits = static_cast<u32>(value);
    for (int i = 0; i < 4; ++i)
        m_stream.write(static_cast<u8>(bits >> (8 * i)));
}

void BinaryWriter::write(String const& text)
{
    m_stream.write(static_cast<u8>(text.length() & 0xFF));
    for (char16_t c : text.chars())
        m_stream.write(static_cast<u8>(c & 0xFF));
}
