// The record table every resource class stands on.
#include "TextureTestSupport.h"
#include "VornHandleTable.h"
#include <cstring>
#include <string>
#include <vector>

using texturetest::LogCapture;
using texturetest::Red;

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
void DestroyNamed(NamedRecord& r) { g_destroyed.push_back(r.object); }
void DestroyPlain(PlainRecord& r) { g_destroyed.push_back(r.object); }

class HandleTable : public ::testing::Test {
protected:
    void SetUp() override
    {
        texturetest::StartServices();
        g_destroyed.clear();
    }
};

VornHandle Take(VornHandleTable<NamedRecord>& table, int object, const char* name)
{
    const VornHandle h = table.AllocRecord();
    if (h != VORN_INVALID_HANDLE) {
        table[h].object = object;
        table.SetName(h, name);
    }
    return h;
}

}  // namespace

TEST_F(HandleTable, RecordsStartWithTheirFlagCountAndName)
{
    EXPECT_TRUE(VornHandleTable<NamedRecord>::kCounted);
    EXPECT_TRUE(VornHandleTable<NamedRecord>::kNamed);
    EXPECT_FALSE(VornHandleTable<PlainRecord>::kCounted);
    EXPECT_FALSE(VornHandleTable<PlainRecord>::kNamed);
    EXPECT_EQ(4u, offsetof(NamedRecord, refCount));
    EXPECT_EQ(8u, offsetof(NamedRecord, name));
}

TEST_F(HandleTable, CapacityDefaultsTo64AndFollowsSetMax)
{
    VornHandleTable<NamedRecord> table(DestroyNamed, nullptr);
    EXPECT_EQ(0u, table.Count());
    EXPECT_EQ(VORN_INVALID_HANDLE, table.AllocRecord());   // no table yet
    table.SetMax(0);
    ASSERT_TRUE(table.Initialize(__FILE__, __LINE__));
    EXPECT_EQ(64u, table.Count());
    for (uint32_t i = 0; i < 64; ++i) EXPECT_EQ(i, table.AllocRecord());
    EXPECT_EQ(VORN_INVALID_HANDLE, table.AllocRecord());
    table.Finalize();

    table.SetMax(3);
    ASSERT_TRUE(table.Initialize(__FILE__, __LINE__));
    EXPECT_EQ(3u, table.Count());
    table.Finalize();
    EXPECT_FALSE(table.IsInitialized());
}

TEST_F(HandleTable, AllocTakesTheLowestFreeRecordWithCountOne)
{
    VornHandleTable<NamedRecord> table(DestroyNamed, nullptr);
    table.SetMax(4);
    ASSERT_TRUE(table.Initialize(__FILE__, __LINE__));
    EXPECT_EQ(0u, Take(table, 10, "a"));
    EXPECT_EQ(1u, Take(table, 11, "b"));
    EXPECT_EQ(2u, Take(table, 12, "c"));
    EXPECT_EQ(1u, table.GetRefCount(1));
    EXPECT_TRUE(table.ReleaseRecord(1));
    EXPECT_EQ((std::vector<int>{11}), g_destroyed);
    EXPECT_EQ(0, table[1].inUse);
    EXPECT_STREQ("", table[1].name);
    EXPECT_EQ(1u, Take(table, 13, "d"));   // the freed record comes back first
    EXPECT_EQ(3u, Take(table, 14, "e"));
    EXPECT_EQ(VORN_INVALID_HANDLE, Take(table, 15, "f"));
    table.Finalize();
}

