#include "GameDirector.h"
#include "Enemy.h"
#include "GameMain.h"
#include "Player.h"
#include "StageField.h"
#include "Title.h"
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

GameDirector* g_director = nullptr;
float letterHeights[8] = {};
float clearY = -480.0f;
int32_t clearAngle = 0;

namespace {

const char* const kSoundFiles[GAME_SOUND_COUNT - 1] = {
    "explos1.wav",   "explos2.wav",   "jump.wav",      "kurai.wav",      "shot1.wav",     "shot2.wav",
    "walk.wav",      "v_attack1.wav", "v_attack2.wav", "v_attack3.wav",  "v_attack4.wav", "v_attack5.wav",
    "ene_attack.wav", "v_damage1.wav", "v_damage2.wav", "v_damage3.wav", "ene_bul.wav",   "v_huzen.wav",
    "v_jattack1.wav", "v_jattack2.wav", "v_jump.wav",   "v_rakka1.wav",  "v_rakka2.wav",  "v_shot1.wav",
    "v_shot2.wav",   "v_shot3.wav",   "boss_rakka.wav", "boss_step.wav", "boss_swing.wav", "boss_bul.wav",
    "v_start.wav",   "v_end.wav"};

const char* const kTextureFiles[8] = {"enemy1.dds", "enemy2.dds", "enemy3.dds", "torus.bmp",
                                      "sand.bmp",   "enebul.bmp", "chara.bmp",  "system.bmp"};

constexpr uint32_t kColourKey = 0xFF00FF00;   // pure green is transparent
constexpr float kDepth = 32767.0f;
constexpr int32_t kAllMeshes = -1;
constexpr int32_t kNoAnimation = -1;

VornTextureHandle LoadTexture(const char* file) { return VornTexture::CreateFromFile(file, VORN_FORMAT_ALPHA, kColourKey); }

VornModelExHandle LoadModel(const char* file, VornTextureHandle texture, const char* effect, uint32_t flags,
                            int32_t animationSet)
{
    const VornModelExHandle model = VornModelEx::CreateFromFile(file, 2, 0, 0);
    if (texture != VORN_INVALID_HANDLE) VornModelEx::SetTexture(model, 0, texture, kAllMeshes, -1);
    VornModelEx::SetShaderFromFile(model, effect, kAllMeshes);
    VornModelEx::SetParameterFlags(model, flags, kAllMeshes);
    if (animationSet >= 0) VornModelEx::SetAnimationSet(model, static_cast<uint32_t>(animationSet));
    return model;
}

// Moves `from` towards `goal` by `length` along the heading the camera uses, stopping each axis at
// the goal once it has passed it.
void StepTowards(VornVector3* from, const VornVector3& goal, float length, VornVector3* step)
{
    const float a = std::atan2(from->x - goal.x, from->z - goal.z);
    step->x = std::sin(a) * length;
    step->z = std::cos(a) * length;
    const float b = std::atan2(from->x - goal.x, from->y - goal.y);
    step->y = std::cos(b) * length;
    float* axes[3] = {&from->x, &from->y, &from->z};
    const float steps[3] = {step->x, step->y, step->z};
    const float goals[3] = {goal.x, goal.y, goal.z};
    for (int i = 0; i < 3; ++i) {
        *axes[i] -= steps[i];
        if (steps[i] >= 0.0f ? *axes[i] < goals[i] : *axes[i] > goals[i]) *axes[i] = goals[i];
    }
}

// The live boss in the list, if any.
Enemy* FindBoss()
{
    for (Task* t = g_taskList->GetFirst(); t && t->state != TASK_SENTINEL; t = t->next) {
        if (t->state == TASK_LIVE && t->priority == PRIORITY_ENEMY) {
            Enemy* e = static_cast<Enemy*>(t);
            if (e->kind == ENEMY_BOSS) return e;
        }
    }
    return nullptr;
}

}  // namespace

