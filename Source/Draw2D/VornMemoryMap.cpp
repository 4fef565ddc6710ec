// The work area drawn as a bar: VornMemory's drawing, kept on the 2D side so that the allocator
// does not depend on drawing.
#include "VornEffect.h"
#include "VornMemory.h"
#include <algorithm>
#include <vector>

void VornMemory::DrawMemoryMap(uint32_t primitive, float x, float y, float w, float h, uint32_t backColour,
                               uint32_t usedColour)
{
    const uint32_t total = GetTotalSize();
    if (total == 0 || primitive == 0xFFFFFFFFu) return;
    constexpr float kDepth = 32767.0f;
    const VornRect frame = {x - 1.0f, y - 1.0f, w + 2.0f, h + 2.0f}, back = {x, y, w, h};
    VornEffect::FillRect(primitive, &frame, kDepth, 0xFF000000);
    VornEffect::FillRect(primitive, &back, kDepth, backColour);
    // Every run, however many: ask for the count, then for the runs (more may have come since).
    std::vector<VornMemoryRun> runs(GetMemoryMap(nullptr, 0));
    runs.resize(std::min<size_t>(runs.size(), GetMemoryMap(runs.data(), static_cast<uint32_t>(runs.size()))));
    for (const VornMemoryRun& run : runs) {
        const VornRect bar = {x + static_cast<float>(static_cast<double>(w) * run.start / total), y,
                              static_cast<float>(static_cast<double>(w) * run.length / total), h};
        VornEffect::FillRect(primitive, &bar, kDepth, usedColour);
    }
}
