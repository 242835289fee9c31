// Lookups over the loaded level and the motion of its movable meshes.
#include "Engine/s3d/level_objects.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <string>
#include <unordered_map>

#include "Engine/gamesound/gamesnd.h"
#include "Engine/s3d/collide.h"
#include "quarn/gr/gr.h"
#include "quarn/os/os.h"

// Free from the start, as start-up leaves them.
TimedSlot Level_timed_slots[LEVEL_TIMED_SLOTS] = {{-1, 0, {}}, {-1, 0, {}}, {-1, 0, {}}, {-1, 0, {}},
                                                  {-1, 0, {}}, {-1, 0, {}}, {-1, 0, {}}, {-1, 0, {}}};

namespace {

LevelServices Services{};

struct SavedState {
  bool open, locked;
};
// Keyed by the lower-case name: the saved game matches names without case.
std::unordered_map<std::string, SavedState> Two_stage;

std::string key_of(const char* name) {
  std::string k = name ? name : "";
  for (char& c : k) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return k;
}

bool valid_index(int index) { return index >= 0 && index < Level.instance_count; }

void saved_state(const LevelMovableMesh& m, bool* open, bool* locked) {
  const char* name = Level.instances[m.instance].name;
  if (!level_two_stage_get(name, open, locked)) {
    *open = false;
    *locked = (m.door_flags & MOVABLE_LOCKED) != 0;
  }
}

void set_saved_state(const LevelMovableMesh& m, bool open, bool locked) {
  level_two_stage_set(Level.instances[m.instance].name, open, locked);
}

int travel_ms(const LevelMovableMesh& m) {
  // A travel time of zero or below from the file is an instant move.
  return m.travel_time > 0.0f ? static_cast<int>(m.travel_time * 1000.0f) : 0;
}

// The fraction of the move done, 0 to 1 (an instant move is done at once).
float move_fraction(const LevelMovableMesh& m) {
  const int T = travel_ms(m);
  if (T <= 0) return 1.0f;
  const float t = static_cast<float>(m.stamp.time_since()) / static_cast<float>(T);
  return std::clamp(t, 0.0f, 1.0f);
}

void place(LevelMeshInstance& mi, const LevelMovableMesh& m, float u) {
  mi.pos = m.open_pos * (1.0f - u) + m.closed_pos * u;
  quaternion q;
  quaternion_slerp(q, m.open_orient, m.closed_orient, u);
  q.to_matrix(mi.orient);
  collide_instance_moved(static_cast<int>(&mi - Level.instances));
}

// The first instance of the sector that the downward ray meets.
bool floor_ray(const vector& from, float depth, uint32_t exclude, int sector, vector* out) {
  CollisionQuery q{};
  q.start = from;
  q.delta.set(0.0f, -depth, 0.0f);
  q.radius = 0.0f;
  q.exclude = exclude;
  CollisionResult r{};
  for (int i = 0; i < Level.instance_count; i++) {
    if (sector >= 0 && Level.instances[i].sector[0] != sector && Level.instances[i].sector[1] != sector)
      continue;
    collide_mesh(i, &q, &r, 1);
    if (r.count > 0) {
      *out = q.start + q.delta * r.fraction;
      return true;
    }
  }
  return false;
}

// The record of an instance that carries `flag`, among records kept in
// ascending instance order.
template <typename T>
T* find_by_instance(T* records, int count, int instance, uint32_t flag) {
  if (!valid_index(instance) || !(Level.instances[instance].flags & flag)) return nullptr;
  T* end = records + count;
  T* it = std::lower_bound(records, end, instance, [](const T& r, int i) { return r.instance < i; });
  return it != end && it->instance == instance ? it : nullptr;
}

void set_hidden_by_prefix(const char* prefix, bool hidden) {
  if (!prefix) return;
  const size_t n = std::strlen(prefix);
  for (int i = 0; i < Level.instance_count; i++) {
    if (strncasecmp(Level.instances[i].name, prefix, n) != 0) continue;
    if (hidden) Level.instances[i].flags |= MI_HIDDEN;
    else Level.instances[i].flags &= ~MI_HIDDEN;
  }
}

}  // namespace

void level_set_services(const LevelServices& services) { Services = services; }

