#pragma once
// Skills and chain skills. The skill table (84 rows) and the chain-skill
// table (40 rows) are built in; tables, items and the combat code name
// skills by their row number, and 85 means no skill everywhere.
//
// A hero's chain configuration and learned points are named integers of the
// saved game ("chainconfig<hero><slot>", "chainpts<hero><group>"), so they
// are saved and loaded with it. Chain slots: 0 up, 1 down, 2 left, 3 right.
#include <cstdint>

#include "Engine/characterinfo/characterinfo.h"

enum SkillFlags : int32_t {
  SKILL_BASIC = 1, SKILL_CHAIN = 2, SKILL_SUMMON = 4, SKILL_AIMED_CHOICE = 8, SKILL_DRAGON_SUMMON = 16
};

struct Skill_info {
  const char* name;
  int32_t ap_cost;
  int32_t base;
  float factor;
  int32_t extra;
  int32_t group;
  int32_t spell;
  const char* text;  // a summoned creature's type name, or an aimed-attack choice
  int32_t flags;
  int32_t unused[2];
  const char* description;
  const char* active_description;
};
extern const Skill_info Skills[NUM_SKILLS];

constexpr int NUM_CHAIN_SKILLS = 40;
constexpr int NUM_CHAIN_SLOTS = 4;
constexpr int NUM_CHAIN_GROUPS = 4;
struct ChainSkillRow {
  char name[28];
  int32_t hero;
  int32_t skill;
  int32_t group;
  uint32_t points;
};
extern const ChainSkillRow Chain_skills[NUM_CHAIN_SKILLS];

// The chain skills each hero's table starts with (up, down, left, right):
// the first skill of each group. The hero tables name them; a new game
// configures them from there.
extern const int Hero_starting_chain[4][NUM_CHAIN_SLOTS];

// When on, every use of a chain skill teaches: 10 points at a time.
extern bool Quick_combo;

int skill_lookup(const char* name);
bool skill_is_summon(int skill);
bool skill_is_aimed_choice(int skill);
bool skill_is_attack_skill(int skill);
bool skill_summon_allowed(int skill);
int skill_find_summon_by_creature(const char* creature);
int charinfo_find_summoned_type(int spell);

void chain_config_set(int hero, int slot, int skill);
int chain_config_get(int hero, int slot);
void chain_points_set(int hero, int group, int points);
int chain_points_get(int hero, int group);
// Slots from each hero type's up, down, left and right skills; points 0.
void chain_skills_defaults();

// A party member as the chain-skill rules see it. The party fills it in;
// ap is changed in place when a use costs action points.
struct ChainMember {
  const Character_info* type = nullptr;
  bool has_entity = false;
  const char* entity_name = "";
  int ap = 0;
  int selected_slot = 0;
};

// Messages of the chain-skill rules (the HUD line and pop-ups install
// these); without them the messages go to the console.
using ChainMessageFn = void (*)(const char* title, const char* text);
void chain_set_message_hook(ChainMessageFn fn);

void chain_config_assign(const ChainMember& m, int slot, int skill);
int chain_skill_get(const ChainMember& m, int slot);
void chain_slot_cycle(ChainMember& m);
void chain_skill_used(ChainMember& m, int skill, float strength);
int chain_skills_learned_count(const ChainMember& m);
int chain_skill_learned_nth(const ChainMember& m, int n);
int chain_slot_of_skill(const ChainMember& m, int skill);
int chain_points_of_skill(const ChainMember& m, int skill);
void chain_points_set_for_skill(const ChainMember& m, int skill, int points);

// Multiplayer copies of character records: a networked hero gets its own
// copy so that two players' heroes of one type can differ.
constexpr int MAX_MP_CHARACTER_SLOTS = 4;
Character_info* charinfo_mp_slot(int record);
void charinfo_mp_slot_release(Character_info* copy);
void charinfo_mp_slots_clear();
uint32_t* charinfo_slot_extra(Character_info* copy);

// levelchars: the level's count of characters by type, appended to
// levelchars.txt in the user's data directory. counts has one entry per
// kind number (kinds at or above num_kinds count nothing). Returns false
// when the file cannot be opened.
bool levelchars_write(const char* path, const char* level, const char* variant, const int* counts, int num_kinds);
// Supplies the level name, variant and per-kind counts for the console
// command; without it the level is unnamed and empty.
using LevelcharsSource = void (*)(const char** level, const char** variant, const int** counts, int* num_kinds);
void levelchars_set_source(LevelcharsSource source);
