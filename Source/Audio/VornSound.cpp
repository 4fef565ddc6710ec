#include "VornSound.h"
#include "Vorn.h"
#include "VornAnimation.h"
#include "VornAudioCommon.h"
#include "VornFile.h"
#include "VornLog.h"
#include "VornMemory.h"

namespace {

void DestroySound(VornSoundRecord& r);

VornHandleTable<VornSoundRecord> g_table(DestroySound, "Sound Destroy [ No.%u ]");
IDirectSound8* g_directSound8 = nullptr;
IDirectSound* g_directSound = nullptr;
IDirectSoundBuffer* g_primary = nullptr;

struct Driver
{
    HMODULE module;
    TuvraInitializeFunc initialize;
    TuvraUninitializeFunc uninitialize;
    TuvraCreateFromFileFunc createFromFile;
    TuvraCreateFromMemoryFunc createFromMemory;
    TuvraCreateFromHandleFunc createFromHandle;
    TuvraGetLastErrorFunc getLastError;
};
Driver g_driver = {};

void StrongLine(const char* text)
{
    VornLog::Strong("%s", text);
    VornLog::LineBreak();
}

void RedLine(const char* text)
{
    VornLog::StrongRed("%s", text);
    VornLog::LineBreak();
}

void DestroySound(VornSoundRecord& r)
{
    if (r.instance) r.instance->Release();
    r.instance = nullptr;
    VornFile::Close(r.stream);
    r.stream = nullptr;
}

template <typename F> F Entry(const char* name)
{
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(g_driver.module, name)));
}

TuvraInstance* InstanceOf(VornSoundHandle handle)
{
    const VornSoundRecord* r = g_table.GetLive(handle);
    return r ? r->instance : nullptr;
}

// The start of both creators: the library must be ready and a slot free.
VornSoundHandle BeginCreate()
{
    if (!g_driver.module || !g_driver.createFromHandle) {
        RedLine("ドライバー(Tuvra)の初期化が完了していません");
        return VORN_INVALID_HANDLE;
    }
    const VornSoundHandle handle = g_table.AllocRecord();
    if (handle == VORN_INVALID_HANDLE) {
        RedLine("空きサウンドが見つかりませんでした");
        return VORN_INVALID_HANDLE;
    }
    VornLog::Print("[ No.%u ] : ", handle);
    return handle;
}

// The end of both creators: the instance taken, or the library's reason and the slot let go.
VornSoundHandle EndCreate(VornSoundHandle handle, TuvraInstance* instance, const char* name)
{
    if (!instance) {
        char text[TUVRA_ERROR_SIZE] = {};
        g_driver.getLastError(text, sizeof text);
        VornLog::StrongRed("Tuvraインターフェースの確保に失敗しました");
        VornLog::Print(" [ %s ]", text);
        VornLog::LineBreak();
        g_table.ReleaseRecord(handle);
        return VORN_INVALID_HANDLE;
    }
    g_table.Get(handle)->instance = instance;
    g_table.SetName(handle, name);
    VornLog::StrongGreen("Success");
    VornLog::LineBreak();
    return handle;
}

}  // namespace

VornHandleTable<VornSoundRecord>& VornSound::Table() { return g_table; }

