#pragma once
// The UI toolkit: windows of gadgets drawn over the game's view. Every
// element is a UiObject; gadgets report what happens to them as numbered
// events (UI_EVENT_*) that climb from the gadget through its owners to its
// window, where the program's callback answers them (low byte nonzero:
// handled, the climb stops). The frame is ui_process once per game frame
// with the frame's key, then ui_render. Windows and gadgets created by the
// table reader (ui_table.h) are owned by their window and deleted with it.
#include <cstdint>
#include <vector>

#include "quarn/gr/gr.h"
#include "quarn/os/timer.h"

// Event codes.
constexpr int UI_EVENT_DRAW_BEGIN = 0;
constexpr int UI_EVENT_DRAW_END = 1;
constexpr int UI_EVENT_DRAWN = 2;
constexpr int UI_EVENT_FOCUS_GAINED = 3;
constexpr int UI_EVENT_FOCUS_LOST = 4;
constexpr int UI_EVENT_MOUSE_LEFT = 5;
constexpr int UI_EVENT_SELECTED = 7;
constexpr int UI_EVENT_UNSELECTED = 8;
constexpr int UI_EVENT_HIDDEN = 9;
constexpr int UI_EVENT_SHOWN = 10;
constexpr int UI_EVENT_CLICK = 12;
constexpr int UI_EVENT_RIGHT_CLICK = 13;
constexpr int UI_EVENT_DOUBLE_CLICK = 14;
constexpr int UI_EVENT_RIGHT_DOUBLE_CLICK = 15;
constexpr int UI_EVENT_DRAG_ENDED = 16;
constexpr int UI_EVENT_DROPPED = 17;
constexpr int UI_EVENT_STATIC_CLICK = 18;
constexpr int UI_EVENT_TOGGLED = 19;
constexpr int UI_EVENT_KEY = 20;
constexpr int UI_EVENT_TEXT_CHANGED = 21;
constexpr int UI_EVENT_TEXT_FULL = 22;
constexpr int UI_EVENT_SELECTION_CHANGED = 24;
constexpr int UI_EVENT_ENTRY_CHOSEN = 25;

// In event calls: the sender's own id; the id of a window's drawing events.
constexpr int UI_ID_SELF = -99999;
constexpr int UI_ID_WINDOW_DRAW = -99998;

// Gadget types.
constexpr int UI_TYPE_CONTAINER = 1;
constexpr int UI_TYPE_BUTTON = 2;
constexpr int UI_TYPE_STATIC = 3;
constexpr int UI_TYPE_CHECKBOX = 4;
constexpr int UI_TYPE_RADIO = 5;
constexpr int UI_TYPE_INPUT = 6;
constexpr int UI_TYPE_SLIDER = 7;
constexpr int UI_TYPE_LISTBOX = 8;

// Window flags.
constexpr uint32_t UI_WF_FRAME_MASK = 0x3;
constexpr uint32_t UI_WF_ALLOW_ARROWS = 0x4;
constexpr uint32_t UI_WF_ALLOW_WRAP = 0x8;
constexpr uint32_t UI_WF_ALWAYS_SELECT = 0x10;
constexpr uint32_t UI_WF_MODAL = 0x20;
constexpr uint32_t UI_WF_MODELESS = 0x40;
constexpr uint32_t UI_WF_CLOSE_PENDING = 0x80000000u;

// Button flags.
constexpr uint32_t UI_BF_FACE_ONLY = 0x1;
constexpr uint32_t UI_BF_REPEATS = 0x2;
constexpr uint32_t UI_BF_FLAT = 0x4;
constexpr uint32_t UI_BF_ALWAYS_FACE = 0x8;
constexpr uint32_t UI_BF_DRAG_DROP = 0x10;
constexpr uint32_t UI_BF_LATCHED = 0x20;
constexpr uint32_t UI_BF_ARROW_UP = 0x40;
constexpr uint32_t UI_BF_ARROW_DOWN = 0x80;
constexpr uint32_t UI_BF_ARROW_LEFT = 0x100;
constexpr uint32_t UI_BF_ARROW_RIGHT = 0x200;
constexpr uint32_t UI_BF_RIGHT_BUTTON = 0x400;

