#include "Orrimund/screens/automap_screen.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "Engine/Objects/living_entity.h"
#include "Engine/Objects/objects.h"
#include "Engine/gameflags.h"
#include "Engine/s3d/level_objects.h"
#include "Orrimund/control/game_camera.h"
#include "Orrimund/gameplay.h"
#include "Orrimund/gamestate.h"
#include "Orrimund/player/party.h"
#include "Orrimund/screens/front_seams.h"
#include "Orrimund/screens/screen_ui.h"
#include "Orrimund/screens/screens.h"
#include "levelscripts/level_flags.h"
#include "levelscripts/level_scripts.h"
#include "levelscripts/savegame.h"
#include "levelscripts/script_runner.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr_font.h"
#include "quarn/os/console.h"
#include "quarn/os/key.h"
#include "quarn/vfile/path_types.h"
#include "quarn/vfile/vfile.h"

bool Map_mask = true;
bool Map_grid = false;
bool Show_coordinates = true;

namespace {
constexpr auto row = screen_row;
constexpr int HOVER = 1;
constexpr int ROWS = 9;
const ScreenResource Rows[ROWS] = {
    row("Map-Bkgrnd", 0, 0, 0, 0, 0, 0, 0),
    row("Icon-ArrwLFHilite", 103, 356, 129, 445, 163, 571, HOVER),
    row("Icon-ArrwLFPress", 103, 356, 129, 445, 163, 571, 0),
    row("Icon-ArrwRTHilite", 188, 356, 235, 445, 298, 571, HOVER),
    row("Icon-ArrwRTPress", 188, 356, 235, 445, 298, 571, 0),
    row("MapRecenterHiLite", 108, 388, 135, 485, 178, 621, HOVER),
    row("MapRecenterPress", 108, 388, 135, 485, 178, 621, 0),
    row("Icon-GrnClseHilite", 277, 21, 346, 26, 444, 35, HOVER),
    row("Icon-GrnClsePress", 277, 21, 346, 26, 444, 35, 0),
};
constexpr int ROW_LEFT = 1, ROW_RIGHT = 3, ROW_RECENTER = 5, ROW_CLOSE = 7;
ScreenButton B[ROWS];
constexpr int AREA_X[3] = {14, 18, 22}, AREA_Y[3] = {78, 98, 125}, AREA_W[3] = {291, 364, 466},
              AREA_H[3] = {266, 333, 426};
constexpr int LABEL_W[3] = {110, 138, 176};
constexpr int TITLE_Y[3] = {40, 50, 64};
constexpr int KEY_R = 19, KEY_I = 23, KEY_S = 31, KEY_C = 46, KEY_M = 50;

struct Automap {
  bool valid = false;
  AutomapExtent ext{};
  int cells_w = 0, cells_h = 0;
  int layers = 0;
  AutomapLabelList list;
  int layer = 0;
  int bm_w = 0, bm_h = 0;
  float origin_x = 0, origin_y = 0;  // layer bitmap's corner within the map area
  bool centred = true, follow = true;
  int selected = -1;
  int hovered = -1;
  int state = AUTOMAP_IDLE;
  bool cursor_on = true;
  float blink_at = 0;
  int pan_mouse_x = 0, pan_mouse_y = 0;
  float pan_origin_x = 0, pan_origin_y = 0;
  uint32_t place_type = AUTOMAP_LABEL_CUSTOM;
  int pressed_label = -1;
} g;
int Mask_bitmap = -1, Label_bitmap = -1, Camera_bitmap = -1, Here_bitmap = -1;
uint8_t Inventory_plain = 0;

// One pixel of a locked bitmap as blue, green, red and alpha; false for a
// format that holds no colour. Pure green in a 24-bit picture is the see-
// through colour the renderers also leave out.
bool texel_bgra(int format, const uint8_t* p, const uint8_t* palette, uint8_t out[4]) {
  auto put = [&](int r, int g, int b, int a) {
    out[0] = static_cast<uint8_t>(b), out[1] = static_cast<uint8_t>(g), out[2] = static_cast<uint8_t>(r);
    out[3] = static_cast<uint8_t>(a);
  };
  const int v = p[0] | (p[1] << 8);
  switch (format) {
    case BM_FORMAT_PAL8: {
      if (!palette) return false;
      const uint8_t* e = palette + 3 * p[0];
      put(e[0], e[1], e[2], e[0] == 0 && e[1] == 255 && e[2] == 0 ? 0 : 255);
      return true;
    }
    case BM_FORMAT_ALPHA8: put(255, 255, 255, p[0]); return true;
    case BM_FORMAT_565: put(((v >> 11) & 31) * 255 / 31, ((v >> 5) & 63) * 255 / 63, (v & 31) * 255 / 31, 255); return true;
    case BM_FORMAT_4444:
      put(((v >> 8) & 15) * 17, ((v >> 4) & 15) * 17, (v & 15) * 17, ((v >> 12) & 15) * 17);
      return true;
    case BM_FORMAT_1555:
      put(((v >> 10) & 31) * 255 / 31, ((v >> 5) & 31) * 255 / 31, (v & 31) * 255 / 31, (v & 0x8000) ? 0 : 255);
      return true;
    case BM_FORMAT_BGR24: put(p[2], p[1], p[0], p[0] == 0 && p[1] == 255 && p[2] == 0 ? 0 : 255); return true;
    case BM_FORMAT_BGRA32: put(p[2], p[1], p[0], p[3]); return true;
    default: return false;
  }
}

// A bitmap's pixels as 32-bit blue, green, red, alpha; false when they
// cannot be read.
bool read_bgra(int handle, std::vector<uint8_t>* out, int* w, int* h) {
  bm_get_size(handle, w, h);
  uint8_t *data = nullptr, *palette = nullptr;
  if (*w <= 0 || *h <= 0) return false;
  const int format = bm_lock(handle, &data, &palette);
  bool ok = data != nullptr;
  const int bpp = bm_bytes_per_pixel(format);
  out->assign(static_cast<size_t>(*w) * *h * 4, 0);
  for (int i = 0; ok && i < *w * *h; i++) ok = texel_bgra(format, data + static_cast<size_t>(i) * bpp, palette, &(*out)[i * 4]);
  bm_unlock(handle);
  return ok;
}

// The layer bitmap shown through the mask sprite on the explored cells: a
// picture of our own, drawn over again only when the cells, the layer or the
// sizes change. The renderer draws it as any other bitmap, so the reveal
// looks the same whichever renderer runs.
struct Reveal {
  int source = -1;                 // the layer bitmap read
  int w = 0, h = 0;
  std::vector<uint8_t> layer;      // its pixels, BGRA
  std::vector<uint8_t> mask;       // the mask sprite's alpha
  int mask_w = 0, mask_h = 0;
  bool mask_read = false;
  uint8_t explored[AUTOMAP_GRID * AUTOMAP_GRID] = {};
  float cell_w = 0, cell_h = 0, sprite_w = 0, sprite_h = 0;
  std::vector<uint8_t> cover;
  std::vector<uint8_t> pixels;     // what is shown, BGRA; the bitmap's own
  int handle = -1;
  bool drawn = false;
} Shown;

int res() { return ui_resolution(); }
float factor() { return automap_resolution_factor(res()); }
float shown_w() { return g.bm_w * factor(); }
float shown_h() { return g.bm_h * factor(); }
float world_w() { return std::fabs(g.ext.ul_x - g.ext.lr_x); }
float world_h() { return std::fabs(g.ext.ul_z - g.ext.lr_z); }
float cell_w() { return world_w() > 0 ? shown_w() * 16.0f / world_w() : 0.0f; }
float cell_h() { return world_h() > 0 ? shown_h() * 16.0f / world_h() : 0.0f; }

int level() { return Level_script_current; }
const char* script_name() { return Level_position.script[0] ? Level_position.script : Level_position.level; }
int32_t script_index() {
  const int i = level_script_name_index(level(), script_name());
  return i < 0 ? 0 : i;
}

void bitmap_size(int bitmap, int* w, int* h) {
  *w = *h = 0;
  if (bitmap >= 0) bm_get_size(bitmap, w, h);
}

int hero_layer() {
  living_entity* e = Selected_entity;
  const int l = e ? automap_zone_layer(e->layer) : -1;
  return l < 0 ? 0 : l;
}

void hero_map_point(float* px, float* py) {
  living_entity* e = Selected_entity;
  if (e) automap_world_to_map(e->pos.x, e->pos.z, px, py);
  else *px = shown_w() / 2, *py = shown_h() / 2;
}

void centring_origin(float* x, float* y) {
  float px, py;
  hero_map_point(&px, &py);
  *x = AREA_W[res()] / 2.0f - px;
  *y = AREA_H[res()] / 2.0f - py;
}

void recentre() {
  g.layer = -1;
  automap_set_layer(hero_layer());
  g.follow = g.centred = true;
  centring_origin(&g.origin_x, &g.origin_y);
}

// The label's point on the screen.
void label_screen(const AutomapMapLabel& l, float* sx, float* sy) {
  float px, py;
  automap_world_to_map(l.x, l.z, &px, &py);
  *sx = AREA_X[res()] + g.origin_x + px;
  *sy = AREA_Y[res()] + g.origin_y + py;
}

bool label_shown(int i) {
  if (i < 0 || i >= g.list.count) return false;
  const AutomapMapLabel& l = g.list.labels[i];
  if (l.layer != g.layer) return false;
  float px, py;
  automap_world_to_map(l.x, l.z, &px, &py);
  if (px < 0 || py < 0 || px >= shown_w() || py >= shown_h()) return false;
  return automap_point_visible(px, py);
}

void marker_box(int i, int* x, int* y, int* w, int* h) {
  float sx, sy;
  label_screen(g.list.labels[i], &sx, &sy);
  int bw = 8, bh = 8;
  if (Label_bitmap >= 0) bm_get_size(Label_bitmap, &bw, &bh);
  *w = bw, *h = bh;
  *x = static_cast<int>(sx) - bw / 2;
  *y = static_cast<int>(sy) - bh / 2;
}

// The selected label's text, wrapped to at most four lines.
int wrapped(int i, const char** starts, int* lengths) {
  std::string text = g.list.labels[i].text;
  static char shown[AUTOMAP_LABEL_TEXT + 2];
  std::snprintf(shown, sizeof shown, "%s%s", text.c_str(), g.state == AUTOMAP_EDIT && g.cursor_on ? "|" : "");
  const int n = gr_split_text(lengths, starts, shown, LABEL_W[res()], 4);
  return n;
}

void text_box(int i, int* x, int* y, int* w, int* h) {
  const char* starts[4];
  int lengths[4];
  const int n = std::max(1, wrapped(i, starts, lengths));
  const int fh = gr_font_select(-1);
  int widest = 0;
  for (int k = 0; k < n && k < 4; k++) {
    int lw = 0, lh = 0;
    if (starts[k]) gr_get_string_size(&lw, &lh, starts[k], lengths[k]);
    widest = std::max(widest, lw);
  }
  int mx, my, mw, mh;
  marker_box(i, &mx, &my, &mw, &mh);
  *w = std::max(widest, 16) + 8;
  *h = n * fh + 6;
  *x = mx + mw / 2 - *w / 2;
  *y = my - *h - 2;
}

bool over_text_box(int i, int x, int y) {
  int bx, by, bw, bh;
  text_box(i, &bx, &by, &bw, &bh);
  return point_in_rect(x, y, bx, by, bw, bh);
}

bool over_marker(int i, int x, int y) {
  int bx, by, bw, bh;
  marker_box(i, &bx, &by, &bw, &bh);
  return point_in_rect(x, y, bx, by, bw, bh);
}

bool over_area(int x, int y) { return point_in_rect(x, y, AREA_X[res()], AREA_Y[res()], AREA_W[res()], AREA_H[res()]); }

void deselect() { g.selected = -1; }

AutomapLabel save_record(const AutomapMapLabel& l) {
  AutomapLabel r{};
  r.level = static_cast<uint32_t>(level());
  r.script = script_index();
  r.x = l.x;
  r.y = l.z;
  r.word = static_cast<uint32_t>(l.layer);
  std::snprintf(r.text, sizeof r.text, "%s", l.text);
  return r;
}

void end_edit() {
  if (g.selected >= 0 && g.selected < g.list.count) {
    const AutomapMapLabel& l = g.list.labels[g.selected];
    if (l.type == AUTOMAP_LABEL_CUSTOM) {
      automap_label_remove(static_cast<uint32_t>(level()), script_index(), l.x, l.z);
      automap_label_add(save_record(l));
    }
  }
  g.state = AUTOMAP_IDLE;
}

void place_label(int mx, int my) {
  const float px = mx - AREA_X[res()] - g.origin_x, py = my - AREA_Y[res()] - g.origin_y;
  const bool on_map = over_area(mx, my) && px >= 0 && py >= 0 && px < shown_w() && py < shown_h();
  g.state = AUTOMAP_IDLE;
  if (!on_map || !automap_point_visible(px, py)) return;
  if (g.place_type == AUTOMAP_LABEL_CUSTOM && automap_label_count() >= SAVE_MAX_AUTOMAP_LABELS) return;
  AutomapMapLabel* l = automap_label_alloc(&g.list);
  if (!l) return;
  l->type = g.place_type;
  automap_map_to_world(px, py, &l->x, &l->z);
  l->layer = g.layer;
  if (l->type == AUTOMAP_LABEL_CUSTOM) automap_label_add(save_record(*l));
  g.selected = g.list.count - 1;
  g.blink_at = Ui_clock + 0.5f;
  g.cursor_on = true;
  g.state = AUTOMAP_EDIT;
}

int hovered_button(int x, int y) {
  for (int i = 1; i < ROWS; i++)
    if (Rows[i].kind & HOVER && screen_button_hit(B[i], x, y)) return i;
  return -1;
}

int idle_input(int key) {
  const ScreenMouse& m = Screen_mouse;
  g.hovered = hovered_button(m.x, m.y);
  if (g.hovered >= 0) {
    B[g.hovered].flags |= SB_HIGHLIGHT;
    if (m.left_pressed) g.state = AUTOMAP_BUTTON;
  } else if (over_area(m.x, m.y) && m.left_pressed) {
    const bool ctrl = key_is_down(KEY_LCTRL) || key_is_down(KEY_RCTRL);
    if (ctrl) {
      g.place_type = AUTOMAP_LABEL_CUSTOM;
      g.state = AUTOMAP_PLACE;
    } else if (g.selected >= 0 && label_shown(g.selected) && over_text_box(g.selected, m.x, m.y)) {
      if (g.list.labels[g.selected].type == AUTOMAP_LABEL_CUSTOM) g.state = AUTOMAP_PRESS_SELECTED;
    } else {
      g.pressed_label = -1;
      for (int i = 0; i < g.list.count && g.pressed_label < 0; i++)
        if (label_shown(i) && over_marker(i, m.x, m.y)) g.pressed_label = i;
      if (g.pressed_label >= 0) g.state = AUTOMAP_PRESS_LABEL;
      else deselect();
    }
  } else if (over_area(m.x, m.y) && m.right_pressed) {
    g.state = AUTOMAP_PAN;
    if (g.centred) centring_origin(&g.pan_origin_x, &g.pan_origin_y);
    else g.pan_origin_x = g.origin_x, g.pan_origin_y = g.origin_y;
    g.pan_mouse_x = m.x, g.pan_mouse_y = m.y;
  }
  switch (key) {
    case KEY_ESC:
    case KEY_M:
      set_screen(SCREEN_HUD, nullptr);
      front_play_sound(36);
      return 0;
    case KEY_R: set_screen(SCREEN_STATUS, nullptr); front_play_sound(39); return 0;
    case KEY_I: set_screen(SCREEN_INVENTORY, &Inventory_plain); front_play_sound(39); return 0;
    case KEY_S: set_screen(SCREEN_SKILLS, nullptr); front_play_sound(39); return 0;
    case KEY_C: set_screen(SCREEN_SPELLS, nullptr); front_play_sound(39); return 0;
    case KEY_DELETE:
      if (g.selected >= 0 && g.selected < g.list.count && g.list.labels[g.selected].type == AUTOMAP_LABEL_CUSTOM) {
        const AutomapMapLabel& l = g.list.labels[g.selected];
        automap_label_remove(static_cast<uint32_t>(level()), script_index(), l.x, l.z);
        automap_label_list_remove(&g.list, g.selected);
        deselect();
      }
      return 0;
    default: return key;
  }
}

int button_input(int key) {
  const ScreenMouse& m = Screen_mouse;
  if (g.hovered >= 0 && screen_button_hit(B[g.hovered], m.x, m.y)) B[g.hovered + 1].flags |= SB_HIGHLIGHT;
  if (m.left_down) return key;
  const int b = g.hovered;
  g.state = AUTOMAP_IDLE;
  if (b < 0 || !screen_button_hit(B[b], m.x, m.y)) return key;
  switch (b) {
    case ROW_LEFT:
      automap_set_layer(g.layer - 1);
      g.follow = false;
      front_play_sound(39);
      break;
    case ROW_RIGHT:
      automap_set_layer(g.layer + 1);
      g.follow = false;
      front_play_sound(39);
      break;
    case ROW_RECENTER:
      recentre();
      front_play_sound(35);
      break;
    case ROW_CLOSE:
      set_screen(SCREEN_HUD, nullptr);
      front_play_sound(36);
      break;
    default: break;
  }
  return key;
}

int edit_input(int key) {
  const ScreenMouse& m = Screen_mouse;
  if (g.selected < 0 || g.selected >= g.list.count) {
    g.state = AUTOMAP_IDLE;
    return key;
  }
  if (m.left_pressed) {
    end_edit();
    g.state = AUTOMAP_PRESS_SELECTED;
    return key;
  }
  if (key == KEY_ESC || key == KEY_ENTER || key == KEY_PADENTER) {
    end_edit();
    return 0;
  }
  AutomapMapLabel& l = g.list.labels[g.selected];
  const size_t n = std::strlen(l.text);
  bool changed = false;
  if (key == KEY_BACKSP) {
    if (n > 0) l.text[n - 1] = 0;
    changed = true;
  } else if (key) {
    const int c = key_to_ascii(key);
    if (c >= 32 && c < 127 && n < AUTOMAP_LABEL_TEXT - 1) {
      l.text[n] = static_cast<char>(c);
      l.text[n + 1] = 0;
      changed = true;
    }
  }
  if (changed) {
    g.cursor_on = true;
    g.blink_at = Ui_clock + 0.5f;
  }
  // Every key goes to the text while it is edited.
  return 0;
}

void release_input() {
  const ScreenMouse& m = Screen_mouse;
  if (m.left_down) return;
  if (g.state == AUTOMAP_PRESS_SELECTED) {
    if (g.selected >= 0 && label_shown(g.selected) && over_text_box(g.selected, m.x, m.y)) {
      g.state = AUTOMAP_EDIT;
      g.cursor_on = true;
      g.blink_at = Ui_clock + 0.5f;
      return;
    }
    deselect();
  } else if (g.state == AUTOMAP_PRESS_LABEL) {
    if (g.pressed_label >= 0 && label_shown(g.pressed_label) && over_marker(g.pressed_label, m.x, m.y))
      g.selected = g.pressed_label;
    else deselect();
  }
  g.state = AUTOMAP_IDLE;
}

int automap_input(int key) {
  screen_buttons_clear_highlight(B, ROWS);
  const ScreenMouse& m = Screen_mouse;
  if (g.follow && g.valid) {
    const int l = hero_layer();
    if (l != g.layer) automap_set_layer(l);
  }
  if (g.centred) centring_origin(&g.origin_x, &g.origin_y);
  if (Ui_clock >= g.blink_at) {
    g.cursor_on = !g.cursor_on;
    g.blink_at = Ui_clock + 0.5f;
  }
  if (game_flags_test(GF_INPUT_LOCKED)) return key;
  switch (g.state) {
    case AUTOMAP_IDLE: return idle_input(key);
    case AUTOMAP_BUTTON: return button_input(key);
    case AUTOMAP_PAN: {
      const int r = res();
      g.origin_x = std::clamp(g.pan_origin_x + (m.x - g.pan_mouse_x), AREA_W[r] / 2.0f - shown_w(), AREA_W[r] / 2.0f);
      g.origin_y = std::clamp(g.pan_origin_y + (m.y - g.pan_mouse_y), AREA_H[r] / 2.0f - shown_h(), AREA_H[r] / 2.0f);
      g.centred = false;
      if (!m.right_down) g.state = AUTOMAP_IDLE;
      return key;
    }
    case AUTOMAP_PLACE:
      if (!m.left_down) place_label(m.x, m.y);
      return key;
    case AUTOMAP_EDIT: return edit_input(key);
    case AUTOMAP_PRESS_SELECTED:
    case AUTOMAP_PRESS_LABEL: release_input(); return key;
    default: g.state = AUTOMAP_IDLE; return key;
  }
}

// The reveal's bitmap for the current layer, brought up to date; -1 when
// the layer's pixels cannot be read (nothing of the layer is then shown).
int revealed_layer(int bitmap) {
  Reveal& r = Shown;
  if (!r.mask_read) {
    // Without a mask sprite of its own, a single opaque texel still gives a
    // soft-edged stamp the size the cells ask for.
    std::vector<uint8_t> bgra;
    if (Mask_bitmap >= 0 && read_bgra(Mask_bitmap, &bgra, &r.mask_w, &r.mask_h)) {
      r.mask.resize(static_cast<size_t>(r.mask_w) * r.mask_h);
      for (size_t i = 0; i < r.mask.size(); i++) r.mask[i] = bgra[i * 4 + 3];
    } else {
      r.mask.assign(1, 255);
      r.mask_w = r.mask_h = 1;
    }
    r.mask_read = true;
  }
  bool changed = false;
  if (r.source != bitmap || r.w != g.bm_w || r.h != g.bm_h) {
    int w, h;
    if (!read_bgra(bitmap, &r.layer, &w, &h) || w != g.bm_w || h != g.bm_h) {
      r.source = -1;
      return -1;
    }
    r.source = bitmap;
    changed = true;
  }
  // The bitmap must still be ours: a level's end frees what was made during it.
  const BitmapEntry* e = bm_get_entry(r.handle);
  if (r.handle >= 0 && !(e && e->type == BM_TYPE_USER && e->data == r.pixels.data())) r.handle = -1;
  if (r.handle < 0 || r.w != g.bm_w || r.h != g.bm_h) {
    if (r.handle >= 0) bm_release(r.handle);
    r.w = g.bm_w, r.h = g.bm_h;
    r.pixels.assign(static_cast<size_t>(r.w) * r.h * 4, 0);
    r.cover.assign(static_cast<size_t>(r.w) * r.h, 0);
    r.handle = bm_create(BM_FORMAT_BGRA32, r.w, r.h, r.pixels.data());
    if (r.handle < 0) return -1;
    changed = true;
  }
  // Cells and sprite in the layer bitmap's own pixels; the sprite is a cell
  // and the larger side of one across, plus a pixel, as shown on screen.
  const float f = factor();
  const float cw = g.bm_w * 16.0f / world_w(), ch = g.bm_h * 16.0f / world_h();
  const float side = std::max(cell_w(), cell_h());
  const float sw = (cell_w() + side + 1.0f) / f, sh = (cell_h() + side + 1.0f) / f;
  uint8_t explored[AUTOMAP_GRID * AUTOMAP_GRID] = {};
  for (int cy = 0; cy < std::min(g.cells_h, AUTOMAP_GRID); cy++)
    for (int cx = 0; cx < std::min(g.cells_w, AUTOMAP_GRID); cx++)
      explored[cy * AUTOMAP_GRID + cx] = automap_cell_explored(level(), g.layer, cx, cy) ? 1 : 0;
  if (std::memcmp(explored, r.explored, sizeof explored) != 0 || cw != r.cell_w || ch != r.cell_h ||
      sw != r.sprite_w || sh != r.sprite_h)
    changed = true;
  if (!changed && r.drawn) return r.handle;
  std::memcpy(r.explored, explored, sizeof explored);
  r.cell_w = cw, r.cell_h = ch, r.sprite_w = sw, r.sprite_h = sh;
  automap_mask_cover(r.cover.data(), r.w, r.h, r.explored, g.cells_w, g.cells_h, cw, ch, sw, sh,
                     AutomapMaskSprite{r.mask.data(), r.mask_w, r.mask_h});
  for (size_t i = 0; i < r.cover.size(); i++) {
    std::memcpy(&r.pixels[i * 4], &r.layer[i * 4], 3);
    r.pixels[i * 4 + 3] = static_cast<uint8_t>((r.layer[i * 4 + 3] * r.cover[i] + 127) / 255);
  }
  r.drawn = true;
  gr_texture_mark_dirty(r.handle);
  return r.handle;
}

void draw_map() {
  const int r = res();
  const int bitmap = level_automap_bitmap(g.layer + 1);
  if (bitmap < 0 || g.bm_w <= 0 || g.bm_h <= 0) return;
  gr_set_clip(AREA_X[r], AREA_Y[r], AREA_W[r], AREA_H[r]);
  const float ox = g.origin_x, oy = g.origin_y;
  const float cw = cell_w(), ch = cell_h();
  gr_set_color_rec(Ui_white);
  gr_set_bitmap(bitmap);
  const int lvl = level();
  // With the mask the layer shows only through the sprite stamped on each
  // cell walked, soft at the edges of what is known.
  const int shown = Map_mask ? revealed_layer(bitmap) : bitmap;
  if (shown >= 0)
    gr_bitmap_scaled(shown, static_cast<int>(ox), static_cast<int>(oy), static_cast<int>(shown_w()),
                     static_cast<int>(shown_h()), 0, 0, g.bm_w, g.bm_h, Gr_preset[1]);
  if (Map_grid && cw > 0 && ch > 0) {
    gr_set_color(0, 128, 0, 255);
    for (float x = 0; x <= shown_w(); x += cw) gr_line(ox + x, oy, ox + x, oy + shown_h(), Gr_preset[7]);
    for (float y = 0; y <= shown_h(); y += ch) gr_line(ox, oy + y, ox + shown_w(), oy + y, Gr_preset[7]);
    for (int cy = 0; cy < std::min(g.cells_h, AUTOMAP_GRID); cy++)
      for (int cx = 0; cx < std::min(g.cells_w, AUTOMAP_GRID); cx++)
        if (automap_cell_explored(lvl, g.layer, cx, cy))
          ui_fill_rect(static_cast<int>(ox + cx * cw), static_cast<int>(oy + cy * ch), static_cast<int>(cw),
                       static_cast<int>(ch), Color(0, 128, 128, 128));
  }
  // The party's marker, with the camera's heading beside it.
  float hx, hy;
  hero_map_point(&hx, &hy);
  hx += ox, hy += oy;
  if (Selected_entity && hero_layer() == g.layer) {
    if (Camera_bitmap >= 0) {
      vector eye;
      matrix o;
      float fov;
      game_camera.get_view(&eye, &o, &fov);
      const float mx = -o.forward.x, my = o.forward.z;
      const float len = std::sqrt(mx * mx + my * my);
      if (len > 0.0001f) {
        const float angle = std::atan2(mx, -my);
        int cbw, cbh;
        bitmap_size(Camera_bitmap, &cbw, &cbh);
        const float scale = factor();
        const float half = cbh * scale * 0.5f;
        gr_set_color_rec(Ui_white);
        gr_bitmap_rotated(Camera_bitmap, AREA_X[r] + hx + mx / len * half, AREA_Y[r] + hy + my / len * half, scale,
                          angle, Gr_preset[1]);
      }
    }
    if (Here_bitmap >= 0) {
      int w, h;
      bitmap_size(Here_bitmap, &w, &h);
      gr_set_color_rec(Ui_white);
      gr_bitmap(Here_bitmap, static_cast<int>(hx) - w / 2, static_cast<int>(hy) - h / 2, Gr_preset[1]);
    } else {
      ui_fill_rect(static_cast<int>(hx) - 1, static_cast<int>(hy) - 1, 2, 2, Ui_white);
    }
  }
  gr_reset_clip();
  // Labels, and the selected one's text above its marker.
  for (int i = 0; i < g.list.count; i++) {
    if (!label_shown(i)) continue;
    int x, y, w, h;
    marker_box(i, &x, &y, &w, &h);
    gr_set_color_rec(Ui_white);
    if (Label_bitmap >= 0) gr_bitmap(Label_bitmap, x, y, Gr_preset[1]);
    else ui_fill_rect(x, y, w, h, Ui_hover_color);
  }
  if (g.selected >= 0 && label_shown(g.selected)) {
    int x, y, w, h;
    text_box(g.selected, &x, &y, &w, &h);
    ui_fill_rect(x, y, w, h, Color(0, 0, 0, 200));
    gr_set_color_rec(Ui_hover_color);
    gr_rect(x, y, w, 1, Gr_preset[7]);
    gr_rect(x, y + h - 1, w, 1, Gr_preset[7]);
    gr_rect(x, y, 1, h, Gr_preset[7]);
    gr_rect(x + w - 1, y, 1, h, Gr_preset[7]);
    const char* starts[4];
    int lengths[4];
    const int n = wrapped(g.selected, starts, lengths);
    const int fh = gr_font_select(-1);
    gr_set_color_rec(Ui_white);
    for (int k = 0; k < n && k < 4; k++) {
      char line[AUTOMAP_LABEL_TEXT + 2];
      std::snprintf(line, sizeof line, "%.*s", lengths[k], starts[k]);
      gr_string(x + 4, y + 3 + k * fh, line);
    }
  }
}

void automap_render() {
  screen_buttons_render(B, ROWS);
  const int r = res();
  if (g.valid) draw_map();
  const char* name = front().level_display_name();
  const int cx = AREA_X[r] + AREA_W[r] / 2;
  gr_set_color_rec(Ui_hover_color);
  int w, h;
  gr_get_string_size(&w, &h, name);
  gr_string(cx - w / 2, TITLE_Y[r], name);
  if (g.valid && g.layers > 0) {
    char line[32];
    std::snprintf(line, sizeof line, "%d of %d", g.layer + 1, g.layers);
    gr_get_string_size(&w, &h, line);
    gr_set_color_rec(Ui_text_color);
    gr_string(cx - w / 2, TITLE_Y[r] + gr_font_select(-1), line);
  }
  // The in-game coordinate overlay draws nothing in this build.
}

bool automap_hit(int x, int y) {
  return point_in_rect(x, y, B[0].x, B[0].y, B[0].w, B[0].h) || over_area(x, y);
}

void automap_load() {
  screen_buttons_build(Rows, ROWS, B);
  Mask_bitmap = bm_load("hud-mapmask01.tga");
  Label_bitmap = bm_load(ui_art_set() ? "Map-Label1024.tga" : "Map-Label640.tga");
  Camera_bitmap = bm_load("hud-mapcamera.tga");
  Here_bitmap = bm_load("You-R-Here.tga");
  for (int* b : {&Mask_bitmap, &Label_bitmap, &Camera_bitmap, &Here_bitmap})
    if (*b >= 0 && bm_is_placeholder(*b)) *b = -1;
}

void automap_open(void*, bool) {
  recentre();
  g.state = AUTOMAP_IDLE;
  g.hovered = -1;
  deselect();
}

void automap_close() {
  // A label being named keeps what was typed.
  if (g.state == AUTOMAP_EDIT) end_edit();
  g.state = AUTOMAP_IDLE;
}

void read_labels() {
  automap_label_list_clear(&g.list);
  FileHandle f;
  if (f.open("automap_labels.tbl", VF_READ, VFILE_ANY_TYPE) == VF_OK) {
    std::string text;
    char buf[4096];
    for (int n; (n = f.read(buf, sizeof buf)) > 0;) text.append(buf, static_cast<size_t>(n));
    f.close();
    automap_labels_parse(text.data(), text.size(), script_name(), &g.list);
  }
  // The player's own labels of this level and script come from the save.
  for (int i = 0; i < automap_label_count(); i++) {
    const AutomapLabel s = automap_label_at(i);
    if (static_cast<int>(s.level) != level() || s.script != script_index()) continue;
    AutomapMapLabel* l = automap_label_alloc(&g.list);
    if (!l) break;
    l->type = AUTOMAP_LABEL_CUSTOM;
    l->x = s.x;
    l->z = s.y;
    l->layer = static_cast<int32_t>(s.word);
    automap_label_set_text(l, s.text);
  }
}

// ---- console ---------------------------------------------------------------------------------

CONSOLE_BOOL_VARIABLE(cc_map_mask, "map_mask", "Toggles Map_mask", Map_mask);
CONSOLE_BOOL_VARIABLE(cc_map_grid, "map_grid", "Toggles Map_grid", Map_grid);
CONSOLE_BOOL_VARIABLE(cc_show_coordinates, "show_coordinates", "Toggles Show_coordinates", Show_coordinates);

bool no_more_args() {
  console_get_arg(ARG_NONE | ARG_STRING);
  return Console_arg.type & ARG_NONE;
}

ConsoleCommand cc_save_map_labels("save_map_labels", "Save automap labels for this level/script", [] {
  if (!Console_run) return;
  if (!no_more_args()) {
    console_output("Usage: save_map_labels\n");
    return;
  }
  if (game_state_current() != GS_GAMEPLAY) {
    console_output("Can only save labels in gameplay mode.\n");
    return;
  }
  switch (automap_save_labels()) {
    case 0: console_output("Automap labels succesfully saved.\n"); break;
    case 1: console_output("No level loaded.\n"); break;
    case 2: console_output("No map for this level.\n"); break;
    case 3: console_printf("Error opening %s for reading.\n", "automap_labels.tbl"); break;
    case 4: console_printf("Error opening %s for writing.\n", "automap_labels_temp.tbl"); break;
    case 6: console_printf("Error renaming %s to %s.\n", "automap_labels_temp.tbl", "automap_labels.tbl"); break;
    default: console_output("Unknown error while saving\n"); break;
  }
});

ConsoleCommand cc_reset_map_labels("reset_map_labels", "Reset automap labels for this level/script", [] {
  if (!Console_run) return;
  if (!no_more_args()) {
    console_output("Usage: reset_map_labels\n");
    return;
  }
  if (game_state_current() != GS_GAMEPLAY) {
    console_output("Can only reset labels in gameplay mode.\n");
    return;
  }
  if (g.state != AUTOMAP_IDLE) {
    console_output("Can only reset labels in automap idle state.\n");
    return;
  }
  if (level() < 0 || !g.valid) {
    console_output("Unable to reset automap labels.\n");
    return;
  }
  automap_label_list_clear(&g.list);
  for (int i = 0; i < shopkeeper_count(); i++) {
    const ShopkeeperRecord* k = shopkeeper_at(i);
    living_entity* e = k && k->character[0] ? entity_find_by_name(k->character) : nullptr;
    if (!e) continue;
    AutomapMapLabel* l = automap_label_alloc(&g.list);
    if (!l) break;
    l->type = AUTOMAP_LABEL_PERMANENT;
    l->x = e->pos.x;
    l->z = e->pos.z;
    l->layer = std::max(0, automap_zone_layer(e->layer));
    char name[64];
    e->get_display_name(name, sizeof name);
    automap_label_set_text(l, name);
  }
  automap_label_remove_all(static_cast<uint32_t>(level()), script_index());
  deselect();
  console_output("Automap labels reset.\n");
});

}  // namespace

