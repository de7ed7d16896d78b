// Stage 7: the directory of the runtime registered for its file association.
#include "TestSupport.h"

namespace {

class AssociationTest : public WorldTest {
protected:
    void Register(const std::string& data, DWORD type = REG_SZ) {
        world.associationKeyExists = true;
        world.associationDefaultValue = fake::RegistryValue{data, type};
    }
};

// Whenever the key was opened it is closed exactly once, before the text is used.
TEST_F(AssociationTest, EveryFailureGivesTheEmptyDirectory) {
    struct Case {
        const char* name;
        bool keyExists;
        std::optional<std::string> value;
        int keysOpened;
    };
    const Case cases[] = {
        {"no key", false, std::nullopt, 0},
        {"no default value", true, std::nullopt, 1},
        {"value of 1023 bytes with its NUL does not fit", true, std::string(1023, 'a') + '\0', 1},
        {"far too long", true, "C:\\" + std::string(5000, 'a') + "\\sorvanti.exe" + '\0', 1},
        {"empty value", true, std::string(1, '\0'), 1},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        fake::ResetWorld();
        world.associationKeyExists = row.keyExists;
        if (row.value) world.associationDefaultValue = fake::RegistryValue{*row.value, REG_SZ};
        EXPECT_BYTES("", Str(AssociatedRuntimeDirectory()));
        EXPECT_EQ(row.keysOpened, world.keysOpened);
        EXPECT_EQ(row.keysOpened, world.keysClosed);
    }
}

TEST_F(AssociationTest, OpensTheCommandKeyForQueryingOnly) {
    Register(std::string("D:\\Tools\\sorvanti.exe %1") + '\0');
    AssociatedRuntimeDirectory();
    EXPECT_EQ(std::vector<REGSAM>{KEY_QUERY_VALUE}, world.keyAccess);
    const std::vector<std::string> expected = {"RegOpenKeyExA", "RegQueryValueExA", "RegCloseKey",
                                               "PathRemoveFileSpecA"};
    EXPECT_EQ(expected, world.calls);
}

struct CommandCase {
    const char* name;
    std::string value;
    std::string directory;
};

TEST_F(AssociationTest, TheRegisteredCommandNamesTheDirectory) {
    const std::string nul(1, '\0');
    const CommandCase cases[] = {
        {"quoted with arguments", "\"D:\\Program Files\\Tools\\sorvanti.exe\" \"%1\"" + nul,
         "D:\\Program Files\\Tools\\"},
        {"unquoted", "D:\\Tools\\sorvanti.exe %1" + nul, "D:\\Tools\\"},
        {"unquoted with a backslash in its arguments", "D:\\Tools\\sorvanti.exe /x D:\\Data\\%1" + nul,
         "D:\\Tools\\sorvanti.exe /x D:\\Data\\"},
        {"opening quote never closed", "\"D:\\Tools\\sorvanti.exe %1" + nul, "D:\\Tools\\"},
        {"a lone quote", "\"" + nul, ""},
        {"two quotes first", "\"\"D:\\Tools\\sorvanti.exe" + nul, ""},
        {"a blank before the quote counts as unquoted", " \"D:\\Tools\\sorvanti.exe\" \"%1\"" + nul,
         " \"D:\\Tools\\"},
        {"a bare file name", "sorvanti.exe" + nul, "\\"},
        {"stored without its NUL", "D:\\Tools\\sorvanti.exe", "D:\\Tools\\"},
        {"the longest that fits", "D:\\" + std::string(1006, 't') + "\\sorvanti.exe" + nul,
         "D:\\" + std::string(1006, 't') + "\\"},
        {"bytes after the first NUL are ignored", "D:\\A\\x.exe" + nul + "E:\\B\\y.exe" + nul, "D:\\A\\"},
    };
    for (const CommandCase& row : cases) {
        SCOPED_TRACE(row.name);
        fake::ResetWorld();
        Register(row.value);
        EXPECT_BYTES(row.directory, Str(AssociatedRuntimeDirectory()));
        EXPECT_EQ(1, world.keysClosed);
    }
}

// The value's type is not looked at, and nothing is expanded.
TEST_F(AssociationTest, AnExpandableValueIsUsedAsLiteralText) {
    Register(std::string("%ProgramFiles%\\Tools\\sorvanti.exe \"%1\"") + '\0', REG_EXPAND_SZ);
    EXPECT_BYTES("%ProgramFiles%\\Tools\\", Str(AssociatedRuntimeDirectory()));
}

TEST_F(AssociationTest, TheStageFindsARuntimeReachableOnlyThroughTheAssociation) {
    world.modulePath = "D:\\Games\\Demo\\demo.exe";
    world.commandLine = "demo.exe -x \"my file.txt\"";
    Register(std::string("\"E:\\Run Time\\sorvanti.exe\" \"%1\"") + '\0');
    world.AddFile("E:\\Run Time\\sorvanti.exe");
    EXPECT_EQ(0, WinMain(NULL, NULL, NULL, 0));
    ASSERT_EQ(1u, world.winExecs.size());
    EXPECT_BYTES("\"E:\\Run Time\\sorvanti.exe\" -runtime \"D:\\Games\\Demo\\demo.exe\" -x \"my file.txt\"",
                 world.winExecs[0].commandLine);
    EXPECT_EQ(0, world.Count("GetEnvironmentVariableA"));
}

}  // namespace
