#include "Engine/ai/path_follow.h"

#include <cmath>
#include <cstring>
#include <initializer_list>

#include "Engine/Objects/living_entity.h"
#include "Engine/ai/avoidance.h"
#include "Engine/ai/path_geometry.h"
#include "Engine/ai/path_planner.h"
#include "Engine/characterinfo/characterinfo.h"
#include "quarn/math/floatops.h"
#include "quarn/os/timer.h"

namespace {

constexpr int AI_PATH_POINTS = static_cast<int>(sizeof(ai_path::points) / sizeof(ai_path::points[0]));
constexpr int MAX_PORTAL_HOPS = 2 * PFG_SECTORS;
constexpr int SHORTCUT_MS = 1000;
constexpr int BLOCKING_MS = 1000, HERO_BLOCKING_MS = 200;
constexpr int SIDE_STEP_MS = 500;
constexpr int WOBBLE_MS = 25;
// No character type carries a side-step gain of its own: every type turns
// off an edge ahead alike.
constexpr float SIDE_STEP_GAIN = 1.0f;
// The look-ahead's first leg reaches this far back before the first node,
// so a walker that strayed behind the node passed last is still pulled in.
constexpr float LOOK_BACK = 50.0f;
constexpr int LOOK_AHEAD_LEGS = 5;
// How near its way an area makes a walker keep to its path: the farthest
// the wobble lets it stray (the root of the largest tolerance, 1.5), its
// radius and a margin for the turn back.
constexpr float WOBBLE_STRAY = 1.2247449f;
constexpr float AREA_MARGIN = 1.0f;

int32_t now() { return timer_game_clock; }

PathPoint pp(const vector& v) { return {v.x, v.z}; }
float flat_len(float x, float z) { return std::sqrt(x * x + z * z); }

// The nodes of the path in walking order, over its pieces.
struct NodeWalk {
  const ai_path* piece;
  int index;
  explicit NodeWalk(const ai_path* p) : piece(p), index(0) { skip(); }
  void skip() {
    while (piece && index >= piece->count) {
      piece = piece->next;
      index = 0;
    }
  }
  bool done() const { return piece == nullptr; }
  const vector& point() const { return piece->points[index]; }
  void next() {
    index++;
    skip();
  }
};

const vector* nth_node(const ai_path* p, int n) {
  NodeWalk w(p);
  for (int i = 0; i < n && !w.done(); i++) w.next();
  return w.done() ? nullptr : &w.point();
}

const vector* last_node(const ai_path* p) {
  const vector* last = nullptr;
  for (NodeWalk w(p); !w.done(); w.next()) last = &w.point();
  return last;
}

void drop_first(ai_component* ai) {
  ai_path* p = ai->path;
  while (p && p->count <= 0) p = p->next;
  if (!p) return;
  std::memmove(&p->points[0], &p->points[1], sizeof(vector) * static_cast<size_t>(p->count - 1));
  p->count--;
}

void push_front(ai_component* ai, const vector& point) {
  ai_path* p = ai->path;
  if (!p || p->count >= AI_PATH_POINTS) {
    ai_path* piece = new ai_path;
    piece->next = p;
    ai->path = p = piece;
  }
  std::memmove(&p->points[1], &p->points[0], sizeof(vector) * static_cast<size_t>(p->count));
  p->points[0] = point;
  p->count++;
}

// Whether the edge a-b (in this order) faces a segment moving along d: the
// segment meets its wall from the walkable side.
bool faces(const PathPoint& a, const PathPoint& b, const PathPoint& d) {
  return (b.x - a.x) * d.z + (a.z - b.z) * d.x < 0.0f;
}

void consider(const PathPoint& from, const PathPoint& s0, const PathPoint& s1, const PathPoint& ea,
              const PathPoint& eb, int sector, bool area, PathCrossing* best) {
  PathPoint at;
  if (path_segment_intersect(s0, s1, ea, eb, &at) != PATH_ISECT_CROSS) return;
  const float dx = at.x - from.x, dz = at.z - from.z;
  const float d2 = dx * dx + dz * dz;
  if (best->found && d2 >= best->dist_sq) return;
  best->found = true;
  best->area = area;
  best->a = ea;
  best->b = eb;
  best->dist_sq = d2;
  best->sector = sector;
}

bool boxes_meet(float ax0, float az0, float ax1, float az1, float bx0, float bz0, float bx1, float bz1) {
  return std::fmin(ax0, ax1) <= bx1 && std::fmax(ax0, ax1) >= bx0 && std::fmin(az0, az1) <= bz1 &&
         std::fmax(az0, az1) >= bz0;
}

// One leg of the crossing test, inside one sector.
void crossing_leg(const PathPoint& from, const PathPoint& s0, const PathPoint& s1, const PathPoint& d, int cls,
                  int sector, bool areas, PathCrossing* best) {
  if (PathSector* s = path_sector_get(cls, sector)) {
    for (SectorPolygon* p = s->polygons; p; p = p->next) {
      if (!boxes_meet(s0.x, s0.z, s1.x, s1.z, p->min_x, p->min_z, p->max_x, p->max_z)) continue;
      for (int i = 0; i < p->count; i++) {
        const PathSegment& e = p->segments[i];
        // An unreversed wall keeps its walkable side on its normal's side:
        // seen from there its ends run the other way.
        const PathPoint& ea = (e.flags & PSEG_REVERSED) ? *e.a : *e.b;
        const PathPoint& eb = (e.flags & PSEG_REVERSED) ? *e.b : *e.a;
        if (!faces(ea, eb, d)) continue;
        consider(from, s0, s1, *e.a, *e.b, sector, false, best);
      }
    }
  }
  if (!areas) return;
  for (const AvoidPoly& poly : Avoid_polys) {
    if (!(poly.flags & OP_IN_USE) || poly.layer != cls || poly.sector != sector || poly.outline_count < 2) continue;
    if (!boxes_meet(s0.x, s0.z, s1.x, s1.z, poly.min_x + 0.1f, poly.min_z + 0.1f, poly.max_x - 0.1f,
                    poly.max_z - 0.1f))
      continue;
    // The outline may turn either way: an edge faces the segment when the
    // segment runs into the polygon through it.
    float area2 = 0.0f;
    for (int i = 0; i < poly.outline_count; i++) {
      const PathPoint& p0 = poly.outline[i];
      const PathPoint& p1 = poly.outline[(i + 1) % poly.outline_count];
      area2 += p0.x * p1.z - p1.x * p0.z;
    }
    for (int i = 0; i < poly.outline_count; i++) {
      const PathPoint& cur = poly.outline[i];
      const PathPoint& prev = poly.outline[i == 0 ? poly.outline_count - 1 : i - 1];
      // Walking prev -> cur with the inside on the left (area > 0, x right
      // and z up), the outward normal is (dz, -dx).
      const float nx = cur.z - prev.z, nz = -(cur.x - prev.x);
      const float outward = area2 > 0.0f ? 1.0f : -1.0f;
      if ((nx * d.x + nz * d.z) * outward >= 0.0f) continue;
      consider(from, s0, s1, cur, prev, sector, true, best);
    }
  }
}

float distance_sq(const PathPoint& a, const PathPoint& b) {
  return (a.x - b.x) * (a.x - b.x) + (a.z - b.z) * (a.z - b.z);
}

// The squared distance between two segments: 0 when they cross, else the
// nearest of each end to the other segment.
float segments_distance_sq(const PathPoint& a0, const PathPoint& a1, const PathPoint& b0, const PathPoint& b1) {
  PathPoint at;
  if (path_segment_intersect(a0, a1, b0, b1, &at) == PATH_ISECT_CROSS) return 0.0f;
  float d = distance_sq(a0, path_nearest_on_segment(b0, b1, a0));
  d = std::fmin(d, distance_sq(a1, path_nearest_on_segment(b0, b1, a1)));
  d = std::fmin(d, distance_sq(b0, path_nearest_on_segment(a0, a1, b0)));
  return std::fmin(d, distance_sq(b1, path_nearest_on_segment(a0, a1, b1)));
}

// The squared distance between a segment and a box: 0 when an end lies in
// it or the segment crosses one of its sides.
float segment_box_distance_sq(const PathPoint& a, const PathPoint& b, float x0, float z0, float x1, float z1) {
  auto in = [&](const PathPoint& p) { return p.x >= x0 && p.x <= x1 && p.z >= z0 && p.z <= z1; };
  if (in(a) || in(b)) return 0.0f;
  const PathPoint c[4] = {{x0, z0}, {x1, z0}, {x1, z1}, {x0, z1}};
  float d = 1e30f;
  for (int i = 0; i < 4; i++) d = std::fmin(d, segments_distance_sq(a, b, c[i], c[(i + 1) % 4]));
  return d;
}

int entity_sector(const living_entity* e, const vector& toward) {
  return path_sector_toward(e->size_class(), e->pos, toward);
}

// Whether the line between two points passes the line test over walls and
// every kind of avoidance area.
bool sees(const vector& from, int from_sector, const vector& to, int cls) {
  const int to_sector = path_sector_at(cls, to.x, to.z);
  if (from_sector < 0 || !path_sector_select(cls, from_sector)) return false;
  return path_line_test(pp(from), from_sector, pp(to), to_sector >= 0 ? to_sector : from_sector, PATH_LINE_ALL);
}

}  // namespace

