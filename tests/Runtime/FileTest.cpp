// The file system: the lookup order over loose files, the pack, resources and the bare name;
// kinds; streams; LZSS data on every path; temporary copies.
#include "RuntimeTestSupport.h"
#include "VornFile.h"
#include "VornMemory.h"
#include <cstring>
#include <vector>

namespace {

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
    std::string Load(uint32_t kind, const char* name)
    {
        void* data = nullptr;
        uint32_t size = 0;
        if (!VornFile::Load(kind, name, &data, &size)) return "<none>";
        std::string s(static_cast<char*>(data), size);
        VornMemory::Free(data);
        return s;
    }
    std::string ReadStream(VornFileStream* s)
    {
        std::string out;
        char piece[7];
        uint32_t n;
        while ((n = VornFile::Read(s, sizeof piece, piece)) > 0) out.append(piece, n);
        return out;
    }
    // What a stream opened by kind and name reads.
    std::string Stream(uint32_t kind, const char* name)
    {
        VornFileStream* s = VornFile::Open(kind, name);
        const std::string out = s ? ReadStream(s) : "<none>";
        VornFile::Close(s);
        return out;
    }
};

} // namespace

TEST_F(FileTest, DefaultsAndFolderSetters)
{
    VornFile::Initialize();
    EXPECT_EQ((std::vector<std::string>{"data\\", "data.bin", ""}),
              (std::vector<std::string>{VornFile::GetRootPath(), VornFile::GetPackPath(), VornFile::GetCurrentPath()}));
    const char* folders[] = {"", "texture\\", "model\\", "shader\\", "font\\", "sound\\", "music\\", "audio\\", "media\\", "data\\"};
    for (uint32_t kind = 1; kind <= 9; ++kind) EXPECT_STREQ(VornFile::GetKindPath(kind), folders[kind]);
    VornFile::SetRootPath("Data", "Data\\Data.bin");
    VornFile::SetKindPath(1, "表");   // 0x95 0x5C: its second byte is no separator
    VornFile::SetKindPath(0, "x");    // kinds 0 and 10 have no folder to set
    VornFile::SetKindPath(10, "x");
    EXPECT_EQ((std::vector<std::string>{"Data\\", "Data\\Data.bin", "表\\", "", ""}),
              (std::vector<std::string>{VornFile::GetRootPath(), VornFile::GetPackPath(), VornFile::GetKindPath(1),
                                        VornFile::GetKindPath(0), VornFile::GetKindPath(10)}));
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
    EXPECT_TRUE(VornFile::FindFilePath(FILE_KIND_TEXTURE, path, "lookup.dat"));
    EXPECT_STREQ(path, "root\\cur\\lookup.dat");
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
    EXPECT_FALSE(VornFile::FindFilePath(FILE_KIND_TEXTURE, path, "nowhere.dat"));
    EXPECT_STREQ(path, "nowhere.dat");   // the last place tried
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
    EXPECT_EQ(Load(FILE_KIND_DATA, "loose.bin"), text + "end");
    EXPECT_EQ(Load(FILE_KIND_DATA, "inpack.bin"), text + "end");
    EXPECT_EQ(Load(FILE_KIND_DATA, "packed.dat"), std::string(19, 'A'));   // the resource
    EXPECT_EQ(Stream(FILE_KIND_DATA, "inpack.bin"), packed);   // a stream hands out the bytes as stored
    // A cut stream fails with its log line and empty outputs.
    EXPECT_EQ(Load(FILE_KIND_DATA, "cut.bin"), "<none>");
    void* data = reinterpret_cast<void*>(1);
    uint32_t size = 7;
    EXPECT_FALSE(VornFile::LoadFromFile("root\\data\\cut.bin", &data, &size));
    EXPECT_EQ(std::make_pair(static_cast<void*>(nullptr), 0u), std::make_pair(data, size));
    // A header announcing 3 GB from a short stream: refused before any allocation, as broken data.
    PutFile("root\\data\\huge.bin", std::string("LZSS\0\0\0\xC0", 8) + packed.substr(8));
    EXPECT_FALSE(VornFile::LoadFromFile("root\\data\\huge.bin", &data, &size));
    EXPECT_EQ(data, nullptr);
    const std::string log = CloseLog();
    EXPECT_TRUE(Has(log, "<B><FONT color=\"RED\">　　ファイルのデコードに失敗</FONT></B>"));
    EXPECT_FALSE(Has(log, "ファイル展開用メモリ確保に失敗"));
}

