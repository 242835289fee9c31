// Path geometry and search over graphs made by the writer: sector borders,
// walls that stop and slide a move, doors, and paths whose lengths are
// checked against a plain Dijkstra worked out here over the same graph.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "Engine/ai/path_geometry.h"
#include "Engine/ai/path_graph.h"
#include "Engine/ai/path_search.h"
#include "quarn/vfile/readstream.h"
#include "tools/writers/pfg_writer.h"

namespace {

std::vector<PfgPt> box(float x0, float z0, float x1, float z1) { return {{x0, z0}, {x1, z0}, {x1, z1}, {x0, z1}}; }

PfgFile load(const PfgLevel& level) {
  PfgFile f = pfg_build(level);
  const std::vector<uint8_t> b = pfg_bytes(f);
  ReadStream in;
  in.open_memory(b.data(), static_cast<int>(b.size()));
  EXPECT_EQ(path_graph_read(in, static_cast<int>(b.size()), "test.pfg"), 0);
  path_pool_reset();
  return f;
}

double path_length(const vector& start, const PathNode* p) {
  double len = 0;
  float x = start.x, z = start.z;
  for (; p; p = p->next) {
    len += std::hypot(double(p->x) - x, double(p->z) - z);
    x = p->x;
    z = p->z;
  }
  return len;
}

// A plain Dijkstra over the file's own nodes and links, the ends joined to
// every node they see by this test's own segment test.
double dijkstra(const PfgLevel& level, const PfgFile& f, int cls, PfgPt a, PfgPt b) {
  std::vector<PfgPt> pts;
  std::vector<std::pair<int, int>> id;
  for (int s = 0; s < 20; s++)
    for (size_t i = 0; i < f.sectors[cls][s].nodes.size(); i++) {
      pts.push_back(f.points[f.sectors[cls][s].nodes[i].point]);
      id.push_back({s, static_cast<int>(i)});
    }
  const int n = static_cast<int>(pts.size());
  auto index_of = [&](std::pair<int, int> k) {
    for (int i = 0; i < n; i++)
      if (id[i] == k) return i;
    return -1;
  };
  std::vector<std::vector<std::pair<int, double>>> adj(n + 2);
  auto d = [](PfgPt p, PfgPt q) { return std::hypot(double(p.x) - q.x, double(p.z) - q.z); };
  for (int i = 0; i < n; i++)
    for (auto l : f.sectors[cls][id[i].first].nodes[id[i].second].links) {
      const int j = index_of(l);
      adj[i].push_back({j, d(pts[i], pts[j])});
    }
  const float r = level.radius[cls];
  pts.push_back(a);
  pts.push_back(b);
  for (int end : {n, n + 1})
    for (int i = 0; i < n + 2; i++)
      if (i != end && !pfg_segment_hits_obstacle(level, r, pts[end], pts[i])) {
        adj[end].push_back({i, d(pts[end], pts[i])});
        adj[i].push_back({end, d(pts[end], pts[i])});
      }
  std::vector<double> dist(n + 2, std::numeric_limits<double>::infinity());
  std::vector<bool> done(n + 2);
  dist[n] = 0;
  for (;;) {
    int u = -1;
    for (int i = 0; i < n + 2; i++)
      if (!done[i] && (u < 0 || dist[i] < dist[u])) u = i;
    if (u < 0 || !std::isfinite(dist[u])) break;
    done[u] = true;
    for (auto [v, w] : adj[u]) dist[v] = std::min(dist[v], dist[u] + w);
  }
  return dist[n + 1];
}

int sector_at(int cls, float x, float z) {
  for (int s = 0; s < PFG_SECTORS; s++)
    if (path_point_in_sector(vector{x, 0, z}, cls, s)) return s;
  return -1;
}

TEST(PathGeometry, PointsOnASectorBorderLieInBothSectors) {
  PfgLevel level;
  level.min_x = level.min_z = -10;
  level.max_x = level.max_z = 10;
  level.sector_splits = {0.0f};
  level.obstacles.push_back(box(3, 3, 5, 5));
  level.obstacles.push_back(box(-5, -5, -3, -3));
  load(level);
  EXPECT_TRUE(path_point_in_sector(vector{0, 0, 1}, 0, 0));
  EXPECT_TRUE(path_point_in_sector(vector{0, 0, 1}, 0, 1));
  EXPECT_FALSE(path_point_in_sector(vector{0.01f, 0, 1}, 0, 0));
  EXPECT_FALSE(path_point_in_sector(vector{-0.01f, 0, 1}, 0, 1));
  // The portal's side decides for a point on it or near it.
  EXPECT_EQ(path_portal_side(0, 1, {0.5f, 1}), 1);
  EXPECT_EQ(path_portal_side(0, 1, {-0.5f, 1}), 0);
  // Outside the shrunk ground and inside the grown obstacle: nowhere.
  EXPECT_EQ(sector_at(0, -9.8f, 0), -1);
  EXPECT_EQ(sector_at(0, 4, 4), -1);
  EXPECT_EQ(sector_at(0, 2.65f, 4), 1);
}

class Walls : public ::testing::Test {
 protected:
  void SetUp() override {
    level.min_x = level.min_z = -10;
    level.max_x = level.max_z = 10;
    level.obstacles.push_back(box(0, 0, 4, 4));
    level.doors.push_back({{-5, -10}, {-5, 10}, 3});
    load(level);
    path_sector_select(0, 0);
    door_fraction = 0.0f;
    path_set_door_open_hook([](int door, float f) { return door != 3 || door_fraction >= f; });
  }
  void TearDown() override { path_set_door_open_hook(nullptr); }
  PfgLevel level;
  static float door_fraction;
};
float Walls::door_fraction;

// The grown box's left face stands at x = -0.3.
TEST_F(Walls, AMoveIntoAWallStopsJustShortOfIt) {
  vector out;
  EXPECT_TRUE(path_slide_move(vector{-2, 1, 2}, vector{1, 1, 2}, &out, 0, 0));
  // The contact circle's 0.03, and the slide's 0.015 off the face.
  EXPECT_NEAR(out.x, -0.345f, 0.002f);
  EXPECT_NEAR(out.z, 2.0f, 0.02f);
  EXPECT_EQ(out.y, 1.0f);
  // Stopping 0.03 or more in front, or starting on the wall's line: no contact.
  EXPECT_FALSE(path_slide_move(vector{-2, 0, 2}, vector{-0.33f, 0, 2}, &out, 0, 0));
  EXPECT_FALSE(path_slide_move(vector{-0.3f, 0, 2}, vector{-0.3f, 0, 1}, &out, 0, 0));
}

TEST_F(Walls, AnAngledMoveSlidesAlongTheWall) {
  vector out;
  EXPECT_TRUE(path_slide_move(vector{-2, 0, 1}, vector{1, 0, 2}, &out, 0, 0));
  // Stopped at the face, then carried the rest of the way along it (+z).
  EXPECT_NEAR(out.x, -0.345f, 0.003f);
  EXPECT_GT(out.z, 1.9f);
  EXPECT_LT(out.z, 2.05f);
}

TEST_F(Walls, ASlideIntoACornerStopsAtTheSecondWall) {
  vector out;
  // Into the ground's north-east corner (walls at x 9.7 and z 9.7).
  EXPECT_TRUE(path_slide_move(vector{9, 0, 8}, vector{11, 0, 11}, &out, 0, 0));
  EXPECT_LE(out.x, 9.7f);
  EXPECT_LE(out.z, 9.7f);
  EXPECT_GT(out.x, 9.6f);
  EXPECT_GT(out.z, 9.6f);
}

TEST_F(Walls, DoorsStopMovesUntilTheyAreFortyPercentOpen) {
  vector out;
  const vector dir{1, 0, 0};
  EXPECT_TRUE(path_door_blocks(vector{-6, 0, 0}, dir, 0, 0, 2.0f));
  EXPECT_TRUE(path_slide_move(vector{-6, 0, 0}, vector{-4, 0, 0}, &out, 0, 0));
  EXPECT_LT(out.x, -5.0f);
  EXPECT_EQ(path_line_walkable(vector{-6, 0, 0}, vector{-4, 0, 0}, 0, 0), -1);
  door_fraction = 0.39f;
  EXPECT_TRUE(path_door_blocks(vector{4, 0, 0}, vector{-1, 0, 0}, 0, 0, -9.0f) == false);
  EXPECT_TRUE(path_door_blocks(vector{-6, 0, 0}, dir, 0, 0, 2.0f));
  door_fraction = 0.4f;
  EXPECT_FALSE(path_door_blocks(vector{-6, 0, 0}, dir, 0, 0, 2.0f));
  EXPECT_FALSE(path_slide_move(vector{-6, 0, 0}, vector{-4, 0, 0}, &out, 0, 0));
  EXPECT_EQ(out.x, -4.0f);
  EXPECT_EQ(path_line_walkable(vector{-6, 0, 0}, vector{-4, 0, 0}, 0, 0), 0);
}

TEST(PathGeometry, SegmentIntersectionKinds) {
  struct {
    PfgPt a1, a2, b1, b2;
    int kind;
  } cases[] = {{{0, 0}, {2, 2}, {0, 2}, {2, 0}, PATH_ISECT_CROSS},
               {{0, 0}, {2, 0}, {1, 0}, {1, 2}, PATH_ISECT_AT_END},
               {{0, 0}, {2, 0}, {2, 0}, {3, 1}, PATH_ISECT_SHARED_END},
               {{0, 0}, {2, 0}, {0, 1}, {2, 1}, PATH_ISECT_PARALLEL},
               {{0, 0}, {2, 0}, {3, 0}, {4, 0}, PATH_ISECT_COLLINEAR},
               {{0, 0}, {1, 1}, {3, 0}, {3, 2}, PATH_ISECT_NONE}};
  for (auto& c : cases) {
    const PathPoint a1{c.a1.x, c.a1.z}, a2{c.a2.x, c.a2.z}, b1{c.b1.x, c.b1.z}, b2{c.b2.x, c.b2.z};
    EXPECT_EQ(path_segment_intersect(a1, a2, b1, b2), c.kind) << c.kind;
  }
}

struct PathCase {
  const char* what;
  std::vector<std::vector<PfgPt>> obstacles;
  std::vector<float> splits;
};

TEST(PathSearch, PathsMatchAPlainDijkstraOverTheSameGraph) {
  const PathCase cases[] = {
      {"one box", {box(-2, -2, 2, 2)}, {}},
      {"an L", {box(-3, -5, -2, 3), box(-2, 2, 4, 3)}, {}},
      {"an L over two sectors", {box(-3, -5, -2, 3), box(-2, 2, 4, 3)}, {0.5f}},
      {"a corridor of boxes", {box(-6, -1, -4, 8), box(-1, -8, 1, 1), box(4, -1, 6, 8)}, {-2.0f, 2.0f}},
      {"a turned square", {{{0, -3}, {3, 0}, {0, 3}, {-3, 0}}}, {}},
  };
  const PfgPt ends[][2] = {{{-8, -8}, {8, 8}}, {{-8, 8}, {8, -8}}, {{0, -8.5f}, {0, 8.5f}}, {{-8.5f, 0}, {8.5f, 0}},
                           {{-1, 4}, {5, -4}}, {{7, 7}, {-7, -6}}};
  for (const PathCase& c : cases) {
    PfgLevel level;
    level.min_x = level.min_z = -10;
    level.max_x = level.max_z = 10;
    level.obstacles = c.obstacles;
    level.sector_splits = c.splits;
    const PfgFile f = load(level);
    for (int cls = 0; cls < 3; cls++) {
      for (const auto& e : ends) {
        const int s0 = sector_at(cls, e[0].x, e[0].z), s1 = sector_at(cls, e[1].x, e[1].z);
        if (s0 < 0 || s1 < 0) continue;
        const vector start{e[0].x, 0, e[0].z};
        vector goal{e[1].x, 0, e[1].z};
        const double want = dijkstra(level, f, cls, e[0], e[1]);
        PathNode* p = find_path(start, s0, goal, s1, cls, 0.5f);
        SCOPED_TRACE(std::string(c.what) + " class " + std::to_string(cls) + " from " + std::to_string(e[0].x) +
                     "," + std::to_string(e[0].z));
        ASSERT_TRUE(std::isfinite(want));
        ASSERT_NE(p, nullptr);
        EXPECT_NEAR(path_length(start, p), want, want * 1e-4);
        // The walk never enters an obstacle.
        float x = start.x, z = start.z;
        for (const PathNode* n = p; n; n = n->next) {
          EXPECT_FALSE(pfg_segment_hits_obstacle(level, 0.0f, {x, z}, {n->x, n->z}));
          x = n->x;
          z = n->z;
        }
        // Remaining distances run down to minus the radius at the end.
        EXPECT_NEAR(p->remaining, want - std::hypot(p->x - start.x, p->z - start.z) - 0.5, 1e-3);
        path_free(p);
        EXPECT_EQ(path_nodes_in_use(), 0);
      }
    }
  }
}

TEST(PathSearch, UnreachableSameAndBlockedGoals) {
  PfgLevel level;
  level.min_x = level.min_z = -10;
  level.max_x = level.max_z = 10;
  // A pen of four walls round (6, 6), and a block at the origin.
  for (auto b : {box(3, 3, 9, 4), box(3, 8, 9, 9), box(3, 4, 4, 8), box(8, 4, 9, 8)}) level.obstacles.push_back(b);
  level.obstacles.push_back(box(-2, -2, 2, 2));
  load(level);
  vector goal{6, 0, 6};
  EXPECT_EQ(find_path(vector{-8, 0, -8}, 0, goal, 0, 0, 0.0f), nullptr);
  EXPECT_EQ(path_nodes_in_use(), 0);
  // Start equal to goal: one node, its remaining distance minus the radius.
  goal = vector{-8, 0, -8};
  PathNode* p = find_path(vector{-8, 0, -8}, 0, goal, 0, 0, 0.75f);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->next, nullptr);
  EXPECT_FLOAT_EQ(p->remaining, -0.75f);
  path_free(p);
  // A goal inside the block is pulled back toward the start, and the caller
  // sees where: on the start-goal line, just outside the grown block.
  goal = vector{0, 0, 0};
  p = find_path(vector{-8, 0, 0}, 0, goal, 0, 0, 0.0f);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(goal.z, 0.0f);
  EXPECT_NEAR(goal.x, -2.3f - 0.02f * 8.0f, 0.01f);
  EXPECT_NE(path_point_walkable(goal.x, goal.z, 0), nullptr);
  path_free(p);
  EXPECT_EQ(path_nodes_in_use(), 0);
}

