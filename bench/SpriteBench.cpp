// VornSprite against the platform's ID3DXSprite: the same 10,000 textured 8x8 quads per frame
// on the same device, frames per second of each and their ratio. The two take turns for several
// rounds and the best round of each counts, so that a busy machine disturbs them alike. Beside it
// the CPU time a frame of each, split into the drawing thread and the platform's own threads (under
// Wine the Direct3D command stream and Mesa's rasteriser, which draw the same triangles for both),
// and the CPU time of VornSprite's batch path alone (push, upload, draw call; no Present).
#include "BenchClock.h"
#include "Vorn.h"
#include "Vorn3D.h"
#include "VornMath.h"
#include "VornMemory.h"
#include "VornPrimitive.h"
#include "VornList.h"
#include "VornSheet.h"
#include "VornSprite.h"
#include "VornSpriteEx.h"
#include "VornTexture.h"
#include <d3dx9.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int kWidth = 640, kHeight = 480;
constexpr int kQuads = 10000;
constexpr float kQuadSize = 8.0f;
constexpr double kSeconds = 1.0;
constexpr int kRounds = 5;

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) { return DefWindowProcA(hwnd, msg, wp, lp); }

HWND MakeWindow()
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VornSpriteBench";
    RegisterClassA(&wc);
    RECT r = {0, 0, kWidth, kHeight};
    AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
    return CreateWindowA("VornSpriteBench", "VornSpriteBench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                         r.right - r.left, r.bottom - r.top, nullptr, nullptr, wc.hInstance, nullptr);
}

// What a run of frames gave: frames per second, and CPU milliseconds a frame of the whole process
// and of this thread.
struct Figures {
    double fps, cpu, thread;
};

// Runs frames of the given drawing for kSeconds (and at least minFrames) after some warm-up
// frames.
template <typename DrawFrame>
Figures Measure(DrawFrame draw, int warmFrames = 5, int minFrames = 1)
{
    auto frame = [&] {
        Vorn3D::Clear(D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0, nullptr);
        if (Vorn3D::BeginScene()) {
            draw();
            Vorn3D::EndScene();
        }
        Vorn3D::Present(nullptr);
    };
    for (int warm = 0; warm < warmFrames; ++warm) frame();
    const double cpu = ProcessCpu(), thread = ThreadCpu();
    const double start = Now();
    int frames = 0;
    double elapsed = 0.0;
    do {
        frame();
        ++frames;
        elapsed = Now() - start;
    } while (elapsed < kSeconds || frames < minFrames);
    return {frames / elapsed, (ProcessCpu() - cpu) * 1000.0 / frames, (ThreadCpu() - thread) * 1000.0 / frames};
}

// VornSpriteEx against VornSprite: the same squares (two triangles each) per frame. Every stored
// VornSpriteEx triangle is a list node from the work area, whose mode is part of the figure.
void SpriteExFigures(VornTextureHandle texture, const std::vector<VornRect>& places, const char* mode)
{
    const VornRect source = {0, 0, 32, 32};
    const VornTextureHandle textures[4] = {texture, VORN_INVALID_HANDLE, VORN_INVALID_HANDLE, VORN_INVALID_HANDLE};
    for (int triangles : {1000, 10000}) {
        const int squares = triangles / 2;
        const VornSpriteHandle sprite = VornSprite::Create(squares * 6, 1, false);
        VornSprite::SetTexture(sprite, 0, texture);
        const double spriteFps = Measure([&] {
            VornSprite::ResetBuffer(sprite);
            for (int i = 0; i < squares; ++i) VornSprite::DrawSquare(sprite, &places[i], 32767.0f, &source, 0xFFFFFFFF, 1);
            VornSprite::UpdateBuffer(sprite);
            VornSprite::Rendering(sprite);
        }, 1, 3).fps;
        VornSprite::Release(sprite);
        const double exFps = Measure([&] {
            VornSpriteEx::ResetBuffer();
            for (int i = 0; i < squares; ++i)
                VornSpriteEx::DrawSquare(&places[i], 32767.0f, &source, 0xFFFFFFFF, textures, BLEND_ALPHA);
            VornSpriteEx::Rendering();
        }, 1, 3).fps;
        VornSpriteEx::ResetBuffer();
        printf("  %5d triangles, %s work area: VornSpriteEx %8.1f frames/s, VornSprite %8.1f frames/s, ratio %.2f\n",
               triangles, mode, exFps, spriteFps, spriteFps > 0.0 ? exFps / spriteFps : 0.0);
    }
}

