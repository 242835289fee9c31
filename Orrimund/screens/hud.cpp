#include "Orrimund/screens/hud.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "Engine/gameflags.h"
#include "Orrimund/gamestate.h"
#include "Orrimund/screens/front_seams.h"
#include "Orrimund/screens/landmarks_hud.h"
#include "Orrimund/screens/popup.h"
#include "Orrimund/screens/screen_ui.h"
#include "Orrimund/screens/skill_use.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr_font.h"
#include "quarn/os/key.h"
#include "quarn/os/timer.h"

namespace {
// Rows are laid out for 640x480; the 800x600 row is that times 1.25 and the
// 1024x768 row times 1.6, so every layout keeps the bar at the bottom.
constexpr int s800(int v) { return (v * 125 + 50) / 100; }
constexpr int s1024(int v) { return (v * 16 + 5) / 10; }
constexpr ScreenResource row(const char* name, int x, int y, int kind) {
  ScreenResource r{};
  for (int i = 0; i < 35 && name[i]; i++) r.name[i] = name[i];
  r.x[0] = x, r.y[0] = y, r.x[1] = s800(x), r.y[1] = s800(y), r.x[2] = s1024(x), r.y[2] = s1024(y);
  r.kind = kind;
  return r;
}
// The hot-button area lies around the slots, whose 1024x768 places are
// their own rather than the 640 ones grown.
constexpr ScreenResource hot_area_row() {
  ScreenResource r = row("Main-HUD-HotBtnBkg", 510, 396, 0);
  r.x[2] = 881, r.y[2] = 674;
  return r;
}
constexpr int PORT_X0 = 50, PORT_STEP = 51, BAR_TOP = 416;
constexpr int ICON_X0 = 334, ICON_STEP = 29, ICON_Y = 424;
constexpr int px(int i) { return PORT_X0 + PORT_STEP * i; }
constexpr int ix(int i) { return ICON_X0 + ICON_STEP * i; }

// Hot buttons by layout row.
constexpr int HOT_X[3] = {514, 643, 887}, HOT_Y[3] = {400, 500, 680};
constexpr int HOT_STEP[3] = {40, 50, 43}, HOT_SIZE[3] = {32, 40, 51};
}  // namespace

const ScreenResource Hud_rows[HUD_NUM_ROWS] = {
    row("Main-HUD-MPH", 0, BAR_TOP, 0),
    row("Main-HUD-PortraitBkg", px(0), BAR_TOP, 0), row("Main-HUD-PortraitBkg", px(1), BAR_TOP, 0),
    row("Main-HUD-PortraitBkg", px(2), BAR_TOP, 0), row("Main-HUD-PortraitBkg", px(3), BAR_TOP, 0),
    row("Main-HUD-PortraitBkg", px(4), BAR_TOP, 0),
    row("", px(0) + 3, BAR_TOP + 3, HUD_PORTRAIT), row("", px(1) + 3, BAR_TOP + 3, HUD_PORTRAIT),
    row("", px(2) + 3, BAR_TOP + 3, HUD_PORTRAIT), row("", px(3) + 3, BAR_TOP + 3, HUD_PORTRAIT),
    row("", px(4) + 3, BAR_TOP + 3, HUD_PORTRAIT),
    row("Main-HUD-PortSelected", px(0), BAR_TOP, 0), row("Main-HUD-PortSelected", px(1), BAR_TOP, 0),
    row("Main-HUD-PortSelected", px(2), BAR_TOP, 0), row("Main-HUD-PortSelected", px(3), BAR_TOP, 0),
    row("Main-HUD-PortSelected", px(4), BAR_TOP, 0),
    row("Main-HUD-levelupicon", px(0) + 34, BAR_TOP + 2, HUD_LEVELUP),
    row("Main-HUD-levelupicon", px(1) + 34, BAR_TOP + 2, HUD_LEVELUP),
    row("Main-HUD-levelupicon", px(2) + 34, BAR_TOP + 2, HUD_LEVELUP),
    row("Main-HUD-levelupicon", px(3) + 34, BAR_TOP + 2, HUD_LEVELUP),
    row("Main-HUD-PortHiLite", px(0), BAR_TOP, 3), row("Main-HUD-PortPress", px(0), BAR_TOP, 0),
    row("Main-HUD-PortHiLite", px(1), BAR_TOP, 3), row("Main-HUD-PortPress", px(1), BAR_TOP, 0),
    row("Main-HUD-PortHiLite", px(2), BAR_TOP, 3), row("Main-HUD-PortPress", px(2), BAR_TOP, 0),
    row("Main-HUD-PortHiLite", px(3), BAR_TOP, 3), row("Main-HUD-PortPress", px(3), BAR_TOP, 0),
    row("Main-HUD-PortHiLite", px(4), BAR_TOP, 3), row("Main-HUD-PortPress", px(4), BAR_TOP, 0),
    row("Main-HUD-PauseA", 306, ICON_Y, 0),
    row("Main-HUD-PauseHiLite", 306, ICON_Y, 1), row("Main-HUD-PausePress", 306, ICON_Y, 0),
    row("Main-HUD-BttnHiLite", 8, 419, 1), row("Main-HUD-BttnPress", 8, 419, 0),
    row("Main-HUD-BttnHiLite", 8, 439, 1), row("Main-HUD-BttnPress", 8, 439, 0),
    row("Main-HUD-BttnHiLite", 8, 459, 33), row("Main-HUD-BttnPress", 8, 459, 0),
    hot_area_row(),
    row("HUD-NonCmbtIconA.tga", ix(0), ICON_Y, 48), row("HUD-NonCmbtIconB.tga", ix(0), ICON_Y, 49),
    row("HUD-NonCmbtIconC.tga", ix(0), ICON_Y, 0),
    row("HUD-CmbtIconA.tga", ix(0), ICON_Y, 48), row("HUD-CmbtIconB.tga", ix(0), ICON_Y, 49),
    row("HUD-CmbtIconC.tga", ix(0), ICON_Y, 0),
    row("HUD-CharIconA.tga", ix(1), ICON_Y, 0), row("HUD-CharIconB.tga", ix(1), ICON_Y, 1),
    row("HUD-CharIconC.tga", ix(1), ICON_Y, 0),
    row("Skillicon-Spells2C.tga", ix(2), ICON_Y, 32), row("Skillicon-Spells2A.tga", ix(2), ICON_Y, 33),
    row("Skillicon-Spells2B.tga", ix(2), ICON_Y, 0),
    row("HUD-JrnIconA.tga", ix(3), ICON_Y, 16), row("HUD-JrnIconB.tga", ix(3), ICON_Y, 17),
    row("HUD-JrnIconC.tga", ix(3), ICON_Y, 0),
    row("HUD-InvIconA.tga", ix(4), ICON_Y, 0), row("HUD-InvIconB.tga", ix(4), ICON_Y, 1),
    row("HUD-InvIconC.tga", ix(4), ICON_Y, 0),
    row("Skillicon-SkillsC.tga", ix(5), ICON_Y, 32), row("Skillicon-SkillsA.tga", ix(5), ICON_Y, 33),
    row("Skillicon-SkillsB.tga", ix(5), ICON_Y, 0),
};

