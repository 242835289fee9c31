#include "levelscripts/text_panel.h"

#include <algorithm>
#include <cstring>

#include "quarn/gr/gr.h"
#include "quarn/gr/gr_font.h"
#include "quarn/os/mouse.h"
#include "quarn/os/timer.h"

const TextPanelColour Tp_speech{95, 197, 88}, Tp_quoted{107, 154, 184}, Tp_copied{150, 80, 80},
    Tp_plain{180, 180, 180}, Tp_hover{255, 255, 158};

DialogueTextPanel Speaker_panel;
ChoicePanel Choice_panel;

namespace {

// One pixel every 7 ms.
constexpr float SCROLL_PX_PER_MS = 0.14285715f;
const char* const Link_text[] = {"more", "end"};

int gr_height() {
  int w = 0, h = 0;
  gr_get_string_size(&w, &h, "X");
  return h;
}
int gr_wrap(const char* text, int width, const char** starts, int* lengths, int max) {
  return gr_split_text(lengths, starts, text, width, max);
}
int gr_width(const char* text, int length) {
  int w = 0, h = 0;
  gr_get_string_size(&w, &h, text, length);
  return w;
}
void gr_draw(int x, int y, const char* text, TextPanelColour c) {
  gr_set_color(c.r, c.g, c.b, 255);
  gr_string(x, y, text);
}
struct Clip {
  int x, y, w, h;
} Saved_clip;
void gr_clip(int x, int y, int w, int h) {
  Saved_clip = {gr_screen.offset_x, gr_screen.offset_y, gr_screen.clip_width, gr_screen.clip_height};
  gr_set_clip(x, y, w, h);
}
void gr_unclip() { gr_set_clip(Saved_clip.x, Saved_clip.y, Saved_clip.w, Saved_clip.h); }
void os_mouse(int* x, int* y) {
  int z = 0;
  mouse_get_pos(x, y, &z);
}
uint32_t os_now() { return timer_get(1000); }

TextPanelFont Font{gr_height, gr_wrap, gr_width, gr_draw, gr_clip, gr_unclip, os_mouse, os_now};

int font_height() { return Font.height ? Font.height() : 10; }

int wrap(const char* text, int width, const char** starts, int* lengths) {
  if (!text || !Font.wrap) return 0;
  return std::clamp(Font.wrap(text, width, starts, lengths, TEXT_PANEL_MAX_LINES), 0, TEXT_PANEL_MAX_LINES);
}

const char* entry_text(const TextPanelEntry& e) {
  if (e.kind == TP_MORE) return Link_text[0];
  if (e.kind == TP_END) return Link_text[1];
  return e.text;
}

// A kind-0 line in segments: text outside double quotes in one colour,
// inside them (quotes included) in the other; `quoted` carries over lines.
void draw_speech_line(const char* line, int y, bool& quoted) {
  int x = 0;
  const char* p = line;
  bool in_quote = quoted || *p == '"';
  bool continues = quoted;
  quoted = false;
  for (int segment = 0; *p && segment < TEXT_PANEL_MAX_SEGMENTS; segment++) {
    const char* end;
    if (in_quote) {
      const char* close = std::strchr(continues ? p : p + 1, '"');
      end = close ? close + 1 : p + std::strlen(p);
      quoted = !close;
    } else {
      const char* open = std::strchr(p, '"');
      end = open ? open : p + std::strlen(p);
      quoted = false;
    }
    // The last segment a line may hold takes the rest of it.
    if (segment == TEXT_PANEL_MAX_SEGMENTS - 1) end = p + std::strlen(p);
    char piece[TEXT_PANEL_LINE_BYTES];
    const size_t n = std::min(static_cast<size_t>(end - p), sizeof piece - 1);
    std::memcpy(piece, p, n);
    piece[n] = '\0';
    if (Font.draw) Font.draw(x, y, piece, in_quote ? Tp_quoted : Tp_speech);
    if (Font.width) x += Font.width(piece, static_cast<int>(n));
    p = end;
    in_quote = !in_quote;
    continues = false;
  }
}

}  // namespace

void text_panel_set_font(const TextPanelFont& font) {
  Font = font;
}

void TextPanel::reset() {
  scroll = 0.0f;
  target = 0;
  total_height = 0;
  head = count = 0;
  clock_set = false;
}

