// The director, the title and the stage: captions and faces, the camera's pace, the end of the
// clear scene (the game over's: game.game_over), a new game from zero, the boss's entry (its own model:
// the enemy tests), batches for the busiest scene, the clear image through a re-bound batch, ground queries
// off the field.
#include "GameFixture.h"
#include "Effects.h"
#include "StageField.h"
#include "Title.h"

using namespace vorntest;

using DirectorTest = GameFixture;

TEST_F(DirectorTest, CaptionsFollowTheKillsAndTheFaceTheHitPoints)
{
    const struct { int32_t kills; const char* text; } captions[] = {
        {9, "　　　駆逐開始！"}, {10, "順調な日々…しかし"}, {19, "順調な日々…しかし"}, {20, "　そろそろ佳境！？"},
        {29, "　そろそろ佳境！？"}, {30, "　感動の再会\n　　　そのとき母は"}, {38, "　感動の再会\n　　　そのとき母は"},
        {39, "いよいよラスト…\n　　まさかの結末！！"}, {40, nullptr}};
    for (const auto& c : captions) EXPECT_EQ(c.text ? std::string(c.text) : "-", StageCaption(c.kills) ? StageCaption(c.kills) : "-") << c.kills;
    const struct { int32_t hp; int8_t condition; int32_t cell; } faces[] = {
        {16, 0, 0}, {15, 0, 1}, {6, 0, 1}, {5, 0, 2}, {1, 0, 2}, {16, CONDITION_DEAD, 3}, {0, CONDITION_DEAD, 3}};
    for (const auto& f : faces) EXPECT_EQ(f.cell, FaceCell(f.hp, f.condition)) << f.hp << " hit points, condition " << int(f.condition);
}

TEST_F(DirectorTest, CameraDistanceStepsByOneAndKeepsItsFloor)
{
    new Player(0.0f, 0.0f, 0.0f);
    Enemy* target = g_director->target = new Enemy(VornVector3(30.0f, 0.0f, 0.0f), ENEMY_WALKER);
    // (target x, kind, frames, distance after them), one after the other from 10.
    const struct { float x; int8_t kind; int frames; float distance; } steps[] = {
        {30.0f, ENEMY_WALKER, 1, 11.0f}, {30.0f, ENEMY_WALKER, 4, 15.0f}, {2.0f, ENEMY_WALKER, 3, 12.0f},
        {2.0f, ENEMY_WALKER, 20, 5.0f}, {2.0f, ENEMY_BOSS, 1, 8.0f}, {9.5f, ENEMY_BOSS, 3, 9.5f}};
    for (const auto& s : steps) {
        for (int i = 0; i < s.frames; ++i) {
            target->position = VornVector3(s.x, 0.0f, 0.0f);
            target->kind = s.kind;
            g_director->Run();
        }
        EXPECT_FLOAT_EQ(s.distance, g_director->cameraDistance) << "target at x " << s.x << ", " << testing::PrintToString(EnemyKind(s.kind));
    }
}

TEST_F(DirectorTest, ZOnceTheTitleShowsStartsAGameFromZeroCounts)
{
    g_director->SetScene(SCENE_TITLE);
    new Title;
    // What a game over after the boss's arrival leaves behind.
    g_director->aliveCount = 20;
    g_director->sceneFrame = 99;
    g_director->gameOverFrame = 5;
    bossSwings = 2;
    Press(Z);   // the title's first frame, shown to nobody yet: a Z pressed before it is no answer
    EXPECT_NAMED({"scene after a Z on the title's first frame", GameScene(g_director->GetScene()), SCENE_TITLE},
                 {"players", Count(PRIORITY_PLAYER), 0});
    Press(Z);
    EXPECT_NAMED({"scene", GameScene(g_director->GetScene()), SCENE_PLAY}, {"live enemies", Count(PRIORITY_ENEMY), 3},
                 {"spawnCount", g_director->spawnCount, 3}, {"aliveCount", g_director->aliveCount, 3}, {"killCount", g_director->killCount, 0},
                 {"sceneFrame", g_director->sceneFrame, 0}, {"gameOverFrame", g_director->gameOverFrame, 0}, {"bossSwings", int(bossSwings), 0});
    ASSERT_NE(nullptr, g_director->target);
    EXPECT_NAMED({"target kind", EnemyKind(g_director->target->kind), ENEMY_WALKER}, {"target spawn index", int(g_director->target->spawnIndex), 1});
    g_director->sceneFrame = 77;   // the boss's entry counts its frames from 0
    g_director->SetScene(SCENE_BOSS_ENTRY);
    EXPECT_EQ(0, g_director->sceneFrame);
}

TEST_F(DirectorTest, BossEntryEndsOnceTheBossStandsThoughTheTargetDiedBefore)
{
    new Player(-20.0f, 0.0f, 0.0f);
    Enemy* first = g_director->target = new Enemy(VornVector3(20.0f, 0.0f, 4.0f), ENEMY_WALKER);
    Enemy* second = new Enemy(VornVector3(-10.0f, 0.0f, 20.0f), ENEMY_SHOOTER);
    g_director->killCount = 37;
    first->Damage(first->GetHP());
    second->Damage(second->GetHP());   // the 39th kill: the boss
    const int frames = PressWhile([] { return g_director->GetScene() != SCENE_PLAY; });
    EXPECT_TRUE(InRange("frames of the boss's entry (1000: it never ended)", frames, 142, 999));
    ASSERT_NE(nullptr, g_director->target);   // the boss took the target on arrival
    EXPECT_NAMED({"target kind", EnemyKind(g_director->target->kind), ENEMY_BOSS}, {"target in the air", int(g_director->target->inAir), 0});
}

