// The file system: the lookup order over loose files, the pack, resources and the bare name;
// kinds; streams; LZSS data on every path; temporary copies. PACK files: layout bytes,
// BuildPack/ExtractPack round trip, CRC checks, malformed packs, unsafe names and the packer's own
// failures. Randomly damaged directories and entries, and names sharing a CRC (its regression
// inputs), are the pack fuzz targets'.
#include "RuntimeTestSupport.h"
#include "VornFile.h"
#include "VornMemory.h"
#include "VornPackFormat.h"
#include "VornSystem.h"
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Item { std::string name, data; };   // the name normalised
using Texts = std::vector<std::string>;
using Found = std::pair<bool, std::string>;   // what FindFilePath returned, and the path it wrote
using Moved = std::pair<bool, uint32_t>;      // what a Seek returned, and the bytes a Read or Write then moved

uint32_t U32(const std::string& s, size_t at) { return VornSystem::ReadLE32(reinterpret_cast<const uint8_t*>(s.data()) + at); }
void SetU32(std::string& s, size_t at, uint32_t v) { VornSystem::WriteLE32(reinterpret_cast<uint8_t*>(&s[at]), v); }
uint32_t Crc(const std::string& s) { return VornPackFormat::Crc32(s.data(), s.size()); }

// A pack written by hand from the format pieces (entries kept in the given order when CRCs tie).
std::string MakePack(std::vector<Item> items)
{
    std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return Crc(a.name) < Crc(b.name); });
    std::vector<VornPackEntry> table(items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        table[i] = {{}, Crc(items[i].name), Crc(items[i].data), 0, uint32_t(items[i].data.size())};
        std::memcpy(table[i].name, items[i].name.data(), std::min<size_t>(64, items[i].name.size()));
    }
    std::string pack(size_t(std::max<uint64_t>(8, VornPackFormat::Layout(table.data(), uint32_t(table.size())))), '\0');
    VornPackFormat::WriteHeader(reinterpret_cast<uint8_t*>(&pack[0]), uint32_t(table.size()));
    for (size_t i = 0; i < table.size(); ++i) {
        VornPackFormat::WriteEntry(reinterpret_cast<uint8_t*>(&pack[8 + 80 * i]), table[i]);
        pack.replace(table[i].offset, items[i].data.size(), items[i].data);
    }
    return pack;
}

// Runs the packer tool with the given arguments; its exit code, and its output in *output.
int RunPacker(const std::string& arguments, std::string* output)
{
    char exe[MAX_PATH];
    GetFullPathNameA(VORNPACK_EXE, sizeof exe, exe, nullptr);
    const int code = std::system(("\"" + std::string(exe) + "\" " + arguments + " >packer.txt 2>&1").c_str());
    *output = ReadFile("packer.txt");
    return code;
}

class FileTest : public RuntimeTest
{
protected:
    void SetUp() override
    {
        RuntimeTest::SetUp();
        ASSERT_TRUE(VornFile::Initialize());
        VornFile::SetRootPath("root", "pack.bin");
    }
    void TearDown() override
    {
        VornFile::Finalize();
        EXPECT_EQ(VornMemory::GetUsedSize(), 0u) << "a file buffer or stream was not freed";
        RuntimeTest::TearDown();
    }
    // What Load gives by kind, or LoadFromPack from the pack: "<none>" when it fails.
    template <typename F> static std::string Loaded(F load)
    {
        void* data = nullptr;
        uint32_t size = 0;
        if (!load(&data, &size)) return "<none>";
        const std::string s(static_cast<char*>(data), size);
        VornMemory::FreeQuiet(data);
        return s;
    }
    std::string Load(uint32_t kind, const char* name)
    {
        return Loaded([&](void** data, uint32_t* size) { return VornFile::Load(kind, name, data, size); });
    }
    std::string FromPack(const std::string& name, const char* pack = "p.bin")
    {
        return Loaded([&](void** data, uint32_t* size) { return VornFile::LoadFromPack(name.c_str(), pack, data, size); });
    }
    // What a stream reads to its end in small pieces, "<none>" when it did not open; closes it.
    std::string Drain(VornFileStream* s)
    {
        std::string out = s ? "" : "<none>";
        char piece[7];
        uint32_t n;
        while (s && (n = VornFile::Read(s, sizeof piece, piece)) > 0) out.append(piece, n);
        VornFile::Close(s);
        return out;
    }
    std::string Stream(uint32_t kind, const char* name) { return Drain(VornFile::Open(kind, name)); }
};

