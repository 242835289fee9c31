// Item camera tables read from text written out here line by line, with
// item and character-type names given by small fake tables.
#include "Orrimund/screens/item_cameras.h"

#include <gtest/gtest.h>
#include <strings.h>

#include <cmath>
#include <string>

#include "quarn/vfile/vfile.h"
#include "tests/support/critical_error_trap.h"
#include "tests/support/test_files.h"

namespace {

const char* const Fake_items[] = {"Short Sword", "Healing Potion", "Troll"};
const char* const Fake_types[] = {"Troll", "Orc Warrior"};

int find(const char* const* list, int n, const char* name) {
  for (int i = 0; i < n; i++)
    if (strcasecmp(list[i], name) == 0) return i;
  return -1;
}
const IcamNames Names = {
    [](const char* n) { return find(Fake_items, 3, n); },
    [](int i) { return i >= 0 && i < 3 ? Fake_items[i] : static_cast<const char*>(nullptr); },
    [](const char* n) { return find(Fake_types, 2, n); },
    [](int i) { return i >= 0 && i < 2 ? Fake_types[i] : static_cast<const char*>(nullptr); },
};

void load(IcamTable& t, const std::string& text) {
  new_icam_load_text(t, "inv_cameras.tbl", text.data(), static_cast<int>(text.size()), Names);
}

std::string entry(const char* name, const char* offset, const char* pbh) {
  return std::string("$Name: \"") + name + "\"\n$Offset: " + offset + "\n$PBH: " + pbh + "\n";
}

void expect_vec(const vector& v, float x, float y, float z) {
  EXPECT_NEAR(v.x, x, 1e-4f);
  EXPECT_NEAR(v.y, y, 1e-4f);
  EXPECT_NEAR(v.z, z, 1e-4f);
}

}  // namespace

TEST(ItemCameras, ReadsBothSectionsAndSkipsUnknownNames) {
  static IcamTable t;
  load(t,
       "// inventory cameras\n" + entry("Short Sword", "1.5 -2 30", "10 20 30") +
           entry("Nothing Such", "0 0 0", "0 0 0") + "#End\n" + entry("orc warrior", "0 -1 12.25", "0 0 90") +
           entry("Unknown Beast", "0 0 0", "0 0 0") + "#End\n");
  EXPECT_STREQ(t.filename, "inv_cameras.tbl");
  ASSERT_EQ(t.count, 2);
  EXPECT_EQ(t.entries[0].kind, ICAM_ITEM);
  EXPECT_EQ(t.entries[0].index, 0);
  expect_vec(t.entries[0].offset, 1.5f, -2.0f, 30.0f);
  EXPECT_FLOAT_EQ(t.entries[0].pitch, 10.0f);
  EXPECT_FLOAT_EQ(t.entries[0].bank, 20.0f);
  EXPECT_FLOAT_EQ(t.entries[0].heading, 30.0f);
  EXPECT_EQ(t.entries[1].kind, ICAM_CHARACTER);
  EXPECT_EQ(t.entries[1].index, 1);
  expect_vec(t.entries[1].offset, 0.0f, -1.0f, 12.25f);
}

TEST(ItemCameras, EmptySectionsAndAnEmptyItemSection) {
  static IcamTable t;
  load(t, "#End\n#End\n");
  EXPECT_EQ(t.count, 0);
  load(t, "#End\n" + entry("Troll", "1 2 3", "0 0 0") + "#End\n");
  ASSERT_EQ(t.count, 1);
  EXPECT_EQ(t.entries[0].kind, ICAM_CHARACTER);
}

