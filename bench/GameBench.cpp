// The game's busiest scene, made of the game's own objects and run by its own frame: the player,
// 20 enemies in view, five explosions, a shockwave, trails, dust and a volley of enemy bullets,
// topped up to those counts every frame for 600 frames without a frame wait. The game starts as in
// play (Z at the title). Prints the mean, 95th percentile and worst frame time (every task, the
// present and the engine's frame step) and the triangles a frame.
#include "BenchClock.h"
#include "Effects.h"
#include "Enemy.h"
#include "GameDirector.h"
#include "GameMain.h"
#include "Player.h"
#include "Task.h"
#include "TestSeam.h"
#include "VornEngine.h"
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

int g_result = 1;
constexpr int kWarmFrames = 60;   // the game has started and its opening caption is gone
constexpr int kFrames = 600;
constexpr double kGoalMs = 16.7;

// What the scene holds each frame.
struct Census {
    int enemies = 0, inView = 0, explosions = 0, shockwaves = 0, trails = 0, dust = 0, bullets = 0;
};
constexpr Census kBusiest = {20, 20, 5, 1, 4, 6, 14};

// Z (pad 0's joystick button 3) down on the title's second frame: the game starts as a player
// starts it.
bool PressStart(uint32_t, VornJoystickState* state)
{
    memset(state, 0, sizeof *state);
    state->button[3] = GameFrame() == 2 ? 0x80 : 0;
    return true;
}

// When the frame reached Present: the tasks (the caption's back-buffer locks among them) before,
// the present and the engine's frame step after.
double g_presentAt = 0.0;
void StampPresent() { g_presentAt = Now(); }

// Where a frame waits on the device: the back-buffer locks (taking one, giving it back) and the
// present, summed over the frame.
struct DeviceWaits {
    static constexpr int kLocks = 2;   // the caption's shadow and its text
    int locks = 0;
    double lock[kLocks] = {}, otherLocks = 0.0, unlock = 0.0, present = 0.0;
};
DeviceWaits g_waits;
double g_stepAt = 0.0;
void ObserveFrame(VornFrameStep step)
{
    const double now = Now();
    switch (step) {
    case FRAME_LOCKED:
        (g_waits.locks < DeviceWaits::kLocks ? g_waits.lock[g_waits.locks] : g_waits.otherLocks) += now - g_stepAt;
        ++g_waits.locks;
        break;
    case FRAME_UNLOCKED: g_waits.unlock += now - g_stepAt; break;
    case FRAME_PRESENTED: g_waits.present += now - g_stepAt; break;
    default: break;
    }
    g_stepAt = now;
}

double Percentile95(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[static_cast<size_t>(std::ceil(0.95 * v.size())) - 1];
}

bool InView(const VornVector3& p)
{
    VornMatrix viewProjection;
    VornCamera::GetViewProjection(g_director->camera, &viewProjection);
    D3DXVECTOR3 at(p.x, p.y, p.z), clip;
    D3DXVec3TransformCoord(&clip, &at, viewProjection.Get());
    return std::fabs(clip.x) <= 1.0f && std::fabs(clip.y) <= 1.0f && clip.z >= 0.0f && clip.z <= 1.0f;
}

Census Count(std::vector<Enemy*>* enemies)
{
    Census c;
    enemies->clear();
    for (Task* t = g_taskList->GetFirst(); t->state != TASK_SENTINEL; t = t->next) {
        if (t->state != TASK_LIVE) continue;
        if (Enemy* e = dynamic_cast<Enemy*>(t)) {
            enemies->push_back(e);
            c.inView += InView(e->position);
        }
        c.explosions += dynamic_cast<Explosion*>(t) != nullptr;
        c.shockwaves += dynamic_cast<Shockwave*>(t) != nullptr;
        c.trails += dynamic_cast<Trail*>(t) != nullptr;
        c.dust += dynamic_cast<Dust*>(t) != nullptr;
        c.bullets += dynamic_cast<EnemyShot*>(t) != nullptr;
    }
    c.enemies = static_cast<int>(enemies->size());
    return c;
}

// A point of the pack: in front of the player, towards the first target.
VornVector3 PackPoint(const VornVector3& player)
{
    return VornVector3(player.x + VornMath::RandFloat(3.0f, 12.0f), 0.0f, player.z + VornMath::RandFloat(-4.0f, 4.0f));
}

