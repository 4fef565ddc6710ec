// The game director: the last task of every frame. It owns what several objects share (sounds,
// textures, drawing batches, models, camera, light, font, music), keeps the game's counters and its
// scene, draws the HUD and the captions, moves the camera and flushes every batch.
#pragma once
#include "Task.h"
#include "VornEngine.h"
#include <cstdint>

class Enemy;

enum GameScene : int8_t {
    SCENE_TITLE = 0,
    SCENE_PLAY = 1,
    SCENE_BOSS_ENTRY = 2,
    SCENE_GAME_OVER = 3,
    SCENE_CLEAR = 4,
};

// Sound entries (PlaySound index).
enum GameSound : int8_t {
    SOUND_EXPLOS1 = 0, SOUND_EXPLOS2, SOUND_JUMP, SOUND_KURAI, SOUND_SHOT1, SOUND_SHOT2, SOUND_WALK,
    SOUND_V_ATTACK1, SOUND_V_ATTACK2, SOUND_V_ATTACK3, SOUND_V_ATTACK4, SOUND_V_ATTACK5, SOUND_ENE_ATTACK,
    SOUND_V_DAMAGE1, SOUND_V_DAMAGE2, SOUND_V_DAMAGE3, SOUND_ENE_BUL, SOUND_V_HUZEN, SOUND_V_JATTACK1,
    SOUND_V_JATTACK2, SOUND_V_JUMP, SOUND_V_RAKKA1, SOUND_V_RAKKA2, SOUND_V_SHOT1, SOUND_V_SHOT2, SOUND_V_SHOT3,
    SOUND_BOSS_RAKKA, SOUND_BOSS_STEP, SOUND_BOSS_SWING, SOUND_BOSS_BUL, SOUND_V_START, SOUND_V_END,
    SOUND_JINGLE,   // "op1.wav", "op2.wav" or "v_clear.wav"
};
constexpr int32_t GAME_SOUND_COUNT = 33;
// The least time between two starts of one sound (PlaySound).
constexpr uint32_t SOUND_GAP_MS = 100;

// Model slots (GetModel index): enemy kinds 0, 1, 2, the ball, the torus, and the boss (kind 5).
enum GameModel : int32_t {
    MODEL_ENEMY1 = 0, MODEL_ENEMY2 = 1, MODEL_ENEMY3 = 2, MODEL_BALL = 3, MODEL_TORUS = 4, MODEL_BOSS = 5,
};

// The shots' models (GetShotModel index): "bullet.x" and "bullet2.x".
enum ShotModel : int32_t { SHOT_MODEL_STRAIGHT = 0, SHOT_MODEL_HOMING = 1 };

// Batch sizes, in vertices, for the busiest scene: 20 enemies, five explosions (128 lines and 112
// triangles each), a shockwave (176 triangles), trails, dust and a full volley of enemy bullets.
constexpr uint32_t GAME_LINE_VERTICES = 4096;
constexpr uint32_t GAME_PRIMITIVE_VERTICES = 12288;
constexpr uint32_t GAME_SPRITE3D_VERTICES = 1536;   // 256 quads a batch
constexpr uint32_t GAME_SPRITE_FACE = 8;
constexpr uint32_t GAME_SPRITE_SYSTEM = 512;

class GameDirector : public Task {
public:
    GameDirector();
    ~GameDirector() override;
    void Run() override;

    VornSpriteHandle GetSprite(int32_t i) const { return i == 0 || i == 1 ? sprites[i] : VORN_INVALID_HANDLE; }
    VornSprite3DHandle GetSprite3D(int32_t i) const { return i == 0 || i == 1 ? sprites3D[i] : VORN_INVALID_HANDLE; }
    VornTextureHandle GetTexture(int32_t i) const { return i >= 0 && i < 8 ? textures[i] : VORN_INVALID_HANDLE; }
    VornModelExHandle GetModel(int32_t i) const { return i >= 0 && i < 6 ? models[i] : VORN_INVALID_HANDLE; }
    VornModelExHandle GetShotModel(int32_t i) const { return i == 0 || i == 1 ? shotModels[i] : VORN_INVALID_HANDLE; }
    VornPrimitive3DHandle GetPrimitive3D() const { return primitive3D; }
    VornLine3DHandle GetLine3D() const { return line3D; }
    VornMediaHandle GetBgm() const { return bgm; }
    int8_t GetScene() const { return scene; }
    // Sets the scene; a change is traced by the test seam.
    void SetScene(int8_t s);

    void PlaySound(int8_t i);
    void PlaySoundLoop(int8_t i);
    void StopSound(int8_t i);
    void StartCaption();

