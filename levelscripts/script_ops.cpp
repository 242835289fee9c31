#include "levelscripts/script_ops.h"

#include <strings.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "Engine/Objects/inventory.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/entity_world.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/ai/avoidance.h"
#include "Engine/characterinfo/saved_names.h"
#include "Engine/gameflags.h"
#include "Engine/gamesound/emitter.h"
#include "Engine/s3d/level_objects.h"
#include "Orrimund/player/party.h"
#include "levelscripts/level_scripts.h"
#include "levelscripts/savegame.h"
#include "levelscripts/script_runner.h"
#include "levelscripts/script_world.h"
#include "quarn/os/console.h"

namespace {

struct AmbientSound {
  int32_t emitter;
  vector pos;
};
AmbientSound Ambient[MAX_AMBIENT_SOUNDS];
int Num_ambient = 0;

ClickRecord Clicks[MAX_CLICK_RECORDS];
int Num_clicks = 0;

struct AvoidSlot {
  int32_t entity = -1;
  int32_t polygon = -1;
};
AvoidSlot Avoid[MAX_AVOID_SPLINES];

bool Knife_given = false;

// The frame hook kept aside while a cutscene plays, and what runs after it.
LevelHook Kept_frame_hook = nullptr;
void (*Continuation)() = nullptr;

bool excluded(const PlayerRecord* p) { return game_flags_test(GF_SOLO) && (p->flags & PR_HOLD); }

bool member_alive(const PlayerRecord* p) {
  const living_entity* e = member_entity(p);
  return e && !(e->state & ES_DEAD) && !excluded(p);
}

PlayerRecord* member_of_type(int type) {
  for (PlayerRecord* p = party_first(); p; p = party_next(p))
    if (p->type == type) return p;
  return nullptr;
}

void add_xp(living_entity* e, int amount) {
  if (Party_hooks.add_experience) Party_hooks.add_experience(e, amount);
  else e->experience += static_cast<uint32_t>(amount);
}

void say(const char* format, ...) __attribute__((format(printf, 1, 2)));
void say(const char* format, ...) {
  char text[256];
  va_list ap;
  va_start(ap, format);
  std::vsnprintf(text, sizeof text, format, ap);
  va_end(ap);
  script_hud_message(text);
}

living_entity* character_named(const char* name) {
  ScriptCharacter* c = script_character_at(script_character_find(name));
  return c ? entity_from_handle(c->entity) : nullptr;
}

float dist2(const vector& a, const vector& b) {
  const vector d = a - b;
  return d.x * d.x + d.y * d.y + d.z * d.z;
}

const char* mesh_name(int mesh) {
  const LevelMeshInstance* m = mesh >= 0 ? level_mesh_get(mesh) : nullptr;
  return m && m->name ? m->name : "";
}

void deferred_frame() {
  if (Script_world.cutscene_playing && Script_world.cutscene_playing()) return;
  Level_hook_frame = Kept_frame_hook;
  Kept_frame_hook = nullptr;
  void (*then)() = Continuation;
  Continuation = nullptr;
  if (then) then();
}

void topic(const ScriptEvent* e, bool available) {
  if (Script_world.topic_set_available) Script_world.topic_set_available(e->name, available);
}

}  // namespace

// --- run when ready --------------------------------------------------------------------------

void script_run_when_ready(const char* cutscene, void (*continuation)()) {
  bool any = false;
  for (PlayerRecord* p = party_first(); p && !any; p = party_next(p)) any = member_alive(p);
  if (!any) return;
  if (!No_cutscenes && !game_is_networked() && Script_world.cutscene_play && Script_world.cutscene_play(cutscene)) {
    Kept_frame_hook = Level_hook_frame;
    Level_hook_frame = deferred_frame;
    Continuation = continuation;
    return;
  }
  if (continuation) continuation();
}

// --- ambient sounds --------------------------------------------------------------------------

bool ambient_sound_add(int emitter, const vector& pos) {
  if (emitter == -1) return false;
  if (Num_ambient >= MAX_AMBIENT_SOUNDS) {
    console_printf("Ambient sound refused: the level holds %d (MAX_AMBIENT_SOUNDS)\n", MAX_AMBIENT_SOUNDS);
    return false;
  }
  Ambient[Num_ambient++] = {emitter, pos};
  return true;
}

void ambient_sound_remove(int index) {
  if (index < 0 || index >= Num_ambient) return;
  snd_emitter_delete(Ambient[index].emitter, 0);
  for (int i = index; i + 1 < Num_ambient; i++) Ambient[i] = Ambient[i + 1];
  Num_ambient--;
}

