// The path helpers and the fixed directories over the scripted platform.
#include "TestSupport.h"

#include <string.h>

namespace {

struct PathCase {
    const char* name;
    const char* path;
    const char* directory;
};

class DirectoryOfTest : public WorldTest {};

TEST_F(DirectoryOfTest, CutsTheLastNameAndEndsInOneBackslash) {
    const PathCase cases[] = {
        {"below a root", "D:\\Tools\\Demo\\demo.exe", "D:\\Tools\\Demo\\"},
        {"in a drive's root", "D:\\demo.exe", "D:\\"},
        {"empty path", "", ""},
        {"bare file name", "demo.exe", "\\"},
        {"network share", "\\\\server\\share\\demo.exe", "\\\\server\\share\\"},
        // The trail byte 0x5C of the folder's last character counts as its backslash.
        {"folder ending in \x83\x5c", "D:\\Demo\x83\x5c\\demo.exe", "D:\\Demo\x83\x5c"},
        {"unquoted command with a backslash in its arguments",
         "D:\\Tools\\sorvanti.exe /x D:\\Data\\%1", "D:\\Tools\\sorvanti.exe /x D:\\Data\\"},
    };
    for (const PathCase& row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_BYTES(row.directory, Str(DirectoryOf(row.path)));
    }
}

TEST_F(DirectoryOfTest, LeavesTheCallersPathUnchanged) {
    const ByteString path("D:\\Tools\\Demo\\demo.exe");
    const ByteString directory = DirectoryOf(path);
    EXPECT_BYTES("D:\\Tools\\Demo\\demo.exe", Str(path));
    EXPECT_EQ(strlen("D:\\Tools\\Demo\\demo.exe"), path.Size());
    EXPECT_BYTES("D:\\Tools\\Demo\\", Str(directory));
}

class OwnPathTest : public WorldTest {};

TEST_F(OwnPathTest, IsTheModulePathAskedAnewEachTime) {
    world.modulePath = "D:\\Games\\Demo\\demo.exe";
    EXPECT_BYTES("D:\\Games\\Demo\\demo.exe", Str(OwnPath()));
    world.modulePath = "E:\\Other\\demo.exe";
    EXPECT_BYTES("E:\\Other\\demo.exe", Str(OwnPath()));
    EXPECT_EQ(2, world.Count("GetModuleFileNameA"));
}

// A path that fills the 261-byte buffer: newer systems end it with a NUL in
// the last byte, older ones leave the NUL out. Neither gives a NUL inside
// the text, nor a byte from beyond the buffer.
TEST_F(OwnPathTest, AFullBufferGivesNoNulAndNoByteBeyondIt) {
    world.modulePath = "C:\\" + std::string(300, 'a') + "\\demo.exe";
    const std::string full = world.modulePath;

    world.moduleNameWithoutNul = false;
    ByteString cut = OwnPath();
    EXPECT_BYTES(full.substr(0, 260), Str(cut));
    EXPECT_EQ(nullptr, memchr(cut.CStr(), '\0', cut.Size()));

    world.moduleNameWithoutNul = true;
    cut = OwnPath();
    EXPECT_BYTES(full.substr(0, 261), Str(cut));
}

TEST_F(OwnPathTest, AFailedQueryGivesTheEmptyPath) {
    world.modulePath = "";
    EXPECT_TRUE(OwnPath().Empty());
}

class PathExistsTest : public WorldTest {};

// Only the platform's exact answer 1 means that the path exists.
TEST_F(PathExistsTest, TrustsOnlyTheAnswerOne) {
    world.paths["C:\\file"] = 1;
    world.paths["C:\\odd"] = 2;
    world.paths["C:\\minus"] = -1;
    EXPECT_TRUE(PathExists("C:\\file"));
    EXPECT_FALSE(PathExists("C:\\odd"));
    EXPECT_FALSE(PathExists("C:\\minus"));
    EXPECT_FALSE(PathExists("C:\\missing"));
    EXPECT_FALSE(PathExists(""));
}

TEST_F(PathExistsTest, HandsThePathOverUnchanged) {
    PathExists(" \"C:\\x\" ");
    ASSERT_EQ(1u, world.probedPaths.size());
    EXPECT_BYTES(" \"C:\\x\" ", world.probedPaths[0]);
}

class FixedDirectoriesTest : public WorldTest {};

TEST_F(FixedDirectoriesTest, CurrentDirectoryIsThePlatformsTextUnchanged) {
    world.currentDirectory = "C:\\Work";
    EXPECT_BYTES("C:\\Work", Str(CurrentDirectory()));
    world.currentDirectory = "C:\\";
    EXPECT_BYTES("C:\\", Str(CurrentDirectory()));
    world.currentDirectory = std::string(1023, 'c');  // the longest that fits with its NUL
    EXPECT_BYTES(std::string(1023, 'c'), Str(CurrentDirectory()));
}

TEST_F(FixedDirectoriesTest, WindowsAndSystemDirectoriesEndInOneBackslash) {
    const PathCase cases[] = {
        {"below a root", "C:\\WINDOWS", "C:\\WINDOWS\\"},
        {"already ending in a backslash", "C:\\WINDOWS\\", "C:\\WINDOWS\\"},
        {"a root", "C:\\", "C:\\"},
        {"ending in \x95\x5c", "C:\\\x95\x5c", "C:\\\x95\x5c"},
        {"the longest that fits", "", ""},
    };
    for (const PathCase& row : cases) {
        SCOPED_TRACE(row.name);
        std::string text = row.path;
        std::string expected = row.directory;
        if (text.empty()) {
            text = "C:\\" + std::string(4092, 'w');
            expected = text + "\\";
        }
        world.windowsDirectory = text;
        world.systemDirectory = text;
        EXPECT_BYTES(expected, Str(WindowsDirectory()));
        EXPECT_BYTES(expected, Str(SystemDirectory()));
    }
}

// A failed call or a directory too long for the buffer leaves the buffer
// unwritten: the result is empty, never stale or unterminated bytes.
TEST_F(FixedDirectoriesTest, FailureOrOverflowGivesTheEmptyString) {
    world.currentDirectory = std::nullopt;
    world.windowsDirectory = std::nullopt;
    world.systemDirectory = std::nullopt;
    EXPECT_TRUE(CurrentDirectory().Empty());
    EXPECT_TRUE(WindowsDirectory().Empty());
    EXPECT_TRUE(SystemDirectory().Empty());

    world.currentDirectory = std::string(1024, 'c');
    world.windowsDirectory = std::string(4096, 'w');
    world.systemDirectory = std::string(5000, 's');
    EXPECT_TRUE(CurrentDirectory().Empty());
    EXPECT_TRUE(WindowsDirectory().Empty());
    EXPECT_TRUE(SystemDirectory().Empty());
}

class ParentOfOwnDirectoryTest : public WorldTest {};

TEST_F(ParentOfOwnDirectoryTest, IsTheTextUpToTheBackslashBeforeTheLast) {
    const PathCase cases[] = {
        {"two levels", "D:\\Tools\\Demo\\demo.exe", "D:\\Tools\\"},
        {"one level", "D:\\Tools\\demo.exe", "D:\\"},
        {"a drive's root", "D:\\demo.exe", ""},
        {"a share's root", "\\\\server\\share\\demo.exe", "\\\\server\\"},
        // 0x5C as the trail byte of a folder's character is met first.
        {"folder named \x95\x5c" "A", "D:\\\x95\x5c" "A\\demo.exe", "D:\\\x95\x5c"},
        {"bare module name", "demo.exe", ""},
        {"no module path", "", ""},
        {"a root without a drive", "\\demo.exe", ""},
    };
    for (const PathCase& row : cases) {
        SCOPED_TRACE(row.name);
        world.modulePath = row.path;
        EXPECT_BYTES(row.directory, Str(ParentOfOwnDirectory()));
    }
}

}  // namespace

namespace {

// The one value type: copies are independent, and a string may grow from
// its own bytes.
TEST(ByteStringTest, HasValueSemantics) {
    ByteString a("abc");
    ByteString b = a;
    b.Append('d');
    EXPECT_BYTES("abc", Str(a));
    EXPECT_BYTES("abcd", Str(b));

    ByteString self("xy");
    for (int i = 0; i < 4; ++i) self.Append(self);
    EXPECT_BYTES("xyxyxyxyxyxyxyxyxyxyxyxyxyxyxyxy", Str(self));

    const ByteString withNul("a\0b", 3);
    EXPECT_EQ(3u, withNul.Size());
    EXPECT_EQ('\0', withNul.CStr()[3]);
}

}  // namespace
