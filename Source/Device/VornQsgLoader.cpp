#include "VornQsgLoader.h"
#include "VornFile.h"
#include "VornLZSS.h"
#include "VornMemory.h"
#include <cstdio>
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

// The surface layout of a Direct3D format; false for one the image cannot be written into.
bool SurfaceFormat(D3DFORMAT format, QsgSurfaceFormat* out)
{
    switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8: *out = QSG_SURFACE_A8R8G8B8; return true;
    case D3DFMT_R5G6B5: *out = QSG_SURFACE_R5G6B5; return true;
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5: *out = QSG_SURFACE_A1R5G5B5; return true;
    case D3DFMT_A4R4G4B4:
    case D3DFMT_X4R4G4B4: *out = QSG_SURFACE_A4R4G4B4; return true;
    default: return false;
    }
}

}  // namespace

// ---- The archive format ----

bool VornQsgLoader::ReadEntryData(VornQsgSource& source, const QsgEntryHeader& header, uint8_t* pixels,
                                  uint32_t size)
{
    if (!VornQsgFormat::IsPackedFormat(header.format))
        return VornQsgFormat::ReadEntryData(source, header, pixels, size, nullptr);
    uint8_t* packed = static_cast<uint8_t*>(VORN_ALLOC_QUIET(header.dataSize));
    if (!packed) return false;
    const bool ok = VornQsgFormat::ReadEntryData(source, header, pixels, size, packed);
    VornMemory::FreeQuiet(packed);
    return ok;
}

uint32_t VornQsgLoader::ReadEntryFrom(VornQsgSource& source, const char* name, uint32_t* width,
                                      uint32_t* height, uint8_t* pixels, uint32_t* format)
{
    QsgEntryHeader h;
    const uint32_t size = VornQsgFormat::FindEntry(source, name, &h);
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

// ---- The loader object ----

void VornQsgLoader::EntryKey(const char* archive, const char* entry, char* key, size_t size)
{
    snprintf(key, size, "%s:%s", archive ? archive : "", entry ? entry : "");
}

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
    const uint32_t size = VornQsgFormat::FindEntry(source, name, &h);
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
    VornQsgFormat::ConvertPixels(h.width, h.height, h.format, pixels, QSG_PIXEL_A8R8G8B8, image + QSG_DDS_HEADER_SIZE);
    VornQsgFormat::WriteDdsHeader(image, h.width, h.height);
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
    QsgSurfaceFormat surface;
    if (!image_ || !dst || !SurfaceFormat(format, &surface)) return false;
    return VornQsgFormat::CopyImage(image_ + QSG_DDS_HEADER_SIZE, pitch_, static_cast<uint8_t*>(dst), pitch, width_,
                                    height_, surface);
}

bool VornQsgLoader::CopyRectToBuffer(uint32_t dstX, uint32_t dstY, uint32_t srcX, uint32_t srcY, uint32_t width,
                                     uint32_t height, void* dst, int32_t pitch, D3DFORMAT format) const
{
    QsgSurfaceFormat surface;
    if (!image_ || !dst || !SurfaceFormat(format, &surface)) return false;
    if (srcX > width_ || width > width_ - srcX || srcY > height_ || height > height_ - srcY) return false;
    const uint32_t size = VornQsgFormat::GetSurfacePixelSize(surface);
    uint8_t* d = static_cast<uint8_t*>(dst) + static_cast<ptrdiff_t>(dstY) * pitch + static_cast<size_t>(dstX) * size;
    const uint8_t* s = image_ + QSG_DDS_HEADER_SIZE + static_cast<size_t>(srcY) * pitch_ + static_cast<size_t>(srcX) * 4;
    return VornQsgFormat::CopyImage(s, pitch_, d, pitch, width, height, surface);
}
