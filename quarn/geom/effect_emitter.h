#pragma once
// Effect emitters and node elements. An emitter moves along its own keyed
// path, spawns short-lived items at a keyed rate, moves them under gravity
// and the force fields (parameter sets) it links to, and draws them as
// streaks along their velocity. Node elements are keyed transforms that
// other elements hang from, optionally bound to a character tag.
//
// The rule a caller must know: emitters and items come from fixed pools;
// an emitter owns the items it was given at creation and recycles them, so
// nothing is allocated per frame. The emitter resolves its record once at
// start; the image must stay resident while the emitter lives.
#include <cstdint>

#include "quarn/geom/effect_image.h"
#include "quarn/geom/effect_keys.h"
#include "quarn/math/matrix.h"
#include "quarn/math/vector.h"

class character_instance;

#define MAX_EFFECT_EMITTER_RECORDS 128
#define MAX_EFFECT_ITEMS 6000
#define MAX_EFFECT_NODE_RECORDS 64

constexpr int EFFECT_FRAMES_PER_SECOND = 15;
constexpr int EFFECT_TICKS_PER_SECOND = 4800;
constexpr int EFFECT_EMITTER_LINKS = 3;
constexpr int EFFECT_EMITTER_SCALARS = 5;  // spread 1, spread 2, item size, shape A, shape B
constexpr int16_t EFFECT_ITEM_DEAD = -256;  // -1.0 in 8.8

// Emitter record flags (offset 40).
constexpr uint32_t EMITTER_SHAPE_MASK = 0x3;
constexpr int EMITTER_MATERIAL_SHIFT = 2;
constexpr uint32_t EMITTER_MATERIAL_MASK = 0x3FFF;
constexpr uint32_t EMITTER_WHITE = 1u << 16;
constexpr uint32_t EMITTER_GRAVITY = 1u << 17;
constexpr uint32_t EMITTER_FRAMES_BY_LIFE = 1u << 18;
constexpr uint32_t EMITTER_ORIENTED = 1u << 19;
constexpr uint32_t EMITTER_RANDOM_SPIN = 1u << 20;

// Field offsets in the 232-byte emitter record.
constexpr int EMITTER_NAME = 0;
constexpr int EMITTER_PARENT = 4;
constexpr int EMITTER_OWNER = 8;
constexpr int EMITTER_LINKS = 12;
constexpr int EMITTER_LINK_WORD = 24;
constexpr int EMITTER_ITEM_COUNT = 28;
constexpr int EMITTER_START_FRAME = 30;
constexpr int EMITTER_LIFETIME = 32;
constexpr int EMITTER_LIFETIME_VAR = 36;
constexpr int EMITTER_FLAGS = 40;
constexpr int EMITTER_GROW_END = 44;
constexpr int EMITTER_SHRINK_START = 45;
constexpr int EMITTER_FADE_IN_END = 46;
constexpr int EMITTER_FADE_OUT_START = 48;
constexpr int EMITTER_STRETCH = 50;
constexpr int EMITTER_RATE_CYCLE = 56;
constexpr int EMITTER_POSITION = 76;
constexpr int EMITTER_ROTATION = 112;
constexpr int EMITTER_SCALARS = 160;
constexpr int EMITTER_RATE = 220;

// Node records (100 bytes).
constexpr int NODE_KEYS = 12;  // bits 0-14 key count, bit 15 enabled
constexpr int NODE_POSITION = 16;
constexpr int NODE_ROTATION = 52;

// An emitter record, resolved.
struct EffectEmitterDef {
  uint32_t offset = 0;
  const char* name = nullptr;
  const char* parent = nullptr;
  bool enabled = false;
  int link_count = 0;
  uint32_t links[EFFECT_EMITTER_LINKS] = {};  // image offsets of parameter sets; 0 = none
  int item_count = 0;
  bool use_start_frame = false;
  int start_frame = 0;
  int32_t lifetime_ticks = 0;
  float lifetime_variation = 0.0f;
  uint32_t flags = 0;
  float grow_end = 0.0f, shrink_start = 1.0f;    // fractions of life
  float fade_in_end = 0.0f, fade_out_start = 1.0f;
  float stretch = 0.0f;
  int rate_cycle = 0;  // frames
  EffectVectorTrack position;
  EffectRotationTrack rotation;
  EffectKeyTrack scalar[EFFECT_EMITTER_SCALARS];
  EffectKeyTrack rate;

  int shape() const { return static_cast<int>(flags & EMITTER_SHAPE_MASK); }
  int material() const { return static_cast<int>((flags >> EMITTER_MATERIAL_SHIFT) & EMITTER_MATERIAL_MASK); }
};
// False when the record does not lie in the image.
bool effect_emitter_def_at(const EffectImage& img, uint32_t off, EffectEmitterDef& out);
// The longest an item of this emitter lives, in seconds:
// (1 + variation) x lifetime.
float effect_emitter_def_tail(const EffectEmitterDef& def);

