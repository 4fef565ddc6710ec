// Boot, settings, failure boxes and the window, run in-process: each test case is its own process,
// so each one may boot the engine once.
#include "BoxWatcher.h"
#include "GameStubs.h"
#include "Vorn.h"
#include "VornLog.h"
#include "VornMemory.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

using vorntest::BoxWatcher;

namespace {

// Each test case its own application name: cases run side by side, and the name is the mutex's.
const char* TestName()
{
    static std::string name = std::string("VornBoot.") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    return name.c_str();
}

// The usual settings of an engine-only program.
void BasicSettings(uint32_t option)
{
    Vorn::SetMemorySize(0x2000000, true);
    Vorn::SetApplicationName(TestName());
    Vorn::SetScreenInfo(640, 480, true);
    Vorn::SetUseOption(option);
}

// Ends the application from inside GameMain and lets the pump see it through.
int EndRun()
{
    Vorn::Exit();
    int frames = 0;
    while (Vorn::Run(false) && frames < 1000) ++frames;
    return frames;
}

// Boots with every box answered; the boxes seen are returned through `boxes`.
uint32_t BootAnswering(std::vector<vorntest::SeenBox>* boxes)
{
    BoxWatcher watcher;
    const uint32_t code = Vorn::Boot(GetModuleHandleA(nullptr), 0, nullptr);
    *boxes = watcher.Boxes();
    return code;
}

// Boots a start that must end before GameMain, with exit code 0; the boxes seen are returned.
std::vector<vorntest::SeenBox> BootEndingBeforeGameMain()
{
    bool mainCalled = false;
    vorntest::SetGameMain([&](int, char**) { mainCalled = true; return 0; });
    std::vector<vorntest::SeenBox> boxes;
    EXPECT_EQ(0u, BootAnswering(&boxes));
    EXPECT_FALSE(mainCalled);
    return boxes;
}

}  // namespace

TEST(Settings, NameSettersCopyWithABound)
{
    std::string longName(5000, 'a');
    Vorn::SetApplicationName(longName.c_str());
    EXPECT_EQ(Vorn::APPLICATION_NAME_MAX - 1, strlen(Vorn::GetApplicationName()));
    char small[8];
    memset(small, 'x', sizeof small);
    Vorn::GetApplicationName(small, 4);
    EXPECT_STREQ("aaa", small);
    EXPECT_EQ('x', small[4]);
    Vorn::SetMenuName(longName.c_str());   // must not run past its buffer either
    Vorn::SetApplicationName("トルメア");
    char name[Vorn::APPLICATION_NAME_MAX];
    Vorn::GetApplicationName(name);
    EXPECT_STREQ("トルメア", name);
}

TEST(Settings, VirtualScreenScalesAndBackup)
{
    Vorn::SetScreenInfo(800, 600, true);
    EXPECT_FLOAT_EQ(10.0f, Vorn::VirtualScaleX(10.0f));
    uint32_t w = 0, h = 0;
    Vorn::GetVirtualScreenSize(&w, &h);
    EXPECT_EQ(800u, w);
    EXPECT_EQ(600u, h);
    Vorn::SetVirtualScreenSize(1280, 960, 640, 480);
    EXPECT_FLOAT_EQ(20.0f, Vorn::VirtualScaleX(10.0f));
    EXPECT_FLOAT_EQ(30.0f, Vorn::VirtualScaleY(15.0f));
    Vorn::SetVirtualScaleEnable(false);
    EXPECT_FLOAT_EQ(10.0f, Vorn::VirtualScaleX(10.0f));
    EXPECT_FLOAT_EQ(15.0f, Vorn::VirtualScaleY(15.0f));
    Vorn::SetVirtualScaleEnable(true);
    EXPECT_FLOAT_EQ(20.0f, Vorn::VirtualScaleX(10.0f));
    uint32_t sw = 0, sh = 0;
    bool windowed = false;
    Vorn::GetScreenInfo(&sw, &sh, &windowed);
    EXPECT_EQ(800u, sw);
    EXPECT_EQ(600u, sh);
    EXPECT_TRUE(windowed);
    Vorn::GetScreenInfo(nullptr, nullptr, nullptr);   // every pointer is optional
}