// The stage caption by kills.
const char* StageCaption(int32_t kills)
{
    if (kills < 10) return "　　　駆逐開始！";
    if (kills < 20) return "順調な日々…しかし";
    if (kills < 30) return "　そろそろ佳境！？";
    if (kills < 39) return "　感動の再会\n　　　そのとき母は";
    if (kills == 39) return "いよいよラスト…\n　　まさかの結末！！";
    return nullptr;
}

GameDirector::GameDirector()
{
    memset(&g_input, 0, sizeof g_input);
    for (auto& h : textures) h = VORN_INVALID_HANDLE;
    for (auto& h : sprites) h = VORN_INVALID_HANDLE;
    for (auto& h : sprites3D) h = VORN_INVALID_HANDLE;
    for (auto& h : models) h = VORN_INVALID_HANDLE;
    for (auto& h : shotModels) h = VORN_INVALID_HANDLE;
    for (auto& h : playerModels) h = VORN_INVALID_HANDLE;
    for (auto& h : sounds) h = VORN_INVALID_HANDLE;

    camera = VornCamera::Create();
    VornCamera::CreateProjection(camera, 3.1415927f / 3.0f, 1.0f, 1000.0f, 4.0f / 3.0f);
    VornCamera::TransformInit(camera);
    VornCamera::LookAt(camera, &eye, &lookAt, nullptr);
    VornCamera::TransformUpdate(camera);
    Vorn3D::SetCamera(camera);

    const D3DXVECTOR3 down(0.0f, -1.0f, 0.0f);
    VornLight::SetType(0, VornLight::TYPE_DIRECTIONAL);
    VornLight::SetDiffuse(0, 1.0f, 1.0f, 1.0f);
    VornLight::SetDirection(0, &down);
    Vorn3D::SetLightEnable(0, true);

    VornMusic::SetMax(GAME_SOUND_COUNT);
    sprites[0] = VornSprite::Create(GAME_SPRITE_FACE, 1, false);
    sprites[1] = VornSprite::Create(GAME_SPRITE_SYSTEM, 1, false);
    for (auto& h : sprites3D) h = VornSprite3D::Create(GAME_SPRITE3D_VERTICES, 1);
    primitive3D = VornPrimitive3D::Create(GAME_PRIMITIVE_VERTICES, 1);
    line3D = VornLine3D::Create(GAME_LINE_VERTICES);
    font = VornFont::Create("ＭＳ ゴシック", 24, 0, 0);
    VornFont::SetDestination(font, VORN_INVALID_HANDLE);
    g_taskList->Add(this, PRIORITY_DIRECTOR);
}

GameDirector::~GameDirector()
{
    for (auto h : textures) VornTexture::Release(h);
    VornTexture::Release(otherSystemTexture);
    for (auto h : sprites) VornSprite::Release(h);
    for (auto h : sprites3D) VornSprite3D::Release(h);
    VornPrimitive3D::Release(primitive3D);
    VornMedia::Stop(bgm);
    VornMedia::Release(titleBgm);
    VornMedia::Release(bossBgm);
    VornTexture::Release(titleTexture);
    VornCamera::Release(camera);
    VornLine3D::Release(line3D);
    VornFont::Release(font);
    for (auto h : models) VornModelEx::Release(h);
    VornTexture::Release(bossTexture);
    for (auto h : shotModels) VornModelEx::Release(h);
    for (auto h : playerModels) VornModelEx::Release(h);
    for (auto h : sounds) VornMusic::Release(h);
    g_taskList->Kill(this);
    if (g_director == this) g_director = nullptr;
}

void GameDirector::SetScene(int8_t s)
{
    if (s != scene) {
        TraceScene(s);
        if (s == SCENE_BOSS_ENTRY) sceneFrame = 0;   // the entry's first frame swaps in the boss
    }
    scene = s;
}

void GameDirector::PlaySound(int8_t i)
{
    if (i < 0 || i >= GAME_SOUND_COUNT) return;
    // The mix keeps its headroom for several sounds at once, not for one sound started again in
    // the same moment: enemies blowing up in one frame add up in step (each doubling +6 dB) and
    // clipped the busiest fights. A sound is not started again within SOUND_GAP_MS of its last
    // start; the platform plays each start to its end, so the one playing goes on.
    const uint32_t now = timeGetTime();
    if (soundStarted[i] && now - soundStarts[i] < SOUND_GAP_MS) return;
    soundStarted[i] = true;
    soundStarts[i] = now;
    VornMusic::Play(sounds[i]);
}

