#include "fs/FsCheck.h"
#include "tests/unit/StorageTestSupport.h"

#include <functional>

// The disk can lose its power between any two sectors of any write. Every
// operation is run with the cut after 0, 1, 2 ... sectors until it completes,
// and each time the volume must check clean and read either as before the
// operation or as after it.

namespace {

using Operation = std::function<ErrorOr<void>(DiskFilesystem&)>;

// What a reader finds: every entry in listing order, a directory as
// "path/", a file as "path=content"; or the first error met.
void read_tree(DiskFilesystem& fs, std::string const& directory, std::vector<std::string>& out)
{
    auto entries = fs.list(String(directory.c_str()));
    if (entries.is_error()) {
        out.push_back(directory + ": " + error_of(entries));
        return;
    }
    for (auto const& entry : entries.value()) {
        std::string path = directory + "/" + ascii(entry.name);
        if (entry.is_directory()) {
            out.push_back(path + "/");
            read_tree(fs, path, out);
            continue;
        }
        auto content = fs.read_file(String(path.c_str()));
        out.push_back(path + "=" + (content.is_error() ? "error: " + error_of(content) : text_of(content.value())));
    }
}

std::vector<std::string> tree(DiskFilesystem& fs)
{
    std::vector<std::string> out;
    read_tree(fs, "", out);
    return out;
}

std::unique_ptr<Volume> copy_of(Volume& v)
{
    auto copy = std::make_unique<Volume>(v.partition.block_count());
    copy->disk.bytes = v.disk.bytes;
    return copy;
}

std::string content(char letter, size_t length) { return std::string(length, letter); }

// Runs `operation` on copies of `base` with a cut after every possible number
// of sectors.
void cut_everywhere(Volume& base, Operation const& operation, std::string const& what)
{
    auto before = tree(base.fs);
    auto done = copy_of(base);
    EXPECT_EQ(error_of(operation(done->fs)), "") << what;
    auto after = tree(done->fs);
    EXPECT_NE(before, after) << what;
    for (i64 cut = 0; cut < 1000; ++cut) {
        auto v = copy_of(base);
        v->disk.sectors_left = cut;
        bool completed = !operation(v->fs).is_error();
        v->disk.sectors_left = -1;
        auto problems = FsCheck::run(v->fs);
        EXPECT_TRUE(!problems.is_error() && problems.value().is_empty())
            << what << ", cut after " << cut
            << " sectors: " << (problems.is_error() ? error_of(problems) : ascii(problems.value()[0]));
        auto found = tree(v->fs);
        EXPECT_TRUE(found == before || found == after) << what << ", cut after " << cut << " sectors";
        if (completed || ::testing::Test::HasFailure())
            return;
    }
    ADD_FAILURE() << what << " never completed";
}

void must(ErrorOr<void> result) { ASSERT_EQ(error_of(result), ""); }

} // namespace

TEST(PowerCut, EveryWriteOperationLeavesTheOldTreeOrTheNewOne)
{
    // /home/user holds records past the first block of its node, with a
    // multi-block document among them.
    Volume base(400);
    must(base.fs.make_dir("home", "root"));
    must(base.fs.make_dir("home/user", "root"));
    must(base.fs.save_file(bytes_of("top"), "top.txt", "root"));
    for (int i = 0; i < 14; ++i) {
        std::string name = "home/user/entry" + std::to_string(i);
        if (i == 5)
            must(base.fs.save_file(bytes_of(content('d', 1500)), "home/user/doc", "root"));
        else if (i % 2)
            must(base.fs.save_file(bytes_of(name), String(name.c_str()), "root"));
        else
            must(base.fs.make_dir(String(name.c_str()), "root"));
    }
    u8 const* second = base.block(base.node_of("home/user") + 1);
    ASSERT_TRUE(std::any_of(second, second + BlockDevice::BlockSize, [](u8 b) { return b != 0; }));

    cut_everywhere(
        base, [](DiskFilesystem& fs) { return fs.make_dir("home/user/fresh", "root"); }, "mkdir");
    cut_everywhere(
        base, [](DiskFilesystem& fs) { return fs.save_file(bytes_of("note"), "home/user/note", "root"); }, "new file");
    cut_everywhere(
        base, [](DiskFilesystem& fs) { return fs.save_file(bytes_of(content('n', 2000)), "home/user/doc", "root"); },
        "document saved over");
    cut_everywhere(
        base, [](DiskFilesystem& fs) { return fs.remove("home/user/entry2"); }, "rmdir in the middle");
    cut_everywhere(
        base, [](DiskFilesystem& fs) { return fs.remove("home/user/entry13"); }, "last entry removed");
    cut_everywhere(
        base, [](DiskFilesystem& fs) { return fs.save_file(bytes_of("top 2"), "top.txt", "root"); },
        "root file saved over");
    cut_everywhere(
        base, [](DiskFilesystem& fs) { return fs.write("home/user/doc", 700, bytes_of(content('w', 900))); },
        "a range written over");
    cut_everywhere(
        base, [](DiskFilesystem& fs) { return fs.append("top.txt", bytes_of(content('a', 600))); }, "an append");

    // Blocks freed by a delete are the first a later save takes.
    must(base.fs.remove("home/user/doc"));
    cut_everywhere(
        base, [](DiskFilesystem& fs) { return fs.save_file(bytes_of(content('h', 1000)), "home/user/hole", "root"); },
        "file saved into freed blocks");
    cut_everywhere(
        base, [](DiskFilesystem& fs) { return fs.save_file(bytes_of(content('t', 600)), "top.txt", "root"); },
        "root file saved over into freed blocks");
}