// Text input flags.
constexpr uint32_t UI_IF_PASSWORD = 0x1;
constexpr uint32_t UI_IF_IGNORE_ESC = 0x2;
constexpr uint32_t UI_IF_NO_SCROLL = 0x4;
// The text array holds this many characters and its terminator.
constexpr int UI_TEXT_CAPACITY = 256;

// Slider flags.
constexpr uint32_t UI_SF_ARROWS = 0x1;
constexpr uint32_t UI_SF_DOT = 0x4;
constexpr uint32_t UI_SF_NO_PROCESS = 0x8;

// List flags.
constexpr uint32_t UI_LF_WRAP = 0x1;
constexpr uint32_t UI_LF_VSCROLL = 0x2;
constexpr uint32_t UI_LF_HSCROLL = 0x4;
constexpr uint32_t UI_LF_NO_SELECT = 0x8;
constexpr uint32_t UI_LF_SCROLL_ENTRY = 0x10;
constexpr uint32_t UI_LF_SCROLL_PIXELS = 0x20;
constexpr uint32_t UI_LF_SORT = 0x40;
constexpr uint32_t UI_LF_ALIGN_BOTTOM = 0x80;
constexpr uint32_t UI_LF_NO_BACKGROUND = 0x100;
constexpr uint32_t UI_LF_MOUSEOVER = 0x200;
constexpr uint32_t UI_LF_PREALLOCATED = 0x400;

// Lines of one list entry's layout, and characters of one drawn line.
#define UI_MAX_WRAP_LINES 20
#define UI_LINE_BUFFER 512
// The type-ahead prefix of list boxes and how long it lasts (ms).
#define UI_PREFIX_LEN 32
#define UI_PREFIX_MS 1500
#define UI_TOOLTIP_DELAY_MS 1000
#define UI_NUM_SOUNDS 8

// ---- colour schemes ----------------------------------------------------------
struct UiSchemes {
  Color window[4];       // light, dark, face, middle ring
  Color button[3][5];    // normal, highlighted, disabled: light, dark, face, text, shadow
  Color stat[2][3];      // normal, disabled: face, text, shadow
  Color check[4][4];     // normal, highlighted, pressed, disabled: box, mark, text, shadow
  Color tooltip[3];      // box, text, shadow
  Color container[4];    // light, dark, label text, label shadow
  Color listbox[8];      // light, dark, face, disabled light, dark, face, disabled text, shadow
  Color entries[6];      // plain, selected, highlighted: text, shadow
  Color input[2][6];     // normal, disabled: light, dark, face, text, shadow, cursor
  Color slider[5];       // light, dark, face, track before, track after
};
extern UiSchemes Ui_schemes;

class UiObject;
class UiWindow;
class UiGadget;

using UiCallback = int (*)(int code, int id);

struct UiTooltip {
  UiObject* owner = nullptr;
  char text[64] = {};
  int spare = -1;
  const Color* colors = nullptr;
  int dx = 0, dy = 0;
  int key = -1;  // the mask value it belongs to; -1 for a plain gadget's
};

// ---- objects -------------------------------------------------------------------
class UiObject {
 public:
  UiObject() = default;
  virtual ~UiObject();
  UiObject(const UiObject&) = delete;
  UiObject& operator=(const UiObject&) = delete;

  virtual void destroy();
  virtual int handle_event(int code, int id);
  virtual void set_hidden(bool hide);
  virtual void set_visible(bool visible) { set_hidden(!visible); }
  virtual bool is_hidden();
  virtual bool is_disabled() { return disabled != 0; }

  void create(int kind, int x, int y, int w, int h, int id);
  int get_kind() const { return kind; }
  void set_position(int nx, int ny) { x = nx, y = ny; }
  void get_position(int* px, int* py) const { *px = x, *py = y; }
  void set_size(int w, int h) { width = w, height = h; }
  void get_size(int* w, int* h) const { *w = width, *h = height; }
  void set_disabled(bool d);
  void set_enabled(bool e) { set_disabled(!e); }
  bool is_enabled() { return !is_disabled(); }
  // Replaces the single tooltip record (windows and containers add keyed ones).
  void set_tooltip(const char* text, int dx, int dy, int n = -1);
  void add_tooltip(const char* text, int key, int dx, int dy, int n = -1);
  const UiTooltip* find_tooltip(int key) const;

