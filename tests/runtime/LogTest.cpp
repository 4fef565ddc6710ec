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
#include <string>
#include <thread>
#include <vector>

namespace {

const std::string kHead =
    "<HTML>\n<HEAD>\n<META http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">\n"
    "<TITLE>トルメア</TITLE>\n<STYLE type=\"text/css\">\n<!--\nBODY{\n  font-size : 12px;\n"
    "  font-family : \"ＭＳ ゴシック\";\n}\n-->\n</STYLE>\n</HEAD>\n"
    "<BODY bgcolor=\"#ffffff\" text=\"#000000\" link=\"#444444\" vlink=\"#444444\" alink=\"#444444\">\n";
const std::string kTail = "</BODY>\n</HTML>\n";

class LogTest : public ::testing::Test
{
protected:
    void SetUp() override { folder_ = new ScratchFolder; }
    void TearDown() override
    {
        VornLog::Close();
        VornLog::SetFileName("");
        delete folder_;
    }
    ScratchFolder* folder_ = nullptr;
};

} // namespace

TEST_F(LogTest, EveryEntryKindHasItsExactBytes)
{
    VornLog::SetFileName("entries");
    EXPECT_STREQ(VornLog::GetFileName(), "entries.html");
    ASSERT_TRUE(VornLog::Open("トルメア"));
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
    EXPECT_EQ(ReadBytes("entries.html"), expected);
}

TEST_F(LogTest, WithoutFileNameNothingIsWrittenOrFormatted)
{
    VornLog::SetFileName("");
    EXPECT_FALSE(VornLog::Open("x"));
    EXPECT_FALSE(VornLog::IsOpen());
    // A format that would crash if it were formatted: nothing may touch its arguments.
    VornLog::Print("%s", reinterpret_cast<const char*>(1));
    VornLog::Title("title");
    VornLog::LineBreak();
    VornLog::Close();
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA("*.html", &found);
    EXPECT_EQ(find, INVALID_HANDLE_VALUE);
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
}

TEST_F(LogTest, ASecondRunStartsFromAnEmptyFile)
{
    for (int run = 0; run < 2; ++run) {
        VornLog::SetFileName("twice");
        ASSERT_TRUE(VornLog::Open("トルメア"));
        VornLog::Print("run %d", run);
        VornLog::Close();
    }
    EXPECT_EQ(ReadBytes("twice.html"), Crlf(kHead + "run 1" + kTail));
    // Setting the name deletes the old file at once.
    VornLog::SetFileName("twice");
    EXPECT_FALSE(Exists("twice.html"));
}

TEST_F(LogTest, LoggingAfterCloseIsHarmless)
{
    VornLog::SetFileName("closed");
    ASSERT_TRUE(VornLog::Open("トルメア"));
    VornLog::Print("before");
    VornLog::Close();
    VornLog::Close();
    VornLog::Print("after %d", 1);
    VornLog::StrongRed("after");
    VornLog::LineBreak();
    EXPECT_EQ(ReadBytes("closed.html"), Crlf(kHead + "before" + kTail));
}

TEST_F(LogTest, ThreadsWriteWholeEntriesAndMayRaceTheClose)
{
    VornLog::SetFileName("threads");
    ASSERT_TRUE(VornLog::Open("トルメア"));
    std::atomic<bool> go{false};
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
    std::atomic<bool> stop{false};
    std::thread late([&] {
        while (!stop) VornLog::Print("late");
    });
    Sleep(5);
    VornLog::Close();
    stop = true;
    late.join();

    const std::string text = ReadBytes("threads.html");
    size_t count = 0;
    for (size_t at = 0; (at = text.find("<B><FONT color=\"RED\">thread ", at)) != std::string::npos; ++at) {
        ++count;
        const size_t end = text.find("</FONT></B>", at);
        ASSERT_NE(end, std::string::npos);
        EXPECT_EQ(end - at, std::string("<B><FONT color=\"RED\">thread 0 line 000").size());
    }
    EXPECT_EQ(count, size_t(kThreads * kLines));
    ASSERT_GE(text.size(), Crlf(kTail).size());
    EXPECT_EQ(text.substr(text.size() - Crlf(kTail).size()), Crlf(kTail));
}

