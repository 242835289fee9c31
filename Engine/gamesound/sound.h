#pragma once
// The sound manager: the game's table of 640 sounds (sounds.tbl and every
// sound registered later), paged into the output layer on first use, with
// four volume categories, the listener and the software rules for gain, pan
// and Doppler of positional sounds.
#include <cstdint>

#include "quarn/math/matrix.h"
#include "quarn/math/vector.h"

constexpr int MAX_SOUNDS = 640;
constexpr int SND_RESERVED_ENTRIES = 8;
constexpr int SND_NUM_CATEGORIES = 4;
constexpr uint32_t SND_PAGED_IN = 0x08000000;
constexpr uint32_t SND_LOAD_FAILED = 0x80000000;
constexpr uint32_t SND_CATEGORY_MASK = 0x07FFFFFF;
constexpr float SND_SPEED_OF_SOUND = 600.0f;
// The playback rates a channel takes (snd_set_frequency clamps to them).
constexpr int SND_FREQUENCY_MIN = 100;
constexpr int SND_FREQUENCY_MAX = 100000;

struct SoundEntry {
  char name[40];
  float volume;
  float min_distance;
  float cutoff_distance;
  float rolloff;
  int32_t ds_index;
  uint32_t flags;
};
static_assert(sizeof(SoundEntry) == 64);

struct SoundListener {
  vector position;
  vector velocity;
  matrix orientation;
};

extern SoundEntry SoundTable[MAX_SOUNDS];
extern SoundListener Snd_listener;
extern float Snd_category_volume[SND_NUM_CATEGORIES];

int snd_init(void* window, int rate, int bits, int channels, bool want_3d, bool want_eax,
             bool no_sound, bool plain_device);
void snd_shutdown();
void snd_read_sounds_tbl();
class ParseContext;
// The reader itself, on an open table.
void snd_parse_sounds_tbl(ParseContext& pc);
int snd_load(const char* name, float min_distance, float volume, float rolloff, int category,
             bool reserved);
int snd_page_in(int index, bool stream);
void snd_load_used();
// Clears the paged-in marks of ordinary (category 0) entries, so the next
// snd_load_used pages in what the coming level registers.
void snd_clear_used_marks();
void snd_release(int index);
void snd_unload(int index);
void snd_release_all();
int snd_play(int index, float volume, float pan);
int snd_play(int index, float volume, float pan, bool looping);
int snd_play_looping(int index, float volume, float pan);
int snd_stream(int index, float volume, float pan);
int snd_stream_looping(int index, float volume, float pan);
int snd_play_3d(int index, const vector* position, bool looping);
float snd_3d_gain(int index, const vector* position, float scale);
float snd_3d_gain_segment(int index, const vector* start, const vector* end, float scale);
float snd_pan(const vector* position);
float snd_pan_segment(const vector* start, const vector* end);
int snd_doppler(int frequency, const vector* position, const vector* velocity);
int snd_doppler_segment(int frequency, const vector* start, const vector* end, const vector* velocity);
void snd_set_listener(const vector* position, const vector* velocity, const matrix* orientation);
void snd_stop(int signature);
void snd_stop_all();
void snd_fade_out(int signature, int ms);
bool snd_is_playing(int signature);
void snd_set_volume(int signature, float volume);
void snd_set_volume_scaled(int index, int signature, float volume);
void snd_set_pan(int signature, float pan);
void snd_set_frequency(int signature, int hz);
int snd_get_frequency(int signature, int* hz);
void snd_get_format(int index, int* rate, int* bits, int* channels);
float snd_get_duration(int index);
int snd_get_data_size(int index);
int snd_get_file_size(int index);
void snd_set_category(int index, int category);
void snd_set_category_volume(int category, float volume);
float snd_get_category_volume(int category);
int snd_count_playing();
SoundEntry* snd_get_entry(int index);
int snd_copy_entry(int index, SoundEntry* out);
float snd_get_cutoff(int index);
bool snd_file_exists(const char* name);
bool snd_is_3d();
// True when the sound plays placed by the 3-D device: in 3-D mode, a mono
// sound; stereo sounds play flat there, panned and faded by distance here.
bool snd_positional(int index);
void snd_set_environment(const char* preset);
void snd_update();
void snd_pause_all(bool include_streams);
void snd_resume_all();

// A table file with more rows than its table holds: says so, naming the
// file; the reader then stops at the limit.
void snd_table_full(const char* file, int limit, const char* what);

// The signed 27-bit category of an entry.
int snd_entry_category(const SoundEntry& e);
bool snd_disabled();
// Tests: forget every state so snd_init runs as at start-up.
void snd_reset_for_tests();
