#include "Engine/Objects/doors.h"

#include <cstdio>
#include <cstring>

#include "Engine/Objects/living_entity.h"
#include "Engine/s3d/level_objects.h"

namespace {

DoorHooks Hooks;
int Sent[2];

bool level_find_door(int mesh, const char** name, float* difficulty) {
  if (mesh < 0 || mesh >= level_mesh_count()) return false;
  LevelMeshInstance* inst = level_mesh_get(mesh);
  LevelMovableMesh* m = level_mesh_movable_info(mesh);
  if (!inst || !m || !(inst->flags & MI_MOVABLE)) return false;
  *name = inst->name;
  *difficulty = m->lock_value;
  return true;
}

bool find_door(int mesh, const char** name, float* difficulty) {
  *name = "";
  *difficulty = 0.0f;
  return Hooks.find_door ? Hooks.find_door(mesh, name, difficulty) : level_find_door(mesh, name, difficulty);
}

void state_get(int mesh, const char* name, bool* open, bool* locked) {
  if (Hooks.state_get) {
    Hooks.state_get(mesh, open, locked);
    return;
  }
  if (!level_two_stage_get(name, open, locked)) {
    // A door nobody has touched yet is closed, and locked as the level made it.
    LevelMovableMesh* m = level_mesh_movable_info(mesh);
    *open = false;
    *locked = m && (m->door_flags & MOVABLE_LOCKED);
  }
}

void state_set(int mesh, const char* name, bool open, bool locked) {
  if (Hooks.state_set) Hooks.state_set(mesh, open, locked);
  else level_two_stage_set(name, open, locked);
}

void send(int type, int32_t a, int32_t b, int32_t c, int words, int to_player) {
  const int32_t w[3] = {a, b, c};
  Sent[type - PKT_DOOR_TG]++;
  if (Hooks.send) Hooks.send(type, w, words, to_player);
}

void sound(int s) {
  if (Hooks.game_sound) Hooks.game_sound(s);
}

int32_t word(const uint8_t* p) {
  return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}

// A successful pick as every machine sees it.
void unlocked_by(living_entity* picker, int mesh, const char* name) {
  bool open = false, locked = false;
  state_get(mesh, name, &open, &locked);
  state_set(mesh, name, open, false);
  if (Hooks.script_used) Hooks.script_used(name);
  sound(6);
  if (picker && Hooks.picker_voice) Hooks.picker_voice(picker);
}

}  // namespace

void doors_set_hooks(const DoorHooks& hooks) {
  Hooks = hooks;
  Sent[0] = Sent[1] = 0;
}

int door_packets_sent(int type) {
  return type == PKT_DOOR_TG || type == PKT_DOR_PCK ? Sent[type - PKT_DOOR_TG] : 0;
}

DoorPickResult door_pick_outcome(float difficulty, float skill) {
  if (!(difficulty > 0.0f)) return DOOR_ALREADY_UNLOCKED;
  // The grace is compared in doubles so a difficulty equal to skill + 0.05
  // written as decimals still picks.
  if (double(difficulty) > double(skill) + double(DOOR_PICK_GRACE) + 1e-6) return DOOR_PICK_FAILED;
  return DOOR_PICKED;
}

bool door_set_open(int player_id, int mesh, bool open) {
  const char* name;
  float difficulty;
  if (!find_door(mesh, &name, &difficulty)) {
    std::fprintf(stderr, "Unable to find door for mesh id %d\n", mesh);
    return false;
  }
  bool is_open = false, locked = false;
  state_get(mesh, name, &is_open, &locked);
  // The player's own click always acts, whatever the stored bit says.
  if (Hooks.is_local_player && Hooks.is_local_player(player_id)) is_open = !open;
  if (!open) {
    if (!is_open) return false;
    if (Hooks.close_door) Hooks.close_door(mesh);
    state_set(mesh, name, false, locked);
    send(PKT_DOOR_TG, mesh, 0, 0, 2, -1);
    return true;
  }
  if (is_open || locked) return false;
  if (Hooks.open_door) Hooks.open_door(mesh);
  state_set(mesh, name, true, locked);
  send(PKT_DOOR_TG, mesh, 1, 0, 2, -1);
  return true;
}

int door_pick_lock(int player_id, int mesh) {
  const char* name;
  float difficulty;
  if (!find_door(mesh, &name, &difficulty)) {
    std::fprintf(stderr, "Unable to find door to pick for mesh id %d\n", mesh);
    return -1;
  }
  living_entity* picker = Hooks.player_entity ? Hooks.player_entity(player_id) : nullptr;
  if (!picker) return -1;
  const float skill = Hooks.pick_skill ? Hooks.pick_skill(picker) : picker->get_stat(DOOR_PICK_STAT);
  const DoorPickResult r = door_pick_outcome(difficulty, skill);
  if (r == DOOR_PICK_FAILED) sound(5);
  if (r == DOOR_PICKED) unlocked_by(picker, mesh, name);
  send(PKT_DOR_PCK, player_id, mesh, r, 3, r == DOOR_PICKED ? -1 : player_id);
  return r;
}

bool door_toggle_received(const uint8_t* payload, int size) {
  if (!payload || size < 8) return false;
  const int mesh = word(payload);
  const int32_t open = word(payload + 4);
  const char* name;
  float difficulty;
  if ((open != 0 && open != 1) || !find_door(mesh, &name, &difficulty)) return false;
  bool was_open = false, locked = false;
  state_get(mesh, name, &was_open, &locked);
  if (open) {
    if (Hooks.open_door) Hooks.open_door(mesh);
  } else if (Hooks.close_door) {
    Hooks.close_door(mesh);
  }
  state_set(mesh, name, open != 0, locked);
  return true;
}

bool door_pick_received(const uint8_t* payload, int size) {
  if (!payload || size < 12) return false;
  const int player_id = word(payload);
  const int mesh = word(payload + 4);
  const int32_t result = word(payload + 8);
  const char* name;
  float difficulty;
  if (result < DOOR_PICKED || result > DOOR_ALREADY_UNLOCKED || !find_door(mesh, &name, &difficulty)) return false;
  living_entity* picker = Hooks.player_entity ? Hooks.player_entity(player_id) : nullptr;
  if (result == DOOR_PICKED) unlocked_by(picker, mesh, name);
  else if (result == DOOR_PICK_FAILED) sound(5);
  else if (Hooks.hud_message) Hooks.hud_message("This door already unlocked.");
  return true;
}
