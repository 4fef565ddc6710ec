// VornFEP: characters sent to the engine's real window, and a stand-in IME in the middle of a
// composition (Wine's IME composes nothing).
#include "../Runtime/BootRun.h"
#include "Checks.h"
#include "VornFEP.h"

namespace {

std::string Typed()
{
    char text[VornFEP::TEXT_MAX + 1];
    VornFEP::GetTypedText(text);
    return text;
}
void Send(const std::string& bytes) { for (unsigned char c : bytes) SendMessageA(Vorn::GetWindowHandle(), WM_CHAR, c, 0); }

// What the stand-in IME answers; a buffer too small for the data is an error, as in IMM.
struct FakeIme { BOOL open; DWORD conversion, sentence; LONG cursor, compositionError; std::string composition, clauses, candidates;
                 BOOL notifyAnswer; std::vector<uintptr_t> notified; }
g_ime = {TRUE, 0, 0, 4, 0, "変換中です", "", "", TRUE, {}};

LONG Answer(const std::string& data, void* buffer, DWORD size)
{
    if (buffer && size < data.size()) return IMM_ERROR_GENERAL;
    if (buffer) memcpy(buffer, data.data(), data.size());
    return LONG(data.size());
}

const VornImeCalls kFake = {
    [](HWND) { return HWND(nullptr); }, [](HWND) { return HIMC(1); }, [](HWND, HIMC) { return TRUE; },
    [](HIMC) { return g_ime.open; },
    [](HIMC, LPDWORD conversion, LPDWORD sentence) { return *conversion = g_ime.conversion, *sentence = g_ime.sentence, TRUE; },
    [](HIMC, DWORD item, LPVOID buffer, DWORD size) {
        if (item == GCS_CURSORPOS) return g_ime.cursor;
        const LONG n = Answer(item == GCS_COMPCLAUSE ? g_ime.clauses : g_ime.composition, buffer, size);
        return item == GCS_COMPSTR && g_ime.compositionError ? g_ime.compositionError : n;
    },
    [](HIMC, DWORD, LPCANDIDATELIST buffer, DWORD size) { return DWORD(Answer(g_ime.candidates, buffer, size)); },
    [](HIMC c, DWORD action, DWORD index, DWORD value) { return g_ime.notified = {uintptr_t(c), action, index, value}, g_ime.notifyAnswer; }};

std::string Words(std::initializer_list<uint32_t> w) { return std::string(reinterpret_cast<const char*>(w.begin()), w.size() * 4); }

}  // namespace

