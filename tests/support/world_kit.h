#pragma once
// The headless world test kit: everything living entities and the game
// logic above them need, without files, a window or a sound device.
//
//   WorldKit kit;                       // tables loaded, hooks installed, seed 1
//   int grub = kit.type("Rat");         // a character type by name
//   living_entity* e = kit.spawn(grub, {0, 0, 0});
//   kit.run(1.0f);                      // one second of object frames at 30 Hz
//
// What it fakes, and how a test steers it:
// - Character models (FakeModel): every move of a type gets an animation
//   slot at creation; an animation lasts 1 s unless set_anim() says
//   otherwise, walks ("walk", "norm_walk") move at 1.5 units/s, runs at
//   4.0, others stand. Triggers of kinds left-foot/right-foot fire as events
//   when a playing animation passes their time. Bones "BDBN-Foot-L",
//   "BDBN-Foot-R", "BDBN-Head" (above) and "BDBN-Snout" (1.2 ahead, for
//   long creatures) exist at fixed places; tint, alpha, skin and layer
//   textures are recorded.
// - A flat level: floor at height 0 (mesh 0, layer 0, surface 0) with
//   optional ramps (add_ramp) and circular obstacles (add_obstacle) that
//   block lines of sight and moves; party start points; level index and
//   town flag.
//   use_graph loads a pathfinding graph built from a level description
//   (tools/writers/pfg_writer.h): path planning, the AI's line tests and
//   moves against walls then use it, as on a loaded level.
//   add_arena rings the origin with posts; spawn_horse adds a war horse
//   (type id 85) for riders.
// - Effects and sounds: every attach, placement and play is recorded with a
//   handle; effects stay alive until kill() or end_effect().
// - The AI: the built-in bookkeeping of ai_component.cpp plus a count of
//   each order (ai_calls).
// - A seeded random source (seed()) and a controllable game clock (advance,
//   run): timer_game_clock, frame_clock and FrameTimer move together.
//
// - Combat, death and loot: HUD lines, voices and hit sounds are recorded
//   (hud, voices, hit_sounds); `party` lists the in-party members the death
//   code shares experience among (the first is the selected hero when
//   `selected` is unset); named integers of the saved game live in
//   named_ints; party_active answers party_count_active.
//
// - Game effect instances (FakeFxInstance): each runs fx_length[name]
//   seconds (1 s unless set) at 30 frames a second; delivered spell hits are
//   recorded in fx_hits as "spell target-handle".
//
// Later game logic extends the kit rather than writing a second one: add a
// fake here, install it in the constructor, and document it above.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "Engine/Objects/entity_model.h"
#include "Engine/Objects/entity_world.h"
#include "Engine/Objects/living_entity.h"
#include "tools/writers/table_writers.h"

struct PfgLevel;

struct FakeAnim {
  std::string name;
  float length = 1.0f;
  float root_speed = 0.0f;
  struct Event {
    std::string name;
    float time;
  };
  std::vector<Event> events;
};

// The shared part of a type's fake model (one per type, like a base
// character).
struct FakeBase {
  std::string type_name;
  std::vector<FakeAnim> anims;
  int releases = 0;
};

class FakeModel : public EntityModel {
 public:
  explicit FakeModel(FakeBase* base);
  const void* shared() const override { return base_; }
  void release_shared() override { base_->releases++; }
  void get_bounds(vector* centre, float* radius) const override;
  void reset_anims() override;
  void start_anim(int anim, float weight, float rate, bool make_current) override;
  void set_anim_weight(int anim, float weight) override;
  float anim_weight(int anim) const override;
  float anim_length(int anim) const override;
  float anim_root_speed(int anim) const override;
  void set_time(float seconds) override;
  void process(float seconds) override;
  vector motion_step(float seconds) const override;
  float motion_speed() const override;
  bool event_fired(const char* name) override;
  int find_bone(const char* name) const override;
  vector bone_position(int bone) const override;
  int bone_count() const override;
  void set_tint(uint8_t r, uint8_t g, uint8_t b) override { tint[0] = r, tint[1] = g, tint[2] = b; }
  void reset_tint() override { tint[0] = tint[1] = tint[2] = 255; }
  uint8_t alpha() const override { return alpha_; }
  void set_alpha(uint8_t a) override { alpha_ = a; }
  void set_skin(int variant) override { skin_ = variant; }
  int skin() const override { return skin_; }
  void set_layer_texture(int layer, const char* file_name) override { layer_textures[layer] = file_name; }

