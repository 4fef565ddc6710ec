// VornSystem: Shift-JIS text, code conversions, parsers, paths and files, shell and dialogs,
// wallpaper, QRB scrambled files, dates, key states, byte order and WinSock error texts.
#pragma once
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <windows.h>
#include "VornBytes.h"
#include <commdlg.h>   // ChooseColor is a macro there: every includer must see the same name

class VornSystem
{
public:
    // ---- bounded text helpers (every fixed buffer in the engine goes through these) ----
    // Copies at most size - 1 bytes and always terminates (size > 0). Never splits a Shift-JIS
    // pair. Returns false when the text was cut.
    static bool CopyText(char* out, size_t size, const char* in);
    static bool AppendText(char* out, size_t size, const char* in);
    // vsnprintf that always terminates; false when the result was cut.
    static bool FormatText(char* out, size_t size, const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 3, 4)))
#endif
        ;
    static bool FormatTextV(char* out, size_t size, const char* format, va_list args);
    template <size_t N> static bool CopyText(char (&out)[N], const char* in) { return CopyText(out, N, in); }

    // A critical section that makes itself on first use and is never deleted: a static one is
    // ready before its class starts and stays valid for calls racing its class's end. Recursive
    // for the owning thread.
    class CriticalSection
    {
    public:
        constexpr CriticalSection() : once_{}, section_{} {}
        void Enter();
        void Leave() { ::LeaveCriticalSection(&section_); }

    private:
        INIT_ONCE once_;
        CRITICAL_SECTION section_;
    };
    class ScopedLock
    {
    public:
        explicit ScopedLock(CriticalSection& section) : section_(section) { section_.Enter(); }
        ~ScopedLock() { section_.Leave(); }
        ScopedLock(const ScopedLock&) = delete;
        ScopedLock& operator=(const ScopedLock&) = delete;

    private:
        CriticalSection& section_;
    };

    // ---- Shift-JIS ----
    static bool IsSjisLeadByte(uint8_t c) { return VornBytes::IsSjisLeadByte(c); }
    static bool IsHalfWidthKana(uint8_t c);
    // Bytes of the character at p: 2 for a lead byte with a byte after it, else 1.
    static uint32_t CharLength(const char* p) { return IsSjisLeadByte(uint8_t(p[0])) && p[1] ? 2 : 1; }
    static uint16_t GetSjisCode(const uint8_t* p);
    static uint32_t ReadSjisChar(const uint8_t* p, uint16_t* code);
    static void PutSjisChar(uint16_t code, uint8_t* out);
    static uint16_t GetFullWidthCode(uint8_t c);
    static uint32_t ToFullWidthChar(const uint8_t* p, uint8_t* out);
    // out must hold 2 bytes per input byte plus the terminator (2 * strlen(src) + 1).
    static void ToFullWidth(const uint8_t* src, uint8_t* out);
    static void ToFullWidth(const uint8_t* src, uint8_t* out, size_t outSize);

    // Two-byte codes (first byte in the high half).
    static uint16_t EucToJis(uint16_t code);
    static uint16_t JisToEuc(uint16_t code);
    static uint16_t JisToSjis(uint16_t code);
    static uint16_t SjisToJis(uint16_t code);
    static uint16_t EucToSjis(uint16_t code);
    static uint16_t SjisToEuc(uint16_t code);
    // In-place byte forms: out[0..1] from in[0..1].
    static void EucToJis(uint8_t* out, const uint8_t* in);
    static void JisToEuc(uint8_t* out, const uint8_t* in);
    static void JisToSjis(uint8_t* out, const uint8_t* in);
    static void SjisToJis(uint8_t* out, const uint8_t* in);
    static void EucToSjis(uint8_t* out, const uint8_t* in);
    static void SjisToEuc(uint8_t* out, const uint8_t* in);

    // ---- parsers ----
    static uint32_t ParseNumber(const char* s, int32_t* out);
    static uint32_t ParseDelimited(char delimiter, const char* src, char* out, size_t outSize = 256);
    static uint32_t ParseBetween(char open, char close, const char* src, char* out, size_t outSize = 256);

    // ---- paths ----
    // Pack key: Shift-JIS pairs unchanged, 'a'-'z' upper-cased, '/' to '\\'.
    static void NormalizePath(char* out, const char* in, size_t outSize = 256);
    static void CutAtLastChar(char* out, const char* in, char ch, size_t outSize = 256);
    static bool GetLongPath(const char* in, char* out, size_t outSize = 256);
    static bool CreateDirectoryTree(const char* path);
    static bool FileExists(const char* path);
    static uint32_t GetFileSize(const char* path);
    static bool CopyFile(const char* from, const char* to);
    static bool DeleteFile(const char* path);
    static bool GetWindowsDirectory(char* out, size_t outSize = 256);
    static bool GetDesktopPath(char* out, size_t outSize = 256);
    static bool FindCdromDrive(const char* label, char* outRoot);
    static bool RunProgram(const char* folder, const char* exe);
    static bool ShellOpen(const char* file);
    static bool CreateShortcut(const char* linkFile, const char* description, const char* target);
    static bool BrowseFolder(char* out, size_t outSize = 256);
    static bool OpenFileDialog(char* out, const char* title, const char* filter, const char* defaultExt);
    static bool SaveFileDialog(char* out, const char* title, const char* filter, const char* defaultExt);
    static bool ChooseColor(uint8_t* r, uint8_t* g, uint8_t* b);
    static bool SetWallpaper(const char* path, uint32_t style, bool noRefresh);
    static void ShowImeStatusWindow(bool show);
    static void GetMemoryStatus(uint64_t* total, uint64_t* available);

    // ---- QRB scrambled files ----
    static void ScrambleBytes(const uint8_t* in, uint8_t* out, uint32_t size);
    static void UnscrambleBytes(const uint8_t* in, uint8_t* out, uint32_t size);
    static bool SaveScrambledFile(const char* path, const void* data, uint32_t size);
    static bool LoadScrambledFile(const char* path, void* buffer, uint32_t size);

    // ---- dates and keys ----
    static void GetDateTime(uint32_t* year, uint32_t* month, uint32_t* dayOfWeek, uint32_t* day,
                            uint32_t* hour, uint32_t* minute, uint32_t* second, uint32_t* milliseconds);
    // 0 for a month outside 1-12.
    static uint32_t GetDaysInMonth(uint32_t year, uint32_t month);
    // 0 (Sunday) .. 6; 0xFFFFFFFF for a month outside 1-12 or year 0.
    static uint32_t GetMonthStartWeekday(uint32_t year, uint32_t month);
    static void UpdateKeyState(uint32_t* state, int32_t vk);
    static void UpdateKeyStateFrom(uint32_t* state, bool down);

    // ---- byte order ----
    // Little-endian fields of the engine's file formats, at any alignment.
    static uint32_t ReadLE32(const uint8_t* p) { return VornBytes::ReadLE32(p); }
    static void WriteLE32(uint8_t* p, uint32_t v) { VornBytes::WriteLE32(p, v); }
    static void ByteSwap(void* p, uint32_t n);
    static void HostToNetwork(void* p, uint32_t n);
    static void NetworkToHost(void* p, uint32_t n);

    // ---- WinSock ----
    // Copies the Japanese text of a WinSock error code; an unknown code leaves out unchanged.
    static bool GetWinSockErrorText(int32_t code, char* out, size_t outSize = 256);
    static const char* FindWinSockErrorText(int32_t code);
};
