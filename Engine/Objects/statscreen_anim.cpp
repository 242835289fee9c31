#include "Engine/Objects/statscreen_anim.h"

#include <cstdio>

#include "Engine/Objects/entity_model.h"
#include "Engine/Objects/entity_world.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/Objects/objects.h"
#include "Engine/characterinfo/characterinfo.h"
#include "Engine/characterinfo/charmodels.h"
#include "Engine/gameflags.h"

namespace {

struct Loaded {
  Character_info* type = nullptr;
  Move_info* move = nullptr;
  int slot = -1;
  bool own = false;  // loaded here (not a networked game's loaded move)
  int32_t entity = 0;
} Pose;

const char* name_of(const Character_info* ci) { return ci && ci->name ? ci->name : "?"; }

living_entity* party_entity_of(const Character_info* ci) {
  if (game_is_networked()) {
    living_entity* sel = entity_game().selected ? entity_game().selected() : nullptr;
    if (sel) return sel;
  }
  living_entity* list = entity_live_list();
  for (living_entity* e = entity_first(list); e; e = entity_next(list, e)) {
    if (e->type == OBJ_PLAYER && e->character == ci) return e;
  }
  return nullptr;
}

// The entity plays the pose alone, from its first frame. The pose is a
// cycle: it is weighted in as the world weights standing, not started as
// an action (an action would take over the root and fade it out).
void give(living_entity* e, int slot) {
  e->anim[SA_STATSCREEN] = slot;
  if (!e->instance) return;
  e->instance->reset_anims();
  e->instance->set_anim_weight(slot, 1.0f);
}

}  // namespace

int charinfo_load_statscreen_anim(Character_info* hero, bool heavy) {
  if (!hero || !charinfo_is_hero(hero->kind)) return -1;
  if (Pose.type) charinfo_unload_statscreen_anim(Pose.type);
  Move_info* m = charinfo_statscreen_move(hero, heavy);
  living_entity* e = party_entity_of(hero);
  if (!m || !e) return -1;
  std::printf(heavy ? "Loading heavy armor version for %s\n" : "Loading light armor version for %s\n",
              name_of(hero));
  int slot = -1;
  bool own = false;
  if (game_is_networked()) {
    slot = m->anim_slot;
  } else if (entity_game().load_statscreen_anim) {
    slot = entity_game().load_statscreen_anim(hero, m);
    own = slot >= 0;
    if (own) m->anim_slot = slot;
  }
  if (slot < 0) return -1;
  Pose = Loaded{hero, m, slot, own, e->handle};
  give(e, slot);
  return slot;
}

void charinfo_unload_statscreen_anim(Character_info* hero) {
  if (!hero || Pose.type != hero) return;
  std::printf("Unloading stat screen animation for %s\n", name_of(hero));
  const Loaded was = Pose;
  Pose = Loaded{};
  living_entity* e = entity_from_handle(was.entity);
  if (e && e->anim[SA_STATSCREEN] == was.slot) {
    e->anim[SA_STATSCREEN] = -1;
    // Back to the world's pose: its moves set their own weights again.
    if (e->instance) e->instance->reset_anims();
    e->set_movement_anim();
    // Posed now, not at the world's next step: a screen opened next over
    // the paused world draws him as he stands there.
    if (e->instance) e->instance->process(0.0f);
  }
  if (was.own) {
    was.move->anim_slot = -1;
    if (entity_game().unload_statscreen_anim) entity_game().unload_statscreen_anim(hero, was.slot);
  }
}

living_entity* charinfo_statscreen_entity() {
  if (!Pose.type) return nullptr;
  living_entity* e = entity_from_handle(Pose.entity);
  return e && e->anim[SA_STATSCREEN] == Pose.slot ? e : nullptr;
}

void charinfo_statscreen_advance(float seconds) {
  living_entity* e = charinfo_statscreen_entity();
  if (!e || !e->instance) return;
  // A world frame weights the entity's own moves again (the frame a screen
  // opens in still runs the world; a multiplayer game's world never stops).
  if (e->instance->anim_weight(Pose.slot) != 1.0f) give(e, Pose.slot);
  if (seconds > 0.0f) e->instance->process(seconds);
}
