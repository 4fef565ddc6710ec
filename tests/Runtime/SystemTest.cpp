// System helpers: Shift-JIS, full width, code conversions, parsers, paths, QRB files, dates,
// keys, byte order, WinSock texts.
#include "RuntimeTestSupport.h"
#include "VornSystem.h"
#include <objbase.h>
#include <shlobj.h>

namespace {

const uint8_t* U(const char* s) { return reinterpret_cast<const uint8_t*>(s); }
// What a call returned, and the text it wrote.
using Result = std::pair<bool, std::string>;
using Parsed = std::pair<uint32_t, std::string>;

using SystemFileTest = ScratchTest;

std::string ReadDesktopValue(const char* name)
{
    char value[512] = "<missing>";
    DWORD size = sizeof value;
    RegGetValueA(HKEY_CURRENT_USER, "Control Panel\\desktop", name, RRF_RT_REG_SZ, nullptr, value, &size);
    return value;
}

} // namespace

TEST(SjisTest, LeadBytesCodesAndCharacters)
{
    for (int c = 0x40; c <= 0xFF; ++c)
        EXPECT_EQ(VornSystem::IsSjisLeadByte(uint8_t(c)), (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFE)) << c;
    EXPECT_NAMED({"0xA6 half-width kana", VornSystem::IsHalfWidthKana(0xA6), true}, {"0xA5 half-width kana", VornSystem::IsHalfWidthKana(0xA5), false});
    uint16_t code = 0;
    const uint32_t used = VornSystem::ReadSjisChar(U("ソx"), &code);
    EXPECT_NAMED({"bytes read", used, 2}, {"code", Argb{code}, Argb{0x835C}});
    for (const auto& [text, sjis] : {std::make_pair("漢", 0x8ABF), std::make_pair("A", int('A'))}) {
        SCOPED_TRACE(text);
        uint8_t out[3];
        VornSystem::PutSjisChar(uint16_t(sjis), out);
        EXPECT_NAMED({"code", Argb{VornSystem::GetSjisCode(U(text))}, Argb{uint32_t(sjis)}}, {"put", reinterpret_cast<char*>(out), text});
    }
}

TEST(SjisTest, FullWidthTableAndVoicedMarks)
{
    const struct { const char* in; uint16_t code; uint32_t used; } cases[] = {
        {"!", 0x8149, 1}, {"0", 0x824F, 1}, {"9", 0x8258, 1}, {"A", 0x8260, 1}, {"z", 0x829A, 1},
        {"\\", 0x818F, 1}, {"\"", 0x8168, 1}, {"'", 0x8166, 1}, {"`", 0x8165, 1}, {"~", 0x8160, 1},
        {" ", 0x8140, 1}, {"\x7F", 0x8145, 1}, {"\xA1", 0x8142, 1}, {"\xA6", 0x8392, 1}, {"\xB0", 0x815B, 1},
        {"\xB1", 0x8341, 1}, {"\xDD", 0x8393, 1},
        {"\xB3\xDE", 0x8394, 2}, {"\xB6\xDE", 0x834B, 2}, {"\xCA\xDF", 0x8370, 2}, {"\xCE\xDE", 0x837B, 2},  // ｳﾞ ｶﾞ ﾊﾟ ﾎﾞ
        // Kana that take no mark keep it as a character of its own.
        {"\xB1\xDE", 0x8341, 1}, {"\xB6\xDF", 0x834A, 1}, {"A\xDE", 0x8260, 1}};   // ｱﾞ ｶﾟ
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        uint8_t full[3] = {};
        const uint32_t used = VornSystem::ToFullWidthChar(U(c.in), full);
        EXPECT_NAMED({"code", Argb{VornSystem::GetSjisCode(full)}, Argb{c.code}}, {"bytes used", used, c.used});
    }
    uint8_t out[64];
    VornSystem::ToFullWidth(U("\xB6\xDE\xB1\xDE" "A漢1"), out);
    EXPECT_STREQ(reinterpret_cast<char*>(out), "ガア゛Ａ漢１");
    uint8_t small[7];
    VornSystem::ToFullWidth(U("ABCD"), small, sizeof small);
    EXPECT_STREQ(reinterpret_cast<char*>(small), "ＡＢＣ");   // whole characters only
}