TEST(ItemCameras, HeadingZeroFacesTheModelAway) {
  static IcamTable t;
  load(t, entry("Short Sword", "4 5 6", "0 0 0") + entry("Healing Potion", "0 0 0", "0 0 90") + "#End\n#End\n");
  matrix m;
  vector off;
  ASSERT_TRUE(new_icam_get(t, "SHORT SWORD", &m, &off, Names));
  expect_vec(off, 4, 5, 6);
  // Half a turn about the vertical axis: forward and right reversed, up kept.
  expect_vec(m.forward, 0, 0, -1);
  expect_vec(m.right, -1, 0, 0);
  expect_vec(m.up, 0, 1, 0);
  // Heading 90 is three quarters of a turn from the model's own front; the
  // forward axis lies along x, sideways to the camera.
  ASSERT_TRUE(new_icam_get(t, "healing potion", &m, &off, Names));
  EXPECT_NEAR(std::fabs(m.forward.x), 1.0f, 1e-4f);
  EXPECT_NEAR(m.forward.z, 0.0f, 1e-4f);
  expect_vec(m.up, 0, 1, 0);
}

TEST(ItemCameras, ItemEntryWinsOverTheSameCharacterTypeWhenFirst) {
  static IcamTable t;
  load(t, entry("Troll", "1 1 1", "0 0 0") + "#End\n" + entry("Troll", "2 2 2", "0 0 0") + "#End\n");
  ASSERT_EQ(t.count, 2);
  vector off;
  ASSERT_TRUE(new_icam_get(t, "troll", nullptr, &off, Names));
  expect_vec(off, 1, 1, 1);
}

TEST(ItemCameras, MissingNameWritesNothing) {
  static IcamTable t;
  load(t, entry("Short Sword", "1 1 1", "0 0 0") + "#End\n#End\n");
  matrix m = matrix::from_floats(7, 7, 7, 7, 7, 7, 7, 7, 7);
  vector off(9, 9, 9);
  EXPECT_FALSE(new_icam_get(t, "Long Sword", &m, &off, Names));
  EXPECT_FLOAT_EQ(m.right.x, 7.0f);
  expect_vec(off, 9, 9, 9);
}

TEST(ItemCameras, EntriesPastFiveHundredTwelveAreDropped) {
  static IcamTable t;
  std::string text;
  for (int i = 0; i < MAX_ICAM_ENTRIES + 3; i++) text += entry("Short Sword", (std::to_string(i) + " 0 0").c_str(), "0 0 0");
  text += "#End\n" + entry("Troll", "0 0 0", "0 0 0") + "#End\n";
  load(t, text);
  EXPECT_EQ(t.count, MAX_ICAM_ENTRIES);
  EXPECT_FLOAT_EQ(t.entries[MAX_ICAM_ENTRIES - 1].offset.x, 511.0f);
  EXPECT_EQ(t.entries[MAX_ICAM_ENTRIES - 1].kind, ICAM_ITEM);
}

TEST(ItemCameras, DamagedTablesAreTheParseError) {
  static IcamTable t;
  CriticalErrorTrap trap;
  const char* const cases[] = {
      "$Name: \"Short Sword\"\n$PBH: 0 0 0\n#End\n#End\n",       // no offset
      "$Name: \"Short Sword\"\n$Offset: 1 2 3\n#End\n#End\n",     // no angles
      "$Name: \"Short Sword\"\n$Offset: 1 2 3\n$PBH: 0 0 0\n",    // no #End
      "#End\n$Name: \"Troll\"\n$Offset: 1 2 3\n$PBH: 0 0 0\n",    // second unclosed
  };
  for (const char* c : cases) {
    EXPECT_THROW(load(t, c), CriticalErrorThrown) << c;
  }
}

TEST(ItemCameras, AWorldWithoutTheTablesStartsWithEmptyOnes) {
  vfile_set_root(fresh_temp_dir("icam_none").c_str(), false);
  CriticalErrorTrap trap;
  Bs_cameras.count = Inv_cameras.count = Status_cameras.count = 7;
  EXPECT_NO_THROW(item_cameras_load_all());
  EXPECT_EQ(Bs_cameras.count, 0);
  EXPECT_EQ(Inv_cameras.count, 0);
  EXPECT_EQ(Status_cameras.count, 0);
  EXPECT_STREQ(Status_cameras.filename, "status_cameras.tbl");
}
