#pragma once
// Game effects: pooled world objects (type 2) that play an effect file at a
// place, on an entity or toward a target, and may carry game logic: flights
// that hit on arrival, fades, petrification, growing rings that hit what
// they reach, timed hits. The running effect instances belong to the
// effect layer, reached through FxLayer; hits go to the spell code through
// FxHits. One update a frame (fx_frame) moves them all.
#include <cstdint>

#include "Engine/Objects/objects.h"
#include "quarn/math/matrix.h"
#include "quarn/math/vector.h"
#include "quarn/os/timer.h"

struct Item_info;
struct SpellOutcome;
class living_entity;

constexpr int MAX_GAME_EFFECTS = 48;
constexpr int MAX_FX_ATTACHMENTS = 20;
constexpr uint32_t ES_HAS_ATTACHMENT = 0x200000;

enum FxKind {
  FX_PLACED = 0, FX_ATTACHED = 1, FX_ATTACHED_BONE = 2, FX_CAMERA = 3, FX_HOMING = 4, FX_FADE_OUT = 5, FX_FADE_IN = 6,
  FX_BEAM = 7, FX_TIMED_AREA = 8, FX_STATUS_VISUAL = 9, FX_PETRIFY = 10, FX_RING = 11, FX_DELAYED_HIT = 12,
  FX_SPELL_HIT = 13, FX_TIMED_HIT = 14, FX_ROCK_ERUPTION = 15, FX_ITEM = 16
};
enum FxState : uint32_t {
  FXS_SPRITE = 1u << 3, FXS_HIT_DONE = 1u << 4, FXS_ARRIVED = 1u << 7, FXS_CAST = 1u << 8, FXS_RENEWABLE = 1u << 9
};
// Object flags of effects: hidden while a cutscene runs, and invisible.
constexpr uint32_t OF_FX_CUTSCENE_HIDDEN = 0x40;

constexpr float FX_RING_SPEED = 4.72f;
constexpr float FX_RING_END = 5.003f;
constexpr float FX_HOMING_SPEED = 12.0f;
constexpr float FX_SPRITE_SPEED = 20.0f;
constexpr int FX_STATUS_RENEW_MS = 10000;
constexpr int FX_BEAM_SOUND_MS = 20000;
constexpr int FX_ZONE_STATUS_MS = 100000;
constexpr int FX_WALL_ZONE_DELAY_MS = 3000;
constexpr int FX_MAX_ZONES = 14;
constexpr int FX_FALLOFF_TEXTURES = 16;
constexpr int FX_FALLOFF_SIZE = 64;
// The end visual of spell 55's plain sprite when it arrives, and its bitmap.
constexpr const char* FX_SPRITE_BITMAP = "spell-spark.tga";

class game_effect : public game_object {
 public:
  void deinit() override;

  game_effect* fx_next = nullptr;
  game_effect* fx_prev = nullptr;
  int32_t instance = -1;
  int32_t kind = FX_PLACED;
  int32_t spell = -1;
  int32_t move = -1;
  int32_t owner = -1;
  int32_t entity = -1;
  uint32_t bits = 0;
  const Item_info* source_item = nullptr;
  int32_t source = -1;  // the source kind its hit carries (-1: by the item)
  int32_t targets[6] = {-1, -1, -1, -1, -1, -1};
  int32_t target_count = 0;
  GameTimestamp timer;
  vector start{0, 0, 0}, aim{0, 0, 0};
  float radius = 0.0f;
  int32_t sound = -1;     // positional sound emitter
  int32_t avoid = -1;     // avoidance area handle
  int32_t texture = -1;   // plain sprite bitmap
  vector trail{0, 0, 0};  // a plain sprite's trail point
  GameTimestamp made;     // when it was made (zones, beams' sounds)
  bool visible = true;
  SpellOutcome* outcome = nullptr;
  char name[64] = {};
};

