#include "Engine/gamesound/emitter.h"

#include <cmath>

#include "Engine/gamesound/sound.h"
#include "quarn/os/console.h"
#include "quarn/sound/ds.h"

SoundEmitter Sound_emitters[MAX_SOUND_EMITTERS];

namespace {

constexpr int kHead = -2;  // the list's sentinel
int Head_next = -1, Head_prev = -1;  // first and last active emitter
bool Emitters_initialised = false;
int Sounding = 0;

bool valid(int e) { return e >= 0 && e < MAX_SOUND_EMITTERS; }
bool in_use(int e) { return valid(e) && (Sound_emitters[e].flags & SEF_IN_USE); }

void reset(SoundEmitter& s) {
  s.next = s.prev = -1;
  s.sound = -1;
  s.channel = -1;
  s.gain = 0.0f;
  s.pan = 0.0f;
  s.applied_scale = -1.0f;
  s.last_frequency = 0;
  s.base_frequency = 0;
  s.position = vector{0, 0, 0};
  s.previous_position = vector{0, 0, 0};
  s.velocity = vector{0, 0, 0};
  s.update_interval = 0;
  s.update_timer.invalidate();
  s.flags = 0;
  s.repeat_delay = 0;
  s.repeat_timer.invalidate();
  s.segment_start = vector{0, 0, 0};
  s.segment_end = vector{0, 0, 0};
}

void link_tail(int e) {
  SoundEmitter& s = Sound_emitters[e];
  s.prev = Head_prev == -1 ? kHead : Head_prev;
  s.next = kHead;
  if (Head_prev == -1)
    Head_next = e;
  else
    Sound_emitters[Head_prev].next = e;
  Head_prev = e;
}

void unlink(int e) {
  SoundEmitter& s = Sound_emitters[e];
  if (s.prev == kHead)
    Head_next = s.next == kHead ? -1 : s.next;
  else if (s.prev >= 0)
    Sound_emitters[s.prev].next = s.next;
  if (s.next == kHead)
    Head_prev = s.prev == kHead ? -1 : s.prev;
  else if (s.next >= 0)
    Sound_emitters[s.next].prev = s.prev;
  s.next = s.prev = -1;
}

void silence(SoundEmitter& s, int fade_ms) {
  s.flags &= ~SEF_HELD;
  if (s.channel == -1) return;
  if (fade_ms > 0)
    snd_fade_out(s.channel, fade_ms);
  else
    snd_stop(s.channel);
  s.channel = -1;
  --Sounding;
}

float entry_level(int sound) {
  const SoundEntry* e = snd_get_entry(sound);
  if (!e) return 0.0f;
  return e->volume * snd_get_category_volume(snd_entry_category(*e));
}

void start(SoundEmitter& s) {
  if (s.channel != -1 && !snd_is_playing(s.channel)) {
    s.channel = -1;
    --Sounding;
  }
  if (Sounding >= MAX_SOUNDING_EMITTERS) {
    SoundEmitter* quietest = nullptr;
    float least = 1000.0f;
    for (int i = Head_next; i >= 0; i = Sound_emitters[i].next) {
      SoundEmitter& o = Sound_emitters[i];
      if (o.channel != -1 && o.gain < least) {
        least = o.gain;
        quietest = &o;
      }
    }
    if (!quietest || quietest->gain > s.gain) return;
    silence(*quietest, 0);
  }
  bool looping = s.repeat_delay < 1;
  int sig;
  if (snd_positional(s.sound)) {
    sig = snd_play_3d(s.sound, &s.position, looping);
  } else {
    float level = entry_level(s.sound);
    float volume = level != 0.0f ? s.gain / level : s.gain;
    sig = looping ? snd_play_looping(s.sound, volume, 0.0f) : snd_play(s.sound, volume, 0.0f);
  }
  s.channel = sig;
  if (sig != -1) {
    s.flags &= ~SEF_HELD;
    ++Sounding;
  }
}

}  // namespace

void snd_emitter_init() {
  for (SoundEmitter& s : Sound_emitters) reset(s);
  Head_next = Head_prev = -1;
  Sounding = 0;
  Emitters_initialised = true;
}

void snd_emitter_close() {
  if (!Emitters_initialised) return;
  while (Head_next >= 0) snd_emitter_delete(Head_next, 0);
  Emitters_initialised = false;
}

int snd_emitter_create(int sound, int update_interval, int repeat_delay) {
  if (!Emitters_initialised) return -1;
  int e = -1;
  for (int i = 0; i < MAX_SOUND_EMITTERS && e < 0; ++i)
    if (!(Sound_emitters[i].flags & SEF_IN_USE)) e = i;
  if (e < 0) return -1;
  const SoundEntry* entry = snd_get_entry(sound);
  if (!entry || !snd_file_exists(entry->name)) {
    console_printf("Failed to create sound emitter since sound file missing: %s\n", entry ? entry->name : "");
    return -1;
  }
  SoundEmitter& s = Sound_emitters[e];
  reset(s);
  s.flags = SEF_IN_USE;
  s.sound = sound;
  s.update_interval = update_interval;
  s.update_timer.set(0);
  s.repeat_delay = repeat_delay;
  int rate = 0, bits = 0, channels = 0;
  snd_get_format(sound, &rate, &bits, &channels);
  s.base_frequency = rate;
  s.last_frequency = rate;
  link_tail(e);
  return e;
}

