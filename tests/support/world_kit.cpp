#include "tests/support/world_kit.h"

#include <strings.h>

#include <cmath>
#include <cstring>

#include "Engine/Objects/combat.h"
#include "Engine/Objects/entity_death.h"
#include "Engine/Objects/game_effects.h"
#include "Engine/Objects/inventory.h"
#include "Engine/ai/path_geometry.h"
#include "Engine/ai/path_graph.h"
#include "Engine/ai/path_search.h"
#include "Engine/characterinfo/experience.h"
#include "Engine/gameflags.h"
#include "quarn/math/floatops.h"
#include "quarn/os/console.h"
#include "quarn/os/os.h"
#include "quarn/os/timer.h"
#include "tests/support/game_tables.h"
#include "tools/writers/pfg_writer.h"
#include "quarn/vfile/readstream.h"

namespace {

WorldKit* Kit = nullptr;

struct FakeBone {
  const char* name;
  vector pos;
};
const FakeBone Bones[] = {{"BDBN-Foot-L", {-0.1f, 0.0f, 0.0f}}, {"BDBN-Foot-R", {0.1f, 0.0f, 0.0f}},
                          {"BDBN-Head", {0.0f, 1.7f, 0.0f}}, {"BDBN-Snout", {0.0f, 0.5f, 1.2f}}};

std::string stem(const char* file) {
  std::string s = file ? file : "";
  for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  const size_t dot = s.rfind(".mvf");
  if (dot != std::string::npos) s.erase(dot);
  return s;
}

float default_root_speed(const std::string& name) {
  for (const char* w : {"walk", "norm_walk", "walk_hurt", "norm_walk_hurt"}) {
    if (name == w) return 1.5f;
  }
  for (const char* r : {"run", "norm_run", "run_hurt", "norm_run_hurt"}) {
    if (name == r) return 4.0f;
  }
  return 0.0f;
}

// Gives every move of a type an animation slot, as loading its
// animations would.
FakeBase* base_for(Character_info* ci) {
  const int index = static_cast<int>(ci - Character_infos);
  auto it = Kit->bases.find(index);
  if (it != Kit->bases.end()) return &it->second;
  FakeBase& b = Kit->bases[index];
  b.type_name = ci->name ? ci->name : "";
  for (int list = 0; list < NUM_MOVE_LISTS; list++) {
    for (Move_info* m = ci->moves[list]; m; m = m->next) {
      m->anim_slot = static_cast<int>(b.anims.size());
      FakeAnim a;
      a.name = stem(m->animation);
      a.root_speed = default_root_speed(a.name);
      for (const MoveTrigger& t : m->triggers) {
        if (t.type == TRIGGER_LEFT_FOOT) a.events.push_back({"left-foot", t.time});
        if (t.type == TRIGGER_RIGHT_FOOT) a.events.push_back({"right-foot", t.time});
      }
      b.anims.push_back(a);
    }
  }
  ci->current_class_mask = 0xFFFFFFFFu;
  return &b;
}

EntityModel* make_model(Character_info* ci, bool) { return new FakeModel(base_for(ci)); }

bool segment_circle(const vector& a, const vector& b, const FakeObstacle& o, float pad, float* t_out) {
  const float dx = b.x - a.x, dz = b.z - a.z;
  const float fx = a.x - o.x, fz = a.z - o.z;
  const float r = o.r + pad;
  const float A = dx * dx + dz * dz, B = 2 * (fx * dx + fz * dz), C = fx * fx + fz * fz - r * r;
  if (C <= 0.0f) {
    *t_out = 0.0f;
    return true;
  }
  if (A <= 0.0f) return false;
  const float disc = B * B - 4 * A * C;
  if (disc < 0.0f) return false;
  const float t = (-B - std::sqrt(disc)) / (2 * A);
  if (t < 0.0f || t > 1.0f) return false;
  *t_out = t;
  return true;
}

void install_hooks() {
  EntityWorldHooks w;
  w.floor_ray = [](const vector& top, float length, int candidates, int, int mesh, int, FloorHit* hit) {
    int at_mesh = 0;
    const float h = Kit->floor_at(top.x, top.z, &at_mesh);
    if (candidates == FLOOR_CURRENT_POLY && mesh != at_mesh) return false;
    if (top.y < h || top.y - length > h) return false;
    hit->height = h;
    hit->mesh = at_mesh;
    hit->poly = 0;
    hit->normal = vector(0, 1, 0);
    for (const FakeRamp& r : Kit->ramps) {
      if (r.mesh != at_mesh) continue;
      const float slope = (r.h1 - r.h0) / (r.x1 - r.x0);
      const float n = 1.0f / std::sqrt(1.0f + slope * slope);
      hit->normal = vector(-slope * n, n, 0);
    }
    return true;
  };
  w.mesh_layer = [](int mesh) { return mesh < 0 ? -1 : 0; };
  w.mesh_name = [](int) { return "flat"; };
  w.obstacle_query = [](const vector& a, const vector& b, float radius, uint32_t, int) {
    int n = 0;
    float t;
    for (const FakeObstacle& o : Kit->obstacles) n += segment_circle(a, b, o, radius, &t);
    return n;
  };
  w.push_out_of_obstacles = [](vector* p, int, int) {
    for (const FakeObstacle& o : Kit->obstacles) {
      const float dx = p->x - o.x, dz = p->z - o.z, d = std::sqrt(dx * dx + dz * dz);
      if (d >= o.r) continue;
      const float nx = d > 0 ? dx / d : 1.0f, nz = d > 0 ? dz / d : 0.0f;
      p->x = o.x + nx * (o.r + 0.035f);
      p->z = o.z + nz * (o.r + 0.035f);
    }
  };
  w.obstacle_crossing = [](const vector& a, const vector& b, int size, int, vector* crossing, vector* slide) {
    if (Path_graph.loaded) {
      const int cls = size < 0 ? 0 : size >= PFG_SIZE_CLASSES ? PFG_SIZE_CLASSES - 1 : size;
      const int sector = path_sector_at(cls, a.x, a.z);
      vector out;
      if (sector >= 0 && path_slide_move(a, b, &out, cls, sector)) {
        *crossing = *slide = out;
        return true;
      }
    }
    for (const FakeObstacle& o : Kit->obstacles) {
      float t;
      if (!segment_circle(a, b, o, 0.0f, &t)) continue;
      *crossing = vector(a.x + (b.x - a.x) * t, a.y, a.z + (b.z - a.z) * t);
      const float nx0 = crossing->x - o.x, nz0 = crossing->z - o.z, d = std::sqrt(nx0 * nx0 + nz0 * nz0);
      const float nx = d > 0 ? nx0 / d : 1.0f, nz = d > 0 ? nz0 / d : 0.0f;
      const float rx = (b.x - a.x) * (1 - t), rz = (b.z - a.z) * (1 - t);
      const float into = rx * nx + rz * nz;
      *slide = vector(crossing->x + rx - nx * into, a.y, crossing->z + rz - nz * into);
      return true;
    }
    return false;
  };
  w.point_walkable = [](const vector& p, int) {
    for (const FakeObstacle& o : Kit->obstacles) {
      if ((p.x - o.x) * (p.x - o.x) + (p.z - o.z) * (p.z - o.z) < o.r * o.r) return false;
    }
    return true;
  };
  w.surface_of = [](int mesh, int) {
    auto it = Kit->surfaces.find(mesh);
    return it == Kit->surfaces.end() ? 0 : it->second;
  };
  w.light_at = [](const vector&, int* r, int* g, int* b) { *r = *g = *b = 255; };
  w.party_start = [](int slot, vector* p, float* heading, int* layer) {
    const WorldKit::Start& s = Kit->starts[slot];
    if (!s.set) return false;
    *p = s.pos;
    *heading = s.heading;
    *layer = s.layer;
    return true;
  };
  w.level_index = [] { return Kit->level_index; };
  w.is_town_level = [] { return Kit->town; };
  entity_set_world_hooks(w);

  EntityEffectHooks fx;
  auto add = [](const char* name, int entity, const vector& p) {
    const int h = static_cast<int>(Kit->effects.size()) + 100;
    Kit->effects.push_back({h, name ? name : "", entity, p, true});
    return h;
  };
  static decltype(add) Add = add;
  fx.attach = [](living_entity* e, const char* name, int) { return Add(name, e->handle, e->pos); };
  fx.place = [](const char* name, const vector& p) { return Add(name, -1, p); };
  fx.alive = [](int h) {
    for (const FakeEffect& f : Kit->effects) {
      if (f.handle == h) return f.alive;
    }
    return false;
  };
  fx.kill = [](int h) { Kit->end_effect(h); };
  fx.remove_status_visuals = [](living_entity* e) {
    Kit->ai_calls["remove_status_visuals"]++;
    for (FakeEffect& f : Kit->effects) {
      if (f.entity == e->handle && f.name.rfind("status", 0) == 0) f.alive = false;
    }
  };
  fx.attach_timed = [](living_entity* e) { return Add("timed", e->handle, e->pos); };
  fx.attach_status = [](living_entity* e, int kind) {
    return Add(("status kind " + std::to_string(kind)).c_str(), e->handle, e->pos);
  };
  fx.has_status_kind = [](const living_entity* e, int kind) {
    const std::string n = "status kind " + std::to_string(kind);
    for (const FakeEffect& f : Kit->effects) {
      if (f.entity == e->handle && f.alive && f.name == n) return true;
    }
    return false;
  };
  entity_set_effect_hooks(fx);

  EntitySoundHooks snd;
  snd.play_3d = [](int sound, const vector& p) {
    const int ch = static_cast<int>(Kit->sounds.size());
    Kit->sounds.push_back({sound, p, 1.0f, ch});
    return ch;
  };
  snd.set_rate = [](int ch, float f) {
    if (ch >= 0 && ch < static_cast<int>(Kit->sounds.size())) Kit->sounds[ch].rate = f;
  };
  snd.fade_out = [](int, int) { Kit->ai_calls["sound_fade"]++; };
  snd.playing = [](int) { return true; };
  entity_set_sound_hooks(snd);

  CombatHooks c;
  c.hud_message = [](const char* t) { Kit->hud.push_back(t); };
  c.voice = [](living_entity* e, int action) { Kit->voices.push_back({e->handle, action}); };
  c.hit_sound = [](int, int, const vector&) { Kit->hit_sounds++; };
  c.party_count_active = [] { return Kit->party_active; };
  c.party_add_gold = [](int g) { Kit->gold_added += g; };
  combat_set_hooks(c);
  DeathHooks d;
  d.party_members = [](living_entity** out, int max) {
    int n = 0;
    for (living_entity* e : Kit->party) {
      if (n < max) out[n++] = e;
    }
    return n;
  };
  d.named_int_get = [](const char* name) { return Kit->named_ints[name]; };
  d.named_int_set = [](const char* name, int v) { Kit->named_ints[name] = v; };
  d.hud_message = [](const char* t) { Kit->hud.push_back(t); };
  d.voice = [](living_entity* e, int action) { Kit->voices.push_back({e->handle, action}); };
  death_set_hooks(d);
  FxLayer fl;
  fl.create = [](const char* name, bool visible) {
    Kit->fx_instances.push_back({name, 0.0f, visible, false});
    return static_cast<int>(Kit->fx_instances.size()) - 1;
  };
  fl.advance = [](int i, float dt, const vector&, const matrix&) {
    FakeFxInstance& f = Kit->fx_instances[i];
    f.time += dt;
    return f.time >= Kit->fx_seconds(f.name);
  };
  fl.release = [](int i) { Kit->fx_instances[i].released = true; };
  fl.frame = [](int i) { return Kit->fx_instances[i].time * 30.0f; };
  fl.progress = [](int i) {
    const FakeFxInstance& f = Kit->fx_instances[i];
    const float p = f.time / Kit->fx_seconds(f.name);
    return p > 1.0f ? 1.0f : p;
  };
  fx_set_layer(fl);
  FxHits fh;
  fh.hit = [](int spell, living_entity*, living_entity* t, const vector*, const Item_info*, const SpellOutcome*,
              int) {
    Kit->fx_hits.push_back(std::to_string(spell) + " " + std::to_string(t->handle));
  };
  fx_set_hits(fh);
  fx_init();

  EntityGameHooks g;
  g.selected = [] { return Kit->selected ? Kit->selected : Kit->party.empty() ? nullptr : Kit->party.front(); };
  g.set_weapon_class = [](Character_info*, int c) { Kit->ai_calls["weapon_class " + std::to_string(c)]++; };
  entity_set_game_hooks(g);
  entity_set_net_hooks(EntityNetHooks{});

  AiHooks ai;
  ai.reset_to_idle = [](ai_component* a) {
    Kit->ai_calls["reset_to_idle"]++;
    a->state = AI_STATE_IDLE;
    a->sub_state = 0;
  };
  ai.reset_to_inactive = [](ai_component* a) {
    Kit->ai_calls["reset_to_inactive"]++;
    a->state = AI_STATE_INACTIVE;
    a->sub_state = 0;
  };
  ai.turn_toward = [](ai_component*, const vector&, int) { Kit->ai_calls["turn_toward"]++; };
  ai_set_hooks(ai);
  entity_model_set_maker(make_model);
  console_set_output_hook([](const char* text) { Kit->output.push_back(text); });
}

}  // namespace

