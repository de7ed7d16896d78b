// The whole run through the entry point: the stages in their order, the first
// hit ending the chain, and the exit code.
#include "TestSupport.h"

#include <vector>

namespace {

class ChainTest : public WorldTest {
protected:
    void SetUp() override {
        WorldTest::SetUp();
        world.modulePath = "D:\\Games\\Demo\\demo.exe";
        world.commandLine = "\"D:\\Games\\Demo\\demo.exe\" a";
        world.currentDirectory = "C:\\Work";
        world.windowsDirectory = "C:\\WINDOWS";
        world.systemDirectory = "C:\\WINDOWS\\system32";
        world.associationKeyExists = true;
        world.associationDefaultValue = fake::RegistryValue{"\"E:\\Assoc\\sorvanti.exe\" \"%1\"", REG_SZ};
        world.environment["PATH"] = "F:\\P1;F:\\P2";
    }

    int Run() { return WinMain(NULL, NULL, NULL, 0); }

    // Every runtime path that the chain probes when the runtime is nowhere.
    const std::vector<std::string> everyProbe = {
        "D:\\Games\\Demo\\sorvanti.exe",      // 1 own
        "C:\\Work\\sorvanti.exe",             // 2 current
        "C:\\WINDOWS\\sorvanti.exe",          // 3 Windows
        "C:\\WINDOWS\\system32\\sorvanti.exe",  // 4 System
        "D:\\Games\\Demo\\bin\\sorvanti.exe",  // 5 bin
        "D:\\Games\\sorvanti.exe",            // 6 parent
        "E:\\Assoc\\sorvanti.exe",            // 7 association
        "F:\\P1\\sorvanti.exe",               // 8 path, first element
        "F:\\P2\\sorvanti.exe",               // 8 path, second element
    };
};

TEST_F(ChainTest, TheFirstPlaceThatHoldsTheRuntimeWinsAndEndsTheSearch) {
    for (size_t hit = 0; hit < everyProbe.size(); ++hit) {
        SCOPED_TRACE(everyProbe[hit]);
        SetUp();
        // The runtime lies at the hit and everywhere later: only the hit starts.
        for (size_t i = hit; i < everyProbe.size(); ++i) world.AddFile(everyProbe[i]);

        EXPECT_EQ(0, Run());
        const std::vector<std::string> probedUpToHit(everyProbe.begin(), everyProbe.begin() + hit + 1);
        EXPECT_EQ(probedUpToHit, world.probedPaths);
        ASSERT_EQ(1u, world.winExecs.size());
        EXPECT_BYTES("\"" + everyProbe[hit] + "\" -runtime \"D:\\Games\\Demo\\demo.exe\" a",
                     world.winExecs[0].commandLine);
        EXPECT_TRUE(world.messageBoxes.empty());
        EXPECT_TRUE(world.shellExecutes.empty());
    }
}

// A hit in the bin folder: the registry and the search path are never read.
// The whole conversation with the platform is pinned, in order.
TEST_F(ChainTest, LaterStagesAreNeverComputed) {
    world.AddFile("D:\\Games\\Demo\\bin\\sorvanti.exe");
    EXPECT_EQ(0, Run());
    const std::vector<std::string> expected = {
        "GetModuleFileNameA", "PathRemoveFileSpecA", "PathFileExistsA",  // 1
        "GetCurrentDirectoryA", "PathFileExistsA",                       // 2
        "GetWindowsDirectoryA", "PathFileExistsA",                       // 3
        "GetSystemDirectoryA", "PathFileExistsA",                        // 4
        "GetModuleFileNameA", "PathRemoveFileSpecA", "PathFileExistsA",  // 5, own path asked anew
        "GetModuleFileNameA", "GetCommandLineA", "WinExec",              // the start
    };
    EXPECT_EQ(expected, world.calls);
}

TEST_F(ChainTest, WhenNothingHoldsTheRuntimeEveryStageRunsThenTheDialogue) {
    world.messageBoxAnswers = {IDNO};
    EXPECT_EQ(0, Run());
    EXPECT_EQ(everyProbe, world.probedPaths);
    EXPECT_TRUE(world.winExecs.empty());
    EXPECT_EQ(1, world.Count("RegOpenKeyExA"));
    EXPECT_EQ(1, world.Count("GetEnvironmentVariableA"));
    EXPECT_EQ(2u, world.messageBoxes.size());
}

// A start that fails still ends the run quietly.
TEST_F(ChainTest, ARuntimeThatCannotStartEndsTheRunWithoutADialogue) {
    world.AddFile("D:\\Games\\Demo\\sorvanti.exe");
    world.winExecResult = 0;
    EXPECT_EQ(0, Run());
    EXPECT_EQ(1u, world.probedPaths.size());
    EXPECT_TRUE(world.messageBoxes.empty());
    EXPECT_EQ(0, world.Count("GetCurrentDirectoryA"));
}

TEST_F(ChainTest, TheCurrentDirectoryEqualToTheOwnIsProbedAgain) {
    world.currentDirectory = "D:\\Games\\Demo";
    world.environment.clear();
    world.associationKeyExists = false;
    Run();
    ASSERT_GE(world.probedPaths.size(), 2u);
    EXPECT_EQ(world.probedPaths[0], world.probedPaths[1]);
}

// At a drive's root the parent is empty, so stage 6 probes the bare name
// against the current directory.
TEST_F(ChainTest, ALauncherAtADrivesRoot) {
    world.modulePath = "D:\\demo.exe";
    world.commandLine = "D:\\demo.exe";
    world.currentDirectory = "C:\\Elsewhere";
    world.environment.clear();
    world.associationKeyExists = false;
    world.messageBoxAnswers = {IDNO};
    Run();
    const std::vector<std::string> expected = {
        "D:\\sorvanti.exe", "C:\\Elsewhere\\sorvanti.exe", "C:\\WINDOWS\\sorvanti.exe",
        "C:\\WINDOWS\\system32\\sorvanti.exe", "D:\\bin\\sorvanti.exe", "sorvanti.exe",
        "sorvanti.exe",  // stage 7: no association, the empty candidate
    };
    EXPECT_EQ(expected, world.probedPaths);
}

// With no own path at all, stage 5 is "bin\" relative to the current directory.
TEST_F(ChainTest, AnUnknownOwnPathMakesStageFiveRelative) {
    world.modulePath = "";
    world.AddFile("C:\\Work\\bin\\sorvanti.exe");
    Run();
    ASSERT_EQ(5u, world.probedPaths.size());
    EXPECT_BYTES("bin\\sorvanti.exe", world.probedPaths[4]);
    ASSERT_EQ(1u, world.winExecs.size());
}

}  // namespace
