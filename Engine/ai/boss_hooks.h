#pragma once
// The hooks the engine calls for bosses (object type 9, or type id 81),
// each a switch on the character type id: a boss's own module plugs its
// operations in with boss_register_module, and the layer answers for every
// type what the boss table fixes (which bosses keep an offense point, which
// are never in range, which pick their own targets) and the common default
// for the rest. Also here: gathering targets, mounting and dismounting the
// riders' horse, and the riders' taunts.
#include <cstdint>

#include "Engine/ai/boss_table.h"
#include "Engine/ai/boss_tally.h"
#include "quarn/math/vector.h"

class living_entity;
class combat_state;
struct ai_component;

// The character type ids of the bosses and of the horse riders mount.
enum BossType {
  BOSS_DEVIZIV = 81, BOSS_TIGER_RIDER = 87, BOSS_PHOENIX_RIDER = 88, BOSS_SERPENT = 89, BOSS_GHOST_RIDER = 90,
  BOSS_TENTACLE_BEAST = 147, BOSS_GIANT_SALAMANKA = 172, BOSS_ZHOREK = 177, BOSS_CALVEK = 183,
  BOSS_CALVEK_ONI = 184, BOSS_TITUS = 193, BOSS_PYRUL = 196, BOSS_MACHIVAL = 197, BOSS_DARK_RUVIZO = 201
};
constexpr int BOSS_HORSE_TYPE_ID = 85;
constexpr float BOSS_HORSE_SEARCH = 4.0f;

// What one boss's module supplies. Every operation may be null: the hook
// then does the layer's default for that type.
struct BossModule {
  int (*init)(ai_component* ai) = nullptr;
  void (*deinit)(ai_component* ai) = nullptr;
  // The module's per-frame operations, after the tally has decayed.
  void (*update)(ai_component* ai) = nullptr;
  void (*idle)(ai_component* ai) = nullptr;
  void (*combat)(ai_component* ai) = nullptr;
  bool (*attack_begin)(living_entity* e, int move) = nullptr;
  void (*attack_hit)(living_entity* attacker, living_entity* target) = nullptr;
  bool (*in_attack_range)(living_entity* boss, living_entity* target) = nullptr;
  bool (*pushed_followup)() = nullptr;
  bool (*tripped_followup)() = nullptr;
  void (*plus_spell)(living_entity* boss, living_entity* target) = nullptr;
  bool (*vetoes_attack)(living_entity* boss, living_entity* target) = nullptr;
  // The serpent's veto on hitting one of its riders (not the lead rider).
  bool (*vetoes_rider_hit)(living_entity* rider) = nullptr;
  bool (*offense_begin)(combat_state* cs) = nullptr;
  bool (*offense_hit)(combat_state* cs) = nullptr;
  bool (*tiger_hit_check)(living_entity* e) = nullptr;
  // The module's own end of an attack (81, 87).
  void (*attack_end)(living_entity* e) = nullptr;
  // Titus's and Pyrul's preferred range; false leaves it.
  bool (*preferred_range)(ai_component* ai, float* range) = nullptr;
  // The variation of the attack under way, where the module keeps it
  // itself (the serpent's riders, Dark Ruvizo).
  int (*variation)(ai_component* ai) = nullptr;
  int (*wants_spell)(living_entity* e, float* range) = nullptr;
  void (*driver_tick)(living_entity* e) = nullptr;
  bool (*allows_move)(int move) = nullptr;
  void (*classify_target)(living_entity* boss, BossCandidate* candidate) = nullptr;
  void (*script_hook_27)(living_entity* e) = nullptr;
  void (*script_hook_28)(living_entity* e) = nullptr;
  void (*anim_hook_b)(living_entity* e) = nullptr;
  // The module's state the layer reads: its tally (null: none), its stage
  // and the offense point of the attack under way.
  BossTally* tally = nullptr;
  const int* stage = nullptr;
  const BossOffensePoint** current_offense = nullptr;
  // Puts the module at a combat stage (an escape cutscene's preparation).
  void (*set_stage)(int stage) = nullptr;
  // A boss whose form changes by script: the change of stage it has armed
  // and holds back until the level script has played it (1 the first, 0
  // none), the script's word that change n has played, and the
  // transformation step a script asks for before a form's last cutscene.
  int (*transition_armed)() = nullptr;
  void (*transition_done)(int change) = nullptr;
  void (*transform_step)(living_entity* e) = nullptr;
};

