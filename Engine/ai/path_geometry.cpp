#include "Engine/ai/path_geometry.h"

#include <algorithm>
#include <cmath>

#include "Engine/s3d/level_objects.h"
#include "Engine/s3d/s3d.h"

PathIntersection Path_isect;
GridCell* Path_grid_result[PATH_GRID_MAX_CELLS];
int Path_grid_result_count;

namespace {

uint32_t Query_stamp;
PathDoorOpenFn Door_open_hook;

// A point within this of a split line may lie on either side.
constexpr float SPLIT_X_TOLERANCE = 0.0001f;
constexpr float SPLIT_SEGMENT_TOLERANCE = 0.003f;
// Points within both tolerances of several splits make the walk try both
// sides each time; past this depth it gives up rather than branch further.
constexpr int MAX_WALK_BRANCHES = 48;
constexpr int MAX_PORTAL_HOPS = 2 * PFG_SECTORS;
constexpr float PORTAL_SIDE_REACH = 3.0f;
constexpr float SLIDE_OFFSET = 0.015f;

bool level_door_open_default(int door, float fraction) {
  if (door < 0 || door >= Level.movable_count || !Level.movables) return true;
  return level_door_open_fraction_above(&Level.movables[door], fraction);
}

AreaTreeNode* walk(AreaTreeNode* t, float x, float z, int branches) {
  while (t) {
    if (t->kind == AREA_WALKABLE) return t;
    float v;
    float tolerance;
    if (t->kind == AREA_SPLIT_X) {
      v = x - t->point->x;
      tolerance = SPLIT_X_TOLERANCE;
    } else {
      const PathPoint& a = *t->segment->a;
      const PathPoint& b = *t->segment->b;
      v = (z - a.z) * (a.x - b.x) + (x - a.x) * (b.z - a.z);
      tolerance = SPLIT_SEGMENT_TOLERANCE;
    }
    if (std::fabs(v) <= tolerance) {
      if (branches >= MAX_WALK_BRANCHES) return nullptr;
      if (AreaTreeNode* leaf = walk(t->below, x, z, branches + 1)) return leaf;
      t = t->above;
      continue;
    }
    // NaN goes below, like any value that is not "not negative".
    t = v >= 0.0f ? t->above : t->below;
  }
  return nullptr;
}

bool boxes_meet(float ax0, float az0, float ax1, float az1, float bx0, float bz0, float bx1, float bz1) {
  return std::min(ax0, ax1) <= std::max(bx0, bx1) && std::max(ax0, ax1) >= std::min(bx0, bx1) &&
         std::min(az0, az1) <= std::max(bz0, bz1) && std::max(az0, az1) >= std::min(bz0, bz1);
}

void list_cell(const SectorGrid& g, int col, int row) {
  if (Path_grid_result_count >= PATH_GRID_MAX_CELLS) return;
  if (GridCell* c = path_grid_cell(g, col, row)) Path_grid_result[Path_grid_result_count++] = c;
}

bool blocking_kind(int kind) { return kind == PATH_ISECT_CROSS || kind == PATH_ISECT_AT_END; }

PathPoint normal_of(const PathSegment& s, float* length) {
  float dx = s.b->x - s.a->x, dz = s.b->z - s.a->z;
  const float len = std::sqrt(dx * dx + dz * dz);
  *length = len;
  if (len > 0.0f) {
    dx /= len;
    dz /= len;
  } else {
    dx = 1.0f;
    dz = 0.0f;
  }
  PathPoint n{dz, -dx};
  if (s.flags & PSEG_REVERSED) n = {-n.x, -n.z};
  return n;
}

// The first wall contact of a move through the cells along it.
bool first_contact(PathMove& m, int sector, int size_class, PathMove* best) {
  const PathPoint from{m.fx, m.fz}, to{m.tx, m.tz};
  const int cells = path_sector_grid_lookup(sector, size_class, from, to);
  bool any = false;
  for (int c = 0; c < cells; c++) {
    GridCell* cell = Path_grid_result[c];
    for (int k = 0; k < cell->count; k++) {
      m.wall = cell->segments[k];
      if (path_wall_contact(m) && (!any || m.t < best->t)) {
        *best = m;
        any = true;
      }
    }
  }
  return any;
}

}  // namespace