TEST(FEP, CharactersOfTheWindowMakeTheTypedText)
{
    vorntest::BootRunning(0, nullptr, [] {
        char mode[16], typed[VornFEP::STRING_SIZE];
        const bool hasMode = VornFEP::GetModeText(mode);
        EXPECT_NAMED({"GetModeText", hasMode, true}, {"mode", mode, "英数"});   // Wine's IME is closed
        Send("ab\r");
        VornFEP::Update();
        const bool hasState = VornFEP::GetState(nullptr, typed, nullptr, nullptr, nullptr);
        EXPECT_NAMED({"GetState", hasState, true}, {"typed", typed, "ab\n"});
        Send("\x1b");   // remembered, not typed
        EXPECT_FALSE(VornFEP::GetState(nullptr, nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(Typed(), "ab\n");
        // Back-space removes whole characters, and a lead byte whose trail has not come alone.
        const char* const cases[][2] = {{"\x82\xA0\b", ""}, {"x\x82\xA0\b", "x"}, {"x\x82\b", "x"}, {"\x82\xA0\b\b", ""}};
        for (const auto& c : cases) {
            VornFEP::ClearTypedText();
            Send(c[0]);
            EXPECT_EQ(Typed(), c[1]) << c[0];
        }
        VornFEP::ClearTypedText();
        Send(std::string(1022, 'a') + "\x82\xA0");
        VornFEP::Update();
        VornFEP::GetState(nullptr, typed, nullptr, nullptr, nullptr);
        EXPECT_EQ(std::string(typed), std::string(1022, 'a'));   // the snapshot ends before a character it would cut
        Send(std::string(1023, 'a') + "\x82\xA0" + "bc");
        EXPECT_EQ(Typed(), std::string(1022, 'a') + "\x82\xA0" + std::string(1023, 'a') + "b");   // no half character
    });
}

TEST(FEP, AStandInImeGivesModeCompositionAndCandidatesAndTakesNotifications)
{
    vorntest::BootRunning(0, [] { VornFEP::SetImeCalls(&kFake); }, [] {
        const struct { BOOL open; DWORD conversion, sentence; const char* label; } modes[] = {
            {TRUE, IME_CMODE_ROMAN | IME_CMODE_FULLSHAPE | IME_CMODE_NATIVE, IME_SMODE_PHRASEPREDICT, "Ｒ連全ひ"},
            {TRUE, IME_CMODE_FULLSHAPE | IME_CMODE_KATAKANA | IME_CMODE_NATIVE, 0, "全カ"},
            {TRUE, IME_CMODE_NATIVE, IME_SMODE_PLAURALCLAUSE | IME_SMODE_SINGLECONVERT | IME_SMODE_AUTOMATIC, "複単自半ひ"},
            {TRUE, 0, 0, "半英"}, {TRUE, IME_CMODE_NOCONVERSION | IME_CMODE_NATIVE, 0, "英数"}, {FALSE, IME_CMODE_NATIVE, 0, "英数"}};
        char text[VornFEP::STRING_SIZE], rest[VornFEP::STRING_SIZE];
        for (const auto& m : modes) {
            g_ime.open = m.open, g_ime.conversion = m.conversion, g_ime.sentence = m.sentence;
            const bool hasMode = VornFEP::GetModeText(text);
            SCOPED_TRACE(m.label);
            EXPECT_NAMED({"GetModeText", hasMode, true}, {"mode", text, m.label});
        }
        // Clause data: plain, several clauses, an end past the composition, one offset only, then an error
        // result from the composition itself.
        const struct { std::string clauses; LONG error; const char *first, *rest; } clauses[] = {
            {Words({0, 4, 10}), 0, "変換", "中です"}, {Words({0, 4, 6, 10}), 0, "変換", "中です"},
            {Words({0, 200}), 0, "変換中です", ""}, {Words({0}), 0, "", "変換中です"}, {Words({0, 4, 10}), IMM_ERROR_GENERAL, "", ""}};
        for (const auto& c : clauses) {
            g_ime.clauses = c.clauses;
            g_ime.compositionError = c.error;
            VornFEP::Update();
            VornFEP::GetState(nullptr, nullptr, text, rest, nullptr);
            SCOPED_TRACE("clauses row " + std::to_string(&c - clauses));
            EXPECT_NAMED({"first clause", text, c.first}, {"the rest", rest, c.rest});
        }
        EXPECT_EQ(VornFEP::GetCursorPosition(), 4);
        // size, style, count, selection, page start, page size, offsets, strings
        g_ime.candidates = Words({0, 0, 3, 1, 1, 9, 36, 39, 42}) + std::string("一\0二\0三\0", 9);
        EXPECT_EQ(VornFEP::RefreshCandidateList(), 3u);
        // Selection, page start, and page start + size within the count.
        EXPECT_NAMED({"selection", VornFEP::GetCandidateSelection(), 1}, {"page start", VornFEP::GetCandidatePageStart(), 1},
                     {"page end", VornFEP::GetCandidatePageEnd(), 3});
        auto candidate = [&](uint32_t i) { return VornFEP::GetCandidateString(i, text), std::string(text); };
        EXPECT_EQ(candidate(0) + candidate(2) + candidate(3), "一三");
        // An offset past the copy, one into its head, a string without terminator, a count past the offsets.
        g_ime.candidates = Words({0, 0, 4, 0, 0, 2, 999, 4, 36}) + "ab";
        const uint32_t count = VornFEP::RefreshCandidateList();
        EXPECT_NAMED({"count", count, 4}, {"page end", VornFEP::GetCandidatePageEnd(), 2});
        EXPECT_EQ(candidate(0) + candidate(1) + candidate(2) + candidate(3), "");
        // Notifications reach the IME with the window's context, and its answer comes back.
        for (BOOL answer : {TRUE, FALSE}) {
            g_ime.notifyAnswer = answer;
            EXPECT_EQ(VornFEP::Notify(NI_COMPOSITIONSTR, CPS_CANCEL, 7), answer == TRUE) << "the IME answering " << answer;
            EXPECT_EQ((std::vector<uintptr_t>{1, NI_COMPOSITIONSTR, CPS_CANCEL, 7}), g_ime.notified) << "context, action, index, value";
        }
    });
}