TEST(Settings, PagesAreZeroedAndAFailedAllocationIsNull)
{
    auto* p = static_cast<unsigned char*>(Vorn::AllocPages(5000));
    ASSERT_NE(nullptr, p);
    for (int i = 0; i < 8192; ++i) ASSERT_EQ(0, p[i]) << i;   // rounded up to whole pages
    void* pages = p;
    Vorn::FreePages(&pages);
    EXPECT_EQ(nullptr, pages);
    Vorn::FreePages(&pages);                                  // freeing none is harmless
    EXPECT_EQ(nullptr, Vorn::AllocPages(0));                  // VirtualAlloc refuses a size of 0
}

TEST(Boot, GameInitFailureShowsItsBoxAndEndsWithZero)
{
    vorntest::SetGameInit([] { return false; });
    const std::vector<vorntest::SeenBox> boxes = BootEndingBeforeGameMain();
    EXPECT_EQ(nullptr, Vorn::GetWindowHandle());
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("ERROR", boxes[0].caption);
    EXPECT_EQ("ユーザー初期化に失敗", boxes[0].text);
}

TEST(Boot, ABootCallbackThatExitsStopsTheStart)
{
    vorntest::SetGameInit([] {
        BasicSettings(OPTION_DIRECT3D);
        Vorn::SetBootCallback([] { Vorn::Exit(); });
        return true;
    });
    const std::vector<vorntest::SeenBox> boxes = BootEndingBeforeGameMain();
    EXPECT_EQ(nullptr, Vorn::GetWindowHandle());   // Initialize never ran
    EXPECT_TRUE(boxes.empty());
    // The mutex was released: the same name can be taken again.
    HANDLE again = CreateMutexA(nullptr, TRUE, TestName());
    EXPECT_NE(ERROR_ALREADY_EXISTS, GetLastError());
    CloseHandle(again);
}

TEST(Boot, NoWorkAreaSizeFailsWithTheMemoryBox)
{
    vorntest::SetGameInit([] {
        BasicSettings(OPTION_DIRECT3D);
        Vorn::SetMemorySize(0, false);
        return true;
    });
    const std::vector<vorntest::SeenBox> boxes = BootEndingBeforeGameMain();
    ASSERT_EQ(2u, boxes.size());
    EXPECT_EQ("ERROR", boxes[0].caption);
    EXPECT_EQ("メモリクラスの初期化に失敗\nメモリの割り当てに失敗したのかもしれません", boxes[0].text);
    EXPECT_EQ("ERROR", boxes[1].caption);
    EXPECT_EQ("DirectXの初期化に失敗", boxes[1].text);
}

TEST(Boot, AFailedStartShowsItsBoxAndTheRunEndsWithZero)
{
    // Full screen at a size the display has no mode for: the device cannot start.
    vorntest::SetGameInit([] {
        BasicSettings(OPTION_DIRECT3D | OPTION_DIRECTINPUT);
        Vorn::SetScreenInfo(632, 472, false);
        return true;
    });
    bool started = true;
    vorntest::SetGameMain([&](int, char**) {
        started = Vorn::Start();
        return 0;   // straight back to boot, without Finalize
    });
    std::vector<vorntest::SeenBox> boxes;
    EXPECT_EQ(0u, BootAnswering(&boxes));
    EXPECT_FALSE(started);
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("ERROR", boxes[0].caption);
    EXPECT_EQ("３Ｄシステムの起動に失敗", boxes[0].text);
}

namespace {
HANDLE g_held;
HANDLE g_release;
DWORD WINAPI HoldMutex(void*)
{
    HANDLE m = CreateMutexA(nullptr, TRUE, TestName());
    SetEvent(g_held);
    WaitForSingleObject(g_release, INFINITE);
    ReleaseMutex(m);
    CloseHandle(m);
    return 0;
}
}  // namespace

TEST(Boot, ASecondInstanceIsRefused)
{
    g_held = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    g_release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE holder = CreateThread(nullptr, 0, HoldMutex, nullptr, 0, nullptr);
    WaitForSingleObject(g_held, 5000);

    vorntest::SetGameInit([] { BasicSettings(OPTION_DIRECT3D); return true; });
    const std::vector<vorntest::SeenBox> boxes = BootEndingBeforeGameMain();
    SetEvent(g_release);
    WaitForSingleObject(holder, 5000);
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("ERROR", boxes[0].caption);
    EXPECT_EQ("２重起動は許可されてません", boxes[0].text);
}