bool path_points_equal(const PathPoint& a, const PathPoint& b) {
  return std::fabs(a.x - b.x) <= 0.001f && std::fabs(a.z - b.z) <= 0.001f;
}

float path_side(const PathPoint& a, const PathPoint& b, const PathPoint& p) {
  return (p.z - a.z) * (a.x - b.x) + (p.x - a.x) * (b.z - a.z);
}

PathPoint path_nearest_on_segment(const PathPoint& a, const PathPoint& b, const PathPoint& p) {
  const float dx = b.x - a.x, dz = b.z - a.z;
  const float len2 = dx * dx + dz * dz;
  float t = len2 > 0.0f ? ((p.x - a.x) * dx + (p.z - a.z) * dz) / len2 : 0.0f;
  t = std::clamp(t, 0.0f, 1.0f);
  return {a.x + t * dx, a.z + t * dz};
}

float point_segment_distance_sq(const PathPoint& p, const PathPoint& a, const PathPoint& b) {
  const PathPoint q = path_nearest_on_segment(a, b, p);
  return (p.x - q.x) * (p.x - q.x) + (p.z - q.z) * (p.z - q.z);
}

bool sweep_point_circle(const PathPoint& from, const PathPoint& to, const PathPoint& center, float radius,
                        float* t) {
  const float dx = to.x - from.x, dz = to.z - from.z;
  const float fx = from.x - center.x, fz = from.z - center.z;
  const float c = fx * fx + fz * fz - radius * radius;
  if (c <= 0.0f) {
    *t = 0.0f;
    return true;
  }
  const float a = dx * dx + dz * dz;
  const float b = 2.0f * (fx * dx + fz * dz);
  if (a <= 0.0f) return false;
  const float disc = b * b - 4.0f * a * c;
  if (disc < 0.0f) return false;
  const float r = (-b - std::sqrt(disc)) / (2.0f * a);
  if (!(r >= 0.0f && r <= 1.0f)) return false;
  *t = r;
  return true;
}

int path_segment_intersect(const PathPoint& a1, const PathPoint& a2, const PathPoint& b1, const PathPoint& b2,
                           PathPoint* out) {
  if (path_points_equal(a1, b1) || path_points_equal(a1, b2) || path_points_equal(a2, b1) ||
      path_points_equal(a2, b2))
    return PATH_ISECT_SHARED_END;
  const float dax = a2.x - a1.x, daz = a2.z - a1.z;
  const float dbx = b2.x - b1.x, dbz = b2.z - b1.z;
  const float denom = dax * dbz - daz * dbx;
  const float ex = b1.x - a1.x, ez = b1.z - a1.z;
  Path_isect.denom = denom;
  if (denom == 0.0f) {
    Path_isect.t = Path_isect.u = 0.0f;
    return (ex * daz - ez * dax) == 0.0f ? PATH_ISECT_COLLINEAR : PATH_ISECT_PARALLEL;
  }
  const float t = (ex * dbz - ez * dbx) / denom;
  const float u = (ex * daz - ez * dax) / denom;
  Path_isect.t = t;
  Path_isect.u = u;
  if (!(t >= 0.0f && t <= 1.0f && u >= 0.0f && u <= 1.0f)) return PATH_ISECT_NONE;
  if (out) *out = {a1.x + t * dax, a1.z + t * daz};
  if (t > 0.0f && t < 1.0f && u > 0.0f && u < 1.0f) return PATH_ISECT_CROSS;
  return PATH_ISECT_AT_END;
}

AreaTreeNode* path_point_walkable(float x, float z, int sector) {
  PathSector* s = sector < 0 ? path_sector_current() : path_sector_get(path_current_size_class(), sector);
  if (!s || s->tree_count <= 0) return nullptr;
  return walk(s->tree, x, z, 0);
}

