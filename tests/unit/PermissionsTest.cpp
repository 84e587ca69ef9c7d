#include "tests/unit/StorageTestSupport.h"

namespace {

// A volume with files and directories owned by root and bob, used by bob.
struct BobsVolume : Volume {
    explicit BobsVolume(String const& label = "TESSARY")
        : Volume(4096, label)
    {
        EXPECT_FALSE(fs.makeDir("home", "root").is_error());
        EXPECT_FALSE(fs.makeDir("home/bob", "bob").is_error());
        EXPECT_FALSE(fs.saveFile(bytes_of("mine"), "home/bob/mine", "bob").is_error());
        EXPECT_FALSE(fs.saveFile(bytes_of("roots"), "home/roots", "root").is_error());
        user = { "bob", 1 };
    }

    // Rewrites the permission bytes of the record at `path`.
    void set_permissions(std::string const& path, u8 owner, u8 group, u8 other)
    {
        user.privileges = 0;
        String p(path.c_str());
        i32 node = fs.getNodeAddress(Path::directoryPart(p), 0).value();
        auto records = fs.ReadNode(node).value();
        for (auto& r : records) {
            if (r.name == Path::leaf(p)) {
                r.ownerPermissions = owner;
                r.groupPermissions = group;
                r.otherPermissions = other;
            }
        }
        ByteBuffer bytes = DiskFilesystem::EncodeNode(records).value();
        std::copy(bytes.begin(), bytes.end(), block(static_cast<u64>(node)));
        user.privileges = 1;
    }
};

}

TEST(Permissions, SuperuserPassesEveryCheckWithoutReadingTheDisk)
{
    Volume v;
    int reads = v.disk.reads;
    EXPECT_TRUE(v.fs.CanRead("no/such/path").value());
    EXPECT_TRUE(v.fs.CanWrite("nothing").value());
    EXPECT_EQ(v.disk.reads, reads);
}

TEST(Permissions, OwnerBitCountsOnlyForTheOwnerAndTheOtherBytesForEveryone)
{
    BobsVolume v;
    EXPECT_TRUE(v.fs.CanRead("home/bob/mine").value());
    EXPECT_TRUE(v.fs.CanWrite("home/bob/mine").value());
    EXPECT_TRUE(v.fs.CanRead("home/roots").value());
    EXPECT_FALSE(v.fs.CanWrite("home/roots").value());

    v.set_permissions("home/bob/mine", 6, 0, 0);
    EXPECT_TRUE(v.fs.CanRead("home/bob/mine").value());
    v.user.name = "eve";
    EXPECT_FALSE(v.fs.CanRead("home/bob/mine").value());
    v.set_permissions("home/bob/mine", 0, 0, 2); // the third byte alone grants writing
    EXPECT_TRUE(v.fs.CanWrite("home/bob/mine").value());
    EXPECT_FALSE(v.fs.CanRead("home/bob/mine").value());
    EXPECT_EQ(error_of(v.fs.CanRead("home/missing")), "File not found!!!");
    EXPECT_EQ(error_of(v.fs.readFile("home/missing")), "File not found!!!");
}

TEST(Permissions, EachOperationDeniesWithItsOwnText)
{
    BobsVolume v;
    v.set_permissions("home", 6, 4, 4); // root's, read-only for bob
    EXPECT_EQ(error_of(v.fs.saveFile(bytes_of("x"), "home/new", "bob")), "Access denied");
    EXPECT_EQ(error_of(v.fs.makeDir("home/new", "bob")), "Access denied!");
    EXPECT_EQ(error_of(v.fs.Remove("home/roots")), "Access denied!");
    v.set_permissions("home/roots", 6, 0, 0);
    EXPECT_EQ(error_of(v.fs.readFile("home/roots")), "Access Denied!");
    v.set_permissions("home", 6, 0, 0);
    EXPECT_EQ(error_of(v.fs.getLongList("home")), "Access Denied!");
    EXPECT_EQ(error_of(v.fs.ListFiles("/home/")), "Access Denied!");
    // The root itself is listed without a check.
    EXPECT_EQ(v.fs.ListFiles("").value().size(), 1u);
    EXPECT_EQ(v.fs.getLongList("/").value().size(), 1u);

    // Replacing a file needs write permission on the file itself.
    v.set_permissions("home", 6, 6, 6);
    v.set_permissions("home/roots", 6, 4, 4);
    EXPECT_EQ(error_of(v.fs.saveFile(bytes_of("x"), "home/roots", "bob")), "Access denied!");
    v.user.privileges = 0;
    EXPECT_EQ(text_of(v.fs.readFile("home/roots").value()), "roots");
}

TEST(Permissions, TopLevelNamesAreUncheckedExceptDirectoriesOnKarvolin)
{
    BobsVolume karvolin("Karvolin");
    EXPECT_EQ(error_of(karvolin.fs.makeDir("top", "bob")), "Can not make files here");
    EXPECT_FALSE(karvolin.fs.saveFile(bytes_of("x"), "topfile", "bob").is_error());
    karvolin.user.privileges = 0;
    EXPECT_FALSE(karvolin.fs.makeDir("top", "root").is_error());

    BobsVolume other("Other");
    EXPECT_FALSE(other.fs.makeDir("top", "bob").is_error());
}
