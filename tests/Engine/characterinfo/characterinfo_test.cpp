#include "Engine/characterinfo/characterinfo.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "Engine/characterinfo/alt_textures.h"
#include "Engine/characterinfo/skills.h"
#include "Engine/characterinfo/spells.h"
#include "quarn/os/crc32.h"
#include "quarn/parse/parse.h"
#include "tests/support/critical_error_trap.h"
#include "tests/support/game_tables.h"
#include "tools/writers/table_writers.h"

namespace {

class CharacterTables : public ::testing::Test {
 protected:
  void SetUp() override { load_demo_spells_and_items(); }
  CriticalErrorTrap trap;
};

// The message of the fatal error a text ends in ("" when it loads).
std::string load_error(const std::string& text) {
  try {
    load_character(text);
  } catch (const CriticalErrorThrown& e) {
    return e.text;
  }
  return "";
}

std::string minimal(const std::string& name, const std::string& before_end = "") {
  CharacterRecord c = table_demo_creature(name.c_str(), false);
  c.tail = before_end;
  return table_character_text(c);
}

int list_length(const Move_info* m) {
  int n = 0;
  for (; m; m = m->next) n++;
  return n;
}

}  // namespace

TEST(CharacterWords, VariationListIsCompleteUniqueAndKeepsTheFixedNumbers) {
  std::set<std::string> seen;
  EXPECT_EQ(Variation_names[0], nullptr);
  for (int i = 1; i < NUM_VARIATIONS; i++) {
    ASSERT_NE(Variation_names[i], nullptr) << i;
    EXPECT_TRUE(seen.insert(Variation_names[i]).second) << "duplicate " << Variation_names[i];
  }
  const struct {
    int index;
    const char* name;
  } fixed[] = {{1, "variation 1"},  {30, "variation 30"}, {31, "ranged_attack low"}, {40, "cloaked_to_ready"},
               {41, "heal"},        {128, "summon forest"}, {129, "status"},         {130, "area"},
               {131, "Deviziv bite"}, {139, "Deviziv teleport in"}, {140, "flail"},  {143, "tripped lie down"},
               {145, "pushed"},     {166, "turn right"},    {167, "gsal swipe 1"},   {193, "phoenix burning hands"}};
  for (const auto& f : fixed) EXPECT_STREQ(Variation_names[f.index], f.name) << f.index;
}

TEST(CharacterWords, BareWordsTakeTheLongestEntryAtAWordBoundary) {
  const struct {
    const char* text;
    const char* const* names;
    int count;
    int expected;
  } cases[] = {
      {"variation 1 \n", Variation_names, NUM_VARIATIONS, 1},
      {"variation 12\n", Variation_names, NUM_VARIATIONS, 12},
      {"tripped lie down\n", Variation_names, NUM_VARIATIONS, 143},
      {"READY\n", Variation_names, NUM_VARIATIONS, 147},
      {"ready hurt\n", Variation_names, NUM_VARIATIONS, 149},
      {"ready_to_stand\n", Variation_names, NUM_VARIATIONS, 36},
      {"\"walk up stairs\"\n", Variation_names, NUM_VARIATIONS, 163},
      {"large swords\n", Weapon_class_names, NUM_WEAPON_CLASSES, 2},
      {"generic 1 12\n", Trigger_type_names, NUM_TRIGGER_TYPES, 2},
      {"impact start 9\n", Trigger_type_names, NUM_TRIGGER_TYPES, 7},
      {"walkabout\n", Variation_names, NUM_VARIATIONS, -1},
      {"\"swords\n", Weapon_class_names, NUM_WEAPON_CLASSES, -1},
  };
  for (const auto& c : cases) {
    ParseContext pc;
    pc.open_memory("w.tbl", c.text, strlen(c.text));
    EXPECT_EQ(optional_word(pc, c.names, c.count), c.expected) << c.text;
  }
}

TEST(CharacterWords, ResistanceFactorsRunFromWeakToHealing) {
  const float expected[] = {-1.0f, -0.5f, 0.0f, 0.5f, 1.0f, 1.5f};
  for (int level = 0; level < NUM_RESIST_LEVELS; level++) EXPECT_FLOAT_EQ(charinfo_resistance_factor(level), expected[level]);
  EXPECT_FLOAT_EQ(charinfo_resistance_factor(9), 0.0f);
}

