#include "VornFile.h"
#include "Vorn.h"
#include "VornLZSS.h"
#include "VornLog.h"
#include "VornMemory.h"
#include "VornPackFormat.h"
#include "VornSystem.h"
#include <conio.h>
#include <cstdio>
#include <cstring>

namespace {

constexpr size_t PATH_SIZE = 256;

char g_root[PATH_SIZE];
char g_current[PATH_SIZE];
char g_pack[PATH_SIZE];
char g_kind[FILE_KIND_COUNT][PATH_SIZE];
volatile LONG g_tempCounter = -1;

const char* const kDefaultKindFolder[FILE_KIND_COUNT] = {
    "", "texture", "model", "shader", "font", "sound", "music", "audio", "media", "data",
};

// Kind 0 names the root itself (its folder stays empty).
bool ValidKind(uint32_t kind) { return kind < FILE_KIND_COUNT; }

// A folder with a trailing '\\' when not empty (Shift-JIS aware: 0x5C may be a trail byte).
void SetFolder(char* out, const char* folder)
{
    std::memset(out, 0, PATH_SIZE);
    if (!folder || !*folder) return;
    if (!VornSystem::CopyText(out, PATH_SIZE - 1, folder)) {
        std::memset(out, 0, PATH_SIZE);   // a cut folder would point somewhere else
        return;
    }
    bool endsWithSeparator = false;
    for (size_t i = 0; out[i];) {
        const uint32_t length = VornSystem::CharLength(out + i);
        endsWithSeparator = length == 1 && (out[i] == '\\' || out[i] == '/');
        i += length;
    }
    if (!endsWithSeparator) VornSystem::AppendText(out, PATH_SIZE, "\\");
}

bool Join(char* out, const char* a, const char* b, const char* c = "")
{
    return VornSystem::FormatText(out, PATH_SIZE, "%s%s%s", a, b, c);
}

void LogAllocFailure()
{
    VornLog::Print(" {");
    VornLog::LineBreak();
    VornLog::StrongRed("　　ファイル展開用メモリ確保に失敗 [%.5lfKB]", VornMemory::GetLastAllocSize() / 1024.0);
    VornLog::LineBreak();
    VornLog::Print("} ");
    VornLog::LineBreak();
}

void LogError(const char* text)
{
    VornLog::Print(" {");
    VornLog::LineBreak();
    VornLog::StrongRed("　　%s", text);
    VornLog::LineBreak();
    VornLog::Print("} ");
    VornLog::LineBreak();
}

void LogBadKind(const char* operation, uint32_t kind, const char* name)
{
    VornLog::StrongBlue("%s", operation);
    VornLog::Print(" : [ %s ] : ", name ? name : "");
    VornLog::StrongRed("ファイルの種類が不正です [ %u ]", kind);
    VornLog::LineBreak();
}

HANDLE OpenRead(const char* path)
{
    return ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool FileSize32(HANDLE file, uint32_t* size)
{
    LARGE_INTEGER s;
    if (!::GetFileSizeEx(file, &s) || s.QuadPart < 0 || s.QuadPart > 0xFFFFFFFFll) return false;
    *size = uint32_t(s.QuadPart);
    return true;
}

bool ReadExact(HANDLE file, void* buffer, uint32_t size)
{
    uint8_t* p = static_cast<uint8_t*>(buffer);
    while (size > 0) {
        DWORD got = 0;
        if (!::ReadFile(file, p, size, &got, nullptr) || got == 0) return false;
        p += got;
        size -= got;
    }
    return true;
}

bool WriteExact(HANDLE file, const void* buffer, uint32_t size)
{
    const uint8_t* p = static_cast<const uint8_t*>(buffer);
    while (size > 0) {
        DWORD put = 0;
        if (!::WriteFile(file, p, size, &put, nullptr) || put == 0) return false;
        p += put;
        size -= put;
    }
    return true;
}

bool SeekTo(HANDLE file, uint64_t position)
{
    LARGE_INTEGER to;
    to.QuadPart = LONGLONG(position);
    return ::SetFilePointerEx(file, to, nullptr, FILE_BEGIN) != 0;
}

uint64_t Tell(HANDLE file)
{
    LARGE_INTEGER zero = {}, at = {};
    ::SetFilePointerEx(file, zero, &at, FILE_CURRENT);
    return uint64_t(at.QuadPart);
}

// The directory of an open pack: the table bytes from the work area (free with FreeQuiet).
struct Directory
{
    uint8_t* table = nullptr;
    uint32_t count = 0;
    uint64_t fileSize = 0;
    ~Directory() { VornMemory::FreeQuiet(table); }
};

// false without the magic or with a directory that does not fit the file (logged).
bool ReadDirectory(HANDLE pack, Directory* dir)
{
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(pack, &size) || !SeekTo(pack, 0)) return false;
    dir->fileSize = uint64_t(size.QuadPart);
    uint8_t head[VornPackFormat::HEADER_SIZE];
    if (dir->fileSize < sizeof head || !ReadExact(pack, head, sizeof head)) return false;
    if (std::memcmp(head, "PACK", 4) != 0) return false;   // not a pack: no entries
    if (!VornPackFormat::ReadHeader(head, dir->fileSize, &dir->count)) {
        LogError("PACKファイルの目録が壊れています");
        return false;
    }
    if (dir->count == 0) return true;
    const uint32_t bytes = dir->count * VornPackFormat::ENTRY_SIZE;   // fits: bounded by the file size
    dir->table = static_cast<uint8_t*>(VornMemory::AllocQuiet(bytes, VornMemory::DEFAULT_TAG, __FILE__, __LINE__));
    if (!dir->table) {
        LogAllocFailure();
        return false;
    }
    if (!ReadExact(pack, dir->table, bytes)) {
        LogError("PACKファイルの目録が読めません");
        return false;
    }
    return true;
}

bool DecodeIfCompressedImpl(void** data, uint32_t* size)
{
    if (!VornLZSS::IsCompressed(*data, *size)) return true;
    auto fail = [&](void* out) {
        VornMemory::FreeQuiet(out);
        VornMemory::FreeQuiet(*data);
        *data = nullptr;
        *size = 0;
    };
    // INVALID_SIZE: a header whose size the stream cannot reach, refused before allocating for it.
    const uint32_t decoded = VornLZSS::GetDecodedSize(*data, *size);
    void* out = decoded == VornLZSS::INVALID_SIZE
                    ? nullptr : VornMemory::AllocZeroQuiet(decoded, VornMemory::DEFAULT_TAG, __FILE__, __LINE__);
    if (!out && decoded != VornLZSS::INVALID_SIZE) {
        fail(nullptr);
        LogAllocFailure();
        return false;
    }
    if (!out || !VornLZSS::Decode(*data, *size, out, decoded)) {
        fail(out);
        LogError("ファイルのデコードに失敗");
        return false;
    }
    VornMemory::FreeQuiet(*data);
    *data = out;
    *size = decoded;
    return true;
}

} // namespace