// A 2048 x 2048 sheet (64 pieces) from a BMP in memory, decoded once, against one whole-image
// decode times the 64 that decoding per piece would take.
void SheetFigures()
{
    constexpr int kSide = 2048;
    const int row = kSide * 3;
    std::vector<unsigned char> bmp(54 + static_cast<size_t>(row) * kSide);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) bmp[at + i] = static_cast<unsigned char>(v >> (8 * i));
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    const uint32_t fields[][2] = {{2, uint32_t(bmp.size())}, {10, 54}, {14, 40}, {18, kSide}, {22, kSide}, {26, 1}, {28, 24}};
    for (const auto& f : fields) put32(f[0], f[1]);
    for (size_t i = 54; i < bmp.size(); ++i) bmp[i] = static_cast<unsigned char>(i * 7);
    const uint32_t size = static_cast<uint32_t>(bmp.size());
    double best = 1e9, decode = 1e9;
    for (int round = 0; round < 3; ++round) {
        const double t0 = Now();
        const VornSheetHandle sheet = VornSheet::CreateFromMemory(bmp.data(), size, VORN_FORMAT_EXACT | D3DFMT_A8R8G8B8, 0);
        best = std::min(best, Now() - t0);
        VornSheet::Release(sheet);
        IDirect3DSurface9* scratch = nullptr;
        Vorn3D::GetDevice()->CreateOffscreenPlainSurface(kSide, kSide, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &scratch, nullptr);
        const double t1 = Now();
        if (scratch) D3DXLoadSurfaceFromFileInMemory(scratch, nullptr, nullptr, bmp.data(), size, nullptr, 0x80004, 0, nullptr);
        decode = std::min(decode, Now() - t1);
        if (scratch) scratch->Release();
    }
    printf("sheet bench: 2048x2048 image, 64 pieces\n");
    printf("  VornSheet::CreateFromMemory  %8.1f ms (the image decoded once)\n", best * 1000.0);
    printf("  decoding per piece           %8.1f ms (64 x %.1f ms whole-image decodes)\n", 64 * decode * 1000.0,
           decode * 1000.0);
    printf("  ratio                        %8.2f\n", best > 0.0 ? 64 * decode / best : 0.0);
}

}  // namespace