void level_two_stage_reset() { Two_stage.clear(); }

bool level_two_stage_get(const char* name, bool* open, bool* locked) {
  if (Services.two_stage_get && Services.two_stage_get(name, open, locked)) return true;
  auto it = Two_stage.find(key_of(name));
  if (it == Two_stage.end()) return false;
  *open = it->second.open;
  *locked = it->second.locked;
  return true;
}

void level_two_stage_set(const char* name, bool open, bool locked) {
  if (Services.two_stage_set && Services.two_stage_set(name, open, locked)) return;
  Two_stage[key_of(name)] = {open, locked};
}

void level_navpoint_add(const LevelNode* node) {
  if (Services.navpoint_add) Services.navpoint_add(node);
}

// ---- Lookups -----------------------------------------------------------------

int level_mesh_count() { return Level.instance_count; }

LevelMeshInstance* level_mesh_get(int index) { return valid_index(index) ? &Level.instances[index] : nullptr; }

bool level_mesh_index_invalid(int index) { return index < 0 || index >= Level.instance_count; }

int level_mesh_find_by_name(const char* name) {
  if (!name) return -1;
  for (int i = 0; i < Level.instance_count; i++)
    if (strcasecmp(Level.instances[i].name, name) == 0) return i;
  return -1;
}

void level_mesh_flag_by_prefix(const char* prefix) { set_hidden_by_prefix(prefix, true); }

void level_mesh_unflag_by_prefix(const char* prefix) { set_hidden_by_prefix(prefix, false); }

void level_mesh_bounds(int index, vector* min, vector* max) {
  if (!valid_index(index)) return;
  *min = Level.instances[index].bound_min;
  *max = Level.instances[index].bound_max;
}

void level_mesh_sphere(int index, vector* center, float* radius) {
  if (!valid_index(index)) return;
  *center = Level.instances[index].bound_center;
  *radius = Level.instances[index].mesh->radius;
}

int level_mesh_sector(int index) { return valid_index(index) ? Level.instances[index].sector[0] : -1; }

int obj_get_sector(const LevelMeshInstance* object, int i) {
  return object && (i == 0 || i == 1) ? object->sector[i] : -1;
}

void obj_set_sector(LevelMeshInstance* object, int i, int value) {
  if (object && (i == 0 || i == 1)) object->sector[i] = static_cast<int8_t>(value);
}

bool level_node_find(const char* name, vector* pos, matrix* orient) {
  if (!name) return false;
  for (int i = 0; i < Level.node_count; i++) {
    if (strcasecmp(Level.nodes[i].name, name) != 0) continue;
    if (pos) *pos = Level.nodes[i].pos;
    if (orient) *orient = Level.nodes[i].orient;
    return true;
  }
  return false;
}

VisGroup* vis_group_find(const char* name) {
  if (!name) return nullptr;
  if (strcasecmp(name, Level.vis_base.name) == 0) return &Level.vis_base;
  for (int i = 0; i < Level.vis_group_count; i++)
    if (strcasecmp(Level.vis_groups[i].name, name) == 0) return &Level.vis_groups[i];
  return nullptr;
}

LevelNamedPoints* level_named_points_find(const char* name) {
  if (!name) return nullptr;
  for (int i = 0; i < Level.named_points_count; i++)
    if (strcasecmp(Level.named_points[i].name, name) == 0) return &Level.named_points[i];
  return nullptr;
}

VertexAnimRecord* level_vertex_anim_find(int instance) {
  return find_by_instance(Level.vertex_anims, Level.vertex_anim_count, instance, MI_VERTEX_ANIM);
}

LevelMovableMesh* level_mesh_movable_info(int instance) {
  return find_by_instance(Level.movables, Level.movable_count, instance, MI_MOVABLE);
}

int level_movable_find(const char* key_name, int* instance, int* record) {
  if (!key_name) return -1;
  const MovableKey* begin = Level.movable_keys;
  const MovableKey* end = begin + Level.movable_count;
  const MovableKey* it = std::lower_bound(begin, end, key_name, [](const MovableKey& k, const char* n) {
    return strcasecmp(k.name, n) < 0;
  });
  if (it == end || strcasecmp(it->name, key_name) != 0) return -1;
  if (it->index < 0 || it->index >= Level.movable_count) return -1;
  const int inst = Level.movables[it->index].instance;
  if (!valid_index(inst)) return -1;
  if (instance) *instance = inst;
  if (record) *record = it->index;
  return 0;
}