  int created = 0;
  int kind = 0;  // 0 gadget, 1 window
  int x = 0, y = 0, width = 0, height = 0;
  uint8_t disabled = 0, hidden = 0;
  // A gadget's first child and its link back along its sibling chain (the
  // head's points at the oldest sibling); unused by windows. Kept beside the
  // rectangle, so hit testing reads one cache line a gadget.
  UiGadget* first_child = nullptr;
  UiGadget* prev_sibling = nullptr;
  char name[258] = {};
  int id = 0;
  std::vector<UiTooltip> tooltips;
  UiCallback callback = nullptr;
};

class UiWindow : public UiObject {
 public:
  UiWindow() = default;
  ~UiWindow() override;

  void destroy() override { close(); }
  int handle_event(int code, int id) override;
  bool is_hidden() override;
  bool is_disabled() override;

  void create(int x, int y, int w, int h, int id, uint32_t flags);
  void close();
  void resize(int w, int h) { set_size(w, h); }
  UiGadget* find_gadget(int id);
  UiGadget* find_gadget_by_name(const char* name);
  void load_background(const char* file);
  void load_mask(const char* file);
  int mask_at(int sx, int sy);
  bool contains(int sx, int sy);
  // The gadget under a screen point, none when no gadget is hit.
  UiGadget* gadget_at(int sx, int sy);
  // Arrow-key navigation; returns the key left (0 when it was an arrow).
  int navigate(int key);
  int process(int key);
  void draw();

  uint32_t flags = 0;
  int layer = 0;
  UiGadget* first_gadget = nullptr;  // creation order
  UiGadget* last_gadget = nullptr;
  UiGadget* top_gadgets = nullptr;   // gadgets without owner, newest first
  UiGadget* hover = nullptr;
  UiGadget* selection = nullptr;
  int mask_bitmap = -1, background_bitmap = -1;
  std::vector<uint8_t> mask_pixels;  // empty: no mask pixels
  uint8_t refresh = 0;
  const Color* colors = nullptr;
  UiWindow* next_window = nullptr;
  UiWindow* prev_window = nullptr;
  bool linked = false;
  // top_gadgets oldest first, as hit testing visits them: reading the
  // gadgets through an array lets their loads overlap, where following the
  // chain waits on each link. Made again whenever a sibling chain changed.
  std::vector<UiGadget*> top_order;
  uint32_t top_order_serial = 0;
};

class UiGadget : public UiObject {
 public:
  UiGadget() = default;
  ~UiGadget() override;

  void destroy() override;
  int handle_event(int code, int id) override;
  void set_hidden(bool hide) override;
  void set_visible(bool visible) override { set_hidden(!visible); }
  bool is_hidden() override;
  bool is_disabled() override;
  virtual int process(int key);
  virtual int hit_test(int sx, int sy);
  virtual void draw();
  virtual bool can_take_focus() { return false; }

  void create(UiWindow* window, int type, int x, int y, int w, int h, int id, bool owned);
  void set_owner(UiGadget* owner);
  UiWindow* get_window() const { return window; }
  UiGadget* get_owner() const { return owner; }
  UiGadget* get_first_child() const { return first_child; }
  UiGadget* get_next_sibling() const { return next_sibling; }
  int get_type() const { return type; }
  bool is_owned() const { return owned != 0; }
  int screen_x(int dx = 0) const;
  int screen_y(int dy = 0) const;
  void set_hotkey(int key, int slot);
  bool has_hotkey(int key) const;
  void set_hotspot(int v) { hotspot = v < 1 ? 0 : v; }
  void clear_hotspot() { hotspot = 0; }
  int get_hotspot() const { return hotspot; }
  void set_focus();
  void drop_focus();
  bool is_hover() const;
  bool is_selected() const;
  bool has_focus() const;
  // Whether the screen point lies in the gadget's rectangle.
  bool mouse_inside(int sx, int sy) const;
  // The gadget (this or a descendant) hit at a screen point.
  UiGadget* find_at(int sx, int sy);
  // The same below a screen origin (of the owner, or of the window).
  UiGadget* find_at_from(int sx, int sy, int ox, int oy);
  // The oldest of a sibling chain and its descendants hit at a point.
  static UiGadget* find_oldest_at(UiGadget* head, int sx, int sy, int ox, int oy);
  // Puts a gadget at the head (the newest end) of a sibling chain.
  static void push_sibling(UiGadget** head, UiGadget* g);
  // Counts every change of any sibling chain.
  static uint32_t Sibling_serial;
  // Draws the children, then sends event 2 (the end of every draw).
  void draw_children_and_report();
  void unlink_from_window();