int ambient_sound_find(const vector& pos) {
  for (int i = 0; i < Num_ambient; i++)
    if (Ambient[i].pos.x == pos.x && Ambient[i].pos.y == pos.y && Ambient[i].pos.z == pos.z) return i;
  return -1;
}

int ambient_sound_count() { return Num_ambient; }

void ambient_sounds_update() {
  static const vector still{0.0f, 0.0f, 0.0f};
  for (int i = 0; i < Num_ambient; i++) snd_emitter_update(Ambient[i].emitter, &Ambient[i].pos, &still, 1.0f);
}

void ambient_sounds_clear() {
  for (int i = 0; i < Num_ambient; i++) snd_emitter_delete(Ambient[i].emitter, 0);
  Num_ambient = 0;
}

// --- click records ---------------------------------------------------------------------------

int click_add(int mesh) {
  int slot = -1;
  for (int i = 0; i < Num_clicks && slot < 0; i++)
    if (Clicks[i].mesh == -1) slot = i;
  if (slot < 0) {
    if (Num_clicks >= MAX_CLICK_RECORDS) {
      console_printf("Click record for %s refused: the level holds %d (MAX_CLICK_RECORDS)\n", mesh_name(mesh),
                     MAX_CLICK_RECORDS);
      return -1;
    }
    slot = Num_clicks++;
  }
  Clicks[slot] = ClickRecord{};
  Clicks[slot].mesh = mesh;
  return slot;
}

void click_remove(int mesh) {
  for (int i = 0; i < Num_clicks; i++)
    if (Clicks[i].mesh == mesh && mesh != -1) Clicks[i].mesh = -1;
}

bool click_test(int mesh) {
  for (int i = 0; i < Num_clicks; i++)
    if (Clicks[i].mesh == mesh && mesh != -1) return true;
  return false;
}

void click_mark_used(int index) {
  if (index < 0 || index >= Num_clicks || Clicks[index].mesh < 0) return;
  Clicks[index].state |= 1;
  if (Level_script_current >= 0)
    two_stage_state_set_key(Level_script_current, two_stage_key(Level_position.script, mesh_name(Clicks[index].mesh)),
                            true, false);
}

int click_find(const char* object_name) {
  for (int i = 0; object_name && i < Num_clicks; i++)
    if (Clicks[i].mesh >= 0 && !strcasecmp(mesh_name(Clicks[i].mesh), object_name)) return i;
  return -1;
}

int click_find_checksum(uint32_t checksum) {
  for (int i = 0; i < Num_clicks; i++) {
    if (Clicks[i].mesh < 0) continue;
    char both[65];
    std::snprintf(both, sizeof both, "%s%s", Level_position.script, mesh_name(Clicks[i].mesh));
    if (name_checksum(both) == checksum) return i;
  }
  return -1;
}

int click_count() { return Num_clicks; }
ClickRecord* click_at(int index) { return index >= 0 && index < Num_clicks ? &Clicks[index] : nullptr; }
void clicks_reset() { Num_clicks = 0; }

// --- characters --------------------------------------------------------------------------------

bool script_character_say(const char* name, const char* text, float seconds) {
  living_entity* e = character_named(name);
  if (!e) return false;
  e->show_speech_text(text ? text : "", seconds);
  return true;
}

bool script_party_member_say(const char* member, const char* text, float seconds) {
  for (PlayerRecord* p = party_first(); p; p = party_next(p)) {
    living_entity* e = member_entity(p);
    if (!e || !member || strcasecmp(e->get_name(), member)) continue;
    // In solo mode only the hero the player controls speaks.
    if (game_flags_test(GF_SOLO) && p != Selected_record) return false;
    e->show_speech_text(text ? text : "", seconds);
    return true;
  }
  return false;
}

void script_character_show(const char* name, bool hide) {
  living_entity* e = character_named(name);
  if (!e) return;
  if (hide) {
    e->flags |= OF_HIDDEN;
  } else {
    e->flags &= ~OF_HIDDEN;
  }
}

bool script_character_is_hostile(int character) {
  ScriptCharacter* c = script_character_at(character);
  living_entity* e = c ? entity_from_handle(c->entity) : nullptr;
  return e && e->type == OBJ_CREATURE;
}

bool script_character_exists(const char* name) { return character_named(name) != nullptr; }

bool script_character_near_navpoint(const char* name, const char* navpoint, float distance) {
  const Navpoint* n = navpoint_find(navpoint);
  if (!n) {
    console_printf("WARNING: Script trying to check navpoint that doesn't exist!\n");
    return false;
  }
  living_entity* e = character_named(name);
  return e && dist2(e->pos, n->pos) <= distance * distance;
}

