#include "Orrimund/dialogue_services.h"

#include <cstdio>

#include "Engine/Objects/living_entity.h"
#include "Engine/gameflags.h"
#include "Orrimund/control/world_input.h"
#include "Orrimund/screens/screens.h"
#include "Orrimund/screens/text_box.h"
#include "levelscripts/conversation.h"
#include "levelscripts/dialogue.h"
#include "levelscripts/script_runner.h"
#include "quarn/os/console.h"

namespace {

char Speaker[64] = "";
char Merchant[64] = "";

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
    if (!person || !shopkeeper_find(person)) return false;
    std::snprintf(Merchant, sizeof Merchant, "%s", person);
    console_printf("Trade with %s\n", Merchant);
    return set_screen(SCREEN_BUY_SELL, Merchant);
  };
  d.camera_mode = [] { return Dialogue_camera_mode; };
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
