#include "Engine/ai/path_search.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "Engine/ai/path_geometry.h"
#include "Engine/ai/path_search_detail.h"
#include "Engine/ai/point_vis.h"
#include "quarn/os/console.h"

bool Precalc_vis_method = false;

namespace {

PathNode Pool[PATH_MAX_NODES];
PathNode* Free_list;
int In_use;
bool Pool_ready;

constexpr int MAX_START_LINKS = 100;
constexpr int MAX_EXTRA_NEIGHBOURS = 10;
constexpr int MAX_AVOIDANCE_NODES = 512;
constexpr int VIS_CANDIDATES = 12;
constexpr float VIS_BOX_START = 5.0f;
constexpr float VIS_BOX_GROWTH = 5.0f;
// The box stops growing in the third round whose number has bit 4 set.
constexpr int VIS_LAST_ROUND = 18;
constexpr float GOAL_PULL_BACK = 0.02f;
constexpr int SMOOTH_WINDOW = 32;
constexpr float PUSH_OUT_DISTANCE = 0.035f;
constexpr float PUSH_OUT_NEAR = 0.025f;
constexpr int PUSH_OUT_ROUNDS = 8;

ConsoleCommand cc_precalc_vis("precalc_vis_method", "Toggles Precalc_vis_method",
                              [] { console_bool_var("precalc_vis_method", "Precalc_vis_method", Precalc_vis_method); });

void path_debug_command() {
  if (Console_help) {
    console_printf("Usage: path_debug <size class> <x0> <z0> <x1> <z1>\n");
    return;
  }
  if (!Console_run) return;
  float v[5];
  for (float& f : v) {
    console_get_arg(ARG_FLOAT | ARG_INT);
    f = Console_arg.float_value;
  }
  path_debug_print(static_cast<int>(v[0]), v[1], v[2], v[3], v[4]);
}
ConsoleCommand cc_path_debug("path_debug", "Finds a path between two points of the level and prints it",
                             path_debug_command);

float dist2d(const PathPoint& a, const PathPoint& b) {
  const float dx = a.x - b.x, dz = a.z - b.z;
  return std::sqrt(dx * dx + dz * dz);
}

// The open list: ordered by f, and among equal f the node inserted last
// first. A node that is re-inserted leaves its older entry behind, which is
// skipped when it comes up (its serial no longer matches).
struct OpenEntry {
  float f;
  uint32_t serial;
  GraphNode* node;
};
struct OpenOrder {
  bool operator()(const OpenEntry& a, const OpenEntry& b) const {
    if (a.f != b.f) return a.f > b.f;
    return a.serial < b.serial;
  }
};
std::vector<OpenEntry> Open;
uint32_t Next_serial;

inline uint32_t& node_serial(GraphNode* n) { return n->open_serial; }

void for_each_layer_node(int size_class, void (*fn)(GraphNode&)) {
  for (int s = 0; s < PFG_SECTORS; s++) {
    PathSector& S = Path_graph.sectors[size_class][s];
    for (int i = 0; i < S.node_count; i++) fn(S.nodes[i]);
  }
}

int avoidance_nodes(int size_class, int sector, GraphNode** out) {
  const PathAvoidanceHooks& av = path_avoidance_hooks();
  if (!av.nodes) return 0;
  return std::clamp(av.nodes(size_class, sector, out, MAX_AVOIDANCE_NODES), 0, MAX_AVOIDANCE_NODES);
}

GraphNode* Avoid_buffer[MAX_AVOIDANCE_NODES];

bool point_walk_reaches(const PathPoint& from, int from_sector, const PathPoint& to, int to_sector) {
  PathPoint cur = from;
  int sector = from_sector;
  for (int hop = 0; hop < 2 * PFG_SECTORS; hop++) {
    PathPoint at;
    int next = -1;
    if (!path_next_portal_crossing(cur, to, sector, &at, &next))
      return sector == to_sector ||
             ((Path_graph.adjacency[sector] & (1u << to_sector)) && path_point_walkable(to.x, to.z, sector));
    cur = at;
    sector = next;
  }
  return false;
}

// Nodes grouped by the round of the growing box that first holds them.
std::vector<GraphNode*> Round_nodes[VIS_LAST_ROUND + 1];

PathNode* build_path(GraphNode* terminal, GraphNode* start, PathNode* goal) {
  PathNode* head = goal;
  int steps = 0;
  for (GraphNode* n = terminal->parent; n && n != start; n = n->parent) {
    if (++steps > PATH_MAX_NODES) {
      path_free(head);
      return nullptr;
    }
    PathNode* p = path_node_new(n->point->x, n->point->z, n->sector, head);
    if (!p) {
      path_free(head);
      return nullptr;
    }
    head = p;
  }
  return head;
}

void smooth(PathNode*& path, const PathPoint& start, int start_sector) {
  // 1. Skip leading nodes the start sees past.
  while (path && path->next && !(path->flags & PATH_NODE_PINNED) &&
         path_line_test(start, start_sector, {path->next->x, path->next->z}, path->next->sector, PATH_LINE_ALL))
    path = path_node_pop(path);
  // 2. A node that repeats the point of the one before it in another sector
  //    is the far side of a portal: drop it. Nodes at other points stay,
  //    since dropping a real corner would send the path through a wall.
  for (PathNode* n = path; n && n->next && n->next->next;) {
    PathNode* m = n->next;
    if (m->sector != n->sector && path_points_equal({n->x, n->z}, {m->x, m->z})) n->next = path_node_pop(m);
    else n = m;
  }
  // 3. From the end back, link earlier nodes straight to the end node while
  //    the end can be seen from them.
  PathNode* window[SMOOTH_WINDOW];
  int n = 0;
  for (PathNode* p = path; p; p = p->next) n++;
  if (n < 3) return;
  int skip = n - std::min(n, SMOOTH_WINDOW);
  PathNode* p = path;
  while (skip-- > 0) p = p->next;
  int m = 0;
  for (; p; p = p->next) window[m++] = p;
  PathNode* end = window[m - 1];
  int between = m - 2;
  for (int far = m - 3; far >= 0; far--) {
    if (window[between]->flags & PATH_NODE_PINNED) break;
    if (!path_line_test({window[far]->x, window[far]->z}, window[far]->sector, {end->x, end->z}, end->sector,
                        PATH_LINE_ALL))
      break;
    window[far]->next = end;
    window[between]->next = nullptr;
    path_node_pop(window[between]);
    between = far;
  }
}

}  // namespace

