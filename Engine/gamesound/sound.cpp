#include "Engine/gamesound/sound.h"

#include <algorithm>
#include <cfloat>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <emmintrin.h>
#include <strings.h>

#include "Engine/gamesound/emitter.h"
#include "quarn/os/console.h"
#include "quarn/parse/parse.h"
#include "quarn/platform/osversion.h"
#include "quarn/sound/ds.h"
#include "quarn/sound/eax.h"
#include "quarn/vfile/vfile.h"

SoundEntry SoundTable[MAX_SOUNDS];
SoundListener Snd_listener = {vector{0, 0, 0}, vector{0, 0, 0},
                              matrix(vector{1, 0, 0}, vector{0, 1, 0}, vector{0, 0, 1})};
float Snd_category_volume[SND_NUM_CATEGORIES] = {1.0f, 1.0f, 1.0f, 1.0f};

namespace {

bool Snd_disabled = false;
bool Snd_device_active = false;
bool Snd_table_initialised = false;
bool Snd_exit_registered = false;

bool valid(int index) { return index >= 0 && index < MAX_SOUNDS; }

// A key of each entry's name, ignoring case (0 for an empty name), in an
// array of its own: looking a sound up reads 640 keys rather than 640
// entries. Kept by every write of a name.
uint32_t Name_key[MAX_SOUNDS];
// Every key at and above this index is 0: a lookup reads no further.
int Name_keys_used = 0;

uint32_t name_key(const char* name) {
  if (!name[0]) return 0;
  uint32_t h = 2166136261u;
  for (const char* p = name; *p; p++)
    h = (h ^ static_cast<uint32_t>(*p >= 'A' && *p <= 'Z' ? *p + 32 : static_cast<unsigned char>(*p))) * 16777619u;
  return h | 1u;
}

void set_name_key(int index) {
  Name_key[index] = name_key(SoundTable[index].name);
  if (Name_key[index]) Name_keys_used = std::max(Name_keys_used, index + 1);
}

void clear_name_keys() {
  std::memset(Name_key, 0, sizeof(Name_key));
  Name_keys_used = 0;
}

// Categories outside the four count at full volume rather than reading past
// the array.
float category_volume(int category) {
  return category >= 0 && category < SND_NUM_CATEGORIES ? Snd_category_volume[category] : 1.0f;
}

float entry_level(const SoundEntry& e) { return category_volume(snd_entry_category(e)) * e.volume; }

void set_category_bits(SoundEntry& e, int category) {
  e.flags = (e.flags & ~SND_CATEGORY_MASK) | (static_cast<uint32_t>(category) & SND_CATEGORY_MASK);
}

// The distance at which the rolloff rule brings the gain down to 0.1. Without
// a positive rolloff the gain never falls, so nothing is cut off.
float cutoff_of(float min_distance, float volume, float rolloff) {
  if (!(rolloff > 0.0f)) return FLT_MAX;
  return min_distance * volume / (rolloff * 0.1f) + (1.0f - 1.0f / rolloff) * min_distance;
}

void clear_table_once() {
  if (Snd_table_initialised) return;
  for (SoundEntry& e : SoundTable) {
    e.ds_index = -1;
    e.name[0] = 0;
    e.flags &= ~0xF8000000u;
  }
  clear_name_keys();
  Snd_table_initialised = true;
}

// File names may carry a game directory ("feedback\x.wav"): the file layer
// finds files by their bare names.
const char* strip_directory(const char* name) {
  const char* p = name;
  for (const char* c = name; *c; ++c)
    if (*c == '\\' || *c == '/') p = c + 1;
  return p;
}

// The point of a segment closest to the listener.
vector closest_on_segment(const vector& start, const vector& end) {
  const vector d = end - start;
  const vector p = Snd_listener.position - start;
  const float len2 = d.length_squared();
  float t = len2 > 0.0f ? vector::dot(p, d) / len2 : 0.0f;
  if (t < 0.0f) t = 0.0f;
  if (t > 1.0f) t = 1.0f;
  return start + d * t;
}

int play_common(int index, float volume, float pan, bool looping, bool stream) {
  if (Snd_disabled || !valid(index)) return -1;
  int ds = snd_page_in(index, stream);
  float level = entry_level(SoundTable[index]) * volume;
  if (!(level >= 0.0f) || !Snd_device_active || ds < 0) return -1;
  return stream ? ds_stream_play(ds, level, pan, looping) : ds_play(ds, level, pan, looping);
}

}  // namespace

