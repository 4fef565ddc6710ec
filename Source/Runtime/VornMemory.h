// VornMemory: the work area, the engine's own heap. One region from the OS cut into blocks with a
// 256-byte header each; best fit with splitting, merging of free neighbours, and in debug mode fill
// patterns, a guard word behind every block and a leak report at Finalize.
// Initialize and SetWorkArea must run before anything allocates (tests too).
#pragma once
#include <cstdint>

// A run of consecutive blocks in use: offset from the first header and length, headers included.
struct VornMemoryRun
{
    uint32_t start;
    uint32_t length;
};

class VornMemory
{
public:
    static constexpr uint16_t DEFAULT_TAG = 0xFFFF;
    static constexpr uint32_t HEADER_SIZE = 256;
    static constexpr uint8_t FILL_ALLOC = 0xBC;
    static constexpr uint8_t FILL_FREE = 0xCD;

    static bool Initialize();
    static bool SetWorkArea(uint32_t size, bool debug);
    static void Finalize();
    static bool IsReady();   // a work area is set up

    static void* Alloc(uint32_t size, uint16_t tag, const char* file, int32_t line);
    static void* AllocQuiet(uint32_t size, uint16_t tag, const char* file, int32_t line);
    static void* AllocZero(uint32_t size, uint16_t tag, const char* file, int32_t line);
    static void* AllocZeroQuiet(uint32_t size, uint16_t tag, const char* file, int32_t line);
    // Realloc(nullptr, n) acts as Alloc; on failure the old block stays valid.
    static void* Realloc(void* p, uint32_t newSize, const char* file, int32_t line);
    static void* ReallocQuiet(void* p, uint32_t newSize, const char* file, int32_t line);
    // Null is ignored; a pointer that is not a live block of the area is ignored with a log line.
    static void Free(void* p);
    static void FreeQuiet(void* p);
    static void FreeByTag(uint16_t tag);
    static void FreeByTagQuiet(uint16_t tag);

    static uint32_t GetFreeSize();
    static uint32_t GetUsedSize();
    static uint32_t GetPeakSize();
    static uint32_t GetTotalSize();
    static uint32_t GetLastAllocSize();
    static uint32_t GetBlockCount();      // headers in the area, free ones included
    static bool IsDebug();
    // The requested size of a live block (0 for anything else).
    static uint32_t GetBlockSize(const void* p);

    static bool CheckOverAccess();
    static void MergeFreeBlocks();
    static void PrintAllocList();
    // The runs of blocks in use, in address order; returns how many there are (writes at most
    // maxRuns).
    static uint32_t GetMemoryMap(VornMemoryRun* runs, uint32_t maxRuns);
    // Draws the area as a bar through VornEffect::FillRect on the given primitive batch.
    static void DrawMemoryMap(uint32_t primitive, float x, float y, float w, float h,
                              uint32_t backColour, uint32_t usedColour);
};

// Callers pass their own file and line; the engine's tag is 0xFFFF.
#define VORN_ALLOC(size) VornMemory::Alloc((size), VornMemory::DEFAULT_TAG, __FILE__, __LINE__)
#define VORN_ALLOC_QUIET(size) VornMemory::AllocQuiet((size), VornMemory::DEFAULT_TAG, __FILE__, __LINE__)
#define VORN_ALLOC_ZERO(size) VornMemory::AllocZero((size), VornMemory::DEFAULT_TAG, __FILE__, __LINE__)
#define VORN_ALLOC_ZERO_QUIET(size) VornMemory::AllocZeroQuiet((size), VornMemory::DEFAULT_TAG, __FILE__, __LINE__)
#define VORN_REALLOC(p, size) VornMemory::Realloc((p), (size), __FILE__, __LINE__)
#define VORN_FREE(p) VornMemory::Free(p)
