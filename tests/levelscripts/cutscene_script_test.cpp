// Cutscene scripts on the world test kit, from text spelled out after the
// table's layout: the level check, the cutscene's own navpoints, the objects
// it places, and the undoing that puts them back.
#include <gtest/gtest.h>

#include <string>

#include "Engine/Objects/living_entity.h"
#include "Engine/gameflags.h"
#include "levelscripts/cutscene_script.h"
#include "levelscripts/level_scripts.h"
#include "levelscripts/script_runner.h"
#include "tests/support/world_kit.h"

namespace {

std::string script(const char* level, const char* nav, float x) {
  return std::string("$Level: \"") + level + "\"\r\n#Navpoints\r\n$Num navpoints: 1\r\n$Name: \"" + nav +
         "\"\r\n$Position: <" + std::to_string(x) +
         ", 0.0, 4.0>\r\n$Orientation: [<1.0, 0.0, 0.0>, <0.0, 1.0, 0.0>, <0.0, 0.0, 1.0>]\r\n"
         "#Objects\r\n"
         "$Name: \"Aldren\"\r\n+No create\r\n$Start position: \"" + nav + "\"\r\n$Character: \"Ruvizo\"\r\n"
         "$Name: \"Extra\"\r\n$Start position: \"" + nav + "\"\r\n$Character: \"Golem\"\r\n"
         "#end\r\n";
}

bool load(const char* name, const std::string& text) {
  return cscript_table_read_text(name, text.data(), static_cast<int>(text.size()));
}

class CutsceneScripts : public WorldTest {
 protected:
  void SetUp() override {
    navpoints_reset(false);
    navpoints_reset(true);
    script_runner_reset();
    level_position_set_level("demo_outdoor", "demo_outdoor");
    Cscript_cutscene_index = 0;
    hero = kit.spawn(kit.type("Ruvizo"), {1, 0, 2}, OBJ_PLAYER);
    hero->set_name("Aldren");
  }
  void TearDown() override {
    cscript_restore_objects();
    Cscript_cutscene_index = -1;
    game_flags_clear(GF_CUTSCENE);
  }
  living_entity* hero = nullptr;
};

TEST_F(CutsceneScripts, PlacesItsObjectsAndPutsThemBack) {
  ASSERT_TRUE(load("gate", script("DEMO_OUTDOOR", "$c_npc1", 6.0f)));
  EXPECT_STREQ(cscript_current_name(), "gate");
  EXPECT_TRUE(cscript_is_running());
  ASSERT_EQ(navpoint_count(true), 1);
  EXPECT_EQ(navpoint_count(false), 0);
  EXPECT_EQ(navpoint_at(true, 0)->type, NAV_CUTSCENE);
  EXPECT_EQ(cscript_object_count(), 2);
  EXPECT_GT(cscript_string_pool_used(), 0);
  living_entity* extra = entity_find_by_name("Extra");
  ASSERT_NE(extra, nullptr);
  EXPECT_FLOAT_EQ(extra->pos.x, 6.0f);
  // The cutscene moves both; undoing puts each where it stood when placed.
  hero->pos = {9, 0, 9};
  extra->pos = {-5, 0, -5};
  cscript_restore_objects();
  EXPECT_FLOAT_EQ(hero->pos.x, 1.0f);
  EXPECT_FLOAT_EQ(hero->pos.z, 2.0f);
  EXPECT_FLOAT_EQ(extra->pos.x, 6.0f);
  EXPECT_EQ(navpoint_count(true), 0);
  EXPECT_EQ(cscript_object_count(), 0);
  EXPECT_EQ(cscript_string_pool_used(), 0);
  EXPECT_STREQ(cscript_current_name(), "");
  EXPECT_FALSE(cscript_is_running());
  game_flags_set(GF_CUTSCENE);
  EXPECT_TRUE(cscript_is_running());
}

// A second script first puts back every object of the first.
TEST_F(CutsceneScripts, ASecondScriptUndoesTheFirst) {
  ASSERT_TRUE(load("one", script("demo_outdoor", "$c_npc1", 6.0f)));
  hero->pos = {9, 0, 9};
  ASSERT_TRUE(load("two", script("demo_outdoor", "$c_npc2", 7.0f)));
  EXPECT_FLOAT_EQ(hero->pos.x, 1.0f);
  ASSERT_EQ(navpoint_count(true), 1);
  EXPECT_STREQ(navpoint_at(true, 0)->name, "$c_npc2");
  EXPECT_STREQ(cscript_current_name(), "two");
}

TEST_F(CutsceneScripts, RefusesAnotherLevelANullNameAndNoCutscene) {
  EXPECT_FALSE(load("gate", script("demo_indoor", "$c_npc1", 6.0f)));
  EXPECT_EQ(navpoint_count(true), 0);
  EXPECT_EQ(entity_find_by_name("Extra"), nullptr);
  EXPECT_STREQ(cscript_current_name(), "");
  EXPECT_FALSE(cscript_table_read_text(nullptr, "", 0));
  EXPECT_FALSE(cscript_table_load(nullptr));
  Cscript_cutscene_index = -1;
  EXPECT_FALSE(load("gate", script("demo_outdoor", "$c_npc1", 6.0f)));
  EXPECT_EQ(navpoint_count(true), 0);
  Cscript_cutscene_index = 0;
  EXPECT_FALSE(cscript_table_load("no_such_cutscene"));
}

TEST(CutsceneScriptFiles, TheSuffixIsAddedOnce) {
  struct {
    const char *name, *file;
  } cases[] = {{"gate", "gate_cscript.tbl"}, {"gate_cscript.tbl", "gate_cscript.tbl"},
               {"Gate_CSCRIPT.TBL", "Gate_CSCRIPT.TBL"}, {"", "_cscript.tbl"}};
  for (auto c : cases) {
    char out[64];
    ASSERT_TRUE(cscript_file_name(c.name, out, sizeof out));
    EXPECT_STREQ(out, c.file);
  }
  char small[8];
  EXPECT_FALSE(cscript_file_name("gate", small, sizeof small));
}

}  // namespace
