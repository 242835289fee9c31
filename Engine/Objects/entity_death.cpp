// Hit points, action points, death with its shared experience and loot,
// resurrection, levels and ring experience, and the spell cooldowns.
#include "Engine/Objects/entity_death.h"

#include <strings.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "Engine/Objects/containers.h"
#include "Engine/Objects/entity_model.h"
#include "Engine/Objects/entity_world.h"
#include "Engine/Objects/inventory.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/characterinfo/experience.h"
#include "Engine/characterinfo/spells.h"
#include "Engine/gameflags.h"
#include "quarn/math/floatops.h"
#include "quarn/os/console.h"
#include "quarn/os/timer.h"

const RingRow Rings[NUM_RINGS] = {
    {"Ring of Darkness", "dark_ring_xp", nullptr, false},
    {"Ring of Light", "light_ring_xp", "Ruvizo acquired Summon Wraith!", false},
    {"Ring of Fire", "fire_ring_xp", "Ruvizo acquired Summon Blood Elemental!", false},
    {"Ring of Stone", "stone_ring_xp", "Ruvizo acquired Summon Blade of Zhorek!", false},
    {"Ring of Water", "water_ring_xp", "Ruvizo acquired Summon Dragon of Water!", true},
    {"Ring of Four Winds", "wind_ring_xp", "Ruvizo acquired Summon Dragon of Four Winds!", true},
    {"Ring of Forest", "forest_ring_xp", "Ruvizo acquired Summon Dragon of Forest!", true},
    {"Ring of Jade", "jade_ring_xp", "Ruvizo acquired Summon Jade Dragon!", true},
};

namespace {

DeathHooks Hooks;

constexpr int kDefaultDeathMove = 34;

void hud(const char* text) {
  if (Hooks.hud_message) Hooks.hud_message(text);
  else console_printf("%s\n", text);
}

bool is_client() { return game_is_networked() && multi_is_client(); }
bool is_host() { return game_is_networked() && multi_is_host(); }
bool max_skills() { return Hooks.max_skills ? Hooks.max_skills() : Hooks.max_skills_default; }

const RingRow* ring_row(const char* item) {
  for (const RingRow& r : Rings) {
    if (item && strcasecmp(r.item, item) == 0) return &r;
  }
  return nullptr;
}

int named_get(const char* name) { return Hooks.named_int_get ? Hooks.named_int_get(name) : 0; }

struct UniqueDrop {
  const char* entity;
  const char* item;
};
const UniqueDrop Unique_drops[] = {
    {"Slave Driver#$key", "Slave Pit Key"}, {"Mortankas", "Parchment#Tome Page 8"},
    {"Azha the Archlich", "Azha's Femur"},   {"Lord Korel", "Jarl's Sword"},
    {"Zane", "Zane's Bow"},                  {"Cerval", "Silk Garments"},
    {"Haenul", "Eraekor Gemstone"},          {"Guardian of the Shrine", "Ring of Forest"},
};

}  // namespace

void death_set_hooks(const DeathHooks& hooks) { Hooks = hooks; }
const DeathHooks& death_hooks() { return Hooks; }

// ---- hit points and action points ------------------------------------------------------

