#include "Orrimund/screens/skill_use.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "Engine/Objects/containers.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/Objects/objects.h"
#include "Engine/Objects/summons.h"
#include "Engine/ai/ai_core.h"
#include "Engine/characterinfo/saved_names.h"
#include "Engine/characterinfo/skills.h"
#include "Engine/characterinfo/spells.h"
#include "Engine/gameflags.h"
#include "Engine/gamesound/gamesnd.h"
#include "Engine/s3d/level_objects.h"
#include "Engine/s3d/s3d.h"
#include "Orrimund/control/world_input.h"
#include "Orrimund/gamewide.h"
#include "Orrimund/player/party.h"
#include "Orrimund/screens/popup.h"
#include "Orrimund/screens/screens.h"
#include "levelscripts/level_scripts.h"
#include "quarn/os/console.h"
#include "quarn/os/timer.h"

namespace {
constexpr int VOICE_SUCCESS = 8, VOICE_FAIL = 9;
constexpr int PLAYER_PRIORITY = 999999;
constexpr int LPALACE_LEVEL = 24;

living_entity* user_or_hero(living_entity* user) { return user ? user : Selected_entity; }

// The inventory's argument: list only the items not yet identified.
uint8_t Inventory_identify_mode = 1;

int hero_voice_index(const living_entity* e) {
  return e && e->character && charinfo_is_hero(e->character->kind) ? e->character->kind : -1;
}
void voice(living_entity* e, int line) {
  if (e) feedback_play(hero_voice_index(e), line, &e->pos);
}

float skill_level(const living_entity* e, int skill) {
  const float v = e ? e->get_stat(skill) : 0.0f;
  return v > 0.0f ? v : 0.0f;
}

bool cooldown_running(const PlayerRecord* r, int skill) {
  if (!r || skill < 0 || skill >= NUM_SKILL_COOLDOWNS) return false;
  const int32_t t = r->cooldowns[skill];
  return t != -1 && t != 0 && !timestamp_elapsed(t, timer_game_clock);
}

bool ai_casting(const living_entity* e) { return e && e->ai.state == AI_STATE_CAST_SPELL; }

void close_screens() {
  if (screen_get_current() != SCREEN_HUD) set_screen(SCREEN_HUD, nullptr);
}

// The door of a mesh: its name and lock difficulty; false for no door.
bool door_of(int mesh, const char** name, float* difficulty) {
  const LevelMovableMesh* m = level_mesh_movable_info(mesh);
  if (mesh < 0 || mesh >= Level.instance_count || !m) return false;
  *name = Level.instances[mesh].name ? Level.instances[mesh].name : "";
  *difficulty = m->lock_value;
  return true;
}

// The cursor waits for the skill's target; the skill's spell rules the aim.
bool arm(int targeting, int skill) {
  Hud_targeting = targeting;
  Hud_pending = HudPending{};
  Hud_pending.skill = skill;
  Hud_pending.spell = Skills[skill].spell;
  pick_filter_for_spell(Skills[skill].spell);
  return true;
}

living_entity* entity_of(game_object* o) {
  return o && obj_is_living_entity(o) ? static_cast<living_entity*>(o) : nullptr;
}

container_object* container_of(game_object* o) {
  return o && o->type == OBJ_CONTAINER ? static_cast<container_object*>(o) : nullptr;
}
}  // namespace

living_entity* party_summon() {
  for (PlayerRecord* p = party_first(); p; p = party_next(p))
    if (living_entity* m = member_entity(p); m && (m->state & ES_SUMMONED) && !(m->state & ES_DEAD)) return m;
  return nullptr;
}

bool party_summon_lives() { return party_summon() != nullptr; }

bool skill_is_attack_style(int skill) { return (skill >= 13 && skill <= 16) || (skill >= 53 && skill <= 55); }

bool skill_banish(living_entity* target) {
  // Only a summoned creature can be sent back; a living foe of flesh stays.
  if (!target || !(target->state & ES_SUMMONED) || (target->state & ES_DEAD) || target->hp <= 0.0f) return false;
  if (target->handle == summon_current()) {
    summon_end_current();
  } else {
    target->change_hp(-target->hp - 1.0f, -1, 0, 0);
  }
  console_printf("%s is banished\n", target->get_name());
  return true;
}

