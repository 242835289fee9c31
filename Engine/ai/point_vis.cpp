#include "Engine/ai/point_vis.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "Engine/ai/path_geometry.h"

int Point_vis_fallbacks;
double Sort_points_clockwise_ms;

namespace {

using Clock = std::chrono::steady_clock;

// Edge pool: the walls the sweep ray crosses. A node is tested against
// every one of them, so walls of overlapping outlines that cross each
// other need no order among them.
const PathSegment* Edges[POINT_VIS_MAX_EDGES];
int Edge_count;
bool Edge_overflow;

// One event per graph node (tested) and one per end of every wall the
// nodes bound (where the wall enters or leaves the sweep ray), so that a
// wall whose end is no node (a corner inside another outline) still leaves.
struct Event {
  const PathPoint* point;
  GraphNode* node;          // a node to test, or null
  const PathSegment* wall;  // a wall that ends here, or null
  double angle;             // around the eye in one fixed turning sense, [0, 2 pi)
  double dist2;
};
Event Events[POINT_VIS_MAX_EVENTS];
const Event* Batch[POINT_VIS_MAX_BATCH];
int Batch_count;
const PathSegment* Walls[POINT_VIS_MAX_EVENTS];
int Wall_count;

PathPoint Eye;

double cross(const PathPoint& o, const PathPoint& a, const PathPoint& b) {
  return double(a.x - o.x) * (b.z - o.z) - double(a.z - o.z) * (b.x - o.x);
}

// The sweep turns clockwise seen with +z up the page: the angle grows as
// atan2 falls.
double angle_of(const PathPoint& p) {
  double a = -std::atan2(double(p.z - Eye.z), double(p.x - Eye.x));
  if (a < 0.0) a += 2.0 * M_PI;
  if (a >= 2.0 * M_PI) a -= 2.0 * M_PI;
  return a;
}

void edge_insert(const PathSegment* s) {
  for (int i = 0; i < Edge_count; i++)
    if (Edges[i] == s) return;
  if (Edge_count >= POINT_VIS_MAX_EDGES) {
    Edge_overflow = true;
    return;
  }
  Edges[Edge_count++] = s;
}

void edge_remove(const PathSegment* s) {
  for (int i = 0; i < Edge_count; i++)
    if (Edges[i] == s) {
      Edges[i] = Edges[--Edge_count];
      return;
    }
}

// A wall starts at this angle when its other end lies ahead of the ray
// through `here`, ends when that end lies behind; a wall along the ray
// hides nothing.
void add_or_remove_edge(const PathPoint& here, const PathSegment* s) {
  const PathPoint& other = (s->a == &here) ? *s->b : *s->a;
  const double c = cross(Eye, here, other);
  if (c < 0.0) edge_insert(s);
  else if (c > 0.0) edge_remove(s);
}

void apply_batch() {
  for (int i = 0; i < Batch_count; i++)
    if (Batch[i]->wall) add_or_remove_edge(*Batch[i]->point, Batch[i]->wall);
  Batch_count = 0;
}

// The walls that the first ray (toward the first event) crosses strictly:
// a wall with an end on the ray enters by that end's event.
void make_initial_edge_tree(const PathPoint& toward) {
  const double dx = toward.x - Eye.x, dz = toward.z - Eye.z;
  for (int i = 0; i < Wall_count; i++) {
    const PathSegment* w = Walls[i];
    const double ca = cross(Eye, toward, *w->a), cb = cross(Eye, toward, *w->b);
    if (!((ca < 0.0 && cb > 0.0) || (ca > 0.0 && cb < 0.0))) continue;
    const double ex = w->b->x - w->a->x, ez = w->b->z - w->a->z;
    const double den = dx * ez - dz * ex;
    if (den == 0.0) continue;
    const double along = ((w->a->x - Eye.x) * ez - (w->a->z - Eye.z) * ex) / den;
    if (along > 0.0) edge_insert(w);
  }
}

bool do_single_vis_check(const GraphNode& n) {
  for (int i = 0; i < Edge_count; i++) {
    const int kind = path_segment_intersect(Eye, *n.point, *Edges[i]->a, *Edges[i]->b);
    if (kind == PATH_ISECT_CROSS || kind == PATH_ISECT_AT_END) return false;
  }
  return true;
}

// Every node on its own line test: what the sweep falls back to when a
// level has more walls across one ray than the edge pool holds.
void mark_by_line_tests(const PathPoint& p, int sector, int mode, int size_class) {
  for (int s = 0; s < PFG_SECTORS; s++) {
    PathSector& S = Path_graph.sectors[size_class][s];
    for (int i = 0; i < S.node_count; i++) {
      GraphNode& n = S.nodes[i];
      if (path_line_test(p, sector, *n.point, n.sector, mode)) n.flags |= GN_MARK;
      else n.flags &= static_cast<uint16_t>(~GN_MARK);
    }
  }
}

double ms_since(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

}  // namespace

int determine_point_visibility(const PathPoint& p, int sector, int mode) {
  const Clock::time_point began = Clock::now();
  const int cls = path_current_size_class();
  if (cls < 0) return 0;
  Eye = p;
  Edge_count = 0;
  Edge_overflow = false;
  Batch_count = 0;

  // sort_points_clockwise
  Clock::time_point t = Clock::now();
  int events = 0;
  Wall_count = 0;
  bool too_many = false;
  auto add_event = [&](const PathPoint* pt, GraphNode* node, const PathSegment* wall) {
    if (events >= POINT_VIS_MAX_EVENTS) {
      too_many = true;
      return;
    }
    const double dx = pt->x - p.x, dz = pt->z - p.z;
    Events[events++] = {pt, node, wall, angle_of(*pt), dx * dx + dz * dz};
  };
  for (int s = 0; s < PFG_SECTORS; s++) {
    PathSector& S = Path_graph.sectors[cls][s];
    for (int i = 0; i < S.node_count; i++) {
      GraphNode& n = S.nodes[i];
      n.flags &= static_cast<uint16_t>(~GN_MARK);
      add_event(n.point, &n, nullptr);
      if (n.flags & GN_FREE) continue;  // tested, never hides anything
      for (const PathSegment* w : {n.seg1, n.seg2}) {
        if (!w) continue;
        bool known = false;
        for (int k = 0; k < Wall_count && !known; k++) known = Walls[k] == w;
        if (known || Wall_count >= POINT_VIS_MAX_EVENTS) continue;
        Walls[Wall_count++] = w;
        add_event(w->a, nullptr, w);
        add_event(w->b, nullptr, w);
      }
    }
  }
  // Equal angles: the nearer first, then the order of the graph.
  std::stable_sort(Events, Events + events, [](const Event& a, const Event& b) {
    if (a.angle != b.angle) return a.angle < b.angle;
    return a.dist2 < b.dist2;
  });
  const double t_sort = ms_since(t);

  t = Clock::now();
  if (events > 0 && !too_many) make_initial_edge_tree(*Events[0].point);
  const double t_init = ms_since(t);

  // Every event of one ray is tested before the walls that start or end on
  // that ray go in or out.
  double t_check = 0.0, t_edges = 0.0;
  for (int i = 0; i < events && !Edge_overflow && !too_many; i++) {
    const Event& ev = Events[i];
    const bool same_ray = i > 0 && ev.angle == Events[i - 1].angle;
    Clock::time_point e = Clock::now();
    if (!same_ray) apply_batch();
    t_edges += ms_since(e);
    if (ev.node) {
      e = Clock::now();
      // The eye on a node sees it.
      if (ev.dist2 == 0.0 || do_single_vis_check(*ev.node)) ev.node->flags |= GN_MARK;
      t_check += ms_since(e);
    } else if (Batch_count < POINT_VIS_MAX_BATCH) {
      Batch[Batch_count++] = &ev;
    } else {
      e = Clock::now();
      add_or_remove_edge(*ev.point, ev.wall);  // a full batch: this wall goes at once
      t_edges += ms_since(e);
    }
  }
  Batch_count = 0;
  Edge_count = 0;
  if (Edge_overflow || too_many) {
    // More walls across one ray than the pool holds: the level still gets
    // its answer, from one line test per node.
    Point_vis_fallbacks++;
    mark_by_line_tests(p, sector, mode, cls);
  }
  const double total = ms_since(began);
  const int ms = static_cast<int>(total);
  std::printf("determine_point_visibility() took %d ms.\n", ms);
  const double whole = total > 0.0 ? total : 1.0;
  std::printf("   sort_points_clockwise() = %.1f%%\n", t_sort * 100.0 / whole);
  std::printf("   make_initial_edge_tree() = %.1f%%\n", t_init * 100.0 / whole);
  std::printf("   do_single_vis_check() = %.1f%%\n", t_check * 100.0 / whole);
  std::printf("   add_or_remove_edge() = %.1f%%\n", t_edges * 100.0 / whole);
  return ms;
}

int sort_points_clockwise(const PathPoint& point, GraphNode** out, int max) {
  const Clock::time_point began = Clock::now();
  PathSector* s = path_sector_current();
  // Four runs, one a quarter turn each, in the order the turn meets them:
  // from -z toward -x, from -x toward +z, from +z toward +x, from +x toward
  // -z. Within a run the key grows with the turn.
  struct Entry {
    GraphNode* node;
    float key;
    float dist2;
  };
  static Entry runs[4][POINT_VIS_MAX_EVENTS];
  int counts[4] = {0, 0, 0, 0};
  for (int i = 0; s && i < s->node_count; i++) {
    GraphNode* n = &s->nodes[i];
    if (n->point == &point) continue;
    const float dx = n->point->x - point.x, dz = n->point->z - point.z;
    if (dx == 0.0f && dz == 0.0f) continue;
    int run;
    float key;
    if (dx <= 0.0f && dz < 0.0f) run = 0, key = dx / dz;
    else if (dx < 0.0f && dz >= 0.0f) run = 1, key = -(dz / dx);
    else if (dx >= 0.0f && dz > 0.0f) run = 2, key = dx / dz;
    else run = 3, key = -(dz / dx);
    if (counts[run] >= POINT_VIS_MAX_EVENTS) continue;
    const float d2 = dx * dx + dz * dz;
    // Insertion: after every smaller key, and after an equal key unless
    // strictly nearer.
    Entry* r = runs[run];
    int at = counts[run];
    while (at > 0 && (r[at - 1].key > key || (r[at - 1].key == key && d2 < r[at - 1].dist2))) {
      r[at] = r[at - 1];
      at--;
    }
    r[at] = {n, key, d2};
    counts[run]++;
  }
  int total = 0;
  for (int run = 0; run < 4; run++) {
    for (int i = 0; i < counts[run]; i++) {
      GraphNode* n = runs[run][i].node;
      if (i > 0 && runs[run][i].key == runs[run][i - 1].key) n->flags |= GN_SAME_BEARING;
      else n->flags &= static_cast<uint16_t>(~GN_SAME_BEARING);
      if (total < max) out[total] = n;
      total++;
    }
  }
  Sort_points_clockwise_ms = ms_since(began);
  return total < max ? total : max;
}