bool script_character_near_hero(const char* name, float distance) {
  living_entity* e = character_named(name);
  return e && Selected_entity && dist2(e->pos, Selected_entity->pos) <= distance * distance;
}

bool script_leader_near_navpoint(const char* navpoint, float distance) {
  const Navpoint* n = navpoint_find(navpoint);
  if (!n) {
    console_printf("WARNING: Script trying to check navpoint that doesn't exist!\n");
    return false;
  }
  return Selected_entity && dist2(Selected_entity->pos, n->pos) <= distance * distance;
}

void script_character_copy_equipment(const char* name, int target_handle) {
  living_entity* from = character_named(name);
  living_entity* to = entity_from_handle(target_handle);
  if (!from || !to) return;
  console_printf("Copying data from %s\n", from->get_name());
  for (int slot = 0; slot < 9; slot++) {
    if (!from->equipment[slot] || !from->equipment[slot]->info) continue;
    item_instance* copy = item_create(static_cast<int>(from->equipment[slot]->info - Item_infos));
    if (!copy) continue;
    item_instance *out1 = nullptr, *out2 = nullptr;
    entity_equip_item(&out1, &out2, to, slot, copy);
    if (out1) item_free(out1);
    if (out2) item_free(out2);
  }
}

// --- the party ---------------------------------------------------------------------------------

bool script_party_has_item(const char* item) {
  const int index = item_lookup(item);
  return index >= 0 && party_inventory_find_by_index(index) >= 0;
}

bool script_hero_has_equipped(const char* item) {
  const int index = item_lookup(item);
  return index >= 0 && Selected_entity && entity_has_equipped(Selected_entity, &Item_infos[index]);
}

void script_party_give_item(const char* item) {
  const int index = item_lookup(item);
  if (index < 0) {
    console_printf("Script gives an unknown item: %s\n", item ? item : "");
    return;
  }
  party_inventory_add_by_index(index, 1, -1, true);
  say("Party acquired %s!", item);
}

void script_party_remove_one(const char* item) {
  const int index = item_lookup(item);
  const int entry = index >= 0 ? party_inventory_find_by_index(index) : -1;
  if (entry < 0) return;
  if (Party_inventory.entries[entry].count > 1) Party_inventory.entries[entry].count--;
  else party_inventory_remove(entry, true, true);
}

void script_party_give_xp(int amount) {
  for (PlayerRecord* p = party_first(); p; p = party_next(p))
    if (member_alive(p)) add_xp(member_entity(p), amount);
  say("party gained %d XP", amount);
}

void script_hero_give_xp(int amount) {
  if (Selected_entity) add_xp(Selected_entity, amount);
}

void script_arm_first_hero(bool arm) {
  living_entity* e = entity_find_by_name("Ruvizo");
  if (!e) return;
  if (arm) {
    for (int slot : {5, 6, 1, 2}) {
      if (item_instance* old = entity_unequip_slot(e, slot, true)) item_free(old);
    }
    if (item_instance* sword = item_create_by_name("Short Sword")) {
      item_instance *out1 = nullptr, *out2 = nullptr;
      entity_equip_item(&out1, &out2, e, 5, sword);
      if (out1) item_free(out1);
      if (out2) item_free(out2);
    }
    for (const char* ring : {"Ring of Darkness", "Ring of Light", "Ring of Fire", "Ring of Stone"})
      script_party_remove_one(ring);
  }
  if (Script_world.set_one_hand_stance) Script_world.set_one_hand_stance(e, arm);
}

// --- avoidance splines -------------------------------------------------------------------------

int avoid_spline_find(int entity) {
  for (int i = 0; i < MAX_AVOID_SPLINES; i++)
    if (Avoid[i].entity == entity && entity != -1) return i;
  return -1;
}

bool avoid_spline_register(int entity) {
  for (AvoidSlot& s : Avoid) {
    if (s.entity != -1) continue;
    s.entity = entity;
    s.polygon = Script_world.avoid_barrier_add ? Script_world.avoid_barrier_add(entity) : -1;
    return true;
  }
  console_printf("Ran out of level_script_avoid_spline slots\n");
  return false;
}

void avoid_spline_release(int entity) {
  const int i = avoid_spline_find(entity);
  if (i < 0) return;
  if (Avoid[i].polygon != -1 && Script_world.avoid_barrier_remove) Script_world.avoid_barrier_remove(Avoid[i].polygon);
  Avoid[i] = AvoidSlot{};
}