TEST(Boot, TheLogMarksTheStartAndTheEndOfTheApplication)
{
    vorntest::SetGameInit([] {
        BasicSettings(OPTION_DIRECT3D);
        VornLog::SetFileName("VornBootLog");
        return true;
    });
    bool started = false;
    vorntest::SetGameMain([&](int, char**) {
        started = Vorn::Start();
        EndRun();
        Vorn::Finalize();
        return 0;
    });
    EXPECT_EQ(0u, Vorn::Boot(GetModuleHandleA(nullptr), 0, nullptr));
    EXPECT_TRUE(started);
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    *strrchr(path, '\\') = '\0';
    const std::string file = std::string(path) + "\\VornBootLog.html";
    std::ifstream in(file, std::ios::binary);
    const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    DeleteFileA(file.c_str());
    const size_t start = log.find("アプリケーション開始");
    const size_t end = log.find("アプリケーション終了");
    ASSERT_NE(std::string::npos, start) << file;
    ASSERT_NE(std::string::npos, end);
    EXPECT_LT(start, end);
    EXPECT_EQ(std::string::npos, log.find("アプリケーション開始", start + 1));
}

TEST(Boot, MsgBoxFormatsIntoABoundedBuffer)
{
    std::string longText(3000, 'b');
    std::vector<vorntest::SeenBox> boxes;
    {
        BoxWatcher watcher;
        Vorn::MsgBox(MB_OK, "長い", "%s%s", longText.c_str(), longText.c_str());
        Vorn::MsgBox(MB_ICONHAND, "ERROR", "%d件", 12);
        boxes = watcher.Boxes();
    }
    ASSERT_EQ(2u, boxes.size());
    EXPECT_EQ("長い", boxes[0].caption);
    EXPECT_EQ(std::string(Vorn::MESSAGE_MAX - 1, 'b'), boxes[0].text);
    EXPECT_EQ("12件", boxes[1].text);
}

TEST(Boot, StartsWithTheDefaultsAndArgumentsReachGameMain)
{
    vorntest::SetGameInit([] {
        Vorn::SetMemorySize(0x2000000, true);
        Vorn::SetUseOption(OPTION_DIRECT3D);
        return true;
    });
    uint32_t w = 0, h = 0;
    bool windowed = true;
    std::string name;
    int argcSeen = -1;
    std::string arg1;
    vorntest::SetGameMain([&](int argc, char** argv) {
        Vorn::GetScreenInfo(&w, &h, &windowed);
        name = Vorn::GetApplicationName();
        argcSeen = argc;
        arg1 = argv[1];
        EndRun();
        return 0;
    });
    char a0[] = "boot", a1[] = "option";
    char* argv[] = {a0, a1, nullptr};
    EXPECT_EQ(0u, Vorn::Boot(GetModuleHandleA(nullptr), 2, argv));
    EXPECT_EQ(640u, w);
    EXPECT_EQ(480u, h);
    EXPECT_FALSE(windowed);   // full screen unless the game says otherwise
    EXPECT_EQ(0u, name.find("Vorn"));   // the library banner
    EXPECT_EQ(2, argcSeen);
    EXPECT_EQ("option", arg1);
}

TEST(Boot, WithoutDirect3DTheWindowIsWindowedWithAListBox)
{
    vorntest::SetGameInit([] {
        BasicSettings(0);
        Vorn::SetScreenInfo(640, 480, false);
        return true;
    });
    bool windowed = false;
    HWND listBox = nullptr;
    LRESULT count = -1, length = -1, afterClear = -1;
    vorntest::SetGameMain([&](int, char**) {
        Vorn::GetScreenInfo(nullptr, nullptr, &windowed);
        listBox = FindWindowExA(Vorn::GetWindowHandle(), nullptr, "LISTBOX", nullptr);
        std::string longLine(2000, 'c');
        Vorn::PrintListBox("%s", longLine.c_str());
        Vorn::PrintListBox("line %d", 2);
        count = SendMessageA(listBox, LB_GETCOUNT, 0, 0);
        length = SendMessageA(listBox, LB_GETTEXTLEN, 0, 0);
        Vorn::ClearListBox();
        afterClear = SendMessageA(listBox, LB_GETCOUNT, 0, 0);
        Vorn::Exit();
        EXPECT_FALSE(Vorn::Run(false));   // the blocking pump returns only at the end
        return 0;
    });
    EXPECT_EQ(0u, Vorn::Boot(GetModuleHandleA(nullptr), 0, nullptr));
    EXPECT_TRUE(windowed);
    EXPECT_NE(nullptr, listBox);
    EXPECT_EQ(2, count);
    EXPECT_EQ(static_cast<LRESULT>(Vorn::MESSAGE_MAX - 1), length);
    EXPECT_EQ(0, afterClear);
}

