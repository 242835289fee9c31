#include "Orrimund/screens/skills_screen.h"

#include <cstdio>
#include <cstring>

#include "Engine/Objects/living_entity.h"
#include "Engine/Objects/objects.h"
#include "Engine/characterinfo/skills.h"
#include "Engine/characterinfo/spells.h"
#include "Engine/gameflags.h"
#include "Orrimund/player/party.h"
#include "Orrimund/screens/hud.h"
#include "Orrimund/screens/popup.h"
#include "Orrimund/screens/screen_ui.h"
#include "Orrimund/screens/screens.h"
#include "Orrimund/screens/skill_use.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr_font.h"
#include "quarn/os/key.h"

namespace {
constexpr int HOVER = 1, HOVER_ICON = 3;
constexpr int NUM_TYPES = 16;
struct TypeRow {
  int kind;
  const char* name;
};
const TypeRow Types[NUM_TYPES] = {{0, "Spelllist-Ruvz"},       {1, "Spelllist-Zazr"},     {2, "Spelllist-Rivud"},
                                  {3, "Spelllist-Rvda"},       {4, "Spelllist-Golem"},    {144, "Spelllist-RedMin"},
                                  {176, "Spelllist-BldeZhorek"}, {164, "Spelllist-BlueImp"}, {192, "Spelllist-BlkElem"},
                                  {203, "Spelllist-BldElem"},  {202, "Spelllist-PoisElem"}, {204, "Spelllist-MstElem"},
                                  {185, "Spelllist-Wraith"},   {9, "Spelllist-JdeGlm"},   {205, "Spelllist-SpirLah"},
                                  {206, "Spelllist-CelSam"}};
const char* const Skill_icons[6] = {"Combat", "Stealth", "Creation", "Exam", "Weapons", "Spells"};
const char* const Spell_icons[6] = {"Heal", "Dark", "Energy", "Holy", "Fire", "Ice"};
const char* const Skill_frames[6] = {"Skilllist-Combat", "Skilllist-Stealth", "Skilllist-Creation",
                                     "Skilllist-Exam",   "Skilllist-Weapons", "Skilllist-Spells"};
const char* const Skill_titles[6] = {"Combat skills", "Stealth skills", "Creation skills",
                                     "Examination skills", "Weapon skills", "Spell skills"};
const char* const Spell_titles[6] = {"Heal spells", "Dark spells", "Energy spells",
                                     "Holy spells", "Fire spells", "Ice spells"};
constexpr int ICON_X[6][3] = {{27, 34, 43}, {73, 91, 117}, {119, 149, 190}, {165, 206, 264}, {211, 264, 338}, {257, 321, 411}};
constexpr int ICON_Y[3] = {91, 114, 146};

// Rows: 0 the roll-out, 1..16 the character types, 17/18 flip, 19/20 left,
// 21/22 right, 23.. three images per category, 41.. the list frames, 47/48
// close.
constexpr int ROW_TYPES = 1, ROW_FLIP = 17, ROW_LEFT = 19, ROW_RIGHT = 21, ROW_ICONS = 23, ROW_FRAMES = 41,
              ROW_CLOSE = 47, ROWS = 49;
constexpr int LIST_ROWS = 8;
constexpr int MAX_ENTRIES = 108;

struct Panel {
  bool spells = false;
  ScreenResource rows[ROWS];
  ScreenButton b[ROWS];
  int category = -1;
  int entries[MAX_ENTRIES] = {};
  int count = 0;
  int top = 0;
  int hovered_button = -1;
  int hovered_entry = -1;
  int pressed_entry = -1;
  int state = 0;  // 0 idle, 1 button held, 2 entry pressed, 3 entry lifted to the HUD
};
Panel Skills_panel, Spells_panel;

Panel& panel_of(bool spells) { return spells ? Spells_panel : Skills_panel; }

void build_rows(Panel& p) {
  const bool s = p.spells;
  ScreenResource* r = p.rows;
  r[0] = screen_row(s ? "Spells-Rollout" : "Skills-Rollout", 0, 0, 0, 0, 0, 0, 0);
  for (int i = 0; i < NUM_TYPES; i++)
    r[ROW_TYPES + i] = screen_row(Types[i].name, 50, 41, 63, 51, s ? 105 : 80, s ? 67 : 66, 0);
  r[ROW_FLIP] = screen_row("Icon-ArrwBRTHilite", 143, 23, 179, 29, s ? 225 : 229, s ? 36 : 37, HOVER);
  r[ROW_FLIP + 1] = screen_row("Icon-ArrwBRTPress", 143, 23, 179, 29, s ? 225 : 229, s ? 36 : 37, 0);
  r[ROW_LEFT] = screen_row("Icon-ArrwLFHilite", 17, 58, 21, 73, s ? 25 : 27, s ? 88 : 93, HOVER);
  r[ROW_LEFT + 1] = screen_row("Icon-ArrwLFPress", 17, 58, 21, 73, s ? 25 : 27, s ? 88 : 93, 0);
  r[ROW_RIGHT] = screen_row("Icon-ArrwRTHilite", 281, 58, 351, 73, s ? 446 : 450, s ? 88 : 93, HOVER);
  r[ROW_RIGHT + 1] = screen_row("Icon-ArrwRTPress", 281, 58, 351, 73, s ? 446 : 450, s ? 88 : 93, 0);
  for (int c = 0; c < 6; c++)
    for (int k = 0; k < 3; k++) {
      char name[48];
      std::snprintf(name, sizeof name, "%s%s%c.tga", s ? "Spellicon-" : "Skillicon-", s ? Spell_icons[c] : Skill_icons[c],
                    "ABC"[k]);
      r[ROW_ICONS + c * 3 + k] = screen_row(name, ICON_X[c][0], ICON_Y[0], ICON_X[c][1], ICON_Y[1], ICON_X[c][2],
                                            ICON_Y[2], k == 1 ? HOVER_ICON : 0);
    }
  for (int c = 0; c < 6; c++) r[ROW_FRAMES + c] = screen_row(Skill_frames[c], 75, 142, 94, 178, 166, 227, 0);
  r[ROW_CLOSE] = screen_row("Icon-CloseHilite", 277, 21, 346, 26, 443, 34, HOVER);
  r[ROW_CLOSE + 1] = screen_row("Icon-ClosePress", 277, 21, 346, 26, 443, 34, 0);
}

living_entity* character() { return Selected_entity; }

const char* entry_name(const Panel& p, int id) {
  if (p.spells) return id >= 0 && id < MAX_SPELLS && Spells[id].name ? Spells[id].name : "";
  return id >= 0 && id < NUM_SKILLS ? Skills[id].name : "";
}

const char* entry_description(const Panel& p, int id) {
  if (p.spells || id < 0 || id >= NUM_SKILLS) return "";
  const Skill_info& s = Skills[id];
  return s.active_description && *s.active_description ? s.active_description : s.description ? s.description : "";
}

void list_origin(const Panel& p, int* x, int* y) {
  const ScreenButton& f = p.b[ROW_FRAMES];
  *x = f.x + ui_scaled(10);
  *y = f.y + ui_scaled(8);
}

int list_width(const Panel& p) {
  const int w = p.b[ROW_FRAMES].w;
  return w > 0 ? w - ui_scaled(20) : ui_scaled(200);
}

// The rows of the list, whether filled or not: leaving them with an entry
// held lifts it.
bool over_list(const Panel& p, int mx, int my) {
  int x, y;
  list_origin(p, &x, &y);
  return point_in_rect(mx, my, x, y, list_width(p), LIST_ROWS * gr_font_select(-1));
}

// Aimed attack (17) and summon (27) are chosen on the roll-out only; they
// never go onto a hot button.
bool liftable(const Panel& p, int id) { return p.spells || (id != 17 && id != SKILL_ID_SUMMON); }

int entry_at(const Panel& p, int mx, int my) {
  int x, y;
  list_origin(p, &x, &y);
  const int fh = gr_font_select(-1);
  if (fh <= 0) return -1;
  for (int i = 0; i < LIST_ROWS && p.top + i < p.count; i++)
    if (point_in_rect(mx, my, x, y + i * fh, list_width(p), fh)) return p.top + i;
  return -1;
}

void choose_category(Panel& p, int category) {
  p.category = category;
  p.count = category >= 0 ? skills_category_entries(p.spells, category, character(), p.entries, MAX_ENTRIES) : 0;
  p.top = 0;
  p.hovered_entry = p.pressed_entry = -1;
}

// The icons and the character's background as the character stands.
void refresh(Panel& p) {
  living_entity* e = character();
  const int kind = e && e->character ? e->character->kind : -1;
  for (int i = 0; i < NUM_TYPES; i++) {
    ScreenButton& b = p.b[ROW_TYPES + i];
    b.flags = Types[i].kind == kind ? b.flags | SB_DRAWN : b.flags & ~SB_DRAWN;
  }
  for (int c = 0; c < 6; c++) {
    int none[1];
    const bool has = skills_category_entries(p.spells, c, e, none, 1) > 0;
    ScreenButton* icon = &p.b[ROW_ICONS + c * 3];
    icon[0].flags = has ? (icon[0].flags | SB_DRAWN) & ~SB_HIDDEN : (icon[0].flags & ~SB_DRAWN) | SB_HIDDEN;
    icon[1].flags = has ? icon[1].flags & ~SB_HIDDEN : icon[1].flags | SB_HIDDEN;
    icon[2].flags = c == p.category ? icon[2].flags | SB_DRAWN : icon[2].flags & ~SB_DRAWN;
  }
  for (int c = 0; c < 6; c++) {
    ScreenButton& f = p.b[ROW_FRAMES + c];
    f.flags = c == p.category ? f.flags | SB_DRAWN : f.flags & ~SB_DRAWN;
  }
}

void open_panel(Panel& p) {
  p.state = 0;
  p.hovered_entry = p.pressed_entry = -1;
  choose_category(p, skills_open_category(p.spells, p.category, character()));
  refresh(p);
}

bool use_entry(const Panel& p, int id) {
  if (p.spells) return spell_cast_from_screen(id, nullptr);
  return skill_use(id, nullptr, nullptr);
}

int hovered_button(Panel& p, int x, int y) {
  for (int i = 1; i < ROWS; i++) {
    const int kind = p.rows[i].kind;
    if ((kind == HOVER || kind == HOVER_ICON) && screen_button_hit(p.b[i], x, y)) return i;
  }
  return -1;
}

void press_button(Panel& p, int b) {
  if (b == ROW_FLIP) {
    set_screen(p.spells ? SCREEN_SKILLS : SCREEN_SPELLS, nullptr);
    front_play_sound(39);
  } else if (b == ROW_LEFT || b == ROW_RIGHT) {
    party_select_next(b == ROW_LEFT);
    open_panel(p);
  } else if (b == ROW_CLOSE) {
    set_screen(SCREEN_HUD, nullptr);
    front_play_sound(36);
  } else if (b >= ROW_ICONS && b < ROW_FRAMES) {
    choose_category(p, (b - ROW_ICONS) / 3);
    refresh(p);
    front_play_sound(37);
  }
}

int panel_input(Panel& p, int key) {
  screen_buttons_clear_highlight(p.b, ROWS);
  if (game_flags_test(GF_INPUT_LOCKED)) return key;
  const ScreenMouse& m = Screen_mouse;
  if (p.state == 1) {
    if (p.hovered_button >= 0 && screen_button_hit(p.b[p.hovered_button], m.x, m.y) && p.rows[p.hovered_button].kind == HOVER)
      p.b[p.hovered_button + 1].flags |= SB_HIGHLIGHT;
    if (!m.left_down) {
      p.state = 0;
      if (p.hovered_button >= 0 && screen_button_hit(p.b[p.hovered_button], m.x, m.y)) press_button(p, p.hovered_button);
    }
    return key;
  }
  if (p.state == 3) {
    // The HUD drops it on release; the screen only waits.
    if (!m.left_down) p.state = 0;
    return key;
  }
  if (p.state == 2) {
    const int held = p.pressed_entry;
    if (m.left_down && held >= 0 && held < p.count && !over_list(p, m.x, m.y) && liftable(p, p.entries[held])) {
      int x, y;
      list_origin(p, &x, &y);
      const int fh = gr_font_select(-1);
      hud_drag_begin(x, y + (held - p.top) * fh, list_width(p), fh, !p.spells, p.entries[held]);
      p.pressed_entry = -1;
      p.state = 3;
      return key;
    }
    if (!m.left_down) {
      p.state = 0;
      const int at = entry_at(p, m.x, m.y);
      if (at >= 0 && at == p.pressed_entry) {
        const int id = p.entries[at];
        if (use_entry(p, id)) front_play_sound(35);
        else front_play_sound(36);
      }
      p.pressed_entry = -1;
    }
    return key;
  }
  p.hovered_button = hovered_button(p, m.x, m.y);
  p.hovered_entry = entry_at(p, m.x, m.y);
  if (p.hovered_button >= 0) {
    p.b[p.hovered_button].flags |= SB_HIGHLIGHT;
    if (p.rows[p.hovered_button].kind == HOVER_ICON) {
      const int c = (p.hovered_button - ROW_ICONS) / 3;
      const ScreenButton& b = p.b[p.hovered_button];
      tooltip_show(b.x, b.y, b.w, b.h, p.spells ? Spell_titles[c] : Skill_titles[c]);
    }
    if (m.left_pressed) p.state = 1;
  } else if (p.hovered_entry >= 0 && m.left_pressed) {
    p.pressed_entry = p.hovered_entry;
    p.state = 2;
  }
  if (m.wheel && p.count > LIST_ROWS) {
    p.top += m.wheel < 0 ? 1 : -1;
    if (p.top < 0) p.top = 0;
    if (p.top > p.count - LIST_ROWS) p.top = p.count - LIST_ROWS;
  }
  if (key == KEY_ESC) {
    set_screen(SCREEN_HUD, nullptr);
    front_play_sound(36);
    return 0;
  }
  return key;
}

void panel_render(Panel& p) {
  screen_buttons_render(p.b, ROWS);
  int x, y;
  list_origin(p, &x, &y);
  const int fh = gr_font_select(-1);
  living_entity* e = character();
  for (int i = 0; i < LIST_ROWS && p.top + i < p.count; i++) {
    const int at = p.top + i;
    const int id = p.entries[at];
    const bool usable = p.spells ? spell_can_cast_from_screen(id, e) : skill_usable(id, e);
    gr_set_color_rec(at == p.hovered_entry || at == p.pressed_entry ? Ui_hover_color
                                                                     : usable ? Ui_text_color : Ui_disabled_color);
    gr_string(x, y + i * fh, entry_name(p, id));
  }
  if (p.hovered_entry >= 0 && p.hovered_entry < p.count) {
    const char* text = entry_description(p, p.entries[p.hovered_entry]);
    if (*text) {
      char wrapped[512];
      text_wrap(wrapped, text, list_width(p));
      gr_set_color_rec(Ui_text_color);
      int line = 0;
      for (char* s = wrapped; s && *s && line < 4; line++) {
        char* nl = std::strchr(s, '\n');
        if (nl) *nl = 0;
        gr_string(x, y + (LIST_ROWS + 1 + line) * fh, s);
        s = nl ? nl + 1 : nullptr;
      }
    }
  }
  if (p.category < 0) {
    gr_set_color_rec(Ui_disabled_color);
    gr_string(x, y, p.spells ? "No spells" : "No skills");
  }
}

void register_panel(bool spells) {
  Panel& p = panel_of(spells);
  p.spells = spells;
  build_rows(p);
  ScreenOps o;
  if (spells) {
    o.load = [] { screen_buttons_build(Spells_panel.rows, ROWS, Spells_panel.b); };
    o.open = [](void*, bool) { open_panel(Spells_panel); };
    o.input = [](int key) { return panel_input(Spells_panel, key); };
    o.render = [] { panel_render(Spells_panel); };
    o.hit_test = [](int x, int y) { return screen_button_hit(Spells_panel.b[0], x, y); };
    o.special = [] {
      open_panel(Spells_panel);
      return 0;
    };
  } else {
    o.load = [] {
      screen_buttons_build(Skills_panel.rows, ROWS, Skills_panel.b);
      skill_use_install();
    };
    o.open = [](void*, bool) { open_panel(Skills_panel); };
    o.input = [](int key) { return panel_input(Skills_panel, key); };
    o.render = [] { panel_render(Skills_panel); };
    o.hit_test = [](int x, int y) { return screen_button_hit(Skills_panel.b[0], x, y); };
    o.special = [] {
      open_panel(Skills_panel);
      return 0;
    };
  }
  screen_register(spells ? SCREEN_SPELLS : SCREEN_SKILLS, o);
}
}  // namespace

