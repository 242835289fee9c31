// Which animations a level loads for a type, how missing moves borrow a
// donor's, the level pools, and the weapon-class reloads of heroes.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "Engine/characterinfo/charmodels.h"
#include "tests/support/game_tables.h"
#include "tools/writers/table_writers.h"

namespace {

MoveRecord move(const char* list, const char* anim, const char* classes = "", const char* location = "") {
  MoveRecord m;
  m.list = list;
  m.animation = std::string(anim) + ".mvf";
  m.action = anim;
  m.classes = classes;
  m.location = location;
  return m;
}

Move_info* find(Character_info* ci, const char* anim) {
  for (Move_info* list : ci->moves) {
    for (Move_info* m = list; m; m = m->next) {
      if (std::string(m->animation) == std::string(anim) + ".mvf") return m;
    }
  }
  ADD_FAILURE() << "no move " << anim;
  return nullptr;
}

// A fake loader: each load takes the next slot and is counted by name.
std::map<std::string, int> Loads;
int Next_slot = 10;
int fake_load(Character_info*, Move_info* m) {
  Loads[m->animation]++;
  return Next_slot++;
}

class CharModels : public ::testing::Test {
 protected:
  void SetUp() override {
    load_demo_spells_and_items();
    Loads.clear();
    Next_slot = 10;
  }
};

TEST_F(CharModels, PoolSizesFollowModeAndLevel) {
  struct Case {
    bool networked, reduced;
    const char* level;
    const char* variant;
    int32_t sizes[NUM_LEVEL_POOLS];
  } cases[] = {
      {true, false, "masad", "", {517120, 433152, 568320, 661504, 1024000}},
      {false, true, "town", "", {102400, 102400, 102400, 153600, 1024000}},
      {false, false, "templeint", "", {325632, 102400, 358400, 153600, 1024000}},
      {false, false, "forest", "", {325632, 289792, 358400, 460800, 1024000}},
      {false, false, "masad", "masad", {325632, 300, 300, 300, 1024000}},
      {false, false, "masad", "masad_v2", {325632, 289792, 358400, 460800, 1024000}},
  };
  for (const Case& c : cases) {
    LevelAnimContext ctx{c.networked, c.reduced, c.level, c.variant};
    int32_t out[NUM_LEVEL_POOLS];
    charinfo_pool_sizes(ctx, out);
    for (int i = 0; i < NUM_LEVEL_POOLS; i++) EXPECT_EQ(out[i], c.sizes[i]) << c.level << " " << c.variant << " " << i;
  }
}

TEST_F(CharModels, TheLevelFilterSkipsWhatSharingOrTheLevelReplaces) {
  CharacterRecord r = table_demo_creature("Rat", true);
  r.moves = {move("flinch", "flinch_low", "", "low"),   move("flinch", "flinch_high", "", "high"),
             move("parry", "parry_mid", "", "medium"),  move("parry", "parry_high", "", "high"),
             move("non-combat flinch", "nc_flinch"),    move("attack", "serp_stage1_bite"),
             move("state", "serp_stage1_coil"),         move("attack", "serpent_tail"),
             move("attack", "tigr_stage2_claw"),        move("movement", "walk")};
  Character_info* ci = load_character(table_character_text(r));
  ASSERT_NE(ci, nullptr);
  Character_info* hero = load_character(table_character_text(table_demo_hero(0)), false);
  ASSERT_NE(hero, nullptr);
  const LevelAnimContext plain{false, false, "forest", ""};
  const LevelAnimContext reduced{false, true, "town", ""};
  const LevelAnimContext net{true, false, "forest", ""};
  const LevelAnimContext masad{false, false, "masad", ""};
  const LevelAnimContext shenwu{false, false, "Shenwu", ""};
  struct Case {
    const LevelAnimContext* ctx;
    Character_info* type;
    const char* anim;
    bool skipped;
  } cases[] = {
      {&plain, ci, "flinch_low", true},     {&plain, ci, "flinch_high", false},   {&plain, ci, "parry_mid", false},
      {&plain, ci, "parry_high", true},     {&plain, ci, "nc_flinch", true},      {&plain, ci, "walk", false},
      {&reduced, ci, "serpent_tail", true}, {&reduced, ci, "walk", false},       {&masad, ci, "serp_stage1_bite", true},
      {&masad, ci, "serp_stage1_coil", false}, {&masad, ci, "serpent_tail", true}, {&masad, ci, "walk", false},
      {&shenwu, ci, "tigr_stage2_claw", true}, {&shenwu, ci, "walk", false},      {&net, hero, "attack01", false},
  };
  for (const Case& c : cases) {
    Move_info* m = find(c.type, c.anim);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(charinfo_level_anim_filter(*c.ctx, c.type, m, false), c.skipped) << c.ctx->level_name << " " << c.anim;
  }
  // A networked hero goes without the state and transition moves the
  // network never shows.
  Move_info* state = find(hero, "tripped_liedown");
  state->variation = 146;
  EXPECT_TRUE(charinfo_level_anim_filter(net, hero, state, false));
  state->variation = 147;
  EXPECT_FALSE(charinfo_level_anim_filter(net, hero, state, false));
  // The temple interior loads in full only with the temple flag.
  const LevelAnimContext temple{false, false, "templeint", ""};
  Move_info* bite = find(ci, "serpent_tail");
  EXPECT_TRUE(charinfo_level_anim_filter(temple, ci, bite, false));
  EXPECT_FALSE(charinfo_level_anim_filter(temple, ci, bite, true));
}

TEST_F(CharModels, AHeroReloadsOnlyWhenTheWeaponClassChanges) {
  CharacterRecord r = table_demo_hero(0);
  r.moves = {move("attack", "sword_slash", "swords"), move("attack", "mace_smash", "maces"),
             move("movement", "stand", "none"), move("movement", "walk")};
  Character_info* ci = load_character(table_character_text(r));
  ASSERT_NE(ci, nullptr);
  const LevelAnimContext ctx{false, false, "forest", ""};
  const int maces = 3, swords = 1;
  EXPECT_EQ(charinfo_set_weapon_class(ctx, ci, maces, fake_load), 3);
  EXPECT_GE(find(ci, "mace_smash")->anim_slot, 0);
  EXPECT_EQ(find(ci, "sword_slash")->anim_slot, -1);
  EXPECT_EQ(ci->current_class_mask, (1u << maces) | 1u);
  // A sword after a mace: the sword moves load, the mace moves are gone.
  EXPECT_EQ(charinfo_set_weapon_class(ctx, ci, swords, fake_load), 3);
  EXPECT_GE(find(ci, "sword_slash")->anim_slot, 0);
  EXPECT_EQ(find(ci, "mace_smash")->anim_slot, -1);
  EXPECT_EQ(Loads["mace_smash.mvf"], 1);
  // A second sword loads nothing.
  EXPECT_EQ(charinfo_set_weapon_class(ctx, ci, swords, fake_load), 0);
  EXPECT_EQ(Loads["sword_slash.mvf"], 1);
  // A type that is no hero loads everything at once.
  CharacterRecord rat = table_demo_creature("Rat", true);
  rat.moves = {move("attack", "sword_slash2", "swords"), move("attack", "mace_smash2", "maces")};
  Character_info* other = load_character(table_character_text(rat), false);
  EXPECT_EQ(charinfo_set_weapon_class(ctx, other, swords, fake_load), 2);
  EXPECT_EQ(charinfo_set_weapon_class(ctx, other, maces, fake_load), 0);
}

TEST_F(CharModels, MissingMovesBorrowTheDonorsAnimation) {
  CharacterRecord r = table_demo_creature("Rat", true);
  r.moves = {move("flinch", "flinch_low", "", "low"), move("flinch", "flinch_high", "", "high"),
             move("parry", "parry_low", "", "low"),  move("parry", "parry_mid", "", "medium"),
             move("non-combat flinch", "nc"),        move("attack", "bite")};
  Character_info* ci = load_character(table_character_text(r));
  const LevelAnimContext ctx{false, false, "forest", ""};
  charinfo_set_weapon_class(ctx, ci, 0, fake_load);
  EXPECT_EQ(find(ci, "flinch_low")->anim_slot, find(ci, "flinch_high")->anim_slot);
  EXPECT_EQ(find(ci, "nc")->anim_slot, find(ci, "flinch_high")->anim_slot);
  EXPECT_EQ(find(ci, "parry_low")->anim_slot, find(ci, "parry_mid")->anim_slot);
  EXPECT_EQ(Loads.count("flinch_low.mvf"), 0u);
  // On a reduced level the walk lends itself to the combat moves.
  CharacterRecord w = table_demo_creature("Golem", true);
  MoveRecord walk = move("movement", "walk");
  walk.variation = "variation 1";
  w.moves = {walk, move("attack", "bite")};
  Character_info* golem = load_character(table_character_text(w), false);
  const LevelAnimContext reduced{false, true, "town", ""};
  charinfo_set_weapon_class(reduced, golem, 0, fake_load);
  EXPECT_GE(find(golem, "walk")->anim_slot, 0);
  EXPECT_EQ(find(golem, "bite")->anim_slot, find(golem, "walk")->anim_slot);
}

TEST_F(CharModels, StancesByWeaponClass) {
  const int expected[NUM_WEAPON_CLASSES] = {10, 2, 4, 3, 5, 6, 7, 8, 9};
  for (int c = 0; c < NUM_WEAPON_CLASSES; c++) EXPECT_EQ(entity_stance_for_class(c), expected[c]);
}

}  // namespace

