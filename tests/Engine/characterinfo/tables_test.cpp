// The spell, skill, alternate-texture and experience tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "Engine/characterinfo/alt_textures.h"
#include "Engine/characterinfo/experience.h"
#include "Engine/characterinfo/saved_names.h"
#include "Engine/characterinfo/skills.h"
#include "Engine/characterinfo/spells.h"
#include "quarn/os/os.h"
#include "tests/support/critical_error_trap.h"
#include "tests/support/game_tables.h"
#include "tests/support/test_files.h"
#include "tools/writers/table_writers.h"

namespace {

std::string load_spells(const std::vector<SpellRecord>& spells) {
  const std::string text = table_spells_text(spells);
  try {
    spells_load_text("spells.tbl", text.data(), static_cast<int>(text.size()));
  } catch (const CriticalErrorThrown& e) {
    return e.text;
  }
  return "";
}

struct Networked {
  Networked() { game_flags_set(GF_NETWORKED); }
  ~Networked() { game_flags_clear(GF_NETWORKED); }
};

}  // namespace

TEST(Spells, RecordsReadWithTheirDefaultsAndOverrides) {
  CriticalErrorTrap trap;
  std::vector<SpellRecord> spells = table_demo_spells();
  spells[3].hit_chance = 35;
  spells[3].skill = 40.0f;
  spells[3].effects = "+Hit effect: \"h.vfx\" $Sound: \"hit.wav\" 0.5 7.9 2\r\n"
                      "+Preloaded Hit effect: \"p.vfx\" $Sound: \"pre.wav\" 1 3 1\r\n+Variation: heal\r\n"
                      "+Misc effect: \"m.vfx\" +Banish effect: \"b.vfx\" $Sound: \"gone.wav\" 0.2 1 1\r\n"
                      "+Variation: regenerate\r\n";
  spells[4].tail = "+Duration: 30\r\n";
  spells[5].tail = "+Duration: 30\r\n+Recovery time: -1\r\n+AI Recovery time: 12\r\n+Loop Time: 4\r\n+Offensive\r\n"
                   "+Fade Props\r\n+Offensive\r\n+Hit only\r\n";
  ASSERT_EQ(load_spells(spells), "");
  const Spell_info& s = Spells[3];
  EXPECT_EQ(s.number, 3);
  EXPECT_FLOAT_EQ(s.hit_chance, 0.35f);
  EXPECT_FLOAT_EQ(s.skill, 0.4f);
  EXPECT_FLOAT_EQ(Spells[4].hit_chance, 1.0f);
  EXPECT_STREQ(s.hit_sound.file_name, "pre.wav") << "the preloaded effect's sound replaces the hit sound";
  EXPECT_STREQ(s.misc_sound.file_name, "gone.wav") << "the banish effect's sound replaces the misc sound";
  EXPECT_EQ(s.misc_sound.volume, 51);
  EXPECT_EQ(s.variation, word_index(Variation_names, NUM_VARIATIONS, "regenerate")) << "the last variation wins";
  EXPECT_STREQ(spell_preload_hit_effect(3), "p.vfx");
  EXPECT_STREQ(spell_preload_hit_effect(24), "GenericHit01.vfx");
  EXPECT_EQ(spell_preload_hit_effect(4), nullptr);
  // Recovery: the duration by default; no duration (65535) means no cooldown.
  EXPECT_EQ(Spells[4].recovery_time, 30);
  EXPECT_EQ(Spells[6].duration, SPELL_NO_DURATION);
  EXPECT_LT(Spells[6].recovery_time, 0);
  EXPECT_LT(Spells[6].ai_recovery_time, 0);
  EXPECT_EQ(Spells[5].recovery_time, -1);
  EXPECT_EQ(Spells[5].ai_recovery_time, 12);
  EXPECT_EQ(Spells[5].flags, SPELL_OFFENSIVE | SPELL_FADE_PROPS | SPELL_HIT_ONLY);
  EXPECT_EQ(Spells[24].damage_type, DAMAGE_FIRE);
  EXPECT_FLOAT_EQ(Spells[24].target_radius, 3.5f);
  EXPECT_FLOAT_EQ(Spells[11].skill, 0.4f) << "spell 11 always needs 40";
  EXPECT_EQ(spell_find_by_name("FIREBALL"), 24);
  EXPECT_EQ(spell_find_by_name("nothing"), -1);
  EXPECT_EQ(spell_get_class(24), SPELL_FIRE);
  EXPECT_EQ(spell_get_class(107), SPELL_MISC);
  EXPECT_EQ(spell_get_class(200), -1);
  EXPECT_EQ(Spell_class_index[SPELL_SUMMON].first, 38);
  EXPECT_EQ(Spell_class_index[SPELL_SUMMON].count, 16);
  spells_reset_for_level();
  EXPECT_EQ(Spells[3].hit_sound.index, -1);
}