int snd_entry_category(const SoundEntry& e) {
  // Sign-extend the 27-bit field.
  return static_cast<int32_t>(e.flags << 5) >> 5;
}

bool snd_disabled() { return Snd_disabled; }

void snd_table_full(const char* file, int limit, const char* what) {
  console_printf("%s: more than %d %s; the rest are ignored\n", file, limit, what);
  std::printf("%s: more than %d %s; the rest are ignored\n", file, limit, what);
}

int snd_init(void* window, int rate, int bits, int channels, bool want_3d, bool want_eax,
             bool no_sound, bool plain_device) {
  PlatformOsVersion v = platform_os_version();
  if (v.platform_id == 2 && v.major < 5) {
    Snd_disabled = true;
    return -1;
  }
  if (no_sound) {
    Snd_disabled = true;
    return -1;
  }
  Snd_device_active = true;
  if (ds_init(window, rate, bits, channels, want_3d, want_eax, plain_device) != 0) return -1;
  for (float& c : Snd_category_volume) c = 1.0f;
  snd_emitter_init();
  clear_table_once();
  if (!Snd_exit_registered) {
    std::atexit(snd_shutdown);
    Snd_exit_registered = true;
  }
  return 0;
}

void snd_shutdown() {
  snd_emitter_close();
  ds_close();
  for (SoundEntry& e : SoundTable) {
    e.ds_index = -1;
    e.name[0] = 0;
    e.flags &= ~0xF8000000u;
  }
  clear_name_keys();
}

void snd_reset_for_tests() {
  snd_shutdown();
  std::memset(SoundTable, 0, sizeof(SoundTable));
  clear_name_keys();
  Snd_disabled = false;
  Snd_device_active = false;
  Snd_table_initialised = false;
  for (float& c : Snd_category_volume) c = 1.0f;
  Snd_listener = SoundListener{vector{0, 0, 0}, vector{0, 0, 0},
                               matrix(vector{1, 0, 0}, vector{0, 1, 0}, vector{0, 0, 1})};
}

void snd_read_sounds_tbl() {
  clear_table_once();
  ParseContext pc;
  if (pc.open("sounds.tbl", VFILE_ANY_TYPE) < 0) return;
  snd_parse_sounds_tbl(pc);
}

void snd_parse_sounds_tbl(ParseContext& pc) {
  pc.require_string("#Sounds Start");
  int n = 0;
  while (!pc.check_string("#Sounds End")) {
    if (n >= MAX_SOUNDS) {
      // The table has room for no more: the rest of the file is not read.
      snd_table_full(pc.filename(), MAX_SOUNDS, "sounds");
      return;
    }
    SoundEntry& e = SoundTable[n];
    pc.read_string(e.name, sizeof(e.name));
    set_name_key(n);
    e.min_distance = pc.read_float();
    e.volume = pc.read_float();
    e.rolloff = pc.read_float();
    // A rolloff of 0 is a sound that never fades with distance, as snd_load
    // takes it; below 0 the gain would grow with distance.
    if (!(e.rolloff >= 0.0f)) pc.error("a rolloff of 0 or above");
    e.cutoff_distance = cutoff_of(e.min_distance, e.volume, e.rolloff);
    e.ds_index = -1;
    set_category_bits(e, 0);
    ++n;
  }
  pc.require_string("#Sounds End");
}

bool snd_file_exists(const char* name) {
  if (!name || !*name) return false;
  FileHandle fh;
  return fh.find(strip_directory(name), VFILE_ANY_TYPE);
}