TEST(Finalize, IsSafeForAnEngineThatNeverStarted)
{
    Vorn::Finalize();
    vorntest::SetGameInit([] { BasicSettings(OPTION_DIRECT3D | OPTION_DIRECTINPUT | OPTION_DIRECTMUSIC | OPTION_DIRECTSHOW); return true; });
    vorntest::SetGameMain([](int, char**) {
        // The game's way after a failed start: straight to the shut-down.
        Vorn::Finalize();
        return 0;
    });
    EXPECT_EQ(0u, Vorn::Boot(GetModuleHandleA(nullptr), 0, nullptr));
}

TEST(BootText, DrawsOutlinedLines)
{
    vorntest::SetGameInit([] {
        BasicSettings(OPTION_DIRECT3D);
        Vorn::SetDrawBootText(true);
        return true;
    });
    int white = 0, outline = 0;
    vorntest::SetGameMain([&](int, char**) {
        HWND w = Vorn::GetWindowHandle();
        for (int i = 0; i < 3; ++i) Vorn::PrintBootText("■■■■■■■■");
        GdiFlush();
        HDC dc = GetDC(w);
        for (int y = 8; y < 64; ++y) {
            for (int x = 8; x < 120; ++x) {
                const COLORREF c = GetPixel(dc, x, y);
                if (c == RGB(0xFF, 0xFF, 0xFF)) ++white;
                else if (c == RGB(0x40, 0xA0, 0x60)) ++outline;
            }
        }
        ReleaseDC(w, dc);
        EndRun();
        return 0;
    });
    EXPECT_EQ(0u, Vorn::Boot(GetModuleHandleA(nullptr), 0, nullptr));
    printf("[ figure ] boot text pixels: %d white, %d outline\n", white, outline);
    EXPECT_GT(white, 20);
    EXPECT_GT(outline, 20);
}

TEST(BootText, EveryCallDeletesTheFontItMade)
{
    // A font left behind per call would fill the process's GDI handle table long before this
    // many calls, and fonts could no longer be made.
    vorntest::SetGameInit([] {
        BasicSettings(OPTION_DIRECT3D);
        Vorn::SetScreenInfo(64, 40, true);   // one visible line: cheap repaints
        Vorn::SetDrawBootText(true);
        return true;
    });
    HFONT after = nullptr;
    double seconds = 0;
    vorntest::SetGameMain([&](int, char**) {
        LARGE_INTEGER t0, t1, f;
        QueryPerformanceCounter(&t0);
        for (int i = 0; i < 70000; ++i) Vorn::PrintBootText("x");
        QueryPerformanceCounter(&t1);
        QueryPerformanceFrequency(&f);
        seconds = double(t1.QuadPart - t0.QuadPart) / double(f.QuadPart);
        after = CreateFontA(12, 0, 0, 0, 400, 0, 0, 0, SHIFTJIS_CHARSET, 0, 0, 0, 0, "Arial");
        EndRun();
        return 0;
    });
    EXPECT_EQ(0u, Vorn::Boot(GetModuleHandleA(nullptr), 0, nullptr));
    printf("[ figure ] 70000 boot-text repaints in %.2f s\n", seconds);
    EXPECT_NE(nullptr, after);
    if (after) DeleteObject(after);
}

TEST(Boot, AnOverwrittenBlockEndsTheApplicationWithTheMemoryBox)
{
    vorntest::SetGameInit([] { BasicSettings(OPTION_DIRECT3D); return true; });
    int frames = 0;
    vorntest::SetGameMain([&](int, char**) {
        auto* block = static_cast<char*>(VORN_ALLOC(100));
        memset(block, 0, 104);   // four bytes past the end: over the guard word
        while (Vorn::Run(false) && frames < 1000) ++frames;
        VORN_FREE(block);
        return 0;
    });
    std::vector<vorntest::SeenBox> boxes;
    const uint32_t code = BootAnswering(&boxes);
    EXPECT_EQ(0u, code);
    EXPECT_LT(frames, 5);   // the frame goes on, then the application ends
    ASSERT_GE(boxes.size(), 1u);
    EXPECT_EQ("メモリエラー", boxes[0].caption);
    EXPECT_EQ("メモリリークが発生しました\nアプリケーションを終了します\n詳細はログを参照して下さい。", boxes[0].text);
}