bool path_point_in_sector(const vector& p, int size_class, int sector) {
  PathSector* s = path_sector_get(size_class, sector);
  if (!s || s->node_count <= 0) return false;
  if (s->tree_count <= 0) return true;
  return walk(s->tree, p.x, p.z, 0) != nullptr;
}

int path_sector_at(int size_class, float x, float z) {
  const vector p{x, 0.0f, z};
  for (int s = 0; s < PFG_SECTORS; s++) {
    if (!path_point_in_sector(p, size_class, s)) continue;
    for (int t = s + 1; t < PFG_SECTORS; t++)
      if ((Path_graph.adjacency[s] & (1u << t)) && path_point_in_sector(p, size_class, t))
        return path_portal_side(s, t, {x, z});
    return s;
  }
  return -1;
}

int path_sector_toward(int size_class, const vector& from, const vector& to) {
  const int s = path_sector_at(size_class, from.x, from.z);
  const float dx = to.x - from.x, dz = to.z - from.z;
  const float l = std::sqrt(dx * dx + dz * dz);
  if (s < 0 || l <= 0.0f) return s;
  // A hundredth of a unit toward the goal, never beyond it.
  const float k = std::fmin(0.01f, 0.5f * l) / l;
  const vector ahead{from.x + dx * k, 0.0f, from.z + dz * k};
  for (int t = 0; t < PFG_SECTORS; t++) {
    if (t == s || !(Path_graph.adjacency[s] & (1u << t)) || !path_point_in_sector(from, size_class, t)) continue;
    const int side = path_portal_side(s, t, {ahead.x, ahead.z});
    if (path_point_in_sector(ahead, size_class, side)) return side;
  }
  return s;
}

GridCell* path_grid_cell(const SectorGrid& g, int col, int row) {
  if (g.bucket_count <= 0 || col < 0 || row < 0 || col >= g.columns || row >= g.rows) return nullptr;
  const int32_t key = row * g.columns + col;
  const GridBucket& b = g.buckets[key % g.bucket_count];
  for (int i = 0; i < b.count; i++)
    if (b.entries[i].key == key) return &b.entries[i];
  return nullptr;
}

int path_sector_grid_lookup(int sector, int size_class, const PathPoint& from, const PathPoint& to) {
  Path_grid_result_count = 0;
  PathSector* s = path_sector_get(size_class, sector);
  if (!s || s->grid.bucket_count <= 0 || s->grid.columns <= 0 || s->grid.rows <= 0) return 0;
  const SectorGrid& g = s->grid;
  // Grid coordinates, clipped to the grid's box so that the walk stays short.
  double x0 = (from.x - g.origin_x) / g.cell_width, z0 = (from.z - g.origin_z) / g.cell_depth;
  double x1 = (to.x - g.origin_x) / g.cell_width, z1 = (to.z - g.origin_z) / g.cell_depth;
  if (!std::isfinite(x0) || !std::isfinite(z0) || !std::isfinite(x1) || !std::isfinite(z1)) return 0;
  double t0 = 0.0, t1 = 1.0;
  const double dx = x1 - x0, dz = z1 - z0;
  const double lo[2] = {0.0, 0.0}, hi[2] = {double(g.columns), double(g.rows)};
  const double p[2] = {x0, z0}, d[2] = {dx, dz};
  for (int axis = 0; axis < 2; axis++) {
    if (d[axis] == 0.0) {
      if (p[axis] < lo[axis] || p[axis] > hi[axis]) return 0;
      continue;
    }
    double ta = (lo[axis] - p[axis]) / d[axis], tb = (hi[axis] - p[axis]) / d[axis];
    if (ta > tb) std::swap(ta, tb);
    t0 = std::max(t0, ta);
    t1 = std::min(t1, tb);
  }
  if (t0 > t1) return 0;
  const double sx = x0 + t0 * dx, sz = z0 + t0 * dz;
  const double ex = x0 + t1 * dx, ez = z0 + t1 * dz;
  int col = std::clamp(static_cast<int>(std::floor(sx)), 0, g.columns - 1);
  int row = std::clamp(static_cast<int>(std::floor(sz)), 0, g.rows - 1);
  const int end_col = std::clamp(static_cast<int>(std::floor(ex)), 0, g.columns - 1);
  const int end_row = std::clamp(static_cast<int>(std::floor(ez)), 0, g.rows - 1);
  const int step_c = dx > 0 ? 1 : -1, step_r = dz > 0 ? 1 : -1;
  const double inf = std::numeric_limits<double>::infinity();
  const double delta_c = dx != 0.0 ? std::fabs(1.0 / dx) : inf;
  const double delta_r = dz != 0.0 ? std::fabs(1.0 / dz) : inf;
  double next_c = dx != 0.0 ? ((dx > 0 ? col + 1 - sx : sx - col) * delta_c) : inf;
  double next_r = dz != 0.0 ? ((dz > 0 ? row + 1 - sz : sz - row) * delta_r) : inf;
  const int steps = std::abs(end_col - col) + std::abs(end_row - row);
  list_cell(g, col, row);
  for (int i = 0; i < steps && Path_grid_result_count < PATH_GRID_MAX_CELLS; i++) {
    if (next_c < next_r) {
      col += step_c;
      next_c += delta_c;
    } else {
      row += step_r;
      next_r += delta_r;
    }
    if (col < 0 || row < 0 || col >= g.columns || row >= g.rows) break;
    list_cell(g, col, row);
  }
  return Path_grid_result_count;
}

