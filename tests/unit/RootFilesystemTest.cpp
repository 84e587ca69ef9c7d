#include "fs/Extras.h"
#include "fs/RootFilesystem.h"
#include "tests/unit/StorageTestSupport.h"

namespace {

// Records which path each operation was given.
class Recorder : public StorageDevice {
public:
    ErrorOr<Vector<fsEntry>> getLongList(String const& path) override { return note("list", path), Vector<fsEntry> {}; }
    ErrorOr<ByteBuffer> readFile(String const& path) override { return note("read", path), ByteBuffer {}; }
    ErrorOr<Vector<String>> ListFiles(String const& path) override { return note("names", path), Vector<String> {}; }
    ErrorOr<void> Delete(String const& path) override { return note("delete", path), ErrorOr<void> {}; }
    ErrorOr<void> makeDir(String const& path, String const&) override { return note("mkdir", path), ErrorOr<void> {}; }
    ErrorOr<void> saveFile(ByteBuffer const&, String const& path, String const&) override
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
    root.Mount("/", slash);
    root.Mount("/mnt/", mnt);
    EXPECT_EQ(ascii(root.mountPoints[0].path), "");
    EXPECT_EQ(ascii(root.mountPoints[1].path), "mnt");

    ASSERT_FALSE(root.readFile("/home/root/a.txt").is_error());
    ASSERT_FALSE(root.getLongList("/mnt/x").is_error());
    ASSERT_FALSE(root.ListFiles("mntx/y").is_error());
    ASSERT_FALSE(root.Delete("/other").is_error());
    ASSERT_FALSE(root.makeDir("mnt", "root").is_error());
    EXPECT_EQ(error_of(root.saveFile({}, "/mnt/a/b", "root")), "disk full");
    EXPECT_EQ(slash.calls, (std::vector<std::string> { "read home/root/a.txt", "delete other" }));
    EXPECT_EQ(mnt.calls, (std::vector<std::string> { "list /x", "names x/y", "mkdir ", "save /a/b" }));
}

TEST(RootFilesystem, FallbackIsAlwaysTheFirstMountAndNoMountIsAnError)
{
    RootFilesystem root;
    EXPECT_FALSE(error_of(root.readFile("a")).empty());
    Recorder mnt, slash, second;
    root.Mount("mnt", mnt);
    root.Mount("/", slash);
    root.Mount("/", second);
    ASSERT_FALSE(root.readFile("/elsewhere").is_error());
    EXPECT_EQ(mnt.calls, (std::vector<std::string> { "read elsewhere" }));
    EXPECT_TRUE(slash.calls.empty() && second.calls.empty());
}

TEST(StringUtil, CleansNamesAndFindsSeparators)
{
    EXPECT_EQ(ascii(String_Util::cleanName("/")), "");
    EXPECT_EQ(ascii(String_Util::cleanName("")), "");
    EXPECT_EQ(ascii(String_Util::cleanName("a/")), "a");
    EXPECT_EQ(ascii(String_Util::cleanName("//a//")), "/a/");
    EXPECT_EQ(String_Util::LastIndexOf("a/b/c", u'/'), 3);
    EXPECT_EQ(String_Util::LastIndexOf("abc", u'/'), -1);
    EXPECT_TRUE(String_Util::Contains("a/b", u'/'));
}

struct TextFiles : ::testing::Test {
    void SetUp() override
    {
        saved = FileSystem::Root;
        FileSystem::Root = &root;
        root.Mount("/", volume.fs);
        ASSERT_FALSE(volume.fs.makeDir("documents", "root").is_error());
    }
    void TearDown() override { FileSystem::Root = saved; }
    Volume volume;
    RootFilesystem root;
    RootFilesystem* saved { nullptr };
};

TEST_F(TextFiles, SaveAndOpenThroughTheRootFileSystem)
{
    EXPECT_TRUE(Extras::SaveTextFile("/", "a.txt", "hi"));
    auto record = volume.fs.readFromNode("a.txt").value();
    EXPECT_EQ(ascii(record.owner), "root");
    EXPECT_EQ(text_of(volume.fs.readFile("a.txt").value()), "hi");

    FS::AddFile("note", "n.txt", "/documents");
    EXPECT_EQ(ascii(FS::ReadFile("/documents/n.txt").value()), "note");
    EXPECT_EQ(ascii(FS::ReadFile("/documents/none.txt").value()), "Error!");
    EXPECT_FALSE(Extras::SaveTextFile("/missing", "x.txt", "x"));
    FS::AddFile("x", "x.txt", "/missing"); // silent
}

TEST_F(TextFiles, AFileTooBigForMemoryIsAnErrorNotTheErrorText)
{
    ByteBuffer big;
    big.resize(40000);
    ASSERT_FALSE(volume.fs.saveFile(big, "documents/big.txt", "root").is_error());
    // The bytes fit; the text, two bytes a character, does not.
    Sim::set_fallible_allocation_limit(60000);
    auto text = FS::ReadFile("/documents/big.txt");
    ASSERT_TRUE(text.is_error());
    EXPECT_TRUE(text.error().is_out_of_memory());
    EXPECT_EQ(ascii(FS::ReadFile("/documents/none.txt").value()), "Error!");
    Sim::reset();
}

TEST(Extras, ConvertsCharactersToLowBytesAndBack)
{
    String smiley;
    smiley.append(u'\u263A');
    smiley.append(u'A');
    ByteBuffer bytes = Extras::StringToByte(smiley).value();
    ASSERT_EQ(bytes.size(), 2u);
    EXPECT_EQ(bytes[0], 0x3A);
    EXPECT_EQ(bytes[1], 'A');
    EXPECT_EQ(ascii(Extras::ByteToString(ByteBuffer { 0x48, 0x49 }).value()), "HI");
    EXPECT_EQ(ascii(Extras::ByteToString(ByteBuffer {}).value()), "");
}
