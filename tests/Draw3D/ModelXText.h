// X files as text for the model tests (quads, frame matrices, skin weights and animation keys), and
// the model suites' scene.
#pragma once
#include "EngineFixture.h"
#include "VornAnimation.h"
#include "VornCamera.h"
#include "VornLight.h"
#include "VornMath.h"
#include "VornModelEx.h"
#include "VornShaderFx.h"
#include "VornTexture.h"
#include <array>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace vorntest {

// The classes a skinned model needs, started in order around a test and ended again.
inline bool StartModelExClasses()
{
    return VornMath::Initialize() && VornAnimation::Initialize() && VornTexture::Initialize() && VornShaderFx::Initialize() &&
           VornCamera::Initialize() && VornLight::Initialize() && VornModelEx::Initialize();
}
inline void EndModelExClasses()
{
    VornModelEx::Finalize();
    VornShaderFx::Finalize();
    VornTexture::Finalize();
    VornCamera::Finalize();
    VornAnimation::Finalize();
    VornMath::Finalize();
}

// The engine's device with the classes C started, the current camera 2 units before the origin, and
// fixed-function drawing unlit, without culling or depth test.
template <typename... C> class ModelScene : public EngineWith<C...> {
protected:
    void SetUp() override
    {
        EngineWith<C...>::SetUp();
        camera_ = EngineSuite::UseCamera(-2.0f);
        Vorn3D::SetRenderState(D3DRS_LIGHTING, FALSE);
        Vorn3D::SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        Vorn3D::SetRenderState(D3DRS_ZENABLE, FALSE);
    }
    VornCameraHandle camera_ = VORN_INVALID_HANDLE;
};

inline std::string F(float v)
{
    char b[32];
    snprintf(b, sizeof b, "%.4f", v);
    return b;
}

struct XCorner {
    float x, y, z;
};
using XQuadCorners = std::vector<std::array<XCorner, 4>>;

// A mesh of quads, each four corners and two faces (0, 1, 2 and 0, 2, 3); extra text goes inside it.
inline std::string QuadMesh(const std::string& name, const XQuadCorners& quads, const std::string& extra)
{
    std::string v, f;
    for (size_t q = 0; q < quads.size(); ++q) {
        for (const XCorner& c : quads[q]) v += (v.empty() ? "" : ",\n") + F(c.x) + ";" + F(c.y) + ";" + F(c.z) + ";";
        const std::string a = std::to_string(4 * q), b = std::to_string(4 * q + 1), c = std::to_string(4 * q + 2),
                          d = std::to_string(4 * q + 3);
        f += (q ? ",\n3;" : "3;") + a + "," + b + "," + c + ";,\n3;" + a + "," + c + "," + d + ";";
    }
    return "Mesh " + name + " {\n" + std::to_string(4 * quads.size()) + ";\n" + v + ";\n" + std::to_string(2 * quads.size()) +
           ";\n" + f + ";\n" + extra + "}\n";
}

// A quad in the plane z from (x0, y0) to (x1, y1): four vertices, two faces, one material whose
// colour, emissive and texture the caller may give (none: no material list; faces: the list's
// face indices); extra text goes inside the mesh.
inline std::string Quad(const std::string& name, float x0, float y0, float x1, float y1, float z, const std::string& extra = "",
                 const std::string& material = "1.0;0.0;0.0;1.0;;0.0;0.0;0.0;0.0;;0.0;0.0;0.0;;",
                 const std::string& faces = "2; 0, 0;;")
{
    const std::string list = material.empty() ? "" : "MeshMaterialList { 1; " + faces + " Material { " + material + " } }\n";
    return QuadMesh(name, {{{{x0, y0, z}, {x1, y0, z}, {x1, y1, z}, {x0, y1, z}}}}, list + extra);
}

// Row i of a matrix (3: its translation), each element rounded to 4 places, to compare as a list.
inline std::vector<float> MatrixRow(const D3DXMATRIX& m, int i)
{
    std::vector<float> v;
    for (int k = 0; k < 3; ++k) v.push_back(std::round(m.m[i][k] * 1e4f) / 1e4f);
    return v;
}

inline std::string Matrix(float x = 0, float y = 0, float z = 0)
{
    return "1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0,0.0," + F(x) + "," + F(y) + "," + F(z) + ",1.0;;";
}

inline std::string Skin(const std::string& bone, const std::vector<int>& vertices, const std::vector<float>& weights)
{
    std::string s = "SkinWeights { \"" + bone + "\"; " + std::to_string(vertices.size()) + "; ";
    for (size_t i = 0; i < vertices.size(); ++i) s += std::to_string(vertices[i]) + (i + 1 < vertices.size() ? "," : ";");
    for (size_t i = 0; i < weights.size(); ++i) s += F(weights[i]) + (i + 1 < weights.size() ? "," : ";");
    return s + " " + Matrix() + " }\n";
}

inline std::string Key(int type, const std::vector<std::pair<int, std::vector<float>>>& keys)
{
    std::string s = "AnimationKey { " + std::to_string(type) + "; " + std::to_string(keys.size()) + ";\n";
    for (size_t k = 0; k < keys.size(); ++k) {
        s += std::to_string(keys[k].first) + ";" + std::to_string(keys[k].second.size()) + ";";
        for (size_t i = 0; i < keys[k].second.size(); ++i) s += F(keys[k].second[i]) + (i + 1 < keys[k].second.size() ? "," : "");
        s += k + 1 < keys.size() ? ";;,\n" : ";;;\n";
    }
    return s + "}\n";
}

inline const std::string kHead = "xof 0303txt 0032\n";

// A frame with its matrix moved to (x, y, z) around body.
inline std::string MovedFrame(const std::string& name, float x, float y, float z, const std::string& body)
{
    return "Frame " + name + " { FrameTransformMatrix { " + Matrix(x, y, z) + " } " + body + "}\n";
}

// The two-bone quad: Bone0 holds the left vertices, Bone1 the right ones; extra text goes inside the mesh.
inline std::string TwoBoneQuad(const std::string& extra = "")
{
    const std::string skin = "XSkinMeshHeader { 1; 2; 2; }\n" + Skin("Bone0", {0, 3}, {1, 1}) + Skin("Bone1", {1, 2}, {1, 1});
    return kHead + "Frame Root { Frame Bone0 { } Frame Bone1 { } " + Quad("skin", -1, -1, 1, 1, 0, skin + extra) + "}\n";
}

}  // namespace vorntest