int path_sector_grid_lookup(int sector, int size_class, const PathPoint& c, float half) {
  Path_grid_result_count = 0;
  PathSector* s = path_sector_get(size_class, sector);
  if (!s || s->grid.bucket_count <= 0 || !(half >= 0.0f)) return 0;
  const SectorGrid& g = s->grid;
  const double c0 = std::floor((c.x - half - g.origin_x) / g.cell_width);
  const double c1 = std::floor((c.x + half - g.origin_x) / g.cell_width);
  const double r0 = std::floor((c.z - half - g.origin_z) / g.cell_depth);
  const double r1 = std::floor((c.z + half - g.origin_z) / g.cell_depth);
  if (!std::isfinite(c0) || !std::isfinite(c1) || !std::isfinite(r0) || !std::isfinite(r1)) return 0;
  const int col0 = static_cast<int>(std::max(c0, 0.0)), col1 = static_cast<int>(std::min(c1, g.columns - 1.0));
  const int row0 = static_cast<int>(std::max(r0, 0.0)), row1 = static_cast<int>(std::min(r1, g.rows - 1.0));
  for (int row = row0; row <= row1; row++)
    for (int col = col0; col <= col1 && Path_grid_result_count < PATH_GRID_MAX_CELLS; col++) list_cell(g, col, row);
  return Path_grid_result_count;
}

uint32_t path_next_query_stamp() {
  // 0 is what a freshly loaded segment carries, so it is never a stamp.
  if (++Query_stamp == 0) ++Query_stamp;
  return Query_stamp;
}

bool path_segment_test(const PathPoint& from, const PathPoint& to, int sector, int mode) {
  const int cls = path_current_size_class();
  PathSector* s = path_sector_get(cls, sector);
  if (!s) return true;
  if (mode & PATH_LINE_OBSTACLES) {
    for (SectorPolygon* p = s->polygons; p; p = p->next) {
      if (!boxes_meet(from.x, from.z, to.x, to.z, p->min_x, p->min_z, p->max_x, p->max_z)) continue;
      // A box wholly on one side of the line cannot hold a crossing.
      const PathPoint corners[4] = {{p->min_x, p->min_z}, {p->max_x, p->min_z}, {p->min_x, p->max_z},
                                    {p->max_x, p->max_z}};
      int above = 0, below = 0;
      for (const PathPoint& c : corners) {
        const float v = path_side(from, to, c);
        above += v > 0.0f;
        below += v < 0.0f;
      }
      if (above == 4 || below == 4) continue;
      for (int i = 0; i < p->count; i++) {
        const PathSegment& seg = p->segments[i];
        if (!boxes_meet(from.x, from.z, to.x, to.z, seg.a->x, seg.a->z, seg.b->x, seg.b->z)) continue;
        if (blocking_kind(path_segment_intersect(from, to, *seg.a, *seg.b))) return false;
      }
    }
  }
  const PathAvoidanceHooks& av = path_avoidance_hooks();
  if ((mode & (PATH_LINE_PROHIBIT | PATH_LINE_AVOID)) && av.segment_blocked &&
      av.segment_blocked(from.x, from.z, to.x, to.z, cls, sector, mode & (PATH_LINE_PROHIBIT | PATH_LINE_AVOID)))
    return false;
  return true;
}

