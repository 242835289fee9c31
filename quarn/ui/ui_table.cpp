// The reader of UI table files. Fields are read in a fixed order; positions
// in the file are screen coordinates and become relative to the parent.
#include "quarn/ui/ui_table.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "quarn/bmpman/bmpman.h"
#include "quarn/parse/parse.h"

namespace {
// Names by scan code; every other entry is empty (and so matches an empty
// name).
struct KeyName {
  int code;
  const char* name;
};
constexpr KeyName Named_keys[] = {
    {1, "Esc"}, {2, "1"}, {3, "2"}, {4, "3"}, {5, "4"}, {6, "5"}, {7, "6"}, {8, "7"}, {9, "8"}, {10, "9"},
    {11, "0"}, {12, "-"}, {13, "="}, {14, "Backspace"}, {15, "Tab"}, {16, "Q"}, {17, "W"}, {18, "E"},
    {19, "R"}, {20, "T"}, {21, "Y"}, {22, "U"}, {23, "I"}, {24, "O"}, {25, "P"}, {26, "["}, {27, "]"},
    {28, "Enter"}, {29, "Left Ctrl"}, {30, "A"}, {31, "S"}, {32, "D"}, {33, "F"}, {34, "G"}, {35, "H"},
    {36, "J"}, {37, "K"}, {38, "L"}, {39, ";"}, {40, "'"}, {41, "`"}, {42, "Shift"}, {43, "\\"},
    {44, "Z"}, {45, "X"}, {46, "C"}, {47, "V"}, {48, "B"}, {49, "N"}, {50, "M"}, {51, ","}, {52, "."},
    {53, "/"}, {54, "Shift"}, {55, "Pad *"}, {56, "Alt"}, {57, "Spacebar"}, {58, "Caps Lock"},
    {59, "F1"}, {60, "F2"}, {61, "F3"}, {62, "F4"}, {63, "F5"}, {64, "F6"}, {65, "F7"}, {66, "F8"},
    {67, "F9"}, {68, "F10"},
    // The keyboard reports Num Lock as 69 and Pause as 197: the names go
    // with the keys, so a table's "Pause" hotkey is the Pause key.
    {69, "Num Lock"}, {70, "Scroll Lock"}, {71, "Pad 7"}, {72, "Pad 8"}, {73, "Pad 9"}, {74, "Pad -"},
    {75, "Pad 4"}, {76, "Pad 5"}, {77, "Pad 6"}, {78, "Pad +"}, {79, "Pad 1"}, {80, "Pad 2"},
    {81, "Pad 3"}, {82, "Pad 0"}, {83, "Pad ."}, {87, "F11"}, {88, "F12"}, {156, "Pad Enter"},
    {157, "Right Ctrl"}, {181, "Pad /"}, {183, "Print Scrn"}, {184, "Alt"}, {197, "Pause"},
    {199, "Home"}, {200, "Up Arrow"}, {201, "Page Up"}, {203, "Left Arrow"}, {205, "Right Arrow"},
    {207, "End"}, {208, "Down Arrow"}, {209, "Page Down"}, {210, "Insert"}, {211, "Delete"},
};

struct KeyNameTable {
  const char* names[256];
  KeyNameTable() {
    for (const char*& n : names) n = "";
    for (const KeyName& k : Named_keys) names[k.code] = k.name;
  }
};
const KeyNameTable Key_table;
const char* const* const Key_names = Key_table.names;

constexpr int NAME_LEN = 64;    // quoted texts: at most 63 characters
constexpr int FILE_LEN = 260;   // bitmap file names: at most 259
// Coordinates and sizes from a file stay in a range where their sums
// cannot overflow.
constexpr int COORD_LIMIT = 1 << 20;

int Nesting = 0;

struct NestGuard {
  ParseContext& pc;
  explicit NestGuard(ParseContext& p) : pc(p) {
    if (++Nesting > UI_MAX_TABLE_NESTING) {
      Nesting = 0;
      pc.error("a section nested less deeply");
    }
  }
  ~NestGuard() { --Nesting; }
};

int read_coord(ParseContext& pc) { return std::clamp(pc.read_int(), -COORD_LIMIT, COORD_LIMIT); }

void read_pair(ParseContext& pc, int* a, int* b) {
  *a = read_coord(pc);
  pc.require_string(",");
  *b = read_coord(pc);
}

void read_text(ParseContext& pc, char* buf, int size = NAME_LEN) { pc.read_string(buf, size); }

// The field's text into buf when the field is there.
bool optional_text(ParseContext& pc, const char* field, char* buf, int size = NAME_LEN) {
  if (!pc.optional_string(field)) return false;
  read_text(pc, buf, size);
  return true;
}

// One of the words, quoted or bare.
int read_choice(ParseContext& pc, const char* const* words, int count) {
  for (int i = 0; i < count; i++)
    if (pc.optional_quoted_string(words[i]) || pc.optional_string(words[i])) return i;
  pc.error("a known word");
}

struct Parent {
  UiWindow* window;
  UiGadget* gadget;  // none when the parent is the window
};

Parent parent_of(UiObject* p) {
  if (p->kind == 1) return {static_cast<UiWindow*>(p), nullptr};
  UiGadget* g = static_cast<UiGadget*>(p);
  return {g->window, g};
}

int rel_x(const Parent& p, int x) { return x - (p.gadget ? p.gadget->screen_x() : p.window->x); }
int rel_y(const Parent& p, int y) { return y - (p.gadget ? p.gadget->screen_y() : p.window->y); }

// Makes a gadget read inside a container or list a child of it.
void adopt(UiGadget* g, const Parent& p) {
  if (p.gadget) g->set_owner(p.gadget);
}

void read_name(ParseContext& pc, char* name) { optional_text(pc, ":", name); }

// "$Id:", "$Position:" (made relative to the parent) and the size field.
struct Head {
  int id, x, y, w, h;
};
Head read_head(ParseContext& pc, const Parent& p, const char* size_field = "$Size:") {
  Head hd;
  pc.require_string("$Id:");
  hd.id = pc.read_int();
  int x, y;
  pc.require_string("$Position:");
  read_pair(pc, &x, &y);
  hd.x = rel_x(p, x);
  hd.y = rel_y(p, y);
  pc.require_string(size_field);
  read_pair(pc, &hd.w, &hd.h);
  return hd;
}

// Names the gadget and makes it the child of a gadget parent.
void settle(UiGadget* g, const Parent& p, const char* name) {
  adopt(g, p);
  std::snprintf(g->name, sizeof g->name, "%s", name);
}

// The gadget's tooltip: text, dx, dy [, n].
void read_tooltip(ParseContext& pc, UiObject* o) {
  if (!pc.optional_string("+Tooltip:")) return;
  char text[NAME_LEN];
  read_text(pc, text);
  int dx, dy, n = -1;
  pc.require_string(",");
  dx = read_coord(pc);
  pc.require_string(",");
  dy = read_coord(pc);
  if (pc.optional_string(",")) n = pc.read_int();
  o->set_tooltip(text, dx, dy, n);
}

// Window and container tooltips by mask value: text, key, dx, dy [, n].
void read_keyed_tooltips(ParseContext& pc, UiObject* o) {
  while (pc.optional_string("+Tooltip:")) {
    char text[NAME_LEN];
    read_text(pc, text);
    pc.require_string(",");
    const int key = pc.read_int();
    pc.require_string(",");
    const int dx = read_coord(pc);
    pc.require_string(",");
    const int dy = read_coord(pc);
    int n = -1;
    if (pc.optional_string(",")) n = pc.read_int();
    o->add_tooltip(text, key, dx, dy, n);
  }
}

// Every "+Hotkey:" line; a gadget has two slots and further lines fill none.
void read_hotkeys(ParseContext& pc, UiGadget* g) {
  int slot = 0;
  while (pc.optional_string("+Hotkey:")) {
    const int key = ui_parse_hotkey(pc);
    if (slot < 2) g->set_hotkey(key, slot++);
  }
}

// "+State bitmap:" lines: a file, then the state words of the slots it fills.
template <class SetSlot>
void read_state_bitmaps(ParseContext& pc, const char* const* words, int count, SetSlot set_slot) {
  while (pc.optional_string("+State bitmap:")) {
    char file[FILE_LEN];
    read_text(pc, file, FILE_LEN);
    const int handle = bm_load(file);
    pc.require_string(",");
    do {
      const int slot = read_choice(pc, words, count);
      if (handle >= 0) set_slot(slot, handle);
    } while (pc.optional_string(","));
  }
}

UiGadget* read_section(ParseContext& pc, UiObject* parent, bool in_container) {
  if (pc.optional_string("#Button")) return ui_read_button(pc, parent);
  if (pc.optional_string("#Checkbox")) return ui_read_checkbox(pc, parent);
  if (pc.optional_string("#Container")) return ui_read_container(pc, parent);
  if (pc.optional_string("#Inputbox")) return ui_read_inputbox(pc, parent);
  if (pc.optional_string("#Listbox")) return ui_read_listbox(pc, parent);
  if (in_container && pc.optional_string("#Radio button")) return ui_read_radio_button(pc, parent);
  if (pc.optional_string("#Slider")) return ui_read_slider(pc, parent);
  if (pc.optional_string("#Static")) return ui_read_static(pc, parent);
  return nullptr;
}

// The body of a button section, from "$Id:" on.
UiButton* read_button_body(ParseContext& pc, UiObject* parent, const char* name) {
  const Parent p = parent_of(parent);
  const Head hd = read_head(pc, p);
  uint32_t flags = 0;
  if (pc.optional_string("+Drag and drop")) flags |= UI_BF_DRAG_DROP;
  if (pc.optional_string("+Repeats")) flags |= UI_BF_REPEATS;
  if (pc.optional_string("+Always use face color")) flags |= UI_BF_ALWAYS_FACE;
  if (pc.optional_string("+Use right mouse button")) flags |= UI_BF_RIGHT_BUTTON;
  UiButton* b = new UiButton;
  if (p.gadget && p.gadget->type == UI_TYPE_SLIDER) {
    b->create_in(p.gadget, hd.x, hd.y, hd.w, hd.h, hd.id, flags, true);
    std::snprintf(b->name, sizeof b->name, "%s", name);
  } else {
    b->create(p.window, hd.x, hd.y, hd.w, hd.h, hd.id, flags, true);
    settle(b, p, name);
  }
  char text[NAME_LEN];
  if (optional_text(pc, "+Text:", text)) b->set_text(text);
  if (pc.optional_string("+Font:")) b->set_font(pc.read_int());
  read_hotkeys(pc, b);
  if (pc.optional_string("+Hotspot:")) b->set_hotspot(pc.read_int());
  static const char* const States[] = {"Normal", "Highlighted", "Pressed", "Disabled", "Drag"};
  read_state_bitmaps(pc, States, 5, [&](int slot, int handle) { b->set_state_bitmap(slot, handle); });
  read_tooltip(pc, b);
  return b;
}

// The body of a slider section, from "$Id:" on.
UiSlider* read_slider_body(ParseContext& pc, UiObject* parent, const char* name) {
  const Parent p = parent_of(parent);
  const Head hd = read_head(pc, p);
  bool horizontal;
  if (pc.optional_string("$Horizontal")) horizontal = true;
  else if (pc.optional_string("$Vertical")) horizontal = false;
  else pc.error("\"$Horizontal\" or \"$Vertical\"");
  pc.require_string("$Marker size:");
  const int marker = read_coord(pc);
  const bool scrollbar = pc.optional_string("+Scrollbar");
  uint32_t flags = 0;
  if (pc.optional_string("+Dot slider")) flags |= UI_SF_DOT;
  if (pc.optional_string("+No process")) flags |= UI_SF_NO_PROCESS;
  int positions = 1, position = 0;
  if (pc.optional_string("+Positions:")) positions = read_coord(pc);
  char unused[FILE_LEN];
  optional_text(pc, "+Marker bitmap:", unused, FILE_LEN);
  if (pc.optional_string("+Marker position:")) position = read_coord(pc);
  if (optional_text(pc, "+Background bitmap:", unused, FILE_LEN)) optional_text(pc, ",", unused, FILE_LEN);
  const char* first_button = horizontal ? "+Left button" : "+Up button";
  const char* second_button = horizontal ? "+Right button" : "+Down button";
  ParsePos here;
  pc.save_pos(here);
  const bool has_arrows = pc.skip_to_string(first_button, "#");
  pc.restore_pos(here);
  if (has_arrows) flags |= UI_SF_ARROWS;

  const bool in_list = p.gadget && p.gadget->type == UI_TYPE_LISTBOX;
  UiSlider* s = scrollbar || in_list ? new UiScrollbar : new UiSlider;
  s->create(p.window, hd.x, hd.y, hd.w, hd.h, horizontal, marker, positions, hd.id, flags, true);
  settle(s, p, name);
  s->set_position(position);
  if (in_list) {
    UiListBox* list = static_cast<UiListBox*>(p.gadget);
    UiScrollbar* sb = static_cast<UiScrollbar*>(s);
    sb->view_size = horizontal ? list->view_width() : list->view_height();
    sb->page_step = sb->view_size;
    (horizontal ? list->hscroll : list->vscroll) = sb;
    list->relayout();
  }
  read_tooltip(pc, s);
  if (has_arrows) {
    // The file's buttons take the place of the ones the slider made for
    // itself: two sets at one place would leave the slider listening to
    // buttons the mouse never reaches.
    for (UiButton*& own : s->arrows) {
      own->destroy();
      delete own;
      own = nullptr;
    }
    pc.require_string(first_button);
    s->arrows[0] = read_button_body(pc, s, "");
    pc.require_string(second_button);
    s->arrows[1] = read_button_body(pc, s, "");
  }
  return s;
}

void read_sections(ParseContext& pc, UiObject* parent, bool in_container) {
  while (read_section(pc, parent, in_container)) {
  }
}
}  // namespace

