// Effect text: the parser takes any bytes and either describes an effect or refuses with a message
// naming its line; every count it reports stays within the bounds it enforces, and each compiled
// shader's entry point can be made from what it describes.
#include "FuzzCheck.h"
#include "VornFxParser.h"
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    VornFxDescription description;
    std::string error;
    const bool ok = VornFxParse(reinterpret_cast<const char*>(data), size, &description, &error);
    FUZZ_CHECK(ok || (!error.empty() && error[0] == '('));
    if (!ok) return 0;
    for (const VornFxParameterDesc& p : description.parameters) FUZZ_CHECK(p.ScalarCount() <= (uint64_t(1) << 22));
    for (const VornFxTechniqueDesc& t : description.techniques)
        for (const VornFxPassDesc& pass : t.passes)
            for (const VornFxShaderDesc* shader : {&pass.vertexShader, &pass.pixelShader})
                if (shader->assigned && !shader->function.empty()) {
                    std::string hlsl = description.hlsl;
                    VornFxEntryPoint(description, *shader, &hlsl, &error);
                }
    return 0;
}
