// The options screen's slider steps.
#include "Orrimund/screens/options_screen.h"

#include <gtest/gtest.h>

namespace {

TEST(OptionsSlider, TenthsFromEndToEnd) {
  struct Case {
    int offset, width;
    float value;
  } cases[] = {{-40, 200, 0.0f}, {0, 200, 0.0f},  {9, 200, 0.0f},  {10, 200, 0.1f}, {100, 200, 0.5f},
               {189, 200, 0.9f}, {190, 200, 1.0f}, {200, 200, 1.0f}, {260, 200, 1.0f}, {5, 0, 0.0f}};
  for (const Case& c : cases)
    EXPECT_NEAR(options_slider_value(c.offset, c.width), c.value, 1e-5f) << c.offset << " of " << c.width;
}

}  // namespace
