// The AI's planner over a loaded graph: a walk round an L-shaped wall comes
// back as the start, the bends and the goal, no longer than the writer's
// own shortest walk for the creature's size; without a graph the walk is
// the straight line.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "Engine/Objects/living_entity.h"
#include "Engine/ai/path_graph.h"
#include "Engine/ai/path_planner.h"
#include "Engine/ai/path_search.h"
#include "quarn/vfile/readstream.h"
#include "tools/writers/pfg_writer.h"

namespace {

std::vector<PfgPt> box(float x0, float z0, float x1, float z1) { return {{x0, z0}, {x1, z0}, {x1, z1}, {x0, z1}}; }

std::vector<vector> points_of(const ai_path* p) {
  std::vector<vector> out;
  for (; p; p = p->next)
    for (int i = 0; i < p->count; i++) out.push_back(p->points[i]);
  return out;
}

TEST(PathPlanner, WalksRoundTheWallForEachSize) {
  EXPECT_EQ(path_size_class_for_radius(Entity_size_radius[0]), 0);
  EXPECT_EQ(path_size_class_for_radius(Entity_size_radius[1]), 1);
  EXPECT_EQ(path_size_class_for_radius(Entity_size_radius[2]), 2);
  EXPECT_EQ(path_size_class_for_radius(5.0f), 2);

  path_graph_free();
  const vector start{-4, 1.5f, -9}, goal{-10, 2.0f, -1};
  ai_path* straight = path_planner(start, 0, goal, 0, 0.15f, true);
  ASSERT_NE(straight, nullptr);
  const std::vector<vector> line = points_of(straight);
  ai_path_free(straight);
  ASSERT_EQ(line.size(), 2u);
  EXPECT_EQ(line[1].x, goal.x);

  PfgLevel level;
  level.min_x = level.min_z = -24;
  level.max_x = level.max_z = 24;
  level.sector_splits = {-5.0f};
  level.obstacles = {box(-8, -11, -7, -3), box(-7, -4, -1, -3)};
  for (int c = 0; c < 3; c++) level.radius[c] = Entity_size_radius[c];
  const std::vector<uint8_t> b = pfg_bytes(pfg_build(level));
  ReadStream in;
  in.open_memory(b.data(), static_cast<int>(b.size()));
  ASSERT_EQ(path_graph_read(in, static_cast<int>(b.size()), "planner.pfg"), 0);
  path_pool_reset();
  for (int c = 0; c < 3; c++) {
    ai_path* p = path_planner(start, 0, goal, 0, Entity_size_radius[c], true);
    ASSERT_NE(p, nullptr) << "size " << c;
    const std::vector<vector> pts = points_of(p);
    ai_path_free(p);
    ASSERT_GE(pts.size(), 3u);
    EXPECT_EQ(pts.front().x, start.x);
    EXPECT_EQ(pts.back().x, goal.x);
    EXPECT_EQ(pts.back().z, goal.z);
    EXPECT_EQ(pts.back().y, goal.y);
    double len = 0;
    for (size_t i = 1; i < pts.size(); i++) {
      EXPECT_FALSE(pfg_segment_hits_obstacle(level, level.radius[c] - 0.01f, {pts[i - 1].x, pts[i - 1].z},
                                             {pts[i].x, pts[i].z}));
      len += std::hypot(double(pts[i].x) - pts[i - 1].x, double(pts[i].z) - pts[i - 1].z);
    }
    EXPECT_NEAR(len, pfg_shortest_length(level, c, {start.x, start.z}, {goal.x, goal.z}), len * 0.01);
  }
  EXPECT_EQ(path_nodes_in_use(), 0);
  path_graph_free();
}

// A flat clearing has no obstacle corner to put a graph node on, and the
// game takes a sector without nodes for no ground: a walk there must still
// plan, inside a sector, across the border between two and from a point on
// the border.
TEST(PathPlanner, WalksStraightAcrossAFlatClearing) {
  PfgLevel level;
  level.min_x = level.min_z = -24;
  level.max_x = level.max_z = 24;
  level.sector_splits = {0.0f};
  for (int c = 0; c < 3; c++) level.radius[c] = Entity_size_radius[c];
  const std::vector<uint8_t> b = pfg_bytes(pfg_build(level));
  ReadStream in;
  in.open_memory(b.data(), static_cast<int>(b.size()));
  ASSERT_EQ(path_graph_read(in, static_cast<int>(b.size()), "clearing.pfg"), 0);
  path_pool_reset();
  struct Walk {
    vector from, to;
  };
  // From a point on the border the walk leaves through the border itself.
  for (const Walk& w : {Walk{{1, 0, 1}, {5, 0, 5}}, Walk{{0, 0, 0}, {5, 0, 5}}, Walk{{0, 0, 0}, {-3, 0, 5}},
                        Walk{{-3, 0, 7}, {3, 0, 7}}, Walk{{8, 0, -2}, {-20, 0, 20}}})
    for (int c = 0; c < 3; c++) {
      ai_path* p = path_planner(w.from, 0, w.to, 0, Entity_size_radius[c], true);
      ASSERT_NE(p, nullptr) << "size " << c << " from " << w.from.x << " " << w.from.z;
      const std::vector<vector> pts = points_of(p);
      ai_path_free(p);
      ASSERT_EQ(pts.size(), 2u) << "size " << c << " from " << w.from.x << " " << w.from.z;
      EXPECT_EQ(pts[0].x, w.from.x);
      EXPECT_EQ(pts[0].z, w.from.z);
      EXPECT_EQ(pts[1].x, w.to.x);
      EXPECT_EQ(pts[1].z, w.to.z);
    }
  EXPECT_EQ(path_nodes_in_use(), 0);
  path_graph_free();
}

}  // namespace