// ---- module ----------------------------------------------------------------------------------

float automap_resolution_factor(int resolution) {
  switch (resolution) {
    case 1: return 1.25f;
    case 2: return 1.6f;
    default: return 1.0f;
  }
}

int automap_zone_layer(int zone) {
  const int map = level_automap_zone_map(zone);
  return map >= 1 ? map - 1 : -1;
}

void automap_world_to_map(float x, float z, float* px, float* py) {
  const float u = world_w() > 0 ? (g.ext.ul_x - x) / world_w() : 0.0f;
  const float v = world_h() > 0 ? (z - g.ext.ul_z) / world_h() : 0.0f;
  *px = u * shown_w();
  *py = v * shown_h();
}

void automap_map_to_world(float px, float py, float* x, float* z) {
  *x = shown_w() > 0 ? g.ext.ul_x + (g.ext.lr_x - g.ext.ul_x) * px / shown_w() : g.ext.ul_x;
  *z = shown_h() > 0 ? g.ext.ul_z + (g.ext.lr_z - g.ext.ul_z) * py / shown_h() : g.ext.ul_z;
}

bool automap_point_visible(float px, float py) {
  if (!Map_mask) return true;
  if (cell_w() <= 0 || cell_h() <= 0) return false;
  px = std::clamp(px, 0.0f, std::max(0.0f, shown_w() - 1));
  py = std::clamp(py, 0.0f, std::max(0.0f, shown_h() - 1));
  return automap_cell_explored(level(), g.layer, static_cast<int>(px / cell_w()), static_cast<int>(py / cell_h()));
}

