#include "quarn/math/exp_approach.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(ExpApproach, ClosedFormValueAndIntegral) {
  struct Case {
    float tau, a, b, t;
  } cases[] = {{0.5f, 10, 2, 0.3f}, {2.0f, -1, 4, 1.0f}, {0.0001f, 3, 0, 0.01f}, {1.0f, 0, 0, 5.0f}};
  for (const Case& c : cases) {
    float v = -1, area = -1;
    exp_approach(c.tau, c.a, c.b, c.t, &v, &area);
    double e = std::exp(-static_cast<double>(c.t) / c.tau);
    EXPECT_NEAR(v, e * (c.b - c.a) + c.a, 1e-5);
    EXPECT_NEAR(area, (1 - e) * (c.b - c.a) * c.tau + c.a * c.t, 1e-5);
  }
}

TEST(ExpApproach, Limits) {
  float v, area;
  exp_approach(0.5f, 10, 2, 0, &v, &area);  // no time: the start, nothing covered
  EXPECT_FLOAT_EQ(v, 2.0f);
  EXPECT_FLOAT_EQ(area, 0.0f);
  exp_approach(0.5f, 10, 2, 100, &v, &area);  // long after: the target
  EXPECT_FLOAT_EQ(v, 10.0f);
  EXPECT_NEAR(area, 10 * 100 + (2 - 10) * 0.5f, 1e-3f);
  exp_approach(0.0f, 10, 2, 0.25f, &v, &area);  // instant change
  EXPECT_EQ(v, 10.0f);
  EXPECT_EQ(area, 2.5f);
  exp_approach(0.00009f, 10, 2, 0.25f, &v, &area);
  EXPECT_EQ(v, 10.0f);

  // Advancing in two steps equals one step of the summed time.
  float v1, a1, v2, a2, vall, aall;
  exp_approach(0.8f, 5, -1, 0.3f, &v1, &a1);
  exp_approach(0.8f, 5, v1, 0.45f, &v2, &a2);
  exp_approach(0.8f, 5, -1, 0.75f, &vall, &aall);
  EXPECT_NEAR(v2, vall, 1e-5f);
  EXPECT_NEAR(a1 + a2, aall, 1e-5f);

  // Either output may be left out.
  exp_approach(0.5f, 1, 0, 1, nullptr, &area);
  exp_approach(0.5f, 1, 0, 1, &v, nullptr);
  exp_approach(0.0f, 1, 0, 1, nullptr, nullptr);
}

}  // namespace
