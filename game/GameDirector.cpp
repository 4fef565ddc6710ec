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
    for (int i = 0; i < GAME_SOUND_COUNT - 1; ++i) sounds[i] = VornMusic::CreateFromWave(kSoundFiles[i], 8);
    for (int i = 0; i < 8; ++i) textures[i] = LoadTexture(kTextureFiles[i]);

    sprites[0] = VornSprite::Create(GAME_SPRITE_FACE, 1, false);
    sprites[1] = VornSprite::Create(GAME_SPRITE_SYSTEM, 1, false);
    for (auto& h : sprites3D) h = VornSprite3D::Create(GAME_SPRITE3D_VERTICES, 1);
    primitive3D = VornPrimitive3D::Create(GAME_PRIMITIVE_VERTICES, 1);
    line3D = VornLine3D::Create(GAME_LINE_VERTICES);

    font = VornFont::Create("ＭＳ ゴシック", 24, 0, 0);
    VornFont::SetDestination(font, VORN_INVALID_HANDLE);

    VornSprite::SetTexture(sprites[0], 0, textures[6]);
    VornSprite::SetTexture(sprites[1], 0, textures[7]);
    VornSprite3D::SetTexture(sprites3D[0], 0, textures[4]);
    VornSprite3D::SetTexture(sprites3D[1], 0, textures[5]);

    models[MODEL_ENEMY1] = LoadModel("enemy1.x", textures[0], "Data\\etc.fx", 0x31, 0);
    models[MODEL_ENEMY2] = LoadModel("enemy2.x", textures[1], "Data\\etc.fx", 0x31, 0);
    models[MODEL_ENEMY3] = LoadModel("enemy3.x", textures[2], "Data\\etc.fx", 0x31, 0);
    models[MODEL_BALL] = LoadModel("ball.x", VORN_INVALID_HANDLE, "Data\\ball.fx", 0x21, kNoAnimation);
    models[MODEL_TORUS] = LoadModel("torus.x", textures[3], "Data\\torus.fx", 0x61, kNoAnimation);
    // Every shot draws one of these: loaded when fired, the first straight shot cost a 165 ms frame.
    shotModels[SHOT_MODEL_STRAIGHT] = LoadModel("bullet.x", VORN_INVALID_HANDLE, "Data\\etc.fx", 0x31, kNoAnimation);
    shotModels[SHOT_MODEL_HOMING] = LoadModel("bullet2.x", VORN_INVALID_HANDLE, "Data\\etc.fx", 0x31, kNoAnimation);

    g_taskList->Add(this, PRIORITY_DIRECTOR);
}

