#pragma once

#include "fs/Storage.h"
#include "hal/ProgramRunner.h"

// The program runner with its file calls on the shell's volume: paths from
// the top of the disk, as the shell's disk commands take them.
class VolumeProgramRunner : public ProgramRunner {
public:
    explicit VolumeProgramRunner(Storage& storage)
        : m_storage(storage)
    {
    }

protected:
    i32 file_size(String const& path) override;
    i32 read_file(String const& path, u32 capacity, ByteBuffer& content) override;
    i32 write_file(String const& path, ByteBuffer const& bytes) override;

private:
    Storage& m_storage;
};
