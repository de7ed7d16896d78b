// The dialogue held when the runtime is found nowhere: every call, with its
// exact bytes, in order. The expected texts are spelled here on their own,
// not taken from the product's constants.
#include "Launcher.h"
#include "TestSupport.h"

#include <vector>

namespace {

const std::string DownloadPageUrl = "http://www.sorvanti.example/download/download.htm";

// ランタイムがありません。
const std::string QuestionCaption =
    "\x83\x89\x83\x93\x83\x5e\x83\x43\x83\x80\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81\x42";

// このプログラムの実行に必要な "sorvantiランタイム" がありません。
// 0.8 MB 程度ですが、ランタイムをダウンロードしますか？
// ダウンロード先 :
const std::string QuestionText =
    "\x82\xb1\x82\xcc\x83\x76\x83\x8d\x83\x4f\x83\x89\x83\x80\x82\xcc\x8e\xc0\x8d\x73\x82\xc9\x95\x4b"
    "\x97\x76\x82\xc8 \"sorvanti\x83\x89\x83\x93\x83\x5e\x83\x43\x83\x80\" \x82\xaa\x82\xa0\x82\xe8\x82"
    "\xdc\x82\xb9\x82\xf1\x81\x42\r\n\r\n0.8 MB \x92\xf6\x93\x78\x82\xc5\x82\xb7\x82\xaa\x81\x41\x83\x89"
    "\x83\x93\x83\x5e\x83\x43\x83\x80\x82\xf0\x83\x5f\x83\x45\x83\x93\x83\x8d\x81\x5b\x83\x68\x82\xb5"
    "\x82\xdc\x82\xb7\x82\xa9\x81\x48\r\n\r\n\x83\x5f\x83\x45\x83\x93\x83\x8d\x81\x5b\x83\x68\x90\xe6"
    " :\r\n" +
    DownloadPageUrl + "\r\n";

// お詫び
const std::string ApologyCaption = "\x82\xa8\x98\x6c\x82\xd1";

// 申し訳ありませんが、ランタイムがないので、このプログラムを実行できません。
// sorvantiランタイムについては、http://www.sorvanti.example/ に詳しい情報があります。
const std::string ApologyText =
    "\x90\x5c\x82\xb5\x96\xf3\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x82\xaa\x81\x41\x83\x89\x83\x93"
    "\x83\x5e\x83\x43\x83\x80\x82\xaa\x82\xc8\x82\xa2\x82\xcc\x82\xc5\x81\x41\x82\xb1\x82\xcc\x83\x76"
    "\x83\x8d\x83\x4f\x83\x89\x83\x80\x82\xf0\x8e\xc0\x8d\x73\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1"
    "\x81\x42\r\nsorvanti\x83\x89\x83\x93\x83\x5e\x83\x43\x83\x80\x82\xc9\x82\xc2\x82\xa2\x82\xc4\x82"
    "\xcd\x81\x41"
    "http://www.sorvanti.example/"
    " \x82\xc9\x8f\xda\x82\xb5\x82\xa2\x8f\xee\x95\xf1\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb7\x81\x42";

// ランタイムのダウンロード
const std::string NoticeCaption =
    "\x83\x89\x83\x93\x83\x5e\x83\x43\x83\x80\x82\xcc\x83\x5f\x83\x45\x83\x93\x83\x8d\x81\x5b\x83\x68";

// ランタイムのインストールが終了したら再びこのプログラムを実行してください。
// もし、インターネットにアクセスできないできない場合は、手動にてお願いします。
// sorvantiランタイムについては、http://www.sorvanti-maker.example にてお尋ねください。
const std::string NoticeText =
    "\x83\x89\x83\x93\x83\x5e\x83\x43\x83\x80\x82\xcc\x83\x43\x83\x93\x83\x58\x83\x67\x81\x5b\x83\x8b"
    "\x82\xaa\x8f\x49\x97\xb9\x82\xb5\x82\xbd\x82\xe7\x8d\xc4\x82\xd1\x82\xb1\x82\xcc\x83\x76\x83\x8d"
    "\x83\x4f\x83\x89\x83\x80\x82\xf0\x8e\xc0\x8d\x73\x82\xb5\x82\xc4\x82\xad\x82\xbe\x82\xb3\x82\xa2"
    "\x81\x42\r\n\r\n\x82\xe0\x82\xb5\x81\x41\x83\x43\x83\x93\x83\x5e\x81\x5b\x83\x6c\x83\x62\x83\x67"
    "\x82\xc9\x83\x41\x83\x4e\x83\x5a\x83\x58\x82\xc5\x82\xab\x82\xc8\x82\xa2\x82\xc5\x82\xab\x82\xc8"
    "\x82\xa2\x8f\xea\x8d\x87\x82\xcd\x81\x41\x8e\xe8\x93\xae\x82\xc9\x82\xc4\x82\xa8\x8a\xe8\x82\xa2"
    "\x82\xb5\x82\xdc\x82\xb7\x81\x42\r\nsorvanti\x83\x89\x83\x93\x83\x5e\x83\x43\x83\x80\x82\xc9\x82"
    "\xc2\x82\xa2\x82\xc4\x82\xcd\x81\x41"
    "http://www.sorvanti-maker.example"
    " \x82\xc9\x82\xc4\x82\xa8\x90\x71\x82\xcb\x82\xad\x82\xbe\x82\xb3\x82\xa2\x81\x42";

void ExpectBox(const fake::MessageBoxCall& box, const std::string& caption, const std::string& text,
               UINT type) {
    EXPECT_TRUE(box.nullOwner);
    ASSERT_TRUE(box.caption && box.text);
    EXPECT_BYTES(caption, *box.caption);
    EXPECT_BYTES(text, *box.text);
    EXPECT_EQ(type, box.type);
}

class DialogueTest : public WorldTest {};

TEST_F(DialogueTest, OnNoTheApologyFollowsAndNoPageOpens) {
    world.messageBoxAnswers = {IDNO};
    ReportMissingRuntime();
    ASSERT_EQ(2u, world.messageBoxes.size());
    ExpectBox(world.messageBoxes[0], QuestionCaption, QuestionText, 0x24);
    ExpectBox(world.messageBoxes[1], ApologyCaption, ApologyText, 0x30);
    EXPECT_TRUE(world.shellExecutes.empty());
}

// Yes, or a question that could not be shown (0, or -1 without a display):
// the notice, and only after it the download page.
TEST_F(DialogueTest, OtherwiseTheNoticeThenTheDownloadPage) {
    for (int answer : {IDYES, 0, -1}) {
        SCOPED_TRACE(answer);
        fake::ResetWorld();
        world.messageBoxAnswers = {answer};
        ReportMissingRuntime();
        ASSERT_EQ(2u, world.messageBoxes.size());
        ExpectBox(world.messageBoxes[0], QuestionCaption, QuestionText, 0x24);
        ExpectBox(world.messageBoxes[1], NoticeCaption, NoticeText, 0x00);

        const std::vector<std::string> order = {"MessageBoxA", "MessageBoxA", "ShellExecuteA"};
        EXPECT_EQ(order, world.calls);
        ASSERT_EQ(1u, world.shellExecutes.size());
        const fake::ShellExecuteCall& shell = world.shellExecutes[0];
        EXPECT_TRUE(shell.nullOwner);
        EXPECT_EQ(fake::Text("open"), shell.verb);
        EXPECT_EQ(fake::Text(DownloadPageUrl), shell.file);
        // Empty strings, not null pointers.
        EXPECT_EQ(fake::Text(""), shell.parameters);
        EXPECT_EQ(fake::Text(""), shell.directory);
        EXPECT_EQ(SW_SHOW, shell.show);
    }
}

TEST(DialogueTexts, TheQuestionNamesTheSamePageThatTheShellOpens) {
    fake::ResetWorld();
    fake::TheWorld().messageBoxAnswers = {IDYES};
    ReportMissingRuntime();
    const fake::World& world = fake::TheWorld();
    ASSERT_EQ(1u, world.shellExecutes.size());
    const std::string& text = *world.messageBoxes[0].text;
    const std::string& opened = *world.shellExecutes[0].file;
    ASSERT_GE(text.size(), opened.size() + 2);
    EXPECT_BYTES(opened + "\r\n", text.substr(text.size() - opened.size() - 2));
}

}  // namespace
