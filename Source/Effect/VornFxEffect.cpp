#include "VornFxEffect.h"
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

// ---- states straight to the device ----------------------------------------------------------

bool VornFxDeviceStates::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value)
{
    return device_ && SUCCEEDED(device_->GetRenderState(state, value));
}

void VornFxDeviceStates::SetRenderState(D3DRENDERSTATETYPE state, DWORD value)
{
    if (device_) device_->SetRenderState(state, value);
}

bool VornFxDeviceStates::GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value)
{
    return device_ && SUCCEEDED(device_->GetSamplerState(sampler, type, value));
}

void VornFxDeviceStates::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value)
{
    if (device_) device_->SetSamplerState(sampler, type, value);
}

bool VornFxDeviceStates::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value)
{
    return device_ && SUCCEEDED(device_->GetTextureStageState(stage, type, value));
}

void VornFxDeviceStates::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value)
{
    if (device_) device_->SetTextureStageState(stage, type, value);
}

bool VornFxDeviceStates::GetLightEnable(DWORD index, BOOL* on)
{
    return device_ && SUCCEEDED(device_->GetLightEnable(index, on));
}

void VornFxDeviceStates::SetLightEnable(DWORD index, BOOL on)
{
    if (device_) device_->LightEnable(index, on);
}

// ---- creation -------------------------------------------------------------------------------

namespace {

std::string BufferText(ID3DXBuffer* b)
{
    if (!b || !b->GetBufferPointer()) return std::string();
    const char* p = static_cast<const char*>(b->GetBufferPointer());
    return std::string(p, strnlen(p, b->GetBufferSize()));
}

// The preprocessor writes tokens apart ("oPos . x", "- 1"); the assembler wants numbers and
// swizzles whole, so spaces around '.' and after a sign are taken out again.
std::string JoinAssembly(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ' || c == '\t') {
            size_t j = i;
            while (j < text.size() && (text[j] == ' ' || text[j] == '\t')) ++j;
            const char before = out.empty() ? '\n' : out.back();
            const char after = j < text.size() ? text[j] : '\n';
            if (after == '.' || before == '.') { i = j - 1; continue; }
            if (before == '-' || before == '+') {
                size_t k = out.size() - 1;
                while (k > 0 && (out[k - 1] == ' ' || out[k - 1] == '\t')) --k;
                const char operandStart = k > 0 ? out[k - 1] : ',';
                if (operandStart == ',' || operandStart == '\n') { i = j - 1; continue; }
            }
        }
        out += c;
    }
    return out;
}

// The preprocessor's first message "name:line:column: text" as "(line): text" ("name(line): text"
// for an included file).
std::string PreprocessorMessage(const std::string& messages, const std::string& own)
{
    std::string first = messages.substr(0, messages.find('\n'));
    int line = 0;
    size_t colon = first.find(':');
    std::string name = colon == std::string::npos ? std::string() : first.substr(0, colon);
    if (colon != std::string::npos) {
        line = atoi(first.c_str() + colon + 1);
        size_t textStart = first.find(": ", colon + 1);
        first = textStart == std::string::npos ? std::string() : first.substr(textStart + 2);
    }
    if (!own.empty()) first = own;
    if (first.empty()) first = "the preprocessor failed";
    if (name == "<anonymous>") name.clear();
    return name + "(" + std::to_string(line) + "): " + first;
}

INT SafeInt(double v)
{
    int32_t i = 0;
    VornFxToInt(v, &i);   // out of range: 0
    return i;
}

// Where each part of the preprocessor's output came from. The preprocessor here drops the line
// breaks of block comments and of the blocks it skips, and writes included files without a line
// directive; so block comments are blanked first (their line breaks kept), and the head of a file
// and every line after a preprocessor line carry a marker "__VornFxAt FILE LINE". The markers that
// come through are taken out of the output again and say which file and line each output line is.
constexpr char kMarker[] = "__VornFxAt";

std::string MarkLines(const char* text, size_t size, uint32_t file)
{
    std::string source(text, size);
    bool inString = false;
    for (size_t i = 0; i + 1 < source.size(); ++i) {
        if (source[i] == '"' && (i == 0 || source[i - 1] != '\\')) inString = !inString;
        if (source[i] == '\n') inString = false;
        if (inString) continue;
        if (source[i] == '/' && source[i + 1] == '/') {
            while (i < source.size() && source[i] != '\n') ++i;
            continue;
        }
        if (source[i] != '/' || source[i + 1] != '*') continue;
        const size_t end = source.find("*/", i + 2);
        const size_t stop = end == std::string::npos ? source.size() : end + 2;
        for (; i < stop; ++i)
            if (source[i] != '\n') source[i] = ' ';
        --i;
    }
    std::string out;
    out.reserve(source.size() + source.size() / 4 + 32);
    const std::string head = std::string(kMarker) + " " + std::to_string(file) + " ";
    bool mark = true;   // the first line, and each after a preprocessor line
    uint32_t line = 1;
    const size_t bom = source.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;   // stays first
    out.append(source, 0, bom);
    for (size_t i = bom; i < source.size();) {
        size_t first = i;
        while (first < source.size() && (source[first] == ' ' || source[first] == '\t')) ++first;
        const bool directive = first < source.size() && source[first] == '#';
        size_t end = i;
        for (;;) {   // a directive's line goes on over its continuations
            end = source.find('\n', end);
            end = end == std::string::npos ? source.size() : end + 1;
            size_t last = end - 1;
            if (last > i && source[last] == '\n') --last;
            if (last > i && source[last] == '\r') --last;
            if (!directive || end >= source.size() || source[last] != '\\') break;
        }
        if (mark && !directive) out += head + std::to_string(line) + " ";
        mark = directive;
        out.append(source, i, end - i);
        line += static_cast<uint32_t>(std::count(source.begin() + static_cast<std::ptrdiff_t>(i),
                                                 source.begin() + static_cast<std::ptrdiff_t>(end), '\n'));
        i = end;
    }
    return out;
}

