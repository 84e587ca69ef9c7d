#include "fs/TextFile.h"

namespace TextFile {

ErrorOr<ByteBuffer> to_bytes(String const& text)
{
    ByteBuffer bytes = TRY(try_allocate_bytes(text.length()));
    copy_chars_to_bytes(text, 0, bytes, 0, static_cast<i32>(text.length()));
    return bytes;
}

i32 copy_chars_to_bytes(String const& chars, i32 charIndex, ByteBuffer& bytes, i32 byteIndex, i32 count)
{
    i32 i = charIndex;
    i32 j = byteIndex;
    // Both bounds are compared with `count` itself; the byte index is also
    // kept inside the array.
    for (; i < count && static_cast<size_t>(i) < chars.length() && static_cast<size_t>(j) < bytes.size(); ++i, ++j)
        bytes[static_cast<size_t>(j)] = static_cast<u8>(chars[static_cast<size_t>(i)] & 0xFF);
    for (; j < count && static_cast<size_t>(j) < bytes.size(); ++j)
        bytes[static_cast<size_t>(j)] = 0;
    return i;
}

ErrorOr<String> from_bytes(ByteBuffer const& bytes)
{
    auto text = String::try_from_bytes(bytes.data(), bytes.size());
    if (!text)
        return Error::out_of_memory(static_cast<u64>(bytes.size()) * sizeof(char16_t));
    return text.value();
}

ErrorOr<String> read(Filesystem& filesystem, String const& path)
{
    return from_bytes(TRY(filesystem.readFile(path)));
}

ErrorOr<void> write(Filesystem& filesystem, String const& path, String const& text)
{
    return filesystem.saveFile(TRY(to_bytes(text)), path, "root");
}

}
