// Boot, settings, failure boxes and the window, run in-process.
#include "BootRun.h"
#include "EngineFixture.h"
#include "VornLog.h"
#include "VornMemory.h"
#include <cstring>
#include <filesystem>
#include <thread>

using namespace vorntest;

namespace {

std::string CurrentFolder() { return std::filesystem::current_path().string(); }

}  // namespace

TEST(Settings, NameSettersAndMsgBoxCopyWithABound)
{
    std::string longName(5000, 'a');
    Vorn::SetApplicationName(longName.c_str());
    EXPECT_EQ(Vorn::APPLICATION_NAME_MAX - 1, strlen(Vorn::GetApplicationName()));
    char small[8] = "xxxxxxx";
    Vorn::GetApplicationName(small, 4);
    EXPECT_EQ(std::string("aaa\0xxx", 7), std::string(small, 7));
    Vorn::SetMenuName(longName.c_str());   // must not run past its buffer either
    BoxWatcher watcher;
    Vorn::MsgBox(MB_OK, "長い", "%s%s", longName.c_str(), longName.c_str());
    EXPECT_EQ((std::vector<SeenBox>{{"長い", std::string(Vorn::MESSAGE_MAX - 1, 'a')}}), watcher.Boxes());
}

TEST(Settings, PagesAreZeroedAndAFailedAllocationIsNull)
{
    void* pages = Vorn::AllocPages(5000);
    ASSERT_NE(nullptr, pages);
    EXPECT_EQ(std::string(8192, '\0'), std::string(static_cast<char*>(pages), 8192));   // rounded up to whole pages
    Vorn::FreePages(&pages);
    EXPECT_EQ(nullptr, pages);
    Vorn::FreePages(&pages);                                  // freeing none is harmless
    EXPECT_EQ(nullptr, Vorn::AllocPages(0));                  // VirtualAlloc refuses a size of 0
}

// Runs that end early with exit code 0 and the single-instance mutex released: the boxes each shows,
// and whether the window is gone (a failed Initialize has made it and leaves it). Those without
// `main` end before GameMain.
struct EarlyEnd {
    const char* name; std::function<bool()> init; std::vector<SeenBox> boxes; bool heldElsewhere, windowGone; std::function<void()> main;
};
void PrintTo(const EarlyEnd& e, std::ostream* os) { *os << e.name; }
const EarlyEnd kEarlyEnds[] = {
    {"GameInitFails", [] { return false; }, {{"ERROR", "ユーザー初期化に失敗"}}, false, true},
    {"NoWorkAreaSize", [] { Settings(OPTION_DIRECT3D); Vorn::SetMemorySize(0, false); return true; },
     {{"ERROR", "メモリクラスの初期化に失敗\nメモリの割り当てに失敗したのかもしれません"}, {"ERROR", "DirectXの初期化に失敗"}}, false, false},
    {"BootCallbackExits", [] { Settings(OPTION_DIRECT3D); Vorn::SetBootCallback([] { Vorn::Exit(); }); return true; }, {}, false, true},
    {"SecondInstance", [] { Settings(OPTION_DIRECT3D); return true; }, {{"ERROR", "２重起動は許可されてません"}}, true, true},
    // Full screen at a size the display has no mode for: the device cannot start.
    {"StartFails", [] { Settings(OPTION_DIRECT3D | OPTION_DIRECTINPUT); Vorn::SetScreenInfo(632, 472, false); return true; },
     {{"ERROR", "３Ｄシステムの起動に失敗"}}, false, false, [] { EXPECT_FALSE(Vorn::Start()); }},   // back without Finalize
    {"OverwrittenBlock", [] { Settings(OPTION_DIRECT3D); return true; },
     {{"メモリエラー", "メモリリークが発生しました\nアプリケーションを終了します\n詳細はログを参照して下さい。"}}, false, true, [] {
         auto* block = static_cast<char*>(VORN_ALLOC(100));
         memset(block, 0, 104);   // four bytes past the end: over the guard word
         int frames = 0;
         while (Vorn::Run(false) && frames < 1000) ++frames;
         EXPECT_LT(frames, 5);   // the frame goes on, then the application ends
         VORN_FREE(block);
     }}};
class EarlyEndTest : public ::testing::TestWithParam<EarlyEnd> {};