const char* ui_key_name(int scan_code) { return scan_code >= 0 && scan_code < 256 ? Key_names[scan_code] : ""; }

int ui_key_code_from_text(const char* text) {
  if (!text) text = "";
  int mods = 0;
  const char* p = text;
  for (;;) {
    while (*p == ' ' || *p == '\t') p++;
    static const struct {
      const char* word;
      int bit;
    } Modifiers[] = {{"Ctrl", 0x4000}, {"Shift", 0x1000}, {"Alt", 0x2000}};
    bool found = false;
    for (const auto& m : Modifiers) {
      const size_t n = std::strlen(m.word);
      if (strncasecmp(p, m.word, n) != 0) continue;
      const char* q = p + n;
      while (*q == ' ' || *q == '\t') q++;
      // "Shift" alone (or before nothing) is the name of the key itself.
      if (*q != '+' || q[1] == 0) continue;
      mods |= m.bit;
      p = q + 1;
      found = true;
      break;
    }
    if (!found) break;
  }
  char name[NAME_LEN];
  std::snprintf(name, sizeof name, "%s", p);
  size_t n = std::strlen(name);
  while (n && (name[n - 1] == ' ' || name[n - 1] == '\t' || name[n - 1] == '\r')) name[--n] = 0;
  for (int i = 0; i < 256; i++)
    if (strcasecmp(Key_names[i], name) == 0) return i + mods;
  return UI_KEY_UNKNOWN + mods;
}

