#pragma once
// The game effects in the running game: the effect layer under them, the
// entity code's effect hooks, the cast effect of a cast move and the AI's
// cast state, installed once the gameplay state's own hooks are in place.
struct SceneEffect;

void game_fx_install();
// The scene pass's view of the effects in play.
int game_fx_scene_effects(SceneEffect* out, int capacity);
struct LevelDynLight;
// The lights the effects' light channels shine with now.
int game_fx_light_channels(LevelDynLight* out, int capacity);
