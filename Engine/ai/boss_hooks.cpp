#include "Engine/ai/boss_hooks.h"

#include <strings.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "Engine/Objects/combat.h"
#include "Engine/Objects/entity_world.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/ai/ai_core.h"
#include "Engine/ai/ai_driver.h"
#include "Engine/ai/boss_layer.h"
#include "Engine/ai/path_graph.h"
#include "Engine/characterinfo/characterinfo.h"
#include "Engine/characterinfo/table_words.h"
#include "Engine/gameflags.h"
#include "quarn/math/floatops.h"
#include "quarn/os/timer.h"

namespace {

struct Slot {
  int type_id;
  bool registered;
  BossModule module;
};

constexpr int Boss_ids[] = {BOSS_DEVIZIV,       BOSS_TIGER_RIDER, BOSS_PHOENIX_RIDER,   BOSS_SERPENT,
                            BOSS_GHOST_RIDER,   BOSS_TENTACLE_BEAST, BOSS_GIANT_SALAMANKA, BOSS_ZHOREK,
                            BOSS_CALVEK,        BOSS_CALVEK_ONI,  BOSS_TITUS,           BOSS_PYRUL,
                            BOSS_MACHIVAL,      BOSS_DARK_RUVIZO};
constexpr int NUM_BOSSES = sizeof Boss_ids / sizeof Boss_ids[0];
Slot Modules[NUM_BOSSES];
bool Modules_ready = false;

char Level_name[64] = "";
int32_t Taunt_timer = 0;
bool Taunt_armed = false;
void (*Taunt_sound)(int, const vector&) = nullptr;

void ready() {
  if (Modules_ready) return;
  for (int i = 0; i < NUM_BOSSES; i++) Modules[i] = Slot{Boss_ids[i], false, BossModule{}};
  Modules_ready = true;
}

Slot* slot_of(int type_id) {
  ready();
  for (Slot& s : Modules)
    if (s.type_id == type_id) return &s;
  return nullptr;
}

const BossModule* module_of(int type_id) {
  const Slot* s = slot_of(type_id);
  return s && s->registered ? &s->module : nullptr;
}

bool one_of(int id, std::initializer_list<int> ids) {
  for (int i : ids)
    if (i == id) return true;
  return false;
}

int stage_of(int type_id) {
  const BossModule* m = module_of(type_id);
  return m && m->stage ? *m->stage : 0;
}

const BossOffensePoint* offense_of(int type_id) {
  const BossModule* m = module_of(type_id);
  return m && m->current_offense ? *m->current_offense : nullptr;
}

bool object_type_boss(const living_entity* e) { return e && e->type == OBJ_BOSS; }

float reach_of(const living_entity* e) {
  return e->character && e->character->attack_radius > 0.0f ? e->character->attack_radius : 1.0f;
}

float ground_edge_distance(const living_entity* a, const living_entity* b) {
  const float dx = a->pos.x - b->pos.x, dz = a->pos.z - b->pos.z;
  return std::sqrt(dx * dx + dz * dz) - a->get_radius() - b->get_radius();
}

int32_t now() { return timer_game_clock; }

}  // namespace

bool boss_register_module(int type_id, const BossModule& module) {
  Slot* s = slot_of(type_id);
  if (!s) return false;
  s->module = module;
  s->registered = true;
  return true;
}

const BossModule* boss_module(int type_id) { return module_of(type_id); }

void boss_modules_reset() {
  Modules_ready = false;
  ready();
}

int boss_type_id(const living_entity* e) { return e && e->character ? e->character->kind : -1; }

int boss_transition_armed(const living_entity* e) {
  const BossModule* m = module_of(boss_type_id(e));
  return m && m->transition_armed ? m->transition_armed() : 0;
}

void boss_transition_done(const living_entity* e, int change) {
  const BossModule* m = module_of(boss_type_id(e));
  if (m && m->transition_done) m->transition_done(change);
}

bool boss_transform_step(living_entity* e) {
  const BossModule* m = module_of(boss_type_id(e));
  if (!m || !m->transform_step) return false;
  m->transform_step(e);
  return true;
}

bool boss_is_horse_rider_type(int type_id) {
  return one_of(type_id, {BOSS_TIGER_RIDER, BOSS_PHOENIX_RIDER, BOSS_SERPENT, BOSS_GHOST_RIDER});
}

