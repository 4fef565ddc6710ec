#include "VornFontSprite3D.h"
#include "VornLog.h"
#include "VornMemory.h"
#include "VornSystem.h"
#include "VornTexture.h"
#include <cstring>

namespace {

void DestroyFontSprite(VornFontSpriteRecord& r)
{
    if (r.glyphs) VornMemory::Free(r.glyphs);
    r.glyphs = nullptr;
    for (uint32_t i = 0; i < VORN_FONT_SHEET_MAX; ++i) {
        VornSprite3D::Release(r.sprites[i]);
        VornTexture::Release(r.sheets[i]);
    }
}

VornHandleTable<VornFontSpriteRecord> g_table(DestroyFontSprite, "FontSprite Destroy [ No.%u ]");

VornFontSprite3DHandle Fail(VornFontSprite3DHandle handle)
{
    g_table.ReleaseRecord(handle);
    return VORN_INVALID_HANDLE;
}

// The glyph set is built or loaded by VornFontSprite's steps (the same building, file format and
// messages); this makes its 3D sprites, one per sheet, and logs the success.
VornFontSprite3DHandle Finish(VornFontSprite3DHandle handle, uint32_t capacity, bool loaded)
{
    VornFontSpriteRecord& r = g_table[handle];
    for (uint32_t i = 0; i < r.sheetCount; ++i) {
        r.sprites[i] = VornSprite3D::Create(capacity, 1);
        if (r.sprites[i] == VORN_INVALID_HANDLE) return Fail(handle);
        VornSprite3D::SetTexture(r.sprites[i], 0, r.sheets[i]);
    }
    VornFontSprite::LogCreated(r, loaded);
    return handle;
}

// The glyph of a character code, or null (no slot, an entry of 0xFFFF, or one outside the tables).
const VornFontGlyph* FindGlyph(const VornFontSpriteRecord& r, uint16_t code)
{
    const uint16_t slot = VornQxtFormat::GetCodeIndex(code);
    if (slot == VORN_FONT_NO_GLYPH || slot >= VORN_FONT_CODE_SLOTS) return nullptr;
    const uint16_t index = r.codeToGlyph[slot];
    if (index == VORN_FONT_NO_GLYPH || index >= r.glyphCount || !r.glyphs) return nullptr;
    const VornFontGlyph* g = &r.glyphs[index];
    return g->sheet < r.sheetCount ? g : nullptr;
}

void Layout(VornFontSprite3DHandle handle, const char* text, const VornPosture* posture, float size, uint32_t colour,
            bool proportional)
{
    const VornFontSpriteRecord* r = g_table.GetLive(handle);
    if (!r || !text || !posture || r->fontSize == 0) return;
    // The characters face the way the posture does: its plane is turned half a turn about its up
    // axis for the pen positions, and drawn with the posture at the origin.
    VornPosture plane(*posture);
    const VornVector3 origin = posture->position;
    plane.SetPosition(0.0f, 0.0f, 0.0f);
    plane.LocalRotationY(32768);
    plane.UpdateMatrices();
    VornMatrix m;
    plane.GetWorldMatrix(m);
    plane.LocalRotationY(32768);
    plane.UpdateMatrices();

    const int32_t fontSize = static_cast<int32_t>(r->fontSize);
    const float scale = size / static_cast<float>(fontSize);
    const float lineStart = -static_cast<float>(fontSize) * 0.25f * static_cast<float>(VornFontSprite3D::GetLongestLine(text));
    float x = lineStart, y = static_cast<float>(fontSize) * 0.5f;
    for (const uint8_t* p = reinterpret_cast<const uint8_t*>(text); *p;) {
        uint16_t code;
        const uint32_t bytes = VornSystem::ReadSjisChar(p, &code);
        p += bytes;
        switch (code) {
        case '\n':
            x = lineStart;
            y -= static_cast<float>(fontSize);
            continue;
        case '\t':
            x += 4.0f * static_cast<float>(fontSize);
            continue;
        case ' ':
            x += static_cast<float>(fontSize) * 0.5f;
            continue;
        case '\b':
            x += static_cast<float>(fontSize);
            continue;
        default:
            break;
        }
        const float advance = bytes == 1 ? static_cast<float>(fontSize / 2) : static_cast<float>(fontSize);
        const VornFontGlyph* g = FindGlyph(*r, code);
        if (!g) {   // no glyph: skipped, the pen moves on
            x += advance;
            continue;
        }
        const int32_t w = g->right - g->left, h = g->bottom - g->top;
        const float cx = proportional ? x + static_cast<float>(w / 2) : g->leftBearing + x + static_cast<float>(w / 2);
        const float cy = proportional ? y : static_cast<float>(h / 2) + y;
        VornVector3 at(cx * scale, cy * scale, 0.0f);
        at.TransformSelf(m);
        const VornRect src = {static_cast<float>(g->left), static_cast<float>(g->top), static_cast<float>(w),
                              static_cast<float>(h)};
        VornSprite3D::DrawSquare(r->sprites[g->sheet], &plane, at.x + origin.x, at.y + origin.y, at.z + origin.z,
                                 static_cast<float>(w) * scale, size, &src, colour, 1);
        x += proportional ? static_cast<float>(w + 1) : advance;
    }
}

}  // namespace

