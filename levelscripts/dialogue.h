#pragma once
// The dialogue runtime around a conversation: the hero's approach to the
// person, the dialogue camera's steps in and out, showing a picked topic's
// lines in the speaker panel, offering the next choices, and the end with
// or without the merchant's trade screen. The game's screens and camera
// are hooks, so the runtime runs headless.
#include <cstdint>

enum DialogueState { DIALOGUE_IDLE = 0, DIALOGUE_WAITING = 1, DIALOGUE_SHOWING = 2, DIALOGUE_STARTING = 3 };

// The approach's time limit and distances.
constexpr int DIALOGUE_APPROACH_MS = 4000;
constexpr float DIALOGUE_NEAR_ENOUGH = 0.75f;
constexpr float DIALOGUE_STAND_OFF = 0.2f;
constexpr float DIALOGUE_CAMERA_START = 0.675f;

struct DialogueHooks {
  // Screen 13 with the speaker's name, and its close.
  void (*open_box)(const char* speaker) = nullptr;
  void (*close_box)() = nullptr;
  // The merchant's screen for the person; false when the level has no
  // shopkeeper of that name.
  bool (*open_trade)(const char* person) = nullptr;
  // The game camera's view saved, brought back, and mixed toward the
  // framing of hero and person by weight (0 the game's view, 1 the framing).
  void (*camera_save)() = nullptr;
  void (*camera_restore)() = nullptr;
  void (*camera_blend)(float weight, int hero, int person, float height) = nullptr;
  int (*camera_mode)() = nullptr;  // dcamera: 0 always, 1 never, 2 important persons only
  uint32_t (*now_ms)() = nullptr;
};
void dialogue_set_hooks(const DialogueHooks& hooks);

// Starts a conversation with the person (its entity handle, -1 none).
// -1 when conversation_begin refuses it.
int dialogue_start(const char* person, int entity);
// The hero's orders dropped first, as a click or a script starts one.
int dialogue_start_from_player(const char* person, int entity);
void dialogue_end(bool open_trade);
bool dialogue_is_idle();
int dialogue_state();
// Each gameplay frame: -1 while idle, 1 in the frame the dialogue became
// idle, else 0.
int dialogue_do_frame();
// The player has read the shown text: the choices, or the end.
void dialogue_advance();
// The player picked an offered topic.
void dialogue_choose(int topic);
// The current person's flags allow Escape and the close box.
bool dialogue_may_abort();
// Whether the text shown waits for a reply (the "more" link steps on) or
// the choices are due.
bool dialogue_choices_shown();
int dialogue_camera_step();
