#include "VornFEP.h"
#include "Vorn.h"
#include "VornLog.h"
#include "VornMemory.h"
#include "VornSystem.h"
#include <cstddef>
#include <cstring>

namespace {

const VornImeCalls kImm32 = {ImmGetDefaultIMEWnd,    ImmGetContext,            ImmReleaseContext,    ImmGetOpenStatus,
                             ImmGetConversionStatus, ImmGetCompositionStringA, ImmGetCandidateListA, ImmNotifyIME};

// What to do with the byte after a stored lead byte.
enum class Trail : uint8_t { None, Keep, Drop };

struct State
{
    const VornImeCalls* ime = &kImm32;
    HWND window = nullptr;
    HIMC context = nullptr;
    CANDIDATELIST* candidates = nullptr;   // the copy, null when none
    uint32_t candidateSize = 0;            // its size in bytes
    char text[VornFEP::TEXT_MAX + 1] = {};
    uint32_t length = 0;
    uint8_t last = 0;
    Trail trail = Trail::None;
    char snapshot[5][VornFEP::STRING_SIZE] = {};
};
State g;

const uint32_t kListHeader = offsetof(CANDIDATELIST, dwOffset);

void FreeCandidates()
{
    if (g.candidates) VornMemory::Free(g.candidates);
    g.candidates = nullptr;
    g.candidateSize = 0;
}

// The composition's length in bytes, within what GetCompositionString reads.
uint32_t CompositionLength()
{
    const LONG n = g.ime->getCompositionStringA(g.context, GCS_COMPSTR, nullptr, 0);
    if (n <= 0) return 0;
    return n < LONG(VornFEP::STRING_SIZE - 1) ? uint32_t(n) : VornFEP::STRING_SIZE - 1;
}

// The length of the text's longest start of at most limit bytes that ends on a character boundary.
uint32_t WholeCharacters(const char* text, uint32_t length, uint32_t limit)
{
    uint32_t at = 0;
    while (at < length) {
        const uint32_t next = at + (VornSystem::IsSjisLeadByte(uint8_t(text[at])) ? 2 : 1);
        if (next > limit || next > length) break;
        at = next;
    }
    return at;
}

void ClearText()
{
    memset(g.text, 0, sizeof g.text);
    g.length = 0;
    g.last = 0;
    g.trail = Trail::None;
}

}  // namespace

void VornFEP::SetImeCalls(const VornImeCalls* calls) { g.ime = calls ? calls : &kImm32; }

bool VornFEP::Initialize()
{
    VornLog::Title("VornFEPクラスの初期化");
    g.window = Vorn::GetWindowHandle();
    ClearText();
    memset(g.snapshot, 0, sizeof g.snapshot);
    if (const HWND imeWindow = g.ime->getDefaultIMEWnd(g.window)) SendMessageA(imeWindow, WM_CLOSE, 0, 0);
    g.context = g.ime->getContext(g.window);
    g.candidates = nullptr;
    g.candidateSize = 0;
    return true;
}

void VornFEP::Finalize()
{
    VornLog::Title("VornFEPクラスの解放");
    FreeCandidates();
    if (g.context) g.ime->releaseContext(g.window, g.context);
    g.context = nullptr;
    g.window = nullptr;
}

HIMC VornFEP::GetContext() { return g.context; }

bool VornFEP::IsOpen() { return g.context && g.ime->getOpenStatus(g.context) != 0; }

bool VornFEP::GetModeText(char* out)
{
    out[0] = '\0';
    if (!g.context) return false;
    DWORD conversion = 0, sentence = 0;
    const bool ok = g.ime->getConversionStatus(g.context, &conversion, &sentence) != 0;
    if (!IsOpen() || (conversion & IME_CMODE_NOCONVERSION)) {
        strcpy(out, "英数");
        return ok;
    }
    if (conversion & IME_CMODE_ROMAN) strcat(out, "Ｒ");
    if (sentence & IME_SMODE_PHRASEPREDICT) strcat(out, "連");
    if (sentence & IME_SMODE_PLAURALCLAUSE) strcat(out, "複");
    if (sentence & IME_SMODE_SINGLECONVERT) strcat(out, "単");
    if (sentence & IME_SMODE_AUTOMATIC) strcat(out, "自");
    strcat(out, (conversion & IME_CMODE_FULLSHAPE) ? "全" : "半");
    strcat(out, (conversion & IME_CMODE_KATAKANA) ? "カ" : (conversion & IME_CMODE_NATIVE) ? "ひ" : "英");
    return ok;
}

uint32_t VornFEP::GetFirstClauseLength()
{
    if (!g.context) return 0;
    // One offset per clause boundary: at most one per composition byte, and the end.
    uint32_t clauses[STRING_SIZE + 1];
    const LONG size = g.ime->getCompositionStringA(g.context, GCS_COMPCLAUSE, nullptr, 0);
    if (size < LONG(2 * sizeof(uint32_t)) || size > LONG(sizeof clauses)) return 0;
    if (g.ime->getCompositionStringA(g.context, GCS_COMPCLAUSE, clauses, DWORD(size)) < LONG(2 * sizeof(uint32_t)))
        return 0;
    const uint32_t length = CompositionLength();
    return clauses[1] < length ? clauses[1] : length;
}

