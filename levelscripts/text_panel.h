#pragma once
// Text panels: scrolling, clipped columns of wrapped text at a fixed place
// on the screen, each a ring of 64 entries that drops its oldest entry when
// full. The speaker panel collects what conversations, scripts and rewards
// say (hud_text_post); the choice panel lists a conversation's choices and
// its "more" and "end" links. The conversation text box places and draws
// both. Text goes through a font service so that the panels run headless.
#include <cstdint>

constexpr int TEXT_PANEL_ENTRIES = 64;
constexpr int TEXT_PANEL_STRING_SLOTS = 32;
constexpr int TEXT_PANEL_STRING_SIZE = 128;
constexpr int TEXT_PANEL_MAX_LINES = 16;
constexpr int TEXT_PANEL_LINE_BYTES = 100;
constexpr int TEXT_PANEL_MAX_SEGMENTS = 32;

enum TextPanelKind {
  TP_SPEECH = 0,  // quoted speech in two colours
  TP_COPIED = 1,  // the panel's own copy
  TP_PLAIN = 2,
  TP_CHOICE = 3,
  TP_CHOICE_HOVER = 4,
  TP_MORE = 5,
  TP_END = 6
};

struct TextPanelColour {
  uint8_t r, g, b;
};
extern const TextPanelColour Tp_speech, Tp_quoted, Tp_copied, Tp_plain, Tp_hover;

struct TextPanelFont {
  int (*height)() = nullptr;
  // Lines of `text` no wider than `width`, at most `max`; their starts and
  // lengths.
  int (*wrap)(const char* text, int width, const char** starts, int* lengths, int max) = nullptr;
  int (*width)(const char* text, int length) = nullptr;
  // Relative to the clip rectangle set last.
  void (*draw)(int x, int y, const char* text, TextPanelColour colour) = nullptr;
  void (*set_clip)(int x, int y, int w, int h) = nullptr;
  void (*restore_clip)() = nullptr;
  void (*mouse)(int* x, int* y) = nullptr;
  uint32_t (*now_ms)() = nullptr;
};
void text_panel_set_font(const TextPanelFont& font);

struct TextPanelEntry {
  int offset = 0, width = 0, height = 0, kind = 0;
  const char* text = nullptr;  // null: a spacer (speaker), a link (choices)
  intptr_t tag = 0;            // speaker: the caller's tag; choices: the topic record
  int string_slot = -1;        // a kind-1 entry's copy
};

class TextPanel {
 public:
  virtual ~TextPanel() = default;
  virtual void reset();
  void draw();
  void relayout();
  void set_geometry(int x, int y, int width, int visible_lines);

  int entry_slot(int position) const { return (head + position) % TEXT_PANEL_ENTRIES; }
  const TextPanelEntry& at_slot(int slot) const { return entries[slot]; }
  int view_height() const;
  int whole_scroll() const { return static_cast<int>(scroll); }
  bool scrolling() const { return static_cast<float>(target) != scroll; }
  // A "more" or "end" link's own rectangle (its text on its line) holds the
  // screen point.
  bool link_hovered(const TextPanelEntry& e, int mouse_x, int mouse_y) const;

  int x = 0, y = 0;
  float scroll = 0.0f;
  int target = 0;
  int width = 0;
  int total_height = 0;
  int visible_lines = 0;
  int head = 0, count = 0;
  uint32_t scroll_clock = 0;
  bool clock_set = false;
  TextPanelEntry entries[TEXT_PANEL_ENTRIES];

 protected:
  // The slot for a new entry (dropping the oldest when full).
  int take_slot();
  void set_entry(int slot, const char* text, int kind, intptr_t tag);
  virtual void drop(int slot) {}
  void draw_entry(const TextPanelEntry& e, int scroll_px);
};

class DialogueTextPanel : public TextPanel {
 public:
  void reset() override;
  // See hud_text_post; null when a kind-1 text finds no free string slot.
  const TextPanelEntry* add(const char* text, int kind, bool spacer, intptr_t tag);
  void page_down();
  bool entry_fits(int slot) const;
  int first_unscrolled() const;
  int last_started() const;
  int strings_in_use() const;

 protected:
  void drop(int slot) override;

 private:
  char strings_[TEXT_PANEL_STRING_SLOTS][TEXT_PANEL_STRING_SIZE + 1] = {};
};

class ChoicePanel : public TextPanel {
 public:
  const TextPanelEntry* add(const char* text, int kind, intptr_t record);
  void clear() { TextPanel::reset(); }
  bool entry_visible(int slot) const;
  int entry_top(int slot) const;
};

extern DialogueTextPanel Speaker_panel;
extern ChoicePanel Choice_panel;

// Posts a line to the speaker panel with a spacer before it (none in an
// empty panel). Scripts and rewards post kind 1 with tag 0.
const TextPanelEntry* hud_text_post(const char* text, int kind, intptr_t tag);