bool Ai_wobble_on = false;

bool path_crossing_test(const PathPoint& from, const PathPoint& d, int size_class, int sector, bool areas,
                        PathCrossing* out) {
  *out = PathCrossing{};
  if (!Path_graph.loaded || !path_sector_get(size_class, sector)) return false;
  const PathPoint to{from.x + d.x, from.z + d.z};
  PathPoint cur = from;
  int s = sector;
  for (int hop = 0; hop < MAX_PORTAL_HOPS && s >= 0; hop++) {
    PathPoint at;
    int next = -1;
    if (!path_next_portal_crossing(cur, to, s, &at, &next)) {
      crossing_leg(from, cur, to, d, size_class, s, areas, out);
      break;
    }
    crossing_leg(from, cur, at, d, size_class, s, areas, out);
    cur = at;
    s = next;
  }
  return out->found;
}

void ai_path_shortcut(ai_component* ai) {
  living_entity* e = ai->owner;
  if (!e || !Path_graph.loaded || !timestamp_elapsed(ai->path_timers[0], now())) return;
  ai->path_timers[0] = timestamp_set(now(), SHORTCUT_MS);
  const vector* second = nth_node(ai->path, 1);
  if (!second) return;
  const int cls = e->size_class();
  if (!sees(e->pos, entity_sector(e, *second), *second, cls)) return;
  drop_first(ai);
  // The leg to the new first node now starts where the entity stands.
  ai->path_goal = vector(e->pos.x, ai->path_goal.y, e->pos.z);
}

