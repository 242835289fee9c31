#include "Orrimund/dialogue_services.h"

#include <cstdio>

#include "Engine/Objects/living_entity.h"
#include "Engine/gameflags.h"
#include "Orrimund/control/game_camera.h"
#include "Orrimund/control/world_input.h"
#include "Orrimund/screens/buysell_screen.h"
#include "Orrimund/screens/screens.h"
#include "Orrimund/screens/text_box.h"
#include "levelscripts/conversation.h"
#include "levelscripts/dialogue.h"
#include "levelscripts/script_runner.h"
#include "quarn/os/console.h"

namespace {

char Speaker[64] = "";
char Merchant[64] = "";

// The dialogue camera rides the game camera's track: the game's view as the
// conversation began, mixed toward the framing of hero and person by the
// runtime's weight. The track ends (and the camera takes its saved view
// back) once the runtime restores the view with the weight down to 0.
struct DialogueCamera {
  bool saved = false, playing = false, restore_due = false;
  vector start_eye{0, 0, 0};
  matrix start_orient = matrix::from_angles(0, 0, 0);
  float weight = 0.0f, height = 0.0f;
  int hero = -1, person = -1;
} Cam;

bool sample_dialogue_view(void*, float, vector* eye, matrix* orient) {
  const living_entity* h = entity_from_handle(Cam.hero);
  const living_entity* p = entity_from_handle(Cam.person);
  vector to_eye = Cam.start_eye;
  matrix to_orient = Cam.start_orient;
  if (h && p) dialogue_view(h->pos, p->pos, Cam.height, Cam.start_eye, &to_eye, &to_orient);
  dialogue_view_blend(Cam.start_eye, Cam.start_orient, to_eye, to_orient, Cam.weight, eye, orient);
  return Cam.playing;
}

void camera_end() {
  if (Cam.playing && (game_camera.flags & CAM_TRACK) && game_camera.track.sample == sample_dialogue_view)
    game_camera.end_track(true);
  Cam = DialogueCamera{};
}

void close_box() {
  game_flags_clear(GF_CONVERSATION);
  if (screen_get_current() == SCREEN_TEXT_BOX) set_screen(SCREEN_HUD, nullptr);
}

}  // namespace

void dialogue_install() {
  text_box_register();
  DialogueHooks d;
  d.open_box = [](const char* speaker) {
    std::snprintf(Speaker, sizeof Speaker, "%s", speaker ? speaker : "");
    game_flags_set(GF_CONVERSATION);
    console_printf("Conversation with %s\n", Speaker);
    set_screen(SCREEN_TEXT_BOX, Speaker);
  };
  d.close_box = close_box;
  d.open_trade = [](const char* person) {
    const ShopkeeperRecord* shop = person ? shopkeeper_find(person) : nullptr;
    if (!shop) return false;
    std::snprintf(Merchant, sizeof Merchant, "%s", person);
    console_printf("Trade with %s\n", Merchant);
    // The shop's screen trades with the merchant it is given; without one
    // it would close at once.
    buysell_set_merchant_record(shop);
    return set_screen(SCREEN_BUY_SELL, Merchant);
  };
  d.camera_mode = [] { return Dialogue_camera_mode; };
  d.camera_save = [] {
    camera_end();
    Cam.saved = true;
    Cam.start_eye = game_camera.view_position;
    Cam.start_orient = game_camera.view_orientation;
  };
  d.camera_blend = [](float weight, int hero, int person, float height) {
    Cam.weight = weight;
    Cam.hero = hero;
    Cam.person = person;
    Cam.height = height;
    if (Cam.playing || !Cam.saved) return;
    Cam.playing = true;
    CameraTrack t;
    t.fov = game_camera.field_of_view * 3.14159265358979f;  // the camera divides by pi
    t.sample = sample_dialogue_view;
    game_camera.play_track(t);
  };
  // The end of a conversation brings the view back through the move-out;
  // the camera's own view returns when the weight has come down to 0.
  d.camera_restore = [] {
    if (Cam.playing && Cam.weight > 0.0f && !Cam.restore_due) {
      Cam.restore_due = true;
      return;
    }
    camera_end();
  };
  dialogue_set_hooks(d);

  WorldInputHooks w = world_input_hooks();
  w.conversation_exists = [](const char* name) { return conversation_find_person(name) >= 0; };
  w.conversation_start = [](const char* name) {
    const living_entity* e = entity_find_by_name(name);
    if (dialogue_start_from_player(name, e ? e->handle : -1) == 0) return true;
    game_flags_clear(GF_CONVERSATION);
    return false;
  };
  w.dialogue_idle = dialogue_is_idle;
  world_input_set_hooks(w);
}

void dialogue_gameplay_frame() { dialogue_do_frame(); }
