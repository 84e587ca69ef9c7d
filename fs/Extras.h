#pragma once

#include "base/Error.h"

// Text files through the root file system: one character is one byte (the
// low 8 bits of its code); no encoding, terminator or line-ending changes.
// Texts are as long as files, so the conversions fail cleanly when memory
// runs out instead of stopping the machine.
class Extras {
public:
    static ErrorOr<ByteBuffer> StringToByte(String const& s);
    static ErrorOr<String> ByteToString(ByteBuffer const& bytes);
    // The file's text, or "Error!" when it cannot be read. Only a file too
    // big for memory is an error: "Error!" would pass for its text.
    static ErrorOr<String> OpenTextFile(String const& path);
    // Saves with owner "root" at directory + "/" + name (directory + name
    // when the directory is "/"); false when the save failed.
    static bool SaveTextFile(String const& directory, String const& name, String const& text);
};

// The shell's text-file pair.
class FS {
public:
    static ErrorOr<String> ReadFile(String const& path) { return Extras::OpenTextFile(path); }
    // Note the argument order: text, file name, directory. A failed save is
    // silent.
    static void AddFile(String const& text, String const& name, String const& directory)
    {
        (void)Extras::SaveTextFile(directory, name, text);
    }
};