int boss_init(ai_component* ai) {
  const BossModule* m = ai && ai->owner ? module_of(boss_type_id(ai->owner)) : nullptr;
  return m && m->init ? m->init(ai) : 0;
}

void boss_deinit(ai_component* ai) {
  if (!ai || !ai->owner) return;
  const int id = boss_type_id(ai->owner);
  // The bosses that hold nothing past their fight have nothing to release.
  if (one_of(id, {BOSS_ZHOREK, BOSS_CALVEK, BOSS_CALVEK_ONI, BOSS_TITUS, BOSS_PYRUL, BOSS_MACHIVAL})) return;
  const BossModule* m = module_of(id);
  if (m && m->deinit) m->deinit(ai);
}

void boss_update(ai_component* ai) {
  if (!ai || !ai->owner || !object_type_boss(ai->owner)) return;
  const int id = boss_type_id(ai->owner);
  const BossModule* m = module_of(id);
  if (!m) return;
  if (m->tally) boss_decay_tally(*m->tally, FrameTimer);
  if (m->update) m->update(ai);
}

bool boss_idle(ai_component* ai) {
  if (!ai || !ai->owner) return false;
  const int id = boss_type_id(ai->owner);
  if (id == BOSS_GIANT_SALAMANKA) return false;
  const BossModule* m = module_of(id);
  if (!m || !m->idle) return false;
  m->idle(ai);
  return true;
}

bool boss_combat(ai_component* ai) {
  if (!ai || !ai->owner) return false;
  const BossModule* m = module_of(boss_type_id(ai->owner));
  if (!m || !m->combat) return false;
  // Only the host thinks for bosses; the others see them through the
  // object synchronisation.
  const EntityNetHooks& net = entity_net();
  if (game_is_networked() && !(net.is_host && net.is_host())) return true;
  m->combat(ai);
  return true;
}

bool boss_attack_begin(living_entity* e, int move) {
  const int id = boss_type_id(e);
  if (id == BOSS_SERPENT) {
    const BossOffensePoint* p = offense_of(id);
    return p && (p->flags & BOP_SPELL_ONLY);
  }
  if (!one_of(id, {BOSS_PHOENIX_RIDER, BOSS_GHOST_RIDER, BOSS_GIANT_SALAMANKA, BOSS_CALVEK_ONI, BOSS_TITUS,
                   BOSS_PYRUL, BOSS_DARK_RUVIZO}))
    return false;
  const BossModule* m = module_of(id);
  return m && m->attack_begin && m->attack_begin(e, move);
}

void boss_attack_hit(living_entity* attacker, living_entity* target) {
  const int id = boss_type_id(attacker);
  if (!one_of(id, {BOSS_PHOENIX_RIDER, BOSS_SERPENT, BOSS_GHOST_RIDER, BOSS_GIANT_SALAMANKA, BOSS_TITUS, BOSS_PYRUL,
                   BOSS_MACHIVAL, BOSS_DARK_RUVIZO}))
    return;
  const BossModule* m = module_of(id);
  if (m && m->attack_hit) m->attack_hit(attacker, target);
}

bool boss_in_range_default(living_entity* boss, living_entity* target, const BossOffensePoint* point) {
  if (!boss || !target) return false;
  const float d = ground_edge_distance(boss, target);
  return d < (point ? point->max_range : reach_of(boss));
}

bool boss_in_attack_range(living_entity* boss, living_entity* target) {
  if (!boss || !target) return false;
  const int id = boss_type_id(boss);
  switch (id) {
    case BOSS_DEVIZIV:
    case BOSS_CALVEK: return ground_edge_distance(boss, target) < reach_of(boss);
    case BOSS_ZHOREK: return false;
    case BOSS_TIGER_RIDER:
    case BOSS_SERPENT:
    case BOSS_TENTACLE_BEAST:
    case BOSS_GIANT_SALAMANKA: {
      const BossModule* m = module_of(id);
      if (m && m->in_attack_range) return m->in_attack_range(boss, target);
      return boss_in_range_default(boss, target, nullptr);
    }
    default: return boss_in_range_default(boss, target, offense_of(id));
  }
}

