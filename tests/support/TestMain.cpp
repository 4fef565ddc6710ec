#include <gtest/gtest.h>
#include <windows.h>

int main(int argc, char** argv)
{
    // A crashing test must fail, not wait on an error dialog nobody answers.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
