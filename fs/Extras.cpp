#include "fs/Extras.h"

#include "fs/RootFilesystem.h"

ErrorOr<ByteBuffer> Extras::StringToByte(String const& s)
{
    ByteBuffer bytes = TRY(try_allocate_bytes(s.length()));
    CopyCharToByte(s, 0, bytes, 0, static_cast<i32>(s.length()));
    return bytes;
}

i32 Extras::CopyCharToByte(String const& chars, i32 charIndex, ByteBuffer& bytes, i32 byteIndex, i32 count)
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

ErrorOr<String> Extras::ByteToString(ByteBuffer const& bytes)
{
    auto text = String::try_from_bytes(bytes.data(), bytes.size());
    if (!text)
        return Error::out_of_memory(static_cast<u64>(bytes.size()) * sizeof(char16_t));
    return text.value();
}

ErrorOr<String> Extras::OpenTextFile(String const& path)
{
    if (!FileSystem::Root)
        return String("Error!");
    auto content = FileSystem::Root->readFile(path);
    if (content.is_error()) {
        if (content.error().is_out_of_memory())
            return content.release_error();
        return String("Error!");
    }
    return ByteToString(content.value());
}

bool Extras::SaveTextFile(String const& directory, String const& name, String const& text)
{
    if (!FileSystem::Root)
        return false;
    String path = directory == "/" ? directory + name : directory + "/" + name;
    auto bytes = StringToByte(text);
    return !bytes.is_error() && !FileSystem::Root->saveFile(bytes.value(), path, "root").is_error();
}
