// Shared by the device, 2D and 3D tests: the runtime services, a log captured per test, checks on
// read-back frames and log texts, small files, and the engine's own device (Vorn3D started on a
// 256 x 256 window) for a whole suite.
#pragma once
#include "DeviceFixture.h"
#include "Vorn.h"
#include "Vorn3D.h"
#include "VornCamera.h"
#include "VornFile.h"
#include "VornLZSS.h"
#include "VornLog.h"
#include "VornMemory.h"
#include "VornSystem.h"
#include <algorithm>
#include <cstdlib>
#include <typeinfo>
#include <utility>

// An effect's technique T: one pass drawing VS and PS without culling, depth test or lighting.
#define VORN_TEST_PLAIN_PASS \
    "technique T { pass { CullMode = NONE; ZEnable = FALSE; Lighting = FALSE; VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); } }\n"

namespace vorntest {

// The runtime services every table needs; safe to call from every test.
inline void StartServices()
{
    static bool started = false;
    if (started) return;
    started = true;
    VornMemory::Initialize();
    VornMemory::SetWorkArea(64u << 20, true);
    VornFile::Initialize();
}

// How many times piece occurs in text.
inline int CountIn(const std::string& text, const std::string& piece)
{
    int n = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + piece.size())) ++n;
    return n;
}

// The pieces occur in the text in this order.
inline ::testing::AssertionResult InOrder(const std::string& text, const std::vector<std::string>& pieces)
{
    size_t at = 0;
    for (const std::string& piece : pieces) {
        const size_t found = text.find(piece, at);
        if (found == std::string::npos) return ::testing::AssertionFailure() << "missing in order: " << piece;
        at = found + piece.size();
    }
    return ::testing::AssertionSuccess();
}

// Every piece occurs in the text, in any order.
inline ::testing::AssertionResult HasAll(const std::string& text, const std::vector<std::string>& pieces)
{
    for (const std::string& piece : pieces)
        if (text.find(piece) == std::string::npos) return ::testing::AssertionFailure() << "missing: " << piece << "\nin\n" << text;
    return ::testing::AssertionSuccess();
}

// The log of one test, in its own file (tests run in parallel in one folder). Text() closes the
// log and gives its body with line ends as "\n".
class LogCapture {
public:
    LogCapture()
    {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        base_ = std::string("log_") + info->test_suite_name() + "_" + info->name();
        VornLog::SetFileName(base_.c_str());
        VornLog::Open("test");
    }
    ~LogCapture() { VornLog::Close(); }
    std::string Text()
    {
        VornLog::Close();
        std::string text = ReadFile(base_ + ".html");
        text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
        return text;
    }
    int Count(const std::string& piece) { return CountIn(Text(), piece); }

private:
    std::string base_;
};

// The log's wrappers of a red, blue or green entry; RedStart for texts that go on with an error text.
inline std::string Red(const std::string& s) { return "<B><FONT color=\"RED\">" + s + "</FONT></B>"; }
inline std::string RedStart(const std::string& s) { return "<B><FONT color=\"RED\">" + s; }
inline std::string Blue(const std::string& s) { return "<B><FONT color=\"BLUE\">" + s + "</FONT></B>"; }
inline std::string Green(const std::string& s) { return "<B><FONT color=\"GREEN\">" + s + "</FONT></B>"; }

// The pixels of colour rgb span exactly (x0, y0)-(x1, y1), each edge within tolerance.
inline ::testing::AssertionResult BoxIs(const Readback& frame, uint32_t rgb, int x0, int y0, int x1, int y1,
                                        int tolerance = 0)
{
    int b[4];
    if (!frame.Bounds(rgb, &b[0], &b[1], &b[2], &b[3])) return ::testing::AssertionFailure() << "no pixel of " << Argb{rgb};
    const int want[4] = {x0, y0, x1, y1};
    for (int i = 0; i < 4; ++i)
        if (std::abs(b[i] - want[i]) > tolerance)
            return ::testing::AssertionFailure() << "box " << b[0] << "," << b[1] << " - " << b[2] << "," << b[3];
    return ::testing::AssertionSuccess();
}

