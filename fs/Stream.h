#pragma once

#include "base/Error.h"

// The byte streams every on-disk record goes through. Integers are 32-bit
// little-endian; strings are one length byte followed by one byte per
// character (the low 8 bits of each).
class Stream {
public:
    // Next byte to read or write; callers may move it directly.
    i32 position { 0 };
    // The backing array. Callers swap in a block buffer they have just read,
    // write records into it in place and hand the same array back to the disk.
    ByteBuffer data;

    // Gives the stream a zero-filled array of `size` bytes.
    void init(i32 size);
    ErrorOr<u8> read();
    void write(u8 byte);
};

// The one concrete stream: a zero-filled array of a given size.
class MemoryStream : public Stream {
public:
    explicit MemoryStream(i32 size) { init(size); }
};

class BinaryReader {
public:
    explicit BinaryReader(Stream& stream)
        : base_stream(stream)
    {
    }
    ErrorOr<u8> read_byte() { return base_stream.read(); }
    ErrorOr<i32> read_int32();
    ErrorOr<String> read_string();

    Stream& base_stream;
};

class BinaryWriter {
public:
    explicit BinaryWriter(Stream& stream)
        : base_stream(stream)
    {
    }
    void write(u8 byte) { base_stream.write(byte); }
    void write(i32 value);
    // The length byte keeps only the low 8 bits of the length; callers that
    // need the string back must keep it to 255 characters.
    void write(String const& text);

    Stream& base_stream;
};