void GameDirector::PlaySoundLoop(int8_t i)
{
    if (i >= 0 && i < GAME_SOUND_COUNT) VornMusic::PlayLoop(sounds[i]);
}

void GameDirector::StopSound(int8_t i)
{
    if (i >= 0 && i < GAME_SOUND_COUNT) VornMusic::Stop(sounds[i]);
}

void GameDirector::StartCaption()
{
    captionState = 1;
    captionLeftX = -256.0f;
    captionRightX = 640.0f;
    captionAngle = 0;
    captionAlpha = 0;
}

void GameDirector::ResetGame()
{
    killCount = spawnCount = aliveCount = 0;
    sceneFrame = gameOverFrame = 0;
    bossSwings = 0;
    target = nullptr;
}

void GameDirector::LoadJingle(const char* file)
{
    NoteFrameEvent(FRAME_EVENT_JINGLE);
    VornMusic::Release(sounds[SOUND_JINGLE]);
    sounds[SOUND_JINGLE] = VornMusic::CreateFromWave(file, 8);
}

void GameDirector::KeepTitleTexture(VornTextureHandle texture)
{
    if (titleTexture != VORN_INVALID_HANDLE || texture == VORN_INVALID_HANDLE) return;
    VornTexture::AddRef(texture);
    titleTexture = texture;
}

void GameDirector::UseTitleBgm()
{
    // The first graph costs the most (the platform's media framework starts): made before the
    // first title's first frame rather than in a frame of its own.
    if (titleBgm == VORN_INVALID_HANDLE) titleBgm = VornMedia::CreateFromAudio("bgm1.mp3");
    // The boss's too: a graph costs 50-100 ms, more than a frame of the title may take.
    if (bossBgm == VORN_INVALID_HANDLE) bossBgm = VornMedia::CreateFromAudio("bgm2.mp3");
    UseBgm(titleBgm);
}

void GameDirector::UseBgm(VornMediaHandle music)
{
    // Wine's DirectShow can hang releasing a graph that still runs: each tune is stopped before
    // another plays, and both live to the end.
    if (music == bgm) return;
    if (bgm != VORN_INVALID_HANDLE) VornMedia::Stop(bgm);
    bgm = music;
}

void GameDirector::GetPlayerModels(VornModelExHandle* body, VornModelExHandle* weapon)
{
    if (playerModels[0] == VORN_INVALID_HANDLE) Player::LoadModels(&playerModels[0], &playerModels[1]);
    *body = playerModels[0];
    *weapon = playerModels[1];
}

void GameDirector::PrepareView(bool on)
{
    // A view of the stage's middle while preparing, then the director's own again.
    const VornVector3 from(0.0f, 10.0f, -20.0f), to(0.0f, 0.0f, 0.0f);
    VornCamera::LookAt(camera, on ? &from : &eye, on ? &to : &lookAt, nullptr);
    VornCamera::TransformUpdate(camera);
    Vorn3D::SetCamera(camera);
}

