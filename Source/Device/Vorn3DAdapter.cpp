#include "Vorn3DAdapter.h"
#include <d3dx9.h>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>

const D3DFORMAT Vorn3DAdapter::kBackBufferCandidates[6] = {
    D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_A2B10G10R10, D3DFMT_R5G6B5, D3DFMT_A1R5G5B5, D3DFMT_X1R5G5B5,
};

const D3DFORMAT Vorn3DAdapter::kTextureCandidates[58] = {
    D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_R8G8B8, D3DFMT_A8R8G8B8,
    D3DFMT_X8R8G8B8, D3DFMT_R3G3B2, D3DFMT_A8, D3DFMT_A8R3G3B2, D3DFMT_X4R4G4B4, D3DFMT_A2B10G10R10,
    D3DFMT_A8B8G8R8, D3DFMT_X8B8G8R8, D3DFMT_G16R16, D3DFMT_A2R10G10B10, D3DFMT_A16B16G16R16, D3DFMT_A8P8,
    D3DFMT_P8, D3DFMT_L8, D3DFMT_L16, D3DFMT_A8L8, D3DFMT_A4L4, D3DFMT_V8U8, D3DFMT_Q8W8V8U8, D3DFMT_V16U16,
    D3DFMT_Q16W16V16U16, D3DFMT_CxV8U8, D3DFMT_L6V5U5, D3DFMT_X8L8V8U8, D3DFMT_A2W10V10U10, D3DFMT_G8R8_G8B8,
    D3DFMT_R8G8_B8G8, D3DFMT_DXT5, D3DFMT_DXT4, D3DFMT_DXT3, D3DFMT_DXT2, D3DFMT_DXT1, D3DFMT_UYVY, D3DFMT_YUY2,
    D3DFMT_D16_LOCKABLE, D3DFMT_D32, D3DFMT_D15S1, D3DFMT_D24S8, D3DFMT_D24X8, D3DFMT_D24X4S4,
    D3DFMT_D32F_LOCKABLE, D3DFMT_D24FS8, D3DFMT_D16, D3DFMT_VERTEXDATA, D3DFMT_INDEX16, D3DFMT_INDEX32,
    D3DFMT_R16F, D3DFMT_G16R16F, D3DFMT_A16B16G16R16F, D3DFMT_R32F, D3DFMT_G32R32F, D3DFMT_A32B32G32R32F,
};

const D3DFORMAT Vorn3DAdapter::kDepthCandidates[7] = {
    D3DFMT_D16, D3DFMT_D32, D3DFMT_D24S8, D3DFMT_D24X8, D3DFMT_D24X4S4, D3DFMT_D24FS8, D3DFMT_D15S1,
};

const Vorn3DDeviceRow Vorn3DAdapter::kDeviceRows[VORN3D_DEVICE_ROWS] = {
    {D3DDEVTYPE_HAL, D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_PUREDEVICE,
     "　　　Direct3Dデバイスを ピュアデバイス で生成"},
    {D3DDEVTYPE_HAL, D3DCREATE_HARDWARE_VERTEXPROCESSING, "　　　Direct3Dデバイスを ハードウェアＴｎＬ で生成"},
    {D3DDEVTYPE_HAL, D3DCREATE_MIXED_VERTEXPROCESSING,
     "　　　Direct3Dデバイスを ハード＆ソフトウェアＴｎＬ で生成"},
    {D3DDEVTYPE_HAL, D3DCREATE_SOFTWARE_VERTEXPROCESSING, "　　　Direct3Dデバイスを ソフトウェアＴｎＬ で生成"},
    {D3DDEVTYPE_REF, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
     "　　　Direct3Dデバイスを リファレンスラスタライザー で生成"},
};

// ---------------------------------------------------------------------------------------------
// Capabilities and their report

namespace {

void Emit(Vorn3DLogSink sink, void* context, Vorn3DLogKind kind, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 4, 5)))
#endif
    ;