namespace {

TEST_F(CharModels, TheStatScreenPosesAreStateMovesAHeroLoadsOnlyForTheScreen) {
  CharacterRecord r = table_demo_hero(0);
  MoveRecord light = move("state", "pose_light"), heavy = move("state", "pose_heavy");
  light.variation = "statscreen light";
  heavy.variation = "statscreen heavy";
  r.moves = {move("movement", "stand"), light, heavy};
  Character_info* ci = load_character(table_character_text(r));
  ASSERT_NE(ci, nullptr);
  // Variations 158 and 159 of the state list.
  ASSERT_EQ(charinfo_statscreen_move(ci, false), find(ci, "pose_light"));
  ASSERT_EQ(charinfo_statscreen_move(ci, true), find(ci, "pose_heavy"));
  EXPECT_EQ(find(ci, "pose_light")->variation, 158);
  EXPECT_EQ(find(ci, "pose_heavy")->variation, 159);
  EXPECT_EQ(find(ci, "pose_heavy")->list, MOVE_STATE);
  // The hero's weapon class loads its moves of class "none", but not these.
  const LevelAnimContext ctx{false, false, "forest", ""};
  EXPECT_EQ(charinfo_set_weapon_class(ctx, ci, 1, fake_load), 1);
  EXPECT_EQ(Loads.count("pose_light.mvf") + Loads.count("pose_heavy.mvf"), 0u);
  EXPECT_EQ(charinfo_statscreen_move(ci, true)->anim_slot, -1);
  // A networked game loads every move, the poses with them.
  const LevelAnimContext net{true, false, "forest", ""};
  ci->current_class_mask = 0;
  charinfo_set_weapon_class(net, ci, 1, fake_load);
  EXPECT_GE(charinfo_statscreen_move(ci, true)->anim_slot, 0);
  // A type without the poses has none.
  r.moves = {move("movement", "stand")};
  EXPECT_EQ(charinfo_statscreen_move(load_character(table_character_text(r)), false), nullptr);
  EXPECT_EQ(charinfo_statscreen_move(nullptr, true), nullptr);
}

}  // namespace
