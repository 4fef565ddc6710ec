// Lists: order, reference counts, deferred collection and callbacks.
#include "RuntimeTestSupport.h"
#include "VornList.h"
#include "VornMemory.h"
#include <tuple>
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
    EXPECT_EQ(std::make_pair(std::vector<int>({1, 2, 3}), 3u), std::make_pair(Values(list), VornList::GetCount(list)));
    auto value = [](void* node) { return *static_cast<int*>(node); };
    EXPECT_EQ(std::make_tuple(3, 2, 2), std::make_tuple(value(VornList::GetEnd(list)), value(VornList::GetAt(list, 1)),
                                                       value(VornList::GetPrev(VornList::GetEnd(list)))));
    EXPECT_TRUE(!VornList::GetAt(list, 3) && !VornList::GetPrev(VornList::GetTop(list)) && !VornList::GetNext(VornList::GetEnd(list)));
    uint8_t* zero = static_cast<uint8_t*>(VornList::InsertZero(list, 100, VornList::INSERT_TAIL, nullptr));
    ASSERT_NE(zero, nullptr);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(zero[i], 0);
}

TEST_F(ListTest, ReleasedNodesWaitForCollectCountedOnesSurviveItAndClearTakesAll)
{
    const uint32_t list = VornList::Create();
    int *a = Add(list, 10), *b = Add(list, 20), *c = Add(list, 30);
    VornList::AddRefNode(b);
    EXPECT_EQ(VornList::GetRefCount(b), 2);
    for (int* node : {a, b, c}) VornList::ReleaseNode(node);
    EXPECT_EQ(std::make_pair(std::vector<int>({10, 20, 30}), 0), std::make_pair(Values(list), VornList::GetRefCount(a)));   // still linked
    VornList::Collect(list);
    EXPECT_EQ(std::make_tuple(std::vector<int>({20}), 1u, std::vector<int>({10, 30})),
              std::make_tuple(Values(list), VornList::GetCount(list), g_released));
    EXPECT_TRUE(!VornList::GetPrev(b) && !VornList::GetNext(b) && VornList::GetRefCount(nullptr) == 0);
    // Clear calls every callback once, counted or not, and keeps the list.
    Add(list, 40);
    g_released.clear();
    EXPECT_TRUE(VornList::Clear(list));
    EXPECT_EQ(std::make_pair(std::vector<int>({20, 40}), 0u), std::make_pair(g_released, VornList::GetCount(list)));
    EXPECT_NE(Add(list, 7), nullptr);
    g_released.clear();
    EXPECT_EQ((std::pair<bool, std::vector<int>>{true, {7}}), (std::pair<bool, std::vector<int>>{VornList::Release(list), g_released}));
    EXPECT_TRUE(!VornList::Release(list) && !VornList::Release(VornList::NONE) && !Add(list, 8));
}

TEST_F(ListTest, SixtyFourListsAtMost)
{
    std::vector<uint32_t> lists;
    for (int i = 0; i < 64; ++i) lists.push_back(VornList::Create());
    EXPECT_EQ(std::make_pair(lists.front(), lists.back()), std::make_pair(0u, 63u));
    EXPECT_EQ(VornList::Create(), VornList::NONE);
    VornList::Release(17);
    EXPECT_EQ(VornList::Create(), 17u);
    Add(5, 55);
    VornList::Finalize();   // releases every node of every list
    EXPECT_EQ(g_released, std::vector<int>({55}));
    EXPECT_EQ(VornList::Create(), VornList::NONE);   // the fixture's Finalize is then a second one
}
