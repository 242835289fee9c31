#pragma once
// The sound output layer: the device, 256 loaded sounds (one static buffer
// per wave file), 32 play channels named by signatures, volumes through a
// 101-entry attenuation table, fades, pause and resume.
#include <cstdint>

#include "quarn/os/timer.h"
#include "quarn/platform/dsound.h"
#include "quarn/platform/mmio.h"

struct vector;
struct matrix;
struct AcmStream;

constexpr int MAX_LOADED_SOUNDS = 256;
constexpr int MAX_SOUND_CHANNELS = 32;

constexpr uint32_t SCF_LOOPING = 1;
constexpr uint32_t SCF_PAUSED = 2;
constexpr uint32_t SCF_STREAMED = 4;
constexpr uint32_t SCF_FADING = 8;

struct LoadedSound {
  char name[256];
  char path[256];
  uint32_t offset;
  uint32_t name_hash;
  int32_t category;
  DsBuffer* pdsb;
  Ds3DBuffer* pds3db;
  WaveFormat* file_format;
  WaveFormat* buffer_format;
  AcmStream* acm_stream;
  MmioFile* file;
  MmioChunk data_chunk;
  MmioChunk riff_chunk;
  uint32_t frames;  // frames of sound the file holds
  int32_t refs;
};

struct SoundChannel {
  DsBuffer* pdsb;
  Ds3DBuffer* pds3db;
  int32_t sound;
  int32_t stream;
  int32_t signature;
  float volume;
  int32_t category;
  float fade_step;
  RealTimestamp fade_timer;
  uint32_t flags;
};

extern LoadedSound Loaded_sounds[MAX_LOADED_SOUNDS];
extern SoundChannel Sound_channels[MAX_SOUND_CHANNELS];
extern int Ds_volume_table[101];

int ds_init(void* window, int rate, int bits, int channels, bool want_3d, bool want_eax,
            bool plain_device);
void ds_close();
bool ds_initialized();
int ds_load(const char* name, const char* path, uint32_t offset, int category, bool stream);
void ds_unload(int slot);
int ds_play(int slot, float volume, float pan, bool looping);
int ds_play_3d(int slot, const vector* position, const vector* velocity, float min_distance,
               float max_distance, float volume, bool looping);
int ds_stream_play(int slot, float volume, float pan, bool looping);
void ds_stop(int signature);
void ds_stop_all();
void ds_fade_out(int signature, int ms);
void ds_update_fades();
void ds_pause_all(bool include_streams);
void ds_resume(int signature);
void ds_resume_all();
void ds_set_volume(int signature, float volume);
void ds_set_pan(int signature, float pan);
void ds_set_frequency(int signature, int hz);
int ds_get_frequency(int signature, int* hz);
bool ds_is_playing(int signature);
int ds_count_playing();
void ds_get_format(int slot, int* rate, int* bits, int* channels);
float ds_get_duration(int slot);
void ds_set_category_volume(int category, float volume);
int ds_set_listener(const vector* position, const vector* velocity, const matrix* orientation);
// Moves a playing 3-D channel (deferred, then committed with the listener).
int ds_set_3d(int signature, const vector* position, const vector* velocity, float min_distance,
              float max_distance);
int ds_channel_from_handle(int signature);
const char* ds_error_text(DsResult code);
bool ds_is_3d();
bool ds_is_eax();
void ds_disable_3d();
void ds_disable_eax();

uint32_t ds_name_hash(const char* name);
// The attenuation (hundredths of a decibel) for a volume 0..1.
int ds_volume_to_mb(float volume);
// Sets a channel's volume (clamped to 0..1, NaN as 0) and remembers it.
void ds_apply_volume(int ch, float volume);
// True when the loaded sound can play positioned by the device (a mono
// sound in 3-D mode); others play flat.
bool ds_has_3d(int slot);
// The last diagnostic text the layer formatted.
const char* ds_last_diagnostic();

// Shared with the streaming and reverberation parts.
DsDevice* ds_device();
DsPropertySet* ds_property_set();
int ds_free_channel();
void ds_release_channel(int ch, bool even_fading);
int ds_next_signature();
// Plays a filled channel (a streamed ring always loops) and gives it the next
// signature; a channel that will not play is released.
int ds_start_channel(int ch, bool looping);
// Tests: where the running number stands.
void ds_set_signature_counter(int value);
void ds_diagnostic(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
