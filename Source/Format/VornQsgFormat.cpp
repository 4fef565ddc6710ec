#include "VornQsgFormat.h"
#include "VornBytes.h"
#include "VornLZSS.h"
#include <cstring>

namespace {

const uint32_t kBytesPerPixel[4] = {2, 4, 8, 16};

// ---- Pixels: every format read to and written from four channels (alpha, red, green, blue) ----

// A channel in one of four depths; kind 0-2 are the integer depths 4, 8 and 16 bits, 3 is float.
const uint32_t kChannelMax[3] = {15, 255, 65535};
const float kChannelScale[3] = {1.0f / 15.0f, 1.0f / 255.0f, 1.0f / 65535.0f};

struct Channels {
    uint32_t a, r, g, b;   // integer depths
    float fa, fr, fg, fb;  // float depth
};

using VornBytes::ReadLE16;
using VornBytes::WriteLE16;

inline float Clamp01(float f)
{
    if (!(f > 0.0f)) return 0.0f;   // NaN too
    return f > 1.0f ? 1.0f : f;
}

inline void ReadPixel(uint32_t format, const uint8_t* p, Channels& c)
{
    switch (format) {
    case 0: {
        const uint32_t v = ReadLE16(p);
        c.a = v & 15; c.r = v >> 4 & 15; c.g = v >> 8 & 15; c.b = v >> 12 & 15;
        break;
    }
    case 1:
        c.b = p[0]; c.g = p[1]; c.r = p[2]; c.a = p[3];
        break;
    case 2:
        c.b = ReadLE16(p); c.g = ReadLE16(p + 2); c.r = ReadLE16(p + 4); c.a = ReadLE16(p + 6);
        break;
    default: {
        float f[4];
        memcpy(f, p, 16);
        c.fb = Clamp01(f[0]); c.fg = Clamp01(f[1]); c.fr = Clamp01(f[2]); c.fa = Clamp01(f[3]);
        break;
    }
    }
}

inline uint32_t IntToInt(uint32_t v, uint32_t from, uint32_t to)
{
    return from == to ? v : v * kChannelMax[to] / kChannelMax[from];
}

inline void WritePixel(uint32_t srcFormat, uint32_t format, const Channels& c, uint8_t* p)
{
    if (format == 3) {
        float f[4];
        if (srcFormat == 3) {
            f[0] = c.fb; f[1] = c.fg; f[2] = c.fr; f[3] = c.fa;
        } else {
            const float s = kChannelScale[srcFormat];
            f[0] = c.b * s; f[1] = c.g * s; f[2] = c.r * s; f[3] = c.a * s;
        }
        memcpy(p, f, 16);
        return;
    }
    uint32_t a, r, g, b;
    if (srcFormat == 3) {
        const float m = static_cast<float>(kChannelMax[format]);
        a = static_cast<uint32_t>(c.fa * m); r = static_cast<uint32_t>(c.fr * m);
        g = static_cast<uint32_t>(c.fg * m); b = static_cast<uint32_t>(c.fb * m);
    } else {
        a = IntToInt(c.a, srcFormat, format); r = IntToInt(c.r, srcFormat, format);
        g = IntToInt(c.g, srcFormat, format); b = IntToInt(c.b, srcFormat, format);
    }
    switch (format) {
    case 0:
        WriteLE16(p, a | r << 4 | g << 8 | b << 12);
        break;
    case 1:
        p[0] = static_cast<uint8_t>(b); p[1] = static_cast<uint8_t>(g);
        p[2] = static_cast<uint8_t>(r); p[3] = static_cast<uint8_t>(a);
        break;
    default:
        WriteLE16(p, b); WriteLE16(p + 2, g); WriteLE16(p + 4, r); WriteLE16(p + 6, a);
        break;
    }
}

const uint8_t kDither4[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {2, 10, 0, 8}, {14, 6, 12, 4}};
const uint8_t kDither5[4][4] = {{0, 4, 1, 5}, {6, 2, 7, 3}, {1, 5, 0, 4}, {7, 3, 6, 2}};

// One image pixel (B, G, R, A bytes) as a pixel of a locked surface; x and y pick the dither cell.
template <QsgSurfaceFormat Format>
inline void PutPixel(const uint8_t* s, uint8_t* d, uint32_t x, uint32_t y)
{
    const uint32_t b = s[0], g = s[1], r = s[2], a = s[3];
    if constexpr (Format == QSG_SURFACE_A8R8G8B8) {
        const uint32_t v = a << 24 | r << 16 | g << 8 | b;
        memcpy(d, &v, 4);
    } else if constexpr (Format == QSG_SURFACE_R5G6B5) {
        WriteLE16(d, (VornQsgFormat::Dither5Bit(r, x, y) >> 3) << 11 | (VornQsgFormat::Dither5Bit(g, x, y) >> 2) << 5 |
                       (VornQsgFormat::Dither5Bit(b, x, y) >> 3));
    } else if constexpr (Format == QSG_SURFACE_A1R5G5B5) {
        WriteLE16(d, (a > 127 ? 1u : 0u) << 15 | (VornQsgFormat::Dither5Bit(r, x, y) >> 3) << 10 |
                       (VornQsgFormat::Dither5Bit(g, x, y) >> 3) << 5 | (VornQsgFormat::Dither5Bit(b, x, y) >> 3));
    } else {
        WriteLE16(d, (VornQsgFormat::Dither4Bit(a, x, y) >> 4) << 12 | (VornQsgFormat::Dither4Bit(r, x, y) >> 4) << 8 |
                       (VornQsgFormat::Dither4Bit(g, x, y) >> 4) << 4 | (VornQsgFormat::Dither4Bit(b, x, y) >> 4));
    }
}

template <QsgSurfaceFormat Format>
void CopyBlock(const uint8_t* src, uint32_t srcPitch, uint8_t* dst, int32_t dstPitch, uint32_t width,
               uint32_t height)
{
    constexpr uint32_t size = Format == QSG_SURFACE_A8R8G8B8 ? 4 : 2;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* s = src + static_cast<size_t>(y) * srcPitch;
        uint8_t* d = dst + static_cast<ptrdiff_t>(y) * dstPitch;
        for (uint32_t x = 0; x < width; ++x) PutPixel<Format>(s + x * 4, d + x * size, x, y);
    }
}

}  // namespace

