#include "Engine/ai/avoidance.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "Engine/ai/path_geometry.h"
#include "Engine/ai/path_search.h"
#include "quarn/gr/gr3d_draw.h"
#include "quarn/os/console.h"

AvoidPrimitive Avoid_primitives[AA_MAX_PRIMITIVES];
AvoidPoly Avoid_polys[AA_MAX_POLYS];
ObstaclePoly Obstacle_polys[AA_MAX_POLYS];
AvoidHandle Avoid_handles[AA_MAX_HANDLES];
AvoidSettings Avoid_settings;
AvoidScriptShape Avoid_script_shapes[AA_MAX_SCRIPT_SHAPES];
AvoidScriptSegment Avoid_script_segments[AA_MAX_SCRIPT_SEGMENTS];

namespace {

constexpr float OCTAGON_SIDE = 0.4142135f;     // tan(22.5 degrees)
constexpr float OCTAGON_OUTER = 1.1717894f;    // 1 / cos^2(22.5 degrees), squared radius of its corners
constexpr float CROSS_LO = 0.0002f, CROSS_HI = 0.9998f;
constexpr float NODE_OFFSET = 0.03f;
constexpr float BLOCK_MARGIN = 0.05f;
constexpr float HANDLE_MARGIN = -0.25f;
// Lines that only graze a primitive's outline (a path along its corners)
// pass: the line tests shrink primitives by this much.
constexpr float LINE_MARGIN = 0.01f;
constexpr float EMPTY_BOX = 3.4028235e38f;

GraphNode* Link_pool[AA_LINK_ARRAYS][AA_NODE_LINKS];
bool Link_used[AA_LINK_ARRAYS];
PathSegment* Backup[AA_BACKUP_WALLS];
int Backup_count;
int Prohibit_count[PFG_SIZE_CLASSES][PFG_SECTORS];
int Avoid_count[PFG_SIZE_CLASSES][PFG_SECTORS];
int Script_segment_count[PFG_SIZE_CLASSES][PFG_SECTORS];

float dot(const PathPoint& a, const PathPoint& b) { return a.x * b.x + a.z * b.z; }
PathPoint unit(float x, float z) {
  const float l = std::sqrt(x * x + z * z);
  return l > 0.0f ? PathPoint{x / l, z / l} : PathPoint{1.0f, 0.0f};
}
PathPoint turn(const PathPoint& a) { return {-a.z, a.x}; }

bool boxes_meet(float ax0, float ax1, float az0, float az1, float bx0, float bx1, float bz0, float bz1) {
  return !(ax1 < bx0 || bx1 < ax0 || az1 < bz0 || bz1 < az0);
}

bool valid(int layer, int sector) {
  return layer >= 0 && layer < PFG_SIZE_CLASSES && sector >= 0 && sector < PFG_SECTORS;
}

// ---- link arrays ----------------------------------------------------------------------------

GraphNode** link_alloc() {
  for (int i = 0; i < AA_LINK_ARRAYS; i++)
    if (!Link_used[i]) {
      Link_used[i] = true;
      return Link_pool[i];
    }
  return nullptr;
}

void link_free(GraphNode** links) {
  if (!links) return;
  const long i = (reinterpret_cast<GraphNode* (*)[AA_NODE_LINKS]>(links) - Link_pool);
  if (i >= 0 && i < AA_LINK_ARRAYS) Link_used[i] = false;
}

// ---- primitives -----------------------------------------------------------------------------

void prim_box(AvoidPrimitive& p) {
  p.min_x = p.min_z = EMPTY_BOX;
  p.max_x = p.max_z = -EMPTY_BOX;
  for (int i = 0; i < p.corners; i++) {
    p.min_x = std::min(p.min_x, p.pts[i].x);
    p.max_x = std::max(p.max_x, p.pts[i].x);
    p.min_z = std::min(p.min_z, p.pts[i].z);
    p.max_z = std::max(p.max_z, p.pts[i].z);
  }
}

// Corners in one turning sense: (-,-) (+,-) (+,+) (-,+) along (a1, a2) for a
// rectangle, the octagon round the circle likewise.
void prim_corners(AvoidPrimitive& p) {
  const PathPoint a = p.axis[0], b = p.axis[1];
  auto at = [&](float u, float v) { return PathPoint{p.cx + a.x * u + b.x * v, p.cz + a.z * u + b.z * v}; };
  if (p.flags & AP_RECT) {
    p.corners = 4;
    p.pts[0] = at(-p.h1, -p.h2);
    p.pts[1] = at(p.h1, -p.h2);
    p.pts[2] = at(p.h1, p.h2);
    p.pts[3] = at(-p.h1, p.h2);
  } else {
    const float r = p.h2, t = OCTAGON_SIDE * p.h2;
    p.corners = 8;
    const float uv[8][2] = {{r, -t}, {r, t}, {t, r}, {-t, r}, {-r, t}, {-r, -t}, {-t, -r}, {t, -r}};
    for (int i = 0; i < 8; i++) p.pts[i] = at(uv[i][0], uv[i][1]);
  }
  prim_box(p);
}

int prim_id(const AvoidPrimitive* p) { return static_cast<int>(p - Avoid_primitives); }

void count_prim(const AvoidPrimitive& p, int delta) {
  if (!valid(p.layer, p.sector)) return;
  int& c = (p.flags & AP_PROHIBIT) ? Prohibit_count[p.layer][p.sector] : Avoid_count[p.layer][p.sector];
  c = std::max(0, c + delta);
}

void free_primitive(int id) {
  if (id < 0 || id >= AA_MAX_PRIMITIVES || !(Avoid_primitives[id].flags & AP_IN_USE)) return;
  count_prim(Avoid_primitives[id], -1);
  Avoid_primitives[id].flags = 0;
}

void free_script_segment(int index) {
  if (index < 0 || index >= AA_MAX_SCRIPT_SEGMENTS) return;
  AvoidScriptSegment& g = Avoid_script_segments[index];
  if ((g.flags & AP_IN_USE) && valid(g.layer, g.sector) && Script_segment_count[g.layer][g.sector] > 0)
    Script_segment_count[g.layer][g.sector]--;
  g.flags = 0;
  g.layer = g.sector = -1;
}

// Whether a-b crosses a script barrier of the sector (touching counts).
bool script_segments_cross(const PathPoint& a, const PathPoint& b, int cls, int sector) {
  if (!valid(cls, sector) || Script_segment_count[cls][sector] == 0) return false;
  for (const AvoidScriptSegment& g : Avoid_script_segments) {
    if (!(g.flags & AP_IN_USE) || g.layer != cls || g.sector != sector) continue;
    PathPoint at;
    path_segment_intersect(a, b, g.a, g.b, &at);
    if (Path_isect.denom == 0.0f) continue;
    if (Path_isect.t >= 0.0f && Path_isect.t <= 1.0f && Path_isect.u >= 0.0f && Path_isect.u <= 1.0f) return true;
  }
  return false;
}

// ---- nearest crossing of a segment with a polygon ----------------------------------------------

bool nearest_crossing(const PathPoint& p, const PathPoint& q, const PathPoint* r, int n, float* t_out,
                      PathPoint* at, int* end_index) {
  bool found = false;
  float best = 0.0f;
  for (int k = 0; k < n; k++) {
    const int i0 = k == 0 ? n - 1 : k - 1, i1 = k;
    PathPoint c;
    path_segment_intersect(p, q, r[i0], r[i1], &c);
    const float t = Path_isect.t, u = Path_isect.u;
    if (Path_isect.denom == 0.0f) continue;
    if (t < CROSS_LO || t > CROSS_HI || u < CROSS_LO || u > CROSS_HI) continue;
    if (!found || t < best) {
      found = true;
      best = t;
      *end_index = i1;
    }
  }
  if (!found) return false;
  *t_out = best;
  *at = {p.x + best * (q.x - p.x), p.z + best * (q.z - p.z)};
  return true;
}

// ---- avoid polygons ---------------------------------------------------------------------------

void poly_box_from(AvoidPoly& P, const AvoidPrimitive& q) {
  P.min_x = q.min_x;
  P.max_x = q.max_x;
  P.min_z = q.min_z;
  P.max_z = q.max_z;
}

bool poly_from_primitive(AvoidPoly& P, const AvoidPrimitive& q) {
  if (!(q.flags & (AP_RECT | AP_CIRCLE))) return false;
  P.flags = static_cast<uint16_t>(OP_IN_USE | (q.flags & (AP_PROHIBIT | AP_AVOID)));
  P.prim_count = 1;
  P.prims[0] = static_cast<uint8_t>(prim_id(&q));
  P.layer = q.layer;
  P.sector = q.sector;
  P.outline_count = q.corners;
  for (int i = 0; i < q.corners; i++) P.outline[i] = q.pts[i];
  poly_box_from(P, q);
  return true;
}

// Traces the outline of the union of P and primitive q.
bool merge_primitive(AvoidPoly& P, const AvoidPrimitive& q) {
  if ((P.flags & (AP_PROHIBIT | AP_AVOID)) != (q.flags & (AP_PROHIBIT | AP_AVOID))) return false;
  if (P.prim_count >= AA_MAX_POLY_PRIMITIVES) return false;
  AvoidPoly T{};
  if (!poly_from_primitive(T, q)) return false;
  int first = -1;
  for (int i = 0; i < P.outline_count && first < 0; i++)
    if (!aa_point_in_primitive(q, P.outline[i].x, P.outline[i].z, 0.0f)) first = i;
  if (P.outline_count == 0 || first < 0) {
    P.outline_count = T.outline_count;
    std::memcpy(P.outline, T.outline, sizeof T.outline);
    poly_box_from(P, q);
    P.prims[P.prim_count++] = static_cast<uint8_t>(prim_id(&q));
    return true;
  }
  PathPoint out[AA_MAX_OUTLINE];
  int emitted = 0, switches = 0;
  const AvoidPoly* cur = &P;
  const AvoidPoly* other = &T;
  PathPoint at = P.outline[first];
  int next = (first + 1) % P.outline_count;
  const PathPoint start = P.outline[first];
  out[emitted++] = start;
  // Each step emits a point; a trace longer than the outline fails.
  for (int steps = 0; steps < 4 * AA_MAX_OUTLINE; steps++) {
    const PathPoint to = cur->outline[next];
    float t;
    PathPoint c;
    int end;
    if (nearest_crossing(at, to, other->outline, other->outline_count, &t, &c, &end)) {
      if (emitted >= AA_MAX_OUTLINE - 1) return false;
      out[emitted++] = c;
      switches++;
      std::swap(cur, other);
      at = c;
      next = end;
      continue;
    }
    if (cur == &P && next == first) {
      if (switches == 0 || (switches & 1)) return false;
      P.outline_count = static_cast<int16_t>(emitted);
      std::memcpy(P.outline, out, sizeof(PathPoint) * emitted);
      P.min_x = std::min(P.min_x, T.min_x);
      P.max_x = std::max(P.max_x, T.max_x);
      P.min_z = std::min(P.min_z, T.min_z);
      P.max_z = std::max(P.max_z, T.max_z);
      P.prims[P.prim_count++] = static_cast<uint8_t>(prim_id(&q));
      return true;
    }
    if (emitted >= AA_MAX_OUTLINE - 1) return false;
    out[emitted++] = to;
    at = to;
    next = (next + 1) % cur->outline_count;
  }
  return false;
}

// ---- obstacle polygons ------------------------------------------------------------------------

void op_extend(ObstaclePoly& O, float x, float z) {
  O.min_x = std::min(O.min_x, x);
  O.max_x = std::max(O.max_x, x);
  O.min_z = std::min(O.min_z, z);
  O.max_z = std::max(O.max_z, z);
}

int op_node(ObstaclePoly& O, const PathPoint& p, bool find) {
  if (find)
    for (int i = O.node_count - 1; i >= 0; i--)
      if (O.nodes[i].cx == p.x && O.nodes[i].cz == p.z) return i;
  if (O.node_count >= AA_MAX_NODES) return -1;
  ObstacleNode& n = O.nodes[O.node_count];
  n = ObstacleNode{};
  n.cx = n.ox = p.x;
  n.cz = n.oz = p.z;
  op_extend(O, p.x, p.z);
  return O.node_count++;
}

bool op_segment(ObstaclePoly& O, int a, int b, PathSegment* wall, int end_mark) {
  if (O.seg_count >= AA_MAX_OUTLINE || a < 0 || b < 0) return false;
  OutlineSegment& s = O.segs[O.seg_count++];
  s.n1 = static_cast<int16_t>(a);
  s.n2 = static_cast<int16_t>(b);
  s.wall = wall;
  s.end_mark = end_mark;
  const PathPoint d = unit(O.nodes[b].cx - O.nodes[a].cx, O.nodes[b].cz - O.nodes[a].cz);
  s.nx = d.z;
  s.nz = -d.x;
  return true;
}

PathPoint wall_direction(const PathSegment& w) {
  PathPoint d = unit(w.b->x - w.a->x, w.b->z - w.a->z);
  if (w.flags & PSEG_REVERSED) d = {-d.x, -d.z};
  return d;
}

// The end of a wall on the outline's inside of from-to.
PathPoint wall_end(const PathSegment& w, const PathPoint& from, const PathPoint& to) {
  return path_side(from, to, *w.a) > 0.0f ? *w.a : *w.b;
}

bool add_outline_segment(ObstaclePoly& O, const PathPoint& from, const PathPoint& to, PathSegment* w_start,
                         PathSegment* w_end) {
  const int a = op_node(O, from, true);
  const int b = op_node(O, to, true);
  if (!op_segment(O, a, b, nullptr, 0)) return false;
  const PathPoint d = unit(to.x - from.x, to.z - from.z);
  if (O.flags & OP_PROHIBIT) {
    if (w_start) {
      const int w = op_node(O, wall_end(*w_start, from, to), false);
      if (!op_segment(O, w, a, w_start, 0)) return false;
    }
    if (w_end) {
      const int w = op_node(O, wall_end(*w_end, from, to), false);
      if (!op_segment(O, b, w, w_end, 1)) return false;
    }
  } else {
    if (w_start) {
      const PathPoint dir = aa_corner_direction(wall_direction(*w_start), d);
      O.nodes[a].dx = dir.x;
      O.nodes[a].dz = dir.z;
      O.nodes[a].dir_mark = -1;
    }
    if (w_end) {
      const PathPoint dir = aa_corner_direction(d, wall_direction(*w_end));
      O.nodes[b].dx = dir.x;
      O.nodes[b].dz = dir.z;
      O.nodes[b].dir_mark = -1;
    }
  }
  return true;
}

void free_obstacle_poly(int index) {
  if (index < 0 || index >= AA_MAX_POLYS || !(Obstacle_polys[index].flags & OP_IN_USE)) return;
  ObstaclePoly& O = Obstacle_polys[index];
  for (int i = 0; i < O.node_count; i++) {
    link_free(O.nodes[i].links);
    O.nodes[i].links = nullptr;
  }
  for (int i = 0; i < O.seg_count; i++) {
    PathSegment* w = O.segs[i].wall;
    if (!w) continue;
    if (w->avoid_uses > 0) w->avoid_uses--;
    if (w->avoid_uses == 0) w->flags &= static_cast<uint16_t>(~PSEG_AVOID_CLOSED);
  }
  O.flags = 0;
  O.seg_count = O.node_count = 0;
}

void free_avoid_poly(int index) {
  if (index < 0 || index >= AA_MAX_POLYS || !(Avoid_polys[index].flags & OP_IN_USE)) return;
  Avoid_polys[index].flags = 0;
  Avoid_polys[index].prim_count = 0;
  Avoid_polys[index].obstacle = -1;
}

void do_poly_seg_list_links(int index);

// ---- joining prohibit polygons along a shared wall --------------------------------------------

struct WallEntry {
  int poly, seg;
  float pos;  // of the crossing node along the wall, from its walkable-side start
};

PathPoint seg_direction(const ObstaclePoly& O, const OutlineSegment& s) {
  return unit(O.nodes[s.n2].cx - O.nodes[s.n1].cx, O.nodes[s.n2].cz - O.nodes[s.n1].cz);
}

void seg_normal(ObstaclePoly& O, OutlineSegment& s) {
  const PathPoint d = seg_direction(O, s);
  s.nx = d.z;
  s.nz = -d.x;
}

void move_node(ObstacleNode& n, const ObstacleNode& onto) {
  n.cx = onto.cx;
  n.cz = onto.cz;
}

void set_direction(ObstaclePoly& O, int node, const PathPoint& dir) {
  ObstacleNode& n = O.nodes[node];
  n.dx = dir.x;
  n.dz = dir.z;
  n.dir_mark = 1;
  // A polygon built earlier has its offsets already.
  n.ox = n.cx + NODE_OFFSET * dir.x;
  n.oz = n.cz + NODE_OFFSET * dir.z;
  n.point = (O.flags & OP_PROHIBIT) ? PathPoint{n.cx, n.cz} : PathPoint{n.ox, n.oz};
}

// The outline segment beside a closing segment that has `node` at the given
// end: the one just before it in the list, or the one before that.
int outline_neighbour(const ObstaclePoly& O, int closing, int node, bool starts) {
  for (int k = closing - 1; k >= closing - 2 && k >= 0; k--)
    if ((starts ? O.segs[k].n1 : O.segs[k].n2) == node && !O.segs[k].wall) return k;
  return -1;
}

// Two prohibit areas closing along one wall would leave a pocket of wall
// between them that no node watches: their closing segments are joined so
// the outline runs from one area's crossing to the next.
void join_along_walls(int index) {
  ObstaclePoly& O = Obstacle_polys[index];
  const PathSegment* done[AA_MAX_OUTLINE];
  int done_count = 0;
  for (int s = 0; s < O.seg_count; s++) {
    const PathSegment* w = O.segs[s].wall;
    if (!w || w->avoid_uses < 2 || std::find(done, done + done_count, w) != done + done_count) continue;
    done[done_count++] = w;
    WallEntry list[AA_MAX_POLYS * AA_MAX_OUTLINE];
    int count = 0;
    const float ex = w->b->x - w->a->x, ez = w->b->z - w->a->z;
    const bool along_x = std::fabs(ex) > std::fabs(ez);
    for (int p = 0; p < AA_MAX_POLYS; p++) {
      const ObstaclePoly& P = Obstacle_polys[p];
      if (!(P.flags & OP_IN_USE) || !(P.flags & OP_PROHIBIT) || (P.flags & OP_UNLINKED) || P.layer != O.layer ||
          P.sector != O.sector)
        continue;
      for (int k = 0; k < P.seg_count; k++) {
        const OutlineSegment& c = P.segs[k];
        if (c.wall != w) continue;
        const ObstacleNode& cross = P.nodes[c.end_mark ? c.n1 : c.n2];
        float pos = along_x ? (cross.cx - w->a->x) / ex : (cross.cz - w->a->z) / ez;
        if (w->flags & PSEG_REVERSED) pos = 1.0f - pos;
        list[count++] = {p, k, pos};
      }
    }
    if (count < 2) continue;
    std::stable_sort(list, list + count, [](const WallEntry& a, const WallEntry& b) { return a.pos < b.pos; });
    for (int i = 0; i < count; i++) {
      ObstaclePoly& E = Obstacle_polys[list[i].poly];
      OutlineSegment& es = E.segs[list[i].seg];
      if (es.end_mark == 1 && i + 1 < count) {
        ObstaclePoly& N = Obstacle_polys[list[i + 1].poly];
        const OutlineSegment& ns = N.segs[list[i + 1].seg];
        move_node(E.nodes[es.n2], N.nodes[ns.n2]);
        seg_normal(E, es);
        const int out = outline_neighbour(N, list[i + 1].seg, ns.n2, true);
        if (out < 0) continue;
        const PathPoint dir = aa_corner_direction(seg_direction(E, es), seg_direction(N, N.segs[out]));
        set_direction(E, es.n2, dir);
        set_direction(N, ns.n2, dir);
      } else if (es.end_mark == 0 && i > 0) {
        ObstaclePoly& R = Obstacle_polys[list[i - 1].poly];
        const OutlineSegment& rs = R.segs[list[i - 1].seg];
        move_node(E.nodes[es.n1], R.nodes[rs.n1]);
        seg_normal(E, es);
        const int in = outline_neighbour(R, list[i - 1].seg, rs.n1, false);
        if (in < 0) continue;
        const PathPoint dir = aa_corner_direction(seg_direction(R, R.segs[in]), seg_direction(E, es));
        set_direction(E, es.n1, dir);
        set_direction(R, rs.n1, dir);
      }
    }
  }
}

struct Crossing {
  float t;
  PathPoint at;
  PathSegment* wall;
};

int create_obstacle_poly_from_avoid_poly(int avoid_index, bool link_now) {
  AvoidPoly& A = Avoid_polys[avoid_index];
  int index = -1;
  for (int i = 0; i < AA_MAX_POLYS && index < 0; i++)
    if (!(Obstacle_polys[i].flags & OP_IN_USE)) index = i;
  if (index < 0) return -1;
  ObstaclePoly& O = Obstacle_polys[index];
  O.flags = OP_IN_USE | ((A.flags & AP_PROHIBIT) ? OP_PROHIBIT : OP_AVOID);
  O.avoid = avoid_index;
  O.seg_count = O.node_count = 0;
  O.layer = A.layer;
  O.sector = A.sector;
  O.max_z = O.max_x = -EMPTY_BOX;
  O.min_z = O.min_x = EMPTY_BOX;

  const int n = A.outline_count;
  PathSector* S = path_sector_get(A.layer, A.sector);
  bool inside = path_point_in_sector(vector{A.outline[n - 1].x, 0.0f, A.outline[n - 1].z}, A.layer, A.sector);
  int total = 0;
  bool ok = n >= 3 && S;
  for (int k = 0; k < n && ok; k++) {
    const PathPoint p = A.outline[k == 0 ? n - 1 : k - 1], q = A.outline[k];
    Crossing cross[32];
    int count = 0;
    const uint32_t stamp = path_next_query_stamp();
    const int cells = path_sector_grid_lookup(A.sector, A.layer, p, q);
    for (int c = 0; c < cells; c++) {
      GridCell* cell = Path_grid_result[c];
      for (int s = 0; s < cell->count; s++) {
        PathSegment* w = cell->segments[s];
        if ((w->flags & PSEG_DOOR) || w->stamp == stamp) continue;
        w->stamp = stamp;
        PathPoint at;
        path_segment_intersect(p, q, *w->a, *w->b, &at);
        if (Path_isect.denom == 0.0f) continue;
        const float t = Path_isect.t, u = Path_isect.u;
        if (t < CROSS_LO || t > CROSS_HI || u < CROSS_LO || u > CROSS_HI || count >= 32) continue;
        cross[count++] = {t, {p.x + t * (q.x - p.x), p.z + t * (q.z - p.z)}, w};
      }
    }
    total += count;
    if (count == 0) {
      if (inside) ok = add_outline_segment(O, p, q, nullptr, nullptr);
      continue;
    }
    std::sort(cross, cross + count, [](const Crossing& a, const Crossing& b) { return a.t < b.t; });
    PathPoint from = p;
    PathSegment* prev = nullptr;
    for (int c = 0; c < count && ok; c++) {
      if (inside) ok = add_outline_segment(O, from, cross[c].at, prev, cross[c].wall);
      inside = !inside;
      from = cross[c].at;
      prev = cross[c].wall;
    }
    if (ok && inside) ok = add_outline_segment(O, from, q, prev, nullptr);
  }
  if (!ok || (total & 1) || O.seg_count == 0) {
    O.flags = 0;
    O.seg_count = O.node_count = 0;
    return -1;
  }
  for (int i = 0; i < O.seg_count; i++) {
    PathSegment* w = O.segs[i].wall;
    if (!w) continue;
    w->flags |= PSEG_AVOID_CLOSED;
    if (w->avoid_uses < 255) w->avoid_uses++;
    if (Backup_count < AA_BACKUP_WALLS) Backup[Backup_count++] = w;
    else std::printf("ran out of backup segs\n");
  }
  for (int i = 0; i < O.node_count; i++) O.nodes[i].dir_mark = O.nodes[i].dir_mark == -1 ? 1 : 0;
  if ((O.flags & OP_PROHIBIT) && total > 0) join_along_walls(index);
  // Corner directions.
  for (int s = 0; s < O.seg_count; s++) {
    for (int end = 0; end < 2; end++) {
      const int ni = end ? O.segs[s].n2 : O.segs[s].n1;
      ObstacleNode& node = O.nodes[ni];
      if (node.dir_mark == 1) continue;
      int touching[2], found = 0;
      for (int k = 0; k < O.seg_count && found < 2; k++)
        if (O.segs[k].n1 == ni || O.segs[k].n2 == ni) touching[found++] = k;
      if (found == 2) {
        const int in = O.segs[touching[0]].n2 == ni ? touching[0] : touching[1];
        const int out = in == touching[0] ? touching[1] : touching[0];
        const OutlineSegment& si = O.segs[in];
        const OutlineSegment& so = O.segs[out];
        const PathPoint d1 = unit(O.nodes[si.n2].cx - O.nodes[si.n1].cx, O.nodes[si.n2].cz - O.nodes[si.n1].cz);
        const PathPoint d2 = unit(O.nodes[so.n2].cx - O.nodes[so.n1].cx, O.nodes[so.n2].cz - O.nodes[so.n1].cz);
        const PathPoint dir = aa_corner_direction(d1, d2);
        node.dx = dir.x;
        node.dz = dir.z;
      } else {
        node.dx = node.dz = 1.0f;  // a wall-end node: kept as the original layout has it
      }
      node.dir_mark = 1;
    }
  }
  // Node set-up.
  for (int i = 0; i < O.node_count; i++) {
    ObstacleNode& node = O.nodes[i];
    node.ox = node.cx + NODE_OFFSET * node.dx;
    node.oz = node.cz + NODE_OFFSET * node.dz;
    node.point = (O.flags & OP_PROHIBIT) ? PathPoint{node.cx, node.cz} : PathPoint{node.ox, node.oz};
    node.node = GraphNode{};
    node.node.point = &node.point;
    node.node.flags = GN_AVOIDANCE;
    node.node.sector = static_cast<uint16_t>(O.sector);
    node.links = link_alloc();
    node.node.links = node.links;
  }
  if (link_now)
    for (int i = 0; i < AA_MAX_POLYS; i++) {
      const ObstaclePoly& P = Obstacle_polys[i];
      if ((P.flags & OP_IN_USE) && !(P.flags & OP_UNLINKED) && P.layer == O.layer && P.sector == O.sector)
        do_poly_seg_list_links(i);
    }
  return index;
}

void do_poly_seg_list_links(int index) {
  ObstaclePoly& O = Obstacle_polys[index];
  const int saved_class = path_current_size_class(), saved_sector = path_current_sector();
  path_sector_select(O.layer, O.sector);
  for (int i = 0; i < O.node_count; i++) {
    ObstacleNode& node = O.nodes[i];
    if (!node.links) {
      std::printf("do_poly_seg_list_links -- out of memory\n");
      break;
    }
    node.node.link_count = 0;
    const PathPoint at = (O.flags & OP_PROHIBIT) ? PathPoint{node.ox, node.oz} : node.point;
    path_mark_visible_nodes(at, O.sector, PATH_LINE_ALL);
    int expected = 0;
    PathSector* S = path_sector_get(O.layer, O.sector);
    for (int k = 0; S && k < S->node_count; k++) expected += (S->nodes[k].flags & GN_MARK) ? 1 : 0;
    for (int p = 0; p < AA_MAX_POLYS; p++) {
      const ObstaclePoly& P = Obstacle_polys[p];
      if (!(P.flags & OP_IN_USE) || (P.flags & OP_UNLINKED) || P.layer != O.layer || P.sector != O.sector) continue;
      for (int k = 0; k < P.node_count; k++) expected += (P.nodes[k].node.flags & GN_MARK) ? 1 : 0;
    }
    if (node.node.flags & GN_MARK) {
      expected--;
      node.node.flags &= static_cast<uint16_t>(~GN_MARK);
    }
    auto link = [&](GraphNode* g) {
      if (node.node.link_count >= AA_NODE_LINKS) return;
      for (int k = 0; k < node.node.link_count; k++)
        if (node.links[k] == g) return;
      node.links[node.node.link_count++] = g;
    };
    for (int s = 0; s < O.seg_count; s++) {
      int other = -1;
      if (O.segs[s].n1 == i) other = O.segs[s].n2;
      else if (O.segs[s].n2 == i) other = O.segs[s].n1;
      if (other < 0 || other == i) continue;
      GraphNode* g = &O.nodes[other].node;
      if (g->flags & GN_MARK) g->flags &= static_cast<uint16_t>(~GN_MARK);
      else expected++;
      link(g);
    }
    for (int p = 0; p < AA_MAX_POLYS; p++) {
      ObstaclePoly& P = Obstacle_polys[p];
      if (!(P.flags & OP_IN_USE) || (P.flags & OP_UNLINKED) || P.layer != O.layer || P.sector != O.sector) continue;
      for (int k = 0; k < P.node_count; k++)
        if (P.nodes[k].node.flags & GN_MARK) link(&P.nodes[k].node);
    }
    for (int k = 0; S && k < S->node_count && node.node.link_count < expected; k++)
      if (S->nodes[k].flags & GN_MARK) link(&S->nodes[k]);
  }
  if (saved_class >= 0) path_sector_select(saved_class, saved_sector);
}

void relink(int layer, int sector) {
  for (int i = 0; i < AA_MAX_POLYS; i++) {
    const ObstaclePoly& P = Obstacle_polys[i];
    if ((P.flags & OP_IN_USE) && !(P.flags & OP_UNLINKED) && P.layer == layer && P.sector == sector)
      do_poly_seg_list_links(i);
  }
}

// Builds (or rebuilds) the obstacle polygon of an avoid polygon; a failed
// build drops the avoid polygon.
bool rebuild(int avoid_index, bool link_now) {
  AvoidPoly& A = Avoid_polys[avoid_index];
  free_obstacle_poly(A.obstacle);
  A.obstacle = static_cast<int16_t>(create_obstacle_poly_from_avoid_poly(avoid_index, link_now));
  if (A.obstacle >= 0) return true;
  std::printf("create_obstacle_poly_from_avoid_poly failed\n");
  free_avoid_poly(avoid_index);
  return false;
}

bool poly_meets(const AvoidPoly& A, const AvoidPrimitive& q) {
  if (!boxes_meet(A.min_x, A.max_x, A.min_z, A.max_z, q.min_x, q.max_x, q.min_z, q.max_z)) return false;
  for (int i = 0; i < A.prim_count; i++)
    if (aa_primitives_meet(Avoid_primitives[A.prims[i]], q)) return true;
  return false;
}

int new_avoid_poly(const AvoidPrimitive& q) {
  for (int i = 0; i < AA_MAX_POLYS; i++)
    if (!(Avoid_polys[i].flags & OP_IN_USE)) {
      Avoid_polys[i] = AvoidPoly{};
      Avoid_polys[i].obstacle = -1;
      if (!poly_from_primitive(Avoid_polys[i], q)) return -1;
      return i;
    }
  return -1;
}

// Merges a primitive into the avoid polygons it meets; false when it ends
// in none.
bool insert_primitive(int id, bool link_now) {
  const AvoidPrimitive& q = Avoid_primitives[id];
  int hits[AA_MAX_POLYS], count = 0;
  for (int i = 0; i < AA_MAX_POLYS; i++) {
    const AvoidPoly& A = Avoid_polys[i];
    if ((A.flags & OP_IN_USE) && A.layer == q.layer && A.sector == q.sector &&
        (A.flags & (AP_PROHIBIT | AP_AVOID)) == (q.flags & (AP_PROHIBIT | AP_AVOID)) && poly_meets(A, q))
      hits[count++] = i;
  }
  if (count == 0) {
    const int a = new_avoid_poly(q);
    return a >= 0 && rebuild(a, link_now);
  }
  if (count == 1) {
    Backup_count = 0;
    if (!merge_primitive(Avoid_polys[hits[0]], q)) {
      std::printf("add_primative_to_avoid_poly failed\n");
      // Wholly inside the outline: the union is the outline as it stands.
      const AvoidPoly& A = Avoid_polys[hits[0]];
      bool within = A.prim_count < AA_MAX_POLY_PRIMITIVES;
      for (int i = 0; i < q.corners && within; i++) {
        bool in = false;
        for (int k = 0; k < A.prim_count && !in; k++)
          in = aa_point_in_primitive(Avoid_primitives[A.prims[k]], q.pts[i].x, q.pts[i].z, 0.001f);
        within = in;
      }
      if (!within) return false;
      Avoid_polys[hits[0]].prims[Avoid_polys[hits[0]].prim_count++] = static_cast<uint8_t>(id);
      return true;
    }
    return rebuild(hits[0], link_now);
  }
  // Several: all into the one with the most primitives.
  std::sort(hits, hits + count, [](int a, int b) { return Avoid_polys[a].prim_count > Avoid_polys[b].prim_count; });
  AvoidPoly& into = Avoid_polys[hits[0]];
  bool ok = merge_primitive(into, q);
  for (int h = 1; h < count && ok; h++) {
    AvoidPoly& from = Avoid_polys[hits[h]];
    for (int k = 0; k < from.prim_count && ok; k++) ok = merge_primitive(into, Avoid_primitives[from.prims[k]]);
    free_obstacle_poly(from.obstacle);
    free_avoid_poly(hits[h]);
  }
  if (!ok) std::printf("bad intersection -- multiple avoid_polys\n");
  return rebuild(hits[0], link_now) && ok;
}

// ---- the search's hooks ------------------------------------------------------------------------

bool hook_segment_blocked(float x0, float z0, float x1, float z1, int cls, int sector, int mode) {
  if (!valid(cls, sector)) return false;
  if ((mode & PATH_LINE_PROHIBIT) && script_segments_cross({x0, z0}, {x1, z1}, cls, sector)) return true;
  const bool prohibit = (mode & PATH_LINE_PROHIBIT) && Prohibit_count[cls][sector] > 0;
  const bool avoid = (mode & PATH_LINE_AVOID) && Avoid_count[cls][sector] > 0;
  if (!prohibit && !avoid) return false;
  const AvoidPrimitive seg = aa_segment_shape({x0, z0}, {x1, z1});
  for (const AvoidPrimitive& p : Avoid_primitives) {
    if (!(p.flags & AP_IN_USE) || p.layer != cls || p.sector != sector) continue;
    if ((p.flags & AP_PROHIBIT) ? !prohibit : !avoid) continue;
    if (!boxes_meet(seg.min_x, seg.max_x, seg.min_z, seg.max_z, p.min_x, p.max_x, p.min_z, p.max_z)) continue;
    if (aa_segment_meets_primitive(seg, p, LINE_MARGIN)) return true;
  }
  return false;
}

// The length of a-b inside a convex primitive (its corners in one turning
// sense).
float inside_length(const AvoidPrimitive& p, const PathPoint& a, const PathPoint& b) {
  float t0 = 0.0f, t1 = 1.0f;
  const float dx = b.x - a.x, dz = b.z - a.z;
  for (int i = 0; i < p.corners; i++) {
    const PathPoint& e0 = p.pts[i];
    const PathPoint& e1 = p.pts[(i + 1) % p.corners];
    // Outward normal of a counter-turning outline: (ez, -ex).
    const float nx = e1.z - e0.z, nz = -(e1.x - e0.x);
    const float num = nx * (a.x - e0.x) + nz * (a.z - e0.z);
    const float den = nx * dx + nz * dz;
    if (den == 0.0f) {
      if (num > 0.0f) return 0.0f;
      continue;
    }
    const float t = -num / den;
    if (den > 0.0f) t1 = std::min(t1, t);
    else t0 = std::max(t0, t);
    if (t0 >= t1) return 0.0f;
  }
  return (t1 - t0) * std::sqrt(dx * dx + dz * dz);
}

float hook_edge_cost(const GraphNode* a, const GraphNode* b, bool* prohibited) {
  *prohibited = false;
  if (a->sector != b->sector) return 0.0f;
  const int cls = path_current_size_class();
  if (!valid(cls, a->sector)) return 0.0f;
  const PathPoint& p = *a->point;
  const PathPoint& q = *b->point;
  // A script's barrier has no nodes of its own: nothing passes it.
  if (script_segments_cross(p, q, cls, a->sector)) {
    *prohibited = true;
    return 0.0f;
  }
  if (Prohibit_count[cls][a->sector] == 0 && Avoid_count[cls][a->sector] == 0) return 0.0f;
  const bool skip_prohibit = ((a->flags | b->flags) & GN_AVOIDANCE) != 0;
  const AvoidPrimitive seg = aa_segment_shape(p, q);
  float cost = 0.0f;
  for (const ObstaclePoly& O : Obstacle_polys) {
    if (!(O.flags & OP_IN_USE) || O.layer != cls || O.sector != a->sector) continue;
    if ((O.flags & OP_PROHIBIT) && skip_prohibit) continue;
    if (!boxes_meet(seg.min_x, seg.max_x, seg.min_z, seg.max_z, O.min_x, O.max_x, O.min_z, O.max_z)) continue;
    const AvoidPoly& A = Avoid_polys[O.avoid];
    for (int i = 0; i < A.prim_count; i++) {
      const AvoidPrimitive& prim = Avoid_primitives[A.prims[i]];
      if (O.flags & OP_PROHIBIT) {
        if (aa_segment_meets_primitive(seg, prim, LINE_MARGIN)) {
          *prohibited = true;
          return 0.0f;
        }
      } else {
        cost += inside_length(prim, p, q);
      }
    }
  }
  return cost;
}

int hook_nodes(int cls, int sector, GraphNode** out, int max) {
  int n = 0;
  for (ObstaclePoly& O : Obstacle_polys) {
    if (!(O.flags & OP_IN_USE) || (O.flags & OP_UNLINKED) || O.layer != cls) continue;
    if (sector >= 0 && O.sector != sector) continue;
    for (int i = 0; i < O.node_count && n < max; i++) out[n++] = &O.nodes[i].node;
  }
  return n;
}

// The walls go with the graph: nothing may point at them after.
void forget_walls() {
  for (ObstaclePoly& O : Obstacle_polys)
    if (O.flags & OP_IN_USE)
      for (int i = 0; i < O.seg_count; i++) O.segs[i].wall = nullptr;
  Backup_count = 0;
}

void install_hooks() {
  static bool done;
  if (done) return;
  done = true;
  PathAvoidanceHooks h;
  h.reset = aa_reset;
  h.free = [] {
    forget_walls();
    aa_reset();
  };
  h.segment_blocked = hook_segment_blocked;
  h.edge_cost = hook_edge_cost;
  h.nodes = hook_nodes;
  path_set_avoidance_hooks(h);
}

struct Installer {
  Installer() { install_hooks(); }
} Install;

// ---- console --------------------------------------------------------------------------------

void clear_wall_marks() {
  for (ObstaclePoly& O : Obstacle_polys)
    if (O.flags & OP_IN_USE)
      for (int i = 0; i < O.seg_count; i++)
        if (O.segs[i].wall) {
          O.segs[i].wall->flags &= static_cast<uint16_t>(~PSEG_AVOID_CLOSED);
          O.segs[i].wall->avoid_uses = 0;
        }
}

ConsoleCommand cc_avoidance("avoidance", "Sets avoidance area parameters", [] {
  if (Console_run) {
    console_get_arg(ARG_STRING | ARG_NONE);
    if (Console_arg.type & ARG_STRING) {
      const char* w = Console_arg.text;
      if (!std::strcmp(w, "enable")) {
        Avoid_settings.enable = !Avoid_settings.enable;
        console_printf(Avoid_settings.enable ? "Avoidance areas enabled\n" : "Avoidance areas disabled\n");
      } else if (!std::strcmp(w, "no_remove")) {
        Avoid_settings.no_remove = !Avoid_settings.no_remove;
        console_printf(Avoid_settings.no_remove ? "Avoidance areas will not be removed\n"
                                                : "Avoidance areas will be removed\n");
      } else if (!std::strcmp(w, "reset")) {
        clear_wall_marks();
        aa_reset();
        console_printf("Avoidance areas have been reset\n");
      } else if (!std::strcmp(w, "rect")) {
        Avoid_settings.rect = true;
        console_printf("Avoidance areas type rectangle selected\n");
      } else if (!std::strcmp(w, "circle")) {
        Avoid_settings.rect = false;
        console_printf("Avoidance areas type circle selected\n");
      } else if (!std::strcmp(w, "prohibit")) {
        Avoid_settings.prohibit = true;
        console_printf("Avoidance areas type prohibite selected\n");
      } else if (!std::strcmp(w, "avoid")) {
        console_printf("Avoidance areas parameter not supported\n");
      }
    }
  }
  if (Console_help) {
    console_printf("Usage: avoidance enable -- enable avoidance areas.\n");
    console_printf("       avoidance no_remove -- do not remove avoidance areas.\n");
    console_printf("       avoidance reset --  deletes all current avoidance areas.  initializes avoidance area.\n");
    console_printf("       avoidance rect -- select rectangle avoidance areas.\n");
    console_printf("       avoidance circle -- select circle avoidance areas.\n");
    console_printf("       avoidance prohibit -- select prohibit avoidance areas.\n");
    console_printf("       avoidance avoid -- [not supported yet] selects avoid (non-prohibit) avoidance areas.\n");
  }
  if (Console_status && !Console_run) {
    console_printf("enable: %d\n", Avoid_settings.enable ? 1 : 0);
    console_printf("no_remove: %d\n", Avoid_settings.no_remove ? 1 : 0);
    console_printf(Avoid_settings.rect ? "type: prohibit rect\n" : "type: prohibit circle\n");
  }
});

// Developer commands that give a level script's areas by hand:
// "aa_debug_add <x> <z> <half x> <half z> [size class]" adds a prohibit
// rectangle and prints its handle; "aa_debug_remove <handle>" removes it.
ConsoleCommand cc_aa_debug_add("aa_debug_add", "Adds a prohibit rectangle avoidance area", [] {
  if (Console_help) console_printf("Usage: aa_debug_add <x> <z> <half x> <half z> [size class, else every one]\n");
  if (!Console_run) return;
  float v[4];
  for (float& f : v) {
    console_get_arg(ARG_FLOAT | ARG_INT);
    f = Console_arg.float_value;
  }
  console_get_arg(ARG_INT | ARG_NONE);
  const int cls = (Console_arg.type & ARG_INT) ? Console_arg.int_value : -1;
  const vector c{v[0], 0.0f, v[1]};
  // A one-point shape is a rectangle of size x by size y round the point.
  AvoidShape s{AA_TYPE_PROHIBIT | AA_TYPE_RECT, 1, &c, 2.0f * v[2], 2.0f * v[3], 1.0f, -1, cls};
  const int h = aa_add(s);
  if (h < 0) console_printf("Avoidance area not added\n");
  else console_printf("Avoidance area %d added\n", h);
});

ConsoleCommand cc_aa_debug_remove("aa_debug_remove", "Removes an avoidance area", [] {
  if (Console_help) console_printf("Usage: aa_debug_remove <handle>\n");
  if (!Console_run) return;
  console_get_arg(ARG_INT);
  aa_remove(Console_arg.int_value);
  console_printf("Avoidance area %d removed\n", Console_arg.int_value);
});

}  // namespace

