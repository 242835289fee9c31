#include "Engine/gamesound/gamesnd.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

#include "Engine/gamesound/sound.h"
#include "Engine/s3d/s3d.h"
#include "Engine/gameflags.h"
#include "quarn/bmpman/bmpman.h"
#include "quarn/math/floatops.h"
#include "quarn/os/console.h"
#include "quarn/os/error.h"
#include "quarn/os/stringpool.h"
#include "quarn/parse/parse.h"
#include "quarn/vfile/vfile.h"

MusicTrack Music_tracks[MAX_MUSIC_TRACKS];
int Num_music_tracks = 0;
int Hit_sounds[NUM_HIT_MATERIALS][NUM_HIT_MATERIALS];
uint8_t Feedback_first[MAX_FEEDBACK_HEROES * MAX_FEEDBACK_ACTIONS];
uint8_t Feedback_count[MAX_FEEDBACK_HEROES * MAX_FEEDBACK_ACTIONS];
uint8_t Feedback_chance[MAX_FEEDBACK_HEROES * MAX_FEEDBACK_ACTIONS];
int Feedback_sounds[MAX_FEEDBACK_SOUNDS];
int Num_feedback_sounds = 0;
int Surface_default = SURFACE_STONE;
int Num_surface_pairs = 0;

namespace {

StringPool Music_pool;
int Music_track = -1;
int Music_sound = -1;
int Music_signature = -1;
bool Music_loop = false;

struct SurfacePair {
  int bitmap;
  int kind;
};
SurfacePair Surface_pairs[MAX_SURFACE_PAIRS];

const char* const Surface_names[] = {"wood", "stone", "grass", "sand", "swamp"};
const char* const Feedback_actions[MAX_FEEDBACK_ACTIONS] = {
    "+Affirmative:", "+Attack:",     "+NoEffect:",     "+Locked:",       "+Injured:",
    "+InvalidAction:", "+InvalidLocation:", "+InvalidTarget:", "+Success:", "+Failed:",
    "+Poison:",      "+HideSuccess:", "+SneakSuccess:", "+Unlocked:",     "+LevelUp:",
    "+Death:"};

int level_texture_bitmap(int mesh, int polygon) {
  if (mesh < 0 || mesh >= Level.instance_count || !Level.instances) return -1;
  const LevelMeshInstance& in = Level.instances[mesh];
  if (!in.mesh || !in.faces || polygon < 0 || polygon >= in.mesh->face_count) return -1;
  int slot = in.faces[polygon].texture;
  if (slot < 1 || slot > Level.texture_count || !Level.texture_handles) return -1;
  return Level.texture_handles[slot - 1];
}

SurfaceTextureLookup Texture_lookup = level_texture_bitmap;

void build_hit_table() {
  for (auto& row : Hit_sounds)
    for (int& v : row) v = -1;
  static const int kSmall[5][5] = {{34, 32, 29, 25, 20},
                                   {32, 33, 30, 26, 22},
                                   {29, 30, 31, 27, 23},
                                   {25, 26, 27, 28, 24},
                                   {20, 22, 23, 24, 21}};
  static const int kWith10[5] = {14, 16, 17, 18, 15};
  for (int r = 0; r < 5; ++r)
    for (int c = 0; c < 5; ++c) Hit_sounds[r + 1][c + 1] = kSmall[r][c];
  for (int m = 10; m <= 16; ++m) {
    for (int k = 0; k < 5; ++k) {
      Hit_sounds[k + 1][m] = kWith10[k];
      Hit_sounds[m][k + 1] = kWith10[k];
    }
    Hit_sounds[m][m] = 19;
  }
}

void read_music_table() {
  ParseContext pc;
  pc.open_or_die("music.tbl", VFILE_ANY_TYPE);
  music_parse_tracks(pc);
}

void read_feedback_table() {
  ParseContext pc;
  pc.open_or_die("feedback.tbl", VFILE_ANY_TYPE);
  feedback_parse(pc);
}

}  // namespace

void music_parse_tracks(ParseContext& pc) {
  Music_pool.reset();
  if (!Music_pool.buffer()) Music_pool.alloc(MUSIC_POOL_SIZE);
  Num_music_tracks = 0;
  while (!pc.check_string("#End")) {
    if (Num_music_tracks >= MAX_MUSIC_TRACKS) {
      // No room for more tracks: the rest of the file is not read.
      snd_table_full(pc.filename(), MAX_MUSIC_TRACKS, "tracks");
      return;
    }
    pc.require_string("$Name:");
    const char* name = Music_pool.read_quoted(pc);
    pc.require_string("$Filename:");
    const char* file = Music_pool.read_quoted(pc);
    Music_tracks[Num_music_tracks++] = MusicTrack{name, file};
  }
}