void automap_set_layer(int layer) {
  if (layer < 0 || layer >= g.layers) return;
  g.layer = layer;
  bitmap_size(level_automap_bitmap(layer + 1), &g.bm_w, &g.bm_h);
  deselect();
  bool left, right;
  automap_arrows_enabled(&left, &right);
  for (int i : {ROW_LEFT, ROW_LEFT + 1}) B[i].flags = left ? B[i].flags & ~SB_HIDDEN : B[i].flags | SB_HIDDEN;
  for (int i : {ROW_RIGHT, ROW_RIGHT + 1}) B[i].flags = right ? B[i].flags & ~SB_HIDDEN : B[i].flags | SB_HIDDEN;
}

void automap_arrows_enabled(bool* left, bool* right) {
  *left = g.layer > 0;
  *right = g.layer < g.layers - 1;
}

bool automap_valid() { return g.valid; }
int automap_state() { return g.state; }
int automap_layer() { return g.layer; }
int automap_layer_count() { return g.layers; }
const AutomapLabelList& automap_labels() { return g.list; }
int automap_selected_label() { return g.selected; }

void automap_startup() {
  for (int l = 0; l <= AUTOMAP_LAST_LEVEL; l++)
    for (int layer = 0; layer < level_automap_layers(l); layer++)
      for (int cy = 0; cy < AUTOMAP_GRID; cy++)
        for (int cx = 0; cx < AUTOMAP_GRID; cx++) automap_mark_cell(l, layer, cx, cy, false);
  automap_label_list_clear(&g.list);
}