// Opens includes through the caller's handler (or from the current folder), no deeper than 16
// files, each checked for unbalanced #if and runaway macros before the preprocessor sees it and
// handed over marked (MarkLines) under its number in *files.
class IncludeGuard : public ID3DXInclude
{
public:
    IncludeGuard(ID3DXInclude* inner, std::vector<std::string>* files) : inner_(inner), files_(files) {}
    STDMETHOD(Open)(D3DXINCLUDE_TYPE type, LPCSTR name, LPCVOID parent, LPCVOID* data, UINT* bytes) override
    {
        if (!name || !data || !bytes) return E_INVALIDARG;
        if (depth_ >= 16) return Refuse(std::string("#include \"") + name + "\" nested deeper than 16 files");
        LPCVOID raw = nullptr;
        UINT size = 0;
        std::vector<char> read;
        HRESULT hr = E_FAIL;
        if (inner_) {
            hr = inner_->Open(type, name, parent, &raw, &size);
        } else if (FILE* f = fopen(name, "rb")) {
            char chunk[4096];
            size_t n;
            while ((n = fread(chunk, 1, sizeof chunk, f)) > 0 && read.size() <= VORN_FX_MAX_TEXT) read.insert(read.end(), chunk, chunk + n);
            fclose(f);
            raw = read.data();
            size = static_cast<UINT>(read.size());
            hr = S_OK;
        }
        if (FAILED(hr)) return Refuse(std::string("#include \"") + name + "\" not found");
        std::string message;
        if (size > VORN_FX_MAX_TEXT) message = "(0): larger than " + std::to_string(VORN_FX_MAX_TEXT) + " bytes";
        if (message.empty()) VornFxCheckDirectives(static_cast<const char*>(raw), size, &message);
        std::vector<char>* marked = nullptr;
        if (message.empty()) {
            uint32_t index = 0;
            while (index < files_->size() && (*files_)[index] != name) ++index;
            if (index == files_->size()) files_->push_back(name);
            const size_t length = raw ? strnlen(static_cast<const char*>(raw), size) : 0;
            const std::string text = MarkLines(static_cast<const char*>(raw), length, index);
            marked = new std::vector<char>(text.begin(), text.end());
        }
        if (inner_) inner_->Close(raw);
        if (!marked) {
            if (error_.empty()) complete_ = name + message;   // "file.fxh(3): ..."
            error_ = "refused";
            return E_FAIL;
        }
        ++depth_;
        owned_.push_back(marked);
        *data = marked->data();
        *bytes = static_cast<UINT>(marked->size());
        return S_OK;
    }
    STDMETHOD(Close)(LPCVOID data) override
    {
        for (auto it = owned_.begin(); it != owned_.end(); ++it) {
            if ((*it)->data() == data) {
                if (depth_ > 0) --depth_;
                delete *it;
                owned_.erase(it);
                return S_OK;
            }
        }
        return S_OK;
    }
    ~IncludeGuard()
    {
        for (auto* v : owned_) delete v;
    }
    const std::string& Error() const { return error_; }
    const std::string& Complete() const { return complete_; }

private:
    HRESULT Refuse(const std::string& message)
    {
        if (error_.empty()) error_ = message;
        return E_FAIL;
    }
    ID3DXInclude* inner_;
    std::vector<std::string>* files_;
    int depth_ = 0;
    std::vector<std::vector<char>*> owned_;
    std::string error_, complete_;
};

// The assembler counts lines from the head of its asm block, which starts on `line` of the
// preprocessed text: its "Line 3: ..." is "(line + 2): ..." there.
std::string AssemblerLines(const std::string& messages, int line)
{
    std::string out;
    for (size_t at = 0; at < messages.size();) {
        size_t end = messages.find('\n', at);
        end = end == std::string::npos ? messages.size() : end + 1;
        const std::string one = messages.substr(at, end - at);
        char* rest = nullptr;
        const long n = one.compare(0, 5, "Line ") == 0 ? strtol(one.c_str() + 5, &rest, 10) : 0;
        if (n > 0 && n < 100000000 && rest && *rest == ':') out += "(" + std::to_string(line + n - 1) + ")" + rest;
        else out += one;
        at = end;
    }
    return out;
}

