// The frame: tooltips after a still second, hiding under a held button,
// placement at the screen edge, the flush of used clicks, and bevels.
#include "tests/quarn/ui/ui_fixture.h"

#include "quarn/os/mouse.h"
#include "quarn/os/os.h"
#include "quarn/platform/messages.h"
#include "quarn/platform/window.h"

namespace {
using UiFrame = UiTest;

TEST_F(UiFrame, TooltipsShowAfterTheMouseStandsStillForASecond) {
  UiWindow w;
  open(w);
  UiButton b;
  b.create(&w, 100, 100, 80, 20, 1, 0, false);
  b.set_tooltip("Help", 0, 24);
  Fake_mouse.move(110, 110);
  frame();
  EXPECT_EQ(ui_tooltip_owner(), &b);
  wait(990);
  EXPECT_FALSE(ui_tooltip_shown());
  wait(20);
  EXPECT_TRUE(ui_tooltip_shown());
  // Moving within the gadget keeps it.
  Fake_mouse.move(130, 112);
  frame();
  EXPECT_TRUE(ui_tooltip_shown());
  // A held left button hides it and starts the wait again.
  Fake_mouse.left(true);
  frame();
  EXPECT_FALSE(ui_tooltip_shown());
  Fake_mouse.left(false);
  wait(990);
  EXPECT_FALSE(ui_tooltip_shown());
  wait(30);
  EXPECT_TRUE(ui_tooltip_shown());
  // Leaving every window: no owner.
  Fake_mouse.move(700, 700);
  w.set_size(100, 100);
  frame();
  EXPECT_EQ(ui_tooltip_owner(), nullptr);
  EXPECT_FALSE(ui_tooltip_shown());
}

// Over two windows, the tooltip comes from the one that would take a click
// there: a gadget of the top window, or the top window itself when the
// point is on it but on none of its gadgets.
TEST_F(UiFrame, TheTooltipFollowsTheWindowThatTakesTheClick) {
  UiWindow under, top;
  open(under, 0, 0, 640, 480);
  open(top, 80, 80, 200, 120);
  UiButton covered, shown;
  covered.create(&under, 100, 100, 80, 20, 1, 0, false);
  covered.set_tooltip("Covered", 0, 24);
  shown.create(&top, 20, 20, 80, 20, 2, 0, false);
  shown.set_tooltip("Shown", 0, 24);
  Fake_mouse.move(110, 110);
  frame();
  EXPECT_EQ(ui_tooltip_owner(), &shown);
  // On the top window beside its button: the covered button takes no click
  // here, so it shows no tooltip either.
  shown.set_position(100, 60);
  Fake_mouse.move(105, 105);
  frame();
  EXPECT_NE(ui_tooltip_owner(), &covered);
  // Outside the top window the lower one's button is the owner again.
  top.set_position(300, 300);
  frame();
  EXPECT_EQ(ui_tooltip_owner(), &covered);
}

TEST_F(UiFrame, ATooltipNearTheRightEdgeEndsTwoPixelsBeforeIt) {
  UiWindow w;
  open(w);
  UiButton b;
  b.create(&w, 600, 100, 30, 20, 1, 0, false);
  b.set_tooltip("Tooltip", 10, 24);  // 7 characters: 56 pixels
  Fake_mouse.move(610, 110);
  frame();
  wait(1100);
  ASSERT_TRUE(ui_tooltip_shown());
  rec.reset();
  ui_render();
  // The tooltip text is drawn last: its first glyph stands at the box's
  // left plus 1, the box being 640 - 5 - 56.
  ASSERT_GE(rec.bitmaps.size(), 7u);
  const UiBitmapCall& first_glyph = rec.bitmaps[rec.bitmaps.size() - 7];
  EXPECT_EQ(first_glyph.x, 640 - 5 - 56 + 1);
  EXPECT_EQ(first_glyph.y, 100 + 24 + 1);
}

TEST_F(UiFrame, TheMouseModuleForgetsClicksAWindowUsedOnlyWithFlush) {
  static int discards = 0;
  ui_set_mouse_discard([] { discards++; });
  UiWindow w;
  open(w, 0, 0, 200, 200);
  Fake_mouse.move(50, 50);
  frame();
  Fake_mouse.left(true);
  timer_real_clock += 10;
  ui_process(0, 0);
  EXPECT_EQ(discards, 0);
  Fake_mouse.left(false);
  timer_real_clock += 10;
  ui_process(0, 1);
  EXPECT_EQ(discards, 1);
  // Outside every window the click is the game's.
  Fake_mouse.move(400, 400);
  Fake_mouse.left(true);
  timer_real_clock += 10;
  ui_process(0, 1);
  EXPECT_EQ(discards, 1);
  Fake_mouse.left(false);
  frame();
}

TEST_F(UiFrame, BevelRingsFollowTheirEdges) {
  rec.reset();
  const Color light(200, 200, 200, 255), dark(20, 20, 20, 255);
  ui_draw_bevel(10, 20, 30, 40, light, dark, 2, 1);
  ASSERT_EQ(rec.lines.size(), 8u);
  // Ring 0: left 11, top 21, right 10 + 30 - 1 - 1 = 38, bottom 20 + 40 - 1 - 1 = 58.
  auto has = [&](float x1, float y1, float x2, float y2) {
    for (const UiLineCall& l : rec.lines) {
      const bool same = l.x1 == x1 && l.y1 == y1 && l.x2 == x2 && l.y2 == y2;
      const bool reversed = l.x1 == x2 && l.y1 == y2 && l.x2 == x1 && l.y2 == y1;
      if (same || reversed) return true;
    }
    return false;
  };
  EXPECT_TRUE(has(12, 58, 38, 58));  // bottom, dark
  EXPECT_TRUE(has(38, 22, 38, 57));  // right, dark
  EXPECT_TRUE(has(11, 21, 38, 21));  // top, light
  EXPECT_TRUE(has(11, 22, 11, 58));  // left, light
  EXPECT_TRUE(has(12, 22, 37, 22));  // ring 1 top
}

TEST_F(UiFrame, WindowsDrawBottomFirstWithTheirDrawingEvents) {
  static std::vector<int> order;
  order.clear();
  UiWindow a, b;
  a.create(0, 0, 10, 10, 1, 1);
  b.create(0, 0, 10, 10, 2, 1);
  a.callback = [](int code, int id) {
    if (code <= UI_EVENT_DRAW_END) order.push_back(id == UI_ID_WINDOW_DRAW ? 10 + code : -1);
    return 0;
  };
  b.callback = [](int code, int id) {
    if (code <= UI_EVENT_DRAW_END) order.push_back(id == UI_ID_WINDOW_DRAW ? 20 + code : -1);
    return 0;
  };
  ui_render();
  EXPECT_EQ(order, (std::vector<int>{10, 11, 20, 21}));
}
}  // namespace

