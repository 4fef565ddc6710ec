// VornTexture's screen blits, drawn immediately through VornSimple.
#include "VornSimple.h"
#include "VornTexture.h"

void VornTexture::Draw(VornTextureHandle handle, const VornRect* dst, const VornRect* src, D3DCOLOR colour)
{
    DrawRotate(handle, dst, src, colour, 0);
}

void VornTexture::DrawRotate(VornTextureHandle handle, const VornRect* dst, const VornRect* src, D3DCOLOR colour,
                             VornAngle angle)
{
    if (handle == VORN_INVALID_HANDLE) return;
    VornSimple::DrawSquareRotate(dst, angle, src, colour, &handle, 1);
}

void VornTexture::DrawMultiTexture(const VornTextureHandle* handles, const VornRect* dst, const VornRect* src,
                                   D3DCOLOR colour, uint32_t count)
{
    if (!handles) return;
    VornSimple::DrawSquareRotate(dst, 0, src, colour, handles, static_cast<int32_t>(count));
}
