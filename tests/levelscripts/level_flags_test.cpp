// Named flags, quests and game stages: names are keyed by a folded CRC,
// belong to the first level that declares them, and live in the save image's
// per-level areas, whose bytes the tests read directly.
#include "levelscripts/level_flags.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Engine/gameflags.h"
#include "Orrimund/fs_paths.h"
#include "levelscripts/level_scripts.h"
#include "levelscripts/quest_lookup.h"
#include "levelscripts/savegame.h"
#include "levelscripts/script_world.h"
#include "quarn/os/console.h"
#include "quarn/vfile/vfile.h"
#include "tests/support/critical_error_trap.h"
#include "tests/support/test_files.h"
#include "tools/writers/script_table_writers.h"

namespace {

std::vector<std::string> Console_lines;
void capture(const char* text) { Console_lines.emplace_back(text); }
bool console_has(const std::string& part) {
  for (const auto& l : Console_lines)
    if (l.find(part) != std::string::npos) return true;
  return false;
}

// An independent CRC-32 (reflected 0xEDB88320, start 0, no final xor),
// bit by bit.
uint32_t crc_bitwise(const std::string& s) {
  uint32_t c = 0;
  for (unsigned char ch : s) {
    c ^= ch;
    for (int k = 0; k < 8; k++) c = (c >> 1) ^ ((c & 1) ? 0xEDB88320u : 0);
  }
  return c;
}

struct Flags : ::testing::Test {
  std::filesystem::path root;
  void SetUp() override {
    vfile_shutdown();
    root = fresh_temp_dir("level_flags");
    vfile_set_root(root.c_str(), false);
    fs_register_path_types();
    script_world_reset();
    Console_lines.clear();
    console_set_output_hook(capture);
    GameFlags = GF_SINGLE_PLAYER;
  }
  void TearDown() override {
    console_set_output_hook(nullptr);
    script_world_reset();
    saved_names_set_backend(nullptr);
    vfile_shutdown();
    std::filesystem::remove_all(root);
  }
  void write(const std::string& rel, const std::string& text) {
    std::filesystem::create_directories((root / rel).parent_path());
    std::ofstream(root / rel, std::ios::binary) << text;
  }
  // The declarations and quests given, read as the game reads them, and a
  // fresh image laid out over them.
  void declare(const std::string& events) {
    write("data/tables/demo_events.tbl", events);
    level_flags_init();
    savegame_layout();
  }
  void declare_game() { declare(demo_events_text(game_event_declarations(), demo_quests())); }
};

}  // namespace

TEST(NameChecksum, FoldsOnlyCapitalsAndMatchesAnIndependentCrc) {
  EXPECT_EQ(name_checksum("abc"), 0xCA6598D0u);
  EXPECT_EQ(name_checksum("ABC"), 0xCA6598D0u);
  EXPECT_EQ(name_checksum(nullptr), 0u);
  EXPECT_EQ(name_checksum(""), 0u);
  EXPECT_EQ(name_checksum("Found_Ruvizo"), crc_bitwise("found_ruvizo"));
  // Bytes outside A-Z stay as they are, whatever the locale says.
  EXPECT_EQ(name_checksum("\xC4x"), crc_bitwise("\xC4x"));
  // Only the first 127 characters count.
  std::string long_name(200, 'Q');
  EXPECT_EQ(name_checksum(long_name.c_str()), crc_bitwise(std::string(127, 'q')));
}

