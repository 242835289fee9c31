// The save image and .sav files: sections where their sizes put them, a save
// that round-trips every section, and damaged, truncated or foreign files
// refused whole with the live image untouched. An old save is never lost to
// a failed one.
#include "levelscripts/savegame.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Engine/Objects/inventory.h"
#include "Engine/Objects/items.h"
#include "Engine/gameflags.h"
#include "Orrimund/fs_paths.h"
#include "Orrimund/gamestate.h"
#include "Engine/s3d/level_objects.h"
#include "levelscripts/Scripts/script_host_game.h"
#include "levelscripts/Scripts/script_host.h"
#include "levelscripts/level_flags.h"
#include "levelscripts/level_scripts.h"
#include "levelscripts/script_world.h"
#include "quarn/os/console.h"
#include "quarn/vfile/vfile.h"
#include "tests/support/game_tables.h"
#include "tests/support/save_world.h"
#include "tests/support/test_files.h"
#include "tools/writers/script_table_writers.h"
#include "tools/writers/table_writers.h"

namespace {

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; i++) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t get32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

struct Saves : ::testing::Test {
  std::filesystem::path root;
  void SetUp() override {
    root = fresh_temp_dir("savegame");
    save_world_setup(root);
    // Two levels' sections: every level's items are listed.
    write("data/tables/level_items.tbl",
          level_items_text({{"masad", "Rusty Key", "masad", "Health Tonic", "key_spot"},
                            {"sewer", "Old Map", "sewer", "Health Tonic", "map_spot", 2, "sewer", "sewer_grate_open"}}));
    ASSERT_TRUE(save_world_start());
  }
  void TearDown() override {
    script_world_reset();
    saved_names_set_backend(nullptr);
    item_tables_free();
    vfile_shutdown();
    std::filesystem::remove_all(root);
  }
  void write(const std::string& rel, const std::string& text) {
    std::filesystem::create_directories((root / rel).parent_path());
    std::ofstream(root / rel, std::ios::binary) << text;
  }
  std::filesystem::path save_path(const char* name) { return root / "savegame" / name; }
  std::vector<uint8_t> file(const char* name) { return read_file_bytes(save_path(name)); }
  void put_file(const char* name, const std::vector<uint8_t>& bytes) {
    std::ofstream(save_path(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  std::vector<uint8_t> image() { return {Save_image.buffer, Save_image.buffer + Save_image.cursor}; }
};

}  // namespace

TEST_F(Saves, SectionsLieWhereTheirSizesPutThem) {
  const int n = Num_item_infos;
  // Sizes from the layout's table, summed in this test.
  int level_data = 204;
  for (int l = 0; l < NUM_LEVEL_SCRIPTS; l++) {
    level_data += (level_declared_flags(l) + level_automap_layers(l) * 4096 + 7) / 8 +
                  4 * (level_declared_ints(l) + level_declared_floats(l));
  }
  const int sizes[NUM_SAVE_SECTIONS] = {504,  60702, level_data, 8352, 0,    8 + 4 * n + (n + 7) / 8,
                                        52 + 175 * 384 + 408,    40,   6324, 25, 2052, 26431, 6660, 180};
  int at = 512;
  EXPECT_EQ(Save_image.offset[SEC_HEADER], 0);
  EXPECT_EQ(Save_image.offset[SEC_THUMBNAIL], 512);
  for (int s = SEC_THUMBNAIL; s < NUM_SAVE_SECTIONS; s++) {
    EXPECT_EQ(Save_image.offset[s], at) << "section " << s;
    EXPECT_EQ(Save_image.size[s], sizes[s]) << "section " << s;
    at += sizes[s];
  }
  EXPECT_EQ(Save_image.offset[SEC_LEVEL_DATA], 61214);
  EXPECT_EQ(Save_image.cursor, at);
  EXPECT_LE(Save_image.cursor, SAVE_IMAGE_CAPACITY);
  // The level items of level_items.tbl are listed at layout.
  EXPECT_EQ(save_level_item_count(), 2);
  EXPECT_TRUE(save_level_item_listed(name_checksum("old map")));
}

TEST_F(Saves, AnImageWithoutDeclarationsStillHasItsVisitCounters) {
  std::filesystem::remove(root / "data/tables/demo_events.tbl");
  level_flags_init();
  savegame_layout();
  EXPECT_EQ(save_section_size(SEC_LEVEL_DATA), 204);
}

TEST_F(Saves, TheHeaderIsTheLayoutsOwn) {
  ASSERT_TRUE(save_write("one.sav", "By the river"));
  std::vector<uint8_t> f = file("one.sav");
  ASSERT_EQ(f.size(), static_cast<size_t>(Save_image.cursor));
  EXPECT_EQ(std::string(f.begin(), f.begin() + 4), "SAVg");
  EXPECT_EQ(get32(f, 4), 38u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&f[8])), "masad");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&f[136])), "start");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&f[176])), "By the river");
  // Size words: conversation before inventory.
  EXPECT_EQ(get32(f, 432), 60702u);
  EXPECT_EQ(get32(f, 440), static_cast<uint32_t>(Save_image.size[SEC_CONVERSATION]));
  EXPECT_EQ(get32(f, 448), 8352u);
  EXPECT_EQ(get32(f, 480), 180u);
  EXPECT_EQ(get32(f, 484), script_filenames_checksum());
  EXPECT_EQ(get32(f, 488), 492u);
  // The tagged parts stand at their sections.
  EXPECT_EQ(std::string(f.begin() + Save_image.offset[SEC_ITEMS], f.begin() + Save_image.offset[SEC_ITEMS] + 4), "ITEM");
  EXPECT_EQ(get32(f, Save_image.offset[SEC_ITEMS] + 4), static_cast<uint32_t>(Num_item_infos));
  EXPECT_EQ(get32(f, Save_image.offset[SEC_ITEMS] + 8), name_checksum(Item_infos[0].name));
  EXPECT_EQ(std::string(f.begin() + Save_image.offset[SEC_CAMERA], f.begin() + Save_image.offset[SEC_CAMERA] + 4), "CMRA");
}

