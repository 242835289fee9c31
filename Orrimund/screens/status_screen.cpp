#include "Orrimund/screens/status_screen.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "Engine/Objects/inventory.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/Objects/statscreen_anim.h"
#include "Engine/ai/ai_component.h"
#include "Engine/characterinfo/experience.h"
#include "Engine/characterinfo/skills.h"
#include "Engine/gameflags.h"
#include "Orrimund/gamestate.h"
#include "Orrimund/player/party.h"
#include "Orrimund/screens/buysell_screen.h"
#include "Orrimund/screens/inventory_screen.h"
#include "Orrimund/screens/item_cameras.h"
#include "Orrimund/screens/model_view.h"
#include "Orrimund/screens/popup.h"
#include "Orrimund/screens/row_buttons.h"
#include "Orrimund/screens/screen_ui.h"
#include "Orrimund/screens/screen_net.h"
#include "Orrimund/screens/screens.h"
#include "Orrimund/screens/status_skills.h"
#include "quarn/gr/gr_font.h"
#include "quarn/os/key.h"
#include "quarn/os/timer.h"

namespace {
constexpr auto row = screen_row;
constexpr int ROWS = 21;
const ScreenResource Rows[ROWS] = {
    row("Skl-Bkgrnd", 0, 0, 0, 0, 0, 0, 0),
    row("Inv-Name-Ruvizo", 113, 48, 141, 60, 176, 76, 0),
    row("Inv-Name-Zazuru", 113, 48, 141, 60, 176, 76, 0),
    row("Inv-Name-Rivud", 113, 48, 141, 60, 176, 76, 0),
    row("Inv-Name-Rivadara", 113, 48, 141, 60, 176, 76, 0),
    row("Icon-ArrwLFHilite", 21, 23, 26, 29, 33, 35, ROW_CLICK),
    row("Icon-ArrwLFPress", 21, 23, 26, 29, 33, 35, 0),
    row("Icon-ArrwRTHilite", 295, 23, 369, 29, 471, 35, ROW_CLICK),
    row("Icon-ArrwRTPress", 295, 23, 369, 29, 471, 35, 0),
    row("Icon-ArrwLFHilite", 21, 61, 26, 76, 33, 95, ROW_CLICK),
    row("Icon-ArrwLFPress", 21, 61, 26, 76, 33, 95, 0),
    row("Icon-ArrwRTHilite", 295, 61, 369, 76, 471, 95, ROW_CLICK),
    row("Icon-ArrwRTPress", 295, 61, 369, 76, 471, 95, 0),
    row("Icon-ArrwUPHilite", 599, 95, 749, 119, 958, 152, ROW_REPEAT),
    row("Icon-ArrwUPPress", 599, 95, 749, 119, 958, 152, 0),
    row("Icon-ArrwDNHilite", 599, 213, 749, 266, 958, 341, ROW_REPEAT),
    row("Icon-ArrwDNPress", 599, 213, 749, 266, 958, 341, 0),
    row("Icon-ArrwBRTHilite", 83, 448, 104, 560, 133, 717, ROW_CLICK),
    row("Icon-ArrwBRTPress", 83, 448, 104, 560, 133, 717, 0),
    row("Icon-CloseHilite", 599, 19, 749, 24, 959, 31, ROW_CLICK),
    row("Icon-ClosePress", 599, 19, 749, 24, 959, 31, 0),
};
ScreenButton B[ROWS];
const char* const HERO_NAMES[4] = {"Ruvizo", "Zazuru", "Rivud", "Rivadara"};
constexpr int LIST_X[3] = {342, 428, 547}, LIST_Y[3] = {97, 121, 155}, LIST_W[3] = {250, 312, 400};
constexpr int LIST_ROWS[3] = {9, 11, 11};
constexpr int STATS_X[3] = {30, 38, 48}, STATS_Y[3] = {100, 125, 160}, STATS_W[3] = {270, 338, 432};
// The member's model, under the skills.
constexpr int MODEL_X[3] = {430, 538, 688}, MODEL_Y[3] = {280, 350, 448}, MODEL_W[3] = {160, 200, 256},
              MODEL_H[3] = {190, 238, 304};
constexpr const char* RESIST_NAMES[7] = {"Fire:", "Ice:", "Energy:", "Magic:", "Slashing:", "Piercing:", "Blunt:"};
// Damage classes of the resistance lines, in their order.
constexpr int RESIST_CLASSES[7] = {0, 1, 2, 3, 4, 5, 6};

struct Status {
  StatusSkills skills;
  int top = 0;
  int state = 0;  // 0 idle, 1 button held, 3 behaviour menu, 4 raise or lower held, 5 chain-key menu
  RowPress press;
  int control_row = -1;
  int menu_row = -1;  // the chain row the chain-key menu binds
  bool raising = false;
  int target = SCREEN_HUD;  // where leaving goes after the question
  bool owns_ui_mode = false;
  bool forget_on_close = true;
  Character_info* posed = nullptr;  // whose stat-screen pose is loaded
  uint32_t pose_clock = 0;          // real-clock ms of the pose's last step
} g;

int res() { return ui_resolution(); }
living_entity* member() { return screen_member_entity(screen_get_character()); }
PlayerRecord* record() {
  living_entity* e = member();
  return e ? party_find_member(e->handle) : nullptr;
}

void build() {
  g.skills = StatusSkills{};
  g.top = 0;
  living_entity* e = member();
  PlayerRecord* r = record();
  if (!e || !r) return;
  model_view_page_worn(e, screen_get_character());
  // The member stands in the pose of the armour he wears.
  if (g.posed && g.posed != e->character) charinfo_unload_statscreen_anim(g.posed);
  g.posed = charinfo_load_statscreen_anim(e->character, entity_wears_heavy_armour(e)) >= 0 ? e->character : nullptr;
  g.pose_clock = timer_get(1000);
  StatusSkillSource sources[NUM_STATS];
  int n = 0;
  for (int i = 0; i < r->skill_count && n < NUM_STATS; i++) {
    const int s = r->skills[i].skill;
    if (s < 0 || s >= NUM_STATS) continue;
    sources[n++] = {s, r->skills[i].min_level, e->stats[s], e->has_stat(s) ? e->get_stat(s) : -1.0f};
  }
  int chains[MAX_STATUS_SKILL_ROWS];
  const int chain_count = status_chain_skills(party_chain_member(e), chains, MAX_STATUS_SKILL_ROWS);
  status_skills_build(g.skills, sources, n, e->level, chains, chain_count, game_is_networked());
}

// True when the applied skills were sent.
bool finish_leaving(bool apply) {
  living_entity* e = member();
  PlayerRecord* r = record();
  bool sent = false;
  if (e && r) {
    if (apply) {
      status_skills_apply(g.skills, e->stats, NUM_STATS);
      multi_send_skills(e);
      sent = true;
    } else {
      status_skills_return(g.skills, &r->unspent_skill_points);
    }
  }
  g.skills.changes = false;
  return sent;
}

// Leaves for `target` (the HUD, a neighbouring screen, or -1 for another
// member with `step`), asking first when points are pending.
int Step = 0;
void leave(int target, int step) {
  g.target = target;
  Step = step;
  auto go = [] {
    if (g.target < 0) {
      if (Step > 0) screen_next_character();
      else screen_prev_character();
      build();
      return;
    }
    if (g.target != SCREEN_HUD) g.forget_on_close = false;
    static uint8_t normal = 0;
    if (!set_screen(g.target, g.target == SCREEN_INVENTORY ? &normal : nullptr)) g.forget_on_close = true;
  };
  if (!g.skills.changes) {
    go();
    return;
  }
  static void (*then)() = nullptr;
  then = go;
  static const char* const yes_no[] = {"Yes", "No"};
  MessagePopup("Skills", "Accept changes to skills?", -1, -1, 2, yes_no, [](int b) {
    finish_leaving(b == 0);
    then();
    return 0;
  }, 0);
}

void act(int action) {
  const int vis = LIST_ROWS[res()];
  switch (action) {
    case 6: leave(SCREEN_INVENTORY, 0); front_play_sound(39); break;
    case 8: leave(game_is_single_player() ? SCREEN_JOURNAL : SCREEN_INVENTORY, 0); front_play_sound(39); break;
    case 10: leave(-1, -1); front_play_sound(40); break;
    case 12: leave(-1, 1); front_play_sound(40); break;
    case 14:
      if (g.top > 0) g.top--;
      front_play_sound(37);
      break;
    case 16:
      if (g.top < scroll_max_top(g.skills.count, vis)) g.top++;
      front_play_sound(37);
      break;
    case 18:
      // Beside the arrow; the list keeps itself on the screen.
      g.state = 3;
      choice_list_open(nullptr, B[17].x + ui_scaled(24), B[17].y, STATUS_BEHAVIOURS, Status_behaviour_names, 0,
                       nullptr, nullptr);
      front_play_sound(35);
      break;
    case 20: leave(SCREEN_HUD, 0); front_play_sound(36); break;
    default: break;
  }
}

void row_rect(int v, int* x, int* y, int* w, int* h) {
  const int fh = gr_font_select(-1);
  *x = LIST_X[res()], *y = LIST_Y[res()] + v * (fh + 2), *w = LIST_W[res()], *h = fh + 2;
}
// The raise and lower control at the right of a row: left half raises.
void control_rect(int v, int* x, int* y, int* w, int* h) {
  row_rect(v, x, y, w, h);
  *w = ui_scaled(30);
  *x = LIST_X[res()] + LIST_W[res()] - *w;
}

int status_input(int key) {
  screen_buttons_clear_highlight(B, ROWS);
  if (popup_is_open()) return key;
  if (!member()) {
    set_screen(SCREEN_HUD, nullptr);
    return 0;
  }
  const ScreenMouse& m = Screen_mouse;
  if (g.state == 3 || g.state == 5) {
    const int choice = choice_list_input(key);
    if (choice == CHOICE_NONE) return 0;
    living_entity* e = member();
    if (choice >= 0 && e) {
      if (g.state == 3) ai_set_behaviour(&e->ai, choice);
      else status_chain_bind(g.skills, g.menu_row, choice, party_chain_member(e));
    }
    g.state = 0;
    g.menu_row = -1;
    return 0;
  }
  if (g.state == 1) {
    bool done = false;
    const int action = row_press_frame(g.press, B, &done);
    if (done) g.state = 0;
    act(action);
    return 0;
  }
  if (g.state == 4) {
    if (m.left_down) return 0;
    g.state = 0;
    int x, y, w, h;
    control_rect(g.control_row - g.top, &x, &y, &w, &h);
    if (!point_in_rect(m.x, m.y, x, y, w, h)) return 0;
    PlayerRecord* r = record();
    living_entity* e = member();
    if (!r || !e) return 0;
    const bool done = g.raising ? status_skill_raise(g.skills, g.control_row, &r->unspent_skill_points,
                                                     xp_level_factor(e->level))
                                : status_skill_lower(g.skills, g.control_row, &r->unspent_skill_points);
    if (done) front_play_sound(35);
    return 0;
  }
  for (int i = 1; i < ROWS; i++) {
    if (!(Rows[i].kind & (ROW_CLICK | ROW_REPEAT)) || (B[i].flags & SB_HIDDEN) ||
        !screen_button_hit(B[i], m.x, m.y))
      continue;
    B[i].flags |= SB_HIGHLIGHT;
    if (m.left_pressed) {
      g.state = 1;
      act(row_press_begin(g.press, Rows, i));
    }
    break;
  }
  PlayerRecord* r = record();
  const int shown = std::min(LIST_ROWS[res()], g.skills.count - g.top);
  for (int v = 0; v < shown && g.state == 0 && m.left_pressed; v++) {
    const int i = g.top + v;
    if (g.skills.rows[i].kind != STATUS_ROW_RAISABLE) continue;
    if (!g.skills.changes && !(r && r->unspent_skill_points > 0)) continue;
    int x, y, w, h;
    control_rect(v, &x, &y, &w, &h);
    if (!point_in_rect(m.x, m.y, x, y, w, h)) continue;
    g.state = 4;
    g.control_row = i;
    g.raising = m.x < x + w / 2;
  }
  // A right press on a chain row: which key uses it in a fight.
  for (int v = 0; v < shown && g.state == 0 && m.right_pressed; v++) {
    if (g.skills.rows[g.top + v].kind != STATUS_ROW_CHAIN) continue;
    int x, y, w, h;
    row_rect(v, &x, &y, &w, &h);
    if (!point_in_rect(m.x, m.y, x, y, w, h)) continue;
    g.state = 5;
    g.menu_row = g.top + v;
    choice_list_open(nullptr, m.x, m.y, STATUS_CHAIN_KEYS, Status_chain_key_names, 0, nullptr, nullptr);
  }
  if (g.state != 0) return 0;
  switch (key) {
    case KEY_ESC: case 19: leave(SCREEN_HUD, 0); front_play_sound(36); return 0;
    case 16:
      if (game_is_single_player()) leave(SCREEN_JOURNAL, 0), front_play_sound(39);
      return 0;
    case 23: leave(SCREEN_INVENTORY, 0); front_play_sound(39); return 0;
    default: break;
  }
  if (m.wheel > 0) g.top = std::max(0, g.top - LIST_ROWS[res()]);
  else if (m.wheel < 0) g.top = std::min(scroll_max_top(g.skills.count, LIST_ROWS[res()]), g.top + LIST_ROWS[res()]);
  return 0;
}

void line(int x, int y, int w, const char* label, const char* value, const Color& c = Ui_white) {
  gr_set_color_rec(Ui_text_color);
  gr_string(x, y, label);
  int tw = 0, th = 0;
  gr_get_string_size(&tw, &th, value);
  gr_set_color_rec(c);
  gr_string(x + w - tw, y, value);
}

void thousands(uint32_t v, char* out, int size) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%u", v);
  const int n = static_cast<int>(std::strlen(digits));
  int o = 0;
  for (int i = 0; i < n && o < size - 2; i++) {
    if (i > 0 && (n - i) % 3 == 0) out[o++] = ',';
    out[o++] = digits[i];
  }
  out[o] = 0;
}

