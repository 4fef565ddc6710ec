#include "DeviceFixture.h"
#include <cstdio>
#include <cstring>

namespace vorntest {

HWND CreateTestWindow(int width, int height, const char* title)
{
    static bool registered = false;
    HINSTANCE inst = GetModuleHandleA(nullptr);
    if (!registered) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = inst;
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.lpszClassName = "VornTestWindow";
        if (!RegisterClassA(&wc)) return nullptr;
        registered = true;
    }
    RECT r = {0, 0, width, height};
    DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    AdjustWindowRect(&r, style, FALSE);
    HWND hwnd = CreateWindowA("VornTestWindow", title, style | WS_VISIBLE, 0, 0, r.right - r.left,
                              r.bottom - r.top, nullptr, nullptr, inst, nullptr);
    PumpMessages();
    return hwnd;
}

void PumpMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

bool Readback::Read(IDirect3DDevice9* device, IDirect3DSurface9* target)
{
    D3DSURFACE_DESC desc;
    if (FAILED(target->GetDesc(&desc))) return false;
    IDirect3DSurface9* copy = nullptr;
    if (FAILED(device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM,
                                                   &copy, nullptr)))
        return false;
    bool ok = false;
    if (SUCCEEDED(device->GetRenderTargetData(target, copy))) {
        D3DLOCKED_RECT lr;
        if (SUCCEEDED(copy->LockRect(&lr, nullptr, D3DLOCK_READONLY))) {
            width_ = static_cast<int>(desc.Width);
            height_ = static_cast<int>(desc.Height);
            pixels_.assign(static_cast<size_t>(width_) * height_, 0);
            for (int y = 0; y < height_; ++y) {
                const uint8_t* row = static_cast<const uint8_t*>(lr.pBits) + static_cast<size_t>(y) * lr.Pitch;
                for (int x = 0; x < width_; ++x) {
                    uint32_t v = 0;
                    switch (desc.Format) {
                    case D3DFMT_A8R8G8B8: memcpy(&v, row + x * 4, 4); break;
                    case D3DFMT_X8R8G8B8: memcpy(&v, row + x * 4, 4); v |= 0xFF000000u; break;
                    case D3DFMT_R5G6B5: {
                        uint16_t p; memcpy(&p, row + x * 2, 2);
                        uint32_t r = (p >> 11) & 31, g = (p >> 5) & 63, b = p & 31;
                        v = 0xFF000000u | ((r * 255 / 31) << 16) | ((g * 255 / 63) << 8) | (b * 255 / 31);
                        break;
                    }
                    default: break;
                    }
                    pixels_[static_cast<size_t>(y) * width_ + x] = v;
                }
            }
            copy->UnlockRect();
            ok = true;
        }
    }
    copy->Release();
    return ok;
}

bool Readback::ReadBackBuffer(IDirect3DDevice9* device)
{
    IDirect3DSurface9* back = nullptr;
    if (FAILED(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back))) return false;
    bool ok = Read(device, back);
    back->Release();
    return ok;
}

int Readback::Count(int x0, int y0, int x1, int y1, uint32_t rgb) const
{
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (x >= 0 && y >= 0 && x < width_ && y < height_ && Rgb(x, y) == (rgb & 0xFFFFFFu)) ++n;
    return n;
}

bool Readback::Bounds(uint32_t rgb, int* x0, int* y0, int* x1, int* y1) const
{
    bool any = false;
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x)
            if (Rgb(x, y) == (rgb & 0xFFFFFFu)) {
                if (!any) { *x0 = *x1 = x; *y0 = *y1 = y; any = true; }
                if (x < *x0) *x0 = x;
                if (x > *x1) *x1 = x;
                if (y < *y0) *y0 = y;
                if (y > *y1) *y1 = y;
            }
    return any;
}

