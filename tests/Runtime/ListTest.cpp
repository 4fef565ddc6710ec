// Lists: order, reference counts, deferred collection and callbacks.
#include "RuntimeTestSupport.h"
#include "VornList.h"
#include "VornMemory.h"
#include <vector>

namespace {

std::vector<int> g_released;

uint32_t Record(void* data)
{
    g_released.push_back(*static_cast<int*>(data));
    return 0;
}

class ListTest : public RuntimeTest
{
protected:
    void SetUp() override
    {
        RuntimeTest::SetUp();
        g_released.clear();
        ASSERT_TRUE(VornList::Initialize());
    }
    void TearDown() override
    {
        VornList::Finalize();
        EXPECT_EQ(VornMemory::GetUsedSize(), 0u);
        RuntimeTest::TearDown();
    }
    int* Add(uint32_t list, int value, uint32_t where = VornList::INSERT_TAIL)
    {
        int* p = static_cast<int*>(VornList::Insert(list, sizeof(int), where, Record));
        if (p) *p = value;
        return p;
    }
    std::vector<int> Values(uint32_t list)
    {
        std::vector<int> out;
        for (void* p = VornList::GetTop(list); p; p = VornList::GetNext(p)) out.push_back(*static_cast<int*>(p));
        return out;
    }
};

} // namespace

TEST_F(ListTest, InsertsAtHeadAndTailAndWalksBothWays)
{
    const uint32_t list = VornList::Create();
    Add(list, 2);
    Add(list, 3);
    Add(list, 1, VornList::INSERT_HEAD);
    auto value = [](void* node) { return node ? *static_cast<int*>(node) : -1; };   // -1: no node
    EXPECT_NAMED({"values", Values(list), std::vector<int>({1, 2, 3})}, {"count", VornList::GetCount(list), 3}, {"end", value(VornList::GetEnd(list)), 3},
                 {"at 1", value(VornList::GetAt(list, 1)), 2}, {"before the end", value(VornList::GetPrev(VornList::GetEnd(list))), 2},
                 {"at 3", value(VornList::GetAt(list, 3)), -1}, {"before the top", value(VornList::GetPrev(VornList::GetTop(list))), -1},
                 {"after the end", value(VornList::GetNext(VornList::GetEnd(list))), -1});
    uint8_t* zero = static_cast<uint8_t*>(VornList::InsertZero(list, 100, VornList::INSERT_TAIL, nullptr));
    ASSERT_NE(zero, nullptr);
    EXPECT_BYTES_EQ(std::vector<uint8_t>(100, 0).data(), zero, 100);
}

TEST_F(ListTest, ReleasedNodesWaitForCollectCountedOnesSurviveItAndClearTakesAll)
{
    const uint32_t list = VornList::Create();
    int *a = Add(list, 10), *b = Add(list, 20), *c = Add(list, 30);
    VornList::AddRefNode(b);
    for (int* node : {a, b, c}) VornList::ReleaseNode(node);
    EXPECT_NAMED({"values (still linked)", Values(list), std::vector<int>({10, 20, 30})}, {"count of a", VornList::GetRefCount(a), 0});
    VornList::Collect(list);
    EXPECT_NAMED({"values", Values(list), std::vector<int>({20})}, {"released", g_released, std::vector<int>({10, 30})}, {"count", VornList::GetCount(list), 1},
                 {"before the survivor", VornList::GetPrev(b), nullptr}, {"after the survivor", VornList::GetNext(b), nullptr},
                 {"count of no node", VornList::GetRefCount(nullptr), 0});
    // Clear calls every callback once, counted or not, and keeps the list.
    Add(list, 40);
    g_released.clear();
    EXPECT_TRUE(VornList::Clear(list));
    EXPECT_NAMED({"released", g_released, std::vector<int>({20, 40})}, {"count", VornList::GetCount(list), 0});
    EXPECT_NE(Add(list, 7), nullptr);
    g_released.clear();
    EXPECT_TRUE(VornList::Release(list));
    EXPECT_EQ(g_released, std::vector<int>({7}));
    for (uint32_t gone : {list, VornList::NONE}) EXPECT_FALSE(VornList::Release(gone)) << gone;
    EXPECT_EQ(Add(list, 8), nullptr);
}

TEST_F(ListTest, SixtyFourListsAtMost)
{
    std::vector<uint32_t> lists;
    for (int i = 0; i < 64; ++i) lists.push_back(VornList::Create());
    EXPECT_NAMED({"first", lists.front(), 0}, {"last", lists.back(), 63});
    EXPECT_EQ(VornList::Create(), VornList::NONE);
    VornList::Release(17);
    EXPECT_EQ(VornList::Create(), 17u);
    Add(5, 55);
    VornList::Finalize();   // releases every node of every list
    EXPECT_EQ(g_released, std::vector<int>({55}));
    EXPECT_EQ(VornList::Create(), VornList::NONE);   // the fixture's Finalize is then a second one
}