void status_render() {
  living_entity* e = member();
  PlayerRecord* r = record();
  const int rs = res();
  for (int i = 1; i <= 4; i++) B[i].flags &= ~SB_DRAWN;
  if (e)
    for (int i = 0; i < 4; i++)
      if (std::strcmp(e->get_name(), HERO_NAMES[i]) == 0) B[1 + i].flags |= SB_DRAWN;
  screen_buttons_render(B, ROWS);
  if (g.state == 1 && g.press.held >= 0 && (B[g.press.held].flags & SB_HIGHLIGHT))
    ui_draw_bitmap_scaled(B[g.press.held + 1].bitmap, B[g.press.held + 1].x, B[g.press.held + 1].y);
  if (!e) return;
  // The paused world steps no model: the pose is stepped here, by the real
  // clock (a multiplayer game's world steps it itself).
  const uint32_t now = timer_get(1000);
  charinfo_statscreen_advance(in_ui_mode() ? std::min(0.1f, static_cast<float>(now - g.pose_clock) / 1000.0f) : 0.0f);
  g.pose_clock = now;
  model_view_draw_member(Status_cameras, e, ModelViewRect{MODEL_X[rs], MODEL_Y[rs], MODEL_W[rs], MODEL_H[rs]});
  const int fh = gr_font_select(-1);
  const int x = STATS_X[rs], w = STATS_W[rs];
  int y = STATS_Y[rs];
  char v[64];
  std::snprintf(v, sizeof v, "%d", e->level);
  line(x, y, w, "Level:", v), y += fh + 2;
  thousands(e->experience, v, sizeof v);
  line(x, y, w, "Experience:", v), y += fh + 2;
  const uint32_t next = xp_for_level(e->level + 1);
  thousands(next > e->experience ? next - e->experience : 0, v, sizeof v);
  line(x, y, w, "To Next Level:", v), y += fh + 6;
  const int hp_max = e->get_max_points(0), ap_max = e->get_max_points(1);
  std::snprintf(v, sizeof v, "%d/%d", static_cast<int>(e->hp), hp_max);
  line(x, y, w, "Hit points:", v), y += fh + 2;
  ui_fill_rect(x, y, static_cast<int>(w * std::clamp(hp_max > 0 ? e->hp / hp_max : 0.0f, 0.0f, 1.0f)), 3,
               Color(200, 40, 40, 255));
  y += 6;
  std::snprintf(v, sizeof v, "%d/%d", static_cast<int>(e->ap), ap_max);
  line(x, y, w, "Action points:", v), y += fh + 2;
  ui_fill_rect(x, y, static_cast<int>(w * std::clamp(ap_max > 0 ? float(e->ap) / ap_max : 0.0f, 0.0f, 1.0f)), 3,
               Color(40, 80, 220, 255));
  y += 8;
  std::snprintf(v, sizeof v, "%d%%", static_cast<int>(std::lround(e->get_stat(2) * 1000.0f)));
  line(x, y, w, "Speed:", v), y += fh + 2;
  const item_instance* weapon = e->equipment[EQ_WEAPON];
  std::snprintf(v, sizeof v, "%d", weapon && weapon->info && weapon->info->type == ITEM_WEAPON ? weapon->info->weapon.damage : 0);
  line(x, y, w, "Damage:", v), y += fh + 2;
  std::snprintf(v, sizeof v, "%d", static_cast<int>(std::lround(100.0f * e->combat.get_armor_rating())));
  line(x, y, w, "Protection:", v), y += fh + 6;
  for (int i = 0; i < 7; i++) {
    float resist = e->get_resistance(RESIST_CLASSES[i]);
    if (i == 3) resist -= (e->get_stat(35) * 0.5f + e->level * 0.02f);
    std::snprintf(v, sizeof v, "%d%%", static_cast<int>(std::lround(resist * 100.0f)));
    line(x, y, w, RESIST_NAMES[i], v), y += fh + 2;
  }
  // The skills.
  const int shown = std::min(LIST_ROWS[rs], g.skills.count - g.top);
  for (int k = 0; k < shown; k++) {
    const StatusSkillRow& row = g.skills.rows[g.top + k];
    int rx, ry, rw, rh;
    row_rect(k, &rx, &ry, &rw, &rh);
    gr_set_color_rec(Ui_text_color);
    gr_string(rx, ry, row.skill >= 0 && row.skill < NUM_SKILLS && Skills[row.skill].name ? Skills[row.skill].name : "?");
    int cx, cy, cw, ch;
    control_rect(k, &cx, &cy, &cw, &ch);
    char value[16];
    std::snprintf(value, sizeof value, "%d", row.shown + row.pending);
    int tw = 0, th = 0;
    gr_get_string_size(&tw, &th, value);
    if (row.kind == STATUS_ROW_CHAIN) {
      // A chain row shows the key that uses it instead of a value.
      gr_get_string_size(&tw, &th, status_chain_key_of(party_chain_member(e), row.skill));
      gr_set_color_rec(Ui_hover_color);
      gr_string(cx + cw - tw, ry, status_chain_key_of(party_chain_member(e), row.skill));
      continue;
    }
    gr_set_color_rec(row.pending > 0 ? Ui_hover_color : Ui_white);
    gr_string(cx - tw - 6, ry, value);
    if (row.kind == STATUS_ROW_RAISABLE) {
      ui_fill_rect(cx, cy, cw / 2 - 1, ch - 2, Color(40, 90, 40, 255));
      ui_fill_rect(cx + cw / 2, cy, cw / 2 - 1, ch - 2, Color(90, 40, 40, 255));
      gr_set_color_rec(Ui_white);
      gr_string(cx + cw / 4 - 3, ry, "+");
      gr_string(cx + cw * 3 / 4 - 3, ry, "-");
    }
  }
  int ty = 0, th = 0;
  const int track_top = LIST_Y[rs] + ui_scaled(20), track_len = ui_scaled(90);
  if (scroll_thumb(g.top, g.skills.count, LIST_ROWS[rs], track_top, track_len, &ty, &th))
    scroll_thumb_draw(scroll_thumb_bitmap(), B[13].x + 2, ty, th);
  std::snprintf(v, sizeof v, "Skill points: %d", r ? r->unspent_skill_points : 0);
  gr_set_color_rec(Ui_hover_color);
  const int points_y = LIST_Y[rs] + LIST_ROWS[rs] * (fh + 2) + 8;
  gr_string(LIST_X[rs], points_y, v);
  // The member's active status effects, wrapped under the skills.
  std::string effects;
  for (int id = 0; id < NUM_STATUS_EFFECTS; id++) {
    if (!Status_names[id] || !e->has_status_effect(id)) continue;
    if (!effects.empty()) effects += ", ";
    effects += Status_names[id];
  }
  if (!effects.empty()) {
    char wrapped[512];
    text_wrap(wrapped, sizeof wrapped, ("Status: " + effects).c_str(), LIST_W[rs]);
    gr_set_color_rec(Ui_text_color);
    gr_string(LIST_X[rs], points_y + fh + 8, wrapped);
  }
  // The member's AI behaviour, beside the arrow that changes it.
  gr_set_color_rec(Ui_text_color);
  gr_string(B[17].x + ui_scaled(24), B[17].y + ui_scaled(2), status_behaviour_name(e->ai.behaviour));
  if (g.state == 3 || g.state == 5) choice_list_render();
}

