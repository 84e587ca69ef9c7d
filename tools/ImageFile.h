#pragma once

#include "base/OwnPtr.h"
#include "fs/BlockDevice.h"

#include <cstdio>
#include <string>

// A disk image file as a block device, for the host tools.
class ImageFile : public BlockDevice {
public:
    // Takes over `file`, an open image of `blocks` blocks.
    ImageFile(std::FILE* file, u64 blocks)
        : m_file(file)
        , m_blocks(blocks)
    {
    }
    ~ImageFile() override;

    // Opens an existing image for reading and writing.
    static ErrorOr<OwnPtr<ImageFile>> Open(std::string const& path);
    // Creates (or truncates) an image of `blocks` zero blocks.
    static ErrorOr<OwnPtr<ImageFile>> Create(std::string const& path, u64 blocks);

    ErrorOr<void> ReadBlock(u64 first, u32 count, ByteBuffer& buffer) override;
    ErrorOr<void> WriteBlock(u64 first, u32 count, ByteBuffer const& buffer) override;
    u64 BlockCount() const override { return m_blocks; }

private:
    std::FILE* m_file;
    u64 m_blocks;
};
