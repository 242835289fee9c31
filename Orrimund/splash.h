#pragma once
// The start-up splash: "combined.tga" fading in from black, shown for 505 ms
// of real time while the game goes on starting.
constexpr int SPLASH_MS = 505;
constexpr int SPLASH_FADE_MS = 500;

void splash_show();
