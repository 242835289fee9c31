// The saved state of conversations: each script slot's area of the save
// image, laid out from the slot's dialogue table, read byte by byte at the
// offsets the layout gives, shared between the scripts of one level and
// kept away from a level not yet visited.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "Engine/characterinfo/saved_names.h"
#include "levelscripts/conversation.h"
#include "levelscripts/conversation_state.h"
#include "levelscripts/level_flags.h"
#include "levelscripts/level_scripts.h"
#include "levelscripts/savegame.h"
#include "levelscripts/script_world.h"
#include "quarn/vfile/vfile.h"
#include "tests/support/test_files.h"
#include "tools/writers/script_table_writers.h"
#include "tools/writers/table_writers.h"

namespace {

// Tessam: Greetings (initial, hail), The ring, farewell. Galienne: Old news
// (initial, hail), farewell.
const char Table[] =
    "$Character: \"Tessam\"\r\n"
    "+Topic: {Greetings}\r\n+NPCText: {Well met.}\r\n+Add topic: {The ring}\r\n"
    "+Hide topic: {Old news} From: \"Galienne\"\r\n"
    "+Topic: {The ring}\r\n+NPCText: {Lost, long ago.}\r\n"
    "$Initial topics: {Greetings}\r\n"
    "$Character: \"Galienne\"\r\n"
    "+Topic: {Old news}\r\n+NPCText: {Nothing new.}\r\n"
    "$Initial topics: {Old news}\r\n"
    "$End\r\n";

constexpr int PERSONS = 2, TOPICS = 5;

class ConversationState : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fresh_temp_dir("conversation_state");
    vfile_shutdown();
    vfile_set_root((root_ + "/").c_str(), false);
    vfile_add_path_type("data\\scripts", ".tbl");
    std::filesystem::create_directories(root_ + "/data/scripts");
    ASSERT_TRUE(table_write_file(root_ + "/data/scripts/thalem1b_dlg.tbl", Table));
    ASSERT_TRUE(table_write_file(root_ + "/data/scripts/thalem1b_night_dlg.tbl", Table));
    ASSERT_TRUE(table_write_file(root_ + "/data/scripts/thalem1b_m1_dlg.tbl", Table));
    const std::string files = script_filenames_text(
        {{"thalem1b", {{"thalem1b"}, {"thalem1b_night"}, {"thalem1b_m1"}}}});
    script_filenames_load_text("script_filenames.tbl", files.c_str(), static_cast<int>(files.size()));
    const std::string events = demo_events_text(game_event_declarations(), demo_quests());
    demo_events_load_text("demo_events.tbl", events.c_str(), static_cast<int>(events.size()));
    saved_ = Script_world;
    conversation_slot_sizes_forget();
    conversation_state_install();
    savegame_layout();
    level_ = level_script_info_lookup("thalem1b");
    ASSERT_GE(level_, 0);
    level_visit_count_set(level_, 1);
  }
  void TearDown() override {
    conversation_unload();
    Script_world = saved_;
    conversation_slot_sizes_forget();
    level_visit_count_set(level_, 0);
    const std::string none = script_filenames_text({});
    script_filenames_load_text("script_filenames.tbl", none.c_str(), static_cast<int>(none.size()));
    savegame_layout();
    vfile_shutdown();
  }
  const uint8_t* area(int slot) const {
    return Save_image.buffer + Save_image.conversation_offset[level_][slot];
  }
  static uint32_t u32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
  // Topic t's four bits in a slot's area.
  int topic_bits(int slot, int t) const {
    const uint8_t* bits = area(slot) + 4 + 8 * PERSONS + 4 * TOPICS + 8;  // person bits: 2 rounded to 8
    return (bits[(4 * t) / 8] >> ((4 * t) % 8)) & 0xF;
  }
  static uint32_t flags(const char* person, const char* topic) {
    const int p = conversation_find_person(person);
    return conversation_person(p)->topics[static_cast<size_t>(conversation_find_topic(p, topic))].flags;
  }
  std::string root_;
  ScriptWorld saved_;
  int level_ = -1;
};

TEST_F(ConversationState, EachSlotGetsAnAreaSizedByItsTable) {
  // 4 + 8P + 4T, the person bits in 8 bytes, the topic bits (4T bits) in 24.
  const int size = 4 + 8 * PERSONS + 4 * TOPICS + 8 + 24;
  EXPECT_EQ(conversation_state_size(PERSONS, TOPICS), size);
  EXPECT_EQ(Save_image.conversation_size[level_][0], size);
  EXPECT_EQ(Save_image.conversation_size[level_][1], size);
  EXPECT_EQ(Save_image.conversation_size[level_][2], 0);  // "_m1" keeps none
  EXPECT_EQ(Save_image.conversation_size[level_][3], 0);
  EXPECT_EQ(Save_image.conversation_offset[level_][1], Save_image.conversation_offset[level_][0] + size);
}

