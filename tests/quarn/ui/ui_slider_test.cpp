// Sliders and scrollbars: dragging, paging with repeat, arrow buttons,
// cancelling, limits at the edges and marker sizes.
#include "tests/quarn/ui/ui_fixture.h"

namespace {
using UiSliders = UiTest;

TEST_F(UiSliders, DraggingMovesOnePositionPerStepOfTheTrack) {
  UiWindow w;
  open(w);
  UiSlider s;
  // Track 130 long, marker 20: 110 pixels of travel for 10 steps.
  s.create(&w, 100, 100, 130, 16, true, 20, 11, 7, 0, false);
  Fake_mouse.move(105, 108);  // on the marker at position 0
  frame();
  Fake_mouse.left(true);
  frame();
  EXPECT_EQ(s.drag_state, 1);
  const int steps[][2] = {{5, 0}, {6, 1}, {11, 1}, {16, 1}, {17, 2}, {110, 10}, {-30, -3}};
  for (const auto& st : steps) {
    Fake_mouse.move(105 + st[0], 108);
    frame();
    EXPECT_EQ(s.get_position(), st[1]) << "moved " << st[0];
  }
  // Past the end the position runs on until the next draw limits it.
  Fake_mouse.move(105 + 200, 108);
  frame();
  EXPECT_EQ(s.get_position(), 18);
  s.draw();
  EXPECT_EQ(s.get_position(), 10);
  // A right click cancels the drag.
  Fake_mouse.move(105 + 40, 108);
  frame();
  Fake_mouse.right(true);
  frame();
  EXPECT_EQ(s.get_position(), 0);
  EXPECT_EQ(s.drag_state, 0);
  Fake_mouse.right(false);
  Fake_mouse.left(false);
  frame();
}

TEST_F(UiSliders, HoldingOnTheTrackPagesAt0_450_600) {
  UiWindow w;
  open(w);
  UiSlider s;
  s.create(&w, 100, 100, 200, 16, true, 10, 100, 7, 0, false);
  s.set_page_step(5);
  Fake_mouse.move(250, 108);  // after the marker
  frame();
  Fake_mouse.left(true);
  std::vector<int> paged;
  int last = s.get_position();
  for (int t = 0; t <= 700; t += 10) {
    frame();
    if (s.get_position() != last) paged.push_back(t);
    last = s.get_position();
  }
  EXPECT_EQ(paged, (std::vector<int>{0, 450, 600}));
  EXPECT_EQ(s.get_position(), 15);
  Fake_mouse.left(false);
  frame();
  EXPECT_EQ(s.drag_state, 0);
}

TEST_F(UiSliders, ArrowButtonsStepThePosition) {
  UiWindow w;
  open(w);
  UiSlider s;
  s.create(&w, 100, 100, 200, 16, true, 10, 5, 7, UI_SF_ARROWS, false);
  // The track leaves room for two 16-pixel buttons and a pixel each.
  EXPECT_EQ(s.x, 117);
  EXPECT_EQ(s.track_length(), 200 - 34);
  ASSERT_NE(s.arrows[0], nullptr);
  EXPECT_EQ(s.arrows[0]->screen_x(), 100);
  EXPECT_EQ(s.arrows[1]->screen_x(), 117 + 166 + 1);
  click(s.arrows[1]->screen_x() + 4, 108);
  click(s.arrows[1]->screen_x() + 4, 108);
  EXPECT_EQ(s.get_position(), 2);
  click(104, 108);
  EXPECT_EQ(s.get_position(), 1);
}

TEST_F(UiSliders, MarkersNeverDivideByZero) {
  UiWindow w;
  open(w);
  UiSlider one;
  one.create(&w, 0, 0, 100, 10, true, 100, 1, 1, 0, false);  // one position, marker as long as the track
  EXPECT_EQ(one.marker_offset(), 0);
  Fake_mouse.move(50, 5);
  frame();
  Fake_mouse.left(true);
  frame();
  Fake_mouse.move(90, 5);
  frame();
  EXPECT_EQ(one.get_position(), 0);
  Fake_mouse.left(false);
  frame();

  UiScrollbar bar;
  bar.create(&w, 0, 100, 12, 200, false, 7, 1, 2, 0, false);
  bar.view_size = 0;
  bar.set_content_size(0);  // no view, no content
  EXPECT_GE(bar.marker_size, 7);
  EXPECT_EQ(bar.get_content_size(), 1);
  // Content twice the view: half the track.
  bar.view_size = 50;
  bar.set_content_size(100);
  EXPECT_EQ(bar.get_positions(), 51);
  EXPECT_EQ(bar.marker_size, 100);
  bar.set_content_size(10000);
  EXPECT_EQ(bar.marker_size, 7);  // at least 7 pixels
  bar.set_view_size(100);
  EXPECT_EQ(bar.get_content_size(), 10000);
  EXPECT_EQ(bar.marker_size, 7);
}
}  // namespace
