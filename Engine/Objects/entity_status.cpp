// Status effects of living entities: the 18 slots, starting, curing and
// the effects that equipped items grant.
#include <cmath>
#include <cstdio>

#include "Engine/Objects/entity_model.h"
#include "Engine/Objects/entity_world.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/characterinfo/spells.h"
#include "quarn/os/timer.h"

const char* const Status_names[NUM_STATUS_EFFECTS] = {
    "Blind", "Silence", "Faith", "Curse", "Bless", "Regen", "Power", nullptr, nullptr,
    "Sleep", "Paralyze", "Poison", "Cripple", "Slow", nullptr, nullptr, nullptr, nullptr};

namespace {

constexpr int LEVEL_WORLD_MAP = 4;
constexpr int EQUIPMENT_STATUS_MS = 1000000;

// Status effects need a level, and never run on the world map.
bool statuses_allowed() {
  const EntityWorldHooks& w = entity_world();
  const int index = w.level_index ? w.level_index() : 0;
  return index >= 0 && index != LEVEL_WORLD_MAP;
}

bool shows_text(int id) { return (id >= 0 && id <= 6) || (id >= 9 && id <= 13); }
bool holds(int id) { return id == STATUS_SLEEP || id == STATUS_PARALYZE || id == STATUS_TURNED; }
bool valid_spell(int spell) { return spell >= 0 && spell < MAX_SPELLS; }

void hold_entity(living_entity* e) {
  if (multi_is_client()) ai_reset_to_idle(&e->ai);
  ai_reset_to_inactive(&e->ai);
  if (e->instance) e->instance->reset_anims();
  e->set_movement_anim();
  e->state |= ES_HELD;
}

void release_entity(living_entity* e) {
  e->state &= ~ES_HELD;
  ai_reset_to_idle(&e->ai);
}

// The granted strength of an item's status at a level. Status 8 is always
// full strength when an item grants it.
float item_status_strength(int id, int level) { return id == STATUS_FADED ? 1.0f : spell_status_strength(id, level); }

int item_status_level(const item_instance* item, int id, int wearer_level) {
  const int l = item->info->status_levels[id];
  if (l == 255) return -1;
  return l == 0 ? wearer_level : l;
}

// The equipped item (first nine slots) granting a status at the highest
// level; null when none.
const item_instance* best_granting_item(const living_entity* e, int id, int* level) {
  const item_instance* best = nullptr;
  int best_level = -1;
  for (int s = 0; s < NUM_ITEM_STATUS_SLOTS; s++) {
    const item_instance* item = e->equipment[s];
    if (!item || !item->info) continue;
    const int l = item_status_level(item, id, e->level);
    if (l > best_level) {
      best_level = l;
      best = item;
    }
  }
  *level = best_level;
  return best;
}

bool is_equipped(const living_entity* e, const item_instance* item) {
  for (int s = 0; s < NUM_ITEM_STATUS_SLOTS; s++) {
    if (e->equipment[s] == item) return true;
  }
  return false;
}

}  // namespace