    // Zeroes the per-game state (counts, scene counters, the boss's swings) when a game starts.
    void ResetGame();
    // Replaces the jingle slot (sound entry 32) with another file.
    void LoadJingle(const char* file);
    // The title's picture is kept from the first title to the end, so that a title made after a
    // game finds it loaded.
    void KeepTitleTexture(VornTextureHandle texture);
    // The background music becomes one of the two kept tunes (the title's "bgm1.mp3", the boss's
    // "bgm2.mp3"); what played before is stopped. UseTitleBgm makes both the first time.
    void UseBgm(VornMediaHandle music);
    void UseTitleBgm();
    // The constructor makes only what the title draws: the camera, the light, the batches and the
    // font. PrepareAll makes the rest before the first title: the sounds, textures and shared
    // models, the player's and the boss's models, the clear image, both tunes and the stage, then
    // first draws of everything a frame of play draws (the platform prepares a draw's shaders the
    // first time it comes: a frame after one waited 30-190 ms for it in Present). PrepareForPlay
    // makes every loading piece left and the stage (in a scene too: a game starts), LoadShared the
    // loading pieces without the stage.
    void PrepareAll();
    void PrepareForPlay();
    void LoadShared();
    // The player's body and weapon, loaded once and lent to each player in turn.
    void GetPlayerModels(VornModelExHandle* body, VornModelExHandle* weapon);
    // The 2D sprite batches reset each frame by TaskList::RunAll.
    void ResetBatches();
    // An enemy about to be deleted: the target (and any other pointer to it) is cleared.
    void ForgetEnemy(const Enemy* enemy);
    // The target's position, or its last one while there is no target.
    VornVector3 GetTargetPosition();

    VornVector3 eye{0.0f, 0.0f, 0.0f};
    VornVector3 lookAt{0.0f, 0.0f, 0.0f};
    VornVector3 step{0.0f, 0.0f, 0.0f};
    VornTextureHandle textures[8];
    VornSpriteHandle sprites[2];
    VornSprite3DHandle sprites3D[2];
    VornPrimitive3DHandle primitive3D = VORN_INVALID_HANDLE;
    VornCameraHandle camera = VORN_INVALID_HANDLE;
    VornLine3DHandle line3D = VORN_INVALID_HANDLE;
    VornModelExHandle models[6];   // slot 5: the boss's own model
    VornModelExHandle shotModels[2];   // loaded once, shared by every shot
    VornFontHandle font = VORN_INVALID_HANDLE;
    int8_t scene = SCENE_TITLE;
    float cameraDistance = 10.0f;
    int32_t sceneFrame = 0;
    int8_t captionState = 0;
    float captionLeftX = -256.0f;
    float captionRightX = 640.0f;
    int32_t captionAlpha = 0;
    int32_t captionAngle = 0;
    int32_t killCount = 0;
    int32_t spawnCount = 0;
    int32_t aliveCount = 0;
    int32_t gameOverFrame = 0;
    Enemy* target = nullptr;
    VornMusicHandle sounds[GAME_SOUND_COUNT];
    uint32_t soundStarts[GAME_SOUND_COUNT] = {};   // timeGetTime of each sound's last start
    bool soundStarted[GAME_SOUND_COUNT] = {};
    VornMediaHandle bgm = VORN_INVALID_HANDLE;
    VornTextureHandle bossTexture = VORN_INVALID_HANDLE;   // "enemy_boss.dds", the boss's model's
    VornVector3 targetPosition{0.0f, 0.0f, 0.0f};           // the target's last position
    VornTextureHandle titleTexture = VORN_INVALID_HANDLE;    // "title.bmp", kept for every title
    VornMediaHandle titleBgm = VORN_INVALID_HANDLE;          // "bgm1.mp3", kept for every title
    VornMediaHandle bossBgm = VORN_INVALID_HANDLE;           // "bgm2.mp3", kept for every boss
    VornTextureHandle otherSystemTexture = VORN_INVALID_HANDLE;   // the one of "system.bmp" and
                                                                  // "clear.bmp" not in texture 7
    bool clearShown = false;                                 // texture 7 is "clear.bmp"
    VornModelExHandle playerModels[2];                       // body and weapon, lent to each player
    uint64_t preparedPieces = 0;                             // bit i: piece i done

private:
    void RunPlay();
    void UpdateCamera();
    void DrawHud();
    void DrawCaption();
    void RunBossEntry();
    void RunGameOver();
    void RunClear();
    void Flush();
    // The end of a game (game over or clear): player and enemies removed, the boss's model
    // released, the camera back to its start, a new title.
    void EndGame();
    // Texture 7 and the batch that draws it: "clear.bmp" in the clear scene, else "system.bmp".
    void ShowClearImage(bool clear);
    void DrawRect(int32_t batch, float dx, float dy, float dw, float dh, float sx, float sy, float sw, float sh,
                  uint32_t colour = 0xFFFFFFFF);
    void LookAtFrom(const VornVector3& at);
    void PrepareView(bool on);
    // One piece of the preparation (see PrepareAll), done once; a first draw only when drawing
    // (outside the frame's own scene).
    void RunPreparePiece(int32_t piece, bool drawing);
};

extern GameDirector* g_director;

// The stage caption for a kill count (null from 40 on), and the HUD's face cell (0-3: left to
// right, top to bottom) for the player's hit points and condition.
const char* StageCaption(int32_t kills);
int32_t FaceCell(int32_t hp, int8_t condition);

// Game globals of the director's scenes: the game-over letters, the clear image.
extern float letterHeights[8];
extern float clearY;
extern int32_t clearAngle;
