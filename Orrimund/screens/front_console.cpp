// Developer commands of the front end: a look at the game clock (does the
// game stand still behind a menu?) and the way into the level picker.
#include <cstdio>

#include "Orrimund/gamestate.h"
#include "quarn/os/console.h"
#include "quarn/os/timer.h"

namespace {
ConsoleCommand cc_game_time("game_time", "Prints the game clock in milliseconds", [] {
  if (!Console_run && !Console_status) return;
  char line[64];
  std::snprintf(line, sizeof line, "Game clock: %d ms\n", static_cast<int>(timer_game_clock));
  console_output(line);
});

ConsoleCommand cc_level_picker("level_picker", "Opens the developer level picker", [] {
  if (Console_run) game_state_request(GS_DEV_LEVEL_PICKER);
});
}  // namespace