void automap_level_start() {
  g = Automap{};
  // A new level's layer may come back under an old handle: read it afresh.
  Shown.source = -1;
  Shown.drawn = false;
  vector ul, lr;
  matrix o;
  const bool has_ul = level_node_find("$mapUpperLeft", &ul, &o);
  const bool has_lr = level_node_find("$mapLowerRight", &lr, &o);
  if (!has_ul) console_output("AUTOMAP ERROR : Could not find $mapUpperLeft tag...\n");
  if (!has_lr) console_output("AUTOMAP ERROR : Could not find $mapLowerRight tag...\n");
  g.layers = level_automap_map_count();
  bool bitmaps = g.layers > 0;
  for (int m = 1; m <= g.layers; m++) bitmaps = bitmaps && level_automap_bitmap(m) >= 0;
  g.valid = has_ul && has_lr && bitmaps && level() >= 0;
  if (!g.valid) {
    g.layers = has_ul && has_lr ? g.layers : 0;
    return;
  }
  g.ext = AutomapExtent{ul.x, ul.z, lr.x, lr.z};
  automap_cell_counts(g.ext, &g.cells_w, &g.cells_h);
  automap_set_layer(0);
  read_labels();
}

void automap_reveal_party() {
  if (!g.valid) return;
  for (PlayerRecord* p = party_first(); p; p = party_next(p)) {
    living_entity* e = member_entity(p);
    if (!e || (e->state & ES_DEAD) || e->type == OBJ_DEAD_PLAYER) continue;
    automap_reveal_point(level(), automap_zone_layer(e->layer), g.ext, e->pos.x, e->pos.z);
  }
}

