// Test images and the texels of a lockable texture, for the tests of every folder that loads images
// or draws into textures.
#pragma once
#include "DeviceFixture.h"
#include "VornTexture.h"
#include <cstdint>
#include <vector>

namespace vorntest {

// A test image whose every pixel differs from its neighbours and survives X8R8G8B8 exactly; its
// pixel at (x, y), and the image of w x h as a 24-bit BMP file.
inline uint32_t PatternPixel(int x, int y) { return (x & 0xFF) << 16 | (y & 0xFF) << 8 | ((x >> 8) * 64 + (y >> 8) * 16 + 8); }
inline std::vector<unsigned char> PatternBmp(int w, int h)
{
    std::vector<uint32_t> pixels;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) pixels.push_back(PatternPixel(x, y));
    return MakeBmp(w, h, pixels);
}

// The pixels of a locked texture row by row as words of Pixel (uint32_t for 32-bit formats,
// uint16_t for 16-bit ones), each widened to Out; empty when it cannot be locked. width, when
// given, gets the row length.
template <typename Pixel, typename Out = Pixel>
std::vector<Out> ReadTexture(VornTextureHandle t, uint32_t* width = nullptr)
{
    void* bits = nullptr;
    int32_t pitch = 0;
    uint32_t w = 0, h = 0;
    std::vector<Out> out;
    if (!VornTexture::Lock(t, &bits, &pitch, nullptr, &w, &h)) return out;
    for (uint32_t y = 0; y < h; ++y) {
        const Pixel* row = reinterpret_cast<const Pixel*>(static_cast<uint8_t*>(bits) + y * pitch);
        out.insert(out.end(), row, row + w);
    }
    VornTexture::Unlock(t);
    if (width) *width = w;
    return out;
}

}  // namespace vorntest