GameDirector::~GameDirector()
{
    for (auto h : textures) VornTexture::Release(h);
    for (auto h : sprites) VornSprite::Release(h);
    for (auto h : sprites3D) VornSprite3D::Release(h);
    VornPrimitive3D::Release(primitive3D);
    VornMedia::Stop(bgm);
    VornMedia::Release(bgm);
    VornMedia::Release(titleBgm);
    VornTexture::Release(titleTexture);
    VornShaderFx::Release(playerEffect);
    VornCamera::Release(camera);
    VornLine3D::Release(line3D);
    VornFont::Release(font);
    ReleaseBoss();
    for (int i = 0; i < MODEL_BOSS; ++i) VornModelEx::Release(models[i]);
    for (auto h : shotModels) VornModelEx::Release(h);
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
    if (i >= 0 && i < GAME_SOUND_COUNT) VornMusic::Play(sounds[i]);
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

void GameDirector::LoadBgm(const char* file)
{
    // Wine's DirectShow can hang releasing a graph that still runs: stopped first.
    VornMedia::Stop(bgm);
    VornMedia::Release(bgm);
    bgm = VornMedia::CreateFromAudio(file);
}

void GameDirector::KeepTitleTexture(VornTextureHandle texture)
{
    if (titleTexture != VORN_INVALID_HANDLE || texture == VORN_INVALID_HANDLE) return;
    VornTexture::AddRef(texture);
    titleTexture = texture;
}

void GameDirector::LoadTitleBgm(const char* file)
{
    if (titleBgm == VORN_INVALID_HANDLE) {
        LoadBgm(file);
        if (bgm == VORN_INVALID_HANDLE) return;
        VornMedia::AddRef(bgm);
        titleBgm = bgm;
        return;
    }
    // Made once: its graph is not built again (a pack entry is copied out under a new name each
    // time, so the engine cannot find it by the file's name).
    VornMedia::Stop(bgm);
    VornMedia::AddRef(titleBgm);
    VornMedia::Release(bgm);
    bgm = titleBgm;
}

void GameDirector::PrepareView(bool on)
{
    // A view of the stage's middle while preparing, then the director's own again.
    const VornVector3 from(0.0f, 10.0f, -20.0f), to(0.0f, 0.0f, 0.0f);
    VornCamera::LookAt(camera, on ? &from : &eye, on ? &to : &lookAt, nullptr);
    VornCamera::TransformUpdate(camera);
    Vorn3D::SetCamera(camera);
}

void GameDirector::PrepareDrawing()
{
    VornModelExHandle body = VORN_INVALID_HANDLE, weapon = VORN_INVALID_HANDLE;
    Player::LoadModels(&body, &weapon);
    if (playerEffect == VORN_INVALID_HANDLE) playerEffect = VornShaderFx::CreateFromFile(PLAYER_BODY_EFFECT);
    PrepareView(true);
    if (Vorn3D::BeginScene()) {
        if (g_stage) {
            VornField::UpdateDrawList(g_stage->field);
            VornField::Rendering(g_stage->field);
        }
        for (VornModelExHandle m : {body, weapon}) {
            VornModelEx::TransformInit(m);
            VornModelEx::TransformUpdate(m, 0.0f, true);
        }
        // Drawing only: the shared models keep the transforms their users gave them.
        for (VornModelExHandle m : {body, weapon, models[MODEL_ENEMY1], models[MODEL_ENEMY2], models[MODEL_ENEMY3]})
            VornModelEx::Rendering(m);
        // The platform keys the batches' shaders on what was drawn before them: first as in the
        // first frame of play (the shadows after the enemies), then after the effects' models,
        // with every batch filled.
        const VornPosture flat;
        const VornRect square = {0.0f, 0.0f, 1.0f, 1.0f};
        ResetBatches();
        VornSprite3D::DrawSquare(sprites3D[1], &flat, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f, &square, 0x80FFFFFF, 1);
        DrawRect(0, 0.0f, 0.0f, 1.0f, 1.0f, 0.0f, 0.0f, 1.0f, 1.0f);
        DrawRect(1, 0.0f, 0.0f, 1.0f, 1.0f, 0.0f, 0.0f, 1.0f, 1.0f);
        Flush();
        // A straight shot leaves the device in a state of its own for the batches after it (its
        // first frame: its trail's ring, and no lines, straight after the shot's model).
        VornVertex3D corners[6] = {};
        corners[1].x = corners[2].y = corners[4].x = corners[5].z = 1.0f;
        for (VornVertex3D& v : corners) v.colour = 0x80FFFFFF;
        const std::vector<VornModelExHandle> drawnBefore[2] = {{models[MODEL_BALL], models[MODEL_TORUS], shotModels[1]},
                                                                {shotModels[0]}};
        for (int pass = 0; pass < 2; ++pass) {
            for (VornModelExHandle m : drawnBefore[pass]) VornModelEx::Rendering(m);
            ResetBatches();
            if (pass == 0) VornLine3D::PushLine(line3D, corners, 1);
            VornPrimitive3D::PushPolygon(primitive3D, corners, 2);
            for (VornSprite3DHandle s : sprites3D)
                VornSprite3D::DrawSquare(s, &flat, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f, &square, 0x80FFFFFF, 1);
            Flush();
        }
        // Text written into the back buffer (the HUD's, the title's prompt), then the title's
        // sprites alone, as each of its frames draws them.
        VornFont::Begin(font);
        VornFont::DrawText(font, 0, 0, 0xFFFFFFFF, "0");
        VornFont::End(font);
        for (int i = 0; i < 2; ++i) {
            ResetBatches();
            DrawRect(1, 0.0f, 0.0f, 1.0f, 1.0f, 0.0f, 0.0f, 1.0f, 1.0f);
            Flush();
        }
        ResetBatches();
        Vorn3D::EndScene();
    }
    Vorn3D::Finish();
    PrepareView(false);
    VornModelEx::Release(body);
    VornModelEx::Release(weapon);
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
        ReplaceSystemTexture("clear.bmp");
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

void GameDirector::LoadBoss()
{
    ReleaseBoss();
    bossTexture = LoadTexture("enemy_boss.dds");
    models[MODEL_BOSS] = LoadModel("boss.x", bossTexture, "Data\\etc.fx", 0x31, 0);
}

void GameDirector::ReleaseBoss()
{
    VornModelEx::Release(models[MODEL_BOSS]);
    VornTexture::Release(bossTexture);
    models[MODEL_BOSS] = VORN_INVALID_HANDLE;
    bossTexture = VORN_INVALID_HANDLE;
}

void GameDirector::RunBossEntry()
{
    // The boss is found in the list: the target may still be an enemy that died before it came.
    Enemy* boss = FindBoss();
    LookAtFrom(boss ? boss->position : GetTargetPosition());
    if (sceneFrame == 0) {
        LoadBoss();
        LoadBgm("bgm2.mp3");
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
        ReplaceSystemTexture("system.bmp");
        clearY = -480.0f;
        clearAngle = 0;
        sceneFrame = 0;
        EndGame();
    }
}

void GameDirector::EndGame()
{
    ReleaseBoss();
    g_taskList->KillByPriority(PRIORITY_PLAYER);
    g_taskList->KillByPriority(PRIORITY_ENEMY);
    cameraDistance = 10.0f;
    eye = lookAt = VornVector3(0.0f, 0.0f, 0.0f);
    new Title;
    SetScene(SCENE_TITLE);
}

void GameDirector::ReplaceSystemTexture(const char* file)
{
    VornTexture::Release(textures[7]);
    textures[7] = LoadTexture(file);
    VornSprite::SetTexture(sprites[1], 0, textures[7]);
}
