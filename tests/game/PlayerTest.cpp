// The player, its shots and the effects, driven frame by frame through the task list: combo
// windows, dash timing, jumps and the downward attack's shockwave, shots, target changes, the one
// death, effect lifetimes and wide angles.
#include "GameFixture.h"
#include "Effects.h"
#include "Shots.h"

using namespace vorntest;

using PlayerTest = GameFixture;

TEST_F(PlayerTest, ComboContinuesOnlyForPressesWithinItsWindows)
{
    // Z on the ground, then Z again at each (animation, time) seen before a frame; the animations
    // entered, in order, until the player stands again, and the time at which hit 3 was entered (0: never).
    using Animations = std::vector<PlayerAnimation>;
    const struct { const char* name; std::vector<std::pair<int8_t, float>> presses; Animations entered; float hit3StartTime; } cases[] = {
        {"one press", {}, {PLAYER_COMBO1}, 0.0f}, {"Z at combo 1's 90", {{PLAYER_COMBO1, 90.0f}}, {PLAYER_COMBO1, PLAYER_COMBO2}, 0.0f},
        {"Z at 90, then at combo 2's 93", {{PLAYER_COMBO1, 90.0f}, {PLAYER_COMBO2, 93.0f}}, {PLAYER_COMBO1, PLAYER_COMBO2, PLAYER_COMBO3}, 105.0f},
        {"Z at 90, then at combo 2's 115", {{PLAYER_COMBO1, 90.0f}, {PLAYER_COMBO2, 115.0f}}, {PLAYER_COMBO1, PLAYER_COMBO2, PLAYER_COMBO3}, 115.0f},
        // Too late: hit 1 is over; the press starts a new first hit.
        {"Z at stand's 46", {{PLAYER_STAND, 46.0f}}, {PLAYER_COMBO1, PLAYER_STAND, PLAYER_COMBO1}, 0.0f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Player* p = Landed();
        Press(Z);
        Animations entered = {PlayerAnimation(p->animation)};
        float hit3At = 0.0f;
        size_t next = 0;
        for (int f = 0; f < 200 && !(p->animation == PLAYER_STAND && next == c.presses.size()); ++f) {
            const bool press = next < c.presses.size() && p->animation == c.presses[next].first &&
                               animTime == c.presses[next].second;
            const float before = animTime;
            next += press;
            Press(press ? Z : 0);
            if (p->animation != entered.back()) {
                entered.push_back(PlayerAnimation(p->animation));
                if (p->animation == PLAYER_COMBO3) hit3At = before;
            }
        }
        if (entered.back() == PLAYER_STAND && c.entered.back() != PLAYER_STAND) entered.pop_back();
        EXPECT_NAMED({"animations entered", entered, c.entered}, {"hit 3 entered at", hit3At, c.hit3StartTime});
        g_taskList->Kill(p);
        Press();
    }
}

TEST_F(PlayerTest, DashIsASecondPressTwoToSevenFramesAfterAShortOne)
{
    // Frames with the arrow held, frames with none, then one held frame.
    const struct { int held, gap; bool dash; } cases[] = {{1, 2, true}, {8, 7, true}, {3, 4, true}, {9, 2, false}, {1, 1, false}, {4, 8, false}, {12, 3, false}};
    for (const auto& c : cases) {
        Player* p = new Player(-20.0f, 0.0f, 0.0f);
        for (int i = 0; i < 10; ++i) Press();
        for (int i = 0; i < c.held; ++i) Press(RIGHT);
        for (int i = 0; i < c.gap; ++i) Press();
        Press(c.held % 2 ? RIGHT : LEFT);
        SCOPED_TRACE(testing::Message() << c.held << " frames held, " << c.gap << " apart");
        EXPECT_NAMED({"in the dash animation", p->animation == PLAYER_DASH, c.dash}, {"dashing", p->dashing != 0, c.dash});
        g_taskList->Kill(p);
        Press();
    }
}

TEST_F(PlayerTest, DownwardAttackLandsAShockwaveAsStrongAsItsFramesAndBlocksJumps)
{
    Player* p = Landed();
    Press(X);
    ASSERT_TRUE(p->inAir);
    for (int i = 0; i < 5; ++i) Press();
    Press(X);   // a second jump in the air
    EXPECT_FLOAT_EQ(0.8f - 0.04f, p->airVelocity.y);
    Press(Z | DOWN);
    ASSERT_NAMED({"animation", PlayerAnimation(p->animation), PLAYER_DOWN_ATTACK}, {"attack", PlayerAttackKind(p->GetAttackKind()), ATTACK_DOWNWARD});
    const float vy = p->airVelocity.y;
    Press(X);   // no jump during the downward attack
    EXPECT_LT(p->airVelocity.y, vy);
    const int frames = 2 + PressWhile([p] { return p->inAir; });
    ASSERT_EQ(1, Count(PRIORITY_SHOCKWAVE));
    EXPECT_FLOAT_EQ(static_cast<float>(frames), static_cast<Shockwave*>(Live(PRIORITY_SHOCKWAVE)[0])->strength);
    EXPECT_NAMED({"charge", p->charge, 0.0f}, {"attack", PlayerAttackKind(p->GetAttackKind()), ATTACK_NONE});
}

TEST_F(PlayerTest, ZWithDownFiresAStraightShotAndWithUpAHomingShot)
{
    // Each shot starts level with the player (the straight one 0.5 above), draws the director's
    // one model of its kind, and has run one frame when found (the homing shot steps 0.1).
    // (arrow, animation, shot, frames until the shot leaves, rise, model)
    const struct { unsigned arrow; PlayerAnimation animation; int32_t shot; int frames; float rise; int32_t model; } cases[] = {
        {DOWN, PLAYER_STRAIGHT_SHOT, PRIORITY_STRAIGHT_SHOT, 22, 0.5f, SHOT_MODEL_STRAIGHT},
        {UP, PLAYER_HOMING_SHOT, PRIORITY_HOMING_SHOT, 11, 0.0f, SHOT_MODEL_HOMING}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arrow == DOWN ? "Z with down" : "Z with up");
        Player* p = Landed();
        Press(Z | c.arrow);
        EXPECT_EQ(c.animation, PlayerAnimation(p->animation));
        EXPECT_EQ(c.frames, PressWhile([&] { return Count(c.shot) == 0; }));
        ASSERT_EQ(1, Count(c.shot));
        const MovingObject* shot = static_cast<MovingObject*>(Live(c.shot)[0]);
        EXPECT_NEAR(p->position.y + c.rise, shot->position.y, 0.11f);
        const VornModelExHandle model = c.shot == PRIORITY_STRAIGHT_SHOT ? static_cast<const StraightShot*>(shot)->model
                                                                         : static_cast<const HomingShot*>(shot)->model;
        EXPECT_NE(VORN_INVALID_HANDLE, model);
        EXPECT_EQ(g_director->GetShotModel(c.model), model);
        for (int32_t priority : {int32_t(PRIORITY_PLAYER), c.shot}) g_taskList->KillByPriority(priority);
        Press();
    }
}

