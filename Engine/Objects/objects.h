#pragma once
// The object model: every world object (creature, hero, item on the ground,
// container, game effect) is a game_object in a fixed pool, linked into one
// global list and reached through a 32-bit handle. A handle is its slot plus
// 1000 times a generation taken from one global counter, so a handle that
// outlives its object finds nothing.
//
// Code keeps handles, never pointers, from one frame to the next. An object
// is deleted by setting its delete flag; it is torn down at the start of the
// next object frame.
#include <cstdint>

#include "quarn/math/matrix.h"
#include "quarn/math/vector.h"

#define MAX_OBJECTS 1000
#define MAX_GROUND_ITEMS 1000
#define MAX_GENERATION 2147483
#define NUM_SPEECH_SLOTS 16
#define NUM_COOLDOWN_RECORDS 100

enum ObjectType {
  OBJ_FREE = 0, OBJ_ANIMATED_PROP = 1, OBJ_GAME_EFFECT = 2, OBJ_GROUND_ITEM = 3, OBJ_NEUTRAL = 4,
  OBJ_CREATURE = 5, OBJ_DEAD_CREATURE = 6, OBJ_PLAYER = 7, OBJ_DEAD_PLAYER = 8, OBJ_BOSS = 9, OBJ_DEAD_BOSS = 10,
  OBJ_CONTAINER = 11
};

enum ObjectFlags : uint32_t { OF_ACTIVE = 1, OF_KEEP_FLOOR = 2, OF_DELETE = 4, OF_HIDDEN = 32 };

struct item_instance;

class game_object {
 public:
  virtual ~game_object() = default;
  // The teardown: unlinks the object and frees its handle. Derived kinds
  // release their own parts first and then call this.
  virtual void deinit();
  // Sets the type, links the object at the tail of the list and gives it a
  // handle.
  void setup(int object_type);

  game_object* next = nullptr;
  game_object* prev = nullptr;
  int32_t type = OBJ_FREE;
  vector pos{};
  vector last_pos{};
  vector offset{};
  void* placement = nullptr;
  matrix orient{};
  matrix last_orient{};
  int32_t handle = 0;
  uint32_t flags = 0;
  float radius = 0.0f;
  int32_t net_handle = -1;
};

class container_object;

class ground_item : public game_object {
 public:
  void deinit() override;
  bool is_gold() const;

  item_instance* item = nullptr;
  int32_t quantity = 0;
  int32_t tag = -1;
  container_object* container = nullptr;
  int32_t floor_mesh = -1;
};

inline bool obj_is_living_entity(const game_object* o) {
  return o && (o->type == OBJ_NEUTRAL || o->type == OBJ_CREATURE || o->type == OBJ_PLAYER || o->type == OBJ_BOSS);
}
inline bool obj_is_dead_entity(const game_object* o) {
  return o && (o->type == OBJ_DEAD_CREATURE || o->type == OBJ_DEAD_PLAYER || o->type == OBJ_DEAD_BOSS);
}

void objects_init();
game_object* obj_from_handle(int32_t handle);
game_object* obj_living_entity_from_handle(int32_t handle);
inline int obj_handle_slot(int32_t handle) { return handle % 1000; }
// The first object of the global list (null when empty) and the count.
game_object* objects_first();
// The object after o in the list, null at the end.
game_object* objects_next(game_object* o);
int objects_count();
// The generation the next handle will carry (tests set it to reach the wrap).
int objects_next_generation();
void objects_set_next_generation(int generation);
// Whether this machine hosts a networked game (net handles equal handles);
// the network layer installs it.
void objects_set_host_query(bool (*query)());

inline void object_mark_deleted(game_object* o) {
  if (o) o->flags |= OF_DELETE;
}
void objects_delete_pending();
void objects_reset_all();

// Where an item rests: the level's collision queries answer it. With a
// sector >= 0 only the meshes of that pathfinding sector count. Returns
// false when nothing lies below.
using GroundFloorProbe = bool (*)(const vector& from, int sector, float* height, int* mesh);
void ground_item_set_floor_probe(GroundFloorProbe probe);
// Creates a container for a bag of dropped items (null when none is free)
// and adds an item to it; the containers supply these.
struct GroundContainerOps {
  container_object* (*create)(const vector& pos, int value) = nullptr;
  void (*add_item)(container_object* c, ground_item* item) = nullptr;
  void (*remove_item)(container_object* c, ground_item* item) = nullptr;
  void (*move_to)(container_object* c, const vector& pos) = nullptr;
};
void ground_item_set_container_ops(const GroundContainerOps& ops);

// Null when all 1000 ground items are in use.
ground_item* ground_item_drop(item_instance* item, const vector& pos, const matrix& orient, int quantity, int tag,
                              int sector);
// Returns the bag; with no free container the item is dropped loose and the
// result is null.
container_object* ground_item_drop_in_bag(item_instance* item, const vector& pos, const matrix& orient,
                                          int quantity, int tag, int sector, ground_item** dropped = nullptr);
ground_item* ground_item_at(int index);

// The steps of the object frame that other subsystems own; each is skipped
// while unset.
struct ObjectFrameSteps {
  void (*ai_driver)(float frametime) = nullptr;
  void (*live_footsteps)(float frametime) = nullptr;
  void (*dead_update)(float frametime) = nullptr;
  void (*animate_prop)(game_object* prop, float frametime) = nullptr;
  void (*door_meshes)(float frametime) = nullptr;
};
void objects_set_frame_steps(const ObjectFrameSteps& steps);

struct SpeechSlot {
  int32_t entity = -1;
  float time_left = 0.0f;
};
struct CooldownRecord {
  int32_t entity = -1;
  uint32_t end_time = 0;  // ms
  int32_t spell = -1;
};
extern SpeechSlot Speech_slots[NUM_SPEECH_SLOTS];
extern CooldownRecord Cooldowns[NUM_COOLDOWN_RECORDS];

// Once per gameplay frame, also in cutscenes; now_ms is the game clock.
void objects_frame(float frametime, uint32_t now_ms);
// Entering gameplay: speech slots and cooldown records free.
void objects_level_start();
