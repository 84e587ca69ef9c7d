#include "fs/RootFilesystem.h"
#include "fs/TextFile.h"
#include "tests/unit/StorageTestSupport.h"

namespace {

// Records which path each operation was given.
class Recorder : public Filesystem {
public:
    ErrorOr<Vector<DirectoryRecord>> get_long_list(String const& path) override
    {
        return note("list", path), Vector<DirectoryRecord> {};
    }
    ErrorOr<ByteBuffer> read_file(String const& path) override { return note("read", path), ByteBuffer {}; }
    ErrorOr<Vector<String>> list_files(String const& path) override { return note("names", path), Vector<String> {}; }
    ErrorOr<void> remove(String const& path) override { return note("delete", path), ErrorOr<void> {}; }
    ErrorOr<void> make_dir(String const& path, String const&) override { return note("mkdir", path), ErrorOr<void> {}; }
    ErrorOr<void> save_file(ByteBuffer const&, String const& path, String const&) override
    {
        note("save", path);
        return Error("disk full");
    }
    void note(std::string const& op, String const& path) { calls.push_back(op + " " + ascii(path)); }
    std::vector<std::string> calls;
};

}

TEST(RootFilesystem, ForwardsByFirstPlainPrefixElseToTheFirstMount)
{
    RootFilesystem root;
    Recorder slash, mnt;
    root.mount("/", slash);
    root.mount("/mnt/", mnt);
    EXPECT_EQ(ascii(root.mount_points()[0].path), "");
    EXPECT_EQ(ascii(root.mount_points()[1].path), "mnt");

    ASSERT_FALSE(root.read_file("/home/root/a.txt").is_error());
    ASSERT_FALSE(root.get_long_list("/mnt/x").is_error());
    ASSERT_FALSE(root.list_files("mntx/y").is_error());
    ASSERT_FALSE(root.remove("/other").is_error());
    ASSERT_FALSE(root.make_dir("mnt", "root").is_error());
    EXPECT_EQ(error_of(root.save_file({}, "/mnt/a/b", "root")), "disk full");
    EXPECT_EQ(slash.calls, (std::vector<std::string> { "read home/root/a.txt", "delete other" }));
    EXPECT_EQ(mnt.calls, (std::vector<std::string> { "list /x", "names x/y", "mkdir ", "save /a/b" }));
}

TEST(RootFilesystem, FallbackIsAlwaysTheFirstMountAndNoMountIsAnError)
{
    RootFilesystem root;
    EXPECT_FALSE(error_of(root.read_file("a")).empty());
    Recorder mnt, slash, second;
    root.mount("mnt", mnt);
    root.mount("/", slash);
    root.mount("/", second);
    ASSERT_FALSE(root.read_file("/elsewhere").is_error());
    EXPECT_EQ(mnt.calls, (std::vector<std::string> { "read elsewhere" }));
    EXPECT_TRUE(slash.calls.empty() && second.calls.empty());
}

TEST(Path, TrimsOneSeparatorAtEachEnd)
{
    EXPECT_EQ(ascii(Path::trim_separators("/")), "");
    EXPECT_EQ(ascii(Path::trim_separators("")), "");
    EXPECT_EQ(ascii(Path::trim_separators("a/")), "a");
    EXPECT_EQ(ascii(Path::trim_separators("//a//")), "/a/");
}

TEST(TextFile, WritesAndReadsThroughTheRootFileSystemWithTheReasonOfAFailure)
{
    Volume volume;
    RootFilesystem root;
    root.mount("/", volume.fs);
    ASSERT_FALSE(volume.fs.make_dir("documents", "root").is_error());

    ASSERT_FALSE(TextFile::write(root, "/a.txt", "hi").is_error());
    auto record = volume.fs.read_from_node("a.txt").value();
    EXPECT_EQ(ascii(record.owner), "root");
    EXPECT_EQ(text_of(volume.fs.read_file("a.txt").value()), "hi");

    ASSERT_FALSE(TextFile::write(root, "/documents/n.txt", "note").is_error());
    EXPECT_EQ(ascii(TextFile::read(root, "/documents/n.txt").value()), "note");
    EXPECT_EQ(error_of(TextFile::read(root, "/documents/none.txt")), "File not found!!!");
    EXPECT_EQ(error_of(TextFile::write(root, "/missing/x.txt", "x")), "File not found :(");
}

TEST(TextFile, ConvertsCharactersToLowBytesAndBack)
{
    String smiley;
    smiley.append(u'\u263A');
    smiley.append(u'A');
    ByteBuffer bytes = TextFile::to_bytes(smiley).value();
    ASSERT_EQ(bytes.size(), 2u);
    EXPECT_EQ(bytes[0], 0x3A);
    EXPECT_EQ(bytes[1], 'A');
    EXPECT_EQ(ascii(TextFile::from_bytes(ByteBuffer { 0x48, 0x49 }).value()), "HI");
    EXPECT_EQ(ascii(TextFile::from_bytes(ByteBuffer {}).value()), "");
}