int ui_parse_hotkey(ParseContext& pc) {
  char text[NAME_LEN];
  pc.skip_space_in_line();
  const char* c = pc.cursor();
  if (c && *c == '"') {
    read_text(pc, text);
  } else if (!pc.read_line(text, sizeof text)) {
    pc.error("a key text");
  }
  return ui_key_code_from_text(text);
}

UiButton* ui_read_button(ParseContext& pc, UiObject* parent) {
  NestGuard guard(pc);
  char name[NAME_LEN] = {};
  read_name(pc, name);
  return read_button_body(pc, parent, name);
}

namespace {
template <class Box>
Box* read_check_body(ParseContext& pc, UiObject* parent, bool radio) {
  const Parent p = parent_of(parent);
  char name[NAME_LEN] = {};
  read_name(pc, name);
  const Head hd = read_head(pc, p, "$Box size:");
  pc.require_string("$Label:");
  char label[NAME_LEN];
  read_text(pc, label);
  const bool checked = !radio && pc.optional_string("+Initially checked");
  int font = -1, ldx = 0, ldy = 0;
  if (pc.optional_string("+Font:")) font = pc.read_int();
  if (pc.optional_string("+Label offset:")) read_pair(pc, &ldx, &ldy);
  Box* box = new Box;
  if constexpr (std::is_same_v<Box, UiRadioButton>) {
    box->create(p.gadget, hd.x, hd.y, hd.w, hd.h, label, ldx, ldy, font, hd.id, true);
  } else {
    box->create(p.window, hd.x, hd.y, hd.w, hd.h, label, ldx, ldy, font, checked, hd.id, true);
  }
  settle(box, p, name);
  read_hotkeys(pc, box);
  static const char* const States[] = {"Unchecked", "Checked", "Pressed", "Disabled"};
  read_state_bitmaps(pc, States, 4, [&](int slot, int handle) { box->set_state_bitmap(slot, handle); });
  read_tooltip(pc, box);
  return box;
}
}  // namespace