void avoid_splines_reset() {
  for (AvoidSlot& s : Avoid) {
    if (s.polygon != -1 && Script_world.avoid_barrier_remove) Script_world.avoid_barrier_remove(s.polygon);
    s = AvoidSlot{};
  }
}

// The barrier lies across the middle of the way between the guard and the
// hero, square to it in the ground plane at the guard's height, up to
// GUARD_BARRIER_REACH each side and stopped short where the ground it
// stands on ends.
bool guard_barrier_line(const vector& guard, const vector& hero, vector* a, vector* b) {
  vector d(hero.x - guard.x, 0.0f, hero.z - guard.z);
  const float len = std::sqrt(d.x * d.x + d.z * d.z);
  if (len <= 0.0f) return false;
  const vector side(-d.z / len, 0.0f, d.x / len);
  const vector mid((guard.x + hero.x) * 0.5f, guard.y, (guard.z + hero.z) * 0.5f);
  const EntityWorldHooks& w = entity_world();
  auto walkable = [&](const vector& p) {
    if (!w.floor_ray) return true;
    FloorHit hit;
    const vector top(p.x, p.y + GUARD_BARRIER_STEP_UP, p.z);
    return w.floor_ray(top, 2.0f * GUARD_BARRIER_STEP_UP, FLOOR_ALL_MESHES, -1, -1, -1, &hit);
  };
  if (!walkable(mid)) return false;
  vector* ends[2] = {a, b};
  for (int k = 0; k < 2; k++) {
    const float sign = k == 0 ? -1.0f : 1.0f;
    float reach = GUARD_BARRIER_REACH;
    for (float t = GUARD_BARRIER_SAMPLE; t <= GUARD_BARRIER_REACH; t += GUARD_BARRIER_SAMPLE) {
      if (walkable(mid + side * (sign * t))) continue;
      reach = t - GUARD_BARRIER_SAMPLE - GUARD_BARRIER_MARGIN;
      if (reach < 0.0f) reach = 0.0f;
      break;
    }
    *ends[k] = mid + side * (sign * reach);
  }
  return true;
}

int guard_barrier_add(int entity) {
  const living_entity* guard = entity_from_handle(entity);
  const EntityGameHooks& g = entity_game();
  const living_entity* hero = g.selected ? g.selected() : nullptr;
  if (!guard || !hero) return -1;
  vector ends[2];
  if (!guard_barrier_line(guard->pos, hero->pos, &ends[0], &ends[1])) return -1;
  AvoidShape shape{};
  shape.kind = AA_TYPE_RECT | AA_TYPE_PROHIBIT;
  shape.count = 2;
  shape.points = ends;
  shape.size_x = GUARD_BARRIER_WIDTH;
  shape.size_y = GUARD_BARRIER_WIDTH;
  shape.weight = 1.0f;
  shape.owner = entity;
  return aa_add(shape);
}

// --- script events -----------------------------------------------------------------------------

bool script_knife_given() { return Knife_given; }
void script_knife_marker_clear() { Knife_given = false; }

