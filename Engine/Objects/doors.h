#pragma once
// Door opening, closing and lock picking, kept in step between the machines
// of a networked game. The open and locked bits live in the level object
// state (so they survive a save); a door's lock difficulty comes from its
// movable record, 0 or less meaning unlocked.
#include <cstdint>

class living_entity;

constexpr int PKT_DOOR_TG = 36;
constexpr int PKT_DOR_PCK = 37;

enum DoorPickResult : int32_t { DOOR_PICKED = 0, DOOR_PICK_FAILED = 1, DOOR_ALREADY_UNLOCKED = 2 };

// A picker gets this much grace over its lock-picking statistic.
constexpr float DOOR_PICK_GRACE = 0.05f;
constexpr int DOOR_PICK_STAT = 21;

// What the doors ask of the rest of the game. Each may be left null; the
// door lookup then reads the loaded level.
struct DoorHooks {
  // The door of a mesh index: its name and lock difficulty; false when the
  // index is out of range or the mesh is no door.
  bool (*find_door)(int mesh, const char** name, float* difficulty) = nullptr;
  // The saved open and locked bits of a door, and their update.
  void (*state_get)(int mesh, bool* open, bool* locked) = nullptr;
  void (*state_set)(int mesh, bool open, bool locked) = nullptr;
  bool (*open_door)(int mesh) = nullptr;
  bool (*close_door)(int mesh) = nullptr;
  // The entity of a network player id; null when there is none.
  living_entity* (*player_entity)(int player_id) = nullptr;
  // The stat a picker brings to a lock (the entity's statistic 21).
  float (*pick_skill)(living_entity* picker) = nullptr;
  bool (*is_local_player)(int player_id) = nullptr;
  // payload words, little-endian on the wire; to_player -1 means everyone.
  void (*send)(int type, const int32_t* words, int count, int to_player) = nullptr;
  void (*game_sound)(int sound) = nullptr;
  void (*picker_voice)(living_entity* picker) = nullptr;
  void (*script_used)(const char* name) = nullptr;
  void (*hud_message)(const char* text) = nullptr;
};
void doors_set_hooks(const DoorHooks& hooks);

// The pure decision of a pick against a door of that difficulty.
DoorPickResult door_pick_outcome(float difficulty, float skill);

// Host or single player. Returns whether the door moved.
bool door_set_open(int player_id, int mesh, bool open);
// Host. Returns the answer sent, or -1 when there was no door or picker.
int door_pick_lock(int player_id, int mesh);

// Handlers of received packets; malformed payloads are ignored. Each
// returns false when the payload was refused.
bool door_toggle_received(const uint8_t* payload, int size);
bool door_pick_received(const uint8_t* payload, int size);

// Sends counted per packet type for the traffic statistics.
int door_packets_sent(int type);
