#pragma once
// The party: five player records, each tying a hero's living entity to its
// skill table and cooldowns, on exactly one of three lists (free, in party,
// out of party). One in-party member is selected and driven by the player;
// the others follow under the AI. Heroes join and leave by name, are created
// by character-type name, and the in-party list stays in the game's order:
// Ruvizo, Rivud, Rivadara, Zazuru, then the others.
#include <cstdint>

#include "Engine/characterinfo/table_words.h"  // HeroKind
#include "quarn/math/vector.h"

class living_entity;

#define MAX_PLAYER_RECORDS 5
#define NUM_SKILL_COOLDOWNS 84


// Record flags.
constexpr uint32_t PR_HOLD = 0x4;        // stays behind in solo mode
constexpr uint32_t PR_CONTROLLED = 0x8;  // driven by the player

struct HeroSkillRow {
  int32_t skill;
  int32_t min_level;
  int32_t initial;
};

struct PlayerRecord {
  PlayerRecord* next = nullptr;
  PlayerRecord* prev = nullptr;
  int32_t type = -1;    // character type index
  int32_t entity = -1;  // object handle, -1 none
  uint32_t flags = 0;
  void* network_player = nullptr;
  int32_t skill_count = 0;
  HeroSkillRow* skills = nullptr;
  int32_t cooldowns[NUM_SKILL_COOLDOWNS] = {};  // game-clock ms, -1 when not running
  float pending_bonus = 0.0f;
  int32_t spare[2] = {};
  float level_factor = 0.0f;
  // What the screens and the experience code keep per member.
  int32_t unspent_stat_points = 0;
  int32_t unspent_skill_points = 0;
  float pending_hp_bonus = 0.0f;
  uint32_t stat_allow_mask = 0xFFFFFFFFu;
  uint32_t member_flags = 0;
};

extern PlayerRecord Player_records[MAX_PLAYER_RECORDS];
extern PlayerRecord* Selected_record;
extern living_entity* Selected_entity;
extern PlayerRecord* Follow_leader;
extern living_entity* Follow_target;
extern uint8_t Party_combat_ready;


// List walks: first and next of the in-party and out-of-party lists, null at
// the end.
PlayerRecord* party_first();
PlayerRecord* party_next(PlayerRecord* r);
PlayerRecord* party_out_first();
PlayerRecord* party_out_next(PlayerRecord* r);
int party_record_count();  // records in use (in and out of party)

void party_init();
// Fatal when all five records are in use.
PlayerRecord* player_slot_alloc();
void player_slot_free(PlayerRecord* r, bool destroy);
void party_free_all();
PlayerRecord* party_find_member(int32_t entity_handle);
void party_forget_entity(int32_t entity_handle);
living_entity* member_entity(const PlayerRecord* r);

void member_set_player_control(PlayerRecord* r, bool on);
bool member_take_control(PlayerRecord* r);
bool member_release_control(PlayerRecord* r);
bool member_is_controlled(const PlayerRecord* r);
living_entity* member_spawn(PlayerRecord* r, const vector& pos, const matrix& orient, const char* name,
                            bool selected);
bool member_skill_allowed(const PlayerRecord* r, int skill);
bool member_has_skill(const PlayerRecord* r, int skill);

// A member's entity as the chain-skill rules see it.
struct ChainMember;
ChainMember party_chain_member(living_entity* e);

void party_select_member(PlayerRecord* r);
void party_select_member_if_able(PlayerRecord* r);
void party_start_skill_cooldown(living_entity* e, int skill);
bool party_remove_member(const char* name);
PlayerRecord* party_add_member(const char* name);
void party_sort();
int party_count_active();
// Null while a saved game waits to load, for an unknown type, or when the
// party is full; an existing hero of the type is returned as it is.
living_entity* hero_create(const char* name, int level, bool selected, bool place, int type);
bool toggle_solo_mode();
void party_set_combat_ready(bool on);
void party_teleport(const vector& pos, int area);

// What the party asks of the AI, the screens, the camera and the level; the
// owners fill these at start-up, unset ones do nothing.
struct PartyHooks {
  void (*group_join)(living_entity* e, living_entity* leader) = nullptr;
  void (*group_new)(living_entity* e) = nullptr;
  void (*group_leave)(living_entity* e) = nullptr;
  void (*group_make_leader)(living_entity* e) = nullptr;
  // The AI's ready order (kind 6, priority 999999) and its refresh.
  void (*ai_set_ready)(living_entity* e, bool on) = nullptr;
  void (*ai_clear_orders)(living_entity* e) = nullptr;
  bool (*ai_has_ready_order)(living_entity* e) = nullptr;
  void (*camera_target)(living_entity* e) = nullptr;
  void (*screen_special)() = nullptr;
  void (*hud_clear_buttons)() = nullptr;
  void (*hud_message)(const char* text) = nullptr;
  void (*play_feedback)(int sound) = nullptr;
  bool (*load_pending)() = nullptr;  // a saved game waits to load
  bool (*is_town)() = nullptr;
  bool (*on_world_map)() = nullptr;
  bool (*story_flag)(int level, const char* name) = nullptr;
  // The experience of a level, and a number of points (the experience code).
  void (*give_experience)(living_entity* e, int level) = nullptr;
  void (*add_experience)(living_entity* e, int points) = nullptr;
};
extern PartyHooks Party_hooks;
// Whether the player drives the entity (else the AI does).
bool entity_player_controlled(const living_entity* e);
void party_set_hooks(const PartyHooks& h);
