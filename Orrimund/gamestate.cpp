#include "Orrimund/gamestate.h"

#include "Engine/Objects/inventory.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/Objects/objects.h"
#include "Engine/gamesound/gamesnd.h"
#include "Engine/gamesound/sound.h"
#include "quarn/vfile/preload.h"
#include "Orrimund/gamewide.h"
#include "Orrimund/player/party.h"
#include "levelscripts/level_flags.h"
#include "levelscripts/savegame.h"
#include "Orrimund/screens/dev_dialogs.h"
#include "Orrimund/screens/front_states.h"
#include "Orrimund/screens/screens.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/gr/gr.h"
#include "quarn/os/console.h"
#include "quarn/os/key.h"
#include "quarn/os/mouse.h"
#include "quarn/os/os.h"
#include "quarn/os/timer.h"
#include "quarn/ui/ui.h"

int Mouse_x = 0, Mouse_y = 0, Mouse_z = 0;
int Mouse_prev_x = 0, Mouse_prev_y = 0;
uint8_t Loading_icon_shown = 0;

namespace {
// Where an operation has nothing to do but the row still needs one.
void empty_op() {}

// Rows whose screens belong to other parts of the game stay null here until
// their modules fill them in through game_state_set_ops:
// 4 gameplay; 5 help pages; 6 character-type list; 7 developer help text;
// 8 developer level picker; 10 multiplayer character select; 11 lobby chat;
// 12 lobby game list; 13 lobby create game; 14 lobby level select.
GameStateOps g_table[NUM_GAME_STATES] = {
    {nullptr, nullptr, nullptr},                   // 0 none
    {title_enter, title_frame, title_leave},       // 1 title and main menu
    {newgame_enter, newgame_frame, empty_op},      // 2 new game set-up
    {nullptr, nullptr, nullptr},                   // 3 quit
    {nullptr, nullptr, nullptr},                   // 4 gameplay
    {nullptr, nullptr, nullptr},                   // 5 help pages
    {nullptr, nullptr, nullptr},                   // 6 character-type list
    {nullptr, nullptr, nullptr},                   // 7 developer help text
    {nullptr, nullptr, nullptr},                   // 8 developer level picker
    {credits_enter, credits_frame, empty_op},      // 9 credits
    {nullptr, nullptr, nullptr},                   // 10 multiplayer character select
    {nullptr, nullptr, nullptr},                   // 11 lobby chat
    {nullptr, nullptr, nullptr},                   // 12 lobby game list
    {nullptr, nullptr, nullptr},                   // 13 lobby create game
    {nullptr, nullptr, nullptr},                   // 14 lobby level select
};

int g_current = 0;
int g_previous = 0;
int g_requested = 0;
uint8_t g_pending = 0;
int g_pause_depth = 0;

const GameStateOps* row(int state) {
  return state >= 0 && state < NUM_GAME_STATES ? &g_table[state] : nullptr;
}

void call(GameStateOp op) {
  if (op) op();
}

void take_mouse_snapshot() {
  mouse_frame();
  mouse_get_pos(&Mouse_x, &Mouse_y, &Mouse_z);
}

void end_of_frame() {
  const bool drawing = gr_is_initialised();
  if (drawing) {
    gr_reset_clip();
    overlays_draw(g_current);
    int x, y, z;
    mouse_get_pos(&x, &y, &z);
    if (Menu_cursor_shown) cursor_draw(x, y);
    if (g_current == GS_GAMEPLAY && Loading_icon_shown)
      gr_bitmap(Cursor_loading_icon, 291, 108, Gr_preset[1]);
  }
  Mouse_prev_x = Mouse_x;
  Mouse_prev_y = Mouse_y;
  if (game_flags_test(GF_SCREENSHOT)) {
    if (drawing) screenshot_write();
    game_flags_clear(GF_SCREENSHOT);
  }
  if (!game_flags_test(GF_SKIP_SWAP) && drawing) gr_flip();
  game_flags_clear(GF_SKIP_SWAP);
  snd_update();
}
}  // namespace

GameStateOps game_state_set_ops(int state, const GameStateOps& ops) {
  if (!row(state)) return {nullptr, nullptr, nullptr};
  const GameStateOps old = g_table[state];
  g_table[state] = ops;
  return old;
}

GameStateOps game_state_get_ops(int state) {
  return row(state) ? *row(state) : GameStateOps{nullptr, nullptr, nullptr};
}

void game_state_reset() {
  g_current = g_previous = g_requested = 0;
  g_pending = 0;
}

void game_state_request(int state) {
  g_requested = state;
  g_pending = 1;
}

int game_state_current() { return g_current; }
int game_state_previous() { return g_previous; }
int game_state_requested() { return g_requested; }
bool game_state_pending() { return g_pending != 0; }

void game_state_commit() {
  g_previous = g_current;
  g_current = g_requested;
  g_pending = 0;
}

