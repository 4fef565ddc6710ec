#include "VornMedia.h"
#include "Vorn.h"
#include "VornAudioCommon.h"
#include "VornFile.h"
#include "VornLog.h"
#include "VornTransform2D.h"
#include <cstring>

namespace {

void DestroyMedia(VornMediaRecord& r);

VornHandleTable<VornMediaRecord> g_table(DestroyMedia, nullptr);

// What the sample's Update returns at the end of the stream.
constexpr HRESULT kEndOfStream = 0x00040003;   // MS_S_ENDOFSTREAM

// Under Wine, a graph stopped while its MP3 streams can hang in Stop for good: the graph tears
// the decoder down while the splitter's streaming thread still pushes samples into it, and that
// thread then waits on the decoder's freed queue while Stop waits for the thread. So the stream is
// brought to its end first: an empty play range from the start, after which the splitter sends
// its end of stream at once and pushes nothing more (the graph's completion tells when). The stop
// then finds no thread pushing; the play range is put back and the position rewound.
constexpr DWORD kEndOfStreamWait = 2000;   // ms

// Takes the graph's events, within timeout ms (none: only those already queued), until its
// completion: true when it came.
bool TakeEventsUntilComplete(IMediaEventEx* events, DWORD timeout)
{
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD waited = timeout ? GetTickCount() - start : 0;
        long code = 0;
        LONG_PTR param1 = 0, param2 = 0;
        if (waited > timeout || events->GetEvent(&code, &param1, &param2, timeout - waited) != S_OK) return false;
        events->FreeEventParams(code, param1, param2);
        if (code == EC_COMPLETE) return true;
    }
}

// ended: the graph's completion was already taken (the stream is at its end, nothing pushes).
void StopGraph(VornMediaRecord& r, VornMediaHandle handle, bool ended)
{
    if (!r.control || !r.seeking) return;
    OAFilterState state = State_Stopped;
    LONGLONG zero = 0, stop = 0;
    const bool streaming = SUCCEEDED(r.control->GetState(0, &state)) && state != State_Stopped && r.events &&
                           SUCCEEDED(r.seeking->GetStopPosition(&stop));
    if (streaming) {
        // A completion already queued means the stream is at its end: an empty range then brings
        // no completion of its own, and none is needed.
        while (TakeEventsUntilComplete(r.events, 0)) ended = true;
        if (!ended && SUCCEEDED(r.seeking->SetPositions(&zero, AM_SEEKING_AbsolutePositioning, &zero,
                                              AM_SEEKING_AbsolutePositioning))) {
            if (state == State_Paused) r.control->Run();   // a paused renderer reports no completion
            if (!TakeEventsUntilComplete(r.events, kEndOfStreamWait)) {
                VornLog::StrongBlue("VornMedia::Stop");
                VornLog::Print(" : [ No.%u ] : ", handle);
                VornAudioError("ストリームの終了待ちがタイムアウトしました");
            }
        }
    }
    r.control->Stop();
    r.seeking->SetPositions(&zero, AM_SEEKING_AbsolutePositioning, streaming ? &stop : nullptr,
                            streaming ? AM_SEEKING_AbsolutePositioning : AM_SEEKING_NoPositioning);
}

void DestroyMedia(VornMediaRecord& r)
{
    // The graph's last release would stop a streaming graph the hanging way.
    if (r.audio) StopGraph(r, static_cast<VornMediaHandle>(&r - &g_table[0]), false);
    VornReleaseCom(r.basicAudio);
    VornReleaseCom(r.control);
    VornReleaseCom(r.videoWindow);
    VornReleaseCom(r.events);
    VornReleaseCom(r.seeking);
    VornReleaseCom(r.graph);
    VornReleaseCom(r.surface);
    VornReleaseCom(r.videoStream);
    VornReleaseCom(r.multiStream);
    VornReleaseCom(r.ddStream);
    VornReleaseCom(r.sample);
    VornTexture::Release(r.texture);
    r.texture = VORN_INVALID_HANDLE;
    if (r.temporary) DeleteFileA(r.name);
}

// Fails the creation of an entry: the reason, then the entry goes (with its temporary copy).
VornMediaHandle Fail(VornMediaHandle handle, const char* reason, HRESULT hr)
{
    VornAudioError(reason, hr);
    g_table.ReleaseRecord(handle);
    return VORN_INVALID_HANDLE;
}

