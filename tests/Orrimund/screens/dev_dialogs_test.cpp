// The developer message dialogs on the UI toolkit: their size from the
// text, the ten-line limit, the button sets, and which dialog a click
// closes when two are stacked.
#include "Orrimund/screens/dev_dialogs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "quarn/os/timer.h"
#include "tests/Orrimund/screens/front_fixture.h"

namespace {
UiMouseInput g_ui_mouse;
std::vector<std::pair<int, int>> g_calls;  // (which callback, event)

void ui_mouse(UiMouseInput* out) {
  *out = g_ui_mouse;
  g_ui_mouse.moved = g_ui_mouse.left_pressed = g_ui_mouse.left_released = false;
}
int first(int code, int) { return g_calls.push_back({1, code}), 0; }
int second(int code, int) { return g_calls.push_back({2, code}), 0; }
int third(int code, int) { return g_calls.push_back({3, code}), 0; }

class DevDialogs : public FrontTest {
 protected:
  void SetUp() override {
    FrontTest::SetUp();
    ui_init();
    ui_set_mouse_source(ui_mouse);
    ui_set_mouse_discard([] {});
    g_ui_mouse = UiMouseInput{};
    g_calls.clear();
    dialog_list_init();
    ui_frame();
  }
  void TearDown() override {
    dialog_list_init();
    ui_close_all();
    ui_set_mouse_source(nullptr);
    ui_set_mouse_discard(nullptr);
    FrontTest::TearDown();
  }
  void ui_frame() {
    timer_real_clock += 10;
    ui_process(0, 0);
  }
  // Clicks the middle of a gadget of the window.
  void click_gadget(UiGadget* g) {
    g_ui_mouse.x = g->screen_x(g->width / 2);
    g_ui_mouse.y = g->screen_y(g->height / 2);
    g_ui_mouse.moved = true;
    ui_frame();
    g_ui_mouse.left_down = g_ui_mouse.left_pressed = true;
    ui_frame();
    g_ui_mouse.left_down = false;
    g_ui_mouse.left_released = true;
    ui_frame();
  }
  static std::vector<UiButton*> buttons(UiWindow* w) {
    std::vector<UiButton*> out;
    for (UiGadget* g = w->first_gadget; g; g = g->list_next)
      if (g->get_type() == UI_TYPE_BUTTON) out.push_back(static_cast<UiButton*>(g));
    return out;
  }
  static const UiStatic* message(UiWindow* w) {
    const UiStatic* last = nullptr;
    for (UiGadget* g = w->first_gadget; g; g = g->list_next)
      if (g->get_type() == UI_TYPE_STATIC) last = static_cast<const UiStatic*>(g);
    return last;
  }
};

TEST_F(DevDialogs, HeightIsTheTextPlusRoomForTitleAndButtons) {
  // One line of 10 pixels: 65 high without a title, 85 with one.
  UiWindow* plain = retry_dialog_open(200, nullptr, "Short", DIALOG_OK, nullptr, nullptr, nullptr, 0);
  EXPECT_EQ(plain->height, 10 + 55);
  EXPECT_EQ(plain->width, 200);
  EXPECT_EQ(plain->x, 320 - 100);
  EXPECT_EQ(plain->y, 240 - 65 / 2);
  EXPECT_TRUE(plain->flags & UI_WF_MODAL);
  UiWindow* titled = retry_dialog_open(200, "Error", "Short", DIALOG_OK, nullptr, nullptr, nullptr, 0);
  EXPECT_EQ(titled->height, 10 + 10 + 65);
  EXPECT_NE(plain->id, titled->id);
  // The buttons are 50 by 25, in one row below the text.
  for (UiButton* b : buttons(titled)) {
    EXPECT_EQ(b->width, 50);
    EXPECT_EQ(b->height, 25);
    EXPECT_EQ(b->y + b->height + 15, titled->height);
  }
}

TEST_F(DevDialogs, AMessageLongerThanTenLinesIsCutAfterTheTenth) {
  std::string text;
  for (int i = 0; i < 30; i++) text += "line" + std::to_string(i % 10) + " ";
  // 90 pixels wide: 80 for text, ten characters, one "lineN " a line.
  UiWindow* w = retry_dialog_open(90, nullptr, text.c_str(), DIALOG_OK, nullptr, nullptr, nullptr, 0);
  const UiStatic* m = message(w);
  ASSERT_NE(m, nullptr);
  const std::string shown = m->get_text();
  EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), 9);
  EXPECT_EQ(w->height, 10 * 10 + 55);
}

TEST_F(DevDialogs, ButtonSetsNameTheirButtons) {
  const struct {
    int set;
    std::vector<std::string> captions;
  } cases[] = {{DIALOG_OK, {"OK"}},
               {DIALOG_OK_CANCEL, {"OK", "Cancel"}},
               {DIALOG_RETRY_CANCEL, {"Retry", "Cancel"}},
               {DIALOG_YES_NO, {"Yes", "No"}},
               {DIALOG_YES_NO_CANCEL, {"Yes", "No", "Cancel"}},
               {9, {"OK"}}};
  for (const auto& c : cases) {
    UiWindow* w = retry_dialog_open(300, "t", "m", c.set, nullptr, nullptr, nullptr, 0);
    std::vector<std::string> got;
    for (UiButton* b : buttons(w)) got.emplace_back(b->get_text());
    EXPECT_EQ(got, c.captions) << c.set;
  }
}

TEST_F(DevDialogs, PressingAButtonOfTheTopDialogClosesOnlyThatOne) {
  UiWindow* below = retry_dialog_open(300, "Below", "first", DIALOG_YES_NO, first, second, nullptr, 0);
  UiWindow* top = retry_dialog_open(300, "Top", "second", DIALOG_YES_NO_CANCEL, first, second, third, 0);
  ASSERT_EQ(dialog_list_count(), 2);
  (void)below;
  click_gadget(buttons(top)[2]);
  timer_real_clock += 200;
  ui_frame();
  ASSERT_FALSE(g_calls.empty());
  EXPECT_EQ(g_calls.back(), (std::pair<int, int>{3, UI_EVENT_CLICK}));
  // The window stays until the sweep, then only the top one goes.
  EXPECT_EQ(dialog_list_count(), 2);
  dialog_list_sweep();
  EXPECT_EQ(dialog_list_count(), 1);
  // An event for a gadget no dialog holds answers nothing.
  EXPECT_EQ(dialog_list_handle_event(UI_EVENT_CLICK, 99999), 0);
  dialog_list_sweep();
  EXPECT_EQ(dialog_list_count(), 1);
}
}  // namespace