TEST(PathSearch, AnEmptyPoolFailsTheSearchSoftly) {
  PfgLevel level;
  level.min_x = level.min_z = -10;
  level.max_x = level.max_z = 10;
  level.obstacles.push_back(box(-2, -2, 2, 2));
  load(level);
  std::vector<PathNode*> held;
  while (path_nodes_in_use() < PATH_MAX_NODES - 1) held.push_back(path_node_alloc());
  testing::internal::CaptureStdout();
  vector goal{8, 0, 0};
  EXPECT_EQ(find_path(vector{-8, 0, 0}, 0, goal, 0, 0, 0.0f), nullptr);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("Out of ai path nodes -- current max is 1000."),
            std::string::npos);
  EXPECT_EQ(path_nodes_in_use(), PATH_MAX_NODES - 1);
  for (PathNode* n : held) path_node_pop(n);
  EXPECT_EQ(path_nodes_in_use(), 0);
}

TEST(PathSearch, PushOutMovesAPointOffTheWallItTouches) {
  PfgLevel level;
  level.min_x = level.min_z = -10;
  level.max_x = level.max_z = 10;
  level.obstacles.push_back(box(-2, -2, 2, 2));
  load(level);
  vector p{-2.31f, 5, 0.5f};  // 0.01 from the grown face at x -2.3
  EXPECT_TRUE(path_push_out_of_obstacles(p, 0, 0));
  EXPECT_NEAR(p.x, -2.335f, 1e-4f);
  EXPECT_EQ(p.y, 5.0f);
  vector far{-5, 0, 0};
  EXPECT_FALSE(path_push_out_of_obstacles(far, 0, 0));
  EXPECT_EQ(far.x, -5.0f);
}

}  // namespace