using PackTest = FileTest;

} // namespace

TEST_F(FileTest, DefaultsAndFolderSetters)
{
    VornFile::Initialize();
    EXPECT_NAMED({"root", VornFile::GetRootPath(), "data\\"}, {"pack", VornFile::GetPackPath(), "data.bin"}, {"current", VornFile::GetCurrentPath(), ""});
    const char* folders[] = {"", "texture\\", "model\\", "shader\\", "font\\", "sound\\", "music\\", "audio\\", "media\\", "data\\"};
    for (uint32_t kind = 1; kind <= 9; ++kind) EXPECT_STREQ(VornFile::GetKindPath(kind), folders[kind]) << "kind " << kind;
    VornFile::SetRootPath("Data", "Data\\Data.bin");
    VornFile::SetKindPath(1, "表");   // 0x95 0x5C: its second byte is no separator
    VornFile::SetKindPath(0, "x");    // kinds 0 and 10 have no folder to set
    VornFile::SetKindPath(10, "x");
    EXPECT_NAMED({"root", VornFile::GetRootPath(), "Data\\"}, {"pack", VornFile::GetPackPath(), "Data\\Data.bin"},
                 {"kind 1", VornFile::GetKindPath(1), "表\\"}, {"kind 0", VornFile::GetKindPath(0), ""}, {"kind 10", VornFile::GetKindPath(10), ""});
}

TEST_F(FileTest, LoadLooksInTheSixPlacesInOrder)
{
    VornFile::SetCurrentPath("cur");
    PutFile("root\\cur\\lookup.dat", "1");
    PutFile("src\\cur\\lookup.dat", "2");
    PutFile("root\\texture\\lookup.dat", "3");
    PutFile("src\\texture\\lookup.dat", "4");
    PutFile("lookup.dat", "6");   // the resource LOOKUP.DAT holds "5"
    ASSERT_TRUE(VornFile::BuildPack("pack.bin", "src"));
    char path[256];
    EXPECT_EQ(Found(true, "root\\cur\\lookup.dat"), (Found{VornFile::FindFilePath(FILE_KIND_TEXTURE, path, "lookup.dat"), path}));
    EXPECT_TRUE(VornFile::ExistsInPack(FILE_KIND_TEXTURE, "LOOKUP.DAT"));

    EXPECT_EQ(Load(FILE_KIND_TEXTURE, "lookup.dat"), "1");
    DeleteFileA("root\\cur\\lookup.dat");
    EXPECT_EQ(Load(FILE_KIND_TEXTURE, "lookup.dat"), "2");   // the pack under current beats the kind folder
    DeleteFileA("src\\cur\\lookup.dat");
    ASSERT_TRUE(VornFile::BuildPack("pack.bin", "src"));
    EXPECT_FALSE(VornFile::ExistsInPack(FILE_KIND_MODEL, "lookup.dat"));   // only under texture now
    EXPECT_EQ(Load(FILE_KIND_TEXTURE, "lookup.dat"), "3");
    DeleteFileA("root\\texture\\lookup.dat");
    EXPECT_EQ(Load(FILE_KIND_TEXTURE, "lookup.dat"), "4");
    DeleteFileA("pack.bin");
    EXPECT_EQ(Load(FILE_KIND_TEXTURE, "lookup.dat"), "5");
    EXPECT_FALSE(VornFile::ExistsInPack(FILE_KIND_TEXTURE, "lookup.dat"));   // a loose file is not in the pack
    EXPECT_EQ(Load(FILE_KIND_TEXTURE, "nowhere.dat"), "<none>");
    // The last place tried.
    EXPECT_EQ(Found(false, "nowhere.dat"), (Found{VornFile::FindFilePath(FILE_KIND_TEXTURE, path, "nowhere.dat"), path}));
    EXPECT_EQ(Stream(FILE_KIND_TEXTURE, "lookup.dat"), "6");   // streams skip the resource step
}