TEST_F(CharacterTables, HeroTableFillsTheRecord) {
  CharacterRecord hero = table_demo_hero(HERO_RIVUD);
  hero.flags = "+Edged:\r\n+Flying\r\n";
  hero.after_weapons = "$Damage: 7\r\n+Special ability: \"Blind\" 25 3\r\n+Reflex ability: \"heal\" 50\r\n";
  hero.resistances = "fire weak\r\nice strengthen\r\n";
  hero.tail += "+CharacterLightPos: \"$light\"\r\n+LightColor: (1.0 0.5 0.25)\r\n+LightAtten: 4.5\r\n";
  const std::string text = table_character_text(hero);
  Character_info* ci = load_character(text);
  EXPECT_STREQ(ci->name, "Rivud");
  EXPECT_EQ(ci->kind, 2);
  EXPECT_EQ(ci->team, 0);
  EXPECT_EQ(ci->size, 1);
  EXPECT_EQ(ci->max_hit_points, 60);
  EXPECT_EQ(ci->flags & (CIF_EDGED | CIF_FLYING), CIF_EDGED | CIF_FLYING);
  EXPECT_EQ(ci->flags & (CIF_NOTRIP | CIF_NOPUSH), 0u) << "the hero has the tripped and pushed moves";
  EXPECT_FLOAT_EQ(ci->speedup_rate, 2.0f);
  EXPECT_FLOAT_EQ(ci->slowdown_rate, 3.0f);
  EXPECT_FLOAT_EQ(ci->intelligence, 0.5f);
  EXPECT_FLOAT_EQ(ci->icon_height, 2.0f);
  EXPECT_EQ(ci->damage, 7);
  EXPECT_EQ(ci->special_spell, spell_find_by_name("Blind"));
  EXPECT_FLOAT_EQ(ci->special_chance, 0.25f);
  EXPECT_EQ(ci->special_extra, 3);
  EXPECT_EQ(ci->reflex_spell, 0);
  EXPECT_EQ(ci->reflex_extra, 0);
  EXPECT_EQ(ci->resistances[DAMAGE_FIRE], RESIST_WEAK);
  EXPECT_EQ(ci->resistances[DAMAGE_ICE], RESIST_STRENGTHEN);
  EXPECT_EQ(ci->resistances[DAMAGE_BLUNT], RESIST_STANDARD);
  EXPECT_EQ(ci->default_weapon_count, 1);
  EXPECT_EQ(ci->default_weapons[0], item_lookup("Short Sword"));
  EXPECT_EQ(ci->default_weapon_materials[0], 13);  // iron
  // Up, down, right, left in the record; the table gives up, down, left, right.
  EXPECT_EQ(ci->chain[0], Hero_starting_chain[2][0]);
  EXPECT_EQ(ci->chain[1], Hero_starting_chain[2][1]);
  EXPECT_EQ(ci->chain[2], Hero_starting_chain[2][3]);
  EXPECT_EQ(ci->chain[3], Hero_starting_chain[2][2]);
  EXPECT_EQ(ci->skills[2], 10);
  EXPECT_EQ(ci->skills[3], 3);
  EXPECT_EQ(ci->allowed_weapon_classes, (1u << 1) | (1u << 2) | (1u << 4) | (1u << 8));
  EXPECT_EQ(ci->footstep_set_count, 1);
  EXPECT_STREQ(ci->footsteps[1][0][4].file_name, "footsteps\\right_wet_a.wav");
  EXPECT_EQ(ci->footsteps[0][0][0].min_distance, 5);
  EXPECT_STREQ(ci->alert_sound.file_name, "Rivud\\alert.wav") << "a bare sound name gets the character's folder";
  EXPECT_EQ(ci->has_light, 1);
  EXPECT_FLOAT_EQ(ci->light_color[2], 0.25f);
  EXPECT_EQ(ci->checksum, crc32_of(text.data(), text.size()));
}

