// Scroll bars shared by the list screens: where the thumb stands and where a
// press takes hold of it.
#include "Orrimund/screens/row_buttons.h"

#include <gtest/gtest.h>

#include "Orrimund/screens/screens.h"

namespace {

// 20 entries, 10 shown, from the fifth: a thumb half the 200-pixel track
// tall, a quarter of the way down from 100.
TEST(ScrollBar, APressTakesHoldOfTheThumbOnlyWhereItStands) {
  int y = 0, h = 0;
  ASSERT_TRUE(scroll_thumb(5, 20, 10, 100, 200, &y, &h));
  EXPECT_EQ(y, 150);
  EXPECT_EQ(h, 100);
  const int w = ui_scaled(14);
  struct Case {
    int count, x, y, grab;
  } cases[] = {
      {20, 300, 150, 0},       // the thumb's top
      {20, 300, 210, 60},      // inside
      {20, 300 + w - 1, 249, 99},
      {20, 300, 149, -1},      // just above
      {20, 300, 250, -1},      // just below
      {20, 299, 200, -1},      // left of the bar
      {20, 300 + w, 200, -1},  // right of it
      {10, 300, 150, -1},      // everything fits: no bar
  };
  for (const Case& c : cases)
    EXPECT_EQ(scroll_thumb_grab(5, c.count, 10, 100, 200, 300, c.x, c.y), c.grab)
        << c.count << " " << c.x << " " << c.y;
}

}  // namespace