ScreenButton Hud_buttons[HUD_NUM_ROWS];
HudHotButton Hud_hot[5][HUD_NUM_HOT];
int Hud_level_index = -1;
int Hud_target_word = -1;

namespace {
// Click machine states.
enum { IDLE, HELD_LEFT, HELD_RIGHT, HELD_HOT, DRAGGING, GAME_OVER };
constexpr int ROW_BAR = 0, ROW_FRAME = 1, ROW_PORTRAIT = 6, ROW_SELECTED = 11, ROW_LEVELUP = 16, ROW_PORT_HOVER = 20;
constexpr int ROW_PAUSE = 30, ROW_HOT_AREA = 39, ROW_NONCOMBAT = 40, ROW_COMBAT = 43;
// The first row of each three-row icon group: drawn while nothing hovers.
constexpr int ICON_GROUPS[] = {ROW_NONCOMBAT, ROW_COMBAT, 46, 49, 52, 55, 58};

struct Portrait {
  int member = -1;
  int hero = 0;
  int state = 0;
  GameTimestamp flash;
};

struct Hud {
  int state = IDLE;
  int hovered_row = -1;
  int pressed_row = -1;
  int hovered_hot = -1;
  int pressed_hot = -1;
  int flashing_hot = -1;
  GameTimestamp flash_time;
  Portrait portraits[FRONT_MAX_PARTY];
  int portrait_count = 0;
  bool drag = false;
  int drag_x = 0, drag_y = 0, drag_w = 0, drag_h = 0;
  bool drag_skill = false;
  int drag_value = 0;
  GameTimestamp game_over_time;
  int portrait_under_mouse = -1;
  bool portrait_clicked = false;
  float anim_clock = 0.0f;
} g_hud;

bool on_world_map() { return Hud_level_index == HUD_WORLD_MAP_LEVEL; }

bool row_hidden_by_kind(int r) {
  const int k = Hud_rows[r].kind;
  return ((k & HUD_NOT_MAP) && on_world_map()) || ((k & HUD_NOT_NETWORKED) && game_is_networked());
}

void toggle_screen(int id) { set_screen(screen_get_current() == id ? SCREEN_HUD : id, nullptr); }

uint8_t Inventory_mode_normal = 0;
uint8_t Inventory_mode_skill = 1;
uint8_t Save_mode_save = 1;
uint8_t Save_mode_load = 0;

void select_member(int slot) {
  if (slot < 0 || slot >= g_hud.portrait_count) return;
  front().party_select(g_hud.portraits[slot].member);
}

void end_target_wait() {
  if (Hud_target_word == 0 || Hud_target_word == 2) Hud_target_word = -1;
}

void ask_solo() {
  static const char* const yes_no[] = {"Yes", "No"};
  const bool solo = game_flags_test(GF_SOLO);
  MessagePopup("Solo mode", solo ? "Leave solo mode?" : "Enter solo mode?", -1, -1, 2, yes_no, [](int b) {
    if (b == 0) {
      if (game_flags_test(GF_SOLO)) game_flags_clear(GF_SOLO);
      else game_flags_set(GF_SOLO);
    }
    return 0;
  }, POPUP_PAUSES);
  front_play_sound(42);
}

void warn(const char* title, const char* text) {
  static const char* const ok[] = {"OK"};
  MessagePopup(title, text, -1, -1, 1, ok, nullptr, POPUP_PAUSES);
}

void save_checked() {
  switch (front().save_allowed()) {
    case SAVE_ALLOWED: set_screen(SCREEN_SAVE_LOAD, &Save_mode_save); return;
    case SAVE_IN_COMBAT: warn("Warning", "Cannot save in combat."); return;
    case SAVE_NOT_HERE: {
      const char* name = front().level_display_name();
      char text[POPUP_TEXT_MAX + 1];
      if (!name || std::strcmp(name, "unknown") == 0) std::snprintf(text, sizeof text, "Cannot save here.");
      else std::snprintf(text, sizeof text, "Cannot save in %s.", name);
      warn("Warning", text);
      return;
    }
    case SAVE_SUMMON: warn("Warning", "Cannot save during summon."); return;
    default: warn("Warning", "Cannot save now."); return;
  }
}

void use_hot(int slot) {
  const int sel = front().party_selected();
  if (sel < 0 || sel >= 5 || slot < 0 || slot >= HUD_NUM_HOT) return;
  const HudHotButton& h = Hud_hot[sel][slot];
  if (!h.in_use) {
    front_play_sound(36);
    return;
  }
  if (h.is_skill && !front().skill_usable(h.value)) {
    front_play_sound(36);
    return;
  }
  if (screen_get_current() != SCREEN_HUD) set_screen(SCREEN_HUD, nullptr);
  if (!h.is_skill) {
    front_play_sound(front().cast_spell(static_cast<int>(h.value)) ? 35 : 36);
    return;
  }
  switch (h.value) {
    case SKILL_APPRAISE:
      // The inventory lists what is left to appraise and hands the skill its item.
      set_screen(SCREEN_INVENTORY, &Inventory_mode_skill);
      front_play_sound(35);
      return;
    case SKILL_PICK_LOCK:
      // The portrait clicked next names the member who picks.
      Hud_target_word = 2;
      front_play_sound(39);
      return;
    default: front_play_sound(front().use_skill(h.value) ? 35 : 36); return;
  }
}

void refresh_portraits() {
  FrontServices& f = front();
  const int n = std::min(f.party_count(), FRONT_MAX_PARTY);
  int slot = 0;
  for (int i = 0; i < n && slot < FRONT_MAX_PARTY; i++) {
    const FrontPartyMember m = f.party_member(i);
    if (!m.name) continue;
    Portrait& p = g_hud.portraits[slot];
    ScreenButton& b = Hud_buttons[ROW_PORTRAIT + slot];
    if (p.member != i || p.hero != m.hero_kind || b.bitmap < 0) {
      p.member = i;
      p.hero = m.hero_kind;
      char name[64];
      std::snprintf(name, sizeof name, "%s%02d-%s", "hud-charportrait", m.hero_kind, ui_art_suffix());
      const int bm = bm_load(name);
      b.bitmap = bm >= 0 && !bm_is_placeholder(bm) ? bm : -1;
      int w = 0, h = 0;
      if (b.bitmap >= 0) bm_get_size(b.bitmap, &w, &h);
      b.w = ui_scaled(w), b.h = ui_scaled(h);
    }
    b.flags = (b.flags & ~SB_HIDDEN) | SB_DRAWN;
    Hud_buttons[ROW_FRAME + slot].flags = SB_DRAWN;
    Hud_buttons[ROW_SELECTED + slot].flags = f.party_selected() == i ? SB_DRAWN : 0;
    if (slot < 4) Hud_buttons[ROW_LEVELUP + slot].flags = m.level_up && m.local ? SB_DRAWN : 0;
    Hud_buttons[ROW_PORT_HOVER + 2 * slot].flags &= ~SB_HIDDEN;
    Hud_buttons[ROW_PORT_HOVER + 2 * slot + 1].flags &= ~SB_HIDDEN;
    if (m.hp <= 0) p.state = 5;
    else if (p.flash.is_valid() && !p.flash.elapsed()) p.state = 2;
    else if (m.hp_max > 0 && m.hp < 0.2 * m.hp_max) p.state = 4;
    else p.state = 0;
    slot++;
  }
  g_hud.portrait_count = slot;
  for (; slot < FRONT_MAX_PARTY; slot++) {
    g_hud.portraits[slot] = Portrait{};
    Hud_buttons[ROW_PORTRAIT + slot].flags = SB_HIDDEN;
    Hud_buttons[ROW_FRAME + slot].flags = 0;
    Hud_buttons[ROW_SELECTED + slot].flags = 0;
    if (slot < 4) Hud_buttons[ROW_LEVELUP + slot].flags = 0;
    Hud_buttons[ROW_PORT_HOVER + 2 * slot].flags |= SB_HIDDEN;
    Hud_buttons[ROW_PORT_HOVER + 2 * slot + 1].flags |= SB_HIDDEN;
  }
}

void refresh_icons() {
  const bool ready = front().party_combat_ready();
  for (int r = ROW_NONCOMBAT; r < ROW_NONCOMBAT + 3; r++) Hud_buttons[r].flags = (Hud_buttons[r].flags & ~SB_HIDDEN) | (ready ? SB_HIDDEN : 0);
  for (int r = ROW_COMBAT; r < ROW_COMBAT + 3; r++) Hud_buttons[r].flags = (Hud_buttons[r].flags & ~SB_HIDDEN) | (ready ? 0 : SB_HIDDEN);
  for (int g : ICON_GROUPS) Hud_buttons[g].flags |= SB_DRAWN;
  Hud_buttons[ROW_PAUSE].flags |= SB_DRAWN;
  Hud_buttons[ROW_HOT_AREA].flags |= SB_DRAWN;
}

int exit_callback(int button) {
  if (button == 0) front().exit_accept();
  else front().exit_refuse();
  return 0;
}
int refusal_callback(int) {
  front().exit_refuse();
  return 0;
}

void check_exit_prompt() {
  FrontServices& f = front();
  if (!f.exit_pending() || popup_is_open() || game_flags_test(GF_PARTY_DEAD)) return;
  static const char* const ok[] = {"OK"};
  static const char* const yes_no[] = {"Yes", "No"};
  switch (f.exit_leave_state()) {
    case LEAVE_ENEMIES:
      MessagePopup("Cannot Leave", "Hostile monsters nearby", -1, -1, 1, ok, refusal_callback, POPUP_PAUSES);
      return;
    case LEAVE_SPREAD_OUT:
      MessagePopup("Cannot Leave", "Party members too far away", -1, -1, 1, ok, refusal_callback, POPUP_PAUSES);
      return;
    default: {
      const char* target = f.exit_target_name();
      char text[POPUP_TEXT_MAX + 1];
      if (on_world_map()) {
        if (target) std::snprintf(text, sizeof text, "Enter %s?", target);
        else std::snprintf(text, sizeof text, "Enter location?");
      } else {
        if (target) std::snprintf(text, sizeof text, "Exit to %s?", target);
        else std::snprintf(text, sizeof text, "Exit level?");
      }
      MessagePopup("New Area", text, -1, -1, 2, yes_no, exit_callback, POPUP_PAUSES);
      return;
    }
  }
}

// The first slot holding content under the mouse, -1 none.
int hot_under_mouse() {
  const int sel = front().party_selected();
  if (sel < 0 || sel >= 5) return -1;
  if (!screen_button_hit(Hud_buttons[ROW_HOT_AREA], Screen_mouse.x, Screen_mouse.y)) return -1;
  for (int s = 0; s < HUD_NUM_HOT; s++) {
    if (!Hud_hot[sel][s].in_use) continue;
    int x, y, w, h;
    hud_hot_rect(s, &x, &y, &w, &h);
    if (point_in_rect(Screen_mouse.x, Screen_mouse.y, x, y, w, h)) return s;
  }
  return -1;
}

const char* row_tip(int r, char* buf, size_t size) {
  if (r >= ROW_PORT_HOVER && r < ROW_PAUSE) {
    const int slot = (r - ROW_PORT_HOVER) / 2;
    if (slot >= g_hud.portrait_count) return nullptr;
    const FrontPartyMember m = front().party_member(g_hud.portraits[slot].member);
    std::snprintf(buf, size, "%s\nHP: %d/%d\nAP: %d/%d", m.name, m.hp, m.hp_max, m.ap, m.ap_max);
    return buf;
  }
  if (r >= 40 && r <= 42) return "Enter combat mode";
  if (r >= 43 && r <= 45) return "Leave combat mode";
  if (r >= 46 && r <= 48) return "Character status";
  if (r >= 49 && r <= 51) return "Spells";
  if (r >= 52 && r <= 54) return "Quest journal";
  if (r >= 55 && r <= 57) return "Inventory";
  if (r >= 58 && r <= 60) return "Skills";
  return nullptr;
}

void run_row_action(int pressed) {
  switch (pressed) {
    case 21: case 23: case 25: case 27: case 29: {
      const int slot = (pressed - 21) / 2;
      if (Hud_target_word == 2) {
        select_member(slot);
        front_play_sound(front().use_skill(SKILL_PICK_LOCK) ? 35 : 36);
      } else {
        g_hud.portrait_clicked = true;
        if (slot < g_hud.portrait_count) g_hud.portrait_under_mouse = g_hud.portraits[slot].member;
      }
      break;
    }
    case 32: hud_toggle_pause(); front_play_sound(38); break;
    case 34: set_screen(SCREEN_GAME_MENU, nullptr); front_play_sound(35); break;
    case 36: toggle_screen(SCREEN_AUTOMAP); front_play_sound(39); break;
    case 38: ask_solo(); break;
    case 42: case 45: front().party_toggle_combat(); front_play_sound(39); break;
    case 48: set_screen(SCREEN_STATUS, nullptr); front_play_sound(35); break;
    case 51: toggle_screen(SCREEN_SPELLS); front_play_sound(39); break;
    case 54: set_screen(SCREEN_JOURNAL, nullptr); front_play_sound(35); break;
    case 57: set_screen(SCREEN_INVENTORY, &Inventory_mode_normal); front_play_sound(35); break;
    case 60: toggle_screen(SCREEN_SKILLS); front_play_sound(39); break;
    default: break;
  }
  end_target_wait();
}

int handle_key(int key) {
  const bool single = game_is_single_player();
  const bool map = on_world_map();
  switch (key) {
    case KEY_ESC:
      if (Hud_target_word == 0 || Hud_target_word == 2) {
        Hud_target_word = -1;
      } else {
        set_screen(SCREEN_GAME_MENU, nullptr);
        front_play_sound(35);
      }
      return 0;
    case 2: case 3: case 4: case 5: case 6: case 7:
      if (map) return 0;
      g_hud.flashing_hot = key - 2;
      g_hud.flash_time.set(100);
      use_hot(key - 2);
      return 0;
    case KEY_TAB:
      if (!map) party_select_next(false);
      return 0;
    case KEY_TAB | KEY_SHIFTED:
      if (!map) party_select_next(true);
      return 0;
    case 16:
      if (single) { set_screen(SCREEN_JOURNAL, nullptr); front_play_sound(35); }
      return 0;
    case 19: set_screen(SCREEN_STATUS, nullptr); front_play_sound(35); return 0;
    case 23: set_screen(SCREEN_INVENTORY, &Inventory_mode_normal); front_play_sound(35); return 0;
    case KEY_ENTER:
      if (single && !map) { front().party_toggle_combat(); front_play_sound(39); }
      return 0;
    case 31:
      if (!map) { toggle_screen(SCREEN_SKILLS); front_play_sound(39); }
      return 0;
    case 35:
      if (!map) ask_solo();
      return 0;
    case 45: front_play_sound(35); return 0;  // the nearest object, once the world offers one
    case 46:
      if (!map) { toggle_screen(SCREEN_SPELLS); front_play_sound(39); }
      return 0;
    case 50: toggle_screen(SCREEN_AUTOMAP); front_play_sound(39); return 0;
    case KEY_SPACEBAR: case KEY_NUMLOCK: hud_toggle_pause(); front_play_sound(38); return 0;
    case KEY_F1: set_screen(SCREEN_HELP, nullptr); return 0;
    case KEY_F1 + 1: set_screen(SCREEN_OPTIONS, nullptr); return 0;
    case KEY_F1 + 2:
      if (single) save_checked();
      return 0;
    case KEY_F1 + 3:
      if (single) set_screen(SCREEN_SAVE_LOAD, &Save_mode_load);
      return 0;
    case 63: case 64: case 65: case 66: case 67: select_member(key - 63); return 0;
    case 31 | KEY_CTRLED:
      if (single) { hud_quick_save(); front_play_sound(35); }
      return 0;
    case 38 | KEY_CTRLED:
      if (single) { hud_quick_load(); front_play_sound(35); }
      return 0;
    default: return key;
  }
}

int idle(int key) {
  if (g_hud.drag) {
    g_hud.state = DRAGGING;
    return key;
  }
  const ScreenMouse& m = Screen_mouse;
  g_hud.hovered_row = -1;
  for (int r = 0; r < HUD_NUM_ROWS; r++) {
    const int k = Hud_rows[r].kind;
    if (row_hidden_by_kind(r) || (Hud_buttons[r].flags & SB_HIDDEN) || !(k & (HUD_LEFT | HUD_RIGHT))) continue;
    if (!screen_button_hit(Hud_buttons[r], m.x, m.y)) continue;
    Hud_buttons[r].flags |= SB_HIGHLIGHT;
    g_hud.hovered_row = r;
    if (m.left_pressed && (k & HUD_LEFT)) g_hud.state = HELD_LEFT, g_hud.pressed_row = r + 1;
    else if (m.right_pressed && (k & HUD_RIGHT)) g_hud.state = HELD_RIGHT, g_hud.pressed_row = r + 1;
    break;
  }
  g_hud.hovered_hot = hot_under_mouse();
  if (g_hud.hovered_hot >= 0 && m.left_pressed && g_hud.state == IDLE) {
    g_hud.state = HELD_HOT;
    g_hud.pressed_hot = g_hud.hovered_hot;
  }
  if (tooltip_ready() && g_hud.hovered_row >= 0) {
    char buf[64];
    const ScreenButton& b = Hud_buttons[g_hud.hovered_row];
    if (const char* tip = row_tip(g_hud.hovered_row, buf, sizeof buf)) tooltip_show(b.x, b.y, b.w, b.h, tip);
  }
  if (m.middle_pressed) front_play_sound(35);
  return handle_key(key);
}
}  // namespace