// ---- the fake model ------------------------------------------------------------

FakeModel::FakeModel(FakeBase* base) : base_(base) {
  weights.assign(base->anims.size(), 0.0f);
  times.assign(base->anims.size(), 0.0f);
}

void FakeModel::get_bounds(vector* centre, float* radius) const {
  *centre = vector(0.0f, 0.9f, 0.0f);
  *radius = 1.0f;
}

void FakeModel::reset_anims() {
  std::fill(weights.begin(), weights.end(), 0.0f);
  std::fill(times.begin(), times.end(), 0.0f);
  current = -1;
}

void FakeModel::start_anim(int anim, float weight, float rate, bool make_current) {
  if (anim < 0 || anim >= static_cast<int>(weights.size())) return;
  last_rate = rate;
  times[anim] = 0.0f;
  weights[anim] = weight;
  if (make_current) current = anim;
}

void FakeModel::set_anim_weight(int anim, float weight) {
  if (anim >= 0 && anim < static_cast<int>(weights.size())) weights[anim] = weight;
}
float FakeModel::anim_weight(int anim) const {
  return anim >= 0 && anim < static_cast<int>(weights.size()) ? weights[anim] : 0.0f;
}
float FakeModel::anim_length(int anim) const {
  return anim >= 0 && anim < static_cast<int>(base_->anims.size()) ? base_->anims[anim].length : 0.0f;
}
float FakeModel::anim_root_speed(int anim) const {
  return anim >= 0 && anim < static_cast<int>(base_->anims.size()) ? base_->anims[anim].root_speed : 0.0f;
}
void FakeModel::set_time(float seconds) {
  for (size_t i = 0; i < times.size(); i++) {
    const float len = base_->anims[i].length;
    times[i] = len > 0.0f ? std::fmod(seconds, len) : 0.0f;
  }
}