TEST_F(HandleTable, CountsGoUpAndDownAndDestroyAtZero)
{
    VornHandleTable<NamedRecord> table(DestroyNamed, nullptr);
    table.SetMax(2);
    ASSERT_TRUE(table.Initialize(__FILE__, __LINE__));
    const VornHandle h = Take(table, 7, "x");
    table.AddRef(h);
    table.AddRef(VORN_INVALID_HANDLE);   // ignored
    table.AddRef(1);                      // a free record is not counted
    EXPECT_EQ(2u, table.GetRefCount(h));
    EXPECT_EQ(0u, table.GetRefCount(1));
    EXPECT_TRUE(table.ReleaseRecord(h));
    EXPECT_TRUE(g_destroyed.empty());
    EXPECT_EQ(1u, table.GetRefCount(h));
    EXPECT_TRUE(table.ReleaseRecord(h));
    EXPECT_EQ((std::vector<int>{7}), g_destroyed);
    EXPECT_FALSE(table.ReleaseRecord(h));   // not in use any more
    EXPECT_FALSE(table.ReleaseRecord(VORN_INVALID_HANDLE));
    EXPECT_FALSE(table.ReleaseRecord(99));  // beyond the table
    EXPECT_EQ(1u, g_destroyed.size());
    table.Finalize();
}

TEST_F(HandleTable, ReleaseLogsTheOperationAndTheCountLeft)
{
    VornHandleTable<NamedRecord> table(DestroyNamed, nullptr);
    table.SetMax(4);
    ASSERT_TRUE(table.Initialize(__FILE__, __LINE__));
    Take(table, 1, "a");
    const VornHandle h = Take(table, 2, "b");
    table.AddRef(h);
    LogCapture log;
    EXPECT_TRUE(table.Release(h, "VornThing::Release"));
    EXPECT_TRUE(table.Release(h, "VornThing::Release"));
    EXPECT_FALSE(table.Release(h, "VornThing::Release"));   // nothing logged
    const std::string text = log.Text();
    const std::string expected = Red("VornThing::Release") + " : [ No.1 ] [Reference 1]<BR>\n" +
                                 Red("VornThing::Release") + " : [ No.1 ] [Reference 0]<BR>\n</BODY>";
    EXPECT_EQ(expected, text.substr(text.find("<B><FONT"), expected.size()));
    table.Finalize();
}

TEST_F(HandleTable, FindByNameIsExactAndTakesTheLowestLiveRecord)
{
    VornHandleTable<NamedRecord> table(DestroyNamed, nullptr);
    table.SetMax(8);
    ASSERT_TRUE(table.Initialize(__FILE__, __LINE__));
    Take(table, 0, "tex\\Player.bmp");
    Take(table, 1, "same");
    Take(table, 2, "same");
    EXPECT_EQ(0u, table.FindByName("tex\\Player.bmp"));
    EXPECT_EQ(VORN_INVALID_HANDLE, table.FindByName("tex\\player.bmp"));   // case counts
    EXPECT_EQ(VORN_INVALID_HANDLE, table.FindByName("tex\\Player.bm"));
    EXPECT_EQ(VORN_INVALID_HANDLE, table.FindByName("tex\\Player.bmpx"));
    EXPECT_EQ(VORN_INVALID_HANDLE, table.FindByName(nullptr));
    EXPECT_EQ(1u, table.FindByName("same"));
    table.ReleaseRecord(1);
    EXPECT_EQ(2u, table.FindByName("same"));
    table.ReleaseRecord(2);
    EXPECT_EQ(VORN_INVALID_HANDLE, table.FindByName("same"));   // freed records hold no name
    EXPECT_EQ(VORN_INVALID_HANDLE, table.FindByName(""));       // nor do free ones

    // Names keep 255 characters; a longer name is cut and only the cut name is found.
    const std::string longest(255, 'n'), longer(300, 'n');
    const VornHandle a = Take(table, 3, longest.c_str());
    EXPECT_EQ(a, table.FindByName(longest.c_str()));
    EXPECT_EQ(VORN_INVALID_HANDLE, table.FindByName(longer.c_str()));
    table.ReleaseRecord(a);
    const VornHandle b = Take(table, 4, longer.c_str());
    EXPECT_EQ(255u, strlen(table[b].name));
    EXPECT_EQ(b, table.FindByName(longest.c_str()));
    table.Finalize();
}