int game_state_driver() {
  // An enter that requests another state sends the loop round again, so a
  // chain of states is crossed within one turn.
  while (g_pending) {
    if (const GameStateOps* r = row(g_current)) call(r->leave);
    game_state_commit();
    if (const GameStateOps* r = row(g_current)) call(r->enter);
  }
  if (time_frozen == 1) FrameTimer = 0.0f;
  else frametime_update();
  take_mouse_snapshot();
  if (game_is_networked()) {
    // (not built yet) packet-type counts reset and the network frame
  }
  if (preload_state() == PRELOAD_LOADING) preload_tick();
  console_poll_pipe();  // developer route: lines written to ORRIMUND_CONSOLE_FIFO
  if (const GameStateOps* r = row(g_current)) call(r->frame);
  dialog_list_sweep();  // closed developer dialogs destroyed
  end_of_frame();
  return g_current;
}

void main_loop(bool (*stop)()) {
  for (;;) {
    os_poll();
    if (game_state_driver() == GS_QUIT) break;
    if (stop && stop()) break;
  }
}

void enter_ui_mode(int a, int b) {
  (void)a;  // kept for the callers; the sound pause has one question to ask
  if (game_flags_test(GF_UI_MODE)) return;
  game_pause();
  game_clock2_hold();
  snd_pause_all(b != 0);  // streams (the music) only when asked
  game_flags_set(GF_UI_MODE);
  // (not built yet) in a networked game the host in state 10 sends the game status 1
}

void leave_ui_mode() {
  if (!game_flags_test(GF_UI_MODE)) return;
  game_resume();
  game_clock2_release();
  snd_resume_all();
  game_flags_clear(GF_UI_MODE);
  // (not built yet) in a networked game the host in state 10 sends the game status 0
}

int in_ui_mode() { return game_flags_test(GF_UI_MODE) ? 1 : 0; }

void lock_player_input() {
  // (not built yet) the frame's input record cleared
  game_flags_set(GF_INPUT_LOCKED);
}

void unlock_player_input() { game_flags_clear(GF_INPUT_LOCKED); }

int menu_frame_input() {
  if (!os_is_active()) {
    game_clock_hold();
    // Once the window is gone nothing can make it active again: waiting on
    // would hang the program instead of letting the main loop end.
    while (!os_is_active() && os_window_thread_running()) os_sleep(100);
    game_clock_release();
  }
  const int key = key_inkey();
  switch (key) {
    case KEYCODE_SCREENSHOT:
      game_flags_set(GF_SCREENSHOT);
      return 0;
    case KEYCODE_SHIFT_ESC:
      if (!game_is_networked()) game_state_request(GS_QUIT);
      else if (!in_ui_mode()) {
        // (not built yet) leave the networked game, as host or client
      }
      return 0;
    case KEYCODE_FLUSH_KEYS:
      key_flush();
      return 0;
    default:
      return key;
  }
}

int state_key_loop(void (*handler)(int key), bool to_ui) {
  int key;
  do {
    key = menu_frame_input();
    if (to_ui) key = ui_process(key, 0);  // the windows keep the keys they consume
    if (handler) handler(key);
  } while (handler && key != 0);
  return key;
}

void game_pause() {
  game_clock_hold();
  g_pause_depth++;
}

void game_resume() {
  // An extra resume must not release a hold someone else took.
  if (g_pause_depth == 0) return;
  game_clock_release();
  g_pause_depth--;
}

int game_pause_depth() { return g_pause_depth; }

void input_flush() {
  key_flush();
  mouse_flush();
}

void title_enter() {
  GameFlags = GF_SINGLE_PLAYER;
  cursor_set(Cursor_walk);
  music_play(music_find("Title"), true);
  input_flush();
  // (not built yet) travel destination cleared, level start mode 1
  front_title_enter();                                     // screen 14, the main menu
}

void title_frame() {
  Menu_cursor_shown = 1;
  if (gr_is_initialised()) gr_clear();
  front_title_frame();  // the key to the screen manager, then the screens rendered
}

void title_leave() { Menu_cursor_shown = 0; }

void newgame_enter() {
  music_play(music_find("Title"), true);
  party_free_all();
  objects_reset_all();
  living_entities_reset();
  party_inventory_clear();
  Party_inventory.gold = NEW_GAME_GOLD;
  savegame_layout();
  game_stage_reset_joins();
  item_reset_identification();
  GameFlags = (GameFlags & (GF_UI_MODE | GF_CUTSCENE_WAITS | GF_CUTSCENE_ON_ENTRY)) |
              (g_previous == GS_LOBBY_LEVEL_SELECT ? GF_NETWORKED : GF_SINGLE_PLAYER);
}

void newgame_frame() { game_state_request(GS_GAMEPLAY); }

void credits_enter() { set_screen(SCREEN_CREDITS, nullptr); }

void credits_frame() {
  Menu_cursor_shown = 0;
  if (gr_is_initialised()) {
    gr_reset_clip();
    gr_clear();
  }
  const int key = menu_frame_input();
  screen_process_input(key);
  if (gr_is_initialised()) screen_render();
}
