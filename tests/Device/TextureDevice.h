// The engine's device with the surface and texture tables, and helpers to draw a textured or a flat
// rectangle straight to the device.
#pragma once
#include "EngineFixture.h"
#include "VornSurface.h"
#include "VornTexture.h"

namespace vorntest {

class EngineTest : public EngineSuite {
protected:
    static constexpr int kWidth = kSize;
    static constexpr int kHeight = kSize;

    // Capacities for the two tables (0 = the default).
    virtual uint32_t TextureMax() const { return 0; }
    virtual uint32_t SurfaceMax() const { return 0; }

    void SetUp() override
    {
        if (!Vorn3D::GetDevice()) StartDevice();   // a test before may have ended it
        EngineSuite::SetUp();
        VornSurface::SetMax(SurfaceMax());
        ASSERT_TRUE(VornSurface::Initialize());
        VornTexture::SetMax(TextureMax());
        ASSERT_TRUE(VornTexture::Initialize());
    }
    void TearDown() override
    {
        EngineSuite::TearDown();
        VornTexture::Finalize();
        VornSurface::Finalize();
        VornFile::SetRootPath("data", "data.bin");
    }

    static bool StartDevice() { return Vorn3D::Initialize() && Vorn3D::Start(window_, true); }
    IDirect3DDevice9* Device() const { return Vorn3D::GetDevice(); }

    // A textured rectangle in screen pixels, sampled from the whole texture (u, v 0..1), with
    // the engine's pixel offset.
    void DrawTexture(VornTextureHandle texture, float x, float y, float w, float h)
    {
        struct V { float x, y, z, rhw, u, v; };
        const float o = VornTexture::GetPixelOffset();
        const V quad[4] = {{x + o, y + o, 0.5f, 1.0f, 0.0f, 0.0f},
                           {x + w + o, y + o, 0.5f, 1.0f, 1.0f, 0.0f},
                           {x + o, y + h + o, 0.5f, 1.0f, 0.0f, 1.0f},
                           {x + w + o, y + h + o, 0.5f, 1.0f, 1.0f, 1.0f}};
        Vorn3D::SetTexture(0, texture);
        Device()->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
        Device()->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(V));
        Vorn3D::SetTexture(0, VORN_INVALID_HANDLE);
    }

    // A flat rectangle at depth z in one colour.
    void DrawFlat(float x, float y, float w, float h, float z, D3DCOLOR colour)
    {
        struct V { float x, y, z, rhw; D3DCOLOR c; };
        const V quad[4] = {{x, y, z, 1.0f, colour}, {x + w, y, z, 1.0f, colour}, {x, y + h, z, 1.0f, colour},
                           {x + w, y + h, z, 1.0f, colour}};
        Vorn3D::SetTexture(0, VORN_INVALID_HANDLE);
        Device()->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
        Device()->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(V));
    }
};

}  // namespace vorntest
