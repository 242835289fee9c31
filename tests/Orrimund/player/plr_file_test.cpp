// Player files: a fixture written byte by byte from the file's layout, the
// refusals of odd files, file names made safe, and creating, saving and
// applying files of party members in a players' folder of the test's own.
#include "Orrimund/player/plr_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "Engine/Objects/inventory.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/gameflags.h"
#include "Orrimund/fs_paths.h"
#include "Orrimund/player/party.h"
#include "quarn/vfile/vfile.h"
#include "tests/support/le_bytes.h"
#include "tests/support/test_files.h"
#include "tests/support/world_kit.h"

namespace {

using Bytes = LeBytes;

// A saved hero, field by field in the file's order.
Bytes fixture(uint32_t version = 8) {
  Bytes f;
  f.u32(0x52594C50).u32(version).str("Zazuru").u32(1).u32(0x40).str("A steady blade.").u16(6).u32(21000);
  f.f32(72.0f).u16(26).u32(3);
  for (int s = 0; s < 9; s++) f.u32(s == 5 ? 7u : 0xFFFFFFFFu);
  f.u32(2).u32(3).u32(4).u32(1).u32(4).u32(1).u32(0xFFFFFFFFu);
  f.u32(1234);
  for (int s = 0; s < 36; s++) f.u8(s == 2 ? 10 : s % 7 == 0 ? 20 : 0);
  f.u32(2).u32(14).u32(25).u32(0).u32(15).u32(0).u32(0xFFFFFFFFu);
  for (int h = 0; h < 6; h++) f.u32(h == 1 ? 2 : 0).u32(h == 1 ? 55 : 0xFFFFFFFFu);
  return f;
}

TEST(Plr_codec, FixtureReadsFieldByFieldAndWritesBackByteForByte) {
  const Bytes f = fixture();
  PlrData d;
  ASSERT_EQ(plr_decode(f.b.data(), static_cast<int>(f.b.size()), &d), PLR_OK);
  EXPECT_STREQ(d.header.name, "Zazuru");
  EXPECT_EQ(d.header.hero_type, 1u);
  EXPECT_EQ(d.header.member_value, 0x40u);
  EXPECT_STREQ(d.header.description, "A steady blade.");
  EXPECT_EQ(d.header.level, 6);
  EXPECT_EQ(d.experience, 21000u);
  EXPECT_EQ(d.max_hp, 72.0f);
  EXPECT_EQ(d.max_ap, 26);
  EXPECT_EQ(d.unspent, 3u);
  EXPECT_EQ(d.equipment[5], 7);
  EXPECT_EQ(d.equipment[0], -1);
  ASSERT_EQ(d.inventory.size(), 2u);
  EXPECT_EQ(d.inventory[1].charges, -1);
  EXPECT_EQ(d.gold, 1234u);
  EXPECT_EQ(d.skills[2], 10);
  EXPECT_EQ(d.skills[14], 20);
  ASSERT_EQ(d.chains.size(), 2u);
  EXPECT_EQ(d.chains[1].slot, -1);
  EXPECT_EQ(d.hot[1].kind, 2u);
  EXPECT_EQ(d.hot[1].value, 55);
  EXPECT_EQ(d.hot[0].value, -1);
  EXPECT_EQ(plr_encode(d), f.b);
  PlrHeader h;
  ASSERT_EQ(plr_decode_header(f.b.data(), static_cast<int>(f.b.size()), &h), PLR_OK);
  EXPECT_EQ(h.level, 6);
}

TEST(Plr_codec, OddFilesAreRefusedWithTheirCode) {
  const Bytes good = fixture();
  PlrData d;
  Bytes v7 = fixture(7);
  EXPECT_EQ(plr_decode(v7.b.data(), static_cast<int>(v7.b.size()), &d), PLR_OLD_VERSION);
  std::vector<uint8_t> magic = good.b;
  magic[0] = 'X';
  EXPECT_EQ(plr_decode(magic.data(), static_cast<int>(magic.size()), &d), PLR_BAD_MAGIC);
  for (size_t cut = 0; cut < good.b.size(); cut++)
    ASSERT_EQ(plr_decode(good.b.data(), static_cast<int>(cut), &d), PLR_MALFORMED) << cut;
  std::vector<uint8_t> extra = good.b;
  extra.push_back(0);
  EXPECT_EQ(plr_decode(extra.data(), static_cast<int>(extra.size()), &d), PLR_MALFORMED);
  // A name without its NUL in 32 bytes would leave the reader inside it.
  Bytes long_name;
  long_name.u32(0x52594C50).u32(8).str("An exceedingly long hero name that runs on");
  std::vector<uint8_t> tail(good.b.begin() + 8 + 7, good.b.end());
  long_name.b.insert(long_name.b.end(), tail.begin(), tail.end());
  EXPECT_EQ(plr_decode(long_name.b.data(), static_cast<int>(long_name.b.size()), &d), PLR_MALFORMED);
  // Counts beyond the tables.
  const size_t inventory_count = 8 + 7 + 8 + 16 + 2 + 4 + 4 + 2 + 4 + 36;
  std::vector<uint8_t> many = good.b;
  many[inventory_count] = 0x58;
  many[inventory_count + 1] = 0x02;  // 600
  EXPECT_EQ(plr_decode(many.data(), static_cast<int>(many.size()), &d), PLR_MALFORMED);
}

TEST(Plr_codec, HeroNamesMakeSafeFileNames) {
  const struct {
    const char* name;
    const char* file;
  } cases[] = {{"Zazuru", "Zazuru.plr"},
               {"Sir Ammund", "Sir Ammund.plr"},
               {"../../etc/passwd", "______etc_passwd.plr"},
               {"a\\b:c", "a_b_c.plr"},
               {"..", ""},
               {"", ""},
               {"   ", ""}};
  for (const auto& c : cases) EXPECT_EQ(plr_file_name(c.name), c.file) << c.name;
}

class Plr_files : public WorldTest {
 protected:
  void SetUp() override {
    vfile_shutdown();
    root = fresh_temp_dir("plr");
    vfile_set_root(root.c_str(), false);
    fs_register_path_types();
    GameFlags = GF_SINGLE_PLAYER;
    party_init();
    for (int i = 0; i < 4; i++) kit.set_party_start(i, vector{static_cast<float>(i) * 2, 0, 0}, 0.0f);
  }
  void TearDown() override {
    party_free_all();
    vfile_shutdown();
    std::filesystem::remove_all(root);
  }
  std::vector<uint8_t> file(const char* name) { return read_file_bytes(root / "players" / name); }
  std::filesystem::path root;
};

TEST_F(Plr_files, NewCharacterHasTwoStacksThirtyGoldAndItsChainSkills) {
  ASSERT_EQ(plr_create("Zazuru", 1, "Fresh"), PLR_OK);
  const std::vector<uint8_t> bytes = file("Zazuru.plr");
  PlrData d;
  ASSERT_EQ(plr_decode(bytes.data(), static_cast<int>(bytes.size()), &d), PLR_OK);
  EXPECT_EQ(d.version, 8u);
  EXPECT_EQ(d.header.level, 1);
  ASSERT_EQ(d.inventory.size(), 2u);
  EXPECT_EQ(static_cast<int>(d.inventory[0].item), item_lookup("Health Tonic"));
  EXPECT_EQ(d.inventory[0].count, 3u);
  EXPECT_EQ(static_cast<int>(d.inventory[1].item), item_lookup("Book of Novices"));
  EXPECT_EQ(d.inventory[1].charges, -1);
  EXPECT_EQ(d.gold, 30u);
  EXPECT_EQ(d.skills[2], 10);
  ASSERT_EQ(d.chains.size(), 4u);
  const Character_info& z = Character_infos[kit.type("Zazuru")];
  EXPECT_EQ(d.chains[0].skill, z.chain[0]);
  EXPECT_EQ(d.chains[1].skill, z.chain[2]);
  EXPECT_EQ(d.chains[1].slot, 3);
  EXPECT_EQ(d.equipment[5], z.default_weapons[0]);
  for (const auto& h : d.hot) EXPECT_EQ(h.value, -1);
  EXPECT_EQ(plr_create("Zazuru", 1, "Again"), PLR_EXISTS);
  EXPECT_EQ(file("Zazuru.plr"), bytes) << "the existing file is left alone";
}

TEST_F(Plr_files, SavedMemberAppliesBackAndVersionSevenChangesNothing) {
  living_entity* hero = hero_create("Zazuru", 1, true, true, -1);
  ASSERT_TRUE(hero);
  PlayerRecord* member = party_find_member(hero->handle);
  hero->level = 5;
  hero->experience = 15000;
  hero->max_hp_base = 80.0f;
  hero->stats[14] = 30;
  Party_inventory.gold = 77;
  ASSERT_EQ(plr_save_member(member), PLR_OK);
  PlrHeader h;
  ASSERT_EQ(plr_read_header(&h, "Zazuru.plr"), PLR_OK);
  EXPECT_STREQ(h.description, "No description");
  EXPECT_EQ(h.level, 5);

  hero->level = 1;
  hero->experience = 0;
  hero->stats[14] = 0;
  Party_inventory.gold = 0;
  ASSERT_EQ(plr_apply(hero, "Zazuru.plr"), PLR_OK);
  EXPECT_EQ(hero->level, 5);
  EXPECT_EQ(hero->experience, 15000u);
  EXPECT_EQ(hero->max_hp_base, 80.0f);
  EXPECT_EQ(hero->hp, 80.0f);
  EXPECT_EQ(hero->stats[14], 30);
  EXPECT_EQ(Party_inventory.gold, 77u);
  EXPECT_TRUE(hero->equipment[EQ_WEAPON]);

  const Bytes v7 = fixture(7);
  std::ofstream(root / "players" / "Old.plr", std::ios::binary)
      .write(reinterpret_cast<const char*>(v7.b.data()), static_cast<std::streamsize>(v7.b.size()));
  hero->level = 2;
  EXPECT_EQ(plr_read_header(&h, "Old.plr"), PLR_OLD_VERSION);
  EXPECT_EQ(plr_apply(hero, "Old.plr"), PLR_OLD_VERSION);
  EXPECT_EQ(hero->level, 2);
  EXPECT_EQ(Party_inventory.gold, 77u);
  EXPECT_EQ(plr_read_header(&h, "Missing.plr"), PLR_CANNOT_OPEN);
}

}  // namespace
