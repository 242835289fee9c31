#pragma once
// The HUD: screen 0, the bar at the bottom of the gameplay view with the
// party's portraits and their hit and ability bars, the pause and menu
// buttons, the hot buttons of the selected hero and the icons that open the
// other screens. It also turns the gameplay keys into front-end actions,
// asks before the party leaves a level and runs quick save and quick load.
#include <cstdint>

#include "Orrimund/screens/screens.h"

constexpr int HUD_NUM_ROWS = 61;
constexpr int HUD_NUM_HOT = 6;
// Row kind bits.
constexpr int32_t HUD_LEFT = 1, HUD_RIGHT = 2, HUD_PORTRAIT = 4, HUD_LEVELUP = 8, HUD_NOT_NETWORKED = 16,
                  HUD_NOT_MAP = 32;
// The world-map level's number.
constexpr int HUD_WORLD_MAP_LEVEL = 4;

struct HudHotButton {
  uint8_t in_use = 0;
  uint8_t is_skill = 0;  // 1 skill, 0 spell
  int32_t value = 0;
};

extern const ScreenResource Hud_rows[HUD_NUM_ROWS];
extern ScreenButton Hud_buttons[HUD_NUM_ROWS];
// Hot buttons of each party member (the save image keeps them once it exists).
extern HudHotButton Hud_hot[5][HUD_NUM_HOT];
// The level in play (HUD_WORLD_MAP_LEVEL on the world map), set by the level.
extern int Hud_level_index;

void hud_register();
void hud_level_init();
void hud_open();
int hud_process_input(int key);
void hud_render();
void hud_render_overlay();
int hud_bar_height();
bool hud_mouse_over(int x, int y);
void hud_drag_begin(int x, int y, int w, int h, bool is_skill, int value);
void hud_drag_cancel();
// Forgets a press in progress (a party member was selected under it).
void hud_clear_pending_buttons();
bool hud_dragging();
int hud_click_state();

// Hot-button slot rectangle at the current resolution.
void hud_hot_rect(int slot, int* x, int* y, int* w, int* h);
// The portraits shown (party members in slot order).
int hud_portrait_count();
// The colour state of a portrait slot.
int hud_portrait_state(int slot);
// The bars of a portrait slot: filled widths of hit and ability points.
void hud_bar_rects(int slot, int* x, int* y, int* w, int* hp_fill, int* ap_fill, int* bar_h);
// Quick save and quick load as the keys run them.
void hud_quick_save();
void hud_quick_load();
// Counts "*.sav" files of a folder, the quick-save file left out.
int hud_count_saves(const char* dir);
// The party index of the portrait left-clicked this frame outside a
// member's pick, -1 when none: what is aimed at a creature takes him.
int hud_portrait_clicked();
// The spell-target selection word (-1 none).
extern int Hud_target_word;
// Pause or resume as the Space key does.
void hud_toggle_pause();