  uint8_t owned = 0;
  int hotkeys[2] = {-1, -1};
  int type = 0;
  int hotspot = 0;
  UiWindow* window = nullptr;
  UiGadget* list_prev = nullptr;
  UiGadget* list_next = nullptr;
  UiGadget* owner = nullptr;
  UiGadget* next_sibling = nullptr;
};

// ---- buttons and statics --------------------------------------------------------
class UiButton : public UiGadget {
 public:
  enum State { IDLE, PRESSED_KEY, HELD_LEFT, HELD_RIGHT, DRAGGING, DROP_TARGET, FIRED_LEFT, FIRED_RIGHT,
               DOUBLE_LEFT, DOUBLE_RIGHT };
  enum Slot { NORMAL, HIGHLIGHTED, PRESSED, DISABLED, DRAG, NUM_SLOTS };

  void destroy() override;
  int process(int key) override;
  void draw() override;
  bool can_take_focus() override;

  void create(UiWindow* window, int x, int y, int w, int h, int id, uint32_t flags, bool owned);
  void create_in(UiGadget* owner, int x, int y, int w, int h, int id, uint32_t flags, bool owned);
  void set_text(const char* text);
  const char* get_text() const { return caption; }
  uint32_t get_flags() const { return flags; }
  void set_font(int f) { font = f; }
  void set_latched(bool on);
  void toggle_latched() { set_latched(!(flags & UI_BF_LATCHED)); }
  bool is_latched();
  void set_repeats(bool on);
  void press();
  void set_state_bitmap(int slot, int bitmap);
  void get_drag_offset(int* dx, int* dy) const;
  bool is_pressed_look();
  bool is_clicked();
  bool is_double_clicked();
  bool is_left_clicked() { return state == FIRED_LEFT; }
  bool can_accept_drop();
  // Draws the face at a screen point (the dragged copy uses it too).
  void draw_face_at(int sx, int sy, const Color* set, bool sunken, int slot);

  uint32_t flags = 0;
  int state = IDLE;
  char caption[UI_TEXT_CAPACITY] = {};
  RealTimestamp repeat_timer, press_timer;
  int grab_x = 0, grab_y = 0;
  int font = -1;
  const Color* colors = nullptr;  // Ui_schemes.button
  int bitmaps[NUM_SLOTS] = {-1, -1, -1, -1, -1};
  // Drag and drop: what it carries and takes, how many, how many per drop.
  uint32_t drag_types = 0, accept_types = 0;
  int count = 0, max_count = 0, amount = 1;
  uint8_t drag_value = 255;
  UiButton* drop_target = this;
};

class UiStatic : public UiGadget {
 public:
  void destroy() override;
  int process(int key) override;
  void draw() override;

  void create(UiWindow* window, int x, int y, int w, int h, int id, bool owned);
  void set_text(const char* t);
  const char* get_text() const { return text; }
  void set_area_size(int w, int h) { area_w = w, area_h = h; }
  void set_source_offset(int sx, int sy);
  void set_state_bitmap(int slot, int bitmap) { if (slot == 0 || slot == 1) bitmaps[slot] = bitmap; }

  char text[UI_TEXT_CAPACITY] = {};
  int area_w = 0, area_h = 0, src_x = 0, src_y = 0;
  int font = -1;
  const Color* colors = nullptr;  // Ui_schemes.stat
  int bitmaps[2] = {-1, -1};
  int hjust = 0, vjust = 1;
  int text_x = -1, text_y = -1;
};

