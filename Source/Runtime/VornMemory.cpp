#include "VornMemory.h"
#include "VornLog.h"
#include "VornSystem.h"
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <windows.h>
#include <mmsystem.h>

namespace {

struct VornMemoryBlock
{
    uint32_t used;        // 0 free, 1 in use
    uint32_t tag;         // 0xFFFFFFFF when free
    uint32_t size;        // in use: requested size; free: capacity of the data area
    uint32_t allocated;   // in use: the rounded need (request + guard, 256-byte steps)
    uint32_t slack;       // in use: capacity kept behind the need (< 256)
    VornMemoryBlock* next;
    int32_t line;
    char file[220];
};
static_assert(sizeof(VornMemoryBlock) == VornMemory::HEADER_SIZE, "block headers are 256 bytes");

constexpr uint32_t GRANULE = 256;
constexpr uint32_t GUARD_SIZE = 4;
constexpr uint32_t FREE_TAG = 0xFFFFFFFF;

struct Area
{
    uint8_t* address;         // as the OS gave it
    uint8_t* base;            // first 256-byte boundary in it
    uint8_t* end;
    VornMemoryBlock* head;
    VornMemoryBlock* cursor;
    uint32_t total;           // the size given
    uint32_t used;
    uint32_t peak;
    uint32_t guard;
    uint32_t lastRequest;
    bool debug;
} g_area;

VornSystem::CriticalSection g_lock;

struct Lock : VornSystem::ScopedLock
{
    Lock() : ScopedLock(g_lock) {}
};

uint8_t* DataOf(VornMemoryBlock* b) { return reinterpret_cast<uint8_t*>(b) + GRANULE; }
double KB(double bytes) { return bytes / 1024.0; }
unsigned long long Address(const void* p) { return static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(p)); }

void ClearFree(VornMemoryBlock* b, uint32_t capacity, VornMemoryBlock* next)
{
    b->used = 0;
    b->tag = FREE_TAG;
    b->size = capacity;
    b->allocated = 0;
    b->slack = 0;
    b->next = next;
    b->line = 0;
    std::memset(b->file, 0, sizeof b->file);
}

void SetFileName(VornMemoryBlock* b, const char* file)
{
    const char* name = file ? file : "";
    for (const char* p = name; *p; ++p)
        if (*p == '\\' || *p == '/') name = p + 1;
    std::memset(b->file, 0, sizeof b->file);
    VornSystem::CopyText(b->file, sizeof b->file, name);
}

// Best fit: the smallest free block that holds need; the first of equal sizes wins.
VornMemoryBlock* SearchFreeBlock(uint32_t need)
{
    VornMemoryBlock* best = nullptr;
    for (VornMemoryBlock* b = g_area.head; b; b = b->next) {
        if (b->used || b->size < need) continue;
        if (!best || b->size < best->size) {
            best = b;
            if (b->size == need) break;   // nothing can be strictly smaller
        }
    }
    if (best) g_area.cursor = best;
    return best;
}

uint8_t* SplitBlock(VornMemoryBlock* b, uint32_t size, uint32_t need, uint16_t tag)
{
    uint8_t* data = DataOf(b);
    const uint32_t rest = b->size - need;
    uint32_t slack = 0;
    if (rest >= GRANULE) {
        VornMemoryBlock* tail = reinterpret_cast<VornMemoryBlock*>(data + need);
        ClearFree(tail, rest - GRANULE, b->next);
        b->next = tail;
    } else {
        slack = rest;
    }
    b->used = 1;
    b->tag = tag;
    b->size = size;
    b->allocated = need;
    b->slack = slack;
    return data;
}

// The live block whose data begins at p, or null (with its predecessor in *prev).
VornMemoryBlock* FindLiveBlock(const void* p, VornMemoryBlock** prev)
{
    const uint8_t* q = static_cast<const uint8_t*>(p);
    if (!g_area.head || q < g_area.base + GRANULE || q >= g_area.end) return nullptr;
    if ((reinterpret_cast<uintptr_t>(q) & (GRANULE - 1)) != 0) return nullptr;
    VornMemoryBlock* before = nullptr;
    for (VornMemoryBlock* b = g_area.head; b; before = b, b = b->next) {
        uint8_t* data = DataOf(b);
        if (data == q) {
            if (!b->used) return nullptr;
            if (prev) *prev = before;
            return b;
        }
        if (data > q) break;
    }
    return nullptr;
}

// Joins b with the free blocks that follow it.
void AbsorbNext(VornMemoryBlock* b)
{
    while (b->next && !b->next->used) {
        b->size += b->next->size + GRANULE;
        b->next = b->next->next;
    }
}