bool VornSound::Initialize()
{
    if (!g_table.InitializeLogged("VornSoundクラスの初期化", "サウンド", "Source/VornSound", __LINE__)) return false;
    if (FAILED(CoCreateInstance(CLSID_DirectSound8, nullptr, CLSCTX_ALL, IID_IDirectSound8,
                                reinterpret_cast<void**>(&g_directSound8)))) {
        g_directSound8 = nullptr;
        RedLine("　エラー : DirectSound8オブジェクトの生成に失敗");
        return false;
    }
    StrongLine("　■ DirectSound8オブジェクトを生成");
    if (FAILED(g_directSound8->QueryInterface(IID_IDirectSound, reinterpret_cast<void**>(&g_directSound)))) {
        g_directSound = nullptr;
        RedLine("　エラー : DirectSoundオブジェクトの取得に失敗");
        return false;
    }
    StrongLine("　■ DirectSoundオブジェクトを取得");
    if (FAILED(g_directSound8->Initialize(nullptr))) {
        RedLine("  エラー : DirectSoundオブジェクトの生成に失敗");
        return false;
    }
    StrongLine("　■ DirectSoundオブジェクトを初期化");
    if (SUCCEEDED(g_directSound8->SetCooperativeLevel(Vorn::GetWindowHandle(), DSSCL_PRIORITY))) {
        StrongLine("　■ 協調レベルを 優先レベル に設定");
        if (SUCCEEDED(g_directSound8->Compact()))
            StrongLine("　■ メモリのコンパクションを実行");
        else
            RedLine("　エラー : メモリのコンパクションに失敗");
    } else if (SUCCEEDED(g_directSound8->SetCooperativeLevel(Vorn::GetWindowHandle(), DSSCL_NORMAL))) {
        StrongLine("　■ 協調レベルを 通常レベル に設定");
    } else {
        RedLine("　エラー : 協調レベルの設定に失敗");
        return false;
    }
    DSBUFFERDESC desc;
    memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    desc.dwFlags = DSBCAPS_PRIMARYBUFFER;
    if (FAILED(g_directSound8->CreateSoundBuffer(&desc, &g_primary, nullptr))) {
        g_primary = nullptr;
        RedLine("　エラー : プライマリサウンドバッファの生成に失敗");
        return false;
    }
    StrongLine("　■ プライマリサウンドバッファを生成");
    LogCaps();
    if (!LoadDriver("Tuvra.dll")) {
        RedLine("　エラー : ドライバーの初期化に失敗");
        return false;
    }
    return true;
}

void VornSound::Finalize()
{
    VornLog::Title("VornSoundクラスの解放");
    g_table.Finalize();
    if (g_driver.module) {
        if (g_driver.uninitialize) g_driver.uninitialize();
        FreeLibrary(g_driver.module);
        g_driver = Driver{};
    }
    VornReleaseCom(g_primary);
    VornReleaseCom(g_directSound);
    VornReleaseCom(g_directSound8);
}

void VornSound::LogCaps()
{
    DSCAPS caps;
    memset(&caps, 0, sizeof caps);
    caps.dwSize = sizeof caps;
    if (!g_directSound8 || FAILED(g_directSound8->GetCaps(&caps))) return;
    StrongLine("　■ DirectSoundデバイスの性能をチェック");
    static const struct { DWORD flag; const char* line; } kFlags[] = {
        {DSCAPS_CERTIFIED, "　　・Microsoftでテストされ、認定されている"},
        {DSCAPS_EMULDRIVER, "　　・DirectSound ドライバがインストールされていない"},
        {DSCAPS_PRIMARY16BIT, "　　・１６ビット サンプリングのプライマリ バッファをサポートする"},
        {DSCAPS_PRIMARY8BIT, "　　・８ビット サンプリングのプライマリ バッファをサポートする"},
        {DSCAPS_PRIMARYMONO, "　　・モノラルのプライマリ バッファをサポートする"},
        {DSCAPS_PRIMARYSTEREO, "　　・ステレオのプライマリ バッファをサポートする"},
        {DSCAPS_SECONDARY16BIT, "　　・１６ビット サンプリングでハードウェア ミキシングのセカンダリ サウンド バッファをサポートする"},
        {DSCAPS_SECONDARY8BIT, "　　・８ビット サンプリングでハードウェア ミキシングのセカンダリ バッファをサポートする"},
        {DSCAPS_SECONDARYMONO, "　　・ハードウェア ミキシングのモノラル セカンダリ バッファをサポートする"},
        {DSCAPS_SECONDARYSTEREO, "　　・ハードウェア ミキシングのステレオ セカンダリ バッファをサポートする"},
    };
    for (const auto& f : kFlags)
        if (caps.dwFlags & f.flag) VornLog::Print("%s", f.line), VornLog::LineBreak();
    const auto line = [](const char* format, auto value) {
        VornLog::Print(format, value);
        VornLog::LineBreak();
    };
    line("　　　最小サンプリング レート [%.3lfKHz]", caps.dwMinSecondarySampleRate / 1024.0);
    line("　　　最大サンプリング レート [%.3lfKHz]", caps.dwMaxSecondarySampleRate / 1024.0);
    line("　　　最大ハードウェアミキシング可能数 [%u] ", static_cast<unsigned>(caps.dwMaxHwMixingAllBuffers));
    line("　　　最大スタティックバッファ数 [%u] ", static_cast<unsigned>(caps.dwMaxHwMixingStaticBuffers));
    line("　　　最大ストリーミングバッファ数 [%u] ", static_cast<unsigned>(caps.dwMaxHwMixingStreamingBuffers));
    line("　　　最大３Ｄバッファ数 [%u] ", static_cast<unsigned>(caps.dwMaxHw3DAllBuffers));
    line("　　　最大３Ｄスタティックバッファ数 [%u] ", static_cast<unsigned>(caps.dwMaxHw3DStaticBuffers));
    line("　　　最大３Ｄストリーミングバッファ数 [%u] ", static_cast<unsigned>(caps.dwMaxHw3DStreamingBuffers));
    line("　　　最大スタティックバッファメモリ容量 [%.3lfKB] ", caps.dwTotalHwMemBytes / 1024.0);
    line("　　　空きメモリ容量 [%.3lfKB] ", caps.dwFreeHwMemBytes / 1024.0);
    line("　　　ハードウェアスタティックバッファへのデータ転送速度 [%uKB/s] ", static_cast<unsigned>(caps.dwUnlockTransferRateHwBuffers));
    line("　　　ソフトウェアミキシングの必要なプロセッサ時間 [%u%%] ", static_cast<unsigned>(caps.dwPlayCpuOverheadSwBuffers));
}

