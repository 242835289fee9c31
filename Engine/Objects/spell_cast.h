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

struct SpellCastHooks {
  // RLS_SPL to the peers.
  void (*send)(const uint8_t* payload, int size) = nullptr;
};
void spell_cast_set_hooks(const SpellCastHooks& hooks);

// Releases a spell; position and orientation may be null.
void spell_cast(living_entity* caster, int spell, int target, const vector* pos, const matrix* orient,
                const Item_info* item, int source);
// Carries out a release whose outcome is set; true when the hit sound had a
// place to play.
bool spell_hit(const SpellRelease& r);
// What a game effect delivers when it arrives: the outcome it carries, else
// the spell's local hit.
void spell_fx_hit(int spell, living_entity* owner, living_entity* target, const vector* point,
                  const Item_info* item, const SpellOutcome* outcome);

// The specials around a landed blow: the attacker's type special and weapon
// special, and the defender's reflex and armour specials (also on a parry,
// with damage 0). A beneficial special acts on its carrier, any other on
// the other fighter.
void spell_apply_on_hit_spells(living_entity* attacker, living_entity* victim, float damage);
void spell_apply_on_struck_spells(living_entity* victim, living_entity* attacker, float damage);
