// The stat-screen pose: which move a hero poses with, the entity that plays
// it and its return to the world's pose, and the real loader's arena.
#include "Engine/Objects/statscreen_anim.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "Engine/Objects/entity_model_ca.h"
#include "Engine/Objects/entity_world.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/characterinfo/charmodels.h"
#include "Engine/gameflags.h"
#include "quarn/ca/base_character.h"
#include "quarn/ca/character_instance.h"
#include "quarn/os/memory.h"
#include "tests/quarn/ca/ca_test_util.h"
#include "tests/support/world_kit.h"
#include "tools/writers/figure_writer.h"
#include "tools/writers/mvf_writer.h"

namespace {

// ---- on the world kit ------------------------------------------------------------

// The loader as a test sees it: each load answers the kit's slot of the
// move's file, and every call is counted.
std::vector<std::string> Loads, Unloads;
WorldKit* Kit = nullptr;

int fake_load(Character_info* ci, Move_info* m) {
  const std::string file = m->animation;
  Loads.push_back(file);
  const FakeBase* b = Kit->base(Kit->type(ci->name));
  for (size_t i = 0; i < b->anims.size(); i++) {
    if (file.rfind(b->anims[i].name, 0) == 0) return static_cast<int>(i);
  }
  return -1;
}
void fake_unload(Character_info*, int slot) { Unloads.push_back(std::to_string(slot)); }

class StatscreenPose : public WorldTest {
 protected:
  void SetUp() override {
    Kit = &kit;
    Loads.clear();
    Unloads.clear();
    EntityGameHooks g = entity_game();
    g.load_statscreen_anim = fake_load;
    g.unload_statscreen_anim = fake_unload;
    entity_set_game_hooks(g);
  }
  void TearDown() override {
    for (const char* name : {"Ruvizo", "Zazuru"}) charinfo_unload_statscreen_anim(&Character_infos[kit.type(name)]);
    game_flags_clear(GF_NETWORKED);
    Kit = nullptr;
  }
  // A party member of a hero type. A hero outside a networked game does
  // not load its poses with its weapon class: the kit gave every move a
  // slot, the poses lose theirs (kept in `slots` by hero and weight).
  living_entity* hero(const char* name, const vector& at = {0, 0, 0}) {
    living_entity* e = kit.spawn(kit.type(name), at, OBJ_PLAYER);
    const int kind = e->character->kind;
    for (bool heavy : {false, true}) {
      Move_info* m = charinfo_statscreen_move(e->character, heavy);
      EXPECT_NE(m, nullptr);
      if (!m) continue;
      if (m->anim_slot >= 0) slots[kind][heavy] = m->anim_slot;
      m->anim_slot = -1;
    }
    e->setup_standard_anims();
    return e;
  }
  int slots[4][2] = {};
};

TEST_F(StatscreenPose, TheArmourPicksThePoseAndTheEntityPlaysItAlone) {
  living_entity* e = hero("Ruvizo");
  const int stand = e->anim[SA_STAND];
  ASSERT_GE(stand, 0);
  e->set_movement_anim();
  ASSERT_FLOAT_EQ(kit.model(e)->anim_weight(stand), 1.0f);
  EXPECT_EQ(e->anim[SA_STATSCREEN], -1);

  for (bool heavy : {false, true}) {
    SCOPED_TRACE(heavy ? "heavy" : "light");
    testing::internal::CaptureStdout();
    const int slot = charinfo_load_statscreen_anim(e->character, heavy);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(slot, slots[0][heavy]);
    EXPECT_EQ(Loads.back(), heavy ? "statscreen_heavy.mvf" : "statscreen_light.mvf");
    EXPECT_NE(out.find(heavy ? "Loading heavy armor version for Ruvizo\n" : "Loading light armor version for Ruvizo\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(e->anim[SA_STATSCREEN], slot);
    EXPECT_EQ(charinfo_statscreen_move(e->character, heavy)->anim_slot, slot);
    EXPECT_EQ(charinfo_statscreen_entity(), e);
    // The pose plays from its start, and nothing else does.
    FakeModel* m = kit.model(e);
    for (int a = 0; a < static_cast<int>(m->weights.size()); a++) {
      EXPECT_FLOAT_EQ(m->weights[a], a == slot ? 1.0f : 0.0f) << "animation " << a;
    }
    charinfo_statscreen_advance(0.25f);
    EXPECT_NEAR(m->times[slot], 0.25f, 1e-5f);
    // A world frame between two drawings (the one the screen opens in)
    // weights his own moves again; the next drawing poses him once more.
    kit.frame();
    ASSERT_FLOAT_EQ(m->anim_weight(slot), 0.0f);
    charinfo_statscreen_advance(0.0f);
    EXPECT_FLOAT_EQ(m->anim_weight(slot), 1.0f);
    EXPECT_FLOAT_EQ(m->anim_weight(stand), 0.0f);

    testing::internal::CaptureStdout();
    charinfo_unload_statscreen_anim(e->character);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unloading stat screen animation for Ruvizo\n");
    EXPECT_EQ(Unloads.back(), std::to_string(slot));
    EXPECT_EQ(e->anim[SA_STATSCREEN], -1);
    EXPECT_EQ(charinfo_statscreen_move(e->character, heavy)->anim_slot, -1);
    EXPECT_EQ(charinfo_statscreen_entity(), nullptr);
    // Back to standing as the world had him.
    EXPECT_FLOAT_EQ(m->anim_weight(slot), 0.0f);
    EXPECT_FLOAT_EQ(m->anim_weight(stand), 1.0f);
  }
  // A second unload has nothing to drop.
  charinfo_unload_statscreen_anim(e->character);
  EXPECT_EQ(Unloads.size(), 2u);
}

TEST_F(StatscreenPose, AnotherHerosPoseDropsTheFirstAsTheyShareOneArena) {
  living_entity* a = hero("Ruvizo");
  living_entity* b = hero("Zazuru", {3, 0, 0});
  ASSERT_GE(charinfo_load_statscreen_anim(a->character, false), 0);
  ASSERT_GE(charinfo_load_statscreen_anim(b->character, true), 0);
  EXPECT_EQ(Unloads, std::vector<std::string>{std::to_string(slots[0][0])});
  EXPECT_EQ(a->anim[SA_STATSCREEN], -1);
  EXPECT_EQ(b->anim[SA_STATSCREEN], slots[1][1]);
  // Unloading a type that is not posed leaves the other's pose alone.
  charinfo_unload_statscreen_anim(a->character);
  EXPECT_EQ(b->anim[SA_STATSCREEN], slots[1][1]);
  EXPECT_EQ(charinfo_statscreen_entity(), b);
}

TEST_F(StatscreenPose, NothingToPoseLeavesTheEntityAsItIs) {
  // A creature is no hero; a hero type without a party entity has nobody
  // to give the pose to; a pose that does not load gives nothing.
  living_entity* rat = kit.spawn(kit.type("Rat"), {0, 0, 0});
  EXPECT_EQ(charinfo_load_statscreen_anim(rat->character, false), -1);
  kit.spawn(kit.type("Zazuru"), {0, 0, 0}, OBJ_CREATURE);
  EXPECT_EQ(charinfo_load_statscreen_anim(&Character_infos[kit.type("Zazuru")], false), -1);
  EXPECT_TRUE(Loads.empty());

  living_entity* e = hero("Ruvizo", {2, 0, 0});
  e->set_movement_anim();
  charinfo_statscreen_move(e->character, true)->animation = "missing.mvf";
  EXPECT_EQ(charinfo_load_statscreen_anim(e->character, true), -1);
  EXPECT_EQ(e->anim[SA_STATSCREEN], -1);
  EXPECT_FLOAT_EQ(kit.model(e)->anim_weight(e->anim[SA_STAND]), 1.0f);
  EXPECT_EQ(charinfo_statscreen_entity(), nullptr);
}

TEST_F(StatscreenPose, ANetworkedGameGivesTheLoadedMoveToThePlayersEntity) {
  living_entity* e = hero("Ruvizo");
  game_flags_set(GF_NETWORKED);
  // Every move of a hero is loaded in a networked game.
  charinfo_statscreen_move(e->character, true)->anim_slot = slots[0][1];
  EXPECT_EQ(charinfo_load_statscreen_anim(e->character, true), slots[0][1]);
  EXPECT_TRUE(Loads.empty());
  EXPECT_EQ(e->anim[SA_STATSCREEN], slots[0][1]);
  charinfo_unload_statscreen_anim(e->character);
  EXPECT_TRUE(Unloads.empty()) << "the move's own animation stays loaded";
  EXPECT_EQ(charinfo_statscreen_move(e->character, true)->anim_slot, slots[0][1]);
  EXPECT_EQ(e->anim[SA_STATSCREEN], -1);
}

// ---- the real loader ----------------------------------------------------------------

// An animation of `bones` bones with `keys` rotation keys each: 20 bones of
// 200 keys hold 4,000 keys, far more than the arena's 30,720 bytes.
MvfWriterAnim keyed_anim(int bones, int keys) {
  MvfWriterAnim a;
  a.last_tick = keys * 160;
  for (int b = 0; b < bones; ++b) {
    MvfWriterBone bone;
    for (int k = 0; k < keys; ++k) bone.rotations.push_back({k * 160, about_y(static_cast<float>(k))});
    bone.positions.push_back({});
    a.bones.push_back(bone);
  }
  return a;
}

class StatscreenLoader : public CaRootTest {
 protected:
  void SetUp() override {
    CaRootTest::SetUp();
    character_instance_system_init(-1);
    ASSERT_TRUE(vim_write_file(path("fig.vim"), figure_mesh(spec, 0)));
    for (FigureMotion m : {FigureMotion::statscreen_light, FigureMotion::statscreen_heavy}) {
      ASSERT_TRUE(mvf_write_file(path(std::string(figure_motion_name(m)) + ".mvf"), figure_anim(spec, m, 8)));
    }
    ASSERT_TRUE(mvf_write_file(path("huge.mvf"), keyed_anim(FIG_BONES, 200)));
    const char* names[] = {"fig"};
    bc = base_character_load(names, 1, nullptr, nullptr);
    ASSERT_NE(bc, nullptr);
    type.name = "fig";
    move.list = MOVE_STATE;
    move.action = "statscreen";
  }
  void TearDown() override {
    character_instance_system_shutdown();
    CaRootTest::TearDown();
  }
  FigureSpec spec{"fig", 1.0f, 1.0f, {200, 40, 40}};
  BaseCharacter* bc = nullptr;
  Character_info type;
  Move_info move;
};

TEST_F(StatscreenLoader, APoseLoadsIntoItsArenaAndTheDropEmptiesIt) {
  move.animation = "statscreen_heavy.mvf";
  const int before = bc->anim_count;
  const int slot = entity_model_load_statscreen(&type, &move);
  ASSERT_EQ(slot, before);
  ASSERT_NE(bc->anims[slot], nullptr);
  EXPECT_EQ(bc->anims[slot]->kind, 1) << "the pose loops while shown";
  const MemArena& arena = entity_model_statscreen_arena();
  EXPECT_EQ(arena.size, 30720u);
  EXPECT_STREQ(arena.name, "statscreen");
  EXPECT_GT(arena.used, 0u);
  EXPECT_LE(arena.used, arena.size);
  entity_model_unload_statscreen(&type, slot);
  EXPECT_EQ(arena.used, 0u);
  EXPECT_EQ(bc->anim_count, before);
  // The next pose takes the same slot again.
  move.animation = "statscreen_light.mvf";
  EXPECT_EQ(entity_model_load_statscreen(&type, &move), slot);
  entity_model_unload_statscreen(&type, slot);
}

TEST_F(StatscreenLoader, APoseTooBigForTheArenaOrMissingIsRefused) {
  const int before = bc->anim_count;
  testing::internal::CaptureStdout();
  move.animation = "huge.mvf";
  EXPECT_EQ(entity_model_load_statscreen(&type, &move), -1);
  move.animation = "none.mvf";
  EXPECT_EQ(entity_model_load_statscreen(&type, &move), -1);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(bc->anim_count, before);
  EXPECT_NE(out.find("No animation none.mvf for fig\n"), std::string::npos) << out;
  // The refusal left the heap as the current allocator.
  EXPECT_EQ(mem_get_arena(), nullptr);
}

TEST_F(StatscreenLoader, TheHeavyPoseHoldsTheArmsOutFromTheBody) {
  // Where the left elbow stands with the upper arm turned by `deg` about z
  // at the shoulder (the upper arm is 0.3 long, hanging straight down).
  auto elbow = [&](float deg) {
    const std::array<float, 3> shoulder = figure_rest(spec, FIG_L_UPPERARM);
    const float r = deg * kPi / 180.0f;
    return std::array<float, 2>{shoulder[0] + 0.3f * std::sin(r), shoulder[1] - 0.3f * std::cos(r)};
  };
  for (FigureMotion m : {FigureMotion::statscreen_light, FigureMotion::statscreen_heavy}) {
    const bool heavy = m == FigureMotion::statscreen_heavy;
    SCOPED_TRACE(heavy ? "heavy" : "light");
    move.animation = heavy ? "statscreen_heavy.mvf" : "statscreen_light.mvf";
    const int slot = entity_model_load_statscreen(&type, &move);
    ASSERT_GE(slot, 0);
    character_instance inst(bc);
    inst.reset_anim_frames(1);
    inst.set_anim_weight(slot, 1.0f);
    inst.process(0.0f, 0, 0);
    vector p;
    inst.get_bone_transform(&p, nullptr, FIG_L_FOREARM);
    const auto want = elbow(FIGURE_STATSCREEN_ARMS[heavy ? 1 : 0]);
    EXPECT_NEAR(p.x, want[0], 0.01f);
    EXPECT_NEAR(p.y, want[1], 0.01f);
    // Mirrored on the right.
    inst.get_bone_transform(&p, nullptr, FIG_R_FOREARM);
    EXPECT_NEAR(p.x, -want[0], 0.01f);
    entity_model_unload_statscreen(&type, slot);
  }
}

}  // namespace
