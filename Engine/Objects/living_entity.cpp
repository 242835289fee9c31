#include "Engine/Objects/living_entity.h"

#include <strings.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "Engine/Objects/entity_model.h"
#include "Engine/Objects/entity_world.h"
#include "Engine/Objects/inventory.h"
#include "Engine/Objects/items.h"
#include "Engine/characterinfo/experience.h"
#include "Engine/characterinfo/skills.h"
#include "Engine/gameflags.h"
#include "quarn/math/floatops.h"
#include "quarn/os/console.h"
#include "quarn/os/error.h"
#include "quarn/os/timer.h"

living_entity Living_entities[MAX_LIVING_ENTIITES];
living_entity* Study_object = nullptr;
bool Players_immortal = false;
float Chance_to_drop_gold = 0.25f;
bool No_resist = false;
bool Use_spell_ap = true;
bool Bloodspots = false;
bool Debug_death = true;

const char* const Standard_anim_names[NUM_STANDARD_ANIMS] = {
    "stand", "norm_walk", "norm_run", "ready", "walk", "run", "stand_hurt", "norm_walk_hurt", "norm_run_hurt",
    "ready_hurt", "walk_hurt", "run_hurt", "sneak_ready", "hide_ready", "tripped_liedown", "cloaked_ready",
    "cloaked_sneak", "statscreen"};

namespace {

// The list sentinels: plain records outside the array, linked to themselves.
living_entity& live_sentinel() {
  static living_entity s;
  static bool linked = (s.next_entity = s.prev_entity = &s, true);
  (void)linked;
  return s;
}
living_entity& dead_sentinel() {
  static living_entity s;
  static bool linked = (s.next_entity = s.prev_entity = &s, true);
  (void)linked;
  return s;
}

int Move_id_counter = 0;

constexpr uint32_t Hostile_masks[4] = {12, 0, 11, 7};

bool in_array(const game_object* o) {
  return o >= static_cast<const game_object*>(&Living_entities[0]) &&
         o <= static_cast<const game_object*>(&Living_entities[MAX_LIVING_ENTIITES - 1]);
}

bool name_taken(const char* candidate) {
  living_entity* list = entity_live_list();
  for (living_entity* e = entity_first(list); e; e = entity_next(list, e)) {
    if (strcasecmp(e->name, candidate) == 0) return true;
  }
  return false;
}

bool shares_model(const living_entity* self, const void* shared) {
  for (living_entity* list : {entity_live_list(), entity_dead_list()}) {
    for (living_entity* e = entity_first(list); e; e = entity_next(list, e)) {
      if (e != self && e->instance && e->instance->shared() == shared) return true;
    }
  }
  return false;
}

// The weapon class of the first item a type carries (0 when none).
int first_carried_weapon_class(const Character_info* ci) {
  if (ci->default_weapon_count < 1) return 0;
  const int index = ci->default_weapons[0];
  if (index < 0 || index >= Num_item_infos || Item_infos[index].type != ITEM_WEAPON) return 0;
  return Item_infos[index].weapon.weapon_class;
}

}  // namespace

// ---- lists -------------------------------------------------------------------

living_entity* entity_live_list() { return &live_sentinel(); }
living_entity* entity_dead_list() { return &dead_sentinel(); }
living_entity* entity_first(living_entity* list) { return list->next_entity == list ? nullptr : list->next_entity; }
living_entity* entity_next(living_entity* list, living_entity* e) {
  return e->next_entity == list ? nullptr : e->next_entity;
}
int entity_count(living_entity* list) {
  int n = 0;
  for (living_entity* e = entity_first(list); e; e = entity_next(list, e)) n++;
  return n;
}
void entity_list_append(living_entity* list, living_entity* e) {
  e->prev_entity = list->prev_entity;
  e->next_entity = list;
  list->prev_entity->next_entity = e;
  list->prev_entity = e;
}
void entity_list_unlink(living_entity* e) {
  if (!e->next_entity || !e->prev_entity) return;
  e->prev_entity->next_entity = e->next_entity;
  e->next_entity->prev_entity = e->prev_entity;
  e->next_entity = e->prev_entity = nullptr;
}

living_entity* entity_from_handle(int32_t handle) {
  game_object* o = obj_from_handle(handle);
  if (!o || !in_array(o) || !(obj_is_living_entity(o) || obj_is_dead_entity(o))) return nullptr;
  return static_cast<living_entity*>(o);
}

