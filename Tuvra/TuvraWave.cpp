#include "TuvraWave.h"

namespace {

uint32_t U32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
bool Id(const uint8_t* p, const char* id) { return p[0] == id[0] && p[1] == id[1] && p[2] == id[2] && p[3] == id[3]; }

bool Fail(const char** error, const char* text)
{
    if (error) *error = text;
    return false;
}

}  // namespace

bool TuvraParseWave(const uint8_t* data, uint32_t size, TuvraWaveInfo* info, const char** error)
{
    if (!data || size < 12 || !Id(data, "RIFF") || !Id(data + 8, "WAVE")) return Fail(error, "RIFF WAVE ではありません");
    bool haveFormat = false;
    // Chunks within the buffer; a RIFF size larger than the buffer is cut to it.
    uint32_t end = U32(data + 4);
    end = end > size - 8 ? size : end + 8;
    if (end < 12) end = 12;   // a RIFF size under 4 holds no chunk (and must not wrap the walk below)
    for (uint32_t at = 12; end - at >= 8;) {
        const uint8_t* chunk = data + at;
        const uint32_t length = U32(chunk + 4);
        const uint32_t room = end - at - 8;
        if (Id(chunk, "fmt ")) {
            if (length < 16 || length > room) return Fail(error, "fmt チャンクが壊れています");
            if (U16(chunk + 8) != 1) return Fail(error, "PCM 以外の形式には対応していません");
            info->channels = U16(chunk + 10);
            info->sampleRate = U32(chunk + 12);
            info->blockAlign = U16(chunk + 20);
            info->bitsPerSample = U16(chunk + 22);
            if ((info->channels != 1 && info->channels != 2) ||
                (info->bitsPerSample != 8 && info->bitsPerSample != 16))
                return Fail(error, "8/16 ビットのモノラルかステレオのみ対応しています");
            if (info->sampleRate < 100 || info->sampleRate > 200000 ||
                info->blockAlign != info->channels * info->bitsPerSample / 8)
                return Fail(error, "fmt チャンクが壊れています");
            haveFormat = true;
        } else if (Id(chunk, "data")) {
            if (!haveFormat) return Fail(error, "data チャンクが fmt チャンクより前にあります");
            // A data chunk longer than the file is cut to the bytes present.
            const uint32_t bytes = length < room ? length : room;
            info->dataOffset = at + 8;
            info->dataSize = bytes - bytes % info->blockAlign;
            if (info->dataSize == 0) return Fail(error, "サンプルがありません");
            return true;
        }
        if (length > room) break;
        at += 8 + length + (length & 1);
        if (at > end) break;
    }
    return Fail(error, haveFormat ? "data チャンクがありません" : "fmt チャンクがありません");
}