bool VornFile::Initialize()
{
    VornLog::Title("VornFileクラスの初期化");
    SetRootPath("data", "data.bin");
    SetCurrentPath("");
    for (uint32_t kind = FILE_KIND_TEXTURE; kind <= FILE_KIND_DATA; ++kind) SetKindPath(kind, kDefaultKindFolder[kind]);
    return true;
}

void VornFile::Finalize() { VornLog::Title("VornFileクラスの解放"); }

void VornFile::SetRootPath(const char* root, const char* pack)
{
    SetFolder(g_root, root);
    std::memset(g_pack, 0, sizeof g_pack);
    if (pack && !VornSystem::CopyText(g_pack, pack)) std::memset(g_pack, 0, sizeof g_pack);
}

void VornFile::SetCurrentPath(const char* folder) { SetFolder(g_current, folder); }

void VornFile::SetKindPath(uint32_t kind, const char* folder)
{
    if (kind != FILE_KIND_NONE && ValidKind(kind)) SetFolder(g_kind[kind], folder);
}

const char* VornFile::GetRootPath() { return g_root; }
const char* VornFile::GetCurrentPath() { return g_current; }
const char* VornFile::GetPackPath() { return g_pack; }
const char* VornFile::GetKindPath(uint32_t kind) { return ValidKind(kind) ? g_kind[kind] : ""; }

uint32_t VornFile::Crc32(const uint8_t* data, uint32_t length) { return VornPackFormat::Crc32(data, length); }

bool VornFile::DecodeIfCompressed(void** data, uint32_t* size)
{
    if (!data || !size || !*data) return false;
    return DecodeIfCompressedImpl(data, size);
}

// ---- whole loads ----

bool VornFile::LoadFromFile(const char* path, void** data, uint32_t* size)
{
    Vorn::ResetCurrentDirectory();
    if (!path || !*path) return false;
    HANDLE file = OpenRead(path);
    if (file == INVALID_HANDLE_VALUE) return false;
    if (!data || !size) {
        ::CloseHandle(file);
        return true;
    }
    uint32_t length = 0;
    if (!FileSize32(file, &length)) {
        ::CloseHandle(file);
        return false;
    }
    void* buffer = VornMemory::AllocZeroQuiet(length, VornMemory::DEFAULT_TAG, __FILE__, __LINE__);
    if (!buffer) {
        ::CloseHandle(file);
        LogAllocFailure();
        return false;
    }
    const bool read = ReadExact(file, buffer, length);
    ::CloseHandle(file);
    if (!read) {
        VornMemory::FreeQuiet(buffer);
        LogError("ファイルの読み込みに失敗");
        return false;
    }
    *data = buffer;
    *size = length;
    return DecodeIfCompressedImpl(data, size);
}

