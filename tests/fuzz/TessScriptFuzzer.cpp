// The input is a script file for `tsc`, run as the command runs it. `wfk`
// gets a key at once. The language has no jumps or loops: every script
// ends after its last line, so no step limit is needed.

#include "fs/TextFile.h"
#include "kernel/TessScript.h"
#include "tests/sim/TestMachine.h"

#include <cstring>

namespace {

// A console whose keyboard has a key ready whenever the script waits.
struct ScriptMachine {
    TestMachine machine;
    ScriptMachine()
    {
        Sim::on_halt([this] {
            machine.press(0x1E);
            machine.deliver_all();
        });
    }
};

}

extern "C" int LLVMFuzzerTestOneInput(u8 const* data, size_t size)
{
    static ScriptMachine g_machine;
    Sim::clear_accesses();
    Console::clear();
    // The stack is kept between the scripts of a session, not between inputs:
    // every input gets an interpreter of its own.
    TessScript interpreter;

    ByteBuffer file;
    file.resize(size);
    if (size > 0)
        std::memcpy(file.data(), data, size);
    auto script = TextFile::from_bytes(file);
    if (!script.is_error())
        (void)interpreter.run(script.value());
    return 0;
}