void Emit(Vorn3DLogSink sink, void* context, Vorn3DLogKind kind, const char* format, ...)
{
    if (!sink) return;
    char text[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    sink(context, kind, text);
}

enum CapsLineKind { CAPS_FLAG, CAPS_FLAG_INVERTED, CAPS_U32, CAPS_F32, CAPS_VERSION };

// One field of Vorn3DCaps: where it comes from in D3DCAPS9 and how the report writes it.
struct CapsLine {
    const char* group;  // strong title written before the line, or null
    CapsLineKind kind;
    size_t offset;      // in Vorn3DCaps
    size_t source;      // in D3DCAPS9
    DWORD bit;          // for flags: the bit of the source word
    const char* format; // the report line, or null for none
};

#define CAPS(group, kind, field, source, bit, format) \
    {group, kind, offsetof(Vorn3DCaps, field), offsetof(D3DCAPS9, source), bit, format}

// The report in its order (the vertex-shader constant count comes before the two shader versions).
const CapsLine kCapsLines[] = {
    CAPS(nullptr, CAPS_U32, deviceType, DeviceType, 0, nullptr),
    CAPS("　デバイス能力", CAPS_FLAG, pureDevice, DevCaps, D3DDEVCAPS_PUREDEVICE, "　　　[ %s ] ピュアデバイス"),
    CAPS(nullptr, CAPS_FLAG, hwTransformAndLight, DevCaps, D3DDEVCAPS_HWTRANSFORMANDLIGHT, "　　　[ %s ] ハードウェアＴｎＬ"),
    CAPS(nullptr, CAPS_FLAG, hwRasterization, DevCaps, D3DDEVCAPS_HWRASTERIZATION, "　　　[ %s ] ハードウェアラスタライズ"),
    CAPS(nullptr, CAPS_FLAG, anisotropy, RasterCaps, D3DPRASTERCAPS_ANISOTROPY, "　　　[ %s ] 異方性フィルタリング"),
    CAPS(nullptr, CAPS_FLAG, dither, RasterCaps, D3DPRASTERCAPS_DITHER, "　　　[ %s ] ディザリング"),
    CAPS(nullptr, CAPS_FLAG, depthBias, RasterCaps, D3DPRASTERCAPS_DEPTHBIAS, "　　　[ %s ] 深度バイアス"),
    CAPS(nullptr, CAPS_FLAG, wBuffer, RasterCaps, D3DPRASTERCAPS_WBUFFER, "　　　[ %s ] Ｗバッファ"),
    CAPS(nullptr, CAPS_FLAG, autoGenMipmap, Caps2, D3DCAPS2_CANAUTOGENMIPMAP, "　　　[ %s ] ミップマップ自動生成"),
    CAPS("　深度テスト能力", CAPS_FLAG, zCmpAlways, ZCmpCaps, D3DPCMPCAPS_ALWAYS, "　　　[ %s ] 深度テスト ALWAYS"),
    CAPS(nullptr, CAPS_FLAG, zCmpEqual, ZCmpCaps, D3DPCMPCAPS_EQUAL, "　　　[ %s ] 深度テスト EQUAL"),
    CAPS(nullptr, CAPS_FLAG, zCmpGreater, ZCmpCaps, D3DPCMPCAPS_GREATER, "　　　[ %s ] 深度テスト GREATER"),
    CAPS(nullptr, CAPS_FLAG, zCmpGreaterEqual, ZCmpCaps, D3DPCMPCAPS_GREATEREQUAL, "　　　[ %s ] 深度テスト GREATER EQUA"),
    CAPS(nullptr, CAPS_FLAG, zCmpLess, ZCmpCaps, D3DPCMPCAPS_LESS, "　　　[ %s ] 深度テスト LESS"),
    CAPS(nullptr, CAPS_FLAG, zCmpLessEqual, ZCmpCaps, D3DPCMPCAPS_LESSEQUAL, "　　　[ %s ] 深度テスト LESS EQUAL"),
    CAPS(nullptr, CAPS_FLAG, zCmpNever, ZCmpCaps, D3DPCMPCAPS_NEVER, "　　　[ %s ] 深度テスト NEVER"),
    CAPS(nullptr, CAPS_FLAG, zCmpNotEqual, ZCmpCaps, D3DPCMPCAPS_NOTEQUAL, "　　　[ %s ] 深度テスト NOT EQUAL"),
    CAPS("　ソースブレンド能力", CAPS_FLAG, srcBlendFactor, SrcBlendCaps, D3DPBLENDCAPS_BLENDFACTOR, "　　　[ %s ] ソースブレンド BLEND FACTOR"),
    CAPS(nullptr, CAPS_FLAG, srcBothInvSrcAlpha, SrcBlendCaps, D3DPBLENDCAPS_BOTHINVSRCALPHA, "　　　[ %s ] ソースブレンド BOTH INVSRC"),
    CAPS(nullptr, CAPS_FLAG, srcBothSrcAlpha, SrcBlendCaps, D3DPBLENDCAPS_BOTHSRCALPHA, "　　　[ %s ] ソースブレンド BOTH SRC"),
    CAPS(nullptr, CAPS_FLAG, srcDestAlpha, SrcBlendCaps, D3DPBLENDCAPS_DESTALPHA, "　　　[ %s ] ソースブレンド DEST ALPHA"),
    CAPS(nullptr, CAPS_FLAG, srcDestColor, SrcBlendCaps, D3DPBLENDCAPS_DESTCOLOR, "　　　[ %s ] ソースブレンド DEST COLOR"),
    CAPS(nullptr, CAPS_FLAG, srcInvDestAlpha, SrcBlendCaps, D3DPBLENDCAPS_INVDESTALPHA, "　　　[ %s ] ソースブレンド INV DEST ALPHA"),
    CAPS(nullptr, CAPS_FLAG, srcInvDestColor, SrcBlendCaps, D3DPBLENDCAPS_INVDESTCOLOR, "　　　[ %s ] ソースブレンド INV DEST COLOR"),
    CAPS(nullptr, CAPS_FLAG, srcInvSrcAlpha, SrcBlendCaps, D3DPBLENDCAPS_INVSRCALPHA, "　　　[ %s ] ソースブレンド INV SRC ALPHA"),
    CAPS(nullptr, CAPS_FLAG, srcInvSrcColor, SrcBlendCaps, D3DPBLENDCAPS_INVSRCCOLOR, "　　　[ %s ] ソースブレンド INV SRC COLOR"),
    CAPS(nullptr, CAPS_FLAG, srcOne, SrcBlendCaps, D3DPBLENDCAPS_ONE, "　　　[ %s ] ソースブレンド ONE"),
    CAPS(nullptr, CAPS_FLAG, srcSrcAlpha, SrcBlendCaps, D3DPBLENDCAPS_SRCALPHA, "　　　[ %s ] ソースブレンド SRC ALPHA"),
    CAPS(nullptr, CAPS_FLAG, srcSrcAlphaSat, SrcBlendCaps, D3DPBLENDCAPS_SRCALPHASAT, "　　　[ %s ] ソースブレンド SRC ALPHA SAT"),
    CAPS(nullptr, CAPS_FLAG, srcSrcColor, SrcBlendCaps, D3DPBLENDCAPS_SRCCOLOR, "　　　[ %s ] ソースブレンド SRC COLOR"),
    CAPS(nullptr, CAPS_FLAG, srcZero, SrcBlendCaps, D3DPBLENDCAPS_ZERO, "　　　[ %s ] ソースブレンド ZERO"),
    CAPS("　デストブレンド能力", CAPS_FLAG, destBlendFactor, DestBlendCaps, D3DPBLENDCAPS_BLENDFACTOR, "　　　[ %s ] デストブレンド BLEND FACTOR"),
    CAPS(nullptr, CAPS_FLAG, destBothInvSrcAlpha, DestBlendCaps, D3DPBLENDCAPS_BOTHINVSRCALPHA, "　　　[ %s ] デストブレンド BOTH INVSRC"),
    CAPS(nullptr, CAPS_FLAG, destBothSrcAlpha, DestBlendCaps, D3DPBLENDCAPS_BOTHSRCALPHA, "　　　[ %s ] デストブレンド BOTH SRC"),
    CAPS(nullptr, CAPS_FLAG, destDestAlpha, DestBlendCaps, D3DPBLENDCAPS_DESTALPHA, "　　　[ %s ] デストブレンド DEST ALPHA"),
    CAPS(nullptr, CAPS_FLAG, destDestColor, DestBlendCaps, D3DPBLENDCAPS_DESTCOLOR, "　　　[ %s ] デストブレンド DEST COLOR"),
    CAPS(nullptr, CAPS_FLAG, destInvDestAlpha, DestBlendCaps, D3DPBLENDCAPS_INVDESTALPHA, "　　　[ %s ] デストブレンド INV DEST ALPHA"),
    CAPS(nullptr, CAPS_FLAG, destInvDestColor, DestBlendCaps, D3DPBLENDCAPS_INVDESTCOLOR, "　　　[ %s ] デストブレンド INV DEST COLOR"),
    CAPS(nullptr, CAPS_FLAG, destInvSrcAlpha, DestBlendCaps, D3DPBLENDCAPS_INVSRCALPHA, "　　　[ %s ] デストブレンド INV SRC ALPHA"),
    CAPS(nullptr, CAPS_FLAG, destInvSrcColor, DestBlendCaps, D3DPBLENDCAPS_INVSRCCOLOR, "　　　[ %s ] デストブレンド INV SRC COLOR"),
    CAPS(nullptr, CAPS_FLAG, destOne, DestBlendCaps, D3DPBLENDCAPS_ONE, "　　　[ %s ] デストブレンド ONE"),
    CAPS(nullptr, CAPS_FLAG, destSrcAlpha, DestBlendCaps, D3DPBLENDCAPS_SRCALPHA, "　　　[ %s ] デストブレンド SRC ALPHA"),
    CAPS(nullptr, CAPS_FLAG, destSrcAlphaSat, DestBlendCaps, D3DPBLENDCAPS_SRCALPHASAT, "　　　[ %s ] デストブレンド SRC ALPHA SAT"),
    CAPS(nullptr, CAPS_FLAG, destSrcColor, DestBlendCaps, D3DPBLENDCAPS_SRCCOLOR, "　　　[ %s ] デストブレンド SRC COLOR"),
    CAPS(nullptr, CAPS_FLAG, destZero, DestBlendCaps, D3DPBLENDCAPS_ZERO, "　　　[ %s ] デストブレンド ZERO"),
    CAPS("　テクスチャ能力", CAPS_FLAG, cubeMap, TextureCaps, D3DPTEXTURECAPS_CUBEMAP, "　　　[ %s ] キューブマップ"),
    CAPS(nullptr, CAPS_FLAG, mipmap, TextureCaps, D3DPTEXTURECAPS_MIPMAP, "　　　[ %s ] ミップマップ"),
    CAPS(nullptr, CAPS_FLAG, perspective, TextureCaps, D3DPTEXTURECAPS_PERSPECTIVE, "　　　[ %s ] パースペクティブコレクト"),
    CAPS(nullptr, CAPS_FLAG_INVERTED, pow2Only, TextureCaps, D3DPTEXTURECAPS_POW2, "　　　[ %s ] ２のべき乗以外のテクスチャ"),
    CAPS(nullptr, CAPS_FLAG_INVERTED, squareOnly, TextureCaps, D3DPTEXTURECAPS_SQUAREONLY, "　　　[ %s ] 正方形以外のテクスチャ"),
    CAPS(nullptr, CAPS_FLAG, addressBorder, TextureAddressCaps, D3DPTADDRESSCAPS_BORDER, "　　　[ %s ] テクスチャ BORDER"),
    CAPS(nullptr, CAPS_FLAG, addressClamp, TextureAddressCaps, D3DPTADDRESSCAPS_CLAMP, "　　　[ %s ] テクスチャ CLAMP"),
    CAPS(nullptr, CAPS_FLAG, addressIndependentUV, TextureAddressCaps, D3DPTADDRESSCAPS_INDEPENDENTUV, "　　　[ %s ] テクスチャ INDEPENDENT"),
    CAPS(nullptr, CAPS_FLAG, addressMirror, TextureAddressCaps, D3DPTADDRESSCAPS_MIRROR, "　　　[ %s ] テクスチャ MIRROR"),
    CAPS(nullptr, CAPS_FLAG, addressMirrorOnce, TextureAddressCaps, D3DPTADDRESSCAPS_MIRRORONCE, "　　　[ %s ] テクスチャ MIRROR RONCE"),
    CAPS(nullptr, CAPS_FLAG, addressWrap, TextureAddressCaps, D3DPTADDRESSCAPS_WRAP, "　　　[ %s ] テクスチャ WRAP"),
    CAPS(nullptr, CAPS_U32, maxTextureWidth, MaxTextureWidth, 0, "　　　テクスチャ最大横幅 [ %u ]"),
    CAPS(nullptr, CAPS_U32, maxTextureHeight, MaxTextureHeight, 0, "　　　テクスチャ最大縦幅 [ %u ]"),
    CAPS(nullptr, CAPS_U32, maxTextureRepeat, MaxTextureRepeat, 0, "　　　テクスチャ最大リピート数 [ %u ]"),
    CAPS(nullptr, CAPS_U32, maxTextureAspectRatio, MaxTextureAspectRatio, 0, "　　　テクスチャ最大アスペクト [ %u ]"),
    CAPS("　ステンシル能力", CAPS_FLAG, stencilKeep, StencilCaps, D3DSTENCILCAPS_KEEP, "　　　[ %s ] ステンシル KEEP"),
    CAPS(nullptr, CAPS_FLAG, stencilZero, StencilCaps, D3DSTENCILCAPS_ZERO, "　　　[ %s ] ステンシル ZERO"),
    CAPS(nullptr, CAPS_FLAG, stencilReplace, StencilCaps, D3DSTENCILCAPS_REPLACE, "　　　[ %s ] ステンシル REPLACE"),
    CAPS(nullptr, CAPS_FLAG, stencilIncrSat, StencilCaps, D3DSTENCILCAPS_INCRSAT, "　　　[ %s ] ステンシル INCRSAT"),
    CAPS(nullptr, CAPS_FLAG, stencilDecrSat, StencilCaps, D3DSTENCILCAPS_DECRSAT, "　　　[ %s ] ステンシル DECRSAT"),
    CAPS(nullptr, CAPS_FLAG, stencilInvert, StencilCaps, D3DSTENCILCAPS_INVERT, "　　　[ %s ] ステンシル INVERT"),
    CAPS(nullptr, CAPS_FLAG, stencilIncr, StencilCaps, D3DSTENCILCAPS_INCR, "　　　[ %s ] ステンシル INCR"),
    CAPS(nullptr, CAPS_FLAG, stencilDecr, StencilCaps, D3DSTENCILCAPS_DECR, "　　　[ %s ] ステンシル DECR"),
    CAPS(nullptr, CAPS_FLAG, stencilTwoSided, StencilCaps, D3DSTENCILCAPS_TWOSIDED, "　　　[ %s ] ステンシル TWO SIDED"),
    CAPS("　その他", CAPS_F32, maxVertexW, MaxVertexW, 0, "　　　最大ｗ値 [ %lf ]"),
    CAPS(nullptr, CAPS_F32, guardBandLeft, GuardBandLeft, 0, "　　　ガードバンド　左 [ %.3lf ]"),
    CAPS(nullptr, CAPS_F32, guardBandTop, GuardBandTop, 0, "　　　ガードバンド　上 [ %.3lf ]"),
    CAPS(nullptr, CAPS_F32, guardBandRight, GuardBandRight, 0, "　　　ガードバンド　右 [ %.3lf ]"),
    CAPS(nullptr, CAPS_F32, guardBandBottom, GuardBandBottom, 0, "　　　ガードバンド　下 [ %.3lf ]"),
    CAPS(nullptr, CAPS_F32, maxPointSize, MaxPointSize, 0, "　　　ポイントサイズ [ %.3lf ]"),
    CAPS(nullptr, CAPS_U32, maxPrimitiveCount, MaxPrimitiveCount, 0, "　　　最大プリミティブ数 [ %u ]"),
    CAPS(nullptr, CAPS_U32, maxVertexIndex, MaxVertexIndex, 0, "　　　最大インデックス数 [ %u ]"),
    CAPS(nullptr, CAPS_U32, maxTextureBlendStages, MaxTextureBlendStages, 0, "　　　最大テクスチャステージ数 [ %u ]"),
    CAPS(nullptr, CAPS_U32, maxSimultaneousTextures, MaxSimultaneousTextures, 0, "　　　最大マルチテクスチャ数 [ %u ]"),
    CAPS(nullptr, CAPS_U32, maxActiveLights, MaxActiveLights, 0, "　　　最大ハードウェアライト数 [ %u ]"),
    CAPS(nullptr, CAPS_U32, maxVertexBlendMatrices, MaxVertexBlendMatrices, 0, "　　　最大ブレンドマトリックス数 [ %u ]"),
    CAPS(nullptr, CAPS_U32, maxVertexBlendMatrixIndex, MaxVertexBlendMatrixIndex, 0, "　　　最大ブレンドインデックス数 [ %u ]"),
    CAPS(nullptr, CAPS_U32, maxVertexShaderConst, MaxVertexShaderConst, 0, "　　　最大頂点シェーダー定数数 [ %u ]"),
    CAPS(nullptr, CAPS_VERSION, vertexShaderVersion, VertexShaderVersion, 0, "　　　頂点シェーダーバージョン [ %u.%u ]"),
    CAPS(nullptr, CAPS_VERSION, pixelShaderVersion, PixelShaderVersion, 0, "　　　ピクセルシェーダーバージョン[ %u.%u ]"),
    CAPS(nullptr, CAPS_U32, dynamicFlowControlDepth, VS20Caps.DynamicFlowControlDepth, 0, "　　　動的フロー制御命令のネスティング [ %u ]"),
    CAPS(nullptr, CAPS_U32, staticFlowControlDepth, VS20Caps.StaticFlowControlDepth, 0, "　　　静的フロー制御命令のネスティング [ %u ]"),
};

#undef CAPS

void EmitCapsLine(const Vorn3DCaps& caps, const CapsLine& line, Vorn3DLogSink sink, void* context)
{
    if (!line.format) return;
    const unsigned char* base = reinterpret_cast<const unsigned char*>(&caps) + line.offset;
    uint8_t flag;
    uint32_t u;
    float f;
    switch (line.kind) {
    case CAPS_FLAG:
    case CAPS_FLAG_INVERTED:
        memcpy(&flag, base, 1);
        if (line.kind == CAPS_FLAG_INVERTED) flag = !flag;
        Emit(sink, context, VORN3D_LOG_PRINT, line.format, flag ? "○" : "×");
        break;
    case CAPS_U32:
        memcpy(&u, base, 4);
        Emit(sink, context, VORN3D_LOG_PRINT, line.format, u);
        break;
    case CAPS_F32:
        memcpy(&f, base, 4);
        Emit(sink, context, VORN3D_LOG_PRINT, line.format, static_cast<double>(f));
        break;
    case CAPS_VERSION:
        memcpy(&u, base, 4);
        Emit(sink, context, VORN3D_LOG_PRINT, line.format, (u >> 8) & 0xFFu, u & 0xFFu);
        break;
    }
}

}  // namespace