// ---- public -----------------------------------------------------------------------------------

bool aa_point_in_primitive(const AvoidPrimitive& p, float x, float z, float m) {
  const PathPoint d{x - p.cx, z - p.cz};
  if (p.flags & AP_RECT)
    return std::fabs(dot(d, p.axis[0])) < p.h1 + m && std::fabs(dot(d, p.axis[1])) < p.h2 + m;
  if (p.flags & AP_CIRCLE) {
    const float r = p.h2 + m, d2 = dot(d, d);
    if (d2 < r * r) return true;
    if (d2 >= OCTAGON_OUTER * r * r) return false;
    return std::fabs(dot(d, p.axis[0])) < p.h1 + m && std::fabs(dot(d, p.axis[1])) < p.h2 + m &&
           std::fabs(dot(d, p.axis[2])) < p.h1 + m && std::fabs(dot(d, p.axis[3])) < p.h2 + m;
  }
  return false;
}

AvoidPrimitive aa_segment_shape(const PathPoint& p, const PathPoint& q) {
  AvoidPrimitive s{};
  s.flags = AP_IN_USE | AP_SEGMENT;
  s.cx = 0.5f * (p.x + q.x);
  s.cz = 0.5f * (p.z + q.z);
  s.axis[0] = unit(q.x - s.cx, q.z - s.cz);
  s.axis[1] = turn(s.axis[0]);
  s.h1 = 0.5f * std::sqrt((q.x - p.x) * (q.x - p.x) + (q.z - p.z) * (q.z - p.z));
  s.h2 = 0.0f;
  s.corners = 2;
  s.pts[0] = p;
  s.pts[1] = q;
  prim_box(s);
  return s;
}