TEST(SjisTest, CodeConversionsFollowJisX0208)
{
    // Each row parity at its first and last cells, the trail bytes either side of 0x7F, and the
    // last row before and the first after the lead bytes jump from 0x9F to 0xE0.
    const struct { uint16_t jis, sjis; } pairs[] = {{0x2422, 0x82A0}, {0x3441, 0x8ABF}, {0x3021, 0x889F}, {0x2121, 0x8140}, {0x217E, 0x819E},
                 {0x2221, 0x819F}, {0x227E, 0x81FC}, {0x235F, 0x827E}, {0x2360, 0x827F + 1}, {0x5E7E, 0x9FFC}, {0x5F21, 0xE040},
                 {0x7426, 0xEAA4}, {0x7E7E, 0xEFFC}};
    for (const auto& p : pairs) {
        SCOPED_TRACE(testing::Message() << "JIS 0x" << std::hex << p.jis);
        EXPECT_NAMED({"JisToSjis", Argb{VornSystem::JisToSjis(p.jis)}, Argb{p.sjis}}, {"SjisToJis", Argb{VornSystem::SjisToJis(p.sjis)}, Argb{p.jis}},
                     {"EucToSjis", Argb{VornSystem::EucToSjis(uint16_t(p.jis + 0x8080))}, Argb{p.sjis}},
                     {"SjisToEuc", Argb{VornSystem::SjisToEuc(p.sjis)}, Argb{p.jis + 0x8080u}});
    }
    uint8_t out[2];
    const uint8_t in[2] = {0xB4, 0xC1};   // EUC 漢
    VornSystem::EucToSjis(out, in);
    EXPECT_NAMED({"lead", Argb{out[0]}, Argb{0x8A}}, {"trail", Argb{out[1]}, Argb{0xBF}});
}