// The common start of both creators: an entry already named so gets one more reference
// (*found), otherwise a new entry whose path is resolved into wide. The path and the temporary
// flag are stored as soon as a copy exists, so that a failure further on deletes it.
VornMediaHandle BeginCreate(const char* operation, uint32_t kind, const char* name, WCHAR (&wide)[MAX_PATH],
                            bool* found)
{
    *found = false;
    VornLog::StrongBlue("%s", operation);
    VornLog::Print(" : %s : ", name ? name : "");
    if (!name) return Fail(VORN_INVALID_HANDLE, "ファイル読み込みに失敗", S_OK);
    const VornMediaHandle existing = g_table.FindByName(name);
    if (existing != VORN_INVALID_HANDLE) {
        g_table.AddRef(existing);
        VornLog::Print("[ No.%u ] : Already Existed : ", existing);
        VornLog::StrongGreen("Success");
        VornLog::LineBreak();
        *found = true;
        return existing;
    }
    const VornMediaHandle handle = VornMedia::AllocRecord();
    if (handle == VORN_INVALID_HANDLE) {
        VornAudioError("空きオブジェクトが見つかりませんでした");
        return VORN_INVALID_HANDLE;
    }
    VornLog::Print("[ No.%u ] : ", handle);
    VornMediaRecord& r = g_table[handle];
    char path[VORN_RECORD_NAME_SIZE] = "";
    if (!VornFile::FindFilePath(kind, path, name)) {
        if (VornFile::ExistsInPack(kind, name)) {
            if (!VornFile::ExtractToTemp(kind, name, path)) return Fail(handle, "テンポラリファイルの生成に失敗", S_OK);
            r.temporary = 1;
        } else {
            g_table.SetName(handle, name);   // found nowhere: the opening step fails on it
            MultiByteToWideChar(CP_ACP, 0, r.name, -1, wide, MAX_PATH);
            return handle;
        }
    }
    g_table.SetName(handle, path);
    MultiByteToWideChar(CP_ACP, 0, r.name, -1, wide, MAX_PATH);
    return handle;
}

void Succeed()
{
    VornLog::StrongGreen("Success");
    VornLog::LineBreak();
}

uint32_t BytesPerPixel(D3DFORMAT format)
{
    switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
        return 4;
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
        return 2;
    default:
        return 0;
    }
}

uint32_t PowerOfTwoAtLeast(int32_t n)
{
    uint32_t size = 1;
    while (static_cast<int64_t>(size) < n && size < 0x80000000u) size <<= 1;
    return size;
}

}  // namespace

VornHandleTable<VornMediaRecord>& VornMedia::Table() { return g_table; }

bool VornMedia::Initialize()
{
    return g_table.InitializeLogged("VornMediaクラスの初期化", "メディア", __FILE__, __LINE__);
}

void VornMedia::Finalize()
{
    VornLog::Title("VornMediaクラスの解放");
    g_table.Finalize();
}

VornMediaHandle VornMedia::AllocRecord()
{
    const VornMediaHandle handle = g_table.AllocRecord();
    if (handle != VORN_INVALID_HANDLE) g_table[handle].texture = VORN_INVALID_HANDLE;
    return handle;
}

void VornMedia::ClearRecord(VornMediaHandle handle)
{
    if (!g_table.Valid(handle)) return;
    g_table.ClearRecord(handle);
    g_table[handle].texture = VORN_INVALID_HANDLE;
}

void VornMedia::Release(VornMediaHandle handle)
{
    if (!g_table.ReleaseRecord(handle)) return;
    VornLog::StrongRed("VornMedia::Release");
    VornLog::Print(" : [ No.%u ]", handle);
    VornLog::LineBreak();
}