int snd_load(const char* name, float min_distance, float volume, float rolloff, int category,
             bool reserved) {
  if (Snd_disabled || !name) return -1;
  int free_entry = -1;
  const uint32_t key = name_key(name);
  const auto same = [&](int i) {
    const SoundEntry& e = SoundTable[i];
    return strcasecmp(e.name, name) == 0 && e.volume == volume && e.min_distance == min_distance &&
           e.rolloff == rolloff;
  };
  // Four keys a step: a lane that matches the name's key is compared in
  // full, and the first empty lane is the entry a new sound would take.
  static_assert(MAX_SOUNDS % 4 == 0 && SND_RESERVED_ENTRIES % 4 == 0);
  const __m128i want = _mm_set1_epi32(static_cast<int>(key)), none = _mm_setzero_si128();
  const int first = reserved ? 0 : SND_RESERVED_ENTRIES;
  const int used = (Name_keys_used + 3) & ~3;
  for (int i = first; i < used; i += 4) {
    const __m128i k = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Name_key + i));
    const int match = _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(k, want)));
    const int empty = free_entry < 0 ? _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(k, none))) : 0;
    for (int m = match | empty; m; m &= m - 1) {
      const int lane = __builtin_ctz(m), at = i + lane;
      if ((match >> lane) & 1) {
        if (same(at)) return at;
      } else if (free_entry < 0 && !SoundTable[at].name[0]) {
        free_entry = at;
      }
    }
  }
  // Past the last name every entry is free.
  if (free_entry < 0 && std::max(first, used) < MAX_SOUNDS) free_entry = std::max(first, used);
  if (free_entry < 0 || !snd_file_exists(name)) return -1;
  if (std::strlen(name) + 1 > sizeof(SoundEntry::name)) {
    console_printf("Sound filename %s too long\n", name);
    return -1;
  }
  SoundEntry& e = SoundTable[free_entry];
  std::snprintf(e.name, sizeof(e.name), "%s", name);
  set_name_key(free_entry);
  e.volume = volume;
  set_category_bits(e, category);
  e.min_distance = min_distance > 0.0f ? min_distance : 1.0f;
  e.rolloff = rolloff;
  e.cutoff_distance = cutoff_of(e.min_distance, volume, rolloff);
  return free_entry;
}

int snd_page_in(int index, bool stream) {
  if (Snd_disabled || !valid(index)) return -1;
  SoundEntry& e = SoundTable[index];
  if (!e.name[0] || (e.flags & SND_LOAD_FAILED)) return -1;
  if (e.ds_index < 0) {
    FileHandle fh;
    if (!fh.find(strip_directory(e.name), VFILE_ANY_TYPE)) return -1;
    char path[VFILE_MAX_PATH];
    int offset = 0;
    if (fh.pack_entry()) {
      if (!fh.pack_location(path, sizeof(path), &offset)) return -1;
    } else {
      std::snprintf(path, sizeof(path), "%s", fh.full_path());
    }
    if (Snd_device_active)
      e.ds_index = ds_load(e.name, path, static_cast<uint32_t>(offset), snd_entry_category(e), stream);
  }
  if (e.ds_index < 0) e.flags |= SND_LOAD_FAILED;
  e.flags |= SND_PAGED_IN;
  return e.ds_index;
}

void snd_load_used() {
  if (Snd_disabled) return;
  for (int i = 0; i < MAX_SOUNDS; ++i)
    if (SoundTable[i].name[0] && !(SoundTable[i].flags & SND_PAGED_IN)) snd_page_in(i, false);
}

void snd_clear_used_marks() {
  for (SoundEntry& e : SoundTable)
    if (snd_entry_category(e) == 0 && e.ds_index < 0) e.flags &= ~SND_PAGED_IN;
}

void snd_release(int index) {
  if (Snd_disabled || !valid(index)) return;
  SoundEntry& e = SoundTable[index];
  if (e.ds_index >= 0) ds_unload(e.ds_index);
  e.ds_index = -1;
  e.flags &= ~SND_PAGED_IN;
}

void snd_unload(int index) {
  if (Snd_disabled || !valid(index)) return;
  snd_release(index);
  SoundTable[index].name[0] = 0;
  Name_key[index] = 0;
  SoundTable[index].flags &= ~SND_LOAD_FAILED;
}

void snd_release_all() {
  for (int i = 0; i < MAX_SOUNDS; ++i) snd_release(i);
}

int snd_play(int index, float volume, float pan) { return play_common(index, volume, pan, false, false); }
int snd_play(int index, float volume, float pan, bool looping) {
  return play_common(index, volume, pan, looping, false);
}
int snd_play_looping(int index, float volume, float pan) { return play_common(index, volume, pan, true, false); }
int snd_stream(int index, float volume, float pan) { return play_common(index, volume, pan, false, true); }
int snd_stream_looping(int index, float volume, float pan) { return play_common(index, volume, pan, true, true); }

float snd_3d_gain(int index, const vector* position, float scale) {
  if (Snd_disabled || !valid(index) || !position) return 0.0f;
  const SoundEntry& e = SoundTable[index];
  float cat = category_volume(snd_entry_category(e));
  if (*position == Snd_listener.position) return cat * e.volume * scale;
  float d = vector_distance(Snd_listener.position, *position);
  float g = scale >= 1.0f ? e.volume : e.volume * scale;
  if (d > e.cutoff_distance) return 0.0f;
  if (d > e.min_distance) {
    float k = (d / e.min_distance - 1.0f) * e.rolloff + 1.0f;
    g = k != 0.0f ? g / k : 0.0f;
  }
  g *= cat;
  return g < 1.0f ? g : 1.0f;
}