TEST_F(Saves, AHeaderWrittenByHandFromTheFormatChecks) {
  std::vector<uint8_t> h(504, 0);
  std::memcpy(&h[0], "SAVg", 4);
  put32(h, 4, 37);
  std::memcpy(&h[8], "Sewer", 5);  // level names ignore case
  // An empty script name is the level's default arrival.
  const SaveSection order[13] = {SEC_THUMBNAIL, SEC_LEVEL_DATA, SEC_CONVERSATION, SEC_ITEMS, SEC_INVENTORY,
                                 SEC_ENTITIES, SEC_CAMERA, SEC_ITEM_OBJECTS, SEC_QUEST_FLAGS, SEC_LEVEL_ITEMS,
                                 SEC_TWO_STAGE, SEC_AUTOMAP_LABELS, SEC_HOT_BUTTONS};
  for (int i = 0; i < 13; i++) put32(h, 432 + 4 * i, static_cast<uint32_t>(Save_image.size[order[i]]));
  put32(h, 484, 0xDEADBEEF);  // the table checksum is not compared
  put32(h, 488, 492);
  SaveHeaderInfo info;
  EXPECT_EQ(save_header_check(h.data(), &info), 1);
  EXPECT_STREQ(info.level, "Sewer");
  EXPECT_EQ(Save_image.version, 37);

  struct Damage {
    size_t at;
    uint32_t value;
    int expect;
  };
  for (Damage d : {Damage{0, 0x67564154, -1}, Damage{4, 39, -1}, Damage{4, 36, -1}, Damage{488, 491, -1},
                   Damage{436, 205, 0}, Damage{480, 181, 0}}) {
    std::vector<uint8_t> bad = h;
    put32(bad, d.at, d.value);
    EXPECT_EQ(save_header_check(bad.data(), nullptr), d.expect) << "at " << d.at;
  }
  std::vector<uint8_t> bad = h;
  std::memcpy(&bad[8], "Atlantis", 8);
  EXPECT_EQ(save_header_check(bad.data(), nullptr), -1);
  bad = h;
  std::memcpy(&bad[136], "nosuch", 6);
  EXPECT_EQ(save_header_check(bad.data(), nullptr), -1);
}

