#include "VornFxParser.h"
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// ---- tokens ---------------------------------------------------------------------------------

enum class TokKind { End, Ident, Number, String, Punct };

struct Token {
    TokKind kind = TokKind::End;
    std::string text;
    size_t begin = 0, end = 0;   // offsets in the source text
    int line = 1;
};

bool EqualNoCase(const std::string& a, const char* b)
{
    size_t n = strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i)
        if (tolower(static_cast<unsigned char>(a[i])) != tolower(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

std::vector<Token> Tokenize(const char* src, size_t size)
{
    std::vector<Token> out;
    size_t i = 0;
    int line = 1;
    bool lineStart = true;
    while (i < size) {
        char c = src[i];
        if (c == '\n') { ++line; ++i; lineStart = true; continue; }
        if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') { ++i; continue; }
        if (c == '\0') { ++i; continue; }
        if (c == '#' && lineStart) {   // preprocessor line, with continuations
            while (i < size && src[i] != '\n') {
                if (src[i] == '\\' && i + 1 < size && src[i + 1] == '\n') { ++line; i += 2; continue; }
                if (src[i] == '\\' && i + 2 < size && src[i + 1] == '\r' && src[i + 2] == '\n') { ++line; i += 3; continue; }
                ++i;
            }
            continue;
        }
        lineStart = false;
        if (c == '/' && i + 1 < size && src[i + 1] == '/') {
            while (i < size && src[i] != '\n') ++i;
            continue;
        }
        if (c == '/' && i + 1 < size && src[i + 1] == '*') {
            i += 2;
            while (i < size && !(src[i] == '*' && i + 1 < size && src[i + 1] == '/')) {
                if (src[i] == '\n') ++line;
                ++i;
            }
            i = i + 2 <= size ? i + 2 : size;
            continue;
        }
        Token t;
        t.begin = i;
        t.line = line;
        if (isalpha(static_cast<unsigned char>(c)) || c == '_') {
            while (i < size && (isalnum(static_cast<unsigned char>(src[i])) || src[i] == '_')) ++i;
            t.kind = TokKind::Ident;
        } else if (isdigit(static_cast<unsigned char>(c)) ||
                   (c == '.' && i + 1 < size && isdigit(static_cast<unsigned char>(src[i + 1])))) {
            if (c == '0' && i + 1 < size && (src[i + 1] == 'x' || src[i + 1] == 'X')) {
                i += 2;
                while (i < size && isxdigit(static_cast<unsigned char>(src[i]))) ++i;
            } else {
                while (i < size && (isdigit(static_cast<unsigned char>(src[i])) || src[i] == '.')) ++i;
                if (i < size && (src[i] == 'e' || src[i] == 'E')) {
                    ++i;
                    if (i < size && (src[i] == '+' || src[i] == '-')) ++i;
                    while (i < size && isdigit(static_cast<unsigned char>(src[i]))) ++i;
                }
            }
            while (i < size && strchr("fFhHuUlL", src[i]) && src[i] != '\0') ++i;
            t.kind = TokKind::Number;
        } else if (c == '"') {
            ++i;
            while (i < size && src[i] != '"' && src[i] != '\n') {
                if (src[i] == '\\' && i + 1 < size) ++i;
                ++i;
            }
            if (i < size && src[i] == '"') ++i;
            t.kind = TokKind::String;
        } else {
            ++i;
            t.kind = TokKind::Punct;
        }
        t.end = i;
        t.text.assign(src + t.begin, t.end - t.begin);
        out.push_back(t);
    }
    Token end;
    end.begin = end.end = size;
    end.line = line;
    out.push_back(end);
    return out;
}

// ---- state names --------------------------------------------------------------------------

enum class ValueKind { Number, Bool, Float, Cmp, Blend, Cull, Fill, Shade, BlendOp, StencilOp, Fog, ZBuffer,
                       ColorWrite, MaterialSource, VertexBlend, Address, Filter };

struct NamedValue {
    const char* name;
    DWORD value;
};

const NamedValue kCmp[] = {{"NEVER", 1}, {"LESS", 2}, {"EQUAL", 3}, {"LESSEQUAL", 4}, {"GREATER", 5},
                           {"NOTEQUAL", 6}, {"GREATEREQUAL", 7}, {"ALWAYS", 8}, {nullptr, 0}};
const NamedValue kBlend[] = {{"ZERO", 1}, {"ONE", 2}, {"SRCCOLOR", 3}, {"INVSRCCOLOR", 4}, {"SRCALPHA", 5},
                             {"INVSRCALPHA", 6}, {"DESTALPHA", 7}, {"INVDESTALPHA", 8}, {"DESTCOLOR", 9},
                             {"INVDESTCOLOR", 10}, {"SRCALPHASAT", 11}, {"BOTHSRCALPHA", 12},
                             {"BOTHINVSRCALPHA", 13}, {"BLENDFACTOR", 14}, {"INVBLENDFACTOR", 15}, {nullptr, 0}};
const NamedValue kCull[] = {{"NONE", 1}, {"CW", 2}, {"CCW", 3}, {nullptr, 0}};
const NamedValue kFill[] = {{"POINT", 1}, {"WIREFRAME", 2}, {"SOLID", 3}, {nullptr, 0}};
const NamedValue kShade[] = {{"FLAT", 1}, {"GOURAUD", 2}, {"PHONG", 3}, {nullptr, 0}};
const NamedValue kBlendOp[] = {{"ADD", 1}, {"SUBTRACT", 2}, {"REVSUBTRACT", 3}, {"MIN", 4}, {"MAX", 5}, {nullptr, 0}};
const NamedValue kStencilOp[] = {{"KEEP", 1}, {"ZERO", 2}, {"REPLACE", 3}, {"INCRSAT", 4}, {"DECRSAT", 5},
                                 {"INVERT", 6}, {"INCR", 7}, {"DECR", 8}, {nullptr, 0}};
const NamedValue kFog[] = {{"NONE", 0}, {"EXP", 1}, {"EXP2", 2}, {"LINEAR", 3}, {nullptr, 0}};
const NamedValue kZBuffer[] = {{"USEW", 2}, {nullptr, 0}};
const NamedValue kColorWrite[] = {{"RED", 1}, {"GREEN", 2}, {"BLUE", 4}, {"ALPHA", 8}, {nullptr, 0}};
const NamedValue kMaterialSource[] = {{"MATERIAL", 0}, {"COLOR1", 1}, {"COLOR2", 2}, {nullptr, 0}};
const NamedValue kVertexBlend[] = {{"DISABLE", 0}, {"1WEIGHTS", 1}, {"2WEIGHTS", 2}, {"3WEIGHTS", 3},
                                   {"TWEENING", 255}, {"0WEIGHTS", 256}, {nullptr, 0}};
const NamedValue kAddress[] = {{"WRAP", 1}, {"MIRROR", 2}, {"CLAMP", 3}, {"BORDER", 4}, {"MIRRORONCE", 5}, {nullptr, 0}};
const NamedValue kFilter[] = {{"NONE", 0}, {"POINT", 1}, {"LINEAR", 2}, {"ANISOTROPIC", 3}, {"PYRAMIDALQUAD", 6},
                              {"GAUSSIANQUAD", 7}, {nullptr, 0}};

const NamedValue* NamesOf(ValueKind kind)
{
    switch (kind) {
    case ValueKind::Cmp: return kCmp;
    case ValueKind::Blend: return kBlend;
    case ValueKind::Cull: return kCull;
    case ValueKind::Fill: return kFill;
    case ValueKind::Shade: return kShade;
    case ValueKind::BlendOp: return kBlendOp;
    case ValueKind::StencilOp: return kStencilOp;
    case ValueKind::Fog: return kFog;
    case ValueKind::ZBuffer: return kZBuffer;
    case ValueKind::ColorWrite: return kColorWrite;
    case ValueKind::MaterialSource: return kMaterialSource;
    case ValueKind::VertexBlend: return kVertexBlend;
    case ValueKind::Address: return kAddress;
    case ValueKind::Filter: return kFilter;
    default: return nullptr;
    }
}

DWORD FloatBits(float f)
{
    DWORD d;
    memcpy(&d, &f, 4);
    return d;
}

struct RenderStateName {
    const char* name;
    D3DRENDERSTATETYPE state;
    ValueKind kind;
    DWORD defaultValue;
};

const DWORD kOne = 0x3F800000u;   // 1.0f

const RenderStateName kRenderStates[] = {
    {"ZEnable", D3DRS_ZENABLE, ValueKind::ZBuffer, TRUE},
    {"FillMode", D3DRS_FILLMODE, ValueKind::Fill, D3DFILL_SOLID},
    {"ShadeMode", D3DRS_SHADEMODE, ValueKind::Shade, D3DSHADE_GOURAUD},
    {"ZWriteEnable", D3DRS_ZWRITEENABLE, ValueKind::Bool, TRUE},
    {"AlphaTestEnable", D3DRS_ALPHATESTENABLE, ValueKind::Bool, FALSE},
    {"LastPixel", D3DRS_LASTPIXEL, ValueKind::Bool, TRUE},
    {"SrcBlend", D3DRS_SRCBLEND, ValueKind::Blend, D3DBLEND_ONE},
    {"DestBlend", D3DRS_DESTBLEND, ValueKind::Blend, D3DBLEND_ZERO},
    {"CullMode", D3DRS_CULLMODE, ValueKind::Cull, D3DCULL_CCW},
    {"ZFunc", D3DRS_ZFUNC, ValueKind::Cmp, D3DCMP_LESSEQUAL},
    {"AlphaRef", D3DRS_ALPHAREF, ValueKind::Number, 0},
    {"AlphaFunc", D3DRS_ALPHAFUNC, ValueKind::Cmp, D3DCMP_ALWAYS},
    {"DitherEnable", D3DRS_DITHERENABLE, ValueKind::Bool, FALSE},
    {"AlphaBlendEnable", D3DRS_ALPHABLENDENABLE, ValueKind::Bool, FALSE},
    {"FogEnable", D3DRS_FOGENABLE, ValueKind::Bool, FALSE},
    {"SpecularEnable", D3DRS_SPECULARENABLE, ValueKind::Bool, FALSE},
    {"FogColor", D3DRS_FOGCOLOR, ValueKind::Number, 0},
    {"FogTableMode", D3DRS_FOGTABLEMODE, ValueKind::Fog, D3DFOG_NONE},
    {"FogStart", D3DRS_FOGSTART, ValueKind::Float, 0},
    {"FogEnd", D3DRS_FOGEND, ValueKind::Float, kOne},
    {"FogDensity", D3DRS_FOGDENSITY, ValueKind::Float, kOne},
    {"RangeFogEnable", D3DRS_RANGEFOGENABLE, ValueKind::Bool, FALSE},
    {"StencilEnable", D3DRS_STENCILENABLE, ValueKind::Bool, FALSE},
    {"StencilFail", D3DRS_STENCILFAIL, ValueKind::StencilOp, D3DSTENCILOP_KEEP},
    {"StencilZFail", D3DRS_STENCILZFAIL, ValueKind::StencilOp, D3DSTENCILOP_KEEP},
    {"StencilPass", D3DRS_STENCILPASS, ValueKind::StencilOp, D3DSTENCILOP_KEEP},
    {"StencilFunc", D3DRS_STENCILFUNC, ValueKind::Cmp, D3DCMP_ALWAYS},
    {"StencilRef", D3DRS_STENCILREF, ValueKind::Number, 0},
    {"StencilMask", D3DRS_STENCILMASK, ValueKind::Number, 0xFFFFFFFFu},
    {"StencilWriteMask", D3DRS_STENCILWRITEMASK, ValueKind::Number, 0xFFFFFFFFu},
    {"TextureFactor", D3DRS_TEXTUREFACTOR, ValueKind::Number, 0xFFFFFFFFu},
    {"Clipping", D3DRS_CLIPPING, ValueKind::Bool, TRUE},
    {"Lighting", D3DRS_LIGHTING, ValueKind::Bool, TRUE},
    {"Ambient", D3DRS_AMBIENT, ValueKind::Number, 0},
    {"FogVertexMode", D3DRS_FOGVERTEXMODE, ValueKind::Fog, D3DFOG_NONE},
    {"ColorVertex", D3DRS_COLORVERTEX, ValueKind::Bool, TRUE},
    {"LocalViewer", D3DRS_LOCALVIEWER, ValueKind::Bool, TRUE},
    {"NormalizeNormals", D3DRS_NORMALIZENORMALS, ValueKind::Bool, FALSE},
    {"DiffuseMaterialSource", D3DRS_DIFFUSEMATERIALSOURCE, ValueKind::MaterialSource, D3DMCS_COLOR1},
    {"SpecularMaterialSource", D3DRS_SPECULARMATERIALSOURCE, ValueKind::MaterialSource, D3DMCS_COLOR2},
    {"AmbientMaterialSource", D3DRS_AMBIENTMATERIALSOURCE, ValueKind::MaterialSource, D3DMCS_MATERIAL},
    {"EmissiveMaterialSource", D3DRS_EMISSIVEMATERIALSOURCE, ValueKind::MaterialSource, D3DMCS_MATERIAL},
    {"VertexBlend", D3DRS_VERTEXBLEND, ValueKind::VertexBlend, D3DVBF_DISABLE},
    {"ClipPlaneEnable", D3DRS_CLIPPLANEENABLE, ValueKind::Number, 0},
    {"PointSize", D3DRS_POINTSIZE, ValueKind::Float, kOne},
    {"PointSize_Min", D3DRS_POINTSIZE_MIN, ValueKind::Float, kOne},
    {"PointSpriteEnable", D3DRS_POINTSPRITEENABLE, ValueKind::Bool, FALSE},
    {"PointScaleEnable", D3DRS_POINTSCALEENABLE, ValueKind::Bool, FALSE},
    {"PointScale_A", D3DRS_POINTSCALE_A, ValueKind::Float, kOne},
    {"PointScale_B", D3DRS_POINTSCALE_B, ValueKind::Float, 0},
    {"PointScale_C", D3DRS_POINTSCALE_C, ValueKind::Float, 0},
    {"MultiSampleAntialias", D3DRS_MULTISAMPLEANTIALIAS, ValueKind::Bool, TRUE},
    {"MultiSampleMask", D3DRS_MULTISAMPLEMASK, ValueKind::Number, 0xFFFFFFFFu},
    {"PointSize_Max", D3DRS_POINTSIZE_MAX, ValueKind::Float, 0x42800000u},
    {"IndexedVertexBlendEnable", D3DRS_INDEXEDVERTEXBLENDENABLE, ValueKind::Bool, FALSE},
    {"ColorWriteEnable", D3DRS_COLORWRITEENABLE, ValueKind::ColorWrite, 0xF},
    {"TweenFactor", D3DRS_TWEENFACTOR, ValueKind::Float, 0},
    {"BlendOp", D3DRS_BLENDOP, ValueKind::BlendOp, D3DBLENDOP_ADD},
    {"ScissorTestEnable", D3DRS_SCISSORTESTENABLE, ValueKind::Bool, FALSE},
    {"SlopeScaleDepthBias", D3DRS_SLOPESCALEDEPTHBIAS, ValueKind::Float, 0},
    {"AntialiasedLineEnable", D3DRS_ANTIALIASEDLINEENABLE, ValueKind::Bool, FALSE},
    {"TwoSidedStencilMode", D3DRS_TWOSIDEDSTENCILMODE, ValueKind::Bool, FALSE},
    {"CCW_StencilFail", D3DRS_CCW_STENCILFAIL, ValueKind::StencilOp, D3DSTENCILOP_KEEP},
    {"CCW_StencilZFail", D3DRS_CCW_STENCILZFAIL, ValueKind::StencilOp, D3DSTENCILOP_KEEP},
    {"CCW_StencilPass", D3DRS_CCW_STENCILPASS, ValueKind::StencilOp, D3DSTENCILOP_KEEP},
    {"CCW_StencilFunc", D3DRS_CCW_STENCILFUNC, ValueKind::Cmp, D3DCMP_ALWAYS},
    {"ColorWriteEnable1", D3DRS_COLORWRITEENABLE1, ValueKind::ColorWrite, 0xF},
    {"ColorWriteEnable2", D3DRS_COLORWRITEENABLE2, ValueKind::ColorWrite, 0xF},
    {"ColorWriteEnable3", D3DRS_COLORWRITEENABLE3, ValueKind::ColorWrite, 0xF},
    {"BlendFactor", D3DRS_BLENDFACTOR, ValueKind::Number, 0xFFFFFFFFu},
    {"SRGBWriteEnable", D3DRS_SRGBWRITEENABLE, ValueKind::Bool, FALSE},
    {"DepthBias", D3DRS_DEPTHBIAS, ValueKind::Float, 0},
    {"SeparateAlphaBlendEnable", D3DRS_SEPARATEALPHABLENDENABLE, ValueKind::Bool, FALSE},
    {"SrcBlendAlpha", D3DRS_SRCBLENDALPHA, ValueKind::Blend, D3DBLEND_ONE},
    {"DestBlendAlpha", D3DRS_DESTBLENDALPHA, ValueKind::Blend, D3DBLEND_ZERO},
    {"BlendOpAlpha", D3DRS_BLENDOPALPHA, ValueKind::BlendOp, D3DBLENDOP_ADD},
};

struct SamplerStateName {
    const char* name;
    D3DSAMPLERSTATETYPE type;
    ValueKind kind;
    DWORD defaultValue;
};

const SamplerStateName kSamplerStates[] = {
    {"AddressU", D3DSAMP_ADDRESSU, ValueKind::Address, D3DTADDRESS_WRAP},
    {"AddressV", D3DSAMP_ADDRESSV, ValueKind::Address, D3DTADDRESS_WRAP},
    {"AddressW", D3DSAMP_ADDRESSW, ValueKind::Address, D3DTADDRESS_WRAP},
    {"BorderColor", D3DSAMP_BORDERCOLOR, ValueKind::Number, 0},
    {"MagFilter", D3DSAMP_MAGFILTER, ValueKind::Filter, D3DTEXF_POINT},
    {"MinFilter", D3DSAMP_MINFILTER, ValueKind::Filter, D3DTEXF_POINT},
    {"MipFilter", D3DSAMP_MIPFILTER, ValueKind::Filter, D3DTEXF_NONE},
    {"MipMapLodBias", D3DSAMP_MIPMAPLODBIAS, ValueKind::Float, 0},
    {"MaxMipLevel", D3DSAMP_MAXMIPLEVEL, ValueKind::Number, 0},
    {"MaxAnisotropy", D3DSAMP_MAXANISOTROPY, ValueKind::Number, 1},
    {"SRGBTexture", D3DSAMP_SRGBTEXTURE, ValueKind::Bool, 0},
};

// ---- the parser -----------------------------------------------------------------------------

class Parser {
public:
    Parser(const char* text, size_t size, VornFxDescription* out)
        : src_(text), size_(size), out_(out), toks_(Tokenize(text, size))
    {
        out_->hlsl.assign(text, size);
    }

    bool Run(std::string* error)
    {
        while (Peek().kind != TokKind::End) {
            if (!TopLevel()) {
                if (error) *error = error_;
                return false;
            }
        }
        return true;
    }

private:
    const Token& Peek(size_t ahead = 0) const
    {
        size_t i = pos_ + ahead;
        return i < toks_.size() ? toks_[i] : toks_.back();
    }
    const Token& Next()
    {
        const Token& t = Peek();
        if (pos_ + 1 < toks_.size()) ++pos_;
        return t;
    }
    bool IsPunct(const Token& t, char c) const { return t.kind == TokKind::Punct && t.text[0] == c; }
    bool Accept(char c)
    {
        if (IsPunct(Peek(), c)) { Next(); return true; }
        return false;
    }
    bool Fail(const Token& at, const std::string& message)
    {
        char head[32];
        snprintf(head, sizeof head, "(%d): ", at.line);
        error_ = head + message;
        return false;
    }
    bool Expect(char c)
    {
        if (Accept(c)) return true;
        const Token& t = Peek();
        return Fail(t, std::string("'") + c + "' expected" +
                           (t.kind == TokKind::End ? std::string(" before the end") : " at '" + t.text + "'"));
    }
    void Blank(size_t begin, size_t end)
    {
        for (size_t i = begin; i < end && i < out_->hlsl.size(); ++i)
            if (out_->hlsl[i] != '\n' && out_->hlsl[i] != '\r') out_->hlsl[i] = ' ';
    }
    std::string Text(size_t begin, size_t end) const { return std::string(src_ + begin, end - begin); }

    // Skips a balanced group starting at the current opening token; returns false at the end.
    bool SkipGroup(char open, char close)
    {
        const Token& first = Peek();
        int depth = 0;
        do {
            const Token& t = Next();
            if (t.kind == TokKind::End) return Fail(first, std::string("unclosed '") + open + "'");
            if (IsPunct(t, open)) ++depth;
            else if (IsPunct(t, close)) --depth;
        } while (depth > 0);
        return true;
    }

    bool TopLevel()
    {
        const Token& t = Peek();
        if (IsPunct(t, ';')) { Next(); return true; }
        if (t.kind == TokKind::Ident && (EqualNoCase(t.text, "technique") || EqualNoCase(t.text, "technique9")))
            return Technique();
        if (t.kind == TokKind::Ident && t.text == "struct") {
            Next();
            if (Peek().kind == TokKind::Ident) Next();
            if (!IsPunct(Peek(), '{')) return Fail(Peek(), "'{' expected after struct");
            if (!SkipGroup('{', '}')) return false;
            while (!IsPunct(Peek(), ';')) {
                if (Peek().kind == TokKind::End) return Fail(Peek(), "';' expected after struct");
                Next();
            }
            Next();
            return true;
        }
        if (t.kind == TokKind::Ident && t.text == "typedef") {
            while (!IsPunct(Peek(), ';')) {
                if (Peek().kind == TokKind::End) return Fail(t, "';' expected after typedef");
                Next();
            }
            Next();
            return true;
        }
        if (t.kind != TokKind::Ident) return Fail(t, "unexpected '" + t.text + "'");
        return Declaration();
    }

    // ---- types ----

    static bool ScalarType(const std::string& s, VornFxBaseType* type, size_t* rest)
    {
        static const struct { const char* name; VornFxBaseType type; } kScalars[] = {
            {"bool", VornFxBaseType::Bool}, {"int", VornFxBaseType::Int}, {"uint", VornFxBaseType::Int},
            {"dword", VornFxBaseType::Int}, {"half", VornFxBaseType::Float}, {"float", VornFxBaseType::Float},
            {"double", VornFxBaseType::Float},
        };
        for (const auto& k : kScalars) {
            size_t n = strlen(k.name);
            if (s.compare(0, n, k.name) == 0) {
                *type = k.type;
                *rest = n;
                return true;
            }
        }
        return false;
    }

    // Reads a type at the current token into the description; consumes it.
    bool Type(VornFxParameterDesc* p)
    {
        const Token& t = Next();
        const std::string& s = t.text;
        VornFxBaseType base;
        size_t rest;
        for (const char* name : {"texture", "texture1D", "texture2D", "texture3D", "textureCUBE"}) {
            if (EqualNoCase(s, name)) {
                p->type = VornFxBaseType::Texture;
                return true;
            }
        }
        for (const char* name : {"sampler", "sampler1D", "sampler2D", "sampler3D", "samplerCUBE"}) {
            if (EqualNoCase(s, name)) {
                p->type = VornFxBaseType::Sampler;
                return true;
            }
        }
        if (s == "string") {
            p->type = VornFxBaseType::String;
            return true;
        }
        if (s == "vector" || s == "matrix") {
            p->type = VornFxBaseType::Float;
            p->rows = s == "matrix" ? 4 : 1;
            p->columns = 4;
            if (IsPunct(Peek(), '<')) {   // vector<float, 3>, matrix<float, 4, 3>
                Next();
                VornFxParameterDesc inner;
                if (!Type(&inner)) return false;
                p->type = inner.type;
                std::vector<uint32_t> dims;
                while (Accept(',')) {
                    if (Peek().kind != TokKind::Number) return Fail(Peek(), "size expected in '" + s + "<>'");
                    dims.push_back(static_cast<uint32_t>(strtoul(Next().text.c_str(), nullptr, 0)));
                }
                if (!Expect('>')) return false;
                if (s == "vector" && dims.size() == 1) p->columns = dims[0];
                if (s == "matrix" && dims.size() == 2) { p->rows = dims[0]; p->columns = dims[1]; }
            }
            return true;
        }
        if (ScalarType(s, &base, &rest)) {
            const char* dims = s.c_str() + rest;
            if (*dims == '\0') {
                p->type = base;
                return true;
            }
            if (dims[0] >= '1' && dims[0] <= '4') {
                if (dims[1] == '\0') {
                    p->type = base;
                    p->columns = static_cast<uint32_t>(dims[0] - '0');
                    return true;
                }
                if (dims[1] == 'x' && dims[2] >= '1' && dims[2] <= '4' && dims[3] == '\0') {
                    p->type = base;
                    p->rows = static_cast<uint32_t>(dims[0] - '0');
                    p->columns = static_cast<uint32_t>(dims[2] - '0');
                    return true;
                }
            }
        }
        p->type = VornFxBaseType::Other;   // a struct or a type this layer does not set
        return true;
    }

    static bool IsModifier(const std::string& s)
    {
        static const char* kMods[] = {"static", "uniform", "extern", "shared", "const", "volatile",
                                      "row_major", "column_major", "inline", "precise"};
        for (const char* m : kMods)
            if (s == m) return true;
        return false;
    }

    // ---- declarations and functions ----

    bool Declaration()
    {
        const Token& first = Peek();
        const size_t statementBegin = first.begin;
        bool isStatic = false;
        std::string modifiers;
        while (Peek().kind == TokKind::Ident && IsModifier(Peek().text)) {
            const Token& m = Next();
            if (m.text == "static") isStatic = true;
            if (m.text == "shared") Blank(m.begin, m.end);   // effect pools only
            modifiers += m.text + " ";
        }
        if (Peek().kind != TokKind::Ident) return Fail(Peek(), "type expected at '" + Peek().text + "'");
        const size_t typeBegin = Peek().begin;
        VornFxParameterDesc type;
        type.line = Peek().line;
        if (!Type(&type)) return false;
        const size_t typeEnd = toks_[pos_ - 1].end;

        if (Peek().kind != TokKind::Ident) return Fail(Peek(), "name expected at '" + Peek().text + "'");
        if (IsPunct(Peek(1), '(')) return Function(modifiers + Text(typeBegin, typeEnd));

        bool wholeStatementOut = !isStatic && (type.type == VornFxBaseType::Texture || type.type == VornFxBaseType::String);
        for (;;) {
            if (Peek().kind != TokKind::Ident) return Fail(Peek(), "name expected at '" + Peek().text + "'");
            VornFxParameterDesc p = type;
            p.name = Next().text;
            p.line = toks_[pos_ - 1].line;
            if (Accept('[')) {
                if (Peek().kind != TokKind::Number) return Fail(Peek(), "array size of '" + p.name + "' must be a number");
                p.elements = static_cast<uint32_t>(strtoul(Next().text.c_str(), nullptr, 0));
                if (p.elements == 0 || p.elements > 65536) return Fail(Peek(), "bad array size of '" + p.name + "'");
                if (!Expect(']')) return false;
            }
            if (Accept(':')) {   // semantic or register binding
                if (Peek().kind != TokKind::Ident) return Fail(Peek(), "semantic expected after ':'");
                const Token& sem = Next();
                if (IsPunct(Peek(), '(')) {
                    if (!SkipGroup('(', ')')) return false;
                } else {
                    p.semantic = sem.text;
                }
            }
            if (IsPunct(Peek(), '<')) {   // annotations
                const size_t b = Peek().begin;
                while (!IsPunct(Peek(), '>')) {
                    if (Peek().kind == TokKind::End) return Fail(Peek(), "annotation of '" + p.name + "' not closed");
                    Next();
                }
                Blank(b, Next().end);
            }
            if (IsPunct(Peek(), '=')) {
                const size_t b = Next().begin;
                if (!Initialiser(&p)) return false;
                if (!isStatic) Blank(b, toks_[pos_ - 1].end);
            }
            if (!isStatic) out_->parameters.push_back(p);
            if (Accept(',')) continue;
            if (!IsPunct(Peek(), ';')) return Fail(Peek(), "';' expected after '" + p.name + "'");
            const Token& semi = Next();
            if (wholeStatementOut) Blank(statementBegin, semi.end);
            return true;
        }
    }

    bool Initialiser(VornFxParameterDesc* p)
    {
        if (Peek().kind == TokKind::Ident && EqualNoCase(Peek().text, "sampler_state")) {
            Next();
            if (!Expect('{')) return false;
            while (!Accept('}')) {
                if (!SamplerAssignment(p)) return false;
            }
            return true;
        }
        if (p->type == VornFxBaseType::String) {
            if (Peek().kind != TokKind::String) return Fail(Peek(), "string expected for '" + p->name + "'");
            const std::string& s = Next().text;
            p->stringValue = s.size() >= 2 ? s.substr(1, s.size() - 2) : std::string();
            return true;
        }
        int depth = 0;
        bool negative = false;
        for (;;) {
            const Token& t = Peek();
            if (t.kind == TokKind::End) return Fail(t, "';' expected after the value of '" + p->name + "'");
            if (depth == 0 && (IsPunct(t, ';') || IsPunct(t, ','))) return true;
            Next();
            if (IsPunct(t, '{') || IsPunct(t, '(')) ++depth;
            else if (IsPunct(t, '}') || IsPunct(t, ')')) --depth;
            else if (IsPunct(t, '-')) { negative = !negative; continue; }
            else if (t.kind == TokKind::Number) {
                double v = t.text.size() > 1 && (t.text[1] == 'x' || t.text[1] == 'X')
                               ? static_cast<double>(strtoul(t.text.c_str(), nullptr, 16))
                               : strtod(t.text.c_str(), nullptr);
                p->initial.push_back(negative ? -v : v);
            } else if (t.kind == TokKind::Ident && (t.text == "true" || t.text == "TRUE")) {
                p->initial.push_back(1.0);
            } else if (t.kind == TokKind::Ident && (t.text == "false" || t.text == "FALSE")) {
                p->initial.push_back(0.0);
            }
            negative = false;
        }
    }

    bool SamplerAssignment(VornFxParameterDesc* p)
    {
        const Token& name = Next();
        if (name.kind != TokKind::Ident) return Fail(name, "sampler state expected at '" + name.text + "'");
        if (!Expect('=')) return false;
        if (EqualNoCase(name.text, "Texture")) {
            const bool angle = Accept('<');
            const bool paren = !angle && Accept('(');
            if (Peek().kind != TokKind::Ident) return Fail(Peek(), "texture name expected in sampler '" + p->name + "'");
            p->samplerTexture = Next().text;
            if (EqualNoCase(p->samplerTexture, "NULL")) p->samplerTexture.clear();
            if (angle && !Expect('>')) return false;
            if (paren && !Expect(')')) return false;
            return Expect(';');
        }
        for (const auto& s : kSamplerStates) {
            if (EqualNoCase(name.text, s.name)) {
                DWORD v;
                if (!Value(s.kind, name.text, &v)) return false;
                p->samplerStates.push_back({s.type, v});
                return Expect(';');
            }
        }
        return Fail(name, "unknown sampler state '" + name.text + "'");
    }

    // A state value up to the ';': names of the state's kind, numbers, TRUE/FALSE, joined by '|'.
    bool Value(ValueKind kind, const std::string& stateName, DWORD* out)
    {
        DWORD result = 0;
        bool any = false;
        for (;;) {
            int parens = 0;
            while (Accept('(')) ++parens;
            bool negative = Accept('-');
            const Token& t = Next();
            DWORD v = 0;
            if (t.kind == TokKind::Number) {
                const bool hex = t.text.size() > 1 && (t.text[1] == 'x' || t.text[1] == 'X');
                const bool isFloat = !hex && t.text.find_first_of(".eE") != std::string::npos;
                if (kind == ValueKind::Float) {
                    double d = hex ? static_cast<double>(strtoul(t.text.c_str(), nullptr, 16)) : strtod(t.text.c_str(), nullptr);
                    v = FloatBits(static_cast<float>(negative ? -d : d));
                } else if (isFloat) {
                    double d = strtod(t.text.c_str(), nullptr);
                    v = static_cast<DWORD>(static_cast<long>(negative ? -d : d));
                } else {
                    v = static_cast<DWORD>(strtoul(t.text.c_str(), nullptr, 0));
                    if (negative) v = static_cast<DWORD>(0u - v);
                }
            } else if (t.kind == TokKind::Ident) {
                bool found = false;
                if (EqualNoCase(t.text, "TRUE")) { v = 1; found = true; }
                else if (EqualNoCase(t.text, "FALSE")) { v = 0; found = true; }
                if (const NamedValue* names = NamesOf(kind)) {
                    for (; names->name && !found; ++names)
                        if (EqualNoCase(t.text, names->name)) { v = names->value; found = true; }
                }
                if (!found) return Fail(t, "unknown value '" + t.text + "' for '" + stateName + "'");
                if (kind == ValueKind::Float) v = FloatBits(static_cast<float>(v));
            } else {
                return Fail(t, "value expected for '" + stateName + "'");
            }
            while (parens-- > 0)
                if (!Expect(')')) return false;
            result = any ? (result | v) : v;
            any = true;
            if (!Accept('|')) break;
        }
        *out = result;
        return true;
    }

    bool Function(const std::string& returnType)
    {
        VornFxFunctionDesc f;
        f.name = Next().text;
        f.returnType = returnType;
        const size_t open = Peek().end;
        if (!SkipGroup('(', ')')) return false;
        const size_t close = toks_[pos_ - 1].begin;
        f.parameters = Text(open, close);
        const size_t afterParams = toks_[pos_ - 1].end;
        while (!IsPunct(Peek(), '{') && !IsPunct(Peek(), ';')) {
            if (Peek().kind == TokKind::End) return Fail(Peek(), "body of '" + f.name + "' expected");
            Next();
        }
        f.semantic = Text(afterParams, Peek().begin);
        if (IsPunct(Peek(), ';')) {   // a declaration only
            Next();
            return true;
        }
        if (!SkipGroup('{', '}')) return false;
        out_->functions.push_back(f);
        return true;
    }

    // ---- techniques ----

    bool SkipAnnotation()
    {
        if (!IsPunct(Peek(), '<')) return true;
        while (!IsPunct(Peek(), '>')) {
            if (Peek().kind == TokKind::End) return Fail(Peek(), "annotation not closed");
            Next();
        }
        Next();
        return true;
    }

    bool Technique()
    {
        const size_t begin = Next().begin;
        VornFxTechniqueDesc tech;
        if (Peek().kind == TokKind::Ident) tech.name = Next().text;
        if (!SkipAnnotation() || !Expect('{')) return false;
        while (!Accept('}')) {
            const Token& t = Next();
            if (t.kind != TokKind::Ident || !EqualNoCase(t.text, "pass"))
                return Fail(t, "'pass' expected in technique '" + tech.name + "' at '" + t.text + "'");
            VornFxPassDesc pass;
            if (Peek().kind == TokKind::Ident) pass.name = Next().text;
            if (!SkipAnnotation() || !Expect('{')) return false;
            while (!Accept('}')) {
                if (!PassAssignment(&pass)) return false;
            }
            tech.passes.push_back(pass);
        }
        Blank(begin, toks_[pos_ - 1].end);
        out_->techniques.push_back(tech);
        return true;
    }

    bool ShaderAssignment(VornFxShaderDesc* shader, const std::string& stateName)
    {
        shader->assigned = true;
        shader->line = Peek().line;
        if (Peek().kind == TokKind::Ident && EqualNoCase(Peek().text, "NULL")) {
            Next();
            return Expect(';');
        }
        if (!(Peek().kind == TokKind::Ident && EqualNoCase(Peek().text, "compile")))
            return Fail(Peek(), stateName + " must be 'compile profile function(...)' or NULL");
        Next();
        if (Peek().kind != TokKind::Ident) return Fail(Peek(), "shader profile expected");
        shader->profile = Next().text;
        if (Peek().kind != TokKind::Ident) return Fail(Peek(), "shader function expected");
        shader->function = Next().text;
        if (!Expect('(')) return false;
        if (!Accept(')')) {
            for (;;) {
                const size_t b = Peek().begin;
                int depth = 0;
                while (depth > 0 || (!IsPunct(Peek(), ',') && !IsPunct(Peek(), ')'))) {
                    const Token& t = Next();
                    if (t.kind == TokKind::End) return Fail(t, "')' expected after the shader arguments");
                    if (IsPunct(t, '(')) ++depth;
                    if (IsPunct(t, ')')) --depth;
                }
                shader->arguments.push_back(Text(b, toks_[pos_ - 1].end));
                if (Accept(')')) break;
                Next();   // ','
            }
        }
        return Expect(';');
    }

    bool PassAssignment(VornFxPassDesc* pass)
    {
        const Token& name = Next();
        if (name.kind != TokKind::Ident) return Fail(name, "pass state expected at '" + name.text + "'");
        if (IsPunct(Peek(), '['))
            return Fail(name, "unsupported pass state '" + name.text + "[]'");
        if (!Expect('=')) return false;
        if (EqualNoCase(name.text, "VertexShader")) return ShaderAssignment(&pass->vertexShader, name.text);
        if (EqualNoCase(name.text, "PixelShader")) return ShaderAssignment(&pass->pixelShader, name.text);
        for (const auto& s : kRenderStates) {
            if (EqualNoCase(name.text, s.name)) {
                DWORD v;
                if (!Value(s.kind, name.text, &v)) return false;
                pass->states.push_back({s.state, v});
                return Expect(';');
            }
        }
        return Fail(name, "unknown render state '" + name.text + "'");
    }

    const char* src_;
    size_t size_;
    VornFxDescription* out_;
    std::vector<Token> toks_;
    size_t pos_ = 0;
    std::string error_;
};

std::string Trim(const std::string& s)
{
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return std::string();
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

// Splits at commas outside brackets.
std::vector<std::string> SplitTopLevel(const std::string& s)
{
    std::vector<std::string> parts;
    int depth = 0;
    size_t start = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '(' || c == '[' || c == '{') ++depth;
        else if (c == ')' || c == ']' || c == '}') --depth;
        else if (c == ',' && depth == 0) {
            parts.push_back(Trim(s.substr(start, i - start)));
            start = i + 1;
        }
    }
    std::string last = Trim(s.substr(start));
    if (!last.empty() || !parts.empty()) parts.push_back(last);
    return parts;
}

// The identifiers of a parameter text, in order.
std::vector<std::string> Identifiers(const std::string& s)
{
    std::vector<std::string> ids;
    size_t i = 0;
    while (i < s.size()) {
        if (isalpha(static_cast<unsigned char>(s[i])) || s[i] == '_') {
            size_t b = i;
            while (i < s.size() && (isalnum(static_cast<unsigned char>(s[i])) || s[i] == '_')) ++i;
            ids.push_back(s.substr(b, i - b));
        } else {
            ++i;
        }
    }
    return ids;
}

}  // namespace

