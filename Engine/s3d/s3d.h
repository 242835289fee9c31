#pragma once
// The level file (.s3d) and the one loaded level. A level's static world is
// read into `Level` with every array carved from the fixed "level" arena, so
// loading a new level simply starts the arena again. Every record has one
// routine that reads when the file handle reads and writes otherwise, so the
// level builder in tools/ writes exactly what the loader accepts.
//
// A file whose counts, indices or offsets do not fit together is refused
// whole: s3d_load returns -1 after printing the file and the section, and no
// half-loaded level stays behind.
#include <cstdint>

#include "quarn/math/matrix.h"
#include "quarn/math/quaternion.h"
#include "quarn/math/vector.h"
#include "quarn/os/stringpool.h"
#include "quarn/os/timer.h"

class FileHandle;

constexpr char S3D_MAGIC[4] = {'S', '3', 'D', 'F'};
// From this version on the lightmap corner coordinates follow the faces of
// an instance instead of preceding each face.
constexpr int S3D_VERSION_LIGHTMAP_UV_AFTER = 65554;
constexpr int S3D_NAME_LENGTH = 32;           // names keep at most 31 characters
constexpr int S3D_VERTEX_ANIM_NAME_LENGTH = 219;
constexpr int S3D_STRING_POOL_SIZE = 184320;  // what the level loader passes
constexpr uint32_t S3D_ARENA_SIZE = 25600000;
constexpr int S3D_LIGHTMAP_MAX_BYTES = 131072;  // a 256 x 256 16-bit image
// The level renderer's vertex buffers hold this many vertices of one mesh.
constexpr int S3D_MAX_MESH_VERTICES = 4000;
constexpr int S3D_LIGHTMAP_NONE = 0xFFFFFF;     // the 24-bit index -1
constexpr int COLLISION_STACK_SIZE = 128;

// Flags word of a mesh instance.
constexpr uint32_t MI_NO_LIGHTMAP_FILE = 0x1;
constexpr uint32_t MI_LAMP = 0x8;
constexpr uint32_t MI_HAS_ALPHA_FACES = 0x10;
constexpr uint32_t MI_VERTEX_ANIM = 0x20;
constexpr uint32_t MI_GROUND = 0x40;
constexpr uint32_t MI_HIDDEN = 0x80;
constexpr uint32_t MI_MOVABLE = 0x100;
constexpr uint32_t MI_DECALS = 0x400;
constexpr uint32_t MI_VIS_SEEN = 0x2000;
constexpr uint32_t MI_VIS_MEMBER = 0x4000;
constexpr uint32_t MI_UNTEXTURED = 0x8000;
constexpr uint32_t MI_NO_DYNAMIC_LIGHT = 0x20000;
constexpr uint32_t MI_LIGHTMAP_OFF = 0x80000;
constexpr uint32_t MI_NEAR_DEPTH = 0x100000;
constexpr uint32_t MI_DEPTH_BIAS = 0x200000;
constexpr uint32_t MI_BLACK = 0x400000;
constexpr uint32_t MI_STALAG = 0x800000;
constexpr uint32_t MI_OCEAN = 0x1000000;

// Face flags.
constexpr uint16_t FACE_ALPHA = 0x20;      // two-sided for spheres
constexpr uint16_t FACE_TWO_SIDED = 0x200;  // two-sided for rays
// The face's material bits. Mouse picks pass through a face that carries all
// of them (no ordinary face does: the bits hold the kinds above as well), so a
// level can lay invisible blockers that the pointer sees through.
constexpr uint16_t FACE_PICK_PASS = 0xFF0;

// Flags word of the level.
constexpr uint32_t LEVEL_LOADED = 0x1;
constexpr uint32_t LEVEL_TEXTURES_PRELOADED = 0x2;

