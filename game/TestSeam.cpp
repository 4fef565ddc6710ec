#include "TestSeam.h"
#include "Autopilot.h"
#include "Effects.h"
#include "Enemy.h"
#include "GameDirector.h"
#include "GameMain.h"
#include "Player.h"
#include "VornEngine.h"
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

TestSeam g_seam;

namespace {

FILE* g_trace = nullptr;
int64_t g_sceneEntered[8] = {-1, -1, -1, -1, -1, -1, -1, -1};   // frame of the last change to each scene
constexpr int32_t kRecordFrames = 60 * 60 * 30;   // half an hour of frames
constexpr uint32_t kTickFrames = 60;              // a "tick" line in the trace this often

// The benchmark: frame times of the busy frames, the time the current frame began.
std::vector<double> g_frameTimes;
double g_frameStart = 0.0;
int64_t g_benchStart = -1;

// The seam's timing: when the first frame was presented, the frame events of the current frame,
// the end of the last frame, and the longest frames: of all, with a shot, with a jingle swap.
struct Longest {
    double ms = 0.0;
    uint32_t frame = 0;
    int scene = 0;
};
double g_firstPresent = -1.0;
double g_titlePresent = -1.0;   // the title's first frame
double g_startFrameMs = -1.0, g_firstPlayFrameMs = -1.0;   // the first game's start and the frame after
uint32_t g_frameEvents = 0;
double g_lastFrameEnd = -1.0;
Longest g_longest[3];
// Every scene change with the time of the frame that made it (-1 until that frame has ended).
struct SceneChange {
    int from, to;
    uint32_t frame;
    double ms;
};
std::vector<SceneChange> g_sceneChanges;
int g_scene = 0;   // the director starts at the title

// Seconds since the process was created (its start as the user saw it, Wine's included).
double SinceProcessStart()
{
    FILETIME created, exited, kernel, user, now;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return -1.0;
    GetSystemTimePreciseAsFileTime(&now);
    auto ticks = [](const FILETIME& f) { return static_cast<uint64_t>(f.dwHighDateTime) << 32 | f.dwLowDateTime; };
    return static_cast<double>(ticks(now) - ticks(created)) * 1e-7;
}

double Seconds()
{
    LARGE_INTEGER c, f;
    QueryPerformanceCounter(&c);
    QueryPerformanceFrequency(&f);
    return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

int CountLive(int32_t priority)
{
    int n = 0;
    for (Task* t = g_taskList->GetFirst(); t && t->state != TASK_SENTINEL; t = t->next)
        n += t->state == TASK_LIVE && t->priority == priority &&
             (priority != PRIORITY_ENEMY || static_cast<MovingObject*>(t)->condition != CONDITION_DEAD);
    return n;
}

// Keeps the busiest scene of play around the player.
void TopUpBusyScene()
{
    const VornVector3 p = g_player->position;
    auto around = [&p](float r) { return VornVector3(p.x + VornMath::RandFloat(-r, r), p.y, p.z + VornMath::RandFloat(-r, r)); };
    g_player->hp = 20;
    g_director->killCount = 0;
    for (int n = CountLive(PRIORITY_ENEMY); n < 20; ++n) new Enemy(around(12.0f), VornMath::RandInt(0, 2));
    for (int n = CountLive(PRIORITY_SHOCKWAVE); n < 1; ++n) new Shockwave(p.x, p.y - 0.8f, p.z, 30.0f);
    int effects = CountLive(PRIORITY_EFFECT);
    for (int i = 0; i < 5 && effects < 15; ++i, ++effects) {
        const VornVector3 at = around(6.0f);
        if (i == 0) new Explosion(at.x, at.y + 1.0f, at.z);
        else if (i < 3) new Trail(at.x, at.y, at.z, 0x4000, 0, 0, 24, 1);
        else new Dust(at.x, at.y, at.z, 0);
    }
    for (int n = CountLive(PRIORITY_ENEMY_SHOT); n < 14; ++n) {
        const VornVector3 at = around(8.0f);
        new EnemyShot(at.x, at.y + 3.0f, at.z, 0.0f, 0.01f, 0.0f, 0, 0);
    }
}

void ReportBench()
{
    std::vector<double> t = g_frameTimes;
    std::sort(t.begin(), t.end());
    double sum = 0.0;
    for (double v : t) sum += v;
    const double mean = sum / t.size(), p95 = t[std::min(t.size() - 1, t.size() * 95 / 100)], worst = t.back();
    printf("game bench: %u busy frames: mean %.2f ms, 95th percentile %.2f ms, worst %.2f ms; triangles a frame %u"
           " (3D %u, 2D %u); goal 95th percentile <= 16.7 ms: %s\n",
           static_cast<unsigned>(t.size()), mean * 1e3, p95 * 1e3, worst * 1e3, Vorn::GetPPF3D() + Vorn::GetPPF(),
           Vorn::GetPPF3D(), Vorn::GetPPF(), p95 * 1e3 <= 16.7 ? "met" : "missed");
    fflush(stdout);
}

bool ParseNumber(const std::string& text, int64_t* out)
{
    if (text.empty()) return false;
    char* end = nullptr;
    const long long v = strtoll(text.c_str(), &end, 10);
    if (*end != '\0' || v < 0) return false;
    *out = v;
    return true;
}

void Trace(const char* what, int32_t n)
{
    if (!g_trace) return;
    fprintf(g_trace, "%u %s %d\n", GameFrame(), what, static_cast<int>(n));
    fflush(g_trace);
}

// The joystick the autopilot holds: X -1000..1000, buttons 0x80 when down.
bool AutopilotReader(uint32_t, VornJoystickState* state)
{
    memset(state, 0, sizeof *state);
    const uint32_t pad = AutopilotButtons(GameFrame());
    state->position[0] = (pad >> PAD_LEFT & 1) ? -1000 : (pad >> PAD_RIGHT & 1) ? 1000 : 0;
    state->position[1] = (pad >> PAD_UP & 1) ? -1000 : (pad >> PAD_DOWN & 1) ? 1000 : 0;
    // Pad 0's joystick buttons: Z <- 3, X <- 2, C <- 1.
    state->button[3] = (pad >> 4 & 1) ? 0x80 : 0;
    state->button[2] = (pad >> 5 & 1) ? 0x80 : 0;
    state->button[1] = (pad >> 6 & 1) ? 0x80 : 0;
    return true;
}

void Put32(std::string* out, uint32_t v)
{
    for (int s : {24, 16, 8, 0}) out->push_back(static_cast<char>(v >> s));
}

void Chunk(std::string* png, const char* type, const std::string& data)
{
    Put32(png, static_cast<uint32_t>(data.size()));
    const std::string body = std::string(type, 4) + data;
    png->append(body);
    Put32(png, VornPackFormat::Crc32(body.data(), body.size()));
}

// A zlib stream of stored (uncompressed) blocks.
std::string StoredZlib(const std::string& raw)
{
    std::string z = "\x78\x01";
    uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    size_t at = 0;
    do {
        const size_t n = std::min<size_t>(raw.size() - at, 65535);
        z.push_back(at + n == raw.size() ? 1 : 0);
        for (uint32_t v : {static_cast<uint32_t>(n), static_cast<uint32_t>(~n & 0xFFFF)}) {
            z.push_back(static_cast<char>(v & 0xFF));
            z.push_back(static_cast<char>(v >> 8 & 0xFF));
        }
        z.append(raw, at, n);
        at += n;
    } while (at < raw.size());
    Put32(&z, b << 16 | a);
    return z;
}

}  // namespace

bool TestSeam::Parse(const char* text, std::string* error)
{
    *this = TestSeam();
    active = true;
    std::string all(text ? text : "");
    size_t start = 0;
    while (start <= all.size()) {
        size_t end = all.find(';', start);
        if (end == std::string::npos) end = all.size();
        const std::string entry = all.substr(start, end - start);
        start = end + 1;
        if (entry.empty()) continue;
        const size_t eq = entry.find('=');
        const std::string key = entry.substr(0, eq), value = eq == std::string::npos ? "" : entry.substr(eq + 1);
        int64_t n = 0;
        bool ok = true;
        if (key == "seed") {
            ok = ParseNumber(value, &n);
            seeded = ok;
            seed = static_cast<uint32_t>(n);
        } else if (key == "replay") {
            replay = value;
        } else if (key == "record") {
            record = value;
        } else if (key == "log") {
            log = value;
        } else if (key == "trace") {
            trace = value;
        } else if (key == "nowait") {
            noWait = true;
        } else if (key == "fast") {
            fast = true;
        } else if (key == "autopilot") {
            autopilot = true;
        } else if (key == "timing") {
            timing = true;
        } else if (key == "reset") {
            ok = ParseNumber(value, &resetFrame);
        } else if (key == "bench") {
            ok = ParseNumber(value, &benchFrames) && benchFrames > 0;
        } else if (key == "quit") {
            ok = ParseNumber(value, &quitFrame);
        } else if (key == "kills") {
            ok = ParseNumber(value, &startKills) && startKills < BOSS_KILL_COUNT;
        } else if (key == "png") {
            const size_t colon = value.rfind(':');
            ok = colon != std::string::npos && colon > 0;
            if (ok) {
                pngPrefix = value.substr(0, colon);
                std::string frames = value.substr(colon + 1) + ",";
                for (size_t at = 0, comma; ok && (comma = frames.find(',', at)) != std::string::npos; at = comma + 1) {
                    const std::string token = frames.substr(at, comma - at);
                    const size_t plus = token.find('+');
                    int64_t scene = -1;
                    if (token[0] == 's' && plus != std::string::npos) {
                        ok = ParseNumber(token.substr(1, plus - 1), &scene) && ParseNumber(token.substr(plus + 1), &n);
                    } else {
                        ok = ParseNumber(token, &n);
                    }
                    pngFrames.push_back({static_cast<int32_t>(scene), static_cast<uint32_t>(n), token});
                }
            }
        } else {
            ok = false;
        }
        if (!ok || ((key == "replay" || key == "record" || key == "log" || key == "trace") && value.empty())) {
            *error = entry;
            return false;
        }
    }
    if (!replay.empty() && !record.empty()) {
        *error = "replay and record";
        return false;
    }
    return true;
}

void ReadTestSeam()
{
    const char* text = getenv("VORN_GAME_TEST");
    if (!text) return;
    std::string error;
    if (!g_seam.Parse(text, &error)) {
        // A mistyped seam must not pass as a run of the game: refuse loudly.
        fprintf(stderr, "VORN_GAME_TEST: unknown or bad entry \"%s\"\n", error.c_str());
        exit(2);
    }
    if (!g_seam.log.empty()) VornLog::SetFileName(g_seam.log.c_str());
    Vorn::AllowMultipleInstances();
}

void StartTestSeam()
{
    if (!g_seam.active) return;
    if (g_seam.timing) g_firstPresent = SinceProcessStart();
    if (!g_seam.trace.empty()) g_trace = fopen(g_seam.trace.c_str(), "w");
    if (!g_seam.replay.empty()) {
        if (VornInput::LoadPadRecord(0, g_seam.replay.c_str())) VornInput::StartPadReplay(0, 0, 1);
    } else if (!g_seam.record.empty()) {
        if (VornInput::InitPadRecorder(0, 1, kRecordFrames)) VornInput::StartPadRecording(0, 0, 1);
    }
    if (g_seam.autopilot) VornInput::AttachJoystickReader(0, AutopilotReader, -1000, 1000, -1000, 1000);
}

void SeamBeforePresent(uint32_t frame)
{
    for (const TestSeam::Shot& shot : g_seam.pngFrames) {
        const int64_t base = shot.scene < 0 ? 0 : shot.scene < 8 ? g_sceneEntered[shot.scene] : -1;
        if (base < 0 || base + shot.frame != frame) continue;
        const std::string path = g_seam.pngPrefix + "_" + shot.name + ".png";
        SaveBackBufferPng(path.c_str());
    }
}

void SeamBeforeRun(uint32_t frame)
{
    // A game started in the last frame (from the title, nothing killed yet) begins near its end.
    if (g_seam.startKills > 0 && g_director->GetScene() == SCENE_PLAY && g_director->killCount == 0 &&
        g_sceneEntered[SCENE_PLAY] + 1 == static_cast<int64_t>(frame)) {
        g_director->killCount = static_cast<int32_t>(g_seam.startKills);
        g_director->spawnCount += static_cast<int32_t>(g_seam.startKills);
    }
    if (g_seam.benchFrames <= 0) return;
    g_frameStart = Seconds();
    if (g_director->GetScene() == SCENE_TITLE) {
        g_input.pushZ = frame > 0;
        return;
    }
    if (g_director->GetScene() != SCENE_PLAY || !g_player) return;
    // The busy frames begin once the opening caption is over.
    if (g_benchStart < 0 && g_director->captionState == 0) g_benchStart = frame + 60;
    TopUpBusyScene();
}

void SeamAfterPresent(uint32_t frame)
{
    if (g_seam.timing) {
        const double now = Seconds();
        if (g_titlePresent < 0.0) g_titlePresent = SinceProcessStart();
        if (g_lastFrameEnd >= 0.0) {
            const double ms = (now - g_lastFrameEnd) * 1e3;
            const int64_t play = g_sceneEntered[SCENE_PLAY];
            if (play >= 0 && frame == play && g_startFrameMs < 0.0) g_startFrameMs = ms;
            if (play >= 0 && frame == play + 1 && g_firstPlayFrameMs < 0.0) g_firstPlayFrameMs = ms;
            for (SceneChange& change : g_sceneChanges)
                if (change.frame == frame && change.ms < 0.0) change.ms = ms;
            for (int i = 0; i < 3; ++i) {
                if ((i == 0 || (g_frameEvents >> (i - 1) & 1)) && ms > g_longest[i].ms)
                    g_longest[i] = {ms, frame, g_director ? g_director->GetScene() : -1};
            }
        }
        g_lastFrameEnd = now;
        g_frameEvents = 0;
    }
    // The frame the game has reached, for a reader waiting on the next event.
    if (frame % kTickFrames == 0) Trace("tick", 0);
    if (g_benchStart >= 0 && frame >= g_benchStart) {
        g_frameTimes.push_back(Seconds() - g_frameStart);
        if (static_cast<int64_t>(g_frameTimes.size()) == g_seam.benchFrames) {
            ReportBench();
            Vorn::Exit();
        }
    }
    if (g_seam.resetFrame >= 0 && frame == static_cast<uint64_t>(g_seam.resetFrame)) {
        Vorn3D::ResetDevice(true);
        Trace("reset", Vorn3D::IsDeviceLost() ? 0 : 1);   // 1: the device came back
    }
    if (g_seam.quitFrame >= 0 && frame == static_cast<uint64_t>(g_seam.quitFrame)) Vorn::Exit();
}

void EndTestSeam()
{
    if (!g_seam.record.empty()) {
        VornInput::StopPadRecording(0, 0);
        VornInput::SavePadRecord(0, g_seam.record.c_str());
    }
    if (g_trace) fclose(g_trace);
    g_trace = nullptr;
    if (g_seam.timing) {
        const Longest& all = g_longest[0];
        const Longest& shot = g_longest[1];
        const Longest& jingle = g_longest[2];
        printf("seam timing: first frame presented %.3f s after the process started, the title's %.3f s; longest frame"
               " %.1f ms (frame %u, scene %d); with a shot fired %.1f ms (frame %u); with a jingle swap %.1f ms (frame"
               " %u); the first game's start %.1f ms, its first frame of play %.1f ms\n",
               g_firstPresent, g_titlePresent, all.ms, all.frame, all.scene, shot.ms, shot.frame, jingle.ms,
               jingle.frame, g_startFrameMs, g_firstPlayFrameMs);
        // Each change as "<from>><to> <ms> ms (frame <n>)", in the order they came.
        printf("seam scenes:");
        for (const SceneChange& change : g_sceneChanges)
            printf(" %d>%d %.1f ms (frame %u);", change.from, change.to, change.ms, change.frame);
        printf("\n");
        fflush(stdout);
    }
}

uint32_t GameTime() { return g_seam.active ? GameFrame() : timeGetTime(); }
void TraceScene(int32_t scene)
{
    if (scene >= 0 && scene < 8) g_sceneEntered[scene] = GameFrame();
    if (g_seam.timing) g_sceneChanges.push_back({g_scene, scene, GameFrame(), -1.0});
    g_scene = scene;
    Trace("scene", scene);
}
void TraceHit(int32_t hp) { Trace("hit", hp); }
void TraceKill(int32_t killCount) { Trace("kill", killCount); }
void NoteFrameEvent(uint32_t event) { g_frameEvents |= event; }

bool SaveBackBufferPng(const char* path)
{
    IDirect3DDevice9* device = Vorn3D::GetDevice();
    if (!device) return false;
    IDirect3DSurface9* back = nullptr;
    IDirect3DSurface9* copy = nullptr;
    bool ok = false;
    D3DSURFACE_DESC desc;
    if (SUCCEEDED(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back)) && SUCCEEDED(back->GetDesc(&desc)) &&
        (desc.Format == D3DFMT_X8R8G8B8 || desc.Format == D3DFMT_A8R8G8B8) &&
        SUCCEEDED(device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM,
                                                      &copy, nullptr)) &&
        SUCCEEDED(device->GetRenderTargetData(back, copy))) {
        D3DLOCKED_RECT locked;
        if (SUCCEEDED(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
            std::string raw;
            raw.reserve((desc.Width * 3 + 1) * desc.Height);
            for (uint32_t y = 0; y < desc.Height; ++y) {
                raw.push_back(0);
                const uint32_t* row = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(locked.pBits) +
                                                                        static_cast<size_t>(y) * locked.Pitch);
                for (uint32_t x = 0; x < desc.Width; ++x)
                    for (int s : {16, 8, 0}) raw.push_back(static_cast<char>(row[x] >> s));
            }
            copy->UnlockRect();
            std::string header, png = "\x89PNG\r\n\x1a\n";
            Put32(&header, desc.Width);
            Put32(&header, desc.Height);
            header += std::string("\x08\x02\x00\x00\x00", 5);
            Chunk(&png, "IHDR", header);
            Chunk(&png, "IDAT", StoredZlib(raw));
            Chunk(&png, "IEND", "");
            Vorn::ResetCurrentDirectory();
            if (FILE* f = fopen(path, "wb")) {
                ok = fwrite(png.data(), 1, png.size(), f) == png.size();
                ok = fclose(f) == 0 && ok;
            }
        }
    }
    if (copy) copy->Release();
    if (back) back->Release();
    return ok;
}

uint32_t AutopilotButtons(uint32_t frame) { return AutopilotPad(frame); }
