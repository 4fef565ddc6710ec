// QSG archives: the byte format, the pixel formats, packed entries, the DDS image and every refusal.
// How a packed entry's stream decodes (references overlapping their output, the zero window, the cut
// at the unpacked size) is the lzss fuzz target's check against a plain window decoder.
#include "EngineFixture.h"
#include "VornQsgLoader.h"
#include <limits>

namespace {

using Bytes = std::vector<uint8_t>;
using Archive = vorntest::QsgArchive;
using vorntest::Argb;

// The first pixel of an image, a colour.
Argb First(const uint8_t* p) { return {p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24}; }

// A bare LZSS stream (the engine's stream without its 8-byte header).
Bytes Pack(const Bytes& raw) { return vorntest::LzssStream(raw, true); }

// A 3 x 2 image in a stored format: plain bytes for the integer formats, floats in and out of
// 0..1 (and a NaN) for the float formats.
Bytes MakeImage(uint32_t format)
{
    const float floats[] = {1.0f, 0.0f, 0.5f, 0.25f, 0.1f, 1.5f, -0.25f, 2.0f,
                            std::numeric_limits<float>::quiet_NaN(), 0.75f, 1e30f, -1e30f};
    const uint8_t* f = reinterpret_cast<const uint8_t*>(floats);
    Bytes data(6 * (2u << (format & 3)));   // 2, 4, 8 or 16 bytes a pixel
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = (format & 3) == 3 ? f[i % sizeof floats] : static_cast<uint8_t>(i * 37 + format * 11);
    return data;
}

// A row of pixels (one unless given) converted from one format to another: the N words of Out it gave.
template <typename Out, size_t N = 4> std::vector<Out> Convert(uint32_t from, const void* pixels, uint32_t to, uint32_t count = 1)
{
    Out out[N];
    VornQsgFormat::ConvertPixels(count, 1, from, pixels, to, out);
    return std::vector<Out>(out, out + N);
}

const uint8_t* Pixels(const VornQsgLoader& loader) { return loader.GetData() + QSG_DDS_HEADER_SIZE; }

class Qsg : public ::testing::Test {
protected:
    void SetUp() override
    {
        vorntest::StartServices();
        used_ = VornMemory::GetUsedSize();
    }
    // Every buffer a load takes (the packed data, the unpacked pixels) is freed but the image.
    void TearDown() override
    {
        loader_.Release();
        EXPECT_NAMED({"work area bytes taken at the end", VornMemory::GetUsedSize(), used_});
    }

    // Loads entry from the archive bytes; the error text or null.
    const char* LoadBytes(const Bytes& archive, const char* entry)
    {
        VornQsgMemorySource source(archive.data(), static_cast<uint32_t>(archive.size()));
        return loader_.LoadFrom(source, entry);
    }
    // The archive's entry refused and nothing kept; row names the case in a failure.
    void ExpectRefused(const Bytes& archive, const char* entry = "img", size_t row = 0)
    {
        EXPECT_STREQ("Can't Load QSG File", LoadBytes(archive, entry)) << "entry " << entry << ", case " << row;
        EXPECT_EQ(std::make_tuple(nullptr, 0u), std::make_tuple(loader_.GetData(), loader_.GetDataSize())) << "case " << row;
    }

    VornQsgLoader loader_;
    uint32_t used_ = 0;
};

}  // namespace

