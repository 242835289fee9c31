// Animated lights: channel sampling at, between and past the keys, the light
// of the dynamic pool that a channel drives, and records that do not fit
// their image.
#include "quarn/geom/anim_channel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "quarn/geom/lights.h"
#include "tools/writers/effect_instance_writer.h"

namespace {

// Three keys; the expected values below follow the sampling rule by hand:
// weights a = trunc((1 - f) x 255) and b = trunc(f x 255), each product
// shifted down by 8.
ChannelElementSpec three_keys() {
  ChannelElementSpec s;
  s.keys = {{vector(0, 0, 0), 256, 255, 0, 0, false},
            {vector(16, 8, -4), 512, 0, 255, 100, true},
            {vector(32, 0, 0), 128, 10, 20, 30, true}};
  s.radius = 5.0f;
  s.outer_radius = 9.0f;
  return s;
}

struct Built {
  std::vector<uint8_t> image;
  AnimChannelDef def;
};

Built build(const ChannelElementSpec& spec) {
  Built b;
  b.image.assign(16, 0);  // the record does not start at 0
  write_channel_element(b.image, 16, spec);
  char err[160];
  EXPECT_TRUE(anim_channel_relocate(b.def, b.image.data(), static_cast<uint32_t>(b.image.size()), 16, err, sizeof err))
      << err;
  return b;
}

class AnimChannel : public ::testing::Test {
 protected:
  void SetUp() override { lights_reset(); }
  void TearDown() override { lights_reset(); }
};

TEST_F(AnimChannel, SamplesAtBetweenAndPastTheKeys) {
  const Built b = build(three_keys());
  struct Case {
    float t;
    vector position;
    int intensity;
    uint8_t r, g, bl;
    bool on;
  };
  const Case cases[] = {
      {0.0f, {0, 0, 0}, 255, 254, 0, 0, true},        // at key 0 the on bit is the next key's
      {0.5f, {8, 4, -2}, 381, 126, 126, 49, true},     // halfway: a = b = 127
      {1.25f, {20, 6, -3}, 413, 2, 194, 81, true},     // a = 191, b = 63
      {2.0f, {32, 0, 0}, 127, 9, 19, 29, true},        // the last key
      {7.0f, {32, 0, 0}, 127, 9, 19, 29, true},        // past the last key it holds
      {1e9f, {32, 0, 0}, 127, 9, 19, 29, true},
      {-3.0f, {0, 0, 0}, 255, 254, 0, 0, true},        // before the first key
      {std::numeric_limits<float>::quiet_NaN(), {0, 0, 0}, 255, 254, 0, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.t);
    AnimChannelState st;
    anim_channel_evaluate(st, b.def, c.t);
    EXPECT_FLOAT_EQ(st.position.x, c.position.x);
    EXPECT_FLOAT_EQ(st.position.y, c.position.y);
    EXPECT_FLOAT_EQ(st.position.z, c.position.z);
    EXPECT_EQ(st.intensity, c.intensity);
    EXPECT_EQ(st.red, c.r);
    EXPECT_EQ(st.green, c.g);
    EXPECT_EQ(st.blue, c.bl);
    EXPECT_EQ((st.control & ACH_ON) != 0, c.on);
  }
}

TEST_F(AnimChannel, OnBitComesFromTheNextKey) {
  ChannelElementSpec s = three_keys();
  s.keys[1].on = false;
  s.keys[2].on = false;
  s.keys[0].on = true;
  const Built b = build(s);
  AnimChannelState st;
  anim_channel_evaluate(st, b.def, 0.0f);
  EXPECT_FALSE(st.control & ACH_ON);
  // A single-key channel: the next key is key 0 itself.
  ChannelElementSpec one;
  one.keys = {{vector(1, 2, 3), 256, 1, 2, 3, true}};
  const Built b1 = build(one);
  anim_channel_evaluate(st, b1.def, 0.7f);
  EXPECT_TRUE(st.control & ACH_ON);
  EXPECT_FLOAT_EQ(st.position.y, 2.0f);
}

TEST_F(AnimChannel, FixedPositionKeepsTheStatePosition) {
  ChannelElementSpec s = three_keys();
  s.control = ACH_FIXED_POSITION;
  const Built b = build(s);
  AnimChannelState st;
  anim_channel_start(st, b.def, true);
  st.position = vector(5, 5, 5);
  anim_channel_evaluate(st, b.def, 1.5f);
  EXPECT_FLOAT_EQ(st.position.x, 5.0f);
}

TEST_F(AnimChannel, DrivesALightOfThePool) {
  const Built b = build(three_keys());
  AnimChannelState st;
  anim_channel_start(st, b.def, false);
  ASSERT_GE(st.light, 0);
  // Made switched off at key 0 with the key-0 intensity and colour.
  EXPECT_FALSE(light_get_enabled(st.light));
  vector p;
  ASSERT_TRUE(light_get_position(st.light, p));
  EXPECT_FLOAT_EQ(p.x, 0.0f);
  float i, r, g, bl, rad, outer;
  ASSERT_TRUE(light_get_colour(st.light, i, r, g, bl));
  EXPECT_FLOAT_EQ(r, 1.0f);  // intensity 256 / 256 times red 255 / 255
  EXPECT_FLOAT_EQ(g, 0.0f);
  ASSERT_TRUE(light_get_radii(st.light, rad, outer));
  EXPECT_FLOAT_EQ(rad, 5.0f);
  EXPECT_FLOAT_EQ(outer, 9.0f);

  // Halfway between keys 0 and 1, moved by an offset and a turned frame:
  // position (8, 4, -2) taken through the transposed orientation (a
  // quarter turn whose rows are z, y, -x), plus the offset.
  matrix m;
  m.right = vector(0, 0, 1);
  m.up = vector(0, 1, 0);
  m.forward = vector(-1, 0, 0);
  const vector offset(100, 0, 0);
  anim_channel_update(st, b.def, 0.5f, &offset, &m);
  ASSERT_TRUE(light_get_position(st.light, p));
  EXPECT_FLOAT_EQ(p.x, 100.0f + 2.0f);  // 8 r + 4 u - 2 f = (0 + 0 + 2, 4, 8)
  EXPECT_FLOAT_EQ(p.y, 4.0f);
  EXPECT_FLOAT_EQ(p.z, 8.0f);
  EXPECT_TRUE(light_get_enabled(st.light));
  ASSERT_TRUE(light_get_colour(st.light, i, r, g, bl));
  EXPECT_FLOAT_EQ(g, 381.0f / 256.0f * 126.0f / 255.0f);
  // The offset is kept for later updates without one.
  anim_channel_update(st, b.def, 0.5f, nullptr, nullptr);
  ASSERT_TRUE(light_get_position(st.light, p));
  EXPECT_FLOAT_EQ(p.x, 108.0f);

  const int light = st.light;
  anim_channel_stop(st);
  EXPECT_EQ(st.light, -1);
  EXPECT_FALSE(light_get_position(light, p));
}

TEST_F(AnimChannel, AFullPoolLeavesTheChannelWithoutALight) {
  for (int i = 0; i < MAX_DYN_LIGHTS; i++)
    ASSERT_GE(light_create_point(vector(0, 0, 0), 1, 2, 1, 1, 1, 1, false), 0);
  const Built b = build(three_keys());
  AnimChannelState st;
  anim_channel_start(st, b.def, false);
  EXPECT_EQ(st.light, -1);
  EXPECT_EQ((st.control & ACH_LIGHT_MASK) >> ACH_LIGHT_SHIFT, 0x3Fu);  // -1 in six bits
  anim_channel_update(st, b.def, 1.25f, nullptr, nullptr);
  EXPECT_EQ(st.intensity, 413);  // still evaluated
  EXPECT_EQ(lights_used_count(), MAX_DYN_LIGHTS);
  anim_channel_stop(st);  // frees nothing of anyone else's
  EXPECT_EQ(lights_used_count(), MAX_DYN_LIGHTS);
}

TEST_F(AnimChannel, RecordsThatDoNotFitAreRefused) {
  std::vector<uint8_t> good(16, 0);
  write_channel_element(good, 16, three_keys());
  struct Case {
    const char* what;
    uint32_t at;   // field to spoil
    uint32_t value;
    bool u16;
  };
  const Case cases[] = {
      {"no keys", 14, 0, true},
      {"more keys than any image holds", 14, 2 * (ANIM_CHANNEL_MAX_KEYS + 1), true},
      {"x keys past the end", 16, 0xFFFFFFF0u, false},
      {"on bits past the end", 44, static_cast<uint32_t>(good.size()), false},
      {"null colour array", 32, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> img = good;
    if (c.u16)
      image_set_u16(img, 16 + c.at, static_cast<uint16_t>(c.value));
    else
      image_set_u32(img, 16 + c.at, c.value);
    AnimChannelDef def;
    char err[160] = "";
    EXPECT_FALSE(anim_channel_relocate(def, img.data(), static_cast<uint32_t>(img.size()), 16, err, sizeof err));
    EXPECT_NE(err[0], '\0');
    EXPECT_EQ(def.keys, 0);
  }
  AnimChannelDef def;
  char err[160];
  EXPECT_FALSE(anim_channel_relocate(def, good.data(), static_cast<uint32_t>(good.size()),
                                     static_cast<uint32_t>(good.size()) - 50, err, sizeof err));
}

}  // namespace