void hud_register() {
  ScreenOps o;
  o.level_init = hud_level_init;
  o.open = [](void*, bool) { hud_open(); };
  screen_register(SCREEN_HUD, o);
}

void hud_level_init() {
  screen_buttons_build(Hud_rows, HUD_NUM_ROWS, Hud_buttons);
  g_hud = Hud{};
  Hud_target_word = -1;
  refresh_portraits();
  refresh_icons();
  landmarks_hud_level_start();
}

void hud_open() {
  g_hud.drag = false;
  g_hud.game_over_time.invalidate();
  g_hud.flash_time.invalidate();
  g_hud.state = game_flags_test(GF_PARTY_DEAD) ? GAME_OVER : IDLE;
  g_hud.flashing_hot = -1;
  screen_set_character(-1);
}

int hud_bar_height() { return Hud_buttons[ROW_BAR].h; }
int hud_click_state() { return g_hud.state; }
int hud_portrait_count() { return g_hud.portrait_count; }
int hud_portrait_state(int slot) {
  return slot >= 0 && slot < FRONT_MAX_PARTY ? g_hud.portraits[slot].state : 0;
}

bool hud_mouse_over(int x, int y) {
  if (Hud_hidden) return false;
  for (int r = 0; r < HUD_NUM_ROWS; r++) {
    const ScreenButton& b = Hud_buttons[r];
    if (!(b.flags & (SB_DRAWN | SB_HIGHLIGHT)) || row_hidden_by_kind(r)) continue;
    if (screen_button_hit(b, x, y)) return true;
  }
  return false;
}

