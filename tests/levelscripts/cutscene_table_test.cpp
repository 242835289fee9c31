// The cutscene table read from text written here after its layout (one
// "$Cutscene:" block a record), and the search by name and level.
#include <gtest/gtest.h>

#include <string>

#include "levelscripts/cutscene_table.h"
#include "tests/support/critical_error_trap.h"

namespace {

void read(const std::string& text) { cutscene_table_read_text("cutscenes.tbl", text.data(), static_cast<int>(text.size())); }

class CutsceneTable : public ::testing::Test {
 protected:
  void TearDown() override { cutscene_table_reset(); }
};

TEST_F(CutsceneTable, ARecordKeepsEveryListInFileOrder) {
  read("$Cutscene: \"Gate\"\r\n"
       "+Level: \"demo_outdoor\"\r\n"
       "+Script: \"arrival\"\r\n"
       "+Stream: \"gate1.csc\"\r\n+Stream: \"gate2.csc\"\r\n"
       "+Persistent effect: \"glow.vfx\" +On: \"Watchman\"\r\n+Persistent effect: \"mist.vfx\"\r\n"
       "+Timed effect: \"spark.vfx\" +Track: 1 +On: \"Aldren\" +Length: 2\r\n"
       "+Timed effect: \"shake.camera\" +Track: 3\r\n"
       "+Sound track: \"gate.wav\"\r\n"
       "+Timed sound: \"bell\" +Track: 2\r\n"
       "+Fog: 10.5 200 +Track: 0\r\n+Fog: 5 50 +Track: 2\r\n"
       "$VisSet: 1\r\n$vis: \"$vis_gate\"\r\n$vis: \"$vis_wall\"\r\n"
       "$VisSet: 4\r\n"
       "+Fade: in 0 1.5 +Track: 0\r\n+Fade: out 0.25 2 +Track: 3\r\n");
  ASSERT_EQ(cutscene_count(), 1);
  const CutsceneRecord& r = *cutscene_record_at(0);
  EXPECT_STREQ(r.name, "Gate");
  EXPECT_STREQ(r.level, "demo_outdoor");
  EXPECT_STREQ(r.script, "arrival");
  ASSERT_EQ(r.stream_count, 2);
  EXPECT_STREQ(r.streams[1], "gate2.csc");
  ASSERT_EQ(r.persistent_count, 2);
  EXPECT_STREQ(r.persistent[0].entity, "Watchman");
  EXPECT_EQ(r.persistent[1].entity, nullptr);
  ASSERT_EQ(r.timed_effect_count, 2);
  EXPECT_STREQ(r.timed_effects[0].file, "spark.vfx");
  EXPECT_EQ(r.timed_effects[0].track, 1);
  EXPECT_STREQ(r.timed_effects[0].entity, "Aldren");
  EXPECT_EQ(r.timed_effects[0].length, 2);
  EXPECT_EQ(r.timed_effects[1].track, 3);
  EXPECT_EQ(r.timed_effects[1].length, 0);
  EXPECT_STREQ(r.sound_track, "gate.wav");
  ASSERT_EQ(r.timed_sound_count, 1);
  EXPECT_EQ(r.timed_sounds[0].track, 2);
  ASSERT_EQ(r.fog_count, 2);
  EXPECT_FLOAT_EQ(r.fogs[0].near_distance, 10.5f);
  EXPECT_FLOAT_EQ(r.fogs[1].far_distance, 50.0f);
  EXPECT_EQ(r.fogs[1].track, 2);
  ASSERT_EQ(r.vis_set_count, 2);
  EXPECT_EQ(r.vis_sets[0].track, 1);
  ASSERT_EQ(r.vis_sets[0].name_count, 2);
  EXPECT_STREQ(r.vis_sets[0].names[1], "$vis_wall");
  EXPECT_EQ(r.vis_sets[1].name_count, 0);
  ASSERT_EQ(r.fade_count, 2);
  EXPECT_EQ(r.fades[0].kind, CUTSCENE_FADE_IN);
  EXPECT_EQ(r.fades[1].kind, CUTSCENE_FADE_OUT);
  EXPECT_FLOAT_EQ(r.fades[1].start, 0.25f);
  EXPECT_FLOAT_EQ(r.fades[1].duration, 2.0f);
  EXPECT_EQ(r.fades[1].track, 3);
}

// Entries past a list's limit are dropped, and records past 85.
TEST_F(CutsceneTable, ListsAndTheTableKeepTheirLimits) {
  std::string text = "$Cutscene: \"Full\" +Level: \"any\"\n";
  for (int i = 0; i < 6; i++) text += "+Stream: \"s" + std::to_string(i) + ".csc\"\n";
  for (int i = 0; i < 12; i++) text += "+Timed effect: \"e.vfx\" +Track: " + std::to_string(i) + "\n";
  text += "$VisSet: 0\n";
  for (int i = 0; i < 20; i++) text += "$vis: \"$vis" + std::to_string(i) + "\"\n";
  for (int i = 0; i < 18; i++) text += "+Fade: out 0 1 +Track: " + std::to_string(i) + "\n";
  for (int i = 1; i < 90; i++) text += "$Cutscene: \"c" + std::to_string(i) + "\" +Level: \"any\"\n";
  read(text);
  ASSERT_EQ(cutscene_count(), MAX_CUTSCENES);
  const CutsceneRecord& r = *cutscene_record_at(0);
  EXPECT_EQ(r.stream_count, MAX_CUTSCENE_STREAMS);
  EXPECT_STREQ(r.streams[3], "s3.csc");
  EXPECT_EQ(r.timed_effect_count, MAX_CUTSCENE_TIMED_EFFECTS);
  EXPECT_EQ(r.timed_effects[9].track, 9);
  EXPECT_EQ(r.vis_sets[0].name_count, MAX_CUTSCENE_VIS_NAMES);
  EXPECT_STREQ(r.vis_sets[0].names[15], "$vis15");
  EXPECT_EQ(r.fade_count, MAX_CUTSCENE_FADES);
  EXPECT_STREQ(cutscene_record_at(84)->name, "c84");
  EXPECT_EQ(cutscene_record_at(85), nullptr);
}

TEST_F(CutsceneTable, BadTextStopsAtTheParsersError) {
  const char* bad[] = {
      "$Cutscene: \"a\"\n+Script: \"x\"\n",                          // no level
      "$Cutscene: \"a\" +Level: \"any\" +Fade: sideways 0 1 +Track: 0\n",
      "$Cutscene: \"a\" +Level: \"any\" +Timed sound: \"b\"\n",       // no track
      "$Cutscene: \"a\" +Level: \"any\" +Fog: 1 2 +Track: 40000\n",   // beyond 16 bits
      "$Cutscene: \"a\" +Level: \"any\" +Streem: \"x\"\n",
  };
  for (const char* text : bad) {
    CriticalErrorTrap trap;
    EXPECT_THROW(read(text), CriticalErrorThrown) << text;
  }
}

// The record must carry the name; its level must be the current one, "any"
// or "Placeholder" (which plays in every level, but only under its own name).
TEST_F(CutsceneTable, FindsByNameAndLevel) {
  read("$Cutscene: \"Hold\" +Level: \"Placeholder\"\n"
       "$Cutscene: \"Gate\" +Level: \"demo_indoor\" +Script: \"indoor\"\n"
       "$Cutscene: \"gate\" +Level: \"DEMO_OUTDOOR\" +Script: \"outdoor\"\n"
       "$Cutscene: \"Gate\" +Level: \"any\" +Script: \"anywhere\"\n");
  struct {
    const char *name, *level, *script;
  } cases[] = {
      {"GATE", "demo_outdoor", "outdoor"}, {"Gate", "demo_indoor", "indoor"}, {"gate", "cellar", "anywhere"},
      {"Hold", "cellar", ""},              {"Gate", nullptr, "anywhere"},     {"Other", "demo_outdoor", nullptr},
      {nullptr, "demo_outdoor", nullptr},
  };
  for (auto c : cases) {
    const CutsceneRecord* r = cutscene_find(c.name, c.level);
    if (!c.script) {
      EXPECT_EQ(r, nullptr) << (c.name ? c.name : "null");
      continue;
    }
    ASSERT_NE(r, nullptr) << c.name << " in " << (c.level ? c.level : "null");
    EXPECT_STREQ(r->script, c.script) << c.name;
  }
  ASSERT_NE(cutscene_find_any_level("GATE"), nullptr);
  EXPECT_STREQ(cutscene_find_any_level("GATE")->script, "indoor");
  EXPECT_EQ(cutscene_find_any_level("nothing"), nullptr);
}

TEST_F(CutsceneTable, WithoutAFileTheTableIsEmpty) {
  read("$Cutscene: \"a\" +Level: \"any\"\n");
  EXPECT_FALSE(cutscene_table_load("no_such_cutscenes.tbl"));
  EXPECT_EQ(cutscene_count(), 0);
  EXPECT_EQ(cutscene_find("a", "x"), nullptr);
}

}  // namespace