bool living_entity::change_hp(float amount, int attacker, int arg, int) {
  if (state & ES_DOWN) return false;
  if (type == OBJ_NEUTRAL) return true;
  if (game_is_networked() && type == OBJ_PLAYER) return true;
  const living_entity* a = entity_from_handle(attacker);
  hit_by_player = a && a->type == OBJ_PLAYER;
  if (damage_timer <= 0.0f && amount == 0.0f) {
    damage_shown = 0;
    damage_timer = 2.0f;
  } else if (amount != 0.0f) {
    // Hits within 0.2 s show as one sum.
    if (damage_timer >= 1.8f) damage_shown += static_cast<int32_t>(amount);
    else damage_shown = static_cast<int32_t>(amount);
    damage_timer = 2.0f;
  }
  if (amount < 0.0f) state |= ES_DAMAGED;
  if (amount == 0.0f) return true;
  if (type == OBJ_BOSS && Hooks.boss_damage) Hooks.boss_damage(this, amount, attacker, arg);
  if (amount < 0.0f) {
    if (has_status_effect(STATUS_SLEEP)) cure_status_effect(STATUS_SLEEP, true, true);
    if (ai_is_in_state(&ai, AI_STATE_DISABLED, 49)) {
      state &= ~(ES_HELD | ES_HELD_BY_SCRIPT);
      ai_reset_to_idle(&ai);
    }
    if (state & ES_AI_INTERRUPTED) ::ai_do_action(&ai, 15, attacker, 0, 0);
  }
  if (has_status_effect(STATUS_TURNED)) {
    if (amount < 0.0f && a) {
      const float left = status[STATUS_TURNED].strength + amount;
      status[STATUS_TURNED].strength = left < 0.0f ? 0.0f : left;
    }
    return true;
  }
  if (is_client() || amount >= 0.0f || (Debug_death && !(Players_immortal && type == OBJ_PLAYER))) {
    const float before = hp;
    hp += amount;
    const float max = static_cast<float>(get_max_points(0));
    if (hp > max) {
      damage_shown = static_cast<int32_t>(max - before);
      hp = max;
    }
    if (is_host() && Hooks.send_adj_hps) Hooks.send_adj_hps(this);
  }
  if (hp <= 0.0f) return !kill(kDefaultDeathMove);
  return true;
}

void living_entity::change_ap(float amount) {
  if (type == OBJ_NEUTRAL || amount == 0.0f) return;
  const int n = static_cast<int>(amount);
  int next = ap + n;
  if (next < 1) next = 0;
  const int max = get_max_points(1);
  if (next > max) next = max;
  char text[16];
  snprintf(text, sizeof text, "%d AP", n);
  show_floating_text(text, 2.0f, 100, 100, 180);
  if (is_host()) multi_send_adj_aps(this, next);
  ap = static_cast<int16_t>(next);
}

// ---- death -----------------------------------------------------------------------------

bool living_entity::kill(int move_id) {
  death_move_id = move_id;
  hp = 0.0f;
  cure_all_status_effects();
  if (is_client()) {
    if (type == OBJ_PLAYER) return false;
    state |= ES_DEAD;
    return true;
  }
  if (!Debug_death || type == OBJ_BOSS || type == OBJ_PLAYER) return false;
  state |= ES_DEAD;
  return true;
}

float death_experience_total(const living_entity* dead, int players) {
  const int base = dead->character && dead->character->level > 0 ? dead->character->level : 1;
  const float r = static_cast<float>(dead->level) / static_cast<float>(base);
  const float q = r < 1.0f ? r : r * std::pow(r, 0.25f);
  float total = (dead->character ? dead->character->experience_gained : 0) * q;
  if (game_is_networked()) total *= static_cast<float>(players > 0 ? players : 1);
  return total * 2.0f;
}

