// Runtime benchmarks: LZSS decoding against zlib's inflate, the work area against the Windows
// heap, and pack lookups among 10,000 entries. Prints figures and ratios; asserts nothing.
#include "VornFile.h"
#include "VornLZSS.h"
#include "VornMemory.h"
#include "VornPackFormat.h"
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>
#include <windows.h>
#include <zlib.h>

namespace {

double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

// Data of the kind the game packs: text (effect and X files) and vertex-like binary records.
std::vector<uint8_t> TextData(size_t n)
{
    static const char* words[] = {"float4x4 ", "WorldViewProj", ";\r\n", "Mesh {\r\n", "  0.500000;", "-1.250000;",
                                  "texture ", "sampler_state ", "{ ", "} ", "MeshNormals ", "1.000000,", "\r\n"};
    std::mt19937 rng(1);
    std::vector<uint8_t> out;
    while (out.size() < n) {
        const char* w = words[rng() % 13];
        out.insert(out.end(), w, w + std::strlen(w));
    }
    out.resize(n);
    return out;
}

std::vector<uint8_t> VertexData(size_t n)
{
    std::mt19937 rng(2);
    std::vector<uint8_t> out(n);
    float* f = reinterpret_cast<float*>(out.data());
    for (size_t i = 0; i < n / 4; ++i) f[i] = float(int(rng() % 64)) * 0.25f + ((i % 8) == 7 ? 1.0f : 0.0f);
    return out;
}

void BenchLzss(const char* label, const std::vector<uint8_t>& data, double goal)
{
    std::vector<uint8_t> lz(VornLZSS::GetEncodeBound(uint32_t(data.size())));
    uint32_t lzSize = 0;
    VornLZSS::Encode(data.data(), uint32_t(data.size()), lz.data(), uint32_t(lz.size()), &lzSize);
    uLongf zSize = compressBound(uLong(data.size()));
    std::vector<uint8_t> z(zSize);
    compress2(z.data(), &zSize, data.data(), uLong(data.size()), Z_DEFAULT_COMPRESSION);

    std::vector<uint8_t> out(data.size());
    const int rounds = 20;
    double t0 = Now();
    bool ok = true;
    for (int i = 0; i < rounds; ++i) ok &= VornLZSS::Decode(lz.data(), lzSize, out.data(), uint32_t(out.size()));
    const double lzTime = (Now() - t0) / rounds;
    ok &= out == data;
    t0 = Now();
    for (int i = 0; i < rounds; ++i) {
        uLongf size = uLongf(out.size());
        ok &= uncompress(out.data(), &size, z.data(), zSize) == Z_OK;
    }
    const double zTime = (Now() - t0) / rounds;
    ok &= out == data;
    const double mb = double(data.size()) / (1024.0 * 1024.0);
    std::printf("LZSS decode, %s (%.1f MB): LZSS %.0f MB/s (ratio %.2f), inflate %.0f MB/s (ratio %.2f): "
                "LZSS/inflate %.2fx (goal >= %.0fx: %s)%s\n",
                label, mb, mb / lzTime, double(lzSize) / data.size(), mb / zTime, double(zSize) / data.size(),
                zTime / lzTime, goal, zTime / lzTime >= goal ? "met" : "MISSED", ok ? "" : "  [MISMATCH]");
}

void BenchMemory()
{
    HANDLE heap = GetProcessHeap();
    const int ops = 200000, live = 64;
    std::vector<uint32_t> sizes(ops);
    std::mt19937 rng(3);
    for (auto& s : sizes) s = (rng() % 4 == 0) ? 4096 + rng() % 60000 : 16 + rng() % 2000;

    auto run = [&](auto alloc, auto release) {
        std::vector<void*> slots(live, nullptr);
        const double t0 = Now();
        for (int i = 0; i < ops; ++i) {
            void*& slot = slots[(i * 7919u) % live];
            if (slot) release(slot);
            slot = alloc(sizes[i]);
            static_cast<uint8_t*>(slot)[0] = 1;
        }
        for (void* p : slots)
            if (p) release(p);
        return Now() - t0;
    };
    const double work = run([](uint32_t n) { return VornMemory::AllocQuiet(n, 0xFFFF, __FILE__, __LINE__); },
                            [](void* p) { VornMemory::FreeQuiet(p); });
    const double windows = run([&](uint32_t n) { return HeapAlloc(heap, 0, n); }, [&](void* p) { HeapFree(heap, 0, p); });
    std::printf("Work area, %d mixed alloc/free pairs with %d live blocks (debug off): VornMemory %.0f ns/pair, "
                "HeapAlloc %.0f ns/pair: HeapAlloc/VornMemory %.2fx\n",
                ops, live, work / ops * 1e9, windows / ops * 1e9, windows / work);
}

void BenchPack()
{
    const uint32_t count = 10000;
    std::vector<VornPackEntry> table(count);
    std::vector<std::string> names(count);
    for (uint32_t i = 0; i < count; ++i) {
        names[i] = "TEXTURE\\STAGE" + std::to_string(i / 100) + "\\TILE" + std::to_string(i) + ".PNG";
        std::memcpy(table[i].name, names[i].data(), names[i].size());
        table[i].nameCrc = VornPackFormat::Crc32(names[i].data(), names[i].size());
        table[i].size = 16;
    }
    const uint64_t total = VornPackFormat::Layout(table.data(), count);
    std::vector<uint8_t> bytes(size_t(total), 0);
    VornPackFormat::WriteHeader(bytes.data(), count);
    for (uint32_t i = 0; i < count; ++i) VornPackFormat::WriteEntry(bytes.data() + 8 + 80 * i, table[i]);
    FILE* f = std::fopen("bench-pack.bin", "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);

    const int lookups = 2000;
    double t0 = Now();
    int found = 0;
    for (int i = 0; i < lookups; ++i)
        found += VornPackFormat::FindEntry(bytes.data() + 8, count, names[(i * 4973) % count].c_str()) >= 0;
    const double inMemory = (Now() - t0) / lookups;

    HANDLE pack = CreateFileA("bench-pack.bin", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    const int fileLookups = 300;
    t0 = Now();
    for (int i = 0; i < fileLookups; ++i)
        found += VornFile::FindPackEntry(pack, names[(i * 4973) % count].c_str(), nullptr, nullptr, nullptr);
    const double fromFile = (Now() - t0) / fileLookups;
    CloseHandle(pack);
    DeleteFileA("bench-pack.bin");
    std::printf("PACK lookup among %u entries: %.1f us in a read directory, %.1f us with the directory read "
                "from the file (%d/%d found)\n",
                count, inMemory * 1e6, fromFile * 1e6, found, lookups + fileLookups);
}

} // namespace

int main()
{
    BenchLzss("text", TextData(8u << 20), 3.0);
    BenchLzss("vertex records", VertexData(8u << 20), 2.0);
    VornMemory::Initialize();
    VornMemory::SetWorkArea(64u << 20, false);   // debug mode off
    BenchMemory();
    BenchPack();
    VornMemory::Finalize();
    return 0;
}