bool aa_segment_meets_primitive(const AvoidPrimitive& seg, const AvoidPrimitive& p, float m) {
  const PathPoint s1 = seg.axis[0], s2 = seg.axis[1];
  const float hs = seg.h1;
  const PathPoint D{p.cx - seg.cx, p.cz - seg.cz};
  const int rounds = (p.flags & AP_CIRCLE) ? 2 : 1;
  for (int r = 0; r < rounds; r++) {
    const PathPoint a1 = p.axis[2 * r], a2 = p.axis[2 * r + 1];
    if (!(std::fabs(dot(a1, s1)) * hs + p.h1 - m >= std::fabs(dot(D, a1)))) return false;
    if (!(std::fabs(dot(a2, s1)) * hs + p.h2 - m >= std::fabs(dot(D, a2)))) return false;
    if (!(std::fabs(dot(a2, s2)) * p.h2 + std::fabs(dot(a1, s2)) * p.h1 - m >= std::fabs(dot(D, s2)))) return false;
    if (!(std::fabs(dot(a1, s1)) * p.h1 + std::fabs(dot(a2, s1)) * p.h2 + hs - m >= std::fabs(dot(D, s1))))
      return false;
  }
  return true;
}

bool aa_primitives_meet(const AvoidPrimitive& a, const AvoidPrimitive& b) {
  if ((a.flags & AP_RECT) && (b.flags & AP_RECT)) {
    const PathPoint D{b.cx - a.cx, b.cz - a.cz};
    for (const PathPoint& ax : {a.axis[0], a.axis[1], b.axis[0], b.axis[1]}) {
      const float ra = std::fabs(dot(a.axis[0], ax)) * a.h1 + std::fabs(dot(a.axis[1], ax)) * a.h2;
      const float rb = std::fabs(dot(b.axis[0], ax)) * b.h1 + std::fabs(dot(b.axis[1], ax)) * b.h2;
      if (std::fabs(dot(D, ax)) > ra + rb) return false;
    }
    return true;
  }
  // A rectangle and a circle, or two circles: a corner of one in the other
  // (either way round, so that one wholly inside the other still meets it).
  for (int i = 0; i < b.corners; i++)
    if (aa_point_in_primitive(a, b.pts[i].x, b.pts[i].z, 0.0f)) return true;
  for (int i = 0; i < a.corners; i++)
    if (aa_point_in_primitive(b, a.pts[i].x, a.pts[i].z, 0.0f)) return true;
  return false;
}

