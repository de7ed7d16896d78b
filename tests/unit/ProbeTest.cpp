// The probe: one candidate directory, the runtime's file in it or not, and
// the start.
#include "TestSupport.h"

namespace {

class ProbeTest : public WorldTest {
protected:
    void SetUp() override {
        WorldTest::SetUp();
        world.modulePath = "D:\\Games\\Demo\\demo.exe";
        world.commandLine = "\"D:\\Games\\Demo\\demo.exe\" -x";
        world.currentDirectory = "C:\\Work";
    }
};

struct BackslashCase {
    const char* name;
    const char* directory;
    const char* probed;
};

TEST_F(ProbeTest, AppendsABackslashOnlyWhereTheLastByteIsNotOne) {
    const BackslashCase cases[] = {
        {"without a backslash", "D:\\Tools", "D:\\Tools\\sorvanti.exe"},
        {"with a backslash", "D:\\Tools\\", "D:\\Tools\\sorvanti.exe"},
        {"empty: the bare name", "", "sorvanti.exe"},
        {"trail byte 0x5C counts as one", "D:\\Demo\x83\x5c", "D:\\Demo\x83\x5csorvanti.exe"},
        {"blanks and quotes are kept", " \"D:\\T\" ", " \"D:\\T\" \\sorvanti.exe"},
    };
    for (const BackslashCase& row : cases) {
        SCOPED_TRACE(row.name);
        world.probedPaths.clear();
        EXPECT_TRUE(TryLaunchFrom(row.directory));
        ASSERT_EQ(1u, world.probedPaths.size());
        EXPECT_BYTES(row.probed, world.probedPaths[0]);
    }
}

// A miss costs one existence test and nothing else.
TEST_F(ProbeTest, AMissReadsNothingElse) {
    EXPECT_TRUE(TryLaunchFrom("D:\\Nowhere"));
    EXPECT_EQ(std::vector<std::string>{"PathFileExistsA"}, world.calls);
    EXPECT_TRUE(world.winExecs.empty());
}

TEST_F(ProbeTest, AHitStartsTheRuntimeShownWithTheFullCommandLine) {
    world.AddFile("D:\\Games\\Demo\\bin\\sorvanti.exe");
    EXPECT_FALSE(TryLaunchFrom("D:\\Games\\Demo\\bin\\"));
    ASSERT_EQ(1u, world.winExecs.size());
    EXPECT_BYTES("\"D:\\Games\\Demo\\bin\\sorvanti.exe\" -runtime \"D:\\Games\\Demo\\demo.exe\" -x",
                 world.winExecs[0].commandLine);
    EXPECT_EQ(static_cast<UINT>(SW_SHOW), world.winExecs[0].show);
}

// An empty candidate finds the runtime in the current directory and names it
// by its bare file name.
TEST_F(ProbeTest, AnEmptyCandidateStartsTheBareName) {
    world.AddFile("C:\\Work\\sorvanti.exe");
    EXPECT_FALSE(TryLaunchFrom(""));
    ASSERT_EQ(1u, world.winExecs.size());
    EXPECT_BYTES("\"sorvanti.exe\" -runtime \"D:\\Games\\Demo\\demo.exe\" -x", world.winExecs[0].commandLine);
}

// Found but not startable (a folder of that name, say): the search ends all
// the same.
TEST_F(ProbeTest, AFailedStartStillEndsTheSearch) {
    world.AddFile("D:\\T\\sorvanti.exe");
    world.winExecResult = 2;  // ERROR_FILE_NOT_FOUND
    EXPECT_FALSE(TryLaunchFrom("D:\\T"));
    EXPECT_EQ(1u, world.winExecs.size());
}

TEST_F(ProbeTest, NeverChangesTheCallersDirectory) {
    const ByteString directory("D:\\Tools");
    TryLaunchFrom(directory);
    EXPECT_BYTES("D:\\Tools", Str(directory));
}

}  // namespace