float snd_3d_gain_segment(int index, const vector* start, const vector* end, float scale) {
  if (!start || !end) return 0.0f;
  vector p = closest_on_segment(*start, *end);
  return snd_3d_gain(index, &p, scale);
}

float snd_pan(const vector* position) {
  if (Snd_disabled || !position) return 0.0f;
  if (*position == Snd_listener.position) return 0.0f;
  float d = vector_distance(Snd_listener.position, *position);
  if (d <= 0.5f) return 0.0f;
  return vector::dot(Snd_listener.orientation.right, *position - Snd_listener.position) / d;
}

float snd_pan_segment(const vector* start, const vector* end) {
  if (Snd_disabled || !start || !end) return 0.0f;
  vector p = closest_on_segment(*start, *end);
  const vector& l = Snd_listener.position;
  if (p == l) return 0.0f;
  const vector v = p - l;
  if (v.length_squared() <= 0.25f) return 0.0f;
  return vector::dot(Snd_listener.orientation.right, v);
}

int snd_doppler(int frequency, const vector* position, const vector* velocity) {
  if (Snd_disabled || !position) return frequency;
  const vector& l = Snd_listener.position;
  if (*position == l) return frequency;
  float d = vector_distance(l, *position);
  vector u{(position->x - l.x) / d, (position->y - l.y) / d, (position->z - l.z) / d};
  const vector w = -u;
  const vector& lv = Snd_listener.velocity;
  vector sv = velocity ? *velocity : vector{0, 0, 0};
  float num = SND_SPEED_OF_SOUND + vector::dot(lv, u);
  float den = SND_SPEED_OF_SOUND - vector::dot(sv, w);
  // At and beyond the speed of sound the rule has no answer: the rate goes
  // to the highest a buffer plays (the lowest, for a listener outrunning
  // the sound), as it does on its way there.
  double f = den > 0.0f ? static_cast<double>(frequency) * num / den : (num > 0.0f ? 1e300 : 0.0);
  if (!(f == f)) return frequency;
  if (f > SND_FREQUENCY_MAX) return SND_FREQUENCY_MAX;
  if (f < SND_FREQUENCY_MIN) return SND_FREQUENCY_MIN;
  return static_cast<int>(f);
}

int snd_doppler_segment(int frequency, const vector* start, const vector* end, const vector* velocity) {
  if (!start || !end) return frequency;
  vector p = closest_on_segment(*start, *end);
  return snd_doppler(frequency, &p, velocity);
}

int snd_play_3d(int index, const vector* position, bool looping) {
  if (Snd_disabled || !valid(index) || !position) return -1;
  int ds = snd_page_in(index, false);
  if (ds < 0) return -1;
  float g = snd_3d_gain(index, position, 1.0f);
  if (!(g >= 0.0f) || !Snd_device_active) return -1;
  const SoundEntry& e = SoundTable[index];
  float level = entry_level(e);
  // Only a mono sound can be placed by the device; a stereo one plays flat,
  // with the distance and the side worked out here.
  if (ds_is_3d() && ds_has_3d(ds)) {
    vector zero{0, 0, 0};
    return ds_play_3d(ds, position, &zero, e.min_distance, e.cutoff_distance, level, looping);
  }
  float pan = snd_pan(position);
  float volume = level != 0.0f ? g / level : g;
  return looping ? snd_play_looping(index, volume, pan) : snd_play(index, volume, pan);
}

void snd_set_listener(const vector* position, const vector* velocity, const matrix* orientation) {
  if (Snd_disabled) return;
  if (position) Snd_listener.position = *position;
  if (velocity) Snd_listener.velocity = *velocity;
  if (orientation) Snd_listener.orientation = *orientation;
  if (Snd_device_active && ds_is_3d())
    ds_set_listener(&Snd_listener.position, &Snd_listener.velocity, &Snd_listener.orientation);
}

void snd_stop(int signature) {
  if (Snd_disabled || !Snd_device_active || signature == -1) return;
  ds_stop(signature);
}

void snd_stop_all() {
  if (Snd_disabled || !Snd_device_active) return;
  ds_stop_all();
}

void snd_fade_out(int signature, int ms) {
  if (Snd_disabled || !Snd_device_active) return;
  ds_fade_out(signature, ms);
}

bool snd_is_playing(int signature) {
  if (Snd_disabled || !Snd_device_active) return false;
  return ds_is_playing(signature);
}

