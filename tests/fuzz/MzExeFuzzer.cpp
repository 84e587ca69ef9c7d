// The input is a file handed to the MZ loader (`exe PATH`). It is checked
// and loaded, never run; a program the loader accepts must go to a page of a
// program range, have its entry point inside the load module, fit below the
// kernel image (the low range) or the stack (the high one) and have every
// relocation entry collected.

#include "hal/MzExecutable.h"
#include "hal/ProgramArea.h"
#include "hal/ProgramMemory.h"

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
    u32 load = loaded.load_address();
    bool low = load >= ProgramArea::Base && load < ProgramArea::End;
    bool high = load >= Paging::HighProgramBase && load < ProgramMemory::HeapLimit;
    u64 limit = low ? ProgramArea::End : ProgramMemory::HeapLimit;
    u32 entry = loaded.entry_address() - load;
    u64 end = static_cast<u64>(load) + loaded.image_size() + loaded.extra_size();
    if ((!low && !high) || load % Paging::PageSize != 0 || entry >= loaded.image_size() || end > limit
        || loaded.relocations().size() != loaded.header().relocation_count) {
        std::fprintf(stderr, "mz fuzzer: the loader accepted a program it cannot run\n");
        std::abort();
    }
    return 0;
}