int32_t VornFEP::GetCursorPosition()
{
    if (!g.context) return 0;
    const LONG position = g.ime->getCompositionStringA(g.context, GCS_CURSORPOS, nullptr, 0);
    return position > 0 ? int32_t(position) : 0;
}

uint32_t VornFEP::RefreshCandidateList()
{
    FreeCandidates();
    const DWORD size = g.ime->getCandidateListA(g.context, 0, nullptr, 0);
    if (size < kListHeader) return 0;
    g.candidates = static_cast<CANDIDATELIST*>(VornMemory::AllocZero(size, VornMemory::DEFAULT_TAG, __FILE__, __LINE__));
    if (!g.candidates) return 0;
    g.candidateSize = size;
    g.ime->getCandidateListA(g.context, 0, g.candidates, size);
    return g.candidates->dwCount;
}

uint32_t VornFEP::GetCandidateSelection() { return g.candidates ? g.candidates->dwSelection : 0; }

void VornFEP::GetCandidateString(uint32_t index, char* out)
{
    out[0] = '\0';
    if (!g.candidates || index >= g.candidates->dwCount) return;
    if (uint64_t(kListHeader) + (uint64_t(index) + 1) * sizeof(DWORD) > g.candidateSize) return;
    const uint32_t offset = g.candidates->dwOffset[index];
    if (offset < kListHeader || offset >= g.candidateSize) return;
    const char* text = reinterpret_cast<const char*>(g.candidates) + offset;
    const size_t length = strnlen(text, g.candidateSize - offset);
    if (length == g.candidateSize - offset) return;   // no terminator inside the copy
    const size_t n = WholeCharacters(text, uint32_t(length), STRING_SIZE - 1);
    memcpy(out, text, n);
    out[n] = '\0';
}

uint32_t VornFEP::GetCandidatePageStart() { return g.candidates ? g.candidates->dwPageStart : 0; }

uint32_t VornFEP::GetCandidatePageEnd()
{
    if (!g.candidates) return 0;
    const uint64_t end = uint64_t(g.candidates->dwPageStart) + g.candidates->dwPageSize;
    return end < g.candidates->dwCount ? uint32_t(end) : g.candidates->dwCount;
}

void VornFEP::GetCompositionString(char* out)
{
    char buffer[STRING_SIZE] = {};
    if (g.context) {
        // The last byte stays the terminator; an error result reads as nothing.
        const LONG n = g.ime->getCompositionStringA(g.context, GCS_COMPSTR, buffer, STRING_SIZE - 1);
        if (n <= 0) buffer[0] = '\0';
        else if (n < LONG(STRING_SIZE)) buffer[n] = '\0';
    }
    memcpy(out, buffer, strlen(buffer) + 1);
}

void VornFEP::GetTypedText(char* out)
{
    if (!g.context) {
        out[0] = '\0';
        return;
    }
    memcpy(out, g.text, g.length + 1);
}

void VornFEP::ClearTypedText()
{
    if (g.context) ClearText();
}

bool VornFEP::Notify(DWORD action, DWORD index, DWORD value)
{
    return g.ime->notifyIME(g.context, action, index, value) != 0;
}

void VornFEP::BackSpace()
{
    if (!g.context) return;
    g.trail = Trail::None;
    if (g.length == 0) return;
    uint32_t at = 0, start = 0;
    while (at < g.length) {
        start = at;
        at += VornSystem::IsSjisLeadByte(uint8_t(g.text[at])) ? 2 : 1;
    }
    // A lead byte whose trail has not come yet is removed alone.
    const uint32_t remove = at > g.length ? 1 : at - start;
    g.length -= remove;
    memset(g.text + g.length, 0, remove);
}

void VornFEP::OnChar(WPARAM code)
{
    if (!g.context) return;
    const uint8_t c = uint8_t(code);
    g.last = c;
    if (c == 8) {
        BackSpace();
        return;
    }
    if (c == 27) return;
    const Trail trail = c < 0x40 ? Trail::None : g.trail;   // no trail byte is below 0x40
    g.trail = Trail::None;
    if (trail == Trail::Drop) return;   // the trail of a lead byte that found no room
    if (trail == Trail::None && VornSystem::IsSjisLeadByte(c)) {
        // A character is stored whole or not at all.
        if (g.length + 2 > TEXT_MAX) {
            g.trail = g.length < TEXT_MAX ? Trail::Drop : Trail::None;
            return;
        }
        g.trail = Trail::Keep;
    }
    if (g.length >= TEXT_MAX) return;
    g.text[g.length++] = char(c == 13 ? 10 : c);
}

void VornFEP::Update()
{
    if (!g.context) return;
    memset(g.snapshot, 0, sizeof g.snapshot);
    const uint32_t n = GetFirstClauseLength();
    GetModeText(g.snapshot[0]);
    const uint32_t typed = WholeCharacters(g.text, g.length, STRING_SIZE - 1);
    memcpy(g.snapshot[1], g.text, typed);
    GetCompositionString(g.snapshot[2]);
    strcpy(g.snapshot[3], g.snapshot[2] + n);
    g.snapshot[2][n] = '\0';
}

bool VornFEP::GetState(char* mode, char* typed, char* clause, char* rest, char* fifth)
{
    char* const out[5] = {mode, typed, clause, rest, fifth};
    for (int i = 0; i < 5; ++i)
        if (out[i]) memcpy(out[i], g.snapshot[i], strlen(g.snapshot[i]) + 1);
    return g.context && g.last == 13;
}