namespace {
// The pieces of the preparation: 13 loads (no scene needed), the stage, then 20 first draws.
constexpr int32_t kLoadPieces = 13;
constexpr int32_t kStagePiece = kLoadPieces;
// The first draws in the order of a frame of play, as (stage, how many of its batches): the
// field, the player's body and weapon, the three enemies and the boss; the batches after them one
// by one; the ball and the torus; a homing shot then the batches; a straight shot then the
// batches; the HUD's text (see RunPreparePiece).
constexpr int8_t kDrawSteps[][2] = {{0, 0},  {1, 0},  {2, 0},  {3, 0},  {4, 0},  {5, 0},  {6, 0},
                                    {7, 1},  {7, 2},  {7, 3},  {8, 0},  {9, 0},  {10, 1}, {10, 2},
                                    {10, 3}, {10, 4}, {11, 1}, {11, 2}, {11, 3}, {12, 0}};
constexpr int32_t kDrawPieces = sizeof kDrawSteps / sizeof kDrawSteps[0];
constexpr int32_t kPreparePieces = kStagePiece + 1 + kDrawPieces;
// Their order: the device prepares a first draw's shaders on its own thread (30-190 ms each) and
// the draw waits for nothing, but a load that fills the device's memory waits until the device is
// done. So the stage, the field's first draw, the player's models, the body's and the weapon's
// (the longest), the other loads meanwhile, the other first draws, then what needs only this
// thread while the device works: the sounds and both tunes' graphs; last the HUD's text, whose
// texture waits for the device.
constexpr int8_t kPrepareOrder[kPreparePieces] = {13, 14, 9,  15, 16, 2,  3,  4,  5,  6,  7,  8,  10, 11, 17, 18, 19,
                                                  20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 0,  1,  12, 33};
constexpr int8_t kTextPiece = 33;
constexpr int kAllBatches = 6;
}

void GameDirector::PrepareAll()
{
    // The title's picture on the title's batch as the title binds it: each first draw ends with
    // the title's sprites, as its first frame draws them after it.
    const VornTextureHandle picture = LoadTexture("title.bmp");
    KeepTitleTexture(picture);
    VornTexture::Release(picture);
    VornSprite::SetTexture(sprites[1], 0, titleTexture);
    for (int8_t piece : kPrepareOrder) {
        if (piece == kTextPiece) UseTitleBgm();
        if (!(preparedPieces >> piece & 1)) RunPreparePiece(piece, true);
    }
    // The device is done with every first draw before the title's first frame, which would
    // otherwise wait for it in Present.
    Vorn3D::Finish();
}

void GameDirector::PrepareForPlay()
{
    for (int32_t piece = 0; piece <= kStagePiece; ++piece) {
        if (!(preparedPieces >> piece & 1)) RunPreparePiece(piece, false);
    }
}

void GameDirector::LoadShared()
{
    for (int32_t piece = 0; piece < kLoadPieces; ++piece) {
        if (!(preparedPieces >> piece & 1)) RunPreparePiece(piece, false);
    }
}