// ---- check boxes, radio buttons, text input ---------------------------------------
class UiCheckbox : public UiGadget {
 public:
  enum Slot { UNCHECKED, CHECKED, PRESSED, DISABLED };
  int process(int key) override;
  void draw() override;
  bool can_take_focus() override { return !is_disabled() && !is_hidden(); }

  void create(UiWindow* window, int x, int y, int box_w, int box_h, const char* label, int label_dx,
              int label_dy, int font, bool checked, int id, bool owned);
  void toggle() { checked = !checked; }
  void set_checked(bool c) { checked = c; }
  bool is_checked() const { return checked != 0; }
  void set_state_bitmap(int slot, int bitmap) { if (slot >= 0 && slot < 4) bitmaps[slot] = bitmap; }

  uint8_t checked = 0;
  int box_w = 0, box_h = 0;
  char label[UI_TEXT_CAPACITY] = {};
  int font = -1;
  int label_dx = 0, label_dy = 0;
  const Color* colors = nullptr;  // Ui_schemes.check
  int draw_state = 0;
  int bitmaps[4] = {-1, -1, -1, -1};

 protected:
  void size_to_label();
  // The shared mouse and key handling; `select_only` is the radio group rule.
  int run(int key, bool radio);
};

class UiRadioButton : public UiCheckbox {
 public:
  int process(int key) override { return run(key, true); }
  void create(UiGadget* container, int x, int y, int box_w, int box_h, const char* label, int label_dx,
              int label_dy, int font, int id, bool owned);
  // Checks this one and unchecks the other radio buttons of its container.
  void choose();
};

using UiTextFilter = bool (*)(const char* text, int c);

class UiTextInput : public UiGadget {
 public:
  int process(int key) override;
  void draw() override;
  bool can_take_focus() override { return !is_disabled() && !is_hidden(); }

  void create(UiWindow* window, int x, int y, int w, int h, int id, uint32_t input_flags, bool owned);
  void set_text(const char* t);
  const char* get_text() const { return text; }
  bool set_valid_chars(const char* ranges);
  bool set_invalid_chars(const char* ranges);
  // Limited to what the text array holds.
  void set_max_length(int n);
  void set_password_char(char c) { password_char = c; }
  void set_filter(UiTextFilter f) { filter = f; }
  // Whether c may be typed (the lists and the filter).
  bool accepts(int c) const;

  uint32_t input_flags = 0;
  char text[UI_TEXT_CAPACITY] = {};
  char valid[UI_TEXT_CAPACITY] = {};
  char invalid[UI_TEXT_CAPACITY] = {};
  int font = -1;
  const Color* colors = nullptr;  // Ui_schemes.input
  int max_length = 80;
  char password_char = '*';
  int vjust = 1;
  int margin = 2, vmargin = 0;
  int cursor_dy = 1, cursor_w = 2, cursor_h = 0;
  int cursor_bitmap = -1, normal_bitmap = -1, disabled_bitmap = -1;
  UiTextFilter filter = nullptr;
};

// Expands character ranges ("a-z0-9_") into their characters; false
// when it cannot be read that way.
bool ui_expand_chars(const char* ranges, char* out, int size);

// ---- sliders and scrollbars -----------------------------------------------------
class UiSlider : public UiGadget {
 public:
  int process(int key) override;
  void draw() override;

  void create(UiWindow* window, int x, int y, int w, int h, bool horizontal, int marker_size, int positions,
              int id, uint32_t slider_flags, bool owned);
  int get_position() const { return position; }
  void set_position(int n) { position = n; }
  int get_positions() const { return positions; }
  virtual void set_positions(int n) { positions = n; }
  void set_marker_size(int n) { marker_size = n; }
  void set_page_step(int n) { page_step = n; }
  // Track length along the slider (the arrow buttons' room taken off).
  int track_length() const;
  int track_start() const;  // offset of the track from the slider's origin
  // Marker offset along the track for the current position.
  int marker_offset() const;

