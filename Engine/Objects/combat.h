#pragma once
// The combat part of every living entity: it turns the AI's wish to fight a
// target into attack and defence moves, chains, counterattacks and hits.
// Two melee fighters facing each other trade blows as an exchange (one wins
// the initiative and strikes, the other parries, dodges or is struck); any
// other attacker strikes one-sidedly with a cooldown. Timing rests on two
// triggers of the playing move: 7 (the blow connects) and 6 (the committed
// part is over).
//
// Skill numbers are rows of the skill table; 85 means none. The world the
// fight needs beyond the entity (HUD, voices, chain skills, the party, the
// network, decals, sounds, bosses) comes through CombatHooks.
#include <cstdint>

#include "quarn/math/vector.h"
#include "quarn/os/timer.h"

class living_entity;
struct Move_info;

enum CombatPhase {
  CP_IDLE = 0, CP_ATTACKING = 1, CP_STRUCK = 2, CP_DEFENDING = 3, CP_REACTING = 4, CP_MISSILE = 5, CP_BOSS = 6
};

enum CombatSkill {
  CS_SPEED = 2, CS_PARRY = 9, CS_COUNTER = 10, CS_DODGE = 11, CS_CRITICAL = 12, CS_DOUBLE = 13, CS_PUSH = 14,
  CS_KICK = 15, CS_TRIP = 16, CS_AIMED = 17, CS_BACKSTAB = 18, CS_ENERGY = 30, CS_FIRE = 32, CS_ICE = 33,
  CS_AXESPIN = 71, CS_EARTHSHAKER = 72, CS_MUG = 79, CS_NONE = 85
};

// The AI sub-states of AI_STATE_COMBAT the fight reads.
constexpr int AI_SUB_EXCHANGE_A = 15, AI_SUB_EXCHANGE_B = 31, AI_SUB_EXCHANGE_C = 63;
constexpr int AI_SUB_MISSILE = 16, AI_SUB_BACKSTAB = 17;
constexpr int AI_SUB_DOWN = 45, AI_SUB_STUNNED = 46, AI_SUB_STAGGER = 47;

constexpr int PKT_COM_SEQ = 30;

class combat_state {
 public:
  combat_state();
  void reset();
  void set_owner(living_entity* e) { owner = e; }
  void set_target(living_entity* owner_entity, living_entity* target_entity);
  living_entity* get_target() const;
  bool engage(int variation);
  bool is_attacking() const { return phase != CP_IDLE; }
  void set_attack_style(int s) { skill = s; }
  int get_attack_type() const { return attack_type; }
  void set_hit_count(int n) { hits = n; }
  void set_boss_attack_type(int s);
  float try_chain(int chain_skill);
  bool can_hit(combat_state* target_combat);
  int attack_now(combat_state* target_combat);
  float get_attack_level() const;
  float get_weapon_skill() const;
  bool has_weapon_skill() const { return get_weapon_skill() > 0.0f; }
  void replay_attack(bool no_defence, int variation, int defence_kind, int attack_skill);

  // Hit resolution and damage.
  void hit_chance(combat_state* attacker, bool pre_roll);
  float compute_damage();
  void process_hit(bool react);
  float get_armor_rating() const;
  void spill_blood(float damage);

  // The machines, one frame each (engage picks one).
  void update_exchange();
  void update_attack();
  void update_missile();
  void update_backstab();
  int land_hit();

  // Pieces the machines share, public for the boss module and tests.
  void attack(bool one_sided);
  float initiative_chance(const combat_state* target_combat) const;
  void choose_attack();
  int pick_skill();
  void play_skill_move(int s);
  const Move_info* pick_attack_move(bool track_variation);
  void play_parry(const combat_state* attacker);
  void play_dodge();
  void play_defence_move();
  bool defence_in_time() const;
  void queue_counterattack();
  void play_reaction(int location);
  void play_reaction_checked(int location);
  // A hit's flinch, unless the owner is a boss, fights in an exchange or a
  // missile stance, or its AI is disabled.
  void react_to_hit(int location);
  void clear_chain() {
    last_chain_skill = CS_NONE;
    chain_count = 0;
    gentle_steps = 0;
  }
  void send_attack(bool no_defence);