bool path_next_portal_crossing(const PathPoint& from, const PathPoint& to, int sector, PathPoint* crossing,
                               int* next_sector) {
  bool found = false;
  float best = 0.0f;
  for (SectorPortal* p = Path_graph.portals; p; p = p->next) {
    PathPoint at;
    if (path_segment_intersect(from, to, *p->a, *p->b, &at) != PATH_ISECT_CROSS) continue;
    const bool start_on_a = path_side(*p->a, *p->b, from) >= 0.0f;
    if ((start_on_a ? p->sector_a : p->sector_b) != sector) continue;
    const float d = (at.x - from.x) * (at.x - from.x) + (at.z - from.z) * (at.z - from.z);
    if (found && d >= best) continue;
    found = true;
    best = d;
    *crossing = at;
    *next_sector = start_on_a ? p->sector_b : p->sector_a;
  }
  return found;
}

bool path_line_test(const PathPoint& from, int from_sector, const PathPoint& to, int to_sector, int mode) {
  PathPoint cur = from;
  int sector = from_sector;
  auto leg_clear = [&](const PathPoint& a, const PathPoint& b, int s) {
    if (!path_segment_test(a, b, s, mode)) return false;
    return path_point_walkable(0.5f * (a.x + b.x), 0.5f * (a.z + b.z), s) != nullptr;
  };
  for (int hop = 0; hop < MAX_PORTAL_HOPS; hop++) {
    PathPoint at;
    int next = -1;
    if (!path_next_portal_crossing(cur, to, sector, &at, &next)) {
      // A point on the portal itself belongs to both sectors; the line then
      // reaches it without crossing.
      const bool arrived = sector == to_sector || (to_sector >= 0 && to_sector < PFG_SECTORS &&
                                                   (Path_graph.adjacency[sector] & (1u << to_sector)) &&
                                                   path_point_walkable(to.x, to.z, sector) != nullptr);
      return arrived && leg_clear(cur, to, sector);
    }
    if (!leg_clear(cur, at, sector)) return false;
    cur = at;
    sector = next;
  }
  return false;
}

int path_portal_side(int sector_a, int sector_b, const PathPoint& p) {
  for (SectorPortal* q = Path_graph.portals; q; q = q->next) {
    if (!((q->sector_a == sector_a && q->sector_b == sector_b) || (q->sector_a == sector_b && q->sector_b == sector_a)))
      continue;
    const float dx = q->b->x - q->a->x, dz = q->b->z - q->a->z;
    const float len = std::sqrt(dx * dx + dz * dz);
    if (len <= 0.0f) continue;
    const float cx = 0.5f * (q->a->x + q->b->x), cz = 0.5f * (q->a->z + q->b->z);
    const float along = ((p.x - cx) * dx + (p.z - cz) * dz) / len;
    const float across = ((p.x - cx) * dz - (p.z - cz) * dx) / len;
    if (std::fabs(along) > 0.5f * len + PORTAL_SIDE_REACH || std::fabs(across) > PORTAL_SIDE_REACH) continue;
    return path_side(*q->a, *q->b, p) >= 0.0f ? q->sector_a : q->sector_b;
  }
  return sector_b;
}

