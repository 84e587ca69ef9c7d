#include "fs/Extras.h"

#include "fs/RootFilesystem.h"

ErrorOr<ByteBuffer> Extras::StringToByte(String const& s)
{
    auto bytes = s.try_to_bytes();
    if (!bytes)
        return Error::out_of_memory(s.length());
    return std::move(*bytes);
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