void living_entity::die() {
  if ((state & ES_DOWN) || hp > 0.0f || type == OBJ_BOSS) return;
  combat.death_time.set(0);
  state |= ES_DEAD;
  if (current_move && current_move_id >= 0 && move_has_tag(TRIGGER_NO_INTERRUPT) &&
      time_to_tag(TRIGGER_NO_INTERRUPT) <= 0.0001f)
    return;
  state &= ~(ES_HELD | ES_AI_INTERRUPTED);
  if (entity_effects().remove_status_visuals) entity_effects().remove_status_visuals(this);
  cure_all_status_effects();
  state |= ES_DOWN;
  if (Hooks.ai_group_leave) Hooks.ai_group_leave(this);
  if (instance) instance->reset_anims();
  death_move = character ? charinfo_get_move(character, MOVE_DEATH, death_move_id, false) : nullptr;
  if (!death_move && character) death_move = character->moves[MOVE_DEATH];
  if (death_move) play_move(death_move, 1.0f, false, true, 0);
  const bool summoned_player = (state & ES_SUMMONED) && type == OBJ_PLAYER;
  if (!summoned_player) {
    if (hit_by_player) {
      living_entity* found[4];
      int n = 0;
      living_entity* members[8];
      const int count = Hooks.party_members ? Hooks.party_members(members, 8) : 0;
      for (int i = 0; i < count && n < 4; i++) {
        living_entity* m = members[i];
        if (!m || (m->state & (ES_DOWN | ES_DEAD)) || (m->state & ES_SUMMONED)) continue;
        if ((m->pos - pos).length_squared() >= 400.0f) continue;
        found[n++] = m;
      }
      const float total = death_experience_total(this, multi_player_count());
      if (n > 0) {
        char text[16];
        snprintf(text, sizeof text, "+%d xp", static_cast<int>(total));
        show_floating_text(text, 2.0f, 50, 180, 50);
        if (!is_client()) {
          for (int i = 0; i < n; i++) found[i]->add_experience(static_cast<int>(total / n), false, false);
        }
      }
    }
  } else {
    if (Hooks.transfer_pending_bonus) Hooks.transfer_pending_bonus();
    if (Hooks.free_player_record) Hooks.free_player_record(this);
  }
  if (character && character->kind >= 0 && character->kind <= 3 && Hooks.voice) Hooks.voice(this, 15);
  living_entity* summon = Hooks.summoned_creature ? Hooks.summoned_creature() : nullptr;
  if (character && character->kind == 0 && summon && summon != this && summon->type == OBJ_PLAYER) {
    if (Hooks.free_player_record) Hooks.free_player_record(summon);
    summon->set_team(3);
    summon->type = OBJ_CREATURE;
    ai_reset_to_idle(&summon->ai);
    if (!(Hooks.screen_open && Hooks.screen_open())) hud("Summoned creature has turned against you!");
  }
  if (summon == this) {
    if (Hooks.summon_cooldown) Hooks.summon_cooldown();
    if (Hooks.forget_summon) Hooks.forget_summon();
  }
  if (!(type == OBJ_PLAYER && !(state & ES_SUMMONED))) {
    if (!(state & ES_SUMMONED) && !is_client()) drop_loot();
  }
  if (type == OBJ_CREATURE) type = OBJ_DEAD_CREATURE;
  else if (type == OBJ_PLAYER) type = OBJ_DEAD_PLAYER;
  else if (type == OBJ_BOSS) type = OBJ_DEAD_BOSS;
  entity_list_unlink(this);
  entity_list_append(entity_dead_list(), this);
}

void living_entity::resurrect() {
  if (type == OBJ_DEAD_CREATURE) type = OBJ_CREATURE;
  else if (type == OBJ_DEAD_PLAYER) type = OBJ_PLAYER;
  else if (type == OBJ_DEAD_BOSS) type = OBJ_BOSS;
  state &= ~(ES_DEAD | ES_DOWN);
  flags |= OF_ACTIVE;
  ai_reset_to_idle(&ai);
  if (instance) instance->reset_anims();
  current_move = nullptr;
  current_move_id = -1;
  if (type == OBJ_PLAYER && Hooks.ai_group_rejoin) Hooks.ai_group_rejoin(this);
  if (character && character->kind == 0 && Hooks.transfer_pending_bonus) Hooks.transfer_pending_bonus();
  hp = static_cast<float>(get_max_points(0));
  entity_list_unlink(this);
  entity_list_append(entity_live_list(), this);
}

// ---- experience and levels -------------------------------------------------------------

void ring_check_summon(const char* ring_item, int old_value, int new_value) {
  const RingRow* r = ring_row(ring_item);
  if (!r || !r->message) return;
  // Announced once, when the counter crosses the mark: reaching it exactly
  // counts, as it does for the ring's description.
  if (!(old_value < RING_SUMMON_XP && new_value >= RING_SUMMON_XP)) return;
  if (r->needs_ring && !(Hooks.party_holds_item && Hooks.party_holds_item(r->item))) return;
  hud(r->message);
}

