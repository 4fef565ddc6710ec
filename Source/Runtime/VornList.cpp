#include "VornList.h"
#include "VornLog.h"
#include "VornMemory.h"
#include <cstring>

namespace {

struct Node
{
    uint32_t list;
    int32_t refCount;
    Node* prev;
    Node* next;
    VornListCallback callback;
};

struct Header
{
    uint8_t used;
    uint32_t count;
    Node* first;
    Node* last;
};

constexpr uint32_t CAPACITY = 64;
Header* g_lists;

// Nodes carry their header right before the data; keep the data 8-byte aligned.
constexpr uint32_t NODE_HEADER = (sizeof(Node) + 7) & ~uint32_t(7);

Node* NodeOf(const void* data)
{
    return reinterpret_cast<Node*>(const_cast<uint8_t*>(static_cast<const uint8_t*>(data)) - NODE_HEADER);
}
void* DataOf(Node* node) { return node ? reinterpret_cast<uint8_t*>(node) + NODE_HEADER : nullptr; }

Header* ListOf(uint32_t list)
{
    if (!g_lists || list >= CAPACITY || !g_lists[list].used) return nullptr;
    return &g_lists[list];
}

void* InsertImpl(uint32_t list, uint32_t size, uint32_t where, VornListCallback callback, bool zero)
{
    Header* h = ListOf(list);
    if (!h || size > 0xFFFFFFFFu - NODE_HEADER) return nullptr;
    Node* node = static_cast<Node*>(zero ? VornMemory::AllocZeroQuiet(NODE_HEADER + size, VornMemory::DEFAULT_TAG, __FILE__, __LINE__)
                                         : VornMemory::AllocQuiet(NODE_HEADER + size, VornMemory::DEFAULT_TAG, __FILE__, __LINE__));
    if (!node) return nullptr;
    node->list = list;
    node->refCount = 1;
    node->callback = callback;
    if (where == VornList::INSERT_HEAD) {
        node->prev = nullptr;
        node->next = h->first;
        if (h->first) h->first->prev = node;
        else h->last = node;
        h->first = node;
    } else {
        node->next = nullptr;
        node->prev = h->last;
        if (h->last) h->last->next = node;
        else h->first = node;
        h->last = node;
    }
    ++h->count;
    return DataOf(node);
}

bool Empty(uint32_t list, bool keep)
{
    Header* h = ListOf(list);
    if (!h) return false;
    for (Node* n = h->first; n; n = n->next) n->refCount = 0;
    VornList::Collect(list);
    std::memset(h, 0, sizeof *h);
    if (keep) h->used = 1;
    return true;
}

} // namespace

bool VornList::Initialize()
{
    VornLog::Title("VornListクラスの初期化");
    if (g_lists) return true;
    g_lists = static_cast<Header*>(VORN_ALLOC_ZERO_QUIET(CAPACITY * uint32_t(sizeof(Header))));
    if (!g_lists) {
        VornLog::StrongRed("リスト管理領域の確保に失敗");
        VornLog::LineBreak();
        return false;
    }
    return true;
}

void VornList::Finalize()
{
    VornLog::Title("VornListクラスの解放");
    if (!g_lists) return;
    for (uint32_t i = 0; i < CAPACITY; ++i) Release(i);
    VornMemory::FreeQuiet(g_lists);
    g_lists = nullptr;
}

uint32_t VornList::Create()
{
    if (!g_lists) return NONE;
    for (uint32_t i = 0; i < CAPACITY; ++i) {
        if (g_lists[i].used) continue;
        std::memset(&g_lists[i], 0, sizeof g_lists[i]);
        g_lists[i].used = 1;
        return i;
    }
    return NONE;
}

bool VornList::Release(uint32_t list) { return Empty(list, false); }
bool VornList::Clear(uint32_t list) { return Empty(list, true); }

void* VornList::Insert(uint32_t list, uint32_t size, uint32_t where, VornListCallback callback)
{
    return InsertImpl(list, size, where, callback, false);
}

void* VornList::InsertZero(uint32_t list, uint32_t size, uint32_t where, VornListCallback callback)
{
    return InsertImpl(list, size, where, callback, true);
}

void VornList::ReleaseNode(void* data)
{
    if (data) --NodeOf(data)->refCount;
}

void VornList::AddRefNode(void* data)
{
    if (data) ++NodeOf(data)->refCount;
}

int32_t VornList::GetRefCount(const void* data) { return data ? NodeOf(data)->refCount : 0; }

uint32_t VornList::GetCount(uint32_t list)
{
    Header* h = ListOf(list);
    return h ? h->count : 0;
}

void* VornList::GetTop(uint32_t list)
{
    Header* h = ListOf(list);
    return h ? DataOf(h->first) : nullptr;
}

void* VornList::GetEnd(uint32_t list)
{
    Header* h = ListOf(list);
    return h ? DataOf(h->last) : nullptr;
}

void* VornList::GetAt(uint32_t list, uint32_t n)
{
    Header* h = ListOf(list);
    if (!h) return nullptr;
    Node* node = h->first;
    for (uint32_t i = 0; node && i < n; ++i) node = node->next;
    return DataOf(node);
}

void* VornList::GetNext(const void* data) { return data ? DataOf(NodeOf(data)->next) : nullptr; }
void* VornList::GetPrev(const void* data) { return data ? DataOf(NodeOf(data)->prev) : nullptr; }

void VornList::Collect(uint32_t list)
{
    Header* h = ListOf(list);
    if (!h) return;
    Node* node = h->first;
    while (node) {
        Node* next = node->next;
        if (node->refCount < 1) {
            if (node->prev) node->prev->next = node->next;
            else h->first = node->next;
            if (node->next) node->next->prev = node->prev;
            else h->last = node->prev;
            --h->count;
            if (node->callback) node->callback(DataOf(node));
            VornMemory::FreeQuiet(node);
        }
        node = next;
    }
}
