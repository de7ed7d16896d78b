#include "Launcher.h"

#include "MissingRuntimeTexts.h"
#include "UTypes.h"
#include "Win32.h"

static ByteString Concatenation(const char* a, const ByteString& b, const char* c) {
    ByteString text(a);
    text.Append(b);
    text.Append(c);
    return text;
}

static ByteString SiteUrl(const char* host, const char* path) {
    return Concatenation(UrlScheme, ByteString(host), path);
}

void ReportMissingRuntime() {
    // One string for the question's text and for the page that the shell opens.
    const ByteString DownloadPageUrl = SiteUrl(RuntimeSiteHost, DownloadPagePath);
    const ByteString question = Concatenation(QuestionTextBeforeUrl, DownloadPageUrl, "\r\n");
    if (MessageBoxA(NULL, question.CStr(), QuestionCaption, MB_YESNO | MB_ICONQUESTION) == IDNO) {
        const ByteString RuntimeHomePageUrl = SiteUrl(RuntimeSiteHost, HomePagePath);
        const ByteString apology =
            Concatenation(ApologyTextBeforeUrl, RuntimeHomePageUrl, ApologyTextAfterUrl);
        MessageBoxA(NULL, apology.CStr(), ApologyCaption, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    // Yes, or a question that could not be shown: the notice, then the page.
    const ByteString MakerSiteUrl = SiteUrl(MakerSiteHost, "");
    const ByteString notice = Concatenation(NoticeTextBeforeUrl, MakerSiteUrl, NoticeTextAfterUrl);
    MessageBoxA(NULL, notice.CStr(), NoticeCaption, MB_OK);
    static const char Empty[] = "";
    ShellExecuteA(NULL, "open", DownloadPageUrl.CStr(), Empty, Empty, SW_SHOW);
}

// Stage 5 asks for the own path anew rather than reuse stage 1's value.
static ByteString BinDirectory() {
    ByteString directory = DirectoryOf(OwnPath());
    directory.Append("bin\\");
    return directory;
}

// The search chain, one stage a line, in the order of the search. Each stage
// computes its candidate only when every earlier one has answered
// StillMissing, so a runtime found early leaves the registry and the search
// path unread.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const StillMissing stillMissing =
        TryLaunchFrom(DirectoryOf(OwnPath())) &&
        TryLaunchFrom(CurrentDirectory()) &&
        TryLaunchFrom(WindowsDirectory()) &&
        TryLaunchFrom(SystemDirectory()) &&
        TryLaunchFrom(BinDirectory()) &&
        TryLaunchFrom(ParentOfOwnDirectory()) &&
        TryLaunchFrom(AssociatedRuntimeDirectory()) &&
        SearchPathStage();
    if (stillMissing) ReportMissingRuntime();
    return 0;  // on every path, whatever the runtime's start or the user's answer
}