PathPoint aa_corner_direction(const PathPoint& d1, const PathPoint& d2) {
  const PathPoint n1{d1.z, -d1.x}, n2{d2.z, -d2.x};
  float factor = 1.0f;
  if (!(dot(n2, d1) > 0.0f)) {
    const float x = std::min(1.0f, -dot(n2, d1));
    const float angle = dot(d1, d2) <= 0.0f ? std::asin(x) : static_cast<float>(M_PI) - std::asin(x);
    const float s = std::sin(angle / 2.0f);
    factor = s > 0.0f ? 1.0f / s : 5.0f;
    if (factor >= 5.0f) factor = 5.0f;
    if (factor <= 1.01f) factor = 1.01f;
  }
  const PathPoint u = unit(n1.x + n2.x, n1.z + n2.z);
  return {u.x * factor, u.z * factor};
}

void aa_reset() {
  install_hooks();
  for (int i = 0; i < AA_MAX_POLYS; i++) {
    Obstacle_polys[i].flags = 0;
    Obstacle_polys[i].seg_count = Obstacle_polys[i].node_count = 0;
    Avoid_polys[i].flags = 0;
    Avoid_polys[i].prim_count = 0;
    Avoid_polys[i].obstacle = -1;
  }
  for (AvoidPrimitive& p : Avoid_primitives) p.flags = 0;
  for (AvoidHandle& h : Avoid_handles) h = AvoidHandle{};
  std::memset(Link_used, 0, sizeof Link_used);
  std::memset(Prohibit_count, 0, sizeof Prohibit_count);
  std::memset(Avoid_count, 0, sizeof Avoid_count);
  std::memset(Script_segment_count, 0, sizeof Script_segment_count);
  for (AvoidScriptShape& sh : Avoid_script_shapes) sh = AvoidScriptShape{};
  for (AvoidScriptSegment& g : Avoid_script_segments) g = AvoidScriptSegment{0, -1, -1, {0, 0}, {0, 0}};
  Backup_count = 0;
}