namespace {
// A fake party inventory kept by the test: gold and entries.
struct FakeInventory {
  uint32_t gold = 0;
  std::vector<std::vector<uint32_t>> entries;
} Inventory, Restored_inventory;
}  // namespace

TEST_F(Saves, ASaveRestoresFlagsListsHotButtonsAndTheOwnersParts) {
  Inventory.gold = 1234;
  Inventory.entries = {{name_checksum(Item_infos[1].name), 3, 7}, {name_checksum(Item_infos[2].name), 1, 0}};
  Script_world.save_inventory = [](SaveWriter& w) {
    w.put_tag("INVT");
    w.put_u32(Inventory.gold);
    w.put_u32(static_cast<uint32_t>(Inventory.entries.size()));
    for (auto& e : Inventory.entries)
      for (uint32_t v : e) w.put_u32(v);
    w.put_u32(static_cast<uint32_t>(w.used() + 4));
    return w.ok();
  };
  Script_world.load_inventory = [](SaveReader& r) {
    r.tag_is("INVT");
    Restored_inventory = FakeInventory();
    Restored_inventory.gold = r.get_u32();
    uint32_t n = r.get_u32();
    for (uint32_t i = 0; i < n; i++) Restored_inventory.entries.push_back({r.get_u32(), r.get_u32(), r.get_u32()});
    return r.ok();
  };
  const int masad = 3;
  level_flag_set(level_script_info_lookup("eleh"), "found_ruvizo", true);
  level_int_set(WORLDMAP_LEVEL_INDEX, "fire_ring_xp", 4500);
  level_visit_count_increment(masad);
  quest_set_active(1, true);
  hotbutton_set(2, 5, 3, 0xA1B2C3D4);
  save_level_item_remove(name_checksum("Rusty Key"));
  ASSERT_TRUE(two_stage_state_set_key(masad, two_stage_key("start", "gate01"), true, false));
  AutomapLabel label{3, 0, 12.5f, -4.0f, 7, "Well"};
  ASSERT_TRUE(automap_label_add(label));
  Item_infos[0].flags |= IF_NOT_IDENTIFIED;
  Savegame_play_time = 95.5f;

  ASSERT_TRUE(save_write("slot1.sav", "first"));
  const std::vector<uint8_t> saved = image();

  // A new game: everything back to nothing.
  savegame_layout();
  Item_infos[0].flags &= ~IF_NOT_IDENTIFIED;
  level_position_set_level("sewer", "down");
  EXPECT_FALSE(level_flag_get(level_script_info_lookup("eleh"), "found_ruvizo"));

  ASSERT_TRUE(save_read("slot1.sav", 0));
  EXPECT_EQ(image(), saved);
  EXPECT_TRUE(level_flag_get(level_script_info_lookup("eleh"), "found_ruvizo"));
  EXPECT_EQ(level_int_get(WORLDMAP_LEVEL_INDEX, "fire_ring_xp"), 4500);
  EXPECT_EQ(level_visit_count(masad), 1);
  EXPECT_TRUE(quest_is_active(1));
  uint8_t kind = 0;
  uint32_t value = 0;
  ASSERT_TRUE(hotbutton_get(&kind, &value, 2, 5));
  EXPECT_EQ(kind, 3);
  EXPECT_EQ(value, 0xA1B2C3D4u);
  EXPECT_FALSE(hotbutton_get(&kind, &value, 2, 4));
  EXPECT_FALSE(save_level_item_listed(name_checksum("rusty key")));
  EXPECT_TRUE(save_level_item_listed(name_checksum("old map")));
  bool open = false, second = true;
  EXPECT_TRUE(two_stage_state_get_key(masad, two_stage_key("start", "gate01"), &open, &second));
  EXPECT_TRUE(open);
  EXPECT_FALSE(second);
  ASSERT_EQ(automap_label_count(), 1);
  EXPECT_STREQ(automap_label_at(0).text, "Well");
  EXPECT_FLOAT_EQ(automap_label_at(0).x, 12.5f);
  EXPECT_TRUE(Item_infos[0].flags & IF_NOT_IDENTIFIED);
  EXPECT_STREQ(Level_position.level, "masad");
  EXPECT_STREQ(Level_position.script, "start");
  EXPECT_FLOAT_EQ(Savegame_play_time, 95.5f);
  EXPECT_EQ(Restored_inventory.gold, 1234u);
  EXPECT_EQ(Restored_inventory.entries, Inventory.entries);
}

