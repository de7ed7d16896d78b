// The splitting of the launcher's own command line and the command line that
// the probe builds from it.
#include "TestSupport.h"

#include <vector>

namespace {

std::vector<std::string> AllArguments() {
    std::vector<std::string> arguments;
    for (int i = 1; i <= ArgumentCount(); ++i) arguments.push_back(Str(ArgumentAt(i)));
    return arguments;
}

std::string Joined(const std::vector<std::string>& arguments) {
    std::string joined;
    for (const std::string& argument : arguments) joined += "[" + Escaped(argument) + "]";
    return joined;
}

struct SplitCase {
    const char* name;
    std::string commandLine;
    std::vector<std::string> arguments;
};

class SplittingTest : public WorldTest {};

TEST_F(SplittingTest, CutsArgumentsByTheLaunchersOwnRule) {
    const SplitCase cases[] = {
        {"no arguments", "demo.exe", {}},
        {"trailing separators only", "demo.exe \t\r\n ", {}},
        {"worked example", "demo.exe -x \"my file.txt\" \"abc\" a\"\"b", {"-x", "my file.txt", "abc", "ab"}},
        {"quoted run joined with what follows", "demo.exe \"a b\"c", {"a b" "c"}},
        {"empty pair alone is skipped", "demo.exe \"\" x", {"x"}},
        {"several empty pairs", "demo.exe \"\"\"\" \"\" x \"\"", {"x"}},
        {"backslash before a closing quote", "demo.exe \"D:\\My Dir\\\"", {"D:\\My Dir\\"}},
        {"unclosed quote takes the rest", "demo.exe \"ab c \t d", {"ab c \t d"}},
        {"lone quote at the end adds nothing", "demo.exe a \"", {"a"}},
        {"every control byte separates", "demo.exe a\x01" "b\x1f" "c d", {"a", "b", "c", "d"}},
        {"bytes from 0x80 never separate", "demo.exe \x80\xa0\xff", {"\x80\xa0\xff"}},
        // In code page 932 a double-byte character is never split: its trail
        // byte 0x22 neither opens a quote nor is dropped.
        {"trail byte 0x22 stays", "demo.exe \x81\x22x y", {"\x81\x22x", "y"}},
        {"trail byte 0x20 does not separate", "demo.exe \x81\x20x", {"\x81\x20x"}},
        {"lead byte last on the line", "demo.exe a\x81", {"a\x81"}},
        {"quoted program name with spaces", "\"C:\\My App\\demo.exe\" z", {"z"}},
        {"program name glued to a quoted run", "demo\"x y\" z", {"z"}},
        {"tab inside quotes", "demo.exe \"a\tb\"", {"a\tb"}},
    };
    for (const SplitCase& row : cases) {
        SCOPED_TRACE(row.name);
        world.commandLine = row.commandLine;
        EXPECT_EQ(Joined(row.arguments), Joined(AllArguments()));
        EXPECT_TRUE(ArgumentAt(static_cast<int>(row.arguments.size()) + 1).Empty());
    }
}

TEST_F(SplittingTest, SingleByteCodePageSplitsAtEveryQuoteAndBlank) {
    world.codePage = 1252;
    world.commandLine = "demo.exe \x81\"x y\" \x81 z";
    EXPECT_EQ(Joined({"\x81x y", "\x81", "z"}), Joined(AllArguments()));
}

TEST_F(SplittingTest, NextArgumentStopsAtTheSeparatorAfterTheArgument) {
    world.commandLine = "  ab\"c d\"e  f";
    const char* position = world.commandLine.c_str();
    EXPECT_BYTES("abc de", Str(NextArgument(position)));
    EXPECT_BYTES("  f", std::string(position));
    EXPECT_BYTES("f", Str(NextArgument(position)));
    EXPECT_EQ('\0', *position);
    EXPECT_TRUE(NextArgument(position).Empty());
}

struct LaunchCase {
    const char* name;
    std::string arguments;  // what follows the program name on the launcher's line
    std::string passedOn;   // what follows the quoted own path on the runtime's line
};

class LaunchCommandLineTest : public WorldTest {};

TEST_F(LaunchCommandLineTest, PassesEveryArgumentOnByItsRule) {
    const LaunchCase cases[] = {
        {"no arguments", "", ""},
        {"plain switch", " -x", " -x"},
        {"quoted with a space keeps its quotes", " \"my file.txt\"", " \"my file.txt\""},
        {"quoted without a space loses them", " \"abc\"", " abc"},
        {"empty pair inside", " a\"\"b", " ab"},
        {"quoted run then a letter", " \"a b\"c", " \"a bc\""},
        {"empty pair alone", " \"\"", ""},
        {"backslash before the closing quote", " \"D:\\My Dir\\\"", " \"D:\\My Dir\\\""},
        {"unclosed quote", " \"ab c", " \"ab c\""},
        {"tab but no space gets no quotes", " \"a\tb\"", " a\tb"},
        {"argument ending in a backslash", " C:\\dir\\", " C:\\dir\\"},
        {"pair skipped, later arguments kept", " \"\" x \"\" y", " x y"},
        {"double-byte trail 0x22 kept unquoted", " \x81\x22z", " \x81\x22z"},
    };
    for (const LaunchCase& row : cases) {
        SCOPED_TRACE(row.name);
        const std::string line = "\"C:\\My App\\demo.exe\"" + row.arguments;
        EXPECT_BYTES("\"C:\\Run\\sorvanti.exe\" -runtime \"C:\\My App\\demo.exe\"" + row.passedOn,
                     Str(LaunchCommandLine("C:\\Run\\sorvanti.exe", "C:\\My App\\demo.exe", line.c_str())));
    }
}

// Thousands of arguments, the expected line built here argument by argument.
TEST_F(LaunchCommandLineTest, PassesOnThousandsOfArgumentsInOrder) {
    std::string line = "demo.exe";
    std::string expected = "\"R\\sorvanti.exe\" -runtime \"D:\\demo.exe\"";
    for (int i = 0; i < 5000; ++i) {
        std::string word = "w" + std::to_string(i);
        if (i % 3 == 0) {
            line += " \"" + word + " x\"";
            expected += " \"" + word + " x\"";
        } else {
            line += " " + word;
            expected += " " + word;
        }
    }
    EXPECT_BYTES(expected, Str(LaunchCommandLine("R\\sorvanti.exe", "D:\\demo.exe", line.c_str())));
}

// The cost of building the command line must grow with its length, not with
// its square: count the character steps, not the time.
TEST_F(LaunchCommandLineTest, WalksTheCommandLineOnce) {
    for (int count : {10, 2000, 15000}) {
        SCOPED_TRACE(count);
        std::string line = "demo.exe";
        for (int i = 0; i < count; ++i) line += " a";
        world.charNextSteps = 0;
        LaunchCommandLine("R\\sorvanti.exe", "D:\\demo.exe", line.c_str());
        EXPECT_LE(world.charNextSteps, 2 * line.size());
    }
}

}  // namespace