// The effect layer: instances of effect files.
struct FxLayer {
  // A running instance of a named effect file, -1 when there is none.
  int (*create)(const char* name, bool visible) = nullptr;
  // Runs an instance for dt at a place; true when nothing of it runs on.
  bool (*advance)(int instance, float dt, const vector& pos, const matrix& orient) = nullptr;
  void (*release)(int instance) = nullptr;
  float (*frame)(int instance) = nullptr;
  // How far an instance has played, 0..1.
  float (*progress)(int instance) = nullptr;
  bool (*random_spin)(const char* name) = nullptr;
  void (*show)(int instance, bool visible) = nullptr;
  // The world place of a named node of an instance; false when it has none.
  bool (*node)(int instance, const char* name, vector* pos, matrix* orient) = nullptr;
  // Stops an instance (its emitters play out) and the longest life of its
  // emitters and elements, in ms.
  void (*stop)(int instance) = nullptr;
  int (*longest_life_ms)(int instance) = nullptr;
  void (*show_node)(int instance, const char* name, bool visible) = nullptr;
  // Binds an instance's elements to an entity's skeleton: every element but
  // "Scene Root" to the bone of its own name, or all to `bone` when it is
  // not -1. False when the entity has no skeleton (or the bone is not one).
  bool (*bind)(int instance, int entity, int bone) = nullptr;
};
// What the effects deliver: a spell's hit on a target (the outcome when the
// game is networked, else the spell's own local hit).
struct FxHits {
  void (*hit)(int spell, living_entity* owner, living_entity* target, const vector* point, const Item_info* item,
              const SpellOutcome* outcome, int source) = nullptr;
  // A timed area's time is up: its entity's AI is told.
  void (*area_elapsed)(living_entity* e) = nullptr;
  // The rock eruption reached its moment.
  void (*rock_eruption)(living_entity* e) = nullptr;
  // A plain sprite arrived: its owner's combat update runs once.
  void (*sprite_arrived)(living_entity* owner) = nullptr;
  // Positional sound emitters: moved every frame, stopped with a fade.
  void (*sound_move)(int emitter, const vector& pos) = nullptr;
  void (*sound_stop)(int emitter, int fade_ms) = nullptr;
  // The camera's place, for effects shown in front of it.
  bool (*camera)(vector* pos, matrix* orient) = nullptr;
  // Avoidance areas: a rectangle of half extents along the orientation's
  // forward and side axes, and its removal.
  int (*avoid_add)(const vector& centre, const matrix& orient, float half_length, float half_width,
                   float weight) = nullptr;
  void (*avoid_remove)(int area) = nullptr;
  // Whether a point lies in an area.
  bool (*avoid_contains)(int area, const vector& p, const living_entity* e) = nullptr;
  // The level's persistent effect of a name, when it lists one.
  void (*world_effect)(int handle, const char* name) = nullptr;
  // A plain sprite's bitmap; -1 none.
  int (*sprite_bitmap)(const char* name) = nullptr;
};
void fx_set_layer(const FxLayer& layer);
void fx_set_hits(const FxHits& hits);
const FxHits& fx_hits();

void fx_init();
// Start-up: the pool and the 16 falloff textures.
void fx_startup();
void fx_reset();
game_effect* fx_create(const char* name, int kind, const vector& pos, const matrix& orient, bool visible);
int fx_add_effect(const char* name, const vector& pos, const matrix& orient, bool visible);
// An effect riding on an entity: its instance's elements bound to the
// entity's skeleton (each to the bone of its own name, or all to `bone`
// when it is not -1), run for its first frame. Kind 2 with follow_bone.
int fx_attach_to_entity(const char* name, int entity, int bone, int move, bool hidden, bool follow_bone);
int fx_add_homing_effect(const char* name, int spell, const vector& start, int owner, int target);
int fx_add_fade(living_entity* e, const char* name, bool fade_in);
int fx_add_petrify_effect(living_entity* e);
int fx_add_area_effect(const char* name, int spell, int owner, const vector& pos, const SpellOutcome* outcome);
// The spell's hit effect at the target, turned from owner to target; it
// ends when either is gone.
int fx_add_spell_hit_effect(int spell, int owner, int target);
int fx_add_timed_hit(const char* name, int spell, int owner, int target, int delay_ms, const vector& pos);
int fx_add_camera_effect(const char* name, bool hidden);
// A spell's missile flight from its misc effect; spell 55 flies a plain
// sprite instead.
int fx_add_spell_homing(int spell, const vector& start, int owner, int target);
// Status visuals: spell 11's hit effect on the entity as kind 9 or 10 (none
// over a petrification; earlier kind-9 visuals are killed).
int fx_add_status_effect(living_entity* e, int kind);
// The renewable kind-9 visual; an existing one is returned.
int fx_add_status_visual(living_entity* e);
// Spell 14's misc effect on the entity for spell 14's duration.
int fx_attach_timed_effect(living_entity* e);
int fx_add_timed_area_effect(const char* name, const vector& pos, const matrix& orient, int entity, int time_ms,
                             float size, float weight);
int fx_add_rock_eruption(living_entity* e);
// The kind-16 effect of an item that has one of its own: a weapon, or an
// armour item of slot value 5; -1 otherwise.
int fx_add_item_effect(living_entity* e, const Item_info* item);
int fx_add_world_effect(const char* name, int flags);
// False while it runs; its progress 0..1.
bool fx_get_progress(int handle, float* fraction);
bool fx_stop_by_owner(int owner);
void fx_remove_entity_effects(int entity);
void fx_remove_entity_status_effects(int entity);
bool fx_entity_has_kind(int entity, int kind);
void fx_hide_by_name(const char* name);
int fx_count_special_spell_effects();
void fx_cutscene_hide_others(bool (*in_cutscene_pool)(const char* name));
void fx_cutscene_show_others();
void fx_kill_spell_effects();
// The 16 falloff textures made at start-up (-1 before, or without bitmaps).
int fx_falloff_texture(int index);
game_effect* fx_get(int handle);
void fx_kill(int handle);
void fx_destroy(int handle);
bool fx_stop_entity_effects(int entity, bool destroy_now);
int fx_count();
void fx_frame(float dt, bool paused);
// The world place of a named node of an effect's instance.
bool fx_node(int handle, const char* name, vector* pos, matrix* orient);
// Shows or hides a named element of an effect's instance.
void fx_show_node(int handle, const char* name, bool visible);
