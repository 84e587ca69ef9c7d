#include "fs/TextFile.h"

namespace TextFile {

ErrorOr<ByteBuffer> to_bytes(String const& text)
{
    auto bytes = text.try_to_bytes();
    if (!bytes)
        return Error::out_of_memory(text.length());
    return std::move(*bytes);
}

ErrorOr<String> from_bytes(ByteBuffer const& bytes)
{
    auto text = String::try_from_bytes(bytes.data(), bytes.size());
    if (!text)
        return Error::out_of_memory(static_cast<u64>(bytes.size()) * sizeof(char16_t));
    return text.value();
}

ErrorOr<String> read(Filesystem& filesystem, String const& path) { return from_bytes(TRY(filesystem.read_file(path))); }

ErrorOr<void> write(Filesystem& filesystem, String const& path, String const& text)
{
    return filesystem.save_file(TRY(to_bytes(text)), path, "root");
}

}
