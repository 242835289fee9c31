#include "Orrimund/screens/slot_view.h"

#include <algorithm>
#include <string>

#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "Orrimund/screens/screen_ui.h"
#include "Orrimund/screens/screens.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr_font.h"

namespace {
// A steady colour of its own for each item, so that a changed item shows.
Color item_colour(const Item_info* info) {
  uint32_t h = 2166136261u;
  for (const char* p = info->name ? info->name : ""; *p; p++) h = (h ^ static_cast<uint8_t>(*p)) * 16777619u;
  return Color(110 + (h & 0x7f), 110 + ((h >> 8) & 0x7f), 110 + ((h >> 16) & 0x7f), 255);
}

void label(const std::string& text, int x, int y, int w, int h, const Color& c) {
  const int max_lines = 4;
  int lengths[max_lines];
  const char* starts[max_lines];
  const int n = gr_split_text(lengths, starts, text.c_str(), std::max(8, w - 4), max_lines);
  const int fh = gr_font_select(-1);
  int ly = y + (h - n * fh) / 2;
  gr_set_color_rec(c);
  for (int i = 0; i < n; i++, ly += fh) {
    const std::string line(starts[i], static_cast<size_t>(lengths[i]));
    int tw = 0, th = 0;
    gr_get_string_size(&tw, &th, line.c_str());
    gr_string(x + (w - tw) / 2, ly, line.c_str());
  }
}
}  // namespace

void slot_view_draw(const Item_info* info, int x, int y, int w, int h) {
  if (!info) return;
  const Color c = item_colour(info);
  ui_fill_rect(x + 3, y + 3, w - 6, h - 6, Color(c.red / 4, c.green / 4, c.blue / 4, 220));
  ui_fill_rect(x + 3, y + 3, w - 6, 3, c);
  label(item_display_name(info), x + 3, y + 6, w - 6, h - 9, Ui_white);
}

void slot_view_draw_figure(const living_entity* e, int x, int y, int w, int h) {
  if (!e) return;
  const Color skin(210, 180, 150, 255), cloth(90, 90, 120, 255);
  const int cx = x + w / 2;
  const int head = std::max(6, h / 10);
  // Head, body, legs; the arms reach out to the hands.
  ui_fill_rect(cx - head / 2, y, head, head, skin);
  ui_fill_rect(cx - w / 6, y + head + 2, w / 3, h * 4 / 10, cloth);
  ui_fill_rect(cx - w / 6, y + head + 2 + h * 4 / 10, w / 8, h * 4 / 10, cloth);
  ui_fill_rect(cx + w / 6 - w / 8, y + head + 2 + h * 4 / 10, w / 8, h * 4 / 10, cloth);
  const int arm_y = y + head + 6;
  ui_fill_rect(x + w / 8, arm_y, cx - w / 6 - x - w / 8, h / 20, skin);
  ui_fill_rect(cx + w / 6, arm_y, x + w - w / 8 - cx - w / 6, h / 20, skin);
  // The weapon in the right hand (the figure faces the player), the shield
  // on the left arm.
  const int hand_l = x + w / 8 + w / 20, hand_r = x + w - w / 8 - w / 20;
  if (const item_instance* wpn = e->equipment[EQ_WEAPON]; wpn && wpn->info) {
    const Color c = item_colour(wpn->info);
    const int bw = std::max(4, w / 14), len = h * 4 / 10;
    ui_fill_rect(hand_r - bw / 2, arm_y - len / 3, bw, len, c);
    ui_fill_rect(hand_r - bw * 2, arm_y, bw * 4, std::max(3, h / 40), c);
  }
  if (const item_instance* sh = e->equipment[EQ_SHIELD]; sh && sh->info) {
    const Color c = item_colour(sh->info);
    ui_fill_rect(hand_l - w / 10, arm_y - h / 12, w / 5, h / 5, c);
  }
}