void FakeModel::process(float seconds) {
  processed += seconds;
  for (size_t i = 0; i < times.size(); i++) {
    if (weights[i] <= 0.0f && static_cast<int>(i) != current) continue;
    const FakeAnim& a = base_->anims[i];
    const float from = times[i];
    float to = from + seconds;
    for (const FakeAnim::Event& ev : a.events) {
      const bool passed = (ev.time > from && ev.time <= to) || (a.length > 0 && to > a.length && ev.time <= to - a.length);
      if (passed && weights[i] > 0.0f) fired.push_back(ev.name);
    }
    if (a.length > 0.0f && to > a.length) to = static_cast<int>(i) == current ? a.length : std::fmod(to, a.length);
    times[i] = to;
  }
}

vector FakeModel::motion_step(float seconds) const { return vector(0.0f, 0.0f, motion_speed() * seconds); }

float FakeModel::motion_speed() const {
  float s = 0.0f;
  for (size_t i = 0; i < weights.size(); i++) s += weights[i] * base_->anims[i].root_speed;
  return s;
}

bool FakeModel::event_fired(const char* name) {
  for (auto it = fired.begin(); it != fired.end(); ++it) {
    if (*it == name) {
      fired.erase(it);
      return true;
    }
  }
  return false;
}

int FakeModel::find_bone(const char* name) const {
  for (int i = 0; i < static_cast<int>(std::size(Bones)); i++) {
    if (strcasecmp(Bones[i].name, name) == 0) return i;
  }
  return -1;
}

