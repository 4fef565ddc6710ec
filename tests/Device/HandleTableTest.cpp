// The record table every resource class stands on (its destroy lines at Finalize are checked
// through the texture table).
#include "EngineFixture.h"
#include "VornHandleTable.h"

using namespace vorntest;

namespace {

struct NamedRecord {
    uint8_t inUse;
    uint32_t refCount;
    char name[VORN_RECORD_NAME_SIZE];
    int object;   // what the destroy function lets go of
};

struct PlainRecord {
    uint8_t inUse;
    int object;
};

std::vector<int> g_destroyed;
template <typename Record> void Destroy(Record& r) { g_destroyed.push_back(r.object); }

// A table of max records, started; a record with an object and a name.
class HandleTable : public ::testing::Test {
protected:
    void SetUp() override
    {
        vorntest::StartServices();
        g_destroyed.clear();
    }
    template <typename Table> static void Start(Table& table, uint32_t max)
    {
        table.SetMax(max);
        ASSERT_TRUE(table.Initialize(__FILE__, __LINE__));
    }
    VornHandle Take(int object, const char* name)
    {
        const VornHandle h = table_.AllocRecord();
        if (h != VORN_INVALID_HANDLE) {
            table_[h].object = object;
            table_.SetName(h, name);
        }
        return h;
    }
    VornHandleTable<NamedRecord> table_{Destroy<NamedRecord>, "Thing Destroy [ No.%u ]"};
};

}  // namespace

TEST_F(HandleTable, AllocCountsAndReleaseTakeTheLowestFreeRecord)
{
    // (The default of 64 records is met by the 2D classes' full tables.)
    EXPECT_EQ(VORN_INVALID_HANDLE, table_.AllocRecord());   // no table yet
    Start(table_, 4);
    for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(i, Take(10 + i, std::string(1, 'a' + i).c_str()));
    table_.AddRef(1);
    table_.AddRef(VORN_INVALID_HANDLE);   // ignored
    EXPECT_TRUE(table_.ReleaseRecord(1));
    EXPECT_TRUE(table_.ReleaseRecord(1));
    EXPECT_EQ((std::vector<int>{11}), g_destroyed);
    EXPECT_EQ(std::make_pair(0, std::string()), std::make_pair(int(table_[1].inUse), std::string(table_[1].name)));
    // Not in use any more, none, beyond the table.
    for (VornHandle h : {1u, VORN_INVALID_HANDLE, 99u}) EXPECT_FALSE(table_.ReleaseRecord(h)) << "release of " << h;
    EXPECT_EQ(1u, g_destroyed.size());
    // The freed record comes back first.
    EXPECT_EQ((std::vector<uint32_t>{1, 3, VORN_INVALID_HANDLE}), (std::vector<uint32_t>{Take(13, "d"), Take(14, "e"), Take(15, "f")}));

    table_.ReleaseRecord(1);
    EXPECT_EQ(std::make_pair(-1, -1), std::make_pair(table_.GetField(1u, &NamedRecord::object, -1),
                                                     table_.GetField(VORN_INVALID_HANDLE, &NamedRecord::object, -1)));
    table_.Finalize();
    EXPECT_EQ(std::make_pair(false, -1), std::make_pair(table_.IsInitialized(), table_.GetField(0u, &NamedRecord::object, -1)));

    // Records without a count are destroyed by their first release.
    VornHandleTable<PlainRecord> plain(Destroy<PlainRecord>, nullptr);
    Start(plain, 2);
    const VornHandle h = plain.AllocRecord();
    plain[h].object = 5;
    plain.AddRef(h);
    EXPECT_EQ(std::make_pair(1u, VORN_INVALID_HANDLE), std::make_pair(plain.GetRefCount(h), plain.FindByName("x")));
    g_destroyed.clear();
    EXPECT_TRUE(plain.ReleaseRecord(h));
    EXPECT_EQ(std::make_pair(std::vector<int>{5}, false), std::make_pair(g_destroyed, plain.Live(h)));
    plain.Finalize();
}

TEST_F(HandleTable, FindByNameIsExactAndTakesTheLowestLiveRecord)
{
    Start(table_, 8);
    for (const char* name : {"tex\\Player.bmp", "same", "same"}) Take(0, name);   // records 0, 1, 2
    EXPECT_EQ(0u, table_.FindByName("tex\\Player.bmp"));
    for (const char* miss : {"tex\\player.bmp", "tex\\Player.bm", "tex\\Player.bmpx", static_cast<const char*>(nullptr)})
        EXPECT_EQ(VORN_INVALID_HANDLE, table_.FindByName(miss)) << (miss ? miss : "null");
    EXPECT_EQ(1u, table_.FindByName("same"));
    table_.ReleaseRecord(1);
    EXPECT_EQ(2u, table_.FindByName("same"));
    table_.ReleaseRecord(2);
    // Freed records hold no name, nor do free ones.
    EXPECT_EQ(std::make_pair(VORN_INVALID_HANDLE, VORN_INVALID_HANDLE), std::make_pair(table_.FindByName("same"), table_.FindByName("")));

    // Names keep 255 characters; a longer name is cut and only the cut name is found.
    const std::string longest(255, 'n'), longer(300, 'n');
    const VornHandle a = Take(3, longest.c_str());
    EXPECT_EQ(std::make_pair(a, VORN_INVALID_HANDLE), std::make_pair(table_.FindByName(longest.c_str()), table_.FindByName(longer.c_str())));
    table_.ReleaseRecord(a);
    const VornHandle b = Take(4, longer.c_str());
    EXPECT_EQ(std::make_pair(size_t(255), b), std::make_pair(strlen(table_[b].name), table_.FindByName(longest.c_str())));
    table_.Finalize();
}
