#pragma once
// Effect instances: playing copies of effect definitions. An instance is
// made by name, started, stepped once per frame (looping or stopping),
// asked for its elements by number or name, moved, shown, bound to
// character tags, drawn and released.
//
// The rule a caller must know: every record comes from a fixed pool; when a
// pool runs dry the instance simply has fewer elements, and the element
// numbers count only the records it has. An instance holds one reference to
// its effect base until effect_instance_release.
#include <cstdint>

#include "quarn/geom/anim_channel.h"
#include "quarn/geom/effect_emitter.h"
#include "quarn/geom/effect_image.h"
#include "quarn/geom/effect_keys.h"
#include "quarn/geom/mesh_effect.h"
#include "quarn/geom/vif_emitter.h"
#include "quarn/math/matrix.h"
#include "quarn/math/vector.h"

#define MAX_EFFECT_INSTANCES 48
#define MAX_EFFECT_MESH_RECORDS 384
#define MAX_EFFECT_CHANNEL_RECORDS 32
#define MAX_EFFECT_NODE_RUNS 64
#define MAX_EFFECT_PARAM_RECORDS 128
#define MAX_EFFECT_VIF_RECORDS 100

// Instance flags.
constexpr uint32_t EI_STOPPING = 1u << 0;
constexpr uint32_t EI_LOOPING = 1u << 1;
constexpr uint32_t EI_FINISHED = 1u << 2;
constexpr uint32_t EI_KEEP_DRAWING = 1u << 3;
constexpr uint32_t EI_WRAPPED = 1u << 4;
constexpr uint32_t EI_CHANNELS = 1u << 5;
constexpr uint32_t EI_IN_USE = 1u << 6;
constexpr int EI_DEF_FLAGS_SHIFT = 7;
constexpr int EI_NAME_SHIFT = 9;

// Mesh-element record flags.
constexpr uint32_t EMR_SHOWN = 1u << 31;
constexpr uint32_t EMR_WORLD = 1u << 28;
constexpr uint32_t EMR_BOUND = 1u << 30;
constexpr uint32_t EMR_VALUE_MASK = 0x0FFFFFFF;

struct EffectMeshRecord {
  MeshEffectElement def;
  MeshEffectState state;
  uint32_t flags = 0;
  uint32_t bound_value = 0;
  vector position{0, 0, 0};
  matrix orient{};
  EffectMeshRecord* next = nullptr;
  EffectMeshRecord* prev = nullptr;
};

constexpr uint32_t ECR_HIDDEN = 1u << 31;
constexpr uint32_t ECR_BOUND = 1u << 30;
constexpr uint32_t ECR_VALUE_MASK = 0x7FFFFF;

struct EffectChannelRecord {
  AnimChannelDef def;
  AnimChannelState state;
  uint32_t flags = 0;
  uint32_t bound_value = 0;
  vector position{0, 0, 0};
  matrix orient{};
  EffectChannelRecord* next = nullptr;
  EffectChannelRecord* prev = nullptr;
};

struct EffectNodeRun {
  EffectNode node{};
  uint32_t def = 0;  // record offset in the image
  EffectNodeRun* next = nullptr;
  EffectNodeRun* prev = nullptr;
};

struct EffectParamRecord {
  EffectParamRun run;
  EffectParamSetDef def;
  EffectParamRecord* next = nullptr;
  EffectParamRecord* prev = nullptr;
};

struct EffectVifRecord {
  vif_particle_emitter* emitter = nullptr;
  VifEmitterDef def;
  EffectVifRecord* next = nullptr;
  EffectVifRecord* prev = nullptr;
};

struct EffectInstance {
  uint32_t flags = 0;
  int32_t value = 0;
  int pool_class = 0;
  float time = 0.0f;
  float frame = 0.0f;
  float tail = 0.0f;
  EffectMeshRecord* meshes = nullptr;
  EffectChannelRecord* channels = nullptr;
  EffectEmitter* emitters = nullptr;
  EffectVifRecord* vifs = nullptr;
  EffectNodeRun* nodes = nullptr;
  EffectParamRecord* params = nullptr;
  vector position{0, 0, 0};
  matrix orient = identity_matrix;  // as its motion path placed it
  uint32_t copied = 0;
  // The definition it plays.
  EffectImage image;
  uint32_t def = 0;
  int base = -1;
  int length = 0;  // effect frames
  EffectInstance* next = nullptr;
  EffectInstance* prev = nullptr;