int aa_create_avoid_poly(const AvoidShapeList& list) {
  install_hooks();
  if (!Avoid_settings.enable || !list.points || list.count < 2) return -1;
  int index = -1;
  for (int i = 0; i < AA_MAX_SCRIPT_SHAPES && index < 0; i++)
    if (!(Avoid_script_shapes[i].flags & 1)) index = i;
  if (index < 0) return -1;
  AvoidScriptShape& S = Avoid_script_shapes[index];
  S = AvoidScriptShape{};
  S.flags = 1;
  const int lo = list.size_class < 0 ? 0 : std::min(list.size_class, PFG_SIZE_CLASSES - 1);
  const int hi = list.size_class < 0 ? PFG_SIZE_CLASSES - 1 : lo;
  auto add = [&](const PathPoint& a, const PathPoint& b, int cls, int sector) {
    if (sector < 0 || S.count >= AA_SHAPE_SEGMENTS) return;
    for (int k = 0; k < S.count; k++) {
      const AvoidScriptSegment& g = Avoid_script_segments[S.segs[k]];
      if (g.layer == cls && g.sector == sector && path_points_equal(g.a, a) && path_points_equal(g.b, b)) return;
    }
    for (int i = 0; i < AA_MAX_SCRIPT_SEGMENTS; i++) {
      AvoidScriptSegment& g = Avoid_script_segments[i];
      if (g.flags & AP_IN_USE) continue;
      g = AvoidScriptSegment{AP_IN_USE, static_cast<int16_t>(cls), static_cast<int16_t>(sector), a, b};
      Script_segment_count[cls][sector]++;
      S.segs[S.count++] = static_cast<uint8_t>(i);
      return;
    }
  };
  for (int i = 0; i + 1 < list.count; i++) {
    const PathPoint a = path_point(list.points[i]), b = path_point(list.points[i + 1]);
    for (int cls = lo; cls <= hi; cls++) {
      add(a, b, cls, path_sector_at(cls, a.x, a.z));
      add(a, b, cls, path_sector_at(cls, b.x, b.z));
    }
  }
  if (S.count == 0) {
    S.flags = 0;
    return -1;
  }
  return index;
}

