// The world's dressing without a display: lamp glows that grow and shrink
// by their rates and refuse a full list, the snow grid that follows the
// camera with its pool of blocks, and which characters cast blob shadows.
#include <gtest/gtest.h>

#include <cmath>

#include "Engine/rendering/lampglow.h"
#include "Engine/rendering/scene.h"
#include "Engine/rendering/snow.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr3d.h"

namespace {

TEST(LampGlow, GrowsAtSixAndShrinksAtThreeAndRefusesAFullList) {
  lampglow_clear();
  const int g = lampglow_add(vector(1, 2, 3), 0.4f);
  ASSERT_EQ(g, 0);
  EXPECT_FLOAT_EQ(lampglow_get(g)->size, 2.0f);
  EXPECT_EQ(lampglow_get(g)->fade, 0.0f) << "a new glow is not drawn until it fades in";
  lampglow_fade_out(g, 0.1f);
  EXPECT_EQ(lampglow_get(g)->fade, 0.0f);
  lampglow_fade_in(g, 0.1f);
  EXPECT_NEAR(lampglow_get(g)->fade, 0.6f, 1e-6);
  lampglow_fade_in(g, 0.1f);
  EXPECT_EQ(lampglow_get(g)->fade, 1.0f);
  lampglow_fade_in(g, 0.5f);
  EXPECT_EQ(lampglow_get(g)->fade, 1.0f);
  lampglow_fade_out(g, 0.1f);
  EXPECT_NEAR(lampglow_get(g)->fade, 0.7f, 1e-6);
  lampglow_set(g, vector(5, 5, 5), 1.0f);
  EXPECT_FLOAT_EQ(lampglow_get(g)->size, 5.0f);
  EXPECT_FLOAT_EQ(lampglow_get(g)->pos.x, 5.0f);
  for (int i = 1; i < MAX_LAMP_GLOWS; i++) ASSERT_EQ(lampglow_add(vector(0, 0, 0), 1.0f), i);
  EXPECT_EQ(lampglow_add(vector(0, 0, 0), 1.0f), -1);
  EXPECT_EQ(lampglow_count(), MAX_LAMP_GLOWS);
  lampglow_fade_in(-1, 1.0f);  // a refused glow's index is ignored
  lampglow_clear();
  EXPECT_EQ(lampglow_count(), 0);
}

TEST(Snow, VolumeFollowsThePitchAndCellsTheCamera) {
  float top = 0, bottom = 0;
  snow_volume_for(vector(0, 10, 0), vector(0, -1, 0), 40.0f, 60.0f, &top, &bottom);
  EXPECT_FLOAT_EQ(top, 10.0f);
  EXPECT_FLOAT_EQ(bottom, -30.0f);
  snow_volume_for(vector(0, 10, 0), vector(0, 1, 0), 40.0f, 60.0f, &top, &bottom);
  EXPECT_FLOAT_EQ(top, 50.0f);
  EXPECT_FLOAT_EQ(bottom, 10.0f);
  // Level view, 60 degrees high: 40 x sin(30) = 20 above and below.
  snow_volume_for(vector(0, 10, 0), vector(0, 0, 1), 40.0f, 60.0f, &top, &bottom);
  EXPECT_NEAR(top, 30.0f, 1e-4);
  EXPECT_NEAR(bottom, -10.0f, 1e-4);
  struct Case {
    float at;
    int cell;
  };
  for (const Case& c : {Case{0.0f, 0}, Case{2.4f, 0}, Case{2.5f, 1}, Case{7.6f, 2}, Case{-0.4f, 0}, Case{-0.5f, -1},
                        Case{-2.6f, -1}, Case{-7.6f, -2}})
    EXPECT_EQ(snow_cell_of(c.at), c.cell) << c.at;
}

// A camera at the middle of the grid looking along +z.
class SnowGrid : public ::testing::Test {
 protected:
  void SetUp() override {
    gr_screen.clip_width = 640;
    gr_screen.clip_height = 480;
    Snow_enabled = true;
    snow_init();
  }
  void TearDown() override { snow_disable(); }
  void step(const vector& eye, float seconds = 0.0f) {
    gr_3d_start_frame(eye, identity_matrix, 90.0f, false);
    snow_update_at(seconds, eye, vector(0, 0, 1), 60.0f, 73.74f);
  }
};

TEST_F(SnowGrid, SeenCellsTakeBlocksAndTheGridScrollsOrRelays) {
  step(vector(0, 2, 0));
  EXPECT_EQ(snow_cell(7, 7).x, 0);
  EXPECT_EQ(snow_cell(7, 7).z, 0);
  const int used = snow_blocks_in_use();
  EXPECT_GT(used, 10);
  EXPECT_LT(used, 15 * 15) << "cells behind the camera hold none";
  EXPECT_EQ(snow_cell(7, 0).block, -1) << "the row behind the eye is culled";
  // One cell along x scrolls one column: the old first column becomes the last.
  const SnowCell* first = &snow_cell(0, 3);
  step(vector(5, 2, 0));
  EXPECT_EQ(snow_cell(7, 7).x, 1);
  EXPECT_EQ(&snow_cell(14, 3), first);
  EXPECT_EQ(snow_cell(14, 3).x, 8);
  // A jump of two cells lays it out anew around the camera.
  step(vector(20, 2, 15));
  EXPECT_EQ(snow_cell(7, 7).x, 4);
  EXPECT_EQ(snow_cell(7, 7).z, 3);
  EXPECT_EQ(snow_cell(0, 0).x, -3);
  EXPECT_EQ(snow_cell(0, 0).z, -4);
}

TEST_F(SnowGrid, FlakesFallAndAreLaidAgainFromTheTop) {
  step(vector(0, 2, 0));
  const int b = snow_cell(7, 10).block;
  ASSERT_GE(b, 0);
  float top = 0, bottom = 0;
  snow_volume(&top, &bottom);
  const float y0 = snow_block(b)[31].pos.y;
  EXPECT_LE(y0, top + 0.5f * 12.0f + 1e-3);
  // A tenth of a second: every flake moves by its drift (y falls 1 to 2 a
  // second); none is laid again yet (0.27 flakes are due).
  step(vector(0, 2, 0), 0.1f);
  const float dy = snow_block(b)[31].pos.y - y0;
  EXPECT_LT(dy, -0.09f);
  EXPECT_GT(dy, -0.21f);
  // With the switch off nothing moves.
  Snow_enabled = false;
  const float y1 = snow_block(b)[31].pos.y;
  step(vector(0, 2, 0), 1.0f);
  EXPECT_EQ(snow_block(b)[31].pos.y, y1);
  Snow_enabled = true;
}

TEST(SceneShadows, NearCreaturesOfTheirTypesOnly) {
  struct Case {
    int type;
    float near_depth;
    bool no_shadow, wanted;
  };
  for (const Case& c : {Case{7, 20.0f, false, true}, Case{7, 20.01f, false, false}, Case{5, 3.0f, false, true},
                        Case{4, 3.0f, false, true}, Case{9, 3.0f, false, false}, Case{6, 3.0f, false, false},
                        Case{8, 3.0f, false, false}, Case{5, 3.0f, true, false}})
    EXPECT_EQ(scene_shadow_wanted(c.type, c.near_depth, c.no_shadow), c.wanted)
        << c.type << " " << c.near_depth << " " << c.no_shadow;
}

}  // namespace
