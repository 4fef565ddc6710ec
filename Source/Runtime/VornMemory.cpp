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
    uint32_t previous;    // granules back to the previous header (0: the head)
    VornMemoryBlock* next;
    int32_t line;
    char file[220];
};
static_assert(sizeof(VornMemoryBlock) == VornMemory::HEADER_SIZE, "block headers are 256 bytes");
static_assert(offsetof(VornMemoryBlock, next) == 24 && offsetof(VornMemoryBlock, file) == 36,
              "the back link sits in the padding before next");

constexpr uint32_t GRANULE = 256;
constexpr uint32_t GUARD_SIZE = 4;
constexpr uint32_t FREE_TAG = 0xFFFFFFFF;
constexpr uint32_t NONE = 0xFFFFFFFF;

// Free blocks are indexed by capacity: one class per granule below 128 KiB, then eight classes per
// power of two. Classes grow with the capacity, so the best fit lies in the first class that holds
// any block large enough.
constexpr uint32_t EXACT_CLASSES = 512;
constexpr uint32_t CLASS_COUNT = EXACT_CLASSES + 15 * 8;
constexpr uint32_t CLASS_WORDS = (CLASS_COUNT + 63) / 64;

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
    // Beside the area: a bit per granule set where a header starts (so a pointer is checked
    // without a walk), and the links of the free lists, per granule of a free header.
    uint64_t* starts;
    uint32_t* freeNext;
    uint32_t* freePrevious;
    uint32_t classHead[CLASS_COUNT];
    uint64_t classBits[CLASS_WORDS];
} g_area;

VornSystem::CriticalSection g_lock;

struct Lock : VornSystem::ScopedLock
{
    Lock() : ScopedLock(g_lock) {}
};

uint8_t* DataOf(VornMemoryBlock* b) { return reinterpret_cast<uint8_t*>(b) + GRANULE; }
double KB(double bytes) { return bytes / 1024.0; }
unsigned long long Address(const void* p) { return static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(p)); }

uint32_t IndexOf(const VornMemoryBlock* b)
{
    return uint32_t((reinterpret_cast<const uint8_t*>(b) - g_area.base) / GRANULE);
}
VornMemoryBlock* BlockAt(uint32_t i) { return reinterpret_cast<VornMemoryBlock*>(g_area.base + size_t(i) * GRANULE); }
bool IsStart(uint32_t i) { return (g_area.starts[i >> 6] >> (i & 63)) & 1; }
void MarkStart(const VornMemoryBlock* b, bool start)
{
    const uint32_t i = IndexOf(b);
    if (start) g_area.starts[i >> 6] |= 1ull << (i & 63);
    else g_area.starts[i >> 6] &= ~(1ull << (i & 63));
}

VornMemoryBlock* Previous(VornMemoryBlock* b)
{
    if (!b->previous) return nullptr;
    return reinterpret_cast<VornMemoryBlock*>(reinterpret_cast<uint8_t*>(b) - size_t(b->previous) * GRANULE);
}
void LinkBack(VornMemoryBlock* b, VornMemoryBlock* previous)
{
    if (b) b->previous = uint32_t((reinterpret_cast<uint8_t*>(b) - reinterpret_cast<uint8_t*>(previous)) / GRANULE);
}

uint32_t ClassOf(uint32_t size)
{
    if (size < EXACT_CLASSES * GRANULE) return size / GRANULE;
    uint32_t top = 17;
    while (top < 31 && (size >> (top + 1)) != 0) ++top;
    return EXACT_CLASSES + (top - 17) * 8 + ((size >> (top - 3)) & 7);
}

uint32_t LowestBit(uint64_t v)
{
    uint32_t n = 0;
    while (!(v & 0xFF)) v >>= 8, n += 8;
    while (!(v & 1)) v >>= 1, ++n;
    return n;
}

// The first class from c on that holds a free block, or NONE.
uint32_t NextClass(uint32_t c)
{
    for (uint32_t w = c >> 6; w < CLASS_WORDS; ++w) {
        const uint64_t bits = g_area.classBits[w] & (w == (c >> 6) ? ~0ull << (c & 63) : ~0ull);
        if (bits) return w * 64 + LowestBit(bits);
    }
    return NONE;
}

void IndexFree(VornMemoryBlock* b)
{
    const uint32_t i = IndexOf(b), c = ClassOf(b->size), head = g_area.classHead[c];
    g_area.freePrevious[i] = NONE;
    g_area.freeNext[i] = head;
    if (head != NONE) g_area.freePrevious[head] = i;
    g_area.classHead[c] = i;
    g_area.classBits[c >> 6] |= 1ull << (c & 63);
}

