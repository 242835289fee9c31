// The boss layer's table of types, heights and radii.
#include <gtest/gtest.h>

#include "Engine/Objects/living_entity.h"
#include "Engine/ai/boss_layer.h"
#include "Engine/characterinfo/characterinfo.h"

namespace {

TEST(BossLayer, FourteenTypesWithTheirSizes) {
  const int ids[] = {81, 87, 88, 89, 90, 147, 172, 177, 183, 184, 193, 196, 197, 201};
  int bosses = 0;
  for (int id = -1; id < 300; id++) bosses += boss_is_boss_type(id);
  EXPECT_EQ(bosses, 14);
  for (int id : ids) EXPECT_TRUE(boss_is_boss_type(id)) << id;
  EXPECT_FALSE(boss_is_boss_type(85));  // the horse
  struct Case {
    int id, size;
    float height, radius;
  } cases[] = {{81, 1, 5.5f, 1.35f},
               {147, 2, 15.0f, 5.0f},
               {177, 2, 8.0f, Entity_size_radius[2]},
               {87, 0, Entity_size_height[0], Entity_size_radius[0]},
               {196, 1, 3.0f, 1.8f},
               {12, 1, 1.0f, 1.0f}};
  for (const Case& c : cases) {
    EXPECT_FLOAT_EQ(boss_height_of(c.id, c.size), c.height) << c.id;
    EXPECT_FLOAT_EQ(boss_radius_of(c.id, c.size), c.radius) << c.id;
  }
}

}  // namespace
