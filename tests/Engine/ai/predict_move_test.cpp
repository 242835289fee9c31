// The predicted end of a move: the animation's distance times the factor
// along the entity's forward axis, kept on the ground of its size class's
// graph by pushing a point inside an obstacle back out of it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "Engine/Objects/living_entity.h"
#include "Engine/ai/path_geometry.h"
#include "Engine/ai/path_graph.h"
#include "Engine/ai/path_search.h"
#include "Engine/ai/predict_move.h"
#include "quarn/vfile/readstream.h"
#include "tests/support/world_kit.h"
#include "tools/writers/pfg_writer.h"

namespace {

TEST(PredictMove, AlongTheForwardAxisAndBackOntoTheGround) {
  WorldKit kit;
  living_entity* e = kit.spawn(kit.type("Rat"), {1, 0, 2});
  ASSERT_NE(e, nullptr);
  path_graph_free();
  // Facing 30 degrees off +z toward +x.
  const float a = 0.5235988f;
  e->orient = matrix{vector{std::cos(a), 0, -std::sin(a)}, vector{0, 1, 0}, vector{std::sin(a), 0, std::cos(a)}};
  e->anim_distance = 4.0f;
  e->move_speed = 1.0f;
  vector p;
  predict_move_end_position(&e->ai, &p, 0.5f);
  EXPECT_NEAR(p.x, 1 + 2 * 0.5f, 1e-5);
  EXPECT_NEAR(p.z, 2 + 2 * std::sqrt(3.0f) / 2, 1e-5);
  // Standing: its own place.
  e->anim_distance = 0.0f;
  e->move_speed = e->desired_speed = 0.0f;
  predict_move_end_position(&e->ai, &p, 1.0f);
  EXPECT_NEAR(p.x, 1, 1e-6);
  EXPECT_NEAR(p.z, 2, 1e-6);

  // A box ahead on the graph: the end inside it comes back out over the
  // nearer face, 0.035 off the grown wall.
  PfgLevel level;
  level.min_x = level.min_z = -20;
  level.max_x = level.max_z = 20;
  level.obstacles.push_back({{3, 1}, {6, 1}, {6, 3}, {3, 3}});
  const std::vector<uint8_t> b = pfg_bytes(pfg_build(level));
  ReadStream in;
  in.open_memory(b.data(), static_cast<int>(b.size()));
  ASSERT_EQ(path_graph_read(in, static_cast<int>(b.size()), "predict.pfg"), 0);
  const int cls = std::clamp(e->size_class(), 0, 2);
  e->orient = matrix{vector{0, 0, -1}, vector{0, 1, 0}, vector{1, 0, 0}};  // facing +x
  e->anim_distance = 3.5f;
  e->move_speed = 1.0f;
  predict_move_end_position(&e->ai, &p, 1.0f);
  const float r = level.radius[cls];
  EXPECT_NEAR(p.x, 4.5f, 1e-4);
  EXPECT_NEAR(std::fabs(p.z - 2), 1 + r + 0.035f, 1e-3);
  EXPECT_GE(path_sector_at(cls, p.x, p.z), 0);
  path_graph_free();
}

}  // namespace
