#include "VornFxParser.h"
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

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
        if (c == '#' && lineStart) {   // preprocessor line, with continuations; "#line N" sets the line
            size_t k = i + 1;
            while (k < size && (src[k] == ' ' || src[k] == '\t')) ++k;
            if (size - k > 5 && memcmp(src + k, "line", 4) == 0 && (src[k + 4] == ' ' || src[k + 4] == '\t')) {
                long n = 0;
                for (k += 5; k < size && (src[k] == ' ' || src[k] == '\t'); ++k) {}
                for (; k < size && isdigit(static_cast<unsigned char>(src[k])) && n < 100000000; ++k) n = n * 10 + (src[k] - '0');
                if (n > 0) line = static_cast<int>(n) - 1;
            }
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
                       ColorWrite, MaterialSource, VertexBlend, Address, Filter, Wrap, TextureOp, TextureArg, TransformFlags,
                       TexCoordIndex };

struct NamedValue {
    const char* name;
    uint32_t value;
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

const NamedValue kWrap[] = {{"U", 1}, {"V", 2}, {"W", 4}, {"COORD0", 1}, {"COORD1", 2}, {"COORD2", 4}, {"COORD3", 8},
                            {nullptr, 0}};
const NamedValue kTextureOp[] = {
    {"DISABLE", 1}, {"SELECTARG1", 2}, {"SELECTARG2", 3}, {"MODULATE", 4}, {"MODULATE2X", 5}, {"MODULATE4X", 6},
    {"ADD", 7}, {"ADDSIGNED", 8}, {"ADDSIGNED2X", 9}, {"SUBTRACT", 10}, {"ADDSMOOTH", 11},
    {"BLENDDIFFUSEALPHA", 12}, {"BLENDTEXTUREALPHA", 13}, {"BLENDFACTORALPHA", 14}, {"BLENDTEXTUREALPHAPM", 15},
    {"BLENDCURRENTALPHA", 16}, {"PREMODULATE", 17}, {"MODULATEALPHA_ADDCOLOR", 18},
    {"MODULATECOLOR_ADDALPHA", 19}, {"MODULATEINVALPHA_ADDCOLOR", 20}, {"MODULATEINVCOLOR_ADDALPHA", 21},
    {"BUMPENVMAP", 22}, {"BUMPENVMAPLUMINANCE", 23}, {"DOTPRODUCT3", 24}, {"MULTIPLYADD", 25}, {"LERP", 26},
    {nullptr, 0}};
const NamedValue kTextureArg[] = {{"DIFFUSE", 0}, {"CURRENT", 1}, {"TEXTURE", 2}, {"TFACTOR", 3}, {"SPECULAR", 4},
                                  {"TEMP", 5}, {"CONSTANT", 6}, {"COMPLEMENT", 0x10}, {"ALPHAREPLICATE", 0x20},
                                  {nullptr, 0}};
const NamedValue kTransformFlags[] = {{"DISABLE", 0}, {"COUNT1", 1}, {"COUNT2", 2}, {"COUNT3", 3}, {"COUNT4", 4},
                                      {"PROJECTED", 256}, {nullptr, 0}};
const NamedValue kTexCoordIndex[] = {{"PASSTHRU", 0}, {"CAMERASPACENORMAL", 0x10000},
                                     {"CAMERASPACEPOSITION", 0x20000}, {"CAMERASPACEREFLECTIONVECTOR", 0x30000},
                                     {"SPHEREMAP", 0x40000}, {nullptr, 0}};

const NamedValue* NamesOf(ValueKind kind)
{
    switch (kind) {
    case ValueKind::Wrap: return kWrap;
    case ValueKind::TextureOp: return kTextureOp;
    case ValueKind::TextureArg: return kTextureArg;
    case ValueKind::TransformFlags: return kTransformFlags;
    case ValueKind::TexCoordIndex: return kTexCoordIndex;
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

uint32_t FloatBits(float f)
{
    uint32_t d;
    memcpy(&d, &f, 4);
    return d;
}

struct RenderStateName {
    const char* name;
    uint32_t state;
    ValueKind kind;
    uint32_t defaultValue;
};

const uint32_t kOne = 0x3F800000u;   // 1.0f

const RenderStateName kRenderStates[] = {
    {"ZEnable", 7, ValueKind::ZBuffer, 1},
    {"FillMode", 8, ValueKind::Fill, 3},
    {"ShadeMode", 9, ValueKind::Shade, 2},
    {"ZWriteEnable", 14, ValueKind::Bool, 1},
    {"AlphaTestEnable", 15, ValueKind::Bool, 0},
    {"LastPixel", 16, ValueKind::Bool, 1},
    {"SrcBlend", 19, ValueKind::Blend, 2},
    {"DestBlend", 20, ValueKind::Blend, 1},
    {"CullMode", 22, ValueKind::Cull, 3},
    {"ZFunc", 23, ValueKind::Cmp, 4},
    {"AlphaRef", 24, ValueKind::Number, 0},
    {"AlphaFunc", 25, ValueKind::Cmp, 8},
    {"DitherEnable", 26, ValueKind::Bool, 0},
    {"AlphaBlendEnable", 27, ValueKind::Bool, 0},
    {"FogEnable", 28, ValueKind::Bool, 0},
    {"SpecularEnable", 29, ValueKind::Bool, 0},
    {"FogColor", 34, ValueKind::Number, 0},
    {"FogTableMode", 35, ValueKind::Fog, 0},
    {"FogStart", 36, ValueKind::Float, 0},
    {"FogEnd", 37, ValueKind::Float, kOne},
    {"FogDensity", 38, ValueKind::Float, kOne},
    {"RangeFogEnable", 48, ValueKind::Bool, 0},
    {"StencilEnable", 52, ValueKind::Bool, 0},
    {"StencilFail", 53, ValueKind::StencilOp, 1},
    {"StencilZFail", 54, ValueKind::StencilOp, 1},
    {"StencilPass", 55, ValueKind::StencilOp, 1},
    {"StencilFunc", 56, ValueKind::Cmp, 8},
    {"StencilRef", 57, ValueKind::Number, 0},
    {"StencilMask", 58, ValueKind::Number, 0xFFFFFFFFu},
    {"StencilWriteMask", 59, ValueKind::Number, 0xFFFFFFFFu},
    {"TextureFactor", 60, ValueKind::Number, 0xFFFFFFFFu},
    {"Clipping", 136, ValueKind::Bool, 1},
    {"Lighting", 137, ValueKind::Bool, 1},
    {"Ambient", 139, ValueKind::Number, 0},
    {"FogVertexMode", 140, ValueKind::Fog, 0},
    {"ColorVertex", 141, ValueKind::Bool, 1},
    {"LocalViewer", 142, ValueKind::Bool, 1},
    {"NormalizeNormals", 143, ValueKind::Bool, 0},
    {"DiffuseMaterialSource", 145, ValueKind::MaterialSource, 1},
    {"SpecularMaterialSource", 146, ValueKind::MaterialSource, 2},
    {"AmbientMaterialSource", 147, ValueKind::MaterialSource, 0},
    {"EmissiveMaterialSource", 148, ValueKind::MaterialSource, 0},
    {"VertexBlend", 151, ValueKind::VertexBlend, 0},
    {"ClipPlaneEnable", 152, ValueKind::Number, 0},
    {"PointSize", 154, ValueKind::Float, kOne},
    {"PointSize_Min", 155, ValueKind::Float, kOne},
    {"PointSpriteEnable", 156, ValueKind::Bool, 0},
    {"PointScaleEnable", 157, ValueKind::Bool, 0},
    {"PointScale_A", 158, ValueKind::Float, kOne},
    {"PointScale_B", 159, ValueKind::Float, 0},
    {"PointScale_C", 160, ValueKind::Float, 0},
    {"MultiSampleAntialias", 161, ValueKind::Bool, 1},
    {"MultiSampleMask", 162, ValueKind::Number, 0xFFFFFFFFu},
    {"PointSize_Max", 166, ValueKind::Float, 0x42800000u},
    {"IndexedVertexBlendEnable", 167, ValueKind::Bool, 0},
    {"ColorWriteEnable", 168, ValueKind::ColorWrite, 0xF},
    {"TweenFactor", 170, ValueKind::Float, 0},
    {"BlendOp", 171, ValueKind::BlendOp, 1},
    {"ScissorTestEnable", 174, ValueKind::Bool, 0},
    {"SlopeScaleDepthBias", 175, ValueKind::Float, 0},
    {"AntialiasedLineEnable", 176, ValueKind::Bool, 0},
    {"TwoSidedStencilMode", 185, ValueKind::Bool, 0},
    {"CCW_StencilFail", 186, ValueKind::StencilOp, 1},
    {"CCW_StencilZFail", 187, ValueKind::StencilOp, 1},
    {"CCW_StencilPass", 188, ValueKind::StencilOp, 1},
    {"CCW_StencilFunc", 189, ValueKind::Cmp, 8},
    {"ColorWriteEnable1", 190, ValueKind::ColorWrite, 0xF},
    {"ColorWriteEnable2", 191, ValueKind::ColorWrite, 0xF},
    {"ColorWriteEnable3", 192, ValueKind::ColorWrite, 0xF},
    {"BlendFactor", 193, ValueKind::Number, 0xFFFFFFFFu},
    {"SRGBWriteEnable", 194, ValueKind::Bool, 0},
    {"DepthBias", 195, ValueKind::Float, 0},
    {"SeparateAlphaBlendEnable", 206, ValueKind::Bool, 0},
    {"SrcBlendAlpha", 207, ValueKind::Blend, 2},
    {"DestBlendAlpha", 208, ValueKind::Blend, 1},
    {"BlendOpAlpha", 209, ValueKind::BlendOp, 1},
    {"Wrap0", 128, ValueKind::Wrap, 0},
    {"Wrap1", 129, ValueKind::Wrap, 0},
    {"Wrap2", 130, ValueKind::Wrap, 0},
    {"Wrap3", 131, ValueKind::Wrap, 0},
    {"Wrap4", 132, ValueKind::Wrap, 0},
    {"Wrap5", 133, ValueKind::Wrap, 0},
    {"Wrap6", 134, ValueKind::Wrap, 0},
    {"Wrap7", 135, ValueKind::Wrap, 0},
    {"Wrap8", 198, ValueKind::Wrap, 0},
    {"Wrap9", 199, ValueKind::Wrap, 0},
    {"Wrap10", 200, ValueKind::Wrap, 0},
    {"Wrap11", 201, ValueKind::Wrap, 0},
    {"Wrap12", 202, ValueKind::Wrap, 0},
    {"Wrap13", 203, ValueKind::Wrap, 0},
    {"Wrap14", 204, ValueKind::Wrap, 0},
    {"Wrap15", 205, ValueKind::Wrap, 0},
};

struct SamplerStateName {
    const char* name;
    uint32_t type;
    ValueKind kind;
    uint32_t defaultValue;
};

// Defaults: stage 0 modulates and selects the texture alpha, the others are off; texture
// coordinates by stage.
const SamplerStateName kTextureStageStates[] = {
    {"ColorOp", 1, ValueKind::TextureOp, 1},
    {"ColorArg0", 26, ValueKind::TextureArg, 1},
    {"ColorArg1", 2, ValueKind::TextureArg, 2},
    {"ColorArg2", 3, ValueKind::TextureArg, 1},
    {"AlphaOp", 4, ValueKind::TextureOp, 1},
    {"AlphaArg0", 27, ValueKind::TextureArg, 1},
    {"AlphaArg1", 5, ValueKind::TextureArg, 2},
    {"AlphaArg2", 6, ValueKind::TextureArg, 1},
    {"ResultArg", 28, ValueKind::TextureArg, 1},
    {"BumpEnvMat00", 7, ValueKind::Float, 0},
    {"BumpEnvMat01", 8, ValueKind::Float, 0},
    {"BumpEnvMat10", 9, ValueKind::Float, 0},
    {"BumpEnvMat11", 10, ValueKind::Float, 0},
    {"BumpEnvLScale", 22, ValueKind::Float, 0},
    {"BumpEnvLOffset", 23, ValueKind::Float, 0},
    {"TexCoordIndex", 11, ValueKind::TexCoordIndex, 0},
    {"TextureTransformFlags", 24, ValueKind::TransformFlags, 0},
    {"Constant", 32, ValueKind::Number, 0},
};

const SamplerStateName kSamplerStates[] = {
    {"AddressU", 1, ValueKind::Address, 1},
    {"AddressV", 2, ValueKind::Address, 1},
    {"AddressW", 3, ValueKind::Address, 1},
    {"BorderColor", 4, ValueKind::Number, 0},
    {"MagFilter", 5, ValueKind::Filter, 1},
    {"MinFilter", 6, ValueKind::Filter, 1},
    {"MipFilter", 7, ValueKind::Filter, 0},
    {"MipMapLodBias", 8, ValueKind::Float, 0},
    {"MaxMipLevel", 9, ValueKind::Number, 0},
    {"MaxAnisotropy", 10, ValueKind::Number, 1},
    {"SRGBTexture", 11, ValueKind::Bool, 0},
};


// ---- the parser -----------------------------------------------------------------------------

bool IsScalarTypeName(const std::string& s)
{
    static const char* kNames[] = {"bool", "int", "uint", "dword", "half", "float", "double"};
    for (const char* n : kNames) {
        const size_t len = strlen(n);
        if (s.compare(0, len, n) != 0) continue;
        const char* d = s.c_str() + len;
        if (*d == '\0') return true;
        if (d[0] >= '1' && d[0] <= '4' && (d[1] == '\0' || (d[1] == 'x' && d[2] >= '1' && d[2] <= '4' && d[3] == '\0')))
            return true;
    }
    return s == "vector" || s == "matrix";
}

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
    const Token& Last() const { return toks_[pos_ > 0 ? pos_ - 1 : 0]; }
    static bool IsPunct(const Token& t, char c) { return t.kind == TokKind::Punct && t.text[0] == c; }
    bool IsIdent(const Token& t, const char* name) const { return t.kind == TokKind::Ident && EqualNoCase(t.text, name); }
    bool Accept(char c)
    {
        if (IsPunct(Peek(), c)) { Next(); return true; }
        return false;
    }
    // Two punctuation tokens written together ("<=", "&&").
    bool PeekPair(char a, char b) const
    {
        return IsPunct(Peek(), a) && IsPunct(Peek(1), b) && Peek().end == Peek(1).begin;
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
    std::string Text(size_t begin, size_t end) const
    {
        return end > begin && end <= size_ ? std::string(src_ + begin, end - begin) : std::string();
    }

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
        if (IsIdent(t, "technique") || IsIdent(t, "technique9")) return Technique();
        if (t.kind == TokKind::Ident && (t.text == "struct" || t.text == "typedef")) {
            Next();
            if (Peek().kind == TokKind::Ident) Next();
            if (IsPunct(Peek(), '{') && !SkipGroup('{', '}')) return false;
            while (!IsPunct(Peek(), ';')) {
                if (Peek().kind == TokKind::End) return Fail(t, "';' expected after " + t.text);
                Next();
            }
            Next();
            return true;
        }
        if (t.kind != TokKind::Ident) return Fail(t, "unexpected '" + t.text + "'");
        return Declaration();
    }

    // ---- constant expressions ----

    const VornFxParameterDesc* FindParameter(const std::string& name) const
    {
        for (const auto& p : out_->parameters)
            if (p.name == name) return &p;
        return nullptr;
    }
    const double* FindConstant(const std::string& name) const
    {
        for (const auto& c : constants_)
            if (c.first == name) return &c.second;
        return nullptr;
    }

    bool Integer(const Token& at, double v, int64_t* out)
    {
        if (!(v >= -9.2e18 && v <= 9.2e18)) return Fail(at, "number out of range");
        *out = static_cast<int64_t>(v);
        return true;
    }

    // A constant expression: numbers, TRUE/FALSE, static const scalars, the named values of
    // `names` (state values), with C's operators. '>' ends the value at the outer level when
    // `stopAtGreater` (annotations).
    bool Expression(double* out, const NamedValue* names, bool stopAtGreater) { return Binary(out, 0, names, stopAtGreater); }

    int Precedence(bool stopAtGreater, int* width) const
    {
        *width = 1;
        const Token& t = Peek();
        if (t.kind != TokKind::Punct) return -1;
        const bool greaterAllowed = !stopAtGreater || parens_ > 0;
        if (PeekPair('|', '|')) { *width = 2; return 1; }
        if (PeekPair('&', '&')) { *width = 2; return 2; }
        if (PeekPair('=', '=') || PeekPair('!', '=')) { *width = 2; return 6; }
        if (PeekPair('<', '<')) { *width = 2; return 8; }
        if (PeekPair('>', '>')) { *width = 2; return greaterAllowed ? 8 : -1; }
        if (PeekPair('<', '=')) { *width = 2; return 7; }
        if (PeekPair('>', '=')) { *width = 2; return greaterAllowed ? 7 : -1; }
        switch (t.text[0]) {
        case '|': return 3;
        case '^': return 4;
        case '&': return 5;
        case '<': return 7;
        case '>': return greaterAllowed ? 7 : -1;
        case '+': case '-': return 9;
        case '*': case '/': case '%': return 10;
        default: return -1;
        }
    }

    bool Binary(double* out, int minPrecedence, const NamedValue* names, bool stopAtGreater)
    {
        if (++depth_ > VORN_FX_MAX_NESTING) return Fail(Peek(), "expression nested too deeply");
        if (!Unary(out, names, stopAtGreater)) return false;
        for (;;) {
            int width;
            const int prec = Precedence(stopAtGreater, &width);
            if (prec < 0 || prec < minPrecedence) break;
            const Token& op = Peek();
            const std::string opText = Text(op.begin, op.begin + width);
            for (int i = 0; i < width; ++i) Next();
            double rhs;
            if (!Binary(&rhs, prec + 1, names, stopAtGreater)) return false;
            const double a = *out;
            int64_t x = 0, y = 0;
            const bool integral = opText == "%" || opText == "|" || opText == "^" || opText == "&" || opText == "<<" ||
                                  opText == ">>";
            if (integral && (!Integer(op, a, &x) || !Integer(op, rhs, &y))) return false;
            if (opText == "+") *out = a + rhs;
            else if (opText == "-") *out = a - rhs;
            else if (opText == "*") *out = a * rhs;
            else if (opText == "/") {
                if (rhs == 0) return Fail(op, "division by zero");
                *out = a / rhs;
            } else if (opText == "%") {
                if (y == 0) return Fail(op, "division by zero");
                *out = static_cast<double>(x % y);
            } else if (opText == "|") *out = static_cast<double>(x | y);
            else if (opText == "^") *out = static_cast<double>(x ^ y);
            else if (opText == "&") *out = static_cast<double>(x & y);
            else if (opText == "<<" || opText == ">>") {
                if (y < 0 || y > 62) return Fail(op, "shift out of range");
                *out = static_cast<double>(opText == "<<" ? static_cast<int64_t>(static_cast<uint64_t>(x) << y) : x >> y);
            } else if (opText == "||") *out = (a != 0 || rhs != 0) ? 1 : 0;
            else if (opText == "&&") *out = (a != 0 && rhs != 0) ? 1 : 0;
            else if (opText == "==") *out = a == rhs ? 1 : 0;
            else if (opText == "!=") *out = a != rhs ? 1 : 0;
            else if (opText == "<") *out = a < rhs ? 1 : 0;
            else if (opText == ">") *out = a > rhs ? 1 : 0;
            else if (opText == "<=") *out = a <= rhs ? 1 : 0;
            else if (opText == ">=") *out = a >= rhs ? 1 : 0;
        }
        --depth_;
        return true;
    }

    bool Unary(double* out, const NamedValue* names, bool stopAtGreater)
    {
        if (++depth_ > VORN_FX_MAX_NESTING) return Fail(Peek(), "expression nested too deeply");
        const Token& t = Next();
        bool ok = true;
        if (IsPunct(t, '-') || IsPunct(t, '+') || IsPunct(t, '!') || IsPunct(t, '~')) {
            ok = Unary(out, names, stopAtGreater);
            if (ok && IsPunct(t, '-')) *out = -*out;
            if (ok && IsPunct(t, '!')) *out = *out == 0 ? 1 : 0;
            int64_t x = 0;
            if (ok && IsPunct(t, '~')) {
                ok = Integer(t, *out, &x);
                *out = static_cast<double>(~x);
            }
        } else if (IsPunct(t, '(')) {
            if (Peek().kind == TokKind::Ident && IsScalarTypeName(Peek().text) && IsPunct(Peek(1), ')')) {
                const std::string type = Next().text;   // a cast: (int)2.7
                Next();
                ok = Unary(out, names, stopAtGreater);
                if (ok && (type == "int" || type == "uint" || type == "dword")) *out = std::trunc(*out);
                if (ok && type == "bool") *out = *out != 0 ? 1 : 0;
            } else {
                ++parens_;
                ok = Binary(out, 0, names, stopAtGreater) && Expect(')');
                --parens_;
            }
        } else if (t.kind == TokKind::Number) {
            const bool hex = t.text.size() > 1 && (t.text[1] == 'x' || t.text[1] == 'X');
            *out = hex ? static_cast<double>(strtoull(t.text.c_str(), nullptr, 16)) : strtod(t.text.c_str(), nullptr);
            if (!std::isfinite(*out)) ok = Fail(t, "number out of range");
        } else if (t.kind == TokKind::Ident) {
            bool found = false;
            if (EqualNoCase(t.text, "TRUE")) { *out = 1; found = true; }
            else if (EqualNoCase(t.text, "FALSE")) { *out = 0; found = true; }
            for (const NamedValue* n = names; n && n->name && !found; ++n)
                if (EqualNoCase(t.text, n->name)) { *out = n->value; found = true; }
            if (!found) {
                if (const double* c = FindConstant(t.text)) { *out = *c; found = true; }
            }
            if (!found) ok = Fail(t, (names ? "unknown value '" : "'") + t.text + (names ? "'" : "' is not a constant"));
        } else {
            ok = Fail(t, t.kind == TokKind::End ? "value expected before the end" : "value expected at '" + t.text + "'");
        }
        --depth_;
        return ok;
    }

    // Values of an initialiser: numbers, expressions, { lists } and constructors float4(...),
    // flattened in order.
    bool Values(std::vector<double>* out, const Token& owner, bool stopAtGreater)
    {
        if (++depth_ > VORN_FX_MAX_NESTING) return Fail(Peek(), "initialiser nested too deeply");
        bool ok = true;
        const bool brace = IsPunct(Peek(), '{');
        const bool constructor = Peek().kind == TokKind::Ident && IsScalarTypeName(Peek().text) && IsPunct(Peek(1), '(');
        if (brace || constructor) {
            if (constructor) Next();
            const char close = brace ? '}' : ')';
            Next();
            while (ok && !Accept(close)) {
                ok = Values(out, owner, stopAtGreater);
                if (ok && !IsPunct(Peek(), close)) ok = Expect(',');
            }
        } else {
            double v;
            ok = Expression(&v, nullptr, stopAtGreater);
            if (ok) out->push_back(v);
        }
        if (ok && out->size() > VORN_FX_MAX_SCALARS) ok = Fail(owner, "too many values");
        --depth_;
        return ok;
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
        for (const char* name : {"texture", "texture1D", "texture2D", "texture3D", "textureCUBE"})
            if (EqualNoCase(s, name)) { p->type = VornFxBaseType::Texture; return true; }
        for (const char* name : {"sampler", "sampler1D", "sampler2D", "sampler3D", "samplerCUBE"})
            if (EqualNoCase(s, name)) { p->type = VornFxBaseType::Sampler; return true; }
        if (EqualNoCase(s, "VertexShader")) { p->type = VornFxBaseType::VertexShader; return true; }
        if (EqualNoCase(s, "PixelShader")) { p->type = VornFxBaseType::PixelShader; return true; }
        if (s == "string") { p->type = VornFxBaseType::String; return true; }
        if (s == "vector" || s == "matrix") {
            p->type = VornFxBaseType::Float;
            p->rows = s == "matrix" ? 4 : 1;
            p->columns = 4;
            if (Accept('<')) {   // vector<float, 3>, matrix<float, 4, 3>: the inner type is a scalar
                const Token& inner = Next();
                if (inner.kind != TokKind::Ident || !ScalarType(inner.text, &base, &rest) || inner.text.size() != rest)
                    return Fail(inner, "scalar type expected in '" + s + "<>'");
                p->type = base;
                uint32_t dims[2] = {0, 0};
                uint32_t count = 0;
                while (Accept(',')) {
                    double v;
                    if (count == 2 || !Expression(&v, nullptr, true)) return count == 2 ? Fail(Last(), "too many sizes in '" + s + "<>'") : false;
                    if (!(v >= 1 && v <= 4) || v != static_cast<uint32_t>(v)) return Fail(Last(), "size of '" + s + "<>' must be 1 to 4");
                    dims[count++] = static_cast<uint32_t>(v);
                }
                if (!Expect('>')) return false;
                if (s == "vector" && count == 1) p->columns = dims[0];
                else if (s == "matrix" && count == 2) { p->rows = dims[0]; p->columns = dims[1]; }
                else if (count != 0) return Fail(t, "wrong number of sizes in '" + s + "<>'");
            }
            return true;
        }
        if (ScalarType(s, &base, &rest)) {
            const char* dims = s.c_str() + rest;
            if (*dims == '\0') { p->type = base; return true; }
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

    // ---- annotations ----

    bool Annotations(std::vector<VornFxAnnotation>* out)
    {
        if (!Accept('<')) return true;
        while (!Accept('>')) {
            if (Peek().kind == TokKind::End) return Fail(Peek(), "annotation not closed");
            VornFxAnnotation a;
            VornFxParameterDesc type;
            if (Peek().kind != TokKind::Ident) return Fail(Peek(), "annotation type expected at '" + Peek().text + "'");
            if (!Type(&type)) return false;
            a.type = type.type;
            if (Peek().kind != TokKind::Ident) return Fail(Peek(), "annotation name expected at '" + Peek().text + "'");
            const Token& name = Next();
            a.name = name.text;
            if (!Expect('=')) return false;
            if (a.type == VornFxBaseType::String) {
                if (Peek().kind != TokKind::String) return Fail(Peek(), "string expected for annotation '" + a.name + "'");
                const std::string& s = Next().text;
                a.text = s.size() >= 2 ? s.substr(1, s.size() - 2) : std::string();
            } else if (!Values(&a.values, name, true)) {
                return false;
            }
            if (!Expect(';')) return false;
            if (out->size() >= 1024) return Fail(name, "too many annotations");
            out->push_back(a);
        }
        return true;
    }

    // ---- declarations and functions ----

    bool Declaration()
    {
        const Token& first = Peek();
        const size_t statementBegin = first.begin;
        bool isStatic = false, isConst = false, rowMajor = false;
        std::string modifiers;
        while (Peek().kind == TokKind::Ident && IsModifier(Peek().text)) {
            const Token& m = Next();
            if (m.text == "static") isStatic = true;
            if (m.text == "const") isConst = true;
            if (m.text == "row_major") rowMajor = true;
            if (m.text == "shared") Blank(m.begin, m.end);   // effect pools only
            modifiers += m.text + " ";
        }
        if (Peek().kind != TokKind::Ident) return Fail(Peek(), "type expected at '" + Peek().text + "'");
        const size_t typeBegin = Peek().begin;
        VornFxParameterDesc type;
        type.rowMajor = rowMajor;
        if (!Type(&type)) return false;
        const size_t typeEnd = Last().end;

        if (Peek().kind != TokKind::Ident) return Fail(Peek(), "name expected at '" + Peek().text + "'");
        if (IsPunct(Peek(1), '(')) return Function(modifiers + Text(typeBegin, typeEnd));

        const bool shader = type.type == VornFxBaseType::VertexShader || type.type == VornFxBaseType::PixelShader;
        const bool wholeStatementOut =
            !isStatic && (type.type == VornFxBaseType::Texture || type.type == VornFxBaseType::String || shader);
        for (;;) {
            if (Peek().kind != TokKind::Ident) return Fail(Peek(), "name expected at '" + Peek().text + "'");
            VornFxParameterDesc p = type;
            const Token& nameToken = Next();
            p.name = nameToken.text;
            p.line = nameToken.line;
            if (const VornFxParameterDesc* twin = FindParameter(p.name))
                return Fail(nameToken, "'" + p.name + "' declared twice, first at (" + std::to_string(twin->line) + ")");
            if (FindConstant(p.name)) return Fail(nameToken, "'" + p.name + "' declared twice");
            if (Accept('[')) {
                double n;
                if (!Expression(&n, nullptr, false)) return false;
                if (!(n >= 1 && n <= VORN_FX_MAX_ELEMENTS) || n != static_cast<uint32_t>(n))
                    return Fail(nameToken, "array size of '" + p.name + "' must be 1 to " + std::to_string(VORN_FX_MAX_ELEMENTS));
                p.elements = static_cast<uint32_t>(n);
                if (!Expect(']')) return false;
                if (IsPunct(Peek(), '[')) return Fail(Peek(), "arrays of arrays are not read ('" + p.name + "')");
            }
            if (p.ScalarCount() > VORN_FX_MAX_SCALARS)
                return Fail(nameToken, "'" + p.name + "' is too large (" + std::to_string(p.ScalarCount()) + " values)");
            totalScalars_ += p.ScalarCount();
            if (totalScalars_ > VORN_FX_MAX_TOTAL_SCALARS) return Fail(nameToken, "the parameters are too large together");
            while (Accept(':')) {   // semantic or register binding
                if (Peek().kind != TokKind::Ident) return Fail(Peek(), "semantic expected after ':'");
                const Token& sem = Next();
                if (IsPunct(Peek(), '(')) {
                    if (!SkipGroup('(', ')')) return false;
                } else {
                    p.semantic = sem.text;
                }
            }
            if (IsPunct(Peek(), '<')) {
                const size_t b = Peek().begin;
                if (!Annotations(&p.annotations)) return false;
                Blank(b, Last().end);
            }
            if (IsPunct(Peek(), '=')) {
                const size_t b = Next().begin;
                const size_t at = pos_;
                if (!Initialiser(&p, nameToken)) {
                    if (!isStatic) return false;
                    // A static may be set from functions of other values: the compiler's business.
                    pos_ = at;
                    p.initial.clear();
                    int depth = 0;
                    while (depth > 0 || (!IsPunct(Peek(), ',') && !IsPunct(Peek(), ';'))) {
                        const Token& t = Next();
                        if (t.kind == TokKind::End) return Fail(nameToken, "';' expected after '" + p.name + "'");
                        if (IsPunct(t, '(') || IsPunct(t, '{') || IsPunct(t, '[')) ++depth;
                        if (IsPunct(t, ')') || IsPunct(t, '}') || IsPunct(t, ']')) --depth;
                    }
                    depth_ = parens_ = 0;
                }
                if (!isStatic) Blank(b, Last().end);
            }
            if (!isStatic) {
                if (out_->parameters.size() >= 65536) return Fail(nameToken, "too many parameters");
                out_->parameters.push_back(std::move(p));
            } else if (isConst && p.initial.size() == 1 && p.ScalarCount() == 1) {
                constants_.push_back({p.name, p.type == VornFxBaseType::Float ? p.initial[0] : std::trunc(p.initial[0])});
            }
            if (Accept(',')) continue;
            if (!IsPunct(Peek(), ';')) return Fail(Peek(), "';' expected after '" + nameToken.text + "'");
            const Token& semi = Next();
            if (wholeStatementOut) Blank(statementBegin, semi.end);
            return true;
        }
    }

    bool Initialiser(VornFxParameterDesc* p, const Token& nameToken)
    {
        if (IsIdent(Peek(), "sampler_state")) {
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
        if (p->type == VornFxBaseType::VertexShader || p->type == VornFxBaseType::PixelShader) {
            const bool list = Accept('{');
            do {
                if (list && IsPunct(Peek(), '}')) break;
                VornFxShaderDesc s;
                if (!ShaderValue(&s, p->type == VornFxBaseType::VertexShader ? "VertexShader" : "PixelShader", false))
                    return false;
                if (p->shaders.size() >= p->ElementCount()) return Fail(nameToken, "too many shaders for '" + p->name + "'");
                p->shaders.push_back(std::move(s));
            } while (list && Accept(','));
            if (list && !Expect('}')) return false;
            if (p->shaders.size() != p->ElementCount())
                return Fail(nameToken, "'" + p->name + "' needs " + std::to_string(p->ElementCount()) + " shaders");
            return true;
        }
        if (!Values(&p->initial, nameToken, false)) return false;
        if (p->initial.size() > p->ScalarCount())
            return Fail(nameToken, "too many values for '" + p->name + "'");
        if (p->type == VornFxBaseType::Int) {
            int32_t i;
            for (double v : p->initial)
                if (!VornFxToInt(v, &i)) return Fail(nameToken, "value of '" + p->name + "' out of the int range");
        }
        return true;
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
                uint32_t v;
                if (!Value(s.kind, name, &v)) return false;
                if (p->samplerStates.size() >= 256) return Fail(name, "too many sampler states");
                p->samplerStates.push_back({s.type, v});
                return Expect(';');
            }
        }
        return Fail(name, "unknown sampler state '" + name.text + "'");
    }

    // A state value up to the ';': an expression of names of the state's kind, numbers and
    // TRUE/FALSE (flags joined by '|'); a float state takes the bits of the float.
    bool Value(ValueKind kind, const Token& state, uint32_t* out)
    {
        double d;
        if (!Expression(&d, NamesOf(kind), false)) {
            if (error_.find("unknown value '") != std::string::npos) error_ += " for '" + state.text + "'";
            return false;
        }
        if (kind == ValueKind::Float) {
            if (!(std::fabs(d) <= 3.4e38)) return Fail(state, "value of '" + state.text + "' out of range");
            *out = FloatBits(static_cast<float>(d));
            return true;
        }
        if (!(d > -2147483649.0 && d < 4294967296.0)) return Fail(state, "value of '" + state.text + "' out of range");
        *out = static_cast<uint32_t>(static_cast<int64_t>(d));
        return true;
    }

    bool Function(const std::string& returnType)
    {
        VornFxFunctionDesc f;
        f.name = Next().text;
        f.returnType = returnType;
        const size_t open = Peek().end;
        if (!SkipGroup('(', ')')) return false;
        const size_t close = Last().begin;
        f.parameters = Text(open, close);
        const size_t afterParams = Last().end;
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

    bool Technique()
    {
        const Token& keyword = Next();
        VornFxTechniqueDesc tech;
        tech.line = keyword.line;
        if (Peek().kind == TokKind::Ident) tech.name = Next().text;
        if (!Annotations(&tech.annotations) || !Expect('{')) return false;
        while (!Accept('}')) {
            const Token& t = Next();
            if (!IsIdent(t, "pass")) return Fail(t, "'pass' expected in technique '" + tech.name + "' at '" + t.text + "'");
            VornFxPassDesc pass;
            pass.line = t.line;
            if (Peek().kind == TokKind::Ident) pass.name = Next().text;
            if (!Annotations(&pass.annotations) || !Expect('{')) return false;
            while (!Accept('}')) {
                if (!PassAssignment(&pass)) return false;
            }
            if (tech.passes.size() >= 256) return Fail(t, "too many passes");
            tech.passes.push_back(std::move(pass));
        }
        Blank(keyword.begin, Last().end);
        if (out_->techniques.size() >= 1024) return Fail(keyword, "too many techniques");
        out_->techniques.push_back(std::move(tech));
        return true;
    }

    // NULL, compile profile function(arguments), asm { ... }, or (in a pass) a shader parameter,
    // one of its elements or the element an int parameter picks: (vsArray[CurNumBones]).
    bool ShaderValue(VornFxShaderDesc* shader, const std::string& stateName, bool inPass)
    {
        shader->assigned = true;
        shader->line = Peek().line;
        if (IsIdent(Peek(), "NULL")) {
            Next();
            return true;
        }
        if (IsIdent(Peek(), "asm")) {
            Next();
            if (!IsPunct(Peek(), '{')) return Fail(Peek(), "'{' expected after asm");
            const size_t b = Peek().end;
            if (!SkipGroup('{', '}')) return false;
            shader->isAsm = true;
            shader->assembly = Text(b, Last().begin);
            return true;
        }
        if (IsIdent(Peek(), "compile")) {
            Next();
            if (Peek().kind != TokKind::Ident) return Fail(Peek(), "shader profile expected");
            shader->profile = Next().text;
            if (Peek().kind != TokKind::Ident) return Fail(Peek(), "shader function expected");
            shader->function = Next().text;
            if (!Expect('(')) return false;
            if (Accept(')')) return true;
            for (;;) {
                const Token& first = Peek();
                int depth = 0;
                while (depth > 0 || (!IsPunct(Peek(), ',') && !IsPunct(Peek(), ')'))) {
                    const Token& t = Next();
                    if (t.kind == TokKind::End) return Fail(t, "')' expected after the shader arguments");
                    if (IsPunct(t, '(')) ++depth;
                    if (IsPunct(t, ')')) --depth;
                }
                if (&Peek() == &first) return Fail(first, "empty argument of '" + shader->function + "'");
                if (shader->arguments.size() >= 64) return Fail(first, "too many shader arguments");
                shader->arguments.push_back(Text(first.begin, Last().end));
                if (Accept(')')) return true;
                Next();   // ','
            }
        }
        if (inPass) {
            const bool angle = Accept('<');
            const bool paren = !angle && Accept('(');
            const Token& name = Peek();
            const VornFxParameterDesc* p = name.kind == TokKind::Ident ? FindParameter(name.text) : nullptr;
            const VornFxBaseType want = stateName == "VertexShader" ? VornFxBaseType::VertexShader : VornFxBaseType::PixelShader;
            if (!p || p->type != want) return Fail(name, "'" + name.text + "' is no " + stateName + " parameter");
            Next();
            shader->parameter = p->name;
            if (Accept('[')) {
                const Token& at = Peek();
                const VornFxParameterDesc* index = at.kind == TokKind::Ident ? FindParameter(at.text) : nullptr;
                if (index) {
                    if ((index->type != VornFxBaseType::Int && index->type != VornFxBaseType::Bool) || index->ScalarCount() != 1)
                        return Fail(at, "index '" + at.text + "' of '" + p->name + "' must be an int parameter");
                    Next();
                    shader->indexParameter = index->name;
                } else {
                    double v;
                    if (!Expression(&v, nullptr, false)) return false;
                    if (!(v >= 0 && v < p->ElementCount())) return Fail(at, "index of '" + p->name + "' out of range");
                    shader->index = static_cast<uint32_t>(v);
                }
                if (!Expect(']')) return false;
            } else if (p->elements) {
                return Fail(name, "'" + p->name + "' is an array: name its element");
            }
            if ((angle && !Expect('>')) || (paren && !Expect(')'))) return false;
            return true;
        }
        return Fail(Peek(), stateName + " must be 'compile profile function(...)', 'asm { }' or NULL");
    }

    // <param>, (param) or param: a parameter of the given types, whose value the state takes.
    bool ParameterReference(std::initializer_list<VornFxBaseType> types, std::string* name)
    {
        size_t k = 0;
        const bool angle = IsPunct(Peek(), '<'), paren = IsPunct(Peek(), '(');
        if (angle || paren) k = 1;
        const Token& t = Peek(k);
        if (t.kind != TokKind::Ident) return false;
        const VornFxParameterDesc* p = FindParameter(t.text);
        if (!p) return false;
        bool typeOk = false;
        for (VornFxBaseType type : types) typeOk = typeOk || p->type == type;
        if (!typeOk) return false;
        if (!IsPunct(Peek(k + 1), angle ? '>' : paren ? ')' : ';')) return false;
        for (size_t i = 0; i < k + 1 + (k ? 1 : 0); ++i) Next();
        *name = p->name;
        return true;
    }

    struct IndexedState {
        const char* name;
        VornFxStateKind kind;
        uint32_t type;
        uint32_t limit;   // indices 0 .. limit-1; 0: no index
    };

    bool PassAssignment(VornFxPassDesc* pass)
    {
        static const IndexedState kIndexed[] = {
            {"Texture", VornFxStateKind::Texture, 0, 16},
            {"Sampler", VornFxStateKind::SamplerObject, 0, 16},
            {"LightEnable", VornFxStateKind::LightEnable, 0, 32},
            {"WorldTransform", VornFxStateKind::Transform, 256, 256},
            {"World", VornFxStateKind::Transform, 256, 256},
            {"TextureTransform", VornFxStateKind::Transform, 16, 8},
            {"ViewTransform", VornFxStateKind::Transform, 2, 0},
            {"View", VornFxStateKind::Transform, 2, 0},
            {"ProjectionTransform", VornFxStateKind::Transform, 3, 0},
            {"Projection", VornFxStateKind::Transform, 3, 0},
            {"VertexShaderConstantF", VornFxStateKind::VertexConstantF, 0, 256},
            {"VertexShaderConstant", VornFxStateKind::VertexConstantF, 0, 256},
            {"VertexShaderConstantI", VornFxStateKind::VertexConstantI, 0, 16},
            {"VertexShaderConstantB", VornFxStateKind::VertexConstantB, 0, 16},
            {"PixelShaderConstantF", VornFxStateKind::PixelConstantF, 0, 224},
            {"PixelShaderConstant", VornFxStateKind::PixelConstantF, 0, 224},
            {"PixelShaderConstantI", VornFxStateKind::PixelConstantI, 0, 16},
            {"PixelShaderConstantB", VornFxStateKind::PixelConstantB, 0, 16},
        };
        const Token& name = Next();
        if (name.kind != TokKind::Ident) return Fail(name, "pass state expected at '" + name.text + "'");
        bool indexed = false;
        uint32_t index = 0;
        if (Accept('[')) {
            double v;
            if (!Expression(&v, nullptr, false)) return false;
            if (!(v >= 0 && v < 65536) || v != static_cast<uint32_t>(v)) return Fail(name, "index of '" + name.text + "' out of range");
            index = static_cast<uint32_t>(v);
            indexed = true;
            if (!Expect(']')) return false;
        }
        if (!Expect('=')) return false;
        VornFxStateDesc st;
        st.line = name.line;
        st.index = index;
        auto bound = [&](uint32_t limit) {
            return index < limit ? true : Fail(name, "index of '" + name.text + "' must be below " + std::to_string(limit));
        };
        auto push = [&]() {
            if (pass->states.size() >= 1024) return Fail(name, "too many pass states");
            pass->states.push_back(std::move(st));
            return Expect(';');
        };
        const bool vs = EqualNoCase(name.text, "VertexShader");
        if (vs || EqualNoCase(name.text, "PixelShader")) {
            if (indexed) return Fail(name, name.text + " takes no index");
            VornFxShaderDesc* s = vs ? &pass->vertexShader : &pass->pixelShader;
            *s = VornFxShaderDesc();
            return ShaderValue(s, vs ? "VertexShader" : "PixelShader", true) && Expect(';');
        }
        // A state of a kind with named values, or its value from a parameter.
        auto valued = [&](VornFxStateKind kind, uint32_t type, ValueKind valueKind) {
            st.kind = kind;
            st.type = type;
            st.isFloat = valueKind == ValueKind::Float;
            if (!ParameterReference({VornFxBaseType::Int, VornFxBaseType::Bool, VornFxBaseType::Float}, &st.parameter) &&
                !Value(valueKind, name, &st.value))
                return false;
            return push();
        };
        for (const auto& s : kRenderStates)
            if (EqualNoCase(name.text, s.name))
                return indexed ? Fail(name, name.text + " takes no index") : valued(VornFxStateKind::Render, s.state, s.kind);
        for (const auto& s : kTextureStageStates)
            if (EqualNoCase(name.text, s.name)) return bound(8) && valued(VornFxStateKind::TextureStage, s.type, s.kind);
        for (const auto& s : kSamplerStates)
            if (EqualNoCase(name.text, s.name)) return bound(16) && valued(VornFxStateKind::Sampler, s.type, s.kind);
        for (const auto& s : kIndexed) {
            if (!EqualNoCase(name.text, s.name)) continue;
            if (s.limit == 0 && indexed) return Fail(name, name.text + " takes no index");
            if (s.limit && !bound(s.limit)) return false;
            st.kind = s.kind;
            st.type = s.type + (s.kind == VornFxStateKind::Transform ? index : 0);
            switch (s.kind) {
            case VornFxStateKind::Texture:
                if (IsIdent(Peek(), "NULL")) { Next(); return push(); }
                if (!ParameterReference({VornFxBaseType::Texture}, &st.parameter))
                    return Fail(Peek(), "Texture[] takes a texture parameter: <name>");
                return push();
            case VornFxStateKind::SamplerObject:
                if (!ParameterReference({VornFxBaseType::Sampler}, &st.parameter))
                    return Fail(Peek(), "Sampler[] takes a sampler parameter: <name>");
                return push();
            case VornFxStateKind::Transform:
                if (!ParameterReference({VornFxBaseType::Float}, &st.parameter))
                    return Fail(Peek(), name.text + " takes a matrix parameter: <name>");
                return push();
            case VornFxStateKind::LightEnable:
                if (!ParameterReference({VornFxBaseType::Int, VornFxBaseType::Bool}, &st.parameter) &&
                    !Value(ValueKind::Bool, name, &st.value))
                    return false;
                return push();
            default: {   // shader constants: a parameter or numbers
                const bool isFloat = s.kind == VornFxStateKind::VertexConstantF || s.kind == VornFxStateKind::PixelConstantF;
                st.isFloat = isFloat;
                if (ParameterReference({VornFxBaseType::Float, VornFxBaseType::Int, VornFxBaseType::Bool}, &st.parameter))
                    return push();
                if (!Values(&st.values, name, false)) return false;
                const uint64_t perRegister = s.kind == VornFxStateKind::VertexConstantB || s.kind == VornFxStateKind::PixelConstantB ? 1 : 4;
                if (st.values.empty() || index + (st.values.size() + perRegister - 1) / perRegister > s.limit)
                    return Fail(name, "values of '" + name.text + "' go past its registers");
                return push();
            }
            }
        }
        return Fail(name, "unknown pass state '" + name.text + "'");
    }

    const char* src_;
    size_t size_;
    VornFxDescription* out_;
    std::vector<Token> toks_;
    size_t pos_ = 0;
    std::string error_;
    std::vector<std::pair<std::string, double>> constants_;   // static const scalars
    uint64_t totalScalars_ = 0;
    int depth_ = 0;
    int parens_ = 0;
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

// The identifiers of a text, in order.
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

// ---- preprocessor lines ---------------------------------------------------------------------

struct Macro {
    std::string name;
    std::vector<std::string> body;   // identifiers of the body; other tokens count one each
    uint64_t others = 0;
    int line = 0;
    uint64_t cost = 0;               // tokens it expands to; 0 until known
};

// Tokens `m` expands to, each macro named in its body expanded in turn. A macro that reaches
// itself is refused: the preprocessor here never returns from one (measured under Wine).
enum class MacroFault { None, Cycle, Deep };

MacroFault MacroCost(std::vector<Macro>& macros, size_t m, std::vector<size_t>& stack, uint64_t limit, uint64_t* out)
{
    if (macros[m].cost) { *out = macros[m].cost; return MacroFault::None; }
    if (stack.size() > 256) return MacroFault::Deep;
    stack.push_back(m);
    uint64_t total = macros[m].others;
    for (const std::string& id : macros[m].body) {
        uint64_t c = 1;
        for (size_t k = 0; k < macros.size(); ++k) {
            if (macros[k].name != id) continue;
            if (std::find(stack.begin(), stack.end(), k) != stack.end()) return MacroFault::Cycle;
            const MacroFault f = MacroCost(macros, k, stack, limit, &c);
            if (f != MacroFault::None) return f;
            break;
        }
        total = std::min(total + c, limit + 1);
    }
    stack.pop_back();
    macros[m].cost = std::max<uint64_t>(total, 1);
    *out = macros[m].cost;
    return MacroFault::None;
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
    if (size > VORN_FX_MAX_TEXT) {
        if (error) *error = "(0): effect text larger than " + std::to_string(VORN_FX_MAX_TEXT) + " bytes";
        return false;
    }
    if (size >= 3 && memcmp(text, "\xEF\xBB\xBF", 3) == 0) {   // a UTF-8 byte-order mark from an editor
        text += 3;
        size -= 3;
    }
    Parser parser(text, size, out);
    if (parser.Run(error)) return true;
    *out = VornFxDescription();
    return false;
}

bool VornFxCheckDirectives(const char* text, size_t size, std::string* error, uint64_t maxTokens)
{
    auto fail = [&](int line, const std::string& message) {
        if (error) *error = "(" + std::to_string(line) + "): " + message;
        return false;
    };
    std::vector<int> open;   // lines of the #if blocks not yet closed
    std::vector<Macro> macros;
    int line = 1;
    size_t i = 0;
    bool inComment = false;
    while (i < size) {
        const int lineOfDirective = line;
        // One logical line, continuations joined.
        std::string logical;
        while (i < size && text[i] != '\n') {
            if (text[i] == '\\' && i + 1 < size && (text[i + 1] == '\n' || text[i + 1] == '\r')) {
                i += text[i + 1] == '\r' && i + 2 < size && text[i + 2] == '\n' ? 3 : 2;
                ++line;
                continue;
            }
            logical += text[i++];
        }
        if (i < size) { ++i; ++line; }
        size_t k = 0;
        while (k < logical.size() && (logical[k] == ' ' || logical[k] == '\t')) ++k;
        const bool directive = !inComment && k < logical.size() && logical[k] == '#';
        for (size_t c = 0; c + 1 < logical.size(); ++c) {   // block comments spanning lines
            if (!inComment && logical[c] == '/' && logical[c + 1] == '/') break;
            if (!inComment && logical[c] == '/' && logical[c + 1] == '*') { inComment = true; ++c; }
            else if (inComment && logical[c] == '*' && logical[c + 1] == '/') { inComment = false; ++c; }
        }
        if (!directive) continue;
        const std::vector<std::string> ids = Identifiers(logical.substr(k + 1));
        const std::string word = ids.empty() ? std::string() : ids[0];
        const size_t wordEnd = logical.find(word, k) + word.size();
        if (word == "if" || word == "ifdef" || word == "ifndef") {
            if (open.size() >= 256) return fail(lineOfDirective, "#if nested too deeply");
            open.push_back(lineOfDirective);
        } else if (word == "elif" || word == "else") {
            if (open.empty()) return fail(lineOfDirective, "#" + word + " without #if");
        } else if (word == "endif") {
            if (open.empty()) return fail(lineOfDirective, "#endif without #if");
            open.pop_back();
        } else if (word == "define" && ids.size() >= 2) {
            Macro m;
            m.name = ids[1];
            m.line = lineOfDirective;
            size_t b = logical.find(m.name, wordEnd) + m.name.size();
            std::vector<std::string> params;
            if (b < logical.size() && logical[b] == '(') {   // function-like: its parameters count one token
                const size_t close = logical.find(')', b);
                params = Identifiers(logical.substr(b, close == std::string::npos ? std::string::npos : close - b));
                b = close == std::string::npos ? logical.size() : close + 1;
            }
            const std::string body = logical.substr(std::min(b, logical.size()));
            for (size_t c = 0; c < body.size();) {
                const unsigned char ch = static_cast<unsigned char>(body[c]);
                if (isalpha(ch) || ch == '_') {
                    const size_t s = c;
                    while (c < body.size() && (isalnum(static_cast<unsigned char>(body[c])) || body[c] == '_')) ++c;
                    const std::string id = body.substr(s, c - s);
                    if (std::find(params.begin(), params.end(), id) != params.end()) ++m.others;
                    else m.body.push_back(id);
                } else {
                    if (!isspace(ch)) ++m.others;
                    ++c;
                }
            }
            if (macros.size() >= 65536) return fail(lineOfDirective, "too many macros");
            for (auto it = macros.begin(); it != macros.end(); ++it)
                if (it->name == m.name) { macros.erase(it); break; }
            macros.push_back(std::move(m));
        } else if (word == "undef" && ids.size() >= 2) {
            for (auto it = macros.begin(); it != macros.end(); ++it)
                if (it->name == ids[1]) { macros.erase(it); break; }
        }
    }
    if (!open.empty()) return fail(open.back(), "#if without #endif");
    for (size_t m = 0; m < macros.size(); ++m) {
        std::vector<size_t> stack;
        uint64_t cost = 0;
        const MacroFault f = MacroCost(macros, m, stack, maxTokens, &cost);
        if (f == MacroFault::Cycle) return fail(macros[m].line, "macro '" + macros[m].name + "' expands into itself");
        if (f == MacroFault::Deep) return fail(macros[m].line, "macro '" + macros[m].name + "' nested too deeply");
        if (cost > maxTokens)
            return fail(macros[m].line, "macro '" + macros[m].name + "' expands to more than " + std::to_string(maxTokens) + " tokens");
    }
    return true;
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
    // Named after the function and its place in the text so far: unique within one effect.
    std::string entry = "vornFxEntry" + std::to_string(hlsl->size()) + "_" + f->name;
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

bool VornFxToInt(double value, int32_t* out)
{
    if (!(value > -2147483649.0 && value < 2147483648.0)) return false;
    *out = static_cast<int32_t>(value);
    return true;
}

uint32_t VornFxDefaultRenderState(uint32_t state)
{
    for (const auto& s : kRenderStates)
        if (s.state == state) return s.defaultValue;
    return 0;
}

uint32_t VornFxDefaultSamplerState(uint32_t type)
{
    for (const auto& s : kSamplerStates)
        if (s.type == type) return s.defaultValue;
    return 0;
}

uint32_t VornFxDefaultTextureStageState(uint32_t stage, uint32_t type)
{
    if (type == 11) return stage;   // TexCoordIndex
    if (stage == 0 && type == 1) return 4;   // ColorOp MODULATE
    if (stage == 0 && type == 4) return 2;   // AlphaOp SELECTARG1
    for (const auto& s : kTextureStageStates)
        if (s.type == type) return s.defaultValue;
    return 0;
}
