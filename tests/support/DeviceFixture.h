// Test support: a window with a Direct3D 9 device, and reading back what was drawn.
#pragma once
#include "Checks.h"
#include <windows.h>
#include <d3d9.h>

namespace vorntest {

// A visible top-level window of the given client size (made with a plain window class).
HWND CreateTestWindow(int width, int height, const char* title);
void PumpMessages();

// Pixels of a 32-bit surface (a render target read through a system-memory copy, another surface
// locked) as A8R8G8B8 words (Read refuses other formats).
class Readback {
public:
    bool Read(IDirect3DDevice9* device, IDirect3DSurface9* target);
    bool ReadBackBuffer(IDirect3DDevice9* device);
    uint32_t At(int x, int y) const { return pixels_[static_cast<size_t>(y) * width_ + x] ; }
    uint32_t Rgb(int x, int y) const { return At(x, y) & 0x00FFFFFFu; }
    // The RGB as a colour that prints in hex, for named checks: {"corner", frame.Hex(0, 0), Argb{0xFF0000}}.
    Argb Hex(int x, int y) const { return Argb{Rgb(x, y)}; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    // Number of pixels in [x0,x1)x[y0,y1) whose RGB equals rgb.
    int Count(int x0, int y0, int x1, int y1, uint32_t rgb) const;
    // Bounding box of pixels whose RGB equals rgb; false when there is none.
    bool Bounds(uint32_t rgb, int* x0, int* y0, int* x1, int* y1) const;
    bool SaveBmp(const std::string& path) const;

private:
    std::vector<uint32_t> pixels_;
    int width_ = 0, height_ = 0;
};

// A 24-bit BMP file of the given pixels (rows top first, 0x00RRGGBB; the high byte is not written).
std::vector<unsigned char> MakeBmp(int width, int height, const std::vector<uint32_t>& pixels);
bool WriteFile(const std::string& path, const std::vector<unsigned char>& bytes);

// Output folder of the tests; files written there survive the run.
std::string OutPath(const std::string& name);

// The whole file as bytes; empty when it cannot be read.
std::string ReadFile(const std::string& path);

// The device's back buffer, or null (its reference let go at once: the device keeps one).
IDirect3DSurface9* BackBuffer(IDirect3DDevice9* device);

// What the device holds now: a render state, the texture of a stage, the vertex shader (the
// pointers only compared, their references let go).
DWORD DeviceRenderState(IDirect3DDevice9* device, D3DRENDERSTATETYPE state);
IDirect3DBaseTexture9* BoundTexture(IDirect3DDevice9* device, DWORD stage = 0);
IDirect3DVertexShader9* BoundVertexShader(IDirect3DDevice9* device);

// Saves the frame (the device's back buffer when none was read) as <suite>.<test>.bmp in the output
// folder when the running test has failed.
void SaveFrameOfFailure(Readback& frame, IDirect3DDevice9* device);

// A test with its own window and HAL device (windowed, X8R8G8B8 back buffer, D24S8 depth).
// When a test fails, the last read-back frame is saved as <suite>.<test>.bmp in the output folder.
class DeviceTest : public ::testing::Test {
protected:
    static constexpr int kWidth = 256;
    static constexpr int kHeight = 256;
    void SetUp() override;
    void TearDown() override;
    bool ReadBack() { return frame_.ReadBackBuffer(device_); }

    HWND window_ = nullptr;
    IDirect3D9* d3d_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
    Readback frame_;
};

}  // namespace vorntest