struct S3dHeader {
  int32_t version;
  int32_t mesh_count;
  int32_t instance_count;
  int32_t node_count;
  int32_t point_list_count;
  int32_t named_points_count;
  int32_t light_count;
  int32_t vis_group_count;
  int32_t movable_count;
  int32_t lightmap_count;
  int32_t texture_count;
  int32_t vertex_anim_count;
  int32_t total_faces;
  int32_t total_instance_faces;
  int32_t total_vertices;
  int32_t total_points;
  int32_t int_pool_size;
  int32_t color_bytes;
  int32_t texture_block_size;
  int32_t surface_count;
  float ambient[3];
};

struct LevelFace {
  uint16_t flags;
  uint16_t v[3];
  vector normal;
};

struct InstanceFace {
  uint16_t texture;   // 1-based slot in the texture table, 0 none
  uint32_t lightmap;  // low 24 bits a signed lightmap index, high 8 bits kept
};
// The signed 24-bit lightmap index of a face (-1 when it has none).
int instance_face_lightmap(const InstanceFace& f);

// 12 bytes a node: quantised plane normal and child bits, plane offset, child
// index and face reference.
struct CollisionNode {
  uint32_t word0;
  float d;
  uint32_t word2;
};
constexpr uint32_t CNODE_FIRST_CHILD = 0x80000000u;
constexpr uint32_t CNODE_SECOND_CHILD = 0x40000000u;
constexpr uint32_t CNODE_FACE_LIST = 0x80000000u;
// A node with no faces of its own says so with this reference.
constexpr uint32_t CNODE_NO_FACE = 0x7FFF;

struct CollisionTree {
  CollisionNode* nodes;
  uint16_t* face_list;
  uint32_t node_count;
  uint32_t second_count;
  uint32_t face_list_length;
};

struct LevelMesh {
  const char* name;
  int32_t kind;
  int32_t vertex_count;
  vector* positions;
  vector* normals;
  vector2* uvs;
  int16_t* values;
  int32_t face_count;
  LevelFace* faces;
  vector center;
  float radius;
  CollisionTree tree;
  int32_t* extra;
  int32_t extra_count;
  // The box around the positions, worked out at load (not from the file):
  // a query that misses it need not walk the tree.
  vector box_min;
  vector box_max;
};

struct LevelMeshInstance {
  const char* name;
  LevelMesh* mesh;
  uint32_t flags;
  InstanceFace* faces;
  float* lightmap_uvs;  // 6 floats a face (u a, u b, u c, v a, v b, v c) or null
  vector pos;
  matrix orient;
  vector bound_center;
  vector bound_min;
  vector bound_max;
  uint8_t* colors;      // r, g, b per vertex of the mesh
  int8_t sector[2];     // pathfinding sectors, -1 none
  int32_t mesh_index;
};

struct LevelPointList {
  int32_t count;
  int32_t value;
  uint8_t bytes[4];
  vector* points;
};

struct LevelNode {
  const char* name;
  matrix orient;
  vector pos;
};

struct LevelNamedPoints {
  const char* name;
  int32_t value;
  int32_t count;
  vector* points;
};

// Door sound settings that the game's level tables fill in; the level file
// carries none of them.
struct DoorSound {
  const char* name;     // sound name, null none
  uint8_t min_range;
  uint8_t volume;
  uint8_t rolloff;
};

constexpr uint32_t MOVABLE_MOVING = 0x1;
constexpr uint32_t MOVABLE_TOWARD_OPEN = 0x2;
constexpr uint32_t MOVABLE_WAITING = 0x4;
constexpr uint32_t MOVABLE_LOCKED = 0x8;  // door flag of the game's tables
constexpr int MOVABLE_DELAY_SHIFT = 4;

