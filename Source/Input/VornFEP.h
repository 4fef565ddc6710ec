// VornFEP: Japanese text input for applications that draw their own text. The main window's default
// IME window is closed and its input context kept; the characters the window receives collect in a
// typed-text buffer, and the IME's mode, composition, cursor and candidates are read for drawing,
// together or as one snapshot (Update, GetState). Main thread only.
#pragma once
#include <windows.h>
#include <imm.h>
#include <cstdint>

// The IMM calls the class makes. The default table calls imm32; tests put their own in place of it
// to act as an IME in the middle of a composition.
struct VornImeCalls
{
    HWND(WINAPI* getDefaultIMEWnd)(HWND);
    HIMC(WINAPI* getContext)(HWND);
    BOOL(WINAPI* releaseContext)(HWND, HIMC);
    BOOL(WINAPI* getOpenStatus)(HIMC);
    BOOL(WINAPI* getConversionStatus)(HIMC, LPDWORD, LPDWORD);
    LONG(WINAPI* getCompositionStringA)(HIMC, DWORD, LPVOID, DWORD);
    DWORD(WINAPI* getCandidateListA)(HIMC, DWORD, LPCANDIDATELIST, DWORD);
    BOOL(WINAPI* notifyIME)(HIMC, DWORD, DWORD, DWORD);
};

class VornFEP
{
public:
    static constexpr uint32_t TEXT_MAX = 2048;       // typed-text bytes (the buffer keeps a terminator more)
    static constexpr uint32_t STRING_SIZE = 1024;    // a snapshot string, a composition, a candidate

    // The IMM table for every later call; null restores imm32. Set it before Initialize.
    static void SetImeCalls(const VornImeCalls* calls);

    static bool Initialize();
    static void Finalize();

    static HIMC GetContext();
    static bool IsOpen();
    // "英数" when closed or not converting, else the mode's letters ("Ｒ連全ひ" and the like); out
    // holds 16 bytes. The result of the conversion-status query.
    static bool GetModeText(char* out);
    // The byte where the composition's first clause ends, within the composition.
    static uint32_t GetFirstClauseLength();
    static int32_t GetCursorPosition();

    // Takes a new copy of the IME's candidate list; its count.
    static uint32_t RefreshCandidateList();
    static uint32_t GetCandidateSelection();
    // The index-th candidate of the copy into out (STRING_SIZE bytes); "" when the index or the
    // copy's data are out of bounds.
    static void GetCandidateString(uint32_t index, char* out);
    static uint32_t GetCandidatePageStart();
    static uint32_t GetCandidatePageEnd();

    // The composition (at most STRING_SIZE - 1 bytes) into out (STRING_SIZE bytes).
    static void GetCompositionString(char* out);
    // The typed text into out (TEXT_MAX + 1 bytes); line ends are "\n".
    static void GetTypedText(char* out);
    static void ClearTypedText();
    static bool Notify(DWORD action, DWORD index, DWORD value);
    // Removes the last character of the typed text.
    static void BackSpace();
    // Every WM_CHAR of the main window (a double-byte character comes as lead, then trail).
    static void OnChar(WPARAM code);

    // Takes the snapshot: mode, typed text (its first STRING_SIZE - 1 bytes, whole characters),
    // the composition's first clause and its rest.
    static void Update();
    // The snapshot's strings (each out optional, STRING_SIZE bytes; the fifth stays empty); true when
    // the last character received was a carriage return.
    static bool GetState(char* mode, char* typed, char* clause, char* rest, char* fifth);
};