TEST_F(CharacterTables, MovesComeOutInReverseFileOrderWithTriggersInSeconds) {
  CharacterRecord c = table_demo_creature("Rat", false);
  MoveRecord a;
  a.list = "attack";
  a.animation = "first.mvf";
  a.action = "bite";
  a.variation = "variation 1";
  a.triggers = {{"impact start", 9.0f}, {"critical end", 15.0f}, {"left-foot", 30.0f}};
  MoveRecord b = a;
  b.animation = "second.mvf";
  b.variation = "variation 2";
  b.classes = "swords large swords";
  b.sound = "\"bite.wav\" 0.5 4 1";
  c.moves = {a, b};
  Character_info* ci = load_character(table_character_text(c));
  const Move_info* m = ci->moves[MOVE_ATTACK];
  ASSERT_EQ(list_length(m), 2);
  EXPECT_STREQ(m->animation, "second.mvf");
  EXPECT_STREQ(m->next->animation, "first.mvf");
  EXPECT_EQ(m->class_mask, (1u << 1) | (1u << 2));
  EXPECT_EQ(m->next->class_mask, 1u);
  EXPECT_STREQ(m->sound.file_name, "Rat\\bite.wav");
  EXPECT_EQ(m->sound.volume, 127);
  EXPECT_NEAR(move_trigger_time(m->next, TRIGGER_IMPACT_START), 0.3f, 1e-5);
  EXPECT_NEAR(move_trigger_time(m->next, TRIGGER_CRITICAL_END), 0.5f, 1e-5);
  EXPECT_FLOAT_EQ(move_trigger_time(nullptr, TRIGGER_CRITICAL_END), 0.0f);
  try {
    move_trigger_time(m->next, TRIGGER_NO_INTERRUPT);
    FAIL() << "a missing trigger must be fatal";
  } catch (const CriticalErrorThrown& e) {
    EXPECT_STREQ(e.text.c_str(), "Trigger not found.");
  }
  // The type has neither the lying-down nor the pushed move.
  EXPECT_EQ(ci->flags & (CIF_NOTRIP | CIF_NOPUSH), CIF_NOTRIP | CIF_NOPUSH);
}

TEST_F(CharacterTables, HurtMovesAreDroppedExceptForBosses) {
  for (const char* name : {"Rat", "Deviziv"}) {
    CharacterRecord c = table_demo_creature(name, false);
    MoveRecord walk;
    walk.list = "movement";
    walk.animation = "walk.mvf";
    walk.action = "walk";
    MoveRecord hurt = walk;
    hurt.animation = "walk_hurt.mvf";
    hurt.variation = "walk hurt";
    c.moves = {walk, hurt, walk};
    Character_info* ci = load_character(table_character_text(c));
    const bool boss = std::string(name) == "Deviziv";
    EXPECT_EQ(list_length(ci->moves[MOVE_MOVEMENT]), boss ? 3 : 2) << name;
    EXPECT_EQ(charinfo_get_move(ci, MOVE_MOVEMENT, VARIATION_WALK_HURT, true) != nullptr, boss) << name;
  }
}

TEST_F(CharacterTables, HeroMoveSearchFollowsTheWieldedClass) {
  Character_info* ci = load_character(table_character_text(table_demo_hero(HERO_RUVIZO)));
  Move_info* attack = ci->moves[MOVE_ATTACK];
  // Nothing is loaded yet: only the loose search finds a move.
  EXPECT_EQ(charinfo_get_move(ci, MOVE_ATTACK, 3, true), nullptr);
  EXPECT_NE(charinfo_get_move(ci, MOVE_ATTACK, 3, false), nullptr);
  int n = 0;
  for (Move_info* m = attack; m; m = m->next) m->anim_slot = n++;
  ci->current_class_mask = 1;
  const Move_info* m = charinfo_get_move(ci, MOVE_ATTACK, 3, true);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->variation, 3);
  EXPECT_EQ(charinfo_find_move(ci, m->anim_slot), m);
  int variations[8];
  const int count = charinfo_collect_variations(variations, ci, MOVE_ATTACK, 2);
  ASSERT_EQ(count, 4);
  EXPECT_EQ(variations[0], 5) << "list order: the last move of the file first";
  ci->current_class_mask = 1u << 6;  // bows: no move suits
  EXPECT_EQ(charinfo_get_move(ci, MOVE_ATTACK, 3, true), nullptr);
  EXPECT_EQ(charinfo_collect_variations(variations, ci, MOVE_ATTACK, 0), 0);
  EXPECT_NE(charinfo_get_move_by_location(ci, MOVE_PARRY, 3, false), nullptr);
  EXPECT_EQ(charinfo_find_move_by_name(ci, "ATTACK03"), m->anim_slot);
  EXPECT_EQ(charinfo_find_move_by_name(ci, "attack03.mvf"), m->anim_slot);
  EXPECT_EQ(charinfo_find_move_by_name(ci, "attack0"), -1);
  EXPECT_EQ(charinfo_find_move_by_name(ci, "no such move"), -1);
}

