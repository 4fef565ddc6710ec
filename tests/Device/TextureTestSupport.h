// Shared set-up of the texture tests: the work area, the file system and a log captured to a file.
#pragma once
#include "DeviceFixture.h"
#include "VornFile.h"
#include "VornLog.h"
#include "VornMemory.h"
#include <gtest/gtest.h>
#include <cstdio>
#include <string>
#include <vector>

namespace texturetest {

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

inline bool WriteFile(const std::string& path, const std::vector<unsigned char>& bytes)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

// The log of one test, in its own file (tests run in parallel in one folder). Text() closes the
// log and gives its body with line ends as "\n".
class LogCapture
{
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
        std::string raw = vorntest::ReadFile(base_ + ".html"), out;
        for (char c : raw)
            if (c != '\r') out += c;
        return out;
    }
    // The number of times piece occurs in the log.
    int Count(const std::string& piece)
    {
        const std::string text = Text();
        int n = 0;
        for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + piece.size())) ++n;
        return n;
    }

private:
    std::string base_;
};

// The log wrappers of a red, blue, green and plain entry.
inline std::string Red(const std::string& s) { return "<B><FONT color=\"RED\">" + s + "</FONT></B>"; }
// The start of a red entry (for texts that go on with an error text).
inline std::string RedStart(const std::string& s) { return "<B><FONT color=\"RED\">" + s; }
inline std::string Blue(const std::string& s) { return "<B><FONT color=\"BLUE\">" + s + "</FONT></B>"; }
inline std::string Green(const std::string& s) { return "<B><FONT color=\"GREEN\">" + s + "</FONT></B>"; }

}  // namespace texturetest