TEST_F(FileTest, LzssDataArrivesDecodedFromEveryPathAndBrokenDataFails)
{
    const std::string text(3000, 'z');
    const std::vector<uint8_t> stream = vorntest::LzssStream(text + "end");
    const std::string packed(stream.begin(), stream.end());
    PutFile("root\\data\\loose.bin", packed);
    PutFile("src\\data\\inpack.bin", packed);
    PutFile("root\\data\\cut.bin", packed.substr(0, packed.size() - 3));
    ASSERT_TRUE(VornFile::BuildPack("pack.bin", "src"));
    // Loose, packed, the resource; a stream hands out the bytes as stored.
    EXPECT_NAMED({"loose", Load(FILE_KIND_DATA, "loose.bin"), text + "end"}, {"packed", Load(FILE_KIND_DATA, "inpack.bin"), text + "end"},
                 {"resource", Load(FILE_KIND_DATA, "packed.dat"), std::string(19, 'A')}, {"stream", Stream(FILE_KIND_DATA, "inpack.bin"), packed});
    // A cut stream fails with its log line and empty outputs; so does a header announcing 3 GB from a
    // short stream, refused before any allocation, as broken data.
    EXPECT_EQ(Load(FILE_KIND_DATA, "cut.bin"), "<none>");
    PutFile("root\\data\\huge.bin", std::string("LZSS\0\0\0\xC0", 8) + packed.substr(8));
    for (const char* broken : {"root\\data\\cut.bin", "root\\data\\huge.bin"}) {
        SCOPED_TRACE(broken);
        void* data = reinterpret_cast<void*>(1);
        uint32_t size = 7;
        const bool loaded = VornFile::LoadFromFile(broken, &data, &size);
        EXPECT_NAMED({"loaded", loaded, false}, {"data", data, nullptr}, {"size", size, 0});
    }
    const std::string log = CloseLog();
    EXPECT_NAMED({"decode failure logged", Has(log, vorntest::Red("　　ファイルのデコードに失敗")), true},
                 {"allocation failure logged", Has(log, "ファイル展開用メモリ確保に失敗"), false});
}

TEST_F(FileTest, NullOutputsOnlyTestThatTheSourceOpens)
{
    PutFile("plain.txt", "p");
    EXPECT_NAMED({"file", VornFile::LoadFromFile("plain.txt", nullptr, nullptr), true},
                 {"pack", VornFile::LoadFromPack("anything", "plain.txt", nullptr, nullptr), true},
                 {"resource", VornFile::LoadFromResource("LOOKUP.DAT", "texture\\", nullptr, nullptr), true},
                 {"missing file", VornFile::LoadFromFile("missing.txt", nullptr, nullptr), false},
                 {"missing resource", VornFile::LoadFromResource("NOPE.DAT", nullptr, nullptr, nullptr), false});
}

TEST_F(FileTest, StreamsStayInsideTheirEntry)
{
    PutFile("src\\a.txt", "AAAA");
    PutFile("src\\b.txt", "0123456789");
    PutFile("src\\c.txt", "CCCC");
    ASSERT_TRUE(VornFile::BuildPack("pack.bin", "src"));
    VornFileStream* s = VornFile::OpenFromPack("B.TXT", "pack.bin");
    ASSERT_NE(s, nullptr);
    EXPECT_NAMED({"in pack", s->inPack, 1}, {"size", VornFile::GetSize(s), 10});
    char buffer[32] = {};
    EXPECT_EQ(VornFile::Read(s, 4, buffer), 4u);
    EXPECT_NAMED({"read", std::string(buffer, 4), "0123"}, {"position", VornFile::GetPosition(s), 4});
    EXPECT_EQ(Moved(true, 0), (Moved{VornFile::Seek(s, 0, 2), VornFile::Read(s, 4, buffer)}));   // exactly the end
    EXPECT_FALSE(VornFile::Seek(s, 1, 2));    // one further
    EXPECT_FALSE(VornFile::Seek(s, -11, 2));  // before the start
    EXPECT_EQ(VornFile::GetPosition(s), 10u);
    EXPECT_TRUE(VornFile::Seek(s, -3, 0));
    EXPECT_EQ(std::string(buffer, VornFile::Read(s, 32, buffer)), "789");
    EXPECT_EQ(Moved(true, 2), (Moved{VornFile::Seek(s, 8, 1), VornFile::Write(s, 5, "WXYZ!")}));   // never into the next entry
    VornFile::Close(s);
    EXPECT_EQ(Drain(VornFile::OpenFromPack("c.txt", "pack.bin")), "CCCC");
    EXPECT_NAMED({"size of none", VornFile::GetSize(nullptr), 0}, {"read from none", VornFile::Read(nullptr, 4, buffer), 0});
    VornFile::Close(nullptr);
}