TEST_P(EarlyEndTest, ShowsItsBoxesAndEndsWithZero)
{
    // SecondInstance: another thread holds the mutex of the name (its owner may take it again).
    HANDLE held = CreateEventA(nullptr, TRUE, FALSE, nullptr), release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread holder;
    if (GetParam().heldElsewhere) {
        holder = std::thread([=] {
            HANDLE m = CreateMutexA(nullptr, TRUE, TestName());
            SetEvent(held);
            WaitForSingleObject(release, INFINITE);
            ReleaseMutex(m);
            CloseHandle(m);
        });
        WaitForSingleObject(held, 5000);
    }
    SetGameInit(GetParam().init);
    bool mainCalled = false;
    SetGameMain([&](int, char**) {
        mainCalled = true;
        if (GetParam().main) GetParam().main();
        return 0;
    });
    std::vector<SeenBox> boxes;
    EXPECT_EQ(0u, Boot(&boxes));
    EXPECT_EQ(bool(GetParam().main), mainCalled);
    SetEvent(release);
    if (holder.joinable()) holder.join();
    EXPECT_EQ(GetParam().boxes, boxes);
    if (GetParam().windowGone) { EXPECT_EQ(nullptr, Vorn::GetWindowHandle()); }
    HANDLE again = CreateMutexA(nullptr, TRUE, TestName());
    EXPECT_NE(ERROR_ALREADY_EXISTS, GetLastError());
    CloseHandle(again);
}
INSTANTIATE_TEST_SUITE_P(Boot, EarlyEndTest, ::testing::ValuesIn(kEarlyEnds), [](const auto& i) { return std::string(i.param.name); });

TEST(Boot, TheLogMarksTheStartAndTheEndOfTheApplication)
{
    EXPECT_EQ(0u, BootRunning(OPTION_DIRECT3D, [] { VornLog::SetFileName("VornBootLog"); }, [&] {
        EXPECT_TRUE(Vorn::Start());
        EndRun();
        Vorn::Finalize();
    }));
    const std::string file = ModuleFolder() + "\\VornBootLog.html";
    const std::string log = ReadFile(file);
    DeleteFileA(file.c_str());
    EXPECT_TRUE(InOrder(log, {"アプリケーション開始", "アプリケーション終了"})) << file;
    EXPECT_EQ(1, CountIn(log, "アプリケーション開始"));
}

TEST(Boot, StartsWithTheDefaultsAndArgumentsReachGameMain)
{
    SetGameInit([] {
        Vorn::SetMemorySize(0x2000000, true);
        Vorn::SetUseOption(OPTION_DIRECT3D);
        return true;
    });
    bool ran = false;
    SetGameMain([&](int argc, char** argv) {
        uint32_t w = 0, h = 0;
        bool windowed = true;
        Vorn::GetScreenInfo(&w, &h, &windowed);
        // Full screen unless the game says otherwise.
        EXPECT_NAMED({"width", w, 640}, {"height", h, 480}, {"windowed", windowed, false});
        EXPECT_EQ(0u, std::string(Vorn::GetApplicationName()).find("Vorn"));   // the library banner
        EXPECT_NAMED({"argc", argc, 2}, {"argv[1]", std::string(argc > 1 ? argv[1] : ""), "option"});
        ran = true;
        EndRun();
        return 0;
    });
    char a0[] = "boot", a1[] = "option";
    char* argv[] = {a0, a1, nullptr};
    EXPECT_EQ(0u, Vorn::Boot(GetModuleHandleA(nullptr), 2, argv));
    EXPECT_TRUE(ran);
}

TEST(BootText, DrawsOutlinedLines)
{
    int white = 0, outline = 0;
    EXPECT_EQ(0u, BootRunning(OPTION_DIRECT3D, [] { Vorn::SetDrawBootText(true); }, [&] {
        HWND w = Vorn::GetWindowHandle();
        for (int i = 0; i < 3; ++i) Vorn::PrintBootText("■■■■■■■■");
        GdiFlush();
        HDC dc = GetDC(w);
        for (int y = 8; y < 64; ++y)
            for (int x = 8; x < 120; ++x) {
                const COLORREF c = GetPixel(dc, x, y);
                white += c == RGB(0xFF, 0xFF, 0xFF);
                outline += c == RGB(0x40, 0xA0, 0x60);
            }
        ReleaseDC(w, dc);
    }));
    EXPECT_GT(white, 20) << "white pixels";
    EXPECT_GT(outline, 20) << "outline pixels";
}