int main(int argc, char** argv)
{
    // The figures of VornSpriteEx in the debug work area come from a second run of this program.
    const bool debugArea = argc > 1 && strcmp(argv[1], "--debug-area") == 0;
    VornMemory::Initialize();
    VornMemory::SetWorkArea(64u << 20, debugArea);
    VornMath::Initialize();
    Vorn::SetScreenInfo(kWidth, kHeight, true);
    HWND window = MakeWindow();
    if (!window || !Vorn3D::Initialize() || !Vorn3D::Start(window, true) || !VornTexture::Initialize() ||
        !VornPrimitive::Initialize() || !VornSprite::Initialize() || !VornList::Initialize() ||
        !VornSpriteEx::Initialize() || !VornSheet::Initialize()) {
        printf("sprite bench: no device\n");
        return 1;
    }
    VornTexture::SetPixelOffset(-0.5f);
    VornTexture::SetTexelInset(0.5f);
    Vorn3D::SetAlphaEnable(true);
    Vorn3D::SetBlendMode(BLEND_ALPHA);

    const VornTextureHandle texture = VornTexture::Create(32, 32, VORN_FORMAT_EXACT | D3DFMT_A8R8G8B8);
    VornTexture::ColorFill(texture, 0xFFC08040);
    std::vector<VornRect> places(kQuads);
    for (int i = 0; i < kQuads; ++i)
        places[i] = {static_cast<float>((i * 37) % (kWidth - 16)), static_cast<float>((i * 53) % (kHeight - 16)),
                     kQuadSize, kQuadSize};
    const VornRect source = {0, 0, 32, 32};
    if (debugArea) {
        SpriteExFigures(texture, places, "debug");
        return 0;
    }

    const VornSpriteHandle sprite = VornSprite::Create(kQuads * 6, 1, false);
    VornSprite::SetTexture(sprite, 0, texture);
    auto vornFrame = [&] {
        VornSprite::ResetBuffer(sprite);
        for (const VornRect& place : places) VornSprite::DrawSquare(sprite, &place, 32767.0f, &source, 0xFFFFFFFF, 1);
        VornSprite::UpdateBuffer(sprite);
        VornSprite::Rendering(sprite);
    };

    ID3DXSprite* d3dxSprite = nullptr;
    if (FAILED(D3DXCreateSprite(Vorn3D::GetDevice(), &d3dxSprite))) {
        printf("sprite bench: D3DXCreateSprite failed\n");
        return 1;
    }
    IDirect3DTexture9* d3dTexture = VornTexture::GetTexture(texture);
    const RECT sourceRect = {0, 0, 32, 32};
    D3DXMATRIX scale;
    const D3DXVECTOR2 half(kQuadSize / 32.0f, kQuadSize / 32.0f);
    auto d3dxFrame = [&] {
        d3dxSprite->Begin(D3DXSPRITE_ALPHABLEND);
        for (const VornRect& place : places) {
            const D3DXVECTOR2 at(place.x, place.y);
            D3DXMatrixTransformation2D(&scale, nullptr, 0.0f, &half, nullptr, 0.0f, &at);
            d3dxSprite->SetTransform(&scale);
            d3dxSprite->Draw(d3dTexture, &sourceRect, nullptr, nullptr, 0xFFFFFFFF);
        }
        d3dxSprite->End();
    };
    // Per figure the best round: the most frames per second, the least CPU a frame.
    const double loadStart = MachineLoad();
    Figures vorn = {0.0, 1e9, 1e9}, d3dx = vorn;
    auto keepBest = [](Figures& best, const Figures& f) {
        best = {std::max(best.fps, f.fps), std::min(best.cpu, f.cpu), std::min(best.thread, f.thread)};
    };
    for (int round = 0; round < kRounds; ++round) {
        keepBest(vorn, Measure(vornFrame));
        keepBest(d3dx, Measure(d3dxFrame));   // ID3DXSprite saves and restores the states
    }
    d3dxSprite->Release();
    const double vornFps = vorn.fps, d3dxFps = d3dx.fps;

    // The batch path alone, without Present: push, upload and the draw call, per frame.
    double pushTime = 0.0, uploadTime = 0.0, drawTime = 0.0, fastestPush = 1e9;
    constexpr int kCpuFrames = 60;
    for (int frame = 0; frame < kCpuFrames; ++frame) {
        Vorn3D::Clear(D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0, nullptr);
        Vorn3D::BeginScene();
        const double t0 = Now();
        VornSprite::ResetBuffer(sprite);
        for (const VornRect& place : places) VornSprite::DrawSquare(sprite, &place, 32767.0f, &source, 0xFFFFFFFF, 1);
        const double t1 = Now();
        VornSprite::UpdateBuffer(sprite);
        const double t2 = Now();
        VornSprite::Rendering(sprite);
        const double t3 = Now();
        Vorn3D::EndScene();
        Vorn3D::Present(nullptr);
        pushTime += t1 - t0;
        fastestPush = std::min(fastestPush, t1 - t0);
        uploadTime += t2 - t1;
        drawTime += t3 - t2;
    }

    printf("sprite bench: %d textured %gx%g quads per frame\n", kQuads, kQuadSize, kQuadSize);
    printf("  VornSprite   %8.1f frames/s\n", vornFps);
    printf("  ID3DXSprite  %8.1f frames/s\n", d3dxFps);
    const double ratio = d3dxFps > 0.0 ? vornFps / d3dxFps : 0.0;
    printf("  ratio        %8.2f (goal >= 1.5: %s); a quad's push %.0f ns in the fastest of %d frames, %.0f ns on\n"
           "  average (goal: tens of ns)\n",
           ratio, ratio >= 1.5 ? "met" : "MISSED", fastestPush * 1e9 / kQuads, kCpuFrames,
           pushTime * 1e9 / (kCpuFrames * kQuads));
    printf("  CPU time a frame, all threads (the drawing thread + the platform's): VornSprite %.2f ms (%.2f + %.2f),\n"
           "  ID3DXSprite %.2f ms (%.2f + %.2f); ratio %.2f\n",
           vorn.cpu, vorn.thread, vorn.cpu - vorn.thread, d3dx.cpu, d3dx.thread, d3dx.cpu - d3dx.thread,
           vorn.cpu > 0.0 ? d3dx.cpu / vorn.cpu : 0.0);
    const double loadEnd = MachineLoad();
    if (loadStart >= 0.0 && loadEnd >= 0.0)
        printf("  machine load average (1 min) at the start and the end: %.2f, %.2f\n", loadStart, loadEnd);
    printf("  VornSprite batch path, CPU per frame: push %.3f ms + upload %.3f ms + draw call %.3f ms = %.3f ms\n",
           pushTime * 1000.0 / kCpuFrames, uploadTime * 1000.0 / kCpuFrames, drawTime * 1000.0 / kCpuFrames,
           (pushTime + uploadTime + drawTime) * 1000.0 / kCpuFrames);

    VornSprite::Release(sprite);
    printf("sprite ex bench: VornSpriteEx against VornSprite, the same textured squares\n");
    SpriteExFigures(texture, places, "release");
    fflush(stdout);
    char path[MAX_PATH] = {}, command[MAX_PATH + 32] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    snprintf(command, sizeof command, "\"%s\" --debug-area", path);
    STARTUPINFOA startup = {sizeof startup};
    PROCESS_INFORMATION process = {};
    if (CreateProcessA(nullptr, command, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    SheetFigures();

    VornSheet::Finalize();
    VornSpriteEx::Finalize();
    VornList::Finalize();
    VornSprite::Finalize();
    VornPrimitive::Finalize();
    VornTexture::Finalize();
    Vorn3D::Finalize();
    DestroyWindow(window);
    return 0;
}