void status_open(void*, bool) {
  g.state = 0;
  g.owns_ui_mode = false;
  g.forget_on_close = true;
  g.press = RowPress{};
  if (game_is_single_player() && !in_ui_mode()) {
    enter_ui_mode(0, 0);
    g.owns_ui_mode = true;
  }
  if (!member()) {
    set_screen(SCREEN_HUD, nullptr);
    return;
  }
  int active = 0;
  for (PlayerRecord* p = party_first(); p; p = party_next(p)) {
    living_entity* m = member_entity(p);
    active += m && !(m->state & (ES_DEAD | ES_AI_DISABLED));
  }
  for (int i : {9, 11}) {
    if (game_is_networked() || active < 2) B[i].flags |= SB_HIDDEN;
    else B[i].flags &= ~SB_HIDDEN;
  }
  build();
}

void status_close() {
  choice_list_close();
  // The question decided whether the points stay; without it they go back.
  // The others hear of the member's skills on every close; an apply here has
  // already sent them.
  if (!finish_leaving(g.skills.changes)) multi_send_skills(member());
  if (g.posed) charinfo_unload_statscreen_anim(g.posed);
  g.posed = nullptr;
  if (g.owns_ui_mode) leave_ui_mode();
  g.owns_ui_mode = false;
  if (g.forget_on_close) {
    screen_set_character(-1);
    buysell_set_merchant_record(nullptr);
  }
}
}  // namespace

void status_screen_register() {
  ScreenOps o;
  o.level_init = [] { screen_buttons_build(Rows, ROWS, B); };
  o.open = status_open;
  o.close = status_close;
  o.input = status_input;
  o.render = status_render;
  screen_register(SCREEN_STATUS, o);
}