bool boss_pushed_followup(int type_id) {
  if (type_id != BOSS_GIANT_SALAMANKA && type_id != BOSS_CALVEK_ONI) return false;
  const BossModule* m = module_of(type_id);
  return m && m->pushed_followup && m->pushed_followup();
}

bool boss_tripped_followup(int type_id) {
  if (type_id != BOSS_GIANT_SALAMANKA) return false;
  const BossModule* m = module_of(type_id);
  return m && m->tripped_followup && m->tripped_followup();
}

void boss_plus_spell(living_entity* boss, living_entity* target) {
  const int id = boss_type_id(boss);
  if (id != BOSS_SERPENT && id != BOSS_GHOST_RIDER) return;
  const BossModule* m = module_of(id);
  if (m && m->plus_spell) m->plus_spell(boss, target);
}

bool boss_vetoes_attack(living_entity* boss, living_entity* target) {
  const int id = boss_type_id(boss);
  if (id != BOSS_DEVIZIV && id != BOSS_TITUS) return false;
  const BossModule* m = module_of(id);
  return m && m->vetoes_attack && m->vetoes_attack(boss, target);
}

bool boss_is_serpent_hit_rider(living_entity* e) {
  if (boss_type_id(e) != BOSS_SERPENT) return false;
  const BossModule* m = module_of(BOSS_SERPENT);
  return m && m->vetoes_rider_hit && m->vetoes_rider_hit(e);
}

bool boss_offense_begin(combat_state* cs) {
  const int id = cs ? boss_type_id(cs->owner) : -1;
  if (!one_of(id, {BOSS_SERPENT, BOSS_GHOST_RIDER, BOSS_TENTACLE_BEAST, BOSS_CALVEK_ONI, BOSS_TITUS, BOSS_PYRUL,
                   BOSS_MACHIVAL}))
    return false;
  const BossModule* m = module_of(id);
  return m && m->offense_begin && m->offense_begin(cs);
}

bool boss_offense_hit(combat_state* cs) {
  const int id = cs ? boss_type_id(cs->owner) : -1;
  if (!one_of(id, {BOSS_SERPENT, BOSS_GHOST_RIDER, BOSS_TENTACLE_BEAST, BOSS_CALVEK_ONI, BOSS_TITUS, BOSS_PYRUL,
                   BOSS_MACHIVAL}))
    return false;
  const BossModule* m = module_of(id);
  return m && m->offense_hit && m->offense_hit(cs);
}

bool boss_tiger_hit_check(living_entity* e) {
  if (boss_type_id(e) != BOSS_TIGER_RIDER) return false;
  const BossModule* m = module_of(BOSS_TIGER_RIDER);
  return m && m->tiger_hit_check && m->tiger_hit_check(e);
}

void boss_on_attack_end(living_entity* e) {
  const int id = boss_type_id(e);
  const BossModule* m = module_of(id);
  if (!m) return;
  if (id == BOSS_DEVIZIV || id == BOSS_TIGER_RIDER) {
    if (m->attack_end) m->attack_end(e);
    if (id == BOSS_DEVIZIV) return;
  }
  if (one_of(id, {BOSS_TIGER_RIDER, BOSS_PHOENIX_RIDER, BOSS_SERPENT, BOSS_GHOST_RIDER, BOSS_ZHOREK, BOSS_CALVEK_ONI,
                  BOSS_TITUS, BOSS_PYRUL, BOSS_MACHIVAL, BOSS_DARK_RUVIZO}) &&
      m->current_offense)
    *m->current_offense = nullptr;
}

void boss_get_offense_range(ai_component* ai, float* min_range, float* max_range) {
  if (!ai || !ai->owner) return;
  const int id = boss_type_id(ai->owner);
  if (one_of(id, {BOSS_PHOENIX_RIDER, BOSS_SERPENT, BOSS_GHOST_RIDER, BOSS_DARK_RUVIZO})) {
    const BossOffensePoint* p = offense_of(id);
    if (!p) return;
    if (min_range) *min_range = p->min_range;
    if (max_range) *max_range = p->max_range;
    ai->preferred_range = p->max_range;
    return;
  }
  if (id == BOSS_TITUS || id == BOSS_PYRUL) {
    const BossModule* m = module_of(id);
    float r = 0.0f;
    if (m && m->preferred_range && m->preferred_range(ai, &r)) ai->preferred_range = r;
  }
}

