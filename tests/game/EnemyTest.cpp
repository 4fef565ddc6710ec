// The enemies and the boss, driven through the task list or one Run at a time: the wave rules and
// the boss's arrival, one count per kill, the blinking death, the forgotten target, the shooter's
// aim, the hopper's spin and the boss's own model. (The clear in the 40th kill's frame: game.game_clear.)
#include "GameFixture.h"

using namespace vorntest;

using EnemyTest = GameFixture;

TEST_F(EnemyTest, AKillTriesOneToFiveSpawnsWithinTheLimitsAndCountsOnce)
{
    // Spawned and alive counts as the kill finds them, and the spawns it may bring.
    const struct { int32_t spawned, alive, least, most; } cases[] = {{3, 3, 1, 5}, {20, 8, 1, 5}, {38, 8, 1, 1}, {39, 8, 0, 0},
                                                                     {10, 20, 1, 1}, {10, 21, 0, 0}};
    g_director->SetScene(SCENE_TITLE);
    bool sawMany = false;
    for (const auto& c : cases) {
        Enemy* victim = new Enemy(VornVector3(0.0f, 0.0f, 0.0f), ENEMY_WALKER);
        g_director->killCount = 0;
        g_director->spawnCount = c.spawned;
        g_director->aliveCount = c.alive;
        victim->Damage(victim->GetHP());
        victim->Damage(1);   // weapon, shockwave and shots in one frame: one kill
        const int32_t added = g_director->spawnCount - c.spawned;
        SCOPED_TRACE(testing::Message() << c.spawned << " spawned, " << c.alive << " alive");
        EXPECT_EQ(1, g_director->killCount);
        EXPECT_TRUE(InRange("spawns added", added, c.least, c.most));
        EXPECT_EQ(c.alive - 1 + added, g_director->aliveCount);
        sawMany |= added > 1;
        g_taskList->KillByPriority(PRIORITY_ENEMY);
        g_taskList->RunAll();
    }
    EXPECT_TRUE(sawMany);
}

TEST_F(EnemyTest, The39thKillBringsTheBossAloneAsTheTargetEnteringOnlyFromPlay)
{
    for (int8_t scene : {SCENE_PLAY, SCENE_GAME_OVER}) {
        SCOPED_TRACE("from " + testing::PrintToString(GameScene(scene)));
        g_director->SetScene(scene);
        g_director->killCount = BOSS_KILL_COUNT - 1;
        Enemy* last = new Enemy(VornVector3(0.0f, 0.0f, 0.0f), ENEMY_HOPPER);
        g_director->spawnCount = BOSS_KILL_COUNT;
        g_director->target = last;
        last->Damage(last->GetHP());
        ASSERT_EQ(2, Count(PRIORITY_ENEMY));
        Enemy* boss = static_cast<Enemy*>(Live(PRIORITY_ENEMY)[1]);
        EXPECT_NAMED({"kind", EnemyKind(boss->GetKind()), ENEMY_BOSS}, {"hit points", boss->GetHP(), 50},
                     {"spawnCount", g_director->spawnCount, BOSS_KILL_COUNT + 1}, {"target", g_director->target, boss},
                     {"scene", GameScene(g_director->GetScene()), scene == SCENE_PLAY ? SCENE_BOSS_ENTRY : SCENE_GAME_OVER});
        g_director->SetScene(SCENE_TITLE);
        g_taskList->KillByPriority(PRIORITY_ENEMY);
        g_taskList->RunAll();
    }
}

TEST_F(EnemyTest, ADeadEnemyBlinks128FramesThenGoesAndStopsBeingTheTarget)
{
    g_director->SetScene(SCENE_TITLE);
    Enemy* boss = new Enemy(VornVector3(10.0f, 200.0f, 30.0f), ENEMY_BOSS);
    g_director->killCount = BOSS_KILL_COUNT;   // the game's last enemy
    g_director->spawnCount = BOSS_KILL_COUNT + 1;
    boss->Damage(boss->GetHP());
    std::vector<bool> drawn;
    for (int frame = 1; frame <= 128; ++frame) {
        g_taskList->RunAll();
        if (frame <= 8) drawn.push_back(boss->IsDrawn());
    }
    EXPECT_EQ((std::vector<bool>{true, false, false, true, true, false, false, true}), drawn);
    EXPECT_EQ(boss, g_director->target);
    g_taskList->RunAll();
    // Deleted, and with it the target, not left dangling.
    EXPECT_NAMED({"enemies", Count(PRIORITY_ENEMY), 0}, {"target", g_director->target, static_cast<Enemy*>(nullptr)});
}