void hud_drag_begin(int x, int y, int w, int h, bool is_skill, int value) {
  g_hud.drag = true;
  g_hud.drag_x = x, g_hud.drag_y = y, g_hud.drag_w = w, g_hud.drag_h = h;
  g_hud.drag_skill = is_skill;
  g_hud.drag_value = value;
}
void hud_drag_cancel() { g_hud.drag = false; }

void hud_clear_pending_buttons() {
  if (g_hud.state == HELD_LEFT || g_hud.state == HELD_RIGHT || g_hud.state == HELD_HOT) g_hud.state = IDLE;
  g_hud.pressed_row = -1;
  g_hud.pressed_hot = -1;
  g_hud.portrait_clicked = false;
}
bool hud_dragging() { return g_hud.drag; }

void hud_hot_rect(int slot, int* x, int* y, int* w, int* h) {
  const int r = ui_resolution();
  *x = HOT_X[r] + (slot % 3) * HOT_STEP[r];
  *y = HOT_Y[r] + (slot / 3) * HOT_STEP[r];
  *w = *h = HOT_SIZE[r];
}

void hud_bar_rects(int slot, int* x, int* y, int* w, int* hp_fill, int* ap_fill, int* bar_h) {
  const ScreenButton& frame = Hud_buttons[ROW_FRAME + slot];
  // Under the frame, in the 640 layout's places grown with the screen.
  *x = frame.x + ui_layout_scaled(2);
  *y = frame.y + ui_layout_scaled(50);
  *w = ui_layout_scaled(44);
  *bar_h = ui_layout_scaled(5);
  *hp_fill = *ap_fill = 0;
  if (slot < 0 || slot >= g_hud.portrait_count) return;
  const FrontPartyMember m = front().party_member(g_hud.portraits[slot].member);
  auto fill = [&](int v, int max) { return max > 0 ? std::clamp(v, 0, max) * *w / max : 0; };
  *hp_fill = fill(m.hp, m.hp_max);
  *ap_fill = fill(m.ap, m.ap_max);
}