TEST_F(Saves, DescriptionsUpTo255Characters) {
  EXPECT_TRUE(save_write("d.sav", std::string(255, 'd').c_str()));
  EXPECT_FALSE(save_write("e.sav", std::string(256, 'd').c_str()));
  EXPECT_FALSE(std::filesystem::exists(save_path("e.sav")));
  // Names that would leave the save folder are refused.
  EXPECT_FALSE(save_write("../x.sav", "x"));
  EXPECT_FALSE(save_write("a/b.sav", "x"));
}

TEST_F(Saves, DamagedSavesAreRefusedWholeAndTheLiveImageStays) {
  ASSERT_TRUE(save_write("good.sav", "good"));
  const std::vector<uint8_t> good = file("good.sav");
  level_flag_set(level_script_info_lookup("Shenwu"), "got_ring_of_forest", true);
  const std::vector<uint8_t> live = image();

  auto refused = [&](const std::vector<uint8_t>& bytes, const std::string& what) {
    put_file("bad.sav", bytes);
    EXPECT_FALSE(save_read("bad.sav", 0)) << what;
    EXPECT_EQ(image(), live) << what << " changed the live image";
    EXPECT_FALSE(save_check_bytes(bytes.data(), bytes.size())) << what;
  };
  // Cut at every section border, and one byte short of the end.
  for (int s = SEC_HEADER; s < NUM_SAVE_SECTIONS; s++) {
    size_t cut = static_cast<size_t>(Save_image.offset[s]);
    refused(std::vector<uint8_t>(good.begin(), good.begin() + cut), "cut at section " + std::to_string(s));
  }
  refused(std::vector<uint8_t>(good.begin(), good.end() - 1), "one byte short");
  std::vector<uint8_t> longer = good;
  longer.push_back(0);
  refused(longer, "one byte long");

  struct Patch {
    const char* what;
    SaveSection section;
    int at;
    uint32_t value;
  };
  const Patch patches[] = {
      {"version 39", SEC_HEADER, 4, 39},
      {"ITEM tag", SEC_ITEMS, 0, 0x4D455458},
      {"item count", SEC_ITEMS, 4, static_cast<uint32_t>(Num_item_infos + 1)},
      {"unknown item", SEC_ITEMS, 8, 0x12345678},
      {"inventory count", SEC_INVENTORY, 8, 522},
      {"inventory length", SEC_INVENTORY, 12, 99},
      {"entity count", SEC_ENTITIES, 48, 176},
      {"entity length", SEC_ENTITIES, 52, 7},
      {"camera tag", SEC_CAMERA, 0, 0},
      {"container count", SEC_ITEM_OBJECTS, 4, 0xFFFFFFFF},
      {"loose items", SEC_ITEM_OBJECTS, 8, 33},
      {"level items", SEC_LEVEL_ITEMS, 0, 513},
      {"two-stage count", SEC_TWO_STAGE, 8, 122},
      {"automap labels", SEC_AUTOMAP_LABELS, 0, 129},
  };
  for (const Patch& p : patches) {
    std::vector<uint8_t> bad = good;
    put32(bad, static_cast<size_t>(Save_image.offset[p.section] + p.at), p.value);
    refused(bad, p.what);
  }
  EXPECT_TRUE(save_check_bytes(good.data(), good.size()));
}

