// Avoidance areas over graphs made by the writer: which points the shapes
// hold near their borders, the outline of overlapping areas against a union
// worked out here, walls closed along an area that reaches into them, the
// corner rule, the pools and switches, and paths that go round a prohibit
// rectangle and straight again once it is removed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "Engine/ai/avoidance.h"
#include "Engine/ai/path_geometry.h"
#include "Engine/ai/path_graph.h"
#include "Engine/ai/path_search.h"
#include "quarn/os/console.h"
#include "quarn/vfile/readstream.h"
#include "tools/writers/pfg_writer.h"

namespace {

std::vector<PfgPt> box(float x0, float z0, float x1, float z1) { return {{x0, z0}, {x1, z0}, {x1, z1}, {x0, z1}}; }

class Avoidance : public ::testing::Test {
 protected:
  void SetUp() override {
    Avoid_settings = AvoidSettings{};
    level.min_x = level.min_z = -20;
    level.max_x = level.max_z = 20;
    level.obstacles.push_back(box(10, 10, 12, 12));
    load();
  }
  void TearDown() override {
    path_graph_free();
    Avoid_settings = AvoidSettings{};
  }
  void load() {
    const std::vector<uint8_t> b = pfg_bytes(pfg_build(level));
    ReadStream in;
    in.open_memory(b.data(), static_cast<int>(b.size()));
    ASSERT_EQ(path_graph_read(in, static_cast<int>(b.size()), "aa.pfg"), 0);
    aa_reset();
    path_pool_reset();
  }
  // An axis-aligned prohibit (or avoid) rectangle of half sizes hx, hz.
  static int rect(float x, float z, float hx, float hz, bool prohibit = true) {
    return aa_add_primitive(vector{x, 0, z}, AA_TYPE_RECT | (prohibit ? AA_TYPE_PROHIBIT : 0), vector{hx, 0, 0},
                            vector{0, 0, hz}, 0, 0);
  }
  PfgLevel level;
};

AvoidPrimitive shape(int type, float hx, float hz) {
  const int id = aa_add_primitive(vector{0, 0, 0}, type, vector{hx, 0, 0}, vector{0, 0, hz}, 0, 0);
  EXPECT_GE(id, 0);
  AvoidPrimitive p = Avoid_primitives[id];
  aa_remove_primitive(id);
  return p;
}

TEST_F(Avoidance, PointsOnAndNearTheBordersOfEachShape) {
  const AvoidPrimitive r = shape(AA_TYPE_RECT | AA_TYPE_PROHIBIT, 2, 1);
  const AvoidPrimitive c = shape(AA_TYPE_PROHIBIT, 2, 2);  // a circle of radius 2: its octagon's faces at 2
  const AvoidPrimitive s = aa_segment_shape({-1, 0}, {1, 0});
  struct Case {
    const AvoidPrimitive* p;
    float x, z, margin;
    bool in;
  } cases[] = {
      {&r, 1.99f, 0, 0, true},    {&r, 2, 0, 0, false},        {&r, 0, 0.99f, 0, true},   {&r, 0, 1, 0, false},
      {&r, 2.04f, 0, 0.05f, true}, {&r, 2.06f, 0, 0.05f, false}, {&r, 1.7f, 0, -0.25f, true}, {&r, 1.8f, 0, -0.25f, false},
      {&c, 1.99f, 0, 0, true},    {&c, 2.01f, 0, 0, false},     {&c, 0, -1.99f, 0, true},  {&c, 1.9f, 0.7f, 0, true},
      // Inside the octagon's diagonal face x + z < 2 sqrt 2, outside the circle.
      {&c, 1.4f, 1.4f, 0, true},  {&c, 1.45f, 1.45f, 0, false}, {&c, 2.1f, 0.3f, 0, false},
      {&s, 0, 0, 0.5f, false},
  };
  for (const Case& k : cases)
    EXPECT_EQ(aa_point_in_primitive(*k.p, k.x, k.z, k.margin), k.in) << k.x << "," << k.z << " margin " << k.margin;
}

double area(const PathPoint* p, int n) {
  double a = 0;
  for (int i = 0; i < n; i++) a += double(p[i].x) * p[(i + 1) % n].z - double(p[(i + 1) % n].x) * p[i].z;
  return std::fabs(a) / 2;
}

TEST_F(Avoidance, OverlappingAreasShareOneOutlineOfTheirUnion) {
  struct Box {
    float x0, z0, x1, z1;
  };
  struct Case {
    const char* name;
    Box a, b;
    int points;
  } cases[] = {
      {"a cross", {-4, -1, 4, 1}, {-1, -4, 1, 4}, 12},
      {"two offset squares", {-2, -2, 2, 2}, {0, 0, 4, 4}, 8},
      {"a bar along a wider one", {-3, -1, 3, 1}, {-1, 0, 1, 3}, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    aa_reset();
    const int a = rect((c.a.x0 + c.a.x1) / 2, (c.a.z0 + c.a.z1) / 2, (c.a.x1 - c.a.x0) / 2, (c.a.z1 - c.a.z0) / 2);
    const int b = rect((c.b.x0 + c.b.x1) / 2, (c.b.z0 + c.b.z1) / 2, (c.b.x1 - c.b.x0) / 2, (c.b.z1 - c.b.z0) / 2);
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    const AvoidPoly* poly = nullptr;
    int polys = 0;
    for (const AvoidPoly& p : Avoid_polys)
      if (p.flags & OP_IN_USE) poly = &p, polys++;
    ASSERT_EQ(polys, 1);
    EXPECT_EQ(poly->prim_count, 2);
    ASSERT_EQ(poly->outline_count, c.points);
    // The union's area: both boxes less their overlap.
    const double ix = std::max(0.0f, std::min(c.a.x1, c.b.x1) - std::max(c.a.x0, c.b.x0));
    const double iz = std::max(0.0f, std::min(c.a.z1, c.b.z1) - std::max(c.a.z0, c.b.z0));
    const double want = (c.a.x1 - c.a.x0) * (c.a.z1 - c.a.z0) + (c.b.x1 - c.b.x0) * (c.b.z1 - c.b.z0) - ix * iz;
    EXPECT_NEAR(area(poly->outline, poly->outline_count), want, 1e-3);
    // Every outline point on the union's border: on a box's edge, inside neither.
    for (int i = 0; i < poly->outline_count; i++) {
      const PathPoint& p = poly->outline[i];
      auto on_edge = [&](const Box& q) {
        const bool in_x = p.x >= q.x0 - 1e-4f && p.x <= q.x1 + 1e-4f, in_z = p.z >= q.z0 - 1e-4f && p.z <= q.z1 + 1e-4f;
        return in_x && in_z &&
               (std::fabs(p.x - q.x0) < 1e-4f || std::fabs(p.x - q.x1) < 1e-4f || std::fabs(p.z - q.z0) < 1e-4f ||
                std::fabs(p.z - q.z1) < 1e-4f);
      };
      auto strictly_in = [&](const Box& q) {
        return p.x > q.x0 + 1e-4f && p.x < q.x1 - 1e-4f && p.z > q.z0 + 1e-4f && p.z < q.z1 - 1e-4f;
      };
      EXPECT_TRUE((on_edge(c.a) || on_edge(c.b)) && !strictly_in(c.a) && !strictly_in(c.b)) << p.x << "," << p.z;
    }
    // One obstacle polygon with a node on every corner, all of them flagged.
    const ObstaclePoly& o = Obstacle_polys[poly->obstacle];
    EXPECT_EQ(o.node_count, c.points);
    for (int i = 0; i < o.node_count; i++) EXPECT_TRUE(o.nodes[i].node.flags & GN_AVOIDANCE);
  }
  // A primitive that holds the whole outline replaces it with its corners.
  aa_reset();
  ASSERT_GE(rect(0, 0, 1, 1), 0);
  ASSERT_GE(rect(0, 0, 3, 3), 0);
  for (const AvoidPoly& p : Avoid_polys)
    if (p.flags & OP_IN_USE) EXPECT_NEAR(area(p.outline, p.outline_count), 36, 1e-3);
}

TEST_F(Avoidance, APathGoesRoundAProhibitRectangleAndStraightOnceItGoes) {
  const vector start{-8, 0, 0};
  auto walk = [&](double* length) {
    vector goal{8, 0, 0};
    PathNode* p = find_path(start, 0, goal, 0, 0, 0.0f);
    std::vector<PathPoint> pts{{start.x, start.z}};
    for (PathNode* n = p; n; n = n->next) pts.push_back({n->x, n->z});
    path_free(p);
    *length = 0;
    for (size_t i = 1; i < pts.size(); i++) *length += std::hypot(pts[i].x - pts[i - 1].x, pts[i].z - pts[i - 1].z);
    return p ? pts : std::vector<PathPoint>{};
  };
  double len = 0;
  ASSERT_EQ(walk(&len).size(), 2u);
  EXPECT_NEAR(len, 16, 1e-4);

  const int handle_area = rect(0, 0, 1, 4);
  ASSERT_GE(handle_area, 0);
  EXPECT_TRUE(aa_point_blocked(vector{0, 0, 3.9f}, 0, 0));
  EXPECT_TRUE(aa_point_blocked(vector{1.04f, 0, 0}, 0, 0));  // within the margin of 0.05
  EXPECT_FALSE(aa_point_blocked(vector{1.06f, 0, 0}, 0, 0));
  EXPECT_FALSE(aa_point_blocked(vector{0, 0, 0}, 0, 1));    // another size class
  const std::vector<PathPoint> round = walk(&len);
  ASSERT_GE(round.size(), 4u);
  // Over the rectangle's corners (+-1, +-4): 2 hypot(7, 4) + 2.
  EXPECT_NEAR(len, 2 * std::hypot(7.0, 4.0) + 2, 0.01);
  for (size_t i = 1; i < round.size(); i++)
    for (int k = 0; k <= 20; k++) {
      const float t = k / 20.0f;
      const float x = round[i - 1].x + t * (round[i].x - round[i - 1].x);
      const float z = round[i - 1].z + t * (round[i].z - round[i - 1].z);
      EXPECT_FALSE(std::fabs(x) < 0.99f && std::fabs(z) < 3.99f) << "leg " << i << " enters at " << x << "," << z;
    }
  aa_remove_primitive(handle_area);
  EXPECT_FALSE(aa_point_blocked(vector{0, 0, 3.9f}, 0, 0));
  EXPECT_EQ(walk(&len).size(), 2u);
  EXPECT_NEAR(len, 16, 1e-4);
  EXPECT_EQ(path_nodes_in_use(), 0);
}

TEST_F(Avoidance, AnAvoidAreaCostsTheLengthInsideIt) {
  // An avoid rectangle 2 wide across the line: the straight line is no
  // direct path, so the search weighs the 2 inside it against the way
  // round. Round a short one is cheaper (about 0.2 more); round a long one
  // dearer (about 8.9 more).
  auto nodes = [] {
    vector goal{8, 0, 0};
    PathNode* p = find_path(vector{-8, 0, 0}, 0, goal, 0, 0, 0.0f);
    int n = 0;
    for (PathNode* q = p; q; q = q->next) n++;
    path_free(p);
    return n;
  };
  const int shortish = rect(0, 0, 1, 1, false);
  ASSERT_GE(shortish, 0);
  EXPECT_GE(nodes(), 3);
  aa_remove_primitive(shortish);
  ASSERT_GE(rect(0, 0, 1, 9, false), 0);
  EXPECT_EQ(nodes(), 2);  // the goal entry and the goal: straight through
}

TEST_F(Avoidance, AnAreaReachingIntoAWallClosesAlongItAndFreesItsMark) {
  // The writer's box (10..12) grown by 0.3: its left wall stands at x = 9.7.
  const int id = rect(9.2f, 11, 1, 0.5f);
  ASSERT_GE(id, 0);
  const ObstaclePoly* o = nullptr;
  for (const ObstaclePoly& q : Obstacle_polys)
    if (q.flags & OP_IN_USE) o = &q;
  ASSERT_NE(o, nullptr);
  PathSegment* wall = nullptr;
  int closing = 0;
  for (int i = 0; i < o->seg_count; i++)
    if (o->segs[i].wall) wall = o->segs[i].wall, closing++;
  ASSERT_EQ(closing, 2);  // from the wall's end to the outline and back
  EXPECT_NEAR(wall->a->x, 9.7f, 1e-4);
  EXPECT_NEAR(wall->b->x, 9.7f, 1e-4);
  EXPECT_TRUE(wall->flags & PSEG_AVOID_CLOSED);
  EXPECT_EQ(wall->avoid_uses, 2);
  aa_remove_primitive(id);
  EXPECT_FALSE(wall->flags & PSEG_AVOID_CLOSED);
  EXPECT_EQ(wall->avoid_uses, 0);
}

TEST_F(Avoidance, ProhibitAreasOnOneWallJoinTheirClosingSegmentsAlongIt) {
  // Two areas reach into the wall x = 9.7 (z 9.7 .. 12.3) at z 9.9-10.3 and
  // 11.5-11.9. Along the wall, from its walkable-side start, each closing
  // segment that leads back to the wall (end mark 1) ends at the next
  // crossing instead of the wall's end, and each that comes from the wall
  // (end mark 0) starts at the previous crossing; the first and the last
  // keep the wall's ends.
  ASSERT_GE(rect(9.2f, 10.1f, 1, 0.2f), 0);
  ASSERT_GE(rect(9.2f, 11.7f, 1, 0.2f), 0);
  struct Entry {
    const ObstaclePoly* o;
    const OutlineSegment* s;
    float pos;
  };
  std::vector<Entry> list;
  const PathSegment* wall = nullptr;
  for (const ObstaclePoly& o : Obstacle_polys) {
    if (!(o.flags & OP_IN_USE)) continue;
    for (int i = 0; i < o.seg_count; i++) {
      const OutlineSegment& s = o.segs[i];
      if (!s.wall) continue;
      wall = s.wall;
      const ObstacleNode& cross = o.nodes[s.end_mark ? s.n1 : s.n2];
      list.push_back({&o, &s, cross.cz});
    }
  }
  ASSERT_EQ(list.size(), 4u);
  ASSERT_EQ(wall->avoid_uses, 4);
  const bool reversed = (wall->flags & PSEG_REVERSED) != 0;
  const float start = reversed ? wall->b->z : wall->a->z;
  const float dir = std::copysign(1.0f, (reversed ? wall->a->z : wall->b->z) - start);
  for (Entry& e : list) e.pos = (e.pos - start) * dir;
  std::stable_sort(list.begin(), list.end(), [](const Entry& a, const Entry& b) { return a.pos < b.pos; });
  const float crossings[4] = {9.9f, 10.3f, 11.5f, 11.9f};
  for (size_t i = 0; i < 4; i++) {
    const Entry& e = list[i];
    const ObstacleNode& cross = e.o->nodes[e.s->end_mark ? e.s->n1 : e.s->n2];
    const ObstacleNode& end = e.o->nodes[e.s->end_mark ? e.s->n2 : e.s->n1];
    EXPECT_NEAR(cross.cz, dir > 0 ? crossings[i] : crossings[3 - i], 1e-4);
    EXPECT_NEAR(end.cx, 9.7f, 1e-4);
    float want;
    if (e.s->end_mark == 1 && i + 1 < 4) want = list[i + 1].o->nodes[list[i + 1].s->n2].cz;
    else if (e.s->end_mark == 0 && i > 0) want = list[i - 1].o->nodes[list[i - 1].s->n1].cz;
    else want = std::fabs(end.cz - 9.7f) < 1e-4 ? 9.7f : 12.3f;  // the wall's own end
    EXPECT_NEAR(end.cz, want, 1e-4) << "entry " << i << " end mark " << e.s->end_mark;
    if (std::fabs(want - 9.7f) > 1e-4 && std::fabs(want - 12.3f) > 1e-4) {
      // A joined node turns the corner like any other, not along (1, 1).
      EXPECT_GE(std::hypot(end.dx, end.dz), 1.0f - 1e-4);
      EXPECT_FALSE(end.dx == 1.0f && end.dz == 1.0f);
    }
  }
  // No closing segment reaches past a crossing of the other area: the wall
  // between the areas is covered once at most.
  int spans_gap = 0;
  for (const Entry& e : list) {
    const float a = e.o->nodes[e.s->n1].cz, b = e.o->nodes[e.s->n2].cz;
    if (std::fmin(a, b) < 10.9f && std::fmax(a, b) > 10.9f) spans_gap++;
  }
  EXPECT_LE(spans_gap, 2);
}

TEST_F(Avoidance, AScriptBarrierTurnsPathsRoundItsEndUntilCleared) {
  // A barrier along x = 0 from z = -20 to z = 3: the way from (-8, 0) to
  // (8, 0) must pass beyond its end, here over a corner of the box at
  // 10..12, and straight once the barrier is cleared.
  auto walk = [](double* length) {
    const vector start{-8, 0, 0};
    vector goal{8, 0, 0};
    PathNode* p = find_path(start, 0, goal, 0, 0, 0.0f);
    std::vector<PathPoint> pts{{start.x, start.z}};
    for (PathNode* n = p; n; n = n->next) pts.push_back({n->x, n->z});
    const bool found = p != nullptr;
    path_free(p);
    *length = 0;
    for (size_t i = 1; i < pts.size(); i++) *length += std::hypot(pts[i].x - pts[i - 1].x, pts[i].z - pts[i - 1].z);
    return found ? pts : std::vector<PathPoint>{};
  };
  const vector line[3] = {{0, 0, -20}, {0, 0, -5}, {0, 0, 3}};
  const int shape = aa_create_avoid_poly(AvoidShapeList{3, line, 0});
  ASSERT_GE(shape, 0);
  double len = 0;
  const std::vector<PathPoint> round = walk(&len);
  ASSERT_GE(round.size(), 3u);
  EXPECT_GT(len, 20.0);
  for (size_t i = 1; i < round.size(); i++) {
    const PathPoint a = round[i - 1], b = round[i];
    if ((a.x < 0) == (b.x < 0)) continue;
    const float z = a.z + (0 - a.x) / (b.x - a.x) * (b.z - a.z);  // where the leg meets x = 0
    EXPECT_GT(z, 3.0f) << "leg " << i << " crosses the barrier";
  }
  // Another size class has no barrier.
  vector goal{8, 0, 0};
  PathNode* other = find_path(vector{-8, 0, 0}, 0, goal, 0, 1, 0.0f);
  int n = 0;
  for (PathNode* q = other; q; q = q->next) n++;
  path_free(other);
  EXPECT_LE(n, 2);
  aa_clear_avoid_poly(shape);
  EXPECT_EQ(walk(&len).size(), 2u);
  EXPECT_NEAR(len, 16, 1e-4);
  for (const AvoidScriptSegment& g : Avoid_script_segments) EXPECT_FALSE(g.flags & AP_IN_USE);
}

TEST_F(Avoidance, ScriptBarrierPools) {
  const vector leg[2] = {{-1, 0, 0}, {1, 0, 0}};
  std::vector<int> made;
  for (int i = 0; i < AA_MAX_SCRIPT_SHAPES; i++) made.push_back(aa_create_avoid_poly(AvoidShapeList{2, leg, 0}));
  for (int i = 0; i < AA_MAX_SCRIPT_SHAPES; i++) EXPECT_EQ(made[i], i);
  EXPECT_EQ(aa_create_avoid_poly(AvoidShapeList{2, leg, 0}), -1);  // the 21st
  aa_clear_avoid_poly(-1);                                         // ignored
  aa_clear_avoid_poly(AA_MAX_SCRIPT_SHAPES);
  aa_clear_avoid_poly(7);
  EXPECT_EQ(aa_create_avoid_poly(AvoidShapeList{2, leg, 0}), 7);
  aa_reset();
  // Every size class: one segment each; outside the level, none.
  const int all = aa_create_avoid_poly(AvoidShapeList{2, leg});
  ASSERT_GE(all, 0);
  EXPECT_EQ(Avoid_script_shapes[all].count, PFG_SIZE_CLASSES);
  const vector away[2] = {{100, 0, 100}, {101, 0, 100}};
  EXPECT_EQ(aa_create_avoid_poly(AvoidShapeList{2, away}), -1);
  EXPECT_EQ(aa_create_avoid_poly(AvoidShapeList{1, leg}), -1);
  Avoid_settings.enable = false;
  EXPECT_EQ(aa_create_avoid_poly(AvoidShapeList{2, leg}), -1);
}

TEST_F(Avoidance, TheCornerRule) {
  struct Case {
    PathPoint d1, d2;
    float length;
  } cases[] = {
      {{1, 0}, {0, 1}, 1.0f},                              // n2 . d1 > 0
      {{1, 0}, {0, -1}, 1.0f / std::sin(float(M_PI) / 4)},  // a right angle the other way
      {{1, 0}, {1, 0}, 1.01f},                             // straight on
      {{1, 0}, {-0.999f, -0.0447f}, 5.0f},                 // nearly back again
  };
  for (const Case& c : cases) {
    const PathPoint d = aa_corner_direction(c.d1, c.d2);
    EXPECT_NEAR(std::hypot(d.x, d.z), c.length, 1e-3) << c.d2.x << "," << c.d2.z;
  }
}

TEST_F(Avoidance, PoolsSwitchesAndHandles) {
  for (int i = 0; i < AA_MAX_PRIMITIVES; i++) ASSERT_GE(rect(-18.0f + 2.5f * i, -15, 0.5f, 0.5f), 0) << i;
  EXPECT_EQ(rect(0, 5, 0.5f, 0.5f), -1);  // the 15th
  aa_reset();
  Avoid_settings.enable = false;
  EXPECT_EQ(rect(0, 0, 1, 1), -1);
  Avoid_settings.enable = true;

  const vector pts[2] = {{-3, 0, 0}, {3, 0, 0}};
  AvoidShape s{AA_TYPE_PROHIBIT, 2, pts, 1.0f, 0.0f, 1.0f, -1};
  const int h = aa_add(s);
  ASSERT_GE(h, 0);
  // The leg reaches 0.3 past its ends and 0.1 past its half width of 0.5.
  EXPECT_TRUE(aa_point_blocked(vector{3.25f, 0, 0}, 0, 0));
  EXPECT_TRUE(aa_point_blocked(vector{3.25f, 0, 0}, 0, 2));  // every size goes round it
  EXPECT_TRUE(aa_point_blocked(vector{0, 0, 0.62f}, 0, 0));
  EXPECT_FALSE(aa_point_blocked(vector{0, 0, 0.7f}, 0, 0));
  EXPECT_TRUE(aa_point_in_handle(vector{0, 0, 0.3f}, 0, 0, h));
  EXPECT_FALSE(aa_point_in_handle(vector{0, 0, 0.4f}, 0, 0, h));  // not 0.25 inside
  Avoid_settings.no_remove = true;
  aa_remove(h);
  EXPECT_TRUE(aa_point_blocked(vector{0, 0, 0}, 0, 0));
  Avoid_settings.no_remove = false;
  aa_remove(h);
  EXPECT_FALSE(aa_point_blocked(vector{0, 0, 0}, 0, 0));
  aa_remove(h);   // a free handle
  aa_remove(99);  // no handle

  std::string out;
  console_set_output_hook(nullptr);
  const char* want[][2] = {{"avoidance enable", "Avoidance areas disabled"},
                           {"avoidance enable", "Avoidance areas enabled"},
                           {"avoidance circle", "Avoidance areas type circle selected"},
                           {"avoidance avoid", "Avoidance areas parameter not supported"},
                           {"avoidance reset", "Avoidance areas have been reset"}};
  static std::string* sink;
  sink = &out;
  console_set_output_hook([](const char* t) { *sink += t; });
  for (auto& w : want) {
    out.clear();
    console_execute(w[0]);
    EXPECT_NE(out.find(w[1]), std::string::npos) << w[0] << ": " << out;
  }
  EXPECT_FALSE(Avoid_settings.rect);
  console_set_output_hook(nullptr);
}

}  // namespace