TEST(Spells, ClassSplitInTwoRunsKeepsTheLastAndBadTablesFail) {
  CriticalErrorTrap trap;
  std::vector<SpellRecord> split = table_demo_spells();
  split[107].spell_class = "heal";
  ASSERT_EQ(load_spells(split), "");
  EXPECT_EQ(Spell_class_index[SPELL_HEAL].first, 107);
  EXPECT_EQ(Spell_class_index[SPELL_HEAL].count, 1);

  std::vector<SpellRecord> short_table = table_demo_spells();
  short_table.pop_back();
  EXPECT_NE(load_spells(short_table).find("Expected \"$Spell:\""), std::string::npos);
  std::vector<SpellRecord> misplaced = table_demo_spells();
  misplaced[2].tail = "+Target radius: 2\r\n+Die: 4\r\n";
  EXPECT_NE(load_spells(misplaced).find("Expected \"$Spell:\""), std::string::npos)
      << "an optional key out of order is met at the next required key";
  std::vector<SpellRecord> bad_class = table_demo_spells();
  bad_class[0].spell_class = "water";
  EXPECT_NE(load_spells(bad_class).find("Expected a valid type string"), std::string::npos);
  ASSERT_EQ(load_spells(table_demo_spells()), "");
}

// A number too large or too small for its field is refused with the file,
// the line of the field and the field's name, never wrapped into another
// value ("+Recovery time: 40000" would become a negative: no cooldown).
TEST(Spells, NumbersOutsideTheirFieldAreRefusedWhereTheyStand) {
  CriticalErrorTrap trap;
  struct Case {
    const char* tail;
    const char* expected;  // empty: taken
  } cases[] = {
      {"+Duration: 70000\r\n", "a number from 0 to 65535 for +Duration:"},
      {"+Duration: -2\r\n", "a number from 0 to 65535 for +Duration:"},
      {"+Duration: 30\r\n+Recovery time: 40000\r\n", "a number from -32768 to 32767 for +Recovery time:"},
      {"+AI Recovery time: -40000\r\n", "a number from -32768 to 32767 for +AI Recovery time:"},
      {"+Loop Time: 32768\r\n", "a number from -32768 to 32767 for +Loop Time:"},
      {"+Duration: 65535\r\n+Recovery time: -32768\r\n+Loop Time: 32767\r\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tail);
    std::vector<SpellRecord> spells = table_demo_spells();
    spells[7].tail = c.tail;
    const std::string text = table_spells_text(spells);
    const std::string message = load_spells(spells);
    if (!*c.expected) {
      EXPECT_EQ(message, "");
      EXPECT_EQ(Spells[7].duration, 65535);
      EXPECT_EQ(Spells[7].recovery_time, -32768);
      EXPECT_EQ(Spells[7].loop_time, 32767);
      continue;
    }
    // The line of the refused number, counted in the text itself.
    const std::string field = std::string(c.expected).substr(std::string(c.expected).find(" for ") + 5);
    const size_t at = text.find(field, text.find(spells[7].name));
    const int line = 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<long>(at), '\n'));
    EXPECT_NE(message.find("\"spells.tbl\", at line #" + std::to_string(line) + "\n"), std::string::npos)
        << message;
    EXPECT_NE(message.find(std::string("Expected ") + c.expected), std::string::npos) << message;
  }
  ASSERT_EQ(load_spells(table_demo_spells()), "");
}

