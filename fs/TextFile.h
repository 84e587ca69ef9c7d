#pragma once

#include "fs/Filesystem.h"

// Text files: one character is one byte (the low 8 bits of its code); no
// encoding, terminator or line-ending changes. Texts are as long as files,
// so the conversions fail cleanly when memory runs out instead of stopping
// the machine.
namespace TextFile {

ErrorOr<ByteBuffer> to_bytes(String const& text);
ErrorOr<String> from_bytes(ByteBuffer const& bytes);

// The text of the file at `path`.
ErrorOr<String> read(Filesystem& filesystem, String const& path);
// Creates or replaces the file at `path` with owner "root".
ErrorOr<void> write(Filesystem& filesystem, String const& path, String const& text);

}
