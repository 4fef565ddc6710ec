#include "RuntimeTestSupport.h"
#include "Vorn.h"
#include "VornLog.h"
#include "VornMemory.h"
#include "VornSystem.h"
#include <cstdio>
#include <shellapi.h>

std::string ReadBytes(const std::string& path)
{
    std::string bytes;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return bytes;
    char piece[65536];
    size_t n;
    while ((n = std::fread(piece, 1, sizeof piece, f)) > 0) bytes.append(piece, n);
    std::fclose(f);
    return bytes;
}

bool WriteBytes(const std::string& path, const std::string& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void PutFile(const std::string& path, const std::string& bytes)
{
    const size_t slash = path.find_last_of('\\');
    if (slash != std::string::npos) VornSystem::CreateDirectoryTree(path.substr(0, slash).c_str());
    ASSERT_TRUE(WriteBytes(path, bytes)) << path;
}

std::string Crlf(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

static void RemoveTree(const std::string& path)
{
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            const std::string child = path + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(child);
            else {
                SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(child.c_str());
            }
        } while (FindNextFileA(find, &found));
        FindClose(find);
    }
    RemoveDirectoryA(path.c_str());
}

ScratchFolder::ScratchFolder()
{
    GetCurrentDirectoryA(sizeof previous_, previous_);
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("runtime-") + info->test_suite_name() + "-" + info->name();
    for (char& c : name)
        if (c == '/') c = '_';
    path_ = std::string(previous_) + "\\" + name;
    RemoveTree(path_);
    CreateDirectoryA(path_.c_str(), nullptr);
    SetCurrentDirectoryA(path_.c_str());
    Vorn::SetBaseDirectory();
}

ScratchFolder::~ScratchFolder() { SetCurrentDirectoryA(previous_); }

void RuntimeTest::SetUp()
{
    folder_ = new ScratchFolder;
    VornLog::SetFileName("log");
    VornLog::Open("runtime");
    VornMemory::Initialize();
    ASSERT_TRUE(VornMemory::SetWorkArea(areaSize_, debug_));
}

std::string RuntimeTest::CloseLog()
{
    VornLog::Close();
    return ReadBytes("log.html");
}

void RuntimeTest::TearDown()
{
    VornMemory::Finalize();
    VornLog::Close();
    VornLog::SetFileName("");
    delete folder_;
    folder_ = nullptr;
}
