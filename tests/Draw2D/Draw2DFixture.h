// The engine's own device on a 256x256 window, with the 2D classes started as Vorn::Initialize and
// Vorn::Start start them, and helpers to draw and read frames back.
#pragma once
#include "DeviceFixture.h"
#include "DrawChecks.h"
#include "Vorn.h"
#include "Vorn3D.h"
#include "VornLine.h"
#include "VornMath.h"
#include "VornMemory.h"
#include "VornPoint.h"
#include "VornPrimitive.h"
#include "VornSimple.h"
#include "VornSprite.h"
#include "VornTexture.h"
#include <gtest/gtest.h>
#include <cstdlib>

namespace draw2dtest {

constexpr int kSize = 256;

// A vertex with rhw 1 and the given stage-0 texture coordinates.
inline VornVertex2D V(float x, float y, float z = 32767.0f, uint32_t colour = 0xFFFFFFFF, float u = 0.0f,
                      float v = 0.0f)
{
    VornVertex2D out = {};
    out.x = x;
    out.y = y;
    out.z = z;
    out.rhw = 1.0f;
    out.colour = colour;
    out.tex[0] = {u, v};
    return out;
}

// |a - b| <= tolerance for each of R, G and B.
inline bool Near(uint32_t a, uint32_t b, int tolerance = 2)
{
    for (int shift = 0; shift < 24; shift += 8) {
        if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) > tolerance)
            return false;
    }
    return true;
}

class Draw2D : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        VornMemory::Initialize();
        VornMemory::SetWorkArea(64u << 20, true);
        VornMath::Initialize();
        Vorn::SetScreenInfo(kSize, kSize, true);
        window_ = vorntest::CreateTestWindow(kSize, kSize, "Draw2D");
        ready_ = window_ && Vorn3D::Initialize() && Vorn3D::Start(window_, true) && VornTexture::Initialize() &&
                 VornPrimitive::Initialize() && VornPoint::Initialize() && VornLine::Initialize() &&
                 VornSprite::Initialize() && VornSimple::Initialize();
        // The 2D defaults of Vorn::Start.
        VornTexture::SetPixelOffset(-0.5f);
        VornTexture::SetTexelInset(0.5f);
        Vorn3D::SetZoom(false, kSize / 2.0f, kSize / 2.0f, 1.0f);
        Vorn3D::SetPerspective(false, kSize / 2.0f, kSize / 2.0f, 100.0f);
    }
    static void TearDownTestSuite()
    {
        VornSimple::Finalize();
        VornSprite::Finalize();
        VornLine::Finalize();
        VornPoint::Finalize();
        VornPrimitive::Finalize();
        VornTexture::Finalize();
        Vorn3D::Finalize();
        if (window_) DestroyWindow(window_);
    }
    void SetUp() override
    {
        ASSERT_TRUE(ready_);
        ASSERT_TRUE(NewScene());
        // Vertex colour only, opaque, unless a test binds textures.
        Vorn3D::SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
        Vorn3D::SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
        Vorn3D::SetAlphaEnable(false);
        Vorn3D::SetBlendMode(BLEND_OPAQUE);
    }
    void TearDown() override
    {
        if (HasFailure() && frame_.Width() == 0) frame_.ReadBackBuffer(Vorn3D::GetDevice());
        if (HasFailure()) {
            const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
            frame_.SavePng(vorntest::OutPath(std::string(info->test_suite_name()) + "." + info->name() + ".png"));
        }
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
        return frame_.ReadBackBuffer(Vorn3D::GetDevice());
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

    vorntest::Readback frame_;
    static HWND window_;
    static bool ready_;
};

inline HWND Draw2D::window_;
inline bool Draw2D::ready_;

}  // namespace draw2dtest
