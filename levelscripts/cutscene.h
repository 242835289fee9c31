#pragma once
// Playing a cutscene in the game: finding its record for the current level,
// putting the game into cutscene mode (HUD hidden, music faded, sounds
// stopped, the living entities' state remembered), loading its streams and
// script, and restoring all of it when the cutscene ends, is escaped or
// fails to load. The services of the layers above (HUD, loading screen,
// music, fog, camera, visibility, effects, the level change) are hooks.
#include <cstdint>

#include "levelscripts/cutscene_player.h"

struct CutsceneGameHooks {
  const char* (*level_name)() = nullptr;
  void (*loading_begin)(int steps) = nullptr;
  void (*loading_step)() = nullptr;
  void (*loading_end)() = nullptr;
  void (*hud_show)(bool shown) = nullptr;
  void (*fog_get)(float* near_distance, float* far_distance) = nullptr;
  void (*fog_set)(float near_distance, float far_distance) = nullptr;
  int (*music_current)() = nullptr;  // -1 none
  void (*music_fade_out)(int ms) = nullptr;
  void (*music_play)(int track) = nullptr;  // looping
  void (*sounds_stop_all)() = nullptr;
  // The record's sound track as a streamed sound: a channel, -1 when it
  // cannot be started.
  int (*sound_track_start)(const char* file) = nullptr;
  void (*sound_fade_out)(int channel, int ms) = nullptr;
  void (*vsync)(bool on) = nullptr;
  // The scripted camera view let go; the camera's track ended.
  void (*camera_release_view)() = nullptr;
  void (*camera_end_track)() = nullptr;
  void (*vis_override)(bool on) = nullptr;
  void (*vis_set)(const char* const* names, int count) = nullptr;
  // A persistent effect's handle (-1 when it cannot be made), and the
  // destruction of any effect handle.
  int (*effect_create)(const CutsceneEffectEntry& entry, bool persistent) = nullptr;
  void (*effect_destroy)(int handle) = nullptr;
  bool (*start_level)(const char* level, const char* script) = nullptr;
  void (*request_state)(int state) = nullptr;
  bool (*ui_mode)() = nullptr;
  void (*fade_clear)() = nullptr;
  // The game effects outside the cutscene's own pool hidden and the spell
  // effects killed as it starts; the hidden ones shown again as it ends.
  void (*effects_begin)() = nullptr;
  void (*effects_end)() = nullptr;
  // The sound table's used sounds paged in ahead, and their marks cleared.
  void (*sounds_page_in)() = nullptr;
  void (*sounds_clear_used)() = nullptr;
  // The pair of operations over the level's list: before and after.
  void (*level_list)(bool before) = nullptr;
  // After the cutscene: the effect memory it used given back, the
  // character-information refresh, the effects riding a summoned creature
  // that shows its own model destroyed, the party's combat-ready state.
  void (*effect_memory_reset)() = nullptr;
  void (*charinfo_after)() = nullptr;
  void (*summon_effects_destroy)() = nullptr;
  void (*party_combat_ready)(bool on) = nullptr;
  // A rider boss readied for its escape: combat stage 3, off its mount.
  void (*rider_escape)(int boss_type, bool last_of_type) = nullptr;
  // The serpent rider's four movement animations set to the named one.
  void (*serpent_rider_animation)(const char* animation) = nullptr;
};
void cutscene_set_game_hooks(const CutsceneGameHooks& hooks);
// Wires the player's frame hooks (camera, effects, fades, fog, stop) to the
// game hooks and the module's own stop; the glue adds the rest.
CutscenePlayerHooks cutscene_default_player_hooks();

// The value the cutscene puts in the global scale word while it plays.
extern float Cutscene_scale_word;

// Plays the named cutscene of the current level (or of "any" level). An
// unknown name does nothing. A record whose streams do not load leaves the
// game as it was before the call: HUD, music, scale word and loading screen
// are rolled back.
void cutscene_play(const char* name);
// Ends the running cutscene and restores the game; nothing outside a
// cutscene.
void cutscene_stop();
// Escape in a cutscene: the script characters waiting at the current
// track's synch jump to it, then the cutscene stops. False outside one.
bool cutscene_skip();
bool cutscene_running();
// The synch number of the running cutscene: the index of its current track
// (0 before the first one begins).
int cutscene_synch_number();
// From the start of a cutscene until its first events step or its stop the
// wait byte (Loading_icon_shown) is set: the gameplay frame draws the wait
// bitmap meanwhile.
// Starts the record's level with its script and plays the cutscene there.
void play_and_load_cutscene(const char* name);
// Run when the gameplay state starts: the pending cutscene of
// play_and_load_cutscene.
void cutscene_choose_escape();
const char* cutscene_pending_name();
// Both frame steps, with the system clock's now; nothing outside a
// cutscene or in UI mode.
void cutscene_frame(uint32_t now_ms);
// Reads "cutscenes.tbl" at start-up; a world without one has no cutscenes.
void cutscene_table_startup();

// The entity snapshot: entities remembered at the start of a cutscene.
int cutscene_snapshot_count();