VornMediaHandle VornMedia::CreateFromAudio(const char* name)
{
    Vorn::ResetCurrentDirectory();
    WCHAR path[MAX_PATH] = {};
    bool found = false;
    const VornMediaHandle handle = BeginCreate("VornMedia::CreateFromAudio", FILE_KIND_AUDIO, name, path, &found);
    if (found || handle == VORN_INVALID_HANDLE) return handle;
    VornMediaRecord& r = g_table[handle];
    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_ALL, IID_IGraphBuilder,
                                  reinterpret_cast<void**>(&r.graph));
    if (FAILED(hr) || !r.graph) {
        r.graph = nullptr;
        return Fail(handle, "COMインターフェースの生成に失敗", hr);
    }
    if (FAILED(hr = r.graph->RenderFile(path, nullptr))) return Fail(handle, "ファイル読み込みに失敗", hr);
    r.graph->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&r.seeking));
    r.graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&r.control));
    r.graph->QueryInterface(IID_IVideoWindow, reinterpret_cast<void**>(&r.videoWindow));
    r.graph->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(&r.events));
    r.graph->QueryInterface(IID_IBasicAudio, reinterpret_cast<void**>(&r.basicAudio));
    if (!r.seeking || !r.control || !r.videoWindow || !r.events || !r.basicAudio)
        return Fail(handle, "インターフェースの取得に失敗", S_OK);
    // Only a graph with a video stream takes an owner window: such a file is no audio file.
    const OAHWND window = reinterpret_cast<OAHWND>(Vorn::GetWindowHandle());
    if (SUCCEEDED(r.videoWindow->put_Owner(window))) return Fail(handle, "所有者ウィンドウの設定に失敗", S_OK);
    if (FAILED(hr = r.events->SetNotifyWindow(window, WM_VORN_GRAPHNOTIFY, 0)))
        return Fail(handle, "イベントの設定に失敗", hr);
    LONGLONG earliest = 0, latest = 0;
    if (FAILED(hr = r.seeking->GetAvailable(&earliest, &latest))) return Fail(handle, "開始・終了位置の取得に失敗", hr);
    r.earliest = earliest;
    r.latest = latest;
    r.audio = 1;
    Succeed();
    return handle;
}

VornMediaHandle VornMedia::CreateFromMovie(const char* name)
{
    WCHAR path[MAX_PATH] = {};
    bool found = false;
    const VornMediaHandle handle = BeginCreate("VornMedia::CreateFromMovie", FILE_KIND_MEDIA, name, path, &found);
    if (found || handle == VORN_INVALID_HANDLE) return handle;
    VornMediaRecord& r = g_table[handle];
    HRESULT hr = CoCreateInstance(CLSID_AMMultiMediaStream, nullptr, CLSCTX_ALL, IID_IAMMultiMediaStream,
                                  reinterpret_cast<void**>(&r.multiStream));
    if (FAILED(hr) || !r.multiStream) {
        r.multiStream = nullptr;
        return Fail(handle, "COMインターフェースの生成に失敗", hr);
    }
    if (FAILED(hr = r.multiStream->Initialize(STREAMTYPE_READ, 0, nullptr)))
        return Fail(handle, "メディアストリームの初期化に失敗", hr);
    if (FAILED(hr = r.multiStream->AddMediaStream(nullptr, &MSPID_PrimaryVideo, 0, nullptr)))
        return Fail(handle, "ビデオストリームへの接続に失敗", hr);
    if (FAILED(hr = r.multiStream->AddMediaStream(nullptr, &MSPID_PrimaryAudio, AMMSF_ADDDEFAULTRENDERER, nullptr)))
        return Fail(handle, "オーディオストリームへの接続に失敗", hr);
    if (FAILED(hr = r.multiStream->OpenFile(path, 0))) return Fail(handle, "ファイル読み込みに失敗", hr);
    RECT rect = {};
    if (FAILED(hr = r.multiStream->GetMediaStream(MSPID_PrimaryVideo, &r.videoStream)) || !r.videoStream ||
        FAILED(hr = r.videoStream->QueryInterface(IID_IDirectDrawMediaStream, reinterpret_cast<void**>(&r.ddStream))) ||
        FAILED(hr = r.ddStream->CreateSample(nullptr, nullptr, 0, &r.sample)) ||
        FAILED(hr = r.sample->GetSurface(&r.surface, &rect)) || !r.surface)
        return Fail(handle, "インターフェースの取得に失敗", hr);
    STREAM_TIME duration = 0;
    r.multiStream->GetDuration(&duration);
    r.duration = duration;
    r.width = rect.right - rect.left;
    r.height = rect.bottom - rect.top;
    if (r.width <= 0 || r.height <= 0) {
        // Some stream samples report an empty rectangle: the stream's format has the size.
        DDSURFACEDESC format;
        memset(&format, 0, sizeof format);
        format.dwSize = sizeof format;
        if (SUCCEEDED(r.ddStream->GetFormat(&format, nullptr, nullptr, nullptr))) {
            r.width = static_cast<int32_t>(format.dwWidth);
            r.height = static_cast<int32_t>(format.dwHeight);
        }
    }
    VornLog::Print("{");
    VornLog::LineBreak();
    VornLog::Print("　");
    r.texture = VornTexture::Create(PowerOfTwoAtLeast(r.width), PowerOfTwoAtLeast(r.height), VORN_FORMAT_BACKBUFFER);
    VornLog::Print("} %d x %d : ", r.width, r.height);
    Succeed();
    return handle;
}