// Tops the scene up to the busiest counts. Nobody dies: the player and the enemies get their hit
// points back, so no kill brings waves, the boss or a game over.
Census KeepBusy(bool first)
{
    std::vector<Enemy*> enemies;
    Census c = Count(&enemies);
    if (!g_player) return c;
    const VornVector3 p = g_player->position;
    g_player->hp = 20;
    // The game's first three enemies join the pack.
    if (first)
        for (Enemy* e : enemies) e->position = PackPoint(p);
    for (Enemy* e : enemies) e->hp = 20;
    for (; c.enemies < kBusiest.enemies; ++c.enemies) enemies.push_back(new Enemy(PackPoint(p), c.enemies % 3));
    // The target is the far end of the pack, so that the camera takes in all of it.
    auto distance = [&p](const Enemy* e) { return std::hypot(e->position.x - p.x, e->position.z - p.z); };
    g_director->target = *std::max_element(enemies.begin(), enemies.end(),
                                           [&](const Enemy* a, const Enemy* b) { return distance(a) < distance(b); });
    auto any = [&enemies] { return enemies[static_cast<size_t>(VornMath::RandInt(0, static_cast<int32_t>(enemies.size()) - 1))]; };

    for (; c.explosions < kBusiest.explosions; ++c.explosions) {
        const VornVector3 at = any()->position;
        new Explosion(at.x, at.y, at.z);
    }
    // The shockwave lands beside the player, as the downward attack's does.
    for (; c.shockwaves < kBusiest.shockwaves; ++c.shockwaves) new Shockwave(p.x - 2.0f, p.y, p.z, 20.0f);
    for (; c.trails < kBusiest.trails; ++c.trails) {
        const VornVector3 at = any()->position;
        new Trail(at.x, at.y + 1.0f, at.z, 0, static_cast<VornAngle>(VornMath::RandInt(0, 0xFFFF)), 0, 12, 0);
    }
    for (; c.dust < kBusiest.dust; ++c.dust)
        new Dust(p.x + VornMath::RandFloat(-0.5f, 0.5f), p.y, p.z + VornMath::RandFloat(-0.5f, 0.5f),
                 static_cast<VornAngle>(VornMath::RandInt(0, 0xFFFF)));
    // The volley: bullets from the pack towards the player, as a shooter fires them.
    for (; c.bullets < kBusiest.bullets; ++c.bullets) {
        const VornVector3 from = any()->position;
        const float a = std::atan2(from.x - p.x, from.z - p.z);
        new EnemyShot(from.x, from.y + 2.0f, from.z, std::sin(a) * 0.3f, 0.02f, std::cos(a) * 0.3f, 0,
                      EnemyShot::MODE_STRAIGHT);
    }
    return c;
}