TEST(Boot, TheModuleFolderBecomesCurrentAndLoadersReturnToIt)
{
    vorntest::SetGameInit([] { BasicSettings(OPTION_DIRECT3D); return true; });
    char atMain[MAX_PATH] = {}, afterReset[MAX_PATH] = {};
    vorntest::SetGameMain([&](int, char**) {
        GetCurrentDirectoryA(MAX_PATH, atMain);
        SetCurrentDirectoryA("C:\\");
        Vorn::ResetCurrentDirectory();
        GetCurrentDirectoryA(MAX_PATH, afterReset);
        EndRun();
        return 0;
    });
    char module[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, module, MAX_PATH);
    *strrchr(module, '\\') = '\0';
    SetCurrentDirectoryA("C:\\");
    EXPECT_EQ(0u, Vorn::Boot(GetModuleHandleA(nullptr), 0, nullptr));
    EXPECT_STREQ(module, atMain);
    EXPECT_STREQ(module, afterReset);
}

TEST(Boot, ABaseDirectorySetByTheGameIsKept)
{
    char base[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, base);
    SetCurrentDirectoryA(base);
    GetCurrentDirectoryA(MAX_PATH, base);
    vorntest::SetGameInit([] {
        BasicSettings(OPTION_DIRECT3D);
        Vorn::SetBaseDirectory();
        SetCurrentDirectoryA("C:\\");   // boot does not make it current again
        return true;
    });
    char atMain[MAX_PATH] = {}, afterReset[MAX_PATH] = {};
    vorntest::SetGameMain([&](int, char**) {
        GetCurrentDirectoryA(MAX_PATH, atMain);
        Vorn::ResetCurrentDirectory();
        GetCurrentDirectoryA(MAX_PATH, afterReset);
        EndRun();
        return 0;
    });
    EXPECT_EQ(0u, Vorn::Boot(GetModuleHandleA(nullptr), 0, nullptr));
    EXPECT_STREQ("C:\\", atMain);
    EXPECT_STREQ(base, afterReset);
}

TEST(Boot, InitializeStartsTheCoreClassesInOrder)
{
    // Without Direct3D the boot text goes to the list box, where it can be read back.
    vorntest::SetGameInit([] {
        BasicSettings(0);
        Vorn::SetDrawBootText(true);
        return true;
    });
    std::vector<std::string> lines;
    vorntest::SetGameMain([&](int, char**) {
        HWND listBox = FindWindowExA(Vorn::GetWindowHandle(), nullptr, "LISTBOX", nullptr);
        const LRESULT n = SendMessageA(listBox, LB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < n; ++i) {
            char line[1024] = {};
            SendMessageA(listBox, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line));
            lines.push_back(line);
        }
        EndRun();
        return 0;
    });
    EXPECT_EQ(0u, Vorn::Boot(GetModuleHandleA(nullptr), 0, nullptr));
    // Every core step in its order; steps of classes still to come may be missing, none may move.
    const std::vector<std::string> order = {
        "Initialize Multimedia Timer", "Checking System Informatin", "Initialize VornMemory", "Initialize VornList",
        "Initialize Console System", "Initialize FEP System", "Initialize Math System", "Initialize Debug System",
        "Initialize LZSS Compress System", "Initialize Animation System", "Initialize Thread System"};
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(0u, lines[0].find("Vorn"));   // the banner first
    size_t at = 0;
    for (size_t i = 1; i < lines.size(); ++i) {
        while (at < order.size() && order[at] != lines[i]) ++at;
        ASSERT_LT(at, order.size()) << "out of order or unknown: " << lines[i];
    }
    for (const char* present : {"Initialize Multimedia Timer", "Checking System Informatin", "Initialize VornMemory",
                                "Initialize VornList", "Initialize Console System", "Initialize Debug System"}) {
        EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), present)) << present;
    }
    // No manager of the drawing classes without Direct3D.
    for (const std::string& line : lines) EXPECT_EQ(std::string::npos, line.find("Manager")) << line;
}
