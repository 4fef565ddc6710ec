// Models: an X file of the player's size (55 x 55 grid = 3,025 vertices, a chain of 24 bones with
// up to four influences per vertex, one animation set of 24 animations with 200 rotation keys each)
// built in memory as text, the same without skin and animation, and a large rigid grid. Prints the
// medians of VornModel::CreateFromMemory + Release, VornModelEx::CreateFromMemory + Release and the
// platform's hierarchy loader (D3DXLoadMeshHierarchyFromXInMemory with our allocator, then
// D3DXFrameDestroy) on the same bytes, each class's ratio to the platform (goals: VornModel at most
// 1.1, VornModelEx at most 1.0), and the Rendering time of 20 animated models. Then the load times of
// one compressed mesh of 2,400, 24,000 and 240,000 identical faces in each class (they should grow
// with the faces, not their square). Asserts nothing.
#include "BenchClock.h"
#include "Vorn.h"
#include "Vorn3D.h"
#include "VornAnimation.h"
#include "VornCamera.h"
#include "VornLight.h"
#include "VornLog.h"
#include "VornMath.h"
#include "VornMemory.h"
#include "VornModel.h"
#include "VornModelEx.h"
#include "VornModelSub.h"
#include "VornXFormat.h"
#include "VornShaderFx.h"
#include "VornTexture.h"
#include "XFileWriter.h"
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kBones = 24, kKeys = 200;

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// full: the skin and the animation set; without them only the frames and the mesh. The skin
// templates are written in the file: the platform's hierarchy loader needs them there.
std::string XText(bool full, int kGrid = 55)
{
    char line[160];
    std::string x = std::string(kVornXSkinTemplates);
    x += "Frame Root {\n";
    for (int b = 0; b < kBones; ++b) {
        snprintf(line, sizeof line, "Frame Bone%d { FrameTransformMatrix { 1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,%.1f,0.0,1.0;; } }\n",
                 b, static_cast<double>(b));
        x += line;
    }
    x += "Mesh body {\n" + std::to_string(kGrid * kGrid) + ";\n";
    for (int k = 0; k < kGrid; ++k)
        for (int i = 0; i < kGrid; ++i) {
            snprintf(line, sizeof line, "%.4f;%.4f;0.0;%s\n", i * 0.1f - 2.7f, k * (kBones / float(kGrid)),
                     (i == kGrid - 1 && k == kGrid - 1) ? ";" : ",");
            x += line;
        }
    const int quads = (kGrid - 1) * (kGrid - 1);
    x += std::to_string(2 * quads) + ";\n";
    for (int k = 0; k + 1 < kGrid; ++k)
        for (int i = 0; i + 1 < kGrid; ++i) {
            const int a = k * kGrid + i;
            snprintf(line, sizeof line, "3;%d,%d,%d;,3;%d,%d,%d;%s\n", a, a + kGrid, a + kGrid + 1, a, a + kGrid + 1, a + 1,
                     (k == kGrid - 2 && i == kGrid - 2) ? ";" : ",");
            x += line;
        }
    x += "MeshMaterialList { 1; " + std::to_string(2 * quads) + "; ";
    for (int f = 0; f < 2 * quads; ++f) x += f + 1 < 2 * quads ? "0," : "0;";
    x += " Material { 0.8;0.8;0.8;1.0;; 8.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;; } }\n";
    if (!full) return x + "}\n}\n";
    x += "XSkinMeshHeader { 4; 12; " + std::to_string(kBones) + "; }\n";
    // Row k lies at height k * 24 / 55; it leans on the four bones nearest to it.
    std::vector<std::vector<std::pair<int, float>>> byBone(kBones);
    for (int k = 0; k < kGrid; ++k) {
        const float h = k * (kBones / float(kGrid));
        const int b0 = std::min(kBones - 4, std::max(0, static_cast<int>(h) - 1));
        float w[4], sum = 0;
        for (int n = 0; n < 4; ++n) sum += (w[n] = 1.0f / (1.0f + std::fabs(h - (b0 + n))));
        for (int i = 0; i < kGrid; ++i)
            for (int n = 0; n < 4; ++n) byBone[b0 + n].push_back({k * kGrid + i, w[n] / sum});
    }
    for (int b = 0; b < kBones; ++b) {
        x += "SkinWeights { \"Bone" + std::to_string(b) + "\"; " + std::to_string(byBone[b].size()) + ";\n";
        for (size_t n = 0; n < byBone[b].size(); ++n) x += std::to_string(byBone[b][n].first) + (n + 1 < byBone[b].size() ? "," : ";\n");
        for (size_t n = 0; n < byBone[b].size(); ++n) {
            snprintf(line, sizeof line, "%.4f%s", byBone[b][n].second, n + 1 < byBone[b].size() ? "," : ";\n");
            x += line;
        }
        snprintf(line, sizeof line, "1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,%.1f,0.0,1.0;; }\n", -static_cast<double>(b));
        x += line;
    }
    x += "}\n}\n";
    x += "AnimationSet Walk {\n";
    for (int b = 0; b < kBones; ++b) {
        x += "Animation { {Bone" + std::to_string(b) + "} AnimationKey { 0; " + std::to_string(kKeys) + ";\n";
        for (int k = 0; k < kKeys; ++k) {
            const float a = 0.1f * std::sin(k * 0.1f + b);
            snprintf(line, sizeof line, "%d;4;%.5f,0.0,0.0,%.5f;;%s\n", k * 10, std::cos(a), std::sin(a), k + 1 < kKeys ? "," : ";");
            x += line;
        }
        x += "} }\n";
    }
    return x + "}\n";
}