living_entity* entity_find_by_name(const char* text) {
  for (living_entity* list : {entity_live_list(), entity_dead_list()}) {
    for (living_entity* e = entity_first(list); e; e = entity_next(list, e)) {
      if (strcasecmp(e->name, text) == 0) return e;
    }
  }
  return nullptr;
}

int entity_next_move_id() {
  Move_id_counter++;
  if (Move_id_counter < 0) Move_id_counter = 0;
  return Move_id_counter;
}

int entity_ap_regen_amount(const living_entity* e) {
  const int amount = e->get_max_points(1) / 10;
  return amount < 1 ? 1 : amount;
}

void living_entities_reset() {
  for (living_entity* list : {entity_live_list(), entity_dead_list()}) {
    while (living_entity* e = entity_first(list)) {
      e->deinit();
      if (entity_first(list) == e) entity_list_unlink(e);
    }
  }
  for (living_entity& e : Living_entities) {
    if (e.type != OBJ_FREE) e.deinit();
  }
  for (SpeechText& s : Speech_texts) s = SpeechText{};
  for (FadeRecord& f : Fade_records) f = FadeRecord{};
  Study_object = nullptr;
}

// ---- creation ----------------------------------------------------------------

living_entity* living_entity_create(int object_type, int char_index, const vector& pos, const matrix& orient,
                                    int layer, int level, bool no_placement) {
  if (char_index < 0 || char_index >= Num_character_infos) return nullptr;
  living_entity* e = nullptr;
  for (living_entity& slot : Living_entities) {
    if (slot.type == OBJ_FREE) {
      e = &slot;
      break;
    }
  }
  if (!e) {
    critical_error_fmt("living_entity", 0,
                       "No more space for living entities.  Please increase MAX_LIVING_ENTIITES in living_entity");
    return nullptr;
  }
  e->setup(object_type, char_index, pos, orient, level);
  e->layer = layer;
  ai_init_for_spawn(&e->ai);
  if (object_type == OBJ_NEUTRAL || object_type == OBJ_CREATURE) e->ai.flags |= AIF_SPAWNED_CREATURE;

  const char* type_name = e->character->name ? e->character->name : "";
  char candidate[ENTITY_NAME_LEN + 16];
  for (int n = 1;; n++) {
    std::snprintf(candidate, sizeof candidate, "%s#%d", type_name, n);
    // The stored name is cut to fit; the uniqueness test must look at what
    // is stored, or two long names could end up equal.
    candidate[ENTITY_NAME_LEN - 1] = 0;
    if (!name_taken(candidate)) break;
  }
  e->set_name(candidate);

  if (object_type != OBJ_PLAYER && !no_placement) {
    const EntityWorldHooks& w = entity_world();
    if (w.push_out_of_obstacles) w.push_out_of_obstacles(&e->pos, e->character->size, e->layer);
    e->pos.y += 1.0f;
    e->settle_on_floor();
    if (e->floor_poly == 65535 || e->floor_poly == static_cast<uint16_t>(-1)) {
      std::fprintf(stderr, "%s has no floor at %.2f %.2f %.2f\n", e->name, e->pos.x, e->pos.y, e->pos.z);
    }
  }
  return e;
}