int skills_category_entries(bool spells, int category, living_entity* e, int* out, int capacity) {
  if (!e || category < 0 || category > 5) return 0;
  int n = 0;
  if (spells) {
    const int school = 28 + category;
    const float level = e->get_stat(school);
    if (!(level > 0.0f)) return 0;
    for (int s = 0; s < MAX_SPELLS && n < capacity; s++)
      if (Spells[s].name && spell_get_class(s) == category && Spells[s].skill <= level) out[n++] = s;
    return n;
  }
  // While the hero's summon lives, creation holds only its banishing.
  if (category == 2 && party_summon_lives() && e->get_stat(27) > 0.0f) {
    if (capacity > 0) out[n++] = 52;
    return n;
  }
  for (int s = 0; s < NUM_SKILLS && n < capacity; s++) {
    if (Skills[s].group != category || s == 52) continue;
    if (skill_is_summon(s) ? e->get_stat(27) > 0.0f && skill_summon_allowed(s) : e->get_stat(s) > 0.0f) out[n++] = s;
  }
  return n;
}

int skills_open_category(bool spells, int kept, living_entity* e) {
  int none[1];
  if (kept >= 0 && skills_category_entries(spells, kept, e, none, 1) > 0) return kept;
  for (int c = 0; c < 6; c++)
    if (skills_category_entries(spells, c, e, none, 1) > 0) return c;
  return -1;
}

void skills_screen_register() {
  register_panel(false);
  register_panel(true);
}
