#include "Engine/characterinfo/skills.h"

#include <strings.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "Engine/characterinfo/saved_names.h"
#include "quarn/math/floatops.h"
#include "quarn/os/console.h"
#include "quarn/os/error.h"

namespace {
constexpr int B = SKILL_BASIC, C = SKILL_CHAIN, S = SKILL_SUMMON, A = SKILL_AIMED_CHOICE, D = SKILL_DRAGON_SUMMON;
}  // namespace

// name, AP cost, base, factor, extra, group, spell, text, flags, unused, descriptions
const Skill_info Skills[NUM_SKILLS] = {
    {"hand to hand", 0, 0, 0.0f, -1, 0, -1, "", B, {-1, -1}, "", ""},
    {"protection", 0, 0, 0.0f, -1, 0, -1, "", B, {-1, -1}, "", ""},
    {"speed", 0, 0, 0.0f, -1, 0, -1, "", B, {-1, -1}, "", ""},
    {"sword weapons", 0, 0, 0.0f, -1, 4, -1, "", B, {-1, -1}, "", ""},
    {"axe weapons", 0, 0, 0.0f, -1, 4, -1, "", B, {-1, -1}, "", ""},
    {"blunt weapons", 0, 0, 0.0f, -1, 4, -1, "", B, {-1, -1}, "", ""},
    {"staff weapons", 0, 0, 0.0f, -1, 4, -1, "", B, {-1, -1}, "", ""},
    {"bow weapons", 0, 0, 0.0f, -1, 4, -1, "", B, {-1, -1}, "", ""},
    {"heavy arms", 0, 0, 0.0f, -1, 4, -1, "", B, {-1, -1}, "", ""},
    {"parry", 0, 0, 0.0f, -1, 0, -1, "", B, {-1, -1}, "", ""},
    {"counter attack", 0, 0, 0.0f, -1, 0, -1, "", B, {-1, -1}, "", ""},
    {"dodge", 0, 0, 0.0f, -1, 0, -1, "", B, {-1, -1}, "", ""},
    {"critical hit", 0, 0, 0.0f, -1, 0, -1, "", B, {-1, -1}, "", ""},
    {"double attack", 0, 0, 0.0f, -1, 0, -1, "", B, {-1, -1}, "", ""},
    {"push", 1, 0, 0.0f, -1, 0, -1, "", B | C, {-1, -1}, "", ""},
    {"kick", 2, 0, 0.0f, 6, 0, -1, "", B | C, {-1, -1}, "", ""},
    {"trip", 2, 0, 0.0f, -1, 0, -1, "", B | C, {-1, -1}, "", ""},
    {"aimed attack", 0, 0, 0.0f, -1, 0, -1, "", B, {-1, -1}, "", ""},
    {"backstab", 0, 0, 0.0f, -1, 0, 69, "", B, {-1, -1}, "", ""},
    {"assess", 0, 0, 0.0f, -1, 3, 70, "", B, {-1, -1}, "Judge a creature's strength.", "Click a creature to size it up."},
    {"appraise", 0, 0, 0.0f, -1, 3, -1, "", B, {-1, -1}, "Tell what an unknown item is.", ""},
    {"pick lock", 5, 0, 0.0f, -1, 1, -1, "", B, {-1, -1}, "Open locked doors and chests.", "Picks the lock last found locked, or the next one clicked."},
    {"sneak", 0, 10, 0.0f, -1, 1, -1, "", B, {-1, -1}, "Move without being heard.", ""},
    {"hide", 0, 30, 0.0f, -1, 1, -1, "", B, {-1, -1}, "Stay out of sight.", ""},
    {"forge", 0, 0, 0.0f, -1, 2, -1, "", B, {-1, -1}, "", ""},
    {"mine", 0, 0, 0.0f, -1, 2, -1, "", B, {-1, -1}, "", ""},
    {"enchant", 0, 0, 0.0f, -1, 2, -1, "", B, {-1, -1}, "", ""},
    {"summon", 0, 30, 0.0f, -1, 2, -1, "", B, {-1, -1}, "", ""},
    {"heal", 0, 0, 0.0f, -1, 5, -1, "", B, {-1, -1}, "", ""},
    {"dark", 0, 0, 0.0f, -1, 5, -1, "", B, {-1, -1}, "", ""},
    {"energy", 0, 0, 0.0f, -1, 5, -1, "", B, {-1, -1}, "", ""},
    {"holy", 0, 0, 0.0f, -1, 5, -1, "", B, {-1, -1}, "", ""},
    {"fire", 0, 0, 0.0f, -1, 5, -1, "", B, {-1, -1}, "", ""},
    {"ice", 0, 0, 0.0f, -1, 5, -1, "", B, {-1, -1}, "", ""},
    {"divination", 0, 0, 0.0f, -1, 5, -1, "", B, {-1, -1}, "", ""},
    {"magic resist", 0, 0, 0.0f, -1, 5, -1, "", B, {-1, -1}, "", ""},
    {"summon golem", 7, 0, 0.1f, -1, 2, 38, "Golem", S, {-1, -1}, "", ""},
    {"summon red minotaur", 15, 0, 0.2f, -1, 2, 39, "Red Minotaur", S, {-1, -1}, "", ""},
    {"summon Blade of Zhorek", 25, 0, 0.5f, -1, 2, 40, "Blade of Zhorek", S, {-1, -1}, "", ""},
    {"summon blue imp", 15, 0, 0.3f, -1, 2, 41, "Blue Imp", S, {-1, -1}, "", ""},
    {"summon blackfire elemental", 10, 0, 0.2f, -1, 2, 42, "Blackfire Elemental", S, {-1, -1}, "", ""},
    {"summon blood elemental", 25, 0, 0.4f, -1, 2, 43, "Blood Elemental", S, {-1, -1}, "", ""},
    {"summon poison elemental", 20, 0, 0.3f, -1, 2, 44, "Poison Elemental", S, {-1, -1}, "", ""},
    {"summon mist elemental", 10, 0, 0.3f, -1, 2, 45, "Mist Elemental", S, {-1, -1}, "", ""},
    {"summon wraith", 30, 0, 0.5f, -1, 2, 46, "Wraith", S, {-1, -1}, "", ""},
    {"summon jade golem", 14, 0, 0.6f, -1, 2, 47, "Jade Golem", S, {-1, -1}, "", ""},
    {"summon laharah", 50, 0, 0.8f, -1, 2, 48, "Spirit of Laharah", S, {-1, -1}, "", ""},
    {"summon samurai", 30, 0, 0.5f, -1, 2, 49, "Celestial Samurai", S, {-1, -1}, "", ""},
    {"summon jade dragon", 30, 0, 0.8f, -1, 2, 50, "Jade Dragon", S | D, {-1, -1}, "", ""},
    {"summon water dragon", 50, 0, 0.0f, -1, 2, 51, "Water Dragon", S | D, {-1, -1}, "", ""},
    {"summon wind dragon", 30, 0, 0.5f, -1, 2, 52, "Four Winds Dragon", S | D, {-1, -1}, "", ""},
    {"summon forest dragon", 30, 0, 0.5f, -1, 2, 53, "Forest Dragon", S | D, {-1, -1}, "", ""},
    {"banish summon", 0, 0, 0.0f, -1, 2, -1, "", 0, {-1, -1}, "", ""},
    {"aimed attack eyes", 0, 0, 0.0f, -1, 0, -1, "Eyes", A, {-1, -1}, "", ""},
    {"aimed attack arms", 0, 0, 0.0f, -1, 0, -1, "Arms", A, {-1, -1}, "", ""},
    {"aimed attack legs", 0, 0, 0.0f, -1, 0, -1, "Legs", A, {-1, -1}, "", ""},
    {"blindness stab", 3, 0, 0.0f, -1, 0, -1, "", C, {-1, -1}, "", ""},
    {"arm slice", 2, 0, 0.0f, -1, 0, -1, "", C, {-1, -1}, "", ""},
    {"leg swipe", 2, 0, 0.0f, -1, 0, -1, "", C, {-1, -1}, "", ""},
    {"Desperation", 1, 0, 0.0f, -1, 0, -1, "", C, {-1, -1}, "", ""},
    {"stamina burst", 3, 0, 0.0f, -1, 0, -1, "", C, {-1, -1}, "", ""},
    {"added blow", 2, 0, 0.0f, -1, 0, -1, "", C, {-1, -1}, "", ""},
    {"life leech", 3, 0, 0.0f, -1, 0, -1, "", C, {-1, -1}, "", ""},
    {"mind drain", 2, 0, 0.0f, -1, 0, -1, "", C, {-1, -1}, "", ""},
    {"velmoran technique", 0, 0, 0.0f, -1, 0, -1, "", C, {-1, -1}, "", ""},
    {"icy touch", 2, 0, 0.0f, -1, 0, -1, "", C, {-1, -1}, "", ""},
    {"burning hands", 3, 0, 0.0f, -1, 0, -1, "", C, {-1, -1}, "", ""},
    {"shocking grasp", 2, 0, 0.0f, -1, 0, -1, "", C, {-1, -1}, "", ""},
    {"sacrifice", 1, 0, 0.0f, -1, 0, -1, "", C, {-1, -1}, "", ""},
    {"confusion", 1, 0, 0.0f, -1, 0, -1, "", C, {-1, -1}, "", ""},
    {"silence", 3, 0, 0.0f, -1, 0, -1, "", C, {-1, -1}, "", ""},
    {"axespin", 3, 0, 0.0f, -1, 0, -1, "", C, {-1, -1}, "", ""},
    {"earthshaker", 8, 0, 0.0f, -1, 0, -1, "", C, {-1, -1}, "", ""},
    {"mend", 4, 0, 0.0f, -1, 0, -1, "", C, {-1, -1}, "", ""},
    {"steelskin", 5, 0, 0.0f, -1, 0, -1, "", C, {-1, -1}, "", ""},
    {"overpower", 6, 0, 0.0f, -1, 0, -1, "", C, {-1, -1}, "", ""},
    {"bless", 4, 0, 0.0f, -1, 0, -1, "", C, {-1, -1}, "", ""},
    {"revitalize", 6, 0, 0.0f, -1, 0, -1, "", C, {-1, -1}, "", ""},
    {"prayer", 4, 0, 0.0f, -1, 0, -1, "", C, {-1, -1}, "", ""},
    {"mug", 2, 0, 0.0f, -1, 0, -1, "", C, {-1, -1}, "", ""},
    {"serpent whip", 0, 0, 0.0f, -1, 0, -1, "", C, {-1, -1}, "", ""},
    {"serpent whip trip", 0, 0, 0.0f, -1, 0, -1, "", C, {-1, -1}, "", ""},
    {"serpent whip push", 0, 0, 0.0f, -1, 0, -1, "", C, {-1, -1}, "", ""},
    {"serpent whip multi", 0, 0, 0.0f, -1, 0, -1, "", C, {-1, -1}, "", ""},
};

