// VornQsgLoader: QSG image archives. An archive holds named images as raw or LZSS-packed pixels in
// one of four pixel formats; the loader finds one entry, converts it to A8R8G8B8 and wraps it in an
// in-memory DDS image for the texture loader. The byte format is read through VornQsgSource, so the
// same code walks archive files and buffers in memory.
#pragma once
#include <windows.h>
#include <d3d9types.h>
#include <cstdint>

// Pixel formats of an entry; 4-7 are 0-3 packed with LZSS.
enum QsgPixelFormat : uint32_t {
    QSG_PIXEL_A4R4G4B4 = 0,   // u16: alpha in bits 0-3, red 4-7, green 8-11, blue 12-15
    QSG_PIXEL_A8R8G8B8 = 1,   // u8 blue, green, red, alpha
    QSG_PIXEL_A16R16G16B16 = 2,   // u16 blue, green, red, alpha
    QSG_PIXEL_FLOAT = 3,      // f32 blue, green, red, alpha in 0..1
    QSG_PIXEL_PACKED = 4,     // added to 0-3 for the packed forms
    QSG_PIXEL_FORMAT_COUNT = 8,
};

// One entry header as stored (little-endian).
struct QsgEntryHeader {
    char name[16];        // lower case, NUL-terminated when shorter than 16
    uint32_t width;
    uint32_t height;
    uint32_t format;
    uint32_t dataSize;    // bytes stored after the header
};
static_assert(sizeof(QsgEntryHeader) == 32, "QSG entry header is 32 bytes");

constexpr uint32_t QSG_FILE_HEADER_SIZE = 8;     // "QSG\0" and four bytes not examined
constexpr uint32_t QSG_DDS_HEADER_SIZE = 128;
constexpr uint32_t QSG_MAX_DIMENSION = 65535;    // the DDS header keeps 16 bits of each side
constexpr uint32_t QSG_NAME_SIZE = 256;          // a wanted name, with the terminator

// Sequential reader over an archive: a file stream or a buffer.
class VornQsgSource
{
public:
    virtual ~VornQsgSource() = default;
    // Reads up to size bytes; returns the number read (0 at the end).
    virtual uint32_t Read(void* buffer, uint32_t size) = 0;
    // Moves forward; false (position unchanged) when that passes the end.
    virtual bool Skip(uint32_t size) = 0;
    // Bytes left from the current position.
    virtual uint32_t Remaining() const = 0;
};

class VornQsgMemorySource : public VornQsgSource
{
public:
    VornQsgMemorySource(const void* data, uint32_t size)
        : data_(static_cast<const uint8_t*>(data)), size_(data ? size : 0)
    {
    }
    uint32_t Read(void* buffer, uint32_t size) override;
    bool Skip(uint32_t size) override;
    uint32_t Remaining() const override { return size_ - position_; }

private:
    const uint8_t* data_;
    uint32_t size_;
    uint32_t position_ = 0;
};

class VornQsgLoader
{
public:
    VornQsgLoader() = default;
    ~VornQsgLoader() { Release(); }
    VornQsgLoader(const VornQsgLoader&) = delete;
    VornQsgLoader& operator=(const VornQsgLoader&) = delete;

    // Finds the entry (name compared in lower case) in the archive, a texture-kind file, and makes
    // the DDS image. Null on success, else the error text (one buffer, overwritten by the next
    // failure).
    const char* Load(const char* archive, const char* entry);
    // The same over an archive already open as a source.
    const char* LoadFrom(VornQsgSource& source, const char* entry);

    const uint8_t* GetData() const { return image_; }
    uint32_t GetDataSize() const { return image_ ? width_ * 4 * height_ + QSG_DDS_HEADER_SIZE : 0; }
    // The pixels after the DDS header and their pitch (null outputs skipped).
    void GetImage(uint8_t** image, uint32_t* pitch) const;
    void GetSize(uint32_t* width, uint32_t* height) const;
    void Release();

    // Whole image into a locked surface of the given format, dithered down to 16 bits; false for
    // a format it cannot write (nothing written) or without an image.
    bool CopyToBuffer(void* dst, int32_t pitch, D3DFORMAT format) const;
    // A width x height block from (srcX, srcY) of the image to (dstX, dstY); false when the block
    // leaves the image.
    bool CopyRectToBuffer(uint32_t dstX, uint32_t dstY, uint32_t srcX, uint32_t srcY, uint32_t width,
                          uint32_t height, void* dst, int32_t pitch, D3DFORMAT format) const;

    // ---- The archive format ----
    // Unpacked size of the entry (0 when the archive, the entry or its header is unusable); width,
    // height and format to the outputs given. With pixels, the unpacked pixels are written there
    // (the caller allocated the size) and a short or broken data block gives 0.
    static uint32_t ReadEntry(const char* archive, const char* name, uint32_t* width, uint32_t* height,
                              uint8_t* pixels, uint32_t* format);
    static uint32_t ReadEntryFrom(VornQsgSource& source, const char* name, uint32_t* width,
                                  uint32_t* height, uint8_t* pixels, uint32_t* format);
    // Checks the magic and walks to the first entry named exactly name (at most 16 bytes compared),
    // leaving the source at its data. Returns its unpacked size, or 0 when it is missing or its
    // header is refused (format above 7, a side of 0 or above 65535, a size that does not fit,
    // a raw data size other than the unpacked size, data beyond the end of the archive).
    static uint32_t FindEntry(VornQsgSource& source, const char* name, QsgEntryHeader* header);
    // Reads (and unpacks) the data of an entry found by FindEntry into pixels of size bytes.
    static bool ReadEntryData(VornQsgSource& source, const QsgEntryHeader& header, uint8_t* pixels,
                              uint32_t size);

    // width x height x 2, 4, 8 or 16; 0 for a format above 7 or a size beyond 32 bits.
    static uint32_t GetPixelDataSize(uint32_t width, uint32_t height, uint32_t format);
    static bool IsPackedFormat(uint32_t format) { return format >= 4 && format <= 7; }
    // Between any two formats (4-7 taken as 0-3); float channels are clamped to 0..1.
    static void ConvertPixels(uint32_t width, uint32_t height, uint32_t srcFormat, const void* src,
                              uint32_t dstFormat, void* dst);
    // Unpacks a headerless LZSS stream of srcSize bytes into size bytes; false when the stream
    // ends first.
    static bool DecodeLzss(const uint8_t* src, uint32_t srcSize, uint8_t* dst, uint32_t size);
    // The 128-byte header of a 32-bit A8R8G8B8 DDS image.
    static void WriteDdsHeader(uint8_t* out, uint32_t width, uint32_t height);

    static uint32_t Dither4Bit(uint32_t value, uint32_t x, uint32_t y);
    static uint32_t Dither5Bit(uint32_t value, uint32_t x, uint32_t y);

private:
    uint8_t* image_ = nullptr;   // DDS header and pixels, from the work area
    uint32_t width_ = 0;
    uint32_t height_ = 0;
    uint32_t pitch_ = 0;
};
