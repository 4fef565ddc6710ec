// The platform the engine stands on: Shift-JIS text and a Direct3D 9 device that draws exact pixels.
#include "DeviceFixture.h"
#include <cstring>

using vorntest::DeviceTest;

TEST(ShiftJis, LiteralsAreCodePage932AndRoundTrip)
{
    const char* title = "トルメア";
    const unsigned char expected[] = {0x83, 0x67, 0x83, 0x8B, 0x83, 0x81, 0x83, 0x41, 0};
    EXPECT_EQ(0, memcmp(title, expected, sizeof expected));
    EXPECT_EQ(932u, GetACP());
    wchar_t wide[16] = {};
    ASSERT_EQ(5, MultiByteToWideChar(CP_ACP, 0, title, -1, wide, 16));
    EXPECT_STREQ(L"トルメア", wide);
}

TEST(ShiftJis, WindowCaptionReadsBackAsTheSameCharacters)
{
    HWND hwnd = vorntest::CreateTestWindow(64, 64, "トルメア ２重起動");
    ASSERT_NE(hwnd, nullptr);
    wchar_t wide[64] = {};
    GetWindowTextW(hwnd, wide, 64);
    EXPECT_STREQ(L"トルメア ２重起動", wide);
    char narrow[64] = {};
    GetWindowTextA(hwnd, narrow, 64);
    EXPECT_STREQ("トルメア ２重起動", narrow);
    DestroyWindow(hwnd);
}

struct ColorVertex {
    float x, y, z, rhw;
    D3DCOLOR color;
};

TEST_F(DeviceTest, ClearFillsTheWholeBackBuffer)
{
    ASSERT_TRUE(SUCCEEDED(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF204060, 1.0f, 0)));
    ASSERT_TRUE(ReadBack());
    ASSERT_EQ(kWidth, frame_.Width());
    EXPECT_EQ(kWidth * kHeight, frame_.Count(0, 0, kWidth, kHeight, 0x204060));
}

TEST_F(DeviceTest, PretransformedTriangleCoversExactPixels)
{
    ASSERT_TRUE(SUCCEEDED(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0)));
    ASSERT_TRUE(SUCCEEDED(device_->BeginScene()));
    device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    // A right triangle over the square (16,16)-(80,80): pixel centres strictly inside its lower-left half.
    const ColorVertex tri[3] = {
        {16.0f, 16.0f, 0.5f, 1.0f, 0xFFFF0000},
        {16.0f, 80.0f, 0.5f, 1.0f, 0xFFFF0000},
        {80.0f, 80.0f, 0.5f, 1.0f, 0xFFFF0000},
    };
    ASSERT_TRUE(SUCCEEDED(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(ColorVertex))));
    device_->EndScene();
    ASSERT_TRUE(ReadBack());

    // Pixel centres (x+0.5, y+0.5): inside when y > x. Centres on the diagonal lie on a right-hand
    // edge and the bottom edge is excluded, by the top-left fill rule.
    EXPECT_EQ(0xFF0000u, frame_.Rgb(16, 79));
    EXPECT_EQ(0xFF0000u, frame_.Rgb(16, 17));
    EXPECT_EQ(0x000000u, frame_.Rgb(16, 16));   // on the diagonal
    EXPECT_EQ(0x000000u, frame_.Rgb(79, 17));   // the other half of the square
    EXPECT_EQ(0x000000u, frame_.Rgb(15, 40));   // left of the left edge
    EXPECT_EQ(0x000000u, frame_.Rgb(40, 80));   // below the bottom edge
    int x0, y0, x1, y1;
    ASSERT_TRUE(frame_.Bounds(0xFF0000, &x0, &y0, &x1, &y1));
    EXPECT_EQ(16, x0);
    EXPECT_EQ(17, y0);
    EXPECT_EQ(78, x1);
    EXPECT_EQ(79, y1);
    EXPECT_EQ(63 * 64 / 2, frame_.Count(0, 0, kWidth, kHeight, 0xFF0000));
}