TEST_F(Qsg, EveryPixelFormatRawAndPackedBecomesTheSameDdsImage)
{
    for (uint32_t format = 0; format < 8; ++format) {
        SCOPED_TRACE("format " + std::to_string(format));
        const Bytes image = MakeImage(format);
        const Bytes stored = VornQsgFormat::IsPackedFormat(format) ? Pack(image) : image;
        const Bytes archive = Archive().Add("other", 1, 1, 1, Bytes(4, 0x55)).Add("img", 3, 2, format, stored).bytes;
        ASSERT_EQ(nullptr, LoadBytes(archive, "img"));

        uint32_t width = 0, height = 0, pitch = 0;
        loader_.GetSize(&width, &height);
        uint8_t* pixels = nullptr;
        loader_.GetImage(&pixels, &pitch);
        EXPECT_EQ(std::make_tuple(3u, 2u, 12u, 3u * 4 * 2 + 128), std::make_tuple(width, height, pitch, loader_.GetDataSize()));
        ASSERT_EQ(Pixels(loader_), pixels);
        // The channel values themselves are pinned by the conversion cases below.
        EXPECT_EQ((Convert<uint8_t, 24>(format & 3, image.data(), 1, 6)), Bytes(pixels, pixels + 24));
        EXPECT_TRUE((format & 3) != 1 || image == Bytes(pixels, pixels + 24));
    }
}

TEST_F(Qsg, TheDdsHeaderIsTheFixed32BitLayout)
{
    ASSERT_EQ(nullptr, LoadBytes(Archive().Add("img", 0x1234, 2, 4, Pack(Bytes(0x1234 * 2 * 2, 0))).bytes, "img"));
    std::vector<uint32_t> words(32);
    memcpy(words.data(), loader_.GetData(), 128);
    // "DDS ", size, flags, height, width, 0 up to the pixel format at word 19: its size, flags, no FourCC, 32 bits,
    // the masks; then 0 (no caps).
    EXPECT_EQ(vorntest::Hex({0x20534444, 124, 0x1007, 2, 0x1234, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 32, 0x41, 0, 32,
                             0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000, 0, 0, 0, 0, 0}), vorntest::Hex(words));
}

TEST_F(Qsg, ConversionsBetweenAllDepthsTruncateAndClampFloats)
{
    // One channel value per depth, through every pair; blue carries it, the rest stay 0.
    const uint8_t b8[4] = {200, 0, 0, 0}, b4[2] = {0, 11 << 4};
    const uint16_t b16[4] = {51400, 0, 0, 0};
    const uint8_t nibbles[2] = {0x21, 0x0F};   // alpha 1, red 2, green 15, blue 0
    EXPECT_EQ((std::vector<uint8_t>{0, 255, 34, 17}), Convert<uint8_t>(0, nibbles, 1));
    const uint16_t words[4] = {1, 257, 32768, 65535};   // b, g, r, a
    EXPECT_EQ((std::vector<uint8_t>{0, 1, 127, 255}), Convert<uint8_t>(2, words, 1));
    const float fractions[4] = {0.25f, 0.5f, 0.999f, 0.001f};
    EXPECT_EQ((std::vector<uint8_t>{63, 127, 254, 0}), Convert<uint8_t>(3, fractions, 1));
    EXPECT_EQ(200u * 15 / 255, static_cast<uint32_t>(Convert<uint8_t, 2>(1, b8, 0)[1] >> 4));
    EXPECT_EQ(200u * 65535 / 255, Convert<uint16_t>(1, b8, 2)[0]);
    EXPECT_EQ(200 * (1.0f / 255.0f), Convert<float>(1, b8, 3)[0]);
    EXPECT_EQ(51400u * 15 / 65535, static_cast<uint32_t>(Convert<uint8_t, 2>(2, b16, 0)[1] >> 4));
    EXPECT_EQ(11u * 65535 / 15, Convert<uint16_t>(0, b4, 2)[0]);
    EXPECT_EQ(11 * (1.0f / 15.0f), Convert<float>(0, b4, 3)[0]);

    const float wild[4] = {-1.0f, 7.0f, std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()};
    EXPECT_EQ((std::vector<uint8_t>{0, 0, 255, 255, 255, 255, 0, 0}), (Convert<uint8_t, 8>(3, wild, 2)));
    // Packed numbers convert as their raw forms: alpha 0 (NaN), red 15; green 15, blue 0.
    EXPECT_EQ((std::vector<uint8_t>{0xF0, 0x0F}), (Convert<uint8_t, 2>(7, wild, 4)));
    EXPECT_EQ((std::vector<float>{0.0f, 1.0f, 1.0f, 0.0f}), Convert<float>(3, wild, 3));
    EXPECT_EQ((std::vector<uint8_t>{0, 255, 255, 0}), Convert<uint8_t>(3, wild, 1));
}