TEST_F(EnemyTest, AShooterFiresOnlyAtAPlayerBelowItWithin15)
{
    Player* player = new Player(0.0f, 0.0f, 0.0f);
    // The player's place from the shooter: sideways, up.
    const struct { float dz, dy; bool fires; } cases[] = {{14.0f, -3.0f, true}, {0.0f, -1.0f, true}, {2.0f, 1.0f, false}, {15.0f, -3.0f, false}};
    for (const auto& c : cases) {
        Enemy* shooter = new Enemy(VornVector3(50.0f, 0.0f, 50.0f), ENEMY_SHOOTER);
        shooter->speed = VornVector3(0.0f, 0.0f, 0.0f);
        const int before = Count(PRIORITY_ENEMY_SHOT);
        for (int frame = 0; frame < 3000; ++frame) {
            player->position = shooter->position + VornVector3(0.0f, c.dy, c.dz);
            shooter->Run();
        }
        EXPECT_EQ(c.fires, Count(PRIORITY_ENEMY_SHOT) > before) << c.dz << ", " << c.dy;
        g_taskList->Kill(shooter);
    }
}

TEST_F(EnemyTest, AHopperSpinsByItsFullFrameCountKeepingTheLow16Bits)
{
    Player* player = new Player(0.0f, 0.0f, -10.0f);
    Enemy* hopper = new Enemy(VornVector3(0.0f, 0.0f, 0.0f), ENEMY_HOPPER);
    hopper->Run();   // landed from its arrival
    hopper->attackHit = 1;
    hopper->frame = 299999;   // frame x 65536 / 2 pi is past 32 bits
    player->position = VornVector3(hopper->position.x, 0.7f, hopper->position.z - 10.0f);
    hopper->Run();
    ASSERT_EQ(300000, hopper->frame);
    VornPosture seen, want;
    ASSERT_TRUE(VornModelEx::GetPosture(g_director->GetModel(ENEMY_HOPPER), &seen));
    const double turns = 300000.0 / VornMath::PI2;
    want.RotationX(-static_cast<VornAngle>((turns - std::floor(turns)) * 65536.0));
    EXPECT_NAMED({"up.x", seen.up.x, want.up.x, 1e-3}, {"up.y", seen.up.y, want.up.y, 1e-3}, {"up.z", seen.up.z, want.up.z, 1e-3},
                 {"front.x", seen.front.x, want.front.x, 1e-3}, {"front.y", seen.front.y, want.front.y, 1e-3},
                 {"front.z", seen.front.z, want.front.z, 1e-3});
    EXPECT_LT(seen.up.y, -0.9f);   // half a turn, not none
}

TEST_F(EnemyTest, TheBossMovesItsOwnModelWhileTheWalkersKeepTheirs)
{
    new Player(-20.0f, 0.0f, 0.0f);
    Enemy* walker = new Enemy(VornVector3(20.0f, 0.0f, 4.0f), ENEMY_WALKER);
    Enemy* boss = new Enemy(VornVector3(10.0f, 200.0f, 30.0f), ENEMY_BOSS);
    for (int frame = 0; frame < 3; ++frame) g_taskList->RunAll();
    for (const Enemy* e : {boss, walker}) {
        VornPosture p;
        ASSERT_TRUE(VornModelEx::GetPosture(g_director->GetModel(e->GetKind()), &p));
        EXPECT_NEAR(e->position.y, p.position.y, 1e-3f) << testing::PrintToString(EnemyKind(e->GetKind()));
    }
}
