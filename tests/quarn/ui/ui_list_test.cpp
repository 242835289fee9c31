// List boxes: entries and their layout, the log cap, sorting, selection by
// mouse and keys, type-ahead, scrolling and what the draw leaves out.
#include <cstring>
#include <string>

#include "tests/quarn/ui/ui_fixture.h"

namespace {

class UiLists : public UiTest {
 protected:
  UiWindow w;
  UiListBox list;
  // 200 by 100 at (100, 100): a view of 196 by 96; entries of one line are
  // 10 high, 12 apart.
  void make(uint32_t flags, int content_w = 0, int content_h = 0) {
    open(w);
    list.create(&w, 100, 100, 200, 100, content_w, content_h, 8, flags, false);
  }
  std::vector<std::string> texts() const {
    std::vector<std::string> out;
    for (UiListEntry* e = list.first_entry(); e; e = e->next) out.emplace_back(e->text);
    return out;
  }
  void fill(int n) {
    for (int i = 0; i < n; i++) list.add_entry(("entry " + std::to_string(i)).c_str());
  }
};

TEST_F(UiLists, EntriesKeepTheirTextSortAndCapTheLog) {
  make(UI_LF_SORT);
  list.add_entry("pear");
  list.add_entry("Apple");
  list.add_entry("fig");
  list.add_entry(std::string(300, 'x').c_str());
  EXPECT_EQ(texts(), (std::vector<std::string>{"Apple", "fig", "pear", "text too long for pc version"}));
  EXPECT_EQ(list.last->y, 3 * 12);
  EXPECT_EQ(list.total_height, 4 * 12 - 2);
  EXPECT_EQ(list.widest, 28 * 8);

  // A log of at most 40 pixels keeps the newest entries that fit.
  UiListBox log;
  log.create(&w, 0, 0, 100, 100, 0, 40, 9, 0, false);
  for (const char* t : {"a", "b", "c", "d", "e"}) log.add_entry(t);
  std::vector<std::string> kept;
  for (UiListEntry* e = log.first_entry(); e; e = e->next) kept.emplace_back(e->text);
  EXPECT_EQ(kept, (std::vector<std::string>{"c", "d", "e"}));
  // One entry higher than the cap empties the rest and ends.
  log.content_w = 16;
  log.list_flags |= UI_LF_WRAP;
  log.add_entry("a long entry that wraps into many lines");
  EXPECT_EQ(log.entry_count(), 1);
}

TEST_F(UiLists, WrappingBreaksAtTheContentWidthAndStopsAt20Lines) {
  make(UI_LF_WRAP, 80);
  UiListEntry* e = list.add_entry("aaaa bbbb cccc dddd", -1, 0, 8);
  // 80 pixels hold 10 characters: "aaaa bbbb" then "cccc dddd" at indent 8.
  EXPECT_EQ(e->lines, 2);
  EXPECT_EQ(e->height, 2 * 10);
  EXPECT_EQ(e->width, 8 + 9 * 8);
  std::string many;
  for (int i = 0; i < 40; i++) many += "word ";
  UiListEntry* big = list.add_entry(many.c_str());
  EXPECT_EQ(big->lines, UI_MAX_WRAP_LINES);
  list.draw();  // lays it out again into the table: stays in bounds
}

TEST_F(UiLists, ClicksSelectAndDoubleClicksChoose) {
  make(0);
  fill(5);
  click(110, 102 + 12 + 3);  // the second entry
  ASSERT_NE(list.get_selection(), nullptr);
  EXPECT_STREQ(list.get_selection()->text, "entry 1");
  EXPECT_EQ(only({24, 25}), (std::vector<UiEvent>{{24, 8}}));
  EXPECT_EQ(ui_get_focus(), &list);
  Fake_mouse.next.left_double = true;
  Fake_mouse.left(true);
  frame();
  Fake_mouse.left(false);
  frame();
  EXPECT_EQ(only({24, 25}), (std::vector<UiEvent>{{24, 8}, {25, 8}}));
  // Between entries there is nothing to select.
  click(110, 102 + 10);
  EXPECT_STREQ(list.get_selection()->text, "entry 1");
  EXPECT_FALSE(list.select_by_value(77, false));
  EXPECT_STREQ(list.get_selection()->text, "entry 1");
  list.first_entry()->value = 77;
  EXPECT_TRUE(list.select_by_value(77, false));
  EXPECT_TRUE(list.select_by_text("entry 4", true));
  EXPECT_FALSE(list.select_by_text("entry", true));
}

TEST_F(UiLists, ArrowKeysMoveTheSelectionAndScroll) {
  make(0);
  fill(20);
  list.set_focus();
  EXPECT_EQ(frame(KEY_DOWN), 0);
  EXPECT_EQ(list.get_selection(), list.first_entry());  // the entry at the top of the view
  Ui_events.clear();
  EXPECT_EQ(frame(KEY_UP), 0);  // the first entry: nothing happens
  EXPECT_TRUE(Ui_events.empty());
  for (int i = 0; i < 9; i++) frame(KEY_DOWN);
  EXPECT_STREQ(list.get_selection()->text, "entry 9");
  // Entry 9 spans 108..118; a view of 96 must start at a line at or after 22.
  EXPECT_EQ(list.view_y, 24);
  frame(KEY_PAGEDOWN);
  EXPECT_STREQ(list.get_selection()->text, "entry 17");
  for (int i = 0; i < 5; i++) frame(KEY_DOWN);
  EXPECT_STREQ(list.get_selection()->text, "entry 19");
  EXPECT_EQ(list.view_y, 19 * 12 + 10 - 96 + 2);  // snapped to the next line start
}

TEST_F(UiLists, TypeAheadFindsByPrefixUntilAPause) {
  make(0);
  for (const char* t : {"Anvil", "Bow", "Bread", "Brick", "Rope"}) list.add_entry(t);
  list.set_focus();
  const int b = 48, r = 19, o = 24;  // scan codes of B, R and O
  frame(b);
  EXPECT_STREQ(list.get_selection()->text, "Bow");
  frame(r, 300);
  EXPECT_STREQ(list.get_selection()->text, "Bread");
  frame(KEY_BACKSP);  // forgets the prefix
  frame(r);
  EXPECT_STREQ(list.get_selection()->text, "Rope");
  frame(b, 200);
  EXPECT_STREQ(list.get_selection()->text, "Rope");  // "rb" matches nothing
  wait(1600);
  frame(b);
  EXPECT_STREQ(list.get_selection()->text, "Bow");
  frame(o | KEY_SHIFTED, 100);  // Shift does not matter
  EXPECT_STREQ(list.get_selection()->text, "Bow");
  // The prefix holds 32 characters at most.
  for (int i = 0; i < 40; i++) frame(o, 10);
  EXPECT_EQ(list.prefix_len, UI_PREFIX_LEN);
}

TEST_F(UiLists, TheViewSnapsToLinesAndTheWheelScrolls) {
  make(UI_LF_VSCROLL);
  fill(20);
  list.set_view_y(5);
  EXPECT_EQ(list.view_y, 12);
  list.set_view_y(100000);
  EXPECT_EQ(list.view_y, 20 * 12 - 2 - 96 + 2);  // the last start at or after the end of the range
  list.set_view_y(-4);
  EXPECT_EQ(list.view_y, 0);
  EXPECT_EQ(list.vscroll->get_position(), 0);
  Fake_mouse.move(150, 150);
  Fake_mouse.next.wheel = -240;
  frame();
  EXPECT_EQ(list.view_y, 24);
  EXPECT_EQ(list.vscroll->get_position(), 24);
  // The scrollbar's down button scrolls one line.
  UiButton* down = list.vscroll->arrows[1];
  ASSERT_NE(down, nullptr);
  click(down->screen_x() + 3, down->screen_y() + 3);
  EXPECT_EQ(list.view_y, 36);
  // By pixels nothing snaps.
  list.list_flags |= UI_LF_SCROLL_PIXELS;
  list.set_view_y(5);
  EXPECT_EQ(list.view_y, 5);
}

TEST_F(UiLists, LinesCutByTheViewAreLeftOutUnlessScrollingByPixels) {
  make(UI_LF_SCROLL_PIXELS);
  fill(20);
  list.set_view_y(5);
  rec.reset();
  list.draw();
  const size_t by_pixels = rec.bitmaps.size();
  list.list_flags &= ~UI_LF_SCROLL_PIXELS;
  rec.reset();
  list.draw();
  // Entries 0 (cut at the top) and 8 (cut at the bottom) are left out: two
  // lines of 7 characters, text and shadow.
  EXPECT_EQ(by_pixels - rec.bitmaps.size(), 2u * 7 * 2);
}

TEST_F(UiLists, ADrawnLineIsBoundedByTheDrawBuffer) {
  make(UI_LF_PREALLOCATED);
  const std::string huge(2000, 'k');
  list.add_entry(huge.c_str());
  rec.reset();
  list.set_view_x(0);
  list.draw();  // 511 characters at most, however long the caller's text
  EXPECT_LE(rec.bitmaps.size(), 2u * 511);
}

TEST_F(UiLists, RemovingAndClearing) {
  make(0);
  fill(12);
  list.select_by_text("entry 3", false);
  list.set_view_y(36);
  EXPECT_FALSE(list.remove_entry(""));
  EXPECT_FALSE(list.remove_entry("nothing"));
  EXPECT_TRUE(list.remove_entry("entry 3"));
  EXPECT_EQ(list.get_selection(), nullptr);
  EXPECT_EQ(list.entry_count(), 11);
  EXPECT_EQ(list.view_y, 36);  // entry 4 now stands where entry 3 stood
  list.clear();
  EXPECT_EQ(list.entry_count(), 0);
  EXPECT_EQ(list.view_y, 0);
  EXPECT_EQ(list.total_height, 0);
}
}  // namespace
