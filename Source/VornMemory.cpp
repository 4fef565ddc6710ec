// Temporary heap-backed work area; the block allocator replaces it behind the same interface.
#include "VornMemory.h"
#include "VornLog.h"
#include <cstdlib>
#include <cstring>

namespace {
struct Head { uint32_t size; uint16_t tag; uint16_t pad; uint64_t align[1]; };
uint32_t g_last;
}

bool VornMemory::Initialize() { VornLog::Title("VornMemoryクラスの初期化"); return true; }
bool VornMemory::SetWorkArea(uint32_t, bool) { return true; }
void VornMemory::Finalize() { VornLog::Title("VornMemoryクラスの解放"); }
bool VornMemory::IsReady() { return true; }

void* VornMemory::AllocQuiet(uint32_t size, uint16_t tag, const char*, int32_t)
{
    g_last = size;
    Head* h = static_cast<Head*>(std::malloc(sizeof(Head) + size));
    if (!h) return nullptr;
    h->size = size;
    h->tag = tag;
    return h + 1;
}
void* VornMemory::Alloc(uint32_t size, uint16_t tag, const char* f, int32_t l) { return AllocQuiet(size, tag, f, l); }
void* VornMemory::AllocZeroQuiet(uint32_t size, uint16_t tag, const char* f, int32_t l)
{
    void* p = AllocQuiet(size, tag, f, l);
    if (p) std::memset(p, 0, size);
    return p;
}
void* VornMemory::AllocZero(uint32_t size, uint16_t tag, const char* f, int32_t l) { return AllocZeroQuiet(size, tag, f, l); }
void* VornMemory::ReallocQuiet(void* p, uint32_t n, const char* f, int32_t l)
{
    if (!p) return AllocQuiet(n, DEFAULT_TAG, f, l);
    Head* h = static_cast<Head*>(p) - 1;
    void* q = AllocQuiet(n, h->tag, f, l);
    if (!q) return nullptr;
    std::memcpy(q, p, n < h->size ? n : h->size);
    FreeQuiet(p);
    return q;
}
void* VornMemory::Realloc(void* p, uint32_t n, const char* f, int32_t l) { return ReallocQuiet(p, n, f, l); }
void VornMemory::FreeQuiet(void* p) { if (p) std::free(static_cast<Head*>(p) - 1); }
void VornMemory::Free(void* p) { FreeQuiet(p); }
void VornMemory::FreeByTag(uint16_t) {}
void VornMemory::FreeByTagQuiet(uint16_t) {}
uint32_t VornMemory::GetFreeSize() { return 0x7FFFFFFF; }
uint32_t VornMemory::GetUsedSize() { return 0; }
uint32_t VornMemory::GetPeakSize() { return 0; }
uint32_t VornMemory::GetTotalSize() { return 0x7FFFFFFF; }
uint32_t VornMemory::GetLastAllocSize() { return g_last; }
uint32_t VornMemory::GetBlockCount() { return 0; }
bool VornMemory::IsDebug() { return false; }
uint32_t VornMemory::GetBlockSize(const void* p) { return p ? (static_cast<const Head*>(p) - 1)->size : 0; }
bool VornMemory::CheckOverAccess() { return true; }
void VornMemory::MergeFreeBlocks() {}
void VornMemory::PrintAllocList() {}
void VornMemory::DrawMemoryMap(uint32_t, float, float, float, float, uint32_t, uint32_t) {}