bool VornSound::LoadDriver(const char* name)
{
    if (g_driver.module) return true;
    g_driver.module = LoadLibraryA(name);
    if (!g_driver.module) return false;
    g_driver.initialize = Entry<TuvraInitializeFunc>("Tuvra_Initialize");
    g_driver.uninitialize = Entry<TuvraUninitializeFunc>("Tuvra_Uninitialize");
    g_driver.createFromFile = Entry<TuvraCreateFromFileFunc>("Tuvra_CreateInstanceFromFile");
    g_driver.createFromMemory = Entry<TuvraCreateFromMemoryFunc>("Tuvra_CreateInstanceFromMemory");
    g_driver.createFromHandle = Entry<TuvraCreateFromHandleFunc>("Tuvra_CreateInstanceFromHandle");
    g_driver.getLastError = Entry<TuvraGetLastErrorFunc>("Tuvra_GetLastError");
    // Only a library that is complete (the create-from-handle entry aside: creation checks for it)
    // and has started is kept; any other is let go, so that a later call tries again.
    if (g_driver.initialize && g_driver.uninitialize && g_driver.createFromFile && g_driver.createFromMemory &&
        g_driver.getLastError && g_driver.initialize(0, &g_directSound, AllocCallback, FreeCallback) != FALSE)
        return true;
    FreeLibrary(g_driver.module);
    g_driver = Driver{};
    return false;
}

IDirectSound8* VornSound::GetDirectSound()
{
    if (g_directSound8) g_directSound8->AddRef();
    return g_directSound8;
}

void VornSound::SetMax(uint32_t count)
{
    if (g_table.IsInitialized())
        g_table.LimitWalk(count ? count : VORN_DEFAULT_TABLE_SIZE);
    else
        g_table.SetMax(count);
}

void VornSound::Release(VornSoundHandle handle)
{
    if (!g_table.ReleaseRecord(handle)) return;
    VornLog::StrongRed("VornSound::Release");
    VornLog::Print(" : [ No.%u ]", handle);
    VornLog::LineBreak();
}