// Each of R, G and B within tolerance.
inline ::testing::AssertionResult Near(uint32_t expected, uint32_t actual, int tolerance = 2)
{
    for (int shift = 0; shift < 24; shift += 8)
        if (std::abs(int((expected >> shift) & 0xFF) - int((actual >> shift) & 0xFF)) > tolerance)
            return ::testing::AssertionFailure() << "expected " << Argb{expected & 0xFFFFFF} << ", got " << Argb{actual & 0xFFFFFF};
    return ::testing::AssertionSuccess();
}

// The LZSS stream of bytes (a string or a vector of bytes), with its 8-byte header or (raw) without
// it, as QSG entries hold them.
template <typename Bytes> std::vector<uint8_t> LzssStream(const Bytes& bytes, bool raw = false)
{
    const uint32_t size = static_cast<uint32_t>(bytes.size());
    std::vector<uint8_t> out(VornLZSS::GetEncodeBound(size));
    uint32_t length = 0;
    EXPECT_TRUE((raw ? VornLZSS::EncodeRaw : VornLZSS::Encode)(bytes.data(), size, out.data(), static_cast<uint32_t>(out.size()), &length));
    out.resize(length);
    return out;
}

// The folder of the test program.
inline std::string ModuleFolder()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    *strrchr(path, '\\') = '\0';
    return path;
}

// A folder of its own for one test (tests run side by side in one output folder); "\" paths.
inline std::string TestFolder()
{
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string folder = std::string("tex_") + info->test_suite_name() + "_" + info->name();
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

// The test's own folder made the file system's root: the loose files under root\, the packed ones in
// pack.bin (names relative, "texture\\a.bmp"). Gives the folder.
using Files = std::vector<std::pair<std::string, std::vector<unsigned char>>>;
inline std::string UseFiles(const Files& loose, const Files& packed = {})
{
    const std::string folder = TestFolder();
    VornSystem::CreateDirectoryTree((folder + "\\root").c_str());
    VornSystem::CreateDirectoryTree((folder + "\\packsrc").c_str());
    const std::pair<const Files*, const char*> sets[] = {{&loose, "\\root\\"}, {&packed, "\\packsrc\\"}};
    for (const auto& set : sets)
        for (const auto& file : *set.first) {
            const std::string path = folder + set.second + file.first;
            VornSystem::CreateDirectoryTree(path.substr(0, path.rfind('\\')).c_str());
            EXPECT_TRUE(WriteFile(path, file.second)) << path;
        }
    if (!packed.empty()) {
        EXPECT_TRUE(VornFile::BuildPack((folder + "\\pack.bin").c_str(), (folder + "\\packsrc").c_str())) << folder;
    }
    VornFile::SetRootPath((folder + "\\root").c_str(), (folder + "\\pack.bin").c_str());
    return folder;
}

// QSG archive bytes built entry by entry; the data size written is the data's own unless given.
struct QsgArchive {
    std::vector<unsigned char> bytes{'Q', 'S', 'G', 0, 0xDE, 0xAD, 0xBE, 0xEF};
    QsgArchive& Add(const char* name, uint32_t width, uint32_t height, uint32_t format, const std::vector<unsigned char>& data,
                    int64_t dataSize = -1)
    {
        char field[16] = {};
        memcpy(field, name, strnlen(name, 16));
        bytes.insert(bytes.end(), field, field + 16);
        const uint32_t size = static_cast<uint32_t>(dataSize < 0 ? static_cast<int64_t>(data.size()) : dataSize);
        for (uint32_t v : {width, height, format, size})
            for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<unsigned char>(v >> (8 * i)));
        bytes.insert(bytes.end(), data.begin(), data.end());
        return *this;
    }
};
// The 2 x 2 A8R8G8B8 entry "tile": blue, green / red, half-transparent white.
inline std::vector<unsigned char> TileArchive()
{
    return QsgArchive().Add("tile", 2, 2, 1, {0xFF, 0, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x80}).bytes;
}

// A quad over [x0,x1)x[y0,y1) at depth z in one colour, drawn straight to the engine's device with
// whatever states are set.
inline void DrawColourQuad(float x0, float y0, float x1, float y1, D3DCOLOR colour, float z = 0.5f)
{
    struct V { float x, y, z, rhw; D3DCOLOR c; };
    const V quad[4] = {{x0, y0, z, 1.0f, colour}, {x1, y0, z, 1.0f, colour}, {x0, y1, z, 1.0f, colour}, {x1, y1, z, 1.0f, colour}};
    Vorn3D::GetDevice()->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    Vorn3D::GetDevice()->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(V));
}