void path_debug_print(int size_class, float x0, float z0, float x1, float z1) {
  const vector start{x0, 0.0f, z0};
  vector goal{x1, 0.0f, z1};
  const int s0 = path_sector_toward(size_class, start, goal), s1 = path_sector_at(size_class, goal.x, goal.z);
  PathNode* path = s0 >= 0 && s1 >= 0 ? find_path(start, s0, goal, s1, size_class, 0.0f) : nullptr;
  if (!path) {
    console_printf("No path from (%.3f, %.3f) to (%.3f, %.3f)\n", start.x, start.z, goal.x, goal.z);
    return;
  }
  int n = 0;
  double length = 0.0;
  PathPoint prev = path_point(start);
  for (PathNode* p = path; p; p = p->next) {
    n++;
    length += std::hypot(double(p->x) - prev.x, double(p->z) - prev.z);
    prev = {p->x, p->z};
  }
  console_printf("Path from (%.3f, %.3f) sector %d to (%.3f, %.3f) sector %d: %d nodes, length %.3f\n", start.x,
                 start.z, s0, goal.x, goal.z, s1, n, length);
  for (PathNode* p = path; p; p = p->next) console_printf("  node %.3f %.3f sector %d\n", p->x, p->z, p->sector);
  path_free(path);
}

// ---- Pool ---------------------------------------------------------------------------

void path_pool_reset() {
  Free_list = nullptr;
  for (int i = PATH_MAX_NODES - 1; i >= 0; i--) {
    Pool[i].next = Free_list;
    Free_list = &Pool[i];
  }
  In_use = 0;
  Pool_ready = true;
}

int path_nodes_in_use() { return In_use; }

PathNode* path_node_alloc() {
  if (!Pool_ready) path_pool_reset();
  if (!Free_list) {
    std::printf("Out of ai path nodes -- current max is %d.\n", PATH_MAX_NODES);
    return nullptr;
  }
  PathNode* n = Free_list;
  Free_list = n->next;
  In_use++;
  *n = PathNode{};
  return n;
}

PathNode* path_node_new(float x, float z, int sector, PathNode* next) {
  PathNode* n = path_node_alloc();
  if (!n) return nullptr;
  n->x = x;
  n->z = z;
  n->sector = sector;
  n->next = next;
  n->remaining = next ? dist2d({x, z}, {next->x, next->z}) + next->remaining : 0.0f;
  return n;
}

