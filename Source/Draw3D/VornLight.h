// VornLight: the four lights of the scene, for the fixed-function pipeline (sent by SetEnable)
// and for the effects (exported all at once by GetLightData).
#pragma once
#include <windows.h>
#include <d3d9.h>
#include <d3dx9math.h>
#include <cstdint>

// The export of the four lights; every field of a disabled light is zero.
struct VornLightData {
    uint32_t isUse[4];
    uint32_t isDirectional[4];
    float attenuation[4];
    D3DXVECTOR4 position[4];    // (x, y, z, 1)
    D3DXVECTOR4 direction[4];   // (x, y, z, 1)
    D3DXVECTOR4 colour[4];      // diffuse r, g, b, a
};
static_assert(sizeof(VornLightData) == 4 * 4 * 3 + 16 * 4 * 3, "VornLightData is plain words and floats");

class VornLight
{
public:
    static constexpr uint32_t kLightCount = 4;
    static constexpr uint32_t TYPE_DIRECTIONAL = 0;
    static constexpr uint32_t TYPE_POINT = 1;

    static bool Initialize();
    static void Finalize();
    // Sends the light to the device and switches it on or off; true when the device took it.
    // Indices outside 0-3 are ignored (false); before Initialize nothing is sent (false, logged).
    static bool SetEnable(uint32_t index, bool on);
    static void SetType(uint32_t index, uint32_t kind);
    static void SetAttenuation(uint32_t index, float attenuation);
    static void SetPosition(uint32_t index, const D3DXVECTOR3* position);
    static void SetDirection(uint32_t index, const D3DXVECTOR3* direction);
    static void SetDiffuse(uint32_t index, float r, float g, float b);
    static void SetSpecular(uint32_t index, float r, float g, float b);
    static void GetLightData(VornLightData* out);
    static const D3DLIGHT9& GetLight(uint32_t index);   // index taken modulo 4
    static bool IsEnabled(uint32_t index);
    static bool IsStarted();   // between Initialize and Finalize
};