namespace {
// NaN (a damaged options file, or any caller's arithmetic) counts as 0.
float clamp01(float v) { return !(v > 0.0f) ? 0.0f : (v > 1.0f ? 1.0f : v); }
}  // namespace

void snd_set_volume(int signature, float volume) {
  if (Snd_disabled || !Snd_device_active) return;
  ds_set_volume(signature, clamp01(volume));
}

void snd_set_volume_scaled(int index, int signature, float volume) {
  if (Snd_disabled || !Snd_device_active || !valid(index)) return;
  ds_set_volume(signature, clamp01(volume) * entry_level(SoundTable[index]));
}

void snd_set_pan(int signature, float pan) {
  if (Snd_disabled || !Snd_device_active) return;
  ds_set_pan(signature, pan < -1.0f ? -1.0f : (pan > 1.0f ? 1.0f : pan));
}

void snd_set_frequency(int signature, int hz) {
  if (Snd_disabled || !Snd_device_active) return;
  ds_set_frequency(signature, hz < 100 ? 100 : (hz > 100000 ? 100000 : hz));
}

int snd_get_frequency(int signature, int* hz) {
  if (Snd_disabled || !Snd_device_active) return -1;
  return ds_get_frequency(signature, hz);
}

void snd_get_format(int index, int* rate, int* bits, int* channels) {
  if (Snd_disabled || !Snd_device_active || !valid(index)) return;
  int ds = snd_page_in(index, false);
  if (ds >= 0) ds_get_format(ds, rate, bits, channels);
}

float snd_get_duration(int index) {
  if (Snd_disabled || !valid(index) || !Snd_device_active) return 0.0f;
  int ds = SoundTable[index].ds_index;
  return ds >= 0 ? ds_get_duration(ds) : 0.0f;
}

int snd_get_data_size(int index) {
  if (Snd_disabled || !valid(index) || !Snd_device_active) return 0;
  int ds = SoundTable[index].ds_index;
  if (ds < 0) return 0;
  int rate = 0, bits = 0, channels = 0;
  ds_get_format(ds, &rate, &bits, &channels);
  return static_cast<int>(static_cast<double>(rate) * bits * channels * ds_get_duration(ds) / 8.0 + 0.5);
}

int snd_get_file_size(int index) {
  if (Snd_disabled || !valid(index)) return 0;
  const SoundEntry& e = SoundTable[index];
  if (e.ds_index < 0) {
    if (!e.name[0]) return 0;
    FileHandle fh;
    int n = fh.size(strip_directory(e.name), VFILE_ANY_TYPE);
    return n < 0 ? 0 : n;
  }
  return snd_get_data_size(index);
}

void snd_set_category(int index, int category) {
  if (Snd_disabled || !valid(index)) return;
  set_category_bits(SoundTable[index], category);
}

void snd_set_category_volume(int category, float volume) {
  if (Snd_disabled) return;
  volume = clamp01(volume);
  if (category >= 0 && category < SND_NUM_CATEGORIES) Snd_category_volume[category] = volume;
  if (Snd_device_active) ds_set_category_volume(category, volume);
}

float snd_get_category_volume(int category) {
  if (Snd_disabled) return 0.0f;
  return category_volume(category);
}

int snd_count_playing() {
  if (Snd_disabled || !Snd_device_active) return 0;
  return ds_count_playing();
}

SoundEntry* snd_get_entry(int index) { return valid(index) ? &SoundTable[index] : nullptr; }

int snd_copy_entry(int index, SoundEntry* out) {
  if (!valid(index) || !out) return -1;
  *out = SoundTable[index];
  return 0;
}

float snd_get_cutoff(int index) { return valid(index) ? SoundTable[index].cutoff_distance : 0.0f; }

bool snd_is_3d() { return !Snd_disabled && Snd_device_active && ds_is_3d(); }

bool snd_positional(int index) { return snd_is_3d() && ds_has_3d(snd_page_in(index, false)); }

void snd_set_environment(const char* preset) {
  if (Snd_disabled || !Snd_device_active || !ds_is_eax()) return;
  eax_set_environment(preset);
}

void snd_update() {
  if (Snd_disabled || !Snd_device_active) return;
  ds_update_fades();
}

void snd_pause_all(bool include_streams) {
  if (Snd_disabled || !Snd_device_active) return;
  ds_pause_all(include_streams);
}

void snd_resume_all() {
  if (Snd_disabled || !Snd_device_active) return;
  ds_resume_all();
}