bool lock_pick_succeeds(float level, float difficulty) { return !(level + LOCK_PICK_GRACE < difficulty); }

bool appraise_identifies(float value, float level) {
  return value >= 0.0f && std::sqrt(value) * 0.0014084507f < level;
}

bool spell_castable_from_screen(int spell) {
  switch (spell) {
    case 0: case 1: case 2: case 3: case 7: case 8: case 11: case 15: case 25: case 26: return true;
    default: return false;
  }
}

int spell_school_skill(int spell) {
  const int c = spell_get_class(spell);
  return c >= 0 && c < 6 ? 28 + c : -1;
}

bool skill_is_passive(int skill) {
  if (skill < 0 || skill >= NUM_SKILLS) return true;
  switch (skill) {
    case 13: case 14: case 15: case 16: case 17: case 18: case SKILL_ASSESS: case SKILL_APPRAISE:
    case SKILL_PICK_LOCK: case SKILL_SNEAK: case SKILL_HIDE: case SKILL_ID_SUMMON: case SKILL_BANISH:
    case 53: case 54: case 55:
      return false;
    default: return !skill_is_summon(skill);
  }
}

bool skill_usable(int skill, living_entity* user) {
  user = user_or_hero(user);
  if (!user || skill_is_passive(skill)) return false;
  const bool summons = party_summon_lives();
  if ((skill == SKILL_ID_SUMMON || skill_is_summon(skill)) && summons) return false;
  if (skill == SKILL_BANISH) {
    // A summon under Power holds its ground against banishing.
    const living_entity* s = party_summon();
    if (!s || s->has_status_effect(STATUS_POWER)) return false;
  }
  if (game_is_networked() &&
      ((skill >= 13 && skill <= 18) || skill == SKILL_SNEAK || skill == SKILL_HIDE || skill == SKILL_ID_SUMMON ||
       skill_is_summon(skill)))
    return false;
  if (ai_casting(user)) return false;
  // Push, kick and trip are chosen in the thick of a melee exchange only.
  if ((Skills[skill].flags & SKILL_CHAIN) &&
      !(user->ai.state == AI_STATE_COMBAT &&
        (user->ai.sub_state == AI_SUB_EXCHANGE_A || user->ai.sub_state == AI_SUB_EXCHANGE_B ||
         user->ai.sub_state == AI_SUB_EXCHANGE_C)))
    return false;
  return true;
}

bool skill_ready(int skill, living_entity* user) {
  user = user_or_hero(user);
  if (!user || skill < 0 || skill >= NUM_SKILLS) return false;
  if ((skill == SKILL_APPRAISE || skill == SKILL_PICK_LOCK) && game_flags_test(GF_CUTSCENE | GF_CONVERSATION))
    return false;
  if (user->ap < Skills[skill].ap_cost) return false;
  PlayerRecord* r = party_find_member(user->handle);
  if (!r) return false;
  const int timer = skill_is_summon(skill) ? SKILL_ID_SUMMON : skill;
  if (cooldown_running(r, timer)) return false;
  if (skill_is_summon(skill)) return skill_level(user, SKILL_ID_SUMMON) > 0.0f && skill_summon_allowed(skill);
  // Sneaking and hiding are learned in the palace, unless the demo opens all.
  if ((skill == SKILL_SNEAK || skill == SKILL_HIDE) && !US_open_demo &&
      !level_flag_get(LPALACE_LEVEL, "lpalaceint_tessam_found"))
    return false;
  return skill_level(user, skill) > 0.0f;
}

