// The stage field: a 400 x 400-quad height field (320,000 triangles) cut by the mesh splitter at
// level 5 (16 x 16 cells) with scale 500, the same field loaded from X text on the engine's device,
// and one cell's weld, hashed against the plain pairwise weld. Prints figures; asserts nothing.
#include "BenchClock.h"
#include "Vorn.h"
#include "Vorn3D.h"
#include "VornField.h"
#include "VornLog.h"
#include "VornMath.h"
#include "VornMemory.h"
#include "VornMeshSplitter.h"
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kQuads = 400;

float Height(int i, int k) { return 3.0f * std::sin(i * 0.07f) * std::cos(k * 0.05f); }

VornMeshSplitterVertex GridVertex(int i, int k)
{
    const float u = static_cast<float>(i) / kQuads, v = static_cast<float>(k) / kQuads;
    return VornMeshSplitterVertex{static_cast<float>(i), Height(i, k), static_cast<float>(k), 0, 1, 0, 1, 0, 0, 0, 0, 1,
                                  1, 1, 1, 1, u, v};
}

// Two triangles per quad, wound clockwise seen from above.
std::vector<VornMeshSplitterTriangle> HeightField()
{
    std::vector<VornMeshSplitterTriangle> out;
    out.reserve(2u * kQuads * kQuads);
    for (int k = 0; k < kQuads; ++k)
        for (int i = 0; i < kQuads; ++i) {
            out.push_back({0, {GridVertex(i, k), GridVertex(i, k + 1), GridVertex(i + 1, k + 1)}});
            out.push_back({0, {GridVertex(i, k), GridVertex(i + 1, k + 1), GridVertex(i + 1, k)}});
        }
    return out;
}

std::string XText()
{
    std::string x = "xof 0303txt 0032\nMesh {\n" + std::to_string((kQuads + 1) * (kQuads + 1)) + ";\n";
    char line[96];
    for (int k = 0; k <= kQuads; ++k)
        for (int i = 0; i <= kQuads; ++i) {
            snprintf(line, sizeof line, "%d.0;%.4f;%d.0;%s\n", i, Height(i, k), k, (i == kQuads && k == kQuads) ? ";" : ",");
            x += line;
        }
    x += std::to_string(2 * kQuads * kQuads) + ";\n";
    auto at = [](int i, int k) { return k * (kQuads + 1) + i; };
    for (int k = 0; k < kQuads; ++k)
        for (int i = 0; i < kQuads; ++i) {
            const bool last = i == kQuads - 1 && k == kQuads - 1;
            snprintf(line, sizeof line, "3;%d,%d,%d;,3;%d,%d,%d;%s\n", at(i, k), at(i, k + 1), at(i + 1, k + 1), at(i, k),
                     at(i + 1, k + 1), at(i + 1, k), last ? ";" : ",");
            x += line;
        }
    x += "MeshTextureCoords {\n" + std::to_string((kQuads + 1) * (kQuads + 1)) + ";\n";
    for (int k = 0; k <= kQuads; ++k)
        for (int i = 0; i <= kQuads; ++i) {
            snprintf(line, sizeof line, "%.4f;%.4f;%s\n", static_cast<float>(i) / kQuads, static_cast<float>(k) / kQuads,
                     (i == kQuads && k == kQuads) ? ";" : ",");
            x += line;
        }
    return x + "}\n}\n";
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) { return DefWindowProcA(hwnd, msg, wp, lp); }

}  // namespace

int main()
{
    const std::vector<VornMeshSplitterTriangle> field = HeightField();
    VornMeshSplitter splitter;
    const double start = Now();
    const double reported = splitter.Convert(field.data(), static_cast<int32_t>(field.size()), 16, 500);
    const double convertSeconds = Now() - start;
    if (reported < 0.0) {
        printf("field bench: the conversion failed\n");
        return 1;
    }
    printf("field: Convert of %zu triangles at level 5, scale 500: %.3f s (goal 1 s; reported %.3f s)\n", field.size(),
           convertSeconds, reported);

    // One cell's unshared vertices (cell (0, 0): 25 x 25 quads), welded both ways.
    std::vector<VornMeshSplitterVertex> cell;
    for (const VornMeshSplitterTriangle& t : field)
        if (t.v[0].px < 25.0f && t.v[0].pz < 25.0f)
            for (const VornMeshSplitterVertex& v : t.v) cell.push_back(v);
    std::vector<uint32_t> plain(cell.size()), hashed(cell.size());
    double t0 = Now();
    const uint32_t plainCount = VornMeshSplitter::WeldPlain(cell.data(), static_cast<uint32_t>(cell.size()), 0.01f, plain.data());
    const double plainSeconds = Now() - t0;
    t0 = Now();
    const uint32_t hashedCount =
        VornMeshSplitter::WeldHashed(cell.data(), static_cast<uint32_t>(cell.size()), 0.01f, hashed.data());
    const double hashedSeconds = Now() - t0;
    printf("field: one cell's weld of %zu vertices to %u: plain %.4f s, hashed %.4f s (%.0fx faster, %s)\n", cell.size(),
           plainCount, plainSeconds, hashedSeconds, plainSeconds / (hashedSeconds > 0 ? hashedSeconds : 1e-9),
           plainCount == hashedCount && plain == hashed ? "same result" : "RESULTS DIFFER");

    VornMemory::Initialize();
    VornMemory::SetWorkArea(256u << 20, false);
    VornMath::Initialize();
    VornLog::SetFileName("field_bench");   // the load's lines, for a failure
    VornLog::Open("field bench");
    Vorn::SetScreenInfo(320, 240, true);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VornFieldBench";
    RegisterClassA(&wc);
    HWND window = CreateWindowA("VornFieldBench", "field bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 320, 240, nullptr,
                                nullptr, wc.hInstance, nullptr);
    if (!window || !Vorn3D::Initialize() || !Vorn3D::Start(window, true) || !VornField::Initialize()) {
        printf("field bench: no device\n");
        return 1;
    }
    const std::string x = XText();
    t0 = Now();
    const VornFieldHandle h =
        VornField::CreateFromMemory(x.data(), static_cast<uint32_t>(x.size()), 5, 500, VORN_FORMAT_NONE, false);
    const double createSeconds = Now() - t0;
    printf("field: CreateFromMemory of the same field as X text (%.1f MB): %.3f s%s\n", x.size() / 1048576.0, createSeconds,
           h == VORN_INVALID_HANDLE ? " (FAILED)" : "");
    // The mesh has more than 65,535 vertices, so it comes with 32-bit indices: a wrong reading
    // would put the ground elsewhere. Heights at grid points, scaled by 500 / 400.
    float worst = 0;
    for (int i = 3; i < kQuads; i += 37) {
        const float s = 500.0f / kQuads;
        VornVector3 ground(0, 1e9f, 0);
        VornField::HitCheckDown(h, VornVector3(i * s, 100, (i / 2) * s), &ground, nullptr, nullptr);
        worst = std::max(worst, std::fabs(ground.y - Height(i, i / 2) * s));
    }
    printf("field: ground heights read back through HitCheckDown: %s (worst %.4f)\n", worst < 0.01f ? "match" : "MISMATCH",
           worst);
    VornField::Finalize();
    Vorn3D::Finalize();
    VornLog::Close();
    DestroyWindow(window);
    return h == VORN_INVALID_HANDLE ? 1 : 0;
}
