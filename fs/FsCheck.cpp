#include "fs/FsCheck.h"

#include "fs/Checksum.h"
#include "fs/FileContent.h"
#include "fs/TreeWalker.h"

using namespace DiskFormat;

namespace {

// Claims the blocks of every record it is shown and reads every file: a
// directory is walked into only when its node's blocks were free to claim,
// so a loop or a node shared by two records is walked once.
class Checker : public TreeVisitor {
public:
    Checker(BlockStore& store, BlockNumber next_free)
        : m_store(store)
        , m_next_free(next_free)
    {
        m_claims.append({ { RootNode, NodeBlocks }, "" });
    }

    ErrorOr<bool> visit(DirectoryRecord const& record, String const&, String const& path) override
    {
        auto extent = extent_of(record);
        if (!extent) {
            problem(display(path) + ": bad size " + String::number(record.size));
            return false;
        }
        if (!claim(path, *extent))
            return false;
        if (!record.is_directory())
            check_content(path, record);
        return true;
    }

    ErrorOr<void> unreadable(String const& path, BlockNumber node, Error const& error) override
    {
        problem(display(path) + ": directory node at block " + String::number(node.stored()) + ": " + error.message());
        return {};
    }

    ErrorOr<void> nested_too_deeply(String const& path) override
    {
        problem(display(path) + ": directories nested too deeply (a loop?)");
        return {};
    }

    Vector<String> take() { return static_cast<Vector<String>&&>(m_problems); }

private:
    struct Claim {
        Extent extent;
        String path;
    };

    bool claim(String const& path, Extent extent)
    {
        if (extent.first < FirstFreeBlock || extent.end() > m_next_free.value()) {
            problem(display(path) + ": blocks " + String::number(extent.first.stored()) + "-"
                + String::number(static_cast<i64>(extent.end()) - 1) + " outside the allocated area 4-"
                + String::number(m_next_free.stored() - 1));
            return false;
        }
        for (auto const& claim : m_claims) {
            if (extent.overlaps(claim.extent)) {
                problem(display(path) + ": blocks " + String::number(extent.first.stored()) + "-"
                    + String::number(static_cast<i64>(extent.end()) - 1) + " overlap " + display(claim.path));
                return false;
            }
        }
        m_claims.append({ extent, path });
        return true;
    }

    void check_content(String const& path, DirectoryRecord const& record)
    {
        auto content = FileContent::read(m_store, record);
        if (content.is_error()) {
            problem(display(path) + ": " + content.error().message());
            return;
        }
        i32 checksum = content_checksum(content.value());
        if (checksum != record.checksum)
            problem(display(path) + ": bad checksum (stored " + String::number(record.checksum) + ", content "
                + String::number(checksum) + ")");
    }

    void problem(String const& text) { m_problems.append(text); }
    static String display(String const& path) { return "/" + path; }

    BlockStore& m_store;
    BlockNumber m_next_free;
    Vector<Claim> m_claims;
    Vector<String> m_problems;
};

}

ErrorOr<Vector<String>> FsCheck::run(DiskFilesystem& fs)
{
    BlockNumber next_free = TRY(fs.next_free_block());
    Checker checker(fs.blocks(), next_free);
    TRY(walk_tree(fs.blocks(), RootNode, "", checker));
    return checker.take();
}
