#include "quarn/math/noise.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "quarn/math/floatops.h"

namespace {

// Each test starts the noise tables from a known point of the sequence.
class Noise : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = os_rand_get_state();
    os_srand(1);
    noise_reset();
  }
  void TearDown() override {
    noise_reset();
    os_rand_set_state(saved_);
  }
  uint32_t saved_ = 0;
};

TEST_F(Noise, ZeroAtEveryIntegerInput) {
  const float ints[] = {0, 1, -1, 7, 255, 256, -300, 4095, -4096, 100000};
  for (float a : ints) {
    EXPECT_EQ(noise_1d(a), 0.0f) << a;
    for (float b : ints) {
      EXPECT_EQ(noise_2d(a, b), 0.0f) << a << "," << b;
      EXPECT_EQ(noise_3d(a, b, 3.0f), 0.0f) << a << "," << b;
    }
  }
}

TEST_F(Noise, TablesComeFromTheSequenceInAFixedOrder) {
  // Build the permutation and the 1-D gradients the documented way and
  // compare noise_1d against them: a change in the order of the draws
  // shows here.
  uint32_t start = os_rand_get_state();
  int p[256];
  float g1[256];
  for (int i = 0; i < 256; ++i) {
    p[i] = i;
    g1[i] = static_cast<float>((os_rand() & 511) - 256) * 0.00390625f;
    for (int k = 0; k < 5; ++k) os_rand();  // g2.x, g2.y, g3.x, g3.y, g3.z
  }
  for (int i = 255; i > 0; --i) {
    int j = os_rand() & 255;
    int t = p[i];
    p[i] = p[j];
    p[j] = t;
  }
  uint32_t after_init = os_rand_get_state();
  os_rand_set_state(start);

  const float xs[] = {0.25f, 0.5f, 3.7f, 100.125f, -0.5f, -2.75f};
  for (float x : xs) {
    float got = noise_1d(x);
    float u = x + 4096.0f;
    int i0 = static_cast<int>(u);
    float r0 = u - static_cast<float>(i0), r1 = r0 - 1.0f;
    int b0 = i0 & 255, b1 = (b0 + 1) & 255;
    float s = r0 * r0 * (3.0f - 2.0f * r0);
    float a = r0 * g1[p[b0]], b = r1 * g1[p[b1]];
    EXPECT_FLOAT_EQ(got, a + s * (b - a)) << x;
  }
  // The first call drew exactly 256 * 6 + 255 numbers; later calls none.
  EXPECT_EQ(os_rand_get_state(), after_init);
  noise_3d(0.5f, 0.5f, 0.5f);
  EXPECT_EQ(os_rand_get_state(), after_init);
}

TEST_F(Noise, SameDrawsBeforeFirstUseGiveSameNoise) {
  float first[3] = {noise_1d(0.3f), noise_2d(1.3f, 2.6f), noise_3d(0.1f, 0.7f, 5.5f)};
  noise_reset();
  os_srand(1);
  EXPECT_EQ(noise_1d(0.3f), first[0]);
  EXPECT_EQ(noise_2d(1.3f, 2.6f), first[1]);
  EXPECT_EQ(noise_3d(0.1f, 0.7f, 5.5f), first[2]);
  noise_reset();
  os_srand(2);
  EXPECT_NE(noise_3d(0.1f, 0.7f, 5.5f), first[2]);
}

TEST_F(Noise, InRangeAndContinuous) {
  float lo = 0, hi = 0;
  double sum_sq = 0;
  int n = 0;
  for (float x = -20.0f; x < 20.0f; x += 0.173f) {
    for (float y = -3.0f; y < 3.0f; y += 0.29f) {
      float v1 = noise_1d(x), v2 = noise_2d(x, y), v3 = noise_3d(x, y, x * 0.37f + y);
      ASSERT_LE(std::fabs(v1), 1.0f);
      ASSERT_LE(std::fabs(v2), 1.0f);
      ASSERT_LE(std::fabs(v3), 1.0f);
      lo = std::min(lo, v3);
      hi = std::max(hi, v3);
      sum_sq += v3 * v3;
      ++n;
    }
  }
  // It varies: not stuck at zero or at one value.
  EXPECT_LT(lo, -0.1f);
  EXPECT_GT(hi, 0.1f);
  EXPECT_GT(sum_sq / n, 0.001);

  // Small steps make small changes, across lattice cell boundaries too.
  const float eps = 1e-3f;
  for (float x = -5.0f; x <= 5.0f; x += 0.25f) {
    for (float y : {-1.0f, 0.4f, 2.0f}) {
      EXPECT_LT(std::fabs(noise_1d(x + eps) - noise_1d(x - eps)), 8 * eps) << x;
      EXPECT_LT(std::fabs(noise_2d(x + eps, y) - noise_2d(x - eps, y)), 8 * eps) << x;
      EXPECT_LT(std::fabs(noise_3d(x, y + eps, 0.5f) - noise_3d(x, y - eps, 0.5f)), 8 * eps) << x;
      EXPECT_LT(std::fabs(noise_3d(x, 0.5f, y + eps) - noise_3d(x, 0.5f, y - eps)), 8 * eps) << x;
    }
  }
}

TEST_F(Noise, ZeroLengthGradientStaysFinite) {
  // With seed 1599 both draws of the 2-D gradient of entry 80 are 256, a
  // gradient of length 0. Normalising it would put NaN into every cell that
  // has it as a corner.
  os_srand(1599);
  uint32_t start = os_rand_get_state();
  bool zero_gradient = false;
  for (int i = 0; i < 256 && !zero_gradient; ++i) {
    int d[6];
    for (int& v : d) v = os_rand() & 511;
    zero_gradient = d[1] == 256 && d[2] == 256;
  }
  ASSERT_TRUE(zero_gradient);
  os_rand_set_state(start);
  noise_reset();

  for (int cx = 0; cx < 256; ++cx) {
    for (int cy = 0; cy < 256; ++cy) {
      float v = noise_2d(cx + 0.5f, cy + 0.5f);
      ASSERT_TRUE(std::isfinite(v)) << cx << "," << cy;
      ASSERT_LE(std::fabs(v), 1.0f);
    }
  }
}

TEST_F(Noise, ExtremeInputsAreDefined) {
  const float inputs[] = {-5000.5f, -4096.25f, -1e6f, 1e9f, -1e9f, 3e38f, -3e38f,
                          std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                          std::numeric_limits<float>::quiet_NaN()};
  for (float x : inputs) {
    EXPECT_TRUE(std::isfinite(noise_1d(x))) << x;
    EXPECT_TRUE(std::isfinite(noise_2d(x, 0.5f))) << x;
    EXPECT_TRUE(std::isfinite(noise_3d(0.5f, x, 0.25f))) << x;
  }
  // Below the offset the truncation wraps; the value is still bounded.
  EXPECT_LE(std::fabs(noise_1d(-5000.5f)), 1.0f);
  // Beyond the int range a float has no fraction: the noise is 0 there.
  EXPECT_EQ(noise_1d(1e12f), 0.0f);
  vector p{0.5f, 1.5f, 2.5f};
  EXPECT_EQ(noise_3d(p), noise_3d(0.5f, 1.5f, 2.5f));
}

}  // namespace
