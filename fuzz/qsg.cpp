// QSG archive: the walk to a named entry, its data read (and unpacked) into exactly the announced
// size, converted to A8R8G8B8 as the loader does, and copied into every surface layout.
// Input: one byte n (taken mod 17), n bytes of the wanted name, then the archive.
#include "FuzzCheck.h"
#include "VornQsgFormat.h"
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > 0xFFFFFFFFu) return 0;
    const size_t nameLength = data[0] % 17;
    if (size < 1 + nameLength) return 0;
    char name[17] = {};
    memcpy(name, data + 1, nameLength);
    const uint8_t* archive = data + 1 + nameLength;
    VornQsgMemorySource source(archive, uint32_t(size - 1 - nameLength));

    QsgEntryHeader h;
    const uint32_t pixelSize = VornQsgFormat::FindEntry(source, name, &h);
    if (pixelSize == 0) return 0;
    FUZZ_CHECK(pixelSize == VornQsgFormat::GetPixelDataSize(h.width, h.height, h.format));
    std::vector<uint8_t> pixels(pixelSize);
    std::vector<uint8_t> packed(VornQsgFormat::IsPackedFormat(h.format) ? h.dataSize : 0);
    if (!VornQsgFormat::ReadEntryData(source, h, pixels.data(), pixelSize, packed.data())) return 0;

    const uint32_t pitch = h.width * 4;
    std::vector<uint8_t> image(QSG_DDS_HEADER_SIZE + size_t(pitch) * h.height);
    VornQsgFormat::WriteDdsHeader(image.data(), h.width, h.height);
    VornQsgFormat::ConvertPixels(h.width, h.height, h.format, pixels.data(), QSG_PIXEL_A8R8G8B8,
                                 image.data() + QSG_DDS_HEADER_SIZE);
    for (uint32_t f = 0; f < QSG_SURFACE_FORMAT_COUNT; ++f) {
        const auto format = QsgSurfaceFormat(f);
        const uint32_t surfacePitch = h.width * VornQsgFormat::GetSurfacePixelSize(format);
        std::vector<uint8_t> surface(size_t(surfacePitch) * h.height);
        FUZZ_CHECK(VornQsgFormat::CopyImage(image.data() + QSG_DDS_HEADER_SIZE, pitch, surface.data(),
                                            int32_t(surfacePitch), h.width, h.height, format));
    }
    return 0;
}
