#include "VornLight.h"
#include "Vorn3D.h"
#include "VornLog.h"
#include <cstring>

namespace {

D3DLIGHT9 g_lights[VornLight::kLightCount];
uint8_t g_enabled[VornLight::kLightCount];
bool g_started = false;

D3DLIGHT9* Light(uint32_t index)
{
    return index < VornLight::kLightCount ? &g_lights[index] : nullptr;
}

void EnableFromDevice(uint32_t index, bool on)
{
    VornLight::SetEnable(index, on);
}

}  // namespace

bool VornLight::Initialize()
{
    memset(g_lights, 0, sizeof g_lights);
    memset(g_enabled, 0, sizeof g_enabled);
    // A zeroed light has no valid type: each starts as a directional light along +z, so that
    // enabling one that was never set up sends the device a light it takes.
    for (D3DLIGHT9& l : g_lights) {
        l.Type = D3DLIGHT_DIRECTIONAL;
        l.Direction.z = 1.0f;
        l.Ambient.r = l.Ambient.g = l.Ambient.b = 1.0f;
        l.Range = 100.0f;
    }
    Vorn3D::Links().lightSetEnable = EnableFromDevice;
    g_started = true;
    return true;
}

void VornLight::Finalize()
{
    Vorn3D::Links().lightSetEnable = nullptr;
    g_started = false;
}

bool VornLight::IsStarted() { return g_started; }

bool VornLight::SetEnable(uint32_t index, bool on)
{
    if (index >= kLightCount) return false;
    if (!g_started) {   // no light set up to send: the device's light is left as it is
        VornLog::StrongBlue("VornLight::SetEnable");
        VornLog::Print(" : [ %u ] : ", index);
        VornLog::StrongRed("VornLightクラスが初期化されていません");
        VornLog::LineBreak();
        return false;
    }
    g_enabled[index] = on ? 1 : 0;
    IDirect3DDevice9* device = Vorn3D::GetDevice();
    if (!device) return false;
    // A light the device refuses is switched off on both paths, the device and the effects.
    const bool sent = SUCCEEDED(device->SetLight(index, &g_lights[index]));
    if (!sent) g_enabled[index] = 0;
    return SUCCEEDED(device->LightEnable(index, on && sent ? TRUE : FALSE)) && sent;
}

void VornLight::SetType(uint32_t index, uint32_t kind)
{
    D3DLIGHT9* l = Light(index);
    if (!l) return;
    if (kind == TYPE_DIRECTIONAL) l->Type = D3DLIGHT_DIRECTIONAL;
    else if (kind == TYPE_POINT) l->Type = D3DLIGHT_POINT;
}

void VornLight::SetAttenuation(uint32_t index, float attenuation)
{
    if (D3DLIGHT9* l = Light(index)) l->Attenuation1 = attenuation;
}

void VornLight::SetPosition(uint32_t index, const D3DXVECTOR3* position)
{
    D3DLIGHT9* l = Light(index);
    if (l && position) l->Position = *position;
}

void VornLight::SetDirection(uint32_t index, const D3DXVECTOR3* direction)
{
    D3DLIGHT9* l = Light(index);
    if (!l || !direction) return;
    D3DXVECTOR3 n;
    D3DXVec3Normalize(&n, direction);
    l->Direction = n;
}

void VornLight::SetDiffuse(uint32_t index, float r, float g, float b)
{
    if (D3DLIGHT9* l = Light(index)) l->Diffuse = {r, g, b, 1.0f};
}

void VornLight::SetSpecular(uint32_t index, float r, float g, float b)
{
    if (D3DLIGHT9* l = Light(index)) l->Specular = {r, g, b, 1.0f};
}

void VornLight::GetLightData(VornLightData* out)
{
    if (!out) return;
    memset(static_cast<void*>(out), 0, sizeof *out);
    for (uint32_t i = 0; i < kLightCount; ++i) {
        out->isUse[i] = g_enabled[i];
        if (!g_enabled[i]) continue;
        const D3DLIGHT9& l = g_lights[i];
        out->isDirectional[i] = l.Type == D3DLIGHT_DIRECTIONAL ? 1 : 0;
        out->attenuation[i] = l.Attenuation1;
        out->position[i] = D3DXVECTOR4(l.Position.x, l.Position.y, l.Position.z, 1.0f);
        out->direction[i] = D3DXVECTOR4(l.Direction.x, l.Direction.y, l.Direction.z, 1.0f);
        out->colour[i] = D3DXVECTOR4(l.Diffuse.r, l.Diffuse.g, l.Diffuse.b, l.Diffuse.a);
    }
}

const D3DLIGHT9& VornLight::GetLight(uint32_t index)
{
    return g_lights[index % kLightCount];
}

bool VornLight::IsEnabled(uint32_t index)
{
    return index < kLightCount && g_enabled[index] != 0;
}