TEST_F(CharacterTables, AlternateCharacterSharesMovesAndResetsResistances) {
  static const std::string alt = table_alt_textures_text({{"Golem", {{"Brass Golem", "brass.tga"}}}});
  alt_textures_load_text("alt_textures.tbl", alt.data(), static_cast<int>(alt.size()));
  CharacterRecord c = table_demo_creature("Golem", true);
  c.tail += "+Alternate character: \"Brass Golem\"\r\n+Alternate character: \"Onyx Golem\"\r\n+Resistances:\r\nice invulnerable\r\n#Resistances End\r\n";
  Character_info* parent = load_character(table_character_text(c));
  ASSERT_EQ(Num_character_infos, 3);
  Character_info* brass = &Character_infos[1];
  Character_info* onyx = &Character_infos[2];
  EXPECT_STREQ(brass->name, "Brass Golem");
  EXPECT_EQ(brass->kind, 5);
  EXPECT_EQ(brass->parent, parent);
  EXPECT_EQ(brass->moves[MOVE_ATTACK], parent->moves[MOVE_ATTACK]);
  EXPECT_EQ(brass->max_hit_points, parent->max_hit_points);
  EXPECT_EQ(parent->resistances[DAMAGE_FIRE], RESIST_WEAK);
  EXPECT_EQ(brass->resistances[DAMAGE_FIRE], RESIST_STANDARD);
  EXPECT_EQ(onyx->resistances[DAMAGE_ICE], RESIST_INVULNERABLE);
  EXPECT_EQ(brass->alt_texture_variant, 1);
  EXPECT_EQ(brass->alt_texture_set, alt_textures_base_index("golem"));
  EXPECT_EQ(onyx->alt_texture_set, -1);
  EXPECT_EQ(charinfo_lookup("ONYX GOLEM"), 2);
  EXPECT_EQ(charinfo_find_by_kind(8), 2);
  alt_textures_free();
}

TEST_F(CharacterTables, DropsKeepTheFirstFiveAndSeventeen) {
  std::string tail;
  for (int i = 0; i < 6; i++) tail += "+Drop: \"Gold\" " + std::to_string(10 + i) + "\r\n";
  for (int i = 0; i < 18; i++) tail += "+Multiplayer Drop: \"Dagger\" 5 " + std::to_string(i) + "\r\n";
  Character_info* ci = load_character(minimal("Rat", tail));
  EXPECT_EQ(ci->drop_count, 5);
  EXPECT_FLOAT_EQ(ci->drop_chances[4], 0.14f);
  EXPECT_EQ(ci->drop_items[0], item_lookup("gold"));
  EXPECT_EQ(ci->mp_drop_count, 17);
  EXPECT_EQ(ci->mp_drop_counts[16], 16);
}