void ring_add_xp(const char* ring_item, int amount, int cap) {
  const RingRow* r = ring_row(ring_item);
  if (!r) return;
  const int old = named_get(r->counter);
  const long long sum = static_cast<long long>(old) + amount;
  const int next = static_cast<int>(sum < cap ? sum : cap);
  if (Hooks.named_int_set) Hooks.named_int_set(r->counter, next);
  ring_check_summon(r->item, old, next);
}

void rings_add_xp_all(int amount, int cap) {
  for (const RingRow& r : Rings) {
    const int old = named_get(r.counter);
    const long long sum = static_cast<long long>(old) + amount;
    const int next = static_cast<int>(sum < cap ? sum : cap);
    if (Hooks.named_int_set) Hooks.named_int_set(r.counter, next);
    if (r.message) ring_check_summon(r.item, old, next);
  }
}

void living_entity::add_experience(int amount, bool auto_distribute, bool forced) {
  const int max_level = xp_max_level();
  if (level >= max_level) return;
  if (game_is_networked()) {
    if (multi_is_client() && !forced) return;
    if (multi_is_host() && Hooks.send_adj_exp) Hooks.send_adj_exp(this, amount);
  }
  experience += static_cast<uint32_t>(amount);
  const float s = get_stat(27);
  if (s > 0.0f) {
    const int a = static_cast<int>(2.0f * amount * s);
    const int cap = static_cast<int>(2 * experience);
    for (int slot : {EQ_RING1, EQ_RING2}) {
      const item_instance* ring = equipment[slot];
      if (ring && ring->info) ring_add_xp(ring->info->name, a, cap);
    }
    rings_add_xp_all(a / 8, cap);
  }
  bool gained = false;
  while (level < max_level && xp_level_up_due(level, experience)) {
    int lv = level, hp_base = static_cast<int>(max_hp_base), ap_base = max_ap_base, points = 0;
    float factor = 0.0f;
    xp_gain_level(character ? character->kind : -1, &lv, &hp_base, &ap_base, &points, &factor);
    level = static_cast<int16_t>(lv);
    max_hp_base = static_cast<float>(hp_base);
    max_ap_base = static_cast<uint16_t>(ap_base);
    hp = static_cast<float>(get_max_points(0));
    ap = static_cast<int16_t>(get_max_points(1));
    gained = true;
    if (type == OBJ_PLAYER) {
      if ((!game_is_networked() || multi_entity_is_local(this)) && Hooks.level_gained)
        Hooks.level_gained(this, points, static_cast<int>(factor), level);
      char text[96];
      snprintf(text, sizeof text, "%s gained level %d!", name, level);
      hud(text);
    }
    show_floating_text("+Level!", 2.0f, 70, 200, 70);
  }
  if (gained && !auto_distribute && is_hero() && multi_entity_is_local(this) && Hooks.voice) Hooks.voice(this, 14);
  if (auto_distribute && type == OBJ_PLAYER && !max_skills() && Hooks.unspent_points && Hooks.level_list) {
    int* points = Hooks.unspent_points(this);
    const int (*rows)[3] = nullptr;
    const int n = Hooks.level_list(this, &rows);
    bool took = true;
    while (points && *points > 0 && took && n > 0) {
      took = false;
      for (int i = 0; i < n && *points > 0; i++) {
        const int stat = rows[i][0];
        if (rows[i][1] > level || stat < 0 || stat >= NUM_STATS || stats[stat] >= 100) continue;
        stats[stat] = static_cast<uint8_t>(stats[stat] + 10 > 255 ? 255 : stats[stat] + 10);
        --*points;
        took = true;
      }
    }
  }
}

// ---- loot ------------------------------------------------------------------------------

