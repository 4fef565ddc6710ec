// Shared pieces of the runtime tests: a scratch folder per test case (the cases run in parallel
// processes in one folder), file helpers, and a fixture with a work area and an open log.
#pragma once
#include <gtest/gtest.h>
#include <string>
#include <windows.h>

std::string ReadBytes(const std::string& path);
bool WriteBytes(const std::string& path, const std::string& bytes);
bool Exists(const std::string& path);
// Writes the file, making its folders first (fails the test when it cannot).
void PutFile(const std::string& path, const std::string& bytes);
// Text with "\n" as the log file holds it (text mode: CRLF).
std::string Crlf(const std::string& text);

// Makes and enters "<test-out>\runtime-<suite>-<case>", emptied first, and makes it the engine's
// module directory so that Vorn::ResetCurrentDirectory comes back to it.
class ScratchFolder
{
public:
    ScratchFolder();
    ~ScratchFolder();
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    char previous_[MAX_PATH];
};

// A scratch folder, a 32 MiB work area (debug mode) and the log "log.html" opened.
class RuntimeTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;
    // Closes the log and returns its bytes.
    std::string CloseLog();

    ScratchFolder* folder_ = nullptr;
    bool debug_ = true;
    uint32_t areaSize_ = 32u << 20;
};
