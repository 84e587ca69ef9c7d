#include "tools/ImageFile.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {
Error system_error(std::string const& what) { return Error(String((what + ": " + std::strerror(errno)).c_str())); }
}

ImageFile::~ImageFile() { std::fclose(m_file); }

ErrorOr<OwnPtr<ImageFile>> ImageFile::open(std::string const& path)
{
    std::FILE* file = std::fopen(path.c_str(), "r+b");
    if (!file)
        return system_error(path);
    struct stat info;
    if (fstat(fileno(file), &info) != 0) {
        std::fclose(file);
        return system_error(path);
    }
    return make_own<ImageFile>(file, static_cast<u64>(info.st_size) / BlockSize);
}

ErrorOr<OwnPtr<ImageFile>> ImageFile::create(std::string const& path, u64 blocks)
{
    std::FILE* file = std::fopen(path.c_str(), "w+b");
    if (!file)
        return system_error(path);
    if (ftruncate(fileno(file), static_cast<off_t>(blocks * BlockSize)) != 0) {
        std::fclose(file);
        return system_error(path);
    }
    return make_own<ImageFile>(file, blocks);
}

ErrorOr<void> ImageFile::read_block(u64 first, u32 count, ByteBuffer& buffer)
{
    TRY(check_request(first, count, buffer.size()));
    if (fseeko(m_file, static_cast<off_t>(first * BlockSize), SEEK_SET) != 0
        || std::fread(buffer.data(), 1, buffer.size(), m_file) != buffer.size())
        return system_error("image read");
    return {};
}

ErrorOr<void> ImageFile::write_blocks(u64 first, std::span<BlockPiece const> pieces)
{
    TRY(check_request(first, pieces));
    if (fseeko(m_file, static_cast<off_t>(first * BlockSize), SEEK_SET) != 0)
        return system_error("image write");
    for (auto const& piece : pieces) {
        if (std::fwrite(piece.data(), 1, piece.size(), m_file) != piece.size())
            return system_error("image write");
    }
    if (std::fflush(m_file) != 0)
        return system_error("image write");
    return {};
}