void aa_clear_avoid_poly(int index) {
  if (index < 0 || index >= AA_MAX_SCRIPT_SHAPES) return;
  AvoidScriptShape& S = Avoid_script_shapes[index];
  for (int k = 0; k < S.count; k++) free_script_segment(S.segs[k]);
  S = AvoidScriptShape{};
}

int aa_add_primitive(const vector& center, int type, const vector& half1, const vector& half2, int layer,
                     int sector) {
  install_hooks();
  if (!Avoid_settings.enable || !valid(layer, sector)) return -1;
  int id = -1;
  for (int i = 0; i < AA_MAX_PRIMITIVES && id < 0; i++)
    if (!(Avoid_primitives[i].flags & AP_IN_USE)) id = i;
  if (id < 0) return -1;
  AvoidPrimitive& p = Avoid_primitives[id];
  p = AvoidPrimitive{};
  p.flags = static_cast<uint8_t>(AP_IN_USE | ((type & AA_TYPE_RECT) ? AP_RECT : AP_CIRCLE) |
                                 ((type & AA_TYPE_PROHIBIT) ? AP_PROHIBIT : AP_AVOID));
  p.layer = static_cast<int16_t>(layer);
  p.sector = static_cast<int16_t>(sector);
  p.cx = center.x;
  p.cz = center.z;
  p.h1 = std::sqrt(half1.x * half1.x + half1.z * half1.z);
  p.h2 = std::sqrt(half2.x * half2.x + half2.z * half2.z);
  p.axis[0] = unit(half1.x, half1.z);
  p.axis[1] = turn(p.axis[0]);
  p.axis[2] = unit(p.axis[0].x + p.axis[1].x, p.axis[0].z + p.axis[1].z);
  p.axis[3] = turn(p.axis[2]);
  if (p.flags & AP_CIRCLE) p.h1 = p.h2;
  prim_corners(p);
  count_prim(p, +1);
  if (!insert_primitive(id, true)) {
    free_primitive(id);
    return -1;
  }
  return id;
}