void script_event_execute(const ScriptEvent* e) {
  if (!e) return;
  switch (e->type) {
    case SE_HOOK:
      if (Level_hook_event) Level_hook_event(e);
      break;
    case SE_XP:
      if (e->hero == -1) {
        for (PlayerRecord* p = party_first(); p; p = party_next(p))
          if (member_alive(p)) add_xp(member_entity(p), e->value);
        say("<party gained %d XP>", e->value);
      } else if (PlayerRecord* p = member_of_type(e->hero); p && member_alive(p)) {
        add_xp(member_entity(p), e->value);
        say("<%s gained %d XP>", member_entity(p)->get_name(), e->value);
      }
      break;
    case SE_SKILL_POINTS:
      if (PlayerRecord* p = e->hero == -1 ? nullptr : member_of_type(e->hero); p && member_entity(p)) {
        p->unspent_skill_points += e->value;
        say("<%s gained %d skill points>", member_entity(p)->get_name(), e->value);
      }
      break;
    case SE_GOLD: {
      const int64_t gold = static_cast<int64_t>(Party_inventory.gold) + e->value;
      Party_inventory.gold = gold < 0 ? 0 : static_cast<uint32_t>(gold);
      if (e->value < 0) say("<party paid %d gold>", -e->value);
      else say("<party received %d gold>", e->value);
      break;
    }
    case SE_GAIN_ITEM:
      if (e->value < 0 || e->value >= Num_item_infos || !Item_infos[e->value].name) break;
      party_inventory_add_by_index(e->value, 1, -1, true);
      if (!strcasecmp(Item_infos[e->value].name, "high quality knife")) Knife_given = true;
      say("<gained item: \"%s\">", Item_infos[e->value].name);
      break;
    case SE_LOSE_ITEM: {
      if (e->value < 0 || e->value >= Num_item_infos || !Item_infos[e->value].name) break;
      const int entry = party_inventory_find_by_index(e->value);
      if (entry < 0) break;
      if (Party_inventory.entries[entry].count > 1) Party_inventory.entries[entry].count--;
      else party_inventory_remove(entry, true, true);
      say("<lost item: \"%s\">", Item_infos[e->value].name);
      break;
    }
    case SE_SET_FLAG:
      if (Level_script_current >= 0 && e->name) level_flag_set(Level_script_current, e->name, true);
      break;
    case SE_TOPIC_IF_ITEM:
      topic(e, script_party_has_item(e->flag));
      break;
    case SE_TOPIC_IF_FLAG:
      if (level_flag_get(e->value, e->flag)) topic(e, true);
      break;
    case SE_TOPIC_OFF_IF_ITEM:
      if (script_party_has_item(e->flag)) topic(e, false);
      break;
    case SE_TOPIC_OFF_IF_FLAG:
      if (level_flag_get(e->value, e->flag)) topic(e, false);
      break;
    case SE_TOPIC_IF_GOLD:
      topic(e, Party_inventory.gold >= static_cast<uint32_t>(e->value < 0 ? 0 : e->value));
      break;
    case SE_TOPIC_OFF_IF_GOLD:
      if (Party_inventory.gold >= static_cast<uint32_t>(e->value < 0 ? 0 : e->value)) topic(e, false);
      break;
    default:
      break;
  }
}

// --- console: doors --------------------------------------------------------------------------

namespace {

// The door of the name typed, or -1 with the usage or a message.
int door_argument(const char* usage) {
  console_get_arg(ARG_STRING | ARG_NONE);
  if (!(Console_arg.type & ARG_STRING)) {
    console_printf("%s\n", usage);
    return -1;
  }
  const int mesh = level_mesh_find_by_name(Console_arg.original);
  if (mesh < 0 || !level_mesh_movable_info(mesh)) {
    console_printf("No door named %s in the level.\n", Console_arg.original);
    return -1;
  }
  return mesh;
}

bool door_is_open(int mesh) {
  const LevelMovableMesh* m = level_mesh_movable_info(mesh);
  return m && (m->state & MOVABLE_TOWARD_OPEN);
}

}  // namespace

static ConsoleCommand cc_door_open("door_open", "open a specified door in the level.", [] {
  if (!Console_run) return;
  const int mesh = door_argument("Usage: door_open door_name");
  if (mesh >= 0) level_door_open(mesh, 0.0f, true, true);
});
static ConsoleCommand cc_door_close("door_close", "closes a specified door in the level.", [] {
  if (!Console_run) return;
  const int mesh = door_argument("Usage: door_close door_name");
  if (mesh >= 0) level_door_close(mesh);
});
static ConsoleCommand cc_door_toggle("door_toggle", "opens or closes a specified door in the level.", [] {
  if (!Console_run) return;
  const int mesh = door_argument("Usage: door_toggle door_name");
  if (mesh < 0) return;
  if (door_is_open(mesh)) level_door_close(mesh);
  else level_door_open(mesh, 0.0f, true, true);
});

// The dialogue topic commands: two words, person and topic.
namespace {
void topic_command(const char* usage, bool available) {
  char words[2][CONSOLE_MAX_ARG + 1];
  int n = 0;
  while (true) {
    console_get_arg(ARG_STRING | ARG_NONE);
    if (!(Console_arg.type & ARG_STRING)) break;
    if (n < 2) std::snprintf(words[n], sizeof words[n], "%s", Console_arg.original);
    n++;
  }
  if (n != 2) {
    console_printf("%s\n", usage);
    return;
  }
  if (Script_world.person_topic_set_available) Script_world.person_topic_set_available(words[0], words[1], available);
  else console_printf("No conversations are loaded.\n");
}
}  // namespace

static ConsoleCommand cc_topic_on("dialogue_make_topic_available", "mark a specific dialogue topic as available.", [] {
  if (Console_run) topic_command("Usage: dialogue_make_topic_available person topic", true);
});
static ConsoleCommand cc_topic_off("dialogue_make_topic_unavailable", "mark a specific dialogue topic as unavailable.",
                                   [] {
                                     if (Console_run)
                                       topic_command("Usage: dialogue_make_topic_unavailable person topic", false);
                                   });
