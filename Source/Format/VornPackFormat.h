// The PACK file's byte format and CRC-32, over plain memory: no file I/O here.
//   "PACK", u32 count, count × VornPackEntry (80 bytes), then the data of each entry at its
//   offset (each offset a multiple of 256, zero gaps). Entries sorted by nameCrc, ascending.
#pragma once
#include <cstddef>
#include <cstdint>

// One entry of a pack's directory, as stored in the file (80 bytes, little-endian).
struct VornPackEntry
{
    char name[64];      // normalised, NUL-padded (a file may lack the NUL)
    uint32_t nameCrc;
    uint32_t dataCrc;
    uint32_t offset;
    uint32_t size;
};
static_assert(sizeof(VornPackEntry) == 80, "pack entries are 80 bytes in the file");

namespace VornPackFormat
{
constexpr uint32_t HEADER_SIZE = 8;
constexpr uint32_t ENTRY_SIZE = 80;
constexpr uint32_t NAME_SIZE = 64;
constexpr uint32_t ALIGNMENT = 256;

// Standard reflected CRC-32 (0xEDB88320, initial 0xFFFFFFFF, complemented): "abc" is 0x352441C2.
uint32_t Crc32(const void* data, size_t length);
uint32_t Crc32Update(uint32_t state, const void* data, size_t length);   // state starts at 0xFFFFFFFF
inline uint32_t Crc32Finish(uint32_t state) { return ~state; }

// Reads the 8-byte head; false without the magic. fileSize bounds the directory: a count whose
// table does not fit in the file is refused.
bool ReadHeader(const uint8_t* head, uint64_t fileSize, uint32_t* count);
void WriteHeader(uint8_t* head, uint32_t count);

// Decodes one 80-byte entry (little-endian) and copies its name with a terminator into
// name[NAME_SIZE + 1] (a stored name may fill all 64 bytes).
void ReadEntry(const uint8_t* bytes, VornPackEntry* entry, char* name);
void WriteEntry(uint8_t* bytes, const VornPackEntry& entry);

// Whether the entry's data lies inside the file, behind the directory.
bool EntryInBounds(const VornPackEntry& entry, uint32_t count, uint64_t fileSize);

// The first entry whose nameCrc and name both match (a parsed directory of count entries, each
// ENTRY_SIZE bytes at table); -1 when there is none.
int64_t FindEntry(const uint8_t* table, uint32_t count, const char* normalisedName);

// Sorts by nameCrc (stable) and lays the data out; returns the total file size, or 0 when it
// would not fit in 32 bits.
uint64_t Layout(VornPackEntry* entries, uint32_t count);

// A name that stays inside the folder it is extracted to: not empty, no drive, no leading
// separator, no ".." component, and every Shift-JIS lead byte followed by a valid trail byte (a
// broken pair could hide a '/' or ':' behind the lead byte).
bool IsSafeRelativeName(const char* name);
}
