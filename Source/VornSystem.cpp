#include "VornSystem.h"
#include <cstdio>
#include <cstring>

bool VornSystem::CopyText(char* out, size_t size, const char* in)
{
    if (!out || size == 0) return false;
    if (!in) in = "";
    size_t i = 0;
    while (in[i]) {
        size_t step = (IsSjisLeadByte(uint8_t(in[i])) && in[i + 1]) ? 2 : 1;
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
    return size_t(n) < size;
}

bool VornSystem::FormatText(char* out, size_t size, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    bool ok = FormatTextV(out, size, format, args);
    va_end(args);
    return ok;
}

bool VornSystem::IsSjisLeadByte(uint8_t c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFE); }
bool VornSystem::IsHalfWidthKana(uint8_t c) { return c >= 0xA6 && c <= 0xDF; }