int FakeModel::bone_count() const { return static_cast<int>(std::size(Bones)); }

vector FakeModel::bone_position(int bone) const {
  return bone >= 0 && bone < static_cast<int>(std::size(Bones)) ? Bones[bone].pos : vector(0, 0, 0);
}

// ---- the kit --------------------------------------------------------------------

WorldKit::WorldKit() {
  Kit = this;
  objects_init();
  living_entities_reset();
  GameFlags = GF_SINGLE_PLAYER;
  load_demo_spells_and_items();
  static const std::string xp = table_experience_text(table_demo_experience());
  experience_load_text("experience.tbl", xp.data(), static_cast<int>(xp.size()));
  charinfo_reset();
  for (int kind = 0; kind < 4; kind++) add_type(table_demo_hero(kind));
  for (const char* name : {"Rat", "Golem"}) add_type(table_demo_creature(name, true));
  install_hooks();
  party_inventory_init();
  seed(1);
  timer_game_clock = 1000;
  frame_clock = 0.0;
  FrameTimer = 1.0f / 30.0f;
}

WorldKit::~WorldKit() {
  if (graph_loaded_) path_graph_free();
  living_entities_reset();
  party_inventory_clear();
  entity_set_world_hooks(EntityWorldHooks{});
  entity_set_effect_hooks(EntityEffectHooks{});
  entity_set_sound_hooks(EntitySoundHooks{});
  entity_set_game_hooks(EntityGameHooks{});
  entity_set_net_hooks(EntityNetHooks{});
  ai_set_hooks(AiHooks{});
  combat_set_hooks(CombatHooks{});
  fx_reset();
  fx_set_layer(FxLayer{});
  fx_set_hits(FxHits{});
  death_set_hooks(DeathHooks{});
  entity_model_set_maker(nullptr);
  console_set_output_hook(nullptr);
  GameFlags = 0;
  Kit = nullptr;
}

