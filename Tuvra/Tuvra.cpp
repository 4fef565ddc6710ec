// Tuvra.dll: WAVE PCM sounds played through DirectSound secondary buffers.
#define TUVRA_BUILD
#include "Tuvra.h"
#include "TuvraWave.h"
#include "VornAudioLevel.h"
#include <mmsystem.h>
#include <dsound.h>
#include <new>
#include <stdio.h>
#include <string.h>

namespace {

IDirectSound** g_directSound = nullptr;   // the host's pointer, read at each creation
TuvraAllocFunc g_alloc = nullptr;
TuvraFreeFunc g_free = nullptr;
char g_error[TUVRA_ERROR_SIZE];

void SetError(const char* text, long result = 0)
{
    if (result)
        snprintf(g_error, sizeof g_error, "%s [ 0x%08lX ]", text, static_cast<unsigned long>(result));
    else
        snprintf(g_error, sizeof g_error, "%s", text);
}

void* Alloc(uint32_t size, int line)
{
    return g_alloc ? g_alloc(size, "Tuvra/Tuvra.cpp", line) : HeapAlloc(GetProcessHeap(), 0, size);
}

void Free(void* p)
{
    if (!p) return;
    if (g_free) g_free(p);
    else HeapFree(GetProcessHeap(), 0, p);
}

class Sound final : public TuvraInstance
{
public:
    Sound(IDirectSoundBuffer* buffer, bool loop) : buffer_(buffer), loop_(loop) {}

    bool IsPlaying() override
    {
        DWORD status = 0;
        return SUCCEEDED(buffer_->GetStatus(&status)) && (status & DSBSTATUS_PLAYING) != 0;
    }
    void Play() override
    {
        buffer_->Stop();
        buffer_->SetCurrentPosition(0);
        paused_ = false;
        buffer_->Play(0, 0, loop_ ? DSBPLAY_LOOPING : 0);
    }
    void Stop() override
    {
        buffer_->Stop();
        buffer_->SetCurrentPosition(0);
        paused_ = false;
    }
    void Pause() override
    {
        if (!IsPlaying()) return;
        buffer_->Stop();
        paused_ = true;
    }
    void Resume() override
    {
        if (!paused_) return;
        paused_ = false;
        buffer_->Play(0, 0, loop_ ? DSBPLAY_LOOPING : 0);
    }
    void SetVolume(float percent) override { buffer_->SetVolume(VornVolumeToLevel(percent)); }
    void SetPan(float percent) override { buffer_->SetPan(VornPanToLevel(percent)); }
    void Release() override
    {
        buffer_->Stop();
        buffer_->Release();
        this->~Sound();
        Free(this);
    }

private:
    IDirectSoundBuffer* buffer_;
    bool loop_;
    bool paused_ = false;
};

// A playing instance over a WAVE image; the image stays the caller's.
TuvraInstance* CreateFromImage(const uint8_t* data, uint32_t size, uint8_t flag)
{
    TuvraWaveInfo info = {};
    const char* reason = nullptr;
    if (!TuvraParseWave(data, size, &info, &reason)) {
        SetError(reason);
        return nullptr;
    }
    if (!g_directSound || !*g_directSound) {
        SetError("DirectSound がありません");
        return nullptr;
    }
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = info.channels;
    format.nSamplesPerSec = info.sampleRate;
    format.wBitsPerSample = info.bitsPerSample;
    format.nBlockAlign = info.blockAlign;
    format.nAvgBytesPerSec = info.sampleRate * info.blockAlign;
    DSBUFFERDESC desc = {};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN | DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_GLOBALFOCUS;
    desc.dwBufferBytes = info.dataSize;
    desc.lpwfxFormat = &format;
    IDirectSoundBuffer* buffer = nullptr;
    HRESULT hr = (*g_directSound)->CreateSoundBuffer(&desc, &buffer, nullptr);
    if (FAILED(hr)) {
        SetError("サウンドバッファの生成に失敗しました", hr);
        return nullptr;
    }
    void* p1 = nullptr;
    void* p2 = nullptr;
    DWORD n1 = 0, n2 = 0;
    hr = buffer->Lock(0, info.dataSize, &p1, &n1, &p2, &n2, 0);
    if (FAILED(hr)) {
        buffer->Release();
        SetError("サウンドバッファのロックに失敗しました", hr);
        return nullptr;
    }
    memcpy(p1, data + info.dataOffset, n1);
    if (p2) memcpy(p2, data + info.dataOffset + n1, n2);
    buffer->Unlock(p1, n1, p2, n2);
    void* block = Alloc(sizeof(Sound), __LINE__);
    if (!block) {
        buffer->Release();
        SetError("メモリの確保に失敗しました");
        return nullptr;
    }
    return new (block) Sound(buffer, (flag & TUVRA_FLAG_LOOP) != 0);
}

}  // namespace

TUVRA_API BOOL Tuvra_Initialize(uint32_t flags, IDirectSound** directSound, TuvraAllocFunc alloc, TuvraFreeFunc free)
{
    g_directSound = directSound;
    g_alloc = alloc;
    g_free = free;
    g_error[0] = '\0';
    return TRUE;
}

TUVRA_API void Tuvra_Uninitialize(void)
{
    g_directSound = nullptr;
    g_alloc = nullptr;
    g_free = nullptr;
}

TUVRA_API TuvraInstance* Tuvra_CreateInstanceFromMemory(const void* data, uint32_t size, uint8_t flag)
{
    return CreateFromImage(static_cast<const uint8_t*>(data), size, flag);
}

TUVRA_API TuvraInstance* Tuvra_CreateInstanceFromHandle(void* file, uint32_t start, uint32_t size, uint8_t flag,
                                                       TuvraSeekFunc seek, TuvraReadFunc read)
{
    if (!seek || !read || size == 0) {
        SetError("読み込み元がありません");
        return nullptr;
    }
    uint8_t* image = static_cast<uint8_t*>(Alloc(size, __LINE__));
    if (!image) {
        SetError("メモリの確保に失敗しました");
        return nullptr;
    }
    TuvraInstance* instance = nullptr;
    if (seek(file, start) != start || !read(file, image, size))
        SetError("ファイルの読み込みに失敗しました");
    else
        instance = CreateFromImage(image, size, flag);
    Free(image);
    return instance;
}

TUVRA_API TuvraInstance* Tuvra_CreateInstanceFromFile(const char* path, uint8_t flag)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        SetError("ファイルを開けません");
        return nullptr;
    }
    LARGE_INTEGER size = {};
    TuvraInstance* instance = nullptr;
    if (!GetFileSizeEx(file, &size) || size.QuadPart <= 0 || size.QuadPart > 0x7FFFFFFF) {
        SetError("ファイルの大きさが扱えません");
    } else {
        struct Reader {
            static uint32_t Seek(void* f, uint32_t position) { return SetFilePointer(f, static_cast<LONG>(position), nullptr, FILE_BEGIN); }
            static BOOL Read(void* f, void* buffer, uint32_t n)
            {
                DWORD got = 0;
                return ReadFile(f, buffer, n, &got, nullptr) && got == n;
            }
        };
        instance = Tuvra_CreateInstanceFromHandle(file, 0, static_cast<uint32_t>(size.QuadPart), flag, Reader::Seek,
                                                  Reader::Read);
    }
    CloseHandle(file);
    return instance;
}

TUVRA_API void Tuvra_GetLastError(char* buffer, uint32_t size)
{
    if (!buffer || size == 0) return;
    const size_t n = strnlen(g_error, size - 1);
    memcpy(buffer, g_error, n);
    buffer[n] = '\0';
}