  living_entity* owner = nullptr;
  int32_t target = -1;
  combat_state* target_combat = nullptr;
  GameTimestamp death_time;
  int32_t phase = CP_IDLE;
  uint32_t last_variation = 0;
  uint8_t chain_queued = 0;
  int32_t chain_count = 0;
  int32_t gentle_steps = 0;
  int32_t last_chain_skill = CS_NONE;
  uint8_t initiative = 0;
  const Move_info* defence_move = nullptr;
  int32_t move_handle = 0;
  int32_t skill = CS_NONE;
  int32_t attack_type = CS_NONE;
  int32_t hits = 0;
  // Set by a boss module that takes over the hit of the attack under way.
  int32_t armed = 0;
  int32_t reaction_move = -1;
  float position_bonus = 0.0f;
  float attack_cooldown = 0.0f;
  uint8_t unaware = 0;
};

struct CombatHooks {
  void (*hud_message)(const char* text) = nullptr;
  void (*voice)(living_entity* hero, int action) = nullptr;
  // The selected member's chain skill of a slot (85 none), and its use.
  int (*chain_skill_get)(living_entity* hero, int slot) = nullptr;
  void (*chain_skill_use)(living_entity* hero, int skill, int chain_count) = nullptr;
  void (*party_combat_ready)() = nullptr;
  int (*party_count_active)() = nullptr;
  void (*party_add_gold)(int gold) = nullptr;
  // The COM_SEQ record; to the host, or from the host to everyone.
  void (*send)(const uint8_t* payload, int size) = nullptr;
  // Spell 55 (25 for kind 88) from a point toward a target.
  void (*spawn_missile)(living_entity* from, int spell, const vector& origin, living_entity* to) = nullptr;
  void (*hit_sound)(int attacker_material, int defender_material, const vector& at) = nullptr;
  void (*game_sound)(int sound, const vector& at) = nullptr;
  void (*decal)(const char* bitmap, const vector& at, const vector& dir, float extent, uint8_t tint) = nullptr;
  // The spell hits and casts a few skills trigger (lands of later magic).
  void (*hit_by_spell)(living_entity* target, int spell, living_entity* caster, int method) = nullptr;
  void (*cast_on_self)(living_entity* caster, int spell) = nullptr;
  // The specials of items and abilities, around a landed blow.
  void (*struck_specials)(living_entity* victim, living_entity* attacker, float damage) = nullptr;
  void (*hit_specials)(living_entity* attacker, living_entity* victim, float damage) = nullptr;
  // Push and trip orders of the AI.
  void (*push)(living_entity* victim, living_entity* by) = nullptr;
  void (*trip)(living_entity* victim, int ms) = nullptr;
  void (*consider_target)(living_entity* e, living_entity* attacker) = nullptr;
};
void combat_set_hooks(const CombatHooks& hooks);
const CombatHooks& combat_hooks();

// The assisted-chain byte of the game settings, and the console switch
// that makes every blow of a player character land for 200.
extern bool Assisted_chains;
extern bool Super_power;

// The fight's part of an entity's frame until the AI's per-entity process
// takes it over: an entity out of hit points dies, one whose AI fights
// engages its target.
void combat_entity_step(living_entity* e);
// The step of every live entity, once a frame after the AI has run.
void combat_entities_frame();

float combat_position_bonus(const living_entity* a, const living_entity* v);
void combat_spawn_blood(living_entity* a, living_entity* v);
void combat_spark_on_parry(living_entity* a, living_entity* v);
void combat_play_hit_sound(living_entity* a, living_entity* v);

// COM_SEQ on the wire: two network ids, the variation, the defence kind
// (255 none), the no-defence flag and the attack type, little-endian.
struct ComSeq {
  int32_t attacker = -1;
  int32_t defender = -1;
  uint32_t variation = 0;
  uint8_t defence_kind = 255;
  uint8_t no_defence = 0;
  int32_t attack_type = CS_NONE;
};
constexpr int COM_SEQ_SIZE = 18;
void com_seq_write(const ComSeq& c, uint8_t* out);
// False for a short payload, a variation above 5, an unknown defence kind,
// a flag other than 0 or 1, or an attack type that is no skill.
bool com_seq_read(const uint8_t* payload, int size, ComSeq* out);
// Finds both entities by network id and replays; false when refused.
bool com_seq_received(const uint8_t* payload, int size, living_entity* (*by_net_id)(int id));
