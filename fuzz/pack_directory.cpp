// PACK directory and lookup: the head against the file size, every entry read, bounds-checked and
// name-checked as the extractor does, and every stored name found again by the lookup.
#include "FuzzCheck.h"
#include "VornBytes.h"
#include "VornPackFormat.h"
#include <cstring>

namespace {

// Whether a name passes the extractor's rule by an independent reading: no separator first, no ':'
// or '/' or '\' hidden as a character, no component that is only dots and spaces.
bool LooksSafe(const char* name)
{
    if (!*name || *name == '\\' || *name == '/') return false;
    size_t start = 0, i = 0;
    for (;;) {
        const uint8_t c = uint8_t(name[i]);
        if (c == ':') return false;
        if (c == 0 || c == '\\' || c == '/') {
            bool dots = i > start;
            for (size_t k = start; k < i; ++k) dots &= name[k] == '.' || name[k] == ' ';
            if (i == start || dots) return false;
            if (c == 0) return true;
            start = ++i;
            continue;
        }
        if (VornBytes::IsSjisLeadByte(c)) {
            if (!VornBytes::IsSjisTrailByte(uint8_t(name[i + 1]))) return false;
            i += 2;
        } else {
            ++i;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    uint32_t count = 0;
    if (!VornPackFormat::ReadHeader(data, size, &count)) return 0;
    FUZZ_CHECK(VornPackFormat::HEADER_SIZE + uint64_t(count) * VornPackFormat::ENTRY_SIZE <= size);
    const uint8_t* table = data + VornPackFormat::HEADER_SIZE;
    for (uint32_t i = 0; i < count; ++i) {
        VornPackEntry entry;
        char name[VornPackFormat::NAME_SIZE + 1];
        VornPackFormat::ReadEntry(table + size_t(i) * VornPackFormat::ENTRY_SIZE, &entry, name);
        if (VornPackFormat::EntryInBounds(entry, count, size)) {
            // The extractor copies exactly these bytes: ASan checks they lie inside the input.
            volatile uint8_t sum = 0;
            for (uint32_t k = 0; k < entry.size; k += 997) sum = sum + data[entry.offset + k];
            if (entry.size) sum = sum + data[uint64_t(entry.offset) + entry.size - 1];
        }
        FUZZ_CHECK(VornPackFormat::IsSafeRelativeName(name) == LooksSafe(name));

        const size_t length = strlen(name);
        const int64_t found = VornPackFormat::FindEntry(table, count, name);
        FUZZ_CHECK(found < int64_t(count));
        if (found >= 0) {
            const uint8_t* e = table + size_t(found) * VornPackFormat::ENTRY_SIZE;
            FUZZ_CHECK(VornBytes::ReadLE32(e + 64) == VornPackFormat::Crc32(name, length));
            FUZZ_CHECK(memcmp(e, name, length) == 0 && (length == VornPackFormat::NAME_SIZE || e[length] == 0));
        }
        // An entry whose CRC matches its own name is always found, at its place or before it.
        if (entry.nameCrc == VornPackFormat::Crc32(name, length)) FUZZ_CHECK(found >= 0 && found <= int64_t(i));
    }
    return 0;
}