void TextPanel::set_geometry(int px, int py, int w, int lines) {
  x = px;
  y = py;
  width = w;
  visible_lines = lines;
  reset();
}

int TextPanel::view_height() const { return visible_lines * font_height(); }

void TextPanel::relayout() {
  int offset = 0;
  for (int k = 0; k < count; k++) {
    TextPanelEntry& e = entries[entry_slot(k)];
    e.offset = offset;
    offset += e.height;
  }
  total_height = offset;
}

int TextPanel::take_slot() {
  if (count < TEXT_PANEL_ENTRIES) return entry_slot(count++);
  // Full: the oldest goes, and the rest stays where it is on the screen.
  const int slot = head;
  scroll += static_cast<float>(entries[slot].height);
  target += entries[slot].height;
  drop(slot);
  head = (head + 1) % TEXT_PANEL_ENTRIES;
  return slot;
}

void TextPanel::set_entry(int slot, const char* text, int kind, intptr_t tag) {
  TextPanelEntry& e = entries[slot];
  e.text = text;
  e.kind = kind;
  e.width = width;
  e.tag = tag;
  const char* starts[TEXT_PANEL_MAX_LINES];
  int lengths[TEXT_PANEL_MAX_LINES];
  const int lines = text ? wrap(text, width, starts, lengths) : 0;
  e.height = std::max(lines, 1) * font_height();
}

void TextPanel::draw_entry(const TextPanelEntry& e, int scroll_px) {
  const int h = font_height();
  const int top = scroll_px + e.offset;
  if (e.kind == TP_MORE || e.kind == TP_END) {
    int mx = -1, my = -1;
    if (Font.mouse) Font.mouse(&mx, &my);
    const bool hover = link_hovered(e, mx, my);
    if (Font.draw) Font.draw(0, top, entry_text(e), hover ? Tp_hover : Tp_plain);
    return;
  }
  if (!e.text || e.kind < TP_SPEECH || e.kind > TP_CHOICE_HOVER) return;
  const char* starts[TEXT_PANEL_MAX_LINES];
  int lengths[TEXT_PANEL_MAX_LINES];
  const int lines = wrap(e.text, e.width, starts, lengths);
  bool quoted = false;
  for (int i = 0; i < lines; i++) {
    char line[TEXT_PANEL_LINE_BYTES];
    const size_t n = std::min(static_cast<size_t>(std::max(lengths[i], 0)), sizeof line - 1);
    std::memcpy(line, starts[i], n);
    line[n] = '\0';
    const int ly = i * h + top;
    if (e.kind == TP_SPEECH) {
      draw_speech_line(line, ly, quoted);
      continue;
    }
    const TextPanelColour c = e.kind == TP_COPIED ? Tp_copied : e.kind == TP_CHOICE_HOVER ? Tp_hover : Tp_plain;
    if (Font.draw) Font.draw(0, ly, line, c);
  }
}

void TextPanel::draw() {
  if (count == 0) return;
  const uint32_t now = Font.now_ms ? Font.now_ms() : 0;
  if (clock_set && static_cast<float>(target) != scroll) {
    const float step = static_cast<float>(now - scroll_clock) * SCROLL_PX_PER_MS;
    const float goal = static_cast<float>(target);
    scroll = scroll < goal ? std::min(scroll + step, goal) : std::max(scroll - step, goal);
  }
  clock_set = static_cast<float>(target) != scroll;
  scroll_clock = clock_set ? now : 0;
  const int view = view_height();
  if (Font.set_clip) Font.set_clip(x, y, width, view);
  const int px = whole_scroll();
  if (scroll < static_cast<float>(view))
    for (int k = 0; k < count; k++) {
      const TextPanelEntry& e = entries[entry_slot(k)];
      if (e.offset + e.height + scroll >= 0.0f) draw_entry(e, px);
    }
  if (Font.restore_clip) Font.restore_clip();
}

// ---- the speaker panel ----------------------------------------------------------------

void DialogueTextPanel::reset() {
  TextPanel::reset();
  for (auto& s : strings_) s[0] = '\0';
  for (auto& e : entries) e.string_slot = -1;
}