TEST_F(Qsg, LookupLowersTheWantedNameTheFirstDuplicateWinsAndNamesCompareOverSixteenBytes)
{
    const Bytes archive = Archive().Add("Caps", 1, 1, 1, Bytes{1, 1, 1, 1}).Add("player", 1, 1, 1, Bytes{2, 2, 2, 2})
                              .Add("player", 1, 1, 1, Bytes{3, 3, 3, 3}).Add("caps", 1, 1, 1, Bytes{4, 4, 4, 4}).bytes;
    ASSERT_EQ(nullptr, LoadBytes(archive, "PLAYER"));
    EXPECT_EQ(Argb{0x02020202}, First(Pixels(loader_)));
    ASSERT_EQ(nullptr, LoadBytes(archive, "Caps"));   // found as "caps": the fourth entry
    EXPECT_EQ(Argb{0x04040404}, First(Pixels(loader_)));

    // ReadEntry compares exactly: a stored capital is found only by the same capital.
    VornQsgMemorySource source(archive.data(), static_cast<uint32_t>(archive.size()));
    uint32_t width = 0, height = 0, format = 9;
    EXPECT_EQ(4u, VornQsgLoader::ReadEntryFrom(source, "Caps", &width, &height, nullptr, &format));
    EXPECT_EQ(std::make_tuple(1u, 1u), std::make_tuple(width, format));

    // Names compare over at most 16 bytes: a stored name may fill its field without a NUL; a
    // longer or shorter wanted name, and none, find nothing.
    const Bytes sixteen = Archive().Add("sixteen_letters_", 1, 1, 1, Bytes{9, 9, 9, 9}).bytes;
    ASSERT_EQ(nullptr, LoadBytes(sixteen, "sixteen_letters_"));
    EXPECT_EQ(Argb{0x09090909}, First(Pixels(loader_)));
    for (const std::string& name : {std::string("sixteen_letters_x"), std::string("sixteen_letters"), std::string(1000, 'a'), std::string()})
        ExpectRefused(sixteen, name.c_str());
}