// ---- Sources ----

uint32_t VornQsgMemorySource::Read(void* buffer, uint32_t size)
{
    const uint32_t n = size < Remaining() ? size : Remaining();
    if (n) memcpy(buffer, data_ + position_, n);
    position_ += n;
    return n;
}

bool VornQsgMemorySource::Skip(uint32_t size)
{
    if (size > Remaining()) return false;
    position_ += size;
    return true;
}

// ---- The archive format ----

uint32_t VornQsgFormat::GetPixelDataSize(uint32_t width, uint32_t height, uint32_t format)
{
    if (format >= QSG_PIXEL_FORMAT_COUNT) return 0;
    const uint64_t size = static_cast<uint64_t>(width) * height * kBytesPerPixel[format & 3];
    return size > 0xFFFFFFFFu ? 0 : static_cast<uint32_t>(size);
}

uint32_t VornQsgFormat::FindEntry(VornQsgSource& source, const char* name, QsgEntryHeader* header)
{
    uint8_t fileHeader[QSG_FILE_HEADER_SIZE];
    if (!name || source.Read(fileHeader, sizeof fileHeader) != sizeof fileHeader) return 0;
    if (memcmp(fileHeader, "QSG", 4) != 0) return 0;
    const size_t nameLength = strlen(name);

    QsgEntryHeader h;
    for (;;) {
        memset(&h, 0, sizeof h);
        if (source.Read(&h, sizeof h) != sizeof h) return 0;   // the end, or a torn header
        const size_t stored = strnlen(h.name, sizeof h.name);
        if (stored == nameLength && memcmp(h.name, name, stored) == 0) break;
        if (!source.Skip(h.dataSize)) return 0;
    }
    if (h.format >= QSG_PIXEL_FORMAT_COUNT) return 0;
    if (h.width == 0 || h.height == 0 || h.width > QSG_MAX_DIMENSION || h.height > QSG_MAX_DIMENSION) return 0;
    const uint32_t size = GetPixelDataSize(h.width, h.height, h.format);
    // The image is width x height x 4 bytes behind a 128-byte header: it must fit in 32 bits too.
    if (size == 0 || static_cast<uint64_t>(h.width) * h.height * 4 + QSG_DDS_HEADER_SIZE > 0xFFFFFFFFu) return 0;
    if (h.dataSize > source.Remaining()) return 0;
    if (IsPackedFormat(h.format)) {
        // Every 17 packed bytes (a flag and eight references) make at most 144.
        if (h.dataSize == 0 || static_cast<uint64_t>(size) * 17 > static_cast<uint64_t>(h.dataSize) * 144 + 16) return 0;
    } else if (h.dataSize != size) {
        return 0;
    }
    if (header) *header = h;
    return size;
}

