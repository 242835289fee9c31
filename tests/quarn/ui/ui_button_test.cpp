// Buttons and statics: firing by mouse, hotkey and Enter, repeat timing,
// double clicks, drag and drop of counted items.
#include "tests/quarn/ui/ui_fixture.h"

namespace {
using UiButtons = UiTest;

TEST_F(UiButtons, APlainButtonFiresOnReleaseOverIt) {
  UiWindow w;
  open(w);
  UiButton b;
  b.create(&w, 100, 100, 80, 20, 7, 0, false);
  Fake_mouse.move(110, 110);
  frame();
  Fake_mouse.left(true);
  frame();
  EXPECT_EQ(count(UI_EVENT_CLICK), 0);
  EXPECT_TRUE(b.is_pressed_look());
  Fake_mouse.left(false);
  frame();
  EXPECT_EQ(count(UI_EVENT_CLICK), 1);
  EXPECT_EQ(Ui_events.back(), UiEvent(12, 7));
  // Pressed, then released away from it: nothing.
  Fake_mouse.left(true);
  frame();
  Fake_mouse.move(300, 300);
  frame();
  EXPECT_FALSE(b.is_pressed_look());
  Fake_mouse.left(false);
  frame();
  EXPECT_EQ(count(UI_EVENT_CLICK), 1);
  EXPECT_EQ(b.state, UiButton::IDLE);
}

TEST_F(UiButtons, ARepeatingButtonFiresAt0_450_600_750_900) {
  UiWindow w;
  open(w);
  UiButton b;
  b.create(&w, 100, 100, 80, 20, 7, UI_BF_REPEATS, false);
  Fake_mouse.move(110, 110);
  frame();
  std::vector<int> fired;
  Fake_mouse.left(true);
  for (int t = 0; t <= 1000; t += 10) {
    frame(0, t == 0 ? 10 : 10);
    if (b.state == UiButton::FIRED_LEFT) fired.push_back(t);
  }
  EXPECT_EQ(fired, (std::vector<int>{0, 450, 600, 750, 900}));
  Fake_mouse.left(false);
  frame();
  EXPECT_EQ(count(UI_EVENT_CLICK), 5);  // releasing does not fire again
}

TEST_F(UiButtons, HotkeysAndEnterFireAfter100ms) {
  UiWindow w;
  open(w);
  UiButton b;
  b.create(&w, 100, 100, 80, 20, 7, 0, false);
  b.set_hotkey(KEY_F1 | KEY_CTRLED, 1);
  EXPECT_TRUE(b.has_hotkey(KEY_F1 | KEY_CTRLED));
  EXPECT_FALSE(b.has_hotkey(0));
  EXPECT_EQ(frame(KEY_F1), KEY_F1);  // without Ctrl it is another key
  EXPECT_EQ(frame(KEY_F1 | KEY_CTRLED), 0);
  EXPECT_TRUE(b.is_pressed_look());
  wait(90);
  EXPECT_EQ(count(UI_EVENT_CLICK), 0);
  wait(20);
  EXPECT_EQ(count(UI_EVENT_CLICK), 1);

  // Enter fires the window's selection.
  w.selection = &b;
  EXPECT_EQ(frame(KEY_ENTER), 0);
  wait(110);
  EXPECT_EQ(count(UI_EVENT_CLICK), 2);

  // While a text input has the focus, hotkeys are typing.
  UiTextInput t;
  t.create(&w, 0, 0, 80, 20, 8, 0, false);
  t.set_focus();
  w.selection = nullptr;
  frame(KEY_F1 | KEY_CTRLED);
  wait(200);
  EXPECT_EQ(count(UI_EVENT_CLICK), 2);
}

TEST_F(UiButtons, DoubleClicksOnOneButtonOnly) {
  UiWindow w;
  open(w);
  UiButton a, b;
  a.create(&w, 100, 100, 80, 20, 1, 0, false);
  b.create(&w, 300, 100, 80, 20, 2, 0, false);
  click(110, 110);
  Fake_mouse.next.left_double = true;  // the mouse module counts it a double click
  Fake_mouse.left(true);
  frame();
  Fake_mouse.left(false);
  frame();
  EXPECT_EQ(count(UI_EVENT_DOUBLE_CLICK), 1);
  EXPECT_EQ(count(UI_EVENT_CLICK), 1);
  // A quick second click on another button is a plain click.
  click(110, 110);
  Fake_mouse.move(310, 110);
  frame();
  Fake_mouse.next.left_double = true;
  Fake_mouse.left(true);
  frame();
  Fake_mouse.left(false);
  frame();
  EXPECT_EQ(count(UI_EVENT_DOUBLE_CLICK), 1);
  EXPECT_EQ(Ui_events.back(), UiEvent(12, 2));
}

struct DragCase {
  int src_count, src_max, dst_count, dst_max;
  bool dragged, dropped;
  int src_after, dst_after;
};

TEST_F(UiButtons, DragAndDropMovesCountedItems) {
  const DragCase cases[] = {
      {3, 5, 0, 5, true, true, 2, 1},     // one item moves
      {0, 5, 0, 5, false, false, 0, 0},   // nothing to drag
      {3, 5, 5, 5, true, false, 3, 5},    // the target is full: refused
      {3, -1, 2, -1, true, true, 3, 2},   // unlimited slots keep their counts
  };
  for (const DragCase& c : cases) {
    UiWindow w;
    open(w);
    UiButton src, dst;
    src.create(&w, 100, 100, 40, 40, 1, UI_BF_DRAG_DROP, false);
    dst.create(&w, 300, 100, 40, 40, 2, UI_BF_DRAG_DROP, false);
    src.drag_types = 0x2;
    dst.accept_types = 0x6;
    src.count = c.src_count;
    src.max_count = c.src_max;
    dst.count = c.dst_count;
    dst.max_count = c.dst_max;
    Ui_events.clear();
    Fake_mouse.move(110, 110);
    frame();
    Fake_mouse.left(true);
    frame();
    Fake_mouse.move(200, 120);
    frame();
    EXPECT_EQ(ui_drag_source() == &src, c.dragged);
    Fake_mouse.move(310, 120);
    frame();
    Fake_mouse.left(false);
    frame();
    EXPECT_EQ(ui_drag_source(), nullptr);
    EXPECT_EQ(src.count, c.src_after);
    EXPECT_EQ(dst.count, c.dst_after);
    if (c.dropped) {
      EXPECT_EQ(only({16, 17}), (std::vector<UiEvent>{{17, 2}, {16, 1}}));
    }
    EXPECT_EQ(count(UI_EVENT_DROPPED), c.dropped ? 1 : 0);
    w.close();
  }
}

TEST_F(UiButtons, AStaticReportsClicksAndLatchedButtonsLookPressed) {
  UiWindow w;
  open(w);
  UiStatic s;
  s.create(&w, 10, 10, 100, 20, 3, false);
  s.set_text("label");
  click(20, 20);
  EXPECT_EQ(count(UI_EVENT_STATIC_CLICK), 1);
  s.set_disabled(true);
  click(20, 20);
  EXPECT_EQ(count(UI_EVENT_STATIC_CLICK), 1);

  UiButton b;
  b.create(&w, 200, 10, 60, 20, 4, 0, false);
  b.set_latched(true);
  EXPECT_TRUE(b.is_latched());
  b.set_disabled(true);
  EXPECT_FALSE(b.is_latched());  // a disabled button never shows latched
  b.press();
  EXPECT_TRUE(b.is_pressed_look());
}
}  // namespace