void living_entity::apply_status_effect(int id, int duration_ms, int spell, float strength, int source,
                                        bool not_curable) {
  if (id < 0 || id >= NUM_STATUS_EFFECTS || !statuses_allowed()) return;
  const bool control_immune = is_boss() || (state & ES_CONTROL_IMMUNE);
  switch (id) {
    case STATUS_BLIND:
      if (character->flags & CIF_NOBLIND) return;
      break;
    case STATUS_SILENCE:
      if ((character->flags & CIF_NOSILENCE) || control_immune) return;
      break;
    case STATUS_CURSE:
    case STATUS_SLEEP:
    case STATUS_PARALYZE:
    case STATUS_TURNED:
      if (control_immune) return;
      break;
    case STATUS_POISON:
      if (is_boss()) return;
      break;
    case STATUS_SLOW:
      if (control_immune || is_rider()) return;
      break;
    default:
      break;
  }
  status_effect_slot& s = status[id];
  const int32_t now = timer_game_clock;
  int32_t end;
  if (s.mode < STATUS_INACTIVE || s.mode == STATUS_EQUIPMENT) return;
  const int left = get_status_effect_time(id);
  if (s.mode == STATUS_NOT_CURABLE) {
    end = timestamp_set(now, duration_ms);
  } else {
    end = timestamp_set(now, has_status_effect(id) && left > duration_ms ? left : duration_ms);
  }
  if (multi_is_host()) multi_send_set_sts(this, id, duration_ms, spell, strength, source);
  if (id == STATUS_PARALYZE) {
    if (spell == 73) {
      if (duration_ms > left) state |= ES_SPELL_PARALYSED;
    } else {
      state &= ~ES_SPELL_PARALYSED;
    }
  }
  s.mode = not_curable ? STATUS_NOT_CURABLE : STATUS_TIMED;
  s.origin = spell;
  s.granting_item = nullptr;
  s.end_time = end;
  s.source = source;
  if (std::fabs(strength) > std::fabs(s.strength)) s.strength = strength;

  const living_entity* src = entity_from_handle(source);
  const EntityEffectHooks& fx = entity_effects();
  if (!(src && (src->state & ES_OWN_MODEL))) {
    if (id == STATUS_TIMED_FX) {
      s.visual = fx.attach_timed ? fx.attach_timed(this) : -1;
    } else if (id == STATUS_FADED) {
      s.visual = fx.attach_status ? fx.attach_status(this, 5) : -1;
    } else if (id == STATUS_DOT_A || id == STATUS_DOT_B || id == STATUS_SPELL_TICK) {
      s.visual = -1;
    } else if (valid_spell(spell) && Spells[spell].misc_effect) {
      if (fx.remove_status_visuals) fx.remove_status_visuals(this);
      s.visual = fx.attach ? fx.attach(this, Spells[spell].misc_effect, -1) : -1;
      if (s.visual < 0) std::printf("BOGUS STATUS EFFECT HANDLE\n");
    }
  }
  s.period = status_tick_period(id);
  if (s.period_timer == -1 && s.period > 0) s.period_timer = timestamp_set(now, s.period);
  if (holds(id)) hold_entity(this);
  if (id == STATUS_SLOW) set_speed_scale(speed_scale_slow, true);
  if (shows_text(id)) {
    char text[16];
    std::snprintf(text, sizeof text, "+%s", Status_names[id]);
    show_floating_text(text, 2.0f, 180, 180, 180);
  }
}

void living_entity::apply_item_status_effect(int id, const item_instance* item, float strength) {
  if (id < 0 || id >= NUM_STATUS_EFFECTS || !statuses_allowed()) return;
  if (id == STATUS_BLIND && (character->flags & CIF_NOBLIND)) return;
  if (id == STATUS_SILENCE && (character->flags & CIF_NOSILENCE)) return;
  if (id == STATUS_TURNED && is_boss()) return;
  if (id == STATUS_SLOW && is_rider()) return;
  status_effect_slot& s = status[id];
  if (s.mode == STATUS_TIMED) cure_status_effect(id, true, false);
  if (s.mode == STATUS_EQUIPMENT && std::fabs(strength) <= std::fabs(s.strength)) return;
  s.mode = STATUS_EQUIPMENT;
  s.origin = -1;
  s.granting_item = item;
  s.strength = strength;
  const EntityEffectHooks& fx = entity_effects();
  s.visual = -1;
  if (id == STATUS_TIMED_FX && fx.attach_timed) s.visual = fx.attach_timed(this);
  if (id == STATUS_FADED && fx.attach_status) s.visual = fx.attach_status(this, 5);
  s.end_time = timestamp_set(timer_game_clock, EQUIPMENT_STATUS_MS);
  s.period = status_tick_period(id);
  if (s.period_timer == -1 && s.period > 0) s.period_timer = timestamp_set(timer_game_clock, s.period);
  if (holds(id)) hold_entity(this);
  if (id == STATUS_SLOW) set_speed_scale(speed_scale_slow, true);
}

