// The save and load screen's list, names and dates, on saves written by the
// real writer beside damaged, foreign and badly named files.
#include "Orrimund/screens/save_list.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "levelscripts/level_scripts.h"
#include "tests/support/save_world.h"

namespace {

struct SaveList : ::testing::Test {
  std::filesystem::path root;
  void SetUp() override {
    root = fresh_temp_dir("save_list");
    save_world_setup(root);
    ASSERT_TRUE(save_world_start());
  }
  void TearDown() override {
    script_world_reset();
    item_tables_free();
    vfile_shutdown();
    std::filesystem::remove_all(root);
  }
  void write(const std::string& rel, const std::string& text) { save_world_write(root, rel, text); }
  std::filesystem::path save_path(const std::string& name) { return root / "savegame" / name; }
  void copy_save(const char* from, const std::string& to) {
    std::filesystem::copy_file(save_path(from), save_path(to));
  }
  std::set<std::string> names(const SaveListEntry* list, int n) {
    std::set<std::string> s;
    for (int i = 0; i < n; i++)
      if (!save_list_is_new_entry(list[i])) s.insert(list[i].file_name);
    return s;
  }
};

}  // namespace

TEST_F(SaveList, OnlyOurReadableSavesWithNamesThatFitAreListed) {
  Savegame_play_time = 3725.0f;
  ASSERT_TRUE(save_write("river.sav", "By the river"));
  ASSERT_TRUE(save_write("hill.sav", "On the hill"));
  write("savegame/garbage.sav", "not a save at all");
  write("savegame/notes.txt", "x");
  // A save of ours under a name too long for the entry: cut short, it would
  // load or delete another file.
  copy_save("river.sav", std::string(40, 'l') + ".sav");
  copy_save("river.sav", std::string(27, 'k') + ".sav");  // 31 characters: fits
  // A save whose level is not one of ours.
  {
    std::ifstream in(save_path("hill.sav"), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    const size_t at = bytes.find("masad");
    ASSERT_NE(at, std::string::npos);
    bytes.replace(at, 5, "zzzzz");
    std::ofstream(save_path("foreign.sav"), std::ios::binary) << bytes;
  }

  SaveListEntry list[SAVE_LIST_MAX];
  const time_t now = 1700000000;
  const int n = save_list_build(true, now, list);
  ASSERT_EQ(n, 4);
  EXPECT_TRUE(save_list_is_new_entry(list[0]));
  EXPECT_EQ(list[0].script, -1);
  EXPECT_EQ(list[0].file_time, now);
  EXPECT_STREQ(list[0].description, "No description");
  EXPECT_EQ(names(list, n), (std::set<std::string>{"river.sav", "hill.sav", std::string(27, 'k') + ".sav"}));
  for (int i = 1; i < n; i++) {
    SCOPED_TRACE(list[i].file_name);
    EXPECT_EQ(list[i].level, level_script_info_lookup("masad"));
    EXPECT_EQ(list[i].script, 0);
    EXPECT_EQ(list[i].play_time, 3725.0f);
    EXPECT_STREQ(list[i].description, std::strcmp(list[i].file_name, "hill.sav") == 0 ? "On the hill" : "By the river");
    // The file's own modification time, not the time of listing.
    struct stat st {};
    ASSERT_EQ(stat(save_path(list[i].file_name).c_str(), &st), 0);
    EXPECT_EQ(list[i].file_time, st.st_mtime);
  }
  // Load mode has no new-save entry.
  SaveListEntry load[SAVE_LIST_MAX];
  const int m = save_list_build(false, now, load);
  ASSERT_EQ(m, 3);
  EXPECT_EQ(names(load, m), names(list, n));
}

TEST_F(SaveList, AFullFolderLeavesNoRoomForANewSave) {
  ASSERT_TRUE(save_write("s0.sav", "zero"));
  for (int i = 1; i < 33; i++) copy_save("s0.sav", "s" + std::to_string(i) + ".sav");
  SaveListEntry list[SAVE_LIST_MAX];
  for (bool save_mode : {true, false}) {
    const int n = save_list_build(save_mode, 0, list);
    ASSERT_EQ(n, SAVE_LIST_MAX);
    for (int i = 0; i < n; i++) EXPECT_FALSE(save_list_is_new_entry(list[i]));
  }
  // With 31 saves there is room for exactly the new-save entry.
  for (int i = 31; i < 33; i++) std::filesystem::remove(save_path("s" + std::to_string(i) + ".sav"));
  const int n = save_list_build(true, 0, list);
  ASSERT_EQ(n, SAVE_LIST_MAX);
  EXPECT_TRUE(save_list_is_new_entry(list[0]));
}

TEST_F(SaveList, ANewSaveTakesTheFirstFreeNumber) {
  char name[SAVE_FILE_NAME_SIZE];
  ASSERT_TRUE(save_new_file_name(name, sizeof name));
  EXPECT_STREQ(name, "orrimund0.sav");
  write("savegame/orrimund0.sav", "a");
  write("savegame/orrimund1.sav", "b");
  write("savegame/orrimund3.sav", "d");
  ASSERT_TRUE(save_new_file_name(name, sizeof name));
  EXPECT_STREQ(name, "orrimund2.sav");
  EXPECT_FALSE(save_new_file_name(name, 8));  // no room for the name
}

// Only "allowed" saves: the combat, place and summoning refusals, and any
// answer a later rule may add, all refuse.
TEST(SaveRules, OnlyAnAnswerOfZeroSaves) {
  EXPECT_TRUE(save_list_may_save(SAVE_ALLOWED));
  for (int answer : {int{SAVE_IN_COMBAT}, int{SAVE_NOT_HERE}, int{SAVE_SUMMONING}, 4, 5, 255, -1})
    EXPECT_FALSE(save_list_may_save(answer)) << answer;
}

TEST(SaveRules, DatesAndTimesOnATwelveHourClock) {
  const char* old_tz = std::getenv("TZ");
  const std::string keep = old_tz ? old_tz : "";
  setenv("TZ", "UTC", 1);
  tzset();
  // 2026-12-11 is day 20798 since the epoch; 2024-05-03 is day 19846.
  struct Case {
    time_t t;
    const char* time;
    const char* date;
  } cases[] = {
      {20798 * 86400 + 5 * 60, "12:05 am", "Dec. 11, 2026"},
      {20798 * 86400 + 11 * 3600 + 59 * 60 + 59, "11:59 am", "Dec. 11, 2026"},
      {20798 * 86400 + 12 * 3600, "12:00 pm", "Dec. 11, 2026"},
      {20798 * 86400 + 13 * 3600 + 7 * 60, "1:07 pm", "Dec. 11, 2026"},
      {19846 * 86400 + 23 * 3600 + 30 * 60, "11:30 pm", "May 3, 2024"},
      {0, "12:00 am", "Jan. 1, 1970"},
  };
  for (const Case& c : cases) {
    char time_text[32], date_text[32];
    save_format_time(c.t, time_text, sizeof time_text);
    save_format_date(c.t, date_text, sizeof date_text);
    EXPECT_STREQ(time_text, c.time);
    EXPECT_STREQ(date_text, c.date);
  }
  if (old_tz) setenv("TZ", keep.c_str(), 1);
  else unsetenv("TZ");
  tzset();
}

TEST(SaveRules, PlayTimeInHoursAndMinutes) {
  struct Case {
    float seconds;
    const char* text;
  } cases[] = {{0.0f, "00:00"}, {59.9f, "00:00"}, {3725.0f, "01:02"}, {36000.0f * 10, "100:00"}, {-5.0f, "00:00"}};
  for (const Case& c : cases) {
    char text[16];
    save_format_play_time(c.seconds, text, sizeof text);
    EXPECT_STREQ(text, c.text) << c.seconds;
  }
}