TEST_F(FileTest, NullOutputsOnlyTestThatTheSourceOpens)
{
    PutFile("plain.txt", "p");
    EXPECT_TRUE(VornFile::LoadFromFile("plain.txt", nullptr, nullptr) && VornFile::LoadFromPack("anything", "plain.txt", nullptr, nullptr) &&
                VornFile::LoadFromResource("LOOKUP.DAT", "texture\\", nullptr, nullptr));
    EXPECT_FALSE(VornFile::LoadFromFile("missing.txt", nullptr, nullptr) || VornFile::LoadFromResource("NOPE.DAT", nullptr, nullptr, nullptr));
}

TEST_F(FileTest, StreamsStayInsideTheirEntry)
{
    PutFile("src\\a.txt", "AAAA");
    PutFile("src\\b.txt", "0123456789");
    PutFile("src\\c.txt", "CCCC");
    ASSERT_TRUE(VornFile::BuildPack("pack.bin", "src"));
    VornFileStream* s = VornFile::OpenFromPack("B.TXT", "pack.bin");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(std::make_pair(1u, 10u), std::make_pair(s->inPack, VornFile::GetSize(s)));
    char buffer[32] = {};
    EXPECT_EQ(VornFile::Read(s, 4, buffer), 4u);
    EXPECT_EQ(std::string(buffer, 4), "0123");
    EXPECT_EQ(VornFile::GetPosition(s), 4u);
    EXPECT_TRUE(VornFile::Seek(s, 0, 2));        // exactly the end
    EXPECT_EQ(VornFile::Read(s, 4, buffer), 0u);
    EXPECT_FALSE(VornFile::Seek(s, 1, 2));       // one further
    EXPECT_FALSE(VornFile::Seek(s, -11, 2));     // before the start
    EXPECT_EQ(VornFile::GetPosition(s), 10u);
    EXPECT_TRUE(VornFile::Seek(s, -3, 0));
    EXPECT_EQ(VornFile::Read(s, 32, buffer), 3u);
    EXPECT_EQ(std::string(buffer, 3), "789");
    EXPECT_TRUE(VornFile::Seek(s, 8, 1));
    EXPECT_EQ(VornFile::Write(s, 5, "WXYZ!"), 2u);   // never into the next entry
    VornFile::Close(s);
    VornFileStream* c = VornFile::OpenFromPack("c.txt", "pack.bin");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(ReadStream(c), "CCCC");
    VornFile::Close(c);
    EXPECT_EQ(VornFile::GetSize(nullptr), 0u);
    EXPECT_EQ(VornFile::Read(nullptr, 4, buffer), 0u);
    VornFile::Close(nullptr);
}

