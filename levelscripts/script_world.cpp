#include "levelscripts/script_world.h"

#include "quarn/os/console.h"

ScriptWorld Script_world;

void script_world_reset() { Script_world = ScriptWorld(); }

void script_hud_message(const char* text) {
  if (Script_world.hud_message) Script_world.hud_message(text);
  else console_printf("%s\n", text);
}
