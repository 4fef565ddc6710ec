// VornQsgFormat: the byte format of QSG image archives and their pixel conversions, over plain memory
// and a sequential source. An archive holds named images as raw or LZSS-packed pixels in one of four
// pixel formats. VornQsgLoader does the file I/O, the work-area buffers and the Direct3D formats.
#pragma once
#include <cstddef>
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

// Pixel layouts of a locked surface the image is copied into (the loader maps the Direct3D formats:
// X8R8G8B8, X1R5G5B5 and X4R4G4B4 are written as their alpha forms).
enum QsgSurfaceFormat : uint32_t {
    QSG_SURFACE_A8R8G8B8,
    QSG_SURFACE_R5G6B5,
    QSG_SURFACE_A1R5G5B5,
    QSG_SURFACE_A4R4G4B4,
    QSG_SURFACE_FORMAT_COUNT,
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

class VornQsgFormat
{
public:
    // Checks the magic and walks to the first entry named exactly name (at most 16 bytes compared),
    // leaving the source at its data. Returns its unpacked size, or 0 when it is missing or its
    // header is refused (format above 7, a side of 0 or above 65535, a size that does not fit,
    // a raw data size other than the unpacked size, data beyond the end of the archive).
    static uint32_t FindEntry(VornQsgSource& source, const char* name, QsgEntryHeader* header);
    // Reads (and unpacks) the data of an entry found by FindEntry into pixels of size bytes; a
    // packed entry is read into packed (header.dataSize bytes, from the caller) first.
    static bool ReadEntryData(VornQsgSource& source, const QsgEntryHeader& header, uint8_t* pixels,
                              uint32_t size, uint8_t* packed);

    // width x height x 2, 4, 8 or 16; 0 for a format above 7 or a size beyond 32 bits.
    static uint32_t GetPixelDataSize(uint32_t width, uint32_t height, uint32_t format);
    static bool IsPackedFormat(uint32_t format) { return format >= 4 && format <= 7; }
    // Between any two formats (4-7 taken as 0-3); float channels are clamped to 0..1.
    static void ConvertPixels(uint32_t width, uint32_t height, uint32_t srcFormat, const void* src,
                              uint32_t dstFormat, void* dst);
    // The 128-byte header of a 32-bit A8R8G8B8 DDS image.
    static void WriteDdsHeader(uint8_t* out, uint32_t width, uint32_t height);

    // A width x height block of A8R8G8B8 pixels into a surface layout, dithered down to 16 bits;
    // false (nothing written) for a format beyond the list.
    static bool CopyImage(const uint8_t* src, uint32_t srcPitch, uint8_t* dst, int32_t dstPitch, uint32_t width,
                          uint32_t height, QsgSurfaceFormat format);
    static uint32_t GetSurfacePixelSize(QsgSurfaceFormat format) { return format == QSG_SURFACE_A8R8G8B8 ? 4 : 2; }

    static uint32_t Dither4Bit(uint32_t value, uint32_t x, uint32_t y);
    static uint32_t Dither5Bit(uint32_t value, uint32_t x, uint32_t y);
};
