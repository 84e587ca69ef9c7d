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
    data.clear();
    data.resize(size > 0 ? static_cast<size_t>(size) : 0);
    position = 0;
}

ErrorOr<u8> Stream::read()
{
    if (position < 0 || static_cast<size_t>(position) >= data.size())
        return Error(EndOfData);
    return data[static_cast<size_t>(position++)];
}

void Stream::write(u8 byte)
{
    if (position < 0)
        position = 0;
    size_t index = static_cast<size_t>(position);
    if (index >= data.size()) {
        size_t new_size = data.size() + GrowthStep;
        while (new_size <= index)
            new_size += GrowthStep;
        data.resize(new_size); // the new bytes are zero
    }
    data[index] = byte;
    ++position;
}

ErrorOr<i32> BinaryReader::read_int32()
{
    auto& s = base_stream;
    if (s.position < 0 || static_cast<size_t>(s.position) + 4 > s.data.size())
        return Error(EndOfData);
    u32 value = read_le32(s.data, static_cast<size_t>(s.position));
    s.position += 4;
    return static_cast<i32>(value);
}

ErrorOr<String> BinaryReader::read_string()
{
    u8 length = TRY(read_byte());
    String text;
    for (u8 i = 0; i < length; ++i)
        text.append(static_cast<char16_t>(TRY(read_byte())));
    return text;
}

void BinaryWriter::write(i32 value)
{
    u32 bits = static_cast<u32>(value);
    for (int i = 0; i < 4; ++i)
        base_stream.write(static_cast<u8>(bits >> (8 * i)));
}

void BinaryWriter::write(String const& text)
{
    base_stream.write(static_cast<u8>(text.length() & 0xFF));
    for (char16_t c : text.chars())
        base_stream.write(static_cast<u8>(c & 0xFF));
}
