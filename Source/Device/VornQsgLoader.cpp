#include "VornQsgLoader.h"
#include "VornFile.h"
#include "VornLZSS.h"
#include "VornMemory.h"
#include <cstring>

namespace {

const char kCantLoad[] = "Can't Load QSG File";
const char kNoMemory[] = "メモリ確保に失敗 空きメモリが不足している可能性があります";
char s_errorText[128];

const char* Fail(const char* text)
{
    strncpy(s_errorText, text, sizeof s_errorText - 1);
    s_errorText[sizeof s_errorText - 1] = '\0';
    return s_errorText;
}

const uint32_t kBytesPerPixel[4] = {2, 4, 8, 16};

// An archive file opened through the file system.
class FileSource : public VornQsgSource
{
public:
    explicit FileSource(VornFileStream* stream) : stream_(stream) {}
    ~FileSource() override { VornFile::Close(stream_); }
    uint32_t Read(void* buffer, uint32_t size) override { return VornFile::Read(stream_, size, buffer); }
    bool Skip(uint32_t size) override
    {
        if (size > Remaining()) return false;
        if (size == 0) return true;
        return size <= 0x7FFFFFFFu && VornFile::Seek(stream_, static_cast<int32_t>(size), 0);
    }
    uint32_t Remaining() const override
    {
        const uint32_t size = VornFile::GetSize(stream_), position = VornFile::GetPosition(stream_);
        return position < size ? size - position : 0;
    }

private:
    VornFileStream* stream_;
};

// ---- Pixels: every format read to and written from four channels (alpha, red, green, blue) ----

// A channel in one of four depths; kind 0-2 are the integer depths 4, 8 and 16 bits, 3 is float.
const uint32_t kChannelMax[3] = {15, 255, 65535};
const float kChannelScale[3] = {1.0f / 15.0f, 1.0f / 255.0f, 1.0f / 65535.0f};

struct Channels {
    uint32_t a, r, g, b;   // integer depths
    float fa, fr, fg, fb;  // float depth
};

inline uint16_t Load16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline void Store16(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

inline float Clamp01(float f)
{
    if (!(f > 0.0f)) return 0.0f;   // NaN too
    return f > 1.0f ? 1.0f : f;
}

inline void ReadPixel(uint32_t format, const uint8_t* p, Channels& c)
{
    switch (format) {
    case 0: {
        const uint32_t v = Load16(p);
        c.a = v & 15; c.r = v >> 4 & 15; c.g = v >> 8 & 15; c.b = v >> 12 & 15;
        break;
    }
    case 1:
        c.b = p[0]; c.g = p[1]; c.r = p[2]; c.a = p[3];
        break;
    case 2:
        c.b = Load16(p); c.g = Load16(p + 2); c.r = Load16(p + 4); c.a = Load16(p + 6);
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
        Store16(p, a | r << 4 | g << 8 | b << 12);
        break;
    case 1:
        p[0] = static_cast<uint8_t>(b); p[1] = static_cast<uint8_t>(g);
        p[2] = static_cast<uint8_t>(r); p[3] = static_cast<uint8_t>(a);
        break;
    default:
        Store16(p, b); Store16(p + 2, g); Store16(p + 4, r); Store16(p + 6, a);
        break;
    }
}

const uint8_t kDither4[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {2, 10, 0, 8}, {14, 6, 12, 4}};
const uint8_t kDither5[4][4] = {{0, 4, 1, 5}, {6, 2, 7, 3}, {1, 5, 0, 4}, {7, 3, 6, 2}};

// One image pixel (B, G, R, A bytes) as a pixel of a locked surface; x and y pick the dither cell.
template <D3DFORMAT Format>
inline void PutPixel(const uint8_t* s, uint8_t* d, uint32_t x, uint32_t y)
{
    const uint32_t b = s[0], g = s[1], r = s[2], a = s[3];
    if constexpr (Format == D3DFMT_A8R8G8B8) {
        const uint32_t v = a << 24 | r << 16 | g << 8 | b;
        memcpy(d, &v, 4);
    } else if constexpr (Format == D3DFMT_R5G6B5) {
        Store16(d, (VornQsgLoader::Dither5Bit(r, x, y) >> 3) << 11 | (VornQsgLoader::Dither5Bit(g, x, y) >> 2) << 5 |
                       (VornQsgLoader::Dither5Bit(b, x, y) >> 3));
    } else if constexpr (Format == D3DFMT_A1R5G5B5) {
        Store16(d, (a > 127 ? 1u : 0u) << 15 | (VornQsgLoader::Dither5Bit(r, x, y) >> 3) << 10 |
                       (VornQsgLoader::Dither5Bit(g, x, y) >> 3) << 5 | (VornQsgLoader::Dither5Bit(b, x, y) >> 3));
    } else {
        Store16(d, (VornQsgLoader::Dither4Bit(a, x, y) >> 4) << 12 | (VornQsgLoader::Dither4Bit(r, x, y) >> 4) << 8 |
                       (VornQsgLoader::Dither4Bit(g, x, y) >> 4) << 4 | (VornQsgLoader::Dither4Bit(b, x, y) >> 4));
    }
}

template <D3DFORMAT Format>
void CopyBlock(const uint8_t* src, uint32_t srcPitch, uint8_t* dst, int32_t dstPitch, uint32_t width,
               uint32_t height)
{
    constexpr uint32_t size = Format == D3DFMT_A8R8G8B8 ? 4 : 2;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* s = src + static_cast<size_t>(y) * srcPitch;
        uint8_t* d = dst + static_cast<ptrdiff_t>(y) * dstPitch;
        for (uint32_t x = 0; x < width; ++x) PutPixel<Format>(s + x * 4, d + x * size, x, y);
    }
}

bool CopyImage(const uint8_t* src, uint32_t srcPitch, uint8_t* dst, int32_t dstPitch, uint32_t width,
               uint32_t height, D3DFORMAT format)
{
    switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
        CopyBlock<D3DFMT_A8R8G8B8>(src, srcPitch, dst, dstPitch, width, height);
        return true;
    case D3DFMT_R5G6B5:
        CopyBlock<D3DFMT_R5G6B5>(src, srcPitch, dst, dstPitch, width, height);
        return true;
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
        CopyBlock<D3DFMT_A1R5G5B5>(src, srcPitch, dst, dstPitch, width, height);
        return true;
    case D3DFMT_A4R4G4B4:
    case D3DFMT_X4R4G4B4:
        CopyBlock<D3DFMT_A4R4G4B4>(src, srcPitch, dst, dstPitch, width, height);
        return true;
    default:
        return false;
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

uint32_t VornQsgLoader::GetPixelDataSize(uint32_t width, uint32_t height, uint32_t format)
{
    if (format >= QSG_PIXEL_FORMAT_COUNT) return 0;
    const uint64_t size = static_cast<uint64_t>(width) * height * kBytesPerPixel[format & 3];
    return size > 0xFFFFFFFFu ? 0 : static_cast<uint32_t>(size);
}

uint32_t VornQsgLoader::FindEntry(VornQsgSource& source, const char* name, QsgEntryHeader* header)
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

bool VornQsgLoader::ReadEntryData(VornQsgSource& source, const QsgEntryHeader& header, uint8_t* pixels,
                                  uint32_t size)
{
    if (!IsPackedFormat(header.format)) return source.Read(pixels, size) == size;
    uint8_t* packed = static_cast<uint8_t*>(VORN_ALLOC_QUIET(header.dataSize));
    if (!packed) return false;
    const bool ok = source.Read(packed, header.dataSize) == header.dataSize &&
                    VornLZSS::DecodeRaw(packed, header.dataSize, pixels, size);
    VornMemory::FreeQuiet(packed);
    return ok;
}

uint32_t VornQsgLoader::ReadEntryFrom(VornQsgSource& source, const char* name, uint32_t* width,
                                      uint32_t* height, uint8_t* pixels, uint32_t* format)
{
    QsgEntryHeader h;
    const uint32_t size = FindEntry(source, name, &h);
    if (size == 0) return 0;
    if (width) *width = h.width;
    if (height) *height = h.height;
    if (format) *format = h.format;
    if (pixels && !ReadEntryData(source, h, pixels, size)) return 0;
    return size;
}

uint32_t VornQsgLoader::ReadEntry(const char* archive, const char* name, uint32_t* width, uint32_t* height,
                                  uint8_t* pixels, uint32_t* format)
{
    VornFileStream* stream = VornFile::Open(FILE_KIND_TEXTURE, archive);
    if (!stream) return 0;
    FileSource source(stream);
    return ReadEntryFrom(source, name, width, height, pixels, format);
}

bool VornQsgLoader::DecodeLzss(const uint8_t* src, uint32_t srcSize, uint8_t* dst, uint32_t size)
{
    return src && VornLZSS::DecodeRaw(src, srcSize, dst, size);
}

void VornQsgLoader::ConvertPixels(uint32_t width, uint32_t height, uint32_t srcFormat, const void* src,
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

void VornQsgLoader::WriteDdsHeader(uint8_t* out, uint32_t width, uint32_t height)
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

uint32_t VornQsgLoader::Dither4Bit(uint32_t value, uint32_t x, uint32_t y)
{
    return (value * 242 >> 8) + kDither4[y & 3][x & 3];
}

uint32_t VornQsgLoader::Dither5Bit(uint32_t value, uint32_t x, uint32_t y)
{
    return (value * 249 >> 8) + kDither5[y & 3][x & 3];
}

// ---- The loader object ----

const char* VornQsgLoader::Load(const char* archive, const char* entry)
{
    VornFileStream* stream = VornFile::Open(FILE_KIND_TEXTURE, archive);
    if (!stream) return Fail(kCantLoad);
    FileSource source(stream);
    return LoadFrom(source, entry);
}

const char* VornQsgLoader::LoadFrom(VornQsgSource& source, const char* entry)
{
    Release();
    char name[QSG_NAME_SIZE] = {};
    for (size_t i = 0; entry && entry[i] && i < sizeof name - 1; ++i) {
        const char ch = entry[i];
        name[i] = ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
    }

    QsgEntryHeader h;
    const uint32_t size = FindEntry(source, name, &h);
    if (size == 0) return Fail(kCantLoad);
    uint8_t* pixels = static_cast<uint8_t*>(VORN_ALLOC_ZERO_QUIET(size));
    if (!pixels) return Fail(kNoMemory);
    if (!ReadEntryData(source, h, pixels, size)) {
        VornMemory::FreeQuiet(pixels);
        return Fail(kCantLoad);
    }
    const uint32_t pitch = h.width * 4;
    uint8_t* image = static_cast<uint8_t*>(VORN_ALLOC_QUIET(pitch * h.height + QSG_DDS_HEADER_SIZE));
    if (!image) {
        VornMemory::FreeQuiet(pixels);
        return Fail(kNoMemory);
    }
    ConvertPixels(h.width, h.height, h.format, pixels, QSG_PIXEL_A8R8G8B8, image + QSG_DDS_HEADER_SIZE);
    WriteDdsHeader(image, h.width, h.height);
    VornMemory::FreeQuiet(pixels);
    image_ = image;
    width_ = h.width;
    height_ = h.height;
    pitch_ = pitch;
    return nullptr;
}

void VornQsgLoader::GetImage(uint8_t** image, uint32_t* pitch) const
{
    if (image) *image = image_ ? image_ + QSG_DDS_HEADER_SIZE : nullptr;
    if (pitch) *pitch = pitch_;
}

void VornQsgLoader::GetSize(uint32_t* width, uint32_t* height) const
{
    if (width) *width = width_;
    if (height) *height = height_;
}

void VornQsgLoader::Release()
{
    if (image_) VornMemory::FreeQuiet(image_);
    image_ = nullptr;
    width_ = height_ = pitch_ = 0;
}

bool VornQsgLoader::CopyToBuffer(void* dst, int32_t pitch, D3DFORMAT format) const
{
    if (!image_ || !dst) return false;
    return CopyImage(image_ + QSG_DDS_HEADER_SIZE, pitch_, static_cast<uint8_t*>(dst), pitch, width_, height_,
                     format);
}

bool VornQsgLoader::CopyRectToBuffer(uint32_t dstX, uint32_t dstY, uint32_t srcX, uint32_t srcY, uint32_t width,
                                     uint32_t height, void* dst, int32_t pitch, D3DFORMAT format) const
{
    if (!image_ || !dst) return false;
    if (srcX > width_ || width > width_ - srcX || srcY > height_ || height > height_ - srcY) return false;
    const uint32_t size = format == D3DFMT_A8R8G8B8 || format == D3DFMT_X8R8G8B8 ? 4 : 2;
    uint8_t* d = static_cast<uint8_t*>(dst) + static_cast<ptrdiff_t>(dstY) * pitch + static_cast<size_t>(dstX) * size;
    const uint8_t* s = image_ + QSG_DDS_HEADER_SIZE + static_cast<size_t>(srcY) * pitch_ + static_cast<size_t>(srcX) * 4;
    return CopyImage(s, pitch_, d, pitch, width, height, format);
}
