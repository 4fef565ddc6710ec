#include "VornPackFormat.h"
#include "VornBytes.h"
#include <algorithm>
#include <cstring>

namespace {

struct CrcTable
{
    uint32_t value[256];
    CrcTable()
    {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            value[i] = c;
        }
    }
};
const CrcTable kCrc;

} // namespace

uint32_t VornPackFormat::Crc32Update(uint32_t state, const void* data, size_t length)
{
    const uint8_t* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < length; ++i) state = kCrc.value[(state ^ p[i]) & 0xFF] ^ (state >> 8);
    return state;
}

uint32_t VornPackFormat::Crc32(const void* data, size_t length)
{
    return Crc32Finish(Crc32Update(0xFFFFFFFFu, data, length));
}

bool VornPackFormat::ReadHeader(const uint8_t* head, uint64_t fileSize, uint32_t* count)
{
    if (fileSize < HEADER_SIZE || std::memcmp(head, "PACK", 4) != 0) return false;
    const uint32_t n = VornBytes::ReadLE32(head + 4);
    // Offsets are 32-bit: a directory must fit the file and the first 4 GiB of it.
    const uint64_t directoryEnd = HEADER_SIZE + uint64_t(n) * ENTRY_SIZE;
    if (directoryEnd > fileSize || directoryEnd > 0xFFFFFFFFull) return false;
    if (count) *count = n;
    return true;
}

void VornPackFormat::WriteHeader(uint8_t* head, uint32_t count)
{
    std::memcpy(head, "PACK", 4);
    VornBytes::WriteLE32(head + 4, count);
}

void VornPackFormat::ReadEntry(const uint8_t* bytes, VornPackEntry* entry, char* name)
{
    std::memcpy(entry->name, bytes, NAME_SIZE);
    entry->nameCrc = VornBytes::ReadLE32(bytes + 64);
    entry->dataCrc = VornBytes::ReadLE32(bytes + 68);
    entry->offset = VornBytes::ReadLE32(bytes + 72);
    entry->size = VornBytes::ReadLE32(bytes + 76);
    if (name) {
        std::memcpy(name, bytes, NAME_SIZE);
        name[NAME_SIZE] = '\0';
    }
}

void VornPackFormat::WriteEntry(uint8_t* bytes, const VornPackEntry& entry)
{
    std::memcpy(bytes, entry.name, NAME_SIZE);
    VornBytes::WriteLE32(bytes + 64, entry.nameCrc);
    VornBytes::WriteLE32(bytes + 68, entry.dataCrc);
    VornBytes::WriteLE32(bytes + 72, entry.offset);
    VornBytes::WriteLE32(bytes + 76, entry.size);
}

bool VornPackFormat::EntryInBounds(const VornPackEntry& entry, uint32_t count, uint64_t fileSize)
{
    const uint64_t directoryEnd = HEADER_SIZE + uint64_t(count) * ENTRY_SIZE;
    return entry.offset >= directoryEnd && uint64_t(entry.offset) + entry.size <= fileSize;
}

int64_t VornPackFormat::FindEntry(const uint8_t* table, uint32_t count, const char* normalisedName)
{
    const size_t length = strnlen(normalisedName, NAME_SIZE + 1);
    if (length > NAME_SIZE) return -1;   // no stored name can be this long
    const uint32_t crc = Crc32(normalisedName, length);
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* e = table + size_t(i) * ENTRY_SIZE;
        if (VornBytes::ReadLE32(e + 64) != crc) continue;
        // Same CRC: the stored name (up to 64 bytes, NUL-padded) must be the same name.
        if (std::memcmp(e, normalisedName, length) == 0 && (length == NAME_SIZE || e[length] == 0)) return i;
    }
    return -1;
}

uint64_t VornPackFormat::Layout(VornPackEntry* entries, uint32_t count)
{
    std::stable_sort(entries, entries + count,
                     [](const VornPackEntry& a, const VornPackEntry& b) { return a.nameCrc < b.nameCrc; });
    uint64_t position = HEADER_SIZE + uint64_t(count) * ENTRY_SIZE;
    for (uint32_t i = 0; i < count; ++i) {
        position = (position + ALIGNMENT - 1) & ~uint64_t(ALIGNMENT - 1);
        if (position > 0xFFFFFFFFull) return 0;
        entries[i].offset = uint32_t(position);
        position += entries[i].size;
    }
    return position > 0xFFFFFFFFull ? 0 : position;
}

bool VornPackFormat::IsSafeRelativeName(const char* name)
{
    if (!name || !*name) return false;
    if (name[0] == '\\' || name[0] == '/') return false;
    size_t componentStart = 0;
    for (size_t i = 0;; ) {
        const char c = name[i];
        if (c == ':') return false;   // drives and alternate streams
        if (c == '\0' || c == '\\' || c == '/') {
            const size_t length = i - componentStart;
            if (length == 0 && c != '\0') return false;                        // "a\\\\b"
            // Windows drops trailing dots and spaces: "..", ". ." and "..." all climb or vanish.
            bool onlyDots = length > 0;
            for (size_t k = componentStart; k < i; ++k)
                if (name[k] != '.' && name[k] != ' ') onlyDots = false;
            if (onlyDots) return false;
            if (c == '\0') return length > 0;
            componentStart = ++i;
            continue;
        }
        if (VornBytes::IsSjisLeadByte(uint8_t(c))) {
            if (!VornBytes::IsSjisTrailByte(uint8_t(name[i + 1]))) return false;   // a broken pair
            i += 2;
        } else {
            ++i;
        }
    }
}