int boss_current_offense_variation(ai_component* ai) {
  if (!ai || !object_type_boss(ai->owner)) return 0;
  const int id = boss_type_id(ai->owner);
  const BossModule* m = module_of(id);
  if ((id == BOSS_SERPENT || id == BOSS_DARK_RUVIZO) && m && m->variation) return m->variation(ai);
  if (!one_of(id, {BOSS_TIGER_RIDER, BOSS_PHOENIX_RIDER, BOSS_GHOST_RIDER, BOSS_ZHOREK, BOSS_CALVEK_ONI, BOSS_TITUS,
                   BOSS_PYRUL, BOSS_MACHIVAL}))
    return 0;
  const BossOffensePoint* p = offense_of(id);
  return p ? p->variation : 0;
}

int boss_attack_position_count(const living_entity* e) {
  if (!e || !e->character) return 0;
  if (object_type_boss(e)) {
    const int id = boss_type_id(e);
    const int stage = stage_of(id);
    // Riders lose their positions once they fight from the saddle.
    if (id == BOSS_TIGER_RIDER && stage == 3) return 0;
    if ((id == BOSS_PHOENIX_RIDER || id == BOSS_SERPENT || id == BOSS_GHOST_RIDER) && stage > 1) return 0;
  }
  const int n = e->character->attack_tag_count;
  return n < 0 ? 0 : n > NUM_ATTACK_TAGS ? NUM_ATTACK_TAGS : n;
}

bool boss_forces_behaviour(int type_id) {
  const int stage = stage_of(type_id);
  if (type_id == BOSS_TIGER_RIDER) return stage == 1 || stage == 2;
  if (type_id == BOSS_SERPENT) return stage == 1;
  return false;
}

int boss_wants_spell(living_entity* e, float* range) {
  const int id = boss_type_id(e);
  if (id != BOSS_TIGER_RIDER && id != BOSS_PHOENIX_RIDER) return 0;
  const BossModule* m = module_of(id);
  return m && m->wants_spell ? m->wants_spell(e, range) : 0;
}

bool boss_type_has_own_targeting(int type_id) {
  return one_of(type_id, {BOSS_TIGER_RIDER, BOSS_PHOENIX_RIDER, BOSS_GHOST_RIDER, BOSS_TENTACLE_BEAST, BOSS_ZHOREK,
                          BOSS_CALVEK, BOSS_CALVEK_ONI, BOSS_TITUS, BOSS_PYRUL, BOSS_MACHIVAL, BOSS_DARK_RUVIZO});
}

void boss_driver_tick(living_entity* e) {
  const int id = boss_type_id(e);
  if (id != BOSS_DEVIZIV && id != BOSS_TENTACLE_BEAST) return;
  const BossModule* m = module_of(id);
  if (m && m->driver_tick) m->driver_tick(e);
}

bool boss_allows_move(int type_id, int move) {
  if (type_id != BOSS_GIANT_SALAMANKA) return true;
  const BossModule* m = module_of(type_id);
  return !m || !m->allows_move || m->allows_move(move);
}

bool boss_uses_plain_path(const living_entity* e) {
  const int id = boss_type_id(e);
  return id != BOSS_TITUS && id != BOSS_PYRUL;
}

bool boss_is_not_boss(const living_entity* e) { return !object_type_boss(e); }

float boss_step_heading_offset(ai_component* ai) {
  if (!ai || !ai->owner) return 0.0f;
  living_entity* e = ai->owner;
  for (int guard = 0; guard < 4; guard++) {
    living_entity* r = e->get_rider();
    if (!r) break;
    e = r;
  }
  if (!object_type_boss(e)) return 0.0f;
  const int id = boss_type_id(e);
  const living_entity* t = entity_from_handle(e->ai.target);
  auto close_and_still = [&] {
    return t && ground_edge_distance(e, t) < 2.0f && t->get_anim_distance() < 0.2f;
  };
  if (id == BOSS_TIGER_RIDER && stage_of(id) == 2 && close_and_still()) return -0.7f;
  if (id == BOSS_SERPENT && stage_of(id) == 1) {
    const BossOffensePoint* p = offense_of(id);
    static const int sickle = word_index(Variation_names, NUM_VARIATIONS, "serp1 sickle");
    if (p && sickle >= 0 && p->variation == sickle && close_and_still()) return 0.86f;
  }
  return 0.0f;
}

