// The skin converter on a mesh made from the bytes: it takes exactly the meshes whose palette, indices
// and bones are in range; every input face comes out once, every index, combination and vertex stays
// inside what the converter made, a combination holds faces of its own attribute within the palette,
// and each vertex's slots name its own largest bones in order: its four heaviest positive weights
// (the lower bone first among equals), scaled to weigh 1 together when some were dropped.
#include "FuzzCheck.h"
#include "VornSkinConvert.h"
#include <algorithm>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4) return 0;
    const uint32_t vertices = 1 + data[0] % 64, faces = 1 + data[1] % 64, bones = 1 + data[2] % 48;
    const uint32_t palette = data[3] % 34;   // 0 and 33 are refused
    data += 4;
    size -= 4;
    size_t at = 0;
    const auto next = [&]() -> uint8_t { return size ? data[at++ % size] : 0; };
    std::vector<uint32_t> indices(faces * 3), attributes(faces);
    for (uint32_t& i : indices) i = next() % (vertices + 1);   // one past the end now and then
    for (uint32_t& a : attributes) a = next() % 4;
    std::vector<std::vector<VornSkinInfluence>> influences(vertices);
    for (auto& list : influences) {
        const uint32_t n = next() % 7;
        for (uint32_t k = 0; k < n; ++k) list.push_back({next() % (bones + 1u), float(next()) / 255.0f});
    }
    bool valid = palette >= 1 && palette <= VORN_SKIN_MAX_PALETTE;
    for (uint32_t i : indices) valid = valid && i < vertices;
    uint32_t most = 1;
    for (const auto& list : influences) {
        std::vector<VornSkinInfluence> kept = list, want;
        VornSkinConvert::PrepareInfluences(&kept);
        for (const VornSkinInfluence& i : list) {
            valid = valid && i.bone < bones;
            if (i.weight > 0.0f) want.push_back(i);
        }
        std::sort(want.begin(), want.end(), [](const VornSkinInfluence& x, const VornSkinInfluence& y) {
            return x.weight != y.weight ? x.weight > y.weight : x.bone < y.bone;
        });
        const size_t n = std::min<size_t>(want.size(), VORN_SKIN_MAX_INFLUENCES);
        float sum = 0.0f;
        for (size_t k = 0; k < n; ++k) sum += want[k].weight;
        FUZZ_CHECK(kept.size() == n);
        for (size_t k = 0; k < n; ++k)
            FUZZ_CHECK(kept[k].bone == want[k].bone && kept[k].weight == (want.size() > n ? want[k].weight / sum : want[k].weight));
        most = std::max(most, uint32_t(n));
    }
    VornSkinResult result;
    const bool converted = VornSkinConvert::Convert(vertices, faces, indices.data(), attributes.data(), influences, bones, palette, &result);
    FUZZ_CHECK(converted == valid);
    if (!converted) return 0;
    FUZZ_CHECK(result.faceSource.size() == faces);
    FUZZ_CHECK(result.maxInfluences == most);
    std::vector<uint32_t> seen(faces, 0);
    for (uint32_t f : result.faceSource) FUZZ_CHECK(f < faces && ++seen[f] == 1);
    for (uint32_t i : result.indices) FUZZ_CHECK(i < result.vertices.size());
    for (const VornSkinVertex& v : result.vertices) FUZZ_CHECK(v.source < vertices);
    for (const VornSkinCombination& c : result.combinations) {
        FUZZ_CHECK(uint64_t(c.faceStart) + c.faceCount <= faces);
        FUZZ_CHECK(uint64_t(c.vertexStart) + c.vertexCount <= result.vertices.size());
        uint32_t used = 0;
        while (used < VORN_SKIN_MAX_PALETTE && c.bone[used] != VORN_SKIN_UNUSED_BONE) ++used;
        FUZZ_CHECK(used <= palette || c.faceCount == 1);   // a face needing more bones than the palette stands alone
        for (uint32_t k = c.faceStart; k < c.faceStart + c.faceCount; ++k) {
            FUZZ_CHECK(attributes[result.faceSource[k]] == c.attribute);
            for (uint32_t n = 0; n < 3; ++n) {
                const uint32_t at = result.indices[k * 3 + n];
                FUZZ_CHECK(at >= c.vertexStart && at < c.vertexStart + c.vertexCount);
                std::vector<VornSkinInfluence> list = influences[result.vertices[at].source];
                VornSkinConvert::PrepareInfluences(&list);
                for (size_t s = 0; s < list.size(); ++s) FUZZ_CHECK(c.bone[result.vertices[at].slot[s]] == list[s].bone);
            }
        }
    }
    return 0;
}