UiCheckbox* ui_read_checkbox(ParseContext& pc, UiObject* parent) {
  NestGuard guard(pc);
  return read_check_body<UiCheckbox>(pc, parent, false);
}

UiRadioButton* ui_read_radio_button(ParseContext& pc, UiObject* parent) {
  NestGuard guard(pc);
  if (parent->kind == 1 || static_cast<UiGadget*>(parent)->type != UI_TYPE_CONTAINER)
    pc.error("a radio button inside a container");
  return read_check_body<UiRadioButton>(pc, parent, true);
}

UiContainer* ui_read_container(ParseContext& pc, UiObject* parent) {
  NestGuard guard(pc);
  const Parent p = parent_of(parent);
  char name[NAME_LEN] = {};
  read_name(pc, name);
  const Head hd = read_head(pc, p);
  UiContainer* c = new UiContainer;
  c->create(p.window, hd.x, hd.y, hd.w, hd.h, hd.id, 0, true);
  settle(c, p, name);
  if (pc.optional_string("+Font:")) c->font = pc.read_int();
  char label[NAME_LEN];
  if (optional_text(pc, "$Label:", label)) c->set_label(label);
  char file[FILE_LEN];
  if (optional_text(pc, "+Mask bitmap:", file, FILE_LEN)) c->load_mask(file);
  read_keyed_tooltips(pc, c);
  pc.require_string("$Inventory start");
  read_sections(pc, c, true);
  pc.require_string("$Inventory end");
  return c;
}