bool WouldOverflowNeed(uint32_t size, uint32_t* need)
{
    const uint64_t n = (uint64_t(size) + GUARD_SIZE + GRANULE - 1) & ~uint64_t(GRANULE - 1);
    if (n > 0xFFFFFFFFull) return true;
    *need = uint32_t(n);
    return false;
}

void* AllocImpl(uint32_t size, uint16_t tag, const char* file, int32_t line, bool zero, bool quiet)
{
    uint8_t* data = nullptr;
    uint32_t capacity = 0;
    {
        Lock lock;
        g_area.lastRequest = size;
        if (g_area.head) {
            if (g_area.debug) VornMemory::CheckOverAccess();
            uint32_t need = 0;
            VornMemoryBlock* b = WouldOverflowNeed(size, &need) ? nullptr : SearchFreeBlock(need);
            if (b) {
                data = SplitBlock(b, size, need, tag);
                if (g_area.debug) {
                    std::memset(data, VornMemory::FILL_ALLOC, size);
                    SetFileName(b, file);
                    b->line = line;
                    std::memcpy(data + size, &g_area.guard, GUARD_SIZE);
                }
                g_area.used += b->allocated + b->slack;
                if (g_area.used > g_area.peak) g_area.peak = g_area.used;
                capacity = b->size;
            }
        }
        if (data && zero) std::memset(data, 0, size);
    }
    if (!quiet) {
        VornLog::StrongBlue("VornMemory::Alloc");
        VornLog::Print(" : [ %.3lfKB ] : ", KB(size));
        if (data) {
            VornLog::Print("USE [ %.3lfKB ] : ", KB(double(capacity) + GRANULE + GUARD_SIZE));
            VornLog::Print("FREE [ %.3lfKB ] : ", KB(VornMemory::GetFreeSize()));
            VornLog::Print("ADDRESS [ 0x%08llX ] : ", Address(data));
            VornLog::StrongGreen("Success");
        } else {
            VornLog::StrongRed("メモリ確保に失敗");
        }
        VornLog::LineBreak();
    }
    return data;
}

void FreeImpl(void* p, bool quiet)
{
    if (!p) return;
    uint32_t freed = 0;
    bool valid = false;
    {
        Lock lock;
        VornMemoryBlock* prev = nullptr;
        VornMemoryBlock* b = FindLiveBlock(p, &prev);
        if (b) {
            valid = true;
            freed = b->allocated + b->slack;
            g_area.used -= freed;
            if (g_area.debug) std::memset(DataOf(b), VornMemory::FILL_FREE, b->size);
            const uint32_t capacity = freed;
            ClearFree(b, capacity, b->next);
            // Free blocks never stay side by side, so joining the neighbours is the full merge.
            AbsorbNext(b);
            if (prev && !prev->used) {
                AbsorbNext(prev);
                b = prev;
            }
            g_area.cursor = b;
        }
    }
    if (!valid) {
        VornLog::StrongBlue("VornMemory::Free");
        VornLog::Print(" : ADDRESS [ 0x%08llX ] : ", Address(p));
        VornLog::StrongRed("ワークエリアの使用中ブロックではないため無視しました");
        VornLog::LineBreak();
        return;
    }
    if (!quiet) {
        VornLog::StrongBlue("VornMemory::Free");
        VornLog::Print(" : FREE [ %.3lfKB ]", KB(freed));
        VornLog::Print(" : REST [ %.3lfKB ]", KB(VornMemory::GetFreeSize()));
        VornLog::LineBreak();
    }
}

void* ReallocImpl(void* p, uint32_t newSize, const char* file, int32_t line, bool quiet)
{
    if (!p) return AllocImpl(newSize, VornMemory::DEFAULT_TAG, file, line, false, quiet);
    uint32_t oldSize = 0;
    uint16_t tag = VornMemory::DEFAULT_TAG;
    {
        Lock lock;
        VornMemoryBlock* b = FindLiveBlock(p, nullptr);
        if (!b) {
            VornLog::StrongBlue("VornMemory::Realloc");
            VornLog::Print(" : ADDRESS [ 0x%08llX ] : ", Address(p));
            VornLog::StrongRed("ワークエリアの使用中ブロックではありません");
            VornLog::LineBreak();
            return nullptr;
        }
        oldSize = b->size;
        tag = uint16_t(b->tag);
    }
    void* q = AllocImpl(newSize, tag, file, line, false, quiet);
    if (!q) return nullptr;
    std::memcpy(q, p, newSize < oldSize ? newSize : oldSize);
    FreeImpl(p, quiet);
    return q;
}