PathNode* path_node_new(const vector& p, int sector, PathNode* next) {
  PathNode* n = path_node_new(p.x, p.z, sector, next);
  if (n) n->y = p.y;
  return n;
}

PathNode* path_node_pop(PathNode* node) {
  if (!node) return nullptr;
  PathNode* next = node->next;
  node->next = Free_list;
  Free_list = node;
  In_use--;
  return next;
}

void path_free(PathNode* path) {
  while (path) path = path_node_pop(path);
}

// ---- Visibility -----------------------------------------------------------------------

void path_mark_visible_nodes(const PathPoint& p, int sector, int mode) {
  const int cls = path_current_size_class();
  if (cls < 0 || sector < 0 || sector >= PFG_SECTORS) return;
  for_each_layer_node(cls, [](GraphNode& n) {
    n.flags &= static_cast<uint16_t>(~(GN_MARK | GN_CANDIDATE | GN_CANDIDATE_TESTED | GN_LINE_TESTED));
  });
  const int avoid = avoidance_nodes(cls, sector, Avoid_buffer);
  for (int i = 0; i < avoid; i++)
    Avoid_buffer[i]->flags &= static_cast<uint16_t>(~(GN_MARK | GN_CANDIDATE | GN_CANDIDATE_TESTED | GN_LINE_TESTED));

  // Which round of the growing square first holds each node.
  const uint32_t sectors = Path_graph.adjacency[sector] | (1u << sector);
  int total = 0;
  for (auto& r : Round_nodes) r.clear();
  auto round_of = [&](const PathPoint& q) {
    const float d = std::max(std::fabs(q.x - p.x), std::fabs(q.z - p.z));
    if (!(d <= VIS_BOX_START + VIS_BOX_GROWTH * VIS_LAST_ROUND)) return -1;
    return d <= VIS_BOX_START ? 0 : static_cast<int>(std::ceil((d - VIS_BOX_START) / VIS_BOX_GROWTH));
  };
  for (int s = 0; s < PFG_SECTORS; s++) {
    if (!(sectors & (1u << s))) continue;
    PathSector& S = Path_graph.sectors[cls][s];
    total += S.node_count;
    for (int i = 0; i < S.node_count; i++) {
      const int r = round_of(*S.nodes[i].point);
      if (r >= 0) Round_nodes[std::min(r, VIS_LAST_ROUND)].push_back(&S.nodes[i]);
    }
  }
  for (int i = 0; i < avoid; i++) {
    const int r = round_of(*Avoid_buffer[i]->point);
    if (r >= 0) Round_nodes[std::min(r, VIS_LAST_ROUND)].push_back(Avoid_buffer[i]);
  }
  const int want = std::min(VIS_CANDIDATES, total);
  int candidates = 0;
  for (int round = 0; round <= VIS_LAST_ROUND; round++) {
    for (GraphNode* n : Round_nodes[round]) {
      if (n->sector != sector && !(n->flags & GN_AVOIDANCE)) {
        // A node beyond a portal counts only when a walk toward it really
        // passes into its sector.
        if (!(n->flags & GN_CANDIDATE_TESTED)) {
          n->flags |= GN_CANDIDATE_TESTED;
          if (point_walk_reaches(p, sector, *n->point, n->sector)) n->flags |= GN_CANDIDATE;
        }
        if (!(n->flags & GN_CANDIDATE)) continue;
      } else {
        n->flags |= GN_CANDIDATE;
      }
      candidates++;
    }
    if (candidates >= want) break;
  }
  for (auto& bucket : Round_nodes) {
    for (GraphNode* n : bucket) {
      if (!(n->flags & GN_CANDIDATE) || (n->flags & GN_LINE_TESTED)) continue;
      n->flags |= GN_LINE_TESTED;
      if (path_line_test(p, sector, *n->point, n->sector, mode)) n->flags |= GN_MARK;
    }
  }
}