bool skill_pick_lock(game_object* target, int mesh, living_entity* user) {
  user = user_or_hero(user);
  if (!user) return false;
  const float level = skill_level(user, SKILL_PICK_LOCK);
  if (container_object* c = container_of(target)) {
    console_printf("Pick skill %f, container %f\n", static_cast<double>(level), static_cast<double>(c->creation_value));
    if (!lock_pick_succeeds(level, c->creation_value)) {
      front_play_sound(5);
      voice(user, VOICE_FAIL);
      hud_message("Couldn't pick lock.");
      return false;
    }
    console_output("Pick success!\n");
    c->creation_value = 0.0f;
    front_play_sound(6);
    voice(user, VOICE_SUCCESS);
    hud_message("Pick successful.");
    set_screen(SCREEN_CONTAINER, c);
    return true;
  }
  const char* name = nullptr;
  float difficulty = 0.0f;
  if (mesh < 0 || !door_of(mesh, &name, &difficulty)) {
    hud_targeting_clear();
    return false;
  }
  bool open = false, locked = false;
  const bool known = level_two_stage_get(name, &open, &locked);
  // Unlocked already (no difficulty, or a script or earlier pick opened it).
  if (!(difficulty > 0.0f) || (known && !locked)) return false;
  if (!lock_pick_succeeds(level, difficulty)) {
    front_play_sound(5);
    return false;
  }
  level_two_stage_set(name, open, false);
  level_script_use_hook(name);
  front_play_sound(6);
  voice(user, VOICE_SUCCESS);
  return true;
}

bool skill_use(int skill, game_object* target, living_entity* user) {
  user = user_or_hero(user);
  if (!skill_usable(skill, user) || !skill_ready(skill, user)) return false;
  // The item to appraise is the inventory's to give (skill_appraise): the
  // skill opens it on what is left unknown, and pays when an item is tried.
  if (skill == SKILL_APPRAISE) return set_screen(SCREEN_INVENTORY, &Inventory_identify_mode);
  const bool free_hide = skill == SKILL_HIDE && user->ai.state == AI_STATE_HIDING;
  const bool free_sneak = skill == SKILL_SNEAK && user->ai.state == AI_STATE_SNEAKING;
  if (!free_hide && !free_sneak) {
    if (user->ap < Skills[skill].ap_cost) return false;
    const bool action_pays = skill == 18 || skill == SKILL_ASSESS || skill_is_summon(skill);
    if (!action_pays) user->change_ap(-static_cast<float>(Skills[skill].ap_cost));
  }
  close_screens();
  if (skill_is_summon(skill)) return arm(TARGETING_POINT, skill);
  if (skill_is_attack_style(skill)) {
    // The member's next blow is struck this way (the fight consumes it).
    user->combat.set_attack_style(skill);
    console_printf("%s readies %s\n", user->get_name(), Skills[skill].name);
    return true;
  }
  switch (skill) {
    case 18:
    case SKILL_ASSESS: return arm(TARGETING_CREATURE, skill);
    case SKILL_PICK_LOCK: {
      // The lock the player last found locked, when it is still in reach;
      // else the cursor waits for a door or container to be clicked.
      game_object* o = target ? target : obj_from_handle(World_input.remembered_object);
      if (container_of(o) && (o->pos - user->pos).length_squared() <= REACH_GOLD * REACH_GOLD)
        return skill_pick_lock(o, -1, user);
      if (!target && World_input.remembered_door >= 0) {
        const int door = World_input.remembered_door;
        World_input.remembered_door = -1;
        return skill_pick_lock(nullptr, door, user);
      }
      Hud_targeting = TARGETING_LOCK;
      Hud_pending = HudPending{};
      Hud_pending.skill = skill;
      return true;
    }
    case SKILL_SNEAK:
      ai_queue_action15(&user->ai);
      return true;
    case SKILL_HIDE:
      ai_hide_toggle(&user->ai);
      return true;
    case SKILL_BANISH: {
      // The roll-out offers banishing while the party's summon lives: that
      // summon is the target unless another summoned creature is given.
      living_entity* s = target ? entity_of(target) : party_summon();
      return skill_banish(s);
    }
    default: return false;
  }
}