void GameDirector::RunPreparePiece(int32_t piece, bool drawing)
{
    if (piece <= kStagePiece || drawing) preparedPieces |= uint64_t{1} << piece;
    switch (piece) {
    case 0:
    case 1:
        for (int i = piece * 16; i < (piece + 1) * 16; ++i) sounds[i] = VornMusic::CreateFromWave(kSoundFiles[i], 8);
        return;
    case 2:
    case 3:
        for (int i = (piece - 2) * 4; i < (piece - 1) * 4; ++i) textures[i] = LoadTexture(kTextureFiles[i]);
        if (piece == 3) {
            VornSprite::SetTexture(sprites[0], 0, textures[6]);
            // The title binds its own picture to batch 1 while it lives.
            if (scene != SCENE_TITLE) VornSprite::SetTexture(sprites[1], 0, textures[7]);
            VornSprite3D::SetTexture(sprites3D[0], 0, textures[4]);
            VornSprite3D::SetTexture(sprites3D[1], 0, textures[5]);
        }
        return;
    case 4:
    case 5:
    case 6: {
        const int kind = piece - 4;
        static const char* const files[3] = {"enemy1.x", "enemy2.x", "enemy3.x"};
        models[kind] = LoadModel(files[kind], textures[kind], "Data\\etc.fx", 0x31, 0);
        return;
    }
    case 7:
        models[MODEL_BALL] = LoadModel("ball.x", VORN_INVALID_HANDLE, "Data\\ball.fx", 0x21, kNoAnimation);
        models[MODEL_TORUS] = LoadModel("torus.x", textures[3], "Data\\torus.fx", 0x61, kNoAnimation);
        return;
    case 8:
        // Every shot draws one of these: loaded when fired, the first straight shot cost a 165 ms frame.
        shotModels[SHOT_MODEL_STRAIGHT] = LoadModel("bullet.x", VORN_INVALID_HANDLE, "Data\\etc.fx", 0x31, kNoAnimation);
        shotModels[SHOT_MODEL_HOMING] = LoadModel("bullet2.x", VORN_INVALID_HANDLE, "Data\\etc.fx", 0x31, kNoAnimation);
        return;
    case 9: {
        VornModelExHandle body, weapon;
        GetPlayerModels(&body, &weapon);
        return;
    }
    case 10:
        // Loaded at the boss's entry, they cost that frame 45 ms (and the music 57 ms more).
        bossTexture = LoadTexture("enemy_boss.dds");
        models[MODEL_BOSS] = LoadModel("boss.x", bossTexture, "Data\\etc.fx", 0x31, 0);
        return;
    case 11:
        otherSystemTexture = LoadTexture("clear.bmp");
        return;
    case 12:
        // Made with the title's (UseTitleBgm); here when a test brings the boss without a title.
        if (bossBgm == VORN_INVALID_HANDLE) bossBgm = VornMedia::CreateFromAudio("bgm2.mp3");
        return;
    case kStagePiece:
        if (!g_stage) g_stage = new StageField;
        return;
    default:
        break;
    }
    if (!drawing || !Vorn3D::BeginScene()) return;   // a first draw needs a scene of its own
    // First draws, into the back buffer, which the next frame clears. The platform's shader keys
    // hold leftovers of the work before a draw, so each piece draws what every piece before it
    // drew (prepared already: quick) in the order of a frame of play, then its own, then the
    // title's sprites alone as its next frame draws them. The shared models keep the transforms
    // their users gave them: they are only drawn.
    PrepareView(true);
    const VornPosture flat;
    const VornRect square = {0.0f, 0.0f, 1.0f, 1.0f};
    VornVertex3D corners[6] = {};
    corners[1].x = corners[2].y = corners[4].x = corners[5].z = 1.0f;
    for (VornVertex3D& v : corners) v.colour = 0x80FFFFFF;
    // The batches as a frame flushes them (lines, triangles, both 3D sprite batches, the 2D ones),
    // of those in `which` (bits in that order) the first `count` filled.
    auto batches = [&](uint32_t which, int count) {
        ResetBatches();
        auto fill = [&which, &count](int bit) { return (which >> bit & 1) && count-- > 0; };
        if (fill(0)) VornLine3D::PushLine(line3D, corners, 1);
        if (fill(1)) VornPrimitive3D::PushPolygon(primitive3D, corners, 2);
        for (int i = 0; i < 2; ++i)
            if (fill(2 + i)) VornSprite3D::DrawSquare(sprites3D[i], &flat, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f, &square, 0x80FFFFFF, 1);
        for (int batch = 0; batch < 2; ++batch)
            if (fill(4 + batch)) DrawRect(batch, 0.0f, 0.0f, 1.0f, 1.0f, 0.0f, 0.0f, 1.0f, 1.0f);
        Flush();
    };
    const int8_t(&step)[2] = kDrawSteps[piece - kStagePiece - 1];
    for (int32_t stage = 0; stage <= step[0]; ++stage) {
        const int count = stage == step[0] ? step[1] : kAllBatches;
        switch (stage) {
        case 0:
            if (g_stage) {
                VornField::UpdateDrawList(g_stage->field);
                VornField::Rendering(g_stage->field);
            }
            break;
        case 1:
        case 2: {
            const VornModelExHandle m = playerModels[stage - 1];
            VornModelEx::TransformInit(m);
            VornModelEx::TransformUpdate(m, 0.0f, true);
            VornModelEx::Rendering(m);
            break;
        }
        case 3:
        case 4:
        case 5:
        case 6:
            // The enemies, then the boss among them.
            VornModelEx::Rendering(models[stage == 6 ? MODEL_BOSS : stage - 3]);
            break;
        case 7:
            // As in a frame of play without effects: the shadows straight after the enemies, then
            // the HUD (triangles drawn before the shadows gave them a shader of their own, and
            // the frame that started a game prepared theirs: 70-100 ms).
            batches(0x38, count);
            break;
        case 8:
        case 9:
            VornModelEx::Rendering(models[stage == 8 ? MODEL_BALL : MODEL_TORUS]);
            break;
        case 10:
        case 11:
            // After the effects' models and a homing shot, with the 3D batches filled; then a straight
            // shot, which leaves a state of its own (its first frame: its trail's ring, no lines).
            VornModelEx::Rendering(shotModels[stage == 10 ? SHOT_MODEL_HOMING : SHOT_MODEL_STRAIGHT]);
            batches(stage == 10 ? 0x0F : 0x0E, count);
            break;
        default:
            // The HUD's text, written into the back buffer.
            VornFont::Begin(font);
            VornFont::DrawText(font, 0, 0, 0xFFFFFFFF, "0");
            VornFont::End(font);
            break;
        }
    }
    for (int i = 0; i < 2; ++i) {
        ResetBatches();
        DrawRect(1, 0.0f, 0.0f, 1.0f, 1.0f, 0.0f, 0.0f, 1.0f, 1.0f);
        Flush();
    }
    ResetBatches();
    Vorn3D::EndScene();
    PrepareView(false);
}