void DialogueTextPanel::drop(int slot) {
  TextPanelEntry& e = entries[slot];
  if (e.string_slot >= 0) strings_[e.string_slot][0] = '\0';
  e.string_slot = -1;
  e.text = nullptr;
}

int DialogueTextPanel::strings_in_use() const {
  int n = 0;
  for (int k = 0; k < count; k++)
    if (entries[entry_slot(k)].string_slot >= 0) n++;
  return n;
}

const TextPanelEntry* DialogueTextPanel::add(const char* text, int kind, bool spacer, intptr_t tag) {
  if (spacer && count > 0) {
    const int s = take_slot();
    set_entry(s, nullptr, kind, 0);
    entries[s].string_slot = -1;
  }
  int string_slot = -1;
  if (kind == TP_COPIED) {
    bool used[TEXT_PANEL_STRING_SLOTS] = {};
    for (int k = 0; k < count; k++)
      if (entries[entry_slot(k)].string_slot >= 0) used[entries[entry_slot(k)].string_slot] = true;
    // A full ring frees its oldest text before the new one looks for a slot.
    if (count == TEXT_PANEL_ENTRIES && entries[head].string_slot >= 0) used[entries[head].string_slot] = false;
    for (int i = 0; i < TEXT_PANEL_STRING_SLOTS && string_slot < 0; i++)
      if (!used[i]) string_slot = i;
    if (string_slot < 0) {
      relayout();
      return nullptr;
    }
  }
  const int slot = take_slot();
  const char* shown = text;
  if (string_slot >= 0) {
    std::strncpy(strings_[string_slot], text ? text : "", TEXT_PANEL_STRING_SIZE);
    strings_[string_slot][TEXT_PANEL_STRING_SIZE] = '\0';
    shown = strings_[string_slot];
  }
  set_entry(slot, shown, kind, kind == TP_SPEECH || kind == TP_PLAIN ? tag : 0);
  entries[slot].string_slot = string_slot;
  relayout();
  return &entries[slot];
}

void DialogueTextPanel::page_down() {
  const int view = view_height();
  int t = whole_scroll() - view;
  t = std::max(t, view - total_height);
  t = std::min(t, 0);
  target = t;
  for (int k = 0; k < count; k++) {
    const TextPanelEntry& e = entries[entry_slot(k)];
    if (e.offset <= -t && -t < e.offset + e.height) {
      if (!e.text && k + 1 < count) target = -entries[entry_slot(k + 1)].offset;
      return;
    }
  }
}

bool DialogueTextPanel::entry_fits(int slot) const {
  const TextPanelEntry& e = entries[slot];
  return whole_scroll() + e.offset + e.height <= view_height();
}

int DialogueTextPanel::first_unscrolled() const {
  for (int k = 0; k < count; k++) {
    const TextPanelEntry& e = entries[entry_slot(k)];
    if (e.text && e.offset + e.height > -whole_scroll()) return k;
  }
  return -1;
}

int DialogueTextPanel::last_started() const {
  int last = -1;
  for (int k = 0; k < count; k++) {
    const TextPanelEntry& e = entries[entry_slot(k)];
    if (e.offset < view_height() - whole_scroll()) last = entry_slot(k);
  }
  return last;
}

const TextPanelEntry* hud_text_post(const char* text, int kind, intptr_t tag) {
  return Speaker_panel.add(text, kind, true, tag);
}

// ---- the choice panel -------------------------------------------------------------------

const TextPanelEntry* ChoicePanel::add(const char* text, int kind, intptr_t record) {
  const int slot = take_slot();
  set_entry(slot, text, kind, record);
  relayout();
  return &entries[slot];
}

bool ChoicePanel::entry_visible(int slot) const {
  const TextPanelEntry& e = entries[slot];
  const int bottom = whole_scroll() + e.offset + e.height;
  return bottom >= 1 && bottom <= view_height();
}

int ChoicePanel::entry_top(int slot) const { return whole_scroll() + entries[slot].offset; }

bool TextPanel::link_hovered(const TextPanelEntry& e, int mx, int my) const {
  const char* text = entry_text(e);
  const int w = Font.width ? Font.width(text, static_cast<int>(std::strlen(text))) : 0;
  const int left = x, top = y + whole_scroll() + e.offset;
  return mx >= left && mx < left + w && my >= top && my < top + font_height();
}
