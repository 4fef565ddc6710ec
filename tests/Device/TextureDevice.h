// A test with the engine's own device (Vorn3D started on a test window) and the surface and
// texture tables, plus small helpers: in-memory BMP files, a textured screen quad, folders of
// test data.
#pragma once
#include "DeviceFixture.h"
#include "TextureTestSupport.h"
#include "Vorn.h"
#include "Vorn3D.h"
#include "VornSurface.h"
#include "VornTexture.h"
#include <windows.h>
#include <string>
#include <vector>

namespace texturetest {

// A 24-bit BMP file of the given pixels (rows top first, 0x00RRGGBB).
inline std::vector<unsigned char> MakeBmp(int width, int height, const std::vector<uint32_t>& pixels)
{
    const int rowSize = (width * 3 + 3) & ~3;
    const uint32_t dataSize = static_cast<uint32_t>(rowSize * height);
    std::vector<unsigned char> out(54 + dataSize, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) out[at + i] = static_cast<unsigned char>(v >> (8 * i));
    };
    out[0] = 'B';
    out[1] = 'M';
    put32(2, static_cast<uint32_t>(out.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height));
    out[26] = 1;
    out[28] = 24;
    put32(34, dataSize);
    for (int y = 0; y < height; ++y) {
        unsigned char* row = out.data() + 54 + static_cast<size_t>(height - 1 - y) * rowSize;
        for (int x = 0; x < width; ++x) {
            const uint32_t p = pixels[static_cast<size_t>(y) * width + x];
            row[x * 3] = static_cast<unsigned char>(p);
            row[x * 3 + 1] = static_cast<unsigned char>(p >> 8);
            row[x * 3 + 2] = static_cast<unsigned char>(p >> 16);
        }
    }
    return out;
}

// A folder of its own for one test (tests run side by side in one output folder); "\" paths.
inline std::string TestFolder()
{
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string folder = std::string("tex_") + info->test_suite_name() + "_" + info->name();
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

inline void MakeFolders(const std::string& path)
{
    for (size_t at = path.find('\\'); at != std::string::npos; at = path.find('\\', at + 1))
        CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    CreateDirectoryA(path.c_str(), nullptr);
}

class EngineTest : public ::testing::Test {
protected:
    static constexpr int kWidth = 256;
    static constexpr int kHeight = 256;

    // Capacities for the two tables (0 = the default).
    virtual uint32_t TextureMax() const { return 0; }
    virtual uint32_t SurfaceMax() const { return 0; }

    void SetUp() override
    {
        StartServices();
        Vorn::SetScreenInfo(kWidth, kHeight, true);
        window_ = vorntest::CreateTestWindow(kWidth, kHeight, "VornTextureTest");
        ASSERT_NE(nullptr, window_);
        ASSERT_TRUE(StartDevice());
        VornSurface::SetMax(SurfaceMax());
        ASSERT_TRUE(VornSurface::Initialize());
        VornTexture::SetMax(TextureMax());
        ASSERT_TRUE(VornTexture::Initialize());
    }

    void TearDown() override
    {
        if (HasFailure()) {
            const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
            frame_.SavePng(vorntest::OutPath(std::string(info->test_suite_name()) + "." + info->name() + ".png"));
        }
        VornTexture::Finalize();
        VornSurface::Finalize();
        Vorn3D::Finalize();
        if (window_) DestroyWindow(window_);
        vorntest::PumpMessages();
    }

    bool StartDevice() { return Vorn3D::Initialize() && Vorn3D::Start(window_, true); }
    IDirect3DDevice9* Device() const { return Vorn3D::GetDevice(); }
    bool ReadBack() { return frame_.ReadBackBuffer(Device()); }

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

    HWND window_ = nullptr;
    vorntest::Readback frame_;
};

}  // namespace texturetest