// Each hero's groups hold three skills, unlocked at 0, 10 and 30 points;
// group 0 holds only the added blow, at 0 points, for every hero.
const ChainSkillRow Chain_skills[NUM_CHAIN_SKILLS] = {
    {"Chain Added Blow", 0, 61, 0, 0}, {"Chain Added Blow", 1, 61, 0, 0},
    {"Chain Added Blow", 2, 61, 0, 0}, {"Chain Added Blow", 3, 61, 0, 0},
    {"Chain Kick", 1, 15, 1, 0}, {"Chain Axespin", 1, 71, 1, 10}, {"Chain Earthshaker", 1, 72, 1, 30},
    {"Chain Mend", 1, 73, 2, 0}, {"Chain Steelskin", 1, 74, 2, 10}, {"Chain Overpower", 1, 75, 2, 30},
    {"Chain Desperation", 1, 59, 3, 0}, {"Chain Sacrifice", 1, 68, 3, 10}, {"Chain Life Leech", 1, 62, 3, 30},
    {"Chain Kick", 2, 15, 1, 0}, {"Chain Mug", 2, 79, 1, 10}, {"Chain Trip", 2, 16, 1, 30},
    {"Chain Leg Swipe", 2, 58, 2, 0}, {"Chain Arm Slice", 2, 57, 2, 10}, {"Chain Blind Stab", 2, 56, 2, 30},
    {"Chain Desperation", 2, 59, 3, 0}, {"Chain Stamina Burst", 2, 60, 3, 10}, {"Chain Silence", 2, 70, 3, 30},
    {"Chain Shock Grsp", 3, 67, 1, 0}, {"Chain Burn Hands", 3, 66, 1, 10}, {"Chain Icy Touch", 3, 65, 1, 30},
    {"Chain Bless", 3, 76, 2, 0}, {"Chain Revitalize", 3, 77, 2, 10}, {"Chain Prayer", 3, 78, 2, 30},
    {"Chain Confusion", 3, 69, 3, 0}, {"Chain Stamina Burst", 3, 60, 3, 10}, {"Chain Mind Drain", 3, 63, 3, 30},
    {"Chain Desperation", 0, 59, 1, 0}, {"Chain Stamina Burst", 0, 60, 1, 10}, {"Chain Silence", 0, 70, 1, 30},
    {"Chain Confusion", 0, 69, 2, 0}, {"Chain Revitalize", 0, 77, 2, 10}, {"Chain Burn Hands", 0, 66, 2, 30},
    {"Chain Push", 0, 14, 3, 0}, {"Chain Mind Drain", 0, 63, 3, 10}, {"Chain Life Leech", 0, 62, 3, 30},
};