void living_entity::setup(int object_type, int char_index, const vector& position, const matrix& orientation,
                          int new_level) {
  // 1.
  entity_list_append(entity_live_list(), this);
  game_object::setup(object_type);
  ai = ai_component{};
  ai.owner = this;
  ai_init(&ai);
  // 2.
  emitter = -1;
  hit_by_player = 0;
  ai.owner = this;
  combat = combat_state{};
  anim_distance = 0.0f;
  desired_speed = 0.0f;
  move_blend = 0.0f;
  stance_blend = 0.0f;
  frame_step = 0.0f;
  damage_timer = position_bonus_timer = float_time = 0.0f;
  damage_shown = 0;
  floor_light = 1.0f;
  special_move_id = -1;
  move_sound = -1;
  carried_item = -1;
  level_drains = 0;
  corpse_tilt = 0.0f;
  experience = 0;
  // 3.
  pos = last_pos = position;
  orient = last_orient = orientation;
  character = &Character_infos[char_index];
  speedup_rate = character->speedup_rate;
  slowdown_rate = character->slowdown_rate;
  // 4.
  summoned_form = object_type == OBJ_PLAYER && character->name && skill_find_summon_by_creature(character->name) >= 0;
  delete instance;
  instance = entity_model_create(character, summoned_form);
  // 5.
  if (object_type == OBJ_PLAYER && charinfo_is_hero(character->kind)) set_skin(0);
  // 6.
  if (entity_game().set_weapon_class) entity_game().set_weapon_class(character, first_carried_weapon_class(character));
  equipment_clear(equipment);
  prop_tags_resolved = true;
  // 7.
  state = 0;
  move_speed = 0.0f;
  floor_mesh = floor_poly = 65535;
  layer = 0;
  current_move_id = -1;
  current_move = nullptr;
  speed_factor = 1.0f;
  name[0] = 0;
  velocity = vector(0, 0, 0);
  mount_link = -1;
  link_flags = 0;
  // 8.
  ap_regen_timer = object_type == OBJ_PLAYER ? timestamp_set(timer_game_clock, 7500) : -1;
  // 9.
  radius = 0.0f;
  if (instance) {
    vector centre;
    instance->get_bounds(&centre, &radius);
  }
  setup_standard_anims();
  // 10.
  stance_anim = stance_anim_saved = anim[SA_STAND];
  if (anim[SA_STAND] == anim[SA_READY] || game_is_networked()) {
    state |= ES_COMBAT_READY;
    stance_anim = -1;
  }
  // 11.
  combat.owner = this;
  // 12.
  level = static_cast<int16_t>(new_level < 1 ? 1 : new_level);
  experience = xp_for_level(level);
  // 13.
  compute_stats();
  set_team(character->team);
  cure_all_status_effects();
  // 14. Armour goes to the shield slot, the first weapon to the main hand
  // and later ones to slot i + 8; a third carried weapon would land past the
  // ten slots, so it is not made at all.
  for (int i = 0; i < character->default_weapon_count && i < MAX_DEFAULT_WEAPONS; i++) {
    const int index = character->default_weapons[i];
    if (index < 0 || index >= Num_item_infos) continue;
    const bool armour = Item_infos[index].type == ITEM_ARMOR;
    const int slot = armour ? EQ_SHIELD : (i == 0 ? EQ_WEAPON : i + 8);
    if (slot >= NUM_EQUIPMENT_SLOTS) continue;
    item_instance* item = item_create(index);
    if (!item) continue;
    item_instance* out1 = nullptr;
    item_instance* out2 = nullptr;
    entity_equip_item(&out1, &out2, this, slot, item);
    if (out1) item_free(out1);
    if (out2) item_free(out2);
  }
  // 15.
  if (character->kind == 206 && equipment[EQ_WEAPON2]) {
    carried_item = static_cast<int32_t>(equipment[EQ_WEAPON2]->info - Item_infos);
    if (entity_game().page_carried_item) entity_game().page_carried_item(this, carried_item);
    item_free(equipment[EQ_WEAPON2]);
    equipment[EQ_WEAPON2] = nullptr;
  }
  // 16.
  set_movement_anim();
  speed_scale = speed_scale_default;
  float_text[0] = 0;
  float_time = 0.0f;
  mount_link = -1;
  link_flags = 0;
  move_effect = -1;
  flags |= OF_ACTIVE;
  // 17.
  ai_set_behaviour(&ai, character->kind == 2 ? 1 : character->kind == 3 ? 5 : 0);
  // 18.
  if (instance) instance->set_time(frand_range(0.0f, 10.0f));
  // 19, 20.
  const EntityEffectHooks& fx = entity_effects();
  if (character->particle_emitter && fx.attach) emitter = fx.attach(this, character->particle_emitter, 0);
  if (character->ambient_effect && fx.attach) fx.attach(this, character->ambient_effect, -1);
  // 21.
  find_foot_bones();
}

