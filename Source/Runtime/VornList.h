// VornList: a pool of 64 doubly linked lists of reference-counted nodes with variable-size data.
// Nodes are addressed by their data pointer; ReleaseNode only counts down, Collect frees.
#pragma once
#include <cstdint>

typedef uint32_t (*VornListCallback)(void* data);

class VornList
{
public:
    static constexpr uint32_t NONE = 0xFFFFFFFF;
    static constexpr uint32_t INSERT_HEAD = 0;
    static constexpr uint32_t INSERT_TAIL = 1;

    static bool Initialize();
    static void Finalize();

    static uint32_t Create();
    static bool Release(uint32_t list);
    static bool Clear(uint32_t list);
    static void* Insert(uint32_t list, uint32_t size, uint32_t where, VornListCallback callback);
    static void* InsertZero(uint32_t list, uint32_t size, uint32_t where, VornListCallback callback);
    static void ReleaseNode(void* data);
    static void AddRefNode(void* data);
    static int32_t GetRefCount(const void* data);
    static uint32_t GetCount(uint32_t list);
    static void* GetTop(uint32_t list);
    static void* GetEnd(uint32_t list);
    static void* GetAt(uint32_t list, uint32_t n);
    static void* GetNext(const void* data);
    static void* GetPrev(const void* data);
    static void Collect(uint32_t list);
};
