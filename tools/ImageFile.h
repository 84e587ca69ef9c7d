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
    static ErrorOr<OwnPtr<ImageFile>> open(std::string const& path);
    // Creates (or truncates) an image of `blocks` zero blocks.
    static ErrorOr<OwnPtr<ImageFile>> create(std::string const& path, u64 blocks);

    ErrorOr<void> read_block(u64 first, u32 count, ByteBuffer& buffer) override;
    ErrorOr<void> write_blocks(u64 first, std::span<BlockPiece const> pieces) override;
    u64 block_count() const override { return m_blocks; }

private:
    std::FILE* m_file;
    u64 m_blocks;
};