void living_entity::drop_loot() {
  struct Drop {
    ground_item* item;
    vector pos;
  };
  Drop drops[MAX_MP_DROPS + 8];
  int n = 0;
  bool bag = game_is_networked();
  bool weapon_dropped = false;
  auto jitter = [this] {
    const float a = 0.5f - frand(), b = 0.5f - frand();
    return pos + orient.right * a + orient.forward * b;
  };
  auto put = [&](item_instance* it, const vector& at, int quantity) {
    if (!it) return;
    if (n >= static_cast<int>(sizeof drops / sizeof drops[0])) {
      item_free(it);
      return;
    }
    const bool weapon = it->info && it->info->type == ITEM_WEAPON;
    ground_item* g = ground_item_drop(it, at, orient, quantity, -1, -1);
    if (!g) {
      item_free(it);
      return;
    }
    weapon_dropped |= weapon;
    drops[n++] = {g, g->pos};
  };
  if (frand() < Chance_to_drop_gold) {
    const int quantity = static_cast<int>(frand() * level * 10.0f) + 1;
    put(item_create_by_name("Gold"), jitter() + orient.right * 0.5f, quantity);
  }
  const int kind = character ? character->kind : -1;
  if (kind >= 35 && kind <= 37) {
    console_printf("No drop for Velmoran Knights\n");
  } else if (character) {
    const bool mp = game_is_networked();
    const int count = mp ? character->mp_drop_count : character->drop_count;
    const int difficulty = Hooks.session_difficulty ? Hooks.session_difficulty() : 0;
    for (int i = 0; i < count && i < MAX_MP_DROPS; i++) {
      const int item = mp ? character->mp_drop_items[i] : character->drop_items[i];
      const float chance = mp ? character->mp_drop_chances[i] : character->drop_chances[i];
      if (item < 0 || item >= Num_item_infos) continue;
      if (mp && character->mp_drop_counts[i] > level) continue;
      const uint16_t f = Item_infos[item].flags;
      if (mp && (f & IF_MULTI_EASY_ONLY) && difficulty != 0) continue;
      if (mp && (f & IF_MULTI_MEDIUM_ONLY) && difficulty != 1) continue;
      if (mp && (f & IF_MULTI_HARD_ONLY) && difficulty != 2) continue;
      float roll = frand();
      if (static_cast<int>(100.0f * frand()) % 2 == 1) roll = 1.0f - roll;
      roll -= 0.01f;
      console_printf("Rolling %d %d\n", static_cast<int>(roll * 100.0f), static_cast<int>(chance * 100.0f));
      if (roll > chance) continue;
      console_printf("Dropping\n");
      if (chance >= 0.98f) bag = true;
      put(item_create(item), jitter(), 1);
    }
  }
  if (!game_is_networked()) {
    for (int slot : {EQ_WEAPON, EQ_WEAPON2}) {
      item_instance* w = equipment[slot];
      if (!w || !w->info || w->info->type != ITEM_WEAPON || (w->info->weapon.flags & WF_NO_DROP)) continue;
      const vector off = orient.right + vector(0.5f, 0.5f, 0.5f);
      const vector at = slot == EQ_WEAPON ? pos + off : pos - off;
      equipment[slot] = nullptr;
      put(w, at, 1);
    }
  }
  for (const UniqueDrop& u : Unique_drops) {
    if (strcasecmp(name, u.entity) == 0) {
      put(item_create_by_name(u.item), jitter(), 1);
      bag = true;
    }
  }
  if (strcasecmp(name, "Kasdrian Scout#$npc002") == 0 && entity_world().level_index &&
      entity_world().level_index() == 3 && Hooks.level_name && Hooks.level_name() &&
      strcasecmp(Hooks.level_name(), "Masad") == 0) {
    bool has = false;
    for (int i = 0; i < n; i++) {
      has |= drops[i].item->item && drops[i].item->item->info && strcasecmp(drops[i].item->item->info->name, "Worn Katana") == 0;
    }
    if (!has) {
      put(item_create_by_name("Worn Katana"), jitter(), 1);
      bag = true;
    }
  }
  if (n == 0) return;
  if (Hooks.game_sound) Hooks.game_sound(weapon_dropped ? 13 : 12, this);
  if (n == 1 && drops[0].item->is_gold()) {
    if (is_host() && Hooks.send_item_drop) Hooks.send_item_drop(this, drops[0].item->handle, 0.0f);
    return;
  }
  float value = 0.0f;
  if (!bag && frand() < level / 100.0f) value = frand();
  container_object* c = container_create(drops[0].pos, value);
  if (!c) {
    if (is_host() && Hooks.send_item_drop) Hooks.send_item_drop(this, -1, 0.0f);
    return;
  }
  // A merged gold item is torn down by add_item: nothing below touches it.
  for (int i = 0; i < n; i++) c->add_item(drops[i].item);
  c->pos = vector(drops[0].pos.x, drops[0].pos.y + 0.2f, drops[0].pos.z);
  console_printf("CONTAINER POS : (%f %f %f) (%f %f %f) (%f %f %f)\n", c->pos.x, c->pos.y, c->pos.z,
                 c->orient.right.x, c->orient.right.y, c->orient.right.z, c->orient.forward.x, c->orient.forward.y,
                 c->orient.forward.z);
  if (is_host() && Hooks.send_item_drop) Hooks.send_item_drop(this, c->handle, value);
}