UiTextInput* ui_read_inputbox(ParseContext& pc, UiObject* parent) {
  NestGuard guard(pc);
  const Parent p = parent_of(parent);
  char name[NAME_LEN] = {};
  read_name(pc, name);
  const Head hd = read_head(pc, p);
  uint32_t flags = 0;
  if (pc.optional_string("+Ignore esc")) flags |= UI_IF_IGNORE_ESC;
  if (pc.optional_string("+No scroll")) flags |= UI_IF_NO_SCROLL;
  char mask_text[NAME_LEN] = {};
  if (pc.optional_string("+Password")) {
    flags |= UI_IF_PASSWORD;
    optional_text(pc, ":", mask_text);
  }
  UiTextInput* t = new UiTextInput;
  t->create(p.window, hd.x, hd.y, hd.w, hd.h, hd.id, flags, true);
  settle(t, p, name);
  if (mask_text[0]) t->set_password_char(mask_text[0]);
  char text[NAME_LEN];
  if (optional_text(pc, "+Valid chars:", text)) t->set_valid_chars(text);
  if (optional_text(pc, "+Invalid chars:", text)) t->set_invalid_chars(text);
  if (pc.optional_string("+Max text length:")) t->set_max_length(pc.read_int());
  static const char* const States[] = {"Normal", "Disabled"};
  read_state_bitmaps(pc, States, 2, [&](int slot, int handle) {
    (slot == 0 ? t->normal_bitmap : t->disabled_bitmap) = handle;
  });
  if (pc.optional_string("+Margin:")) t->margin = read_coord(pc);
  if (optional_text(pc, "+Text:", text)) t->set_text(text);
  if (pc.optional_string("+Font:")) t->font = pc.read_int();
  if (pc.optional_string("+Text y offset:")) t->vmargin = read_coord(pc);
  static const char* const Vertical[] = {"Top", "Center", "Bottom"};
  if (pc.optional_string("+Vertical justification:")) t->vjust = read_choice(pc, Vertical, 3);
  char file[FILE_LEN];
  if (optional_text(pc, "+Cursor bitmap:", file, FILE_LEN)) t->cursor_bitmap = bm_load(file);
  if (pc.optional_string("+Cursor size:")) read_pair(pc, &t->cursor_w, &t->cursor_h);
  if (pc.optional_string("+Cursor y offset:")) t->cursor_dy = read_coord(pc);
  read_tooltip(pc, t);
  return t;
}

