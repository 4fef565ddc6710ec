#include "DeviceFixture.h"
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace vorntest {

HWND CreateTestWindow(int width, int height, const char* title)
{
    HINSTANCE inst = GetModuleHandleA(nullptr);
    const WNDCLASSA wc = {0, DefWindowProcA, 0, 0, inst, nullptr, LoadCursor(nullptr, IDC_ARROW), nullptr, nullptr, "VornTestWindow"};
    RegisterClassA(&wc);   // refused once the class is there
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
    // Render targets here are 32-bit; X8R8G8B8 pixels are read as opaque. A render target is read
    // through a system-memory copy, another surface locked itself.
    D3DSURFACE_DESC desc;
    IDirect3DSurface9* copy = nullptr;
    if (!target || FAILED(target->GetDesc(&desc)) || (desc.Format != D3DFMT_A8R8G8B8 && desc.Format != D3DFMT_X8R8G8B8))
        return false;
    const bool direct = !(desc.Usage & D3DUSAGE_RENDERTARGET);
    if (!direct && FAILED(device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM, &copy, nullptr)))
        return false;
    IDirect3DSurface9* source = direct ? target : copy;
    D3DLOCKED_RECT lr;
    const bool ok = (direct || SUCCEEDED(device->GetRenderTargetData(target, copy))) &&
                    SUCCEEDED(source->LockRect(&lr, nullptr, D3DLOCK_READONLY));
    if (ok) {
        width_ = static_cast<int>(desc.Width);
        height_ = static_cast<int>(desc.Height);
        pixels_.resize(static_cast<size_t>(width_) * height_);
        for (int y = 0; y < height_; ++y)
            memcpy(&pixels_[static_cast<size_t>(y) * width_], static_cast<const uint8_t*>(lr.pBits) + static_cast<size_t>(y) * lr.Pitch,
                   static_cast<size_t>(width_) * 4);
        if (desc.Format == D3DFMT_X8R8G8B8)
            for (uint32_t& p : pixels_) p |= 0xFF000000u;
        source->UnlockRect();
    }
    if (copy) copy->Release();
    return ok;
}

bool Readback::ReadBackBuffer(IDirect3DDevice9* device) { return Read(device, BackBuffer(device)); }

int Readback::Count(int x0, int y0, int x1, int y1, uint32_t rgb) const
{
    int n = 0;
    for (int y = std::max(y0, 0); y < std::min(y1, height_); ++y)
        for (int x = std::max(x0, 0); x < std::min(x1, width_); ++x) n += Rgb(x, y) == (rgb & 0xFFFFFFu);
    return n;
}

bool Readback::Bounds(uint32_t rgb, int* x0, int* y0, int* x1, int* y1) const
{
    bool any = false;
    for (int y = 0; y < height_; ++y)   // rows top first: the first row found is the top, the last the bottom
        for (int x = 0; x < width_; ++x)
            if (Rgb(x, y) == (rgb & 0xFFFFFFu)) {
                *x0 = any ? std::min(*x0, x) : x;
                *x1 = any ? std::max(*x1, x) : x;
                *y0 = any ? *y0 : y;
                *y1 = y;
                any = true;
            }
    return any;
}

std::vector<unsigned char> MakeBmp(int width, int height, const std::vector<uint32_t>& pixels)
{
    const int rowSize = (width * 3 + 3) & ~3;
    const BITMAPINFOHEADER info = {40, width, height, 1, 24, BI_RGB, DWORD(rowSize * height)};
    const BITMAPFILEHEADER file = {0x4D42, DWORD(54 + info.biSizeImage), 0, 0, 54};
    std::vector<unsigned char> out(54 + info.biSizeImage, 0);
    memcpy(out.data(), &file, 14);
    memcpy(out.data() + 14, &info, 40);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                out[54 + static_cast<size_t>(height - 1 - y) * rowSize + x * 3 + c] =
                    static_cast<unsigned char>(pixels[static_cast<size_t>(y) * width + x] >> (8 * c));
    return out;
}

bool WriteFile(const std::string& path, const std::vector<unsigned char>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    return !out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size())).flush().fail();
}

bool Readback::SaveBmp(const std::string& path) const { return !pixels_.empty() && WriteFile(path, MakeBmp(width_, height_, pixels_)); }

std::string OutPath(const std::string& name) { return std::string(VORN_TEST_OUT) + "/" + name; }

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

IDirect3DSurface9* BackBuffer(IDirect3DDevice9* device)
{
    IDirect3DSurface9* back = nullptr;
    if (FAILED(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back))) return nullptr;
    back->Release();
    return back;
}

DWORD DeviceRenderState(IDirect3DDevice9* device, D3DRENDERSTATETYPE state)
{
    DWORD value = 0xDEADBEEF;
    EXPECT_TRUE(SUCCEEDED(device->GetRenderState(state, &value)));
    return value;
}

// What a device getter hands out, its reference let go at once (1 when the getter leaves it alone).
template <typename T, typename Get> T* Bound(Get get)
{
    T* object = reinterpret_cast<T*>(1);
    EXPECT_TRUE(SUCCEEDED(get(&object)));
    if (object && object != reinterpret_cast<T*>(1)) object->Release();
    return object;
}

IDirect3DBaseTexture9* BoundTexture(IDirect3DDevice9* device, DWORD stage)
{
    return Bound<IDirect3DBaseTexture9>([&](IDirect3DBaseTexture9** t) { return device->GetTexture(stage, t); });
}

IDirect3DVertexShader9* BoundVertexShader(IDirect3DDevice9* device)
{
    return Bound<IDirect3DVertexShader9>([&](IDirect3DVertexShader9** s) { return device->GetVertexShader(s); });
}

void SaveFrameOfFailure(Readback& frame, IDirect3DDevice9* device)
{
    if (!::testing::Test::HasFailure()) return;
    if (frame.Width() == 0 && device) frame.ReadBackBuffer(device);
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
    SaveFrameOfFailure(frame_, device_);
    if (device_) device_->Release();
    if (d3d_) d3d_->Release();
    if (window_) DestroyWindow(window_);
    PumpMessages();
}

}  // namespace vorntest