// Keys out of their place, limits and names: each case's text ends in the
// error given (a fragment of it), or loads when none is given.
TEST_F(CharacterTables, GrammarAndLimitsTable) {
  const std::string good = minimal("Rat");
  auto with = [&](const std::string& from, const std::string& to) {
    std::string t = good;
    const size_t at = t.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return t.replace(at, from.size(), to);
  };
  const std::string weapons3 = "$Attack Radius: 1.5\r\n$Default Weapon: \"Dagger\"\r\n$Default Weapon: \"Club\" made of "
                               "bone\r\n$Default Weapon: \"Staff\"\r\n";
  std::string triggers4 = "+Move: attack $Animation: \"a.mvf\" $Action: \"a\" $Trigger: impact start 1 $Trigger: critical end 2 "
                          "$Trigger: left-foot 3 $Trigger: right-foot 4\r\n#End";
  std::string footsteps4;
  for (int i = 0; i < 4; i++) {
    footsteps4 += "+Footstep sounds: 5 0.9 1";
    for (int s = 0; s < 10; s++) footsteps4 += " \"f.wav\"";
    footsteps4 += "\r\n";
  }
  const struct {
    const char* what;
    std::string text;
    const char* error;
  } cases[] = {
      {"minimal table", good, ""},
      {"optional keys in their place", with("$Size:", "+Portrait Filename: \"p.tga\" +No Shadow: +Vfx: \"v.vfx\" $Size:"), ""},
      {"flag after +Vfx is out of place", with("$Size:", "+Vfx: \"v.vfx\" +No Shadow $Size:"),
       "at line #3\nExpected \"$Size:\""},
      {"misplaced optional key fails at the next required key",
       with("$Attack Radius: 1.500\r\n", "$Attack Radius: 1.500\r\n$Level: 3\r\n"),
       "at line #13\nExpected \"$Field of view range:\""},
      {"missing required key", with("$Team: hostile\r\n", ""), "Expected \"$Team:\""},
      {"word outside its list", with("medium", "gigantic"), "Expected a valid type string"},
      {"three default weapons", with("$Attack Radius: 1.500\r\n", weapons3), "Expected at most 2 default weapons"},
      {"four triggers", with("#End", triggers4), "Expected at most 3 triggers in a move"},
      {"four footstep sets", with("#End", footsteps4 + "#End"), "Expected at most 3 footstep sound sets"},
      {"table without a name", "#Character Info\r\n#End\r\n", "Expected \"$Character:\""},
      {"unknown type", with("\"Rat\"", "\"Wombat\""),
       "Character type Wombat doesn't have a species type. Please add one to CharacterInfo.cpp.\n"},
      {"unknown default weapon", with("$Attack Radius: 1.500\r\n", "$Attack Radius: 1.500\r\n$Default Weapon: \"Spork\"\r\n"),
       "Unable to locate default weapon Spork for character Rat"},
      {"resistance block left open", with("#End", "+Resistances:\r\nfire weak\r\n#End"), "Expected a valid type string"},
      {"light without its colour", with("#End", "+CharacterLightPos: \"$l\"\r\n+LightAtten: 2\r\n#End"),
       "Expected \"+LightColor:\""},
      // Numbers past their field are refused at their line, never clamped.
      {"hit points past their field", with("$Max Hit Points: 20", "$Max Hit Points: 70000"),
       "at line #5\nExpected a number from 0 to 65535 for $Max Hit Points:"},
      {"negative hit points", with("\n$Hit Points: 20", "\n$Hit Points: -5"),
       "at line #6\nExpected a number from 0 to 65535 for $Hit Points:"},
      {"ability points past their field", with("\n$Ability Points: 10", "\n$Ability Points: 65536"),
       "Expected a number from 0 to 65535 for $Ability Points:"},
      {"the largest hit points", with("$Max Hit Points: 20", "$Max Hit Points: 65535"), ""},
      {"experience past its field", with("$Attack Radius:", "$Experience Gained: 99999\r\n$Attack Radius:"),
       "Expected a number from 0 to 65535 for $Experience Gained:"},
      {"damage past its field", with("$Field of view", "$Damage: 70000\r\n$Field of view"),
       "Expected a number from 0 to 65535 for $Damage:"},
      {"skill level past its field", with("#End", "$Skill: \"heal\" 300\r\n#End"),
       "Expected a number from 0 to 255 for $Skill:"},
      {"the largest skill level", with("#End", "$Skill: \"heal\" 255\r\n#End"), ""},
      {"drop of an item that does not exist", with("#End", "+Drop: \"Spork\" 50\r\n#End"),
       "Expected the name of an item of items.tbl for +Drop:"},
      {"multiplayer drop of an item that does not exist",
       with("#End", "+Multiplayer Drop: \"Spork\" 50 1\r\n#End"),
       "Expected the name of an item of items.tbl for +Multiplayer Drop:"},
  };
  for (const auto& c : cases) {
    const std::string error = load_error(c.text);
    if (!*c.error) EXPECT_EQ(error, "") << c.what;
    else EXPECT_NE(error.find(c.error), std::string::npos) << c.what << ": " << error;
  }
}

TEST_F(CharacterTables, LongSoundNamesWithTheirFolderStayWhole) {
  const std::string folder(200, 'f');
  const std::string wave(120, 'w');
  CharacterRecord c = table_demo_creature("Rat", false);
  c.before_moves = "+Sound Folder: \"" + folder + "\"\r\n";
  MoveRecord m;
  m.animation = "a.mvf";
  m.action = "a";
  m.sound = "\"" + wave + "\" 1 2 3";
  c.moves = {m};
  Character_info* ci = load_character(table_character_text(c));
  EXPECT_EQ(std::string(ci->moves[MOVE_ATTACK]->sound.file_name), folder + "\\" + wave);
}