void hud_toggle_pause() {
  if (in_ui_mode()) leave_ui_mode();
  else enter_ui_mode(0, 0);
}

int hud_count_saves(const char* dir) {
  int n = 0;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::filesystem::path& p = it->path();
    std::string ext = p.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
    if (ext != ".sav") continue;
    std::string stem = p.stem().string();
    std::transform(stem.begin(), stem.end(), stem.begin(), ::tolower);
    // The quick-save file is overwritten, not added, so it takes no slot.
    if (stem == "quicksave") continue;
    n++;
  }
  return n;
}

void hud_quick_save() {
  static const char* const ok[] = {"OK"};
  switch (front().save_allowed()) {
    case SAVE_ALLOWED: break;
    case SAVE_IN_COMBAT: MessagePopup("Quick save", "Cannot save in combat.", -1, -1, 1, ok, nullptr, 0); return;
    case SAVE_NOT_HERE: MessagePopup("Quick save", "Cannot save in this area.", -1, -1, 1, ok, nullptr, 0); return;
    case SAVE_SUMMON:
      MessagePopup("Quick save", "Cannot save while summon is emerging.", -1, -1, 1, ok, nullptr, 0);
      return;
    default: MessagePopup("Quick save", "Cannot save now.", -1, -1, 1, ok, nullptr, 0); return;
  }
  if (hud_count_saves(front().save_dir()) >= 32) {
    MessagePopup("Quick save", "No more savegame slots.", -1, -1, 1, ok, nullptr, 0);
    return;
  }
  char name[64];
  std::snprintf(name, sizeof name, "quicksave%s", ".sav");
  if (front().save_write(name, "Quick save")) {
    hud_message("Quick save succesful.");
  } else {
    MessagePopup("Quick save", "Error during quick save.", -1, -1, 1, ok, nullptr, POPUP_PAUSES);
  }
}