int BenchMain(int, char**)
{
    if (!Vorn::Start()) {
        printf("game bench: the engine did not start\n");
        Vorn::Finalize();
        return 1;
    }
    Vorn::SetFrameRate(0);
    srand(g_seam.seed);
    StartGameWorld();
    VornInput::AttachJoystickReader(0, PressStart, -1000, 1000, -1000, 1000);

    std::vector<double> times, tasks, presents, locks[DeviceWaits::kLocks + 1], unlocks, devicePresents, lockCounts;
    double cpuStart = 0.0, mainCpuStart = 0.0;
    const double loadStart = MachineLoad();
    Vorn3D::SetPresentObserver(StampPresent);
    Vorn3D::SetFrameObserver(ObserveFrame);
    Census least = kBusiest;
    double inView = 0.0;
    uint32_t triangles3D = 0, triangles2D = 0;
    bool started = false;
    bool running = Vorn::Run(true);
    for (int frame = 0; frame < kWarmFrames + kFrames && running; ++frame) {
        // The frame's time: the tasks and the present, and the engine's step into the next frame.
        if (frame == kWarmFrames) {
            cpuStart = ProcessCpu();
            mainCpuStart = ThreadCpu();
        }
        const double start = Now();
        g_presentAt = start;
        g_waits = DeviceWaits();
        RunGameFrame();
        running = Vorn::Run(true);
        const double end = Now();
        if (frame < kWarmFrames) {
            if (g_director->GetScene() == SCENE_PLAY) KeepBusy(!started);
            started = g_director->GetScene() == SCENE_PLAY;
            continue;
        }
        times.push_back((end - start) * 1000.0);
        tasks.push_back((g_presentAt - start) * 1000.0);
        presents.push_back((end - g_presentAt) * 1000.0);
        for (int k = 0; k < DeviceWaits::kLocks; ++k) locks[k].push_back(g_waits.lock[k] * 1000.0);
        locks[DeviceWaits::kLocks].push_back(g_waits.otherLocks * 1000.0);
        unlocks.push_back(g_waits.unlock * 1000.0);
        devicePresents.push_back(g_waits.present * 1000.0);
        lockCounts.push_back(g_waits.locks);
        const Census c = KeepBusy(false);
        least = {std::min(least.enemies, c.enemies), std::min(least.inView, c.inView),
                 std::min(least.explosions, c.explosions), std::min(least.shockwaves, c.shockwaves),
                 std::min(least.trails, c.trails), std::min(least.dust, c.dust), std::min(least.bullets, c.bullets)};
        inView += c.inView;
        // The engine's counts of the last whole second, divided by its frames.
        triangles3D = Vorn::GetPPF3D();
        triangles2D = Vorn::GetPPF();
    }
    const double cpu = ProcessCpu() - cpuStart, mainCpu = ThreadCpu() - mainCpuStart;
    Vorn3D::SetPresentObserver(nullptr);
    Vorn3D::SetFrameObserver(nullptr);
    const int8_t scene = g_director->GetScene();
    // The figures are printed before the engine ends, so that a fault in its end cannot take them.
    auto end = [] {
        fflush(stdout);
        EndGameWorld();
        Vorn::Finalize();
    };
    if (times.size() < static_cast<size_t>(kFrames) || scene != SCENE_PLAY) {
        printf("game bench: the run ended early (%d frames measured, scene %d)\n", static_cast<int>(times.size()), scene);
        end();
        return 1;
    }

    auto mean = [](const std::vector<double>& v) {
        double total = 0.0;
        for (double t : v) total += t;
        return total / static_cast<double>(v.size());
    };
    const double p95 = Percentile95(times);
    printf("game bench: the busiest play scene, %d frames without frame wait (after %d to start the game)\n", kFrames,
           kWarmFrames);
    printf("  held each frame: player, %d+ enemies (%d+ in view, %.1f on average), %d+ explosions, %d shockwave,\n"
           "  %d+ trails, %d+ dust puffs, %d+ enemy bullets\n",
           least.enemies, least.inView, inView / kFrames, least.explosions, least.shockwaves, least.trails, least.dust,
           least.bullets);
    printf("  frame time (tasks + present): mean %.2f ms, 95th percentile %.2f ms, worst %.2f ms\n", mean(times), p95,
           *std::max_element(times.begin(), times.end()));
    printf("  of which tasks up to the present: mean %.2f ms, 95th percentile %.2f ms; present and frame step: mean %.2f ms,\n"
           "  95th percentile %.2f ms\n",
           mean(tasks), Percentile95(tasks), mean(presents), Percentile95(presents));
    std::vector<double> rest(times.size());
    for (size_t i = 0; i < times.size(); ++i)
        rest[i] = times[i] - locks[0][i] - locks[1][i] - locks[2][i] - unlocks[i] - devicePresents[i];
    printf("  split of a frame (mean / 95th percentile ms): %.1f back-buffer locks a frame: taking the first %.2f / %.2f,\n"
           "  the second %.2f / %.2f, any others %.2f / %.2f, giving them back %.2f / %.2f; the device's present %.2f / %.2f;\n"
           "  tasks and frame step besides %.2f / %.2f\n",
           mean(lockCounts), mean(locks[0]), Percentile95(locks[0]), mean(locks[1]), Percentile95(locks[1]),
           mean(locks[2]), Percentile95(locks[2]), mean(unlocks), Percentile95(unlocks), mean(devicePresents),
           Percentile95(devicePresents), mean(rest), Percentile95(rest));
    printf("  CPU time a frame: the whole process (every thread) %.2f ms, the game's thread %.2f ms, the other threads\n"
           "  (the platform's command stream, rasteriser and sound mixing) %.2f ms\n",
           cpu * 1000.0 / kFrames, mainCpu * 1000.0 / kFrames, (cpu - mainCpu) * 1000.0 / kFrames);
    const double loadEnd = MachineLoad();
    if (loadStart >= 0.0 && loadEnd >= 0.0)
        printf("  machine load average (1 min) at the start and the end: %.2f, %.2f\n", loadStart, loadEnd);
    printf("  goal: 95th percentile <= %.1f ms (60 frames/s held): %s\n", kGoalMs, p95 <= kGoalMs ? "met" : "MISSED");
    printf("  triangles a frame: %u 3D, %u 2D\n", triangles3D, triangles2D);
    end();
    g_result = 0;
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    // The game's own start-up through its test seam: no start-up question, a fixed seed, its log
    // beside this program (build/bench/GameBench.html, not among the game's); with --png the middle
    // frame of the run as build/bench/GameBench_360.png. The game's data are in build/bin.
    const bool png = argc > 1 && strcmp(argv[1], "--png") == 0;
    _putenv(png ? "VORN_GAME_TEST=seed=1;nowait;log=..\\bench\\GameBench;png=..\\bench\\GameBench:360"
                : "VORN_GAME_TEST=seed=1;nowait;log=..\\bench\\GameBench");
    char path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    char* slash = n > 0 && n + 4 < MAX_PATH ? strrchr(path, '\\') : nullptr;
    if (slash) *slash = '\0';
    slash = strrchr(path, '\\');
    if (!slash || !SetCurrentDirectoryA((std::string(path, slash + 1) + "bin").c_str())) {
        printf("game bench: no build\\bin beside build\\bench\n");
        return 1;
    }
    Vorn::SetBaseDirectory();
    Vorn::AllowMultipleInstances();
    Vorn::Boot(GetModuleHandleA(nullptr), argc, argv, BenchMain);
    return g_result;
}