bool VornFile::LoadFromPack(const char* name, const char* packPath, void** data, uint32_t* size)
{
    Vorn::ResetCurrentDirectory();
    if (!name || !packPath || !*packPath) return false;
    HANDLE pack = OpenRead(packPath);
    if (pack == INVALID_HANDLE_VALUE) return false;
    if (!data || !size) {
        ::CloseHandle(pack);
        return true;
    }
    char key[PATH_SIZE];
    VornSystem::NormalizePath(key, name, sizeof key);
    uint32_t offset = 0, length = 0, crc = 0;
    bool ok = FindPackEntry(pack, key, &offset, &length, &crc) && SeekTo(pack, offset);
    void* buffer = nullptr;
    if (ok) {
        buffer = VornMemory::AllocZeroQuiet(length, VornMemory::DEFAULT_TAG, __FILE__, __LINE__);
        if (!buffer) {
            LogAllocFailure();
            ok = false;
        } else if (!ReadExact(pack, buffer, length)) {
            LogError("ファイルの読み込みに失敗");
            ok = false;
        } else if (VornPackFormat::Crc32(buffer, length) != crc) {
            LogError("ファイルのCRCが一致しません");
            ok = false;
        }
    }
    ::CloseHandle(pack);
    if (!ok) {
        VornMemory::FreeQuiet(buffer);
        *data = nullptr;
        return false;
    }
    *data = buffer;
    *size = length;
    return DecodeIfCompressedImpl(data, size);
}

bool VornFile::LoadFromResource(const char* name, const char* type, void** data, uint32_t* size)
{
    if (!name) return false;
    HMODULE module = Vorn::GetInstanceHandle();
    if (!module) module = ::GetModuleHandleA(nullptr);
    HRSRC resource = type ? ::FindResourceA(module, name, type) : nullptr;
    if (!resource) resource = ::FindResourceA(module, name, MAKEINTRESOURCEA(10));   // RT_RCDATA
    if (!resource) return false;
    HGLOBAL loaded = ::LoadResource(module, resource);
    if (!loaded) return false;
    if (!data || !size) return true;
    const uint32_t length = ::SizeofResource(module, resource);
    const void* bytes = ::LockResource(loaded);
    if (!bytes && length) return false;
    void* buffer = VornMemory::AllocZeroQuiet(length, VornMemory::DEFAULT_TAG, __FILE__, __LINE__);
    if (!buffer) {
        LogAllocFailure();
        return false;
    }
    std::memcpy(buffer, bytes, length);
    *data = buffer;
    *size = length;
    return DecodeIfCompressedImpl(data, size);
}

bool VornFile::Load(uint32_t kind, const char* name, void** data, uint32_t* size)
{
    if (!name) return false;
    if (!ValidKind(kind)) {
        LogBadKind("VornFile::Load", kind, name);
        return false;
    }
    char path[PATH_SIZE];
    if (Join(path, g_root, g_current, name) && LoadFromFile(path, data, size)) return true;
    if (Join(path, g_current, name) && LoadFromPack(path, g_pack, data, size)) return true;
    if (Join(path, g_root, g_kind[kind], name) && LoadFromFile(path, data, size)) return true;
    if (Join(path, g_kind[kind], name) && LoadFromPack(path, g_pack, data, size)) return true;
    if (LoadFromResource(name, g_kind[kind], data, size)) return true;
    return LoadFromFile(name, data, size);
}

// ---- streams ----

namespace {
VornFileStream* NewStream(HANDLE file, uint32_t inPack, uint32_t start, uint32_t size)
{
    VornFileStream* s = static_cast<VornFileStream*>(
        VornMemory::AllocZeroQuiet(sizeof(VornFileStream), VornMemory::DEFAULT_TAG, __FILE__, __LINE__));
    if (!s) return nullptr;
    s->file = file;
    s->inPack = inPack;
    s->start = start;
    s->size = size;
    ::GetFileTime(file, &s->creation, &s->lastAccess, &s->lastWrite);
    return s;
}

// Read and write when the file allows it, read-only otherwise.
HANDLE OpenStreamFile(const char* path)
{
    HANDLE file = ::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        file = ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    return file;
}
} // namespace

