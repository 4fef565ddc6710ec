// VornFile: data files by kind and name, found as loose files under the root folder, as entries of
// the one PACK file, as module resources or at the name as given. Whole loads land in a work-area
// buffer (free it with VornMemory::Free) and arrive LZSS-decoded.
#pragma once
#include "VornPackFormat.h"
#include <cstdint>
#include <windows.h>

enum VornFileKind : uint32_t
{
    FILE_KIND_NONE = 0,
    FILE_KIND_TEXTURE = 1,
    FILE_KIND_MODEL = 2,
    FILE_KIND_SHADER = 3,
    FILE_KIND_FONT = 4,
    FILE_KIND_SOUND = 5,
    FILE_KIND_MUSIC = 6,
    FILE_KIND_AUDIO = 7,
    FILE_KIND_MEDIA = 8,
    FILE_KIND_DATA = 9,
    FILE_KIND_COUNT = 10,
};

// What a look at a pack file found (VornFile::CheckPack).
enum VornPackCheck : uint32_t
{
    PACK_CHECK_OK = 0,
    PACK_CHECK_MISSING = 1,    // it does not open
    PACK_CHECK_DAMAGED = 2,    // not a pack, or its directory does not read or points outside the file
};

struct VornFileStream
{
    HANDLE file;
    uint32_t inPack;    // 0 plain file, 1 pack entry
    uint32_t start;     // offset of the stream in the file
    uint32_t size;
    FILETIME creation;
    FILETIME lastAccess;
    FILETIME lastWrite;
};

class VornFile
{
public:
    static bool Initialize();
    static void Finalize();

    static void SetRootPath(const char* root, const char* pack);
    static void SetCurrentPath(const char* folder);
    static void SetKindPath(uint32_t kind, const char* folder);
    static const char* GetRootPath();
    static const char* GetCurrentPath();
    static const char* GetPackPath();
    static const char* GetKindPath(uint32_t kind);

    static bool Load(uint32_t kind, const char* name, void** data, uint32_t* size);
    static bool LoadFromFile(const char* path, void** data, uint32_t* size);
    static bool LoadFromPack(const char* name, const char* packPath, void** data, uint32_t* size);
    static bool LoadFromResource(const char* name, const char* type, void** data, uint32_t* size);

    static VornFileStream* Open(uint32_t kind, const char* name);
    static VornFileStream* OpenFromFile(const char* path);
    static VornFileStream* OpenFromPack(const char* name, const char* packPath);
    static void Close(VornFileStream* stream);
    static uint32_t GetSize(const VornFileStream* stream);
    static uint32_t GetPosition(const VornFileStream* stream);
    static uint32_t Read(VornFileStream* stream, uint32_t size, void* buffer);
    static uint32_t Write(VornFileStream* stream, uint32_t size, const void* buffer);
    // origin 0 = from the current position, 1 = from the stream's start, 2 = from its end.
    static bool Seek(VornFileStream* stream, int32_t offset, uint32_t origin);

    static bool FindPackEntry(HANDLE pack, const char* normalisedName, uint32_t* offset,
                              uint32_t* size, uint32_t* dataCrc);
    static bool ExistsInPack(uint32_t kind, const char* name);
    // Whether the pack at path opens and its whole directory reads, every entry inside the file (a
    // truncated pack fails here); a failure is logged. Entries' data are checked when loaded.
    static VornPackCheck CheckPack(const char* path);
    // outPath holds 256 bytes.
    static bool FindFilePath(uint32_t kind, char* outPath, const char* name);
    // Copies the file to "<temp>\\NNNN_<name>" (outPath holds 256 bytes) for interfaces that need a real file.
    static bool ExtractToTemp(uint32_t kind, const char* name, char* outPath);
    static bool DecodeIfCompressed(void** data, uint32_t* size);
    static uint32_t Crc32(const uint8_t* data, uint32_t length);

    static bool BuildPack(const char* outName, const char* folder);
    static bool ExtractPack(const char* packPath, const char* outFolder);
    // Adds the files under folder (recursively) to table[count..capacity); returns the new count.
    // A name too long for an entry, or a full table, skips the file and clears *complete.
    static uint32_t CollectFiles(VornPackEntry* table, uint32_t count, uint32_t capacity,
                                 const char* folder, const char* root, bool* complete = nullptr);
    static constexpr uint32_t PACK_CAPACITY = 65536;
};