TEST(Spells, StatusTables) {
  const struct {
    int spell, slot, level, duration;
  } spells[] = {{7, 0, 1, 60000},  {86, 1, 1, 60000}, {22, 2, 1, 120000}, {2, 5, 1, 120000}, {11, 8, 7, 21000},
                {34, 10, 1, 30000}, {73, 10, 1, 3000}, {76, 10, 1, 180000}, {80, 10, 1, 20000}, {36, 16, 1, 0},
                {5, -1, 1, 0}};
  for (const auto& c : spells) {
    EXPECT_EQ(spell_status_slot(c.spell), c.slot) << c.spell;
    EXPECT_EQ(spell_status_duration(c.spell, c.level), c.duration) << c.spell;
  }
  EXPECT_FLOAT_EQ(spell_status_strength(8, 49), 0.0f);
  EXPECT_FLOAT_EQ(spell_status_strength(8, 50), 1.0f);
  EXPECT_FLOAT_EQ(spell_status_strength(4, 10), 0.4f);
  EXPECT_FLOAT_EQ(spell_status_strength(11, 3), -6.0f);
  EXPECT_FLOAT_EQ(spell_status_strength(16, 2), 20.0f);
  EXPECT_EQ(status_tick_period(5), 20000);
  EXPECT_EQ(status_tick_period(14), 2000);
  EXPECT_EQ(status_tick_period(3), 0);
}

TEST(Skills, TableLookupsAndSummons) {
  EXPECT_EQ(skill_lookup("HEAVY ARMS"), 8);
  EXPECT_EQ(skill_lookup("serpent whip multi"), 83);
  EXPECT_EQ(skill_lookup("juggling"), -1);
  EXPECT_TRUE(skill_is_summon(37));
  EXPECT_FALSE(skill_is_summon(27));
  EXPECT_TRUE(skill_is_aimed_choice(54));
  EXPECT_TRUE(skill_is_attack_skill(12));
  EXPECT_FALSE(skill_is_attack_skill(18));
  EXPECT_EQ(skill_find_summon_by_creature("blood elemental"), 41);
  EXPECT_EQ(Skills[46].spell, 48);
  EXPECT_FLOAT_EQ(Skills[46].factor, 0.8f);
  EXPECT_TRUE(skill_summon_allowed(37));
  EXPECT_FALSE(skill_summon_allowed(36));
  All_summons = true;
  EXPECT_TRUE(skill_summon_allowed(36));
  All_summons = false;
  int per_hero[4] = {};
  for (const ChainSkillRow& r : Chain_skills) per_hero[r.hero]++;
  for (int n : per_hero) EXPECT_EQ(n, 10);
}

namespace {
std::vector<std::string> Messages;
void record_message(const char* title, const char* text) { Messages.push_back(std::string(title) + "|" + text); }
}  // namespace

TEST(ChainSkills, DefaultsAssignmentAndLearning) {
  CriticalErrorTrap trap;
  load_demo_spells_and_items();
  charinfo_reset();
  for (int h = 0; h < 4; h++) load_character(table_character_text(table_demo_hero(h)), false);
  saved_names_clear();
  chain_set_message_hook(record_message);
  Messages.clear();
  // Nothing saved: the first read sets every hero's defaults.
  for (int slot = 0; slot < 4; slot++) EXPECT_EQ(chain_config_get(HERO_ZAZURU, slot), Hero_starting_chain[1][slot]);
  EXPECT_EQ(level_int_get(SAVED_GAME_WIDE_LEVEL, "chainconfig12"), Hero_starting_chain[1][2]);

  ChainMember zazuru;
  zazuru.type = &Character_infos[charinfo_find_by_kind(HERO_ZAZURU)];
  zazuru.has_entity = true;
  zazuru.entity_name = "Zazuru";
  zazuru.ap = 50;
  chain_config_assign(zazuru, 3, Hero_starting_chain[1][0]);
  EXPECT_EQ(chain_config_get(HERO_ZAZURU, 0), SKILL_NONE) << "the skill moved out of its old slot";
  EXPECT_EQ(chain_skill_get(zazuru, 3), Hero_starting_chain[1][0]);
  EXPECT_EQ(chain_slot_of_skill(zazuru, Hero_starting_chain[1][0]), 3);

  // Quick combo: 10 points a use; the group passes 10 and 30 after one and
  // three uses, and stops at 100.
  Quick_combo = true;
  EXPECT_EQ(chain_skills_learned_count(zazuru), 4);
  chain_skill_used(zazuru, 15, 1.0f);  // kick: group 1
  EXPECT_EQ(chain_points_get(HERO_ZAZURU, 1), 10);
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0], "Chain skill|Zazuru learned Chain Axespin!");
  chain_skill_used(zazuru, 15, 1.0f);
  chain_skill_used(zazuru, 71, 1.0f);
  ASSERT_EQ(Messages.size(), 2u);
  EXPECT_EQ(Messages[1], "Chain skill|Zazuru learned Chain Earthshaker!");
  for (int i = 0; i < 10; i++) chain_skill_used(zazuru, 15, 1.0f);
  EXPECT_EQ(chain_points_get(HERO_ZAZURU, 1), 100);
  EXPECT_EQ(chain_points_of_skill(zazuru, 72), 100);
  EXPECT_EQ(chain_skills_learned_count(zazuru), 6);
  EXPECT_EQ(chain_skill_learned_nth(zazuru, 1), 15);
  EXPECT_LE(zazuru.ap, 50);
  Quick_combo = false;

  // A non-hero reads its own record; slot 4 does not exist.
  ChainMember rat;
  rat.type = &Character_infos[0];
  rat.type = load_character(table_character_text(table_demo_creature("Rat", false)), false);
  rat.has_entity = true;
  rat.ap = 5;
  EXPECT_EQ(chain_skill_get(rat, 4), SKILL_NONE);
  EXPECT_EQ(Messages.back(), "|No chain skill configured!");
  zazuru.ap = 0;
  EXPECT_EQ(chain_skill_get(zazuru, 3), SKILL_NONE);
  EXPECT_EQ(Messages.back(), "|No AP!");
  ChainMember cycle;
  const int order[] = {3, 1, 2, 0};
  for (int expected : order) {
    chain_slot_cycle(cycle);
    EXPECT_EQ(cycle.selected_slot, expected);
  }
  chain_set_message_hook(nullptr);
}