// Plugs a boss's module in for its type id (replacing an earlier one);
// unknown ids are refused.
bool boss_register_module(int type_id, const BossModule& module);
const BossModule* boss_module(int type_id);
// Forgets every module (tests, shut-down).
void boss_modules_reset();

// What the level scripts ask of a boss's stages: the change its module
// has armed (0 none, or no module), the word that change n has played, and
// its transformation step (false when its module has none).
int boss_transition_armed(const living_entity* e);
void boss_transition_done(const living_entity* e, int change);
bool boss_transform_step(living_entity* e);
// The horse riders, whose stage for the scripts is their mount's.
bool boss_is_horse_rider_type(int type_id);

// The hooks.
int boss_type_id(const living_entity* e);
int boss_init(ai_component* ai);
void boss_deinit(ai_component* ai);
void boss_update(ai_component* ai);
// False when the boss has no idle of its own (the ordinary idle runs).
bool boss_idle(ai_component* ai);
bool boss_combat(ai_component* ai);
bool boss_attack_begin(living_entity* e, int move);
void boss_attack_hit(living_entity* attacker, living_entity* target);
bool boss_in_attack_range(living_entity* boss, living_entity* target);
bool boss_in_range_default(living_entity* boss, living_entity* target, const BossOffensePoint* point);
bool boss_pushed_followup(int type_id);
bool boss_tripped_followup(int type_id);
void boss_plus_spell(living_entity* boss, living_entity* target);
bool boss_vetoes_attack(living_entity* boss, living_entity* target);
// Whether the serpent's module forbids hitting this rider of it.
bool boss_is_serpent_hit_rider(living_entity* e);
bool boss_offense_begin(combat_state* cs);
bool boss_offense_hit(combat_state* cs);
bool boss_tiger_hit_check(living_entity* e);
void boss_on_attack_end(living_entity* e);
void boss_get_offense_range(ai_component* ai, float* min_range, float* max_range);
int boss_current_offense_variation(ai_component* ai);
int boss_attack_position_count(const living_entity* e);
bool boss_forces_behaviour(int type_id);
int boss_wants_spell(living_entity* e, float* range);
bool boss_type_has_own_targeting(int type_id);
void boss_driver_tick(living_entity* e);
bool boss_allows_move(int type_id, int move);
bool boss_uses_plain_path(const living_entity* e);
bool boss_is_not_boss(const living_entity* e);
float boss_step_heading_offset(ai_component* ai);
void boss_script_hook_27(living_entity* e);
void boss_script_hook_28(living_entity* e);
void boss_anim_hook_a(living_entity* e);
void boss_anim_hook_b(living_entity* e);
// An HP change of a boss, into its type's tally.
void boss_record_damage(living_entity* boss, float amount, int attacker, bool flag);
BossTally* boss_get_state_block(int type_id);

// The index of the loaded character type with that type id, -1 none.
int character_type_index_by_id(int type_id);
int boss_candidate_index(const BossCandidate* candidates, int count, int32_t handle);
// The heroes the boss has noticed or that hurt it within 20 s, each with
// its edge distance and the offense kinds the module finds suit it; the
// heroes are the members of the controlled hero's party group.
int boss_gather_targets(living_entity* boss, BossCandidate* out, int capacity, const BossTally* tally);
// Whether the boss notices the hero: within the sight range, and inside
// the close range or a frontal cone, at most 7.5 above or below.
bool boss_notices(const living_entity* boss, const living_entity* hero);

// The current level's name, for the levels where no horse can be mounted;
// set by the game at level start.
void boss_set_level_name(const char* name);
bool boss_mount_horse(living_entity* rider);
void boss_dismount_and_release(living_entity* rider);
living_entity* boss_remove_mount(living_entity* rider);
// The rider and its mount unlinked, both left where they stand; the mount.
living_entity* boss_unlink_mount(living_entity* rider);
// The boss's module put at a combat stage; nothing without a module.
void boss_set_stage(int type_id, int stage);

// The riders' taunt: past the timer, with the level in play and no
// cutscene, a one in four chance each of taunt sounds 8, 9, 10 at the
// position; the timer re-arms 2-8 s on.
void boss_taunt(const vector& position);
void boss_reset_taunt_timer();
// The sound the taunt plays through (3-D at the position); tests see it.
void boss_set_taunt_sound(void (*play)(int sound, const vector& at));