  int name_index() const { return static_cast<int>(flags >> EI_NAME_SHIFT); }
};

// Start-up and every level reset: all pools full, no camera holder.
void effect_instances_reset();
int effect_instance_free_count();
int effect_mesh_record_free_count();
int effect_channel_record_free_count();

EffectInstance* effect_create_by_name(const char* name, int flags);
// The same from a definition already at hand (tools, tests).
EffectInstance* effect_create_from_def(const EffectImage& img, uint32_t def, int base, int name_index, int flags,
                                       bool world);
void effect_instance_start(EffectInstance* inst, bool loop, bool keep_drawing);
bool effect_instance_update(EffectInstance* inst, float seconds, const transform* parent, int flags);
void effect_instance_stop(EffectInstance* inst);
bool effect_instance_is_stopping(const EffectInstance* inst);
float effect_instance_time_left(const EffectInstance* inst);
int effect_instance_element_count(const EffectImage& img, uint32_t def);
// The numbering of this instance's own records.
int effect_instance_elements(const EffectInstance* inst);
int effect_instance_find_element(const EffectInstance* inst, const char* name);
const char* effect_instance_element_name(const EffectInstance* inst, int number);
const char* effect_instance_element_parent(const EffectInstance* inst, int number);
bool effect_instance_element_visible(const EffectInstance* inst, int number);
void effect_instance_get_element_transform(const EffectInstance* inst, int number, vector* pos, matrix* orient);
void effect_instance_set_element_transform(EffectInstance* inst, int number, const vector& pos,
                                           const matrix& orient);
void effect_instance_show_element(EffectInstance* inst, int number, bool show);
void effect_instance_bind_element(EffectInstance* inst, int number, void* value, uint32_t bits);
// Draws one numbered element (mesh elements and emitters; other kinds draw
// nothing by themselves).
void effect_instance_render(EffectInstance* inst, int number, int flags);
// Every drawable element of the instance.
void effect_instance_render_all(EffectInstance* inst, int flags);
void effect_instance_release(EffectInstance* inst);

// Element kinds of the numbering.
enum EffectElementKind : int {
  EEK_NONE = -1,
  EEK_MESH,
  EEK_ITEM,
  EEK_VIF,
  EEK_CHANNEL,
  EEK_NODE,
  EEK_EMITTER
};
struct EffectElementRef {
  int kind = EEK_NONE;
  int index = 0;  // within its kind (items: the emitter's index)
  int item = 0;
};
EffectElementRef effect_instance_element(const EffectInstance* inst, int number);

// The camera an instance drives (zero and identity when none does).
void effect_camera_get(vector* pos, matrix* orient);
const EffectInstance* effect_camera_holder();

// Passes a value (-1 at creation and after a cutscene release) to the
// definition's elements: mesh elements, material tracks and VIF emitters
// reload their bitmaps.
void effect_definition_reset(EffectImage& img, uint32_t def, int value);

// What effects publish for the level renderer: three levels (0..255), a
// colour word and a 1-bit and a 3-bit setting.
struct EffectEnvironment {
  uint8_t level[3] = {0, 0, 0};
  int32_t colour = -1;
  uint8_t flag = 0;
  uint8_t mode = 0;
};
extern EffectEnvironment Effect_environment;
// Colour -1, everything else 0.
void effect_environment_clear();
// Publishes the material track the instance's definition selects, at the
// instance's frame: its three curves x 255, its colour (0xRRGGBB), its
// additive bit and its mode; out_value gets the track's value for the level
// renderer. False, with nothing published, when there is no selector or the
// track it names does not exist.
bool effect_environment_apply(float* out_value, const EffectInstance* inst);
