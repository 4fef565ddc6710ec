// X files as people write them, through our reader: one file in every encoding gives one document,
// refusals and missing references are log lines, both model classes agree on frames, boxes, spheres
// and animated matrices for every case, and the static model draws what it once lost (a rigid mesh
// with a bone-less skin in its moved frame, a mesh without a material list).
#include "EngineFixture.h"
#include "ModelXText.h"
#include "VornField.h"
#include "VornModel.h"
#include "VornXFormat.h"
#include "XFileWriter.h"

using namespace vorntest;

namespace {

const std::string kWhole = "1,0,0,0,0,1,0,0,0,0,1,0,2,0,0,1;;";   // a matrix without decimal points

// One file with an inline template, a reference by name and by GUID, whole-number floats and a long name.
const std::string kSample =
    kHead + "template Note { <01020304-0506-0708-090A-0B0C0D0E0F10> DWORD n; array FLOAT v[n]; }\n" +
    "Note { 2; 1.5, 2; }\n" + "Material Red { 1;0;0;1;; 5; 0;0;0;; 0;0;0;; }\n" +
    "Frame Root { <11111111-2222-3333-4444-555555555555> FrameTransformMatrix { " + kWhole + " }\n" +
    MovedFrame(std::string(300, 'n'), 0, 1, 0, Quad("q", 0, 0, 1, 1, 0, "", "", "")) + "}\n" +
    "AnimationSet Walk { Animation { { Root } { <11111111-2222-3333-4444-555555555555> }\n" +
    Key(2, {{0, {0, 0, 0}}, {10, {1, 2, 3}}}) + "} }\n";

class XFile
    : public ModelScene<VornMath, VornAnimation, VornTexture, VornShaderFx, VornCamera, VornLight, VornModel, VornModelEx, VornField> {
protected:
    static std::pair<VornModelHandle, VornModelExHandle> LoadBoth(const std::string& file)
    {
        const uint32_t n = static_cast<uint32_t>(file.size());
        return {VornModel::CreateFromMemory(file.data(), n), VornModelEx::CreateFromMemory(file.data(), n, 2, 0, 0)};
    }
    // The static model's frames in the skinned class's order: each frame, its siblings, then its children.
    static void Frames(D3DXFRAME* f, std::vector<VornModelFrame*>* out)
    {
        if (!f) return;
        out->push_back(static_cast<VornModelFrame*>(f));
        Frames(f->pFrameSibling, out);
        Frames(f->pFrameFirstChild, out);
    }
    // What a user made of a file: its triangles (-1: refused) and their x extent, its last mesh's
    // bones and diffuse colour, and the red lines of the load (tags taken out).
    struct Made {
        int triangles = -1;
        float minX = 1e9f, maxX = -1e9f;
        uint32_t bones = 0, diffuse = 0;
        std::string red;
        void Add(const VornBox& box, uint32_t faces, uint32_t boneCount, const D3DCOLORVALUE& c)
        {
            bones = boneCount;
            diffuse = D3DCOLOR_COLORVALUE(c.r, c.g, c.b, c.a);
            triangles += static_cast<int>(faces);
            for (const VornVector3& corner : box.corner) {
                minX = faces ? std::min(minX, corner.x) : minX;
                maxX = faces ? std::max(maxX, corner.x) : maxX;
            }
        }
    };
    // User 0 VornModel, 1 VornModelEx (both posed at ticks), 2 VornField.
    static Made Make(int user, const std::string& file, float ticks)
    {
        Made made;
        LogCapture log;
        const uint32_t n = static_cast<uint32_t>(file.size());
        const VornHandle h = user == 0   ? VornModel::CreateFromMemory(file.data(), n)
                             : user == 1 ? VornModelEx::CreateFromMemory(file.data(), n, 2, 0, 0)
                                         : VornField::CreateFromMemory(file.data(), n, 1, -1, VORN_FORMAT_NONE, false);
        const std::string text = log.Text();
        for (size_t at = text.find(RedStart("")); at != std::string::npos; at = text.find(RedStart(""), at + 1)) {
            const std::string line = text.substr(at, text.find("<BR>", at) - at);
            for (size_t i = 0; i < line.size(); ++i) {
                if (line[i] == '<') i = line.find('>', i);
                else made.red += line[i];
            }
            made.red += '\n';
        }
        made.triangles = h == VORN_INVALID_HANDLE ? -1 : 0;
        if (const VornModelRecord* r = user == 0 ? VornModel::GetModel(h) : nullptr) {
            VornModel::TransformUpdate(h, ticks / 4800.0f);
            for (uint32_t i = 0; i < r->containerCount; ++i) {
                const VornModelContainer& c = *r->containers[i];
                made.Add(c.cullingBox, c.faceCount, c.boneCount, c.pMaterials[0].MatD3D.Diffuse);
            }
        }
        if (const VornModelExRecord* r = user == 1 ? VornModelEx::GetModel(h) : nullptr) {
            VornModelEx::SetAnimationSet(h, 0);
            VornModelEx::TransformInit(h);
            VornModelEx::TransformUpdate(h, ticks, true);
            for (uint32_t i = 0; i < r->meshCount; ++i) {
                const VornModelExMesh& m = *r->meshList[i];
                made.Add(m.cullingBox, m.indexCount / 3, m.boneCount, m.materialCount ? m.materials[0].material.Diffuse : D3DCOLORVALUE{});
            }
        }
        if (const VornFieldRecord* r = user == 2 ? VornField::GetRecord(h) : nullptr) {
            made.triangles = static_cast<int>(r->blocks[0].indexCount / 3);
            made.minX = r->blocks[0].min.x;
            made.maxX = r->blocks[0].max.x;
        }
        (user == 0 ? VornModel::Release : user == 1 ? VornModelEx::Release : VornField::Release)(h);
        return made;
    }
    // Both classes: the same frames with the same matrices, the same meshes with the same boxes
    // (the skinned class thickens a flat box by 0.001) and spheres.
    static void ExpectAgree(VornModelHandle a, VornModelExHandle b, const std::string& what)
    {
        std::vector<VornModelFrame*> frames;
        Frames(VornModel::GetModel(a)->root, &frames);
        const VornModelExRecord& ex = *VornModelEx::GetModel(b);
        ASSERT_EQ(frames.size(), ex.frameCount) << what;
        for (size_t i = 0; i < frames.size(); ++i)
            for (int k = 0; k < 16; ++k)
                EXPECT_NEAR((&frames[i]->combined._11)[k], (&ex.frameList[i]->combined.Get()->_11)[k], 1e-4f)
                    << what << ", frame " << i << " (" << ex.frameList[i]->name << "), _" << k / 4 + 1 << k % 4 + 1;
        const VornModelRecord& st = *VornModel::GetModel(a);
        ASSERT_EQ(st.containerCount, ex.meshCount) << what;
        for (uint32_t i = 0; i < ex.meshCount; ++i) {
            const VornModelContainer& c = *st.containers[i];
            const VornModelExMesh& m = *ex.meshList[i];
            const float s[] = {c.boxMin.x, c.boxMin.y, c.boxMin.z, c.boxMax.x, c.boxMax.y, c.boxMax.z, c.radius, c.centre.x, c.centre.y, c.centre.z};
            const float e[] = {m.boxMin.x, m.boxMin.y, m.boxMin.z, m.boxMax.x, m.boxMax.y, m.boxMax.z, m.radius, m.centre.x, m.centre.y, m.centre.z};
            const char* names[] = {"box min x", "box min y", "box min z", "box max x", "box max y", "box max z", "radius", "centre x", "centre y", "centre z"};
            for (int k = 0; k < 10; ++k) EXPECT_NEAR(s[k], e[k], 1.1e-3f) << what << ", mesh " << i << " (" << m.name << "), " << names[k];
        }
    }
};

TEST(XReader, OneFileInEveryEncodingGivesOneDocument)
{
    VornXDocument text;
    ASSERT_TRUE(text.Parse(kSample.data(), kSample.size()));
    ASSERT_EQ(12u, text.objects.size());   // Note, Red, Root {matrix, n... {matrix, q}}, Walk {Animation {2 references, keys}}
    const std::string binary = XFileWriter::ToBinary(kSample);
    const std::string wide = kHead.substr(0, 12) + "0064" + kSample.substr(16);
    const std::pair<std::string, std::string> forms[] = {{"bin", binary},
                                                         {"tzip", XFileWriter::Compress(kSample)},
                                                         {"bzip", XFileWriter::Compress(binary)},
                                                         {"0064", wide}};
    for (const auto& form : forms) {
        SCOPED_TRACE(form.first);
        VornXDocument doc;
        ASSERT_TRUE(doc.Parse(form.second.data(), form.second.size()));
        ASSERT_EQ(text.objects.size(), doc.objects.size());
        for (size_t i = 0; i < doc.objects.size(); ++i) {
            SCOPED_TRACE("object " + std::to_string(i) + " (" + text.objects[i].name.substr(0, 20) + ")");
            const VornXObject &t = text.objects[i], &o = doc.objects[i];
            EXPECT_NAMED({"type", o.type, t.type}, {"name", o.name, t.name}, {"reference", int(o.reference), int(t.reference)}, {"target", o.target, t.target},
                         {"first cell", o.first, t.first}, {"cells", o.count, t.count}, {"first child", o.child, t.child}, {"next", o.next, t.next});
        }
        EXPECT_NAMED({"cells", doc.cells, text.cells}, {"strings", doc.strings, text.strings});
    }
    // The long name kept whole; both references found, one by name, one by GUID.
    const VornXObject& root = text.objects[2];
    int references = 0;
    for (const VornXObject& o : text.objects) references += o.reference && text.Resolve(o) == &root;
    EXPECT_NAMED({"the long name", text.objects[4].name, std::string(300, 'n')}, {"references to Root", references, 2});   // ("2" read as a float: the binary forms hold its value)
}

TEST_F(XFile, ThePlatformParserReadsTheWritersEncodings)
{
    const std::string text = kHead + "Frame R { " + Quad("q", 0, 0, 1, 1, 0) + "}\n", binary = XFileWriter::ToBinary(text);
    for (const std::string& file : {text, binary, XFileWriter::Compress(text), XFileWriter::Compress(binary)}) {
        ID3DXMesh* mesh = nullptr;
        ASSERT_EQ(S_OK, D3DXLoadMeshFromXInMemory(file.data(), static_cast<DWORD>(file.size()), D3DXMESH_SYSTEMMEM, device_,
                                                  nullptr, nullptr, nullptr, nullptr, &mesh)) << file.substr(8, 4);
        EXPECT_EQ(4u, mesh->GetNumVertices()) << file.substr(8, 4);
        mesh->Release();
    }
}

TEST_F(XFile, HostileAndUnusualFilesInEveryUser)
{
    const std::string quad = Quad("q", 0, 0, 1, 1, 0), frame = "Frame R { " + quad + "}\n";
    std::string bomb = XFileWriter::Compress(kHead + frame), cap = bomb, broken = bomb, unsigned_ = bomb, refs = kHead + "Frame S { ";
    const uint32_t declared[] = {40000000, 240000000};   // what the whole would inflate to
    memcpy(&bomb[16], &declared[0], 4);
    memcpy(&cap[16], &declared[1], 4);
    for (int i = 26; i < 31; ++i) broken[i] = 0;   // a stored block whose length check fails
    unsigned_[24] = 'X';                          // "CK" of the first block
    for (int i = 0; i < 100000; ++i) refs += "{M}";
    refs += " }\nMaterial M { 1;0;0;1;; 5; 0;0;0;; 0;0;0;; }\n" + frame;
    std::string list = XFileWriter::ToBinary(kHead + frame), shortFaces = Quad("m", 0, 0, 1, 1, 0, "MeshNormals { 1; 0;0;-1;; 2; 3;0,0,0;, 3;0,0,0;; }\n");
    const size_t at = list.find(std::string("\x06\x00", 2));   // the first integer list, made far longer than the file
    list.replace(at + 2, 4, "\xFF\xFF\xFF\x7F");
    shortFaces.replace(shortFaces.find(";\n2;\n"), 5, ";\n3;\n");
    const std::string zero = "template Z { <0A0B0C0D-0000-0000-0000-000000000001> array DWORD a[0]; }\n"
                             "template B { <0A0B0C0D-0000-0000-0000-000000000002> array Z z[4000000000]; }\n"
                             "template C { <0A0B0C0D-0000-0000-0000-000000000003> array B b[4000000000]; }\nC { }\n";
    const std::string guid = "<11111111-2222-3333-4444-555555555555>", nan = "MeshNormals { 1;\n1.#QNAN0;-1.#IND00;-1.#INF00;;\n2;\n3;0,0,0;,\n3;0,0,0;;\n}\n";
    const std::string bones = "Frame B0 { } Frame B1 { } Frame B2 { } ", skin = "XSkinMeshHeader { 1; 1; 3; }\n" + Skin("B0", {0, 1, 2, 3}, {1, 1, 1, 1}) +
                                                                          "SkinWeights { \"B1\"; 0;;; " + Matrix() + " }\n" + Skin("B2", {7, 9}, {1, 1});
    const struct {
        const char* name;
        std::string file;
        int triangles;     // -1: refused, red then being the cause
        float minX, maxX;
        std::string red;   // the load's red lines
        int users = 3;     // the first users the row is for (2: the model classes)
        float ticks = 0;
        uint32_t bones = 0, diffuse = 0;   // of both model classes' last mesh (diffuse 0: not checked)
    } rows[] = {
        {"compressed, declaring 40 MB", bomb, -1, 0, 0, "the file inflates to 40000000 bytes, more than 64 times its " + std::to_string(bomb.size()) + " bytes"},
        {"compressed, declaring 240 MB", cap, -1, 0, 0, "the file inflates to 240000000 bytes, more than the 67108864 allowed"},
        {"100,000 references", refs, -1, 0, 0, "the file needs more than " + std::to_string((refs.size() - 16) * 8 + (1u << 20)) + " bytes of memory (line 2)"},
        {"a bone with no weights, one with none inside", kHead + "Frame R { " + bones + Quad("s", 0, 0, 1, 1, 0, skin) + "}\n", 2, 0, 1,
         "Mesh [ s ] : SkinWeights : a vertex index past the vertices (ignored)", 3, 0, 3},
        {"a short material list, then its material", kHead + "Frame R { " + Quad("q", 0, 0, 1, 1, 0, "", "1;0;0;1;; 0; 0;0;0;; 0;0;0;;", "2; 0;") + "}\n", 2, 0, 1,
         "MeshMaterialList : データが足りません", 3, 0, 0, 0xFFFF0000},
        {"a mesh short of its faces, then its normals", kHead + "Frame R { " + shortFaces + "}\n", 2, 0, 1, "Mesh [ m ] : データが足りません"},
        {"an animation naming its frame by GUID", kHead + "Frame R { " + guid + quad + "}\nAnimationSet S { Animation { { " + guid + " } " +
         Key(2, {{0, {0, 0, 0}}, {10, {10, 0, 0}}}) + "} }\n", 2, 5, 6, "", 2, 5},
        {"a mesh in two frames by reference, a matrix by name", kHead + Quad("M", 0, 0, 1, 1, 0) + "FrameTransformMatrix Far { " + Matrix(5, 0, 0) + " }\n" +
         MovedFrame("F", 2, 0, 0, "{ M }") + "Frame G { { Far } { M } { F } }\n", 4, 2, 6, "Frame [ F ] : a frame placed by reference is not followed"},
        {"NaN and infinities as one runtime writes them", kHead + "Frame R { " + Quad("q", 0, 0, 1, 1, 0, nan) + "}\n", 2, 0, 1, ""},
        {"frames named 1.5 and 2e", kHead + "Frame 1.5 { " + quad + "}\nFrame 2e { }\n", 2, 0, 1, ""},
        {"one byte after the last object", XFileWriter::ToBinary(kHead + frame) + '\0', 2, 0, 1, ""},
        {"a skinned mesh without a material list", kHead + "Frame R { " + Quad("s", 0, 0, 1, 1, 0, "XSkinMeshHeader { 1; 1; 1; }\n" +
         Skin("R", {0, 1, 2, 3}, {1, 1, 1, 1}), "") + "}\n", 2, 0, 1, "", 3, 0, 1, 0x007F7F7F},
        {"a rotation key of three values", kHead + frame + "AnimationSet S { Animation { {R} " + Key(0, {{0, {1, 0, 0}}, {10, {0, 1, 0}}}) + "} }\n", 2, 0, 1,
         "AnimationKey [R] : Skip [Value Count]", 2},
        {"a string for a number", kHead + "Frame A { FrameTransformMatrix { 1.0; \"s\"; } }", -1, 0, 0, "a number is missing (line 2)"},
        {"a binary list longer than the file", list, -1, 0, 0, "an integer list of 2147483647 numbers is longer than the file (offset " + std::to_string(at - 10) + ")"},
        {"an object without a body", kHead + "Frame ;\n", -1, 0, 0, "object Frame has no body (line 2)"},
        {"not an X file", "xof 0303abc 0032\n" + frame, -1, 0, 0, "not an X file (its 16-byte header)"},
        {"a block that does not inflate", broken, -1, 0, 0, "block 0 does not inflate"},
        {"a block without its signature", unsigned_, -1, 0, 0, "block 0 is bad (its sizes or its signature)"},
        {"a reference to nothing", kHead + frame + "AnimationSet S { Animation { {Gone} } }\n", 2, 0, 1, "Xファイル : 参照先がありません [ Gone ]"},
        {"an unknown object, skipped whole", kHead + "Unknown U { 1; { A } Inner { \"}\" } }\n" + frame, 2, 0, 1, ""},
        {"a short object", kHead + "Vector V { 1.0; }\n" + frame, 2, 0, 1, "Vector [ V ] : データが足りません"},
        {"an empty array in 4,000,000,000 squared passes", kHead + zero + frame, 2, 0, 1, ""},   // (last: it once hung)
    };
    const char* const users[] = {"VornModel", "VornModelEx", "VornField"};
    const std::string refusal[] = {"ファイルの読み込みに失敗 [ ", "列挙オブジェクトの作成に失敗 / ファイルがないか無効な可能性があります [", "Ｘファイルの読み込みに失敗しました [ "};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        for (int user = 0; user < row.users; ++user) {
            SCOPED_TRACE(users[user]);
            const Made made = Make(user, row.file, row.ticks);
            const std::string red = row.triangles < 0 ? refusal[user] + row.red + (user == 1 ? "]\n" : " ]\n") : row.red.empty() ? "" : row.red + "\n";
            EXPECT_NAMED({"triangles", made.triangles, row.triangles}, {"red lines", made.red, red});
            if (row.triangles <= 0) continue;
            EXPECT_NAMED({"min x", made.minX, row.minX, 1e-3f}, {"max x", made.maxX, row.maxX, 1e-3f});
            if (user < 2) { EXPECT_NAMED({"bones", made.bones, row.bones}); }
            if (user < 2 && row.diffuse) { EXPECT_NAMED({"diffuse", Argb{made.diffuse}, Argb{row.diffuse}}); }
        }
    }
}