TEST(BootText, EveryCallDeletesTheFontItMade)
{
    // A font left behind per call would fill the process's GDI handle table long before this
    // many calls, and fonts could no longer be made.
    EXPECT_EQ(0u, BootRunning(OPTION_DIRECT3D, [] {
        Vorn::SetScreenInfo(64, 40, true);   // one visible line: cheap repaints
        Vorn::SetDrawBootText(true);
    }, [&] {
        for (int i = 0; i < 70000; ++i) Vorn::PrintBootText("x");
        HFONT after = CreateFontA(12, 0, 0, 0, 400, 0, 0, 0, SHIFTJIS_CHARSET, 0, 0, 0, 0, "Arial");
        EXPECT_NE(nullptr, after);
        if (after) DeleteObject(after);
    }));
}

// The module's folder becomes current and loaders return to it; a base directory the game set in
// GameInit is kept instead (boot does not make it current again).
class BaseDirectory : public ::testing::TestWithParam<bool> {};

TEST_P(BaseDirectory, BecomesCurrentAndLoadersReturnToIt)
{
    const bool setByTheGame = GetParam();
    std::filesystem::current_path(setByTheGame ? std::filesystem::temp_directory_path() : std::filesystem::path("C:\\"));
    const std::string base = setByTheGame ? CurrentFolder() : ModuleFolder();
    EXPECT_EQ(0u, BootRunning(OPTION_DIRECT3D, [=] {
        if (setByTheGame) { Vorn::SetBaseDirectory(); SetCurrentDirectoryA("C:\\"); }
    }, [&] {
        EXPECT_EQ(setByTheGame ? std::string("C:\\") : base, CurrentFolder());
        SetCurrentDirectoryA("C:\\");
        Vorn::ResetCurrentDirectory();
        EXPECT_EQ(base, CurrentFolder());
    }));
}
INSTANTIATE_TEST_SUITE_P(Boot, BaseDirectory, ::testing::Bool(),
                         [](const auto& i) { return std::string(i.param ? "SetByTheGame" : "TheModuleFolder"); });

TEST(Boot, WithoutDirect3DTheWindowIsWindowedAndItsListBoxShowsTheStartInOrder)
{
    // Without Direct3D the boot text goes to the list box, where it can be read back.
    std::vector<std::string> lines;
    EXPECT_EQ(0u, BootRunning(0, [] {
        Vorn::SetScreenInfo(640, 480, false);
        Vorn::SetDrawBootText(true);
    }, [&] {
        EXPECT_TRUE(Windowed());
        HWND listBox = FindWindowExA(Vorn::GetWindowHandle(), nullptr, "LISTBOX", nullptr);
        ASSERT_NE(nullptr, listBox);
        for (LRESULT i = 0, n = SendMessageA(listBox, LB_GETCOUNT, 0, 0); i < n; ++i) {
            char line[1024] = {};
            SendMessageA(listBox, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line));
            lines.push_back(line);
        }
        Vorn::ClearListBox();
        EXPECT_EQ(0, SendMessageA(listBox, LB_GETCOUNT, 0, 0));
        Vorn::PrintListBox("%s", std::string(2000, 'c').c_str());
        Vorn::PrintListBox("line %d", 2);
        EXPECT_NAMED({"lines", SendMessageA(listBox, LB_GETCOUNT, 0, 0), 2},
                     {"length of the cut line", SendMessageA(listBox, LB_GETTEXTLEN, 0, 0), Vorn::MESSAGE_MAX - 1});
        Vorn::Exit();
        EXPECT_FALSE(Vorn::Run(false));   // the blocking pump returns only at the end
    }));
    // The banner, then every step in its order: a row dropped, added or moved changes the list. Without
    // Direct3D no manager of the drawing classes starts.
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(0u, lines[0].find("Vorn Library"));
    EXPECT_EQ(std::vector<std::string>({"Initialize Multimedia Timer", "Checking System Informatin", "Initialize VornMemory",
                                        "Initialize VornList", "Initialize Console System", "Initialize FEP System", "Initialize Math System",
                                        "Initialize Debug System", "Initialize LZSS Compress System",
                                        "Initialize Animation System", "Initialize Thread System"}),
              std::vector<std::string>(lines.begin() + 1, lines.end()));
}
