#pragma once

#include "fs/BlockStore.h"

// A file's content on the disk: from its record's address, the 32-bit length
// n and the n bytes, zeros to the end of the last block.
namespace FileContent {

// The bytes a file record's content holds. The record's size and the length
// stored with the content must agree ("Corrupt file record"): a damaged
// record must not claim more than is there.
ErrorOr<ByteBuffer> read(BlockStore& store, DirectoryRecord const& record);
// Writes the stored form of `data` from `address`, into blocks_for_file
// blocks that no record points at yet.
ErrorOr<void> write(BlockStore& store, BlockNumber address, ByteBuffer const& data);

}