void Vorn3DAdapter::ReadCaps(const D3DCAPS9* caps, Vorn3DCaps* out)
{
    memset(out, 0, sizeof *out);
    const unsigned char* from = reinterpret_cast<const unsigned char*>(caps);
    unsigned char* to = reinterpret_cast<unsigned char*>(out);
    for (const CapsLine& line : kCapsLines) {
        if (line.kind == CAPS_FLAG || line.kind == CAPS_FLAG_INVERTED) {
            DWORD word;
            memcpy(&word, from + line.source, sizeof word);
            to[line.offset] = (word & line.bit) ? 1 : 0;
        } else {  // 32-bit values copied as they are (u32, f32 and the shader versions)
            memcpy(to + line.offset, from + line.source, 4);
        }
    }
}

void Vorn3DAdapter::ReportCaps(const Vorn3DCaps& caps, Vorn3DLogSink sink, void* context)
{
    for (const CapsLine& line : kCapsLines) {
        if (line.group) Emit(sink, context, VORN3D_LOG_STRONG, "%s", line.group);
        EmitCapsLine(caps, line, sink, context);
    }
}

void Vorn3DAdapter::ReportDeviceCaps(const Vorn3DCaps& caps, Vorn3DLogSink sink, void* context)
{
    static const size_t kFields[] = {
        offsetof(Vorn3DCaps, maxPointSize),          offsetof(Vorn3DCaps, maxPrimitiveCount),
        offsetof(Vorn3DCaps, maxVertexIndex),        offsetof(Vorn3DCaps, maxTextureBlendStages),
        offsetof(Vorn3DCaps, maxSimultaneousTextures), offsetof(Vorn3DCaps, maxActiveLights),
        offsetof(Vorn3DCaps, maxVertexBlendMatrices), offsetof(Vorn3DCaps, maxVertexBlendMatrixIndex),
        offsetof(Vorn3DCaps, maxVertexShaderConst),  offsetof(Vorn3DCaps, vertexShaderVersion),
        offsetof(Vorn3DCaps, pixelShaderVersion),    offsetof(Vorn3DCaps, dynamicFlowControlDepth),
        offsetof(Vorn3DCaps, staticFlowControlDepth),
    };
    Emit(sink, context, VORN3D_LOG_PRINT, "%s", "　現在のデバイス情報を取得");
    for (size_t field : kFields)
        for (const CapsLine& line : kCapsLines)
            if (line.offset == field) EmitCapsLine(caps, line, sink, context);
}