bool Quick_combo = false;

const int Hero_starting_chain[4][NUM_CHAIN_SLOTS] = {
    {61, 59, 69, 14},  // Ruvizo: added blow, desperation, confusion, push
    {61, 15, 73, 59},  // Zazuru: added blow, kick, mend, desperation
    {61, 15, 58, 59},  // Rivud: added blow, kick, leg swipe, desperation
    {61, 67, 76, 69},  // Rivadara: added blow, shocking grasp, bless, confusion
};

namespace {

ChainMessageFn Message_hook = nullptr;

void show_message(const char* title, const char* text) {
  if (Message_hook) Message_hook(title, text);
  else console_printf("%s\n", text);
}

bool valid_skill(int skill) { return skill >= 0 && skill < NUM_SKILLS; }

void var_name(char* out, size_t size, const char* prefix, int a, int b) { snprintf(out, size, "%s%d%d", prefix, a, b); }

int hero_of(const ChainMember& m) { return (m.type && charinfo_is_hero(m.type->kind)) ? m.type->kind : -1; }

const ChainSkillRow* chain_row(int hero, int skill) {
  for (const ChainSkillRow& r : Chain_skills) {
    if (r.hero == hero && r.skill == skill) return &r;
  }
  return nullptr;
}

}  // namespace