bool VornMedia::Play(VornMediaHandle handle, bool loop)
{
    VornMediaRecord* r = g_table.GetLiveLogged(handle, "VornMedia::Play");
    if (!r) return false;
    if (r->audio) {
        Stop(handle);
        if (r->control) r->control->Run();
    } else if (r->multiStream) {
        r->multiStream->Seek(0);
        r->multiStream->SetState(STREAMSTATE_RUN);
    }
    r->playing = 1;
    r->loop = loop ? 1 : 0;
    r->paused = 0;
    return true;
}

namespace {
bool StopEntry(VornMediaHandle handle, bool ended)
{
    VornMediaRecord* r = g_table.GetLiveLogged(handle, "VornMedia::Stop");
    if (!r) return false;
    if (r->audio) {
        StopGraph(*r, handle, ended);
    } else if (r->multiStream) {
        r->multiStream->SetState(STREAMSTATE_STOP);
        r->multiStream->Seek(0);
    }
    r->playing = r->loop = r->paused = 0;
    return true;
}
}  // namespace

bool VornMedia::Stop(VornMediaHandle handle) { return StopEntry(handle, false); }

bool VornMedia::Pause(VornMediaHandle handle)
{
    VornMediaRecord* r = g_table.GetLiveLogged(handle, "VornMedia::Pause");
    if (!r) return false;
    if (r->audio) {
        if (r->control) r->paused ? r->control->Run() : r->control->Pause();
    } else if (r->multiStream) {
        r->multiStream->SetState(r->paused ? STREAMSTATE_RUN : STREAMSTATE_STOP);
    }
    r->paused = !r->paused;
    return true;
}

void VornMedia::OnGraphNotify()
{
    for (uint32_t i = 0; i < g_table.Count(); ++i) {
        VornMediaRecord* r = g_table.GetLive(i);
        if (!r || !r->events) continue;
        long code = 0;
        LONG_PTR param1 = 0, param2 = 0;
        while (r->events && r->events->GetEvent(&code, &param1, &param2, 0) == S_OK) {
            r->events->FreeEventParams(code, param1, param2);
            if (code != EC_COMPLETE) continue;
            // The stream is at its end: stopped without waiting for a completion already taken.
            const bool loop = r->loop;
            StopEntry(i, true);
            if (loop) Play(i, true);
        }
    }
}

bool VornMedia::SetVolume(VornMediaHandle handle, float percent)
{
    VornMediaRecord* r = g_table.GetLiveLogged(handle, "VornMedia::SetVolume");
    if (r && r->basicAudio) r->basicAudio->put_Volume(VornVolumeToLevel(percent));
    return r && r->basicAudio;
}

bool VornMedia::SetPan(VornMediaHandle handle, float percent)
{
    VornMediaRecord* r = g_table.GetLiveLogged(handle, "VornMedia::SetPan");
    if (r && r->basicAudio) r->basicAudio->put_Balance(VornPanToLevel(percent));
    return r && r->basicAudio;
}

bool VornMedia::SetSpeed(VornMediaHandle handle, float percent)
{
    VornMediaRecord* r = g_table.GetLiveLogged(handle, "VornMedia::SetSpeed");
    if (r && r->seeking) r->seeking->SetRate(static_cast<double>(percent) / 100.0);
    return r && r->seeking;
}

bool VornMedia::IsPlaying(VornMediaHandle handle) { return g_table.GetField(handle, &VornMediaRecord::playing) != 0; }

bool VornMedia::UpdateMovie(VornMediaHandle handle, bool draw)
{
    VornMediaRecord* r = g_table.GetLive(handle);
    if (!r || !r->playing || !r->sample) return false;
    const HRESULT update = r->sample->Update(0, nullptr, nullptr, 0);
    if (SUCCEEDED(update) && update != kEndOfStream) {
        DDSURFACEDESC desc;
        memset(&desc, 0, sizeof desc);
        desc.dwSize = sizeof desc;
        if (SUCCEEDED(r->surface->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr))) {
            void* bits = nullptr;
            int32_t pitch = 0;
            D3DFORMAT format = D3DFMT_UNKNOWN;
            uint32_t width = 0, height = 0;
            if (VornTexture::Lock(r->texture, &bits, &pitch, &format, &width, &height)) {
                CopyPixels(bits, pitch, format, width, height, desc.lpSurface, desc.lPitch,
                           desc.ddpfPixelFormat.dwRGBBitCount, desc.dwWidth, desc.dwHeight);
                VornTexture::Unlock(r->texture);
            }
            r->surface->Unlock(nullptr);
        }
    }
    if (draw) {
        uint32_t screenWidth = 0, screenHeight = 0;
        Vorn::GetScreenInfo(&screenWidth, &screenHeight, nullptr);
        const VornRect dst = {0.0f, 0.0f, static_cast<float>(screenWidth), static_cast<float>(screenHeight)};
        const VornRect src = {0.0f, 0.0f, static_cast<float>(r->width), static_cast<float>(r->height)};
        VornTexture::Draw(r->texture, &dst, &src, 0xFFFFFFFF);
    }
    // The stream's duration can be unknown (0): the end is then the sample's end of stream.
    STREAM_TIME now = 0;
    r->multiStream->GetTime(&now);
    if (update == kEndOfStream || (r->duration > 0 && now >= r->duration)) {
        if (!r->loop) {
            Stop(handle);
            return true;
        }
        r->multiStream->Seek(0);
    }
    return false;
}

