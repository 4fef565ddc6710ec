#include "VornMusic.h"
#include "VornMusicFormat.h"
#include "Vorn.h"
#include "VornAudioCommon.h"
#include "VornFile.h"
#include "VornLog.h"
#include "VornMemory.h"
#include "VornSound.h"
#include "VornSystem.h"
#include <cstring>

namespace {

void DestroyMusic(VornMusicRecord& r);

VornHandleTable<VornMusicRecord> g_table(DestroyMusic, "Music Destroy [ No.%u ]");
IDirectMusicLoader8* g_loader = nullptr;
IDirectMusicPerformance8* g_performance = nullptr;   // makes the shared objects below
IDirectMusic* g_directMusic = nullptr;
IDirectSound* g_directSound = nullptr;

// DirectMusic here refuses standard MIDI files given from memory that it loads by file name.
constexpr HRESULT kUnsupportedStream = static_cast<HRESULT>(0x88781150);   // DMUS_E_UNSUPPORTED_STREAM
// Bound of the buffer walk: some audio paths answer every index with the same buffer.
constexpr uint32_t kMaxPathBuffers = 16;

void StrongLine(const char* text)
{
    VornLog::Strong("%s", text);
    VornLog::LineBreak();
}

// Every entry plays through the class's one performance: closing a performance down waits until its
// port's sound buffer has played out (up to 2 s here, one after the other), and here every audio
// path is a port of its own, which kept the mixer so busy that their buffers stayed full. An entry
// therefore plays on the performance's default path (dynamic stereo) until a volume or pan of its
// own asks for a path of its own. Its waves are unloaded again, and the loader forgets the segment
// so that its cache holds no reference to a freed image.
void DestroyMusic(VornMusicRecord& r)
{
    if (r.segment && r.audioPath) r.segment->Unload(r.audioPath);
    VornReleaseCom(r.audioPath);
    VornReleaseCom(r.segmentState);
    if (r.segment && r.performance) r.segment->Unload(r.performance);
    if (r.segment && g_loader) g_loader->ReleaseObjectByUnknown(r.segment);
    VornReleaseCom(r.segment);
    VornReleaseCom(r.performance);
    if (r.fileImage) VornMemory::FreeQuiet(r.fileImage);
    r.fileImage = nullptr;
    if (r.tempPath[0]) DeleteFileA(r.tempPath);
}

// The entry's own standard audio path, its waves downloaded to it; false with the line logged.
bool CreateOwnPath(VornMusicRecord& r)
{
    const HRESULT hr = r.performance->CreateStandardAudioPath(r.audioPathType, 64, TRUE, &r.audioPath);
    if (FAILED(hr)) {
        r.audioPath = nullptr;
        VornAudioError("エラー : オーディオパスの生成に失敗", hr);
        return false;
    }
    r.segment->Download(r.audioPath);
    return true;
}

// A temporary copy of the bytes for the loader to open by name; its path lands in out.
bool WriteTempCopy(const void* data, uint32_t size, char (&out)[MAX_PATH])
{
    char folder[MAX_PATH];
    const DWORD n = GetTempPathA(sizeof folder, folder);
    if (n == 0 || n >= sizeof folder || !GetTempFileNameA(folder, "vmi", 0, out)) return false;
    HANDLE file = CreateFileA(out, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
    DWORD written = 0;
    const bool ok = file != INVALID_HANDLE_VALUE && WriteFile(file, data, size, &written, nullptr) && written == size;
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (!ok) DeleteFileA(out);
    return ok;
}

// The segment from the bytes; a standard MIDI file refused from memory loads through a temporary
// copy, which the entry deletes when it dies.
HRESULT LoadSegment(VornMusicRecord& r, const void* data, uint32_t size)
{
    if (!VornMusicFormat::Check(static_cast<const uint8_t*>(data), size)) return E_FAIL;   // cut short or malformed
    DMUS_OBJECTDESC desc;
    memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    desc.dwValidData = DMUS_OBJ_CLASS | DMUS_OBJ_MEMORY;
    desc.guidClass = CLSID_DirectMusicSegment;
    desc.llMemLength = size;
    desc.pbMemData = static_cast<LPBYTE>(const_cast<void*>(data));
    HRESULT hr = g_loader->GetObject(&desc, IID_IDirectMusicSegment8, reinterpret_cast<void**>(&r.segment));
    if (hr != kUnsupportedStream || size < 4 || memcmp(data, "MThd", 4) != 0) return hr;
    r.segment = nullptr;
    if (!WriteTempCopy(data, size, r.tempPath)) {
        r.tempPath[0] = '\0';
        return hr;
    }
    memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    desc.dwValidData = DMUS_OBJ_CLASS | DMUS_OBJ_FILENAME | DMUS_OBJ_FULLPATH;
    desc.guidClass = CLSID_DirectMusicSegment;
    MultiByteToWideChar(CP_ACP, 0, r.tempPath, -1, desc.wszFileName, DMUS_MAX_FILENAME);
    return g_loader->GetObject(&desc, IID_IDirectMusicSegment8, reinterpret_cast<void**>(&r.segment));
}

// From the start point, once or without end; a previous play is dropped without a stop. Secondary:
// the entries share one performance, and a primary segment would end the one playing before it.
void StartSegment(VornMusicRecord& r, bool loop)
{
    VornReleaseCom(r.segmentState);
    r.segment->SetRepeats(loop ? DMUS_SEG_REPEAT_INFINITE : 0);
    r.performance->PlaySegmentEx(r.segment, nullptr, nullptr, DMUS_SEGF_SECONDARY, 0, &r.segmentState, nullptr,
                                 r.audioPath);
}

void PlayFromStart(VornMusicHandle handle, bool loop)
{
    VornMusicRecord* r = g_table.GetLive(handle);
    if (!r) return;
    r->segment->SetStartPoint(0);
    StartSegment(*r, loop);
    r->playing = 1;
    r->loop = loop ? 1 : 0;
    r->paused = 0;
}

// Calls f on every buffer of the entry's own audio path (made now if it has none): until the path has no buffer at the index,
// answers with one already seen, or kMaxPathBuffers were visited.
template <typename F> void ForEachBuffer(VornMusicHandle handle, F f)
{
    VornMusicRecord* r = g_table.GetLive(handle);
    if (!r || (!r->audioPath && !CreateOwnPath(*r))) return;
    IDirectSoundBuffer* seen[kMaxPathBuffers];
    for (uint32_t i = 0; i < kMaxPathBuffers; ++i) {
        IDirectSoundBuffer* buffer = nullptr;
        if (FAILED(r->audioPath->GetObjectInPath(DMUS_PCHANNEL_ALL, DMUS_PATH_BUFFER, i, GUID_NULL, 0,
                                                 IID_IDirectSoundBuffer, reinterpret_cast<void**>(&buffer))) ||
            !buffer)
            return;
        bool repeated = false;
        for (uint32_t j = 0; j < i; ++j) repeated = repeated || seen[j] == buffer;
        if (!repeated) f(buffer);
        buffer->Release();
        if (repeated) return;
        seen[i] = buffer;
    }
}

}  // namespace

VornHandleTable<VornMusicRecord>& VornMusic::Table() { return g_table; }

bool VornMusic::Initialize()
{
    if (!g_table.InitializeLogged("VornMusicクラスの初期化", "ミュージック", __FILE__, __LINE__)) return false;
    if (!g_loader) {
        if (FAILED(CoCreateInstance(CLSID_DirectMusicLoader, nullptr, CLSCTX_ALL, IID_IDirectMusicLoader8,
                                    reinterpret_cast<void**>(&g_loader)))) {
            g_loader = nullptr;
            VornAudioError("　エラー : DirectMusicLoaderの生成に失敗");
            return false;
        }
        StrongLine("　■ DirectMusicオブジェクトを生成");
    }
    if (g_performance) return true;
    if (FAILED(CoCreateInstance(CLSID_DirectMusicPerformance, nullptr, CLSCTX_ALL, IID_IDirectMusicPerformance8,
                                reinterpret_cast<void**>(&g_performance)))) {
        g_performance = nullptr;
        VornAudioError("  エラー : パフォーマンスオブジェクトの生成に失敗");
        return false;
    }
    StrongLine("　■ パフォーマンスオブジェクトを生成");
    // With the sound class started, DirectMusic plays through its DirectSound object.
    if (IDirectSound8* sound = VornSound::GetDirectSound()) {
        if (FAILED(sound->QueryInterface(IID_IDirectSound, reinterpret_cast<void**>(&g_directSound)))) g_directSound = nullptr;
        sound->Release();
    }
    const HRESULT hr = g_performance->InitAudio(&g_directMusic, &g_directSound, Vorn::GetWindowHandle(),
                                                DMUS_APATH_DYNAMIC_STEREO, 64, DMUS_AUDIOF_ALL, nullptr);
    if (FAILED(hr)) {
        VornAudioError("  エラー : パフォーマンスオブジェクトの初期化に失敗", hr);
        return false;
    }
    StrongLine("　■ パフォーマンスを初期化");
    return true;
}

void VornMusic::Finalize()
{
    VornLog::Title("VornMusicクラスの解放");
    g_table.Finalize();
    if (g_directSound) {
        VornReleaseCom(g_directSound);
        StrongLine("　■ DirectSoundを解体");
    }
    if (g_directMusic) {
        VornReleaseCom(g_directMusic);
        StrongLine("　■ DirectMusicを解体");
    }
    if (g_performance) {
        g_performance->CloseDown();
        VornReleaseCom(g_performance);
        StrongLine("　■ DirectMusicPerformanceを解体");
    }
    if (g_loader) {
        VornReleaseCom(g_loader);
        StrongLine("　■ DirectMusicLoaderを解体");
    }
}

void VornMusic::SetMax(uint32_t count)
{
    if (g_table.IsInitialized()) {
        g_table.LimitWalk(count ? count : VORN_DEFAULT_TABLE_SIZE);
    } else {
        g_table.SetMax(count);
    }
}

void VornMusic::Release(VornMusicHandle handle)
{
    if (!g_table.ReleaseRecord(handle)) return;
    VornLog::StrongRed("VornMusic::Release");
    VornLog::Print(" : [ No.%u ]", handle);
    VornLog::LineBreak();
}

VornMusicHandle VornMusic::CreateEntry(const void* data, uint32_t size, uint32_t audioPathType)
{
    const VornMusicHandle handle = g_table.AllocRecord();
    if (handle == VORN_INVALID_HANDLE) {
        VornAudioError("空きミュージックが見つかりませんでした");
        return VORN_INVALID_HANDLE;
    }
    VornLog::Print("[ No.%u ] : ", handle);
    VornMusicRecord& r = g_table[handle];
    const char* error = nullptr;
    HRESULT hr = S_OK;
    if (!g_loader || FAILED(hr = LoadSegment(r, data, size)) || !r.segment) {
        error = "MIDIファイルの読み込みに失敗";
    } else if (!g_performance) {
        error = "エラー : パフォーマンスオブジェクトの生成に失敗";
    } else {
        r.performance = g_performance;
        r.performance->AddRef();
        r.audioPathType = audioPathType;
        if (audioPathType != DMUS_APATH_DYNAMIC_STEREO && !CreateOwnPath(r)) {
            g_table.ReleaseRecord(handle);
            return VORN_INVALID_HANDLE;
        }
    }
    if (error) {
        VornAudioError(error, hr);
        g_table.ReleaseRecord(handle);
        return VORN_INVALID_HANDLE;
    }
    r.segment->Download(r.performance);
    return handle;
}

VornMusicHandle VornMusic::CreateFromFile(const char* operation, const char* name, uint32_t audioPathType)
{
    VornLog::StrongBlue("%s", operation);
    VornLog::Print(" : %s : ", name ? name : "");
    void* data = nullptr;
    uint32_t size = 0;
    if (!name || !VornFile::Load(FILE_KIND_MUSIC, name, &data, &size)) {
        VornAudioError("ファイルの読み込みに失敗しました");
        return VORN_INVALID_HANDLE;
    }
    const VornMusicHandle handle = CreateEntry(data, size, audioPathType);
    if (handle == VORN_INVALID_HANDLE) {
        VornMemory::FreeQuiet(data);
        return VORN_INVALID_HANDLE;
    }
    g_table[handle].fileImage = data;
    g_table.SetName(handle, name);
    VornLog::StrongGreen("Success");
    VornLog::LineBreak();
    return handle;
}

VornMusicHandle VornMusic::CreateFromMemory(const char* operation, const void* data, uint32_t size,
                                            uint32_t audioPathType)
{
    VornLog::StrongBlue("%s", operation);
    VornLog::Print(" : ");
    const VornMusicHandle handle = data ? CreateEntry(data, size, audioPathType) : VORN_INVALID_HANDLE;
    if (handle == VORN_INVALID_HANDLE) {
        if (!data) VornAudioError("MIDIファイルの読み込みに失敗");
        return VORN_INVALID_HANDLE;
    }
    g_table.SetName(handle, operation + strlen("VornMusic::"));
    VornLog::StrongGreen("Success");
    VornLog::LineBreak();
    return handle;
}

VornMusicHandle VornMusic::CreateFromMidi(const char* name, uint32_t audioPathType)
{
    return CreateFromFile("VornMusic::CreateFromMidi", name, audioPathType);
}

VornMusicHandle VornMusic::CreateFromWave(const char* name, uint32_t audioPathType)
{
    return CreateFromFile("VornMusic::CreateFromWave", name, audioPathType);
}

VornMusicHandle VornMusic::CreateFromMemoryMidi(const void* data, uint32_t size, uint32_t audioPathType)
{
    return CreateFromMemory("VornMusic::CreateFromMemoryMidi", data, size, audioPathType);
}

VornMusicHandle VornMusic::CreateFromMemoryWave(const void* data, uint32_t size, uint32_t audioPathType)
{
    return CreateFromMemory("VornMusic::CreateFromMemoryWave", data, size, audioPathType);
}

void VornMusic::Play(VornMusicHandle handle) { PlayFromStart(handle, false); }

void VornMusic::PlayLoop(VornMusicHandle handle) { PlayFromStart(handle, true); }

void VornMusic::Stop(VornMusicHandle handle)
{
    VornMusicRecord* r = g_table.GetLive(handle);
    if (!r || !r->playing) return;
    r->performance->Stop(r->segment, r->segmentState, 0, 0);
    VornReleaseCom(r->segmentState);
    r->playing = r->loop = r->paused = 0;
}

void VornMusic::Pause(VornMusicHandle handle)
{
    VornMusicRecord* r = g_table.GetLive(handle);
    if (!r || !r->playing) return;
    if (!r->paused) {
        MUSIC_TIME seek = 0;
        if (r->segmentState) r->segmentState->GetSeek(&seek);
        r->performance->Stop(r->segment, r->segmentState, 0, 0);
        r->segment->SetStartPoint(seek);
        VornReleaseCom(r->segmentState);
    } else {
        StartSegment(*r, r->loop != 0);
    }
    r->paused = !r->paused;
}

void VornMusic::SetVolume(VornMusicHandle handle, float percent)
{
    const LONG level = VornVolumeToLevel(percent);
    ForEachBuffer(handle, [level](IDirectSoundBuffer* buffer) { buffer->SetVolume(level); });
}

void VornMusic::SetPan(VornMusicHandle handle, float percent)
{
    const LONG level = VornPanToLevel(percent);
    ForEachBuffer(handle, [level](IDirectSoundBuffer* buffer) { buffer->SetPan(level); });
}