TEST_F(Qsg, MalformedArchivesAndHugeSizesAreRefusedWithoutReadingPastTheirEnd)
{
    const Bytes px(4, 7), run{0xFF, 1};
    const Bytes good = Archive().Add("img", 1, 1, 1, px).bytes;
    ASSERT_EQ(nullptr, LoadBytes(good, "img"));
    Bytes badMagic = good, lowerMagic = good, inHeader = good, short1 = good;
    badMagic[3] = 'X';
    lowerMagic[0] = 'q';
    inHeader.resize(8 + 20);   // the archive ends inside a header
    short1.resize(short1.size() - 1);
    const Bytes cases[] = {
        {}, {'Q', 'S', 'G', 0, 0, 0, 0}, badMagic, lowerMagic, inHeader, short1,
        Archive().Add("img", 1, 1, 8, px).bytes,            // format above 7
        Archive().Add("img", 1, 1, 0xFFFFFFFF, px).bytes,
        Archive().Add("img", 2, 1, 1, px).bytes,            // raw data shorter than the image
        Archive().Add("img", 1, 1, 1, Bytes(5, 7)).bytes,   // raw data longer
        Archive().Add("img", 2, 1, 1, px, 8).bytes,         // claims 8 bytes, the file has 4
        Archive().Add("img", 0, 1, 1, Bytes{}).bytes,       // no pixels
        Archive().Add("img", 4, 1, 5, Bytes{0xFF, 1, 2, 3}).bytes,   // packed stream runs out
        Archive().Add("img", 1, 1, 5, Bytes{}).bytes,                // packed, no data
        Archive().Add("img", 1, 1, 5, Bytes{0xFF, 1, 2, 3, 4}, 100).bytes,
        // Walking over an entry whose size passes the end stops the search.
        Archive().Add("skip", 1, 1, 1, px, 0x7FFFFFF0).Add("img", 1, 1, 1, px).bytes,
        Archive().Add("skip", 1, 1, 1, px, 0xFFFFFFF0).Add("img", 1, 1, 1, px).bytes,
        // Sizes that would be cut in the DDS header or wrap the pixel count.
        Archive().Add("img", 65536, 1, 5, run).bytes, Archive().Add("img", 1, 65536, 5, run).bytes,
        Archive().Add("img", 0x10001, 1, 1, Bytes{}, 0x40004).bytes,
        Archive().Add("img", 65535, 65535, 7, run).bytes,   // x 16 passes 32 bits
        Archive().Add("img", 40000, 40000, 5, run).bytes,   // 6.4 GB of pixels
        Archive().Add("img", 65535, 65535, 1, Bytes{}, 0).bytes,
        // A packed stream cannot grow more than 144 bytes for every 17: refused before allocating.
        Archive().Add("img", 65535, 4096, 5, Bytes(17, 0)).bytes,
    };
    for (const Bytes& c : cases) ExpectRefused(c, "img", &c - cases);
    EXPECT_EQ(std::make_tuple(0u, 0u, 65535u * 2, 16u),
              std::make_tuple(VornQsgFormat::GetPixelDataSize(65536, 65536, 1),
                              VornQsgFormat::GetPixelDataSize(1, 1, 8), VornQsgFormat::GetPixelDataSize(65535, 1, 4),
                              VornQsgFormat::GetPixelDataSize(1, 1, 7)));
}

// (Load through the file system gives the texture class's QSG pixels.)
TEST_F(Qsg, ArchivesAreReadThroughTheFileSystem)
{
    const Bytes first = MakeImage(5);
    const Bytes archive = Archive().Add("first", 3, 2, 5, Pack(first)).Add("second", 3, 2, 1, MakeImage(1)).bytes;
    const std::string path = vorntest::OutPath("qsg_file_system.qsg");
    ASSERT_TRUE(vorntest::WriteFile(path, archive));

    uint32_t width = 0, height = 0, format = 0;
    EXPECT_EQ(3u * 2 * 4, VornQsgLoader::ReadEntry(path.c_str(), "first", &width, &height, nullptr, &format));
    Bytes pixels(24);
    EXPECT_EQ(24u, VornQsgLoader::ReadEntry(path.c_str(), "first", nullptr, nullptr, pixels.data(), nullptr));
    EXPECT_NAMED({"format", format, 5u}, {"pixels", pixels, first});

    EXPECT_STREQ("Can't Load QSG File", loader_.Load(path.c_str(), "third"));
    EXPECT_STREQ("Can't Load QSG File", loader_.Load("no_such_archive.qsg", "first"));
    EXPECT_EQ(0u, VornQsgLoader::ReadEntry("no_such_archive.qsg", "first", nullptr, nullptr, nullptr, nullptr));
}

