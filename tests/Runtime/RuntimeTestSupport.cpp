#include "RuntimeTestSupport.h"
#include "Vorn.h"
#include "VornLog.h"
#include "VornMemory.h"
#include "VornSystem.h"
#include <algorithm>
#include <filesystem>

void PutFile(const std::string& path, const std::string& bytes)
{
    const size_t slash = path.find_last_of('\\');
    if (slash != std::string::npos) VornSystem::CreateDirectoryTree(path.substr(0, slash).c_str());
    ASSERT_TRUE(vorntest::WriteFile(path, std::vector<unsigned char>(bytes.begin(), bytes.end()))) << path;
}

std::string Crlf(const std::string& text)
{
    std::string out;
    for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

ScratchTest::ScratchTest()
{
    GetCurrentDirectoryA(sizeof previous_, previous_);
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("runtime-") + info->test_suite_name() + "-" + info->name();
    std::replace(name.begin(), name.end(), '/', '_');
    path_ = std::string(previous_) + "\\" + name;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
    CreateDirectoryA(path_.c_str(), nullptr);
    SetCurrentDirectoryA(path_.c_str());
    Vorn::SetBaseDirectory();
}

ScratchTest::~ScratchTest() { SetCurrentDirectoryA(previous_); }

void ScratchTest::TearDown()
{
    VornLog::Close();
    VornLog::SetFileName("");
}

std::string ScratchTest::CloseLog()
{
    VornLog::Close();
    return ReadFile("log.html");
}

void RuntimeTest::SetUp()
{
    VornLog::SetFileName("log");
    VornLog::Open("runtime");
    VornMemory::Initialize();
    ASSERT_TRUE(VornMemory::SetWorkArea(32u << 20, true));
}

void RuntimeTest::TearDown()
{
    VornMemory::Finalize();
    ScratchTest::TearDown();
}