int automap_save_labels() {
  if (level() < 0) return 1;
  if (!g.valid) return 2;
  FileHandle in;
  if (in.open("automap_labels.tbl", VF_READ, VFILE_ANY_TYPE) != VF_OK) return 3;
  std::string text;
  char buf[4096];
  for (int n; (n = in.read(buf, sizeof buf)) > 0;) text.append(buf, static_cast<size_t>(n));
  in.close();
  const std::string out = automap_labels_rewrite(text.data(), text.size(), script_name(), g.list);
  FileHandle tmp;
  if (tmp.open("automap_labels_temp.tbl", VF_WRITE, Tables_path_type) != VF_OK) return 4;
  const int written = tmp.write(out.data(), static_cast<int>(out.size()));
  if (tmp.close() != 0 || written != static_cast<int>(out.size())) return 4;
  // Renamed over the old table in one step: a failure leaves it whole.
  FileHandle mover;
  if (mover.rename("automap_labels.tbl", "automap_labels_temp.tbl", Tables_path_type) != VF_OK) return 6;
  return 0;
}

void automap_screen_register() {
  GameplayFrameHooks hooks = gameplay_frame_hooks();
  hooks.automap_reveal_party = automap_reveal_party;
  gameplay_set_frame_hooks(hooks);
  ScreenOps o;
  o.load = automap_load;
  o.level_init = automap_level_start;
  o.open = automap_open;
  o.close = automap_close;
  o.input = automap_input;
  o.render = automap_render;
  o.hit_test = automap_hit;
  screen_register(SCREEN_AUTOMAP, o);
}
