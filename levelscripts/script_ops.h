#pragma once
// The library the level scripts are written against: deferred continuations
// after cutscenes, the level's ambient sound records and click records,
// speech, items, experience and gold for the party, tests of where
// characters stand, avoidance splines, and the script events conversations
// execute. Names are compared without regard to case; a character is a
// script character of the runner, found by name or index.
#include <cstdint>

#include "quarn/math/vector.h"

#define MAX_AMBIENT_SOUNDS 128
#define MAX_CLICK_RECORDS 50
#define MAX_AVOID_SPLINES 10
#define CLICK_MESSAGE_LEN 256

// Executed by conversations (type 0-12; others do nothing).
struct ScriptEvent {
  const char* name;
  const char* flag;
  int32_t type;
  int32_t value;
  int32_t hero;  // a hero's character type index, -1 the whole party
};
enum ScriptEventType {
  SE_HOOK = 0, SE_XP = 1, SE_SKILL_POINTS = 2, SE_GOLD = 3, SE_GAIN_ITEM = 4, SE_LOSE_ITEM = 5, SE_SET_FLAG = 6,
  SE_TOPIC_IF_ITEM = 7, SE_TOPIC_IF_FLAG = 8, SE_TOPIC_OFF_IF_ITEM = 9, SE_TOPIC_OFF_IF_FLAG = 10,
  SE_TOPIC_IF_GOLD = 11, SE_TOPIC_OFF_IF_GOLD = 12
};
void script_event_execute(const ScriptEvent* event);
// The marker of the "high quality knife" gift (cleared at each level set-up).
bool script_knife_given();
void script_knife_marker_clear();

// Plays the cutscene and runs the continuation on the first frame after it;
// at once when cutscenes are off, the game is networked or nothing can play
// it; not at all when no party member lives.
void script_run_when_ready(const char* cutscene, void (*continuation)());

// Ambient sound records: a handle of -1 is not kept; false when full.
bool ambient_sound_add(int emitter, const vector& pos);
void ambient_sound_remove(int index);
int ambient_sound_find(const vector& pos);
int ambient_sound_count();
// Each frame: every emitter hears the listener's new place.
void ambient_sounds_update();
// Level exit: every emitter deleted, no records left.
void ambient_sounds_clear();

// Click records of level objects (mesh instances).
struct ClickRecord {
  int32_t mesh;  // -1 free slot
  char message[CLICK_MESSAGE_LEN];
  uint8_t state;  // bit 0: used
  int32_t give;
};
int click_add(int mesh);  // index, -1 when full
void click_remove(int mesh);
bool click_test(int mesh);
void click_mark_used(int index);
int click_find(const char* object_name);
int click_find_checksum(uint32_t checksum);
int click_count();
ClickRecord* click_at(int index);
void clicks_reset();

// Characters.
bool script_character_say(const char* name, const char* text, float seconds);
bool script_party_member_say(const char* member, const char* text, float seconds);
void script_character_show(const char* name, bool hide);
bool script_character_is_hostile(int character);
bool script_character_exists(const char* name);
bool script_character_near_navpoint(const char* name, const char* navpoint, float distance);
bool script_character_near_hero(const char* name, float distance);
bool script_leader_near_navpoint(const char* navpoint, float distance);
void script_character_copy_equipment(const char* name, int target_handle);

// The party.
bool script_party_has_item(const char* item);
bool script_hero_has_equipped(const char* item);
void script_party_give_item(const char* item);
void script_party_remove_one(const char* item);
void script_party_give_xp(int amount);
void script_hero_give_xp(int amount);
void script_arm_first_hero(bool arm);

// Avoidance splines: slot of the entity, -1 none; registering fails with a
// debug line when all slots are taken.
int avoid_spline_find(int entity);
bool avoid_spline_register(int entity);
void avoid_spline_release(int entity);
void avoid_splines_reset();
// The barrier a guard spline registers: its two ends across the way from
// the guard to the hero (false when they stand on one spot or the guard's
// ground is missing), and the avoidance area made of it (-1 none).
#define GUARD_BARRIER_REACH 20.0f
#define GUARD_BARRIER_MARGIN 0.1f
#define GUARD_BARRIER_SAMPLE 0.25f
#define GUARD_BARRIER_STEP_UP 1.0f
#define GUARD_BARRIER_WIDTH 1.0f
bool guard_barrier_line(const vector& guard, const vector& hero, vector* a, vector* b);
int guard_barrier_add(int entity);