void aa_remove_primitive(int id) {
  if (id < 0 || id >= AA_MAX_PRIMITIVES || !(Avoid_primitives[id].flags & AP_IN_USE)) return;
  const AvoidPrimitive& q = Avoid_primitives[id];
  const int layer = q.layer, sector = q.sector;
  int owner = -1;
  for (int i = 0; i < AA_MAX_POLYS && owner < 0; i++) {
    const AvoidPoly& A = Avoid_polys[i];
    if (!(A.flags & OP_IN_USE) || A.layer != layer || A.sector != sector) continue;
    for (int k = 0; k < A.prim_count; k++)
      if (A.prims[k] == id) owner = i;
  }
  if (owner < 0) {
    free_primitive(id);
    return;
  }
  uint8_t keep[AA_MAX_POLY_PRIMITIVES];
  int kept = 0;
  for (int k = 0; k < Avoid_polys[owner].prim_count; k++)
    if (Avoid_polys[owner].prims[k] != id) keep[kept++] = Avoid_polys[owner].prims[k];
  free_obstacle_poly(Avoid_polys[owner].obstacle);
  free_avoid_poly(owner);
  free_primitive(id);
  for (int k = 0; k < kept; k++)
    if (!insert_primitive(keep[k], false)) free_primitive(keep[k]);
  relink(layer, sector);
}