void living_entity::refresh_item_status_effects() {
  for (int id = 0; id < NUM_ITEM_STATUS_SLOTS; id++) {
    status_effect_slot& s = status[id];
    if (s.mode == STATUS_EQUIPMENT) {
      if (s.granting_item && is_equipped(this, s.granting_item)) {
        s.strength = item_status_strength(id, item_status_level(s.granting_item, id, level));
        continue;
      }
      int l = -1;
      const item_instance* best = best_granting_item(this, id, &l);
      if (best) {
        s.granting_item = best;
        s.strength = item_status_strength(id, l);
      } else {
        cure_status_effect(id, true, false);
      }
    } else if (s.mode == STATUS_INACTIVE && statuses_allowed()) {
      int l = -1;
      const item_instance* best = best_granting_item(this, id, &l);
      if (best) apply_item_status_effect(id, best, item_status_strength(id, l));
    }
  }
}

void living_entity::cure_status_effect(int id, bool force, bool end_effect) {
  if (id < 0 || id >= NUM_STATUS_EFFECTS) return;
  status_effect_slot& s = status[id];
  if (!force && s.mode == STATUS_NOT_CURABLE) {
    show_floating_text("Cant cure!", 2.0f, 180, 180, 180);
    return;
  }
  const EntityEffectHooks& fx = entity_effects();
  const bool was_active = has_status_effect(id);
  const int spell = s.mode == STATUS_EQUIPMENT ? -1 : s.origin;
  if ((spell == 34 || spell == 36) && s.visual >= 0 && fx.kill) fx.kill(s.visual);
  if (end_effect && valid_spell(spell) && spell != 80 && Spells[spell].banish_effect) {
    if (id == STATUS_FADED) {
      if (fx.attach_status) fx.attach_status(this, 6);
    } else if (fx.attach) {
      fx.attach(this, Spells[spell].banish_effect, -1);
    }
  }
  s = status_effect_slot{};
  if (!was_active) return;
  if (holds(id)) release_entity(this);
  if (id == STATUS_SLOW) set_speed_scale(-1.0f, false);
  if (shows_text(id)) {
    char text[16];
    std::snprintf(text, sizeof text, "-%s", Status_names[id]);
    show_floating_text(text, 2.0f, 180, 50, 50);
  }
  if (multi_is_host()) multi_send_clr_sta(this, id, end_effect);
}

void living_entity::cure_all_status_effects() {
  for (int id = 0; id < NUM_STATUS_EFFECTS; id++) cure_status_effect(id, true, false);
  if (entity_effects().remove_status_visuals) entity_effects().remove_status_visuals(this);
  if (instance) instance->reset_tint();
  float_time = 0.0f;
}

bool living_entity::has_status_effect(int id) const {
  return id >= 0 && id < NUM_STATUS_EFFECTS && status[id].end_time != -1;
}

bool living_entity::has_curable_status_effect(int id) const {
  return has_status_effect(id) && status[id].mode != STATUS_NOT_CURABLE;
}

int living_entity::get_status_effect_time(int id) const {
  if (!has_status_effect(id)) return 0;
  const int left = timestamp_time_left(status[id].end_time, timer_game_clock);
  return left > 0 ? left : 0;
}

float living_entity::get_status_effect_strength(int id) const {
  return id >= 0 && id < NUM_STATUS_EFFECTS ? status[id].strength : 0.0f;
}

void living_entity::set_status_effect_strength(int id, float value) {
  if (id >= 0 && id < NUM_STATUS_EFFECTS) status[id].strength = value;
}

void living_entity::set_status_effect_visual(int id, int handle) {
  if (id >= 0 && id < NUM_STATUS_EFFECTS) status[id].visual = handle;
}
