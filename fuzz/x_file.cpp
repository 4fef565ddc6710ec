// X files in every encoding: the reader refuses or reads, and what it reads holds together (values,
// children and references all inside the document).
#include "FuzzCheck.h"
#include "VornXFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    VornXDocument doc;
    if (!doc.Parse(data, size, 4u << 20)) {
        FUZZ_CHECK(!doc.Error().empty() && doc.objects.empty());
        return 0;
    }
    const int32_t n = static_cast<int32_t>(doc.objects.size());
    FUZZ_CHECK(doc.first < n);
    for (const VornXObject& o : doc.objects) {
        FUZZ_CHECK(o.first + static_cast<uint64_t>(o.count) <= doc.cells.size());
        FUZZ_CHECK(o.child < n && o.next < n && o.target < n);
        FUZZ_CHECK(o.type < XTYPE_KNOWN_COUNT || o.type == XTYPE_OTHER);
        VornXValues v(doc, o);
        while (v.Left()) v.U32();
        v.Str();
        FUZZ_CHECK(!v.Ok());
    }
    return 0;
}