TEST_F(LogTest, SystemReportHasEverySectionAndNoUnfilledText)
{
    VornLog::SetFileName("report");
    ASSERT_TRUE(VornLog::Open("トルメア"));
    VornLog::LogSystemInfo("Vorn Library banner");
    VornLog::Close();
    const std::string text = ReadBytes("report.html");
    for (const char* part : {"システム情報", "Library Version", "　　　[ Vorn Library banner ]", "Boot Time", "年",
                             "Operation System", "　　　Type [ Windows", "　　　Version [ Version ", "　　　Build [ ",
                             "Drive Information", "Memory Information", "　　　Used [ ", "Path Information",
                             "　　　System Directory [ ", "　　　Temp Directory [ ", "System Information",
                             "　Screen Mode", "　OS Boot Mode", "　　　[ Normal Boot ]"})
        EXPECT_NE(text.find(part), std::string::npos) << part;
    EXPECT_EQ(text.find("Type [  ]"), std::string::npos);
    // Heading, values each with a line break, and an empty line break after the section.
    EXPECT_NE(text.find(Crlf("<B><FONT color=\"BLUE\">Library Version</FONT></B><BR>\n"
                             "　　　[ Vorn Library banner ]<BR>\n<BR>\n<B><FONT color=\"BLUE\">Boot Time")),
              std::string::npos);
    EXPECT_NE(text.find(Crlf("　　　C:\\ ハードディスク\n<BR>\n")), std::string::npos);
    EXPECT_NE(text.find(Crlf("<B><FONT color=\"BLUE\">System Information</FONT></B><BR>\n　Screen Mode<BR>\n　　　[ ")),
              std::string::npos);
}

TEST_F(LogTest, RuntimeClassesLogTheirTitlesInBootOrder)
{
    VornLog::SetFileName("titles");
    ASSERT_TRUE(VornLog::Open("トルメア"));
    ASSERT_TRUE(VornFile::Initialize());
    ASSERT_TRUE(VornMemory::Initialize());
    ASSERT_TRUE(VornMemory::SetWorkArea(1u << 20, true));
    ASSERT_TRUE(VornList::Initialize());
    ASSERT_TRUE(VornConsole::Initialize());
    ASSERT_TRUE(VornDebug::Initialize());
    ASSERT_TRUE(VornLZSS::Initialize());
    VornLZSS::Finalize();
    VornDebug::Finalize();
    VornList::Finalize();
    VornMemory::Finalize();
    VornConsole::Finalize();
    VornFile::Finalize();
    VornLog::Close();
    const std::string text = ReadBytes("titles.html");
    size_t at = 0;
    for (const char* title : {"VornFileクラスの初期化", "VornMemoryクラスの初期化", "VornMemory::SetWorkArea",
                              "VornListクラスの初期化", "VornConsoleクラスの初期化", "VornDebugクラスの初期化",
                              "VornLZSSクラスの初期化", "VornLZSSクラスの解放", "VornDebugクラスの解放",
                              "VornListクラスの解放", "VornMemoryクラスの解放", "VornConsoleクラスの解放",
                              "VornFileクラスの解放"}) {
        at = text.find(std::string("<FONT color=\"WHITE\">") + title + "</FONT>", at);
        ASSERT_NE(at, std::string::npos) << title;
    }
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
    EXPECT_STREQ(line, "frame 1");
    EXPECT_EQ(SendMessageA(window, LB_GETTEXTLEN, 1, 0), 255);
    VornDebug::WindowClear();
    EXPECT_EQ(SendMessageA(window, LB_GETCOUNT, 0, 0), 0);
    VornDebug::Print("debugger line %d\n", 2);
    VornDebug::Finalize();
    EXPECT_EQ(VornDebug::GetWindow(), nullptr);
    EXPECT_FALSE(IsWindow(window));
}

TEST(ConsoleTest, CallsWithoutAConsoleDoNothing)
{
    EXPECT_TRUE(VornConsole::Initialize());
    EXPECT_FALSE(VornConsole::IsOpen());
    VornConsole::Print("%s", "nothing");
    VornConsole::PrintAt(3, 4, "%d", 5);
    VornConsole::Clear();
    VornConsole::SetTextAttribute(0x17);
    VornConsole::HideCursor();
    VornConsole::ShowCursor();
    VornConsole::Release();
    VornConsole::Finalize();
    EXPECT_FALSE(VornConsole::IsOpen());
}
