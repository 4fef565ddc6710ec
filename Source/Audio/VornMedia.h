// VornMedia: compressed audio (the background music) through DirectShow filter graphs, and movies
// through multimedia streams whose frames are copied into a VornTexture. A pack entry is copied to
// a temporary file first (DirectShow opens files by path) and the copy goes with the entry.
// Entries are counted and named after the path opened.
#pragma once
#include "VornHandleTable.h"
#include "VornTexture.h"
#include <windows.h>
#include <ddraw.h>
#include <dshow.h>
#include <mmstream.h>
#include <amstream.h>
#include <ddstream.h>
#include <cstdint>

typedef VornHandle VornMediaHandle;

struct VornMediaRecord {
    uint8_t inUse;
    uint32_t refCount;
    char name[VORN_RECORD_NAME_SIZE];   // the path opened: the plain file, or the temporary copy
    // audio entries
    IGraphBuilder* graph;
    IMediaSeeking* seeking;
    IMediaEventEx* events;
    IVideoWindow* videoWindow;
    IMediaControl* control;
    IBasicAudio* basicAudio;
    int64_t earliest, latest;           // available positions of the audio stream
    uint8_t playing;
    uint8_t loop;
    uint8_t paused;
    uint8_t audio;                      // 1 audio entry, 0 movie
    uint8_t temporary;                  // the name is a temporary copy, deleted with the entry
    VornTextureHandle texture;          // the movie's frames (none: VORN_INVALID_HANDLE)
    // movie entries
    IDirectDrawSurface* surface;
    IMediaStream* videoStream;
    IAMMultiMediaStream* multiStream;
    IDirectDrawMediaStream* ddStream;
    IDirectDrawStreamSample* sample;
    int64_t duration;                   // 100 ns units
    int32_t width, height;
};

class VornMedia : public VornTableClass<VornMedia, VornMediaRecord>
{
    friend VornTableClass;
    static VornHandleTable<VornMediaRecord>& Table();
    static constexpr const char* kReleaseName = "VornMedia::Release";

public:
    static bool Initialize();
    static void Finalize();
    static void OnGraphNotify();   // WM_VORN_GRAPHNOTIFY: the end of audio entries
    static VornMediaHandle AllocRecord();
    static void ClearRecord(VornMediaHandle handle);
    static void Release(VornMediaHandle handle);

    static VornMediaHandle CreateFromAudio(const char* name);
    static VornMediaHandle CreateFromMovie(const char* name);

    // Each is made on a live entry (volume, pan and speed on an audio one), which gives true; a
    // handle that is not live gives false and, unless it is none, a log line naming it.
    static bool Play(VornMediaHandle handle, bool loop);
    static bool Stop(VornMediaHandle handle);   // and back to the start
    static bool Pause(VornMediaHandle handle);  // toggles; Play and Stop end a pause
    static bool SetVolume(VornMediaHandle handle, float percent);
    static bool SetPan(VornMediaHandle handle, float percent);      // -100 left .. 100 right
    static bool SetSpeed(VornMediaHandle handle, float percent);    // 100 normal
    static bool IsPlaying(VornMediaHandle handle);

    // Copies the movie's current frame into its texture and, with draw, over the whole screen.
    // True when a movie without loop has just ended.
    static bool UpdateMovie(VornMediaHandle handle, bool draw);
    static int32_t GetWidth(VornMediaHandle handle);
    static int32_t GetHeight(VornMediaHandle handle);
    static VornTextureHandle GetTexture(VornMediaHandle handle);   // one more texture reference

    // Rows of pixels from a surface into a locked texture of format dstFormat (32-bit X8R8G8B8 or
    // A8R8G8B8, 16-bit R5G6B5, X1R5G5B5 or A1R5G5B5). Copies only when the source has as many
    // bits per pixel as the texture, and only what fits into dstWidth x dstHeight.
    static void CopyPixels(void* dst, int32_t dstPitch, D3DFORMAT dstFormat, uint32_t dstWidth, uint32_t dstHeight,
                           const void* src, int32_t srcPitch, uint32_t srcBitCount, uint32_t width, uint32_t height);
    // Nearest-pixel scaling of src (srcWidth x srcHeight, same pixel size as the format) onto dst.
    static void CopyPixelsScaled(void* dst, int32_t dstPitch, uint32_t dstWidth, uint32_t dstHeight,
                                 D3DFORMAT dstFormat, const void* src, int32_t srcPitch, uint32_t srcWidth,
                                 uint32_t srcHeight);
};