int32_t VornMedia::GetWidth(VornMediaHandle handle) { return g_table.GetField(handle, &VornMediaRecord::width); }

int32_t VornMedia::GetHeight(VornMediaHandle handle) { return g_table.GetField(handle, &VornMediaRecord::height); }

VornTextureHandle VornMedia::GetTexture(VornMediaHandle handle)
{
    const VornTextureHandle texture = g_table.GetField(handle, &VornMediaRecord::texture, VORN_INVALID_HANDLE);
    VornTexture::AddRef(texture);
    return texture;
}

void VornMedia::CopyPixels(void* dst, int32_t dstPitch, D3DFORMAT dstFormat, uint32_t dstWidth, uint32_t dstHeight,
                           const void* src, int32_t srcPitch, uint32_t srcBitCount, uint32_t width, uint32_t height)
{
    const uint32_t bytes = BytesPerPixel(dstFormat);
    if (!dst || !src || bytes == 0 || srcBitCount != bytes * 8 || dstPitch <= 0 || srcPitch <= 0) return;
    const uint32_t columns = width < dstWidth ? width : dstWidth;
    const uint32_t rows = height < dstHeight ? height : dstHeight;
    const size_t srcStep = static_cast<size_t>(srcPitch) / bytes * bytes;
    const size_t dstStep = static_cast<size_t>(dstPitch) / bytes * bytes;
    const size_t rowBytes = static_cast<size_t>(columns) * bytes;
    if (rowBytes > srcStep || rowBytes > dstStep) return;
    const uint8_t* in = static_cast<const uint8_t*>(src);
    uint8_t* out = static_cast<uint8_t*>(dst);
    for (uint32_t y = 0; y < rows; ++y, in += srcStep, out += dstStep) memcpy(out, in, rowBytes);
}

void VornMedia::CopyPixelsScaled(void* dst, int32_t dstPitch, uint32_t dstWidth, uint32_t dstHeight,
                                 D3DFORMAT dstFormat, const void* src, int32_t srcPitch, uint32_t srcWidth,
                                 uint32_t srcHeight)
{
    const uint32_t bytes = BytesPerPixel(dstFormat);
    if (!dst || !src || bytes == 0 || dstWidth == 0 || dstHeight == 0 || srcWidth == 0 || srcHeight == 0 ||
        dstPitch <= 0 || srcPitch <= 0)
        return;
    const uint32_t stepX = static_cast<uint32_t>((static_cast<uint64_t>(srcWidth) << 16) / dstWidth);
    const uint32_t stepY = static_cast<uint32_t>((static_cast<uint64_t>(srcHeight) << 16) / dstHeight);
    const size_t srcStep = static_cast<size_t>(srcPitch) / bytes * bytes;
    const size_t dstStep = static_cast<size_t>(dstPitch) / bytes * bytes;
    // A row wider than its pitch would run into the next row, past the last one into nothing.
    if (static_cast<uint64_t>(srcWidth) * bytes > srcStep || static_cast<uint64_t>(dstWidth) * bytes > dstStep) return;
    uint64_t sy = 0;
    for (uint32_t y = 0; y < dstHeight; ++y, sy += stepY) {
        const uint8_t* row = static_cast<const uint8_t*>(src) + static_cast<size_t>(sy >> 16) * srcStep;
        uint8_t* out = static_cast<uint8_t*>(dst) + y * dstStep;
        uint64_t sx = 0;
        for (uint32_t x = 0; x < dstWidth; ++x, sx += stepX)
            memcpy(out + static_cast<size_t>(x) * bytes, row + static_cast<size_t>(sx >> 16) * bytes, bytes);
    }
}