VornFileStream* VornFile::OpenFromFile(const char* path)
{
    Vorn::ResetCurrentDirectory();
    if (!path || !*path) return nullptr;
    HANDLE file = OpenStreamFile(path);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    uint32_t size = 0;
    VornFileStream* s = FileSize32(file, &size) ? NewStream(file, 0, 0, size) : nullptr;
    if (!s) ::CloseHandle(file);
    return s;
}

VornFileStream* VornFile::OpenFromPack(const char* name, const char* packPath)
{
    Vorn::ResetCurrentDirectory();
    if (!name || !packPath || !*packPath) return nullptr;
    HANDLE file = OpenStreamFile(packPath);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    char key[PATH_SIZE];
    VornSystem::NormalizePath(key, name, sizeof key);
    uint32_t offset = 0, size = 0;
    VornFileStream* s = nullptr;
    if (FindPackEntry(file, key, &offset, &size, nullptr) && SeekTo(file, offset)) s = NewStream(file, 1, offset, size);
    if (!s) ::CloseHandle(file);
    return s;
}

VornFileStream* VornFile::Open(uint32_t kind, const char* name)
{
    if (!name) return nullptr;
    if (!ValidKind(kind)) {
        LogBadKind("VornFile::Open", kind, name);
        return nullptr;
    }
    char path[PATH_SIZE];
    VornFileStream* s = nullptr;
    if (Join(path, g_root, g_current, name) && (s = OpenFromFile(path))) return s;
    if (Join(path, g_current, name) && (s = OpenFromPack(path, g_pack))) return s;
    if (Join(path, g_root, g_kind[kind], name) && (s = OpenFromFile(path))) return s;
    if (Join(path, g_kind[kind], name) && (s = OpenFromPack(path, g_pack))) return s;
    return OpenFromFile(name);
}

void VornFile::Close(VornFileStream* stream)
{
    if (!stream) return;
    ::SetFileTime(stream->file, &stream->creation, &stream->lastAccess, &stream->lastWrite);
    ::CloseHandle(stream->file);
    VornMemory::FreeQuiet(stream);
}

uint32_t VornFile::GetSize(const VornFileStream* stream) { return stream ? stream->size : 0; }

uint32_t VornFile::GetPosition(const VornFileStream* stream)
{
    if (!stream) return 0;
    return uint32_t(Tell(stream->file) - stream->start);
}

namespace {
uint32_t Remaining(const VornFileStream* s)
{
    const uint64_t end = uint64_t(s->start) + s->size, at = Tell(s->file);
    return at >= end ? 0 : uint32_t(end - at);
}
} // namespace

uint32_t VornFile::Read(VornFileStream* stream, uint32_t size, void* buffer)
{
    if (!stream || !buffer || stream->file == INVALID_HANDLE_VALUE) return 0;
    const uint32_t rest = Remaining(stream);
    if (size > rest) size = rest;
    DWORD got = 0;
    if (size == 0 || !::ReadFile(stream->file, buffer, size, &got, nullptr)) return 0;
    return got;
}

uint32_t VornFile::Write(VornFileStream* stream, uint32_t size, const void* buffer)
{
    if (!stream || !buffer || stream->file == INVALID_HANDLE_VALUE) return 0;
    const uint32_t rest = Remaining(stream);
    if (size > rest) size = rest;
    DWORD put = 0;
    if (size == 0 || !::WriteFile(stream->file, buffer, size, &put, nullptr)) return 0;
    return put;
}

bool VornFile::Seek(VornFileStream* stream, int32_t offset, uint32_t origin)
{
    if (!stream) return false;
    int64_t base;
    switch (origin) {
    case 0: base = int64_t(Tell(stream->file)); break;
    case 1: base = stream->start; break;
    case 2: base = int64_t(stream->start) + stream->size; break;
    default: return false;
    }
    const int64_t to = base + offset;
    if (to < int64_t(stream->start) || to > int64_t(stream->start) + stream->size) return false;
    return SeekTo(stream->file, uint64_t(to));
}

// ---- pack lookups ----

bool VornFile::FindPackEntry(HANDLE pack, const char* normalisedName, uint32_t* offset, uint32_t* size,
                             uint32_t* dataCrc)
{
    if (!pack || pack == INVALID_HANDLE_VALUE || !normalisedName) return false;
    bool found = false;
    {
        Directory dir;
        if (ReadDirectory(pack, &dir)) {
            const int64_t index = VornPackFormat::FindEntry(dir.table, dir.count, normalisedName);
            if (index >= 0) {
                VornPackEntry entry;
                VornPackFormat::ReadEntry(dir.table + size_t(index) * VornPackFormat::ENTRY_SIZE, &entry, nullptr);
                if (!VornPackFormat::EntryInBounds(entry, dir.count, dir.fileSize)) {
                    LogError("PACKファイルの項目がファイルの外を指しています");
                } else {
                    if (offset) *offset = entry.offset;
                    if (size) *size = entry.size;
                    if (dataCrc) *dataCrc = entry.dataCrc;
                    found = true;
                }
            }
        }
    }
    SeekTo(pack, 0);
    return found;
}