void feedback_parse(ParseContext& pc) {
  std::memset(Feedback_count, 0, sizeof(Feedback_count));
  std::memset(Feedback_first, 0, sizeof(Feedback_first));
  std::memset(Feedback_chance, 0, sizeof(Feedback_chance));
  Num_feedback_sounds = 0;
  while (!pc.check_string("#End")) {
    pc.require_string("$Name:");
    char name[64];
    pc.read_string(name, sizeof(name));
    int hero;
    if (strcasecmp(name, "Rivadara") == 0)
      hero = 3;
    else if (strcasecmp(name, "Rivud") == 0)
      hero = 2;
    else if (strcasecmp(name, "Ruvizo") == 0)
      hero = 0;
    else if (strcasecmp(name, "Zazuru") == 0)
      hero = 1;
    else
      critical_error(__FILE__, __LINE__, "Bad feedback party name.\n");
    for (int a = 0; a < MAX_FEEDBACK_ACTIONS; ++a) {
      int slot = hero * MAX_FEEDBACK_ACTIONS + a;
      pc.require_string(Feedback_actions[a]);
      Feedback_chance[slot] = static_cast<uint8_t>(pc.read_int());
      Feedback_first[slot] = static_cast<uint8_t>(Num_feedback_sounds);
      int count = 0;
      while (pc.check_string("\"")) {
        char file[64];
        pc.read_string(file, sizeof(file));
        if (count >= MAX_FEEDBACK_SOUNDS_PER_ACTION)
          critical_error(__FILE__, __LINE__, "Too many feedback sounds for this action!\n");
        if (Num_feedback_sounds >= MAX_FEEDBACK_SOUNDS)
          critical_error(__FILE__, __LINE__, "Too many feedback sounds!  c'mon guys ..\n");
        char path[80];
        std::snprintf(path, sizeof(path), "feedback\\%s", file);
        Feedback_sounds[Num_feedback_sounds++] = snd_load(path, 5.0f, 1.0f, 1.0f, 0, false);
        ++count;
      }
      Feedback_count[slot] = static_cast<uint8_t>(count);
    }
  }
}

void gamesound_ensure_loaded(GameSound* sound, bool page_in) {
  if (!sound || !sound->file_name) return;
  if (sound->index < 0) {
    sound->index = snd_load(sound->file_name, sound->min_distance, sound->volume / 255.0f,
                            sound->rolloff, 0, false);
    if (sound->index < 0) console_printf("FAILED TO CREATE SOUND BUFFER FOR FILE %s\n", sound->file_name);
  }
  if (page_in && sound->index >= 0 && snd_page_in(sound->index, false) < 0) sound->index = -1;
}

int gamesound_play(int sound, float volume, float pan) {
  if (sound >= 1) snd_play(sound, volume, pan);
  return 1;
}

int gamesound_play(int sound, float volume, float pan, bool looping) {
  if (sound >= 1) snd_play(sound, volume, pan, looping);
  return 1;
}

int gamesound_play_default(int sound, float volume) { return snd_play(sound, volume, 0.0f); }

int gamesound_play_3d(int sound, const vector* position) {
  if (sound < 1) return -1;
  return snd_play_3d(sound, position, false);
}

int gamesound_play_hit(int attacker_material, int defender_material, const vector* position) {
  if (attacker_material < 0 || attacker_material >= NUM_HIT_MATERIALS || defender_material < 0 ||
      defender_material >= NUM_HIT_MATERIALS)
    return -1;
  int s = Hit_sounds[attacker_material][defender_material];
  if (s == -1) return -1;
  return gamesound_play_3d(s, position);
}

void surfaces_set_texture_lookup(SurfaceTextureLookup lookup) {
  Texture_lookup = lookup ? lookup : level_texture_bitmap;
}

int gamesound_surface_sound(int mesh, int polygon) {
  if (mesh >= 0 && polygon >= 0) {
    int bitmap = Texture_lookup(mesh, polygon);
    for (int i = 0; i < Num_surface_pairs; ++i)
      if (Surface_pairs[i].bitmap == bitmap && bitmap >= 0) return Surface_pairs[i].kind;
  }
  return Surface_default;
}

