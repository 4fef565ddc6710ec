// The 2D classes on the engine's own device (Draw2DFixture), plus the file system, the font and
// font-sprite tables and a 24-pixel "ＭＳ ゴシック" font drawing into the back buffer.
#pragma once
#include "Draw2DFixture.h"
#include "VornFont.h"
#include "VornFontSprite.h"
#include "VornSystem.h"

namespace fonttest {

constexpr const char* kFace = "ＭＳ ゴシック";

class FontTest : public draw2dtest::Draw2D {
protected:
    static void SetUpTestSuite()
    {
        Draw2D::SetUpTestSuite();
        VornFile::Initialize();
        fontReady_ = VornFont::Initialize() && VornFontSprite::Initialize();
    }
    static void TearDownTestSuite()
    {
        VornFontSprite::Finalize();
        VornFont::Finalize();
        Draw2D::TearDownTestSuite();
    }
    void SetUp() override
    {
        Draw2D::SetUp();
        ASSERT_TRUE(fontReady_);
        font_ = VornFont::Create(kFace, 24, 0, 0);
        ASSERT_NE(VORN_INVALID_HANDLE, font_);
    }
    void TearDown() override
    {
        VornFont::Release(font_);
        Draw2D::TearDown();
    }

    // The RGB values found in [x0,x1)x[y0,y1) of the last frame.
    std::set<uint32_t> Colours(int x0, int y0, int x1, int y1) const
    {
        std::set<uint32_t> out;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) out.insert(frame_.Rgb(x, y));
        return out;
    }
    // Pixels in [x0,x1)x[y0,y1) of the last frame that are not black.
    int Ink(int x0, int y0, int x1, int y1) const
    {
        return (x1 - x0) * (y1 - y0) - frame_.Count(x0, y0, x1, y1, 0);
    }
    int32_t Height() const { return VornFont::GetRecord(font_)->metrics.tmHeight; }
    ABC Metrics(uint16_t code) const
    {
        ABC abc;
        VornFont::GetCharMetrics(font_, code, &abc);
        return abc;
    }

    VornFontHandle font_ = VORN_INVALID_HANDLE;
    static bool fontReady_;
};

inline bool FontTest::fontReady_;

// The pixels of a locked texture as 32-bit words (A8R8G8B8) or 16-bit words.
template <typename Pixel>
std::vector<Pixel> ReadTexture(VornTextureHandle t, uint32_t* width = nullptr)
{
    void* bits = nullptr;
    int32_t pitch = 0;
    uint32_t w = 0, h = 0;
    std::vector<Pixel> out;
    if (!VornTexture::Lock(t, &bits, &pitch, nullptr, &w, &h)) return out;
    for (uint32_t y = 0; y < h; ++y) {
        const Pixel* row = reinterpret_cast<const Pixel*>(static_cast<uint8_t*>(bits) + y * pitch);
        out.insert(out.end(), row, row + w);
    }
    VornTexture::Unlock(t);
    if (width) *width = w;
    return out;
}

}  // namespace fonttest