// Stage 0 passes the vertex colour and alpha through.
inline void UseVertexColour()
{
    Vorn3D::SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    Vorn3D::SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
    Vorn3D::SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    Vorn3D::SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
}

// Starts the classes C in order, stopping at the first whose Initialize fails: gives what failed
// ("VornLight::Initialize"), or "" when every class started.
template <typename... C> std::string StartClasses()
{
    std::string failed;
    const auto start = [&failed](bool (*initialize)(), const char* name) {   // GCC's names begin with their length
        if (failed.empty() && !initialize()) failed = std::string(name + std::strspn(name, "0123456789")) + "::Initialize";
    };
    (start(&C::Initialize, typeid(C).name()), ...);   // a comma fold: left to right
    return failed;
}

// The engine's device for a whole suite: let go before the program ends, since a process that exits
// with a live device can be killed by Wine while the driver tears down under load. A failed test
// leaves its last frame as <suite>.<test>.bmp in the output folder.
class EngineSuite : public ::testing::Test {
public:
    static constexpr int kSize = 256;

protected:
    static void SetUpTestSuite()
    {
        StartServices();
        Vorn::SetScreenInfo(kSize, kSize, true);
        window_ = CreateTestWindow(kSize, kSize, "VornEngineTest");
        // Each step only once the one before succeeded.
        failedStart_ = !window_ ? "CreateTestWindow" : !Vorn3D::Initialize() ? "Vorn3D::Initialize" : !Vorn3D::Start(window_, true) ? "Vorn3D::Start" : "";
        ready_ = failedStart_.empty();
    }
    static void TearDownTestSuite()
    {
        Vorn3D::Finalize();
        if (window_) DestroyWindow(window_);
        window_ = nullptr;
        PumpMessages();
    }
    void SetUp() override
    {
        ASSERT_TRUE(ready_) << "the suite's start-up failed" << (failedStart_.empty() ? "" : " at " + failedStart_);
        device_ = Vorn3D::GetDevice();
        ASSERT_NE(nullptr, device_);
    }
    void TearDown() override { SaveFrameOfFailure(frame_, Vorn3D::GetDevice()); }
    // The back buffer, read before Present (with DISCARD its contents afterwards are undefined).
    bool ReadBack() { return Vorn3D::GetDevice() && frame_.ReadBackBuffer(Vorn3D::GetDevice()); }
    // Clears to black, runs draw inside a scene and reads the frame back.
    template <typename F> void Frame(F draw)
    {
        Vorn3D::Clear(D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0, nullptr);
        ASSERT_TRUE(Vorn3D::BeginScene());
        draw();
        Vorn3D::EndScene();
        ASSERT_TRUE(ReadBack());
    }
    // A square 90-degree camera (near 1, far 100) at (0, 0, z) looking along +z, made the current one.
    static VornCameraHandle UseCamera(float z)
    {
        const VornCameraHandle camera = VornCamera::Create();
        VornCamera::CreateProjection(camera, 3.14159265f / 2.0f, 1.0f, 100.0f, 1.0f);
        VornCamera::TransformInit(camera);
        VornCamera::SetPosition(camera, 0.0f, 0.0f, z);
        VornCamera::TransformUpdate(camera);
        Vorn3D::SetCamera(camera);
        return camera;
    }

    IDirect3DDevice9* device_ = nullptr;
    Readback frame_;
    static inline HWND window_ = nullptr;
    static inline bool ready_ = false;
    static inline std::string failedStart_;   // the suite's start-up step that failed, when one did
};

// The engine's device with the classes C started before each test and ended after it, last first.
template <typename... C>
class EngineWith : public EngineSuite {
protected:
    void SetUp() override
    {
        EngineSuite::SetUp();
        const std::string failed = StartClasses<C...>();
        ASSERT_TRUE(failed.empty()) << failed << " failed";
    }
    void TearDown() override
    {
        void (*const end[])() = {&C::Finalize...};
        for (size_t i = sizeof...(C); i-- > 0;) end[i]();
        EngineSuite::TearDown();
    }
};

}  // namespace vorntest
