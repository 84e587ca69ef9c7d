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
        Path p(String(path.c_str()));
        u64 node = node_of(p.parent().to_string());
        auto records = this->node(node);
        for (auto& r : records) {
            if (r.name == p.leaf()) {
                r.owner_permissions = owner;
                r.group_permissions = group;
                r.other_permissions = other;
            }
        }
        write_node(node, records);
        user.privileges = 1;
    }

    bool may(char const* path, Permissions::Access access)
    {
        return Permissions::allows(user, fs.stat(path).value(), access);
    }
};

}

TEST(Permissions, SuperuserPassesEveryCheckWhateverTheRecordSays)
{
    BobsVolume v;
    v.set_permissions("home/bob/mine", 0, 0, 0);
    v.user = User::root();
    EXPECT_EQ(text_of(v.fs.read_file("home/bob/mine").value()), "mine");
    EXPECT_FALSE(v.fs.save_file(bytes_of("ours"), "home/bob/mine", "root").is_error());
    EXPECT_FALSE(v.fs.remove("home/bob/mine").is_error());
}

TEST(Permissions, OwnerBitCountsOnlyForTheOwnerAndTheOtherBytesForEveryone)
{
    BobsVolume v;
    using Permissions::Access;
    EXPECT_TRUE(v.may("home/bob/mine", Access::Read));
    EXPECT_TRUE(v.may("home/bob/mine", Access::Write));
    EXPECT_TRUE(v.may("home/roots", Access::Read));
    EXPECT_FALSE(v.may("home/roots", Access::Write));

    v.set_permissions("home/bob/mine", 6, 0, 0);
    EXPECT_TRUE(v.may("home/bob/mine", Access::Read));
    v.user.name = "eve";
    EXPECT_FALSE(v.may("home/bob/mine", Access::Read));
    EXPECT_EQ(error_of(v.fs.read_file("home/bob/mine")), "Access Denied!");
    v.set_permissions("home/bob/mine", 0, 0, 2); // the third byte alone grants writing
    EXPECT_TRUE(v.may("home/bob/mine", Access::Write));
    EXPECT_FALSE(v.may("home/bob/mine", Access::Read));
    EXPECT_FALSE(v.fs.remove("home/bob/mine").is_error());
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
    EXPECT_EQ(error_of(v.fs.list("home")), "Access Denied!");
    EXPECT_EQ(error_of(v.fs.list("/home/")), "Access Denied!");
    // The root itself is listed without a check.
    EXPECT_EQ(v.fs.list("").value().size(), 1u);
    EXPECT_EQ(v.fs.list("/").value().size(), 1u);

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