TEST_F(Qsg, CopiesIntoSurfaceFormatsWithDithering)
{
    Bytes px;
    for (int i = 0; i < 16; ++i) px.insert(px.end(), {64, 128, 255, static_cast<uint8_t>(i < 8 ? 200 : 100)});
    ASSERT_EQ(nullptr, LoadBytes(Archive().Add("img", 4, 4, 1, px).bytes, "img"));

    uint32_t argb[4 * 5] = {};
    ASSERT_TRUE(loader_.CopyToBuffer(argb, 5 * 4, D3DFMT_X8R8G8B8));   // a padded row of 5 words
    // The padding (word 4) is left alone.
    EXPECT_NAMED({"first pixel", Argb{argb[0]}, Argb{0xC8FF8040}}, {"last pixel", Argb{argb[3 * 5 + 3]}, Argb{0x64FF8040}}, {"padding", Argb{argb[4]}, Argb{0}});

    // The dither tables: 4 x 4 cells (values kept in range: the qsg_pixels fuzz target's check).
    auto d5 = [](uint32_t v, uint32_t x, uint32_t y) { return VornQsgFormat::Dither5Bit(v, x, y); };
    auto d4 = [](uint32_t v, uint32_t x, uint32_t y) { return VornQsgFormat::Dither4Bit(v, x, y); };
    EXPECT_EQ(std::make_tuple(254u, (255u * 242 >> 8) + 14, d4(100, 1, 2)),
              std::make_tuple(d5(255, 2, 3), d4(255, 0, 3), d4(100, 5, 6)));
    uint16_t words[16];
    ASSERT_TRUE(loader_.CopyToBuffer(words, 8, D3DFMT_R5G6B5));
    for (uint32_t y = 0; y < 4; ++y)
        for (uint32_t x = 0; x < 4; ++x)
            ASSERT_EQ(Argb{(d5(255, x, y) >> 3) << 11 | (d5(128, x, y) >> 2) << 5 | d5(64, x, y) >> 3}, Argb{words[y * 4 + x]}) << x << ", " << y;
    // A block: the dither cell counts from the block's corner. Cell (0, 0) of the block is (0, 0) of the
    // table. Blocks that leave the image are refused.
    uint16_t block[4] = {};
    ASSERT_TRUE(loader_.CopyRectToBuffer(0, 0, 1, 1, 2, 2, block, 4, D3DFMT_R5G6B5));
    EXPECT_NAMED({"block (0, 0)", Argb{block[0]}, Argb{words[0]}}, {"block (1, 1)", Argb{block[2 + 1]}, Argb{words[4 + 1]}});
    EXPECT_FALSE(loader_.CopyRectToBuffer(0, 0, 3, 0, 2, 1, block, 4, D3DFMT_R5G6B5));   // past the right edge
    EXPECT_FALSE(loader_.CopyRectToBuffer(0, 0, 0, 0xFFFFFFFF, 1, 2, block, 4, D3DFMT_R5G6B5));   // a wrapping row
    ASSERT_TRUE(loader_.CopyToBuffer(words, 8, D3DFMT_A1R5G5B5));
    EXPECT_NAMED({"alpha of 200", Argb{words[0] & 0x8000u}, Argb{0x8000}}, {"alpha of 100", Argb{words[15] & 0x8000u}, Argb{0}},
                 {"colour (1, 0)", Argb{words[1] & 0x7FFFu}, Argb{(d5(255, 1, 0) >> 3) << 10 | (d5(128, 1, 0) >> 3) << 5 | d5(64, 1, 0) >> 3}});
    ASSERT_TRUE(loader_.CopyToBuffer(words, 8, D3DFMT_A4R4G4B4));
    EXPECT_EQ(Argb{(d4(100, 2, 3) >> 4) << 12 | (d4(255, 2, 3) >> 4) << 8 | (d4(128, 2, 3) >> 4) << 4 | d4(64, 2, 3) >> 4}, Argb{words[14]});

    Bytes untouched(64, 0xAB);
    EXPECT_FALSE(loader_.CopyToBuffer(untouched.data(), 16, D3DFMT_DXT1));
    EXPECT_FALSE(loader_.CopyToBuffer(untouched.data(), 16, D3DFMT_R8G8B8));
    EXPECT_EQ(Bytes(64, 0xAB), untouched);
    loader_.Release();
    EXPECT_FALSE(loader_.CopyToBuffer(untouched.data(), 16, D3DFMT_A8R8G8B8));
}