void GameDirector::ResetBatches()
{
    for (auto h : sprites) VornSprite::ResetBuffer(h);
    for (auto h : sprites3D) VornSprite3D::ResetBuffer(h);
    VornPrimitive3D::ResetBuffer(primitive3D);
    VornLine3D::ResetBuffer(line3D);
}

void GameDirector::ForgetEnemy(const Enemy* enemy)
{
    if (target && target == enemy) {
        targetPosition = enemy->position;
        target = nullptr;
    }
}

VornVector3 GameDirector::GetTargetPosition()
{
    if (target) targetPosition = target->position;
    return targetPosition;
}

void GameDirector::Run()
{
    switch (scene) {
    case SCENE_PLAY: RunPlay(); break;
    case SCENE_BOSS_ENTRY: RunBossEntry(); break;
    case SCENE_GAME_OVER: RunGameOver(); break;
    case SCENE_CLEAR: RunClear(); break;
    default: break;   // the title task draws the title
    }
    Flush();
}

void GameDirector::Flush()
{
    Vorn3D::SetTexture(0, VORN_INVALID_HANDLE);
    VornLine3D::UpdateBuffer(line3D);
    VornLine3D::Rendering(line3D);
    VornPrimitive3D::UpdateBuffer(primitive3D);
    VornPrimitive3D::Rendering(primitive3D);
    for (auto h : sprites3D) {
        VornSprite3D::UpdateBuffer(h);
        VornSprite3D::Rendering(h);
    }
    Vorn3D::SetRenderState(D3DRS_ZENABLE, 0);
    Vorn3D::SetRenderState(D3DRS_ZWRITEENABLE, 0);
    for (auto h : sprites) {
        VornSprite::UpdateBuffer(h);
        VornSprite::Rendering(h);
    }
    Vorn3D::SetRenderState(D3DRS_ZENABLE, 1);
    Vorn3D::SetRenderState(D3DRS_ZWRITEENABLE, 1);
}

void GameDirector::DrawRect(int32_t batch, float dx, float dy, float dw, float dh, float sx, float sy, float sw,
                            float sh, uint32_t colour)
{
    const VornRect dst = {dx, dy, dw, dh}, src = {sx, sy, sw, sh};
    VornSprite::DrawSquare(GetSprite(batch), &dst, kDepth, &src, colour, 1);
}

void GameDirector::RunPlay()
{
    UpdateCamera();
    if (captionState > 0) {
        DrawCaption();
    } else {
        DrawHud();
    }
    if (killCount == 40) {
        VornMedia::Stop(bgm);
        SetScene(SCENE_CLEAR);
        ShowClearImage(true);
        LoadJingle("v_clear.wav");
        sceneFrame = 0;
    }
}

