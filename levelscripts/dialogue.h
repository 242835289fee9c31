#pragma once
// The dialogue runtime around a conversation: the hero's approach to the
// person, the dialogue camera's steps in and out, showing a picked topic's
// lines in the speaker panel, offering the next choices, and the end with
// or without the merchant's trade screen. The game's screens and camera
// are hooks, so the runtime runs headless.
#include <cstdint>

#include "quarn/math/matrix.h"
#include "quarn/math/vector.h"

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
  // A talk move played by the speaker of a quoted line (-1 when it has
  // none), and whether it has finished; the entity's own moves when null.
  int (*talk_play)(int entity) = nullptr;
  bool (*talk_finished)(int entity, int move) = nullptr;
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

// The talk queue: speakers of quoted lines waiting for their line to come
// into view, then playing a talk move until it ends.
constexpr int DIALOGUE_TALK_QUEUE = 16;
int dialogue_talk_queued();
// The speaker at the head of the queue and whether its move plays (-1 none).
int dialogue_talk_head(bool* playing);

// The dialogue view: beside the line from the hero to the person, on the
// side the game camera already looks from, far enough back that both stand
// in view, above the camera height looking down at the point between their
// feet.
constexpr float DIALOGUE_VIEW_MIN_DISTANCE = 3.5f;
constexpr float DIALOGUE_VIEW_RISE = 1.0f;
void dialogue_view(const vector& hero, const vector& person, float height, const vector& camera, vector* eye,
                   matrix* orient);
// The game's view mixed toward the dialogue view by weight (0 the game's,
// 1 the dialogue's), eased in and out.
void dialogue_view_blend(const vector& from_eye, const matrix& from_orient, const vector& to_eye,
                         const matrix& to_orient, float weight, vector* eye, matrix* orient);