void ReleaseArea()
{
    if (g_area.address) VirtualFree(g_area.address, 0, MEM_RELEASE);
    const bool debug = g_area.debug;
    g_area = Area();
    g_area.debug = debug;
}

} // namespace

bool VornMemory::Initialize()
{
    Lock lock;
    g_area.debug = true;
    VornLog::Title("VornMemoryクラスの初期化");
    return true;
}

bool VornMemory::SetWorkArea(uint32_t size, bool debug)
{
    Lock lock;
    VornLog::Title("VornMemory::SetWorkArea");
    if (g_area.address) ReleaseArea();
    g_area.debug = debug;
    const uint64_t rounded = (uint64_t(size) + 4095) & ~uint64_t(4095);
    // One block needs its header and one granule of data past the alignment gap.
    if (uint64_t(size) < 3ull * GRANULE) {
        VornLog::StrongRed("ワークエリアが小さすぎます [ %uByte ]", size);
        VornLog::LineBreak();
        return false;
    }
    uint8_t* address = static_cast<uint8_t*>(
        rounded <= SIZE_MAX ? VirtualAlloc(nullptr, size_t(rounded), MEM_COMMIT, PAGE_READWRITE) : nullptr);
    if (!address) {
        VornLog::StrongRed("ＯＳからのメモリ確保に失敗 [ %.03lfMB ]", double(size) / 1024.0 / 1024.0);
        VornLog::LineBreak();
        return false;
    }
    uint8_t* base = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(address) + GRANULE - 1) &
                                               ~uintptr_t(GRANULE - 1));
    const uint32_t gap = uint32_t(base - address);
    g_area.address = address;
    g_area.base = base;
    g_area.end = address + size;
    g_area.total = size;
    g_area.used = 0;
    g_area.peak = 0;
    g_area.lastRequest = 0;
    srand(unsigned(time(nullptr)) * unsigned(timeGetTime()));
    uint32_t guard = uint32_t(rand()) * uint32_t(rand());
    while (guard == 0) guard = uint32_t(rand()) * uint32_t(rand());   // zeros would hide a zero overrun
    g_area.guard = guard;
    g_area.head = g_area.cursor = reinterpret_cast<VornMemoryBlock*>(base);
    ClearFree(g_area.head, size - gap - GRANULE, nullptr);
    VornLog::Print(" : ALL [ %.3lfKB ] : ADDRESS [ 0x%08llX ] : ALIGNED ADDRESS [ 0x%08llX ] : MODE [ %s ] : GUID [ 0x%08X ] : ",
                   KB(double(g_area.head->size) + GRANULE), Address(address), Address(base),
                   debug ? "DEBUG" : "RELEASE", guard);
    VornLog::StrongGreen("Success");
    VornLog::LineBreak();
    return true;
}

void VornMemory::Finalize()
{
    Lock lock;
    VornLog::Title("VornMemoryクラスの解放");
    VornLog::Print("瞬間最大使用メモリ容量 [ %uByte (%.3lfMB) ]", g_area.peak, double(g_area.peak) / 1024.0 / 1024.0);
    VornLog::LineBreak();
    if (!g_area.head) return;
    CheckOverAccess();
    MergeFreeBlocks();
    uint32_t count = 0;
    for (VornMemoryBlock* b = g_area.head; b; b = b->next) {
        ++count;
        if (g_area.debug && b->used) {
            VornLog::StrongRed("MemoryLeak");
            VornLog::Print(" : ADDRESS [ 0x%08llX ] : SIZE [ %.3lfKB ] : FILE [ %s ] : LINE [ %d ]",
                           Address(DataOf(b)), KB(b->size), b->file, b->line);
            VornLog::LineBreak();
        }
    }
    if (g_area.debug) {
        VornLog::Print("HEADER COUNT [%u]", count);
        VornLog::LineBreak();
    }
    ReleaseArea();
}

bool VornMemory::IsReady()
{
    Lock lock;
    return g_area.head != nullptr;
}

void* VornMemory::Alloc(uint32_t size, uint16_t tag, const char* file, int32_t line)
{
    return AllocImpl(size, tag, file, line, false, false);
}
void* VornMemory::AllocQuiet(uint32_t size, uint16_t tag, const char* file, int32_t line)
{
    return AllocImpl(size, tag, file, line, false, true);
}
void* VornMemory::AllocZero(uint32_t size, uint16_t tag, const char* file, int32_t line)
{
    return AllocImpl(size, tag, file, line, true, false);
}
void* VornMemory::AllocZeroQuiet(uint32_t size, uint16_t tag, const char* file, int32_t line)
{
    return AllocImpl(size, tag, file, line, true, true);
}
void* VornMemory::Realloc(void* p, uint32_t newSize, const char* file, int32_t line)
{
    return ReallocImpl(p, newSize, file, line, false);
}
void* VornMemory::ReallocQuiet(void* p, uint32_t newSize, const char* file, int32_t line)
{
    return ReallocImpl(p, newSize, file, line, true);
}
void VornMemory::Free(void* p) { FreeImpl(p, false); }
void VornMemory::FreeQuiet(void* p) { FreeImpl(p, true); }