void surfaces_load(const char* level_name) {
  Num_surface_pairs = 0;
  Surface_default = SURFACE_GRASS;
  if (!level_name) return;
  char base[VFILE_MAX_PATH];
  vfile_strip_extension(base, level_name);
  char file[VFILE_MAX_PATH + 16];
  std::snprintf(file, sizeof(file), "%s_surfaces.tbl", base);
  FileHandle fh;
  if (!fh.find(file, VFILE_ANY_TYPE)) return;
  ParseContext pc;
  if (pc.open(file, VFILE_ANY_TYPE) < 0) return;
  surfaces_parse(pc);
}

void surfaces_parse(ParseContext& pc) {
  Num_surface_pairs = 0;
  pc.require_string("$Default:");
  Surface_default = pc.read_type(Surface_names, 5);
  while (!pc.check_string("#End")) {
    char texture[64];
    pc.read_string(texture, sizeof(texture));
    int bitmap = bm_find(texture);
    if (bitmap < 0) {
      char dropped[64];
      pc.read_string(dropped, sizeof(dropped));
      continue;
    }
    int kind = pc.read_type(Surface_names, 5);
    if (Num_surface_pairs >= MAX_SURFACE_PAIRS) {
      // No room for more pairs: the rest of the file is not read.
      snd_table_full(pc.filename(), MAX_SURFACE_PAIRS, "surfaces");
      return;
    }
    Surface_pairs[Num_surface_pairs++] = SurfacePair{bitmap, kind};
  }
}

void music_load_tables() {
  read_music_table();
  build_hit_table();
  read_feedback_table();
}

int music_find(const char* name) {
  if (Num_music_tracks == 0 || !name) return -1;
  for (int i = 0; i < Num_music_tracks; ++i)
    if (strcasecmp(Music_tracks[i].name, name) == 0) return i;
  return -1;
}

bool music_is_playing() { return Music_signature != -1 && snd_is_playing(Music_signature); }

int music_current() { return music_is_playing() ? Music_track : -1; }

int music_signature() { return Music_signature; }

void music_play(int track, bool loop) {
  if (track < 0 || track >= Num_music_tracks) return;
  if (music_is_playing()) {
    if (track == Music_track) return;
    snd_fade_out(Music_signature, MUSIC_FADE_MS);
    Music_signature = -1;
    Music_track = -1;
  } else if (Music_signature != -1) {
    snd_stop(Music_signature);
    Music_signature = -1;
  }
  Music_track = track;
  Music_loop = loop;
  Music_sound = snd_load(Music_tracks[track].file_name, 1.0f, 1.0f, 1.0f, 1, true);
  if (Music_sound >= 0)
    Music_signature = loop ? snd_stream_looping(Music_sound, 1.0f, 0.0f) : snd_stream(Music_sound, 1.0f, 0.0f);
}

void music_fade_out(int ms) {
  if (!music_is_playing()) return;
  snd_fade_out(Music_signature, ms);
  Music_signature = -1;
  Music_track = -1;
}

void music_set_volume(float volume) {
  snd_set_category_volume(1, volume);
  if (Music_signature != -1) snd_set_volume(Music_signature, volume);
}

void music_reset_for_tests() {
  Music_track = -1;
  Music_sound = -1;
  Music_signature = -1;
  Music_loop = false;
}

void feedback_play(int hero, int action, const vector* position) {
  if (hero < 0 || hero >= MAX_FEEDBACK_HEROES || action < 0 || action >= MAX_FEEDBACK_ACTIONS) return;
  if (!(GameFlags & GF_LEVEL_IN_PLAY) || (GameFlags & GF_CUTSCENE)) return;
  int slot = hero * MAX_FEEDBACK_ACTIONS + action;
  if (Feedback_count[slot] == 0) return;
  uint8_t r = static_cast<uint8_t>(static_cast<int>(frand() * 100.0f));
  if (r > Feedback_chance[slot]) return;
  int pick = Feedback_first[slot] + os_rand() % Feedback_count[slot];
  int sound = Feedback_sounds[pick];
  if (action == 1 || action == 4)
    gamesound_play_3d(sound, position);
  else
    gamesound_play(sound, 1.0f, 0.0f);
}