bool level_mesh_has_track(int instance) {
  const LevelMovableMesh* m = level_mesh_movable_info(instance);
  return m && m->named_points >= 0;
}

bool level_mesh_within_reach(const vector& pos, int instance) {
  const LevelMovableMesh* m = level_mesh_movable_info(instance);
  if (!m) return false;
  const vector& p = Level.instances[instance].pos;
  const float dx = pos.x - p.x, dz = pos.z - p.z;
  if (dx * dx + dz * dz > 36.0f) return false;
  return m->named_points < 0 || std::fabs(pos.y - m->floor_point.y) <= 0.5f;
}

LevelBounds level_bounds() {
  LevelBounds b{0.0f, 0.0f, 0.0f, 0.0f};
  for (int i = 0; i < Level.instance_count; i++) {
    const LevelMeshInstance& mi = Level.instances[i];
    if (i == 0) b = {mi.bound_max.z, mi.bound_min.z, mi.bound_min.x, mi.bound_max.x};
    b.max_z = std::max(b.max_z, mi.bound_max.z);
    b.min_z = std::min(b.min_z, mi.bound_min.z);
    b.min_x = std::min(b.min_x, mi.bound_min.x);
    b.max_x = std::max(b.max_x, mi.bound_max.x);
  }
  return b;
}

// ---- Movable meshes -------------------------------------------------------------

float level_ease(float t) { return t < 0.5f ? 2.0f * t * t : 4.0f * t - 2.0f * t * t - 1.0f; }

bool level_door_move(int instance, float delay, bool force, bool sound) {
  LevelMovableMesh* m = level_mesh_movable_info(instance);
  if (!m) return false;
  bool open, locked;
  saved_state(*m, &open, &locked);
  if (locked && !force) return false;
  m->state &= ~MOVABLE_WAITING;
  m->state &= (1u << MOVABLE_DELAY_SHIFT) - 1;
  if (delay >= 0.0f) m->state |= static_cast<uint32_t>(1.0f + delay * 1000.0f) << MOVABLE_DELAY_SHIFT;
  const int T = travel_ms(*m);
  set_saved_state(*m, !open, locked);
  int e;
  if (m->state & MOVABLE_MOVING) {
    m->state ^= MOVABLE_TOWARD_OPEN;
    e = m->stamp.time_since();
  } else {
    m->state |= MOVABLE_MOVING;
    if (!open) m->state |= MOVABLE_TOWARD_OPEN;
    else m->state &= ~MOVABLE_TOWARD_OPEN;
    e = 0;
  }
  if (sound) {
    const int s = (m->state & MOVABLE_TOWARD_OPEN) ? m->open_sound : m->close_sound;
    const vector& at = Level.instances[instance].pos;
    if (s >= 1) {
      if (Services.play_3d) Services.play_3d(s, at);
      else gamesound_play_3d(s, &at);
    }
  }
  e = std::clamp(e, 0, T);
  // A reversal carries on from the mirrored point of the way back.
  if (e != 0) e = T - e;
  m->stamp.set(-e);
  return true;
}

bool level_door_open(int instance, float delay, bool force, bool sound) {
  LevelMovableMesh* m = level_mesh_movable_info(instance);
  if (!m) return false;
  bool open, locked;
  saved_state(*m, &open, &locked);
  if (open) return true;  // open, or already on its way there
  return level_door_move(instance, delay, force, sound);
}

bool level_door_close(int instance) {
  LevelMovableMesh* m = level_mesh_movable_info(instance);
  if (!m) return false;
  bool open, locked;
  saved_state(*m, &open, &locked);
  if (!open) return false;
  return level_door_move(instance, -1.0f, true, true);
}

bool level_mesh_use(int instance, bool force) {
  if (!level_door_move(instance, -1.0f, force, true)) return false;
  if (Services.use_hook) Services.use_hook(Level.instances[instance].name);
  return true;
}