int path_line_walkable(const vector& from3, const vector& to3, int size_class, int sector) {
  if (!path_sector_get(size_class, sector)) return -1;
  PathPoint cur = path_point(from3);
  const PathPoint to = path_point(to3);
  for (int hop = 0; hop < MAX_PORTAL_HOPS; hop++) {
    const uint32_t stamp = path_next_query_stamp();
    const int cells = path_sector_grid_lookup(sector, size_class, cur, to);
    for (int c = 0; c < cells; c++) {
      GridCell* cell = Path_grid_result[c];
      for (int k = 0; k < cell->count; k++) {
        PathSegment& s = *cell->segments[k];
        if (s.stamp == stamp) continue;
        s.stamp = stamp;
        if ((s.flags & PSEG_DOOR) && path_door_open(s.door, PATH_DOOR_OPEN_FRACTION)) continue;
        if (blocking_kind(path_segment_intersect(cur, to, *s.a, *s.b))) return -1;
      }
    }
    PathPoint at;
    int next = -1;
    if (!path_next_portal_crossing(cur, to, sector, &at, &next)) return sector;
    cur = at;
    sector = next;
  }
  return -1;
}

bool path_wall_contact(PathMove& m) {
  PathSegment& w = *m.wall;
  if (w.stamp == m.stamp) return false;
  w.stamp = m.stamp;
  float len = 0.0f;
  const PathPoint n = normal_of(w, &len);
  if (len <= 0.0f) return false;
  if ((w.flags & PSEG_DOOR) && path_door_open(w.door, PATH_DOOR_OPEN_FRACTION)) return false;
  const PathPoint& a = *w.a;
  const PathPoint& b = *w.b;
  if ((m.fx - a.x) * n.x + (m.fz - a.z) * n.z <= 0.0f) return false;
  if ((m.tx - a.x) * n.x + (m.tz - a.z) * n.z >= PATH_CONTACT_RADIUS) return false;

  const PathPoint f{m.fx - PATH_CONTACT_RADIUS * n.x, m.fz - PATH_CONTACT_RADIUS * n.z};
  const PathPoint t{m.tx - PATH_CONTACT_RADIUS * n.x, m.tz - PATH_CONTACT_RADIUS * n.z};
  const float e = PATH_CONTACT_RADIUS / len;
  // Line against line: the move may meet the wall's line just past an end.
  const float dmx = t.x - f.x, dmz = t.z - f.z, dwx = b.x - a.x, dwz = b.z - a.z;
  const float denom = dmx * dwz - dmz * dwx;
  bool parallel = denom == 0.0f;
  float tm = 0.0f, u = 0.0f;
  if (!parallel) {
    const float ex = a.x - f.x, ez = a.z - f.z;
    tm = (ex * dwz - ez * dwx) / denom;
    u = (ex * dmz - ez * dmx) / denom;
    if (u >= -e / 2 && u <= 1.0f + e / 2 && tm >= -0.001f && tm <= 1.001f) {
      m.t = std::clamp(tm, 0.0f, 1.0f);
      m.cx = m.fx + m.t * (m.tx - m.fx);
      m.cz = m.fz + m.t * (m.tz - m.fz);
      m.corner = 0;
      m.touched = nullptr;
      return true;
    }
  }
  const PathPoint from{m.fx, m.fz}, to{m.tx, m.tz};
  auto near_move = [&](const PathPoint& p) {
    return &p != m.last_end && point_segment_distance_sq(p, from, to) < PATH_CONTACT_RADIUS * PATH_CONTACT_RADIUS;
  };
  const PathPoint* candidate = nullptr;
  if ((parallel || (u >= -2 * e && u <= 2 * e)) && near_move(a)) candidate = &a;
  else if ((parallel || (u >= 1.0f - 2 * e && u <= 1.0f + 2 * e)) && near_move(b)) candidate = &b;
  if (!candidate) return false;
  float hit = 0.0f;
  if (!sweep_point_circle(from, to, *candidate, PATH_CONTACT_RADIUS, &hit)) return false;
  m.t = std::clamp(hit, 0.0f, 1.0f);
  m.cx = m.fx + m.t * (m.tx - m.fx);
  m.cz = m.fz + m.t * (m.tz - m.fz);
  m.corner = 1;
  m.touched = candidate;
  return true;
}

