#include "VornSkinConvert.h"
#include <algorithm>

void VornSkinConvert::PrepareInfluences(std::vector<VornSkinInfluence>* list)
{
    list->erase(std::remove_if(list->begin(), list->end(), [](const VornSkinInfluence& i) { return !(i.weight > 0.0f); }),
                list->end());
    std::sort(list->begin(), list->end(), [](const VornSkinInfluence& a, const VornSkinInfluence& b) {
        return a.weight != b.weight ? a.weight > b.weight : a.bone < b.bone;
    });
    if (list->size() <= VORN_SKIN_MAX_INFLUENCES) return;
    list->resize(VORN_SKIN_MAX_INFLUENCES);
    float sum = 0.0f;
    for (const VornSkinInfluence& i : *list) sum += i.weight;
    for (VornSkinInfluence& i : *list) i.weight /= sum;
}

bool VornSkinConvert::Convert(uint32_t vertexCount, uint32_t faceCount, const uint32_t* indices,
                              const uint32_t* attributes, const std::vector<std::vector<VornSkinInfluence>>& influences,
                              uint32_t boneCount, uint32_t paletteSize, VornSkinResult* out)
{
    if (paletteSize == 0 || paletteSize > VORN_SKIN_MAX_PALETTE || influences.size() != vertexCount) return false;
    for (uint64_t i = 0; i < uint64_t(faceCount) * 3; ++i)
        if (indices[i] >= vertexCount) return false;
    std::vector<std::vector<VornSkinInfluence>> lists(influences);
    uint32_t maxInfluences = 1;
    for (std::vector<VornSkinInfluence>& list : lists) {
        for (const VornSkinInfluence& i : list)
            if (i.bone >= boneCount) return false;
        PrepareInfluences(&list);
        maxInfluences = std::max(maxInfluences, static_cast<uint32_t>(list.size()));
    }

    std::vector<uint32_t> order(faceCount);
    for (uint32_t f = 0; f < faceCount; ++f) order[f] = f;
    auto attributeOf = [&](uint32_t f) { return attributes ? attributes[f] : 0u; };
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return attributeOf(a) < attributeOf(b); });

    out->combinations.clear();
    out->vertices.clear();
    out->indices.clear();
    out->faceSource.clear();
    out->maxInfluences = maxInfluences;
    std::vector<uint32_t> stamp(vertexCount, 0xFFFFFFFFu), remap(vertexCount, 0);
    VornSkinCombination open = {};
    uint32_t used = 0;   // bones in the open combination
    auto slotOf = [](const VornSkinCombination& c, uint32_t n, uint32_t bone) -> int32_t {
        for (uint32_t s = 0; s < n; ++s)
            if (c.bone[s] == bone) return static_cast<int32_t>(s);
        return -1;
    };
    auto close = [&]() {
        if (open.faceCount == 0) return;
        for (uint32_t s = used; s < VORN_SKIN_MAX_PALETTE; ++s) open.bone[s] = VORN_SKIN_UNUSED_BONE;
        out->combinations.push_back(open);
    };
    for (uint32_t k = 0; k < faceCount; ++k) {
        const uint32_t f = order[k];
        uint32_t fresh[3 * VORN_SKIN_MAX_INFLUENCES], freshCount = 0;
        for (uint32_t c = 0; c < 3; ++c)
            for (const VornSkinInfluence& i : lists[indices[f * 3 + c]])
                if (slotOf(open, used, i.bone) < 0 && std::find(fresh, fresh + freshCount, i.bone) == fresh + freshCount)
                    fresh[freshCount++] = i.bone;
        if (open.faceCount == 0 || attributeOf(f) != open.attribute || used + freshCount > paletteSize) {
            close();
            open = {};
            open.attribute = attributeOf(f);
            open.faceStart = k;
            open.vertexStart = static_cast<uint32_t>(out->vertices.size());
            used = 0;
            freshCount = 0;
            for (uint32_t c = 0; c < 3; ++c)
                for (const VornSkinInfluence& i : lists[indices[f * 3 + c]])
                    if (std::find(fresh, fresh + freshCount, i.bone) == fresh + freshCount) fresh[freshCount++] = i.bone;
        }
        for (uint32_t n = 0; n < freshCount; ++n) open.bone[used++] = fresh[n];
        const uint32_t combination = static_cast<uint32_t>(out->combinations.size());
        for (uint32_t c = 0; c < 3; ++c) {
            const uint32_t v = indices[f * 3 + c];
            if (stamp[v] != combination) {
                stamp[v] = combination;
                remap[v] = static_cast<uint32_t>(out->vertices.size());
                VornSkinVertex sv = {};
                sv.source = v;
                const std::vector<VornSkinInfluence>& list = lists[v];
                for (uint32_t n = 0; n < list.size(); ++n) {
                    sv.slot[n] = static_cast<uint8_t>(slotOf(open, used, list[n].bone));
                    sv.weight[n] = list[n].weight;
                }
                out->vertices.push_back(sv);
                ++open.vertexCount;
            }
            out->indices.push_back(remap[v]);
        }
        out->faceSource.push_back(f);
        ++open.faceCount;
    }
    close();
    return true;
}