void boss_script_hook_27(living_entity* e) {
  const int id = boss_type_id(e);
  if (!one_of(id, {BOSS_TIGER_RIDER, BOSS_PHOENIX_RIDER, BOSS_SERPENT, BOSS_GHOST_RIDER})) return;
  const BossModule* m = module_of(id);
  if (m && m->script_hook_27) m->script_hook_27(e);
}

void boss_script_hook_28(living_entity* e) {
  const int id = boss_type_id(e);
  if (!one_of(id, {BOSS_TIGER_RIDER, BOSS_PHOENIX_RIDER, BOSS_SERPENT, BOSS_GHOST_RIDER})) return;
  const BossModule* m = module_of(id);
  if (m && m->script_hook_28) m->script_hook_28(e);
}

void boss_anim_hook_a(living_entity*) {}

void boss_anim_hook_b(living_entity* e) {
  const int id = boss_type_id(e);
  // The phoenix rider's ending serves the riders that have none of their own.
  if (id == BOSS_TIGER_RIDER || id == BOSS_PHOENIX_RIDER || id == BOSS_SERPENT) {
    const BossModule* m = module_of(BOSS_PHOENIX_RIDER);
    if (m && m->anim_hook_b) m->anim_hook_b(e);
  } else if (id == BOSS_GHOST_RIDER) {
    const BossModule* m = module_of(id);
    if (m && m->anim_hook_b) m->anim_hook_b(e);
  }
}

BossTally* boss_get_state_block(int type_id) {
  const BossModule* m = module_of(type_id);
  return m ? m->tally : nullptr;
}

void boss_record_damage(living_entity* boss, float amount, int attacker, bool flag) {
  BossTally* t = boss_get_state_block(boss_type_id(boss));
  if (t) boss_record_damage(*t, amount, attacker, flag);
}

// ---- targets ---------------------------------------------------------------------------

int character_type_index_by_id(int type_id) {
  for (int i = 0; i < Num_character_infos; i++)
    if (Character_infos[i].kind == type_id && Character_infos[i].name) return i;
  return -1;
}

int boss_candidate_index(const BossCandidate* candidates, int count, int32_t handle) {
  for (int i = 0; i < count; i++)
    if (candidates[i].entity && candidates[i].entity->handle == handle) return i;
  return -1;
}

bool boss_notices(const living_entity* boss, const living_entity* hero) {
  if (!boss || !hero || !boss->character) return false;
  if (std::fabs(boss->pos.y - hero->pos.y) >= 7.5f) return false;
  const float d = ground_edge_distance(boss, hero);
  if (d >= boss->character->fov_range) return false;
  if (d < boss->character->detection_range) return true;
  vector to(hero->pos.x - boss->pos.x, 0.0f, hero->pos.z - boss->pos.z);
  const float len = std::sqrt(to.x * to.x + to.z * to.z);
  if (len <= 0.0f) return true;
  const float dot = (to.x * boss->orient.forward.x + to.z * boss->orient.forward.z) / len;
  return dot >= 0.71f;
}

int boss_gather_targets(living_entity* boss, BossCandidate* out, int capacity, const BossTally* tally) {
  if (!boss || !out) return 0;
  const BossModule* m = module_of(boss_type_id(boss));
  int n = 0, members = 0;
  living_entity* list = entity_live_list();
  for (living_entity* e = entity_first(list); e && n < capacity && members < 6; e = entity_next(list, e)) {
    if (e->type != OBJ_PLAYER || (e->state & ES_DEAD)) continue;
    members++;
    bool hurt_lately = false;
    if (tally) {
      const int at = boss_tally_find(e->handle, *tally);
      hurt_lately = at >= 0 && !timestamp_elapsed(tally->entries[at].expiry, now());
    }
    if (!hurt_lately && !boss_notices(boss, e)) continue;
    BossCandidate& c = out[n++];
    c = BossCandidate{};
    c.entity = e;
    c.distance = ground_edge_distance(boss, e);
    if (m && m->classify_target) m->classify_target(boss, &c);
  }
  return n;
}