bool VornFxParse(const char* text, size_t size, VornFxDescription* out, std::string* error)
{
    *out = VornFxDescription();
    if (!text) {
        if (error) *error = "(0): no effect text";
        return false;
    }
    size = strnlen(text, size);   // a terminator inside the buffer ends the text
    if (size >= 3 && memcmp(text, "\xEF\xBB\xBF", 3) == 0) {   // a UTF-8 byte-order mark from an editor
        text += 3;
        size -= 3;
    }
    Parser parser(text, size, out);
    return parser.Run(error);
}

std::string VornFxEntryPoint(const VornFxDescription& desc, const VornFxShaderDesc& shader, std::string* hlsl,
                             std::string* error)
{
    const VornFxFunctionDesc* f = nullptr;
    for (const auto& fn : desc.functions)
        if (fn.name == shader.function) { f = &fn; break; }
    char head[32];
    snprintf(head, sizeof head, "(%d): ", shader.line);
    if (!f) {
        if (error) *error = head + std::string("shader function '") + shader.function + "' not found";
        return std::string();
    }
    if (shader.arguments.empty()) return f->name;

    std::vector<std::string> outer, call;
    size_t argument = 0;
    for (const std::string& param : SplitTopLevel(f->parameters)) {
        std::vector<std::string> ids = Identifiers(param.substr(0, param.find_first_of(":=[")));
        if (ids.empty()) continue;
        if (ids[0] == "uniform") {
            if (argument >= shader.arguments.size()) break;
            call.push_back("(" + shader.arguments[argument++] + ")");
        } else {
            outer.push_back(param);
            call.push_back(ids.back());
        }
    }
    if (argument != shader.arguments.size()) {
        if (error) *error = head + std::string("'") + f->name + "' takes other uniform arguments than the pass passes";
        return std::string();
    }
    static int counter = 0;
    std::string entry = "vornFxEntry" + std::to_string(++counter) + "_" + f->name;
    std::string ret;
    for (const std::string& id : Identifiers(f->returnType))
        if (id != "inline" && id != "static") ret += (ret.empty() ? "" : " ") + id;
    std::string text = "\n" + ret + " " + entry + "(";
    for (size_t i = 0; i < outer.size(); ++i) text += (i ? ", " : "") + outer[i];
    text += ")" + f->semantic + "\n{\n    " + (ret == "void" ? "" : "return ") + f->name + "(";
    for (size_t i = 0; i < call.size(); ++i) text += (i ? ", " : "") + call[i];
    text += ");\n}\n";
    *hlsl += text;
    return entry;
}

DWORD VornFxDefaultRenderState(D3DRENDERSTATETYPE state)
{
    for (const auto& s : kRenderStates)
        if (s.state == state) return s.defaultValue;
    return 0;
}

DWORD VornFxDefaultSamplerState(D3DSAMPLERSTATETYPE type)
{
    for (const auto& s : kSamplerStates)
        if (s.type == type) return s.defaultValue;
    return 0;
}