TEST_F(HandleTable, FinalizeForcesEveryCountToOneWithADestroyLinePerLiveRecord)
{
    VornHandleTable<NamedRecord> table(DestroyNamed, "Thing Destroy [ No.%u ]");
    table.SetMax(5);
    ASSERT_TRUE(table.Initialize(__FILE__, __LINE__));
    Take(table, 100, "a");
    const VornHandle b = Take(table, 101, "b");
    Take(table, 102, "c");
    Take(table, 103, "d");
    table.ReleaseRecord(b);
    table.AddRef(2);
    table.AddRef(2);   // three references: still destroyed once
    LogCapture log;
    table.Finalize();
    EXPECT_EQ((std::vector<int>{101, 100, 102, 103}), g_destroyed);
    const std::string text = log.Text();
    EXPECT_NE(std::string::npos, text.find(Red("Thing Destroy [ No.0 ]") + "<BR>\n" + Red("Thing Destroy [ No.2 ]") +
                                           "<BR>\n" + Red("Thing Destroy [ No.3 ]") + "<BR>\n"));
    EXPECT_EQ(std::string::npos, text.find("No.1 ]"));
    EXPECT_FALSE(table.IsInitialized());
    EXPECT_EQ(nullptr, table.Get(0));

    g_destroyed.clear();
    table.Finalize();   // without a table: nothing
    EXPECT_TRUE(g_destroyed.empty());
}

TEST_F(HandleTable, UncountedRecordsAreDestroyedByTheirFirstRelease)
{
    VornHandleTable<PlainRecord> table(DestroyPlain, "Plain Destroy [ No.%u ]");
    table.SetMax(2);
    ASSERT_TRUE(table.Initialize(__FILE__, __LINE__));
    const VornHandle h = table.AllocRecord();
    table[h].object = 5;
    table.AddRef(h);
    EXPECT_EQ(1u, table.GetRefCount(h));
    EXPECT_EQ(VORN_INVALID_HANDLE, table.FindByName("x"));
    EXPECT_TRUE(table.ReleaseRecord(h));
    EXPECT_EQ((std::vector<int>{5}), g_destroyed);
    EXPECT_FALSE(table.Live(h));
    table.Finalize();
}

TEST_F(HandleTable, InitializeLoggedWritesTheClassLinesAndReportsATableItCannotHave)
{
    VornHandleTable<NamedRecord> table(DestroyNamed, nullptr);
    LogCapture log;
    table.SetMax(0x7FFFFFFF);   // a table of more than 4 GB
    EXPECT_FALSE(table.InitializeLogged("VornThingクラスの初期化", "シング", __FILE__, __LINE__));
    EXPECT_FALSE(table.IsInitialized());
    table.SetMax(2);
    EXPECT_TRUE(table.InitializeLogged("VornThingクラスの初期化", "シング", __FILE__, __LINE__));
    EXPECT_EQ(2, log.Count("<B>シング用メモリ確保</B><BR>\n"));
    EXPECT_EQ(2, log.Count("VornThingクラスの初期化"));
    EXPECT_EQ(1, log.Count(Red("　　　シング用メモリの確保に失敗") + "<BR>\n"));
    table.Finalize();
}

TEST_F(HandleTable, GetFieldReadsLiveRecordsOnly)
{
    VornHandleTable<NamedRecord> table(DestroyNamed, nullptr);
    table.SetMax(2);
    ASSERT_TRUE(table.Initialize(__FILE__, __LINE__));
    const VornHandle h = Take(table, 42, "x");
    EXPECT_EQ(42, table.GetField(h, &NamedRecord::object));
    EXPECT_EQ(-1, table.GetField(1u, &NamedRecord::object, -1));
    EXPECT_EQ(-1, table.GetField(VORN_INVALID_HANDLE, &NamedRecord::object, -1));
    table.Finalize();
    EXPECT_EQ(-1, table.GetField(h, &NamedRecord::object, -1));
}
