// QSG pixel conversions: pixels of any source format (first byte, 0-7) and width (second byte, 1-16)
// converted to every format, and the A8R8G8B8 result copied into every surface layout, top-down and
// bottom-up. Integer depths widen and narrow back to the same values; float channels stay in 0..1;
// dithered channels stay in 0..255.
#include "FuzzCheck.h"
#include "VornQsgFormat.h"
#include <cstring>
#include <vector>

namespace {
const uint32_t kBytesPerPixel[4] = {2, 4, 8, 16};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) return 0;
    // The dither of the first byte stays a channel value in every cell of the 4 x 4 tables.
    for (uint32_t cell = 0; cell < 16; ++cell)
        FUZZ_CHECK(VornQsgFormat::Dither4Bit(data[0], cell & 3, cell >> 2) <= 255 &&
                   VornQsgFormat::Dither5Bit(data[0], cell & 3, cell >> 2) <= 255);
    const uint32_t format = data[0] & 7, width = 1 + (data[1] & 15);
    const uint32_t count = uint32_t((size - 2) / kBytesPerPixel[format & 3]), height = count / width;
    if (height == 0) return 0;
    const std::vector<uint8_t> src(data + 2, data + 2 + size_t(width) * height * kBytesPerPixel[format & 3]);

    std::vector<uint8_t> converted[4];
    for (uint32_t to = 0; to < 4; ++to) {
        converted[to].resize(size_t(width) * height * kBytesPerPixel[to]);
        VornQsgFormat::ConvertPixels(width, height, format, src.data(), to, converted[to].data());
    }
    const uint32_t from = format & 3;
    if (from != QSG_PIXEL_FLOAT) {
        // 4 -> 8 -> 16 bits per channel: every wider depth comes back to the source exactly.
        for (uint32_t to = from + 1; to < QSG_PIXEL_FLOAT; ++to) {
            std::vector<uint8_t> back(src.size());
            VornQsgFormat::ConvertPixels(width, height, to, converted[to].data(), from, back.data());
            FUZZ_CHECK(back == src);
        }
    }
    for (size_t i = 0; i < converted[QSG_PIXEL_FLOAT].size(); i += 4) {
        float f;
        memcpy(&f, &converted[QSG_PIXEL_FLOAT][i], 4);
        FUZZ_CHECK(f >= 0.0f && f <= 1.0f);
    }

    const std::vector<uint8_t>& image = converted[QSG_PIXEL_A8R8G8B8];
    for (uint32_t f = 0; f < QSG_SURFACE_FORMAT_COUNT; ++f) {
        const auto surfaceFormat = QsgSurfaceFormat(f);
        const int32_t pitch = int32_t(width * VornQsgFormat::GetSurfacePixelSize(surfaceFormat));
        std::vector<uint8_t> down(size_t(pitch) * height), up(down.size());
        FUZZ_CHECK(VornQsgFormat::CopyImage(image.data(), width * 4, down.data(), pitch, width, height, surfaceFormat));
        FUZZ_CHECK(VornQsgFormat::CopyImage(image.data(), width * 4, up.data() + size_t(pitch) * (height - 1), -pitch,
                                            width, height, surfaceFormat));
        // Source row y lands on row height-1-y with the same dither cell.
        for (uint32_t y = 0; y < height; ++y)
            FUZZ_CHECK(memcmp(&down[size_t(y) * pitch], &up[size_t(height - 1 - y) * pitch], size_t(pitch)) == 0);
    }
    return 0;
}