int skill_lookup(const char* name) { return record_index(Skills, NUM_SKILLS, name); }

bool skill_is_summon(int skill) { return valid_skill(skill) && (Skills[skill].flags & SKILL_SUMMON); }
bool skill_is_aimed_choice(int skill) { return valid_skill(skill) && (Skills[skill].flags & SKILL_AIMED_CHOICE); }
bool skill_is_attack_skill(int skill) { return skill >= 12 && skill <= 17; }

bool skill_summon_allowed(int skill) {
  if (All_summons) return true;
  if (!valid_skill(skill)) return false;
  const char* c = Skills[skill].text;
  return strcasecmp(c, "Red Minotaur") == 0 || strcasecmp(c, "Blade of Zhorek") == 0 ||
         strcasecmp(c, "Blood Elemental") == 0;
}

int skill_find_summon_by_creature(const char* creature) {
  if (!creature) return -1;
  for (int i = 0; i < NUM_SKILLS; i++) {
    if ((Skills[i].flags & SKILL_SUMMON) && strcasecmp(Skills[i].text, creature) == 0) return i;
  }
  return -1;
}

int charinfo_find_summoned_type(int spell) {
  for (int i = 0; i < NUM_SKILLS; i++) {
    if ((Skills[i].flags & SKILL_SUMMON) && Skills[i].spell == spell) return charinfo_lookup(Skills[i].text);
  }
  return -1;
}

namespace {
int saved_get(const char* prefix, int a, int b) {
  char name[32];
  var_name(name, sizeof name, prefix, a, b);
  return level_int_get(SAVED_GAME_WIDE_LEVEL, name);
}
void saved_set(const char* prefix, int a, int b, int value) {
  char name[32];
  var_name(name, sizeof name, prefix, a, b);
  level_int_set(SAVED_GAME_WIDE_LEVEL, name, value);
}
}  // namespace

void chain_config_set(int hero, int slot, int skill) { saved_set("chainconfig", hero, slot, skill); }

int chain_config_get(int hero, int slot) {
  int skill = saved_get("chainconfig", hero, slot);
  if (skill == 0) {
    // Nothing saved yet (skill 0 is never a chain skill): the defaults.
    chain_skills_defaults();
    skill = saved_get("chainconfig", hero, slot);
  }
  return skill;
}