TEST_F(ConversationState, AFirstLoadWritesTheStructureAndTheTablesBits) {
  ASSERT_EQ(conversation_load("thalem1b", "thalem1b"), 0);
  const uint8_t* a = area(0);
  EXPECT_EQ(u32(a), 1u);
  EXPECT_EQ(u32(a + 4), name_checksum("Tessam"));
  EXPECT_EQ(u32(a + 8), name_checksum("Galienne"));
  EXPECT_EQ(u32(a + 12), 3u);  // Greetings, The ring, the farewell
  EXPECT_EQ(u32(a + 16), 2u);
  EXPECT_EQ(u32(a + 20), name_checksum("Greetings"));
  EXPECT_EQ(u32(a + 24), name_checksum("The ring"));
  EXPECT_EQ(u32(a + 28), name_checksum("\"Farewell.\""));
  EXPECT_EQ(u32(a + 32), name_checksum("Old news"));
  // Greetings: initial and hail; Old news the same.
  EXPECT_EQ(topic_bits(0, 0), TOPIC_STATE_INITIAL | TOPIC_STATE_HAIL);
  EXPECT_EQ(topic_bits(0, 1), 0);
  EXPECT_EQ(topic_bits(0, 3), TOPIC_STATE_INITIAL | TOPIC_STATE_HAIL);
  EXPECT_EQ(u32(area(1)), 0u);  // the other slot is not written before a store
}

TEST_F(ConversationState, PickedTopicsSurviveAStoreAndAReloadAndReachTheOtherScript) {
  ASSERT_EQ(conversation_load("thalem1b", "thalem1b"), 0);
  ASSERT_EQ(conversation_begin("Tessam"), 0);  // picks Greetings: hides Old news
  conversation_store_state();
  EXPECT_EQ(topic_bits(0, 0), TOPIC_STATE_SAID | TOPIC_STATE_INITIAL | TOPIC_STATE_HAIL);
  EXPECT_EQ(topic_bits(0, 3), TOPIC_STATE_INITIAL | TOPIC_STATE_HIDDEN | TOPIC_STATE_HAIL);

  conversation_unload();
  ASSERT_EQ(conversation_load("thalem1b", "thalem1b"), 0);
  EXPECT_TRUE(flags("Tessam", "Greetings") & TOPIC_SAID);
  EXPECT_TRUE(flags("Galienne", "Old news") & TOPIC_HIDDEN);
  EXPECT_EQ(conversation_begin("Galienne"), -1);

  // The level's other script starts from what this one said.
  conversation_unload();
  ASSERT_EQ(conversation_load("thalem1b", "thalem1b_night"), 0);
  EXPECT_EQ(u32(area(1)), 1u);
  EXPECT_TRUE(flags("Galienne", "Old news") & TOPIC_HIDDEN);
  EXPECT_EQ(topic_bits(1, 3), TOPIC_STATE_INITIAL | TOPIC_STATE_HIDDEN | TOPIC_STATE_HAIL);
  // And what it changes is written to both.
  ASSERT_EQ(dialogue_set_topic_available("Galienne", "Old news", true), 0);
  conversation_store_state();
  EXPECT_EQ(topic_bits(0, 3), TOPIC_STATE_INITIAL | TOPIC_STATE_HAIL);
  EXPECT_EQ(topic_bits(1, 3), TOPIC_STATE_INITIAL | TOPIC_STATE_HAIL);
}

TEST_F(ConversationState, ALevelNotYetVisitedIsNeitherReadNorWritten) {
  level_visit_count_set(level_, 0);
  ASSERT_EQ(conversation_load("thalem1b", "thalem1b"), 0);
  ASSERT_EQ(conversation_begin("Tessam"), 0);
  conversation_store_state();
  EXPECT_EQ(u32(area(0)), 0u);
  EXPECT_EQ(conversation_loaded_level(), level_);
}

TEST_F(ConversationState, AScriptWithoutATableLoadsNothing) {
  EXPECT_NE(conversation_load("thalem1b", "thalem1b_none"), 0);
  EXPECT_EQ(conversation_person_count(), 0);
  EXPECT_EQ(conversation_loaded_level(), -1);
}

}  // namespace