int hud_portrait_clicked() { return g_hud.portrait_clicked ? g_hud.portrait_under_mouse : -1; }

void hud_quick_load() {
  char name[64];
  std::snprintf(name, sizeof name, "quicksave%s", ".sav");
  front().save_load(name);
}

int hud_process_input(int key) {
  screen_buttons_clear_highlight(Hud_buttons, HUD_NUM_ROWS);
  if (g_hud.flash_time.is_valid()) {
    g_hud.flash_time.invalidate();
    g_hud.flashing_hot = -1;
  }
  g_hud.portrait_under_mouse = -1;
  g_hud.portrait_clicked = false;
  refresh_portraits();
  refresh_icons();
  if (in_ui_mode()) g_hud.anim_clock += FrameTimer;
  check_exit_prompt();
  const int cur = screen_get_current();
  if (cur == SCREEN_CONTAINER || cur == SCREEN_GAME_MENU || cur == SCREEN_TEXT_BOX) return key;
  if (popup_is_open()) return key;
  if (cur == SCREEN_HUD && landmarks_hud_key(key)) return 0;
  if (game_flags_test(GF_PARTY_DEAD) && g_hud.state != GAME_OVER) {
    g_hud.state = GAME_OVER;
    g_hud.game_over_time.set(3000);
  }
  const ScreenMouse& m = Screen_mouse;
  switch (g_hud.state) {
    case IDLE: key = idle(key); break;
    case HELD_LEFT:
    case HELD_RIGHT: {
      const int p = g_hud.pressed_row;
      const bool on = p >= 0 && p < HUD_NUM_ROWS && point_in_rect(m.x, m.y, Hud_buttons[p].x, Hud_buttons[p].y,
                                                                  Hud_buttons[p].w, Hud_buttons[p].h);
      if (on) Hud_buttons[p].flags |= SB_HIGHLIGHT;
      const bool held = g_hud.state == HELD_LEFT ? m.left_down : m.right_down;
      if (held) break;
      if (on) {
        if (g_hud.state == HELD_LEFT) {
          run_row_action(p);
        } else if (p >= 21 && p <= 29 && (p % 2) == 1) {
          select_member((p - 21) / 2);
          set_screen(SCREEN_STATUS, nullptr);
          front_play_sound(35);
        }
      }
      end_target_wait();
      g_hud.state = IDLE;
      break;
    }
    case HELD_HOT: {
      int x, y, w, h;
      hud_hot_rect(g_hud.pressed_hot, &x, &y, &w, &h);
      const bool on = point_in_rect(m.x, m.y, x, y, w, h);
      g_hud.flashing_hot = on ? g_hud.pressed_hot : -1;
      if (m.left_down) break;
      if (on) use_hot(g_hud.pressed_hot);
      g_hud.state = IDLE;
      break;
    }
    case DRAGGING:
      if (m.left_down) break;
      {
        const int sel = front().party_selected();
        for (int s = 0; s < HUD_NUM_HOT && sel >= 0 && sel < 5; s++) {
          int x, y, w, h;
          hud_hot_rect(s, &x, &y, &w, &h);
          if (!point_in_rect(m.x, m.y, x, y, w, h)) continue;
          for (HudHotButton& other : Hud_hot[sel])
            if (other.in_use && other.is_skill == g_hud.drag_skill && other.value == g_hud.drag_value) other = {};
          Hud_hot[sel][s] = {1, static_cast<uint8_t>(g_hud.drag_skill ? 1 : 0), g_hud.drag_value};
          break;
        }
      }
      g_hud.drag = false;
      g_hud.state = IDLE;
      break;
    case GAME_OVER:
      if (key != 0 && g_hud.game_over_time.is_valid() && g_hud.game_over_time.elapsed()) {
        game_state_request(GS_TITLE);
        return 0;
      }
      break;
  }
  if (Hud_target_word == 0) {
    for (int slot = 0; slot < g_hud.portrait_count; slot++)
      if (screen_button_hit(Hud_buttons[ROW_PORT_HOVER + 2 * slot], m.x, m.y))
        g_hud.portrait_under_mouse = g_hud.portraits[slot].member;
  }
  return key;
}