int WorldKit::type(const char* name) const {
  const int i = charinfo_lookup(name);
  EXPECT_GE(i, 0) << "no character type " << name;
  return i;
}

void WorldKit::add_arena(float radius) {
  constexpr float kPost = 0.5f;
  const int posts = static_cast<int>(std::ceil(2.0f * 3.14159265f * (radius + kPost) / kPost));
  for (int i = 0; i < posts; i++) {
    const float a = 2.0f * 3.14159265f * static_cast<float>(i) / static_cast<float>(posts);
    add_obstacle((radius + kPost) * std::cos(a), (radius + kPost) * std::sin(a), kPost);
  }
}

living_entity* WorldKit::spawn_horse(const vector& pos) {
  int t = -1;
  for (int i = 0; i < MAX_CHARACTER_INFO; i++)
    if (Character_infos[i].kind == 85 && Character_infos[i].name) t = i;
  if (t < 0) {
    CharacterRecord horse = table_demo_creature("WarHorse1", true);
    horse.size = "large";
    horse.team = "neutral";
    t = add_type(horse);
  }
  return t < 0 ? nullptr : spawn(t, pos);
}

int WorldKit::add_type(const CharacterRecord& record) {
  const std::string text = table_character_text(record);
  Character_info* ci = charinfo_load_table_text("kit.tbl", text.data(), static_cast<int>(text.size()));
  return ci ? static_cast<int>(ci - Character_infos) : -1;
}

