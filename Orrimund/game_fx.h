#pragma once
// The game effects in the running game: the effect layer under them, the
// entity code's effect hooks, the cast effect of a cast move and the AI's
// cast state, installed once the gameplay state's own hooks are in place.
struct SceneEffect;

void game_fx_install();
// The scene pass's view of the effects in play.
int game_fx_scene_effects(SceneEffect* out, int capacity);
