// The input is a file handed to the MZ loader (`exe PATH`). It is checked
// and loaded, never run; a program the loader accepts must have its entry
// point inside the load module, fit below the program's stack and have every
// relocation entry collected.

#include "hal/MzExecutable.h"
#include "hal/ProgramArea.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(u8 const* data, size_t size)
{
    ByteBuffer file;
    file.resize(size);
    if (size > 0)
        std::memcpy(file.data(), data, size);
    auto exe = MzExecutable::load(static_cast<ByteBuffer&&>(file));
    if (exe.is_error())
        return 0;
    auto const& loaded = exe.value();
    u32 entry = loaded.entry_address() - ProgramArea::Base;
    u64 end = static_cast<u64>(ProgramArea::Base) + loaded.image_size() + loaded.extra_size();
    if (entry >= loaded.image_size() || end > ProgramArea::End
        || loaded.relocations().size() != loaded.header().relocation_count) {
        std::fprintf(stderr, "mz fuzzer: the loader accepted a program it cannot run\n");
        std::abort();
    }
    return 0;
}
