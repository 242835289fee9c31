#pragma once
// Releasing a spell: how each spell reaches its targets (at once, by a
// timed or delayed hit, a volley, a missile, an area, the party), the
// release whose outcome is already known (what peers apply), and the
// RLS_SPL record that carries such a release between machines.
#include <cstdint>

#include "Engine/Objects/spell_outcome.h"
#include "quarn/math/matrix.h"
#include "quarn/math/vector.h"

class living_entity;
struct Item_info;

constexpr int PKT_RLS_SPL = 49;

// A release: handles, not pointers, so that it means the same on every
// machine once the handles are mapped to network ids.
struct SpellRelease {
  int32_t caster = -1;
  int32_t spell = -1;
  int32_t target = -1;
  bool has_pos = false;
  vector pos{0, 0, 0};
  bool has_orient = false;
  matrix orient{};
  const Item_info* item = nullptr;
  int32_t source = SS_CAST;
  vector release_pos{0, 0, 0};
  SpellOutcome outcome;
};

// RLS_SPL on the wire, little-endian: caster network id, spell, target
// network id (-1 none), flags (1 aimed point, 2 orientation), source kind,
// item index (16 bits, -1 none), the aimed point (3 floats), the
// orientation (9 floats, rows), the release position (3 floats), then the
// 13 words of the outcome.
constexpr int RLS_SPL_SIZE = 128;
void rls_spl_write(const SpellRelease& r, int32_t caster_net, int32_t target_net, uint8_t out[RLS_SPL_SIZE]);
struct RlsSpl {
  int32_t caster_net = -1;
  int32_t target_net = -1;
  int32_t item_index = -1;
  SpellRelease release;  // caster and target still unmapped
};
// False for a payload of another size, an unknown spell, source kind or
// flag, an item index outside the item table, a float that is not finite or
// an outcome layout that does not exist.
bool rls_spl_read(const uint8_t* payload, int size, RlsSpl* out);
// Maps the network ids and carries the release out; false when refused
// (bad record, caster unknown, a named target that is gone).
bool rls_spl_received(const uint8_t* payload, int size, living_entity* (*by_net_id)(int id));

struct GameSound;
struct SpellCastHooks {
  // RLS_SPL to the peers.
  void (*send)(const uint8_t* payload, int size) = nullptr;
  // Plays a spell's sound, at a place or (null) without one; a positional
  // emitter that follows an effect (its id, -1 none).
  void (*sound)(GameSound* sound, const vector* at) = nullptr;
  int (*emitter)(GameSound* sound, const vector& at) = nullptr;
  // The level's ground under a point (beams end where it stops), and
  // whether a straight step between two points meets no obstacle edge.
  bool (*ground_below)(const vector& p) = nullptr;
  bool (*path_free)(const living_entity* e, const vector& from, const vector& to) = nullptr;
};
void spell_cast_set_hooks(const SpellCastHooks& hooks);

// Spells that fly from the caster's hand to their target.
bool spell_is_missile(int spell);

// The spell sounds. Spells 50 to 53 play their hit sound once without a
// place at full volume and register it anew the next time.
void spell_play_cast_sound(int spell, const living_entity* e);
void spell_play_sound(int spell, const vector& at);
void spell_play_misc_sound(int spell, const vector& at);

// The 20 missile launch points: where a cast effect holds its missile.
constexpr int MAX_LAUNCH_POINTS = 20;
void spell_launch_points_reset();
// After a cast move starts: the node "$missile" of the cast effect, kept
// while a slot is free (a full table first forgets the effects that are
// gone and keeps nothing this time). False when nothing was kept.
bool spell_record_launch_point(living_entity* caster, int cast_effect);
// Frees the slot of an effect; its index (-1 none) and its place.
int spell_take_launch_point(int cast_effect, vector* pos, matrix* orient);
// The spell's hit effect at a given place, or at the cast effect's launch
// point; its misc sound plays there. The effect handle or -1.
int spell_spawn_hit_effect(int spell, int cast_effect, living_entity* caster, living_entity* target,
                           const vector* pos, const matrix* orient);
// Spell 26's missile: the effect becomes a kind-7 missile of its owner with
// an avoidance area of 2 by 2.
void spell_create_missile(living_entity* owner, int effect, const vector& start, float speed, const matrix& orient);
// A beam from the caster toward a point, cut where the ground stops; the
// effect handle or -1. Its two ends through the out pointers.
int spell_create_beam(int spell, living_entity* caster, const vector& toward, float radius, vector* end_a,
                      vector* end_b);
// Spell 35's wall at a point.
int spell_create_wall(living_entity* owner, const vector& pos, float radius, const matrix& orient);
// The entity's orientation turned toward one of its four sides that is free
// at the given distance (any side, at random, when none is).
matrix spell_aim_free_side(const living_entity* e, float distance);

// Releases a spell; position and orientation may be null.
void spell_cast(living_entity* caster, int spell, int target, const vector* pos, const matrix* orient,
                const Item_info* item, int source);
// Carries out a release whose outcome is set; true when the hit sound had a
// place to play.
bool spell_hit(const SpellRelease& r);
// What a game effect delivers when it arrives: the outcome it carries, else
// the spell's local hit.
void spell_fx_hit(int spell, living_entity* owner, living_entity* target, const vector* point,
                  const Item_info* item, const SpellOutcome* outcome, int source);

// The specials around a landed blow: the attacker's type special and weapon
// special, and the defender's reflex and armour specials (also on a parry,
// with damage 0). A beneficial special acts on its carrier, any other on
// the other fighter.
void spell_apply_on_hit_spells(living_entity* attacker, living_entity* victim, float damage);
void spell_apply_on_struck_spells(living_entity* victim, living_entity* attacker, float damage);
