#pragma once
// Death, experience, loot and cooldowns of living entities: what the rest
// of the game needs beyond the entity for them (the party's records, the
// saved game's named integers, the HUD, voices, the network) comes through
// DeathHooks; unset hooks answer as a single-player game with an empty
// party would.
#include <cstdint>

class living_entity;

constexpr int NUM_RINGS = 8;
constexpr int RING_SUMMON_XP = 60000;

struct RingRow {
  const char* item;
  const char* counter;
  const char* message;  // null: announces nothing
  bool needs_ring;      // announced only while the party holds the ring
};
extern const RingRow Rings[NUM_RINGS];

struct DeathHooks {
  // The in-party members' entities, in order (at most max).
  int (*party_members)(living_entity** out, int max) = nullptr;
  // A member gained levels: stat and skill points, the new level.
  void (*level_gained)(living_entity* e, int stat_points, int skill_points, int new_level) = nullptr;
  // The unspent stat points of a member's record, and its level list
  // entries {statistic, level, value}: for the automatic distribution.
  int* (*unspent_points)(living_entity* e) = nullptr;
  int (*level_list)(living_entity* e, const int (**rows)[3]) = nullptr;
  int (*named_int_get)(const char* name) = nullptr;
  void (*named_int_set)(const char* name, int value) = nullptr;
  bool (*party_holds_item)(const char* name) = nullptr;
  void (*hud_message)(const char* text) = nullptr;
  bool (*screen_open)() = nullptr;
  void (*voice)(living_entity* hero, int action) = nullptr;
  void (*game_sound)(int sound, living_entity* at) = nullptr;
  // The summoned creature of the first hero, its record freed or forgotten.
  living_entity* (*summoned_creature)() = nullptr;
  void (*free_player_record)(living_entity* e) = nullptr;
  void (*forget_summon)() = nullptr;
  void (*transfer_pending_bonus)() = nullptr;
  void (*summon_cooldown)() = nullptr;
  void (*ai_group_leave)(living_entity* e) = nullptr;
  void (*ai_group_rejoin)(living_entity* e) = nullptr;
  // The boss module's record of damage it takes.
  void (*boss_damage)(living_entity* boss, float amount, int attacker, int arg) = nullptr;
  // The multiplayer session: players and difficulty (0 easy, 1 medium, 2 hard).
  int (*session_difficulty)() = nullptr;
  const char* (*level_name)() = nullptr;
  bool max_skills_default = false;
  bool (*max_skills)() = nullptr;
  // Host announcements.
  void (*send_adj_hps)(living_entity* e) = nullptr;
  void (*send_adj_exp)(living_entity* e, int amount) = nullptr;
  void (*send_item_drop)(living_entity* e, int object_handle, float creation_value) = nullptr;
};
void death_set_hooks(const DeathHooks& hooks);
const DeathHooks& death_hooks();

// Ring counters: set to min(old + amount, cap) and announce a summon when a
// counter crosses RING_SUMMON_XP.
void ring_add_xp(const char* ring_item, int amount, int cap);
void rings_add_xp_all(int amount, int cap);
void ring_check_summon(const char* ring_item, int old_value, int new_value);

// The experience a death hands out before it is split: the type's value
// times the level ratio r (r^1.25 from 1 up), times players, doubled.
float death_experience_total(const living_entity* dead, int players);