TEST(ParseTest, NumbersStopAtTheEndOfTheText)
{
    const struct { const char* text; uint32_t used; int32_t value; } cases[] = {
        {"0x1F", 4, 31}, {"-42", 3, -42}, {"  0x10", 6, 16}, {"x = 250;", 7, 250},
        {"   ", 3, 0}, {"", 0, 0}, {"0", 1, 0}, {"-", 1, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        int32_t v = -1;
        const uint32_t used = VornSystem::ParseNumber(c.text, &v);
        EXPECT_NAMED({"bytes used", used, c.used}, {"value", v, c.value});
    }
}

TEST(ParseTest, DelimitedAndBracketedTextKeepsShiftJisPairs)
{
    // Trail bytes 0x5C are no delimiter; an unterminated text runs to the end.
    const struct { char delimiter; const char* text; uint32_t used; const char* out; } cases[] = {
        {'"', "name = \"トルメア\" ;", 17, "トルメア"}, {'\\', "a\\ソ表\\b", 7, "ソ表"},
        {'"', "open \"unterminated", 18, "unterminated"}, {'"', "none", 4, ""}};
    char out[64];
    for (const auto& c : cases)
        EXPECT_EQ(Parsed(c.used, c.out), (Parsed{VornSystem::ParseDelimited(c.delimiter, c.text, out), out})) << c.text;
    EXPECT_EQ(Parsed(8, " 12 "), (Parsed{VornSystem::ParseBetween('[', ']', "x [ 12 ] y", out), out}));
    char small[4];
    VornSystem::ParseBetween('(', ')', "(abcdef)", small, sizeof small);
    EXPECT_STREQ(small, "abc");
}

TEST(PathTest, NormaliseCutAndCopyBounded)
{
    char out[64];
    VornSystem::NormalizePath(out, "ッb/ソ");   // 0x83 0x62 ('b') and 0x83 0x5C ('\\') stay
    EXPECT_STREQ(out, "ッB\\ソ");
    VornSystem::CutAtLastChar(out, "a\\b\\c.txt", '\\');
    EXPECT_STREQ(out, "a\\b");
    VornSystem::CutAtLastChar(out, "dir\\ソ", '\\');   // the trail byte of ソ is not the last '\\'
    EXPECT_STREQ(out, "dir");
    char three[3];
    EXPECT_EQ(Result(false, "a"), (Result{VornSystem::CopyText(three, "a漢"), three}));   // the pair does not fit: cut before it
    char four[4];
    // No half character at the end.
    EXPECT_EQ(Result(false, "ab"), (Result{VornSystem::FormatText(four, sizeof four, "ab%s", "漢"), four}));
    EXPECT_EQ(Result(true, "a漢"), (Result{VornSystem::FormatText(four, sizeof four, "a%s", "漢"), four}));
    EXPECT_EQ(Result(true, "dir\\x"), (Result{VornSystem::AppendText(out, sizeof out, "\\x"), out}));
}

TEST_F(SystemFileTest, FilesFoldersAndLongPaths)
{
    ASSERT_TRUE(VornSystem::CreateDirectoryTree("one\\表\\three"));
    ASSERT_TRUE(VornSystem::FileExists("one\\表\\three"));
    PutFile("one\\表\\three\\f.txt", "12345");
    EXPECT_EQ(VornSystem::GetFileSize("one\\表\\three\\f.txt"), 5u);
    EXPECT_EQ(Result(true, "12345"), (Result{VornSystem::CopyFile("one\\表\\three\\f.txt", "copy.txt"), ReadFile("copy.txt")}));
    EXPECT_TRUE(VornSystem::DeleteFile("copy.txt"));
    EXPECT_NAMED({"exists", VornSystem::FileExists("copy.txt"), false}, {"size", VornSystem::GetFileSize("copy.txt"), 0});
    // A short (8.3) name comes back long; a missing one comes back as it was written.
    PutFile("one\\a long file name.text", "x");
    char path[256];
    ASSERT_GT(GetShortPathNameA("one\\a long file name.text", path, sizeof path), 0u);
    ASSERT_STRNE(path, "one\\a long file name.text");
    EXPECT_EQ(Result(true, "one\\a long file name.text"), (Result{VornSystem::GetLongPath(std::string(path).c_str(), path), path}));
    EXPECT_EQ(Result(false, "one\\NOSUCH~1.TXT"), (Result{VornSystem::GetLongPath("one\\NOSUCH~1.TXT", path), path}));
}

TEST_F(SystemFileTest, ScrambledFilesHaveTheirExactBytes)
{
    ASSERT_TRUE(VornSystem::SaveScrambledFile("s.qrb", "ABC", 3));
    // k = 3, 4, 5: 'A'^3 = 0x42 → 0x24, 'B'^4 = 0x46 → 0x64, 'C'^5 = 0x46 → 0x64.
    EXPECT_EQ(ReadFile("s.qrb"), std::string("QRB\0\x03\0\0\0\x24\x64\x64", 11));
    char back[3];
    EXPECT_EQ(Result(true, "ABC"), (Result{VornSystem::LoadScrambledFile("s.qrb", back, 3), std::string(back, 3)}));
    EXPECT_FALSE(VornSystem::LoadScrambledFile("s.qrb", back, 2));   // another size is refused
    // The key byte wraps: at 256 of 300 bytes it is (300 + 256) & 0xFF = 0x2C; 0x00 ^ 0x2C → 0xC2.
    std::string data(300, '\0');
    for (int i = 0; i < 300; ++i) data[i] = char(i * 7);
    ASSERT_TRUE(VornSystem::SaveScrambledFile("big.qrb", data.data(), 300));
    EXPECT_EQ(uint8_t(ReadFile("big.qrb")[8 + 256]), 0xC2);   // reading back any size is the qrb fuzz target's
    PutFile("bad.qrb", std::string("QRC\0\x03\0\0\0\x24\x64\x64", 11));
    PutFile("short.qrb", std::string("QRB\0\x03\0\0\0\x24", 9));
    for (const char* refused : {"bad.qrb", "short.qrb", "missing.qrb"}) EXPECT_FALSE(VornSystem::LoadScrambledFile(refused, back, 3)) << refused;
}

TEST_F(SystemFileTest, WallpaperStylesAreStringValuesOfTheDesktopKey)
{
    const char* names[] = {"Wallpaper", "TileWallpaper", "WallpaperStyle"};
    const auto values = [&] {
        return std::vector<std::string>{ReadDesktopValue(names[0]), ReadDesktopValue(names[1]), ReadDesktopValue(names[2])};
    };
    const std::vector<std::string> saved = values();
    const char* expected[3][2] = {{"0", "0"}, {"1", "0"}, {"0", "2"}};   // centre, tile, stretch
    for (uint32_t style = 0; style < 3; ++style) {
        EXPECT_TRUE(VornSystem::SetWallpaper("C:\\vorn\\壁紙.bmp", style, true));
        EXPECT_EQ(values(), (std::vector<std::string>{"C:\\vorn\\壁紙.bmp", expected[style][0], expected[style][1]})) << style;
    }
    // A desktop key that cannot be made is a failure: the user's key stands in for a deleted one.
    HKEY gone = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\VornGone", 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &gone, nullptr));
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\VornGone");
    ASSERT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_CURRENT_USER, gone));
    EXPECT_FALSE(VornSystem::SetWallpaper("C:\\vorn\\壁紙.bmp", 0, true));
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegCloseKey(gone);
    for (int i = 0; i < 3; ++i)   // the user's values back
        if (saved[i] == "<missing>") RegDeleteKeyValueA(HKEY_CURRENT_USER, "Control Panel\\desktop", names[i]);
        else RegSetKeyValueA(HKEY_CURRENT_USER, "Control Panel\\desktop", names[i], REG_SZ, saved[i].c_str(), DWORD(saved[i].size() + 1));
}

