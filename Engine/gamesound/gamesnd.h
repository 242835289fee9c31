#pragma once
// The game's side of sound: music tracks from music.tbl with cross-fades, the
// heroes' spoken feedback from feedback.tbl, hit sounds by material pair,
// surface kinds from a level's _surfaces.tbl, and the thin play wrappers the
// rest of the game uses.
#include <cstdint>

#include "quarn/math/vector.h"

constexpr int MAX_MUSIC_TRACKS = 64;
constexpr int MUSIC_POOL_SIZE = 5120;
constexpr int MAX_FEEDBACK_HEROES = 4;
constexpr int MAX_FEEDBACK_ACTIONS = 16;
constexpr int MAX_FEEDBACK_SOUNDS_PER_ACTION = 4;
constexpr int MAX_FEEDBACK_SOUNDS = 255;
constexpr int MAX_SURFACE_PAIRS = 64;
constexpr int NUM_HIT_MATERIALS = 17;
constexpr int MUSIC_FADE_MS = 200;

enum SurfaceKind { SURFACE_WOOD, SURFACE_STONE, SURFACE_GRASS, SURFACE_SAND, SURFACE_SWAMP };

struct GameSound {
  const char* file_name;
  int32_t index;
  uint8_t volume;        // 0..255 meaning 0..1
  uint8_t min_distance;  // whole units
  uint8_t rolloff;
};

struct MusicTrack {
  const char* name;
  const char* file_name;
};

extern MusicTrack Music_tracks[MAX_MUSIC_TRACKS];
extern int Num_music_tracks;
extern int Hit_sounds[NUM_HIT_MATERIALS][NUM_HIT_MATERIALS];
extern uint8_t Feedback_first[MAX_FEEDBACK_HEROES * MAX_FEEDBACK_ACTIONS];
extern uint8_t Feedback_count[MAX_FEEDBACK_HEROES * MAX_FEEDBACK_ACTIONS];
extern uint8_t Feedback_chance[MAX_FEEDBACK_HEROES * MAX_FEEDBACK_ACTIONS];
extern int Feedback_sounds[MAX_FEEDBACK_SOUNDS];
extern int Num_feedback_sounds;
extern int Surface_default;
extern int Num_surface_pairs;

void gamesound_ensure_loaded(GameSound* sound, bool page_in);
int gamesound_play(int sound, float volume, float pan);
int gamesound_play(int sound, float volume, float pan, bool looping);
int gamesound_play_default(int sound, float volume);
int gamesound_play_3d(int sound, const vector* position);
int gamesound_play_hit(int attacker_material, int defender_material, const vector* position);
int gamesound_surface_sound(int mesh, int polygon);
void surfaces_load(const char* level_name);
// The bitmap of a level polygon's texture (-1 none); the level sets it when
// it loads. Without one every polygon answers the default kind.
using SurfaceTextureLookup = int (*)(int mesh, int polygon);
void surfaces_set_texture_lookup(SurfaceTextureLookup lookup);

void music_load_tables();
class ParseContext;
// The readers themselves, on an open table.
void music_parse_tracks(ParseContext& pc);
void feedback_parse(ParseContext& pc);
void surfaces_parse(ParseContext& pc);
int music_find(const char* name);
void music_play(int track, bool loop);
bool music_is_playing();
int music_current();
void music_fade_out(int ms);
void music_set_volume(float volume);
// The music's channel signature, -1 none.
int music_signature();

void feedback_play(int hero, int action, const vector* position);
// Tests: forget the playing music.
void music_reset_for_tests();