int snd_emitter_create_segment(int sound, const vector* start, const vector* end, int update_interval,
                               int repeat_delay) {
  int e = snd_emitter_create(sound, update_interval, repeat_delay);
  if (e < 0) return -1;
  SoundEmitter& s = Sound_emitters[e];
  if (start) s.segment_start = *start;
  if (end) s.segment_end = *end;
  s.flags |= SEF_SEGMENT;
  return e;
}

int snd_emitter_delete(int emitter, int fade_ms) {
  if (!Emitters_initialised) return -1;
  // A failed create hands out -1; deleting it is harmless.
  if (!in_use(emitter)) return 0;
  SoundEmitter& s = Sound_emitters[emitter];
  silence(s, fade_ms);
  unlink(emitter);
  s.flags &= ~SEF_HELD;
  reset(s);
  return 0;
}

void snd_emitter_update(int emitter, const vector* position, const vector* velocity, float scale) {
  if (!Emitters_initialised || !in_use(emitter) || !position) return;
  SoundEmitter& s = Sound_emitters[emitter];
  if (!s.update_timer.elapsed()) return;
  s.update_timer.set(s.update_interval);
  s.position = *position;
  s.velocity = velocity ? *velocity : vector{0, 0, 0};
  if (s.flags & SEF_MUTED) return;
  if (s.channel != -1 && s.repeat_delay > 0 && !snd_is_playing(s.channel)) {
    if (!(s.repeat_timer.is_valid() && s.repeat_timer.elapsed())) {
      if (!s.repeat_timer.is_valid()) s.repeat_timer.set(s.repeat_delay);
      s.previous_position = s.position;
      return;
    }
  }
  s.repeat_timer.invalidate();
  bool segment = (s.flags & SEF_SEGMENT) != 0;
  float gain = segment ? snd_3d_gain_segment(s.sound, &s.segment_start, &s.segment_end, scale)
                       : snd_3d_gain(s.sound, &s.position, scale);
  const SoundEntry* entry = snd_get_entry(s.sound);
  if (snd_positional(s.sound)) {
    s.gain = gain;
    if (gain > 0.1f) {
      if (s.channel == -1 || !snd_is_playing(s.channel)) {
        if (!(s.flags & SEF_HELD)) start(s);
        s.applied_scale = -1.0f;
      }
      if (s.channel != -1 && scale != s.applied_scale) {
        snd_set_volume(s.channel, entry->volume * gain);
        s.applied_scale = scale;
      }
      if (s.channel != -1 && s.position != s.previous_position)
        ds_set_3d(s.channel, &s.position, &s.velocity, entry->min_distance, entry->cutoff_distance);
    } else {
      silence(s, 0);
    }
  } else {
    if (!(gain > 0.1f)) {
      s.gain = gain;
      silence(s, 0);
      return;
    }
    if (s.channel != -1 && snd_is_playing(s.channel)) {
      s.gain = gain;
      snd_set_volume(s.channel, gain);
    } else {
      s.gain = gain;
      if (!(s.flags & SEF_HELD)) start(s);
    }
    if (s.channel == -1) return;
    float pan = segment ? snd_pan_segment(&s.segment_start, &s.segment_end) : snd_pan(&s.position);
    if (std::fabs(pan - s.pan) > 0.1f) {
      snd_set_pan(s.channel, pan);
      s.pan = pan;
    }
    if (velocity && !(velocity->x == 0 && velocity->y == 0 && velocity->z == 0)) {
      int f = segment ? snd_doppler_segment(s.base_frequency, &s.segment_start, &s.segment_end, velocity)
                      : snd_doppler(s.base_frequency, &s.position, velocity);
      if (std::abs(f - s.last_frequency) > 100) {
        snd_set_frequency(s.channel, f);
        s.last_frequency = f;
      }
    }
  }
  s.previous_position = s.position;
}

void snd_emitter_update_segment(int emitter, const vector* start, const vector* end,
                                const vector* velocity, float scale) {
  if (!in_use(emitter)) return;
  SoundEmitter& s = Sound_emitters[emitter];
  if (start) s.segment_start = *start;
  if (end) s.segment_end = *end;
  snd_emitter_update(emitter, &s.segment_start, velocity, scale);
}

void snd_emitter_mute(int emitter) {
  if (!in_use(emitter)) return;
  SoundEmitter& s = Sound_emitters[emitter];
  s.flags |= SEF_MUTED;
  s.gain = 0.0f;
  silence(s, 0);
}

void snd_emitter_unmute(int emitter) {
  if (in_use(emitter)) Sound_emitters[emitter].flags &= ~SEF_MUTED;
}

void snd_emitter_set_frequency(int emitter, int hz) {
  if (!in_use(emitter)) return;
  SoundEmitter& s = Sound_emitters[emitter];
  if (s.channel != -1) snd_set_frequency(s.channel, hz);
  s.last_frequency = hz;
}

int snd_emitter_get_frequency(int emitter) {
  return valid(emitter) ? Sound_emitters[emitter].last_frequency : 11025;
}

int snd_emitter_get_channel(int emitter) { return valid(emitter) ? Sound_emitters[emitter].channel : -1; }

int snd_emitter_get_repeat_delay(int emitter) {
  return valid(emitter) ? Sound_emitters[emitter].repeat_delay : 0;
}

int snd_emitter_sounding_count() { return Sounding; }

void snd_channel_pause(int emitter) {
  if (snd_disabled() || !in_use(emitter)) return;
  snd_emitter_mute(emitter);
}

void snd_channel_resume(int emitter) { snd_emitter_unmute(emitter); }
