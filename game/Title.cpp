#include "Title.h"
#include "Enemy.h"
#include "GameDirector.h"
#include "GameMain.h"
#include "Player.h"

namespace {
constexpr float kDepth = 32767.0f;
}

Title::Title()
{
    g_taskList->Add(this, PRIORITY_TITLE);
    g_director->spawnCount = 0;
    g_director->killCount = 0;
    font = VornFont::Create("ＭＳ ゴシック", 16, 0, 0);
    VornFont::SetDestination(font, VORN_INVALID_HANDLE);
    texture = VornTexture::CreateFromFile("title.bmp", VORN_FORMAT_ALPHA, 0xFF00FF00);
    g_director->KeepTitleTexture(texture);
    VornSprite::SetTexture(g_director->GetSprite(1), 0, texture);
    g_director->UseTitleBgm();
    g_director->LoadJingle("op1.wav");
}

Title::~Title()
{
    VornTexture::Release(texture);
    VornFont::Release(font);
    g_taskList->Kill(this);
}

void Title::Run()
{
    const VornSpriteHandle batch = g_director->GetSprite(1);
    auto draw = [batch](float dx, float dy, float dw, float dh, float sx, float sy, float sw, float sh) {
        const VornRect dst = {dx, dy, dw, dh}, src = {sx, sy, sw, sh};
        VornSprite::DrawSquare(batch, &dst, kDepth, &src, 0xFFFFFFFF, 1);
    };
    draw(logoX, 0.0f, 160.0f, 448.0f, 0.0f, 0.0f, 160.0f, 448.0f);
    draw(subX, 32.0f, 96.0f, 288.0f, 160.0f, 0.0f, 96.0f, 288.0f);
    if (frame < 32) {
        logoX += 5.0f;
    } else if (frame < 56) {
        subX -= 5.0f;
    }
    if (frame > 32) draw(logoX + 128.0f, 96.0f, 256.0f, 128.0f, 256.0f, 0.0f, 256.0f, 128.0f);
    if (frame > 64) draw(subX - 200.0f, 0.0f, 256.0f, 128.0f, 256.0f, 128.0f, 256.0f, 128.0f);
    if (frame > 150) draw(0.0f, 0.0f, 640.0f, 350.0f, 0.0f, 448.0f, 352.0f, 64.0f);
    if (frame > TITLE_PROMPT_FRAME) {
        VornFont::Begin(font);
        VornFont::DrawText(font, 224, 400, 0xFFFFFFFF, "PUSH Z KEY or BUTTON 1");
        VornFont::End(font);
    }
    if (frame == 32 || frame == 64 || frame == 150) g_director->PlaySound(SOUND_JINGLE);
    if (frame == 100) g_director->LoadJingle("op2.wav");
    ++frame;
    // Not on the title's first frame, which nothing of it has been shown before: a Z pressed while
    // the window was still black (or on the game over's last frame) is no answer to the title.
    if (g_input.pushZ && frame > 1) StartGame();
}

void Title::StartGame()
{
    // What play needs, when the title was made without it (the game makes it all before its
    // first title).
    g_director->PrepareForPlay();
    // Nothing of the last game carries over: counts, scene counters, the boss's swings.
    g_director->ResetGame();
    new Player(-20.0f, 0.0f, 0.0f);
    g_input.pushZ = 0;   // the player does not attack in this frame
    g_director->target = new Enemy(VornVector3(20.0f, 0.0f, 4.0f), ENEMY_WALKER);
    new Enemy(VornVector3(-10.0f, 0.0f, 20.0f), ENEMY_SHOOTER);
    new Enemy(VornVector3(40.0f, 0.0f, -5.0f), ENEMY_HOPPER);
    g_taskList->Kill(this);
    VornSprite::SetTexture(g_director->GetSprite(1), 0, g_director->GetTexture(7));
    g_director->SetScene(SCENE_PLAY);
    g_director->StartCaption();
    VornMedia::Play(g_director->GetBgm(), true);
    g_director->PlaySound(SOUND_V_START);
}
