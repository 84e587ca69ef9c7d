#pragma once

#include "base/Error.h"

// The byte streams every on-disk record goes through. Integers are 32-bit
// little-endian; strings are one length byte followed by one byte per
// character (the low 8 bits of each).
class Stream {
public:
    // Next byte to read or write; callers may move it directly.
    i32 position() const { return m_position; }
    void set_position(i32 position) { m_position = position; }
    // The backing array. Callers swap in a block buffer they have just read,
    // write records into it in place and hand the same array back to the disk.
    ByteBuffer const& data() const { return m_data; }
    ByteBuffer& data() { return m_data; }

    // Gives the stream a zero-filled array of `size` bytes.
    void init(i32 size);
    ErrorOr<u8> read();
    void write(u8 byte);

private:
    i32 m_position { 0 };
    ByteBuffer m_data;
};

// The one concrete stream: a zero-filled array of a given size.
class MemoryStream : public Stream {
public:
    explicit MemoryStream(i32 size) { init(size); }
};

class BinaryReader {
public:
    explicit BinaryReader(Stream& stream)
        : m_stream(stream)
    {
    }
    ErrorOr<u8> read_byte() { return m_stream.read(); }
    ErrorOr<i32> read_int32();
    ErrorOr<String> read_string();
    // The next byte, left to be read.
    ErrorOr<u8> peek_byte();
    // Passes over `count` bytes.
    ErrorOr<void> skip(u32 count);

private:
    Stream& m_stream;
};

class BinaryWriter {
public:
    explicit BinaryWriter(Stream& stream)
        : m_stream(stream)
    {
    }
    void write(u8 byte) { m_stream.write(byte); }
    void write(i32 value);
    // The length byte keeps only the low 8 bits of the length; callers that
    // need the string back must keep it to 255 characters.
    void write(String const& text);

private:
    Stream& m_stream;
};
