// The per-wall contact test of the slide move, on one hand-made wall from
// (0, 0) to (4, 0) whose walkable side is z < 0 (normal (wz, -wx) = (0, -1)).
// Expected contacts are worked out here from the creature circle of 0.03.
#include <gtest/gtest.h>

#include <cmath>

#include "Engine/ai/path_geometry.h"

namespace {

float Door_fraction;

struct Case {
  const char* name;
  float fx, fz, tx, tz;
  uint16_t flags;
  bool last_end_is_b;
  bool contact;
  float t, cx, cz;
  int corner;
};

TEST(WallContact, FaceEndsDoorsAndMissesOfOneWall) {
  path_set_door_open_hook([](int door, float f) { return door == 5 && Door_fraction >= f; });
  // Corner case: the move x = 4.02 passes 0.02 beside the end (4, 0); the
  // circle touches it where dz^2 = 0.03^2 - 0.02^2.
  const float dz_end = std::sqrt(0.0009f - 0.0004f);
  const Case cases[] = {
      {"straight into the face", 2, -1, 2, 1, 0, false, true, 0.97f / 2, 2, -0.03f, 0},
      {"stopping just inside the circle", 1, -1, 1, -0.02f, 0, false, true, 0.97f / 0.98f, 1, -0.03f, 0},
      {"stopping 0.03 in front", 1, -1, 1, -0.03f, 0, false, false, 0, 0, 0, 0},
      {"starting on the wall's line", 1, 0, 1, 1, 0, false, false, 0, 0, 0, 0},
      {"starting behind the wall", 1, 1, 1, -1, 0, false, false, 0, 0, 0, 0},
      {"the walkable side reversed", 2, -1, 2, 1, PSEG_REVERSED, false, false, 0, 0, 0, 0},
      {"from the reversed side", 2, 1, 2, -1, PSEG_REVERSED, false, true, 0.97f / 2, 2, 0.03f, 0},
      {"past the wall's end", 4.02f, -1, 4.02f, 1, 0, false, true, (1 - dz_end) / 2, 4.02f, -dz_end, 1},
      {"past the end touched last", 4.02f, -1, 4.02f, 1, 0, true, false, 0, 0, 0, 0},
      {"well past the end", 4.1f, -1, 4.1f, 1, 0, false, false, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PathPoint a{0, 0}, b{4, 0};
    PathSegment w{&a, &b, c.flags, 0xFF, 0};
    PathMove m{};
    m.fx = c.fx;
    m.fz = c.fz;
    m.tx = c.tx;
    m.tz = c.tz;
    m.wall = &w;
    m.stamp = 7;
    m.last_end = c.last_end_is_b ? &b : nullptr;
    ASSERT_EQ(path_wall_contact(m), c.contact);
    EXPECT_EQ(w.stamp, 7u);
    if (!c.contact) continue;
    EXPECT_NEAR(m.t, c.t, 1e-4);
    EXPECT_NEAR(m.cx, c.cx, 1e-4);
    EXPECT_NEAR(m.cz, c.cz, 1e-4);
    EXPECT_EQ(m.corner, c.corner);
    EXPECT_EQ(m.touched, c.corner ? &b : nullptr);
    // The same wall in the same query is not tested again.
    EXPECT_FALSE(path_wall_contact(m));
  }
  path_set_door_open_hook(nullptr);
}

TEST(WallContact, ADoorFortyPercentOpenLetsTheMoveThrough) {
  path_set_door_open_hook([](int door, float f) { return door == 5 && Door_fraction >= f; });
  PathPoint a{0, 0}, b{4, 0};
  for (float fraction : {0.0f, 0.39f, 0.4f, 1.0f}) {
    Door_fraction = fraction;
    PathSegment w{&a, &b, PSEG_DOOR, 5, 0};
    PathMove m{};
    m.fx = 2;
    m.fz = -1;
    m.tx = 2;
    m.tz = 1;
    m.wall = &w;
    m.stamp = 1;
    EXPECT_EQ(path_wall_contact(m), fraction < 0.4f) << "open " << fraction;
  }
  path_set_door_open_hook(nullptr);
}

}  // namespace
