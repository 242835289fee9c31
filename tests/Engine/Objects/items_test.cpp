#include "Engine/Objects/items.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Engine/Objects/item_paging.h"
#include "Engine/characterinfo/saved_names.h"
#include "tests/support/critical_error_trap.h"
#include "tests/support/game_tables.h"
#include "tools/writers/table_writers.h"

namespace {

struct Networked {
  Networked() { game_flags_set(GF_NETWORKED); }
  ~Networked() { game_flags_clear(GF_NETWORKED); }
};

// Loads items.tbl text with the demo's spells and materials; the fatal
// message, or "".
std::string load_items(const std::vector<ItemRecord>& items) {
  load_demo_spells_and_items();
  const std::string text = table_items_text(items);
  try {
    items_load_text("items.tbl", text.data(), static_cast<int>(text.size()));
  } catch (const CriticalErrorThrown& e) {
    return e.text;
  }
  return "";
}

class Items : public ::testing::Test {
 protected:
  void SetUp() override {
    load_demo_spells_and_items();
    saved_names_clear();
    item_pool_init();
  }
  std::string describe(const char* name) {
    item_instance* item = item_create_by_name(name);
    EXPECT_NE(item, nullptr) << name;
    std::string text = item_describe(item);
    item_free(item);
    return text;
  }
  CriticalErrorTrap trap;
};

}  // namespace

TEST_F(Items, MaterialsAndTheDemoItemsRead) {
  EXPECT_EQ(Materials[16].index, 16);
  EXPECT_FLOAT_EQ(Materials[2].weight_multiplier, 1.2f);
  EXPECT_FLOAT_EQ(Materials[16].protection_multiplier, 1.32f);
  EXPECT_EQ(Num_item_infos, static_cast<int>(table_demo_items().size()));
  const Item_info& sword = Item_infos[item_lookup("LONG SWORD")];
  EXPECT_EQ(sword.type, ITEM_WEAPON);
  EXPECT_EQ(sword.slot, SLOT_WEAPON);
  EXPECT_EQ(sword.weapon.skill, 3);
  EXPECT_EQ(sword.weapon.weapon_class, 2);
  EXPECT_FLOAT_EQ(sword.weapon.weight, 0.2f);
  EXPECT_FLOAT_EQ(sword.weapon.render_distance, 1.0f);
  EXPECT_EQ(sword.weapon.elemental_damage, -1);
  EXPECT_EQ(sword.default_material, 13);
  EXPECT_TRUE(weapon_is_ranged(Item_infos[item_lookup("Hunting Bow")].weapon));
  const Item_info& mail = Item_infos[item_lookup("Chain Mail")];
  EXPECT_EQ(mail.restriction, RESTRICT_ZAZURU | RESTRICT_RIVUD);
  ASSERT_NE(mail.skill_mods[0], nullptr);
  EXPECT_EQ(mail.skill_mods[0]->skill, 11);
  EXPECT_FLOAT_EQ(mail.skill_mods[0]->fraction, -0.1f);
  EXPECT_EQ(mail.skill_mods[1], nullptr);
  const Item_info& amulet = Item_infos[item_lookup("cloudy amulet#amulet of shadows")];
  EXPECT_EQ(amulet.flags & (IF_NOT_IDENTIFIED | IF_WAS_UNIDENTIFIED | IF_STEALTH),
            IF_NOT_IDENTIFIED | IF_WAS_UNIDENTIFIED | IF_STEALTH);
  EXPECT_EQ(amulet.status_levels[4], 3) << "Bless gives status 4 at level 3";
  const Item_info& tonic = Item_infos[item_lookup("Health Tonic")];
  ASSERT_NE(tonic.use_effect, nullptr);
  EXPECT_EQ(tonic.use_effect->level, -1);
  EXPECT_FLOAT_EQ(tonic.use_effect->disposable, 1.0f);
  EXPECT_TRUE(item_is_consumed(&tonic));
  EXPECT_TRUE(item_is_consumed(&Item_infos[item_lookup("Gold")])) << "no use effect: consumed";
  EXPECT_EQ(Item_infos[item_lookup("Servant's Blouse")].armor.textures[1][0], std::string("servant_body_z.tga"));
  EXPECT_EQ(item_lookup_by_checksum(name_checksum("leather bag")), item_lookup("Leather Bag"));
  EXPECT_EQ(item_lookup_by_checksum(12345u), -1);
  EXPECT_EQ(hero_model_index("Heavy Rivud"), 5);
  EXPECT_NE(Item_tables_checksum, 0u);
}