struct LevelMovableMesh {
  int32_t instance;
  int16_t named_points;  // -1 none; that list's name is the key name
  int16_t second_index;
  float travel_time;     // seconds
  vector closed_pos;
  quaternion closed_orient;
  vector open_pos;
  quaternion open_orient;
  GameTimestamp stamp;
  vector floor_point;
  uint32_t state;        // MOVABLE_* bits, close delay in ms from bit 4
  float runtime_f[2];
  int32_t runtime_i;
  uint8_t runtime_b[4];
  int32_t open_sound;    // sound index, -1 none
  int32_t close_sound;
  // Door data other parts of the game ask of a movable; the file has none.
  const char* name;      // the instance's name
  DoorSound open_sound_info;
  DoorSound close_sound_info;
  uint32_t door_flags;   // MOVABLE_LOCKED
  float lock_value;      // 0 unlocked
  int32_t key_item;      // -1 none
};

struct MovableKey {
  const char* name;
  int32_t index;
};

struct LevelLight {
  int32_t type;
  quaternion orient;
  vector pos;
  vector color;
  float intensity;
  float angle_a;
  float angle_b;
  float near_range;
  float far_range;
  int32_t flags;
  float value;
  int32_t texture;  // -1 none
};

struct VisGroup {
  const char* name;
  int32_t count;
  int32_t* members;
};

struct LevelSurfaceRecord {
  float a, b, c;
  int32_t value;
};

struct VertexAnimRecord {
  int32_t instance;
  float x_scale;
  float z_scale;
  float amplitude;
  float period;
  const char* texture_name;
  int32_t texture;  // bitmap handle, -1 none
  uint32_t count;
  float* weights;   // one a vertex of the instance's mesh, from the heap
};

struct LevelData {
  LevelData();  // an empty level
  LevelData(const LevelData&) = delete;
  LevelData& operator=(const LevelData&) = delete;

  uint32_t flags;
  int32_t version;
  StringPool strings;
  const char* file_name;
  S3dHeader header;

  int32_t mesh_count;
  LevelMesh* meshes;
  int32_t instance_count;
  LevelMeshInstance* instances;
  int32_t point_list_count;
  LevelPointList* point_lists;
  int32_t node_count;
  LevelNode* nodes;
  int32_t named_points_count;
  LevelNamedPoints* named_points;
  int32_t light_count;
  LevelLight* lights;
  int32_t vis_group_count;
  VisGroup* vis_groups;
  int32_t surface_count;
  LevelSurfaceRecord* surfaces;
  int32_t movable_count;
  LevelMovableMesh* movables;
  MovableKey* movable_keys;
  int32_t vertex_anim_count;
  VertexAnimRecord* vertex_anims;

  int32_t lightmap_count;
  int32_t texture_count;
  int32_t* lightmap_handles;
  int32_t* texture_handles;
  uint16_t** lightmap_pixels;  // kept for the renderer's cache and for writing
  int16_t* lightmap_sizes;     // width, height per lightmap
  int32_t texture_block_size;
  char* texture_block;

  VisGroup vis_base;           // "$vis_base": instances in no "$vis" group
  vector ambient;
};

// The loaded level.
extern LevelData Level;
// Whether lightmaps are read at load (console "load_lightmaps").
extern bool S3d_load_lightmaps;

// 0 on success, -1 on failure (the level is then empty).
int s3d_load(const char* file_name, LevelData* level, int string_pool_size = S3D_STRING_POOL_SIZE);
void s3d_unload(LevelData* level);
// Uploads every level texture to the renderer.
void s3d_preload_textures(LevelData* level);
// Writes the level in the load's section order; 0 on success. The header
// totals are taken from the level's arrays.
int s3d_write(const char* file_name, int path_type, LevelData* level);

// The unit normal of a face from its corners (zero for a degenerate face):
// what the loader stores and the builder must write.
vector s3d_face_normal(const vector* positions, const LevelFace& f);

// The flags word of an instance after the fix-ups its name calls for.
uint32_t s3d_name_flags(const char* instance_name, uint32_t flags, bool glide, bool ocean_level);
// The second fix-up pass of one palace level's carpets and tapestries.
bool s3d_level_name_fixup(const char* level_file_name, const char* instance_name);
