#pragma once
// The cutscene's services in the running game: the HUD, the loading box,
// music and sounds, fog, the game camera, visibility, effects and the level
// change, wired into the cutscene module at start-up.

// Start-up: the hooks, and the cutscene table read.
void cutscene_install();
// The gameplay frame's cutscene step: the camera's track and the record's
// events, on the system clock.
void cutscene_gameplay_frame();