void hud_render() {
  int cx, cy, cw, ch;
  gr_get_clip(&cx, &cy, &cw, &ch);
  gr_reset_clip();
  landmarks_hud_render();
  for (int r = 0; r < HUD_NUM_ROWS; r++) {
    const ScreenButton& b = Hud_buttons[r];
    if (!(b.flags & (SB_DRAWN | SB_HIGHLIGHT)) || (b.flags & SB_HIDDEN) || row_hidden_by_kind(r)) continue;
    // An icon group shows its hover or pressed image instead of the normal one.
    bool covered = false;
    for (int g : ICON_GROUPS)
      if (r == g && (Hud_buttons[g + 1].flags & SB_HIGHLIGHT || Hud_buttons[g + 2].flags & SB_HIGHLIGHT)) covered = true;
    if (covered) continue;
    if (Hud_rows[r].kind & HUD_PORTRAIT) {
      const int st = g_hud.portraits[r - ROW_PORTRAIT].state;
      float red = 1, green = 1, blue = 1;
      if (st == 5) red = green = blue = 0.35f;
      else if (st == 2 || st == 4) { green = blue = 0.4f; ui_pulse_color(&green, &blue, &blue, 0.25f); }
      else if (st == 3) { blue = 0.6f; }
      gr_set_color(static_cast<int>(red * 255), static_cast<int>(green * 255), static_cast<int>(blue * 255), 255);
    } else {
      gr_set_color_rec(Ui_white);
    }
    ui_draw_bitmap_scaled(b.bitmap, b.x, b.y);
  }
  for (int slot = 0; slot < g_hud.portrait_count; slot++) {
    int x, y, w, hp, ap, h;
    hud_bar_rects(slot, &x, &y, &w, &hp, &ap, &h);
    ui_fill_rect(x, y, hp, h, Color(110, 0, 0, 255));
    ui_fill_rect(x, y + h + ui_layout_scaled(2), ap, h, Color(10, 23, 115, 255));
  }
  const int sel = front().party_selected();
  if (!g_hud.drag && sel >= 0 && sel < 5) {
    for (int s = 0; s < HUD_NUM_HOT; s++) {
      const HudHotButton& hb = Hud_hot[sel][s];
      if (!hb.in_use) continue;
      int x, y, w, h;
      hud_hot_rect(s, &x, &y, &w, &h);
      const bool lit = s == g_hud.flashing_hot || s == g_hud.hovered_hot;
      // A skill or spell that cannot be used now is greyed.
      const bool grey = hb.is_skill ? !front().skill_usable(hb.value) : !front().spell_usable(hb.value);
      ui_fill_rect(x, y, w, h,
                   lit ? Color(212, 165, 51, 255) : grey ? Color(90, 90, 90, 255) : Color(110, 138, 177, 255));
      char label[16];
      std::snprintf(label, sizeof label, "%d", hb.value);
      gr_set_color_rec(Ui_white);
      gr_string(x + 2, y + 2, label);
    }
  }
  if (g_hud.state == GAME_OVER && g_hud.game_over_time.is_valid() && g_hud.game_over_time.elapsed()) {
    const char* text = "Game Over.  Press any key to continue";
    int w = 0, h = 0;
    gr_get_string_size(&w, &h, text);
    gr_set_color_rec(Ui_white);
    gr_string((gr_screen_width() - w) / 2, gr_screen_height() / 3, text);
  }
  gr_set_clip(cx, cy, cw, ch);
}

void hud_render_overlay() {
  if (!g_hud.drag) return;
  ui_fill_rect(Screen_mouse.x - g_hud.drag_w / 2, Screen_mouse.y - g_hud.drag_h / 2, g_hud.drag_w, g_hud.drag_h,
               Color(212, 165, 51, 160));
}