TEST_F(Saves, AFailedSaveLeavesThePreviousFileAsItWas) {
  ASSERT_TRUE(save_write("keep.sav", "kept"));
  const std::vector<uint8_t> before = file("keep.sav");
  // An owner whose part does not fit its section fails the save.
  Script_world.save_entities = [](SaveWriter& w) {
    std::vector<uint8_t> big(70000, 1);
    return w.put_bytes(big.data(), static_cast<int>(big.size()));
  };
  EXPECT_FALSE(save_write("keep.sav", "lost?"));
  EXPECT_EQ(file("keep.sav"), before);
  Script_world.save_entities = nullptr;
  SaveHeaderInfo info;
  EXPECT_EQ(save_read_header("keep.sav", &info), 1);
  EXPECT_STREQ(info.description, "kept");
}

TEST_F(Saves, HeaderRewriteKeepsTheRestAndAPendingLoadRunsOnce) {
  ASSERT_TRUE(save_write("r.sav", "old words"));
  std::vector<uint8_t> before = file("r.sav");
  ASSERT_TRUE(save_rewrite_header("r.sav", "new words"));
  std::vector<uint8_t> after = file("r.sav");
  ASSERT_EQ(after.size(), before.size());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&after[176])), "new words");
  EXPECT_TRUE(std::equal(after.begin() + 61214, after.end(), before.begin() + 61214));

  savegame_set_pending_load("r.sav", 0);
  EXPECT_EQ(savegame_pending_load_length(), 5);
  EXPECT_EQ(savegame_load_pending(), 1);
  EXPECT_EQ(savegame_pending_load_length(), 0);
  EXPECT_EQ(Save_image.pending_mode, -1);
  savegame_set_pending_load("missing.sav", 0);
  EXPECT_EQ(savegame_load_pending(), 0);
}

TEST_F(Saves, ListsKeepTheirLimits) {
  EXPECT_TRUE(save_level_item_add(name_checksum("Old Map")));
  EXPECT_EQ(save_level_item_count(), 2);
  save_level_item_remove(name_checksum("never listed"));
  EXPECT_EQ(save_level_item_count(), 2);
  for (uint32_t i = 0; save_level_item_count() < SAVE_MAX_LEVEL_ITEMS; i++) ASSERT_TRUE(save_level_item_add(1000 + i));
  EXPECT_FALSE(save_level_item_add(99));

  for (int i = 0; i < SAVE_TWO_STAGE_PER_LEVEL; i++) ASSERT_TRUE(two_stage_state_set_key(5, 500 + i, i & 1, false));
  EXPECT_FALSE(two_stage_state_set_key(5, 42, true, true));
  EXPECT_TRUE(two_stage_state_set_key(5, 501, false, true));  // a listed one still updates
  bool open = true, second = false;
  EXPECT_TRUE(two_stage_state_get_key(5, 501, &open, &second));
  EXPECT_FALSE(open);
  EXPECT_TRUE(second);
  EXPECT_FALSE(two_stage_state_get_key(6, 501, &open, &second));
  // Bit index (level x 121 + object) x 2 in the bit area.
  const uint8_t* bits = save_section(SEC_TWO_STAGE) + 4 * 51 + 4 * 51 * 121;
  const int bit = (5 * 121 + 1) * 2;
  EXPECT_EQ((bits[(bit + 1) / 8] >> ((bit + 1) % 8)) & 1, 1);

  AutomapLabel l{1, 0, 1.0f, 2.0f, 0, "a"};
  for (int i = 0; i < SAVE_MAX_AUTOMAP_LABELS; i++) {
    l.x = static_cast<float>(i);
    ASSERT_TRUE(automap_label_add(l));
  }
  EXPECT_FALSE(automap_label_add(l));
  automap_label_remove(1, 0, 5.0f, 2.0f);
  EXPECT_EQ(automap_label_count(), SAVE_MAX_AUTOMAP_LABELS - 1);
  EXPECT_FLOAT_EQ(automap_label_at(5).x, 6.0f);
  automap_label_remove_all(1, 0);
  EXPECT_EQ(automap_label_count(), 0);
  l.script = -1;
  EXPECT_FALSE(automap_label_add(l));

  hotbutton_set(4, 0, 1, 2);
  hotbuttons_clear(4);
  EXPECT_FALSE(hotbutton_get(nullptr, nullptr, 4, 0));
  hotbutton_set(5, 0, 1, 2);  // no sixth character: ignored
  EXPECT_FALSE(hotbutton_get(nullptr, nullptr, 5, 0));
}