TEST_F(PlayerTest, StraightShotGrowsInSevenFramesAndLeaves42TrailsIn251)
{
    StraightShot* s = new StraightShot(0.0f, 1.0f, 0.0f, 1.5f, 0.0f, 0.0f, 0);
    int trails = 0;
    for (int f = 1; f <= 251; ++f) {
        ASSERT_EQ(1, Count(PRIORITY_STRAIGHT_SHOT)) << f;
        g_taskList->RunAll();
        if (f <= 7) EXPECT_EQ(f == 7, s->scale == 1.0f) << "frame " << f << ": scale " << s->scale;
        for (Task* t : Live(PRIORITY_EFFECT)) trails += static_cast<Trail*>(t)->radius == 1.0f;
    }
    EXPECT_EQ(0, Count(PRIORITY_STRAIGHT_SHOT));
    EXPECT_EQ(42, trails);
}

TEST_F(PlayerTest, EffectsLiveTheirFrames)
{
    const struct { const char* name; std::function<void()> make; int32_t priority; int frames; } cases[] = {
        {"explosion", [] { new Explosion(0.0f, 1.0f, 0.0f); }, PRIORITY_EFFECT, 21}, {"dust", [] { new Dust(0.0f, 1.0f, 0.0f, 0); }, PRIORITY_EFFECT, 11},
        {"trail", [] { new Trail(0.0f, 1.0f, 0.0f, 0x4000, 0, 0, 24, 1); }, PRIORITY_EFFECT, 9},
        {"shockwave", [] { new Shockwave(0.0f, 0.0f, 0.0f, 0.0f); }, PRIORITY_SHOCKWAVE, 43}};
    for (const auto& c : cases) {
        c.make();
        EXPECT_EQ(c.frames, PressWhile([&] { return Count(c.priority) > 0; })) << c.name;
    }
    Explosion* e = new Explosion(0.0f, 1.0f, 0.0f);
    for (int f = 1; f <= 4; ++f) {
        g_taskList->RunAll();
        EXPECT_EQ(f == 4, e->scale == 17.0f) << f;
    }
}