void chain_points_set(int hero, int group, int points) { saved_set("chainpts", hero, group, points); }
int chain_points_get(int hero, int group) { return saved_get("chainpts", hero, group); }

void chain_skills_defaults() {
  for (int hero = 0; hero < 4; hero++) {
    const int index = charinfo_find_by_kind(hero);
    const Character_info* ci = index >= 0 ? &Character_infos[index] : nullptr;
    // The record keeps up, down, right, left; the slots are up, down, left, right.
    const int from_record[NUM_CHAIN_SLOTS] = {0, 1, 3, 2};
    for (int slot = 0; slot < NUM_CHAIN_SLOTS; slot++) {
      chain_config_set(hero, slot, ci ? ci->chain[from_record[slot]] : SKILL_NONE);
    }
    for (int group = 0; group < NUM_CHAIN_GROUPS; group++) chain_points_set(hero, group, 0);
  }
}

void chain_set_message_hook(ChainMessageFn fn) { Message_hook = fn; }

void chain_config_assign(const ChainMember& m, int slot, int skill) {
  const int hero = hero_of(m);
  if (hero < 0 || slot < 0 || slot >= NUM_CHAIN_SLOTS) return;
  for (int s = 0; s < NUM_CHAIN_SLOTS; s++) {
    if (chain_config_get(hero, s) == skill) chain_config_set(hero, s, SKILL_NONE);
  }
  chain_config_set(hero, slot, skill);
}

int chain_skill_get(const ChainMember& m, int slot) {
  if (!m.has_entity || m.ap < 1) {
    show_message("", "No AP!");
    return SKILL_NONE;
  }
  const int hero = hero_of(m);
  if (hero >= 0) return (slot >= 0 && slot < NUM_CHAIN_SLOTS) ? chain_config_get(hero, slot) : SKILL_NONE;
  static const int from_record[NUM_CHAIN_SLOTS] = {0, 1, 3, 2};
  if (!m.type || slot < 0 || slot >= NUM_CHAIN_SLOTS) {
    show_message("", "No chain skill configured!");
    return SKILL_NONE;
  }
  return m.type->chain[from_record[slot]];
}

void chain_slot_cycle(ChainMember& m) {
  static const int next[NUM_CHAIN_SLOTS] = {3, 2, 0, 1};  // up -> right -> down -> left -> up
  m.selected_slot = (m.selected_slot >= 0 && m.selected_slot < NUM_CHAIN_SLOTS) ? next[m.selected_slot] : 0;
}

void chain_skill_used(ChainMember& m, int skill, float strength) {
  if (!valid_skill(skill)) return;
  if (m.has_entity) {
    const float cost = static_cast<float>(Skills[skill].ap_cost);
    if (cost * 0.23f > frand()) {
      m.ap -= static_cast<int>(std::floor(strength * cost * 0.2f)) + 1;
      if (m.ap < 0) m.ap = 0;
    }
  }
  const int hero = hero_of(m);
  if (hero < 0) return;
  const ChainSkillRow* row = chain_row(hero, skill);
  if (!row) return;
  if (!Quick_combo && frand() > 0.13f) return;
  const int points = chain_points_get(hero, row->group);
  if (points >= 100) return;
  const int now = points + (Quick_combo ? 10 : 1);
  chain_points_set(hero, row->group, now);
  for (const ChainSkillRow& r : Chain_skills) {
    if (r.hero != hero || r.group != row->group) continue;
    if (static_cast<int>(r.points) > points && static_cast<int>(r.points) <= now) {
      char text[128];
      snprintf(text, sizeof text, "%.64s learned %.28s!", m.entity_name ? m.entity_name : "", r.name);
      show_message("Chain skill", text);
    }
  }
}

int chain_skills_learned_count(const ChainMember& m) {
  const int hero = hero_of(m);
  if (hero < 0) return 0;
  int count = 0;
  for (const ChainSkillRow& r : Chain_skills) {
    if (r.hero == hero && chain_points_get(hero, r.group) >= static_cast<int>(r.points)) count++;
  }
  return count;
}

int chain_skill_learned_nth(const ChainMember& m, int n) {
  const int hero = hero_of(m);
  if (hero < 0) return SKILL_NONE;
  for (const ChainSkillRow& r : Chain_skills) {
    if (r.hero == hero && chain_points_get(hero, r.group) >= static_cast<int>(r.points) && n-- == 0) return r.skill;
  }
  return SKILL_NONE;
}