TEST_F(XFile, BothClassesAgreeOnEveryCase)
{
    LogCapture log;
    const std::string skin0 = "XSkinMeshHeader { 1; 1; 0; }\n";
    const std::string moved = kHead + "Frame Root { " + MovedFrame("A", 2, 0, 0, Quad("a", 0, 0, 1, 1, 0)) +
                              MovedFrame("B", 0, 3, 1, Quad("b", -1, -1, 0, 0, 0, skin0)) + "}\n";
    const std::string walk = "AnimationSet Walk { Animation { {A} " + Key(2, {{0, {0, 0, 0}}, {10, {10, 4, 0}}}) +
                             Key(0, {{0, {1, 0, 0, 0}}, {10, {0.7071f, 0, 0.7071f, 0}}}) + "} }\n";
    const struct {
        const char* what;
        std::string file;
        uint32_t frames, meshes;
    } cases[] = {
        {"rigid meshes in moved frames, one with a bone-less skin", moved, 3, 2},
        {"several top-level frames", kHead + MovedFrame("R1", 1, 0, 0, Quad("r", 0, 0, 1, 1, 0)) + "Frame R2 { Frame C { } }\n", 4, 1},
        {"meshes outside every frame", kHead + Quad("loose", 0, 0, 1, 1, 0) + MovedFrame("F", 0, 1, 0, ""), 2, 1},
        {"short material list", kHead + "Frame R { " + Quad("s", 0, 0, 2, 1, 0, "", "0.0;1.0;0.0;1.0;;0.0;0.0;0.0;0.0;;0.0;0.0;0.0;;", "1; 0;;") + "}\n", 1, 1},
        {"no material list", kHead + "Frame R { " + Quad("n", 0, 0, 1, 3, 0, "", "") + "}\n", 1, 1},
        {"whole-number floats", kHead + "Frame R { FrameTransformMatrix { " + kWhole + " } Mesh w { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; } }\n", 1, 1},
        {"a 300-character name", kHead + MovedFrame(std::string(300, 'x'), 0, 0, 5, Quad("l", 0, 0, 1, 1, 0)), 1, 1},
        {"an animation of a missing frame", kHead + MovedFrame("A", 1, 0, 0, "") + "AnimationSet Gone { Animation { {Nowhere} } }\n" + walk, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto m = LoadBoth(c.file);
        ASSERT_NAMED({"static model loads", m.first != VORN_INVALID_HANDLE, true}, {"skinned model loads", m.second != VORN_INVALID_HANDLE, true});
        EXPECT_NAMED({"frames", VornModelEx::GetFrameCount(m.second), c.frames}, {"meshes", VornModelEx::GetMeshCount(m.second), c.meshes});
        VornModelEx::TransformInit(m.second);
        VornModelEx::TransformUpdate(m.second, 0, false);
        ExpectAgree(m.first, m.second, c.what);
        VornModel::Release(m.first);
        VornModelEx::Release(m.second);
    }
    // (Animated matrices of both classes: the rotation and position key test.)
    // The material list rule: the last index stands for the faces it does not reach.
    const auto s = LoadBoth(cases[3].file);
    EXPECT_NAMED({"skinned class's diffuse red (green for both faces)", VornModelEx::GetModel(s.second)->meshList[0]->materials[0].material.Diffuse.r, 0.0f},
                 {"static class's faces", VornModel::GetModel(s.first)->containers[0]->faceCount, 2});
    // A mesh without faces: a line from each class, and both models load.
    const auto e = LoadBoth(kHead + "Frame R { Mesh empty { 3; 0;0;0;, 1;0;0;, 0;1;0;; 0;; } }\n");
    EXPECT_NAMED({"static model loads", e.first != VORN_INVALID_HANDLE, true}, {"skinned model loads", e.second != VORN_INVALID_HANDLE, true});
    EXPECT_EQ(2, log.Count(Red("Mesh [ empty ] : 面がありません")));
}

TEST_F(XFile, StaticModelDrawsABonelessSkinInItsFrameAndMeshesWithoutMaterials)
{
    const std::string skin = "XSkinMeshHeader { 1; 1; 1; }\n" + Skin("Root", {0, 1, 2, 3}, {1, 1, 1, 1});
    const struct {
        const char* what;
        std::string file;
        int x0, y0, x1, y1;
        float centreX;
    } cases[] = {
        {"a bone-less skin in a moved frame", kHead + "Frame Root { " + MovedFrame("M", 0.5f, 0, 0, Quad("q", -0.5f, -0.5f, 0.5f, 0.5f, 0, "XSkinMeshHeader { 1; 1; 0; }\n")) + "}\n", 128, 96, 191, 159, 0.5f},
        {"rigid without a material list", kHead + "Frame Root { " + Quad("q", -0.5f, -0.5f, 0.5f, 0.5f, 0, "", "") + "}\n", 96, 96, 159, 159, 0.0f},
        {"skinned without a material list", kHead + "Frame Root { " + Quad("q", -0.5f, -0.5f, 0.5f, 0.5f, 0, skin, "") + "}\n", 96, 96, 159, 159, 0.0f},
    };
    for (const auto& c : cases) {
        const VornModelHandle m = VornModel::CreateFromMemory(c.file.data(), static_cast<uint32_t>(c.file.size()));
        ASSERT_NE(VORN_INVALID_HANDLE, m) << c.what;
        Frame([&] { VornModel::Rendering(m); });
        EXPECT_TRUE(BoxIs(frame_, 0xFFFFFF, c.x0, c.y0, c.x1, c.y1, 1)) << c.what;
        VornVector3 centre;
        VornModel::GetBoundingSphere(m, &centre, nullptr);
        EXPECT_NEAR(c.centreX, centre.x, 1e-4f) << c.what;
        VornModel::Release(m);
    }
}

TEST_F(XFile, SeventyThousandVerticesKeepTheirIndicesInTheFieldAndTheStaticModel)
{
    LogCapture log;
    const int side = 133;   // 133 x 133 quads, 70,756 vertices of a bumpy ground: a wrong corner would show in the heights
    auto at = [](int i, int k) { return XCorner{float(i), ((i % 2) + (k % 3)) * 0.1f, float(k)}; };
    XQuadCorners quads;
    for (int k = 0; k < side; ++k)
        for (int i = 0; i < side; ++i) quads.push_back({at(i, k), at(i, k + 1), at(i + 1, k + 1), at(i + 1, k)});
    const std::string x = kHead + QuadMesh("grid", quads, "");
    const uint32_t size = static_cast<uint32_t>(x.size());
    const VornFieldHandle f = VornField::CreateFromMemory(x.data(), size, 5, -1, VORN_FORMAT_NONE, false);
    VornVector3 ground;
    for (int p : {3, 70, 131}) {
        // Inside the triangle (p, p), (p, p + 1), (p + 1, p + 1).
        const float want = at(p, p).y + 0.25f * (at(p + 1, p + 1).y - at(p, p + 1).y) + 0.75f * (at(p, p + 1).y - at(p, p).y);
        ASSERT_TRUE(VornField::HitCheckDown(f, VornVector3(p + 0.25f, -1.0f, p + 0.75f), &ground, nullptr, nullptr)) << p;
        EXPECT_NEAR(want, ground.y, 1e-4f) << p;
    }
    VornField::Release(f);
    const VornModelHandle m = VornModel::CreateFromMemory(x.data(), size);
    ASSERT_NE(VORN_INVALID_HANDLE, m);
    ID3DXMesh* mesh = VornModel::GetModel(m)->containers[0]->MeshData.pMesh;
    EXPECT_EQ(uint32_t(4 * side * side), mesh->GetNumVertices());
    const uint32_t* indices = nullptr;
    ASSERT_TRUE(SUCCEEDED(mesh->LockIndexBuffer(D3DLOCK_READONLY, (void**)&indices)));
    EXPECT_EQ(uint32_t(4 * side * side - 4), indices[(2 * side * side - 1) * 3]);   // a first corner past 65,535, kept whole
    mesh->UnlockIndexBuffer();
    std::vector<DWORD> platform(3 * mesh->GetNumFaces());   // our own adjacency is the platform's
    ASSERT_EQ(S_OK, mesh->GenerateAdjacency(0.0f, platform.data()));
    EXPECT_NAMED({"edges without a neighbour", std::count(platform.begin(), platform.end(), 0xFFFFFFFFu), 4 * side});   // the border's
    EXPECT_BYTES_EQ(platform.data(), VornModel::GetModel(m)->containers[0]->pAdjacency, platform.size() * sizeof(DWORD));
    VornModel::Release(m);
    // The skinned class keeps 16-bit indices: the mesh is refused with its line, the model loads.
    const VornModelExHandle e = VornModelEx::CreateFromMemory(x.data(), size, 2, 0, 0);
    EXPECT_NE(VORN_INVALID_HANDLE, e);
    VornModelEx::Release(e);
    EXPECT_EQ(1, log.Count(Red("頂点数が多すぎます [70756]")));
}

// Rotation keys are (w, x, y, z), conjugated by both classes: Arm, placed at (3, 4, 5), turns from
// identity at tick 0 to 90 degrees about an axis at tick 10 and back at tick 20, looping over 20
// ticks; without position keys it keeps its place, with them it moves to (13, 14, 5) at tick 10. A
// set naming a missing frame follows and changes nothing. Each row poses both classes at one tick; a
// failure names the row, the class and the matrix row.
TEST_F(XFile, RotationAndPositionKeysPoseBothClassesAtTheirTicksAndBetween)
{
    const float h = 0.7071068f, r = 0.7071f;   // a key's half-angle cosine, a matrix element rounded
    const std::string moves = Key(2, {{0, {3, 4, 5}}, {10, {13, 14, 5}}, {20, {3, 4, 5}}});
    const struct { const char* name; std::vector<float> key; std::string position; float tick; std::vector<float> rows[4]; } cases[] = {
        {"about x at key 1", {h, h, 0, 0}, "", 10, {{1, 0, 0}, {0, 0, -1}, {0, 1, 0}, {3, 4, 5}}},
        {"about y at key 1", {h, 0, h, 0}, "", 10, {{0, 0, 1}, {0, 1, 0}, {-1, 0, 0}, {3, 4, 5}}},
        {"about z at key 1", {h, 0, 0, h}, "", 10, {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}, {3, 4, 5}}},
        {"about y and moving, halfway to key 1", {h, 0, h, 0}, moves, 5, {{r, 0, r}, {0, 1, 0}, {-r, 0, r}, {8, 9, 5}}},
        {"about y and moving, past the loop's end (25: 5)", {h, 0, h, 0}, moves, 25, {{r, 0, r}, {0, 1, 0}, {-r, 0, r}, {8, 9, 5}}},
        {"about y and moving, at the last key's tick (20: key 0)", {h, 0, h, 0}, moves, 20, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {3, 4, 5}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto m = LoadBoth(kHead + MovedFrame("Arm", 3, 4, 5, "") + "AnimationSet Turn { Animation { {Arm} " +
                                Key(0, {{0, {1, 0, 0, 0}}, {10, c.key}, {20, {1, 0, 0, 0}}}) + c.position + "} }\n" +
                                "AnimationSet Gone { Animation { {Nowhere} } }\n");
        VornModel::TransformUpdate(m.first, c.tick / 4800.0f);
        VornModelEx::SetAnimationSet(m.second, 0);
        VornModelEx::TransformUpdate(m.second, c.tick, true);
        const D3DXMATRIX& st = static_cast<VornModelFrame*>(D3DXFrameFind(VornModel::GetModel(m.first)->root, "Arm"))->combined;
        VornMatrix ex;
        VornModelEx::GetFrameMatrix(m.second, &ex, VornModelEx::GetFrameIndex(m.second, "Arm"));
        EXPECT_NAMED({"static row 0", MatrixRow(st, 0), c.rows[0]}, {"static row 1", MatrixRow(st, 1), c.rows[1]}, {"static row 2", MatrixRow(st, 2), c.rows[2]},
                     {"static row 3 (place)", MatrixRow(st, 3), c.rows[3]}, {"skinned row 0", MatrixRow(*ex.Get(), 0), c.rows[0]},
                     {"skinned row 1", MatrixRow(*ex.Get(), 1), c.rows[1]}, {"skinned row 2", MatrixRow(*ex.Get(), 2), c.rows[2]},
                     {"skinned row 3 (place)", MatrixRow(*ex.Get(), 3), c.rows[3]}, {"skinned set Gone", VornModelEx::GetAnimationSetIndex(m.second, "Gone"), 1});
        VornModel::Release(m.first);
        VornModelEx::Release(m.second);
    }
}

}  // namespace