// ---------------------------------------------------------------------------------------------
// The survey

bool Vorn3DAdapter::AddDisplayMode(Vorn3DFormatRecord* record, const D3DDISPLAYMODE& mode)
{
    for (uint32_t i = 0; i < record->modeCount; ++i)
        if (record->modes[i].Width == mode.Width && record->modes[i].Height == mode.Height) return false;
    if (record->modeCount >= VORN3D_MAX_MODES) return false;
    record->modes[record->modeCount++] = mode;
    return true;
}

bool Vorn3DAdapter::AddFormat(D3DFORMAT* list, uint32_t* count, D3DFORMAT format)
{
    if (*count >= VORN3D_MAX_FORMATS) return false;
    list[(*count)++] = format;
    return true;
}

namespace {

typedef D3DFORMAT (Vorn3DFormatRecord::*FormatList)[VORN3D_MAX_FORMATS];

// One step of the survey: for every record in use, the candidates the adapter supports with this
// usage join the record's list.
void SurveyFormats(Vorn3DAdapterSource* source, Vorn3DAdapterInfo* info, const char* title,
                   const D3DFORMAT* candidates, size_t candidateCount, DWORD usage, D3DRESOURCETYPE type,
                   FormatList list, uint32_t Vorn3DFormatRecord::*count, Vorn3DLogSink sink, void* context)
{
    Emit(sink, context, VORN3D_LOG_BLUE, "%s", title);
    for (Vorn3DFormatRecord& record : info->records) {
        if (!record.inUse) continue;
        Emit(sink, context, VORN3D_LOG_STRONG, "　BackBuffer Format [ %s ]",
             Vorn3DAdapter::FormatName(record.backBuffer));
        for (size_t i = 0; i < candidateCount; ++i)
            if (SUCCEEDED(source->CheckFormat(record.backBuffer, usage, type, candidates[i])) &&
                Vorn3DAdapter::AddFormat(record.*list, &(record.*count), candidates[i]))
                Emit(sink, context, VORN3D_LOG_PRINT, "　　　[ %s ]", Vorn3DAdapter::FormatName(candidates[i]));
    }
}

}  // namespace

