#include "Orrimund/cutscene_services.h"

#include "Engine/Objects/game_effects.h"
#include "Engine/Objects/summons.h"
#include "Engine/ai/boss_hooks.h"
#include "Engine/characterinfo/characterinfo.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/gameflags.h"
#include "Engine/gamesound/gamesnd.h"
#include "Engine/gamesound/sound.h"
#include "Engine/rendering/levelvis.h"
#include "Orrimund/control/game_camera.h"
#include "Orrimund/gameplay.h"
#include "Orrimund/gamestate.h"
#include "Orrimund/player/party.h"
#include "Orrimund/screens/screen_ui.h"
#include "Orrimund/screens/screens.h"
#include "levelscripts/cutscene.h"
#include "levelscripts/script_world.h"
#include "quarn/geom/effect_mem.h"
#include "quarn/gr/gr.h"
#include "quarn/os/timer.h"

namespace {

// The camera plays each cutscene track for as long as the cutscene runs;
// the player hands it the next one when the time comes.
bool sample_track(void* context, float dt, vector* position, matrix* orientation) {
  CampathTrack* t = static_cast<CampathTrack*>(context);
  campath_advance(*t, dt);
  *position = t->position();
  *orientation = t->orientation();
  return cutscene_running();
}

int effect_create(const CutsceneEffectEntry& e, bool) {
  if (!e.file) return -1;
  if (e.entity && *e.entity)
    if (living_entity* owner = entity_find_by_name(e.entity)) return fx_attach_to_entity(e.file, owner->handle, -1, -1, false, false);
  return fx_add_world_effect(e.file, 0);
}

int sound_start(const char* name, bool stream) {
  const int index = snd_load(name, 1.0f, 1.0f, 1.0f, 0, false);
  if (index < 0) return -1;
  return stream ? snd_stream_looping(index, 1.0f, 0.0f) : snd_play(index, 1.0f, 0.0f);
}

// The first living entity of a character kind, or the last one.
living_entity* living_of_kind(int kind, bool last) {
  living_entity* found = nullptr;
  living_entity* list = entity_live_list();
  for (living_entity* e = entity_first(list); e; e = entity_next(list, e)) {
    if (!e->character || e->character->kind != kind || (e->state & ES_DEAD)) continue;
    found = e;
    if (!last) break;
  }
  return found;
}

void rider_escape(int boss_type, bool last) {
  boss_set_stage(boss_type, 3);
  if (living_entity* rider = living_of_kind(boss_type, last)) boss_unlink_mount(rider);
}

void serpent_rider_animation(const char* animation) {
  living_entity* rider = living_of_kind(BOSS_SERPENT, false);
  if (!rider || !rider->character) return;
  const int move = charinfo_find_move_by_name(rider->character, animation);
  if (move < 0) return;
  for (int slot = SA_STAND; slot <= SA_READY; slot++) rider->anim[slot] = move;
}

void summon_effects_destroy() {
  living_entity* s = entity_from_handle(summon_current());
  if (s && (s->state & ES_OWN_MODEL)) fx_remove_entity_effects(s->handle);
}

}  // namespace

void cutscene_install() {
  CutsceneGameHooks g;
  g.level_name = [] { return static_cast<const char*>(LevelName); };
  g.loading_begin = loading_screen_begin;
  g.loading_step = loading_bar_step;
  g.loading_end = [] {
    loading_bar_finish();
    loading_screen_end();
  };
  g.hud_show = [](bool shown) { Hud_hidden = !shown; };
  g.fog_get = [](float* n, float* f) {
    *n = fog_get_near();
    *f = fog_get_far();
  };
  g.fog_set = fog_set;
  g.music_current = music_current;
  g.music_fade_out = music_fade_out;
  g.music_play = [](int track) { music_play(track, true); };
  g.sounds_stop_all = snd_stop_all;
  g.sound_track_start = [](const char* file) { return sound_start(file, true); };
  g.sound_fade_out = [](int channel, int ms) {
    if (ms > 0) snd_fade_out(channel, ms);
    else snd_stop(channel);
  };
  g.vsync = [](bool on) {
    if (gr_is_initialised()) gr_set_vsync(on);
  };
  g.camera_release_view = [] { game_camera.set_script_view(nullptr, nullptr); };
  g.camera_end_track = [] {
    if (game_camera.flags & CAM_TRACK) game_camera.end_track(true);
  };
  g.vis_override = [](bool on) {
    if (on) vis_override_begin();
    else vis_override_end();
  };
  g.vis_set = [](const char* const* names, int count) {
    vis_override_reset();
    for (int i = 0; i < count; i++) vis_override_add(names[i]);
  };
  g.effect_create = effect_create;
  g.effect_destroy = fx_destroy;
  g.start_level = [](const char* level, const char* script) {
    if (!start_level(level, script)) return false;
    game_state_request(GS_GAMEPLAY);
    return true;
  };
  g.request_state = game_state_request;
  g.ui_mode = [] { return game_flags_test(GF_UI_MODE); };
  g.fade_clear = [] {
    if (gr_is_initialised()) gr_fade_in(0);
  };
  g.effects_begin = [] {
    fx_cutscene_hide_others(effect_in_cutscene_pool);
    fx_kill_spell_effects();
  };
  g.effects_end = fx_cutscene_show_others;
  g.sounds_page_in = snd_load_used;
  g.sounds_clear_used = snd_clear_used_marks;
  g.effect_memory_reset = effects_release_cutscene_region;
  g.charinfo_after = charinfo_build_castable_spells;
  g.summon_effects_destroy = summon_effects_destroy;
  g.party_combat_ready = party_set_combat_ready;
  g.rider_escape = rider_escape;
  g.serpent_rider_animation = serpent_rider_animation;
  cutscene_set_game_hooks(g);

  CutscenePlayerHooks p = cutscene_default_player_hooks();
  p.fade = [](int kind, int ms) {
    if (!gr_is_initialised()) return;
    if (kind == CUTSCENE_FADE_IN) gr_fade_in(ms);
    else gr_fade_out(ms);
  };
  p.fade_now = [](bool black) {
    if (!gr_is_initialised()) return;
    if (black) gr_fade_out(0);
    else gr_fade_in(0);
  };
  p.camera_track = [](CampathTrack* t) {
    CameraTrack track;
    track.fov = campath_field_of_view(*t);
    track.context = t;
    track.sample = sample_track;
    campath_advance(*t, 0.0f);
    game_camera.play_track(track);
  };
  p.effect_stop_drawing = [](int handle) {
    if (game_effect* e = fx_get(handle)) e->flags |= OF_HIDDEN;
  };
  p.sound_play = [](const CutsceneSoundEntry& s) {
    if (s.name) sound_start(s.name, false);
  };
  cutscene_player_set_hooks(p);
  Script_world.camera_on_hero = [] {
    if (Selected_entity) game_camera.set_target(Selected_entity->handle);
  };
  Script_world.cutscene_play = [](const char* name) {
    cutscene_play(name);
    return cutscene_running();
  };
  cutscene_table_startup();
}

void cutscene_gameplay_frame() { cutscene_frame(static_cast<uint32_t>(timer_get(1000))); }