UiListBox* ui_read_listbox(ParseContext& pc, UiObject* parent) {
  NestGuard guard(pc);
  const Parent p = parent_of(parent);
  char name[NAME_LEN] = {};
  read_name(pc, name);
  const Head hd = read_head(pc, p);
  pc.require_string("$Content size:");
  int ch = 0;
  const int cw = read_coord(pc);
  if (pc.optional_string(",")) ch = read_coord(pc);
  static const struct {
    const char* field;
    uint32_t bit;
  } Flags[] = {{"+Allow wrap", UI_LF_WRAP},          {"+Sort entries", UI_LF_SORT},
               {"+No select", UI_LF_NO_SELECT},      {"+Scroll by entry", UI_LF_SCROLL_ENTRY},
               {"+Scroll by pixels", UI_LF_SCROLL_PIXELS}, {"+Align view with bottom", UI_LF_ALIGN_BOTTOM},
               {"+No background", UI_LF_NO_BACKGROUND}, {"+Mouseover highlights", UI_LF_MOUSEOVER},
               {"+Preallocated text", UI_LF_PREALLOCATED}};
  uint32_t flags = 0;
  for (const auto& f : Flags)
    if (pc.optional_string(f.field)) flags |= f.bit;
  const bool horizontal = pc.optional_string("+Add horizontal scrollbar");
  if (horizontal) flags |= UI_LF_HSCROLL;
  if (pc.optional_string("+Add vertical scrollbar")) flags |= UI_LF_VSCROLL;
  // As the game reads it: "both" adds only the vertical bar.
  if (!horizontal && pc.optional_string("+Add both scrollbars")) flags |= UI_LF_VSCROLL;
  UiListBox* l = new UiListBox;
  l->create(p.window, hd.x, hd.y, hd.w, hd.h, cw, ch, hd.id, flags, true);
  settle(l, p, name);
  if (pc.optional_string("+Entry spacing:")) l->spacing = read_coord(pc);
  if (pc.optional_string("+Margin:")) l->margin = read_coord(pc);
  if (pc.optional_string("+Vertical margin:")) l->vmargin = read_coord(pc);
  char file[FILE_LEN];
  if (optional_text(pc, "+Background bitmap:", file, FILE_LEN)) l->background_bitmap = bm_load(file);
  read_tooltip(pc, l);
  if (pc.optional_string("+Horizontal scrollbar")) read_slider_body(pc, l, "");
  if (pc.optional_string("+Vertical scrollbar")) read_slider_body(pc, l, "");
  l->relayout();
  return l;
}