void ai_path_blocking_test(ai_component* ai) {
  living_entity* e = ai->owner;
  if (!e || !Path_graph.loaded || !timestamp_elapsed(ai->path_timers[1], now())) return;
  ai->path_timers[1] = timestamp_set(now(), e->type == OBJ_PLAYER ? HERO_BLOCKING_MS : BLOCKING_MS);
  ai->path_flags &= static_cast<uint8_t>(~PF_AREA_BLOCKED);
  const vector* first = nth_node(ai->path, 0);
  if (!first) return;
  const vector node = *first;
  const int cls = e->size_class();
  PathCrossing c;
  const PathPoint d{node.x - e->pos.x, node.z - e->pos.z};
  if (!path_crossing_test(pp(e->pos), d, cls, entity_sector(e, node), true, &c)) return;
  for (const PathPoint& end : {c.a, c.b}) {
    const vector detour(end.x, node.y, end.z);
    if (!sees(detour, c.sector, node, cls)) continue;
    push_front(ai, detour);
    ai->path_goal = vector(e->pos.x, ai->path_goal.y, e->pos.z);
    return;
  }
  if (c.area) {
    ai->path_flags |= PF_AREA_BLOCKED;
    return;
  }
  const vector* last = last_node(ai->path);
  const vector goal = *last;
  ai_path* fresh = path_planner_for_class(e->pos, goal, cls);
  ai_path_free(ai->path);
  ai->path = fresh;
  ai->path_goal = vector(e->pos.x, ai->path_goal.y, e->pos.z);
}

bool ai_side_step_check(ai_component* ai, const vector& node, float distance_left, float speed, float max_speed) {
  living_entity* e = ai->owner;
  if (!e || speed < 0.01f || !Path_graph.loaded) return false;
  const float ratio = max_speed > 0.0f ? speed / max_speed : 1.0f;
  const float probe = std::fmin(ratio * 2.5f + 0.1f, 2.0f);
  const vector& f = e->orient.forward;
  PathCrossing c;
  const bool hit = path_crossing_test(pp(e->pos), {f.x * probe, f.z * probe}, e->size_class(),
                                      entity_sector(e, e->pos + f * probe), false, &c) &&
                   c.dist_sq < distance_left * distance_left;
  if (!hit) {
    ai->path_flags &= static_cast<uint8_t>(~PF_SIDE_STEP);
    return false;
  }
  ai->travel_target = node;
  if (!(ai->path_flags & PF_SIDE_STEP)) {
    const float tx = node.x - e->pos.x, tz = node.z - e->pos.z;
    const float cross = f.z * tx - f.x * tz;
    if (cross == 0.0f) {
      ai->path_flags &= static_cast<uint8_t>(~PF_SIDE_STEP);
      return true;
    }
    const float k = 1.0f / (1.0f + c.dist_sq);
    ai->side_step = (cross > 0.0f ? 1.0f : -1.0f) * k * k * SIDE_STEP_GAIN;
  }
  if (c.dist_sq < 1.0f) ai->path_flags |= PF_STAND;
  ai->path_flags |= PF_SIDE_STEP;
  ai->wobble = 0.0f;
  ai->side_step_timer = timestamp_set(now(), SIDE_STEP_MS);
  return true;
}

