#include "VornFont.h"
#include "Vorn.h"
#include "Vorn3D.h"
#include "VornLog.h"
#include "VornMemory.h"
#include "VornSystem.h"
#include <algorithm>
#include <cstdarg>
#include <cstring>

namespace {

void DestroyFont(VornFontRecord& r)
{
    if (r.dc) {
        SelectObject(r.dc, r.previousObject);
        ReleaseDC(Vorn::GetWindowHandle(), r.dc);
    }
    if (r.font) DeleteObject(r.font);
    if (r.glyphBuffer) VornMemory::Free(r.glyphBuffer);
}

VornHandleTable<VornFontRecord> g_table(DestroyFont, "Font Destroy [ No.%u ]");

struct CoverageTable {
    uint8_t alpha[VornFont::COVERAGE_LEVELS];
    constexpr CoverageTable() : alpha()
    {
        for (uint32_t i = 0; i < VornFont::COVERAGE_LEVELS; ++i) alpha[i] = static_cast<uint8_t>(i * 255 / 64);
    }
};
constexpr CoverageTable kCoverage;

uint8_t Coverage(uint8_t value) { return kCoverage.alpha[value < 64 ? value : 64]; }

// The locked surface a draw writes into.
struct Target {
    uint8_t* bits;
    int32_t pitch;
    D3DFORMAT format;
    uint32_t width, height;
};

void UnlockTarget(const VornFontRecord& r)
{
    if (r.destination != VORN_INVALID_HANDLE)
        VornTexture::Unlock(r.destination);
    else
        Vorn3D::UnlockBackBuffer();
}

// A destination someone else holds locked hands out no bits: the draw does nothing and gives
// back only its own nested lock.
bool LockTarget(const VornFontRecord& r, Target* t)
{
    void* bits = nullptr;
    const bool locked = r.destination != VORN_INVALID_HANDLE
                            ? VornTexture::Lock(r.destination, &bits, &t->pitch, &t->format, &t->width, &t->height)
                            : Vorn3D::LockBackBuffer(&bits, &t->pitch, &t->format, &t->width, &t->height);
    t->bits = static_cast<uint8_t*>(bits);
    if (locked && !bits) UnlockTarget(r);
    return locked && bits;
}

bool HasAlphaBits(D3DFORMAT f)
{
    return f == D3DFMT_A8R8G8B8 || f == D3DFMT_X8R8G8B8 || f == D3DFMT_A4R4G4B4 || f == D3DFMT_X4R4G4B4;
}

// Fetches a glyph into the record's buffer and writes it with its top-left at the pen (the origin
// line at pen y + ascent). Glyphs without ink, or whose rows do not fit the bytes GDI gave, are
// skipped.
void PlaceGlyph(VornFontRecord& r, const Target& t, int32_t penX, int32_t penY, uint32_t colour, uint16_t code,
                bool antialias)
{
    GLYPHMETRICS gm;
    const uint32_t bytes = VornFont::GetGlyph(r.dc, code, &gm, r.glyphBuffer, r.glyphBufferSize, antialias);
    if (bytes == 0 || gm.gmBlackBoxX == 0 || gm.gmBlackBoxY == 0) return;
    const uint32_t pitch = (bytes / gm.gmBlackBoxY) & ~3u;
    const uint32_t rowBytes = antialias ? gm.gmBlackBoxX : (gm.gmBlackBoxX + 7) / 8;
    if (pitch < rowBytes) return;

    VornFontGlyphBlit glyph = {0, 0, static_cast<int32_t>(gm.gmBlackBoxX), static_cast<int32_t>(gm.gmBlackBoxY),
                               static_cast<int32_t>(pitch), r.glyphBuffer};
    VornFontGlyphBlit dst;
    dst.left = penX;
    dst.top = penY + r.metrics.tmAscent - gm.gmptGlyphOrigin.y;
    dst.right = dst.left + glyph.right;
    dst.bottom = dst.top + glyph.bottom;
    dst.pitch = t.pitch;
    dst.bits = t.bits;
    if (!VornFont::ClipGlyph(&dst, &glyph, static_cast<int32_t>(t.width), static_cast<int32_t>(t.height))) return;

    switch (t.format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
        if (antialias)
            VornFont::WriteGlyphAntialias8888(dst, glyph, colour);
        else
            VornFont::WriteGlyph8888(dst, glyph, colour);
        break;
    case D3DFMT_R5G6B5:
        if (!antialias) VornFont::WriteGlyph565(dst, glyph, colour);
        break;
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
        if (!antialias) VornFont::WriteGlyph1555(dst, glyph, colour);
        break;
    case D3DFMT_A4R4G4B4:
    case D3DFMT_X4R4G4B4:
        if (antialias)
            VornFont::WriteGlyphAntialias4444(dst, glyph, colour);
        else
            VornFont::WriteGlyph4444(dst, glyph, colour);
        break;
    default:
        break;
    }
}

void CharMetrics(const VornFontRecord& r, uint16_t code, ABC* out)
{
    ABC abc = {0, 0, 0};
    if (!GetCharABCWidthsA(r.dc, code, code, &abc)) abc = {0, 0, 0};
    static const MAT2 kIdentity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    GLYPHMETRICS gm;
    if (GetGlyphOutlineA(r.dc, code, GGO_GRAY8_BITMAP, &gm, 0, nullptr, &kIdentity) != GDI_ERROR)
        abc.abcB = std::max<UINT>(abc.abcB, gm.gmBlackBoxX);
    *out = abc;
}

// Lays text out from (x, y), drawing into t when given; returns the final pen x minus x.
int32_t Layout(VornFontRecord& r, const Target* t, int32_t x, int32_t y, uint32_t colour, const char* text,
               bool antialias, bool packed)
{
    const int32_t h = r.metrics.tmHeight;
    int32_t penX = x, penY = y;
    for (const uint8_t* p = reinterpret_cast<const uint8_t*>(text); *p;) {
        uint16_t code;
        p += VornSystem::ReadSjisChar(p, &code);
        ABC abc;
        CharMetrics(r, code, &abc);
        if (!packed) penX += abc.abcA;
        switch (code) {
        case 10:
            penX = x;
            penY += h;
            break;
        case 9:
            penX += 4 * h;
            break;
        case 8:
            penX -= h;
            break;
        case 2:
            penX += h / 2;
            break;
        case 0x8140:
            penX += h;
            break;
        default:
            if (t) PlaceGlyph(r, *t, penX, penY, colour, code, antialias);
            penX += static_cast<int32_t>(abc.abcB) + (packed ? 0 : abc.abcC);
            break;
        }
    }
    return penX - x;
}

uint32_t TextV(VornFontHandle handle, int32_t x, int32_t y, uint32_t colour, bool antialias, bool packed,
               const char* format, va_list args)
{
    VornFontRecord* r = g_table.GetLive(handle);
    if (!r || !format) return 0;
    char text[VornFont::TEXT_BUFFER_SIZE] = {};
    VornSystem::FormatTextV(text, sizeof text, format, args);
    Target t;
    if (!LockTarget(*r, &t)) return 0;
    const int32_t advance = Layout(*r, &t, x, y, colour, text, antialias && r->destinationHasAlpha, packed);
    UnlockTarget(*r);
    return static_cast<uint32_t>(advance);
}

void Char(VornFontHandle handle, int32_t x, int32_t y, uint32_t colour, uint16_t code, bool antialias)
{
    VornFontRecord* r = g_table.GetLive(handle);
    if (!r) return;
    Target t;
    if (!LockTarget(*r, &t)) return;
    PlaceGlyph(*r, t, x, y, colour, code, antialias && r->destinationHasAlpha);
    UnlockTarget(*r);
}

// The rows and columns a writer walks: the blocks agree after clipping; the smaller wins anyway.
int32_t Columns(const VornFontGlyphBlit& dst, const VornFontGlyphBlit& glyph)
{
    return std::min(dst.right - dst.left, glyph.right - glyph.left);
}
int32_t Rows(const VornFontGlyphBlit& dst, const VornFontGlyphBlit& glyph)
{
    return std::min(dst.bottom - dst.top, glyph.bottom - glyph.top);
}

template <typename Pixel>
Pixel* DestinationRow(const VornFontGlyphBlit& dst, int32_t row)
{
    return reinterpret_cast<Pixel*>(dst.bits + static_cast<ptrdiff_t>(dst.top + row) * dst.pitch) + dst.left;
}

const uint8_t* GlyphRow(const VornFontGlyphBlit& glyph, int32_t row)
{
    return glyph.bits + static_cast<ptrdiff_t>(glyph.top + row) * glyph.pitch;
}

template <typename Pixel>
void Write1Bit(const VornFontGlyphBlit& dst, const VornFontGlyphBlit& glyph, Pixel value)
{
    const int32_t columns = Columns(dst, glyph), rows = Rows(dst, glyph);
    for (int32_t row = 0; row < rows; ++row) {
        const uint8_t* in = GlyphRow(glyph, row);
        Pixel* out = DestinationRow<Pixel>(dst, row);
        for (int32_t col = 0; col < columns; ++col) {
            const int32_t c = glyph.left + col;
            if (in[c >> 3] & (0x80 >> (c & 7))) out[col] = value;
        }
    }
}

template <typename Pixel, typename Make>
void WriteCoverage(const VornFontGlyphBlit& dst, const VornFontGlyphBlit& glyph, Make make)
{
    const int32_t columns = Columns(dst, glyph), rows = Rows(dst, glyph);
    for (int32_t row = 0; row < rows; ++row) {
        const uint8_t* in = GlyphRow(glyph, row) + glyph.left;
        Pixel* out = DestinationRow<Pixel>(dst, row);
        for (int32_t col = 0; col < columns; ++col) out[col] = make(Coverage(in[col]));
    }
}

uint32_t Red(uint32_t c) { return (c >> 16) & 0xFF; }
uint32_t Green(uint32_t c) { return (c >> 8) & 0xFF; }
uint32_t Blue(uint32_t c) { return c & 0xFF; }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Table
// ---------------------------------------------------------------------------------------------

void VornFont::SetMax(uint32_t count) { g_table.SetMax(count); }

bool VornFont::Initialize()
{
    return g_table.InitializeLogged("VornFontクラスの初期化", "フォント", __FILE__, __LINE__);
}

void VornFont::Finalize()
{
    VornLog::Title("VornFontクラスの解放");
    g_table.Finalize();
}

VornFontHandle VornFont::Create(const char* face, uint32_t size, uint8_t italic, uint8_t bold)
{
    VornLog::StrongBlue("VornFont::Create");
    const VornFontHandle handle = g_table.AllocRecord();
    if (handle == VORN_INVALID_HANDLE) {
        VornLog::StrongRed(" : 空きフォントが見つかりませんでした");
        VornLog::LineBreak();
        return VORN_INVALID_HANDLE;
    }
    VornLog::Print(" : [ No.%u ] : ", handle);
    VornFontRecord& r = *g_table.Get(handle);
    r.destination = VORN_INVALID_HANDLE;
    r.size = size;

    // The glyph buffer first: (2 x size)^2 bytes, refused when that does not fit a u32.
    const uint64_t bytes = static_cast<uint64_t>(size) * 2 * size * 2;
    if (bytes > 0) {
        if (bytes <= 0x7FFFFFFFu)
            r.glyphBuffer = static_cast<uint8_t*>(
                VornMemory::Alloc(static_cast<uint32_t>(bytes), VornMemory::DEFAULT_TAG, __FILE__, __LINE__));
        if (!r.glyphBuffer) {
            VornLog::StrongRed("フォントバッファ用メモリの確保に失敗");
            VornLog::LineBreak();
            g_table.ReleaseRecord(handle);
            return VORN_INVALID_HANDLE;
        }
        r.glyphBufferSize = static_cast<uint32_t>(bytes);
    }

    r.font = CreateFontA(static_cast<int>(size), 0, 0, 0, bold ? 1000 : FW_DONTCARE, italic ? TRUE : FALSE, FALSE,
                         FALSE, SHIFTJIS_CHARSET, OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY,
                         FIXED_PITCH | FF_MODERN, face);
    VornLog::Print(" FONT FACE [ %s ] : FONT SIZE [ %u ] : ", face ? face : "", size);
    if (!r.font) {
        VornLog::StrongRed("フォントの生成に失敗");
        VornLog::LineBreak();
        g_table.ReleaseRecord(handle);
        return VORN_INVALID_HANDLE;
    }
    VornLog::StrongGreen("Success");
    VornLog::LineBreak();
    return handle;
}

void VornFont::Release(VornFontHandle handle)
{
    if (!g_table.ReleaseRecord(handle)) return;
    VornLog::StrongRed("VornFont::Release");
    VornLog::Print(" : [ No.%u ]", handle);
    VornLog::LineBreak();
}

uint32_t VornFont::GetSize(VornFontHandle handle) { return g_table.GetField(handle, &VornFontRecord::size, 0u); }

void VornFont::SetDestination(VornFontHandle handle, VornTextureHandle texture)
{
    if (VornFontRecord* r = g_table.GetLive(handle)) r->destination = texture;
}

VornTextureHandle VornFont::GetDestination(VornFontHandle handle)
{
    return g_table.GetField(handle, &VornFontRecord::destination, VORN_INVALID_HANDLE);
}

const VornFontRecord* VornFont::GetRecord(VornFontHandle handle) { return g_table.GetLive(handle); }

void VornFont::Begin(VornFontHandle handle)
{
    VornFontRecord* r = g_table.GetLive(handle);
    if (!r) return;
    if (r->dc) End(handle);
    r->dc = GetDC(Vorn::GetWindowHandle());
    if (!r->dc) return;
    r->previousObject = SelectObject(r->dc, r->font);
    if (!GetTextMetricsA(r->dc, &r->metrics)) memset(&r->metrics, 0, sizeof r->metrics);
    r->destinationHasAlpha =
        r->destination != VORN_INVALID_HANDLE && HasAlphaBits(VornTexture::GetFormat(r->destination)) ? 1 : 0;
}

void VornFont::End(VornFontHandle handle)
{
    VornFontRecord* r = g_table.GetLive(handle);
    if (!r || !r->dc) return;
    SelectObject(r->dc, r->previousObject);
    ReleaseDC(Vorn::GetWindowHandle(), r->dc);
    r->dc = nullptr;
    r->previousObject = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Glyphs and text
// ---------------------------------------------------------------------------------------------

uint32_t VornFont::GetGlyph(HDC dc, uint16_t code, GLYPHMETRICS* metrics, uint8_t* buffer, uint32_t bufferSize,
                            uint8_t antialias)
{
    static const MAT2 kIdentity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    GLYPHMETRICS local;
    if (!metrics) metrics = &local;
    const UINT format = antialias ? GGO_GRAY8_BITMAP : GGO_BITMAP;
    const DWORD size = GetGlyphOutlineA(dc, code, format, metrics, 0, nullptr, &kIdentity);
    if (size == GDI_ERROR || size == 0 || !buffer || size > bufferSize) return 0;
    if (GetGlyphOutlineA(dc, code, format, metrics, size, buffer, &kIdentity) == GDI_ERROR) return 0;
    return size;
}

void VornFont::DrawChar(VornFontHandle handle, int32_t x, int32_t y, uint32_t colour, uint16_t code)
{
    Char(handle, x, y, colour, code, false);
}

void VornFont::DrawCharAntialias(VornFontHandle handle, int32_t x, int32_t y, uint32_t colour, uint16_t code)
{
    Char(handle, x, y, colour, code, true);
}

uint32_t VornFont::DrawText(VornFontHandle handle, int32_t x, int32_t y, uint32_t colour, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const uint32_t advance = TextV(handle, x, y, colour, false, false, format, args);
    va_end(args);
    return advance;
}

uint32_t VornFont::DrawTextAntialias(VornFontHandle handle, int32_t x, int32_t y, uint32_t colour,
                                     const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const uint32_t advance = TextV(handle, x, y, colour, true, false, format, args);
    va_end(args);
    return advance;
}

uint32_t VornFont::DrawTextPacked(VornFontHandle handle, int32_t x, int32_t y, uint32_t colour,
                                  const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const uint32_t advance = TextV(handle, x, y, colour, false, true, format, args);
    va_end(args);
    return advance;
}

uint32_t VornFont::DrawTextPackedAntialias(VornFontHandle handle, int32_t x, int32_t y, uint32_t colour,
                                           const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const uint32_t advance = TextV(handle, x, y, colour, true, true, format, args);
    va_end(args);
    return advance;
}

void VornFont::GetCharMetrics(VornFontHandle handle, uint16_t code, ABC* out)
{
    const VornFontRecord* r = g_table.GetLive(handle);
    if (!out) return;
    if (!r) {
        *out = {0, 0, 0};
        return;
    }
    CharMetrics(*r, code, out);
}

uint32_t VornFont::GetTextWidth(VornFontHandle handle, const char* format, ...)
{
    VornFontRecord* r = g_table.GetLive(handle);
    if (!r || !format) return 0;
    char text[TEXT_BUFFER_SIZE] = {};
    va_list args;
    va_start(args, format);
    VornSystem::FormatTextV(text, sizeof text, format, args);
    va_end(args);
    return static_cast<uint32_t>(Layout(*r, nullptr, 0, 0, 0, text, false, false));
}

// ---------------------------------------------------------------------------------------------
// Pixel writers
// ---------------------------------------------------------------------------------------------

const uint8_t* VornFont::GetCoverageTable() { return kCoverage.alpha; }

bool VornFont::ClipGlyph(VornFontGlyphBlit* dst, VornFontGlyphBlit* glyph, int32_t width, int32_t height)
{
    if (dst->left < 0) {
        glyph->left -= dst->left;
        dst->left = 0;
    }
    if (dst->right > width) {
        glyph->right -= dst->right - width;
        dst->right = width;
    }
    if (dst->top < 0) {
        glyph->top -= dst->top;
        dst->top = 0;
    }
    if (dst->bottom > height) {
        glyph->bottom -= dst->bottom - height;
        dst->bottom = height;
    }
    return dst->right > dst->left && dst->bottom > dst->top;
}

void VornFont::WriteGlyph8888(const VornFontGlyphBlit& dst, const VornFontGlyphBlit& glyph, uint32_t colour)
{
    Write1Bit<uint32_t>(dst, glyph, colour | 0xFF000000u);
}

void VornFont::WriteGlyph565(const VornFontGlyphBlit& dst, const VornFontGlyphBlit& glyph, uint32_t colour)
{
    const uint16_t pixel = static_cast<uint16_t>((Red(colour) >> 3) << 11 | (Green(colour) >> 2) << 5 | Blue(colour) >> 3);
    Write1Bit<uint16_t>(dst, glyph, pixel);
}

void VornFont::WriteGlyph1555(const VornFontGlyphBlit& dst, const VornFontGlyphBlit& glyph, uint32_t colour)
{
    const uint16_t pixel =
        static_cast<uint16_t>(0x8000 | (Red(colour) >> 3) << 10 | (Green(colour) >> 3) << 5 | Blue(colour) >> 3);
    Write1Bit<uint16_t>(dst, glyph, pixel);
}

void VornFont::WriteGlyph4444(const VornFontGlyphBlit& dst, const VornFontGlyphBlit& glyph, uint32_t colour)
{
    const uint16_t pixel =
        static_cast<uint16_t>(0xF000 | (Red(colour) >> 4) << 8 | (Green(colour) >> 4) << 4 | Blue(colour) >> 4);
    Write1Bit<uint16_t>(dst, glyph, pixel);
}

void VornFont::WriteGlyphAntialias8888(const VornFontGlyphBlit& dst, const VornFontGlyphBlit& glyph, uint32_t colour)
{
    const uint32_t rgb = colour & 0x00FFFFFFu;
    WriteCoverage<uint32_t>(dst, glyph, [rgb](uint8_t alpha) { return rgb | static_cast<uint32_t>(alpha) << 24; });
}

void VornFont::WriteGlyphAntialias4444(const VornFontGlyphBlit& dst, const VornFontGlyphBlit& glyph, uint32_t colour)
{
    const uint16_t rgb = static_cast<uint16_t>((Red(colour) >> 4) << 8 | (Green(colour) >> 4) << 4 | Blue(colour) >> 4);
    WriteCoverage<uint16_t>(dst, glyph,
                            [rgb](uint8_t alpha) { return static_cast<uint16_t>(rgb | (alpha >> 4) << 12); });
}
