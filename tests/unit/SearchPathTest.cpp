// Stage 8: the elements of the search path, cut by the tokenizer's own
// double-byte rule.
#include "TestSupport.h"

#include <vector>

namespace {

struct TokenCase {
    const char* name;
    std::string text;
    std::vector<std::string> tokens;  // every cut until the cursor rests on the NUL
};

TEST(NextTokenTest, CutsAtTheDelimiterButNeverInsideADoubleByteCharacter) {
    const TokenCase cases[] = {
        {"two elements", "A;B", {"A", "B"}},
        {"empty element in the middle", "A;;B", {"A", "", "B"}},
        {"leading delimiter", ";A", {"", "A"}},
        {"trailing delimiter gives no empty element", "A;", {"A"}},
        {"lead byte takes the delimiter with it", "A\x81;B;C", {"A\x81;B", "C"}},
        {"0xE9 is a lead byte too", "x\xe9;y", {"x\xe9;y"}},
        {"0xEF is the last lead byte", "x\xef;y", {"x\xef;y"}},
        {"0xF0 is a single byte", "x\xf0;y", {"x\xf0", "y"}},
        {"0xFC is a single byte", "x\xfc;y", {"x\xfc", "y"}},
        {"0xA0 is a single byte", "x\xa0;y", {"x\xa0", "y"}},
        {"0x80 is a single byte", "x\x80;y", {"x\x80", "y"}},
        {"lead byte last", "A;\x9f", {"A", "\x9f"}},
        {"trail byte 0x5C", "D:\\\x83\x5c;E", {"D:\\\x83\x5c", "E"}},
        {"blanks and quotes are kept", " \"A\" ; B", {" \"A\" ", " B"}},
    };
    const ByteString delimiter(";");
    for (const TokenCase& row : cases) {
        SCOPED_TRACE(row.name);
        const char* cursor = row.text.c_str();
        std::vector<std::string> tokens;
        ByteString token("stale");
        while (*cursor != '\0') {
            NextToken(delimiter, cursor, token);
            tokens.push_back(Str(token));
        }
        std::vector<std::string> expected;
        for (const std::string& t : row.tokens) expected.push_back(Escaped(t));
        for (std::string& t : tokens) t = Escaped(t);
        EXPECT_EQ(expected, tokens);
        EXPECT_EQ(row.text.c_str() + row.text.size(), cursor);
    }
}

TEST(NextTokenTest, OnTheNulGivesTheEmptyTokenAndStays) {
    const char* text = "";
    const char* cursor = text;
    ByteString token("stale");
    NextToken(";", cursor, token);
    EXPECT_TRUE(token.Empty());
    EXPECT_EQ(text, cursor);
}

TEST(NextTokenTest, ALongerDelimiterIsMatchedWhole) {
    const char* cursor = "a::b:c";
    ByteString token;
    NextToken("::", cursor, token);
    EXPECT_BYTES("a", Str(token));
    NextToken("::", cursor, token);
    EXPECT_BYTES("b:c", Str(token));
}

TEST(MatchesAtTest, ComparesCountBytesAndNeverPassesANul) {
    struct Case {
        const char* name;
        const char* a;
        const char* b;
        int count;
        bool matches;
    };
    const Case cases[] = {
        {"count 0", "x", "y", 0, true},
        {"negative count", "x", "y", -3, true},
        {"equal bytes", ";", ";x", 1, true},
        {"different bytes", ";", "x", 1, false},
        {"NUL on the left within the count", "a", "ab", 2, false},
        {"NUL on the right within the count", "ab", "a", 2, false},
        {"both NUL", "", "", 1, false},
        {"equal over the whole count", "abc", "abd", 2, true},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.matches, MatchesAt(row.a, row.b, row.count));
    }
}

class SearchPathStageTest : public WorldTest {
protected:
    void SetUp() override {
        WorldTest::SetUp();
        world.commandLine = "demo.exe";
    }
};

struct StageCase {
    const char* name;
    std::string path;
    std::string runtimeIn;  // a probed path that exists, or empty
    std::vector<std::string> probes;
    bool stillMissing;
};

TEST_F(SearchPathStageTest, ProbesEachElementInOrderUntilAHitOrAnEmptyElement) {
    const std::string longFolder = "C:\\" + std::string(1490, 'p');
    const std::string longPath = "C:\\a;C:\\b;" + longFolder;
    const StageCase cases[] = {
        {"runtime in the first element", "C:\\A;C:\\B", "C:\\A\\sorvanti.exe", {"C:\\A\\sorvanti.exe"}, false},
        {"runtime in the second", "C:\\A;C:\\B", "C:\\B\\sorvanti.exe",
         {"C:\\A\\sorvanti.exe", "C:\\B\\sorvanti.exe"}, false},
        {"a leading delimiter ends the stage", ";C:\\A", "C:\\A\\sorvanti.exe", {}, true},
        {"an empty element stops before the rest", "C:\\A;;C:\\B", "C:\\B\\sorvanti.exe",
         {"C:\\A\\sorvanti.exe"}, true},
        {"a trailing delimiter", "C:\\A;", "", {"C:\\A\\sorvanti.exe"}, true},
        {"blanks and quotes reach the probe", " \"C:\\A\" ", "", {" \"C:\\A\" \\sorvanti.exe"}, true},
        {"an element ending in \x83\x5c gets no backslash", "C:\\\x83\x5c", "",
         {"C:\\\x83\x5csorvanti.exe"}, true},
        {"empty value", "", "", {}, true},
        {"a value longer than 1022 bytes", longPath, longFolder + "\\sorvanti.exe",
         {"C:\\a\\sorvanti.exe", "C:\\b\\sorvanti.exe", longFolder + "\\sorvanti.exe"}, false},
    };
    for (const StageCase& row : cases) {
        SCOPED_TRACE(row.name);
        fake::ResetWorld();
        world.environment["Path"] = row.path;
        if (!row.runtimeIn.empty()) world.AddFile(row.runtimeIn);
        EXPECT_EQ(row.stillMissing, SearchPathStage());
        EXPECT_EQ(row.probes, world.probedPaths);
        EXPECT_EQ(row.stillMissing ? 0u : 1u, world.winExecs.size());
    }
}

TEST_F(SearchPathStageTest, AnAbsentVariableProbesNothing) {
    EXPECT_TRUE(SearchPathStage());
    EXPECT_TRUE(world.probedPaths.empty());
}

// The value is read once, before the scan; a long one is asked for again
// with the size that the platform reports.
TEST_F(SearchPathStageTest, ReadsTheWholeValueOnce) {
    world.environment["PATH"] = "C:\\A";
    SearchPathStage();
    EXPECT_EQ(std::vector<DWORD>{1023}, world.environmentSizes);

    fake::ResetWorld();
    world.environment["PATH"] = std::string(1022, 'x');
    SearchPathStage();
    EXPECT_EQ(std::vector<DWORD>{1023}, world.environmentSizes);

    fake::ResetWorld();
    world.environment["PATH"] = std::string(1023, 'x');
    SearchPathStage();
    ASSERT_EQ(2u, world.environmentSizes.size());
    EXPECT_GE(world.environmentSizes[1], 1024u);
    ASSERT_EQ(1u, world.probedPaths.size());
    EXPECT_EQ(std::string(1023, 'x') + "\\sorvanti.exe", world.probedPaths[0]);
}

}  // namespace