TEST_F(CharacterTables, CastableSpellsFollowTheCastMovesOfCreaturesOnly) {
  charinfo_reset();
  load_character(table_character_text(table_demo_hero(HERO_RUVIZO)), false);
  load_character(table_character_text(table_demo_creature("Golem", true)), false);
  charinfo_build_castable_spells();
  EXPECT_EQ(Character_infos[0].castable_spell_count, 0) << "heroes cast from their own spell lists";
  ASSERT_EQ(Character_infos[1].castable_spell_count, 1);
  EXPECT_EQ(Character_infos[1].castable_spells[0], spell_find_by_variation(word_index(Variation_names, NUM_VARIATIONS, "fireball")));
}

TEST(CharacterLookups, SpeciesHashAndTypeList) {
  EXPECT_EQ(charinfo_species_hash(""), 0);
  EXPECT_EQ(charinfo_species_hash(nullptr), -1);
  // rotate-left 6 then xor, over lower-cased characters
  uint32_t h = 0;
  for (char ch : std::string("rat")) h = ((h << 6) | (h >> 26)) ^ static_cast<uint32_t>(ch);
  EXPECT_EQ(charinfo_species_hash("RAT"), static_cast<int32_t>(h));
  int loaded = 0;
  for (const CharacterTypeRow& r : Character_type_list) loaded += r.load;
  EXPECT_EQ(loaded, 161);  // the game's 160 and the demo's Grub
  EXPECT_EQ(Character_type_list[charinfo_type_row("blade of zhorek")].kind, 176);
  EXPECT_EQ(charinfo_type_row("Nobody"), -1);
  EXPECT_TRUE(charinfo_is_hero(3));
  EXPECT_FALSE(charinfo_is_hero(4));
}

TEST_F(CharacterTables, HitPointsScaleForTheTwoKinds) {
  const struct {
    const char* name;
    int hp;
  } cases[] = {{"Blade of Zhorek", 60}, {"Barbarian Fighter", 40}, {"Rat", 20}};
  for (const auto& c : cases) EXPECT_EQ(load_character(minimal(c.name))->max_hit_points, c.hp) << c.name;
  // The scaled value must fit the field too: three times 21845 does, one more
  // does not.
  auto with_hp = [](const char* name, int hp) {
    CharacterRecord r = table_demo_creature(name, false);
    r.hit_points = hp;
    return table_character_text(r);
  };
  EXPECT_EQ(load_character(with_hp("Blade of Zhorek", 21845))->max_hit_points, 65535);
  EXPECT_NE(load_error(with_hp("Blade of Zhorek", 21846)).find("Expected a number from 0 to 21845 for $Max Hit Points:"),
            std::string::npos);
  EXPECT_NE(load_error(with_hp("Barbarian Fighter", 32768)).find("Expected a number from 0 to 32767"),
            std::string::npos);
}

// Shared text is pooled by its exact text: an earlier "RAT" elsewhere leaves
// the type name "Rat" as written.
TEST_F(CharacterTables, PooledTextKeepsItsCase) {
  CharacterRecord first = table_demo_creature("Rat", false);
  MoveRecord a;
  a.list = "attack";
  a.animation = "RAT";
  a.action = "rat";
  a.variation = "variation 1";
  first.moves = {a};
  Character_info* one = load_character(table_character_text(first));
  EXPECT_STREQ(one->moves[MOVE_ATTACK]->animation, "RAT");
  EXPECT_STREQ(one->moves[MOVE_ATTACK]->action, "rat");
  Character_info* two = load_character(minimal("Rat"), false);
  EXPECT_STREQ(two->name, "Rat");
  EXPECT_EQ(two->name, one->name) << "equal text still shares one copy";
}

