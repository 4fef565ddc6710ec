#include "VornFontSprite.h"
#include "Vorn3D.h"
#include "VornFile.h"
#include "VornLog.h"
#include "VornMemory.h"
#include "VornSystem.h"
#include <algorithm>
#include <cstring>

namespace {

void DestroyFontSprite(VornFontSpriteRecord& r)
{
    if (r.glyphs) VornMemory::Free(r.glyphs);
    for (uint32_t i = 0; i < VORN_FONT_SHEET_MAX; ++i) {
        VornSprite::Release(r.sprites[i]);
        VornTexture::Release(r.sheets[i]);
    }
}

VornHandleTable<VornFontSpriteRecord> g_table(DestroyFontSprite, "FontSprite Destroy [ No.%u ]");

VornFontSpriteHandle Fail(VornFontSpriteHandle handle)
{
    g_table.ReleaseRecord(handle);
    return VORN_INVALID_HANDLE;
}

void LogFailure(const char* message)
{
    VornLog::StrongRed("%s", message);
    VornLog::LineBreak();
}

void LogTooManySheets()
{
    char message[64];
    VornSystem::FormatText(message, sizeof message, "シート数が%dを超えました", static_cast<int>(VORN_FONT_SHEET_MAX));
    LogFailure(message);
}

VornFormatKind SheetFormat(uint8_t alpha) { return alpha ? VORN_FORMAT_ALPHA_BITS : VORN_FORMAT_ALPHA; }

// One sprite per sheet, stage 0 bound to the sheet; then the success line. The record goes
// when a sprite cannot be made.
VornFontSpriteHandle Finish(VornFontSpriteHandle handle, uint32_t capacity, uint8_t sort, bool loaded)
{
    VornFontSpriteRecord& r = g_table[handle];
    for (uint32_t i = 0; i < r.sheetCount; ++i) {
        r.sprites[i] = VornSprite::Create(capacity, 1, sort != 0);
        if (r.sprites[i] == VORN_INVALID_HANDLE) return Fail(handle);
        VornSprite::SetTexture(r.sprites[i], 0, r.sheets[i]);
    }
    VornFontSprite::LogCreated(r, loaded);
    return handle;
}

const VornFontGlyph* FindGlyph(const VornFontSpriteRecord& r, uint16_t code)
{
    const uint16_t slot = VornQxtFormat::GetCodeIndex(code);
    if (slot == VORN_FONT_NO_GLYPH) return nullptr;
    const uint16_t index = r.codeToGlyph[slot];
    if (index == VORN_FONT_NO_GLYPH || index >= r.glyphCount) return nullptr;
    return &r.glyphs[index];
}

VornSpriteHandle SheetSprite(const VornFontSpriteRecord& r, const VornFontGlyph& g)
{
    return g.sheet < r.sheetCount ? r.sprites[g.sheet] : VORN_INVALID_HANDLE;
}

VornRect CellSource(const VornFontGlyph& g)
{
    return {static_cast<float>(g.left), static_cast<float>(g.top), static_cast<float>(g.right - g.left),
            static_cast<float>(g.bottom - g.top)};
}

// Lays a string out from (x, y), drawing when draw is set; returns the pen at the end.
VornFontPen Layout(const VornFontSpriteRecord& r, const char* text, int32_t x, int32_t y, float z, uint32_t colour,
                   bool proportional, bool draw)
{
    const float size = static_cast<float>(r.fontSize);
    float penX = static_cast<float>(x);
    int32_t penY = y;
    for (const uint8_t* p = reinterpret_cast<const uint8_t*>(text); p && *p;) {
        uint16_t code;
        p += VornSystem::ReadSjisChar(p, &code);
        switch (code) {
        case '\n':
            penX = static_cast<float>(x);
            penY += static_cast<int32_t>(r.fontSize);
            continue;
        case '\t':
            penX += 4 * size;
            continue;
        case '\b':
            penX -= size;
            continue;
        case ' ':
            penX += size / 2;
            continue;
        default:
            break;
        }
        const VornFontGlyph* g = FindGlyph(r, code);
        if (!g) {
            penX += proportional ? static_cast<float>(r.fontSize / 2) : size;
            continue;
        }
        if (draw) {
            const int32_t left = static_cast<int32_t>(penX) + (proportional ? 1 : g->leftBearing);
            const VornRect dst = {static_cast<float>(left), static_cast<float>(penY), static_cast<float>(g->cellWidth),
                                  static_cast<float>(g->bottom - g->top)};
            const VornRect src = CellSource(*g);
            VornSprite::DrawSquare(SheetSprite(r, *g), &dst, z, &src, colour, 1);
        }
        if (proportional)
            penX += static_cast<float>(g->cellWidth + 1);
        else
            penX += code < 256 ? size * 0.5f : size;
    }
    return {static_cast<int32_t>(penX), penY};
}

// The glyph of the character at text, and its bytes; null when it has none.
const VornFontGlyph* CharGlyph(const VornFontSpriteRecord& r, const char* character, uint32_t* bytes)
{
    if (!character) return nullptr;
    uint16_t code;
    *bytes = VornSystem::ReadSjisChar(reinterpret_cast<const uint8_t*>(character), &code);
    return FindGlyph(r, code);
}

uint8_t ToByte(int32_t v) { return static_cast<uint8_t>(std::min(std::max(v, 0), 255)); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Table
// ---------------------------------------------------------------------------------------------

bool VornFontSprite::Initialize()
{
    g_table.SetMax(TABLE_SIZE);
    return g_table.InitializeLogged("VornFontSpriteクラスの初期化", "フォントスプライト", __FILE__, __LINE__);
}

void VornFontSprite::Finalize()
{
    VornLog::Title("VornFontSpriteクラスの解放");
    g_table.Finalize();
}

void VornFontSprite::Release(VornFontSpriteHandle handle)
{
    if (!g_table.ReleaseRecord(handle)) return;
    VornLog::StrongRed("VornFontSprite::Release");
    VornLog::Print(" : [ No.%u ]", handle);
    VornLog::LineBreak();
}

const VornFontSpriteRecord* VornFontSprite::GetRecord(VornFontSpriteHandle handle) { return g_table.GetLive(handle); }

uint16_t VornFontSprite::GetCodeIndex(uint16_t code) { return VornQxtFormat::GetCodeIndex(code); }

// ---------------------------------------------------------------------------------------------
// Glyph sets: the steps shared with VornFontSprite3D
// ---------------------------------------------------------------------------------------------

VornHandle VornFontSprite::TakeRecord(VornHandleTable<VornFontSpriteRecord>& table)
{
    const VornHandle handle = table.AllocRecord();
    if (handle == VORN_INVALID_HANDLE) {
        LogFailure(" : 空きフォントスプライトが見つかりませんでした");
        return VORN_INVALID_HANDLE;
    }
    VornFontSpriteRecord& r = table[handle];
    for (uint32_t i = 0; i < VORN_FONT_SHEET_MAX; ++i) {
        r.sheets[i] = VORN_INVALID_HANDLE;
        r.sprites[i] = VORN_INVALID_HANDLE;
    }
    VornLog::Print(" : [ No.%u ] : { ", handle);
    return handle;
}

bool VornFontSprite::CheckFont(VornFontHandle font)
{
    if (font == VORN_INVALID_HANDLE) {
        LogFailure(" : 無効なフォントハンドルです");
        return false;
    }
    if (VornFont::GetSize(font) >= FONT_SIZE_LIMIT) {
        LogFailure(" : フォントサイズがでかすぎます");
        return false;
    }
    return true;
}

bool VornFontSprite::BuildGlyphSet(VornFontSpriteRecord& r, const char* text, uint8_t alpha, VornFontHandle font,
                                   uint8_t antialias)
{
    if (!text) text = "";
    const uint32_t size = VornFont::GetSize(font);

    // The sheet: the smallest power of two whose square holds a cell per byte of the text, within
    // the device's limits. Its lines are one cell high, so the sheet's height counts them.
    const uint32_t cell = size + 2;
    const uint64_t area = static_cast<uint64_t>(cell) * cell * strlen(text);
    uint32_t side = 1;
    while (static_cast<uint64_t>(side) * side < area && side < 0x8000u) side <<= 1;
    Vorn3DCaps caps;
    Vorn3D::GetCaps(&caps);
    r.sheetWidth = caps.maxTextureWidth ? std::min(side, caps.maxTextureWidth) : side;
    r.sheetHeight = caps.maxTextureHeight ? std::min(side, caps.maxTextureHeight) : side;
    r.fontSize = size;
    const uint32_t lines = r.sheetHeight / cell;

    auto* work = static_cast<VornFontGlyph*>(VornMemory::Alloc(VORN_FONT_CODE_SLOTS * sizeof(VornFontGlyph),
                                                               VornMemory::DEFAULT_TAG, __FILE__, __LINE__));
    auto* pens = static_cast<uint32_t*>(
        VornMemory::AllocZero(std::max(lines, 1u) * sizeof(uint32_t), VornMemory::DEFAULT_TAG, __FILE__, __LINE__));
    auto fail = [&](const char* message) {
        if (message) LogFailure(message);
        VornFont::SetDestination(font, VORN_INVALID_HANDLE);   // its sheets go with the record
        if (work) VornMemory::Free(work);
        if (pens) VornMemory::Free(pens);
        return false;
    };
    if (!work || !pens) return fail("フォント用バッファの生成に失敗");
    for (uint32_t i = 0; i < VORN_FONT_CODE_SLOTS; ++i) {
        memset(&work[i], 0, sizeof work[i]);
        work[i].sheet = 255;
        r.codeToGlyph[i] = VORN_FONT_NO_GLYPH;
    }

    auto newSheet = [&]() {
        const VornTextureHandle sheet = VornTexture::Create(r.sheetWidth, r.sheetHeight, SheetFormat(alpha));
        if (sheet == VORN_INVALID_HANDLE) return false;
        VornTexture::ColorFill(sheet, 0);
        r.sheets[r.sheetCount++] = sheet;
        memset(pens, 0, std::max(lines, 1u) * sizeof(uint32_t));
        return true;
    };
    if (!newSheet()) return fail(nullptr);

    uint32_t line = 0;
    for (const uint8_t* p = reinterpret_cast<const uint8_t*>(text); *p;) {
        uint16_t code;
        p += VornSystem::ReadSjisChar(p, &code);
        const uint16_t slot = VornQxtFormat::GetCodeIndex(code);
        if (slot == VORN_FONT_NO_GLYPH) continue;   // a code with no place in the table
        for (;;) {
            VornFont::SetDestination(font, r.sheets[r.sheetCount - 1]);
            VornFont::Begin(font);
            ABC abc;
            VornFont::GetCharMetrics(font, code, &abc);
            const uint32_t w = std::min<uint32_t>(abc.abcB + 2, 255);
            if (line >= lines || pens[line] + w >= r.sheetWidth) {
                VornFont::End(font);
                if (++line < lines) continue;
                if (r.sheetCount >= VORN_FONT_SHEET_MAX) {
                    LogTooManySheets();
                    return fail(nullptr);
                }
                if (!newSheet()) return fail(nullptr);
                line = 0;
                continue;
            }
            if (r.codeToGlyph[slot] == VORN_FONT_NO_GLYPH) {
                const int32_t x = static_cast<int32_t>(pens[line]), y = static_cast<int32_t>(line * cell);
                if (antialias)
                    VornFont::DrawCharAntialias(font, x + 1, y + 1, 0xFFFFFFFF, code);
                else
                    VornFont::DrawChar(font, x + 1, y + 1, 0xFFFFFFFF, code);
                VornFontGlyph& g = work[r.glyphCount];
                g.sheet = static_cast<uint8_t>(r.sheetCount - 1);
                g.leftBearing = ToByte(abc.abcA);
                g.cellWidth = static_cast<uint8_t>(w);
                g.rightBearing = ToByte(abc.abcC);
                g.left = static_cast<uint16_t>(x);
                g.top = static_cast<uint16_t>(y);
                g.right = static_cast<uint16_t>(x + w);
                g.bottom = static_cast<uint16_t>(y + cell);
                r.codeToGlyph[slot] = static_cast<uint16_t>(r.glyphCount++);
                pens[line] += w;
            }
            VornFont::End(font);
            break;
        }
    }

    if (r.glyphCount) {
        r.glyphs = static_cast<VornFontGlyph*>(VornMemory::Alloc(r.glyphCount * sizeof(VornFontGlyph),
                                                                 VornMemory::DEFAULT_TAG, __FILE__, __LINE__));
        if (!r.glyphs) return fail("フォント用バッファの生成に失敗");
        memcpy(r.glyphs, work, r.glyphCount * sizeof(VornFontGlyph));
    }
    VornMemory::Free(work);
    VornMemory::Free(pens);
    return true;
}

bool VornFontSprite::LoadGlyphSet(VornFontSpriteRecord& r, const void* data, uint32_t size, const char* sheetSource,
                                  uint8_t alpha)
{
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    VornQxtFormat::Header header;
    switch (VornQxtFormat::Check(bytes, size, &header)) {
    case VornQxtFormat::OK:
        break;
    case VornQxtFormat::NOT_QXT:
        LogFailure("ＱＸＴファイルではありません");
        return false;
    case VornQxtFormat::TOO_MANY_SHEETS:
        LogTooManySheets();
        return false;
    default:
        LogFailure("ＱＸＴファイルが壊れています");
        return false;
    }
    r.fontSize = header.fontSize;
    r.sheetCount = header.sheetCount;
    r.sheetWidth = header.sheetWidth;
    r.sheetHeight = header.sheetHeight;

    for (uint32_t i = 0; i < r.sheetCount && sheetSource; ++i) {
        const char* name = VornQxtFormat::GetSheetName(bytes, i);
        if (sheetSource[0] == '.') {
            char path[VORN_RECORD_NAME_SIZE];
            VornSystem::FormatText(path, sizeof path, "%s%s", name, sheetSource);
            r.sheets[i] = VornTexture::CreateFromFile(path, SheetFormat(alpha), 0);
        } else {
            r.sheets[i] = VornTexture::CreateFromQSG(sheetSource, name, SheetFormat(alpha));
        }
    }

    VornQxtFormat::ReadCodeTable(bytes, r.codeToGlyph);
    if (header.glyphCount) {
        r.glyphs = static_cast<VornFontGlyph*>(VornMemory::Alloc(header.glyphCount * sizeof(VornFontGlyph),
                                                                 VornMemory::DEFAULT_TAG, __FILE__, __LINE__));
        if (!r.glyphs) {
            LogFailure("フォント用バッファの生成に失敗");
            return false;
        }
        VornQxtFormat::ReadGlyphs(bytes, r.sheetCount, r.glyphs, header.glyphCount);
    }
    r.glyphCount = header.glyphCount;
    return true;
}

void* VornFontSprite::LoadGlyphFile(const char* name, uint32_t* size)
{
    VornLog::Print(" : [ %s ] : ", name ? name : "");
    void* data = nullptr;
    *size = 0;
    if (!name || !VornFile::Load(FILE_KIND_FONT, name, &data, size)) {
        LogFailure("ファイルの読み込みに失敗しました");
        return nullptr;
    }
    VornLog::LineBreak();
    return data;
}

void VornFontSprite::LogCreated(const VornFontSpriteRecord& r, bool loaded)
{
    if (loaded) {
        VornLog::Print(" } FONT COUNT [ %u ] : ", r.glyphCount);
        VornLog::StrongGreen("SHEET COUNT [ %u ] : ", r.sheetCount);
    } else {
        VornLog::Print(" } SHEET COUNT [ %u ] : ", r.sheetCount);
        VornLog::StrongGreen("Success");
    }
    VornLog::LineBreak();
}

// ---------------------------------------------------------------------------------------------
// Building and loading
// ---------------------------------------------------------------------------------------------

VornFontSpriteHandle VornFontSprite::Create(const char* text, uint8_t alpha, uint32_t capacity, VornFontHandle font,
                                            uint8_t sort, uint8_t antialias)
{
    VornLog::StrongBlue("VornFontSprite::Create");
    if (!CheckFont(font)) return VORN_INVALID_HANDLE;
    const VornFontSpriteHandle handle = TakeRecord(g_table);
    if (handle == VORN_INVALID_HANDLE) return handle;
    if (!BuildGlyphSet(g_table[handle], text, alpha, font, antialias)) return Fail(handle);
    return Finish(handle, capacity, sort, false);
}

VornFontSpriteHandle VornFontSprite::CreateFromMemory(const void* data, uint32_t size, const char* sheetSource,
                                                      uint8_t alpha, uint32_t capacity, uint8_t sort)
{
    VornLog::StrongBlue("VornFontSprite::CreateFromMemory");
    const VornFontSpriteHandle handle = TakeRecord(g_table);
    if (handle == VORN_INVALID_HANDLE) return handle;
    if (!LoadGlyphSet(g_table[handle], data, size, sheetSource, alpha)) return Fail(handle);
    return Finish(handle, capacity, sort, true);
}

VornFontSpriteHandle VornFontSprite::CreateFromFile(const char* name, const char* sheetSource, uint8_t alpha,
                                                    uint32_t capacity, uint8_t sort)
{
    VornLog::StrongBlue("VornFontSprite::CreateFromFile");
    uint32_t size = 0;
    void* data = LoadGlyphFile(name, &size);
    if (!data) return VORN_INVALID_HANDLE;
    const VornFontSpriteHandle handle = CreateFromMemory(data, size, sheetSource, alpha, capacity, sort);
    VornMemory::Free(data);
    return handle;
}

// ---------------------------------------------------------------------------------------------
// Drawing
// ---------------------------------------------------------------------------------------------

bool VornFontSprite::GetCharInfo(VornFontSpriteHandle handle, const char* character, uint32_t* leftBearing,
                                 uint32_t* cellWidth, uint32_t* rightBearing)
{
    const VornFontSpriteRecord* r = g_table.GetLive(handle);
    if (!r) return false;
    uint32_t bytes;
    const VornFontGlyph* g = CharGlyph(*r, character, &bytes);
    if (!g) return false;
    if (leftBearing) *leftBearing = g->leftBearing;
    if (cellWidth) *cellWidth = g->cellWidth;
    if (rightBearing) *rightBearing = g->rightBearing;
    return true;
}

void VornFontSprite::GetFontSize(VornFontSpriteHandle handle, uint32_t* out)
{
    if (out) *out = g_table.GetField(handle, &VornFontSpriteRecord::fontSize, 0xFFFFFFFFu);
}

void VornFontSprite::ResetBuffer(VornFontSpriteHandle handle)
{
    if (const VornFontSpriteRecord* r = g_table.GetLive(handle))
        for (uint32_t i = 0; i < r->sheetCount; ++i) VornSprite::ResetBuffer(r->sprites[i]);
}

void VornFontSprite::UpdateBuffer(VornFontSpriteHandle handle)
{
    if (const VornFontSpriteRecord* r = g_table.GetLive(handle))
        for (uint32_t i = 0; i < r->sheetCount; ++i) VornSprite::UpdateBuffer(r->sprites[i]);
}

void VornFontSprite::Rendering(VornFontSpriteHandle handle)
{
    if (const VornFontSpriteRecord* r = g_table.GetLive(handle))
        for (uint32_t i = 0; i < r->sheetCount; ++i) VornSprite::Rendering(r->sprites[i]);
}

void VornFontSprite::DrawString(VornFontSpriteHandle handle, const char* text, int32_t x, int32_t y, float z,
                                uint32_t colour)
{
    if (const VornFontSpriteRecord* r = g_table.GetLive(handle)) Layout(*r, text, x, y, z, colour, false, true);
}

void VornFontSprite::DrawStringProportional(VornFontSpriteHandle handle, const char* text, int32_t x, int32_t y,
                                            float z, uint32_t colour)
{
    if (const VornFontSpriteRecord* r = g_table.GetLive(handle)) Layout(*r, text, x, y, z, colour, true, true);
}

VornFontPen VornFontSprite::GetStringEnd(VornFontSpriteHandle handle, const char* text, int32_t x, int32_t y)
{
    const VornFontSpriteRecord* r = g_table.GetLive(handle);
    return r ? Layout(*r, text, x, y, 0.0f, 0, false, false) : VornFontPen{x, y};
}

VornFontPen VornFontSprite::GetStringEndProportional(VornFontSpriteHandle handle, const char* text, int32_t x,
                                                     int32_t y)
{
    const VornFontSpriteRecord* r = g_table.GetLive(handle);
    return r ? Layout(*r, text, x, y, 0.0f, 0, true, false) : VornFontPen{x, y};
}

uint32_t VornFontSprite::DrawChar(VornFontSpriteHandle handle, const char* character, const VornRect* dst, float z,
                                  uint32_t colour)
{
    const VornFontSpriteRecord* r = g_table.GetLive(handle);
    uint32_t bytes = 0;
    const VornFontGlyph* g = r ? CharGlyph(*r, character, &bytes) : nullptr;
    if (!g) return 0;
    const VornRect src = CellSource(*g);
    VornSprite::DrawSquare(SheetSprite(*r, *g), dst, z, &src, colour, 1);
    return bytes;
}

uint32_t VornFontSprite::DrawCharRotate(VornFontSpriteHandle handle, const char* character, const VornRect* dst,
                                        float z, uint32_t colour, VornAngle angle)
{
    const VornFontSpriteRecord* r = g_table.GetLive(handle);
    uint32_t bytes = 0;
    const VornFontGlyph* g = r ? CharGlyph(*r, character, &bytes) : nullptr;
    if (!g) return 0;
    const VornRect src = CellSource(*g);
    VornSprite::DrawSquareRotate(SheetSprite(*r, *g), dst, z, &src, colour, angle, 1);
    return bytes;
}

uint32_t VornFontSprite::DrawCharRotateXYZ(VornFontSpriteHandle handle, const char* character, const VornRect* dst,
                                           float z, uint32_t colour, VornAngle ax, VornAngle ay, VornAngle az)
{
    const VornFontSpriteRecord* r = g_table.GetLive(handle);
    uint32_t bytes = 0;
    const VornFontGlyph* g = r ? CharGlyph(*r, character, &bytes) : nullptr;
    if (!g) return 0;
    const VornRect src = CellSource(*g);
    VornSprite::DrawSquareRotateXYZ(SheetSprite(*r, *g), dst, z, &src, colour, ax, ay, az, 1);
    return bytes;
}