namespace {
std::vector<std::string> Said;
void hear(const char* text) { Said.emplace_back(text); }
std::string last_said() {
  std::string all;
  for (auto& s : Said) all += s;
  return all;
}
}  // namespace

TEST_F(Saves, TheConsoleSavesOnlyInPlayAndOnlyUnderGoodNames) {
  console_set_output_hook(hear);
  struct Case {
    const char* line;
    const char* answer;
  };
  game_state_reset();
  Said.clear();
  console_execute("savegame t1");
  EXPECT_NE(last_said().find("Can only save in gameplay mode."), std::string::npos) << last_said();

  game_state_request(GS_GAMEPLAY);
  game_state_commit();
  Level_script_current = level_script_info_lookup("masad");
  const Case cases[] = {
      {"savegame abcdefghijklmnopqrstuvwxyz1", "Saved \"abcdefghijklmnopqrstuvwxyz1.sav\"."},  // 27 characters
      {"savegame abcdefghijklmnopqrstuvwxyz12", "Filename is too long."},
      {"savegame a.b", "Filename contains invalid characters."},
      {"savegame \"../up\"", "Filename contains invalid characters."},
      {"savegame", "Usage: savegame <x>"},
      {"loadgame nosuch", "Unable to read header from file."},
      {"loadgame abcdefghijklmnopqrstuvwxyz1", "waits for the next level start"},
  };
  for (const Case& c : cases) {
    Said.clear();
    console_execute(c.line);
    EXPECT_NE(last_said().find(c.answer), std::string::npos) << c.line << " said: " << last_said();
  }
  EXPECT_EQ(std::string(Save_image.pending_name), "abcdefghijklmnopqrstuvwxyz1.sav");
  Level_script_current = level_script_info_lookup("KhosaniLab");
  Said.clear();
  console_execute("savegame t2");
  EXPECT_NE(last_said().find("Cannot save in this area."), std::string::npos);
  Level_script_current = -1;
  game_state_reset();
  console_set_output_hook(nullptr);
}

TEST_F(Saves, AGameKilledWhileWritingLeavesThePreviousSaveLoadable) {
  ASSERT_TRUE(save_write("crash.sav", "before"));
  const std::vector<uint8_t> before = file("crash.sav");
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The child writes a new save through the same file layer and is killed
    // halfway, as a player's machine losing power would.
    FileHandle f;
    if (f.open("crash.sav", VF_WRITE, Savegame_path_type) != VF_OK) _exit(3);
    f.write(Save_image.buffer, Save_image.cursor / 2);
    raise(SIGKILL);
    _exit(4);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(file("crash.sav"), before);
  EXPECT_TRUE(save_read("crash.sav", 0));
}