TEST_F(PlayerTest, ExplosionSpinKeepsTheLow16BitsOfTheFullProduct)
{
    EXPECT_NAMED({"ExplosionSpin(3, 1000)", ExplosionSpin(3, 1000), 21845}, {"ExplosionSpin(21, 1073676289)", ExplosionSpin(21, 1073676289), 56251},
                 {"ExplosionSpin(250, 1073676289)", ExplosionSpin(250, 1073676289), 1820});
}

TEST_F(PlayerTest, WalkingPastTheEdgeIsUndone)
{
    Player* p = Landed(199.95f);
    Press(RIGHT);   // away from the target at the origin
    EXPECT_FLOAT_EQ(199.95f, p->position.x);
    Press(LEFT);
    EXPECT_LT(p->position.x, 199.9f);
}

TEST_F(PlayerTest, NextTargetWrapsToTheFirstLivingEnemyAndTheLastPositionIsKept)
{
    Player* p = new Player(-20.0f, 0.0f, 0.0f);
    Enemy* first = new Enemy(VornVector3(20.0f, 0.0f, 4.0f), ENEMY_WALKER);
    (new Enemy(VornVector3(-10.0f, 0.0f, 20.0f), ENEMY_WALKER))->condition = CONDITION_DEAD;
    p->targetIndex = static_cast<int8_t>(first->GetSpawnIndex());
    p->SelectNextTarget();
    EXPECT_NAMED({"target", g_director->target, first}, {"target index", int(uint8_t(p->targetIndex)), int(first->GetSpawnIndex())});

    const VornVector3 at = first->GetPosition();
    p->GetTargetPosition();
    g_director->target = nullptr;   // the target was deleted
    const VornVector3 kept = p->GetTargetPosition();
    EXPECT_NAMED({"x", kept.x, at.x}, {"z", kept.z, at.z});
}

TEST_F(PlayerTest, PlayerDiesOnceAndOnlyInPlayOrTheBossEntry)
{
    const struct { int8_t scene; int32_t hp; int8_t sceneAfter; bool shotTaken; } cases[] = {
        {SCENE_PLAY, 1, SCENE_GAME_OVER, true}, {SCENE_BOSS_ENTRY, 1, SCENE_GAME_OVER, true}, {SCENE_CLEAR, 1, SCENE_CLEAR, true},
        {SCENE_PLAY, 0, SCENE_PLAY, false}, {SCENE_GAME_OVER, 0, SCENE_GAME_OVER, false}};
    for (const auto& c : cases) {
        Player* p = new Player(-20.0f, 0.0f, 0.0f);
        p->hp = c.hp;
        g_director->SetScene(c.scene);
        new EnemyShot(p->position.x, p->position.y, p->position.z, 0.0f, 0.0f, 0.0f, 0, 0);
        p->CheckEnemyShotContact();
        SCOPED_TRACE(testing::PrintToString(GameScene(c.scene)) + ", " + std::to_string(c.hp) + " hit points");
        // Hit points end at 0; only enemies count kills.
        EXPECT_NAMED({"scene", GameScene(g_director->GetScene()), GameScene(c.sceneAfter)}, {"hit points", p->hp, 0},
                     {"shot taken", Count(PRIORITY_ENEMY_SHOT) == 0, c.shotTaken}, {"kills", g_director->killCount, 0});
        for (int32_t priority : {PRIORITY_PLAYER, PRIORITY_ENEMY_SHOT}) g_taskList->KillByPriority(priority);
        g_director->SetScene(SCENE_PLAY);
        Press();
        EXPECT_EQ(nullptr, g_player);
    }
}

