// The engine's own device on a 256x256 window, with the 2D classes started as Vorn::Initialize and
// Vorn::Start start them, and helpers to draw and read frames back; for the font tests, a 24-pixel
// "ＭＳ ゴシック" font drawing into the back buffer and a 16-pixel one for the font sprites.
#pragma once
#include "EngineFixture.h"
#include "TextureRead.h"
#include "VornFont.h"
#include "VornFontSprite.h"
#include "VornLine.h"
#include "VornList.h"
#include "VornMath.h"
#include "VornPoint.h"
#include "VornPrimitive.h"
#include "VornSheet.h"
#include "VornSimple.h"
#include "VornSprite.h"
#include "VornSpriteEx.h"
#include "VornSystem.h"
#include "VornTexture.h"
#include <functional>

namespace draw2dtest {

using namespace vorntest;
constexpr int kSize = EngineSuite::kSize;
constexpr float kDepth = 32767.0f;   // the middle depth

// A vertex with rhw 1 and the given stage-0 texture coordinates.
inline VornVertex2D V(float x, float y, float z = 32767.0f, uint32_t colour = 0xFFFFFFFF, float u = 0.0f,
                      float v = 0.0f)
{
    return {x, y, z, 1.0f, colour, {{u, v}}};
}

class Draw2D : public vorntest::EngineSuite {
protected:
    static void SetUpTestSuite()
    {
        EngineSuite::SetUpTestSuite();
        VornMath::Initialize();
        if (ready_) unstarted_ = StartTables();
    }
    static void TearDownTestSuite()
    {
        StopTables();
        EngineSuite::TearDownTestSuite();
    }
    // The 2D tables as Vorn::Initialize starts them, with the 2D defaults of Vorn::Start; the sheet
    // table held to three records, which the sheet tests fill. What failed to start, or "".
    static std::string StartTables()
    {
        VornSheet::SetMax(3);
        const std::string failed = StartClasses<VornTexture, VornPrimitive, VornPoint, VornLine, VornSprite, VornSimple, VornList,
                                                VornSpriteEx, VornFont, VornFontSprite, VornSheet>();
        VornTexture::SetPixelOffset(-0.5f);
        VornTexture::SetTexelInset(0.5f);
        Vorn3D::SetZoom(false, kSize / 2.0f, kSize / 2.0f, 1.0f);
        Vorn3D::SetPerspective(false, kSize / 2.0f, kSize / 2.0f, 100.0f);
        Vorn3D::SetScissoring(false, nullptr);
        return failed;
    }
    // Ended last first.
    static void StopTables()
    {
        for (void (*finalize)() : {VornSheet::Finalize, VornFontSprite::Finalize, VornFont::Finalize, VornSpriteEx::Finalize,
                                   VornList::Finalize, VornSimple::Finalize, VornSprite::Finalize, VornLine::Finalize,
                                   VornPoint::Finalize, VornPrimitive::Finalize, VornTexture::Finalize})
            finalize();
    }
    void SetUp() override
    {
        EngineSuite::SetUp();
        ASSERT_NAMED({"2D table start-up that failed", unstarted_, ""});
        ASSERT_TRUE(NewScene());
        // Vertex colour only, opaque, unless a test binds textures.
        UseVertexColour();
        Vorn3D::SetAlphaEnable(false);
        Vorn3D::SetBlendMode(BLEND_OPAQUE);
    }
    // A test that draws nothing leaves its scene open: ended here (a second end does nothing). What
    // a test made goes with its tables, started again for the next test.
    void TearDown() override
    {
        Vorn3D::EndScene();
        StopTables();
        unstarted_ = StartTables();
        EngineSuite::TearDown();
    }
    // Clears to black and begins the next scene.
    static bool NewScene()
    {
        return Vorn3D::Clear(D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0, nullptr) && Vorn3D::BeginScene();
    }
    // Ends the scene and reads the back buffer (before any Present).
    bool Frame()
    {
        Vorn3D::EndScene();
        return ReadBack();
    }
    // Copies what a batch, list or sprite of class C holds to the device and draws it.
    template <typename C> static void Draw(VornHandle h)
    {
        C::UpdateBuffer(h);
        C::Rendering(h);
    }
    // Textures sample as they are.
    static void UseTextures()
    {
        Vorn3D::SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        Vorn3D::SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        Vorn3D::SetTextureFilter(false);
    }
    // A texture of the given size whose pixel (x, y) is colour(x, y).
    template <typename F>
    static VornTextureHandle MakeTexture(uint32_t width, uint32_t height, F colour)
    {
        const VornTextureHandle t = VornTexture::Create(width, height, VORN_FORMAT_EXACT | D3DFMT_A8R8G8B8);
        void* bits = nullptr;
        int32_t pitch = 0;
        if (t == VORN_INVALID_HANDLE || !VornTexture::Lock(t, &bits, &pitch, nullptr, nullptr, nullptr))
            return VORN_INVALID_HANDLE;
        for (uint32_t y = 0; y < height; ++y) {
            uint32_t* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(bits) + y * pitch);
            for (uint32_t x = 0; x < width; ++x) row[x] = colour(x, y);
        }
        VornTexture::Unlock(t);
        return t;
    }
    static inline std::string unstarted_;
};

// The vertices a batch of this vertex type stores, each widened to a whole vertex (the stages past
// its type zero).
inline std::vector<VornVertex2D> StoredVertices(VornPrimitiveHandle p, uint32_t type)
{
    const uint32_t stride = VornVertexStride2D(type);
    std::vector<VornVertex2D> out(VornPrimitive::GetVertexCount(p));
    const auto* data = static_cast<const uint8_t*>(VornPrimitive::GetVertexData(p));
    for (size_t i = 0; data && i < out.size(); ++i) memcpy(&out[i], data + i * stride, stride);
    return out;
}

// Takes every block the work area still has (a full work area); free them with FreeQuiet.
inline std::vector<void*> FillWorkArea()
{
    std::vector<void*> blocks;
    for (uint32_t size = 1u << 24; size >= 1; size /= 2)
        while (void* b = VornMemory::AllocQuiet(size, VornMemory::DEFAULT_TAG, __FILE__, __LINE__)) blocks.push_back(b);
    return blocks;
}

}  // namespace draw2dtest

namespace fonttest {

constexpr const char* kFace = "ＭＳ ゴシック";

class FontTest : public draw2dtest::Draw2D {
protected:
    static constexpr uint32_t kNone = VORN_INVALID_HANDLE;

    void SetUp() override
    {
        Draw2D::SetUp();
        font_ = VornFont::Create(kFace, 24, 0, 0);
        small_ = VornFont::Create(kFace, 16, 0, 0);
        ASSERT_TRUE(font_ != VORN_INVALID_HANDLE && small_ != VORN_INVALID_HANDLE) << font_ << " " << small_;
    }

    // Pixels in [x0,x1)x[y0,y1) of the last frame that are not black.
    int Ink(int x0, int y0, int x1, int y1) const
    {
        return (x1 - x0) * (y1 - y0) - frame_.Count(x0, y0, x1, y1, 0);
    }
    int32_t Height() const { return VornFont::GetRecord(font_)->metrics.tmHeight; }
    // Of the 24-pixel font unless another is given.
    ABC Metrics(uint16_t code, VornFontHandle font = kNone) const
    {
        ABC abc;
        VornFont::GetCharMetrics(font == kNone ? font_ : font, code, &abc);
        return abc;
    }

    VornFontHandle font_ = VORN_INVALID_HANDLE, small_ = VORN_INVALID_HANDLE;
};

}  // namespace fonttest