int32_t FaceCell(int32_t hp, int8_t condition)
{
    if (condition == CONDITION_DEAD) return 3;
    if (hp > 15) return 0;
    if (hp > 5) return 1;
    return 2;
}

void GameDirector::DrawHud()
{
    DrawRect(1, 384.0f, 0.0f, 256.0f, 64.0f, 0.0f, 384.0f, 256.0f, 64.0f);
    if (const char* text = StageCaption(killCount)) {
        VornFont::Begin(font);
        VornFont::DrawText(font, 386, 66, 0xFF000000, "%s", text);
        VornFont::DrawText(font, 384, 64, 0xFFFFFFFF, "%s", text);
        VornFont::End(font);
    }
    if (g_player) {
        const int32_t cell = FaceCell(g_player->hp, g_player->condition);
        DrawRect(0, 0.0f, 0.0f, 128.0f, 128.0f, (cell & 1) * 128.0f, (cell >> 1) * 128.0f, 128.0f, 128.0f);
    }
}

void GameDirector::DrawCaption()
{
    if (captionState == 1 || captionState == 2) {
        const VornAngle angle = static_cast<VornAngle>(captionAngle * 65536 / 360);
        const VornRect left = {captionLeftX, 128.0f, 256.0f, 256.0f}, leftSrc = {0.0f, 256.0f, 256.0f, 128.0f};
        const VornRect right = {captionRightX, 128.0f, 256.0f, 256.0f}, rightSrc = {256.0f, 256.0f, 256.0f, 128.0f};
        VornSprite::DrawSquareRotateXYZ(sprites[1], &left, kDepth, &leftSrc, 0xFFFFFFFF, angle, 0, 0, 1);
        VornSprite::DrawSquareRotateXYZ(sprites[1], &right, kDepth, &rightSrc, 0xFFFFFFFF,
                                        static_cast<VornAngle>(-angle), 0, 0, 1);
        captionLeftX = std::min(captionLeftX + 14.0f, 64.0f);
        captionRightX -= 14.0f;
        if (captionRightX < 320.0f) {
            captionRightX = 320.0f;
            captionState = 2;
        }
        captionAngle = std::min(captionAngle + 32, 720);
    }
    DrawRect(1, 0.0f, 0.0f, 640.0f, 480.0f, 60.0f, 320.0f, 1.0f, 1.0f,
             static_cast<uint32_t>(captionAlpha) << 24 | 0xFFFFFF);
    if (captionState == 2) {
        captionAlpha += 32;
        if (captionAlpha > 255) {
            captionAlpha = 255;
            captionState = 3;
        }
    } else if (captionState == 3) {
        captionAlpha -= 16;
        if (captionAlpha < 1) captionState = 0;
    }
}

void GameDirector::UpdateCamera()
{
    if (!g_player) return;
    const VornVector3 p = g_player->position;
    const VornVector3 t = GetTargetPosition();
    const bool boss = target && target->kind == ENEMY_BOSS;

    VornVector3 m((p.x + t.x) / 2.0f, (p.y + t.y) / 2.0f, (p.z + t.z) / 2.0f);
    if (target && target->kind == ENEMY_HOPPER && target->condition == CONDITION_ACTING)
        m.y = (target->GetJumpBaseY() + p.y) / 2.0f;

    const float dx = std::fabs(p.x - t.x), dy = std::fabs(p.y - t.y), dz = std::fabs(p.z - t.z);
    const float d = std::sqrt(dx * dx + dz * dz);
    if (d < cameraDistance) {
        cameraDistance = std::max(cameraDistance - 1.0f, d);
    } else if (d > cameraDistance) {
        cameraDistance = std::min(cameraDistance + 1.0f, d);
    }
    cameraDistance = std::max(cameraDistance, boss ? 8.0f : 5.0f);

    if (p.y + 1.0f < m.y) m.y = p.y + 1.0f;
    m.y += cameraDistance / 3.0f;
    StepTowards(&lookAt, m, 1.0f, &step);

    VornVector3 e = m;
    if (p.y + 2.5f < e.y) e.y = p.y + 2.5f;
    if (std::sqrt(dy * dy + dz * dz) > cameraDistance && t.y < p.y) e.y = p.y + 10.0f;
    const float h = std::atan2(p.x - t.x, p.z - t.z);
    const float offset = h >= 0.0f ? 88.8f : -88.8f;
    const float g = std::atan2(m.x - p.x, m.z - p.z);
    e.x = m.x - std::sin(offset / 6.2831855f + g) * cameraDistance;
    e.z = m.z - std::cos(offset / 6.2831855f + g) * cameraDistance;
    StepTowards(&eye, e, 0.8f, &step);

    VornCamera::LookAt(camera, &eye, &lookAt, nullptr);
    VornCamera::TransformUpdate(camera);
    Vorn3D::SetCamera(camera);
}

