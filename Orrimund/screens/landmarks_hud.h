#pragma once
// The world map's landmarks as the HUD shows them.
void landmarks_hud_level_start();
// True when the key was the landmarks' "L" on the world map (consumed).
bool landmarks_hud_key(int key);
void landmarks_hud_render();