// ---- corpses ---------------------------------------------------------------------------

void living_entity::align_corpse() {
  if (state & ES_CORPSE_ALIGNED) return;
  state |= ES_CORPSE_ALIGNED;
  const int kind = character ? character->kind : -1;
  if (kind == 206 || kind == 159 || !death_move || !instance) {
    corpse_tilt = 0.0f;
    if (!death_move) last_orient = orient;
    return;
  }
  int head = instance->find_bone("BDBN-Head");
  if (head < 0) head = instance->find_bone("BDBN-Head01");
  int foot = instance->find_bone("BDBN-Foot-L01");
  if (foot < 0) foot = instance->find_bone("BDBN-Foot-L");
  if (foot < 0) foot = instance->find_bone("BDBN-Foot-L02");
  if (head < 0 || foot < 0) {
    last_orient = orient;
    return;
  }
  const vector hb = instance->bone_position(head), fb = instance->bone_position(foot);
  vector hw = pos + orient.right * hb.x + orient.up * hb.y + orient.forward * hb.z;
  vector fw = pos + orient.right * fb.x + orient.up * fb.y + orient.forward * fb.z;
  auto drop = [](vector& p) {
    FloorHit hit;
    if (entity_world().floor_ray && entity_world().floor_ray(p + vector(0, 2.0f, 0), 10.0f, FLOOR_ALL_MESHES, -1, -1, -1, &hit))
      p.y = hit.height;
  };
  drop(hw);
  drop(fw);
  const float along = vector::dot(hw - fw, orient.forward);
  float angle = std::atan2(hw.y - fw.y, along);
  if (angle > 1.5707963f) angle -= 3.1415927f;
  if (angle < -1.5707963f) angle += 3.1415927f;
  corpse_tilt = angle > -1.5707963f && angle < 1.5707963f ? angle : 0.0f;
}

// ---- cooldowns -------------------------------------------------------------------------

namespace {

void start_record(int entity, int spell, float seconds) {
  for (CooldownRecord& c : Cooldowns) {
    if (c.entity != -1) continue;
    c.entity = entity;
    c.spell = spell;
    c.end_time = static_cast<uint32_t>(timer_game_clock + static_cast<int32_t>(seconds * 1000.0f));
    return;
  }
}

float creature_cooldown(int spell) {
  return spell >= 0 && spell < MAX_SPELLS ? static_cast<float>(Spells[spell].ai_recovery_time) : 0.0f;
}

}  // namespace

void living_entity::start_cooldown(int spell, float base, float extra) {
  if (type == OBJ_CREATURE && (spell == 17 || spell == 28 || spell == 30)) {
    for (int s : {17, 28, 30}) start_record(handle, s, base + creature_cooldown(s));
    return;
  }
  const float added = type == OBJ_CREATURE ? creature_cooldown(spell) : extra;
  if (added < 0.0f) return;
  if (type == OBJ_PLAYER && max_skills()) return;
  start_record(handle, spell, base + added);
}

bool living_entity::is_on_cooldown(int spell) const {
  for (const CooldownRecord& c : Cooldowns) {
    if (c.entity == handle && c.spell == spell && static_cast<uint32_t>(timer_game_clock) < c.end_time) return true;
  }
  return false;
}