std::vector<unsigned char> MakeBmp(int width, int height, const std::vector<uint32_t>& pixels)
{
    const int rowSize = (width * 3 + 3) & ~3;
    std::vector<unsigned char> out(54 + static_cast<size_t>(rowSize) * height, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) out[at + i] = static_cast<unsigned char>(v >> (8 * i));
    };
    out[0] = 'B';
    out[1] = 'M';
    const uint32_t fields[][2] = {{2, uint32_t(out.size())}, {10, 54}, {14, 40}, {18, uint32_t(width)},
                                  {22, uint32_t(height)}, {26, 1}, {28, 24}, {34, uint32_t(out.size() - 54)}};
    for (const auto& field : fields) put32(field[0], field[1]);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                out[54 + static_cast<size_t>(height - 1 - y) * rowSize + x * 3 + c] =
                    static_cast<unsigned char>(pixels[static_cast<size_t>(y) * width + x] >> (8 * c));
    return out;
}

bool WriteFile(const std::string& path, const std::vector<unsigned char>& bytes)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

bool Readback::SaveBmp(const std::string& path) const { return !pixels_.empty() && WriteFile(path, MakeBmp(width_, height_, pixels_)); }

std::string OutPath(const std::string& name)
{
    return std::string(VORN_TEST_OUT) + "/" + name;
}

std::string ReadFile(const std::string& path)
{
    std::string text;
    if (FILE* f = fopen(path.c_str(), "rb")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
        fclose(f);
    }
    return text;
}

DWORD DeviceRenderState(IDirect3DDevice9* device, D3DRENDERSTATETYPE state)
{
    DWORD value = 0xDEADBEEF;
    EXPECT_TRUE(SUCCEEDED(device->GetRenderState(state, &value)));
    return value;
}

IDirect3DBaseTexture9* BoundTexture(IDirect3DDevice9* device, DWORD stage)
{
    IDirect3DBaseTexture9* texture = reinterpret_cast<IDirect3DBaseTexture9*>(1);
    EXPECT_TRUE(SUCCEEDED(device->GetTexture(stage, &texture)));
    if (texture && texture != reinterpret_cast<IDirect3DBaseTexture9*>(1)) texture->Release();
    return texture;
}

IDirect3DVertexShader9* BoundVertexShader(IDirect3DDevice9* device)
{
    IDirect3DVertexShader9* shader = reinterpret_cast<IDirect3DVertexShader9*>(1);
    EXPECT_TRUE(SUCCEEDED(device->GetVertexShader(&shader)));
    if (shader && shader != reinterpret_cast<IDirect3DVertexShader9*>(1)) shader->Release();
    return shader;
}

void SaveFrameOfFailure(const Readback& frame)
{
    if (!::testing::Test::HasFailure()) return;
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    frame.SaveBmp(OutPath(std::string(info->test_suite_name()) + "." + info->name() + ".bmp"));
}

void DeviceTest::SetUp()
{
    window_ = CreateTestWindow(kWidth, kHeight, "VornDeviceTest");
    ASSERT_NE(window_, nullptr);
    d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d_, nullptr);
    // Windowed, one X8R8G8B8 back buffer discarded at each present, D24S8 depth, no vertical sync.
    D3DPRESENT_PARAMETERS pp = {kWidth, kHeight, D3DFMT_X8R8G8B8, 1, D3DMULTISAMPLE_NONE, 0, D3DSWAPEFFECT_DISCARD, window_, TRUE,
                                TRUE, D3DFMT_D24S8, 0, 0, D3DPRESENT_INTERVAL_IMMEDIATE};
    HRESULT hr = d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window_,
                                    D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &device_);
    ASSERT_TRUE(SUCCEEDED(hr)) << "CreateDevice failed: 0x" << std::hex << hr;
}

void DeviceTest::TearDown()
{
    SaveFrameOfFailure(frame_);
    if (device_) device_->Release();
    if (d3d_) d3d_->Release();
    if (window_) DestroyWindow(window_);
    PumpMessages();
}

}  // namespace vorntest
