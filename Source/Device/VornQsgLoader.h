// VornQsgLoader: QSG image archives. The loader finds one entry (through VornQsgFormat, the byte
// format), converts it to A8R8G8B8 and wraps it in an in-memory DDS image for the texture loader.
// Archives are read through VornQsgSource, so the same code walks archive files and buffers in memory.
#pragma once
#include "VornQsgFormat.h"
#include <windows.h>
#include <d3d9types.h>
#include <cstddef>
#include <cstdint>

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

    // The name a loaded entry is shared under, "archive:entry", cut to fit size bytes.
    static void EntryKey(const char* archive, const char* entry, char* key, size_t size);

    // ---- The archive format ----
    // Unpacked size of the entry (0 when the archive, the entry or its header is unusable); width,
    // height and format to the outputs given. With pixels, the unpacked pixels are written there
    // (the caller allocated the size) and a short or broken data block gives 0.
    static uint32_t ReadEntry(const char* archive, const char* name, uint32_t* width, uint32_t* height,
                              uint8_t* pixels, uint32_t* format);
    static uint32_t ReadEntryFrom(VornQsgSource& source, const char* name, uint32_t* width,
                                  uint32_t* height, uint8_t* pixels, uint32_t* format);
    // Reads (and unpacks) the data of an entry found by VornQsgFormat::FindEntry into pixels of size
    // bytes; a packed entry goes through a buffer from the work area.
    static bool ReadEntryData(VornQsgSource& source, const QsgEntryHeader& header, uint8_t* pixels,
                              uint32_t size);
    // Unpacks a headerless LZSS stream of srcSize bytes into size bytes; false when the stream
    // ends first.
    static bool DecodeLzss(const uint8_t* src, uint32_t srcSize, uint8_t* dst, uint32_t size);

private:
    uint8_t* image_ = nullptr;   // DDS header and pixels, from the work area
    uint32_t width_ = 0;
    uint32_t height_ = 0;
    uint32_t pitch_ = 0;
};