TEST_F(PlayerTest, DustIsDrawnOnceByTheDirectorsFlush)
{
    const VornCameraHandle camera = UseCamera(-4.0f);
    Vorn3D::SetAlphaEnable(true);
    Vorn3D::SetBlendMode(BLEND_ALPHA);
    g_director->SetScene(SCENE_TITLE);
    // The puff in the middle alone, then with three more out of view: drawn once either way.
    uint32_t middle[2] = {};
    for (int extra : {0, 3}) {
        new Dust(0.0f, -0.3f, 0.0f, 0);
        for (int i = 0; i < extra; ++i) new Dust(20.0f, 0.0f, 0.0f, 0);
        Step();
        middle[extra != 0] = frame_.Rgb(kSize / 2, kSize / 2);
        g_taskList->KillByPriority(PRIORITY_EFFECT);
        Step();
    }
    EXPECT_NE(Argb{0}, Argb{middle[0]});
    EXPECT_EQ(Argb{middle[0]}, Argb{middle[1]}) << "alone, then with three more out of view";
    VornCamera::Release(camera);
}

TEST_F(PlayerTest, EachSwingOfTheComboHitsAnEnemyOnce)
{
    // A shooter (its body does not hurt) held at the player's side, below it so that it does not
    // fire, through a three-hit combo: one point lost under each hit.
    Player* p = new Player(-20.0f, 0.0f, 0.0f);
    Enemy* e = new Enemy(VornVector3(-20.0f, 0.0f, -0.5f), ENEMY_SHOOTER);
    e->hp = 50;
    g_director->target = e;
    for (int i = 0; i < 40; ++i) Press();
    int lost[6] = {};
    for (int f = 0, hp = e->hp; f < 150; ++f, hp = e->hp) {
        e->position = VornVector3(p->position.x, p->position.y - 0.1f, p->position.z - 0.5f);
        Press(f % 10 == 0 && f <= 60 ? Z : 0);
        lost[p->GetAttackKind()] += hp - e->hp;
    }
    EXPECT_EQ((std::vector<int>{0, 1, 1, 1, 0, 0}), std::vector<int>(lost, lost + 6));   // by attack kind
}

TEST_F(PlayerTest, HomingShotFollowsTheTargetAndFliesOnToItsLastPlace)
{
    Enemy* e = new Enemy(VornVector3(10.0f, 1.0f, 0.0f), ENEMY_WALKER);
    g_director->target = e;
    HomingShot* s = new HomingShot(0.0f, 1.0f, 0.0f);
    // (where the enemy is, where the shot must head): the target moves; then it is gone, far off, and
    // the shot keeps to where it was last.
    const VornVector3 first(10.0f, 1.0f, 0.0f), moved(0.0f, 1.0f, 10.0f), gone(-50.0f, 1.0f, -50.0f);
    const std::pair<VornVector3, VornVector3> phases[] = {{first, first}, {moved, moved}, {gone, moved}};
    for (int phase = 0; phase < 3; ++phase) {
        e->position = phases[phase].first;
        if (phase == 2) g_director->target = nullptr;
        const float before = VornVector3(phases[phase].second - s->position).Length();
        for (int i = 0; i < 40; ++i) s->Run();
        EXPECT_LT(VornVector3(phases[phase].second - s->position).Length(), before - 3.0f) << phase;
    }
}