static void FreeByTagImpl(uint16_t tag, bool quiet)
{
    Lock lock;
    for (;;) {
        VornMemoryBlock* found = nullptr;
        for (VornMemoryBlock* b = g_area.head; b; b = b->next)
            if (b->used && b->tag == tag) {
                found = b;
                break;
            }
        if (!found) break;
        FreeImpl(DataOf(found), quiet);
    }
}

void VornMemory::FreeByTag(uint16_t tag) { FreeByTagImpl(tag, false); }
void VornMemory::FreeByTagQuiet(uint16_t tag) { FreeByTagImpl(tag, true); }

uint32_t VornMemory::GetFreeSize()
{
    Lock lock;
    return g_area.total - g_area.used;
}
uint32_t VornMemory::GetUsedSize()
{
    Lock lock;
    return g_area.used;
}
uint32_t VornMemory::GetPeakSize()
{
    Lock lock;
    return g_area.peak;
}
uint32_t VornMemory::GetTotalSize()
{
    Lock lock;
    return g_area.total;
}
uint32_t VornMemory::GetLastAllocSize()
{
    Lock lock;
    return g_area.lastRequest;
}
bool VornMemory::IsDebug()
{
    Lock lock;
    return g_area.debug;
}

uint32_t VornMemory::GetBlockCount()
{
    Lock lock;
    uint32_t count = 0;
    for (VornMemoryBlock* b = g_area.head; b; b = b->next) ++count;
    return count;
}

uint32_t VornMemory::GetBlockSize(const void* p)
{
    Lock lock;
    VornMemoryBlock* b = FindLiveBlock(p, nullptr);
    return b ? b->size : 0;
}

bool VornMemory::CheckOverAccess()
{
    Lock lock;
    if (!g_area.debug || !g_area.head) return true;
    for (VornMemoryBlock* b = g_area.head; b; b = b->next) {
        if (!b->used) continue;
        uint32_t found;
        std::memcpy(&found, DataOf(b) + b->size, GUARD_SIZE);
        if (found != g_area.guard) {
            VornLog::StrongRed("Memory OverAccess");
            VornLog::Print(" : ADDRESS [ 0x%08llX ] : SIZE [ %.3lfKB ] : FILE [ %s ] : LINE [ %d ] : GUID [ 0x%08X ]",
                           Address(DataOf(b)), KB(b->size), b->file, b->line, found);
            VornLog::LineBreak();
            return false;
        }
    }
    return true;
}

void VornMemory::MergeFreeBlocks()
{
    Lock lock;
    g_area.cursor = g_area.head;
    for (VornMemoryBlock* b = g_area.head; b; b = b->next) {
        if (b->used) continue;
        g_area.cursor = b;
        AbsorbNext(b);
    }
}

void VornMemory::PrintAllocList()
{
    Lock lock;
    if (!g_area.debug || !g_area.head) return;
    VornLog::StrongGreen("------------------------ [0x%08llX] Print Alloc Memory", Address(g_area.head));
    VornLog::LineBreak();
    for (VornMemoryBlock* b = g_area.head; b; b = b->next) {
        if (!b->used) continue;
        VornLog::Print("ADDRESS [ 0x%08llX ] : SIZE [ %.3lfKB ] : FILE [ %s ] : LINE [ %d ]", Address(DataOf(b)),
                       KB(b->size), b->file, b->line);
        VornLog::LineBreak();
    }
    VornLog::StrongGreen("------------------------ [0x%08llX] Finish",
                         Address(reinterpret_cast<uint8_t*>(g_area.head) + g_area.total));
    VornLog::LineBreak();
}

uint32_t VornMemory::GetMemoryMap(VornMemoryRun* runs, uint32_t maxRuns)
{
    Lock lock;
    uint32_t count = 0;
    VornMemoryBlock* b = g_area.head;
    while (b) {
        if (!b->used) {
            b = b->next;
            continue;
        }
        const uint32_t start = uint32_t(reinterpret_cast<uint8_t*>(b) - reinterpret_cast<uint8_t*>(g_area.head));
        uint32_t length = 0;
        for (; b && b->used; b = b->next) length += b->allocated + b->slack + GRANULE;
        if (count < maxRuns && runs) runs[count] = {start, length};
        ++count;
    }
    return count;
}