// One mesh of one triangle given faces times, compressed.
std::string IdenticalFaces(int faces)
{
    std::string x = "xof 0303txt 0032\nMesh m { 3; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;; " + std::to_string(faces) + ";\n";
    for (int f = 0; f < faces; ++f) x += f + 1 < faces ? "3;0,1,2;,\n" : "3;0,1,2;;\n";
    return XFileWriter::Compress(x + "}\n");
}

// Bone 0 of the palette only: a cost figure for our drawing path, not a skinning shader.
const char kEffect[] =
    "float4x4 mTransform; float4x4 mBoneMatrixArray[24];\n"
    "float4 VS(float4 p : POSITION) : POSITION { return mul(mul(p, mBoneMatrixArray[0]), mTransform); }\n"
    "float4 PS() : COLOR0 { return float4(0, 1, 0, 1); }\n"
    "technique T { pass { CullMode = NONE; VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); } }\n";

LRESULT CALLBACK WindowProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); }

}  // namespace

int main()
{
    VornMemory::Initialize();
    VornMemory::SetWorkArea(256u << 20, false);
    VornMath::Initialize();
    Vorn::SetScreenInfo(320, 240, true);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VornModelExBench";
    RegisterClassA(&wc);
    HWND window = CreateWindowA("VornModelExBench", "modelex bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 320, 240,
                                nullptr, nullptr, wc.hInstance, nullptr);
    if (!window || !Vorn3D::Initialize() || !Vorn3D::Start(window, true) || !VornAnimation::Initialize() ||
        !VornTexture::Initialize() || !VornShaderFx::Initialize() || !VornCamera::Initialize() || !VornLight::Initialize() ||
        !VornModel::Initialize() || !VornModelEx::Initialize()) {
        printf("modelex bench: no device\n");
        return 1;
    }
    // Medians of each class's load + release and of the platform's hierarchy load on the same bytes.
    bool ok = true;
    auto compare = [&ok](const std::string& x, const char* what) {
        const uint32_t size = static_cast<uint32_t>(x.size());
        std::vector<double> model, modelEx, platform;
        HRESULT hr = S_OK;
        for (int run = 0; run < 7; ++run) {
            double t0 = Now();
            const VornModelHandle s = VornModel::CreateFromMemory(x.data(), size);
            ok = ok && s != VORN_INVALID_HANDLE;
            VornModel::Release(s);
            model.push_back(Now() - t0);
            t0 = Now();
            const VornModelExHandle m = VornModelEx::CreateFromMemory(x.data(), size, 2, 0, 0);
            ok = ok && m != VORN_INVALID_HANDLE && VornModelEx::GetModel(m)->meshList[0]->ready;
            VornModelEx::Release(m);
            modelEx.push_back(Now() - t0);
            t0 = Now();
            VornModelSub sub;
            D3DXFRAME* root = nullptr;
            ID3DXAnimationController* animation = nullptr;
            hr = D3DXLoadMeshHierarchyFromXInMemory(x.data(), size, D3DXMESH_MANAGED, Vorn3D::GetDevice(), &sub, nullptr,
                                                    &root, &animation);
            if (root) D3DXFrameDestroy(root, &sub);
            if (animation) animation->Release();
            platform.push_back(Now() - t0);
        }
        const double a = Median(model), e = Median(modelEx), p = Median(platform);
        printf("model: %s (%.0f KB X text): VornModel %.2f ms, VornModelEx %.2f ms, ", what, x.size() / 1024.0, a * 1e3, e * 1e3);
        if (SUCCEEDED(hr))
            printf("D3DX hierarchy loader %.2f ms: ratios VornModel %.2f (goal <= 1.1), VornModelEx %.2f (goal <= 1.0)\n", p * 1e3,
                   a / p, e / p);
        else
            printf("D3DX hierarchy loader refused the file (0x%08lX after %.2f ms)\n", static_cast<unsigned long>(hr), p * 1e3);
    };
    const std::string x = XText(true);
    const uint32_t size = static_cast<uint32_t>(x.size());
    compare(x, "3,025 vertices, 24 bones, up to 4 influences, 24 animations of 200 keys");
    compare(XText(false), "the same frames and mesh without skin and animation");
    compare(XText(false, 250), "62,500 vertices in 25 frames, rigid");
    for (const int faces : {2400, 24000, 240000}) {
        const std::string x = IdenticalFaces(faces);
        const uint32_t n = static_cast<uint32_t>(x.size());
        double t0 = Now();
        const VornModelHandle s = VornModel::CreateFromMemory(x.data(), n);
        const double a = Now() - t0;
        t0 = Now();
        const VornModelExHandle m = VornModelEx::CreateFromMemory(x.data(), n, 2, 0, 0);
        const double e = Now() - t0;
        ok = ok && s != VORN_INVALID_HANDLE && m != VORN_INVALID_HANDLE;
        VornModel::Release(s);
        VornModelEx::Release(m);
        printf("model: %d identical faces (%u bytes compressed): VornModel %.3f s, VornModelEx %.3f s\n", faces, n, a, e);
        if (a > 30 || e > 30) break;   // (the next would take a hundred times as long)
    }
    if (!ok) printf("modelex: A LOAD FAILED\n");

    VornModelExHandle models[20];
    for (int i = 0; i < 20; ++i) {
        models[i] = VornModelEx::CreateFromMemory(x.data(), size, 2, 0, 0);
        VornModelEx::SetShaderFromMemory(models[i], kEffect, sizeof kEffect - 1, -1);
        VornModelEx::SetParameterFlags(models[i], 0x39, -1);
        VornModelEx::SetAnimationSet(models[i], 0);
    }
    const VornCameraHandle camera = VornCamera::Create();
    VornCamera::CreateProjection(camera, 1.0f, 1.0f, 500.0f, 4.0f / 3.0f);
    VornCamera::TransformInit(camera);
    VornCamera::SetPosition(camera, 0, 12, -60);
    VornCamera::TransformUpdate(camera);
    Vorn3D::SetCamera(camera);
    std::vector<double> frames;
    uint32_t primitives = 0;
    for (int f = 0; f < 60; ++f) {
        Vorn3D::Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0, nullptr);
        Vorn3D::BeginScene();
        double seconds = 0;
        for (int i = 0; i < 20; ++i) {
            VornModelEx::TransformInit(models[i]);
            VornModelEx::SetPosition(models[i], (i % 5) * 8.0f - 16.0f, 0, (i / 5) * 8.0f);
            VornModelEx::TransformUpdate(models[i], f * 10.0f, true);
            const double t0 = Now();
            primitives = VornModelEx::Rendering(models[i]);
            seconds += Now() - t0;
        }
        Vorn3D::EndScene();
        Vorn3D::Present(nullptr);
        frames.push_back(seconds);
    }
    printf("modelex: Rendering of 20 models (%u triangles each, %u bone combinations): median %.3f ms per frame\n", primitives,
           VornModelEx::GetModel(models[0])->meshList[0]->combinationCount, Median(frames) * 1e3);
    VornModelEx::Finalize();
    VornModel::Finalize();
    VornShaderFx::Finalize();
    VornTexture::Finalize();
    VornCamera::Finalize();
    VornAnimation::Finalize();
    Vorn3D::Finalize();
    DestroyWindow(window);
    return ok ? 0 : 1;
}