FakeBase* WorldKit::base(int t) { return base_for(&Character_infos[t]); }

void WorldKit::set_anim(int t, const char* name, float length, float root_speed) {
  const int slot = charinfo_find_move_by_name(&Character_infos[t], name);
  FakeBase* b = base(t);
  const int s = slot >= 0 ? slot : charinfo_find_move_by_name(&Character_infos[t], name);
  ASSERT_GE(s, 0) << "no move " << name;
  b->anims[s].length = length;
  b->anims[s].root_speed = root_speed;
}

void WorldKit::add_event(int t, const char* name, const char* event, float time) {
  FakeBase* b = base(t);
  const int s = charinfo_find_move_by_name(&Character_infos[t], name);
  ASSERT_GE(s, 0) << "no move " << name;
  b->anims[s].events.push_back({event, time});
}

living_entity* WorldKit::spawn(int t, const vector& pos, int object_type, int level, bool no_placement) {
  base(t);
  matrix m(vector(1, 0, 0), vector(0, 1, 0), vector(0, 0, 1));
  return living_entity_create(object_type, t, pos, m, 0, level, no_placement);
}

void WorldKit::seed(int s) { os_random_seed(s); }

void WorldKit::advance(float dt) {
  // The game clock follows the summed time, so 1/30 s frames do not drift.
  const int64_t before = std::llround(elapsed_ * 1000.0);
  elapsed_ += dt;
  const int64_t after = std::llround(elapsed_ * 1000.0);
  timer_game_clock = timestamp_set(timer_game_clock, static_cast<int32_t>(after - before));
  frame_clock += dt;
  FrameTimer = dt;
}

void WorldKit::frame(float dt) {
  advance(dt);
  objects_delete_pending();
  entities_live_frame(dt);
  entities_footsteps_frame(dt);
  entities_dead_frame(dt);
  speech_texts_frame(dt);
}

void WorldKit::run(float seconds, float dt) {
  const int frames = static_cast<int>(std::lround(seconds / dt));
  for (int i = 0; i < frames; i++) frame(dt);
}

int WorldKit::add_ramp(float x0, float z0, float x1, float z1, float h0, float h1) {
  const int mesh = static_cast<int>(ramps.size()) + 1;
  ramps.push_back({x0, z0, x1, z1, h0, h1, mesh});
  return mesh;
}

void WorldKit::set_party_start(int slot, const vector& p, float heading, int layer) {
  starts[slot] = Start{true, p, heading, layer};
}

float WorldKit::floor_at(float x, float z, int* mesh) const {
  *mesh = 0;
  for (const FakeRamp& r : ramps) {
    if (x < r.x0 || x > r.x1 || z < r.z0 || z > r.z1) continue;
    *mesh = r.mesh;
    return r.h0 + (r.h1 - r.h0) * (x - r.x0) / (r.x1 - r.x0);
  }
  return 0.0f;
}

void WorldKit::end_effect(int handle) {
  for (FakeEffect& f : effects) {
    if (f.handle == handle) f.alive = false;
  }
}

int WorldKit::effects_named(const std::string& name) const {
  int n = 0;
  for (const FakeEffect& f : effects) n += f.name == name;
  return n;
}

void WorldKit::use_graph(const PfgLevel& level) {
  const std::vector<uint8_t> bytes = pfg_bytes(pfg_build(level));
  ReadStream in;
  in.open_memory(bytes.data(), static_cast<int>(bytes.size()));
  ASSERT_EQ(path_graph_read(in, static_cast<int>(bytes.size()), "kit.pfg"), 0);
  path_pool_reset();
  graph_loaded_ = true;
}
