#include "tests/unit/StorageTestSupport.h"

namespace {

// A volume with files and directories owned by root and bob, used by bob.
struct BobsVolume : Volume {
    explicit BobsVolume(String const& label = "TESSARY")
        : Volume(4096, label)
    {
        EXPECT_FALSE(fs.make_dir("home", "root").is_error());
        EXPECT_FALSE(fs.make_dir("home/bob", "bob").is_error());
        EXPECT_FALSE(fs.save_file(bytes_of("mine"), "home/bob/mine", "bob").is_error());
        EXPECT_FALSE(fs.save_file(bytes_of("roots"), "home/roots", "root").is_error());
        user = { "bob", 1 };
    }

    // Rewrites the permission bytes of the record at `path`.
    void set_permissions(std::string const& path, u8 owner, u8 group, u8 other)
    {
        user.privileges = 0;
        String p(path.c_str());
        i32 node = fs.get_node_address(Path::directory_part(p), 0).value();
        auto records = fs.read_node(node).value();
        for (auto& r : records) {
            if (r.name == Path::leaf(p)) {
                r.owner_permissions = owner;
                r.group_permissions = group;
                r.other_permissions = other;
            }
        }
        ByteBuffer bytes = DiskFilesystem::encode_node(records).value();
        std::copy(bytes.begin(), bytes.end(), block(static_cast<u64>(node)));
        user.privileges = 1;
    }
};

}

TEST(Permissions, SuperuserPassesEveryCheckWithoutReadingTheDisk)
{
    Volume v;
    int reads = v.disk.reads;
    EXPECT_TRUE(v.fs.can_read("no/such/path").value());
    EXPECT_TRUE(v.fs.can_write("nothing").value());
    EXPECT_EQ(v.disk.reads, reads);
}

TEST(Permissions, OwnerBitCountsOnlyForTheOwnerAndTheOtherBytesForEveryone)
{
    BobsVolume v;
    EXPECT_TRUE(v.fs.can_read("home/bob/mine").value());
    EXPECT_TRUE(v.fs.can_write("home/bob/mine").value());
    EXPECT_TRUE(v.fs.can_read("home/roots").value());
    EXPECT_FALSE(v.fs.can_write("home/roots").value());

    v.set_permissions("home/bob/mine", 6, 0, 0);
    EXPECT_TRUE(v.fs.can_read("home/bob/mine").value());
    v.user.name = "eve";
    EXPECT_FALSE(v.fs.can_read("home/bob/mine").value());
    v.set_permissions("home/bob/mine", 0, 0, 2); // the third byte alone grants writing
    EXPECT_TRUE(v.fs.can_write("home/bob/mine").value());
    EXPECT_FALSE(v.fs.can_read("home/bob/mine").value());
    EXPECT_EQ(error_of(v.fs.can_read("home/missing")), "File not found!!!");
    EXPECT_EQ(error_of(v.fs.read_file("home/missing")), "File not found!!!");
}

TEST(Permissions, EachOperationDeniesWithItsOwnText)
{
    BobsVolume v;
    v.set_permissions("home", 6, 4, 4); // root's, read-only for bob
    EXPECT_EQ(error_of(v.fs.save_file(bytes_of("x"), "home/new", "bob")), "Access denied");
    EXPECT_EQ(error_of(v.fs.make_dir("home/new", "bob")), "Access denied!");
    EXPECT_EQ(error_of(v.fs.remove("home/roots")), "Access denied!");
    v.set_permissions("home/roots", 6, 0, 0);
    EXPECT_EQ(error_of(v.fs.read_file("home/roots")), "Access Denied!");
    v.set_permissions("home", 6, 0, 0);
    EXPECT_EQ(error_of(v.fs.get_long_list("home")), "Access Denied!");
    EXPECT_EQ(error_of(v.fs.list_files("/home/")), "Access Denied!");
    // The root itself is listed without a check.
    EXPECT_EQ(v.fs.list_files("").value().size(), 1u);
    EXPECT_EQ(v.fs.get_long_list("/").value().size(), 1u);

    // Replacing a file needs write permission on the file itself.
    v.set_permissions("home", 6, 6, 6);
    v.set_permissions("home/roots", 6, 4, 4);
    EXPECT_EQ(error_of(v.fs.save_file(bytes_of("x"), "home/roots", "bob")), "Access denied!");
    v.user.privileges = 0;
    EXPECT_EQ(text_of(v.fs.read_file("home/roots").value()), "roots");
}

TEST(Permissions, TopLevelNamesAreUncheckedExceptDirectoriesOnKarvolin)
{
    BobsVolume karvolin("Karvolin");
    EXPECT_EQ(error_of(karvolin.fs.make_dir("top", "bob")), "Can not make files here");
    EXPECT_FALSE(karvolin.fs.save_file(bytes_of("x"), "topfile", "bob").is_error());
    karvolin.user.privileges = 0;
    EXPECT_FALSE(karvolin.fs.make_dir("top", "root").is_error());

    BobsVolume other("Other");
    EXPECT_FALSE(other.fs.make_dir("top", "bob").is_error());
}

TEST(Permissions, MoveNeedsTheRightToRemoveTheSourceAndToWriteTheTargetDirectory)
{
    BobsVolume v;
    int writes = v.disk.writes;
    EXPECT_EQ(error_of(v.fs.move("home/roots", "home/bob/roots")), "Access denied!");
    EXPECT_EQ(error_of(v.fs.move("home/bob/mine", "home/mine")), "Access denied");
    EXPECT_EQ(v.disk.writes, writes);
    ASSERT_FALSE(v.fs.move("home/bob/mine", "home/bob/ours").is_error());
    EXPECT_EQ(text_of(v.fs.read_file("home/bob/ours").value()), "mine");
}