TEST(ChainSkills, MultiplayerSlotsCopyHeroesAndRunOut) {
  CriticalErrorTrap trap;
  load_demo_spells_and_items();
  charinfo_reset();
  load_character(table_character_text(table_demo_hero(HERO_RIVUD)), false);
  load_character(table_character_text(table_demo_creature("Rat", false)), false);
  charinfo_mp_slots_clear();
  EXPECT_EQ(charinfo_mp_slot(0), &Character_infos[0]) << "single player: the shared record";
  Networked net;
  EXPECT_EQ(charinfo_mp_slot(1), &Character_infos[1]) << "non-heroes share";
  Character_info* copies[4];
  for (Character_info*& c : copies) {
    c = charinfo_mp_slot(0);
    ASSERT_NE(c, &Character_infos[0]);
    EXPECT_TRUE(c->flags & CIF_MP_COPY);
    EXPECT_STREQ(c->name, "Rivud");
  }
  EXPECT_NE(charinfo_slot_extra(copies[2]), nullptr);
  EXPECT_EQ(charinfo_slot_extra(&Character_infos[0]), nullptr);
  try {
    charinfo_mp_slot(0);
    FAIL() << "a fifth copy must be fatal";
  } catch (const CriticalErrorThrown& e) {
    EXPECT_EQ(e.text, "Unable to find multiplayer character info slot");
  }
  charinfo_mp_slot_release(copies[1]);
  EXPECT_EQ(charinfo_mp_slot(0), copies[1]);
  charinfo_mp_slots_clear();
}

TEST(ChainSkills, LevelcharsAppendsCountsByType) {
  const std::string path = fresh_temp_dir("levelchars") + "/levelchars.txt";
  int counts[100] = {};
  counts[86] = 3;  // Rat
  counts[0] = 1;   // Ruvizo
  ASSERT_TRUE(levelchars_write(path.c_str(), "town", "day", counts, 100));
  ASSERT_TRUE(levelchars_write(path.c_str(), "town", "night", counts, 100));
  const std::string text = read_file(path);
  EXPECT_NE(text.find("\tCharacter count for level town(day)\n"), std::string::npos);
  EXPECT_NE(text.find("Ruvizo\t1\nRat\t3\nTotal number of chars:\t4\n\n\n"), std::string::npos) << text;
  EXPECT_NE(text.find("town(night)"), std::string::npos) << "appended, not replaced";
  EXPECT_FALSE(levelchars_write("/nonexistent/dir/levelchars.txt", "a", "b", counts, 100));
}