int aa_add(const AvoidShape& shape) {
  install_hooks();
  int h = -1;
  for (int i = 0; i < AA_MAX_HANDLES && h < 0; i++)
    if (!(Avoid_handles[i].flags & 1)) h = i;
  if (h < 0 || !shape.points || shape.count < 1) return -1;
  AvoidHandle& H = Avoid_handles[h];
  H = AvoidHandle{};
  H.flags = 1;
  const int lo = shape.size_class < 0 ? 0 : std::min(shape.size_class, PFG_SIZE_CLASSES - 1);
  const int hi = shape.size_class < 0 ? PFG_SIZE_CLASSES - 1 : lo;
  auto add = [&](const vector& c, const vector& h1, const vector& h2, int type) {
    for (int cls = lo; cls <= hi; cls++) {
      const int sector = path_sector_at(cls, c.x, c.z);
      const int id = sector >= 0 ? aa_add_primitive(c, type, h1, h2, cls, sector) : -1;
      if (id < 0) std::printf("AA - primative not added!!\n");
      else if (H.count < AA_HANDLE_PRIMITIVES) H.prims[H.count++] = static_cast<uint8_t>(id);
    }
  };
  if (shape.count == 1) {
    const vector& c = shape.points[0];
    add(c, vector{0.5f * shape.size_x, 0.0f, 0.0f}, vector{0.0f, 0.0f, 0.5f * shape.size_y}, shape.kind);
  } else {
    for (int i = 0; i + 1 < shape.count && i < 2; i++) {
      const vector& a = shape.points[i];
      const vector& b = shape.points[i + 1];
      const PathPoint d = unit(b.x - a.x, b.z - a.z);
      const float half_len = 0.5f * std::sqrt((b.x - a.x) * (b.x - a.x) + (b.z - a.z) * (b.z - a.z)) + 0.3f;
      const float half_w = 0.5f * shape.size_x + 0.1f;
      const vector c{0.5f * (a.x + b.x), a.y, 0.5f * (a.z + b.z)};
      add(c, vector{d.x * half_len, 0.0f, d.z * half_len}, vector{-d.z * half_w, 0.0f, d.x * half_w},
          shape.kind | AA_TYPE_RECT);
    }
  }
  if (H.count == 0) {
    H.flags = 0;
    return -1;
  }
  return h;
}

void aa_remove(int handle) {
  if (handle < 0 || handle >= AA_MAX_HANDLES || !(Avoid_handles[handle].flags & 1)) return;
  if (Avoid_settings.no_remove) return;
  AvoidHandle& H = Avoid_handles[handle];
  for (int i = 0; i < H.count; i++) aa_remove_primitive(H.prims[i]);
  H = AvoidHandle{};
}

bool aa_any_in_size_class(int size_class) {
  if (size_class < 0 || size_class >= PFG_SIZE_CLASSES) return false;
  int n = 0;
  for (int s = 0; s < PFG_SECTORS; s++)
    n += Prohibit_count[size_class][s] + Avoid_count[size_class][s] + Script_segment_count[size_class][s];
  return n > 0;
}

bool aa_point_blocked(const vector& p, int sector, int size_class) {
  if (!valid(size_class, sector) || Prohibit_count[size_class][sector] == 0) return false;
  for (const AvoidPrimitive& q : Avoid_primitives)
    if ((q.flags & AP_IN_USE) && (q.flags & AP_PROHIBIT) && q.layer == size_class && q.sector == sector &&
        aa_point_in_primitive(q, p.x, p.z, BLOCK_MARGIN))
      return true;
  return false;
}

bool aa_point_in_handle(const vector& p, int sector, int size_class, int handle) {
  if (handle < 0 || handle >= AA_MAX_HANDLES || !(Avoid_handles[handle].flags & 1)) return false;
  const AvoidHandle& H = Avoid_handles[handle];
  for (int i = 0; i < H.count; i++) {
    const AvoidPrimitive& q = Avoid_primitives[H.prims[i]];
    if ((q.flags & AP_IN_USE) && q.layer == size_class && q.sector == sector &&
        aa_point_in_primitive(q, p.x, p.z, HANDLE_MARGIN))
      return true;
  }
  return false;
}

void aa_debug_draw(float y, int size_class) {
  y += 0.01f;
  for (const ObstaclePoly& O : Obstacle_polys) {
    if (!(O.flags & OP_IN_USE) || O.layer != size_class) continue;
    const bool prohibit = (O.flags & OP_PROHIBIT) != 0;
    const int r = prohibit ? 32 : 128, b = prohibit ? 128 : 32;
    for (int i = 0; i < O.seg_count; i++) {
      const OutlineSegment& s = O.segs[i];
      const ObstacleNode& n1 = O.nodes[s.n1];
      const ObstacleNode& n2 = O.nodes[s.n2];
      gr_3d_debug_line(n1.cx, y, n1.cz, n2.cx, y, n2.cz, r, 32, b);
      const float len = 0.5f * std::sqrt((n2.cx - n1.cx) * (n2.cx - n1.cx) + (n2.cz - n1.cz) * (n2.cz - n1.cz));
      const float mx = 0.5f * (n1.cx + n2.cx), mz = 0.5f * (n1.cz + n2.cz);
      gr_3d_debug_line(mx, y, mz, mx + s.nx * len, y, mz + s.nz * len, r, 32, b);
      for (const ObstacleNode* n : {&n1, &n2})
        gr_3d_debug_line(n->cx, y, n->cz, n->cx + n->dx * len, y, n->cz + n->dz * len, r, 32, b);
    }
  }
}