void living_entity::deinit() {
  // 1.
  ai_shutdown(&ai);
  if (emitter >= 0 && entity_effects().kill) entity_effects().kill(emitter);
  emitter = -1;
  // 2.
  if ((state & ES_SUMMONED) && team == 0) {
    hp = 0.0f;
    if (entity_game().party_free_summon) entity_game().party_free_summon(this);
  }
  // 3.
  if (Study_object == this) Study_object = nullptr;
  // 4. A corpse on the dead list still draws its model, so it counts as a
  // user just as a live entity does.
  const bool release = (state & ES_OWN_MODEL) || ((state & ES_SUMMONED) && !(state & ES_KEEP_MODEL));
  if (instance) {
    const void* shared = instance->shared();
    if (release && !shares_model(this, shared)) instance->release_shared();
  }
  // 5.
  if (type == OBJ_PLAYER && entity_game().party_forget) entity_game().party_forget(this);
  equipment_free_all(equipment);
  delete instance;
  instance = nullptr;
  // 6.
  game_object::deinit();
  entity_list_unlink(this);
  type = OBJ_FREE;
  name[0] = 0;
}

// ---- names and teams --------------------------------------------------------

void living_entity::set_name(const char* text) {
  // Cut to the field rather than run past it.
  size_t n = text ? std::strlen(text) : 0;
  if (n > sizeof name - 1) n = sizeof name - 1;
  if (n) std::memcpy(name, text, n);
  name[n] = 0;
}

void living_entity::get_display_name(char* out, int size) const {
  if (size <= 0) return;
  if (!name[0]) {
    std::snprintf(out, size, "Unknown");
    return;
  }
  if (game_is_networked() && type == OBJ_PLAYER && !(state & ES_SUMMONED)) {
    std::snprintf(out, size, "%s", name);
    return;
  }
  size_t cut = std::strcspn(name, "#01234567890");
  if (cut == 0) cut = std::strlen(name);
  std::snprintf(out, size, "%.*s", static_cast<int>(cut), name);
  if (strcasecmp(out, "onif") == 0) std::snprintf(out, size, "Oni Female");
}

bool living_entity::is_hero() const {
  if (!character || !character->name) return false;
  for (const char* h : {"Ruvizo", "Rivadara", "Rivud", "Zazuru"}) {
    if (strcasecmp(character->name, h) == 0) return true;
  }
  return false;
}

void living_entity::set_team(int t) {
  team = t;
  hostile_mask = (t >= 0 && t < 4) ? Hostile_masks[t] : 0;
}

bool living_entity::is_hostile_to(const game_object* other) const {
  if (!other || !obj_is_living_entity(other) || other->type == OBJ_NEUTRAL) return false;
  if (!in_array(other)) return false;
  const living_entity* o = static_cast<const living_entity*>(other);
  if (o->team >= 0 && o->team < 32 && (hostile_mask & (1u << o->team))) return true;
  if (team == 0 && o->team == 0) return o->has_status_effect(STATUS_TURNED);
  return false;
}

// ---- statistics ---------------------------------------------------------------

void living_entity::compute_stats() {
  // A type whose base level is 0 counts as level 1, not as a division by 0.
  const int base_level = character->level > 0 ? character->level : 1;
  float r = static_cast<float>(level) / static_cast<float>(base_level);
  if (type == OBJ_PLAYER && !summoned_form) r = 1.0f;
  const float q = r < 1.0f ? r : r * std::sqrt(r);
  max_hp_base = std::trunc(0.5f + character->max_hit_points * r);
  hp = std::trunc(0.5f + character->hit_points * r);
  const float ap_max = std::trunc(character->max_ability_points * q + 0.5f);
  const float ap_now = std::trunc(character->ability_points * q + 0.5f);
  max_ap_base = static_cast<uint16_t>(ap_max > 32767.0f ? 32767.0f : ap_max);
  ap = static_cast<int16_t>(ap_now > 32767.0f ? 32767.0f : ap_now);
  if (game_is_networked() && type != OBJ_PLAYER) {
    const float m = 2.0f * static_cast<float>(multi_player_count());
    max_hp_base *= m;
    hp *= m;
  }
  for (int i = 0; i < NUM_STATS; i++) {
    if (i == 1 || i == 2) {
      stats[i] = character->skills[i];
      continue;
    }
    float v = character->skills[i] * r;
    v = v < 0.0f ? 0.0f : v > 100.0f ? 100.0f : v;
    stats[i] = static_cast<uint8_t>(std::trunc(v + 0.5f));
  }
}

bool living_entity::has_stat(int i) const {
  if (i < 0 || i >= NUM_STATS) return false;
  const EntityGameHooks& g = entity_game();
  if (!(state & ES_SUMMONED) && g.has_party_record && g.has_party_record(this) && g.party_allows_stat) {
    return g.party_allows_stat(this, i);
  }
  return true;
}

