// VornSystem: text, Shift-JIS and number helpers, dates, byte order and WinSock error texts. Plain
// functions beneath every class (no other engine class is called); files, the shell and the QRB
// data files are in VornSystemFiles.cpp.
#include "VornSystem.h"
#include <cstdio>
#include <cstring>

namespace {

// Full-width Shift-JIS code of each single byte.
const uint16_t kFullWidth[256] = {
    0x8140, 0x8140, 0x8140, 0x8140, 0x8140, 0x8140, 0x8140, 0x8140,
    0x8140, 0x8140, 0x8140, 0x8140, 0x8140, 0x8140, 0x8140, 0x8140,
    0x8140, 0x8140, 0x8140, 0x8140, 0x8140, 0x8140, 0x8140, 0x8140,
    0x8140, 0x8140, 0x8140, 0x8140, 0x8140, 0x8140, 0x8140, 0x8140,
    0x8140, 0x8149, 0x8168, 0x8194, 0x8190, 0x8193, 0x8195, 0x8166,
    0x8169, 0x816A, 0x8196, 0x817B, 0x8143, 0x817C, 0x8144, 0x815E,
    0x824F, 0x8250, 0x8251, 0x8252, 0x8253, 0x8254, 0x8255, 0x8256,
    0x8257, 0x8258, 0x8146, 0x8147, 0x8183, 0x8181, 0x8184, 0x8148,
    0x8197, 0x8260, 0x8261, 0x8262, 0x8263, 0x8264, 0x8265, 0x8266,
    0x8267, 0x8268, 0x8269, 0x826A, 0x826B, 0x826C, 0x826D, 0x826E,
    0x826F, 0x8270, 0x8271, 0x8272, 0x8273, 0x8274, 0x8275, 0x8276,
    0x8277, 0x8278, 0x8279, 0x816D, 0x818F, 0x816E, 0x814F, 0x8151,
    0x8165, 0x8281, 0x8282, 0x8283, 0x8284, 0x8285, 0x8286, 0x8287,
    0x8288, 0x8289, 0x828A, 0x828B, 0x828C, 0x828D, 0x828E, 0x828F,
    0x8290, 0x8291, 0x8292, 0x8293, 0x8294, 0x8295, 0x8296, 0x8297,
    0x8298, 0x8299, 0x829A, 0x816F, 0x8162, 0x8170, 0x8160, 0x8145,
    0x8145, 0x8140, 0x8140, 0x8140, 0x8140, 0x8140, 0x8140, 0x8140,
    0x8140, 0x8140, 0x8140, 0x8140, 0x8140, 0x8140, 0x8140, 0x8140,
    0x8140, 0x8140, 0x8140, 0x8140, 0x8140, 0x8140, 0x8140, 0x8140,
    0x8140, 0x8140, 0x8140, 0x8140, 0x8140, 0x8140, 0x8140, 0x8140,
    0x8140, 0x8142, 0x8175, 0x8176, 0x8141, 0x8145, 0x8392, 0x8340,
    0x8342, 0x8344, 0x8346, 0x8348, 0x8383, 0x8385, 0x8387, 0x8362,
    0x815B, 0x8341, 0x8343, 0x8345, 0x8347, 0x8349, 0x834A, 0x834C,
    0x834E, 0x8350, 0x8352, 0x8354, 0x8356, 0x8358, 0x835A, 0x835C,
    0x835E, 0x8360, 0x8363, 0x8365, 0x8367, 0x8369, 0x836A, 0x836B,
    0x836C, 0x836D, 0x836E, 0x8371, 0x8374, 0x8377, 0x837A, 0x837D,
    0x837E, 0x8380, 0x8381, 0x8382, 0x8384, 0x8386, 0x8388, 0x8389,
    0x838A, 0x838B, 0x838C, 0x838D, 0x838F, 0x8393, 0x814A, 0x814B,
    0x8140, 0x8140, 0x8140, 0x8140, 0x8140, 0x8140, 0x8140, 0x8140,
    0x8140, 0x8140, 0x8140, 0x8140, 0x8140, 0x8140, 0x8140, 0x8140,
    0x8140, 0x8140, 0x8140, 0x8140, 0x8140, 0x8140, 0x8140, 0x8140,
    0x8140, 0x8140, 0x8140, 0x8140, 0x8140, 0x8140, 0x8140, 0x8140,
};

const uint8_t kDaysInMonth[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
int HexValue(char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }

// Half-width kana that take the voiced sound sign: ウ, カ-ト, ハ-ホ; the semi-voiced sign: ハ-ホ.
bool TakesVoicedMark(uint8_t c) { return c == 0xB3 || (c >= 0xB6 && c <= 0xC4) || (c >= 0xCA && c <= 0xCE); }
bool TakesSemiVoicedMark(uint8_t c) { return c >= 0xCA && c <= 0xCE; }

} // namespace

void VornSystem::CriticalSection::Enter()
{
    ::InitOnceExecuteOnce(
        &once_,
        [](PINIT_ONCE, PVOID section, PVOID*) -> BOOL {
            ::InitializeCriticalSection(static_cast<CRITICAL_SECTION*>(section));
            return TRUE;
        },
        &section_, nullptr);
    ::EnterCriticalSection(&section_);
}

bool VornSystem::CopyText(char* out, size_t size, const char* in)
{
    if (!out || size == 0) return false;
    if (!in) in = "";
    size_t i = 0;
    while (in[i]) {
        const size_t step = CharLength(in + i);
        if (i + step >= size) {
            out[i] = '\0';
            return false;
        }
        for (size_t k = 0; k < step; ++k) out[i + k] = in[i + k];
        i += step;
    }
    out[i] = '\0';
    return true;
}

bool VornSystem::AppendText(char* out, size_t size, const char* in)
{
    if (!out || size == 0) return false;
    size_t used = strnlen(out, size);
    if (used >= size) {
        out[size - 1] = '\0';
        return false;
    }
    return CopyText(out + used, size - used, in);
}

bool VornSystem::FormatTextV(char* out, size_t size, const char* format, va_list args)
{
    if (!out || size == 0) return false;
    int n = std::vsnprintf(out, size, format ? format : "", args);
    out[size - 1] = '\0';
    if (n < 0) {
        out[0] = '\0';
        return false;
    }
    if (size_t(n) < size) return true;
    // Cut: never leave the first half of a Shift-JIS pair at the end.
    size_t i = 0;
    while (out[i]) {
        if (IsSjisLeadByte(uint8_t(out[i])) && !out[i + 1]) {
            out[i] = '\0';
            break;
        }
        i += IsSjisLeadByte(uint8_t(out[i])) ? 2 : 1;
    }
    return false;
}

bool VornSystem::FormatText(char* out, size_t size, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    bool ok = FormatTextV(out, size, format, args);
    va_end(args);
    return ok;
}

bool VornSystem::IsHalfWidthKana(uint8_t c) { return c >= 0xA6 && c <= 0xDF; }

uint16_t VornSystem::GetSjisCode(const uint8_t* p)
{
    return IsSjisLeadByte(p[0]) ? uint16_t((p[0] << 8) | p[1]) : p[0];
}

uint32_t VornSystem::ReadSjisChar(const uint8_t* p, uint16_t* code)
{
    const bool pair = IsSjisLeadByte(p[0]) && p[1] != 0;
    if (code) *code = pair ? uint16_t((p[0] << 8) | p[1]) : p[0];
    return pair ? 2 : 1;
}

void VornSystem::PutSjisChar(uint16_t code, uint8_t* out)
{
    const uint8_t high = uint8_t(code >> 8), low = uint8_t(code);
    if (IsSjisLeadByte(high)) {
        out[0] = high;
        out[1] = low;
        out[2] = 0;
    } else {
        out[0] = low;
        out[1] = 0;
    }
}

uint16_t VornSystem::GetFullWidthCode(uint8_t c) { return kFullWidth[c]; }

uint32_t VornSystem::ToFullWidthChar(const uint8_t* p, uint8_t* out)
{
    uint16_t code = kFullWidth[p[0]];
    uint32_t used = 1;
    if (p[0] != 0) {
        if (p[1] == 0xDE && TakesVoicedMark(p[0])) {
            code = code == 0x8345 ? 0x8394 : uint16_t(code + 1);
            used = 2;
        } else if (p[1] == 0xDF && TakesSemiVoicedMark(p[0])) {
            code = uint16_t(code + 2);
            used = 2;
        }
    }
    PutSjisChar(code, out);
    return used;
}

void VornSystem::ToFullWidth(const uint8_t* src, uint8_t* out, size_t outSize)
{
    if (!out || outSize == 0) return;
    size_t o = 0;
    out[0] = 0;
    while (*src) {
        uint8_t piece[3];
        uint32_t length;
        if (IsSjisLeadByte(src[0]) && src[1]) {
            piece[0] = src[0];
            piece[1] = src[1];
            length = 2;
            src += 2;
        } else {
            src += ToFullWidthChar(src, piece);
            length = IsSjisLeadByte(piece[0]) ? 2 : 1;
        }
        if (o + length >= outSize) break;
        std::memcpy(out + o, piece, length);
        o += length;
        out[o] = 0;
    }
}

void VornSystem::ToFullWidth(const uint8_t* src, uint8_t* out)
{
    ToFullWidth(src, out, std::strlen(reinterpret_cast<const char*>(src)) * 2 + 1);
}

uint16_t VornSystem::EucToJis(uint16_t code) { return uint16_t(code - 0x8080); }
uint16_t VornSystem::JisToEuc(uint16_t code) { return uint16_t(code + 0x8080); }

// The JIS X 0208 rules: two JIS rows share one Shift-JIS lead byte.
uint16_t VornSystem::JisToSjis(uint16_t code)
{
    const uint32_t j1 = code >> 8, j2 = code & 0xFF;
    uint32_t s1 = ((j1 + 1) >> 1) + (j1 <= 0x5E ? 0x70 : 0xB0);
    uint32_t s2;
    if (j1 & 1) {
        s2 = j2 + 0x1F;
        if (s2 >= 0x7F) ++s2;   // 0x7F is not a trail byte
    } else {
        s2 = j2 + 0x7E;
    }
    return uint16_t(((s1 & 0xFF) << 8) | (s2 & 0xFF));
}

uint16_t VornSystem::SjisToJis(uint16_t code)
{
    uint32_t s1 = code >> 8, s2 = code & 0xFF;
    if (s1 >= 0xE0) s1 -= 0x40;   // leads 0xE0-0xEF continue the rows after 0x9F
    uint32_t j1, j2;
    if (s2 >= 0x9F) {
        j1 = 2 * s1 - 0xE0;
        j2 = s2 - 0x7E;
    } else {
        j1 = 2 * s1 - 0xE1;
        j2 = s2 - 0x1F;
        if (s2 >= 0x80) --j2;
    }
    return uint16_t(((j1 & 0xFF) << 8) | (j2 & 0xFF));
}

uint16_t VornSystem::EucToSjis(uint16_t code) { return JisToSjis(EucToJis(code)); }
uint16_t VornSystem::SjisToEuc(uint16_t code) { return JisToEuc(SjisToJis(code)); }

namespace {
uint16_t Pair(const uint8_t* in) { return uint16_t((in[0] << 8) | in[1]); }
void Store(uint8_t* out, uint16_t code)
{
    out[0] = uint8_t(code >> 8);
    out[1] = uint8_t(code);
}
} // namespace

void VornSystem::EucToJis(uint8_t* out, const uint8_t* in) { Store(out, EucToJis(Pair(in))); }
void VornSystem::JisToEuc(uint8_t* out, const uint8_t* in) { Store(out, JisToEuc(Pair(in))); }
void VornSystem::JisToSjis(uint8_t* out, const uint8_t* in) { Store(out, JisToSjis(Pair(in))); }
void VornSystem::SjisToJis(uint8_t* out, const uint8_t* in) { Store(out, SjisToJis(Pair(in))); }
void VornSystem::EucToSjis(uint8_t* out, const uint8_t* in) { Store(out, EucToSjis(Pair(in))); }
void VornSystem::SjisToEuc(uint8_t* out, const uint8_t* in) { Store(out, SjisToEuc(Pair(in))); }

uint32_t VornSystem::ParseNumber(const char* s, int32_t* out)
{
    uint32_t i = 0;
    uint32_t value = 0;
    while (s[i] && s[i] != '-' && !IsHexDigit(s[i])) ++i;
    if (s[i] && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        i += 2;
        while (IsHexDigit(s[i])) value = value * 16 + uint32_t(HexValue(s[i++]));
    } else if (s[i]) {
        const bool negative = s[i] == '-';
        if (negative) ++i;
        while (s[i] >= '0' && s[i] <= '9') value = value * 10 + uint32_t(s[i++] - '0');
        if (negative) value = 0u - value;
    }
    if (out) *out = int32_t(value);
    return i;
}

namespace {
// Copies src[from..) up to the stop character (Shift-JIS pairs whole) into out; returns the index
// of the stop character or of the end.
uint32_t CopyUntil(const char* src, uint32_t i, char stop, char* out, size_t outSize)
{
    size_t o = 0;
    while (src[i] && src[i] != stop) {
        const uint32_t step = VornSystem::CharLength(src + i);
        if (out && o + step < outSize) {
            std::memcpy(out + o, src + i, step);
            o += step;
        }
        i += step;
    }
    if (out && outSize) out[o < outSize ? o : outSize - 1] = '\0';
    return i;
}

uint32_t SkipTo(const char* src, char ch)
{
    uint32_t i = 0;
    while (src[i] && src[i] != ch) i += VornSystem::CharLength(src + i);
    return i;
}
} // namespace

uint32_t VornSystem::ParseBetween(char open, char close, const char* src, char* out, size_t outSize)
{
    uint32_t i = SkipTo(src, open);
    if (!src[i]) {
        if (out && outSize) out[0] = '\0';
        return i;
    }
    i = CopyUntil(src, i + 1, close, out, outSize);
    return src[i] ? i + 1 : i;
}

uint32_t VornSystem::ParseDelimited(char delimiter, const char* src, char* out, size_t outSize)
{
    return ParseBetween(delimiter, delimiter, src, out, outSize);
}

void VornSystem::NormalizePath(char* out, const char* in, size_t outSize)
{
    if (!out || outSize == 0) return;
    size_t o = 0;
    for (size_t i = 0; in && in[i];) {
        const uint8_t c = uint8_t(in[i]);
        if (IsSjisLeadByte(c) && in[i + 1]) {
            if (o + 2 >= outSize) break;
            out[o++] = in[i++];
            out[o++] = in[i++];
            continue;
        }
        if (o + 1 >= outSize) break;
        out[o++] = (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c == '/' ? '\\' : char(c);
        ++i;
    }
    out[o] = '\0';
}

void VornSystem::CutAtLastChar(char* out, const char* in, char ch, size_t outSize)
{
    if (!out || outSize == 0) return;
    CopyText(out, outSize, in);
    char* last = nullptr;
    for (size_t i = 0; out[i];) {
        if (out[i] == ch) last = out + i;
        i += CharLength(out + i);
    }
    if (last) *last = '\0';
}

// ---- dates, keys, byte order ----

void VornSystem::GetDateTime(uint32_t* year, uint32_t* month, uint32_t* dayOfWeek, uint32_t* day,
                             uint32_t* hour, uint32_t* minute, uint32_t* second, uint32_t* milliseconds)
{
    SYSTEMTIME t;
    ::GetLocalTime(&t);
    if (year) *year = t.wYear;
    if (month) *month = t.wMonth;
    if (dayOfWeek) *dayOfWeek = t.wDayOfWeek;
    if (day) *day = t.wDay;
    if (hour) *hour = t.wHour;
    if (minute) *minute = t.wMinute;
    if (second) *second = t.wSecond;
    if (milliseconds) *milliseconds = t.wMilliseconds;
}

static bool IsLeapYear(uint32_t year) { return year % 400 == 0 || (year % 4 == 0 && year % 100 != 0); }

uint32_t VornSystem::GetDaysInMonth(uint32_t year, uint32_t month)
{
    if (month < 1 || month > 12) return 0;
    if (month == 2 && IsLeapYear(year)) return 29;
    return kDaysInMonth[month];
}

uint32_t VornSystem::GetMonthStartWeekday(uint32_t year, uint32_t month)
{
    if (month < 1 || month > 12 || year == 0) return 0xFFFFFFFF;
    uint64_t days = 0;
    for (uint32_t m = 1; m < month; ++m) days += GetDaysInMonth(year, m);   // this year's 29 February too
    const uint64_t y = year - 1;
    days += 365ull * year + y / 4 - y / 100 + y / 400;
    return uint32_t(days % 7);
}

void VornSystem::UpdateKeyStateFrom(uint32_t* state, bool down)
{
    if (!state) return;
    const bool wasDown = *state >= 2;
    *state = down ? (wasDown ? 3 : 2) : (wasDown ? 1 : 0);
}

void VornSystem::UpdateKeyState(uint32_t* state, int32_t vk)
{
    UpdateKeyStateFrom(state, (::GetKeyState(vk) & 0x80) != 0);
}

void VornSystem::ByteSwap(void* p, uint32_t n)
{
    if (!p || (n != 2 && n != 4 && n != 8)) return;
    uint8_t* b = static_cast<uint8_t*>(p);
    for (uint32_t i = 0; i < n / 2; ++i) {
        const uint8_t t = b[i];
        b[i] = b[n - 1 - i];
        b[n - 1 - i] = t;
    }
}

// This engine runs on little-endian x86 only: network order is the swapped order.
void VornSystem::HostToNetwork(void* p, uint32_t n)
{
    if (n == 2 || n == 4) ByteSwap(p, n);
}

void VornSystem::NetworkToHost(void* p, uint32_t n)
{
    if (n == 2 || n == 4) ByteSwap(p, n);
}

// ---- WinSock error texts ----

namespace {
struct ErrorText
{
    int32_t code;
    const char* text;
};
const ErrorText kWinSockErrors[] = {
    {10000, "エラーは発生していない"},
    {10004, "関数呼び出しが中断された"},
    {10009, "無効なファイルハンドル"},
    {10013, "アクセスが拒否された"},
    {10014, "無効なバッファアドレス"},
    {10022, "無効な引数が渡された"},
    {10024, "使用中のソケットの数が多すぎる"},
    {10035, "操作はブロッキングされる"},
    {10036, "すでにブロッキング手続きが実行されている"},
    {10037, "要求された操作は既に実行中、または実行済み"},
    {10038, "指定されたソケットが無効である"},
    {10039, "操作の実行に送信先アドレスが必要"},
    {10040, "メッセージサイズが大きすぎる"},
    {10041, "ソケットは要求されたプロトコルに適合していない"},
    {10042, "不正なプロトコルオプション"},
    {10043, "プロトコルがサポートされていない"},
    {10044, "指定されたソケットタイプはサポートされていない"},
    {10045, "要求された操作はサポートされていない"},
    {10046, "プロトコルファミリがサポートされていない"},
    {10047, "アドレスファミリがサポートされていない"},
    {10048, "アドレスは既に使用中である"},
    {10049, "無効なネットワークアドレス"},
    {10050, "ネットワークがダウンしている"},
    {10051, "指定されたネットワークホストに到達できない"},
    {10052, "ネットワーク接続が破棄された"},
    {10053, "ネットワーク接続が破棄された"},
    {10054, "ネットワーク接続が相手によって破棄された"},
    {10055, "バッファが不足している"},
    {10056, "ソケットは既に接続されている"},
    {10057, "ソケットは接続されていない"},
    {10058, "ソケットはシャットダウンされている"},
    {10059, "参照の数が多すぎる"},
    {10060, "接続要求がタイムアウトした"},
    {10061, "接続が拒否された"},
    {10062, "ループ"},
    {10063, "名前が長すぎる"},
    {10064, "ホストがダウンしている"},
    {10065, "ホストへの経路がない"},
    {10066, "ディレクトリが空ではない"},
    {10067, "プロセスの数が多すぎる"},
    {10068, "ユーザの数が多すぎる"},
    {10069, "ディスククォータ"},
    {10070, "実行しようとした操作は廃止されている"},
    {10071, "リモート"},
    {10091, "ネットワークサブシステムが利用できない"},
    {10092, "Winsock.dllのバージョンが範囲外である"},
    {10093, "WinSockシステムが初期化されていない"},
    {10101, "シャットダウン処理中"},
    {10102, "データはこれ以上存在しない"},
    {10103, "操作は取り消された"},
    {10104, "サービスプロバイダの関数テーブルが無効"},
    {10105, "サービスプロバイダが無効"},
    {10106, "サービスプロバイダの初期化に失敗した"},
    {10107, "システムコールに失敗した"},
    {10108, "サービスが見つからない"},
    {10109, "タイプが見つからない"},
    {10111, "検索がキャンセルされた"},
    {10112, "操作は拒否された"},
    {11001, "ホストが見つからない"},
    {11002, "指定されたホストが見つからない、またはサービスの異常"},
    {11003, "回復不能なエラーが発生した"},
    {11004, "要求されたタイプのデータレコードが見つからない"},
};
} // namespace

const char* VornSystem::FindWinSockErrorText(int32_t code)
{
    for (const ErrorText& e : kWinSockErrors)
        if (e.code == code) return e.text;
    return nullptr;
}

bool VornSystem::GetWinSockErrorText(int32_t code, char* out, size_t outSize)
{
    const char* text = FindWinSockErrorText(code);
    if (!text || !out) return false;
    return CopyText(out, outSize, text);
}