TEST(AltTextures, BasesGroupsAndLimits) {
  std::vector<std::string> many = {"skin"};
  for (int i = 0; i < 17; i++) many.push_back("r" + std::to_string(i) + ".tga");
  const std::string text = table_alt_textures_text(
      {{"skin01", {{"face.tga", "face2.tga", "face3.tga"}, many}}, {"empty", {}}, {"other", {{"x", "y"}}}});
  alt_textures_load_text("alt_textures.tbl", text.data(), static_cast<int>(text.size()));
  EXPECT_EQ(alt_textures_num_bases(), 3);
  int count = -1;
  const AltTextureGroup* g = alt_textures_find("Skin01", &count);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(g[0].count, 2);
  EXPECT_STREQ(g[0].replacements[1].name, "face3.tga");
  EXPECT_EQ(g[1].count, MAX_ALT_TEXTURE_REPLACEMENTS) << "names past the fifteenth are dropped";
  EXPECT_STREQ(g[1].replacements[14].name, "r14.tga");
  EXPECT_EQ(alt_textures_find("EMPTY", &count), nullptr);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(alt_textures_base_index("empty"), 1);
  ASSERT_NE(alt_textures_find_group("other", "X"), nullptr);
  EXPECT_EQ(alt_textures_find_group("other", "z"), nullptr);
  // Without #End the file ends the table too; without the file it is empty.
  const std::string unended = "$Base: \"a\" +Textures: \"t\" \"u\"";
  alt_textures_load_text("alt_textures.tbl", unended.data(), static_cast<int>(unended.size()));
  EXPECT_EQ(alt_textures_num_bases(), 1);
  alt_textures_load();
  EXPECT_EQ(alt_textures_num_bases(), 0);
}

TEST(Experience, LevelsFactorsAndGains) {
  const std::string text = table_experience_text(table_demo_experience());
  experience_load_text("experience.tbl", text.data(), static_cast<int>(text.size()));
  // The demo's row n needs 1000 x n(n+1)/2.
  EXPECT_EQ(xp_for_level(0), 0u);
  EXPECT_EQ(xp_for_level(3), 6000u);
  const uint32_t row19 = 1000u * 19 * 20 / 2;
  const struct {
    int level;
    uint32_t xp;
  } cases[] = {{19, row19}, {20, row19 + 50000}, {21, row19 + 110000}, {22, row19 + 180000}};
  for (const auto& c : cases) EXPECT_EQ(xp_for_level(c.level), c.xp) << c.level;
  EXPECT_TRUE(xp_level_up_due(2, 6000));
  EXPECT_FALSE(xp_level_up_due(2, 5999));
  EXPECT_FLOAT_EQ(xp_level_factor(0), 1.0f);
  EXPECT_FLOAT_EQ(xp_level_factor(4), 3.0f);
  EXPECT_FLOAT_EQ(xp_level_factor(25), 10.0f);
  EXPECT_EQ(xp_max_level(), 50);
  {
    Networked net;
    EXPECT_EQ(xp_for_level(21), 5 * (row19 + 110000));
    EXPECT_EQ(xp_max_level(), 75);
  }
  // A two-sided die always gives at least 3; a fixed gain gives itself.
  Experience_table[5].growth[0] = {2, 2, true, false};
  os_random_seed(7);
  for (int i = 0; i < 20; i++) {
    int level = 4, hp = 0, ap = 0, points = 0;
    float factor = 0;
    xp_gain_level(0, &level, &hp, &ap, &points, &factor);
    EXPECT_EQ(level, 5);
    EXPECT_EQ(hp, 3);
    EXPECT_EQ(ap, 2);
    EXPECT_EQ(points, 4);
  }
  int level = 30, hp = 0, ap = 0, points = 0;
  float factor = 0;
  xp_gain_level(9, &level, &hp, &ap, &points, &factor);
  EXPECT_EQ(hp, 0) << "only heroes grow from the table";
  EXPECT_FLOAT_EQ(factor, 11.0f);
  const std::string short_text = "0 0 0 1 1 1 1 1 1 1 1 1\n";
  CriticalErrorTrap trap;
  EXPECT_THROW(experience_load_text("experience.tbl", short_text.data(), static_cast<int>(short_text.size())),
               CriticalErrorThrown);
}