TEST_F(Items, DisplayNamesFollowIdentification) {
  const Item_info* amulet = &Item_infos[item_lookup("Cloudy Amulet#Amulet of Shadows")];
  EXPECT_EQ(item_display_name(amulet), "Cloudy Amulet");
  {
    Networked net;
    EXPECT_EQ(item_display_name(amulet), "Amulet of Shadows");
  }
  Item_infos[item_lookup("Cloudy Amulet#Amulet of Shadows")].flags &= static_cast<uint16_t>(~IF_NOT_IDENTIFIED);
  EXPECT_EQ(item_display_name(amulet), "Amulet of Shadows");
  item_reset_identification();
  EXPECT_EQ(item_display_name(amulet), "Cloudy Amulet");
  EXPECT_EQ(item_display_name(&Item_infos[item_lookup("Gold")]), "Gold");
  char small[6];
  item_display_name(small, sizeof small, amulet);
  EXPECT_STREQ(small, "Cloud");
}

TEST_F(Items, DescriptionsLineByLine) {
  const struct {
    const char* item;
    const char* text;
  } cases[] = {
      {"Long Sword", "Value: 120 gp\nDamage: 10\nSpeed: 0.80\nSkill Req: Sword, Heavy Arms 2\n"
                     "Equippable by: Ruvizo, Zazuru, Rivud, Rivadara\n"},
      {"Chain Mail", "Value: 250 gp\nProtection: 12\ndodge: -1\nResist slashing: +2\nMaxHP: +5\n"
                     "Skill Req: Heavy Arms 3\nEquippable by: Zazuru, Rivud\n"},
      {"Cloudy Amulet#Amulet of Shadows", "Value: 400 gp\nStatus: Stealth, Blessed\n"
                                          "Equippable by: Ruvizo, Zazuru, Rivud, Rivadara\n"},
      {"Health Tonic", "Value: 25 gp\nCharges: Heal (1/1)\nEquippable by: Ruvizo, Zazuru, Rivud, Rivadara\n"},
      {"Worn Katana#Katana of the Pit", "Value: 300 gp\nDamage: 12\nSpeed: 1.11\nEffect: Fireball\n"
                                        "Skill Req: Sword\nEquippable by: Ruvizo, Zazuru, Rivud, Rivadara\n"},
      {"Ring of Fire", "Summoning Ring\nRing Power: 0\nAvailable Summons:\n  Red Minotaur\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(describe(c.item), c.text) << c.item;

  level_int_set(SAVED_GAME_WIDE_LEVEL, "fire_ring_xp", 60000);
  level_int_set(SAVED_GAME_WIDE_LEVEL, "dark_ring_xp", 90000);
  EXPECT_EQ(describe("Ring of Fire"), "Summoning Ring\nRing Power: 60000\nAvailable Summons:\n  Red Minotaur\n  Blood Elemental\n");
  EXPECT_EQ(describe("Ring of Darkness"), "Summoning Ring\nRing Power: 90000\nAvailable Summons:\n  Blackfire Elemental\n")
      << "the darkness ring's second summon needs Laharah's spirit, whatever its power";
  level_flag_set(SAVED_GAME_WIDE_LEVEL, "got_laharah_spirit", true);
  EXPECT_NE(describe("Ring of Darkness").find("  Spirit of Laharah\n"), std::string::npos);
}

TEST_F(Items, NetworkedGamesRenameTwoSkillsInDescriptions) {
  std::vector<ItemRecord> items = table_demo_items();
  ItemRecord gloves;
  gloves.name = "Thief Gloves";
  gloves.slot = "hands";
  gloves.before_type_part = "+Skill Mod: \"appraise\" 30\r\n+Skill Mod: \"pick lock\" 20\r\n";
  items.push_back(gloves);
  ASSERT_EQ(load_items(items), "");
  EXPECT_NE(describe("Thief Gloves").find("appraise: +3\npick lock: +2\n"), std::string::npos);
  Networked net;
  EXPECT_NE(describe("Thief Gloves").find("aimed attack: +3\ndark: +2\n"), std::string::npos);
}

TEST_F(Items, UseRulesByHeroAndSkill) {
  const Item_info* sword = &Item_infos[item_lookup("Long Sword")];
  const Item_info* mail = &Item_infos[item_lookup("Chain Mail")];
  ItemUser hero;
  hero.kind = HERO_RIVUD;
  hero.object_type = 7;
  hero.weapon_classes = 1u << 2;
  hero.skill_level = [](const ItemUser&, int skill) { return skill == 3 ? 2 : 0; };
  EXPECT_FALSE(item_can_use(hero, sword)) << "a weight above 0 needs heavy arms";
  hero.skill_level = [](const ItemUser&, int skill) { return skill == 3 ? 2 : skill == 8 ? 5 : 0; };
  EXPECT_TRUE(item_can_use(hero, sword));
  hero.weapon_classes = 1u << 1;
  EXPECT_FALSE(item_can_use(hero, sword)) << "class not allowed";
  hero.kind = HERO_RUVIZO;
  EXPECT_FALSE(item_can_use(hero, mail)) << "restricted to Zazuru and Rivud";
  EXPECT_FALSE(item_hero_may_use(hero, mail));
  ItemUser creature;
  EXPECT_TRUE(item_can_use(creature, mail)) << "not a player character";
  EXPECT_FALSE(item_can_use(creature, &Item_infos[item_lookup("Gold")])) << "no slot";
  EXPECT_FALSE(item_can_use(creature, &Item_infos[item_lookup("Cloudy Amulet#Amulet of Shadows")]))
      << "not identified";
}

// Table rules: each case's items.tbl text ends in the error given, or loads.
TEST_F(Items, GrammarAndLimitsTable) {
  auto base = [] {
    std::vector<ItemRecord> v = table_demo_items();
    return v;
  };
  auto extra = [&](const std::string& lines) {
    std::vector<ItemRecord> v = base();
    v[0].before_type_part = lines;
    return v;
  };
  std::string five_skills, three_stats;
  for (int i = 0; i < 5; i++) five_skills += "+Skill Mod: \"dodge\" 5\r\n";
  for (int i = 0; i < 3; i++) three_stats += "+Stat Mod: MaxAP 1\r\n";
  std::vector<ItemRecord> bad_type = base();
  bad_type[0].type = "Food";
  auto weapon = [&](int damage) {
    std::vector<ItemRecord> v = base();
    ItemRecord w;
    w.name = "Test Blade";
    w.type = "Weapon";
    w.type_part = table_weapon_part("sword weapons", "swords", damage, "slashing", 1.0f, 1.5f, 0.0f, "iron");
    v.push_back(w);
    return v;
  };
  std::vector<ItemRecord> long_text = base();
  long_text[0].description = std::string(600, 'x');
  const struct {
    const char* what;
    std::vector<ItemRecord> items;
    const char* error;
  } cases[] = {
      {"demo table", base(), ""},
      {"four skill modifiers fit", extra(five_skills.substr(0, five_skills.size() / 5 * 4)), ""},
      {"fifth skill modifier", extra(five_skills), "Expected at most 4 skill modifiers"},
      {"third stat modifier", extra(three_stats), "Expected at most 2 stat modifiers"},
      {"effect without a status slot", extra("+Effect: \"Fireball\"\r\n"), "Expected a spell whose status an item can give"},
      {"effect of status 16", extra("+Effect: \"Spell 36\" 2\r\n"), "Expected a spell whose status an item can give"},
      {"unknown spell", extra("+Charge Effect: \"Nope\" 1 0\r\n"), "Expected the name of a spell of spells.tbl"},
      {"unknown type", bad_type, "Expected \"Weapon\", \"Armor\" or \"Misc\""},
      {"text too long", long_text, "Not enough storage provided (512) for parsed C string (len=600)"},
      {"key out of place", extra("+Stealth\r\n+Skill Mod: \"dodge\" 5\r\n"), "Expected \"$Name:\""},
      {"damage past its field", weapon(70000), "Expected a number from 0 to 65535 for $Damage:"},
      {"negative damage", weapon(-1), "Expected a number from 0 to 65535 for $Damage:"},
      {"the largest damage", weapon(65535), ""},
  };
  for (const auto& c : cases) {
    const std::string error = load_items(c.items);
    if (!*c.error) EXPECT_EQ(error, "") << c.what;
    else EXPECT_NE(error.find(c.error), std::string::npos) << c.what << ": " << error;
  }
}

TEST_F(Items, PropOnlyWeaponsEndEarlyAndArmourTexturesFollowTheRules) {
  std::vector<ItemRecord> items = table_demo_items();
  ItemRecord armour;
  armour.name = "Plate";
  armour.type = "Armor";
  armour.slot = "hands";
  armour.before_type_part = "+Restricted: Ruvizo Rivadara\r\n";
  armour.type_part = table_armor_part(1, 0, 5, "iron",
                                      "+Ruvizo Texture: \"r_body.tga\"\r\n+Ruvizo Cape Texture: \"r_cape.tga\"\r\n"
                                      "+Ruvizo One Hand Texture: \"r_hand.tga\"\r\n+Rivud Texture: \"v_body.tga\"\r\n"
                                      "+Rivadara Heavy Texture: \"a_heavy.tga\"\r\n");
  items.push_back(armour);
  ASSERT_EQ(load_items(items), "");
  const Item_info& prop = Item_infos[item_lookup("Torch Prop")];
  EXPECT_EQ(prop.weapon.flags, WF_PROP_ONLY);
  EXPECT_EQ(prop.description, nullptr);
  EXPECT_GE(item_lookup("Slave Pit Key"), 0) << "the entry after the prop-only weapon reads normally";
  const ArmorPart& a = Item_infos[item_lookup("Plate")].armor;
  EXPECT_STREQ(a.textures[0][0], "r_body.tga");
  EXPECT_STREQ(a.textures[0][1], "r_hand.tga") << "one hand fits the hands slot; a cape does not";
  EXPECT_STREQ(a.textures[4][1], "r_hand.tga") << "the heavy variant takes the light body and hand";
  EXPECT_EQ(a.textures[2][0], nullptr) << "Rivud is not allowed this item";
  EXPECT_EQ(a.textures[7][0], nullptr) << "a heavy line does not fit the hands slot";
}

TEST_F(Items, EntriesPastTheTableAreReadAndDropped) {
  std::vector<ItemRecord> items;
  for (int i = 0; i < MAX_ITEM_INFO + 1; i++) {
    ItemRecord r;
    r.name = "Pebble " + std::to_string(i);
    items.push_back(r);
  }
  ASSERT_EQ(load_items(items), "");
  EXPECT_EQ(Num_item_infos, MAX_ITEM_INFO);
  EXPECT_EQ(item_lookup("Pebble 520"), 520);
  EXPECT_EQ(item_lookup("Pebble 521"), -1);
  items.back().tail = "+Bogus\r\n";
  EXPECT_NE(load_items(items).find("Expected \"$Name:\""), std::string::npos) << "the dropped entry is still checked";
}

TEST_F(Items, AFullItemBlockIsATableErrorNotACrash) {
  std::vector<ItemRecord> items;
  for (int i = 0; i < 300; i++) {
    ItemRecord r;
    r.name = "Scroll " + std::to_string(i);
    r.description = std::string(400, 'd');
    items.push_back(r);
  }
  const std::string error = load_items(items);
  EXPECT_NE(error.find("Expected an item table that fits its 69632-byte memory block"), std::string::npos) << error;
}

// A second free of one instance is refused: the instance would otherwise be
// on the free list twice and handed to two owners.
TEST_F(Items, FreeingAnInstanceTwiceIsRefused) {
  const int gold = item_lookup("Gold");
  item_instance* a = item_create(gold);
  item_instance* b = item_create(gold);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(Num_live_items, 2);
  item_free(a);
  item_free(a);
  EXPECT_EQ(Num_live_items, 1);
  item_instance* c = item_create(gold);
  item_instance* d = item_create(gold);
  EXPECT_EQ(c, a);
  EXPECT_NE(d, a);
  EXPECT_NE(d, b);
  EXPECT_EQ(Num_live_items, 3);
}

TEST_F(Items, InstancePoolRunsOutSoftly) {
  const int gold = item_lookup("Gold");
  std::vector<item_instance*> taken;
  for (int i = 0; i < MAX_ITEM_INSTANCES; i++) {
    item_instance* it = item_create(gold);
    ASSERT_NE(it, nullptr) << i;
    taken.push_back(it);
  }
  EXPECT_EQ(Num_live_items, MAX_ITEM_INSTANCES);
  EXPECT_EQ(item_create(gold), nullptr);
  item_free(taken.back());
  item_instance* again = item_create(gold);
  EXPECT_EQ(again, taken.back());
  EXPECT_EQ(again->spare, -1);
  EXPECT_EQ(item_create(-1), nullptr);
  EXPECT_EQ(item_create(Num_item_infos), nullptr);
  EXPECT_EQ(item_create_by_name("nothing"), nullptr);
  item_instance* tonic = item_create_by_name("Health Tonic");
  ASSERT_EQ(tonic, nullptr) << "the pool is full again";
  item_pool_init();
  tonic = item_create_by_name("health tonic");
  ASSERT_NE(tonic, nullptr);
  EXPECT_EQ(tonic->charges, 1);
  EXPECT_TRUE(item_is_usable(tonic));
  EXPECT_TRUE(item_can_destroy(tonic));
}