TEST_F(Flags, ALevelsAreaHoldsFlagsThenAutomapThenIntsAndFloats) {
  // The worked example: 3 flags, 1 automap layer, 2 ints, 1 float: 525 bytes.
  write("data/tables/levels/demo_sewer.tbl",
        "#Automap\r\n$AutomapPC: \"sewer-map\" 1 \"sewer.tga\"\r\n$AutomapPSX: \"x\" 4 \"y\"\r\n#End\r\n");
  declare(
      "$Level: \"sewer\"\r\n+Flag: \"a\"\r\n+Flag: \"b\"\r\n+Int: \"i1\"\r\n+Flag: \"c\"\r\n+Int: \"i2\"\r\n"
      "+Float: \"f1\"\r\n#End\r\n#End\r\n");
  const int sewer = level_script_info_lookup("sewer");
  ASSERT_EQ(sewer, 9);
  EXPECT_EQ(level_automap_layers(sewer), 1);  // the PSX entry is ignored
  const SaveLevelRecord& r = Save_image.levels[sewer];
  EXPECT_EQ(r.size, 525);
  EXPECT_EQ(save_section_size(SEC_LEVEL_DATA), 204 + 525);
  uint8_t* area = Save_image.buffer + r.offset;

  level_flag_set(sewer, "C", true);  // third flag: bit 2 of byte 0
  EXPECT_EQ(area[0], 0x04);
  level_automap_bit_set(sewer, 4095, true);  // bit 3 + 4095 = 4098
  EXPECT_EQ(area[4098 / 8], 1 << (4098 % 8));
  EXPECT_TRUE(level_automap_bit_get(sewer, 4095));
  level_automap_bit_set(sewer, 4096, true);  // past the layer: ignored
  EXPECT_FALSE(level_automap_bit_get(sewer, 4096));

  level_int_set(sewer, "i2", -2);
  EXPECT_EQ(std::vector<uint8_t>(area + 513 + 4, area + 513 + 8), (std::vector<uint8_t>{0xFE, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(level_int_get(sewer, "I2"), -2);
  level_float_set(sewer, "f1", 1.5f);
  EXPECT_EQ(std::vector<uint8_t>(area + 521, area + 525), (std::vector<uint8_t>{0x00, 0x00, 0xC0, 0x3F}));
  EXPECT_FLOAT_EQ(level_float_get(sewer, "F1"), 1.5f);

  level_visit_count_increment(sewer);
  level_visit_count_increment(sewer);
  EXPECT_EQ(save_get_u32(save_section(SEC_LEVEL_DATA) + 4 * sewer), 2u);
  EXPECT_EQ(level_visit_count(51), 0);
}

TEST_F(Flags, ANameBelongsToTheFirstLevelAndFloatsAreUniqueAmongFloats) {
  declare(
      "$Level: \"Vozido\"\r\n+Flag: \"shared\"\r\n+Int: \"n\"\r\n+Float: \"speed\"\r\n"
      "$Level: \"Catacombs\"\r\n+Flag: \"SHARED\"\r\n+Float: \"n\"\r\n+Float: \"speed\"\r\n#End\r\n#End\r\n");
  EXPECT_EQ(level_declared_flags(0), 1);
  EXPECT_EQ(level_declared_flags(1), 0);  // the second declaration is dropped
  // A float named like an int is a float of its own; a float declared twice
  // counts once.
  EXPECT_EQ(level_declared_floats(0), 1);
  EXPECT_EQ(level_declared_floats(1), 1);
  level_flag_set(0, "shared", true);
  EXPECT_TRUE(level_flag_get(0, "Shared"));
  EXPECT_FALSE(level_flag_get(1, "shared"));
  EXPECT_TRUE(flag_get_any_level(name_checksum("shared")));
  level_float_set(1, "n", 2.5f);
  EXPECT_FLOAT_EQ(level_float_get(1, "n"), 2.5f);
  EXPECT_EQ(level_int_get(0, "n"), 0);
}

TEST_F(Flags, UnknownNamesAreReportedWithTheirLevelAndChangeNothing) {
  declare("$Level: \"Vozido\"\r\n+Flag: \"known\"\r\n#End\r\n#End\r\n");
  int refreshes = 0;
  static int* counter;
  counter = &refreshes;
  Script_world.refresh_level_items = [] { ++*counter; };
  level_flag_set(0, "nosuchflag", true);
  EXPECT_FALSE(level_flag_get(0, "nosuchflag"));
  EXPECT_EQ(refreshes, 0);
  EXPECT_TRUE(console_has("Unknown flag \"nosuchflag\" in level Vozido"));
  level_flag_set(0, "known", true);
  EXPECT_EQ(refreshes, 1);
  // Levels outside the table read nothing and keep nothing.
  level_flag_set(51, "known", true);
  EXPECT_FALSE(level_flag_get(-1, "known"));
}

TEST_F(Flags, AnUnknownLevelStopsTheReadingAndSaysWhere) {
  declare(
      "$Level: \"Vozido\"\r\n+Flag: \"early\"\r\n$Level: \"Atlantis\"\r\n+Flag: \"late\"\r\n#End\r\n"
      "$Quest: \"Q\"\r\n+Stage: \"s\"\r\n#End\r\n");
  EXPECT_EQ(level_declared_flags(0), 1);
  EXPECT_EQ(quest_count(), 0);
  EXPECT_TRUE(console_has("unknown level \"Atlantis\""));
}

TEST_F(Flags, InvalidatingFlagClosesEveryQuestItEndsAndClearingDoesNotReopen) {
  declare(
      "$Level: \"Vozido\"\r\n+Flag: \"s1\"\r\n+Flag: \"s2\"\r\n+Flag: \"s3\"\r\n+Flag: \"doom\"\r\n#End\r\n"
      "$Quest: \"First\"\r\n+Main quest\r\n+Stage: \"one\"\r\n+Flag: \"s1\"\r\n+Stage: \"two\"\r\n+Flag: \"s2\"\r\n"
      "+Stage: \"three\"\r\n+Flag: \"s3\"\r\n+Invalidate: \"doom\"\r\n"
      "$Quest: \"Second\"\r\n+Stage: \"any\"\r\n+Invalidate: \"doom\"\r\n"
      "$Quest: \"Third\"\r\n+Stage: \"untold\"\r\n#End\r\n");
  ASSERT_EQ(quest_count(), 3);
  EXPECT_EQ(quest_get(0)->side_quest, 0u);
  EXPECT_EQ(quest_get(1)->side_quest, 1u);
  EXPECT_EQ(quest_get(0)->invalidating_entry, 3);
  EXPECT_EQ(quest_get(0)->stage_count, 4);
  EXPECT_EQ(quest_find("second"), 1);
  EXPECT_EQ(quest_find(nullptr), -1);
  EXPECT_EQ(quest_find("none"), -1);

  quest_journal_set(0, 1);
  quest_journal_set(1, 1);
  EXPECT_TRUE(console_has("Quest Journal Updated"));
  EXPECT_EQ(quest_current_stage(0), -1);  // no stage reached yet
  level_flag_set(0, "s1", true);
  level_flag_set(0, "s2", true);
  EXPECT_EQ(quest_current_stage(0), 1);
  level_flag_set(0, "s3", true);
  EXPECT_EQ(quest_current_stage(0), 2);  // stops before the invalidating entry
  EXPECT_EQ(quest_current_stage(2), -1);  // not active

  level_flag_set(0, "doom", true);
  EXPECT_FALSE(quest_is_active(0));
  EXPECT_FALSE(quest_is_active(1));
  level_flag_set(0, "doom", false);
  EXPECT_FALSE(quest_is_active(0));
  // Quest-active bits are bit i of the 25-byte section, least significant first.
  quest_set_active(9, true);
  EXPECT_EQ(save_section(SEC_QUEST_FLAGS)[1], 0x02);

  Console_lines.clear();
  quest_journal_set(200, 1);
  EXPECT_FALSE(console_has("Quest Journal Updated"));
}

TEST_F(Flags, TooManyStagesInAQuestIsRefusedWithTheLimit) {
  std::string q = "#End\r\n$Quest: \"Long\"\r\n";
  for (int i = 0; i < 13; i++) q += "+Stage: \"s\"\r\n";
  q += "#End\r\n";
  write("data/tables/demo_events.tbl", q);
  CriticalErrorTrap trap;
  try {
    level_flags_init();
    FAIL() << "a quest of 13 stages was read";
  } catch (const CriticalErrorThrown& e) {
    EXPECT_NE(std::string(e.what()).find("12 stage entries"), std::string::npos) << e.what();
  }
}

namespace {
struct StageLog {
  std::vector<int> joins, raises;
  std::vector<std::string> items;
  bool restoring = false;
} Stage_log;
}  // namespace

TEST_F(Flags, GameStagesSetTheirFlagsJoinsRaisesAndRingsOnce) {
  declare_game();
  Stage_log = StageLog();
  game_stage_reset_joins();
  Script_world.hero_join = [](int h) { Stage_log.joins.push_back(h); };
  Script_world.party_raise_to_level = [](int l) { Stage_log.raises.push_back(l); };
  Script_world.party_gain_item = [](const char* n) { Stage_log.items.emplace_back(n); };
  Script_world.level_start_restoring = [] { return Stage_log.restoring; };

  console_execute("gamestage 6");
  EXPECT_TRUE(level_flag_get(level_script_info_lookup("IkaemosTopInt"), "got_ring_of_stone"));
  EXPECT_FALSE(level_flag_get(level_script_info_lookup("KhosaniLab"), "got_ring_of_fire"));
  EXPECT_EQ(judge_game_stage(), 6);
  // Stages 5, 3 and 1 bring Zazuru, Rivadara and Rivud, highest stage first.
  EXPECT_EQ(Stage_log.joins, (std::vector<int>{1, 3, 2}));
  EXPECT_EQ(Stage_log.raises, (std::vector<int>{11, 10, 9, 7, 7, 5}));
  EXPECT_EQ(Stage_log.items, (std::vector<std::string>{"Ring of Darkness", "Ring of Light", "Ring of Stone"}));

  // A hero joins once, however often the stage is set.
  Stage_log = StageLog();
  set_game_stage(3);
  EXPECT_TRUE(Stage_log.joins.empty());

  // Outside 1..22 nothing changes.
  std::vector<uint8_t> before(Save_image.buffer, Save_image.buffer + Save_image.cursor);
  console_execute("gamestage 23");
  console_execute("gamestage 0");
  EXPECT_EQ(std::memcmp(before.data(), Save_image.buffer, before.size()), 0);

  // Restoring a save sets flags only.
  Stage_log = StageLog();
  Stage_log.restoring = true;
  set_game_stage(22);
  EXPECT_EQ(judge_game_stage(), 21);
  EXPECT_TRUE(Stage_log.raises.empty());
  EXPECT_TRUE(Stage_log.items.empty());
}

TEST_F(Flags, JudgeTellsEachStageFromItsFlags) {
  declare_game();
  struct Case {
    const char* level;
    const char* flag;
    int stage;
  };
  const Case cases[] = {
      {"thalem1c", "thalem1c_flag_found_rivud", 1}, {"LPalaceInt", "got_ring_of_darkness", 2},
      {"OdrinExt", "odrin_ext_found_rivadara", 3},  {"Catacombs", "got_ring_of_light", 4},
      {"LPalaceInt", "found_zazuru", 5},            {"KhosaniLab", "got_ring_of_fire", 6},
      {"tancredhouse", "found_galienne", 8},        {"TempleInt", "act2_done", 9},
      {"eleh", "found_ruvizo", 10},                 {"Vozido", "found_rivadara2", 11},
      {"VozidoCaverns", "got_ring_of_water", 12},   {"Vozido2", "got_ring_of_wind", 13},
      {"Shenwu", "got_ring_of_forest", 14},         {"jadetemple", "got_ring_of_jade", 15},
      {"OdrinExt02", "found_tessam", 16},           {"LPalaceInt02", "got_scrolls", 17},
      {"KhosaniLab2", "trapped_pyrul", 18},         {"OdrinExt02", "trapped_deviziv", 19},
      {"KhosaniStrng", "ready_for_end", 21},
  };
  EXPECT_EQ(judge_game_stage(), 0);
  for (const Case& c : cases) {
    savegame_layout();
    level_flag_set(level_script_info_lookup(c.level), c.flag, true);
    EXPECT_EQ(judge_game_stage(), c.stage) << c.flag;
  }
  savegame_layout();
  level_flag_set(level_script_info_lookup("KhosaniLab"), "got_ring_of_fire", true);
  level_flag_set(level_script_info_lookup("IkaemosTopInt"), "got_ring_of_stone", true);
  EXPECT_EQ(judge_game_stage(), 7);
  level_flag_set(level_script_info_lookup("IkaemosBottomInt2"), "trapped_titus", true);
  level_flag_set(level_script_info_lookup("OdrinExt02"), "trapped_deviziv", true);
  EXPECT_EQ(judge_game_stage(), 20);
}

TEST_F(Flags, SavingIsRefusedInCombatSummoningAndTheStorysPlaces) {
  declare_game();
  static bool summon = false, combat = false;
  Script_world.summon_emerging = [] { return summon; };
  Script_world.party_in_combat = [] { return combat; };
  Level_script_current = -1;
  level_position_set_level("", "");
  EXPECT_EQ(savegame_allowed_check(), SAVE_NOT_HERE);
  Level_script_current = level_script_info_lookup("KhosaniLab");
  EXPECT_EQ(savegame_allowed_check(), SAVE_NOT_HERE);
  level_flag_set(Level_script_current, "room8", true);
  EXPECT_EQ(savegame_allowed_check(), SAVE_ALLOWED);
  Level_script_current = level_script_info_lookup("jadetemple");
  EXPECT_EQ(savegame_allowed_check(), SAVE_ALLOWED);
  level_flag_set(Level_script_current, "got_laharah_spirit", true);
  EXPECT_EQ(savegame_allowed_check(), SAVE_NOT_HERE);
  Level_script_current = level_script_info_lookup("masad");
  combat = true;
  EXPECT_EQ(savegame_allowed_check(), SAVE_IN_COMBAT);
  summon = true;
  EXPECT_EQ(savegame_allowed_check(), SAVE_SUMMONING);
  summon = combat = false;
  Savegame_no_save_latch = 1;
  EXPECT_EQ(savegame_allowed_check(), SAVE_IN_COMBAT);
  savegame_layout();  // a new image clears the latch
  EXPECT_EQ(savegame_allowed_check(), SAVE_ALLOWED);
  Level_script_current = -1;
}