void Vorn3DAdapter::Enumerate(Vorn3DAdapterSource* source, uint32_t screenWidth, uint32_t screenHeight,
                              Vorn3DAdapterInfo* info, Vorn3DLogSink sink, void* context)
{
    // 1. Identity.
    Emit(sink, context, VORN3D_LOG_BLUE, "%s", "アダプター情報");
    D3DADAPTER_IDENTIFIER9 id;
    memset(&id, 0, sizeof id);
    if (source->GetIdentifier(&id)) {
        const uint32_t hi = static_cast<uint32_t>(id.DriverVersion.HighPart);
        const uint32_t lo = id.DriverVersion.LowPart;
        snprintf(info->name, sizeof info->name, "%.127s", id.Description);
        snprintf(info->driver, sizeof info->driver, "%.127s", id.Driver);
        snprintf(info->version, sizeof info->version, "%u.%u.%u.%u", hi >> 16, hi & 0xFFFFu, lo >> 16,
                 lo & 0xFFFFu);
        Emit(sink, context, VORN3D_LOG_PRINT, "　　　Name [ %s ]", info->name);
        Emit(sink, context, VORN3D_LOG_PRINT, "　　　Driver [ %s ]", info->driver);
        Emit(sink, context, VORN3D_LOG_PRINT, "　　　Product [ %u ]", hi >> 16);
        Emit(sink, context, VORN3D_LOG_PRINT, "　　　Version [ %u.%u.%u ]", hi & 0xFFFFu, lo >> 16, lo & 0xFFFFu);
        Emit(sink, context, VORN3D_LOG_PRINT, "%s", "　Windows Hardware Quality Lab (WHQL) 認証レベル");
        const uint32_t whql = id.WHQLLevel;
        if (whql == 0)
            Emit(sink, context, VORN3D_LOG_PRINT, "%s", "　　　認証されていない。");
        else if (whql == 1)
            Emit(sink, context, VORN3D_LOG_PRINT, "%s", "　　　WHQL の認証は受けているが、利用できる日付情報はない。");
        else
            Emit(sink, context, VORN3D_LOG_PRINT, "　　　%u.%u.%u", (whql >> 16) & 0xFFu, (whql >> 8) & 0xFu,
                 whql & 0xFu);
    }

    // 2. The desktop.
    Emit(sink, context, VORN3D_LOG_BLUE, "%s", "現在の画面情報");
    if (source->GetDisplayMode(&info->desktop)) {
        Emit(sink, context, VORN3D_LOG_PRINT, "　　　Width [ %u ]", info->desktop.Width);
        Emit(sink, context, VORN3D_LOG_PRINT, "　　　Height [ %u ]", info->desktop.Height);
        Emit(sink, context, VORN3D_LOG_PRINT, "　　　RefreshRate [ %u ]", info->desktop.RefreshRate);
        Emit(sink, context, VORN3D_LOG_PRINT, "　　　Format [ %s ]", FormatName(info->desktop.Format));
    } else {
        memset(&info->desktop, 0, sizeof info->desktop);
    }

    // 3. Display modes per back-buffer candidate.
    Emit(sink, context, VORN3D_LOG_BLUE, "%s", "使用可能な画面モードを列挙");
    for (uint32_t i = 0; i < 6; ++i) {
        const D3DFORMAT format = kBackBufferCandidates[i];
        const uint32_t count = source->GetModeCount(format);
        if (count == 0) continue;
        Vorn3DFormatRecord* record = &info->records[i];
        Emit(sink, context, VORN3D_LOG_STRONG, "　BackBuffer Format [ %s ]", FormatName(format));
        record->inUse = 1;
        record->backBuffer = format;
        for (uint32_t m = 0; m < count; ++m) {
            D3DDISPLAYMODE mode;
            if (!source->EnumMode(format, m, &mode)) continue;
            if (AddDisplayMode(record, mode))
                Emit(sink, context, VORN3D_LOG_PRINT, "　　　[ %u x %u ] [ %uHz ]", mode.Width, mode.Height,
                     mode.RefreshRate);
        }
    }

    // 4. Texture formats, with or without automatic mipmaps.
    Emit(sink, context, VORN3D_LOG_BLUE, "%s", "使用可能なテクスチャフォーマットを列挙");
    for (Vorn3DFormatRecord& record : info->records) {
        if (!record.inUse) continue;
        Emit(sink, context, VORN3D_LOG_STRONG, "　BackBuffer Format [ %s ]", FormatName(record.backBuffer));
        for (D3DFORMAT format : kTextureCandidates) {
            HRESULT hr = source->CheckFormat(record.backBuffer, D3DUSAGE_AUTOGENMIPMAP, D3DRTYPE_TEXTURE, format);
            if (SUCCEEDED(hr) && hr != D3DOK_NOAUTOGEN) {
                if (AddFormat(record.texture, &record.textureCount, format))
                    Emit(sink, context, VORN3D_LOG_PRINT, "　　　○ [ %s ]", FormatName(format));
            } else if (SUCCEEDED(source->CheckFormat(record.backBuffer, 0, D3DRTYPE_TEXTURE, format))) {
                if (AddFormat(record.texture, &record.textureCount, format))
                    Emit(sink, context, VORN3D_LOG_PRINT, "　　　× [ %s ]", FormatName(format));
            }
        }
    }

    // 5. Render-target textures; 6. depth-stencil surfaces.
    SurveyFormats(source, info, "使用可能なレンダリングターゲットテクスチャフォーマットを列挙", kTextureCandidates, 58,
                  D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE, &Vorn3DFormatRecord::target, &Vorn3DFormatRecord::targetCount,
                  sink, context);
    SurveyFormats(source, info, "使用可能な深度バッファフォーマットを列挙", kDepthCandidates, 7, D3DUSAGE_DEPTHSTENCIL,
                  D3DRTYPE_SURFACE, &Vorn3DFormatRecord::depth, &Vorn3DFormatRecord::depthCount, sink, context);

    // 7. The full-screen modes of the configured screen size.
    Emit(sink, context, VORN3D_LOG_BLUE, "%s", "フルスクリーン用ディスプレイモードの検索");
    FindFullScreenModes(info, screenWidth, screenHeight);
    Emit(sink, context, VORN3D_LOG_PRINT, "　　　16BitColor [ %s ]", FormatName(info->mode16.Format));
    Emit(sink, context, VORN3D_LOG_PRINT, "　　　32BitColor [ %s ]", FormatName(info->mode32.Format));
    Emit(sink, context, VORN3D_LOG_PRINT, "　　　32BitColorEx [ %s ]", FormatName(info->mode10.Format));
}

