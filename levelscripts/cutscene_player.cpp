#include "levelscripts/cutscene_player.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

#include "quarn/os/console.h"
#include "quarn/vfile/readstream.h"
#include "quarn/vfile/vfile.h"

CutscenePlayer Cutscene_player;

namespace {

CutscenePlayerHooks Hooks;

float track_start(const CutscenePlayer& p) {
  return p.current_track > 0 ? p.tracks.tracks[p.current_track - 1].end : 0.0f;
}

void start_track_events(CutscenePlayer& p, const CutsceneRecord& r) {
  const int track = p.current_track;
  if (track == 0 && Hooks.fade_now) Hooks.fade_now(r.fade_count > 0 && r.fades[0].kind == CUTSCENE_FADE_IN);
  for (int i = 0; i < r.timed_effect_count; i++) {
    const CutsceneEffectEntry& e = r.timed_effects[i];
    if (e.track > track) break;
    if (e.track == track) p.timed_effects[i] = Hooks.effect_start ? Hooks.effect_start(e) : -1;
  }
  for (int i = 0; i < r.timed_effect_count; i++) {
    const CutsceneEffectEntry& e = r.timed_effects[i];
    if (p.timed_effects[i] < 0 || e.length <= 0 || e.track + e.length > track) continue;
    console_printf("Stopping render of effect\n");
    if (Hooks.effect_stop_drawing) Hooks.effect_stop_drawing(p.timed_effects[i]);
  }
  for (int i = 0; i < r.timed_sound_count; i++) {
    if (r.timed_sounds[i].track > track) break;
    if (r.timed_sounds[i].track == track && Hooks.sound_play) Hooks.sound_play(r.timed_sounds[i]);
  }
}

}  // namespace

void cutscene_player_set_hooks(const CutscenePlayerHooks& hooks) { Hooks = hooks; }

void cutscene_player_release() {
  Cutscene_player.record = nullptr;
  Cutscene_player.tracks.count = 0;
  Cutscene_player.tracks.end_time = 0.0f;
  Cutscene_player.current_track = -1;
  Cutscene_player.fade_index = 0;
  Cutscene_player.track_changed = false;
  Cutscene_player.elapsed = Cutscene_player.frame_step = 0.0f;
  Cutscene_player.time_offset = Cutscene_player.end_time = -1.0f;
  for (int32_t& h : Cutscene_player.timed_effects) h = -1;
  if (Cutscene_player.stream_path_type >= 0) vfile_remove_path_type(Cutscene_player.stream_path_type);
  Cutscene_player.stream_path_type = -1;
}

bool cutscene_load_record(const CutsceneRecord* record) {
  CutscenePlayer& p = Cutscene_player;
  cutscene_player_release();
  if (!record || !record->name) return false;
  char name[256];
  std::snprintf(name, sizeof name, "%s", record->name);
  constexpr char SUFFIX[] = "_cscript.tbl";
  const size_t n = std::strlen(name), s = sizeof SUFFIX - 1;
  if (n >= s && !strcasecmp(name + n - s, SUFFIX)) name[n - s] = '\0';
  char dir[300];
  std::snprintf(dir, sizeof dir, "data\\cutscenes\\%s", name);
  p.stream_path_type = vfile_add_path_type(dir, ".csc .mvf .vfx");
  if (p.stream_path_type < 0) {
    cutscene_player_release();
    return false;
  }
  campath_release_keys();
  for (int i = 0; i < record->stream_count; i++) {
    FileHandle fh;
    ReadStream rs;
    bool read = fh.open(record->streams[i], VF_READ, p.stream_path_type) == 0;
    if (read) {
      rs.open_file(&fh);
      read = cutscene_stream_read(rs, p.tracks);
    }
    if (!read) {
      console_printf("Cutscene %s: stream %s does not read\n", record->name, record->streams[i]);
      cutscene_player_release();
      campath_release_keys();
      return false;
    }
  }
  cutscene_player_begin(record);
  return true;
}

void cutscene_player_begin(const CutsceneRecord* record) {
  CutscenePlayer& p = Cutscene_player;
  p.record = record;
  p.time_offset = 0.0f;
  p.end_time = p.tracks.end_time;
  p.current_track = -1;
  p.fade_index = 0;
  p.elapsed = p.frame_step = 0.0f;
  for (int32_t& h : p.timed_effects) h = -1;
}

void cutscene_frame_camera(uint32_t now_ms) {
  CutscenePlayer& p = Cutscene_player;
  if (!p.record) return;
  p.track_changed = false;
  float remaining = 0.0f;
  if (p.current_track >= 0) {
    const float elapsed = static_cast<float>(now_ms - p.start_ms) * 0.001f;
    p.frame_step = elapsed - p.elapsed;
    p.elapsed = elapsed;
    remaining = p.tracks.tracks[p.current_track].end - p.time_offset - elapsed;
  }
  if (remaining > 0.0f) return;
  p.current_track++;
  if (p.current_track < p.tracks.count) {
    if (p.current_track == 0) {
      p.start_ms = now_ms;
      p.elapsed = 0.0f;
      campath_clock_start(now_ms, p.time_offset);
    }
    p.track_changed = true;
    if (Hooks.camera_track) Hooks.camera_track(&p.tracks.tracks[p.current_track]);
  } else if (Hooks.stop) {
    Hooks.stop();
  }
}

void cutscene_frame_events() {
  CutscenePlayer& p = Cutscene_player;
  if (!p.record || p.current_track < 0 || p.current_track >= p.tracks.count) return;
  const CutsceneRecord& r = *p.record;
  if (p.track_changed) start_track_events(p, r);
  // One fade at most starts a frame.
  if (p.fade_index < r.fade_count) {
    const CutsceneFadeEntry& f = r.fades[p.fade_index];
    if (f.track <= p.current_track && f.start <= p.time_offset + p.elapsed - track_start(p)) {
      if (Hooks.fade) Hooks.fade(f.kind, static_cast<int>(f.duration * 1000.0f));
      p.fade_index++;
    }
  }
  int fog = -1;
  for (int i = 0; i < r.fog_count && r.fogs[i].track <= p.current_track; i++) fog = i;
  if (fog >= 0 && Hooks.fog) Hooks.fog(r.fogs[fog].near_distance, r.fogs[fog].far_distance);
}