TEST_F(FileTest, PlainStreamsNeverGrowKeepTheirTimesAndOpenReadOnlyFiles)
{
    PutFile("root\\data\\w.bin", "abcdef");
    auto writeTime = [] {
        FILETIME t = {};
        HANDLE h = CreateFileA("root\\data\\w.bin", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        GetFileTime(h, nullptr, nullptr, &t);
        CloseHandle(h);
        return t;
    };
    const FILETIME before = writeTime();
    Sleep(20);
    VornFileStream* s = VornFile::Open(FILE_KIND_DATA, "w.bin");
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(VornFile::Seek(s, 4, 1));
    EXPECT_EQ(VornFile::Write(s, 5, "XYZ12"), 2u);
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
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(VornFile::Write(s, 4, "nope"), 0u);
    EXPECT_TRUE(VornFile::Seek(s, 0, 1));
    EXPECT_EQ(ReadStream(s), "read only");
    VornFile::Close(s);
    CloseHandle(reader);
    SetFileAttributesA("root\\data\\ro.bin", FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(ReadFile("root\\data\\ro.bin"), "read only");
}

TEST_F(FileTest, ExtractToTempCopiesAndFailsWhenTheCopyCannotBeMade)
{
    PutFile("src\\media\\movie.avi", std::string(1000, 'm') + "END");
    PutFile("root\\sound\\se\\hit.wav", "RIFF");
    ASSERT_TRUE(VornFile::BuildPack("pack.bin", "src"));
    // This case's own temporary folder: copies of other programs running at once cannot collide.
    CreateDirectoryA("temp", nullptr);
    const std::string temp = path_ + "\\temp";
    SetEnvironmentVariableA("TMP", temp.c_str());
    SetEnvironmentVariableA("TEMP", temp.c_str());
    char first[256], second[256], third[256];
    ASSERT_TRUE(VornFile::ExtractToTemp(FILE_KIND_MEDIA, "movie.avi", first));
    ASSERT_TRUE(VornFile::ExtractToTemp(FILE_KIND_MEDIA, "movie.avi", second));
    EXPECT_EQ(std::string(first), temp + "\\0000_movie.avi");   // a running counter in every name
    EXPECT_EQ(std::string(second), temp + "\\0001_movie.avi");
    EXPECT_EQ(ReadFile(first), std::string(1000, 'm') + "END");
    EXPECT_EQ(ReadFile(second), ReadFile(first));
    // A name with folders becomes one file in the temporary folder.
    ASSERT_TRUE(VornFile::ExtractToTemp(FILE_KIND_SOUND, "se\\hit.wav", third));
    EXPECT_EQ(std::string(third), temp + "\\0002_se_hit.wav");
    EXPECT_EQ(ReadFile(third), "RIFF");
    // A name another program is using is skipped, its file left whole.
    PutFile("temp\\0003_movie.avi", "theirs");
    ASSERT_TRUE(VornFile::ExtractToTemp(FILE_KIND_MEDIA, "movie.avi", second));
    EXPECT_EQ(std::string(second), temp + "\\0004_movie.avi");
    EXPECT_EQ(ReadFile("temp\\0003_movie.avi"), "theirs");
    EXPECT_EQ(ReadFile(second), ReadFile(first));
    EXPECT_FALSE(VornFile::ExtractToTemp(FILE_KIND_MEDIA, "missing.avi", first));

    SetEnvironmentVariableA("TMP", (path_ + "\\no\\such\\folder").c_str());
    SetEnvironmentVariableA("TEMP", (path_ + "\\no\\such\\folder").c_str());
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
    EXPECT_EQ(Load(FILE_KIND_NONE, "any.dat"), "0");
    EXPECT_EQ(Stream(FILE_KIND_NONE, "any.dat"), "0");
    char path[256];
    EXPECT_TRUE(VornFile::FindFilePath(FILE_KIND_NONE, path, "any.dat"));
    EXPECT_STREQ(path, "root\\any.dat");
    const std::string longName(400, 'n');
    EXPECT_EQ(Load(FILE_KIND_DATA, longName.c_str()), "<none>");
    EXPECT_EQ(VornFile::Open(FILE_KIND_DATA, longName.c_str()), nullptr);
    EXPECT_FALSE(VornFile::FindFilePath(FILE_KIND_DATA, path, longName.c_str()));
    EXPECT_LT(std::strlen(path), 256u);
    EXPECT_FALSE(VornFile::ExistsInPack(FILE_KIND_DATA, longName.c_str()));
    VornFile::SetRootPath(longName.c_str(), longName.c_str());
    EXPECT_STREQ(VornFile::GetRootPath(), "");
    EXPECT_TRUE(Has(CloseLog(), "ファイルの種類が不正です [ 10 ]"));
}