namespace {

void visibility_pass(const PathPoint& start, int start_sector, const PathPoint& goal, int goal_sector) {
  const int cls = path_current_size_class();
  constexpr uint16_t pass_flags = 0x7F | GN_SPARE;
  for_each_layer_node(cls, [](GraphNode& n) { n.flags &= static_cast<uint16_t>(~pass_flags); });
  const int avoid = avoidance_nodes(cls, -1, Avoid_buffer);
  for (int i = 0; i < avoid; i++) Avoid_buffer[i]->flags &= static_cast<uint16_t>(~pass_flags);
  const int mode = PATH_LINE_OBSTACLES | PATH_LINE_PROHIBIT;
  if (Precalc_vis_method) {
    determine_point_visibility(start, start_sector, mode);
    for_each_layer_node(cls, [](GraphNode& n) {
      if (n.flags & GN_MARK) n.flags |= GN_SEEN_FROM_START;
      else n.flags &= static_cast<uint16_t>(~GN_SEEN_FROM_START);
    });
    determine_point_visibility(goal, goal_sector, mode);
    for_each_layer_node(cls, [](GraphNode& n) {
      if (n.flags & GN_MARK) n.flags |= GN_SEES_GOAL;
      else n.flags &= static_cast<uint16_t>(~GN_SEES_GOAL);
    });
    return;
  }
  path_mark_visible_nodes(start, start_sector, mode);
  for_each_layer_node(cls, [](GraphNode& n) {
    if (n.flags & GN_MARK) n.flags = static_cast<uint16_t>((n.flags & ~GN_MARK) | GN_SEEN_FROM_START);
  });
  for (int i = 0; i < avoidance_nodes(cls, start_sector, Avoid_buffer); i++) {
    GraphNode* n = Avoid_buffer[i];
    if (n->flags & GN_MARK) n->flags = static_cast<uint16_t>((n->flags & ~GN_MARK) | GN_SEEN_FROM_START);
  }
  path_mark_visible_nodes(goal, goal_sector, mode);
  for_each_layer_node(cls, [](GraphNode& n) {
    if (n.flags & GN_MARK) n.flags |= GN_SEES_GOAL;
  });
  for (int i = 0; i < avoidance_nodes(cls, goal_sector, Avoid_buffer); i++)
    if (Avoid_buffer[i]->flags & GN_MARK) Avoid_buffer[i]->flags |= GN_SEES_GOAL;
}

}  // namespace

// ---- A* ---------------------------------------------------------------------------------

bool path_astar_run(GraphNode* start, GraphNode* terminal, GraphNode* goal_entry, const PathPoint& goal,
                    int size_class, int* expanded) {
  const PathAvoidanceHooks& av = path_avoidance_hooks();
  GraphNode* extras_buf[MAX_EXTRA_NEIGHBOURS];
  Open.clear();
  Next_serial = 0;
  for_each_layer_node(size_class, [](GraphNode& n) { n.open_serial = 0; });
  GraphNode* cur = start;
  int count = 0;
  const int avoid = av.nodes ? avoidance_nodes(size_class, -1, Avoid_buffer) : 0;
  for (;;) {
    if (cur == terminal) {
      if (expanded) *expanded = count;
      return true;
    }
    count++;
    int extras = 0;
    if (goal_entry && (cur->flags & GN_SEES_GOAL)) extras_buf[extras++] = goal_entry;
    for (int i = 0; i < avoid && extras < MAX_EXTRA_NEIGHBOURS; i++) {
      GraphNode* a = Avoid_buffer[i];
      if (a->sector != cur->sector) continue;
      for (int k = 0; k < a->link_count; k++) {
        if (a->links[k] == cur) {
          extras_buf[extras++] = a;
          break;
        }
      }
    }
    const int total = cur->link_count + extras;
    for (int i = 0; i < total; i++) {
      GraphNode* nb = i < cur->link_count ? cur->links[i] : extras_buf[i - cur->link_count];
      float g = cur->g + dist2d(*cur->point, *nb->point);
      if (nb != cur && av.edge_cost) {
        bool prohibited = false;
        const float penalty = av.edge_cost(cur, nb, &prohibited);
        if (prohibited) continue;
        g += penalty;
      }
      if (nb->parent) {
        if (!(g < nb->g)) continue;
        nb->parent = nullptr;  // its older open entry goes stale below
      }
      nb->parent = cur;
      nb->g = g;
      nb->f = g + dist2d(*nb->point, goal);
      node_serial(nb) = ++Next_serial;
      Open.push_back({nb->f, Next_serial, nb});
      std::push_heap(Open.begin(), Open.end(), OpenOrder{});
    }
    cur = nullptr;
    while (!Open.empty()) {
      std::pop_heap(Open.begin(), Open.end(), OpenOrder{});
      const OpenEntry e = Open.back();
      Open.pop_back();
      if (node_serial(e.node) == e.serial) {
        cur = e.node;
        node_serial(cur) = 0;  // expanded: a later stale entry never matches
        break;
      }
    }
    if (!cur) {
      if (expanded) *expanded = count;
      return false;
    }
  }
}

