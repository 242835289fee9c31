#pragma once
// The loaded level at run time: lookups of instances, nodes, point lists and
// groups by name or index, and movable meshes (doors, gates, lifts) that
// travel between a closed and an open placement on an eased curve.
//
// A door's open and locked bits live in the saved game, keyed by the
// instance name, so doors come back as they were after a load; the level's
// own record only holds the motion in progress.
#include <cstdint>

#include "Engine/s3d/s3d.h"

// What the level asks of the rest of the game. Each may be left null; the
// door state then lives in a table of this module (kept across levels, as
// the saved game keeps it).
struct LevelServices {
  // The saved open and second-stage (locked) bits of a level object; false
  // when the object has none saved yet. The setter answers false when the
  // saved game cannot hold the object (a level it keeps no states for): the
  // table of this module keeps it then.
  bool (*two_stage_get)(const char* name, bool* open, bool* locked);
  bool (*two_stage_set)(const char* name, bool open, bool locked);
  // The level script's answer to the party using an object.
  bool (*use_hook)(const char* name);
  // A level node that the level's navigation points take over.
  void (*navpoint_add)(const LevelNode* node);
  // Plays a sound at a world position (sound index >= 1); the game's own 3-D
  // sound when left null.
  int (*play_3d)(int sound, const vector& pos);
  // The doorway of a movable from the pathfinding graph: the midpoint of its
  // portal segment and the sector holding it; false when there is none.
  bool (*doorway)(int movable, float* x, float* z, int* sector);
};
void level_set_services(const LevelServices& services);
// A level object's saved door state: the saved game's when a service serves
// it, else the built-in table's. Everything that reads or changes a door's
// open and locked bits goes through these, so that a save keeps them.
void level_two_stage_reset();
bool level_two_stage_get(const char* name, bool* open, bool* locked);
void level_two_stage_set(const char* name, bool open, bool locked);
// Hands a level node to the navigation points, when a service takes them.
void level_navpoint_add(const LevelNode* node);

// ---- Lookups -----------------------------------------------------------------

int level_mesh_count();
LevelMeshInstance* level_mesh_get(int index);
bool level_mesh_index_invalid(int index);
// Index of the instance of that name (case ignored), -1 when absent.
int level_mesh_find_by_name(const char* name);
// Hide or show every instance whose name begins with the prefix.
void level_mesh_flag_by_prefix(const char* prefix);
void level_mesh_unflag_by_prefix(const char* prefix);
void level_mesh_bounds(int index, vector* min, vector* max);
void level_mesh_sphere(int index, vector* center, float* radius);
int level_mesh_sector(int index);
int obj_get_sector(const LevelMeshInstance* object, int i);
void obj_set_sector(LevelMeshInstance* object, int i, int value);
bool level_node_find(const char* name, vector* pos, matrix* orient);
VisGroup* vis_group_find(const char* name);
LevelNamedPoints* level_named_points_find(const char* name);
// Splines of the level (avoid and trigger splines) are its named point lists.
inline LevelNamedPoints* level_spline_find(const char* name) { return level_named_points_find(name); }
VertexAnimRecord* level_vertex_anim_find(int instance);
LevelMovableMesh* level_mesh_movable_info(int instance);
// 0 and the instance and record index, or -1 when absent or out of range.
int level_movable_find(const char* key_name, int* instance, int* record);
bool level_mesh_has_track(int instance);
// Within reach of a standing entity at `pos` (horizontal 6.0, and within
// 0.5 of the floor height when the movable has a track).
bool level_mesh_within_reach(const vector& pos, int instance);

// The level's bounding box over every instance: the position quantiser maps
// x and z over it.
struct LevelBounds {
  float max_z, min_z, min_x, max_x;
};
LevelBounds level_bounds();

// ---- Movable meshes -------------------------------------------------------------

// e(t): slow start and slow end.
float level_ease(float t);
bool level_door_move(int instance, float delay, bool force, bool sound);
bool level_door_open(int instance, float delay, bool force, bool sound);
bool level_door_close(int instance);
bool level_mesh_use(int instance, bool force);
void level_door_set_by_name(const char* name, bool open);
bool level_movable_apply_by_name(const char* name, float threshold);
bool level_door_open_fraction_above(const LevelMovableMesh* m, float threshold);
// The floor point under the movable's doorway; called at level start.
void level_movable_place(int instance);
// Places a movable for this frame.
void level_door_update(int instance);
// Where a downward ray from `from` meets the level (instances with any of
// `exclude` skipped); false when nothing lies below within `depth`.
bool level_floor_point(const vector& from, float depth, uint32_t exclude, vector* out);

// ---- Level start and leave --------------------------------------------------------

// Uploads the level's textures before play.
void level_assets_preload();

constexpr int LEVEL_TIMED_SLOTS = 8;
struct TimedSlot {
  int32_t id;  // -1 free
  int32_t data;
  GameTimestamp stamp;
};
// The area reservations of the AI: eight timed slots.
extern TimedSlot Level_timed_slots[LEVEL_TIMED_SLOTS];
void timed_slots_clear();
void timed_slot_release(int id);
// When the game is not active, waits 10 ms.
void frame_idle();