float living_entity::get_stat(int i) const {
  if (!has_stat(i)) return STAT_ABSENT;
  const float base = stats[i] * 0.01f;
  if (i == 2) return equipment_stat_bonus(2) * base;
  if (i == 52) return 1.0f;
  if (skill_is_summon(i)) return equipment_stat_bonus(27) + stats[27] * 0.01f;
  float v = base + equipment_stat_bonus(i);
  if (v > 0.0f && i >= 3 && i < 36) {
    v = std::trunc((v + 0.025f) * 20.0f) * 0.05f;
    if (v < 0.05f) v = 0.05f;
  }
  return v;
}

float living_entity::equipment_stat_bonus(int i) const {
  const EntityGameHooks& g = entity_game();
  const bool record = g.has_party_record && g.has_party_record(this) && g.party_allows_stat;
  float sum = 0.0f;
  float speed = 1.0f;
  for (const item_instance* item : equipment) {
    if (!item || !item->info) continue;
    const Item_info* info = item->info;
    for (const ItemSkillMod* m : info->skill_mods) {
      if (!m) continue;
      int stat = m->skill;
      if (game_is_networked() && stat == 20) stat = 17;
      if (game_is_networked() && stat == 21) stat = 29;
      if (stat != i) continue;
      if (record && !g.party_allows_stat(this, stat)) continue;
      sum += m->fraction;
    }
    // An item whose speed is 0 would divide by zero; it counts as speed 1.
    if (i == 2 && (info->type == ITEM_WEAPON || info->type == ITEM_ARMOR)) {
      const float s = info->type == ITEM_WEAPON ? info->weapon.speed : info->armor.speed;
      if (s != 0.0f) speed *= 1.0f / s;
    }
  }
  if (i == 2) return (sum + 1.0f) * speed;
  return sum;
}

float living_entity::equipment_resist_bonus(int damage_class) const {
  float sum = 0.0f;
  for (const item_instance* item : equipment) {
    if (!item || !item->info) continue;
    for (const ItemResistMod* m : item->info->resist_mods) {
      if (m && m->damage_type == damage_class) sum += m->fraction;
    }
  }
  return sum;
}

int living_entity::equipment_point_bonus(int kind) const {
  int sum = 0;
  for (const item_instance* item : equipment) {
    if (!item || !item->info) continue;
    for (const ItemStatMod* m : item->info->stat_mods) {
      if (m && m->stat == kind) sum += m->amount;
    }
  }
  return sum;
}

float living_entity::equipment_speed_factor() const {
  float f = 1.0f;
  for (const item_instance* item : equipment) {
    if (!item || !item->info) continue;
    if (item->info->type == ITEM_WEAPON) f *= item->info->weapon.speed;
    else if (item->info->type == ITEM_ARMOR) f *= item->info->armor.speed;
  }
  return f;
}

int living_entity::get_max_points(int kind) const {
  if (kind == 0) {
    const int v = static_cast<int>(std::trunc(max_hp_base + equipment_point_bonus(0)));
    return v < 1 ? 1 : v;
  }
  const int v = max_ap_base + equipment_point_bonus(1);
  return v < 0 ? 0 : v;
}

float living_entity::get_resistance(int damage_class) const {
  if (damage_class < 0 || damage_class >= NUM_DAMAGE_TYPES) return 0.0f;
  if (damage_class == 3) {
    float v = get_stat(35) * 0.5f + equipment_resist_bonus(3) + level * 0.02f;
    if (has_status_effect(STATUS_CURSE)) v -= status[STATUS_CURSE].strength;
    if (has_status_effect(STATUS_FAITH) && v < status[STATUS_FAITH].strength) v = status[STATUS_FAITH].strength;
    return v;
  }
  return charinfo_resistance_factor(character->resistances[damage_class]) + equipment_resist_bonus(damage_class);
}

float living_entity::boss_radius() const {
  return entity_game().boss_radius ? entity_game().boss_radius(this) : Entity_size_radius[size_class()];
}

float living_entity::boss_height() const {
  return entity_game().boss_height ? entity_game().boss_height(this) : Entity_size_height[size_class()];
}

// ---- state and AI -------------------------------------------------------------

void living_entity::set_held(int arg) {
  state |= ES_HELD;
  if (arg >= 0) state |= ES_HELD_BY_SCRIPT;
}

