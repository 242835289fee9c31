#pragma once
// Character instances: one animated copy of a base character. An instance
// keeps a clock and a weight per animation slot of its base character,
// blends up to eight playing animations into bone transforms (cached per
// frame), turns root motion into movement, fires sound events and builds
// the skinning transforms the mesh drawer reads.
//
// Kind-1 animations are cycles locked to one shared phase; kind-0 ones are
// actions with their own clocks and optional rate slots. An instance is
// advanced once per frame by its owner with process().
//
// Every animation slot may be empty (removed from the base character); every
// query skips such a slot. Bones a skeleton has no track for are not driven
// by it, so a skeleton made for a different bone count poses safely.
#include <cstdint>

#include "quarn/ca/base_character.h"
#include "quarn/math/matrix.h"
#include "quarn/math/quaternion.h"
#include "quarn/math/vector.h"

constexpr int MAX_ANIM_RATE_SLOTS = 5;
constexpr int MAX_BLENDED_ANIMS = 8;
constexpr int CI_FRAME_STAMP_WRAP = 100;
constexpr float CI_TURN_NOT_STARTED = -999.9f;

// While set, every instance is posed at full detail.
extern bool High_lod;

struct AnimRateSlot {
  int32_t anim;  // -1 free
  float rate;
};

struct BoneCacheEntry {
  transform xf;
  int32_t stamp;
};

class character_instance {
 public:
  character_instance();
  explicit character_instance(BaseCharacter* base);
  ~character_instance();
  // Copies own their arrays (the front end poses a copy of an entity's).
  character_instance(const character_instance& o);
  character_instance& operator=(const character_instance& o);

  void reset_anim_frames(int clear);
  void reset_anim(int anim);
  void start_anim(int anim, float weight, int make_current, float rate);
  void set_anim_rate(int anim, float rate);
  void set_anim_weight(int anim, float weight);
  void clear_anim_weight(int anim);
  void stop_overlay_anims();
  void stop_base_anims();

  float get_anim_time_left(int anim) const;
  float get_anim_frame(int anim) const;
  float get_anim_length(int anim) const;
  float get_anim_speed(int anim) const;
  // Reads the shared phase out, or writes it when store is set.
  void exchange_anim_state(float* word, int store);
  // True once per pass of a named event of the dominant cycle.
  bool event_fired(const char* name);
  void set_root_offset(const vector& v) { root_offset = v; }
  void set_colour(uint8_t r, uint8_t g, uint8_t b) {
    colour[0] = r;
    colour[1] = g;
    colour[2] = b;
  }
  void set_tint(uint8_t r, uint8_t g, uint8_t b) { set_colour(r, g, b); }

  // The bone's transform in the instance's frame (a bone index at or above
  // the bone count addresses a bone tag).
  void get_bone_transform(transform* out, int bone);
  // The same as a position and an orientation, as the world code asks.
  void get_bone_transform(vector* out_pos, matrix* out_orient, int bone) {
    transform t;
    get_bone_transform(&t, bone);
    if (out_pos) *out_pos = t.pos;
    if (out_orient) *out_orient = t.orient;
  }
  void get_tag_transform(int bone, const matrix& object_orient, const vector& object_pos, matrix* out_orient,
                         vector* out_pos);
  void get_tag_local(int bone, matrix* out_orient, vector* out_pos);
  void get_bone_point(vector* out_point, int32_t* out_value, int bone);
  void get_bounds(vector* centre, float* radius) const;

  void process(float seconds, int skip_matrices, int level_of_detail);
  void increment_tick(int ticks);
  void setup_matrices();

  void blend_anim_motion();
  void get_motion_step(vector* out, float seconds);
  void get_anim_velocity(vector* out) const;
  // (0, 0, 0, heading turned by the last root-tracking action), handed out
  // once.
  quaternion get_turn();
  void memory_report() const;

  // The bones a pose covers: the current mesh's.
  int bone_count() const;

  AnimRateSlot rate_slots[MAX_ANIM_RATE_SLOTS];
  vector root_offset{0, 0, 0};
  BaseCharacter* base = nullptr;
  int32_t* ticks = nullptr;
  float* weights = nullptr;
  BoneCacheEntry* bone_cache = nullptr;
  transform* skin = nullptr;  // skinning transforms, one per bone
  int32_t frame_stamp = 0;
  int32_t current_action = -1;
  int32_t root_anim = -1;
  int32_t cycle_anim = -1;
  float phase = 0.0f;
  vector blended_motion{0, 0, 0};
  uint8_t root_started = 0;
  float pending_turn_start = 0.0f, pending_turn_end = 0.0f;
  vector previous_root{0, 0, 0}, current_root{0, 0, 0};
  vector root_direction{0, 0, 0};
  float turn_start = CI_TURN_NOT_STARTED, turn_current = CI_TURN_NOT_STARTED;
  uint8_t events_fired[MAX_SOUND_EVENTS] = {};
  int32_t dominant_cycle = -1;
  int32_t level_of_detail = 0;
  // Kept for the owning code; not read here.
  uint8_t alpha = 255;
  float owner_scale = 2.0f;
  int32_t owner_index = -1;
  float owner_fraction = 0.8f;
  uint8_t skip_matrices = 0;
  uint8_t colour[3] = {255, 255, 255};

 private:
  int cache_size_ = 0;
  // Where each bone's tracks found their keys last time, per blend-list
  // place and track (rotation, position); only a search hint. Grouped by
  // place, so that the usual one or two places share a few cache lines.
  int32_t* key_hints_ = nullptr;
  int32_t* key_hint(int bone, int place, int track) const {
    return key_hints_ + static_cast<size_t>(2 * place + track) * cache_size_ + bone;
  }
  void free_arrays();
  void copy_from(const character_instance& o);
  void ensure_arrays();
  void ensure_cache(int bones);
  skeleton* anim(int i) const;
  float fade(const skeleton* s, int bone, int clock) const;
  struct Playing {
    const skeleton* s;
    int anim;
    int tick;
    float weight;
    bool current;  // the current action
  };
  // What every bone's blend starts from in one pose: the active list (the
  // playing animations in slot order, at most eight) and the root animation.
  struct PosePlan {
    Playing playing[MAX_BLENDED_ANIMS];
    int count;
    const skeleton* root;
    bool root_playing;
    int root_tick;
  };
  struct BlendEntry {
    int entry;  // into the active list
    float w;
  };
  void plan_pose(PosePlan* plan) const;
  // The animations of the active list that drive a bone and their weights
  // (the sum is 1 when nothing drives it).
  int blend_list(int bone, int root_bone, const PosePlan& plan, BlendEntry* list, float* sum) const;
  void compute_local(int bone, transform* out);
  // Every bone not yet current, for the skinning.
  void pose_bones();
};