PathNode* find_path(const vector& start3, int start_sector, vector& goal3, int goal_sector, int size_class,
                    float radius) {
  if (!path_sector_select(size_class, start_sector) || goal_sector < 0 || goal_sector >= PFG_SECTORS) return nullptr;
  const PathPoint start = path_point(start3);
  PathPoint goal = path_point(goal3);
  AreaTreeNode* start_leaf = path_point_walkable(start.x, start.z, start_sector);
  AreaTreeNode* goal_leaf = path_point_walkable(goal.x, goal.z, goal_sector);
  if (!goal_leaf) {
    if (!start_leaf) return nullptr;
    // Pull the goal back to the last wall of the start sector that the line
    // toward it crosses, a fiftieth of the line short of it.
    const PathSector& S = Path_graph.sectors[size_class][start_sector];
    float best = -1.0f;
    for (SectorPolygon* p = S.polygons; p; p = p->next) {
      if (!(std::min(start.x, goal.x) <= p->max_x && std::max(start.x, goal.x) >= p->min_x &&
            std::min(start.z, goal.z) <= p->max_z && std::max(start.z, goal.z) >= p->min_z))
        continue;
      for (int i = 0; i < p->count; i++) {
        const int kind = path_segment_intersect(start, goal, *p->segments[i].a, *p->segments[i].b);
        if ((kind == PATH_ISECT_CROSS || kind == PATH_ISECT_AT_END) && Path_isect.t > best) best = Path_isect.t;
      }
    }
    if (best < 0.0f) return nullptr;
    const float t = best - GOAL_PULL_BACK;
    goal = {start.x + t * (goal.x - start.x), start.z + t * (goal.z - start.z)};
    goal3.x = goal.x;
    goal3.z = goal.z;
    goal_leaf = path_point_walkable(goal.x, goal.z, goal_sector);
    if (!goal_leaf) return nullptr;
  }
  // A goal on a sector border belongs to the side its portal says.
  const uint32_t adj = Path_graph.adjacency[goal_sector];
  for (int s = 0; s < PFG_SECTORS; s++) {
    if (!(adj & (1u << s)) || s == goal_sector) continue;
    if (!path_point_in_sector(vector{goal.x, 0.0f, goal.z}, size_class, s)) continue;
    goal_sector = path_portal_side(goal_sector, s, goal);
    goal_leaf = path_point_walkable(goal.x, goal.z, goal_sector);
    break;
  }

  PathNode* goal_node = path_node_new(vector{goal.x, goal3.y, goal.z}, goal_sector, nullptr);
  if (!goal_node) return nullptr;
  goal_node->remaining = -radius;

  // The straight line is tested against the walls even when both ends share
  // a walkable leaf: a leaf is one record that many regions of the tree can
  // end in, so sharing it says nothing about the ground between them.
  const bool direct =
      path_line_test(start, start_sector, goal, goal_sector, PATH_LINE_OBSTACLES | PATH_LINE_PROHIBIT);
  if (direct && path_line_test(start, start_sector, goal, goal_sector, PATH_LINE_AVOID)) return goal_node;

  visibility_pass(start, start_sector, goal, goal_sector);
  for_each_layer_node(size_class, [](GraphNode& n) { n.parent = nullptr; });
  const int avoid = avoidance_nodes(size_class, -1, Avoid_buffer);
  for (int i = 0; i < avoid; i++) Avoid_buffer[i]->parent = nullptr;

  PathPoint start_pt = start, goal_pt = goal, goal_pt2 = goal;
  GraphNode terminal{};
  terminal.point = &goal_pt2;
  terminal.sector = static_cast<uint16_t>(goal_sector);
  GraphNode* entry_links[1] = {&terminal};
  GraphNode entry{};
  entry.point = &goal_pt;
  entry.sector = static_cast<uint16_t>(goal_sector);
  entry.link_count = 1;
  entry.links = entry_links;
  GraphNode* start_links[MAX_START_LINKS];
  int links = 0;
  if (direct) start_links[links++] = &entry;
  for (int s = 0; s < PFG_SECTORS && links < MAX_START_LINKS; s++) {
    PathSector& S = Path_graph.sectors[size_class][s];
    for (int i = 0; i < S.node_count && links < MAX_START_LINKS; i++)
      if (S.nodes[i].flags & GN_SEEN_FROM_START) start_links[links++] = &S.nodes[i];
  }
  for (int i = 0; i < avoid && links < MAX_START_LINKS; i++)
    if ((Avoid_buffer[i]->flags & GN_SEEN_FROM_START) && Avoid_buffer[i]->sector == start_sector)
      start_links[links++] = Avoid_buffer[i];
  GraphNode start_node{};
  start_node.point = &start_pt;
  start_node.sector = static_cast<uint16_t>(start_sector);
  start_node.parent = &start_node;
  start_node.g = 0.0f;
  start_node.f = dist2d(start, goal);
  start_node.link_count = static_cast<int16_t>(links);
  start_node.links = start_links;

  if (!path_astar_run(&start_node, &terminal, &entry, goal, size_class, nullptr)) {
    path_free(goal_node);
    return nullptr;
  }
  PathNode* path = build_path(&terminal, &start_node, goal_node);
  // The temporary nodes die with this call; nothing may keep them as parents.
  entry.parent = terminal.parent = nullptr;
  if (!path) return nullptr;
  if (!Precalc_vis_method) smooth(path, start, start_sector);
  PathPoint prev = start;
  for (PathNode* n = path; n; n = n->next) {
    float dx = n->x - prev.x, dz = n->z - prev.z;
    const float len = std::sqrt(dx * dx + dz * dz);
    if (len > 0.0f) {
      dx /= len;
      dz /= len;
    } else {
      dx = 1.0f;
      dz = 0.0f;
    }
    n->dir_x = dx;
    n->dir_y = 0.0f;
    n->dir_z = dz;
    prev = {n->x, n->z};
  }
  // Smoothing dropped nodes: the distances still to go follow the new legs.
  int count = 0;
  PathNode* nodes[PATH_MAX_NODES];
  for (PathNode* n = path; n && count < PATH_MAX_NODES; n = n->next) nodes[count++] = n;
  for (int i = count - 2; i >= 0; i--)
    nodes[i]->remaining = dist2d({nodes[i]->x, nodes[i]->z}, {nodes[i + 1]->x, nodes[i + 1]->z}) +
                          nodes[i + 1]->remaining;
  return path;
}