void living_entity::clear_held() { state &= ~(ES_HELD | ES_HELD_BY_SCRIPT); }

void living_entity::set_ai_enabled(bool on) {
  if (on) {
    flags |= OF_ACTIVE;
    state &= ~ES_AI_DISABLED;
    ai_init_for_spawn(&ai);
  } else {
    flags &= ~OF_ACTIVE;
    state |= ES_AI_DISABLED;
    ai_reset_to_inactive(&ai);
  }
}

void living_entity::ai_do_action(int action, int target, int arg, uint32_t action_flags) {
  if (ai_is_traveling_sub0(&ai)) ai_reset_to_idle(&ai);
  ::ai_do_action(&ai, action, target, arg, action_flags);
}

void living_entity::face_point(float x, float y, float z, int face_flags) {
  vector d(x - pos.x, y - pos.y, z - pos.z);
  const float len = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
  if (len > 0.0f) {
    const float dot = (d.x * orient.forward.x + d.y * orient.forward.y + d.z * orient.forward.z) / len;
    if (dot == 1.0f) return;
  }
  ai_turn_toward(&ai, vector(x, y, z), face_flags);
}

void living_entity::move_to_offset(float dx, float dy, float dz) {
  ai_travel_to(&ai, vector(pos.x + dx, pos.y + dy, pos.z + dz));
}

living_entity* living_entity::get_mount() const {
  living_entity* m = entity_from_handle(mount_link);
  return m && (m->link_flags & 2) ? m : nullptr;
}

living_entity* living_entity::get_rider() const {
  living_entity* r = entity_from_handle(mount_link);
  return r && (r->link_flags & 1) ? r : nullptr;
}

bool living_entity::is_moving() const {
  if (ai_is_traveling_sub0(&ai) || ai_is_traveling_sub1(&ai)) return true;
  if (ai_has_queued(&ai, AI_ACTION_WALK)) return true;
  return velocity.x * velocity.x + velocity.y * velocity.y + velocity.z * velocity.z >= 0.1f;
}

bool living_entity::is_weak() const {
  return hp < 0.3f * static_cast<float>(get_max_points(0)) || has_status_effect(STATUS_SLOW);
}

bool living_entity::is_engaged() const {
  if (ai.paused && !(ai.flags & AIF_PLAYER_CAST_BLOCK)) return true;
  if (entity_game().dialogue_is_idle && entity_game().dialogue_is_idle()) return false;
  if (ai.state == AI_STATE_COMBAT && ai.sub_state != 14) return true;
  return type == OBJ_CREATURE;
}

// ---- console ------------------------------------------------------------------

namespace {

CONSOLE_BOOL_VARIABLE(cc_immortal, "immortal", "Toggles Players_immortal", Players_immortal);
CONSOLE_FLOAT_VARIABLE(cc_chance_gold, "chance_gold", "Sets Chance_to_drop_gold", Chance_to_drop_gold);
CONSOLE_BOOL_VARIABLE(cc_no_resist, "no_resist", "Toggles No_resist", No_resist);
CONSOLE_BOOL_VARIABLE(cc_spell_ap, "Spell_ap", "Toggles Use_spell_ap", Use_spell_ap);
CONSOLE_BOOL_VARIABLE(cc_bloodspots, "bloodspots", "Toggles Bloodspots", Bloodspots);
CONSOLE_BOOL_VARIABLE(cc_death, "death", "Toggles Debug_death", Debug_death);

ConsoleCommand cc_health("health", "Sets the percentage health for the debug object", [] {
  console_get_arg(ARG_FLOAT | ARG_INT);
  if (!Console_run) return;
  const float f = Console_arg.float_value;
  if (f < 0.0f || f > 1.0f) {
    console_printf(
        "Usage: health <percentage> -- where percentage is the percent to set the debug\ncharacters health to "
        "(i.e. between 0.0 and 1.0).");
    return;
  }
  if (!Study_object) {
    console_printf("No study object selected.\n");
    return;
  }
  Study_object->hp = Study_object->character->hit_points * f;
  console_printf("Health: %.3f\n", Study_object->hp);
});

ConsoleCommand cc_kill_summon("kill_summon", "kills off friendly summoned creature", [] {
  if (!Console_run) return;
  if (entity_game().dismiss_summons) entity_game().dismiss_summons();
});

}  // namespace