VornPackCheck VornFile::CheckPack(const char* path)
{
    Vorn::ResetCurrentDirectory();
    VornLog::StrongBlue("VornFile::CheckPack");
    VornLog::Print(" : [ %s ] : ", path ? path : "");
    HANDLE pack = path && *path ? OpenRead(path) : INVALID_HANDLE_VALUE;
    if (pack == INVALID_HANDLE_VALUE) {
        VornLog::StrongRed("ファイルが開けません");
        VornLog::LineBreak();
        return PACK_CHECK_MISSING;
    }
    bool ok = false;
    {
        Directory dir;
        ok = ReadDirectory(pack, &dir);
        for (uint32_t i = 0; ok && i < dir.count; ++i) {
            VornPackEntry entry;
            VornPackFormat::ReadEntry(dir.table + size_t(i) * VornPackFormat::ENTRY_SIZE, &entry, nullptr);
            ok = VornPackFormat::EntryInBounds(entry, dir.count, dir.fileSize);
        }
    }
    ::CloseHandle(pack);
    if (ok) {
        VornLog::StrongGreen("Success");
    } else {
        VornLog::StrongRed("PACKファイルが壊れています");
    }
    VornLog::LineBreak();
    return ok ? PACK_CHECK_OK : PACK_CHECK_DAMAGED;
}

bool VornFile::ExistsInPack(uint32_t kind, const char* name)
{
    if (!name || !ValidKind(kind)) return false;
    Vorn::ResetCurrentDirectory();
    HANDLE pack = OpenRead(g_pack);
    if (pack == INVALID_HANDLE_VALUE) return false;
    char path[PATH_SIZE], key[PATH_SIZE];
    bool found = false;
    if (Join(path, g_current, name)) {
        VornSystem::NormalizePath(key, path, sizeof key);
        found = FindPackEntry(pack, key, nullptr, nullptr, nullptr);
    }
    if (!found && Join(path, g_kind[kind], name)) {
        VornSystem::NormalizePath(key, path, sizeof key);
        found = FindPackEntry(pack, key, nullptr, nullptr, nullptr);
    }
    ::CloseHandle(pack);
    return found;
}

bool VornFile::FindFilePath(uint32_t kind, char* outPath, const char* name)
{
    if (!outPath || !name) return false;
    outPath[0] = '\0';
    if (!ValidKind(kind)) return false;
    Vorn::ResetCurrentDirectory();
    auto opens = [](const char* path) {
        HANDLE f = OpenRead(path);
        if (f == INVALID_HANDLE_VALUE) return false;
        ::CloseHandle(f);
        return true;
    };
    if (Join(outPath, g_root, g_current, name) && opens(outPath)) return true;
    if (Join(outPath, g_root, g_kind[kind], name) && opens(outPath)) return true;
    VornSystem::CopyText(outPath, PATH_SIZE, name);
    return opens(outPath);
}