namespace {
uint64_t Fake_ns = 0;
uint64_t fake_counter() { return Fake_ns; }
void fake_sleep(int ms) { Fake_ns += static_cast<uint64_t>(ms) * 1000000ull; }
}  // namespace

// Through the real mouse module: with flush the game does not see the click
// a window used, yet the held button still drags the slider next frame.
TEST_F(UiFrame, FlushHidesUsedClicksFromTheGameButKeepsTheDrag) {
  window_force_null_backend(true);
  Fake_ns = 1000000000ull;
  timer_set_source(fake_counter, fake_sleep);
  timer_init();
  os_window_proc(OS_MSG_ACTIVATEAPP, 1, 0);
  window_set_cursor_pos(320, 240);
  mouse_close();
  mouse_init(640, 480);
  ui_set_mouse_source(nullptr);
  ui_set_mouse_discard(nullptr);
  UiWindow w;
  open(w, 200, 200, 240, 80);
  UiSlider s;
  s.create(&w, 100, 32, 130, 16, true, 20, 11, 7, 0, false);  // marker at 300..319 on screen
  window_set_cursor_pos(305, 240);
  mouse_frame();
  ui_process(0, 1);
  mouse_message_hook(OS_MSG_LBUTTONDOWN, 0, 0);
  mouse_frame();
  ui_process(0, 1);
  EXPECT_FALSE(mouse_pressed(MOUSE_LEFT_BUTTON));  // the game does not see it
  EXPECT_EQ(s.drag_state, 1);
  window_set_cursor_pos(305 + 22, 240);
  mouse_frame();
  ui_process(0, 1);
  EXPECT_TRUE(mouse_down(MOUSE_LEFT_BUTTON));
  EXPECT_EQ(s.get_position(), 2);
  mouse_message_hook(OS_MSG_LBUTTONUP, 0, 0);
  mouse_frame();
  ui_process(0, 0);
  EXPECT_TRUE(mouse_released(MOUSE_LEFT_BUTTON));  // without flush the game sees it
  EXPECT_EQ(s.drag_state, 0);
  mouse_close();
  timer_set_source(nullptr, nullptr);
  window_force_null_backend(false);
}

namespace {
UiWindow* Tip_window = nullptr;
}  // namespace

// The gadget whose tooltip shows goes with its window: nothing is left
// pointing at it when the frame draws (the sanitizer build checks).
TEST_F(UiFrame, ATooltipOwnerClosedWithItsWindowIsForgotten) {
  UiWindow* w = new UiWindow;
  open(*w);
  Tip_window = w;
  auto* b = new UiButton;
  b->create(w, 100, 100, 80, 20, 1, 0, true);
  b->set_tooltip("Gone soon", 0, 24);
  w->callback = [](int code, int) {
    if (code == UI_EVENT_CLICK) Tip_window->close();
    return 0;
  };
  Fake_mouse.move(110, 110);
  frame();
  wait(1100);
  ASSERT_TRUE(ui_tooltip_shown());
  Fake_mouse.next.left_pressed = true;  // a click in one frame
  Fake_mouse.next.left_released = true;
  frame();
  EXPECT_EQ(ui_first_window(), nullptr);
  EXPECT_EQ(ui_tooltip_owner(), nullptr);
  ui_render();
  delete w;
}
