#pragma once
// The cutscene player's two frame steps: the camera step moves from track
// to track on the system clock, the events step starts what the record ties
// to the current track (timed effects and sounds, fades, fog). The services
// it drives (screen fades, fog, the game camera, effects, sounds, stopping
// the cutscene) live above this layer and are hooks.
#include <cstdint>

#include "levelscripts/cutscene_stream.h"
#include "levelscripts/cutscene_table.h"

struct CutscenePlayerHooks {
  void (*fade)(int kind, int ms) = nullptr;  // CutsceneFadeKind over ms
  void (*fade_now)(bool black) = nullptr;    // black, or clear, at once
  void (*fog)(float near_distance, float far_distance) = nullptr;
  void (*camera_track)(CampathTrack* track) = nullptr;
  // A timed effect's handle (-1 when it cannot be made), and its drawing
  // switched off.
  int (*effect_start)(const CutsceneEffectEntry& entry) = nullptr;
  void (*effect_stop_drawing)(int handle) = nullptr;
  void (*sound_play)(const CutsceneSoundEntry& entry) = nullptr;
  // Past the last track.
  void (*stop)() = nullptr;
};
void cutscene_player_set_hooks(const CutscenePlayerHooks& hooks);

struct CutscenePlayer {
  const CutsceneRecord* record = nullptr;
  CutsceneTracks tracks;
  float time_offset = -1.0f, end_time = -1.0f;
  uint32_t start_ms = 0;
  int16_t current_track = -1;
  int16_t fade_index = 0;
  bool track_changed = false;
  float elapsed = 0.0f, frame_step = 0.0f;
  int32_t timed_effects[MAX_CUTSCENE_TIMED_EFFECTS];
  int32_t stream_path_type = -1;  // data\cutscenes\<name>, -1 none
};
extern CutscenePlayer Cutscene_player;

// Takes the record and its tracks (already read) and waits for the first
// camera step; time offset 0.
void cutscene_player_begin(const CutsceneRecord* record);
// Clears the record and tracks, offsets -1.0, effect handles -1, and
// removes the stream path type.
void cutscene_player_release();
// Registers "data\cutscenes\<name>" (the name without a trailing
// "_cscript.tbl") with ".csc .mvf .vfx", and reads the record's streams in
// order with the key pools emptied first. A folder that cannot be
// registered, or a stream that does not open or read, releases the player:
// false.
bool cutscene_load_record(const CutsceneRecord* record);
// The frame steps at the system clock's `now_ms`; nothing without a record.
void cutscene_frame_camera(uint32_t now_ms);
void cutscene_frame_events();