struct EffectItem {
  int16_t age;       // 8.8 seconds; EFFECT_ITEM_DEAD = dead
  int16_t lifetime;  // 8.8 seconds
  int16_t spin;      // 4.12 radians
  vector velocity;
  vector position;
  EffectItem* next;
  EffectItem* prev;
};

constexpr uint32_t EMITTER_STOPPING = 1u << 0;
constexpr uint32_t EMITTER_BIND_STARTED = 1u << 31;
constexpr uint32_t EMITTER_BIND_TAG = 1u << 28;
constexpr uint32_t EMITTER_BIND_SUSPENDED = 1u << 29;
constexpr uint32_t EMITTER_TAG_MASK = 0x0FFFFFFF;

struct EffectEmitter {
  EffectParamRun* params[EFFECT_EMITTER_LINKS];
  EffectParamSetDef param_defs[EFFECT_EMITTER_LINKS];
  uint32_t state;    // bit 0 stopping; bits 24-31 base opacity
  uint32_t binding;  // bit 31 first step done, bit 28 bound to a tag, bit 29 suspended, bits 0-27 tag
  character_instance* bound;
  float age;
  vector parent_position;
  matrix parent_orient;
  vector prev_position, position;
  matrix prev_orient, orient;
  uint16_t param[EFFECT_EMITTER_SCALARS];  // 4.12
  int16_t live;
  int16_t item_total;
  EffectItem* items;  // first of the emitter's items
  float last_frame;
  float accumulator;
  EffectEmitter* next;
  EffectEmitter* prev;
  // Where the emitter lives and its resolved record.
  const EffectImage* image;
  uint32_t effect_def;
  EffectEmitterDef def;
  // Decoders for the two whole frames on either side of a step's frame.
  EffectVectorState position_keys[2];
  EffectRotationState rotation_keys[2];
  EffectKeyState scalar_keys[EFFECT_EMITTER_SCALARS][2];
  EffectKeyState rate_keys;

  int base_opacity() const { return static_cast<int>(state >> 24); }
};

// Pools.
void effect_emitter_pool_reset();
EffectEmitter* effect_emitter_alloc();  // null when all are in use
// Returns the emitter and its items to their pools.
void effect_emitter_free(EffectEmitter* e);
int effect_emitter_pool_free_count();
int effect_item_pool_free_count();
// Gives the emitter up to n dead items from the pool; the number given.
int effect_emitter_take_items(EffectEmitter* e, int n);

// Resolves the emitter record at `off` of the definition at `effect_def` and
// starts the emitter (which must come from the pool). False for a record
// outside the image.
bool effect_emitter_bind_def(EffectEmitter* e, const EffectImage* img, uint32_t effect_def, uint32_t off);
// The index of the parameter set that link k names, in the definition's
// parameter-set array; -1 for none.
int effect_emitter_link_index(const EffectEmitter* e, int k);
void effect_emitter_start(EffectEmitter* e);
// One step at (fractional) frame; the parent transform may be null.
// `wrapped` tells that the instance looped back since the last step, which
// also rewinds the emitter's decoders.
void effect_emitter_step(EffectEmitter* e, float frame, const vector* parent_pos, const matrix* parent_orient,
                         bool wrapped);
void effect_emitter_stop(EffectEmitter* e);
// Draws the live items as streak quads at the instance's frame.
void effect_emitter_draw(EffectEmitter* e, float frame);
// Bounding box of the live items; false when none lives.
bool effect_emitter_bounds(const EffectEmitter* e, vector& min, vector& max);

// Size and opacity ramps over an item's life fraction p.
float effect_item_size_factor(float p, float grow_end, float shrink_start);
float effect_item_opacity_factor(float p, float fade_in_end, float fade_out_start);

// What a material record gives an item: its bitmap, colour and opacity.
// Installed by the material code; without one items are white, opaque and
// untextured.
struct EffectItemLook {
  int bitmap = -1;
  float r = 1.0f, g = 1.0f, b = 1.0f;
  float opacity = 1.0f;
};
// Time is in effect frames, or a fraction of the item's life when
// normalised.
using effect_material_sample_fn = bool (*)(const EffectImage& img, uint32_t effect_def, int material, float time,
                                           bool normalised, EffectItemLook& out);
void effect_emitter_set_material_sampler(effect_material_sample_fn fn);

// Node elements.
struct EffectNode {
  character_instance* bound;
  uint32_t binding;  // bit 30 frozen, bit 29 bound to a tag, bits 0-28 tag
  vector position;
  matrix orient;
  EffectNode* next;
  EffectNode* prev;
  EffectVectorState position_keys[2];
  EffectRotationState rotation_keys[2];
};
constexpr uint32_t NODE_FROZEN = 1u << 30;
constexpr uint32_t NODE_BOUND = 1u << 29;
constexpr uint32_t NODE_TAG_MASK = 0x1FFFFFFF;

void effect_node_reset(EffectNode* n);
void effect_node_update(EffectNode* n, const EffectImage& img, uint32_t off, float frame);