int chain_slot_of_skill(const ChainMember& m, int skill) {
  const int hero = hero_of(m);
  if (hero < 0) return -1;
  for (int s = 0; s < NUM_CHAIN_SLOTS; s++) {
    if (chain_config_get(hero, s) == skill) return s;
  }
  return -1;
}

int chain_points_of_skill(const ChainMember& m, int skill) {
  const int hero = hero_of(m);
  const ChainSkillRow* row = hero >= 0 ? chain_row(hero, skill) : nullptr;
  return row ? chain_points_get(hero, row->group) : 0;
}

void chain_points_set_for_skill(const ChainMember& m, int skill, int points) {
  const int hero = hero_of(m);
  const ChainSkillRow* row = hero >= 0 ? chain_row(hero, skill) : nullptr;
  if (row) chain_points_set(hero, row->group, points);
}

namespace {

struct MpSlot {
  uint32_t in_use = 0;
  Character_info copy;
  uint32_t extra = 0;
};
MpSlot Mp_slots[MAX_MP_CHARACTER_SLOTS];

}  // namespace

Character_info* charinfo_mp_slot(int record) {
  if (record < 0 || record >= Num_character_infos) return nullptr;
  Character_info* shared = &Character_infos[record];
  if (!game_is_networked() || !charinfo_is_hero(shared->kind)) return shared;
  for (MpSlot& s : Mp_slots) {
    if (s.in_use) continue;
    s.in_use = 1;
    s.copy = *shared;
    s.copy.flags |= CIF_MP_COPY;
    s.extra = 0;
    return &s.copy;
  }
  critical_error_fmt("characterinfo", 0, "Unable to find multiplayer character info slot");
}

void charinfo_mp_slot_release(Character_info* copy) {
  // While game flag 1 (single-player) is set the copies stay.
  if (!copy || !game_is_networked() || !charinfo_is_hero(copy->kind)) return;
  for (MpSlot& s : Mp_slots) {
    if (&s.copy == copy) s.in_use = 0;
  }
}

void charinfo_mp_slots_clear() {
  for (MpSlot& s : Mp_slots) s.in_use = 0;
}

uint32_t* charinfo_slot_extra(Character_info* copy) {
  for (MpSlot& s : Mp_slots) {
    if (&s.copy == copy) return &s.extra;
  }
  return nullptr;
}

bool levelchars_write(const char* path, const char* level, const char* variant, const int* counts, int num_kinds) {
  FILE* f = std::fopen(path, "a");
  if (!f) return false;
  std::time_t now = std::time(nullptr);
  char date[64];
  std::strftime(date, sizeof date, "%a %b %d %H:%M:%S %Y\n", std::localtime(&now));
  std::fprintf(f, "==============================\n");
  std::fprintf(f, "\tCharacter count for level %s(%s)\n", level ? level : "", variant ? variant : "");
  std::fprintf(f, "\tDate: %s", date);
  std::fprintf(f, "==============================\n");
  int total = 0;
  for (const CharacterTypeRow& row : Character_type_list) {
    const int count = (counts && row.kind >= 0 && row.kind < num_kinds) ? counts[row.kind] : 0;
    if (count <= 0) continue;
    std::fprintf(f, "%s\t%d\n", row.name, count);
    total += count;
  }
  std::fprintf(f, "Total number of chars:\t%d\n", total);
  std::fprintf(f, "\n\n");
  std::fclose(f);
  return true;
}

namespace {

LevelcharsSource Levelchars_source = nullptr;

ConsoleCommand cc_charinfo("charinfo", "dump info on all characters in the game", [] {});

ConsoleCommand cc_levelchars("levelchars", "dump info on all characters in the level", [] {
  if (!Console_run) return;
  const char* level = "";
  const char* variant = "";
  const int* counts = nullptr;
  int num_kinds = 0;
  if (Levelchars_source) Levelchars_source(&level, &variant, &counts, &num_kinds);
  char path[1024];
  if (!charinfo_user_data_path("levelchars.txt", path, sizeof path) ||
      !levelchars_write(path, level, variant, counts, num_kinds)) {
    console_printf("Unable to open levelchars.txt for writing\n");
    return;
  }
  console_printf("done dumping character information to levelchars.txt\n");
});

}  // namespace

void levelchars_set_source(LevelcharsSource source) { Levelchars_source = source; }