  RealTimestamp repeat_timer;
  int drag_state = 0;
  int drag_start_coord = 0, drag_start_pos = 0;
  int view_size = 0;
  int positions = 1;
  int position = 0;
  int marker_size = 0;
  int page_step = 1;
  uint8_t horizontal = 0;
  uint32_t slider_flags = 0;
  const Color* colors = nullptr;  // Ui_schemes.slider
  UiButton* arrows[2] = {nullptr, nullptr};
};

class UiListBox;
class UiScrollbar : public UiSlider {
 public:
  void attach(UiListBox* list, bool horizontal, int thickness, int id, uint32_t slider_flags, bool owned);
  void set_positions(int n) override;
  void set_view_size(int n);
  void set_content_size(int n);
  int get_content_size() const;
  void update_marker();
};

// ---- containers and list boxes -------------------------------------------------
class UiContainer : public UiGadget {
 public:
  void destroy() override;
  int process(int key) override;
  int hit_test(int sx, int sy) override;
  void draw() override;

  void create(UiWindow* window, int x, int y, int w, int h, int id, uint32_t container_flags, bool owned);
  void set_label(const char* text);
  void load_mask(const char* file);
  // Takes the mask from pixel bytes (mask_w by mask_h, row by row).
  void set_mask_pixels(const uint8_t* pixels, int mask_w, int mask_h);

  char label[UI_TEXT_CAPACITY] = {};
  uint32_t container_flags = 0;
  int mask_bitmap = -1;
  std::vector<uint8_t> mask;  // empty: none
  int mask_w = 0, mask_h = 0;
  int font = -1;
  const Color* colors = nullptr;  // Ui_schemes.container
};

struct UiListEntry {
  virtual ~UiListEntry() = default;
  virtual void set_text(const char* t) { text = t; changed = true; }

  bool changed = true;
  UiListEntry* next = nullptr;
  UiListEntry* prev = nullptr;
  int y = 0, width = 0, height = 0;
  int first_indent = 0, wrap_indent = 0, line_spacing = 0;
  int font = -1;
  int lines = 0;
  const char* text = "";
  int value = -1;
  const Color* colors = nullptr;  // Ui_schemes.entries
};

struct UiListTextEntry : UiListEntry {
  void set_text(const char* t) override;
  char storage[UI_TEXT_CAPACITY] = {};
};

// Gives the wrap width of one line (0: keep the usual one).
using UiLayoutFn = int (*)(UiListBox* list, UiListEntry* entry, int line_top, int pitch);

class UiListBox : public UiGadget {
 public:
  ~UiListBox() override;
  void destroy() override;
  int process(int key) override;
  void draw() override;

  void create(UiWindow* window, int x, int y, int w, int h, int content_w, int content_h, int id,
              uint32_t list_flags, bool owned);
  UiListEntry* add_entry(const char* text, int font = -1, int first_indent = 0, int wrap_indent = 0,
                         int line_spacing = 0);
  void clear();
  bool remove_entry(const char* text);
  void set_view_fraction_x(float f);
  void set_view_fraction_y(float f);
  UiListEntry* get_selection() const { return selection; }
  void set_selection(UiListEntry* e, bool scroll);
  void clear_selection() { selection = nullptr; }
  bool select_by_text(const char* text, bool scroll);
  bool select_by_value(int value, bool scroll);
  int entry_count() const;
  UiListEntry* first_entry() const { return first; }

  int view_width() const { return width - 2 * margin; }
  int view_height() const { return height - 2 * vmargin; }
  void set_view_y(int v);
  void set_view_x(int v);
  void scroll_up();
  void scroll_down();
  void scroll_into_view(UiListEntry* e);
  // Lays out every changed entry, then positions and scrollbars.
  void layout_changed();
  void relayout();
  // Breaks an entry into the shared line table; returns its line count.
  int layout_entry(UiListEntry* e, int top);
  UiListEntry* entry_at_content_y(int cy) const;

