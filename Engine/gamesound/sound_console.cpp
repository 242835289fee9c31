// Console commands for trying sounds by hand: play a wave file from disk as a
// stream, and stop it again.
#include <cstdio>

#include "Engine/gamesound/sound.h"
#include "quarn/os/console.h"

namespace {

int Console_sound = -1;
int Console_signature = -1;

void stop_console_sound() {
  if (Console_signature != -1 && snd_is_playing(Console_signature)) snd_stop(Console_signature);
  Console_signature = -1;
}

void cmd_play_sound() {
  console_get_arg(ARG_STRING);
  char name[CONSOLE_MAX_ARG + 8];
  std::snprintf(name, sizeof(name), "%s.wav", Console_arg.original);
  if (!snd_file_exists(name)) {
    console_printf("Unable to locate sound %s\n", name);
    return;
  }
  stop_console_sound();
  Console_sound = snd_load(name, 5.0f, 1.0f, 1.0f, 0, false);
  Console_signature = snd_stream(Console_sound, 1.0f, 0.0f);
}

ConsoleCommand Cc_play_sound("play_sound", "Streams a wav file from disk", cmd_play_sound);
ConsoleCommand Cc_stop_sound("stop_sound", "Stops all sounds that are playing", stop_console_sound);

}  // namespace
