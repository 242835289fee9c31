#include "Engine/Objects/summons.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "Engine/Objects/entity_world.h"
#include "Engine/Objects/game_effects.h"
#include "Engine/Objects/inventory.h"
#include "Engine/Objects/item_paging.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/entity_model.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/characterinfo/characterinfo.h"
#include "Engine/characterinfo/experience.h"
#include "Engine/characterinfo/saved_names.h"
#include "Engine/characterinfo/skills.h"
#include "Engine/characterinfo/spells.h"
#include "quarn/os/console.h"
#include "quarn/os/timer.h"

namespace {

SummonHooks Hooks;
int Current = -1;

// Ring experience lives in the game-wide named integers.
constexpr int RING_LEVEL = 4;

int summon_skill(int spell) {
  for (int i = 0; i < NUM_SKILLS; i++)
    if ((Skills[i].flags & SKILL_SUMMON) && Skills[i].spell == spell) return i;
  return -1;
}

// A dragon takes the stage: the caster's casting stops, everyone outside the
// party stands still, the camera turns to the dragon, and the caster keeps
// at most what the summoning leaves of its hit points.
void dragon_arrives(living_entity* caster, living_entity* dragon, float rate) {
  for (game_object* o = objects_first(); o; o = objects_next(o)) {
    if (o->type != OBJ_GAME_EFFECT) continue;
    game_effect* fx = static_cast<game_effect*>(o);
    if ((fx->bits & FXS_CAST) && fx->owner == caster->handle) fx_kill(fx->handle);
  }
  dragon->state |= ES_AI_DISABLED | ES_OWN_MODEL | ES_FREE_MOVE;
  living_entity* list = entity_live_list();
  for (living_entity* e = entity_first(list); e; e = entity_next(list, e)) {
    if (e == dragon || e->type == OBJ_PLAYER) continue;
    e->state |= ES_STANDS_STILL;
    e->set_move_mode(0.0f);
  }
  if (Hooks.camera_to) Hooks.camera_to(dragon);
  const float most = (1.0f - rate) * caster->max_hp_base;
  if (caster->hp > most) caster->hp = most;
}

// The summon rises through its spell's hit effect, kept clear of walkers
// for the emerge time; without room for the effect the AI brings it up.
void emerge(living_entity* s, int spell) {
  const Spell_info& info = Spells[spell];
  const int fx = fx_add_timed_area_effect(info.hit_effect, s->pos, s->orient, s->handle, info.emerge_time,
                                          info.target_radius, 0.5f);
  if (fx < 0 && !(s->state & ES_OWN_MODEL)) {
    std::printf("no room for summon target effect!!  make summon emerge through AI code\n");
    s->ai.emerge_timer = timestamp_set(timer_game_clock, info.emerge_time);
    s->ai.flags |= AIF_UNINTERRUPTIBLE;
  }
  if (!info.misc_effect) return;
  if (s->state & ES_OWN_MODEL) fx_attach_to_entity(info.misc_effect, s->handle, -1, -1, false, false);
  else fx_add_effect(info.misc_effect, s->pos, s->orient, true);
}

}  // namespace

void summons_set_hooks(const SummonHooks& hooks) { Hooks = hooks; }

int summon_ring_xp(int kind) {
  struct Row {
    int kind;
    const char* name;
    float share;
  } static const rows[] = {{192, "dark_ring_xp", 1}, {205, "dark_ring_xp", 1}, {204, "light_ring_xp", 1},
                           {185, "light_ring_xp", 0.7f}, {144, "fire_ring_xp", 1}, {203, "fire_ring_xp", 0.7f},
                           {4, "stone_ring_xp", 1}, {176, "stone_ring_xp", 0.7f}, {164, "water_ring_xp", 1},
                           {181, "water_ring_xp", 1}, {206, "wind_ring_xp", 1}, {182, "wind_ring_xp", 1},
                           {202, "forest_ring_xp", 1}, {195, "forest_ring_xp", 1}, {9, "jade_ring_xp", 1},
                           {194, "jade_ring_xp", 1}};
  for (const Row& r : rows)
    if (r.kind == kind) return static_cast<int>(level_int_get(RING_LEVEL, r.name) * r.share);
  return 0;
}