bool VornQsgFormat::ReadEntryData(VornQsgSource& source, const QsgEntryHeader& header, uint8_t* pixels,
                                  uint32_t size, uint8_t* packed)
{
    if (!IsPackedFormat(header.format)) return source.Read(pixels, size) == size;
    return packed && source.Read(packed, header.dataSize) == header.dataSize &&
           VornLZSS::DecodeRaw(packed, header.dataSize, pixels, size);
}

void VornQsgFormat::ConvertPixels(uint32_t width, uint32_t height, uint32_t srcFormat, const void* src,
                                  uint32_t dstFormat, void* dst)
{
    srcFormat &= 3;
    dstFormat &= 3;
    const size_t count = static_cast<size_t>(width) * height;
    const uint8_t* s = static_cast<const uint8_t*>(src);
    uint8_t* d = static_cast<uint8_t*>(dst);
    if (srcFormat == dstFormat && srcFormat != 3) {
        memcpy(d, s, count * kBytesPerPixel[srcFormat]);
        return;
    }
    const uint32_t sstep = kBytesPerPixel[srcFormat], dstep = kBytesPerPixel[dstFormat];
    Channels c = {};
    for (size_t i = 0; i < count; ++i, s += sstep, d += dstep) {
        ReadPixel(srcFormat, s, c);
        WritePixel(srcFormat, dstFormat, c, d);
    }
}

void VornQsgFormat::WriteDdsHeader(uint8_t* out, uint32_t width, uint32_t height)
{
    memset(out, 0, QSG_DDS_HEADER_SIZE);
    const uint32_t fields[][2] = {
        {4, 124}, {8, 0x1007}, {12, height & 0xFFFF}, {16, width & 0xFFFF}, {76, 32}, {80, 0x41},
        {88, 32}, {92, 0x00FF0000}, {96, 0x0000FF00}, {100, 0x000000FF}, {104, 0xFF000000},
    };
    memcpy(out, "DDS ", 4);
    for (const auto& f : fields) {
        for (int i = 0; i < 4; ++i) out[f[0] + i] = static_cast<uint8_t>(f[1] >> (8 * i));
    }
}

uint32_t VornQsgFormat::Dither4Bit(uint32_t value, uint32_t x, uint32_t y)
{
    return (value * 242 >> 8) + kDither4[y & 3][x & 3];
}

uint32_t VornQsgFormat::Dither5Bit(uint32_t value, uint32_t x, uint32_t y)
{
    return (value * 249 >> 8) + kDither5[y & 3][x & 3];
}

bool VornQsgFormat::CopyImage(const uint8_t* src, uint32_t srcPitch, uint8_t* dst, int32_t dstPitch, uint32_t width,
                              uint32_t height, QsgSurfaceFormat format)
{
    switch (format) {
    case QSG_SURFACE_A8R8G8B8:
        CopyBlock<QSG_SURFACE_A8R8G8B8>(src, srcPitch, dst, dstPitch, width, height);
        return true;
    case QSG_SURFACE_R5G6B5:
        CopyBlock<QSG_SURFACE_R5G6B5>(src, srcPitch, dst, dstPitch, width, height);
        return true;
    case QSG_SURFACE_A1R5G5B5:
        CopyBlock<QSG_SURFACE_A1R5G5B5>(src, srcPitch, dst, dstPitch, width, height);
        return true;
    case QSG_SURFACE_A4R4G4B4:
        CopyBlock<QSG_SURFACE_A4R4G4B4>(src, srcPitch, dst, dstPitch, width, height);
        return true;
    default:
        return false;
    }
}
