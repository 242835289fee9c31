// Marks on the ground: which ring a hero's size takes, how the ground
// target's marker is turned and sized, and that a valid target shows the
// target bitmap.
#include "Orrimund/ground_marks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "Engine/rendering/decal.h"

namespace {

TEST(GroundMarks, RingBySizeSmallTakesTheLargeRing) {
  EXPECT_EQ(std::string(selection_ring_bitmap_name(1)), "cursorspot-focus.tga");
  for (int size : {0, 2, 3}) EXPECT_EQ(std::string(selection_ring_bitmap_name(size)), "cursorspot-focus-large.tga");
}

TEST(GroundMarks, TargetMarkerTurnsTowardTheTargetAndKeepsItsScreenSize) {
  const vector ref(0, 0, 0);
  GroundTarget t{vector(0, 0, 5), true, &ref};
  float angle = 0, a = 0, b = 0;
  // s = 0.2 x 10 x 0.25 = 0.5; k = min(0.5 / 1, 0.5 / 1) = 0.5.
  ground_target_marker_shape(t, 10.0f, 0.25f, &angle, &a, &b);
  EXPECT_NEAR(angle, 90.0f, 1e-3);
  EXPECT_NEAR(a, 0.5f, 1e-6);
  EXPECT_NEAR(b, 0.5f, 1e-6);
  t.point = vector(-3, 0, -3);
  t.extent_a = 2.0f;
  t.extent_b = 4.0f;
  // s = 0.2 x 100 x 1 = 20: k is held at 1.0.
  ground_target_marker_shape(t, 100.0f, 1.0f, &angle, &a, &b);
  EXPECT_NEAR(angle, 225.0f, 1e-3);
  EXPECT_NEAR(a, 2.0f, 1e-6);
  EXPECT_NEAR(b, 4.0f, 1e-6);
  // Very near: k is held at 0.05.
  t.reference = nullptr;
  ground_target_marker_shape(t, 0.1f, 0.5f, &angle, &a, &b);
  EXPECT_EQ(angle, 0.0f);
  EXPECT_NEAR(a, 0.1f, 1e-6);
  EXPECT_NEAR(b, 0.2f, 1e-6);
}

TEST(GroundMarks, AValidTargetShowsTheTargetBitmap) {
  decal_pool_reset();
  GroundTarget t{vector(1, 0, 1), true, nullptr};
  const int valid = ground_target_marker_add(t, 11, 12, 10.0f, 0.5f);
  ASSERT_NE(decal_get(valid), nullptr);
  EXPECT_EQ(decal_get(valid)->bitmap, 11);
  t.valid = false;
  const int invalid = ground_target_marker_add(t, 11, 12, 10.0f, 0.5f);
  EXPECT_EQ(decal_get(invalid)->bitmap, 12);
  decal_end_frame();  // both last one frame
  EXPECT_EQ(decal_used_count(), 0);
}

}  // namespace