UiSlider* ui_read_slider(ParseContext& pc, UiObject* parent) {
  NestGuard guard(pc);
  char name[NAME_LEN] = {};
  read_name(pc, name);
  return read_slider_body(pc, parent, name);
}

UiStatic* ui_read_static(ParseContext& pc, UiObject* parent) {
  NestGuard guard(pc);
  const Parent p = parent_of(parent);
  char name[NAME_LEN] = {};
  read_name(pc, name);
  const Head hd = read_head(pc, p);
  UiStatic* s = new UiStatic;
  s->create(p.window, hd.x, hd.y, hd.w, hd.h, hd.id, true);
  settle(s, p, name);
  static const char* const Horizontal[] = {"Left", "Center", "Right"};
  static const char* const Vertical[] = {"Top", "Center", "Bottom"};
  if (pc.optional_string("+Horizontal justification:")) s->hjust = read_choice(pc, Horizontal, 3);
  if (pc.optional_string("+Vertical justification:")) s->vjust = read_choice(pc, Vertical, 3);
  if (pc.optional_string("+Font:")) s->font = pc.read_int();
  char text[NAME_LEN];
  if (optional_text(pc, "+Text:", text)) s->set_text(text);
  if (pc.optional_string("+Text x position:")) s->text_x = read_coord(pc);
  if (pc.optional_string("+Text y position:")) s->text_y = read_coord(pc);
  static const char* const States[] = {"Normal", "Disabled"};
  read_state_bitmaps(pc, States, 2, [&](int slot, int handle) { s->set_state_bitmap(slot, handle); });
  read_tooltip(pc, s);
  return s;
}

void ui_load_window(UiWindow* window, ParseContext& pc) {
  Nesting = 0;
  int x, y, w, h;
  pc.require_string("$Position:");
  read_pair(pc, &x, &y);
  pc.require_string("$Size:");
  read_pair(pc, &w, &h);
  char name[NAME_LEN] = {};
  optional_text(pc, "+Name:", name);
  int id = -1;
  if (pc.optional_string("+Id:")) id = pc.read_int();
  uint32_t flags = 1;
  if (pc.optional_string("+Modal dialog")) flags = 0x21;
  if (pc.optional_string("+Modeless dialog")) flags |= UI_WF_MODELESS;
  if (pc.optional_string("+Allow arrows")) flags |= UI_WF_ALLOW_ARROWS;
  if (pc.optional_string("+Allow wrap")) flags |= UI_WF_ALLOW_WRAP;
  if (pc.optional_string("+Always a selection")) flags |= UI_WF_ALWAYS_SELECT;
  window->create(x, y, w, h, id, flags);
  std::snprintf(window->name, sizeof window->name, "%s", name);
  char file[FILE_LEN];
  if (optional_text(pc, "+Background bitmap:", file, FILE_LEN)) window->load_background(file);
  if (optional_text(pc, "+Mask bitmap:", file, FILE_LEN)) {
    window->load_mask(file);
    read_keyed_tooltips(pc, window);
  }
  read_sections(pc, window, false);
  pc.require_string("#End");
}

void ui_load_window(UiWindow* window, const char* filename, int path_type) {
  ParseContext pc;
  if (pc.open(filename, path_type) != 0) std::fprintf(stderr, "unable to open UI table file \"%s\"\n", filename);
  ui_load_window(window, pc);
}
