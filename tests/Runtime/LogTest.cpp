// The HTML log: exact file bytes of each entry kind, the closed log, and threads.
#include "RuntimeTestSupport.h"
#include "VornConsole.h"
#include "VornDebug.h"
#include "VornFile.h"
#include "VornList.h"
#include "VornLZSS.h"
#include "VornMemory.h"
#include "VornLog.h"
#include <atomic>
#include <thread>
#include <vector>

namespace {

const std::string kHead =
    "<HTML>\n<HEAD>\n<META http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">\n"
    "<TITLE>トルメア</TITLE>\n<STYLE type=\"text/css\">\n<!--\nBODY{\n  font-size : 12px;\n"
    "  font-family : \"ＭＳ ゴシック\";\n}\n-->\n</STYLE>\n</HEAD>\n"
    "<BODY bgcolor=\"#ffffff\" text=\"#000000\" link=\"#444444\" vlink=\"#444444\" alink=\"#444444\">\n";
const std::string kTail = "</BODY>\n</HTML>\n";

using LogTest = ScratchTest;

// Opens "<name>.html" with the game's title.
void OpenLog(const char* name)
{
    VornLog::SetFileName(name);
    ASSERT_TRUE(VornLog::Open("トルメア"));
}

} // namespace

// The second run of a log starts empty; logging to a closed log is the next case's (and the threads'
// racing the close).
TEST_F(LogTest, EveryEntryKindHasItsExactBytesInASecondRunAndSettingTheNameDeletesTheFile)
{
    OpenLog("entries");
    VornLog::Print("run %d", 0);
    VornLog::Close();
    OpenLog("entries");
    VornLog::Title("VornTextureクラスの初期化");
    VornLog::StrongBlue("VornTexture::CreateFromFile");
    VornLog::Print(" : [ No.%u ] [ %s ] : ", 3u, "a.png");
    VornLog::StrongGreen("Success");
    VornLog::LineBreak();
    VornLog::StrongRed("ファイルの読み込みに失敗しました");
    VornLog::Strong("%d%%", 100);
    VornLog::LineBreak();
    VornLog::Close();

    const std::string expected = Crlf(
        kHead +
        "<TABLE width=\"100%\" bgcolor=\"#000000\">\n  <TBODY>\n    <TR>\n      <TD align=\"center\">\n"
        "        <B>\n          <FONT color=\"WHITE\">VornTextureクラスの初期化</FONT>\n        </B>\n"
        "      </TD>\n    </TR>\n  </TBODY>\n</TABLE>\n"
        "<B><FONT color=\"BLUE\">VornTexture::CreateFromFile</FONT></B> : [ No.3 ] [ a.png ] : "
        "<B><FONT color=\"GREEN\">Success</FONT></B><BR>\n"
        "<B><FONT color=\"RED\">ファイルの読み込みに失敗しました</FONT></B><B>100%</B><BR>\n" +
        kTail);
    EXPECT_EQ(ReadFile("entries.html"), expected);
    VornLog::SetFileName("entries");   // deletes the old file at once
    EXPECT_EQ(GetFileAttributesA("entries.html"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(LogTest, WithoutFileNameNothingIsWrittenOrFormatted)
{
    VornLog::SetFileName("");
    EXPECT_FALSE(VornLog::Open("x"));
    // A format that would crash if it were formatted: nothing may touch its arguments.
    VornLog::Print("%s", reinterpret_cast<const char*>(1));
    VornLog::Title("title");
    VornLog::LineBreak();
    VornLog::Close();
    WIN32_FIND_DATAA found;
    EXPECT_EQ(FindFirstFileA("*.html", &found), INVALID_HANDLE_VALUE);
}

TEST_F(LogTest, ThreadsWriteWholeEntriesAndMayRaceTheClose)
{
    OpenLog("threads");
    std::atomic<bool> go{false}, stop{false};
    std::vector<std::thread> threads;
    const int kThreads = 4, kLines = 300;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            while (!go) {}
            for (int i = 0; i < kLines; ++i) VornLog::StrongRed("thread %d line %03d", t, i);
        });
    go = true;
    for (auto& th : threads) th.join();
    // Entries of other threads racing the close must neither crash nor reach the file after the tail.
    std::thread late([&] { while (!stop) VornLog::Print("late"); });
    Sleep(5);
    VornLog::Close();
    stop = true;
    late.join();

    const std::string text = ReadFile("threads.html");
    const std::string entry = "<B><FONT color=\"RED\">thread ";
    size_t count = 0;
    for (size_t at = 0; (at = text.find(entry, at)) != std::string::npos; ++at, ++count)
        ASSERT_EQ(text.find("</FONT></B>", at) - at, entry.size() + 10) << "entry " << count;   // "0 line 000"
    EXPECT_NAMED({"lines", count, kThreads * kLines}, {"tail", text.substr(text.size() - Crlf(kTail).size()), Crlf(kTail)});
}

TEST_F(LogTest, SystemReportHasEverySectionAndNoUnfilledText)
{
    OpenLog("report");
    VornLog::LogSystemInfo("Vorn Library banner");
    VornLog::Close();
    const std::string text = ReadFile("report.html");
    EXPECT_TRUE(vorntest::HasAll(text, {"システム情報", "年", "Operation System", "　　　Type [ Windows", "　　　Version [ Version ",
                                       "　　　Build [ ", "Drive Information", "Memory Information", "　　　Used [ ", "Path Information",
                                       "　　　System Directory [ ", "　　　Temp Directory [ ", "　OS Boot Mode", "　　　[ Normal Boot ]",
                                       // The library and system sections whole: heading, values each with a line break,
                                       // and an empty line break after the section.
                                       Crlf("<B><FONT color=\"BLUE\">Library Version</FONT></B><BR>\n　　　[ Vorn Library banner ]<BR>\n"
                                            "<BR>\n<B><FONT color=\"BLUE\">Boot Time"), Crlf("　　　C:\\ ハードディスク\n<BR>\n"),
                                       Crlf("<B><FONT color=\"BLUE\">System Information</FONT></B><BR>\n　Screen Mode<BR>\n　　　[ ")}));
}

TEST_F(LogTest, RuntimeClassesLogTheirTitlesAtStartAndEnd)
{
    OpenLog("titles");
    ASSERT_TRUE(VornMemory::Initialize());
    ASSERT_TRUE(VornMemory::SetWorkArea(1u << 20, true));   // for the list's nodes
    const struct { const char* name; bool (*start)(); void (*end)(); } classes[] = {
        {"VornFile", VornFile::Initialize, VornFile::Finalize}, {"VornList", VornList::Initialize, VornList::Finalize},
        {"VornConsole", VornConsole::Initialize, VornConsole::Finalize}, {"VornDebug", VornDebug::Initialize, VornDebug::Finalize},
        {"VornLZSS", VornLZSS::Initialize, VornLZSS::Finalize}};
    std::vector<std::string> titles = {"VornMemoryクラスの初期化", "VornMemory::SetWorkArea"};
    for (const auto& c : classes) {
        ASSERT_TRUE(c.start()) << c.name;
        if (c.start == VornConsole::Initialize) { EXPECT_FALSE(VornConsole::IsOpen()); VornConsole::Print("%s", "without a console: nothing"); }
        c.end();
        titles.insert(titles.end(), {c.name + std::string("クラスの初期化"), c.name + std::string("クラスの解放")});
    }
    VornMemory::Finalize();
    titles.push_back("VornMemoryクラスの解放");
    VornLog::Close();
    for (std::string& title : titles) title = "<FONT color=\"WHITE\">" + title + "</FONT>";
    EXPECT_TRUE(vorntest::InOrder(ReadFile("titles.html"), titles));
}

TEST(DebugTest, TheListBoxWindowCollectsAndClearsLines)
{
    EXPECT_TRUE(VornDebug::Initialize());
    VornDebug::WindowPrint("before the window %d", 0);   // no window: nothing happens
    ASSERT_TRUE(VornDebug::OpenWindow());
    HWND window = VornDebug::GetWindow();
    ASSERT_NE(window, nullptr);
    char title[32] = {};
    GetWindowTextA(window, title, sizeof title);
    EXPECT_STREQ(title, "DebugWindow");
    VornDebug::WindowPrint("frame %d", 1);
    VornDebug::WindowPrint("%s", std::string(600, 'w').c_str());   // cut to the 256-byte buffer
    ASSERT_EQ(SendMessageA(window, LB_GETCOUNT, 0, 0), 2);
    char line[600] = {};
    SendMessageA(window, LB_GETTEXT, 0, LPARAM(line));
    EXPECT_NAMED({"line 0", line, "frame 1"}, {"length of line 1", SendMessageA(window, LB_GETTEXTLEN, 1, 0), 255});
    VornDebug::WindowClear();
    EXPECT_EQ(SendMessageA(window, LB_GETCOUNT, 0, 0), 0);
    VornDebug::Print("debugger line %d\n", 2);
    VornDebug::Finalize();
    EXPECT_NAMED({"window", VornDebug::GetWindow(), nullptr}, {"still a window", bool(IsWindow(window)), false});
}
