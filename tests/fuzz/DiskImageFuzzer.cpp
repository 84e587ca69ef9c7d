// The input is the start of a disk: an MBR and whatever volume its table
// points to, on a 512 KiB disk whose remaining bytes are zero. It is mounted
// the way the boot screen mounts disks (registry, partition table, probe,
// formatting of a blank partition), every directory within
// reach is listed and every file read, the volume is checked, and a
// directory and a file are made and removed again.
//
// On a volume the check finds clean, those changes must leave it clean, and
// the file must read back as saved: anything else is reported as a crash.

#include "fs/FsCheck.h"
#include "fs/Storage.h"
#include "kernel/Bootstrap.h"
#include "tests/sim/CmosClock.h"
#include "tests/sim/MemoryDisk.h"
#include "tests/sim/TestMachine.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace {

constexpr u64 DiskBlocks = 1024;
// The walk's bounds: directories may form loops, and records may point at
// each other's blocks. Every path is looked up from the root, so a deeper
// or wider walk costs executions without reaching other code.
constexpr int MaxDepth = 6;
constexpr int MaxDirectories = 24;
constexpr int MaxFiles = 24;

// Everything that outlives one input: a machine with a console for the
// boot's messages, a clock for time stamps (set anew for every input), and
// the disk, whose bytes every input replaces.
struct Machine {
    TestMachine machine;
    std::optional<CmosClock> clock;
    MemoryDisk disk { DiskBlocks };
    ByteBuffer content;

    Machine()
    {
        // Three blocks, so the content crosses block boundaries.
        content.resize(1300);
        for (size_t i = 0; i < content.size(); ++i)
            content[i] = static_cast<u8>(i * 31 + 7);
    }
};

Machine& machine()
{
    static Machine g_machine;
    return g_machine;
}

[[noreturn]] void fail(char const* what)
{
    std::fprintf(stderr, "disk image fuzzer: %s\n", what);
    std::abort();
}

struct Budget {
    int directories { MaxDirectories };
    int files { MaxFiles };
};

void walk(Filesystem& root, String const& path, int depth, Budget& budget)
{
    if (depth > MaxDepth || budget.directories-- <= 0)
        return;
    auto entries = root.list(path);
    if (entries.is_error())
        return;
    for (auto const& entry : entries.value()) {
        String child = path + "/" + entry.name;
        if (entry.is_directory())
            walk(root, child, depth + 1, budget);
        else if (budget.files-- > 0)
            (void)root.read_file(child);
    }
}

bool is_clean(DiskFilesystem& volume)
{
    auto problems = FsCheck::run(volume);
    return !problems.is_error() && problems.value().is_empty();
}

bool same(ByteBuffer const& a, ByteBuffer const& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

// A directory and a file in it (in the root when the directory cannot be
// made), read back and removed.
void change(Filesystem& root, DiskFilesystem& volume, ByteBuffer const& content)
{
    bool clean = is_clean(volume);
    bool made = !root.make_dir("/fuzz", "root").is_error();
    String file = made ? "/fuzz/file.txt" : "/file.txt";
    bool saved = !root.save_file(content, file, "root").is_error();
    if (clean && made && saved) {
        auto back = root.read_file(file);
        if (back.is_error() || !same(back.value(), content))
            fail("a saved file does not read back");
        if (!is_clean(volume))
            fail("making a directory and saving a file left problems on a clean volume");
    }
    bool deleted = !root.remove(file).is_error();
    if (clean && made && saved && deleted) {
        if (!root.read_file(file).is_error())
            fail("a deleted file can still be read");
        if (!is_clean(volume))
            fail("deleting a file left problems on a clean volume");
    }
    if (made)
        (void)root.remove("/fuzz");
}

}

// The file system allocates for every record it parses, and recording the
// whole stack of each allocation takes a third of the time. Reports keep
// eight frames; ASAN_OPTIONS=malloc_context_size=30 gives the full stacks
// when a saved input is run again.
extern "C" char const* __asan_default_options() { return "malloc_context_size=8"; }

extern "C" int LLVMFuzzerTestOneInput(u8 const* data, size_t size)
{
    auto& m = machine();
    Sim::clear_accesses();
    m.clock.emplace(10, 30);
    size_t copied = std::min(size, m.disk.bytes.size());
    std::memcpy(m.disk.bytes.data(), data, copied);
    std::memset(m.disk.bytes.data() + copied, 0, m.disk.bytes.size() - copied);

    Storage storage;
    (void)storage.add_disk(m.disk);
    Console::clear();
    (void)mount_disks(storage);
    auto volume = storage.boot_volume();
    if (volume.is_error())
        return 0;

    // The first byte of the MBR's boot code, which no table reader looks at,
    // picks the user: the superuser passes every permission check, anyone
    // else has the records' permission bits read.
    if (size > 0 && (data[0] & 1)) {
        storage.log_in({ "guest", 1 });
    }
    Budget budget;
    Filesystem& files = *storage.filesystem().value();
    walk(files, "", 0, budget);
    change(files, *volume.value(), m.content);
    return 0;
}
