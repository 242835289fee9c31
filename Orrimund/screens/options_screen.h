#pragma once
// The options screen (12): the music and sound volumes as sliders, applied
// while dragged, and the game's choices as rows of check boxes, worked on a
// copy of the options; accepting stores the copy and writes orrimund.cfg,
// cancelling puts the volumes back.
#include "Orrimund/gameoptions.h"

void options_screen_register();
// The slider value for a pointer `offset` pixels into a track `width` wide:
// tenths, the pointer clamped to the track.
float options_slider_value(int offset, int width);
// The screen's working copy (for tests).
const GameOptions& options_screen_copy();
