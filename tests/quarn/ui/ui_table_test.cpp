// UI table files: key texts, the window part, every section with its
// positions made relative, state bitmaps, and the refusals.
#include "quarn/ui/ui_table.h"

#include <string>

#include "quarn/parse/parse.h"
#include "tests/quarn/ui/ui_fixture.h"
#include "tests/support/critical_error_trap.h"
#include "tools/writers/image_writers.h"
#include "tools/writers/ui_table_writer.h"

namespace {

class UiTables : public UiTest {
 protected:
  UiWindow w;
  void load(const UiTableWriter& t) {
    ParseContext pc;
    pc.open_memory("test.ui", t.str().c_str(), t.str().size());
    ui_load_window(&w, pc);
  }
  // The fatal message of a table that must be refused.
  std::string refused(const std::string& text) {
    CriticalErrorTrap trap;
    try {
      ParseContext pc;
      pc.open_memory("bad.ui", text.c_str(), text.size());
      UiWindow bad;
      ui_load_window(&bad, pc);
    } catch (const CriticalErrorThrown& e) {
      return e.text;
    }
    return "";
  }
};

struct KeyCase {
  const char* text;
  int code;
};

TEST_F(UiTables, KeyTextsGiveKeyboardCodes) {
  const KeyCase cases[] = {
      {"Ctrl+Shift+F1", 0x4000 + 0x1000 + 59}, {"Alt+Q", 0x2000 + 16}, {"shift + alt + esc", 0x3001},
      {"Pad Enter", 156}, {"Up Arrow", 200}, {"Page Down", 209}, {"Delete", 211}, {"F12", 88},
      {"\\", 43}, {"Spacebar", 57}, {"Shift", 42}, {"Alt", 56}, {"Pad /", 181}, {"Print Scrn", 183},
      // The keyboard reports Num Lock as 69 and Pause as 197.
      {"Num Lock", 69}, {"Pause", 197}, {"Ctrl+Pad +", 0x4000 + 78},
      {"Nonsense", UI_KEY_UNKNOWN}, {"Ctrl+Nonsense", 0x4000 + UI_KEY_UNKNOWN}, {"", 0},
  };
  for (const KeyCase& c : cases) EXPECT_EQ(ui_key_code_from_text(c.text), c.code) << c.text;
  // Each named key code is what the keyboard module calls it.
  EXPECT_EQ(ui_key_code_from_text("Pause"), KEY_PAUSE);
  EXPECT_EQ(ui_key_code_from_text("Num Lock"), KEY_NUMLOCK);
  EXPECT_EQ(ui_key_code_from_text("Right Ctrl"), KEY_RCTRL);
  EXPECT_EQ(ui_key_code_from_text("Home"), KEY_HOME);
}

TEST_F(UiTables, TheWindowPartSetsFlagsAndName) {
  UiTableWriter t;
  t.window(40, 30, 300, 200).text("+Name:", "dialog").field("+Id:", 12).end();
  load(t);
  EXPECT_EQ(w.flags, 1u);
  EXPECT_EQ(w.id, 12);
  EXPECT_STREQ(w.name, "dialog");
  EXPECT_EQ(w.x, 40);
  EXPECT_EQ(w.height, 200);
  w.close();
  UiTableWriter m;
  m.window(0, 0, 10, 10).flag("+Modal dialog").flag("+Allow wrap").end();
  load(m);
  EXPECT_EQ(w.flags, 0x21u | UI_WF_ALLOW_WRAP);
  EXPECT_LT(w.id, 0);
}

TEST_F(UiTables, EveryGadgetKindWithRelativePositions) {
  std::vector<uint8_t> px(16 * 16 * 3, 200);
  ASSERT_TRUE(tga_write_file((root / "data" / "interface" / "face.tga").string(), px.data(), 16, 16, 24));
  UiTableWriter t;
  t.window(100, 50, 400, 380);
  t.section("#Button", "ok").field("$Id:", 1).field("$Position:", 110, 60).field("$Size:", 80, 20);
  t.flag("+Repeats").text("+Text:", "OK").hotkey("Ctrl+O").hotkey("Enter").hotkey("Esc");
  t.state_bitmap("face.tga", {"Normal", "Highlighted"}).tooltip("Confirm", 0, 24);
  t.section("#Checkbox").field("$Id:", 2).field("$Position:", 110, 90).field("$Box size:", 12, 12);
  t.text("$Label:", "Check").flag("+Initially checked");
  t.section("#Container", "group").field("$Id:", 3).field("$Position:", 200, 90).field("$Size:", 150, 80);
  t.text("$Label:", "Group").raw("$Inventory start");
  t.section("#Radio button").field("$Id:", 4).field("$Position:", 210, 110).field("$Box size:", 12, 12);
  t.text("$Label:", "One");
  t.section("#Radio button").field("$Id:", 5).field("$Position:", 210, 130).field("$Box size:", 12, 12);
  t.text("$Label:", "Two");
  t.raw("$Inventory end");
  t.section("#Inputbox").field("$Id:", 6).field("$Position:", 110, 180).field("$Size:", 120, 20);
  t.raw("+Password: \"#\"").text("+Valid chars:", "0-9").field("+Max text length:", 9999);
  t.text("+Text:", "42").text("+Vertical justification:", "Bottom");
  t.section("#Slider").field("$Id:", 7).field("$Position:", 110, 210).field("$Size:", 200, 16);
  t.flag("$Horizontal").field("$Marker size:", 12).field("+Positions:", 9).field("+Marker position:", 4);
  t.raw("+Left button").field("$Id:", 70).field("$Position:", 90, 210).field("$Size:", 16, 16);
  t.raw("+Right button").field("$Id:", 71).field("$Position:", 314, 210).field("$Size:", 16, 16);
  t.section("#Listbox").field("$Id:", 8).field("$Position:", 110, 240).field("$Size:", 200, 100);
  t.field("$Content size:", 0, 60).flag("+Sort entries").flag("+Add both scrollbars").field("+Entry spacing:", 4);
  t.section("#Static").field("$Id:", 9).field("$Position:", 110, 350).field("$Size:", 200, 16);
  t.raw("+Horizontal justification: Right").text("+Text:", "Status");
  t.end();
  load(t);

  auto* ok = static_cast<UiButton*>(w.find_gadget(1));
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(ok->type, UI_TYPE_BUTTON);
  EXPECT_EQ(ok->x, 10);
  EXPECT_EQ(ok->y, 10);
  EXPECT_STREQ(ok->name, "ok");
  EXPECT_STREQ(ok->get_text(), "OK");
  EXPECT_EQ(ok->flags, UI_BF_REPEATS);
  EXPECT_EQ(ok->hotkeys[0], 0x4000 + 24);
  EXPECT_EQ(ok->hotkeys[1], 28);  // a third "+Hotkey:" fills no slot
  EXPECT_GE(ok->bitmaps[UiButton::NORMAL], 0);
  EXPECT_EQ(ok->bitmaps[UiButton::HIGHLIGHTED], ok->bitmaps[UiButton::NORMAL]);  // loaded once
  EXPECT_EQ(ok->bitmaps[UiButton::PRESSED], -1);
  ASSERT_EQ(ok->tooltips.size(), 1u);
  EXPECT_STREQ(ok->tooltips[0].text, "Confirm");
  EXPECT_TRUE(ok->is_owned());

  auto* check = static_cast<UiCheckbox*>(w.find_gadget(2));
  EXPECT_TRUE(check->is_checked());
  auto* group = static_cast<UiContainer*>(w.find_gadget(3));
  EXPECT_STREQ(group->label, "Group");
  auto* one = static_cast<UiRadioButton*>(w.find_gadget(4));
  auto* two = static_cast<UiRadioButton*>(w.find_gadget(5));
  EXPECT_EQ(one->owner, group);
  EXPECT_EQ(one->x, 10);  // relative to the container
  EXPECT_EQ(one->y, 20);
  EXPECT_TRUE(one->is_checked());
  EXPECT_FALSE(two->is_checked());

  auto* input = static_cast<UiTextInput*>(w.find_gadget(6));
  EXPECT_EQ(input->input_flags, UI_IF_PASSWORD);
  EXPECT_EQ(input->password_char, '#');
  EXPECT_EQ(input->max_length, 255);
  EXPECT_STREQ(input->get_text(), "42");
  EXPECT_TRUE(input->accepts('5'));
  EXPECT_FALSE(input->accepts('a'));
  EXPECT_EQ(input->vjust, 2);

  auto* slider = static_cast<UiSlider*>(w.find_gadget(7));
  EXPECT_EQ(slider->slider_flags & UI_SF_ARROWS, UI_SF_ARROWS);
  EXPECT_EQ(slider->get_position(), 4);
  EXPECT_EQ(slider->get_positions(), 9);
  ASSERT_NE(slider->arrows[0], nullptr);
  EXPECT_EQ(slider->arrows[0]->id, 70);
  EXPECT_EQ(slider->arrows[1]->id, 71);
  EXPECT_EQ(slider->arrows[0]->screen_x(), 90);
  EXPECT_EQ(slider->arrows[0]->owner, slider);

  auto* list = static_cast<UiListBox*>(w.find_gadget(8));
  EXPECT_EQ(list->list_flags, UI_LF_SORT | UI_LF_VSCROLL);  // "both" adds the vertical bar only
  EXPECT_EQ(list->content_h, 60);
  EXPECT_EQ(list->spacing, 4);
  EXPECT_NE(list->vscroll, nullptr);
  EXPECT_EQ(list->hscroll, nullptr);

  auto* label = static_cast<UiStatic*>(w.find_gadget(9));
  EXPECT_EQ(label->hjust, 2);
  EXPECT_STREQ(label->get_text(), "Status");
  w.close();  // owned gadgets go with the window (checked by the sanitizer build)
}

// The table's arrow buttons stand where the slider would put its own: they
// are the only ones, and clicking them steps the position.
TEST_F(UiTables, ASlidersTableArrowsStepIt) {
  UiTableWriter t;
  t.window(100, 50, 400, 300);
  t.section("#Slider").field("$Id:", 7).field("$Position:", 110, 210).field("$Size:", 200, 16);
  t.flag("$Horizontal").field("$Marker size:", 12).field("+Positions:", 9).field("+Marker position:", 4);
  t.raw("+Left button").field("$Id:", 70).field("$Position:", 110, 210).field("$Size:", 16, 16);
  t.raw("+Right button").field("$Id:", 71).field("$Position:", 294, 210).field("$Size:", 16, 16);
  t.end();
  load(t);
  w.callback = ui_log_event;
  auto* slider = static_cast<UiSlider*>(w.find_gadget(7));
  ASSERT_NE(slider, nullptr);
  int children = 0;
  for (UiGadget* c = slider->first_child; c; c = c->next_sibling) children++;
  EXPECT_EQ(children, 2);
  click(114, 218);
  EXPECT_EQ(slider->get_position(), 3);
  click(298, 218);
  click(298, 218);
  EXPECT_EQ(slider->get_position(), 5);
  w.close();
}

TEST_F(UiTables, RefusalsNameWhatWasExpected) {
  // A radio button outside a container is no section of the window.
  UiTableWriter radio;
  radio.window(0, 0, 10, 10).section("#Radio button").field("$Id:", 1).end();
  EXPECT_NE(refused(radio.str()).find("#End"), std::string::npos);
  UiTableWriter unknown;
  unknown.window(0, 0, 10, 10).section("#Gizmo").end();
  EXPECT_NE(refused(unknown.str()).find("#End"), std::string::npos);
  UiTableWriter missing;
  missing.window(0, 0, 10, 10).section("#Button").field("$Id:", 1).field("$Size:", 2, 2).end();
  EXPECT_NE(refused(missing.str()).find("$Position:"), std::string::npos);
  UiTableWriter bitmap;
  bitmap.window(0, 0, 10, 10).text("+Background bitmap:", "nowhere.xyz").end();
  EXPECT_NE(refused(bitmap.str()), "");  // a bitmap that cannot be had is fatal
  // Containers nest, but not without end.
  std::string deep = "$Position: 0, 0\n$Size: 10, 10\n";
  for (int i = 0; i < 40; i++) deep += "#Container $Id: 1 $Position: 0, 0 $Size: 5, 5 $Inventory start\n";
  EXPECT_NE(refused(deep), "");
}
}  // namespace