  uint32_t list_flags = 0;
  char prefix[UI_PREFIX_LEN + 1] = {};
  int prefix_len = 0;
  RealTimestamp prefix_timer;
  int content_w = 0, content_h = 0;
  int widest = 0, total_height = 0;
  uint8_t clicked = 0;
  UiListEntry* selection = nullptr;
  int background_bitmap = -1;
  int margin = 2, vmargin = 2;
  int view_x = 0, view_y = 0;
  int spacing = 2;
  int hstep = 10;
  UiListEntry* first = nullptr;
  UiListEntry* last = nullptr;
  UiScrollbar* vscroll = nullptr;
  UiScrollbar* hscroll = nullptr;
  const Color* colors = nullptr;  // Ui_schemes.listbox
  UiLayoutFn layout_fn = nullptr;

 private:
  void delete_entries();
  void insert(UiListEntry* e);
  void unlink_entry(UiListEntry* e);
  // Every line top (or entry top) of the content, in order.
  std::vector<int> stops(bool bottoms) const;
  int snap_view_y(int v) const;
};

// The shared line table of list entry layout.
struct UiWrapLine {
  const char* start;
  int length;
};
extern UiWrapLine Ui_wrap_lines[UI_MAX_WRAP_LINES];

// ---- the frame -----------------------------------------------------------------
// The mouse as the toolkit sees it for one frame. By default it is read from
// the mouse module; tests install a source of their own.
struct UiMouseInput {
  int x = 0, y = 0, wheel = 0;
  bool moved = false;
  bool left_down = false, right_down = false;
  bool left_pressed = false, left_released = false;
  bool right_pressed = false, right_released = false;
  bool left_double = false, right_double = false;
};
using UiMouseSource = void (*)(UiMouseInput* out);
void ui_set_mouse_source(UiMouseSource source);  // null: the mouse module
// What the toolkit asks of the mouse module when flush is 1 (tests replace it).
void ui_set_mouse_discard(void (*discard)());

// The frame's mouse bytes and the rest of the toolkit's state.
struct UiFrameMouse {
  int x = 0, y = 0, prev_x = 0, prev_y = 0, wheel = 0;
  bool moved = false, left_down = false, right_down = false;
  uint8_t left_click = 0, left_release = 0, right_click = 0, right_release = 0, left_double = 0,
          right_double = 0;
  bool left_armed = true, right_armed = true;
  UiGadget* last_clicked = nullptr;
};
extern UiFrameMouse Ui_mouse;

void ui_init();
int ui_process(int key, int flush);
// The shell's name for ui_process.
inline int ui_process_key(int key, int flush) { return ui_process(key, flush); }
void ui_render(void (*overlay)() = nullptr);
// Around the drawing of the screens while a modal screen is open: begin
// readies the screen for flat drawing over the 3D view (depth test off, the
// whole screen as clip), end puts the depth test back. Both do nothing while
// Ui_page_enabled is clear.
extern bool Ui_page_enabled;
void ui_page_begin();
void ui_page_end();

UiGadget* ui_get_focus();
UiWindow* ui_first_window();  // bottom
UiWindow* ui_last_window();   // top
UiGadget* ui_find_gadget(const char* name);
UiWindow* ui_get_modal_window();
void ui_close_all();
void ui_push_layer();
void ui_pop_layer();
int ui_get_layer();
// Tooltip state: the owner and whether its tooltip shows now.
UiObject* ui_tooltip_owner();
bool ui_tooltip_shown();
UiButton* ui_drag_source();

// UI sounds: handles -1 (none) until the program assigns them.
extern int Ui_sounds[UI_NUM_SOUNDS];
using UiSoundPlayer = void (*)(int handle, float volume);
void ui_set_sound_player(UiSoundPlayer player);
void ui_play_sound(int n);

// Drawing primitives (screen coordinates).
void ui_draw_bevel(int x, int y, int w, int h, const Color& light, const Color& dark, int thickness, int inset);
void ui_draw_raised_box(int x, int y, int w, int h, const Color* scheme, int thickness);
void ui_draw_sunken_box(int x, int y, int w, int h, const Color* scheme, int thickness);
void ui_fill(int x, int y, int w, int h, const Color& c);
// Text with its shadow 1 pixel right and down when the shadow is not clear.
void ui_draw_text(int x, int y, const char* text, int font, const Color& color, const Color& shadow);
void ui_text_size(const char* text, int font, int* w, int* h, int length = -1);
int ui_font_height(int font);
