// PACK entry extraction: an entry looked up by name as the file loader does, its bytes read from the
// file, the CRC check, and an LZSS entry decoded into a buffer of exactly the announced size.
#include "FuzzCheck.h"
#include "VornLZSS.h"
#include "VornPackFormat.h"
#include <cstring>
#include <vector>

namespace {

// One whole load of the entry named name; false where the loader refuses it.
bool Load(const uint8_t* data, size_t size, uint32_t count, const char* name, std::vector<uint8_t>* out)
{
    const uint8_t* table = data + VornPackFormat::HEADER_SIZE;
    const int64_t index = VornPackFormat::FindEntry(table, count, name);
    if (index < 0) return false;
    VornPackEntry entry;
    VornPackFormat::ReadEntry(table + size_t(index) * VornPackFormat::ENTRY_SIZE, &entry, nullptr);
    if (!VornPackFormat::EntryInBounds(entry, count, size)) return false;
    // The loader reads the entry into a buffer of its size: a copy, so ASan watches its edges.
    std::vector<uint8_t> stored(data + entry.offset, data + entry.offset + entry.size);
    if (VornPackFormat::Crc32(stored.data(), stored.size()) != entry.dataCrc) return false;
    if (!VornLZSS::IsCompressed(stored.data(), entry.size)) {
        *out = std::move(stored);
        return true;
    }
    const uint32_t decoded = VornLZSS::GetDecodedSize(stored.data(), entry.size);
    if (decoded == VornLZSS::INVALID_SIZE) return false;
    FUZZ_CHECK(uint64_t(decoded) * 17 <= uint64_t(entry.size) * 144);   // no allocation beyond what the data can fill
    out->assign(decoded, 0);
    return VornLZSS::Decode(stored.data(), entry.size, out->data(), decoded);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    uint32_t count = 0;
    if (!VornPackFormat::ReadHeader(data, size, &count)) return 0;
    const uint32_t tried = count < 64 ? count : 64;
    for (uint32_t i = 0; i < tried; ++i) {
        char name[VornPackFormat::NAME_SIZE + 1];
        VornPackEntry entry;
        VornPackFormat::ReadEntry(data + VornPackFormat::HEADER_SIZE + size_t(i) * VornPackFormat::ENTRY_SIZE, &entry, name);
        std::vector<uint8_t> loaded;
        Load(data, size, count, name, &loaded);
    }
    return 0;
}