TEST_F(DirectorTest, TheClearEndsOnItsFrame661WithTheTitleAlone)
{
    new Player(-20.0f, 0.0f, 0.0f);
    new Enemy(VornVector3(60.0f, 0.0f, 60.0f), ENEMY_WALKER);
    g_director->SetScene(SCENE_BOSS_ENTRY);
    g_taskList->RunAll();   // the boss's model comes with its entry
    ASSERT_NE(VORN_INVALID_HANDLE, g_director->GetModel(MODEL_BOSS));
    g_director->SetScene(SCENE_PLAY);
    g_director->killCount = 40;   // the 40th kill: the clear begins this frame
    g_taskList->RunAll();
    EXPECT_EQ(662, 1 + PressWhile([] { return g_director->GetScene() != SCENE_TITLE; }));
    g_taskList->RunAll();
    EXPECT_NAMED({"players", Count(PRIORITY_PLAYER), 0}, {"enemies", Count(PRIORITY_ENEMY), 0}, {"titles", Count(PRIORITY_TITLE), 1});
}

TEST_F(DirectorTest, BatchesHoldTheBusiestScene)
{
    for (int i = 0; i < 5; ++i) new Explosion(2.0f * i, 1.0f, 0.0f);
    new Shockwave(0.0f, 0.0f, 0.0f, 30.0f);
    for (int i = 0; i < 4; ++i) new Trail(0.0f, 1.0f, 0.0f, 0x4000, 0, 0, 24, 1);
    for (int i = 0; i < 20; ++i) new EnemyShot(float(i), 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0, 0);
    g_taskList->RunAll();
    // Triangles asked for, and nothing refused.
    for (VornPrimitive3DHandle p : {g_director->GetPrimitive3D(), VornSprite3D::GetPrimitive(g_director->GetSprite3D(1))}) {
        SCOPED_TRACE(p == g_director->GetPrimitive3D() ? "the director's primitives" : "sprite batch 1's primitives");
        EXPECT_GT(VornPrimitive3D::GetPolygonCount(p), 0u);
        EXPECT_EQ(VornPrimitive3D::GetPolygonCount(p), VornPrimitive3D::Batch().GetCount(p));
    }
    EXPECT_EQ(5u * 128u * 2u, VornLine3D::Batch().GetCount(g_director->GetLine3D()));
}

TEST_F(DirectorTest, TheClearImageIsDrawnThroughTheReboundBatch)
{
    // A second reference keeps "system.bmp" alive: a batch left on its handle would draw it.
    const VornTextureHandle held = VornTexture::CreateFromFile("system.bmp", VORN_FORMAT_ALPHA, 0xFF00FF00);
    g_director->killCount = 40;
    for (int i = 0; i < 321; ++i) g_taskList->RunAll();
    Step();   // at rest: y 0, seven whole turns
    const Readback game = frame_;
    const VornSpriteHandle reference = VornSprite::Create(8, 1, false);
    VornSprite::SetTexture(reference, 0, VornTexture::CreateFromFile("clear.bmp", VORN_FORMAT_ALPHA, 0xFF00FF00));
    const VornRect dst = {0.0f, 0.0f, 640.0f, 480.0f}, src = {0.0f, 0.0f, 512.0f, 480.0f};
    VornSprite::DrawSquare(reference, &dst, 32767.0f, &src, 0xFFFFFFFF, 1);
    VornSprite::UpdateBuffer(reference);
    Frame([&] { VornSprite::Rendering(reference); });
    int differing = 0, firstX = 0, firstY = 0;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x)
            if (game.Rgb(x, y) != frame_.Rgb(x, y) && differing++ == 0) firstX = x, firstY = y;
    EXPECT_EQ(0, differing) << "pixels differ; the first at (" << firstX << ", " << firstY << "): " << Argb{game.Rgb(firstX, firstY)}
                            << " in the game, " << Argb{frame_.Rgb(firstX, firstY)} << " drawn alone";
    EXPECT_NE(Argb{game.Rgb(0, 0)}, Argb{game.Rgb(kSize / 2, kSize / 2)});   // an image, not a plain clear
    VornSprite::Release(reference);
    VornTexture::Release(held);
}

TEST_F(DirectorTest, GroundQueriesGiveZeroOffTheFieldAndWithoutAStage)
{
    EXPECT_EQ(0.0f, GroundY(VornVector3(5.0f, 50.0f, 5.0f)));
    g_stage = new StageField;
    VornVector3 hit(0.0f, -99.0f, 0.0f);
    VornField::HitCheckDown(g_stage->GetField(), VornVector3(5.0f, 50.0f, 5.0f), &hit, nullptr, nullptr);
    ASSERT_NE(-99.0f, hit.y);   // on the field the point below is found
    EXPECT_EQ(hit.y, GroundY(VornVector3(5.0f, 50.0f, 5.0f)));
    EXPECT_EQ(0.0f, GroundY(VornVector3(5000.0f, 50.0f, 5000.0f)));
}