VornSoundHandle VornSound::CreateFromFile(const char* name, uint8_t flag)
{
    VornLog::StrongBlue("VornSound::CreateFromFile");
    VornLog::Print(" : %s : ", name ? name : "");
    const VornSoundHandle handle = BeginCreate();
    if (handle == VORN_INVALID_HANDLE) return handle;
    VornSoundRecord& r = *g_table.Get(handle);
    r.stream = name ? VornFile::Open(FILE_KIND_SOUND, name) : nullptr;
    if (!r.stream) {
        RedLine("ファイル読み込みに失敗しました");
        g_table.ReleaseRecord(handle);
        return VORN_INVALID_HANDLE;
    }
    TuvraInstance* instance = g_driver.createFromHandle(r.stream->file, r.stream->start, r.stream->size, flag,
                                                        SeekCallback, ReadCallback);
    return EndCreate(handle, instance, name);
}

VornSoundHandle VornSound::CreateFromMemory(const void* data, uint32_t size, uint8_t flag)
{
    VornLog::StrongBlue("VornSound::CreateFromMemory");
    VornLog::Print(" : ");
    const VornSoundHandle handle = BeginCreate();
    if (handle == VORN_INVALID_HANDLE) return handle;
    return EndCreate(handle, g_driver.createFromMemory(data, size, flag), "CreateFromMemory");
}

bool VornSound::InstanceSlot0(VornSoundHandle handle)
{
    TuvraInstance* i = InstanceOf(handle);
    return i && i->IsPlaying();
}

void VornSound::InstanceSlot1(VornSoundHandle handle)
{
    if (TuvraInstance* i = InstanceOf(handle)) i->Play();
}

void VornSound::InstanceSlot2(VornSoundHandle handle)
{
    if (TuvraInstance* i = InstanceOf(handle)) i->Stop();
}

void VornSound::InstanceSlot3(VornSoundHandle handle)
{
    if (TuvraInstance* i = InstanceOf(handle)) i->Pause();
}

void VornSound::InstanceSlot4(VornSoundHandle handle)
{
    if (TuvraInstance* i = InstanceOf(handle)) i->Resume();
}

void VornSound::InstanceSlot5(VornSoundHandle handle, float value)
{
    if (TuvraInstance* i = InstanceOf(handle)) i->SetVolume(value);
}

void VornSound::InstanceSlot6(VornSoundHandle handle, float value)
{
    if (TuvraInstance* i = InstanceOf(handle)) i->SetPan(value);
}

void VornSound::SetFade(VornSoundHandle handle, uint32_t fade, uint8_t active, float start, float end, int32_t frames)
{
    VornSoundRecord* r = g_table.GetLive(handle);
    if (!r || fade > 1) return;
    r->fade[fade] = VornSoundFade{start, end, 0, frames > 0 ? frames : 0, static_cast<uint8_t>(active ? 1 : 0)};
}

void VornSound::UpdateFade()
{
    for (uint32_t i = 0; i < g_table.Count(); ++i) {
        if (!g_table[i].inUse || !InstanceSlot0(i)) continue;
        for (uint32_t f = 0; f < 2; ++f) {
            VornSoundFade& fade = g_table[i].fade[f];
            if (!fade.active) continue;
            // A count of 0 gives the end value (no division) and ends after it.
            const float value = VornAnimation::FlatSpeed(fade.start, fade.end, fade.count, fade.frame);
            if (f == 0)
                InstanceSlot5(i, value);
            else
                InstanceSlot6(i, value);
            if (++fade.frame > fade.count) fade.active = 0;
        }
    }
}

uint32_t VornSound::SeekCallback(void* file, uint32_t position)
{
    return SetFilePointer(static_cast<HANDLE>(file), static_cast<LONG>(position), nullptr, FILE_BEGIN);
}

// TRUE only when every byte asked for arrived: a truncated file is never taken for data.
BOOL VornSound::ReadCallback(void* file, void* buffer, uint32_t size)
{
    DWORD read = 0;
    return ReadFile(static_cast<HANDLE>(file), buffer, size, &read, nullptr) && read == size;
}

void* VornSound::AllocCallback(uint32_t size, const char* file, int32_t line)
{
    return VornMemory::AllocQuiet(size, 0, file, line);
}

void VornSound::FreeCallback(void* block) { VornMemory::FreeQuiet(block); }