bool path_slide_move(const vector& from, const vector& to, vector* out, int size_class, int sector) {
  PathMove m{};
  m.fx = from.x;
  m.fz = from.z;
  m.tx = to.x;
  m.tz = to.z;
  m.stamp = path_next_query_stamp();
  PathMove hit{};
  if (!first_contact(m, sector, size_class, &hit)) {
    out->set(to.x, from.y, to.z);
    return false;
  }
  // Slide the rest of the motion along the wall, or round the corner.
  PathPoint dir, off;
  if (hit.corner) {
    float rx = hit.cx - hit.touched->x, rz = hit.cz - hit.touched->z;
    const float rl = std::sqrt(rx * rx + rz * rz);
    if (rl > 0.0f) {
      rx /= rl;
      rz /= rl;
    } else {
      rx = 1.0f;
      rz = 0.0f;
    }
    off = {rx, rz};
    dir = {rz, -rx};
  } else {
    float len = 0.0f;
    off = normal_of(*hit.wall, &len);
    dir = {off.z, -off.x};
  }
  const float rest = (to.x - hit.cx) * dir.x + (to.z - hit.cz) * dir.z;
  PathMove slide{};
  slide.fx = hit.cx + SLIDE_OFFSET * off.x;
  slide.fz = hit.cz + SLIDE_OFFSET * off.z;
  slide.tx = slide.fx + rest * dir.x;
  slide.tz = slide.fz + rest * dir.z;
  slide.stamp = path_next_query_stamp();
  slide.last_end = hit.touched;
  PathMove second{};
  if (first_contact(slide, sector, size_class, &second)) out->set(second.cx, from.y, second.cz);
  else out->set(slide.tx, from.y, slide.tz);
  return true;
}

bool path_door_blocks(const vector& from3, const vector& dir3, int sector, int size_class, float reach) {
  if (sector < 0 || sector >= PFG_SECTORS || Path_graph.door_list_count[sector] <= 0) return false;
  const PathPoint from = path_point(from3);
  const PathPoint to{from.x + dir3.x * reach, from.z + dir3.z * reach};
  const uint32_t stamp = path_next_query_stamp();
  const int cells = path_sector_grid_lookup(sector, size_class, from, to);
  for (int c = 0; c < cells; c++) {
    GridCell* cell = Path_grid_result[c];
    for (int k = 0; k < cell->count; k++) {
      PathSegment& s = *cell->segments[k];
      if (!(s.flags & PSEG_DOOR) || s.stamp == stamp) continue;
      s.stamp = stamp;
      float len = 0.0f;
      const PathPoint n = normal_of(s, &len);
      if (dir3.x * n.x + dir3.z * n.z >= 0.0f) continue;  // not facing the move
      if (path_door_open(s.door, PATH_DOOR_OPEN_FRACTION)) continue;
      const int kind = path_segment_intersect(from, to, *s.a, *s.b);
      if (kind == PATH_ISECT_PARALLEL || kind == PATH_ISECT_COLLINEAR || kind == PATH_ISECT_SHARED_END) continue;
      if (Path_isect.t >= 0.0f && Path_isect.t < 1.0f && Path_isect.u >= -0.01f && Path_isect.u <= 1.01f)
        return true;
    }
  }
  return false;
}

void path_set_door_open_hook(PathDoorOpenFn fn) { Door_open_hook = fn; }

bool path_door_open(int door, float fraction) {
  return Door_open_hook ? Door_open_hook(door, fraction) : level_door_open_default(door, fraction);
}

bool path_doorway(int movable, float* x, float* z, int* sector) {
  for (int s = 0; s < PFG_SECTORS; s++) {
    const SectorGrid& g = Path_graph.sectors[0][s].grid;
    for (int b = 0; b < g.bucket_count; b++) {
      for (int e = 0; e < g.buckets[b].count; e++) {
        const GridCell& c = g.buckets[b].entries[e];
        for (int k = 0; k < c.count; k++) {
          const PathSegment& seg = *c.segments[k];
          if (!(seg.flags & PSEG_DOOR) || seg.door != movable) continue;
          *x = 0.5f * (seg.a->x + seg.b->x);
          *z = 0.5f * (seg.a->z + seg.b->z);
          *sector = s;
          return true;
        }
      }
    }
  }
  return false;
}