void Vorn3DAdapter::QueryCaps(Vorn3DAdapterSource* source, Vorn3DAdapterInfo* info, Vorn3DLogSink sink,
                              void* context)
{
    Emit(sink, context, VORN3D_LOG_BLUE, "%s", "デバイス能力の取得");
    D3DCAPS9 caps;
    memset(&caps, 0, sizeof caps);
    source->GetCaps(&caps);
    ReadCaps(&caps, &info->caps);
    ReportCaps(info->caps, sink, context);
}

void Vorn3DAdapter::FindFullScreenModes(Vorn3DAdapterInfo* info, uint32_t width, uint32_t height)
{
    memset(&info->mode16, 0, sizeof info->mode16);
    memset(&info->mode32, 0, sizeof info->mode32);
    memset(&info->mode10, 0, sizeof info->mode10);
    for (const Vorn3DFormatRecord& record : info->records) {
        const uint32_t count = record.modeCount < VORN3D_MAX_MODES ? record.modeCount : VORN3D_MAX_MODES;
        for (uint32_t m = 0; m < count; ++m) {
            const D3DDISPLAYMODE& mode = record.modes[m];
            if (mode.Width != width || mode.Height != height) continue;
            switch (mode.Format) {
            case D3DFMT_A8R8G8B8:
            case D3DFMT_X8R8G8B8: info->mode32 = mode; break;
            case D3DFMT_R5G6B5:
            case D3DFMT_X1R5G5B5:
            case D3DFMT_A1R5G5B5: info->mode16 = mode; break;
            case D3DFMT_A2B10G10R10: info->mode10 = mode; break;
            default: break;
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Decisions

const Vorn3DFormatRecord* Vorn3DAdapter::FindRecord(const Vorn3DAdapterInfo& info, D3DFORMAT backBuffer)
{
    for (const Vorn3DFormatRecord& record : info.records)
        if (record.inUse && record.backBuffer == backBuffer) return &record;
    return nullptr;
}

uint32_t Vorn3DAdapter::SelectDeviceType(const Vorn3DCaps& caps, const Vorn3DDeviceOptions& options)
{
    if (options.reference || !caps.hwRasterization) return 4;
    if (!caps.hwTransformAndLight) return 3;
    if (caps.vertexShaderVersion < options.requiredVertexShader) return 2;
    if (!caps.pureDevice) return 1;
    return 0;
}

D3DFORMAT Vorn3DAdapter::BackBufferFormat(const Vorn3DAdapterInfo& info, bool windowed, bool fullColor)
{
    if (windowed) return info.desktop.Format;
    return fullColor ? info.mode32.Format : info.mode16.Format;
}

void Vorn3DAdapter::BuildPresentParameters(const Vorn3DAdapterInfo& info, const Vorn3DDeviceOptions& options,
                                           uint32_t width, uint32_t height, HWND window, bool windowed,
                                           bool fullColor, D3DPRESENT_PARAMETERS* out)
{
    const D3DFORMAT backBuffer = BackBufferFormat(info, windowed, fullColor);
    const Vorn3DFormatRecord* record = FindRecord(info, backBuffer);
    memset(out, 0, sizeof *out);
    out->BackBufferWidth = width;
    out->BackBufferHeight = height;
    out->BackBufferFormat = backBuffer;
    out->BackBufferCount = 1;
    out->MultiSampleType = D3DMULTISAMPLE_NONE;
    out->MultiSampleQuality = 0;
    out->SwapEffect = D3DSWAPEFFECT_DISCARD;
    out->hDeviceWindow = window;
    out->Windowed = windowed ? TRUE : FALSE;
    out->EnableAutoDepthStencil = FALSE;
    out->AutoDepthStencilFormat = (record && record->depthCount > 0) ? record->depth[0] : D3DFMT_UNKNOWN;
    out->Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    out->FullScreen_RefreshRateInHz = 0;
    out->PresentationInterval = options.vsync ? D3DPRESENT_INTERVAL_ONE : D3DPRESENT_INTERVAL_IMMEDIATE;
}

namespace {

// The first entry of the list that is one of the accepted formats (the list's order decides).
D3DFORMAT FirstAccepted(const D3DFORMAT* list, uint32_t count, const D3DFORMAT* accepted, size_t acceptedCount)
{
    if (count > VORN3D_MAX_FORMATS) count = VORN3D_MAX_FORMATS;
    for (uint32_t i = 0; i < count; ++i)
        for (size_t a = 0; a < acceptedCount; ++a)
            if (list[i] == accepted[a]) return list[i];
    return D3DFMT_UNKNOWN;
}

template <size_t N>
D3DFORMAT FirstAccepted(const D3DFORMAT* list, uint32_t count, const D3DFORMAT (&accepted)[N])
{
    return FirstAccepted(list, count, accepted, N);
}

}  // namespace

D3DFORMAT Vorn3DAdapter::ResolveFormat(const Vorn3DAdapterInfo& info, D3DFORMAT backBuffer, VornFormatKind request)
{
    if (request & VORN_FORMAT_EXACT) return static_cast<D3DFORMAT>(request & 0x7FFFFFFFu);
    if (request == VORN_FORMAT_BACKBUFFER) return backBuffer;
    if (request == VORN_FORMAT_X8R8G8B8) return D3DFMT_X8R8G8B8;

    static const D3DFORMAT kAlpha[] = {D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_A8R8G8B8};
    static const D3DFORMAT kAlphaBits[] = {D3DFMT_A4R4G4B4, D3DFMT_A8R8G8B8};
    static const D3DFORMAT kAlpha32[] = {D3DFMT_A8R8G8B8};
    static const D3DFORMAT kDepth16[] = {D3DFMT_D16, D3DFMT_D15S1};
    static const D3DFORMAT kDepth32[] = {D3DFMT_D32, D3DFMT_D24S8, D3DFMT_D24X8, D3DFMT_D24X4S4, D3DFMT_D24FS8};
    static const D3DFORMAT kDepthStencil[] = {D3DFMT_D24S8, D3DFMT_D24X4S4, D3DFMT_D24FS8, D3DFMT_D15S1};
    static const D3DFORMAT kTarget16[] = {D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5};
    static const D3DFORMAT kTarget32[] = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8};
    static const D3DFORMAT kTargetAlpha[] = {D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_A8R8G8B8, D3DFMT_A8R3G3B2};
    static const D3DFORMAT kCompressed[] = {D3DFMT_DXT5, D3DFMT_DXT4, D3DFMT_DXT3, D3DFMT_DXT2, D3DFMT_DXT1};

    D3DFORMAT found = D3DFMT_UNKNOWN;
    const Vorn3DFormatRecord* r = FindRecord(info, backBuffer);
    if (r) {
        switch (request) {
        case VORN_FORMAT_ALPHA: found = FirstAccepted(r->texture, r->textureCount, kAlpha); break;
        case VORN_FORMAT_ALPHA_BITS: found = FirstAccepted(r->texture, r->textureCount, kAlphaBits); break;
        case VORN_FORMAT_ALPHA32: found = FirstAccepted(r->texture, r->textureCount, kAlpha32); break;
        case VORN_FORMAT_DEPTH16: found = FirstAccepted(r->depth, r->depthCount, kDepth16); break;
        case VORN_FORMAT_DEPTH32: found = FirstAccepted(r->depth, r->depthCount, kDepth32); break;
        case VORN_FORMAT_DEPTH_STENCIL: found = FirstAccepted(r->depth, r->depthCount, kDepthStencil); break;
        case VORN_FORMAT_TARGET16: found = FirstAccepted(r->target, r->targetCount, kTarget16); break;
        case VORN_FORMAT_TARGET32: found = FirstAccepted(r->target, r->targetCount, kTarget32); break;
        case VORN_FORMAT_TARGET_ALPHA: found = FirstAccepted(r->target, r->targetCount, kTargetAlpha); break;
        case VORN_FORMAT_COMPRESSED:
            found = FirstAccepted(r->texture, r->textureCount, kCompressed);
            if (found == D3DFMT_UNKNOWN) found = FirstAccepted(r->texture, r->textureCount, kAlphaBits);
            break;
        default: break;
        }
    }
    return found == D3DFMT_UNKNOWN ? D3DFMT_A8R8G8B8 : found;
}

bool Vorn3DAdapter::ClipRect(const D3DVIEWPORT9& viewport, RECT* dst, RECT* src)
{
    const LONG dw = dst->right - dst->left;
    const LONG dh = dst->bottom - dst->top;
    if (dw <= 0 || dh <= 0) return false;
    const LONG l = static_cast<LONG>(viewport.X), t = static_cast<LONG>(viewport.Y);
    const LONG r = static_cast<LONG>(viewport.X + viewport.Width), b = static_cast<LONG>(viewport.Y + viewport.Height);
    const float sx = static_cast<float>(src->right - src->left) / static_cast<float>(dw);
    const float sy = static_cast<float>(src->bottom - src->top) / static_cast<float>(dh);
    if (dst->left < l) {
        src->left += static_cast<LONG>(static_cast<float>(l - dst->left) * sx);
        dst->left = l;
    }
    if (dst->top < t) {
        src->top += static_cast<LONG>(static_cast<float>(t - dst->top) * sy);
        dst->top = t;
    }
    if (dst->right > r) {
        src->right -= static_cast<LONG>(static_cast<float>(dst->right - r) * sx);
        dst->right = r;
    }
    if (dst->bottom > b) {
        src->bottom -= static_cast<LONG>(static_cast<float>(dst->bottom - b) * sy);
        dst->bottom = b;
    }
    return dst->left < dst->right && dst->top < dst->bottom;
}

// ---------------------------------------------------------------------------------------------
// Texts

const char* Vorn3DAdapter::FormatName(D3DFORMAT format)
{
    struct Name { D3DFORMAT format; const char* name; };
    static const Name kNames[] = {
        {D3DFMT_UNKNOWN, "UNKNOWN"}, {D3DFMT_R8G8B8, "R8G8B8"}, {D3DFMT_A8R8G8B8, "A8R8G8B8"},
        {D3DFMT_X8R8G8B8, "X8R8G8B8"}, {D3DFMT_R5G6B5, "R5G6B5"}, {D3DFMT_X1R5G5B5, "X1R5G5B5"},
        {D3DFMT_A1R5G5B5, "A1R5G5B5"}, {D3DFMT_A4R4G4B4, "A4R4G4B4"}, {D3DFMT_R3G3B2, "R3G3B2"},
        {D3DFMT_A8, "A8"}, {D3DFMT_A8R3G3B2, "A8R3G3B2"}, {D3DFMT_X4R4G4B4, "X4R4G4B4"},
        {D3DFMT_A2B10G10R10, "A2B10G10R10"}, {D3DFMT_A8B8G8R8, "A8B8G8R8"}, {D3DFMT_X8B8G8R8, "X8B8G8R8"},
        {D3DFMT_G16R16, "G16R16"}, {D3DFMT_A2R10G10B10, "A2R10G10B10"}, {D3DFMT_A16B16G16R16, "A16B16G16R16"},
        {D3DFMT_A8P8, "A8P8"}, {D3DFMT_P8, "P8"}, {D3DFMT_L8, "L8"}, {D3DFMT_A8L8, "A8L8"}, {D3DFMT_A4L4, "A4L4"},
        {D3DFMT_V8U8, "V8U8"}, {D3DFMT_L6V5U5, "L6V5U5"}, {D3DFMT_X8L8V8U8, "X8L8V8U8"},
        {D3DFMT_Q8W8V8U8, "Q8W8V8U8"}, {D3DFMT_V16U16, "V16U16"}, {D3DFMT_A2W10V10U10, "A2W10V10U10"},
        {D3DFMT_UYVY, "UYVY"}, {D3DFMT_R8G8_B8G8, "R8G8_B8G8"}, {D3DFMT_YUY2, "YUY2"},
        {D3DFMT_G8R8_G8B8, "G8R8_G8B8"}, {D3DFMT_DXT1, "DXT1"}, {D3DFMT_DXT2, "DXT2"}, {D3DFMT_DXT3, "DXT3"},
        {D3DFMT_DXT4, "DXT4"}, {D3DFMT_DXT5, "DXT5"}, {D3DFMT_D16_LOCKABLE, "D16_LOCKABLE"}, {D3DFMT_D32, "D32"},
        {D3DFMT_D15S1, "D15S1"}, {D3DFMT_D24S8, "D24S8"}, {D3DFMT_D24X8, "D24X8"}, {D3DFMT_D24X4S4, "D24X4S4"},
        {D3DFMT_D16, "D16"}, {D3DFMT_D32F_LOCKABLE, "D32F_LOCKABLE"}, {D3DFMT_D24FS8, "D24FS8"},
        {D3DFMT_L16, "L16"}, {D3DFMT_VERTEXDATA, "VERTEXDATA"}, {D3DFMT_INDEX16, "INDEX16"},
        {D3DFMT_INDEX32, "INDEX32"}, {D3DFMT_Q16W16V16U16, "Q16W16V16U16"}, {D3DFMT_R16F, "R16F"},
        {D3DFMT_G16R16F, "G16R16F"}, {D3DFMT_A16B16G16R16F, "A16B16G16R16F"}, {D3DFMT_R32F, "R32F"},
        {D3DFMT_G32R32F, "G32R32F"}, {D3DFMT_A32B32G32R32F, "A32B32G32R32F"}, {D3DFMT_CxV8U8, "CxV8U8"},
    };
    for (const Name& n : kNames)
        if (n.format == format) return n.name;
    return "UNLISTED";
}

const char* Vorn3DAdapter::ErrorText(HRESULT result)
{
    struct Text { HRESULT result; const char* text; };
    static const Text kTexts[] = {
        {D3D_OK, "エラーは発生していない。"},
        {D3DERR_CONFLICTINGRENDERSTATE, "現在設定されているレンダリング ステートは一緒に使用できない。"},
        {D3DERR_CONFLICTINGTEXTUREFILTER, "現在のテクスチャ フィルタは一緒に使用できない。"},
        {D3DERR_CONFLICTINGTEXTUREPALETTE,
         "現在のテクスチャは同時に使用できない。一般にマルチテクスチャ デバイスにおいて、同時に有効にされたパレット化テクスチャで同じパレットを共有する必要がある場合に発生する。"},
        {D3DERR_DEVICELOST, "デバイスが失われていて、現時点では復元できないため、レンダリングは不可能である。"},
        {D3DERR_DEVICENOTRESET, "デバイスはリセットできない。"},
        {D3DERR_DRIVERINTERNALERROR, "内部ドライバ エラー。"},
        {D3DERR_INVALIDCALL,
         "メソッドの呼び出しが無効である。たとえば、メソッドのパラメータに無効な値が設定されている場合など。"},
        {D3DERR_INVALIDDEVICE, "要求されたデバイスの種類が有効でない。"},
        {D3DERR_MOREDATA, "指定されたバッファ サイズに保持できる以上のデータが存在する。"},
        {D3DERR_NOTAVAILABLE, "このデバイスは、照会されたテクニックをサポートしていない。"},
        {D3DERR_NOTFOUND, "要求された項目が見つからなかった。"},
        {D3DERR_OUTOFVIDEOMEMORY, "Direct3D が処理を行うのに十分なディスプレイ メモリがない。"},
        {D3DERR_TOOMANYOPERATIONS,
         "デバイスがサポートしている以上のテクスチャ フィルタリング処理を、アプリケーションが要求している。"},
        {D3DERR_UNSUPPORTEDALPHAARG,
         "アルファ チャネルに対して指定されているテクスチャ ブレンディング引数を、デバイスがサポートしていない。"},
        {D3DERR_UNSUPPORTEDALPHAOPERATION,
         "アルファ チャネルに対して指定されているテクスチャ ブレンディング処理を、デバイスがサポートしていない。"},
        {D3DERR_UNSUPPORTEDCOLORARG,
         "カラー値に対して指定されているテクスチャ ブレンディング引数を、デバイスがサポートしていない。"},
        {D3DERR_UNSUPPORTEDCOLOROPERATION,
         "カラー値に対して指定されているテクスチャ ブレンディング処理を、デバイスがサポートしていない。"},
        {D3DERR_UNSUPPORTEDFACTORVALUE, "デバイスが指定されたテクスチャ係数値をサポートしていない。"},
        {D3DERR_UNSUPPORTEDTEXTUREFILTER, "デバイスが指定されたテクスチャ フィルタをサポートしていない。"},
        {D3DERR_WRONGTEXTUREFORMAT, "テクスチャ サーフェスのピクセル フォーマットが有効でない。"},
        {E_FAIL, "Direct3D サブシステム内で原因不明のエラーが発生した。"},
        {E_INVALIDARG, "無効なパラメータが戻ってくる関数に渡された。"},
        {E_OUTOFMEMORY, "Direct3D が呼び出しを完了するための十分なメモリを割り当てることができなかった。"},
        {D3DXERR_CANNOTATTRSORT, "最適化テクニックとして属性のソート (::D3DXMESHOPT_ATTRSORT) はサポートされていない。 "},
        {D3DXERR_CANNOTMODIFYINDEXBUFFER, "インデックス バッファを変更できない。 "},
        {D3DXERR_INVALIDMESH, "メッシュが無効である。 "},
        {D3DXERR_SKINNINGNOTSUPPORTED, "スキニングはサポートされていない。 "},
        {D3DXERR_TOOMANYINFLUENCES, "指定された影響が多すぎる。 "},
        {D3DXERR_INVALIDDATA, "データが無効である。"},
    };
    for (const Text& t : kTexts)
        if (t.result == result) return t.text;
    return "未知のエラー。";
}
