// vornpack: the command-line packer of PACK files (the game's Data\Data.bin is made with it).
//   vornpack OUT.bin FOLDER        packs every file under FOLDER into OUT.bin, with OUT.inc beside it
//   vornpack -x PACK.bin FOLDER    unpacks PACK.bin into FOLDER
// Exit code 0 when everything was done, 1 when something failed (the reason is printed), 2 for
// a wrong command line.
#include "VornFile.h"
#include "VornMemory.h"
#include <cstdio>
#include <cstring>
#include <windows.h>

// A tool has no game: the engine's entry functions exist only to satisfy the library.
bool GameInit() { return false; }
int GameMain(int, char**) { return 0; }
bool GameMessageHook(UINT, WPARAM, LPARAM) { return true; }

namespace {

// The largest file under folder: the packer holds one file at a time in the work area.
uint64_t LargestFile(const char* folder)
{
    char pattern[MAX_PATH];
    if (std::snprintf(pattern, sizeof pattern, "%s\\*.*", folder) >= int(sizeof pattern)) return 0;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA(pattern, &found);
    if (find == INVALID_HANDLE_VALUE) return 0;
    uint64_t largest = 0;
    do {
        if (!std::strcmp(found.cFileName, ".") || !std::strcmp(found.cFileName, "..")) continue;
        uint64_t size = (uint64_t(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            char child[MAX_PATH];
            if (std::snprintf(child, sizeof child, "%s\\%s", folder, found.cFileName) >= int(sizeof child)) continue;
            size = LargestFile(child);
        }
        if (size > largest) largest = size;
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return largest;
}

int Usage()
{
    std::fprintf(stderr, "usage: vornpack OUT.bin FOLDER\n       vornpack -x PACK.bin FOLDER\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    const bool extract = argc == 4 && std::strcmp(argv[1], "-x") == 0;
    if (!(argc == 3 && argv[1][0] != '-') && !extract) return Usage();
    const char* pack = argv[extract ? 2 : 1];
    const char* folder = argv[extract ? 3 : 2];

    // Room for the packer's 64K-entry table and its directory copy, plus the largest file.
    const uint64_t area = (16u << 20) + (extract ? 0 : LargestFile(folder));
    if (area > 0xFFFFF000u) {
        std::printf("ERROR : 4GBを超えるファイルは格納できません [%s]\n", folder);
        return 1;
    }
    VornMemory::Initialize();
    if (!VornMemory::SetWorkArea(uint32_t(area), false)) {
        std::printf("ERROR : 作業領域の確保に失敗 [%lluByte]\n", static_cast<unsigned long long>(area));
        return 1;
    }
    const bool ok = extract ? VornFile::ExtractPack(pack, folder) : VornFile::BuildPack(pack, folder);
    VornMemory::Finalize();
    std::fflush(stdout);
    return ok ? 0 : 1;
}