bool VornFile::ExtractToTemp(uint32_t kind, const char* name, char* outPath)
{
    if (!name || !outPath) return false;
    outPath[0] = '\0';
    VornFileStream* stream = Open(kind, name);
    if (!stream) return false;
    char temp[PATH_SIZE] = "", longTemp[PATH_SIZE] = "";
    const DWORD n = ::GetTempPathA(sizeof temp, temp);
    if (n == 0 || n >= sizeof temp) {
        Close(stream);
        return false;
    }
    VornSystem::GetLongPath(temp, longTemp, sizeof longTemp);
    size_t length = std::strlen(longTemp);
    if (length && longTemp[length - 1] == '\\') longTemp[length - 1] = '\0';
    // One flat file per call: the name's folders become part of the file name.
    char flat[PATH_SIZE];
    VornSystem::CopyText(flat, name);
    for (size_t i = 0; flat[i];) {
        const uint32_t length = VornSystem::CharLength(flat + i);
        if (length == 1 && (flat[i] == '\\' || flat[i] == '/' || flat[i] == ':')) flat[i] = '_';
        i += length;
    }
    // CREATE_NEW, never over a file that is there: another program running the same data (or a
    // copy left by one that crashed) may be reading its own copy under the same name. Such a name is
    // skipped and the running counter moves on.
    HANDLE out = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 10000 && out == INVALID_HANDLE_VALUE; ++attempt) {
        const long counter = ::InterlockedIncrement(&g_tempCounter);
        if (!VornSystem::FormatText(outPath, PATH_SIZE, "%s\\%04ld_%s", longTemp, counter, flat)) break;
        out = ::CreateFileA(outPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (out == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS && ::GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    if (out == INVALID_HANDLE_VALUE) {
        outPath[0] = '\0';
        Close(stream);
        return false;
    }
    bool ok = true;
    uint8_t piece[16384];
    for (;;) {
        const uint32_t got = Read(stream, sizeof piece, piece);
        if (got == 0) break;
        if (!WriteExact(out, piece, got)) {
            ok = false;
            break;
        }
    }
    ::CloseHandle(out);
    Close(stream);
    if (!ok) ::DeleteFileA(outPath);
    return ok;
}

// ---- packer and unpacker (tools; their console is the process console) ----

namespace {

void ToolError(const char* format, const char* argument)
{
    std::printf(format, argument);
    std::fflush(stdout);
    VornLog::StrongRed(format, argument);
    VornLog::LineBreak();
}

// A packer run by hand in a console window waits for a key after an error, so that the message
// stays readable; run from a build (output redirected) it goes on at once.
void PackerError(const char* format, const char* argument)
{
    ToolError(format, argument);
    DWORD mode;
    if (::GetConsoleMode(::GetStdHandle(STD_INPUT_HANDLE), &mode) &&
        ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode))
        _getch();
}

bool IsDirectory(const char* path)
{
    const DWORD a = ::GetFileAttributesA(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

uint32_t VornFile::CollectFiles(VornPackEntry* table, uint32_t count, uint32_t capacity, const char* folder,
                                const char* root, bool* complete)
{
    char pattern[PATH_SIZE];
    if (!VornSystem::FormatText(pattern, sizeof pattern, "%s\\*.*", folder)) {
        ToolError("ERROR : パスが長すぎます [%s]\n", folder);
        if (complete) *complete = false;
        return count;
    }
    WIN32_FIND_DATAA found;
    HANDLE find = ::FindFirstFileA(pattern, &found);
    if (find == INVALID_HANDLE_VALUE) return count;
    const size_t rootLength = std::strlen(root);
    do {
        if (std::strcmp(found.cFileName, ".") == 0 || std::strcmp(found.cFileName, "..") == 0) continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) continue;
        char path[PATH_SIZE];
        const bool absolute = found.cFileName[0] && found.cFileName[1] == ':';
        const bool fits = absolute ? VornSystem::CopyText(path, found.cFileName)
                                   : VornSystem::FormatText(path, sizeof path, "%s\\%s", folder, found.cFileName);
        if (!fits) {
            ToolError("ERROR : パスが長すぎます [%s]\n", found.cFileName);
            if (complete) *complete = false;
            continue;
        }
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            count = CollectFiles(table, count, capacity, path, root, complete);
            continue;
        }
        const char* relative = path + rootLength;
        while (*relative == '\\' || *relative == '/') ++relative;
        if (count >= capacity) {
            ToolError("ERROR : ファイルが多すぎます [%s]\n", relative);
            if (complete) *complete = false;
            continue;
        }
        if (std::strlen(relative) >= VornPackFormat::NAME_SIZE || found.nFileSizeHigh != 0) {
            ToolError("ERROR : 名前が長すぎるか大きすぎるファイル [%s]\n", relative);
            if (complete) *complete = false;
            continue;
        }
        VornPackEntry& e = table[count++];
        std::memset(&e, 0, sizeof e);
        VornSystem::CopyText(e.name, sizeof e.name, relative);
        e.size = found.nFileSizeLow;
    } while (::FindNextFileA(find, &found));
    ::FindClose(find);
    return count;
}

bool VornFile::BuildPack(const char* outName, const char* folder)
{
    if (!outName || !folder || !IsDirectory(folder)) {
        ToolError("ERROR : フォルダがありません [%s]\n", folder ? folder : "");
        return false;
    }
    // base: the name without its extension (a '.' in a folder name or at the start is kept).
    char base[PATH_SIZE];
    if (!VornSystem::CopyText(base, outName)) return false;
    char* dot = nullptr;
    for (char* p = base; *p; ++p) {
        if (*p == '\\' || *p == '/') dot = nullptr;
        else if (*p == '.' && p != base && p[-1] != '\\' && p[-1] != '/') dot = p;
    }
    if (dot) *dot = '\0';
    char binPath[PATH_SIZE], incPath[PATH_SIZE];
    if (!VornSystem::FormatText(binPath, sizeof binPath, "%s.bin", base) ||
        !VornSystem::FormatText(incPath, sizeof incPath, "%s.inc", base))
        return false;

    VornPackEntry* table = static_cast<VornPackEntry*>(VornMemory::AllocZeroQuiet(
        PACK_CAPACITY * uint32_t(sizeof(VornPackEntry)), VornMemory::DEFAULT_TAG, __FILE__, __LINE__));
    if (!table) {
        ToolError("ERROR : 目録のメモリ確保に失敗 [%s]\n", folder);
        return false;
    }
    bool complete = true;
    uint32_t count = CollectFiles(table, 0, PACK_CAPACITY, folder, folder, &complete);
    // A pack made inside the folder it packs leaves out its own output of an earlier run.
    char binFull[MAX_PATH] = "", incFull[MAX_PATH] = "", entryFull[MAX_PATH];
    ::GetFullPathNameA(binPath, sizeof binFull, binFull, nullptr);
    ::GetFullPathNameA(incPath, sizeof incFull, incFull, nullptr);
    uint32_t kept = 0;
    for (uint32_t i = 0; i < count; ++i) {
        char source[PATH_SIZE];
        if (VornSystem::FormatText(source, sizeof source, "%s\\%s", folder, table[i].name) &&
            ::GetFullPathNameA(source, sizeof entryFull, entryFull, nullptr) &&
            (::lstrcmpiA(entryFull, binFull) == 0 || ::lstrcmpiA(entryFull, incFull) == 0))
            continue;
        table[kept++] = table[i];
    }
    count = kept;
    for (uint32_t i = 0; i < count; ++i) {
        char key[VornPackFormat::NAME_SIZE];
        VornSystem::NormalizePath(key, table[i].name, sizeof key);
        std::memset(table[i].name, 0, sizeof table[i].name);
        std::memcpy(table[i].name, key, std::strlen(key));
        table[i].nameCrc = VornPackFormat::Crc32(key, std::strlen(key));
    }
    if (count > 0 && VornPackFormat::Layout(table, count) == 0) {
        ToolError("ERROR : PACKファイルが4GBを超えます [%s]\n", binPath);
        VornMemory::FreeQuiet(table);
        return false;
    }

    HANDLE bin = ::CreateFileA(binPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    FILE* inc = bin == INVALID_HANDLE_VALUE ? nullptr : std::fopen(incPath, "wt");
    if (bin == INVALID_HANDLE_VALUE || !inc) {
        PackerError("ERROR : 出力ファイルの生成に失敗 [%s]\n", bin == INVALID_HANDLE_VALUE ? binPath : incPath);
        if (bin != INVALID_HANDLE_VALUE) ::CloseHandle(bin);
        VornMemory::FreeQuiet(table);
        return false;
    }

    const uint32_t tableBytes = count * VornPackFormat::ENTRY_SIZE;
    uint8_t* directory = static_cast<uint8_t*>(
        VornMemory::AllocZeroQuiet(VornPackFormat::HEADER_SIZE + tableBytes, VornMemory::DEFAULT_TAG, __FILE__, __LINE__));
    bool ok = directory != nullptr;
    auto writeDirectory = [&]() {
        VornPackFormat::WriteHeader(directory, count);
        for (uint32_t i = 0; i < count; ++i)
            VornPackFormat::WriteEntry(directory + VornPackFormat::HEADER_SIZE + i * VornPackFormat::ENTRY_SIZE, table[i]);
        return SeekTo(bin, 0) && WriteExact(bin, directory, VornPackFormat::HEADER_SIZE + tableBytes);
    };
    if (ok) ok = writeDirectory();
    static const uint8_t zeros[VornPackFormat::ALIGNMENT] = {};
    for (uint32_t i = 0; ok && i < count; ++i) {
        VornPackEntry& e = table[i];
        char source[PATH_SIZE];
        if (!VornSystem::FormatText(source, sizeof source, "%s\\%s", folder, e.name)) {
            ToolError("ERROR : ファイルの読み込みに失敗 [%s]\n", e.name);
            complete = false;
            continue;
        }
        void* data = nullptr;
        uint32_t size = 0;
        HANDLE file = OpenRead(source);
        bool read = false;
        if (file == INVALID_HANDLE_VALUE) {
            PackerError("ERROR : ファイルの読み込みに失敗 [%s]\n", source);
        } else {
            data = VornMemory::AllocQuiet(e.size, VornMemory::DEFAULT_TAG, __FILE__, __LINE__);
            if (!data) PackerError("ERROR : ファイル受信バッファの生成に失敗%s\n", "");
            else if (!FileSize32(file, &size) || size != e.size || !ReadExact(file, data, e.size))
                PackerError("ERROR : ファイルの読み込みに失敗 [%s]\n", source);
            else read = true;
            ::CloseHandle(file);
        }
        if (!read) {
            VornMemory::FreeQuiet(data);
            complete = false;
            continue;
        }
        e.dataCrc = VornPackFormat::Crc32(data, e.size);
        // Zeros up to the entry's offset: the alignment gap, and the room of entries skipped above.
        uint64_t at = Tell(bin);
        ok = at <= e.offset;
        while (ok && at < e.offset) {
            const uint32_t n = uint32_t(e.offset - at < sizeof zeros ? e.offset - at : sizeof zeros);
            ok = WriteExact(bin, zeros, n);
            at += n;
        }
        ok = ok && WriteExact(bin, data, e.size);
        VornMemory::FreeQuiet(data);
        if (!ok) {
            ToolError("ERROR : 出力ファイルへの書き込みに失敗 [%s]\n", binPath);
            break;
        }
        std::fprintf(inc, "\t{ 0x%08X, 0x%08X, 0x%08X, 0x%08X, \"%s\" },\n", e.dataCrc, e.nameCrc, e.offset, e.size, e.name);
        std::printf("Packing... [0x%08X] [%9u byte] [%s]\n", e.nameCrc, e.size, e.name);
    }
    if (ok) ok = writeDirectory();
    if (std::fclose(inc) != 0) ok = false;
    if (!::CloseHandle(bin)) ok = false;
    std::fflush(stdout);
    VornMemory::FreeQuiet(directory);
    VornMemory::FreeQuiet(table);
    return ok && complete;
}

bool VornFile::ExtractPack(const char* packPath, const char* outFolder)
{
    if (!packPath || !outFolder) return false;
    Vorn::ResetCurrentDirectory();
    HANDLE pack = OpenRead(packPath);
    if (pack == INVALID_HANDLE_VALUE) {
        ToolError("ERROR : ファイルの読み込みに失敗 [%s]\n", packPath);
        return false;
    }
    Directory dir;
    if (!ReadDirectory(pack, &dir)) {
        ::CloseHandle(pack);
        ToolError("ERROR : PACKファイルではないか壊れています [%s]\n", packPath);
        return false;
    }
    const uint32_t pieceSize = 65536;
    uint8_t* piece = static_cast<uint8_t*>(VornMemory::AllocQuiet(pieceSize, VornMemory::DEFAULT_TAG, __FILE__, __LINE__));
    if (!piece) {
        ::CloseHandle(pack);
        LogAllocFailure();
        return false;
    }
    uint32_t written = 0, failed = 0;
    for (uint32_t i = 0; i < dir.count; ++i) {
        VornPackEntry e;
        char name[VornPackFormat::NAME_SIZE + 1];
        VornPackFormat::ReadEntry(dir.table + size_t(i) * VornPackFormat::ENTRY_SIZE, &e, name);
        char path[PATH_SIZE];
        if (!VornPackFormat::IsSafeRelativeName(name) || !VornPackFormat::EntryInBounds(e, dir.count, dir.fileSize)) {
            ToolError("ERROR : 不正な項目を飛ばしました [%s]\n", name);
            ++failed;
            continue;
        }
        if (!VornSystem::FormatText(path, sizeof path, "%s\\%s", outFolder, name)) {
            ToolError("ERROR : パスが長すぎます [%s]\n", name);
            ++failed;
            continue;
        }
        char folder[PATH_SIZE];
        VornSystem::CutAtLastChar(folder, path, '\\', sizeof folder);
        VornSystem::CreateDirectoryTree(folder);
        HANDLE out = ::CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (out == INVALID_HANDLE_VALUE) {
            ToolError("ERROR : 出力ファイルの生成に失敗 [%s]\n", path);
            ++failed;
            continue;
        }
        bool ok = SeekTo(pack, e.offset);
        for (uint32_t done = 0; ok && done < e.size;) {
            const uint32_t n = e.size - done < pieceSize ? e.size - done : pieceSize;
            ok = ReadExact(pack, piece, n) && WriteExact(out, piece, n);
            done += n;
        }
        ::CloseHandle(out);
        if (!ok) {
            ToolError("ERROR : ファイルの展開に失敗 [%s]\n", path);
            ::DeleteFileA(path);
            ++failed;
            continue;
        }
        ++written;
    }
    VornMemory::FreeQuiet(piece);
    ::CloseHandle(pack);
    return written > 0 && failed == 0;
}
