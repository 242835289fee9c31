// Objects, windows and gadgets: ids, the event climb, focus and hiding,
// modal windows and layers, hit testing, arrow navigation, closing from a
// callback, and a click given to one window only.
#include <climits>

#include "tests/quarn/ui/ui_fixture.h"

namespace {
using UiObjects = UiTest;

std::vector<UiEvent> clicks() {
  std::vector<UiEvent> out;
  for (const UiEvent& e : Ui_events)
    if (e.first == UI_EVENT_CLICK) out.push_back(e);
  return out;
}

TEST_F(UiObjects, NegativeIdsBecomeAutomaticOnes) {
  UiWindow w;
  open(w);
  UiStatic a, b, c;
  a.create(&w, 0, 0, 10, 10, -5, false);
  b.create(&w, 0, 0, 10, 10, 7, false);
  c.create(&w, 0, 0, 10, 10, UI_ID_SELF, false);
  EXPECT_LT(a.id, 0);
  EXPECT_EQ(a.id, w.id - 1);  // the window took the automatic id before
  EXPECT_EQ(b.id, 7);
  EXPECT_EQ(c.id, a.id - 1);  // the counter counts down; -99999 is never an id
  EXPECT_EQ(w.find_gadget(7), &b);
  EXPECT_EQ(w.find_gadget(a.id), nullptr);  // negative ids are never found
}

int Container_answer = 0;
int container_callback(int code, int id) {
  Ui_events.emplace_back(1000 + code, id);
  return Container_answer;
}

TEST_F(UiObjects, EventsClimbToTheWindowUntilOneAnswers) {
  UiWindow w;
  open(w);
  w.id = 900;
  UiContainer box;
  box.create(&w, 10, 10, 100, 100, 50, 0, false);
  UiButton b;
  b.create(&w, 5, 5, 20, 20, 51, 0, false);
  b.set_owner(&box);
  box.callback = container_callback;

  Container_answer = 0;
  b.handle_event(UI_EVENT_CLICK, UI_ID_SELF);
  ASSERT_EQ(Ui_events.size(), 2u);
  EXPECT_EQ(Ui_events[0], UiEvent(1012, 51));  // the owner first, with the sender's id
  EXPECT_EQ(Ui_events[1], UiEvent(12, 51));    // then the window

  Ui_events.clear();
  Container_answer = 0x101;  // low byte set: handled
  EXPECT_EQ(b.handle_event(UI_EVENT_CLICK, UI_ID_SELF), 0x101);
  ASSERT_EQ(Ui_events.size(), 1u);
  // A window's own events carry its id.
  Ui_events.clear();
  w.handle_event(UI_EVENT_SHOWN, UI_ID_SELF);
  EXPECT_EQ(Ui_events.at(0), UiEvent(10, 900));
  EXPECT_EQ(b.screen_x(), 15);
  EXPECT_EQ(b.screen_y(3), 18);
}

TEST_F(UiObjects, FocusHidingAndDisabling) {
  UiWindow w;
  open(w);
  UiTextInput a, b;
  a.create(&w, 0, 0, 50, 20, 1, 0, false);
  b.create(&w, 0, 30, 50, 20, 2, 0, false);
  a.set_focus();
  b.set_focus();
  EXPECT_EQ(Ui_events, (std::vector<UiEvent>{{3, 1}, {4, 1}, {3, 2}}));
  Ui_events.clear();
  b.set_hidden(true);
  EXPECT_EQ(Ui_events, (std::vector<UiEvent>{{4, 2}, {9, 2}}));
  EXPECT_EQ(ui_get_focus(), nullptr);
  Ui_events.clear();
  b.set_hidden(true);  // no change, no event
  b.set_visible(false);
  EXPECT_TRUE(Ui_events.empty());
  b.set_visible(true);
  EXPECT_EQ(Ui_events, (std::vector<UiEvent>{{10, 2}}));
  Ui_events.clear();
  a.set_focus();
  a.set_disabled(true);
  EXPECT_EQ(Ui_events, (std::vector<UiEvent>{{3, 1}, {4, 1}}));
  EXPECT_EQ(ui_get_focus(), nullptr);
  // A destroyed focus goes without an event.
  b.set_focus();
  Ui_events.clear();
  b.destroy();
  EXPECT_EQ(ui_get_focus(), nullptr);
  EXPECT_TRUE(Ui_events.empty());
  EXPECT_EQ(w.find_gadget(2), nullptr);
}

TEST_F(UiObjects, AModalWindowDisablesTheWindowsBelowAndLayersHideThem) {
  UiWindow below, modal;
  open(below, 0, 0, 300, 300);
  UiButton b;
  b.create(&below, 10, 10, 50, 20, 1, 0, false);
  open(modal, 400, 0, 100, 100, 0x21);
  EXPECT_TRUE(below.is_disabled());
  EXPECT_TRUE(b.is_disabled());
  EXPECT_FALSE(modal.is_disabled());
  EXPECT_EQ(ui_get_modal_window(), &modal);
  EXPECT_EQ(modal.flags, 0x21u);
  click(20, 15);
  EXPECT_EQ(count(UI_EVENT_CLICK), 0);
  EXPECT_EQ(Ui_sound_log_last, Ui_sounds[2]);  // a click on a disabled button only sounds
  modal.set_hidden(true);
  EXPECT_FALSE(below.is_disabled());
  EXPECT_EQ(ui_get_modal_window(), nullptr);

  ui_push_layer();
  EXPECT_TRUE(below.is_hidden());
  EXPECT_TRUE(b.is_hidden());
  UiWindow upper;
  open(upper, 0, 0, 10, 10);
  EXPECT_FALSE(upper.is_hidden());
  ui_pop_layer();
  EXPECT_FALSE(below.is_hidden());
  EXPECT_TRUE(upper.is_hidden());
}

TEST_F(UiObjects, HitTestingFollowsSiblingOrderAndMasks) {
  UiWindow w;
  open(w, 100, 100, 300, 300);
  UiButton older, newer;
  older.create(&w, 0, 0, 50, 50, 1, 0, false);
  newer.create(&w, 25, 0, 50, 50, 2, 0, false);
  EXPECT_EQ(w.gadget_at(140, 110), &older);  // where both lie, the last in sibling order
  EXPECT_EQ(w.gadget_at(170, 110), &newer);
  EXPECT_EQ(w.gadget_at(99, 110), nullptr);

  // A container mask: value 0 misses, another value hits, and the hotspot of
  // a child picks its pixels. The mask is smaller than the container.
  UiContainer box;
  box.create(&w, 100, 100, 100, 100, 3, 0, false);
  std::vector<uint8_t> mask(40 * 30, 0);
  for (int y = 0; y < 30; y++)
    for (int x = 20; x < 40; x++) mask[y * 40 + x] = 5;
  box.set_mask_pixels(mask.data(), 40, 30);
  UiButton spot;
  spot.create(&w, 0, 0, 100, 100, 4, 0, false);
  spot.set_owner(&box);
  spot.set_hotspot(5);
  EXPECT_EQ(w.gadget_at(210, 210), nullptr);  // mask 0: neither child nor container
  EXPECT_EQ(w.gadget_at(225, 210), &spot);
  EXPECT_EQ(box.hit_test(250, 250), -1);       // past the mask's own size: no mask there
  EXPECT_EQ(w.gadget_at(250, 250), &spot);     // so the window's (none) decides: hit
  spot.set_hotspot(-3);
  EXPECT_EQ(spot.get_hotspot(), 0);
}

// Gadgets come and go, change owners and move between hit tests: each
// answer is the gadget there now.
TEST_F(UiObjects, HitTestingFollowsGadgetsAddedRemovedAndMoved) {
  UiWindow w;
  open(w, 0, 0, 300, 300);
  UiButton a, b;
  a.create(&w, 0, 0, 50, 50, 1, 0, false);
  b.create(&w, 100, 0, 50, 50, 2, 0, false);
  EXPECT_EQ(w.gadget_at(10, 10), &a);
  EXPECT_EQ(w.gadget_at(110, 10), &b);
  {
    UiButton c;
    c.create(&w, 200, 0, 50, 50, 3, 0, false);
    EXPECT_EQ(w.gadget_at(210, 10), &c);
    c.destroy();
    EXPECT_EQ(w.gadget_at(210, 10), nullptr);
  }
  EXPECT_EQ(w.gadget_at(210, 10), nullptr);  // gone with the object too
  b.x = 200;  // moved by its public field, the chain unchanged
  EXPECT_EQ(w.gadget_at(110, 10), nullptr);
  EXPECT_EQ(w.gadget_at(210, 10), &b);
  // Into a container and out again.
  UiContainer box;
  box.create(&w, 0, 100, 100, 100, 4, 0, false);
  a.set_owner(&box);
  EXPECT_EQ(w.gadget_at(10, 110), &a);  // now inside the box
  EXPECT_EQ(w.gadget_at(10, 10), nullptr);
  a.set_owner(nullptr);
  EXPECT_EQ(w.gadget_at(10, 10), &a);
  // A window opened again starts with no gadgets.
  a.destroy();
  b.destroy();
  box.destroy();
  EXPECT_EQ(w.gadget_at(210, 10), nullptr);
}

struct NavCase {
  int from, key, expect;
};

TEST_F(UiObjects, ArrowKeysMoveTheSelectionInAConeAndWrap) {
  UiWindow w;
  open(w, 0, 0, 400, 300, 1 | UI_WF_ALLOW_WRAP);
  // 0 1 2   (top row)
  // 3 . 4   (bottom row; 4 lies to the right, beyond the cone of 1)
  const int pos[5][2] = {{20, 20}, {120, 20}, {220, 20}, {20, 200}, {300, 200}};
  UiButton b[5];
  for (int i = 0; i < 5; i++) b[i].create(&w, pos[i][0], pos[i][1], 60, 30, i, 0, false);
  const NavCase cases[] = {
      {0, KEY_RIGHT, 1}, {1, KEY_RIGHT, 2}, {2, KEY_LEFT, 1}, {0, KEY_DOWN, 3}, {3, KEY_UP, 0},
      {2, KEY_DOWN, 4},  {4, KEY_LEFT, 3},
      {1, KEY_DOWN, 3},  // straight below is empty; 3 and 4 are both in the cone, 3 is nearer
      {0, KEY_UP, 3},    // wraps to the bottom row
      {2, KEY_RIGHT, 0}, // wraps to the left edge
  };
  for (const NavCase& c : cases) {
    w.selection = &b[c.from];
    EXPECT_EQ(w.navigate(c.key), 0);
    EXPECT_EQ(w.selection, &b[c.expect]) << "from " << c.from << " key " << c.key;
  }
  // Without wrap the selection stays at the edge.
  w.flags = 1 | UI_WF_ALLOW_ARROWS;
  w.selection = &b[0];
  EXPECT_EQ(w.navigate(KEY_UP), 0);
  EXPECT_EQ(w.selection, &b[0]);
  // Modified arrows and other keys pass.
  EXPECT_EQ(w.navigate(KEY_UP | KEY_SHIFTED), KEY_UP | KEY_SHIFTED);
  EXPECT_EQ(w.navigate(KEY_ENTER), KEY_ENTER);
  // Without a selection: the gadget nearest the edge opposite the key.
  w.selection = nullptr;
  w.navigate(KEY_UP);
  EXPECT_EQ(w.selection, &b[3]);
  w.selection = nullptr;
  w.navigate(KEY_LEFT);
  EXPECT_EQ(w.selection, &b[4]);
}

UiWindow* Closing = nullptr;
int close_on_click(int code, int id) {
  Ui_events.emplace_back(code, id);
  if (code == UI_EVENT_CLICK) {
    Closing->close();
    // Still open until its process ends.
    Ui_events.emplace_back(-1, ui_last_window() == Closing);
  }
  return 0;
}
int close_all_on_click(int code, int) {
  if (code == UI_EVENT_CLICK) ui_close_all();
  return 0;
}

TEST_F(UiObjects, ClosingFromACallbackWaitsForTheEndOfTheProcess) {
  UiWindow w;
  open(w, 0, 0, 200, 200);
  w.callback = close_on_click;
  Closing = &w;
  UiButton* b = new UiButton;
  b->create(&w, 10, 10, 50, 20, 1, 0, true);  // owned: deleted with the window
  click(20, 15);
  ASSERT_EQ(count(-1), 1);
  EXPECT_EQ(Ui_events.back(), UiEvent(-1, 1));
  EXPECT_EQ(ui_first_window(), nullptr);
  EXPECT_FALSE(w.created);
}

TEST_F(UiObjects, CloseAllFromACallbackEnds) {
  UiWindow a, b, c;
  open(a, 0, 0, 100, 100);
  open(b, 200, 0, 100, 100);
  open(c, 400, 0, 100, 100);
  b.callback = close_all_on_click;
  UiButton btn;
  btn.create(&b, 10, 10, 50, 20, 1, 0, false);
  click(215, 15);
  EXPECT_EQ(ui_first_window(), nullptr);
  EXPECT_FALSE(a.created || b.created || c.created);
}

TEST_F(UiObjects, AClickTakenByAWindowIsNotGivenToTheWindowBelow) {
  UiWindow lower, upper;
  open(lower, 0, 0, 200, 200);
  open(upper, 0, 0, 200, 200);
  UiButton under, over;
  under.create(&lower, 10, 10, 50, 20, 1, 0, false);
  over.create(&upper, 10, 10, 50, 20, 2, 0, false);
  click(20, 15);
  EXPECT_EQ(clicks(), (std::vector<UiEvent>{{12, 2}}));
  EXPECT_EQ(under.state, UiButton::IDLE);
  // Away from the upper window the lower one gets its clicks.
  upper.set_position(300, 0);
  Ui_events.clear();
  click(20, 15);
  EXPECT_EQ(clicks(), (std::vector<UiEvent>{{12, 1}}));
}

TEST_F(UiObjects, FindingGadgetsByName) {
  UiWindow w;
  open(w);
  UiButton a, b;
  a.create(&w, 0, 0, 10, 10, 1, 0, false);
  b.create(&w, 0, 0, 10, 10, 1, 0, false);
  std::snprintf(a.name, sizeof a.name, "Okay");
  std::snprintf(b.name, sizeof b.name, "okay");
  EXPECT_EQ(w.find_gadget_by_name("OKAY"), &a);  // the first in creation order
  EXPECT_EQ(w.find_gadget(1), &b);               // the last with the id
  EXPECT_EQ(ui_find_gadget("okay"), &a);
  EXPECT_EQ(ui_find_gadget("none"), nullptr);
}
}  // namespace