TEST_F(SystemFileTest, ProgramsRunFromTheirFolderAndShortcutsPointAtThem)
{
    char exe[MAX_PATH];
    ASSERT_GT(GetFullPathNameA(VORNPACK_EXE, sizeof exe, exe, nullptr), 0u);
    char folder[MAX_PATH];
    VornSystem::CutAtLastChar(folder, exe, '\\', sizeof folder);
    EXPECT_TRUE(VornSystem::RunProgram(folder, "vornpack.exe"));
    EXPECT_TRUE(VornSystem::RunProgram((std::string(folder) + "\\").c_str(), "vornpack.exe"));
    EXPECT_FALSE(VornSystem::RunProgram(folder, "no-such-program.exe"));

    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    const std::string link = path_ + "\\packer.lnk";
    ASSERT_TRUE(VornSystem::CreateShortcut(link.c_str(), "Vorn packer", exe));
    IShellLinkA* shell = nullptr;
    ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                           reinterpret_cast<void**>(&shell))));
    IPersistFile* file = nullptr;
    ASSERT_TRUE(SUCCEEDED(shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))));
    wchar_t wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, link.c_str(), -1, wide, MAX_PATH);
    EXPECT_TRUE(SUCCEEDED(file->Load(wide, STGM_READ)));
    char target[MAX_PATH] = "", description[MAX_PATH] = "";
    shell->GetPath(target, MAX_PATH, nullptr, 0);
    shell->GetDescription(description, MAX_PATH);
    EXPECT_STRCASEEQ(target, exe);
    EXPECT_STREQ(description, "Vorn packer");
    file->Release();
    shell->Release();
    CoUninitialize();
}

TEST(DateTest, DaysAndWeekdays)
{
    const uint32_t days[][3] = {{1900, 2, 28}, {2000, 2, 29}, {2004, 2, 29}, {2005, 4, 30}, {2005, 0, 0}, {2005, 13, 0}};
    for (const auto& d : days) EXPECT_EQ(VornSystem::GetDaysInMonth(d[0], d[1]), d[2]) << d[0] << "/" << d[1];
    // 2004-03-01 is a Monday: this year's 29 February counts.
    const uint32_t starts[][3] = {{2005, 1, 6}, {2004, 2, 0}, {2004, 3, 1}, {2024, 12, 0}, {2000, 3, 3},
                                  {2005, 13, 0xFFFFFFFFu}, {2005, 0, 0xFFFFFFFFu}};
    for (const auto& d : starts) EXPECT_EQ(VornSystem::GetMonthStartWeekday(d[0], d[1]), d[2]) << d[0] << "/" << d[1];
    uint32_t year = 0, month = 0, day = 0;
    VornSystem::GetDateTime(&year, &month, nullptr, &day, nullptr, nullptr, nullptr, nullptr);
    EXPECT_TRUE(vorntest::InRange("year", year, 2020, 2200));
    EXPECT_TRUE(vorntest::InRange("month", month, 1, 12));
    EXPECT_TRUE(vorntest::InRange("day", day, 1, 31));
}

TEST(KeyTest, KeyStatesStepThroughPushedHeldReleasedFree)
{
    uint32_t state = 0;
    // Down or up in each frame, and the state after it.
    const std::pair<bool, uint32_t> frames[] = {{true, 2}, {true, 3}, {true, 3}, {false, 1}, {false, 0}, {true, 2}, {false, 1}};
    for (const auto& f : frames) {
        VornSystem::UpdateKeyStateFrom(&state, f.first);
        EXPECT_EQ(state, f.second) << &f - frames;
    }
}

// HostToNetwork and NetworkToHost only forward sizes 2 and 4 to ByteSwap.
TEST(ByteOrderTest, SwapsOfTwoFourAndEightBytes)
{
    uint16_t s = 0x1234;
    uint32_t l = 0x12345678, same = 7;
    uint64_t q = 0x0102030405060708ull;
    VornSystem::ByteSwap(&s, 2);
    VornSystem::ByteSwap(&l, 4);
    VornSystem::ByteSwap(&q, 8);
    VornSystem::ByteSwap(&same, 3);   // not a size it swaps
    EXPECT_NAMED({"2 bytes", Argb{s}, Argb{0x3412}}, {"4 bytes", Argb{l}, Argb{0x78563412u}}, {"8 bytes", q, 0x0807060504030201ull}, {"3 bytes", same, 7});
}

TEST(WinSockTextTest, KnownCodesHaveTheirTextsAndUnknownOnesLeaveTheBuffer)
{
    char out[256] = "unchanged";
    const struct { int code; bool known; const char* text; } cases[] = {
        {12345, false, "unchanged"}, {10061, true, "接続が拒否された"}, {11004, true, "要求されたタイプのデータレコードが見つからない"}};
    for (const auto& c : cases)
        EXPECT_EQ(Result(c.known, c.text), (Result{VornSystem::GetWinSockErrorText(c.code, out), out})) << c.code;
    EXPECT_STREQ(VornSystem::FindWinSockErrorText(10092), "Winsock.dllのバージョンが範囲外である");
    int known = 0;
    for (int code = 9000; code < 12000; ++code)
        if (VornSystem::FindWinSockErrorText(code)) ++known;
    EXPECT_EQ(known, 62);
}