TEST_F(CharacterTables, TagsResolveOnceAgainstTheBaseCharacter) {
  CharacterRecord c = table_demo_creature("Rat", false);
  c.flags = "+Elongated\r\n";
  c.after_weapons = "";
  c.skills = "";
  std::string text = table_character_text(c);
  // Prop tags stand right after the turn rates.
  const std::string tags = "$Default Prop Tag: primary hand is \"$hand_r\"\r\n$Prop Tag: shield \"$shield\"\r\n";
  text.insert(text.find("$Moving turn rate:") + std::string("$Moving turn rate: 4.0\r\n").size(), tags);
  Character_info* ci = load_character(text);
  EXPECT_EQ(ci->default_prop_tag, 0);
  EXPECT_STREQ(ci->prop_tags[15], "$shield");
  static int lookups;
  lookups = 0;
  auto lookup = [](const void*, const char* bone) {
    lookups++;
    const std::string b(bone);
    if (b == "$hand_r") return 4;
    if (b == "$Attack02") return 7;
    if (b == "$Attack05") return 9;
    if (b == "$head") return 12;
    return -1;
  };
  auto distance = [](const void*, int bone) { return bone == 12 ? 1.75f : 0.0f; };
  charinfo_resolve_tags(ci, nullptr, lookup, distance);
  EXPECT_EQ(ci->prop_tag_bones[0], 4);
  EXPECT_EQ(ci->prop_tag_bones[15], -1);
  ASSERT_EQ(ci->attack_tag_count, 2);
  EXPECT_EQ(ci->attack_tag_bones[0], 7);
  EXPECT_EQ(ci->attack_tag_bones[1], 9);
  EXPECT_EQ(ci->head_bone, 12);
  EXPECT_FLOAT_EQ(ci->head_height, 1.75f);
  EXPECT_TRUE(ci->flags & CIF_TAGS_RESOLVED);
  const int after_first = lookups;
  charinfo_resolve_tags(ci, nullptr, lookup, distance);
  EXPECT_EQ(lookups, after_first) << "resolved once";
}

TEST_F(CharacterTables, CastableSpellListHasAFixedRoom) {
  CharacterRecord c = table_demo_creature("Rat", false);
  MoveRecord cast;
  cast.list = "cast";
  cast.animation = "cast.mvf";
  cast.action = "cast";
  cast.variation = "heal";
  c.moves.assign(MAX_CASTABLE_SPELLS, cast);
  load_character(table_character_text(c));
  charinfo_build_castable_spells();
  EXPECT_EQ(Character_infos[0].castable_spell_count, MAX_CASTABLE_SPELLS);
  c.name = "Cabbit";
  c.moves.resize(1);
  load_character(table_character_text(c), false);
  try {
    charinfo_build_castable_spells();
    FAIL() << "the 251st castable spell must not be written past the list";
  } catch (const CriticalErrorThrown& e) {
    EXPECT_NE(e.text.find("Castable spell list is full (250 spells) at character Cabbit"), std::string::npos) << e.text;
  }
}

#include "quarn/vfile/vfile.h"
#include "tests/support/test_files.h"
#include "tools/writers/wave_writer.h"

TEST_F(CharacterTables, FootstepsRegisterWithTheSoundTable) {
  const std::string root = fresh_temp_dir("charinfo_footsteps") + "/";
  const auto wave = wave_build_pcm(wave_tone(22050, 1, 0.05, 440.0, 0.5), 1, 22050, 16);
  for (const char* f : {"left_wood_d.wav", "left_stone_h.wav", "left_grass_a.wav", "left_sand_a.wav",
                        "right_wood_d.wav", "right_stone_h.wav", "right_grass_a.wav", "right_sand_a.wav", "mine.wav"})
    ASSERT_TRUE(wave_write_file(root + f, wave));
  vfile_set_root(root.c_str(), false);
  Character_info* rat = load_character(minimal("Rat"));
  EXPECT_GE(rat->footsteps[0][0][0].index, 0);
  EXPECT_GE(rat->footsteps[1][0][3].index, 0);
  EXPECT_EQ(rat->footsteps[0][0][4].index, -1) << "left_wet_a.wav does not exist";
  EXPECT_EQ(rat->footsteps[0][1][0].index, -1) << "no second set";
  CharacterRecord c = table_demo_creature("Cabbit", false);
  c.before_moves = "+Footstep sounds: 5 0.9 1 \"left_wood_d.wav\" \"mine.wav\" \"a.wav\" \"b.wav\" \"c.wav\" "
                   "\"d.wav\" \"e.wav\" \"f.wav\" \"g.wav\" \"h.wav\"\r\n";
  Character_info* cabbit = load_character(table_character_text(c), false);
  EXPECT_EQ(cabbit->footstep_set_count, 1);
  EXPECT_GE(cabbit->footsteps[0][0][0].index, 0);
  EXPECT_GE(cabbit->footsteps[0][0][1].index, 0);
  EXPECT_EQ(cabbit->footsteps[1][0][0].index, -1);
  EXPECT_EQ(rat->moves[MOVE_ATTACK], nullptr);
  EXPECT_EQ(rat->alert_sound.index, -1) << "move and alert sounds register when they first play";
}
