#pragma once
// A hero's stat-screen pose: the status screen shows the member standing in
// the pose of his armour, light or heavy. The pose's animation lives in its
// own small arena only while the screen shows it; the party entity of the
// hero's type plays it on its own model and, once it is dropped, goes back
// to the pose the world gave it.
//
// One pose is loaded at a time: loading another hero's first drops the one
// before, as they share the arena.
struct Character_info;
class living_entity;

// Loads the pose (heavy or light) and gives it to the party entity of the
// type. In a networked game every move of a hero is loaded already, so the
// pose move's own animation is given to the current player's entity. The
// slot, or -1 when there is no pose to play (the entity keeps its own).
int charinfo_load_statscreen_anim(Character_info* hero, bool heavy);
// Drops the type's pose and marks the entity's pose as none. Nothing when
// the type has none loaded.
void charinfo_unload_statscreen_anim(Character_info* hero);
// The entity playing the pose now, or null.
living_entity* charinfo_statscreen_entity();
// Keeps the entity in its pose, before each drawing of it: a world frame
// gives the entity its own moves back. Moves the pose on by `seconds`, for
// a screen shown while the world (which otherwise steps every model) stands
// still; 0 while the world runs.
void charinfo_statscreen_advance(float seconds);
