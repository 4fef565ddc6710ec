// Effect text: the parser takes any bytes and either describes an effect or refuses with a message;
// every count it reports stays within the bounds it enforces.
#include "FuzzCheck.h"
#include "VornFxParser.h"
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    VornFxDescription description;
    std::string error;
    const bool ok = VornFxParse(reinterpret_cast<const char*>(data), size, &description, &error);
    FUZZ_CHECK(ok || !error.empty());
    if (ok) {
        for (const VornFxParameterDesc& p : description.parameters) FUZZ_CHECK(p.ScalarCount() <= (uint64_t(1) << 22));
    }
    return 0;
}
