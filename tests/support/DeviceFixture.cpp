#include "DeviceFixture.h"
#include <zlib.h>
#include <cstdio>
#include <cstring>

namespace vorntest {

static LRESULT CALLBACK TestWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    return DefWindowProcA(hwnd, msg, wp, lp);
}

HWND CreateTestWindow(int width, int height, const char* title)
{
    static bool registered = false;
    HINSTANCE inst = GetModuleHandleA(nullptr);
    if (!registered) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = TestWindowProc;
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

static void PutBE32(std::vector<unsigned char>& out, uint32_t v)
{
    for (int i = 3; i >= 0; --i) out.push_back(static_cast<unsigned char>(v >> (i * 8)));
}

static void PutChunk(std::vector<unsigned char>& out, const char* type, const std::vector<unsigned char>& data)
{
    PutBE32(out, static_cast<uint32_t>(data.size()));
    size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    PutBE32(out, static_cast<uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
}

bool WritePng(const std::string& path, int width, int height, const std::vector<uint32_t>& pixels)
{
    if (pixels.empty()) return false;
    std::vector<unsigned char> raw;
    raw.reserve(static_cast<size_t>(height) * (1 + width * 3));
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);  // no filter
        for (int x = 0; x < width; ++x)
            for (int shift : {16, 8, 0}) raw.push_back(static_cast<unsigned char>(pixels[static_cast<size_t>(y) * width + x] >> shift));
    }
    uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
    std::vector<unsigned char> packed(packed_size);
    if (compress(packed.data(), &packed_size, raw.data(), static_cast<uLong>(raw.size())) != Z_OK) return false;
    packed.resize(packed_size);

    std::vector<unsigned char> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<unsigned char> ihdr;
    PutBE32(ihdr, static_cast<uint32_t>(width));
    PutBE32(ihdr, static_cast<uint32_t>(height));
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});  // 8-bit RGB
    PutChunk(png, "IHDR", ihdr);
    PutChunk(png, "IDAT", packed);
    PutChunk(png, "IEND", {});
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(png.data(), 1, png.size(), f) == png.size();
    return fclose(f) == 0 && ok;
}

bool Readback::SavePng(const std::string& path) const { return WritePng(path, width_, height_, pixels_); }

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
    frame.SavePng(OutPath(std::string(info->test_suite_name()) + "." + info->name() + ".png"));
}

void DeviceTest::SetUp()
{
    window_ = CreateTestWindow(kWidth, kHeight, "VornDeviceTest");
    ASSERT_NE(window_, nullptr);
    d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d_, nullptr);
    D3DPRESENT_PARAMETERS pp = {};
    pp.BackBufferWidth = kWidth;
    pp.BackBufferHeight = kHeight;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.hDeviceWindow = window_;
    pp.Windowed = TRUE;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = D3DFMT_D24S8;
    pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
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
