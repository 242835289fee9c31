// Check boxes, radio groups and text input: toggling by mouse and key,
// filters, limits, editing keys, keypad digits and password masking.
#include <cstring>
#include <string>

#include "tests/quarn/ui/ui_fixture.h"

namespace {
using UiInput = UiTest;

// The key code that types c, found through the keyboard's own table.
int key_for(char c) {
  for (int scan = 1; scan < 127; scan++) {
    if (key_to_ascii(scan) == c) return scan;
    if (key_to_ascii(scan | KEY_SHIFTED) == c) return scan | KEY_SHIFTED;
  }
  return 0;
}

TEST_F(UiInput, CheckBoxesToggleByClickHotkeyAndEnter) {
  UiWindow w;
  open(w);
  UiCheckbox box;
  box.create(&w, 100, 100, 14, 14, "Sound", 6, 0, -1, false, 3, false);
  EXPECT_EQ(box.width, 14 + 6 + 5 * 8);  // box, gap and the label's width
  EXPECT_EQ(box.height, 14);
  box.set_hotkey(KEY_F1, 0);
  click(105, 105);
  EXPECT_TRUE(box.is_checked());
  EXPECT_EQ(only({19}), (std::vector<UiEvent>{{19, 3}}));
  EXPECT_EQ(frame(KEY_F1), 0);
  EXPECT_FALSE(box.is_checked());
  w.selection = &box;
  EXPECT_EQ(frame(KEY_ENTER), 0);
  EXPECT_TRUE(box.is_checked());
  EXPECT_EQ(count(UI_EVENT_TOGGLED), 3);
  // Pressed on it and released elsewhere: no toggle.
  Fake_mouse.move(105, 105);
  frame();
  Fake_mouse.left(true);
  frame();
  EXPECT_EQ(box.draw_state, 2);
  Fake_mouse.move(400, 400);
  frame();
  Fake_mouse.left(false);
  frame();
  EXPECT_TRUE(box.is_checked());
  // A click whose press and release fall into one frame toggles too.
  Fake_mouse.move(105, 105);
  frame();
  Fake_mouse.left(true);
  Fake_mouse.left(false);
  frame();
  EXPECT_FALSE(box.is_checked());
  box.set_disabled(true);
  frame(KEY_F1);
  EXPECT_EQ(Ui_sound_log_last, Ui_sounds[3]);
}

TEST_F(UiInput, RadioButtonsFormOneGroupPerContainer) {
  UiWindow w;
  open(w);
  UiContainer group;
  group.create(&w, 100, 100, 200, 100, 1, 0, false);
  UiRadioButton easy, hard;
  easy.create(&group, 10, 10, 14, 14, "Easy", 6, 0, -1, 2, false);
  hard.create(&group, 10, 40, 14, 14, "Hard", 6, 0, -1, 3, false);
  EXPECT_TRUE(easy.is_checked());  // the first child starts checked
  EXPECT_FALSE(hard.is_checked());
  click(112, 112);  // the checked one stays checked
  EXPECT_TRUE(easy.is_checked());
  EXPECT_EQ(count(UI_EVENT_TOGGLED), 0);
  click(112, 142);
  EXPECT_TRUE(hard.is_checked());
  EXPECT_FALSE(easy.is_checked());
  EXPECT_EQ(only({19}), (std::vector<UiEvent>{{19, 3}}));
  easy.set_hotkey(KEY_F1 + 1, 0);
  frame(KEY_F1 + 1);
  EXPECT_TRUE(easy.is_checked());
  EXPECT_FALSE(hard.is_checked());
}

class UiTextBox : public UiTest {
 protected:
  UiWindow w;
  UiTextInput t;
  void SetUp() override {
    UiTest::SetUp();
    open(w);
    t.create(&w, 100, 100, 200, 20, 6, 0, false);
    t.set_focus();
    Ui_events.clear();
  }
  std::string type(const std::string& s) {
    std::string left;
    for (char c : s) {
      const int k = key_for(c);
      if (frame(k) != 0) left += c;
    }
    return left;  // characters the box passed on
  }
};

TEST_F(UiTextBox, TypingAppendsAndTellsTheCallback) {
  EXPECT_EQ(type("Hi 7"), "");
  EXPECT_STREQ(t.get_text(), "Hi 7");
  // Each key: event 20 with the key, then 21.
  ASSERT_GE(Ui_events.size(), 2u);
  EXPECT_EQ(Ui_events[0], UiEvent(20, key_for('H')));
  EXPECT_EQ(Ui_events[1], UiEvent(21, 6));
  Ui_events.clear();
  EXPECT_EQ(frame(KEY_BACKSP), 0);
  EXPECT_STREQ(t.get_text(), "Hi ");
  EXPECT_EQ(frame(30 | KEY_ALTED), 0);  // Alt+A: swallowed, no change
  EXPECT_EQ(frame(30 | KEY_CTRLED), 0);
  EXPECT_STREQ(t.get_text(), "Hi ");
  // Keypad digits whatever Num Lock says.
  for (int k : {71, 72, 73, 75, 76, 77, 79, 80, 81, 82}) frame(k);
  EXPECT_STREQ(t.get_text(), "Hi 7894561230");
  EXPECT_EQ(frame(KEY_ENTER), 0);
  EXPECT_EQ(frame(KEY_ESC), 0);
  EXPECT_STREQ(t.get_text(), "");
  EXPECT_EQ(frame(KEY_BACKSP), 0);
  EXPECT_EQ(Ui_sound_log_last, Ui_sounds[5]);
  // Without the focus nothing is typed.
  t.drop_focus();
  EXPECT_EQ(frame(key_for('x')), key_for('x'));
  EXPECT_STREQ(t.get_text(), "");
}

TEST_F(UiTextBox, EscapeIsSwallowedWhenIgnored) {
  t.input_flags |= UI_IF_IGNORE_ESC;
  type("abc");
  EXPECT_EQ(frame(KEY_ESC), 0);
  EXPECT_STREQ(t.get_text(), "abc");
  EXPECT_EQ(frame(KEY_HOME), 0);
  EXPECT_STREQ(t.get_text(), "");
}

TEST_F(UiTextBox, TheLengthLimitRefusesWithEvent22) {
  const std::string eighty(80, 'q');
  type(eighty);
  Ui_events.clear();
  EXPECT_EQ(frame(key_for('q')), 0);
  EXPECT_EQ(only({21, 22}), (std::vector<UiEvent>{{22, 6}}));
  EXPECT_EQ(std::strlen(t.get_text()), 80u);
  // A limit larger than the text array holds is held to it.
  t.set_max_length(100000);
  EXPECT_EQ(t.max_length, 255);
  t.max_length = 100000;  // even set by hand
  type(std::string(300, 'w'));
  EXPECT_EQ(std::strlen(t.get_text()), 255u);
}

TEST_F(UiTextBox, NoScrollRefusesTextWiderThanTheBox) {
  t.input_flags |= UI_IF_NO_SCROLL;
  // 200 wide, margins 2 and 2, cursor 2: 194 pixels, 24 characters of 8.
  type(std::string(30, 'z'));
  EXPECT_EQ(std::strlen(t.get_text()), 24u);
  EXPECT_EQ(count(UI_EVENT_TEXT_FULL), 6);
}

struct CharsCase {
  const char* spec;
  bool ok;
  const char* allowed;
  const char* refused;
};

TEST_F(UiTextBox, CharacterListsAndFilters) {
  const CharsCase cases[] = {
      {"a-z0-9", true, "az09m", "AZ-_ "},
      {"z-a", true, "amz", "A0"},
      {"_x-", true, "_x-", "y"},
      {"a-9", false, "", ""},
      {"A-Z", true, "AQZ", "aq"},
  };
  for (const CharsCase& c : cases) {
    UiTextInput box;
    box.create(&w, 0, 0, 100, 20, 9, 0, false);
    EXPECT_EQ(box.set_valid_chars(c.spec), c.ok) << c.spec;
    for (const char* p = c.allowed; *p; p++) EXPECT_TRUE(box.accepts(*p)) << c.spec << " " << *p;
    for (const char* p = c.refused; *p; p++) EXPECT_FALSE(box.accepts(*p)) << c.spec << " " << *p;
  }
  ASSERT_TRUE(t.set_invalid_chars("0-9"));
  EXPECT_EQ(type("a1b"), "1");  // a refused character goes on to others
  EXPECT_STREQ(t.get_text(), "ab");
  t.set_filter([](const char* text, int c) { return std::strlen(text) < 3 || c == '!'; });
  EXPECT_EQ(type("c!d"), "d");
  EXPECT_STREQ(t.get_text(), "abc!");
}

TEST_F(UiTextBox, PasswordBoxesDrawMaskCharacters) {
  type("secret");
  t.input_flags |= UI_IF_PASSWORD;
  t.set_password_char('#');
  rec.reset();
  t.draw();
  std::vector<UiBitmapCall> masked = rec.bitmaps;
  // The same glyphs as the mask string drawn where the box draws its text.
  rec.reset();
  gr_set_clip(t.screen_x() + t.margin, t.screen_y(), 200 - 4, 20);
  gr_string(0, (20 - 10) / 2, "######", font);
  gr_reset_clip();
  ASSERT_FALSE(masked.empty());
  ASSERT_EQ(rec.bitmaps.size() * 2, masked.size());  // text and its shadow
  for (size_t i = 0; i < rec.bitmaps.size(); i++) {
    const UiBitmapCall& a = masked[rec.bitmaps.size() + i];
    const UiBitmapCall& b = rec.bitmaps[i];
    EXPECT_EQ(a.sx, b.sx);
    EXPECT_EQ(a.sy, b.sy);
    EXPECT_EQ(a.x, b.x);
  }
}
}  // namespace