// True when the compiler's messages name errors and each is one it marks as a feature it has not
// implemented (E5017), not a fault of the text.
bool OnlyNotImplemented(const std::string& messages)
{
    bool any = false;
    for (size_t at = messages.find(": E"); at != std::string::npos; at = messages.find(": E", at + 3)) {
        const size_t code = at + 3;
        if (code + 5 > messages.size() || messages[code + 4] != ':' ||
            !std::all_of(messages.begin() + static_cast<std::ptrdiff_t>(code), messages.begin() + static_cast<std::ptrdiff_t>(code + 4),
                         [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        if (messages.compare(code, 4, "5017") != 0) return false;
        any = true;
    }
    return any;
}

}  // namespace

HRESULT VornFxEffect::Create(IDirect3DDevice9* device, const void* text, uint32_t size, const D3DXMACRO* macros,
                             ID3DXInclude* include, VornFxStates* states, VornFxEffect** effect, std::string* errors,
                             std::string* warnings)
{
    if (effect) *effect = nullptr;
    if (warnings) warnings->clear();
    if (!device || !text || !effect) {
        if (errors) *errors = "(0): no device or no effect text";
        return D3DERR_INVALIDCALL;
    }
    VornFxEffect* e = new (std::nothrow) VornFxEffect();
    if (!e) return E_OUTOFMEMORY;
    HRESULT hr;
    try {
        std::string source, notes;
        hr = e->Preprocess(static_cast<const char*>(text), size, macros, include, &source, errors);
        if (SUCCEEDED(hr)) {
            hr = e->Build(device, source.data(), static_cast<uint32_t>(source.size()), states, errors, &notes);
            if (FAILED(hr) && errors) *errors = e->Relocate(*errors);
            if (warnings) *warnings = e->Relocate(notes);
        }
    } catch (const std::bad_alloc&) {
        if (errors) *errors = "(0): out of memory";
        hr = E_OUTOFMEMORY;
    }
    if (FAILED(hr)) {
        e->Release();
        return hr;
    }
    *effect = e;
    return D3D_OK;
}

HRESULT VornFxEffect::Preprocess(const char* text, uint32_t size, const D3DXMACRO* macros, ID3DXInclude* include,
                                 std::string* out, std::string* errors)
{
    size = static_cast<uint32_t>(strnlen(text, size));
    if (size > VORN_FX_MAX_TEXT) {
        if (errors) *errors = "(0): effect text larger than " + std::to_string(VORN_FX_MAX_TEXT) + " bytes";
        return E_FAIL;
    }
    std::string message;
    if (!VornFxCheckDirectives(text, size, &message)) {
        if (errors) *errors = message;
        return E_FAIL;
    }
    files_.assign(1, std::string());   // file 0: the effect text itself
    const std::string source = MarkLines(text, size, 0);
    IncludeGuard guard(include, &files_);
    ID3DXBuffer* result = nullptr;
    ID3DXBuffer* messages = nullptr;
    const HRESULT hr = D3DXPreprocessShader(source.data(), static_cast<UINT>(source.size()), macros, &guard, &result, &messages);
    if (FAILED(hr) || !result || !guard.Error().empty()) {
        if (errors) *errors = !guard.Complete().empty() ? guard.Complete() : PreprocessorMessage(BufferText(messages), guard.Error());
        if (result) result->Release();
        if (messages) messages->Release();
        return E_FAIL;
    }
    const std::string marked = BufferText(result);
    result->Release();
    if (messages) messages->Release();

    // The markers out, each line's place in.
    out->clear();
    out->reserve(marked.size());
    lines_.assign(1, SourceLine{0, 1});
    SourceLine at{0, 1};
    const size_t markerSize = sizeof kMarker - 1;
    auto number = [&](size_t* i) {
        while (*i < marked.size() && marked[*i] == ' ') ++*i;
        uint32_t n = 0;
        for (; *i < marked.size() && marked[*i] >= '0' && marked[*i] <= '9'; ++*i) n = n < 100000000u ? n * 10 + (marked[*i] - '0') : n;
        return n;
    };
    for (size_t i = 0; i < marked.size();) {
        const bool tokenStart = i == 0 || !(isalnum(static_cast<unsigned char>(marked[i - 1])) || marked[i - 1] == '_');
        if (tokenStart && marked.compare(i, markerSize, kMarker) == 0) {
            i += markerSize;
            const uint32_t file = number(&i), line = number(&i);
            if (i < marked.size() && marked[i] == ' ') ++i;
            if (file < files_.size() && line > 0) lines_.back() = at = SourceLine{file, line};
            continue;
        }
        out->push_back(marked[i]);
        if (marked[i++] == '\n') {
            ++at.line;
            lines_.push_back(at);
        }
    }
    return D3D_OK;
}

// "name(line" for a line of the preprocessed text (no name for the effect text itself).
std::string VornFxEffect::Place(uint32_t line) const
{
    if (line == 0 || line > lines_.size()) return "(" + std::to_string(line);
    const SourceLine& s = lines_[line - 1];
    return files_[s.file] + "(" + std::to_string(s.line);
}

// Messages about the preprocessed text made to name true places: "(12)" at the head of a line,
// "at (12)" anywhere and the compiler's "<anonymous>:12:5:".
std::string VornFxEffect::Relocate(const std::string& message) const
{
    std::string out;
    out.reserve(message.size() + 64);
    auto digits = [&](size_t i, uint32_t* n) {
        size_t j = i;
        *n = 0;
        for (; j < message.size() && j - i < 9 && message[j] >= '0' && message[j] <= '9'; ++j) *n = *n * 10 + (message[j] - '0');
        return j > i ? j : std::string::npos;
    };
    static const char kCompiler[] = "<anonymous>:";
    for (size_t i = 0; i < message.size();) {
        uint32_t line = 0, column = 0;
        const bool head = i == 0 || message[i - 1] == '\n' || (i >= 3 && message.compare(i - 3, 3, "at ") == 0);
        if (head && message[i] == '(') {
            const size_t j = digits(i + 1, &line);
            if (j != std::string::npos && j < message.size() && message[j] == ')') {
                out += Place(line) + ")";
                i = j + 1;
                continue;
            }
        }
        if (message.compare(i, sizeof kCompiler - 1, kCompiler) == 0) {
            const size_t j = digits(i + sizeof kCompiler - 1, &line);
            const size_t k = j != std::string::npos && j < message.size() && message[j] == ':' ? digits(j + 1, &column) : std::string::npos;
            if (k != std::string::npos && k < message.size() && message[k] == ':') {
                out += Place(line) + "," + std::to_string(column) + "):";
                i = k + 1;
                continue;
            }
        }
        out += message[i++];
    }
    return out;
}

int VornFxEffect::ParameterIndex(const std::string& name) const
{
    for (size_t i = 0; i < params_.size(); ++i)
        if (params_[i].desc.name == name) return static_cast<int>(i);
    return -1;
}

HRESULT VornFxEffect::Build(IDirect3DDevice9* device, const char* text, uint32_t size, VornFxStates* states,
                            std::string* errors, std::string* warnings)
{
    device_ = device;
    device_->AddRef();
    deviceStates_ = VornFxDeviceStates(device);
    states_ = states ? states : &deviceStates_;

    VornFxDescription desc;
    std::string message;
    if (!VornFxParse(text, size, &desc, &message)) {
        if (errors) *errors = message;
        return E_FAIL;
    }
    params_.resize(desc.parameters.size());
    for (size_t i = 0; i < desc.parameters.size(); ++i) {
        Parameter& p = params_[i];
        p.desc = desc.parameters[i];
        const size_t n = static_cast<size_t>(p.desc.ScalarCount());   // bounded by the parser
        if (p.desc.type == VornFxBaseType::Float) {
            p.floats.assign(n, 0.0f);
            for (size_t k = 0; k < n && k < p.desc.initial.size(); ++k) p.floats[k] = static_cast<float>(p.desc.initial[k]);
        } else if (p.desc.type == VornFxBaseType::Int || p.desc.type == VornFxBaseType::Bool) {
            p.ints.assign(n, 0);
            for (size_t k = 0; k < n && k < p.desc.initial.size(); ++k) {
                int32_t v = 0;
                VornFxToInt(p.desc.initial[k], &v);
                p.ints[k] = p.desc.type == VornFxBaseType::Bool ? (p.desc.initial[k] != 0.0 ? 1 : 0) : v;
            }
        } else if (p.desc.type == VornFxBaseType::Sampler && !p.desc.samplerTexture.empty()) {
            const int t = ParameterIndex(p.desc.samplerTexture);
            if (t < 0 || desc.parameters[static_cast<size_t>(t)].type != VornFxBaseType::Texture) {
                if (errors)
                    *errors = "(" + std::to_string(p.desc.line) + "): sampler '" + p.desc.name +
                              "' names no texture parameter '" + p.desc.samplerTexture + "'";
                return E_FAIL;
            }
            p.samplerTexture = t;
        }
    }
    if (desc.techniques.empty()) {
        if (errors) *errors = "(0): the effect has no technique";
        return E_FAIL;
    }
    hlsl_ = desc.hlsl;
    // A fault of the text in any technique fails the effect. A technique the compiler cannot make
    // (a feature it has not implemented) or whose shaders the device refuses falls back, with a
    // warning, to the next one.
    techniques_.resize(desc.techniques.size());
    for (size_t i = 0; i < desc.techniques.size(); ++i) {
        std::string why;
        bool fallback = false;
        techniques_[i].built = BuildTechnique(desc.techniques[i], desc, &techniques_[i], &why, &fallback);
        if (techniques_[i].built) continue;
        if (!fallback) {
            if (errors) *errors = why;
            return E_FAIL;
        }
        *warnings += (warnings->empty() ? "" : "\n") + why;
    }
    // Annotations, owned by the parameter, technique or pass (their places no longer move).
    auto addAnnotations = [&](const std::vector<VornFxAnnotation>& list, const void* owner) {
        for (const VornFxAnnotation& a : list) {
            Parameter ap;
            ap.owner = owner;
            ap.desc.name = a.name;
            ap.desc.type = a.type;
            ap.desc.stringValue = a.text;
            ap.desc.columns = static_cast<uint32_t>(std::max<size_t>(1, a.values.size()));
            for (double v : a.values) {
                int32_t iv = 0;
                VornFxToInt(v, &iv);
                if (a.type == VornFxBaseType::Float) ap.floats.push_back(static_cast<float>(v));
                else ap.ints.push_back(a.type == VornFxBaseType::Bool ? (v != 0.0) : iv);
            }
            annotations_.push_back(std::move(ap));
        }
    };
    for (size_t i = 0; i < params_.size(); ++i) addAnnotations(desc.parameters[i].annotations, &params_[i]);
    for (size_t t = 0; t < techniques_.size(); ++t) {
        addAnnotations(desc.techniques[t].annotations, &techniques_[t]);
        for (size_t p = 0; p < techniques_[t].passes.size(); ++p)
            addAnnotations(desc.techniques[t].passes[p].annotations, &techniques_[t].passes[p]);
    }
    // The first technique that the device can draw, every pass applied, is drawn.
    for (Technique& t : techniques_) {
        std::string why;
        if (t.built && SUCCEEDED(Validate(t, &why))) {
            technique_ = &t;
            return D3D_OK;
        }
        if (t.built) *warnings += (warnings->empty() ? "" : "\n") + why;
    }
    if (errors) *errors = "(0): no technique of the effect can be drawn here\n" + *warnings;
    return E_FAIL;
}

bool VornFxEffect::BuildTechnique(const VornFxTechniqueDesc& td, const VornFxDescription& desc, Technique* t,
                                  std::string* errors, bool* fallback)
{
    t->name = td.name;
    for (const VornFxPassDesc& pd : td.passes) {
        Pass pass;
        pass.line = pd.line;
        for (const VornFxStateDesc& sd : pd.states) {
            State s;
            s.desc = sd;
            if (!sd.parameter.empty()) s.parameter = ParameterIndex(sd.parameter);   // the parser checked it exists
            pass.states.push_back(s);
        }
        if (!BuildShaderRef(pd.vertexShader, true, desc, &pass.vs, errors, fallback) ||
            !BuildShaderRef(pd.pixelShader, false, desc, &pass.ps, errors, fallback))
            return false;
        t->passes.push_back(std::move(pass));
    }
    return true;
}

bool VornFxEffect::BuildShaderRef(const VornFxShaderDesc& sd, bool vertex, const VornFxDescription& desc,
                                  ShaderRef* ref, std::string* errors, bool* fallback)
{
    ref->set = sd.assigned;
    if (!sd.assigned) return true;
    if (sd.parameter.empty()) {
        if (sd.profile.empty() && !sd.isAsm) return true;   // NULL
        ref->shader = CompileShader(sd, vertex, desc, errors, fallback);
        return ref->shader >= 0;
    }
    ref->parameter = ParameterIndex(sd.parameter);
    ref->index = sd.index;
    if (!sd.indexParameter.empty()) ref->indexParameter = ParameterIndex(sd.indexParameter);
    Parameter& p = params_[static_cast<size_t>(ref->parameter)];
    if (p.shaders.size() == p.desc.shaders.size()) return true;   // built for an earlier pass
    std::vector<int> built;
    for (const VornFxShaderDesc& element : p.desc.shaders) {
        int s = -1;
        if (!element.profile.empty() || element.isAsm) {
            s = CompileShader(element, vertex, desc, errors, fallback);
            if (s < 0) return false;
        }
        built.push_back(s);
    }
    p.shaders = built;
    return true;
}

int VornFxEffect::CompileShader(const VornFxShaderDesc& shader, bool vertex, const VornFxDescription& desc,
                                std::string* errors, bool* fallback)
{
    *fallback = false;
    const char* kind = vertex ? "VertexShader" : "PixelShader";
    const std::string where = "(" + std::to_string(shader.line) + "): " + kind + " " +
                              (shader.isAsm ? std::string("asm") : shader.profile + " " + shader.function);
    std::string key = shader.isAsm ? "asm " + shader.assembly : shader.profile + " " + shader.function;
    for (const std::string& a : shader.arguments) key += "," + a;
    for (size_t i = 0; i < shaders_.size(); ++i)
        if (shaders_[i].key == key && (shaders_[i].vs != nullptr) == vertex) return static_cast<int>(i);

    ID3DXBuffer* code = nullptr;
    ID3DXBuffer* messages = nullptr;
    ID3DXConstantTable* table = nullptr;
    HRESULT hr;
    if (shader.isAsm) {
        const size_t start = shader.assembly.find_first_not_of(" \t\r\n");
        if (start == std::string::npos || shader.assembly.compare(start, 2, vertex ? "vs" : "ps") != 0) {
            if (errors) *errors = where + ": not a " + (vertex ? "vertex" : "pixel") + " shader";
            return -1;
        }
        const std::string assembly = JoinAssembly(shader.assembly);
        hr = D3DXAssembleShader(assembly.c_str(), static_cast<UINT>(assembly.size()), nullptr, nullptr, 0, &code, &messages);
    } else {
        if (shader.profile.compare(0, 3, vertex ? "vs_" : "ps_") != 0) {
            if (errors) *errors = where + ": not a " + (vertex ? "vertex" : "pixel") + " shader profile";
            return -1;
        }
        std::string entry = VornFxEntryPoint(desc, shader, &hlsl_, errors);
        if (entry.empty()) return -1;
        hr = D3DXCompileShader(hlsl_.c_str(), static_cast<UINT>(hlsl_.size()), nullptr, nullptr, entry.c_str(),
                               shader.profile.c_str(), 0, &code, &messages, &table);
    }
    if (FAILED(hr) || !code || (!shader.isAsm && !table)) {
        std::string text = BufferText(messages);
        *fallback = OnlyNotImplemented(text);
        if (shader.isAsm && !text.empty()) text = "\n" + AssemblerLines(text, shader.line);
        if (errors) *errors = where + ": " + (text.empty() ? std::string("compilation failed") : text);
        if (messages) messages->Release();
        if (code) code->Release();
        if (table) table->Release();
        return -1;
    }
    if (messages) messages->Release();

    Shader s;
    s.key = key;
    s.constants = table;
    const DWORD* function = static_cast<const DWORD*>(code->GetBufferPointer());
    hr = vertex ? device_->CreateVertexShader(function, &s.vs) : device_->CreatePixelShader(function, &s.ps);
    code->Release();
    if (FAILED(hr)) {
        *fallback = true;
        if (errors) *errors = where + ": the device refused the shader";
        if (table) table->Release();
        return -1;
    }
    D3DXCONSTANTTABLE_DESC td;
    if (table && SUCCEEDED(table->GetDesc(&td))) {
        for (UINT i = 0; i < td.Constants; ++i) {
            D3DXHANDLE c = table->GetConstant(nullptr, i);
            D3DXCONSTANT_DESC cd;
            UINT count = 1;
            if (!c || FAILED(table->GetConstantDesc(c, &cd, &count)) || !cd.Name) continue;
            const int p = ParameterIndex(cd.Name);
            if (p >= 0)
                s.bindings.push_back({static_cast<uint32_t>(p), cd.RegisterSet, cd.RegisterIndex, cd.RegisterCount, cd.Class,
                                      cd.Rows, cd.Columns, cd.Elements});
        }
    }
    shaders_.push_back(s);
    return static_cast<int>(shaders_.size() - 1);
}

VornFxEffect::~VornFxEffect()
{
    for (Parameter& p : params_)
        if (p.texture) p.texture->Release();
    for (Shader& s : shaders_) {
        if (s.vs) s.vs->Release();
        if (s.ps) s.ps->Release();
        if (s.constants) s.constants->Release();
    }
    for (Parameter& p : annotations_)
        if (p.texture) p.texture->Release();
    for (auto& saved : savedTextures_)
        if (saved.second) saved.second->Release();
    if (device_) device_->Release();
}

ULONG VornFxEffect::AddRef()
{
    return ++refs_;
}

ULONG VornFxEffect::Release()
{
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

uint32_t VornFxEffect::GetPassCount() const
{
    return technique_ ? static_cast<uint32_t>(technique_->passes.size()) : 0;
}

// ---- techniques -----------------------------------------------------------------------------

const VornFxEffect::Technique* VornFxEffect::FindTechnique(D3DXHANDLE h) const
{
    for (const Technique& t : techniques_)
        if (reinterpret_cast<D3DXHANDLE>(&t) == h) return &t;
    return nullptr;
}

D3DXHANDLE VornFxEffect::GetTechnique(UINT index) const
{
    return index < techniques_.size() ? reinterpret_cast<D3DXHANDLE>(&techniques_[index]) : nullptr;
}

D3DXHANDLE VornFxEffect::GetTechniqueByName(const char* name) const
{
    for (const Technique& t : techniques_)
        if (name && t.name == name) return reinterpret_cast<D3DXHANDLE>(&t);
    return nullptr;
}

D3DXHANDLE VornFxEffect::GetCurrentTechnique() const { return reinterpret_cast<D3DXHANDLE>(technique_); }

D3DXHANDLE VornFxEffect::GetPass(D3DXHANDLE technique, UINT index) const
{
    const Technique* t = FindTechnique(technique);
    return t && index < t->passes.size() ? reinterpret_cast<D3DXHANDLE>(&t->passes[index]) : nullptr;
}

HRESULT VornFxEffect::SetTechnique(D3DXHANDLE technique)
{
    const Technique* t = FindTechnique(technique);
    if (!t || !t->built || begun_) return D3DERR_INVALIDCALL;
    technique_ = const_cast<Technique*>(t);
    return D3D_OK;
}

// Applies each pass as BeginPass does and asks the device whether it can draw with it; every state
// is put back afterwards. The device's answer for the first pass it refuses, with *why.
HRESULT VornFxEffect::Validate(Technique& t, std::string* why)
{
    if (!t.built || begun_) return D3DERR_INVALIDCALL;
    IDirect3DVertexShader9* vs = nullptr;
    IDirect3DPixelShader9* ps = nullptr;
    if (FAILED(device_->GetVertexShader(&vs))) vs = nullptr;
    if (FAILED(device_->GetPixelShader(&ps))) ps = nullptr;
    Technique* current = technique_;
    technique_ = &t;
    begun_ = true;
    beginFlags_ = 0;
    HRESULT hr = D3D_OK;
    for (size_t p = 0; p < t.passes.size() && SUCCEEDED(hr); ++p) {
        currentPass_ = static_cast<int>(p);
        currentVs_ = currentPs_ = -2;
        UploadPass(true);
        DWORD passes = 0;
        hr = device_->ValidateDevice(&passes);
        if (FAILED(hr) && why) {
            char code[16];
            snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
            *why = "(" + std::to_string(t.passes[p].line) + "): technique '" + t.name + "' pass " + std::to_string(p) +
                   ": the device cannot draw it (ValidateDevice " + code + ")";
        }
    }
    End();
    technique_ = current;
    device_->SetVertexShader(vs);
    device_->SetPixelShader(ps);
    if (vs) vs->Release();
    if (ps) ps->Release();
    return hr;
}

HRESULT VornFxEffect::ValidateTechnique(D3DXHANDLE technique)
{
    Technique* t = const_cast<Technique*>(FindTechnique(technique));
    return t ? Validate(*t, nullptr) : D3DERR_INVALIDCALL;
}

HRESULT VornFxEffect::FindNextValidTechnique(D3DXHANDLE technique, D3DXHANDLE* next)
{
    if (!next) return D3DERR_INVALIDCALL;
    *next = nullptr;
    size_t from = 0;
    if (technique) {
        const Technique* t = FindTechnique(technique);
        if (!t) return D3DERR_INVALIDCALL;
        from = static_cast<size_t>(t - techniques_.data()) + 1;
    }
    for (size_t i = from; i < techniques_.size(); ++i) {
        if (SUCCEEDED(Validate(techniques_[i], nullptr))) {
            *next = reinterpret_cast<D3DXHANDLE>(&techniques_[i]);
            return D3D_OK;
        }
    }
    return S_FALSE;
}

// ---- parameters -----------------------------------------------------------------------------

D3DXHANDLE VornFxEffect::GetParameterByName(D3DXHANDLE parent, const char* name) const
{
    if (parent || !name) return nullptr;
    for (const Parameter& p : params_)
        if (p.desc.name == name) return reinterpret_cast<D3DXHANDLE>(&p);
    return nullptr;
}

D3DXHANDLE VornFxEffect::GetParameterBySemantic(D3DXHANDLE parent, const char* semantic) const
{
    if (parent || !semantic) return nullptr;
    for (const Parameter& p : params_)
        if (!p.desc.semantic.empty() && _stricmp(p.desc.semantic.c_str(), semantic) == 0) return reinterpret_cast<D3DXHANDLE>(&p);
    return nullptr;
}

D3DXHANDLE VornFxEffect::GetAnnotation(D3DXHANDLE object, UINT index) const
{
    for (const Parameter& a : annotations_)
        if (a.owner == object && index-- == 0) return reinterpret_cast<D3DXHANDLE>(&a);
    return nullptr;
}

D3DXHANDLE VornFxEffect::GetAnnotationByName(D3DXHANDLE object, const char* name) const
{
    for (const Parameter& a : annotations_)
        if (object && a.owner == object && name && a.desc.name == name) return reinterpret_cast<D3DXHANDLE>(&a);
    return nullptr;
}

const VornFxEffect::Parameter* VornFxEffect::Find(D3DXHANDLE h) const
{
    if (!h) return nullptr;
    const uintptr_t at = reinterpret_cast<uintptr_t>(h);
    for (const std::vector<Parameter>* list : {&params_, &annotations_}) {
        if (list->empty()) continue;
        const uintptr_t base = reinterpret_cast<uintptr_t>(list->data());
        if (at >= base && at < base + list->size() * sizeof(Parameter) && (at - base) % sizeof(Parameter) == 0)
            return &(*list)[(at - base) / sizeof(Parameter)];
    }
    return nullptr;   // not a handle of this effect
}

VornFxEffect::Parameter* VornFxEffect::Find(D3DXHANDLE h)
{
    return const_cast<Parameter*>(static_cast<const VornFxEffect*>(this)->Find(h));
}

template <typename T>
HRESULT VornFxEffect::Write(D3DXHANDLE h, uint32_t offset, const T* values, uint32_t count)
{
    Parameter* p = Find(h);
    if (!p || !values) return D3DERR_INVALIDCALL;
    switch (p->desc.type) {
    case VornFxBaseType::Float:
        for (uint32_t i = 0; i < count && offset + i < p->floats.size(); ++i)
            p->floats[offset + i] = static_cast<float>(values[i]);
        break;
    case VornFxBaseType::Int:
        for (uint32_t i = 0; i < count && offset + i < p->ints.size(); ++i) p->ints[offset + i] = SafeInt(values[i]);
        break;
    case VornFxBaseType::Bool:
        for (uint32_t i = 0; i < count && offset + i < p->ints.size(); ++i) p->ints[offset + i] = values[i] != 0 ? 1 : 0;
        break;
    default:
        return D3DERR_INVALIDCALL;
    }
    p->dirty = true;
    return D3D_OK;
}

HRESULT VornFxEffect::SetBool(D3DXHANDLE h, BOOL value)
{
    const BOOL v = value ? TRUE : FALSE;
    return Write(h, 0, &v, 1);
}

HRESULT VornFxEffect::SetBoolArray(D3DXHANDLE h, const BOOL* values, UINT count)
{
    Parameter* p = Find(h);
    if (!p || !values) return D3DERR_INVALIDCALL;
    if (p->desc.type != VornFxBaseType::Float) return Write(h, 0, values, count);   // bools keep 0 or 1
    for (UINT i = 0; i < count && i < p->floats.size(); ++i) p->floats[i] = values[i] ? 1.0f : 0.0f;
    p->dirty = true;
    return D3D_OK;
}

HRESULT VornFxEffect::SetInt(D3DXHANDLE h, INT value) { return Write(h, 0, &value, 1); }
HRESULT VornFxEffect::SetIntArray(D3DXHANDLE h, const INT* values, UINT count) { return Write(h, 0, values, count); }
HRESULT VornFxEffect::SetFloat(D3DXHANDLE h, FLOAT value) { return Write(h, 0, &value, 1); }
HRESULT VornFxEffect::SetFloatArray(D3DXHANDLE h, const FLOAT* values, UINT count) { return Write(h, 0, values, count); }

HRESULT VornFxEffect::SetVector(D3DXHANDLE h, const D3DXVECTOR4* value)
{
    return SetVectorArray(h, value, 1);
}

HRESULT VornFxEffect::SetVectorArray(D3DXHANDLE h, const D3DXVECTOR4* values, UINT count)
{
    Parameter* p = Find(h);
    if (!p || !values) return D3DERR_INVALIDCALL;
    const uint32_t stride = p->desc.rows * p->desc.columns;
    for (uint32_t i = 0; i < count && i < p->desc.ElementCount(); ++i) {
        const float v[4] = {values[i].x, values[i].y, values[i].z, values[i].w};
        HRESULT hr = Write(h, i * stride, v, std::min<uint32_t>(4, stride));
        if (FAILED(hr)) return hr;
    }
    return D3D_OK;
}

HRESULT VornFxEffect::WriteMatrices(D3DXHANDLE h, const D3DXMATRIX* values, UINT count, bool transpose)
{
    Parameter* p = Find(h);
    if (!p || !values) return D3DERR_INVALIDCALL;
    // Rows and columns are 1..4 (the parser refuses others), so one element is at most 16 values.
    const uint32_t rows = std::min<uint32_t>(4, p->desc.rows), columns = std::min<uint32_t>(4, p->desc.columns);
    const uint32_t stride = rows * columns;
    for (uint32_t i = 0; i < count && i < p->desc.ElementCount(); ++i) {
        float v[16];
        for (uint32_t r = 0; r < rows; ++r)
            for (uint32_t c = 0; c < columns; ++c) v[r * columns + c] = transpose ? values[i].m[c][r] : values[i].m[r][c];
        HRESULT hr = Write(h, i * stride, v, stride);
        if (FAILED(hr)) return hr;
    }
    return D3D_OK;
}

HRESULT VornFxEffect::SetMatrix(D3DXHANDLE h, const D3DXMATRIX* value) { return WriteMatrices(h, value, 1, false); }
HRESULT VornFxEffect::SetMatrixArray(D3DXHANDLE h, const D3DXMATRIX* values, UINT count)
{
    return WriteMatrices(h, values, count, false);
}
HRESULT VornFxEffect::SetMatrixTranspose(D3DXHANDLE h, const D3DXMATRIX* value) { return WriteMatrices(h, value, 1, true); }
HRESULT VornFxEffect::SetMatrixTransposeArray(D3DXHANDLE h, const D3DXMATRIX* values, UINT count)
{
    return WriteMatrices(h, values, count, true);
}

HRESULT VornFxEffect::SetString(D3DXHANDLE h, const char* value)
{
    Parameter* p = Find(h);
    if (!p || !value || p->desc.type != VornFxBaseType::String) return D3DERR_INVALIDCALL;
    p->desc.stringValue = value;
    return D3D_OK;
}

HRESULT VornFxEffect::SetTexture(D3DXHANDLE h, IDirect3DBaseTexture9* texture)
{
    Parameter* p = Find(h);
    if (!p || p->desc.type != VornFxBaseType::Texture) return D3DERR_INVALIDCALL;
    if (texture) texture->AddRef();
    if (p->texture) p->texture->Release();
    p->texture = texture;
    p->dirty = true;
    return D3D_OK;
}

HRESULT VornFxEffect::GetFloatArray(D3DXHANDLE h, FLOAT* values, UINT count) const
{
    const Parameter* p = Find(h);
    if (!p || !values) return D3DERR_INVALIDCALL;
    for (UINT i = 0; i < count; ++i) {
        if (i < p->floats.size()) values[i] = p->floats[i];
        else if (i < p->ints.size()) values[i] = static_cast<FLOAT>(p->ints[i]);
        else values[i] = 0.0f;
    }
    return p->floats.empty() && p->ints.empty() ? D3DERR_INVALIDCALL : D3D_OK;
}

HRESULT VornFxEffect::GetIntArray(D3DXHANDLE h, INT* values, UINT count) const
{
    const Parameter* p = Find(h);
    if (!p || !values) return D3DERR_INVALIDCALL;
    for (UINT i = 0; i < count; ++i) {
        if (i < p->ints.size()) values[i] = p->ints[i];
        else if (i < p->floats.size()) values[i] = SafeInt(p->floats[i]);
        else values[i] = 0;
    }
    return p->floats.empty() && p->ints.empty() ? D3DERR_INVALIDCALL : D3D_OK;
}

HRESULT VornFxEffect::GetBoolArray(D3DXHANDLE h, BOOL* values, UINT count) const
{
    HRESULT hr = GetIntArray(h, reinterpret_cast<INT*>(values), count);
    if (SUCCEEDED(hr))
        for (UINT i = 0; i < count; ++i) values[i] = values[i] ? TRUE : FALSE;
    return hr;
}

HRESULT VornFxEffect::GetMatrix(D3DXHANDLE h, D3DXMATRIX* value) const
{
    const Parameter* p = Find(h);
    if (!p || !value || p->floats.empty()) return D3DERR_INVALIDCALL;
    memset(static_cast<void*>(value), 0, sizeof *value);
    for (uint32_t r = 0; r < p->desc.rows && r < 4; ++r)
        for (uint32_t c = 0; c < p->desc.columns && c < 4; ++c) value->m[r][c] = p->floats[r * p->desc.columns + c];
    return D3D_OK;
}

HRESULT VornFxEffect::GetString(D3DXHANDLE h, const char** value) const
{
    const Parameter* p = Find(h);
    if (!p || !value || p->desc.type != VornFxBaseType::String) return D3DERR_INVALIDCALL;
    *value = p->desc.stringValue.c_str();
    return D3D_OK;
}

HRESULT VornFxEffect::GetTexture(D3DXHANDLE h, IDirect3DBaseTexture9** texture) const
{
    const Parameter* p = Find(h);
    if (!p || !texture || p->desc.type != VornFxBaseType::Texture) return D3DERR_INVALIDCALL;
    *texture = p->texture;
    return D3D_OK;
}

// ---- drawing --------------------------------------------------------------------------------

float VornFxEffect::FloatAt(const Parameter& p, uint32_t element, uint32_t row, uint32_t column) const
{
    if (element >= p.desc.ElementCount() || row >= p.desc.rows || column >= p.desc.columns) return 0.0f;
    const size_t i = (static_cast<size_t>(element) * p.desc.rows + row) * p.desc.columns + column;
    if (i < p.floats.size()) return p.floats[i];
    if (i < p.ints.size()) return static_cast<float>(p.ints[i]);
    return 0.0f;
}

// Register layout as the compiler chose it: one register per element of scalars and vectors, one
// per row of a row_major matrix, one per column of a column_major one (so that mul(v, M) with a
// row-vector matrix set by SetMatrix gives v x M).
void VornFxEffect::Upload(const Shader& shader, bool all)
{
    const bool vertex = shader.vs != nullptr;
    for (const Binding& b : shader.bindings) {
        const Parameter& p = params_[b.parameter];
        if (b.set == D3DXRS_SAMPLER) {
            const bool textureDirty = p.samplerTexture >= 0 && params_[p.samplerTexture].dirty;
            if (all || p.dirty || textureDirty) BindSampler(b, vertex);
            continue;
        }
        if (!all && !p.dirty) continue;
        const UINT count = b.registerCount;
        if (count == 0) continue;
        const UINT elements = b.elements ? b.elements : 1;
        if (b.set == D3DXRS_FLOAT4 || b.set == D3DXRS_INT4) {
            std::vector<float>& regs = scratchFloats_;
            regs.assign(static_cast<size_t>(count) * 4, 0.0f);
            for (UINT e = 0; e < elements; ++e) {
                if (b.cls == D3DXPC_MATRIX_ROWS) {
                    for (UINT r = 0; r < b.rows; ++r) {
                        const UINT reg = e * b.rows + r;
                        if (reg >= count) break;
                        for (UINT c = 0; c < b.columns && c < 4; ++c) regs[reg * 4 + c] = FloatAt(p, e, r, c);
                    }
                } else if (b.cls == D3DXPC_MATRIX_COLUMNS) {
                    for (UINT c = 0; c < b.columns; ++c) {
                        const UINT reg = e * b.columns + c;
                        if (reg >= count) break;
                        for (UINT r = 0; r < b.rows && r < 4; ++r) regs[reg * 4 + r] = FloatAt(p, e, r, c);
                    }
                } else {
                    if (e >= count) break;
                    for (UINT c = 0; c < b.columns && c < 4; ++c) regs[e * 4 + c] = FloatAt(p, e, 0, c);
                }
            }
            if (b.set == D3DXRS_FLOAT4) {
                if (vertex) device_->SetVertexShaderConstantF(b.registerIndex, regs.data(), count);
                else device_->SetPixelShaderConstantF(b.registerIndex, regs.data(), count);
            } else {
                std::vector<int>& ints = scratchInts_;
                ints.resize(regs.size());
                for (size_t i = 0; i < regs.size(); ++i) ints[i] = SafeInt(regs[i]);
                if (vertex) device_->SetVertexShaderConstantI(b.registerIndex, ints.data(), count);
                else device_->SetPixelShaderConstantI(b.registerIndex, ints.data(), count);
            }
        } else if (b.set == D3DXRS_BOOL) {
            std::vector<BOOL>& regs = scratchInts_;
            regs.assign(count, FALSE);
            const uint32_t scalars = p.desc.ScalarCount();
            for (UINT k = 0; k < count && k < scalars; ++k) {
                const float v = k < p.floats.size() ? p.floats[k] : (k < p.ints.size() ? static_cast<float>(p.ints[k]) : 0.0f);
                regs[k] = v != 0.0f ? TRUE : FALSE;
            }
            if (vertex) device_->SetVertexShaderConstantB(b.registerIndex, regs.data(), count);
            else device_->SetPixelShaderConstantB(b.registerIndex, regs.data(), count);
        }
    }
}

void VornFxEffect::BindSampler(const Binding& b, bool vertex)
{
    const Parameter& p = params_[b.parameter];
    if (p.desc.type != VornFxBaseType::Sampler) return;
    const DWORD stage = vertex ? D3DVERTEXTEXTURESAMPLER0 + b.registerIndex : b.registerIndex;
    for (const VornFxSamplerState& s : p.desc.samplerStates) SetSamplerState(stage, static_cast<D3DSAMPLERSTATETYPE>(s.type), s.value);
    if (p.samplerTexture >= 0) SetTexture(stage, params_[static_cast<size_t>(p.samplerTexture)].texture);
    // a sampler without a texture reads what the stage holds
}

// Remembers the value a state had before the effect first changed it; false when nothing is kept.
bool VornFxEffect::SaveState(VornFxStateKind kind, DWORD type, DWORD index)
{
    if (beginFlags_ & VORN_FX_DONOTSAVESTATE) return false;
    for (const Saved& s : saved_)
        if (s.kind == kind && s.type == type && s.index == index) return false;
    DWORD before = 0;
    switch (kind) {
    case VornFxStateKind::Render:
        if (!states_->GetRenderState(static_cast<D3DRENDERSTATETYPE>(type), &before)) before = VornFxDefaultRenderState(type);
        break;
    case VornFxStateKind::Sampler:
        if (!states_->GetSamplerState(index, static_cast<D3DSAMPLERSTATETYPE>(type), &before))
            before = VornFxDefaultSamplerState(type);
        break;
    case VornFxStateKind::TextureStage:
        if (!states_->GetTextureStageState(index, static_cast<D3DTEXTURESTAGESTATETYPE>(type), &before))
            before = VornFxDefaultTextureStageState(index, type);
        break;
    case VornFxStateKind::LightEnable: {
        BOOL on = FALSE;
        before = states_->GetLightEnable(index, &on) && on ? TRUE : FALSE;
        break;
    }
    default:
        return false;
    }
    saved_.push_back({kind, type, index, before});
    return true;
}

void VornFxEffect::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value)
{
    SaveState(VornFxStateKind::Sampler, type, sampler);
    states_->SetSamplerState(sampler, type, value);
}

void VornFxEffect::SetTexture(DWORD stage, IDirect3DBaseTexture9* texture)
{
    if (!(beginFlags_ & VORN_FX_DONOTSAVESTATE)) {
        bool saved = false;
        for (const auto& s : savedTextures_) saved = saved || s.first == stage;
        if (!saved) {
            IDirect3DBaseTexture9* before = nullptr;
            if (FAILED(device_->GetTexture(stage, &before))) before = nullptr;
            savedTextures_.push_back({stage, before});
        }
    }
    device_->SetTexture(stage, texture);
}

// The value a state takes from its parameter: the first value, as a float's bits for float states.
DWORD VornFxEffect::StateValue(const State& s) const
{
    if (s.parameter < 0) return s.desc.value;
    const Parameter& p = params_[static_cast<size_t>(s.parameter)];
    const double v = !p.floats.empty() ? p.floats[0] : !p.ints.empty() ? p.ints[0] : 0.0;
    if (s.desc.isFloat) {
        const float f = static_cast<float>(v);
        DWORD bits;
        memcpy(&bits, &f, 4);
        return bits;
    }
    return (v > -2147483649.0 && v < 4294967296.0) ? static_cast<DWORD>(static_cast<int64_t>(v)) : 0;
}

void VornFxEffect::ApplyState(const State& s)
{
    const VornFxStateDesc& d = s.desc;
    const Parameter* p = s.parameter >= 0 ? &params_[static_cast<size_t>(s.parameter)] : nullptr;
    switch (d.kind) {
    case VornFxStateKind::Render:
        SaveState(d.kind, d.type, 0);
        states_->SetRenderState(static_cast<D3DRENDERSTATETYPE>(d.type), StateValue(s));
        break;
    case VornFxStateKind::TextureStage:
        SaveState(d.kind, d.type, d.index);
        states_->SetTextureStageState(d.index, static_cast<D3DTEXTURESTAGESTATETYPE>(d.type), StateValue(s));
        break;
    case VornFxStateKind::Sampler:
        SetSamplerState(d.index, static_cast<D3DSAMPLERSTATETYPE>(d.type), StateValue(s));
        break;
    case VornFxStateKind::LightEnable:
        SaveState(d.kind, 0, d.index);
        states_->SetLightEnable(d.index, StateValue(s) ? TRUE : FALSE);
        break;
    case VornFxStateKind::Texture:
        SetTexture(d.index, p ? p->texture : nullptr);
        break;
    case VornFxStateKind::SamplerObject:
        if (!p) break;
        for (const VornFxSamplerState& ss : p->desc.samplerStates)
            SetSamplerState(d.index, static_cast<D3DSAMPLERSTATETYPE>(ss.type), ss.value);
        if (p->samplerTexture >= 0) SetTexture(d.index, params_[static_cast<size_t>(p->samplerTexture)].texture);
        break;
    case VornFxStateKind::Transform: {
        if (!p) break;
        const D3DTRANSFORMSTATETYPE type = static_cast<D3DTRANSFORMSTATETYPE>(d.type);
        if (!(beginFlags_ & VORN_FX_DONOTSAVESTATE)) {
            bool saved = false;
            for (const auto& t : savedTransforms_) saved = saved || t.first == d.type;
            D3DMATRIX before;
            if (!saved && SUCCEEDED(device_->GetTransform(type, &before))) savedTransforms_.push_back({d.type, before});
        }
        D3DMATRIX m = {};
        for (uint32_t r = 0; r < 4; ++r)
            for (uint32_t c = 0; c < 4; ++c) m.m[r][c] = FloatAt(*p, 0, r, c);
        device_->SetTransform(type, &m);
        break;
    }
    default:
        SetConstants(s);
        break;
    }
}

// Shader constants named by the pass: a parameter's values register by register (one register per
// element of scalars and vectors, per column of a matrix, per row of a row_major one), or numbers.
void VornFxEffect::SetConstants(const State& s)
{
    const VornFxStateKind k = s.desc.kind;
    const bool vertex = k == VornFxStateKind::VertexConstantF || k == VornFxStateKind::VertexConstantI ||
                        k == VornFxStateKind::VertexConstantB;
    const bool isBool = k == VornFxStateKind::VertexConstantB || k == VornFxStateKind::PixelConstantB;
    const bool isFloat = k == VornFxStateKind::VertexConstantF || k == VornFxStateKind::PixelConstantF;
    const UINT limit = isFloat ? (vertex ? 256 : 224) : 16;
    if (s.desc.index >= limit) return;
    std::vector<float>& regs = scratchFloats_;
    regs.clear();
    if (s.parameter >= 0) {
        const Parameter& p = params_[static_cast<size_t>(s.parameter)];
        const uint32_t rows = p.desc.rows, columns = p.desc.columns;
        for (uint32_t e = 0; e < p.desc.ElementCount() && regs.size() < 4 * limit; ++e) {
            if (isBool) {
                for (uint32_t i = 0; i < rows * columns; ++i) regs.push_back(FloatAt(p, e, i / columns, i % columns));
                continue;
            }
            const bool byColumn = rows > 1 && !p.desc.rowMajor;
            const uint32_t registers = byColumn ? columns : rows;
            for (uint32_t r = 0; r < registers; ++r)
                for (uint32_t c = 0; c < 4; ++c) {
                    const bool inside = byColumn ? c < rows : c < columns;
                    regs.push_back(!inside ? 0.0f : byColumn ? FloatAt(p, e, c, r) : FloatAt(p, e, r, c));
                }
        }
    } else {
        for (double v : s.desc.values) regs.push_back(static_cast<float>(v));
        if (!isBool) regs.resize((regs.size() + 3) / 4 * 4, 0.0f);
    }
    const UINT per = isBool ? 1 : 4;
    const UINT count = std::min<UINT>(static_cast<UINT>(regs.size() / per), limit - s.desc.index);
    if (count == 0) return;
    if (isFloat) {
        if (vertex) device_->SetVertexShaderConstantF(s.desc.index, regs.data(), count);
        else device_->SetPixelShaderConstantF(s.desc.index, regs.data(), count);
        return;
    }
    std::vector<INT>& ints = scratchInts_;
    ints.resize(static_cast<size_t>(count) * per);
    for (size_t i = 0; i < ints.size(); ++i) ints[i] = isBool ? (regs[i] != 0.0f ? TRUE : FALSE) : SafeInt(regs[i]);
    if (k == VornFxStateKind::VertexConstantI) device_->SetVertexShaderConstantI(s.desc.index, ints.data(), count);
    else if (k == VornFxStateKind::PixelConstantI) device_->SetPixelShaderConstantI(s.desc.index, ints.data(), count);
    else if (vertex) device_->SetVertexShaderConstantB(s.desc.index, ints.data(), count);
    else device_->SetPixelShaderConstantB(s.desc.index, ints.data(), count);
}

// The shader a pass sets: fixed, or the element of a shader array its index parameter picks now
// (an index outside the array takes the nearest element).
int VornFxEffect::ResolveShader(const ShaderRef& ref) const
{
    if (ref.parameter < 0) return ref.shader;
    const Parameter& p = params_[static_cast<size_t>(ref.parameter)];
    if (p.shaders.empty()) return -1;
    int64_t index = ref.index;
    if (ref.indexParameter >= 0) {
        const Parameter& ip = params_[static_cast<size_t>(ref.indexParameter)];
        index = !ip.ints.empty() ? ip.ints[0] : 0;
    }
    index = std::max<int64_t>(0, std::min<int64_t>(index, static_cast<int64_t>(p.shaders.size()) - 1));
    return p.shaders[static_cast<size_t>(index)];
}

void VornFxEffect::UploadPass(bool all)
{
    const Pass& pass = technique_->passes[static_cast<size_t>(currentPass_)];
    for (const State& s : pass.states)
        if (all || (s.parameter >= 0 && params_[static_cast<size_t>(s.parameter)].dirty)) ApplyState(s);
    if (pass.vs.set) {
        const int vs = ResolveShader(pass.vs);
        const bool changed = vs != currentVs_;
        if (all || changed) device_->SetVertexShader(vs >= 0 ? shaders_[static_cast<size_t>(vs)].vs : nullptr);
        currentVs_ = vs;
        if (vs >= 0) Upload(shaders_[static_cast<size_t>(vs)], all || changed);
    }
    if (pass.ps.set) {
        const int ps = ResolveShader(pass.ps);
        const bool changed = ps != currentPs_;
        if (all || changed) device_->SetPixelShader(ps >= 0 ? shaders_[static_cast<size_t>(ps)].ps : nullptr);
        currentPs_ = ps;
        if (ps >= 0) Upload(shaders_[static_cast<size_t>(ps)], all || changed);
    }
    for (Parameter& p : params_) p.dirty = false;
}

HRESULT VornFxEffect::Begin(UINT* passes, DWORD flags)
{
    if (begun_ || !technique_) return D3DERR_INVALIDCALL;
    begun_ = true;
    beginFlags_ = flags;
    currentPass_ = -1;
    if (passes) *passes = static_cast<UINT>(technique_->passes.size());
    return D3D_OK;
}

HRESULT VornFxEffect::BeginPass(UINT pass)
{
    if (!begun_ || currentPass_ >= 0 || pass >= technique_->passes.size()) return D3DERR_INVALIDCALL;
    currentPass_ = static_cast<int>(pass);
    currentVs_ = currentPs_ = -2;
    UploadPass(true);
    return D3D_OK;
}

HRESULT VornFxEffect::CommitChanges()
{
    if (currentPass_ < 0) return D3D_OK;   // values go up at the next BeginPass
    UploadPass(false);
    return D3D_OK;
}

HRESULT VornFxEffect::EndPass()
{
    if (currentPass_ < 0) return D3DERR_INVALIDCALL;
    currentPass_ = -1;
    return D3D_OK;
}

HRESULT VornFxEffect::End()
{
    if (!begun_) return D3DERR_INVALIDCALL;
    currentPass_ = -1;
    begun_ = false;
    if (!(beginFlags_ & VORN_FX_DONOTSAVESTATE)) {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            switch (it->kind) {
            case VornFxStateKind::Render:
                states_->SetRenderState(static_cast<D3DRENDERSTATETYPE>(it->type), it->value);
                break;
            case VornFxStateKind::Sampler:
                states_->SetSamplerState(it->index, static_cast<D3DSAMPLERSTATETYPE>(it->type), it->value);
                break;
            case VornFxStateKind::TextureStage:
                states_->SetTextureStageState(it->index, static_cast<D3DTEXTURESTAGESTATETYPE>(it->type), it->value);
                break;
            default:
                states_->SetLightEnable(it->index, it->value ? TRUE : FALSE);
                break;
            }
        }
        for (auto& saved : savedTextures_) device_->SetTexture(saved.first, saved.second);
        for (auto& t : savedTransforms_) device_->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(t.first), &t.second);
        if (!(beginFlags_ & VORN_FX_DONOTSAVESHADERSTATE)) {
            device_->SetVertexShader(nullptr);
            device_->SetPixelShader(nullptr);
        }
    }
    for (auto& saved : savedTextures_)
        if (saved.second) saved.second->Release();
    saved_.clear();
    savedTextures_.clear();
    savedTransforms_.clear();
    beginFlags_ = 0;
    return D3D_OK;
}

HRESULT VornFxEffect::OnLostDevice()
{
    // Shaders and constants are not default-pool resources; nothing to let go of.
    return D3D_OK;
}

HRESULT VornFxEffect::OnResetDevice()
{
    for (Parameter& p : params_) p.dirty = true;   // the reset cleared the constant registers
    return D3D_OK;
}