TEST_F(Saves, ThePartyInventoryRoundTrips) {
  item_pool_init();
  party_inventory_init();
  Party_inventory.gold = 777;
  party_inventory_add_by_index(1, 2, -1, false);
  party_inventory_add_by_index(3, 1, -1, false);
  struct Held {
    const Item_info* info;
    uint32_t count;
    int32_t charges;
    bool operator==(const Held& o) const { return info == o.info && count == o.count && charges == o.charges; }
  };
  auto held = [] {
    std::vector<Held> h;
    for (int i = 0; i < Party_inventory.count; i++) {
      const InventoryEntry& e = Party_inventory.entries[i];
      h.push_back({e.item->info, e.count, e.item->charges});
    }
    return h;
  };
  const std::vector<Held> before = held();
  ASSERT_FALSE(before.empty());
  ASSERT_TRUE(save_write("inv.sav", "inventory"));
  party_inventory_clear();
  Party_inventory.gold = 0;
  ASSERT_TRUE(save_read("inv.sav", 0));
  EXPECT_EQ(Party_inventory.gold, 777u);
  EXPECT_TRUE(held() == before);
  // The part as the format lays it out: tag, gold, count, then 12 bytes an entry.
  const uint8_t* p = save_section(SEC_INVENTORY);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(p), 4), "INVT");
  EXPECT_EQ(save_get_u32(p + 4), 777u);
  EXPECT_EQ(save_get_u32(p + 8), before.size());
  EXPECT_EQ(save_get_u32(p + 12), name_checksum(before[0].info->name));
  EXPECT_EQ(save_get_u32(p + 12 + 12 * before.size()), 16 + 12 * before.size());
}

// The game's level services keep a door's open and locked bits in the saved
// game, under the current level and script: a lock picked before a save is
// picked after the load, and one still locked at the save is locked again
// after a new game. A level the saved game keeps no states for leaves the
// bits to the level's own table and writes nothing into the image.
TEST_F(Saves, ADoorsLockedBitLivesInTheSavedGame) {
  script_host_install_game();
  level_two_stage_reset();
  const int masad = level_script_info_lookup("masad");
  ASSERT_GE(masad, 0);
  Level_script_current = masad;
  level_position_set_level("masad", "start");
  const int before = two_stage_count(masad);

  level_two_stage_set("Storeroom_Door", false, true);  // locked as the level made it
  level_two_stage_set("gate02", true, false);
  level_two_stage_set("Storeroom_Door", false, false);  // its lock picked
  EXPECT_EQ(two_stage_count(masad), before + 2);
  bool open = true, locked = true;
  ASSERT_TRUE(two_stage_state_get_key(masad, name_checksum("startstoreroom_door"), &open, &locked));
  EXPECT_FALSE(open);
  EXPECT_FALSE(locked);
  ASSERT_TRUE(save_write("door.sav", "door"));

  // A new game forgets it; the load brings it back.
  savegame_layout();
  EXPECT_FALSE(level_two_stage_get("storeroom_door", &open, &locked));
  ASSERT_TRUE(save_read("door.sav", 0));
  Level_script_current = masad;
  ASSERT_TRUE(level_two_stage_get("STOREROOM_DOOR", &open, &locked));
  EXPECT_FALSE(open);
  EXPECT_FALSE(locked);
  ASSERT_TRUE(level_two_stage_get("gate02", &open, &locked));
  EXPECT_TRUE(open);

  // Without a place in the saved game the level's own table answers.
  Level_script_current = -1;
  level_position_set_level("demo_indoor", "demo_indoor");
  const std::vector<uint8_t> kept = image();
  level_two_stage_set("storeroom_door", true, true);
  ASSERT_TRUE(level_two_stage_get("storeroom_door", &open, &locked));
  EXPECT_TRUE(open);
  EXPECT_TRUE(locked);
  EXPECT_EQ(image(), kept);

  level_set_services(LevelServices{});
  script_host_install(nullptr);
  level_two_stage_reset();
  Level_script_current = -1;
}
