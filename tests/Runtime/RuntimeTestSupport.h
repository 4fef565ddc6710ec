// Shared pieces of the runtime tests: a scratch folder per test case (the cases run in parallel
// processes in one folder), file helpers, and a fixture with a work area and an open log.
#pragma once
#include "EngineFixture.h"

using vorntest::Argb;
using vorntest::ReadFile;
// Writes the file, making its folders first (fails the test when it cannot).
void PutFile(const std::string& path, const std::string& bytes);
// Text with "\n" as the log file holds it (text mode: CRLF).
std::string Crlf(const std::string& text);
inline bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Makes and enters "<test-out>\runtime-<suite>-<case>", emptied first, and makes it the engine's
// module directory so that Vorn::ResetCurrentDirectory comes back to it. Closes the log at the end.
class ScratchTest : public ::testing::Test
{
protected:
    ScratchTest();
    ~ScratchTest() override;
    void TearDown() override;
    // Closes the log and returns the bytes of "log.html".
    std::string CloseLog();

    std::string path_;
    char previous_[MAX_PATH];
};

// A scratch folder, a 32 MiB work area (debug mode) and the log "log.html" opened.
class RuntimeTest : public ScratchTest
{
protected:
    void SetUp() override;
    void TearDown() override;
};
