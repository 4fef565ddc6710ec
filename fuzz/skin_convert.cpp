// The skin converter on a mesh made from the bytes: every input face comes out once, every index,
// combination and vertex stays inside what the converter made, a combination holds faces of its own
// attribute within the palette, and each vertex's slots name its own largest bones in order.
#include "FuzzCheck.h"
#include "VornSkinConvert.h"
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
    VornSkinResult result;
    if (!VornSkinConvert::Convert(vertices, faces, indices.data(), attributes.data(), influences, bones, palette, &result))
        return 0;
    FUZZ_CHECK(result.faceSource.size() == faces);
    FUZZ_CHECK(result.maxInfluences >= 1 && result.maxInfluences <= VORN_SKIN_MAX_INFLUENCES);
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