// ---- Push out ----------------------------------------------------------------------------

bool path_push_out_of_obstacles(vector& p, int size_class, int sector) {
  PathSector* S = path_sector_get(size_class, sector);
  if (!S || !path_sector_select(size_class, sector)) return false;
  const PathSegment* used[2] = {nullptr, nullptr};
  PathPoint positions[2] = {{p.x, p.z}, {p.x, p.z}};
  bool moved = false;
  int uses = 0;
  for (int round = 0; round < PUSH_OUT_ROUNDS; round++) {
    const PathPoint at{p.x, p.z};
    const bool walkable = path_point_walkable(at.x, at.z, sector) != nullptr;
    const PathSegment* best = nullptr;
    PathPoint best_point{};
    float best_d = 0.0f;
    for (SectorPolygon* poly = S->polygons; poly; poly = poly->next) {
      if (walkable && !(at.x >= poly->min_x - 1.0f && at.x <= poly->max_x + 1.0f && at.z >= poly->min_z - 1.0f &&
                        at.z <= poly->max_z + 1.0f))
        continue;
      for (int i = 0; i < poly->count; i++) {
        const PathSegment* s = &poly->segments[i];
        if (s == used[0] || s == used[1]) continue;
        const PathPoint q = path_nearest_on_segment(*s->a, *s->b, at);
        const float d = (q.x - at.x) * (q.x - at.x) + (q.z - at.z) * (q.z - at.z);
        if (!best || d < best_d) {
          best = s;
          best_d = d;
          best_point = q;
        }
      }
    }
    if (!best || (walkable && best_d >= PUSH_OUT_NEAR * PUSH_OUT_NEAR)) break;
    float dx = best->b->x - best->a->x, dz = best->b->z - best->a->z;
    const float len = std::sqrt(dx * dx + dz * dz);
    if (len <= 0.0f) break;
    float nx = dz / len, nz = -dx / len;
    if (best->flags & PSEG_REVERSED) {
      nx = -nx;
      nz = -nz;
    }
    p.x = best_point.x + PUSH_OUT_DISTANCE * nx;
    p.z = best_point.z + PUSH_OUT_DISTANCE * nz;
    used[1] = used[0];
    used[0] = best;
    positions[1] = positions[0];
    positions[0] = {p.x, p.z};
    uses++;
    moved = true;
  }
  if (moved && uses >= 2 && !path_point_walkable(p.x, p.z, sector)) {
    p.x = 0.5f * (positions[0].x + positions[1].x);
    p.z = 0.5f * (positions[0].z + positions[1].z);
  }
  return moved;
}