TEST(PowerCut, AMovedNodeIsSafeWhereverItsRecordLiesInTheParent)
{
    // A padding record of every length puts /home's record of "user", and so
    // the address that moves with user's node, at every position around the
    // boundary between the two blocks of /home's node. The node moves from
    // below block 256 to above it, so more than the address's low byte
    // changes; where those bytes straddle the boundary, /home moves too.
    int home_moved = 0;
    for (size_t pad = 150; pad <= 200; ++pad) {
        Volume base(1000);
        must(base.fs.make_dir("home", "root"));
        must(base.fs.make_dir(String("home/") + String::repeated(u'p', 255), "root"));
        must(base.fs.make_dir(String("home/") + String::repeated(u'q', pad), "root"));
        must(base.fs.make_dir("home/user", "root"));
        must(base.fs.make_dir("home/after", "root"));
        for (int i = 0; i < 16; ++i)
            must(base.fs.make_dir(String(("home/user/entry" + std::to_string(i)).c_str()), "root"));
        must(base.fs.save_file(bytes_of(content('f', 300 * 512)), "filler", "root"));
        auto done = copy_of(base);
        must(done->fs.remove("home/user/entry1"));
        home_moved += done->node_of("home") != base.node_of("home");
        cut_everywhere(
            base, [](DiskFilesystem& fs) { return fs.remove("home/user/entry1"); },
            "rmdir with a padding of " + std::to_string(pad));
        if (::testing::Test::HasFailure())
            return;
    }
    EXPECT_GT(home_moved, 0);
}

namespace {

// Whether the directory's own node holds an index: it has grown.
bool has_grown(Volume& volume, std::string const& directory)
{
    auto records = volume.node(volume.node_of(String(directory.c_str())));
    return !records.is_empty() && DiskFormat::is_index_record(records[0]);
}

// Whether saving `name` into `directory` makes it grow.
bool grows_with(Volume& volume, std::string const& directory, std::string const& name)
{
    auto trial = copy_of(volume);
    std::string path = directory.empty() ? name : directory + "/" + name;
    must(trial->fs.save_file(bytes_of(name), String(path.c_str()), "root"));
    return !has_grown(volume, directory) && has_grown(*trial, directory);
}

}

TEST(PowerCut, ADirectoryThatGrowsPastItsNodeAndShrinksBackIsOldOrNew)
{
    // /home/user, and the root itself, which has a fixed place.
    for (std::string directory : { "home/user", "" }) {
        Volume base(2000);
        must(base.fs.make_dir("home", "root"));
        must(base.fs.make_dir("home/user", "root"));
        std::string prefix = directory.empty() ? "" : directory + "/";
        int count = 0;
        auto next_name = [&] { return "entry-with-a-longer-name-" + std::to_string(count); };
        while (!grows_with(base, directory, next_name())) {
            must(base.fs.save_file(bytes_of(next_name()), String((prefix + next_name()).c_str()), "root"));
            ++count;
        }
        std::string last = next_name();
        cut_everywhere(
            base,
            [&](DiskFilesystem& fs) { return fs.save_file(bytes_of(last), String((prefix + last).c_str()), "root"); },
            "the save that grows /" + directory);
        must(base.fs.save_file(bytes_of(last), String((prefix + last).c_str()), "root"));
        // Fill it further, so leaves split and the index gains records.
        for (int more = 0; more < 40; ++more) {
            ++count;
            must(base.fs.save_file(bytes_of(next_name()), String((prefix + next_name()).c_str()), "root"));
        }
        cut_everywhere(
            base, [&](DiskFilesystem& fs) { return fs.make_dir(String((prefix + "late").c_str()), "root"); },
            "a mkdir in grown /" + directory);
        // Then empty it again down to the delete that makes it one node.
        for (int i = count; i >= 0; --i) {
            std::string name = "entry-with-a-longer-name-" + std::to_string(i);
            auto trial = copy_of(base);
            must(trial->fs.remove(String((prefix + name).c_str())));
            if (!has_grown(*trial, directory)) {
                cut_everywhere(
                    base, [&](DiskFilesystem& fs) { return fs.remove(String((prefix + name).c_str())); },
                    "the delete that shrinks /" + directory + " back");
                break;
            }
            // Every other delete runs under the cuts too: merges and leaves
            // that go.
            if (i % 7 == 0)
                cut_everywhere(
                    base, [&](DiskFilesystem& fs) { return fs.remove(String((prefix + name).c_str())); },
                    "a delete in grown /" + directory);
            must(base.fs.remove(String((prefix + name).c_str())));
            ASSERT_GT(i, 0) << "/" << directory << " never shrank back";
        }
        if (::testing::Test::HasFailure())
            return;
    }
}