void ai_wobble(ai_component* ai, float scale) {
  living_entity* e = ai->owner;
  if (!e) return;
  const float bound = 0.05f * scale;
  const float r = (static_cast<float>(os_rand()) / 32767.0f) * 0.03f - 0.015f;
  float w = ai->wobble * (1.0f - 0.025f / scale) + r;
  if (w > bound) w = 2.0f * bound - w;
  else if (w < -bound) w = -2.0f * bound - w;
  ai->wobble = w;
  ai->travel_target = e->pos + e->offset + e->orient.forward * 2.0f + e->orient.right * w;
}

bool ai_path_near_avoidance(const ai_component* ai) {
  const living_entity* e = ai->owner;
  if (!e) return false;
  const int cls = e->size_class();
  if (!aa_any_in_size_class(cls)) return false;
  const float reach = WOBBLE_STRAY + e->get_radius() + AREA_MARGIN;
  PathPoint from = pp(e->pos);
  NodeWalk w(ai->path);
  for (int leg = 0; leg < LOOK_AHEAD_LEGS && !w.done(); leg++, w.next()) {
    const PathPoint to = pp(w.point());
    for (const AvoidPoly& poly : Avoid_polys) {
      if (!(poly.flags & OP_IN_USE) || poly.layer != cls) continue;
      if (segment_box_distance_sq(from, to, poly.min_x, poly.min_z, poly.max_x, poly.max_z) < reach * reach)
        return true;
    }
    for (const AvoidScriptSegment& s : Avoid_script_segments) {
      if (!(s.flags & AP_IN_USE) || s.layer != cls) continue;
      if (segments_distance_sq(from, to, s.a, s.b) < reach * reach) return true;
    }
    from = to;
  }
  return false;
}

void ai_wobble_look_ahead(ai_component* ai, const vector& leg_dir, float tolerance, float speed, float max_speed) {
  living_entity* e = ai->owner;
  if (!e) return;
  const float ratio = max_speed > 0.0f ? speed / max_speed : 0.0f;
  const vector ahead = e->pos + e->offset + e->orient.forward * (2.0f * ratio);
  const PathPoint look = pp(ahead);
  NodeWalk w(ai->path);
  if (w.done()) return;
  PathPoint from{w.point().x - leg_dir.x * LOOK_BACK, w.point().z - leg_dir.z * LOOK_BACK};
  PathPoint best{0, 0};
  float best_d2 = -1.0f;
  for (int leg = 0; leg < LOOK_AHEAD_LEGS && !w.done(); leg++, w.next()) {
    const PathPoint to = pp(w.point());
    const PathPoint q = path_nearest_on_segment(from, to, look);
    const float d2 = (q.x - look.x) * (q.x - look.x) + (q.z - look.z) * (q.z - look.z);
    if (best_d2 < 0.0f || d2 < best_d2) {
      best_d2 = d2;
      best = q;
    }
    from = to;
  }
  if (best_d2 > tolerance) {
    ai->travel_target.x = best.x;
    ai->travel_target.z = best.z;
  }
}

bool ai_path_door_shut(ai_component* ai) {
  living_entity* e = ai->owner;
  if (!e || !Path_graph.loaded) return false;
  const float reach = e->character ? e->character->attack_radius : 0.0f;
  float budget = e->get_stopping_distance(nullptr) + reach + 2.0f;
  const int cls = e->size_class();
  for (NodeWalk w(ai->path); !w.done() && budget > 0.0f; w.next()) {
    const vector& node = w.point();
    const float dx = node.x - e->pos.x, dz = node.z - e->pos.z;
    const float dist = flat_len(dx, dz);
    if (dist > 0.0f) {
      const vector dir(dx / dist, 0.0f, dz / dist);
      const int sector = path_sector_toward(cls, e->pos, node);
      // Only a door short of the node stands in the way: one beyond the
      // walk's end would stop the walker before a point it can reach.
      if (sector >= 0 && path_door_blocks(e->pos, dir, sector, cls, std::fmin(budget, dist))) return true;
    }
    budget -= dist;
  }
  return false;
}