  FakeBase* base_;
  std::vector<float> weights, times;
  int current = -1;
  float last_rate = 1.0f;  // the playing rate of the last animation started
  float processed = 0.0f;  // seconds of animation run in total
  std::vector<std::string> fired;
  uint8_t tint[3] = {255, 255, 255};
  uint8_t alpha_ = 255;
  int skin_ = 0;
  std::map<int, std::string> layer_textures;
};

struct FakeEffect {
  int handle;
  std::string name;
  int entity;  // handle, -1 placed in the world
  vector pos;
  bool alive = true;
};

struct FakeSound {
  int sound;
  vector pos;
  float rate = 1.0f;
  int channel;
};

struct FakeFxInstance {
  std::string name;
  float time = 0.0f;
  bool visible = true;
  bool released = false;
};

struct FakeRamp {
  float x0, z0, x1, z1;  // the area, rising along x from h0 to h1
  float h0, h1;
  int mesh;
};
struct FakeObstacle {
  float x, z, r;
};

class WorldKit {
 public:
  // Loads the demo spells, materials, items and experience, the four heroes
  // and the demo's complete creatures ("Rat", "Golem", ...), installs every
  // fake, seeds the random source with 1 and starts the clocks at 1000 ms.
  WorldKit();
  ~WorldKit();
  WorldKit(const WorldKit&) = delete;
  WorldKit& operator=(const WorldKit&) = delete;

  // A type by name (the test fails on an unknown one).
  int type(const char* name) const;
  // Adds a type from a table record; its index.
  int add_type(const CharacterRecord& record);
  // Sets an animation of a type by its move's name (action or file).
  void set_anim(int type, const char* name, float length, float root_speed);
  void add_event(int type, const char* name, const char* event, float time);

  living_entity* spawn(int type, const vector& pos, int object_type = OBJ_CREATURE, int level = 1,
                       bool no_placement = false);
  FakeModel* model(living_entity* e) const { return static_cast<FakeModel*>(e->instance); }
  FakeBase* base(int type);

  void seed(int s);
  // Moves the game clock, the frame clock and the frame time by dt seconds.
  void advance(float dt);
  // Runs object frames of dt (default 1/30 s) for a time: each advances the
  // clocks, then moves every live entity, plays footsteps and steps the dead.
  void run(float seconds, float dt = 1.0f / 30.0f);
  void frame(float dt = 1.0f / 30.0f);

  // The flat level.
  int add_ramp(float x0, float z0, float x1, float z1, float h0, float h1);
  void add_obstacle(float x, float z, float r) { obstacles.push_back({x, z, r}); }
  // A round arena of the given radius about the origin: a ring of posts
  // close enough that nothing walks out between them.
  void add_arena(float radius);
  // The pathfinding graph of the level (freed with the kit).
  void use_graph(const PfgLevel& level);
  // A war horse (character type id 85), the mount riders take.
  living_entity* spawn_horse(const vector& pos);
  void set_surface(int mesh, int surface) { surfaces[mesh] = surface; }
  void set_party_start(int slot, const vector& p, float heading, int layer = 0);
  float floor_at(float x, float z, int* mesh) const;

  void end_effect(int handle);
  int effects_named(const std::string& name) const;

  std::vector<FakeRamp> ramps;
  std::vector<FakeObstacle> obstacles;
  std::map<int, int> surfaces;
  struct Start {
    bool set = false;
    vector pos;
    float heading;
    int layer;
  } starts[4];
  int level_index = 1;
  bool town = false;
  std::vector<FakeEffect> effects;
  std::vector<FakeSound> sounds;
  std::map<std::string, int> ai_calls;
  std::map<int, FakeBase> bases;
  std::vector<std::string> output;  // console output lines
  std::vector<std::string> hud;
  std::vector<std::pair<int, int>> voices;  // entity handle, action
  int hit_sounds = 0;
  std::vector<living_entity*> party;
  living_entity* selected = nullptr;
  std::map<std::string, int> named_ints;
  int party_active = 0;
  int gold_added = 0;
  std::vector<FakeFxInstance> fx_instances;
  std::map<std::string, float> fx_length;
  std::vector<std::string> fx_hits;
  float fx_seconds(const std::string& name) const {
    auto it = fx_length.find(name);
    return it == fx_length.end() ? 1.0f : it->second;
  }

 private:
  double elapsed_ = 0.0;
  bool graph_loaded_ = false;
};

// A fixture owning a kit, for tests that need nothing more.
class WorldTest : public ::testing::Test {
 protected:
  WorldKit kit;
};