void GameDirector::LookAtFrom(const VornVector3& at)
{
    VornCamera::LookAt(camera, &eye, &at, nullptr);
    VornCamera::TransformUpdate(camera);
    Vorn3D::SetCamera(camera);
}

void GameDirector::RunBossEntry()
{
    // The boss is found in the list: the target may still be an enemy that died before it came.
    Enemy* boss = FindBoss();
    LookAtFrom(boss ? boss->position : GetTargetPosition());
    if (sceneFrame == 0) {
        LoadShared();   // made before the first title, unless a test brought the boss
        UseBgm(bossBgm);
        VornMedia::Play(bgm, true);
    }
    // Landing puts the boss exactly on the ground; it ends the entry once it stands there.
    if (sceneFrame > 140 && (!boss || !boss->inAir)) SetScene(SCENE_PLAY);
    ++sceneFrame;
}

void GameDirector::RunGameOver()
{
    if (g_player) LookAtFrom(g_player->position);
    if (gameOverFrame > 120) {
        for (int i = 0; i < 8; ++i) {
            DrawRect(1, 70.0f * i, 128.0f, 128.0f, letterHeights[i], (i % 4) * 128.0f, ((i / 4) % 2) * 128.0f,
                     128.0f, 128.0f);
            if (i == 0 || letterHeights[i - 1] > 8.0f) letterHeights[i] = std::min(letterHeights[i] + 1.0f, 256.0f);
        }
    }
    if (gameOverFrame > 480) {
        VornMedia::Stop(bgm);
        EndGame();
        for (auto& h : letterHeights) h = 0.0f;
        gameOverFrame = 0;
        return;
    }
    ++gameOverFrame;
}

void GameDirector::RunClear()
{
    ++sceneFrame;
    if (sceneFrame > 180) {
        const VornRect dst = {0.0f, clearY, 640.0f, 480.0f}, src = {0.0f, 0.0f, 512.0f, 480.0f};
        VornSprite::DrawSquareRotateXYZ(sprites[1], &dst, kDepth, &src, 0xFFFFFFFF, 0,
                                        static_cast<VornAngle>(clearAngle * 65536 / 360), 0, 1);
        clearY = std::min(clearY + 4.0f, 0.0f);
        clearAngle = std::min(clearAngle + 20, 2520);
    }
    if (sceneFrame == 310) PlaySound(SOUND_JINGLE);
    if (sceneFrame > 660) {
        ShowClearImage(false);
        clearY = -480.0f;
        clearAngle = 0;
        sceneFrame = 0;
        EndGame();
    }
}

void GameDirector::EndGame()
{
    g_taskList->KillByPriority(PRIORITY_PLAYER);
    g_taskList->KillByPriority(PRIORITY_ENEMY);
    cameraDistance = 10.0f;
    eye = lookAt = VornVector3(0.0f, 0.0f, 0.0f);
    new Title;
    SetScene(SCENE_TITLE);
}

void GameDirector::ShowClearImage(bool clear)
{
    // Both images stay loaded: the clear scene's start and end swapped them in 15-30 ms frames.
    if (clear == clearShown) return;
    std::swap(textures[7], otherSystemTexture);
    clearShown = clear;
    VornSprite::SetTexture(sprites[1], 0, textures[7]);
}
