#pragma once
// VIF particle emitters: simple physical particle systems of an effect
// definition. Each spawns particles from a sphere or a rectangle at a keyed
// interval, moves them with velocity, gravity and a keyed force, and draws
// them as fading sprites. Particles of level effects come from the level
// arena; all others share a static budget of 3,000 that is compacted when a
// new emitter does not fit.
//
// The rule a caller must know: particles link to each other by index inside
// their emitter's array, so compaction moves whole arrays without touching a
// link. Definitions are read once into a VifEmitterDef at creation; key
// counts above 12 are refused when the image is checked.
#include <cstdint>

#include "quarn/geom/effect_image.h"
#include "quarn/math/matrix.h"
#include "quarn/math/vector.h"

class character_instance;

#define MAX_VIF_EMITTERS 100
#define MAX_VIF_STATIC_PARTICLES 3000
constexpr int VIF_MAX_KEYS = 12;

// Definition flags (offset 106).
constexpr uint16_t VIF_ADDITIVE = 1u << 1;
constexpr uint16_t VIF_RECTANGLE = 1u << 2;
constexpr uint16_t VIF_GRAVITY = 1u << 3;
constexpr uint16_t VIF_ENABLED = 1u << 9;
constexpr uint16_t VIF_FORCE = 1u << 11;
constexpr uint16_t VIF_FORCE_RADIAL = 1u << 12;
constexpr uint16_t VIF_PATH = 1u << 13;

// Field offsets in the 540-byte record.
constexpr int VIF_NAME = 0;
constexpr int VIF_PARENT = 4;
constexpr int VIF_CENTRE = 8;
constexpr int VIF_ORIENT = 20;
constexpr int VIF_SIZE = 56;
constexpr int VIF_RADIUS = 60;
constexpr int VIF_HALF_HEIGHT = 64;
constexpr int VIF_SPEED = 68;
constexpr int VIF_SPEED_VAR = 72;
constexpr int VIF_LIFETIME = 76;
constexpr int VIF_LIFETIME_VAR = 80;
constexpr int VIF_RAMPS = 84;  // grow end, shrink start, fade-in end, fade-out start, peak opacity
constexpr int VIF_COUNT = 104;
constexpr int VIF_FLAGS = 106;
constexpr int VIF_BITMAP = 108;
constexpr int VIF_BITMAP_NAME = 112;
constexpr int VIF_FORCE_POINT = 120;
constexpr int VIF_FORCE_DIR = 132;
constexpr int VIF_FORCE_KEYS = 144;
constexpr int VIF_INTERVAL_KEYS = 244;
constexpr int VIF_PATH_KEYS = 344;
constexpr int VIF_KEYSET_COUNT = 96;   // byte within a key set
constexpr int VIF_PATH_TIMES = 144;    // within the path
constexpr int VIF_PATH_COUNT = 192;    // byte within the path

struct VifKeySet {
  float value[VIF_MAX_KEYS];
  float time[VIF_MAX_KEYS];
  int count;
};
struct VifPath {
  vector position[VIF_MAX_KEYS];
  float time[VIF_MAX_KEYS];
  int count;
};

struct VifEmitterDef {
  uint32_t offset = 0;
  const char* name = nullptr;
  const char* parent = nullptr;
  const char* bitmap_name = nullptr;
  vector centre{};
  matrix orient{};
  float size = 0, radius = 0, half_height = 0;
  float speed = 0, speed_variation = 0;
  float lifetime = 0, lifetime_variation = 0;
  float grow_end = 0, shrink_start = 1, fade_in_end = 0, fade_out_start = 1, peak_opacity = 1;
  int count = 0;
  uint16_t flags = 0;
  int bitmap = -1;
  vector force_point{}, force_direction{};
  VifKeySet force{}, interval{};
  VifPath path{};
};
// Reads the record at off. False when it lies outside the image or a key
// count exceeds 12.
bool vif_emitter_def_at(const EffectImage& img, uint32_t off, VifEmitterDef& out);
// Loads the named bitmap into the record's handle (a second try when the
// first fails).
void vif_emitter_def_reset(EffectImage& img, uint32_t off);

struct VifParticle {
  vector position;
  uint32_t flags;  // bit 0 alive
  vector velocity;
  int32_t next, prev;  // indices in the emitter's array; -1 = the list's head
  float random;
  float age;
  float lifetime;
};
static_assert(sizeof(VifParticle) == 48, "particles are 48 bytes");

constexpr uint16_t VIF_RUN_IN_USE = 1u << 0;
constexpr uint16_t VIF_RUN_SUSPENDED = 1u << 1;
constexpr uint16_t VIF_RUN_BOUND = 1u << 2;
constexpr uint16_t VIF_RUN_LEVEL = 1u << 5;

struct VifList {
  int32_t first = -1, last = -1;
};

struct vif_particle_emitter {
  vector position;
  matrix orient;
  vector tag_position;  // the transform used for tag binding
  matrix tag_orient;
  character_instance* bound;
  float time;
  float last_interval;
  uint16_t flags;
  uint16_t tag;
  int count;
  int live;
  float timer;
  int first_index;  // in the static budget; -1 for level emitters
  VifParticle* particles;
  VifList live_list, free_list;
  vif_particle_emitter* next;
  vif_particle_emitter* prev;
};

void vif_emitter_pool_reset();
vif_particle_emitter* vif_emitter_instantiate(const VifEmitterDef& def, bool level);
void vif_emitter_release(vif_particle_emitter* e, const VifEmitterDef& def);
void vif_emitter_update(vif_particle_emitter* e, const VifEmitterDef& def, bool spawn, const vector* parent_pos,
                        const matrix* parent_orient, float t, float dt);
void vif_emitter_draw(const vif_particle_emitter* e, const VifEmitterDef& def);
void vif_emitter_bounds(const VifEmitterDef& def, vector& centre, float& radius);
void vif_emitter_path_position(vector& out, const VifPath& path, float t);
float vif_emitter_key_value(const VifKeySet& keys, float t, bool reciprocal);
float vif_emitter_path_length(const VifPath& path);
float vif_size_factor(float p, float grow_end, float shrink_start);
float vif_opacity_factor(float p, float fade_in_end, float fade_out_start);

// The static budget: particles used in the current buffer, and compaction.
int vif_static_used();
void vif_static_compact();
// Bytes the level emitters hold in the level arena.
int vif_level_bytes();
int vif_emitter_free_count();

// Start-up and level-load clears.
void vif_particle_emitters_init();
void vif_particle_emitters_reset();