bool skill_appraise(item_instance* item, living_entity* user) {
  user = user_or_hero(user);
  if (!item || !item->info || !skill_usable(SKILL_APPRAISE, user) || !skill_ready(SKILL_APPRAISE, user)) return false;
  user->change_ap(-static_cast<float>(Skills[SKILL_APPRAISE].ap_cost));
  party_start_skill_cooldown(user, SKILL_APPRAISE);
  if (appraise_identifies(static_cast<float>(item->info->value), skill_level(user, SKILL_APPRAISE)))
    item->info->flags &= static_cast<uint16_t>(~IF_NOT_IDENTIFIED);
  return true;
}

bool skill_use_on_entity(int skill, living_entity* target, int priority, living_entity* user) {
  user = user_or_hero(user);
  if (!user || !target) return false;
  close_screens();
  hud_targeting_clear();
  if (skill == 18 || Skills[skill].spell == 69) {
    ai_queue_action4(&user->ai, 69, target->handle, priority);
    user->change_ap(-static_cast<float>(Skills[18].ap_cost));
    return true;
  }
  if (skill == SKILL_ASSESS) {
    user->change_ap(-static_cast<float>(Skills[SKILL_ASSESS].ap_cost));
    const float creature_level = target->character ? static_cast<float>(target->character->level) : 1.0f;
    if (0.04f * creature_level >= skill_level(user, SKILL_ASSESS)) {
      party_start_skill_cooldown(user, SKILL_ASSESS);
      voice(user, VOICE_FAIL);
      return false;
    }
    return set_screen(SCREEN_ASSESS, target);
  }
  ai_queue_action4(&user->ai, Skills[skill].spell, target->handle, priority);
  return true;
}

bool spell_can_cast_from_screen(int spell, living_entity* caster) {
  caster = user_or_hero(caster);
  if (!caster || game_is_networked() || (caster->state & ES_HELD) || ai_casting(caster)) return false;
  if (!spell_castable_from_screen(spell) || spell_get_class(spell) < 0) return false;
  const Spell_info& s = Spells[spell];
  if (caster->ap < s.cost) return false;
  const int school = spell_school_skill(spell);
  if (school < 0) return false;
  const float level = skill_level(caster, school);
  return level > 0.0f && level >= s.skill;
}

bool spell_cast_from_screen(int spell, living_entity* caster) {
  caster = user_or_hero(caster);
  if (!spell_can_cast_from_screen(spell, caster)) return false;
  close_screens();
  const Spell_info& s = Spells[spell];
  Hud_pending = HudPending{};
  Hud_pending.spell = spell;
  pick_filter_for_spell(spell);
  if (s.flags & SPELL_TARGET_CHARACTER) {
    Hud_targeting = TARGETING_CREATURE;
  } else if (s.flags & SPELL_TARGET_LOCATION) {
    Hud_targeting = TARGETING_POINT;
  } else {
    ai_queue_action3(&caster->ai, spell, PLAYER_PRIORITY);
    hud_targeting_clear();
  }
  return true;
}

void skill_use_install() {
  WorldInputHooks h = world_input_hooks();
  h.container_lock = [](game_object* c) {
    const container_object* k = container_of(c);
    return k ? k->creation_value : 0.0f;
  };
  h.lock_pick = [](game_object* o, int mesh) { skill_pick_lock(o, o ? -1 : mesh, nullptr); };
  h.skill_on_creature = [](int skill, living_entity* e) { skill_use_on_entity(skill, e, PLAYER_PRIORITY, nullptr); };
  world_input_set_hooks(h);
}

namespace {
// Developer route to lock picking: a container given a lock of that difficulty.
ConsoleCommand cc_lock_bag("lock_bag", "Locks a container by handle with a difficulty (0 unlocks)", [] {
  console_get_arg(ARG_INT);
  const int handle = Console_arg.int_value;
  console_get_arg(ARG_FLOAT | ARG_INT);
  const float difficulty = Console_arg.float_value;
  if (!Console_run) return;
  container_object* c = container_of(obj_from_handle(handle));
  if (!c) {
    console_printf("No container %d\n", handle);
    return;
  }
  c->creation_value = difficulty;
  console_printf("Container %d lock %.2f\n", handle, static_cast<double>(difficulty));
});
}  // namespace
