// The rotational sweep that marks the graph nodes a point sees, checked
// against the writer's own geometry (whether the line to each node crosses
// a grown obstacle) on levels of scattered, touching and overlapping boxes,
// and its soft answer when a level has more walls across one ray than the
// edge pool holds.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "Engine/ai/path_geometry.h"
#include "Engine/ai/path_graph.h"
#include "Engine/ai/path_search.h"
#include "Engine/ai/point_vis.h"
#include "quarn/vfile/readstream.h"
#include "tools/writers/pfg_writer.h"

namespace {

std::vector<PfgPt> box(float x0, float z0, float x1, float z1) { return {{x0, z0}, {x1, z0}, {x1, z1}, {x0, z1}}; }

void load(const PfgLevel& level) {
  const std::vector<uint8_t> b = pfg_bytes(pfg_build(level));
  ReadStream in;
  in.open_memory(b.data(), static_cast<int>(b.size()));
  ASSERT_EQ(path_graph_read(in, static_cast<int>(b.size()), "vis.pfg"), 0);
  path_pool_reset();
}

// A small fixed random source, so the eye points are the same every run.
struct Lcg {
  uint32_t s = 12345;
  float next(float lo, float hi) {
    s = s * 1664525u + 1013904223u;
    return lo + (hi - lo) * static_cast<float>(s >> 8) / static_cast<float>(1u << 24);
  }
};

// Compares the sweep from `eye` with the writer's geometry, node by node;
// the count of nodes checked.
int check_eye(const PfgLevel& level, int cls, PfgPt eye) {
  const int sector = path_sector_at(cls, eye.x, eye.z);
  if (sector < 0) return 0;
  path_sector_select(cls, sector);
  determine_point_visibility({eye.x, eye.z}, sector, PATH_LINE_OBSTACLES | PATH_LINE_PROHIBIT);
  int checked = 0;
  for (int s = 0; s < PFG_SECTORS; s++) {
    PathSector& S = Path_graph.sectors[cls][s];
    for (int i = 0; i < S.node_count; i++) {
      const PfgPt n{S.nodes[i].point->x, S.nodes[i].point->z};
      const bool seen = !pfg_segment_hits_obstacle(level, level.radius[cls], eye, n);
      EXPECT_EQ((S.nodes[i].flags & GN_MARK) != 0, seen)
          << "size class " << cls << " eye " << eye.x << "," << eye.z << " node " << n.x << "," << n.z;
      checked++;
    }
  }
  return checked;
}

class PointVis : public ::testing::Test {
 protected:
  void TearDown() override { path_graph_free(); }
};

TEST_F(PointVis, TheSweepSeesWhatTheGroundAllows) {
  struct Case {
    const char* name;
    std::vector<std::vector<PfgPt>> obstacles;
  };
  const Case cases[] = {
      {"one box", {box(-2, -2, 2, 2)}},
      {"scattered boxes", {box(-8, -8, -5, -6), box(2, 3, 4, 8), box(-3, 5, 0, 6), box(5, -7, 7, -2), box(-7, 0, -6, 3)}},
      // Grown outlines that overlap: corners inside a neighbour are no
      // nodes, and their walls cross.
      {"an L of two boxes", {box(-8, -8, -7, 0), box(-7, -1, 0, 0)}},
      {"a plus", {box(-6, -1, 6, 1), box(-1, -6, 1, 6)}},
      {"a turned square", {{{0, -3}, {3, 0}, {0, 3}, {-3, 0}}, box(5, 5, 6, 9)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PfgLevel level;
    level.min_x = level.min_z = -10;
    level.max_x = level.max_z = 10;
    level.sector_splits = {0.5f};
    level.obstacles = c.obstacles;
    load(level);
    Lcg rng;
    int checked = 0;
    for (int cls = 0; cls < 2; cls++)
      for (int k = 0; k < 30; k++) checked += check_eye(level, cls, {rng.next(-9, 9), rng.next(-9, 9)});
    EXPECT_GT(checked, 100);
    EXPECT_EQ(Point_vis_fallbacks, 0);
  }
}

TEST_F(PointVis, NodesOnOneRayAreTestedBeforeTheirWallsApply) {
  // Two boxes whose grown corners line up with the eye on one ray: the far
  // corner is hidden by the near box only where the ray enters it, and a
  // corner level with the eye along a face is seen.
  PfgLevel level;
  level.min_x = level.min_z = -20;
  level.max_x = level.max_z = 20;
  level.radius[0] = 0.5f;
  level.obstacles = {box(2.5f, 2.5f, 3.5f, 3.5f), box(6.5f, 6.5f, 7.5f, 7.5f)};
  load(level);
  check_eye(level, 0, {0, 0});
  check_eye(level, 0, {0, 2});
  check_eye(level, 0, {-5, 8});
}

TEST_F(PointVis, AFreeNodeIsTestedButHidesNothing) {
  PfgLevel level;
  level.min_x = level.min_z = -10;
  level.max_x = level.max_z = 10;
  level.obstacles = {box(-1, -1, 1, 1)};
  PfgFile f = pfg_build(level);
  // A free node in the open, and one behind the box from the eye.
  PfgNodeSpec open_node, hidden_node;
  open_node.point = f.add_point(-5, 0);
  open_node.free = true;
  hidden_node.point = f.add_point(5, 0.1f);
  hidden_node.free = true;
  f.sectors[0][0].nodes.push_back(open_node);
  f.sectors[0][0].nodes.push_back(hidden_node);
  const std::vector<uint8_t> b = pfg_bytes(f);
  ReadStream in;
  in.open_memory(b.data(), static_cast<int>(b.size()));
  ASSERT_EQ(path_graph_read(in, static_cast<int>(b.size()), "free.pfg"), 0);
  path_sector_select(0, 0);
  determine_point_visibility({-8, 0}, 0, PATH_LINE_OBSTACLES);
  const PathSector& S = Path_graph.sectors[0][0];
  const GraphNode& a = S.nodes[S.node_count - 2];
  const GraphNode& h = S.nodes[S.node_count - 1];
  EXPECT_TRUE(a.flags & GN_FREE);
  EXPECT_TRUE(a.flags & GN_MARK);   // between the eye and the box, hiding nothing
  EXPECT_FALSE(h.flags & GN_MARK);  // behind the box
}

TEST_F(PointVis, MoreWallsAcrossARayThanThePoolHoldsFallBackToLineTests) {
  // Fifty-five long thin walls stacked in front of the eye, written by hand
  // with a node on each corner: 110 walls cross the ray straight ahead,
  // past the pool of 100.
  PfgLevel level;  // the same walls, for the writer's geometry
  PfgFile f;
  PfgSectorSpec& S = f.sectors[0][0];
  for (int i = 0; i < 55; i++) {
    const float z0 = 2.0f + 2.0f * i, z1 = z0 + 0.2f;
    level.obstacles.push_back(box(-30, z0, 30, z1));
    PfgPolygonSpec poly;
    const int base = f.polygon_segment_base(0, 0) + 4 * i;  // after this sector's earlier walls
    int corner[4];
    const PfgPt pts[4] = {{-30, z0}, {30, z0}, {30, z1}, {-30, z1}};
    for (int k = 0; k < 4; k++) corner[k] = f.add_point(pts[k].x, pts[k].z);
    for (int k = 0; k < 4; k++) poly.segments.push_back({corner[k], corner[(k + 1) % 4]});
    poly.min_x = -30;
    poly.max_x = 30;
    poly.min_z = z0;
    poly.max_z = z1;
    S.polygons.push_back(poly);
    for (int k = 0; k < 4; k++) {
      PfgNodeSpec n;
      n.point = corner[k];
      n.seg1 = base + (k + 3) % 4;
      n.seg2 = base + k;
      S.nodes.push_back(n);
    }
  }
  S.tree.push_back({3, 0});  // the whole sector is walkable ground
  const std::vector<uint8_t> b = pfg_bytes(f);
  ReadStream in;
  in.open_memory(b.data(), static_cast<int>(b.size()));
  ASSERT_EQ(path_graph_read(in, static_cast<int>(b.size()), "walls.pfg"), 0);
  level.radius[0] = 0.0f;
  const int before = Point_vis_fallbacks;
  EXPECT_EQ(check_eye(level, 0, {0.3f, 0.5f}), 220);
  EXPECT_EQ(Point_vis_fallbacks, before + 1);
}

TEST_F(PointVis, SearchesWithTheSweepFindTheSamePaths) {
  PfgLevel level;
  level.min_x = level.min_z = -24;
  level.max_x = level.max_z = 24;
  level.sector_splits = {-5.0f};
  level.obstacles = {box(-8, -11, -7, -3), box(-7, -4, -1, -3), box(6, 6, 12, 12), box(-14, -14, -10, -10)};
  load(level);
  const std::pair<PfgPt, PfgPt> trips[] = {{{-4, -9}, {-10, -1}}, {{-12, -6}, {-3, -12}}, {{15, 15}, {-20, -20}}};
  for (auto [a, b] : trips) {
    const int s0 = path_sector_at(0, a.x, a.z), s1 = path_sector_at(0, b.x, b.z);
    ASSERT_GE(s0, 0);
    ASSERT_GE(s1, 0);
    const double shortest = pfg_shortest_length(level, 0, a, b);
    for (bool sweep : {false, true}) {
      Precalc_vis_method = sweep;
      vector goal{b.x, 0, b.z};
      PathNode* p = find_path(vector{a.x, 0, a.z}, s0, goal, s1, 0, 0.0f);
      Precalc_vis_method = false;
      ASSERT_NE(p, nullptr) << "sweep " << sweep;
      double len = 0;
      float x = a.x, z = a.z;
      for (PathNode* n = p; n; n = n->next) {
        len += std::hypot(double(n->x) - x, double(n->z) - z);
        x = n->x;
        z = n->z;
      }
      path_free(p);
      EXPECT_GE(len, shortest * 0.999) << "sweep " << sweep;
      EXPECT_LE(len, shortest * 1.01) << "sweep " << sweep;
    }
  }
}

}  // namespace