int summon_level(const living_entity* caster, int kind) {
  int level;
  if (caster->type == OBJ_PLAYER && !All_summons) {
    const int64_t xp = summon_ring_xp(kind);
    level = 29;
    for (int L = 2; L <= 29; L++)
      if (static_cast<int64_t>(xp_for_level(L)) > xp) {
        level = L - 1;
        break;
      }
  } else {
    level = static_cast<int>((caster->get_stat(27) + 0.5f) * caster->level + 0.5f);
  }
  return level < 1 ? 1 : level;
}

living_entity* summon_creature(living_entity* caster, const vector& at, int spell, int existing) {
  if (!caster) return nullptr;
  const int type = charinfo_find_summoned_type(spell);
  if (type < 0) return nullptr;
  const int kind = Character_infos[type].kind;
  vector pos = at;
  const float extra = kind == 194 ? 7.0f : kind == 181 ? 13.0f : kind == 182 ? 35.0f : kind == 195 ? 14.0f : 0.0f;
  vector dir = at - caster->pos;
  dir.y = 0;
  const float d = dir.length();
  if (extra > 0.0f && d > 0.0f) pos = at + dir * (extra / d);
  vector face = caster->pos - pos;
  face.y = 0;
  matrix m(vector(1, 0, 0), vector(0, 1, 0), vector(0, 0, 1));
  const float fl = face.length();
  if (fl > 0.0f) {
    const vector f = face * (1.0f / fl);
    m = matrix(vector(f.z, 0, -f.x), vector(0, 1, 0), f);
  }
  living_entity* s = existing != -1 ? entity_from_handle(existing) : nullptr;
  if (s) {
    // An entity that stands ready is brought here instead of a new one.
    s->pos = s->last_pos = pos;
    s->orient = m;
    s->state &= ~ES_DEAD;
  } else {
    const int level = summon_level(caster, kind);
    s = living_entity_create(OBJ_CREATURE, type, pos, m, 0, level, false);
  }
  if (!s) return nullptr;
  s->flags &= ~1u;
  s->state |= ES_COMBAT_READY | ES_HELD | ES_SUMMONED;
  s->set_team(caster->get_team());
  if (spell == 39) {
    if (item_instance* w = entity_unequip_slot(s, EQ_WEAPON, false)) item_free(w);
  } else if (s->character && s->character->kind >= 0 && s->character->kind < 4) {
    // A hero's form keeps its weapon's mesh in the summons' paging slot.
    const item_instance* w = s->equipment[EQ_WEAPON];
    if (w && w->info) item_page_in(static_cast<int>(w->info - Item_infos), ITEM_PAGING_SUMMON_SLOT);
  }
  if (spell == 46 && s->instance) s->instance->set_alpha(128);
  if (caster->type != OBJ_PLAYER) {
    if (kind == 90 || kind == 201) s->state |= ES_KEEP_MODEL;
  } else {
    if (Hooks.join_party) Hooks.join_party(caster, s);
    Current = s->handle;
    const int skill = summon_skill(spell);
    if (skill >= 0 && !(Skills[skill].flags & SKILL_DRAGON_SUMMON)) {
      const float cost = Skills[skill].factor * caster->max_hp_base;
      if (Hooks.lend_hit_points) Hooks.lend_hit_points(caster, cost);
      caster->max_hp_base -= cost;
      const float max = static_cast<float>(caster->get_max_points(0));
      if (caster->hp > max) caster->hp = max;
    } else if (skill >= 0) {
      dragon_arrives(caster, s, Skills[skill].factor);
    }
  }
  emerge(s, spell);
  return s;
}

int summon_current() {
  living_entity* e = entity_from_handle(Current);
  return e ? Current : -1;
}

void summon_forget() { Current = -1; }

void summon_end_current() {
  living_entity* e = entity_from_handle(summon_current());
  if (e) e->change_hp(-e->hp - 1.0f, -1, 0, 0);
  Current = -1;
}

static ConsoleCommand Cc_summon("summon", "Summon a creature", [] {
  if (!Console_run) return;
  console_get_arg(ARG_STRING);
  const char* word = Console_arg.text;
  const int spell = std::strcmp(word, "golem") == 0 ? 38 : std::strcmp(word, "blackfire") == 0 ? 42 : -1;
  if (spell < 0) {
    console_printf("Unknown summon type : \"%s\"", Console_arg.original);
    return;
  }
  const EntityGameHooks& g = entity_game();
  living_entity* hero = g.selected ? g.selected() : nullptr;
  if (hero) summon_creature(hero, hero->pos, spell);
});
