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
enum FxState : uint32_t { FXS_SPRITE = 1u << 3, FXS_HIT_DONE = 1u << 4, FXS_ARRIVED = 1u << 7, FXS_CAST = 1u << 8 };

constexpr float FX_RING_SPEED = 4.72f;
constexpr float FX_RING_END = 5.003f;
constexpr float FX_HOMING_SPEED = 12.0f;

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
  int32_t targets[6] = {-1, -1, -1, -1, -1, -1};
  int32_t target_count = 0;
  GameTimestamp timer;
  vector start{0, 0, 0}, aim{0, 0, 0};
  float radius = 0.0f;
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
};
// What the effects deliver: a spell's hit on a target (the outcome when the
// game is networked, else the spell's own local hit).
struct FxHits {
  void (*hit)(int spell, living_entity* owner, living_entity* target, const vector* point, const Item_info* item,
              const SpellOutcome* outcome) = nullptr;
};
void fx_set_layer(const FxLayer& layer);
void fx_set_hits(const FxHits& hits);

void fx_init();
void fx_reset();
game_effect* fx_create(const char* name, int kind, const vector& pos, const matrix& orient, bool visible);
int fx_add_effect(const char* name, const vector& pos, const matrix& orient, bool visible);
int fx_attach_to_entity(const char* name, int entity, bool hidden, bool follow_bone);
int fx_add_homing_effect(const char* name, int spell, const vector& start, int owner, int target);
int fx_add_fade(living_entity* e, const char* name, bool fade_in);
int fx_add_petrify_effect(living_entity* e);
int fx_add_area_effect(const char* name, int spell, int owner, const vector& pos, const SpellOutcome* outcome);
// The spell's hit effect at the target, turned from owner to target; it
// ends when either is gone.
int fx_add_spell_hit_effect(int spell, int owner, int target);
int fx_add_timed_hit(const char* name, int spell, int owner, int target, int delay_ms, const vector& pos);
game_effect* fx_get(int handle);
void fx_kill(int handle);
void fx_destroy(int handle);
bool fx_stop_entity_effects(int entity, bool destroy_now);
int fx_count();
void fx_frame(float dt, bool paused);