bool VornFontSprite3D::Initialize()
{
    g_table.SetMax(TABLE_SIZE);
    return g_table.InitializeLogged("VornFontSprite3Dクラスの初期化", "フォントスプライト", __FILE__, __LINE__);
}

void VornFontSprite3D::Finalize()
{
    VornLog::Title("VornFontSprite3Dクラスの解放");
    g_table.Finalize();
}

VornFontSprite3DHandle VornFontSprite3D::Create(const char* text, uint8_t alpha, uint32_t capacity, VornFontHandle font,
                                                uint8_t antialias)
{
    VornLog::StrongBlue("VornFontSprite3D::Create");
    if (!VornFontSprite::CheckFont(font)) return VORN_INVALID_HANDLE;
    const VornFontSprite3DHandle handle = VornFontSprite::TakeRecord(g_table);
    if (handle == VORN_INVALID_HANDLE) return handle;
    if (!VornFontSprite::BuildGlyphSet(g_table[handle], text, alpha, font, antialias)) return Fail(handle);
    return Finish(handle, capacity, false);
}

VornFontSprite3DHandle VornFontSprite3D::CreateFromMemory(const void* data, uint32_t size, const char* sheetSource,
                                                          uint8_t alpha, uint32_t capacity)
{
    VornLog::StrongBlue("VornFontSprite3D::CreateFromMemory");
    const VornFontSprite3DHandle handle = VornFontSprite::TakeRecord(g_table);
    if (handle == VORN_INVALID_HANDLE) return handle;
    if (!VornFontSprite::LoadGlyphSet(g_table[handle], data, size, sheetSource, alpha)) return Fail(handle);
    return Finish(handle, capacity, true);
}

VornFontSprite3DHandle VornFontSprite3D::CreateFromFile(const char* name, const char* sheetSource, uint8_t alpha,
                                                        uint32_t capacity)
{
    VornLog::StrongBlue("VornFontSprite3D::CreateFromFile");
    uint32_t size = 0;
    void* data = VornFontSprite::LoadGlyphFile(name, &size);
    if (!data) return VORN_INVALID_HANDLE;
    const VornFontSprite3DHandle handle = CreateFromMemory(data, size, sheetSource, alpha, capacity);
    VornMemory::Free(data);
    return handle;
}

void VornFontSprite3D::Release(VornFontSprite3DHandle handle)
{
    if (!g_table.ReleaseRecord(handle)) return;
    VornLog::StrongRed("VornFontSprite3D::Release");
    VornLog::Print(" : [ No.%u ]", handle);
    VornLog::LineBreak();
}

const VornFontSpriteRecord* VornFontSprite3D::GetRecord(VornFontSprite3DHandle handle) { return g_table.GetLive(handle); }

void VornFontSprite3D::ResetBuffer(VornFontSprite3DHandle handle)
{
    if (const VornFontSpriteRecord* r = g_table.GetLive(handle))
        for (uint32_t i = 0; i < r->sheetCount; ++i) VornSprite3D::ResetBuffer(r->sprites[i]);
}

void VornFontSprite3D::UpdateBuffer(VornFontSprite3DHandle handle)
{
    if (const VornFontSpriteRecord* r = g_table.GetLive(handle))
        for (uint32_t i = 0; i < r->sheetCount; ++i) VornSprite3D::UpdateBuffer(r->sprites[i]);
}

void VornFontSprite3D::Rendering(VornFontSprite3DHandle handle)
{
    if (const VornFontSpriteRecord* r = g_table.GetLive(handle))
        for (uint32_t i = 0; i < r->sheetCount; ++i) VornSprite3D::Rendering(r->sprites[i]);
}

uint16_t VornFontSprite3D::GetCodeIndex(uint16_t code) { return VornQxtFormat::GetCodeIndex(code); }

int32_t VornFontSprite3D::GetLongestLine(const char* text)
{
    int32_t longest = 0, line = 0;
    for (const char* p = text; p && *p; ++p) {
        if (*p == '\n') {
            line = 0;
            continue;
        }
        line += *p == '\t' ? 4 : 1;
        if (line > longest) longest = line;
    }
    return longest;
}

void VornFontSprite3D::DrawString(VornFontSprite3DHandle handle, const char* text, const VornPosture* posture,
                                  float size, uint32_t colour)
{
    Layout(handle, text, posture, size, colour, false);
}

void VornFontSprite3D::DrawStringProportional(VornFontSprite3DHandle handle, const char* text,
                                              const VornPosture* posture, float size, uint32_t colour)
{
    Layout(handle, text, posture, size, colour, true);
}