// ---- the horse -------------------------------------------------------------------------

void boss_set_level_name(const char* name) {
  std::snprintf(Level_name, sizeof Level_name, "%s", name ? name : "");
}

bool boss_mount_horse(living_entity* rider) {
  if (!rider) return false;
  if (strcasecmp(Level_name, "Shenwu") == 0 || strcasecmp(Level_name, "Jadetemple") == 0) return false;
  if (living_entity* m = rider->get_mount(); m && m->get_rider() == rider) return true;
  living_entity* horse = nullptr;
  living_entity* list = entity_live_list();
  for (living_entity* e = entity_first(list); e; e = entity_next(list, e)) {
    if (boss_type_id(e) != BOSS_HORSE_TYPE_ID || e->get_rider()) continue;
    if (ground_edge_distance(e, rider) < BOSS_HORSE_SEARCH) {
      horse = e;
      break;
    }
  }
  if (!horse) {
    const int index = character_type_index_by_id(BOSS_HORSE_TYPE_ID);
    if (index < 0) return false;
    horse = living_entity_create(OBJ_NEUTRAL, index, rider->pos, rider->orient, rider->layer, 1, true);
    if (!horse) return false;
  }
  horse->mount_link = rider->handle;
  horse->link_flags |= 2;
  rider->mount_link = horse->handle;
  rider->link_flags |= 1;
  return true;
}

namespace {

living_entity* unlink(living_entity* rider) {
  living_entity* m = rider ? rider->get_mount() : nullptr;
  if (!m) return nullptr;
  m->mount_link = -1;
  m->link_flags = 0;
  m->ai.leader = -1;
  rider->mount_link = -1;
  rider->link_flags &= ~1u;
  return m;
}

}  // namespace

void boss_dismount_and_release(living_entity* rider) {
  living_entity* m = unlink(rider);
  if (!m) return;
  // Sent off to the far end of its part of the level.
  vector far = m->pos;
  const int size = m->size_class() >= 0 && m->size_class() < PFG_SIZE_CLASSES ? m->size_class() : 0;
  const int sector = m->layer >= 0 && m->layer < PFG_SECTORS ? m->layer : 0;
  const PathSector& s = Path_graph.sectors[size][sector];
  float best = -1.0f;
  for (int i = 0; i < s.node_count; i++) {
    const PathPoint* p = s.nodes[i].point;
    if (!p) continue;
    const float dx = p->x - m->pos.x, dz = p->z - m->pos.z, d2 = dx * dx + dz * dz;
    if (d2 > best) best = d2, far = vector(p->x, m->pos.y, p->z);
  }
  ai_queue_add(&m->ai, AI_ACTION_WALK, 5000, 0, -1, &far, m->layer, AI_NO_SPELL, 30.0f);
}

living_entity* boss_unlink_mount(living_entity* rider) { return unlink(rider); }

void boss_set_stage(int type_id, int stage) {
  const BossModule* m = module_of(type_id);
  if (m && m->set_stage) m->set_stage(stage);
}

living_entity* boss_remove_mount(living_entity* rider) {
  living_entity* m = unlink(rider);
  if (!m) return nullptr;
  m->flags &= ~OF_ACTIVE;
  m->flags |= OF_DELETE;
  return m;
}

// ---- taunts ----------------------------------------------------------------------------

void boss_set_taunt_sound(void (*play)(int sound, const vector& at)) { Taunt_sound = play; }

void boss_reset_taunt_timer() {
  Taunt_timer = now();
  Taunt_armed = true;
}

void boss_taunt(const vector& position) {
  if (!Taunt_armed || !timestamp_elapsed(Taunt_timer, now())) return;
  if (game_flags_test(GF_LEVEL_IN_PLAY) && !game_flags_test(GF_CUTSCENE)) {
    const float r = frand();
    const int sound = r < 0.25f ? 8 : r < 0.5f ? 9 : r < 0.75f ? 10 : -1;
    if (sound >= 0 && Taunt_sound) Taunt_sound(sound, position);
  }
  Taunt_timer = now() + boss_random_int(2000, 8000);
}