void level_door_set_by_name(const char* name, bool open) {
  if (!name) return;
  for (int i = 0; i < Level.movable_count; i++) {
    const LevelMovableMesh& m = Level.movables[i];
    if (strcasecmp(Level.instances[m.instance].name, name) != 0) continue;
    bool now_open, locked;
    saved_state(m, &now_open, &locked);
    if (now_open != open) level_door_move(m.instance, -1.0f, true, true);
  }
}

bool level_door_open_fraction_above(const LevelMovableMesh* m, float threshold) {
  if (!m) return false;
  if (m->state & MOVABLE_MOVING) {
    float t = move_fraction(*m);
    if (!(m->state & MOVABLE_TOWARD_OPEN)) t = 1.0f - t;
    return level_ease(t) > threshold;
  }
  bool open, locked;
  saved_state(*m, &open, &locked);
  return open;
}

bool level_movable_apply_by_name(const char* name, float threshold) {
  if (!name) return false;
  for (int i = 0; i < Level.movable_count; i++)
    if (strcasecmp(Level.instances[Level.movables[i].instance].name, name) == 0)
      return level_door_open_fraction_above(&Level.movables[i], threshold);
  return false;
}

bool level_floor_point(const vector& from, float depth, uint32_t exclude, vector* out) {
  CollisionQuery q{};
  q.start = from;
  q.delta.set(0.0f, -depth, 0.0f);
  q.exclude = exclude;
  CollisionResult r;
  collide_level(&q, &r);
  if (r.count == 0) return false;
  *out = q.start + q.delta * r.fraction;
  return true;
}

void level_movable_place(int instance) {
  LevelMovableMesh* m = level_mesh_movable_info(instance);
  if (!m) return;
  const LevelMeshInstance& mi = Level.instances[instance];
  m->floor_point = mi.pos;
  if (m->named_points < 0) return;
  float x = mi.bound_center.x, z = mi.bound_center.z;
  int sector = -1;
  if (Services.doorway) {
    if (!Services.doorway(static_cast<int>(m - Level.movables), &x, &z, &sector)) return;
  }
  // Ground meshes are left out, and so are the movables themselves: the ray
  // comes down through the doorway the door fills. Without the doorway's
  // sector every instance is a candidate, so the nearest floor counts.
  const vector from{x, mi.pos.y + 50.0f, z};
  vector hit;
  const bool found = sector >= 0 ? floor_ray(from, 100.0f, MI_GROUND | MI_MOVABLE, sector, &hit)
                                 : level_floor_point(from, 100.0f, MI_GROUND | MI_MOVABLE, &hit);
  if (found) m->floor_point = hit;
}

void level_door_update(int instance) {
  LevelMovableMesh* m = level_mesh_movable_info(instance);
  if (!m) return;
  LevelMeshInstance& mi = Level.instances[instance];
  const int delay = static_cast<int>(m->state >> MOVABLE_DELAY_SHIFT);
  if ((m->state & MOVABLE_WAITING) && m->stamp.time_since() > delay - 1) {
    level_door_move(instance, -1.0f, true, true);
  }
  if (m->state & MOVABLE_MOVING) {
    float t = move_fraction(*m);
    if (t >= 1.0f) {
      t = 1.0f;
      m->state &= ~MOVABLE_MOVING;
      if (delay > 0 && (m->state >> MOVABLE_DELAY_SHIFT)) {
        m->state |= MOVABLE_WAITING;
        m->stamp.set(0);
      }
    }
    if (m->state & MOVABLE_TOWARD_OPEN) t = 1.0f - t;
    place(mi, *m, level_ease(t));
    return;
  }
  bool open, locked;
  saved_state(*m, &open, &locked);
  place(mi, *m, open ? 0.0f : 1.0f);
}

// ---- Level start and leave --------------------------------------------------------

void level_assets_preload() { s3d_preload_textures(&Level); }

void timed_slots_clear() {
  for (TimedSlot& s : Level_timed_slots) {
    s.id = -1;
    s.data = 0;
    s.stamp.invalidate();
  }
}

void timed_slot_release(int id) {
  if (id < 0) return;
  for (TimedSlot& s : Level_timed_slots)
    if (s.id == id) {
      s.id = -1;
      s.stamp.invalidate();
    }
}

void frame_idle() {
  if (!os_is_active()) os_sleep(10);
}