TEST_F(FileTest, PlainStreamsNeverGrowKeepTheirTimesAndOpenReadOnlyFiles)
{
    PutFile("root\\data\\w.bin", "abcdef");
    auto writeTime = [] {
        WIN32_FILE_ATTRIBUTE_DATA file = {};
        GetFileAttributesExA("root\\data\\w.bin", GetFileExInfoStandard, &file);
        return file.ftLastWriteTime;
    };
    const FILETIME before = writeTime();
    Sleep(20);
    VornFileStream* s = VornFile::Open(FILE_KIND_DATA, "w.bin");
    EXPECT_EQ(Moved(true, 2), (Moved{VornFile::Seek(s, 4, 1), VornFile::Write(s, 5, "XYZ12")}));
    VornFile::Close(s);
    EXPECT_EQ(ReadFile("root\\data\\w.bin"), "abcdXY");
    const FILETIME after = writeTime();
    EXPECT_EQ(CompareFileTime(&before, &after), 0);

    PutFile("root\\data\\ro.bin", "read only");
    SetFileAttributesA("root\\data\\ro.bin", FILE_ATTRIBUTE_READONLY);
    // Another reader that shares reading only: nobody may open the file for writing now.
    HANDLE reader = CreateFileA("root\\data\\ro.bin", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    s = VornFile::Open(FILE_KIND_DATA, "ro.bin");
    EXPECT_EQ(VornFile::Write(s, 4, "nope"), 0u);
    EXPECT_TRUE(VornFile::Seek(s, 0, 1));
    EXPECT_EQ(Drain(s), "read only");
    CloseHandle(reader);
    SetFileAttributesA("root\\data\\ro.bin", FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(ReadFile("root\\data\\ro.bin"), "read only");
}

TEST_F(FileTest, ExtractToTempCopiesAndFailsWhenTheCopyCannotBeMade)
{
    PutFile("src\\media\\movie.avi", std::string(1000, 'm') + "END");
    PutFile("root\\sound\\se\\hit.wav", "RIFF");
    ASSERT_TRUE(VornFile::BuildPack("pack.bin", "src"));
    // This case's own temporary folder (TMP is the first place the system looks): copies of other
    // programs running at once cannot collide.
    CreateDirectoryA("temp", nullptr);
    const std::string temp = path_ + "\\temp";
    SetEnvironmentVariableA("TMP", temp.c_str());
    char first[256], second[256], third[256];
    ASSERT_TRUE(VornFile::ExtractToTemp(FILE_KIND_MEDIA, "movie.avi", first));
    ASSERT_TRUE(VornFile::ExtractToTemp(FILE_KIND_MEDIA, "movie.avi", second));
    // A running counter in every name.
    EXPECT_NAMED({"first", first, temp + "\\0000_movie.avi"}, {"second", second, temp + "\\0001_movie.avi"},
                 {"first copy", ReadFile(first), std::string(1000, 'm') + "END"}, {"second copy", ReadFile(second), ReadFile(first)});
    // A name with folders becomes one file in the temporary folder.
    ASSERT_TRUE(VornFile::ExtractToTemp(FILE_KIND_SOUND, "se\\hit.wav", third));
    EXPECT_NAMED({"third", third, temp + "\\0002_se_hit.wav"}, {"third copy", ReadFile(third), "RIFF"});
    // A name another program is using is skipped, its file left whole.
    PutFile("temp\\0003_movie.avi", "theirs");
    ASSERT_TRUE(VornFile::ExtractToTemp(FILE_KIND_MEDIA, "movie.avi", second));
    EXPECT_NAMED({"fourth", second, temp + "\\0004_movie.avi"}, {"theirs", ReadFile("temp\\0003_movie.avi"), "theirs"},
                 {"fourth copy", ReadFile(second), ReadFile(first)});
    EXPECT_FALSE(VornFile::ExtractToTemp(FILE_KIND_MEDIA, "missing.avi", first));

    SetEnvironmentVariableA("TMP", (path_ + "\\no\\such\\folder").c_str());
    EXPECT_FALSE(VornFile::ExtractToTemp(FILE_KIND_MEDIA, "movie.avi", first));
}

TEST_F(FileTest, BadKindsAndOverlongNamesAreRefusedWithoutOverrunningPaths)
{
    PutFile("any.dat", "x");
    EXPECT_EQ(Load(FILE_KIND_DATA, "any.dat"), "x");
    for (uint32_t kind : {10u, 0xFFFFFFFFu}) EXPECT_EQ(Load(kind, "any.dat"), "<none>") << kind;
    EXPECT_EQ(VornFile::Open(10, "any.dat"), nullptr);
    // Kind 0 is the root itself.
    PutFile("root\\any.dat", "0");
    EXPECT_NAMED({"loaded", Load(FILE_KIND_NONE, "any.dat"), "0"}, {"streamed", Stream(FILE_KIND_NONE, "any.dat"), "0"});
    char path[256];
    EXPECT_EQ(Found(true, "root\\any.dat"), (Found{VornFile::FindFilePath(FILE_KIND_NONE, path, "any.dat"), path}));
    const std::string longName(400, 'n');
    EXPECT_EQ(Load(FILE_KIND_DATA, longName.c_str()), "<none>");
    EXPECT_EQ(VornFile::Open(FILE_KIND_DATA, longName.c_str()), nullptr);
    EXPECT_NAMED({"found", VornFile::FindFilePath(FILE_KIND_DATA, path, longName.c_str()), false},
                 {"in the pack", VornFile::ExistsInPack(FILE_KIND_DATA, longName.c_str()), false});
    EXPECT_LT(std::strlen(path), 256u);
    VornFile::SetRootPath(longName.c_str(), longName.c_str());
    EXPECT_STREQ(VornFile::GetRootPath(), "");
    EXPECT_TRUE(Has(CloseLog(), "ファイルの種類が不正です [ 10 ]"));
}


TEST(PackFormatTest, Crc32IsTheStandardReflectedOne)
{
    EXPECT_NAMED({"\"123456789\"", Argb{VornFile::Crc32(reinterpret_cast<const uint8_t*>("123456789"), 9)}, Argb{0xCBF43926u}},
                 {"nothing", Argb{VornFile::Crc32(nullptr, 0)}, Argb{0}});
}

// A file past 4 GiB does not make room for a directory past 4 GiB (count × 80 would wrap). Smaller
// files are the pack_directory fuzz target's, which holds every directory read to the file's size.
TEST(PackFormatTest, NoDirectoryReachesPastFourGigabytes)
{
    uint8_t head[8];
    uint32_t count = 0;
    VornPackFormat::WriteHeader(head, 60000000);
    EXPECT_FALSE(VornPackFormat::ReadHeader(head, 8ull << 30, &count));
}

// Names the extractor may write under its folder. Windows drops a component's trailing dots and
// spaces, so ". ." and ".. " climb or vanish as ".." does (Wine keeps them: only this table can
// catch a check that lets them through here). Random names are the pack_directory fuzz target's
// check against an independent reading; the extractor's refusal is the case below.
TEST(PackFormatTest, NamesThatClimbOrVanishAreNotSafe)
{
    const std::pair<const char*, bool> names[] = {
        {"A.TXT", true}, {"SUB\\.HIDDEN", true}, {"A. B\\C.TXT", true}, {"表\\ソ.TXT", true}, {"..\\X", false},
        {". .\\X", false}, {".. \\X", false}, {"SUB\\ . \\X", false}, {"SUB\\...", false}, {"SUB/..", false},
        {"\\X", false}, {"C:X", false}, {"A\\\\B", false}, {"SUB\\", false}, {"", false}};
    for (const auto& [name, safe] : names) EXPECT_EQ(VornPackFormat::IsSafeRelativeName(name), safe) << "\"" << name << "\"";
}

TEST_F(PackTest, BuildPackWritesTheLayoutAndTheIncludeFile)
{
    PutFile("src\\texture\\Hero.png", std::string(300, 'h'));
    PutFile("src\\model\\hero.x", "xof 0303txt 0032");
    PutFile("src\\a.txt", "");
    ASSERT_FALSE(VornFile::BuildPack("out\\p.bin", "src"));   // no "out" folder: nothing to write into
    ASSERT_TRUE(VornFile::BuildPack("p.bin", "src"));
    const std::string pack = ReadFile("p.bin");
    ASSERT_GE(pack.size(), 8u + 3 * 80);
    EXPECT_NAMED({"magic", pack.substr(0, 4), "PACK"}, {"count", U32(pack, 4), 3});
    uint32_t previousCrc = 0, expectedOffset = 256, modelOffset = 0;   // 8 + 240 rounded up to 256
    Texts names;
    for (int i = 0; i < 3; ++i) {
        const size_t e = 8 + 80 * i;
        const std::string name(pack.c_str() + e);
        SCOPED_TRACE("entry " + std::to_string(i) + " " + name);
        const uint32_t nameCrc = U32(pack, e + 64), dataCrc = U32(pack, e + 68), offset = U32(pack, e + 72),
                       size = U32(pack, e + 76);
        // Sorted by name CRC; each entry's CRCs and its offset, 256-aligned after the one before.
        EXPECT_GE(nameCrc, previousCrc);
        EXPECT_NAMED({"name CRC", Argb{nameCrc}, Argb{Crc(name)}}, {"offset", offset, expectedOffset},
                     {"data CRC", Argb{dataCrc}, Argb{VornPackFormat::Crc32(pack.data() + offset, size)}});
        previousCrc = nameCrc;
        for (size_t k = offset + size; k < ((offset + size + 255) & ~size_t(255)) && k < pack.size(); ++k)
            ASSERT_EQ(pack[k], 0) << "gap byte " << k;
        expectedOffset = (offset + size + 255) & ~uint32_t(255);
        names.push_back(name);
        if (name == "MODEL\\HERO.X") modelOffset = offset;
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, Texts({"A.TXT", "MODEL\\HERO.X", "TEXTURE\\HERO.PNG"}));
    const std::string inc = ReadFile("p.inc");
    char line[160];
    std::snprintf(line, sizeof line, "\t{ 0x%08X, 0x%08X, 0x%08X, 0x%08X, \"MODEL\\HERO.X\" },\r\n",
                  Crc("xof 0303txt 0032"), Crc("MODEL\\HERO.X"), modelOffset, 16u);
    EXPECT_TRUE(Has(inc, line)) << inc;
}

TEST_F(PackTest, RoundTripThroughExtractAndLoadIsByteExact)
{
    std::vector<std::pair<std::string, std::string>> files = {
        {"texture\\title.png", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(5000, '\0')},
        {"sound\\hit.wav", std::string(777, '\x7f')},
        {"表\\ソ.txt", "Shift-JIS names whose second bytes are backslashes"},
        {"deep\\a\\b\\c\\d.dat", "deep"},
        {"empty.bin", ""},
    };
    for (auto& f : files) PutFile("src\\" + f.first, f.second);
    ASSERT_TRUE(VornFile::BuildPack("p.bin", "src"));
    ASSERT_TRUE(VornFile::ExtractPack("p.bin", "out"));
    for (auto& f : files) {
        SCOPED_TRACE(f.first);
        std::string upper(f.first.size() + 1, '\0');
        VornSystem::NormalizePath(&upper[0], f.first.c_str(), upper.size());
        upper.resize(std::strlen(upper.c_str()));
        EXPECT_EQ(ReadFile("out\\" + upper), f.second);
        EXPECT_EQ(FromPack(f.first), f.second);
    }
    // Letter case and '/' do not matter for the lookup; Shift-JIS second bytes are kept.
    EXPECT_NAMED({"TEXTURE/Title.PNG", FromPack("TEXTURE/Title.PNG"), files[0].second}, {"表/ソ.TXT", FromPack("表/ソ.TXT"), files[2].second},
                 {"texture\\title.pn", FromPack("texture\\title.pn"), "<none>"});
}

TEST_F(PackTest, APackInsideItsFolderLeavesOutItsOwnOutput)
{
    PutFile("Data\\texture\\a.png", "png");
    ASSERT_TRUE(VornFile::BuildPack("Data\\Data.bin", "Data"));
    ASSERT_TRUE(VornFile::BuildPack("Data\\Data.bin", "Data"));   // Data.bin and Data.inc now lie in the folder
    const std::string pack = ReadFile("Data\\Data.bin");
    ASSERT_GE(pack.size(), 8u);
    // Neither Data.bin nor Data.inc went in.
    EXPECT_NAMED({"entries", U32(pack, 4), 1}, {"the one entry", FromPack("texture\\a.png", "Data\\Data.bin"), "png"});
}

TEST_F(PackTest, AlteredDataIsRefusedByLoadButReadByAStream)
{
    PutFile("src\\data\\save.dat", "0123456789");
    ASSERT_TRUE(VornFile::BuildPack("p.bin", "src"));
    std::string pack = ReadFile("p.bin");
    pack[U32(pack, 8 + 72) + 3] = 'X';
    PutFile("p.bin", pack);
    EXPECT_NAMED({"loaded", FromPack("data\\save.dat"), "<none>"}, {"streamed", Drain(VornFile::OpenFromPack("data\\save.dat", "p.bin")), "012X456789"});
    EXPECT_TRUE(Has(CloseLog(), " {<BR>\r\n<B><FONT color=\"RED\">　　ファイルのCRCが一致しません</FONT></B><BR>\r\n} <BR>\r\n"));
}

TEST_F(PackTest, MalformedPacksFailCleanly)
{
    const std::string good = MakePack({{"A.TXT", "alpha"}, {"B.TXT", "bravo"}});
    PutFile("p.bin", good);
    ASSERT_EQ(FromPack("a.txt"), "alpha");
    const char* first = std::string(good.c_str() + 8) == "A.TXT" ? "a.txt" : "b.txt";   // the entry at 8
    const auto with = [&](size_t at, uint32_t value) { std::string bad = good; SetU32(bad, at, value); return bad; };
    // Wrapping sums are the fuzz targets'.
    const std::pair<const char*, std::string> bads[] = {
        {"count past the file", with(4, 1000000)}, {"count 0xFFFFFFFF", with(4, 0xFFFFFFFFu)},
        {"cut in the directory", good.substr(0, 8 + 80 + 40)}, {"cut in the head", good.substr(0, 6)},
        {"offset past the end", with(8 + 72, uint32_t(good.size()))}, {"offset into the directory", with(8 + 72, 8)},
        {"size past the end", with(8 + 76, 0xFFFFFFF0u)}, {"no pack", std::string("KCAP\x01\x00\x00\x00", 8)}};
    for (const auto& [name, bad] : bads) {
        SCOPED_TRACE(name);
        PutFile("p.bin", bad);
        EXPECT_EQ(FromPack(first), "<none>");
        EXPECT_EQ(VornFile::OpenFromPack(first, "p.bin"), nullptr);
        EXPECT_FALSE(VornFile::ExtractPack("p.bin", "out"));
    }
}

TEST_F(PackTest, NamesFillingAll64BytesAreReadWithoutOverrun)
{
    const std::string full(64, 'N');   // no terminator in the file
    PutFile("p.bin", MakePack({{full, "full"}, {"SHORT.TXT", "short"}}));
    EXPECT_NAMED({"64 bytes", FromPack(full), "full"}, {"65 bytes", FromPack(full + "N"), "<none>"}, {"63 bytes", FromPack(full.substr(0, 63)), "<none>"});
    ASSERT_TRUE(VornFile::ExtractPack("p.bin", "out"));
    EXPECT_NAMED({"64 bytes extracted", ReadFile("out\\" + full), "full"}, {"short extracted", ReadFile("out\\SHORT.TXT"), "short"});
}

TEST_F(PackTest, ExtractPackRefusesNamesThatClimbOutAndReportsIt)
{
    CreateDirectoryA("jail", nullptr);
    PutFile("p.bin", MakePack({{"..\\ESCAPED.TXT", "1"}, {"C:\\ESCAPED2.TXT", "2"}, {"\\ESCAPED3.TXT", "3"},
                               {"SUB\\..\\..\\ESCAPED4.TXT", "4"}, {"SAFE\\OK.TXT", "ok"}}));
    EXPECT_FALSE(VornFile::ExtractPack("p.bin", "jail\\out"));   // partial: one good file, four refused
    EXPECT_EQ(ReadFile("jail\\out\\SAFE\\OK.TXT"), "ok");
    for (const char* escaped : {"jail\\ESCAPED.TXT", "ESCAPED4.TXT", "jail\\ESCAPED4.TXT", "C:\\ESCAPED2.TXT", "\\ESCAPED3.TXT"})
        EXPECT_FALSE(VornSystem::FileExists(escaped)) << escaped;
    PutFile("empty.bin", MakePack({}));
    EXPECT_FALSE(VornFile::ExtractPack("empty.bin", "jail\\out2"));   // nothing written
}

TEST_F(PackTest, BuildPackReportsWhatItCouldNotDo)
{
    PutFile("src\\fine.txt", "fine");
    PutFile("src\\" + std::string(70, 'L') + ".txt", "too long for an entry name");
    EXPECT_FALSE(VornFile::BuildPack("p.bin", "src"));
    EXPECT_EQ(FromPack("fine.txt"), "fine");   // what could be packed still is
    DeleteFileA(("src\\" + std::string(70, 'L') + ".txt").c_str());
    // A file that cannot be read while packing: the first in table order, so that every entry
    // after it must still be written at its own offset.
    const std::vector<std::string> names = {"FINE.TXT", "TWO.TXT", "THREE.TXT", "FOUR.TXT"};
    for (const std::string& n : names) PutFile("src\\" + n, n);
    const std::string first = *std::min_element(names.begin(), names.end(),
                                                [](const std::string& a, const std::string& b) { return Crc(a) < Crc(b); });
    HANDLE locked = CreateFileA(("src\\" + first).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(VornFile::BuildPack("p.bin", "src"));
    CloseHandle(locked);
    for (const std::string& n : names) EXPECT_EQ(FromPack(n), n == first ? "<none>" : n) << n;
    EXPECT_TRUE(VornFile::BuildPack("p.bin", "src"));
    for (const std::string& n : names) EXPECT_EQ(FromPack(n), n) << n;
}

TEST_F(PackTest, CollectFilesStopsAtTheTableSize)
{
    for (int i = 0; i < 5; ++i) PutFile("src\\f" + std::to_string(i) + ".txt", "x");
    PutFile("src\\sub\\g.txt", "y");
    VornPackEntry table[3], all[10];
    bool complete[2] = {true, true};
    EXPECT_EQ(VornFile::CollectFiles(table, 0, 3, "src", "src", &complete[0]), 3u);
    EXPECT_EQ(VornFile::CollectFiles(all, 0, 10, "src", "src", &complete[1]), 6u);
    EXPECT_NAMED({"3 of 6 complete", complete[0], false}, {"6 of 6 complete", complete[1], true});
    EXPECT_TRUE(std::all_of(all, all + 6, [](const VornPackEntry& e) { return e.size == 1; }));
    EXPECT_TRUE(std::any_of(all, all + 6, [](const VornPackEntry& e) { return std::strcmp(e.name, "sub\\g.txt") == 0; }));
}

TEST_F(PackTest, ThePackerToolPacksAndUnpacks)
{
    PutFile("src\\texture\\title.png", std::string(5000, 't'));
    PutFile("src\\model\\hero.x", "xof");
    std::string output;
    ASSERT_EQ(RunPacker("p.bin src", &output), 0) << output;
    char line[128];
    std::snprintf(line, sizeof line, "Packing... [0x%08X] [        3 byte] [MODEL\\HERO.X]\r\n", Crc("MODEL\\HERO.X"));
    EXPECT_TRUE(Has(output, line)) << output;
    EXPECT_EQ(FromPack("model/hero.x"), "xof");

    ASSERT_EQ(RunPacker("-x p.bin out", &output), 0) << output;
    EXPECT_EQ(ReadFile("out\\TEXTURE\\TITLE.PNG"), std::string(5000, 't'));

    EXPECT_EQ(RunPacker("q.bin no-such-folder", &output), 1);
    EXPECT_TRUE(Has(output, "ERROR : フォルダがありません [no-such-folder]")) << output;
    EXPECT_EQ(RunPacker("-x missing.bin out", &output), 1);
    EXPECT_EQ(RunPacker("p.bin", &output), 2);
    EXPECT_TRUE(Has(output, "usage: vornpack"));
}