// Takes a free block out of its list; its size must still be the one it was listed with.
void UnindexFree(VornMemoryBlock* b)
{
    const uint32_t i = IndexOf(b), c = ClassOf(b->size);
    const uint32_t next = g_area.freeNext[i], previous = g_area.freePrevious[i];
    if (previous != NONE) g_area.freeNext[previous] = next;
    else g_area.classHead[c] = next;
    if (next != NONE) g_area.freePrevious[next] = previous;
    if (g_area.classHead[c] == NONE) g_area.classBits[c >> 6] &= ~(1ull << (c & 63));
}

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

// Best fit: the smallest free block that holds need; the lowest address of equal sizes wins (the
// first met on a walk from the head).
VornMemoryBlock* SearchFreeBlock(uint32_t need)
{
    VornMemoryBlock* best = nullptr;
    for (uint32_t c = NextClass(ClassOf(need)); c != NONE && !best; c = c + 1 < CLASS_COUNT ? NextClass(c + 1) : NONE) {
        for (uint32_t i = g_area.classHead[c]; i != NONE; i = g_area.freeNext[i]) {
            VornMemoryBlock* b = BlockAt(i);
            if (b->size >= need && (!best || b->size < best->size || (b->size == best->size && b < best))) best = b;
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
    UnindexFree(b);
    if (rest >= GRANULE) {
        VornMemoryBlock* tail = reinterpret_cast<VornMemoryBlock*>(data + need);
        ClearFree(tail, rest - GRANULE, b->next);
        LinkBack(tail, b);
        LinkBack(tail->next, tail);
        b->next = tail;
        MarkStart(tail, true);
        IndexFree(tail);
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

// The live block whose data begins at p, or null: p must be the data of a header that starts a block.
VornMemoryBlock* FindLiveBlock(const void* p)
{
    const uint8_t* q = static_cast<const uint8_t*>(p);
    if (!g_area.head || q < g_area.base + GRANULE || q >= g_area.end) return nullptr;
    if ((reinterpret_cast<uintptr_t>(q) & (GRANULE - 1)) != 0) return nullptr;
    const uint32_t i = uint32_t((q - GRANULE - g_area.base) / GRANULE);
    if (!IsStart(i)) return nullptr;
    VornMemoryBlock* b = BlockAt(i);
    return b->used ? b : nullptr;
}

// Joins b (free, out of the index) with the free blocks that follow it.
void AbsorbNext(VornMemoryBlock* b)
{
    while (b->next && !b->next->used) {
        VornMemoryBlock* next = b->next;
        UnindexFree(next);
        MarkStart(next, false);
        b->size += next->size + GRANULE;
        b->next = next->next;
        LinkBack(b->next, b);
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
        VornMemoryBlock* b = FindLiveBlock(p);
        if (b) {
            valid = true;
            freed = b->allocated + b->slack;
            g_area.used -= freed;
            if (g_area.debug) std::memset(DataOf(b), VornMemory::FILL_FREE, b->size);
            const uint32_t capacity = freed;
            ClearFree(b, capacity, b->next);
            // Free blocks never stay side by side, so joining the neighbours is the full merge.
            AbsorbNext(b);
            IndexFree(b);
            VornMemoryBlock* prev = Previous(b);
            if (prev && !prev->used) {
                UnindexFree(prev);
                AbsorbNext(prev);
                IndexFree(prev);
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
        VornMemoryBlock* b = FindLiveBlock(p);
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
    if (g_area.starts) VirtualFree(g_area.starts, 0, MEM_RELEASE);
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
    const size_t granules = size_t(address + size - base) / GRANULE + 1, words = (granules + 63) / 64;
    uint8_t* index = static_cast<uint8_t*>(
        VirtualAlloc(nullptr, words * sizeof(uint64_t) + granules * 2 * sizeof(uint32_t), MEM_COMMIT, PAGE_READWRITE));
    if (!index) {
        VirtualFree(address, 0, MEM_RELEASE);
        VornLog::StrongRed("ＯＳからのメモリ確保に失敗 [ %.03lfMB ]", double(size) / 1024.0 / 1024.0);
        VornLog::LineBreak();
        return false;
    }
    g_area.starts = reinterpret_cast<uint64_t*>(index);
    g_area.freeNext = reinterpret_cast<uint32_t*>(index + words * sizeof(uint64_t));
    g_area.freePrevious = g_area.freeNext + granules;
    std::memset(g_area.classHead, 0xFF, sizeof g_area.classHead);
    std::memset(g_area.classBits, 0, sizeof g_area.classBits);
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
    g_area.head->previous = 0;
    MarkStart(g_area.head, true);
    IndexFree(g_area.head);
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
    VornMemoryBlock* b = FindLiveBlock(p);
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
        if (!b->next || b->next->used) continue;
        UnindexFree(b);
        AbsorbNext(b);
        IndexFree(b);
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
