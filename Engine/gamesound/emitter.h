#pragma once
// Lasting sound sources in the world: points and segments that start, mute,
// restart and give up their channel by themselves as the listener moves. At
// most 16 of the 128 hold a channel; a louder one displaces the quietest.
#include <cstdint>

#include "quarn/math/vector.h"
#include "quarn/os/timer.h"

constexpr int MAX_SOUND_EMITTERS = 128;
constexpr int MAX_SOUNDING_EMITTERS = 16;

constexpr uint32_t SEF_IN_USE = 1;
constexpr uint32_t SEF_MUTED = 2;
constexpr uint32_t SEF_SEGMENT = 4;
constexpr uint32_t SEF_HELD = 8;

struct SoundEmitter {
  int next, prev;
  int sound;
  int channel;
  float gain;
  float pan;
  float applied_scale;
  int last_frequency;
  int base_frequency;
  vector position;
  vector previous_position;
  vector velocity;
  int update_interval;
  RealTimestamp update_timer;
  uint32_t flags;
  int repeat_delay;
  GameTimestamp repeat_timer;
  vector segment_start, segment_end;
};

extern SoundEmitter Sound_emitters[MAX_SOUND_EMITTERS];

void snd_emitter_init();
void snd_emitter_close();
int snd_emitter_create(int sound, int update_interval, int repeat_delay);
int snd_emitter_create_segment(int sound, const vector* start, const vector* end, int update_interval,
                               int repeat_delay);
int snd_emitter_delete(int emitter, int fade_ms);
void snd_emitter_update(int emitter, const vector* position, const vector* velocity, float scale);
void snd_emitter_update_segment(int emitter, const vector* start, const vector* end,
                                const vector* velocity, float scale);
void snd_emitter_mute(int emitter);
void snd_emitter_unmute(int emitter);
void snd_emitter_set_frequency(int emitter, int hz);
int snd_emitter_get_frequency(int emitter);
int snd_emitter_get_channel(int emitter);
int snd_emitter_get_repeat_delay(int emitter);
// Emitters that hold a channel now.
int snd_emitter_sounding_count();
// The pause and resume other subsystems ask for by emitter: while sound is
// on and the emitter is in use, pause silences it until resume.
void snd_channel_pause(int emitter);
void snd_channel_resume(int emitter);
