#include "fs/FsCheck.h"

#include "fs/Checksum.h"

namespace {

struct Extent {
    i64 first;
    i64 end; // one past the last block
    String owner;
};

class Checker {
public:
    Checker(DiskFilesystem& fs, i32 next_free)
        : m_fs(fs)
        , m_next_free(next_free)
    {
        m_extents.append({ DiskFilesystem::RootNode, DiskFilesystem::RootNode + DiskFilesystem::NodeBlocks, "" });
    }

    void walk(i32 node, String const& path, u32 depth)
    {
        // Deeper than any real tree: a directory loop.
        if (depth > DiskFilesystem::MaxDirectoryDepth) {
            problem(display(path) + ": directories nested too deeply (a loop?)");
            return;
        }
        auto records = m_fs.read_node(node);
        if (records.is_error()) {
            problem(
                display(path) + ": directory node at block " + String::number(node) + ": " + records.error().message());
            return;
        }
        for (auto const& record : records.value()) {
            String child = path.is_empty() ? record.name : path + "/" + record.name;
            if (record.type == DirectoryRecord::Directory) {
                if (claim(child, record.address, DiskFilesystem::NodeBlocks))
                    walk(record.address, child, depth + 1);
            } else if (record.type == DirectoryRecord::File) {
                check_file(child, record);
            } else {
                problem(display(child) + ": unknown record type " + String::number(record.type));
            }
        }
    }

    bool claim(String const& path, i64 first, i64 count)
    {
        i64 end = first + count;
        if (first < DiskFilesystem::FirstFreeBlock || end > m_next_free) {
            problem(display(path) + ": blocks " + String::number(first) + "-" + String::number(end - 1)
                + " outside the allocated area 4-" + String::number(m_next_free - 1));
            return false;
        }
        for (auto const& extent : m_extents) {
            if (first < extent.end && extent.first < end) {
                problem(display(path) + ": blocks " + String::number(first) + "-" + String::number(end - 1)
                    + " overlap " + display(extent.owner));
                return false;
            }
        }
        m_extents.append({ first, end, path });
        return true;
    }

    void check_file(String const& path, DirectoryRecord const& record)
    {
        auto length = record.content_length();
        if (!length) {
            problem(display(path) + ": bad size " + String::number(record.size));
            return;
        }
        if (!claim(path, record.address, DiskFilesystem::blocks_for_file(*length)))
            return;
        auto content = m_fs.read_content(record);
        if (content.is_error()) {
            problem(display(path) + ": " + content.error().message());
            return;
        }
        if (content.value().size() != *length)
            problem(display(path) + ": stored length " + String::number(static_cast<i64>(content.value().size()))
                + " does not match the record's size " + String::number(record.size));
        i32 checksum = content_checksum(content.value());
        if (checksum != record.checksum)
            problem(display(path) + ": bad checksum (stored " + String::number(record.checksum) + ", content "
                + String::number(checksum) + ")");
    }

    void problem(String const& text) { m_problems.append(text); }
    static String display(String const& path) { return "/" + path; }

    Vector<String> take() { return static_cast<Vector<String>&&>(m_problems); }

private:
    DiskFilesystem& m_fs;
    i64 m_next_free;
    Vector<Extent> m_extents;
    Vector<String> m_problems;
};

}

ErrorOr<Vector<String>> FsCheck::run(DiskFilesystem& fs)
{
    auto super = TRY(fs.read_superblock());
    Checker checker(fs, super.next_free_block);
    checker.walk(DiskFilesystem::RootNode, "", 0);
    return checker.take();
}
