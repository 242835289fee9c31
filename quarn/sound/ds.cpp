#include "quarn/sound/ds.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <vector>

#include "quarn/math/matrix.h"
#include "quarn/os/console.h"
#include "quarn/math/vector.h"
#include "quarn/sound/eax.h"
#include "quarn/sound/stream.h"

LoadedSound Loaded_sounds[MAX_LOADED_SOUNDS];
SoundChannel Sound_channels[MAX_SOUND_CHANNELS];
int Ds_volume_table[101];

namespace {

DsDevice* Ds_device = nullptr;
DsBuffer* pPrimaryBuffer = nullptr;
Ds3DListener* Ds_listener = nullptr;
bool Ds_3d = false;
bool Ds_eax = false;
bool Ds_initialized = false;
bool Ds_listener_ready = false;
int Ds_signature = 0;
// The category volumes the channels' levels were last scaled by.
float Ds_category_volume[4] = {1.0f, 1.0f, 1.0f, 1.0f};
DsBuffer* Vm_buffer = nullptr;
Ds3DBuffer* Vm_3d = nullptr;
DsPropertySet* Vm_props = nullptr;
char Ds_diag[512];

// Our device objects never refuse a release, so the retries the output layer
// once needed for busy hardware buffers have nothing left to do.
template <typename T>
void release_object(T*& obj) {
  if (!obj) return;
  obj->release();
  obj = nullptr;
}

void clear_channel(SoundChannel& c) {
  c.pdsb = nullptr;
  c.pds3db = nullptr;
  c.sound = -1;
  c.stream = -1;
  c.signature = -1;
  c.volume = 0.0f;
  c.category = 0;
  c.fade_step = 0.0f;
  c.fade_timer.invalidate();
  c.flags = 0;
}

void clear_sound(LoadedSound& s) {
  s.name[0] = 0;
  s.path[0] = 0;
  s.offset = 0;
  s.name_hash = 0xFFFFFFFFu;
  s.category = 0;
  s.pdsb = nullptr;
  s.pds3db = nullptr;
  s.file_format = nullptr;
  s.buffer_format = nullptr;
  s.acm_stream = nullptr;
  s.file = nullptr;
  s.data_chunk = MmioChunk{};
  s.riff_chunk = MmioChunk{};
  s.frames = 0;
  s.refs = 0;
}

// A volume the layer can use: NaN (a damaged options file, or any caller's
// arithmetic) is silence rather than an index past the volume table.
float usable_volume(float v) {
  if (!(v > 0.0f)) return 0.0f;
  return v > 1.0f ? 1.0f : v;
}

// Says which sound file cannot be played and why, where a player or a
// developer looks: the console and the standard error.
void refuse_sound(const char* name, const char* why) {
  ds_diagnostic("Sound %s cannot be played: %s\n", name, why);
  console_printf("%s", ds_last_diagnostic());
  std::fprintf(stderr, "%s", ds_last_diagnostic());
}

DsVector to_ds(const vector& v) { return DsVector{v.x, v.y, v.z}; }

// A buffer whose status cannot be read counts as silent.
bool buffer_playing(DsBuffer* b) {
  uint32_t status = 0;
  return !ds_failed(b->get_status(&status)) && (status & DSBSTATUS_PLAYING);
}

// Where a 3-D buffer sounds from, deferred until the listener commits.
void place_3d(Ds3DBuffer* b, const vector* position, const vector* velocity, float min_distance,
              float max_distance) {
  if (position) b->set_position(to_ds(*position), DS3D_DEFERRED);
  if (velocity) b->set_velocity(to_ds(*velocity), DS3D_DEFERRED);
  b->set_min_distance(min_distance, DS3D_DEFERRED);
  b->set_max_distance(max_distance, DS3D_DEFERRED);
}

void build_volume_table() {
  Ds_volume_table[0] = DSBVOLUME_MIN;
  for (int i = 1; i <= 100; ++i)
    Ds_volume_table[i] = static_cast<int>(1000.0 * std::log2(i / 100.0));
}

// Static buffer of a loaded sound, filled from its open wave.
bool create_static_buffer(LoadedSound& s) {
  const WaveFormat& ff = *s.file_format;
  const WaveFormat& bf = *s.buffer_format;
  if (wave_find_data(s.file, &s.data_chunk, &s.riff_chunk) != 0) return false;
  uint32_t flags = DSBCAPS_STATIC | DSBCAPS_LOCSOFTWARE | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME;
  if (Ds_3d && bf.channels == 1)  // 3-D control is for mono buffers only
    flags = DSBCAPS_STATIC | DSBCAPS_CTRL3D | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME |
            DSBCAPS_MUTE3DATMAXDISTANCE;
  std::vector<uint8_t> decoded;
  uint32_t bytes = s.data_chunk.size;
  if (ff.tag == WAVE_FORMAT_ADPCM) {
    // Bounded by what the file can really hold before allocating.
    std::vector<uint8_t> packed(bytes);
    uint32_t got = 0;
    if (bytes == 0 || wave_read(s.file, bytes, packed.data(), &s.data_chunk, &got) != 0 || got == 0)
      return false;
    WaveFormat pcm;
    if (acm_open_stream(&ff, &pcm, &s.acm_stream, 16) != 0) return false;
    int out = acm_dest_size(s.acm_stream, got);
    if (out <= 0) {
      acm_close_stream(s.acm_stream);
      s.acm_stream = nullptr;
      return false;
    }
    decoded.resize(static_cast<size_t>(out));
    uint32_t used_d = 0, used_s = 0;
    int r = acm_convert(s.acm_stream, packed.data(), got, decoded.data(), static_cast<uint32_t>(out),
                        &used_d, &used_s);
    acm_close_stream(s.acm_stream);
    s.acm_stream = nullptr;
    if (r != 0 || used_d == 0) {
      refuse_sound(s.name, "its MS-ADPCM data is damaged");
      return false;
    }
    decoded.resize(used_d);
    bytes = used_d;
  } else if (ff.tag != WAVE_FORMAT_PCM) {
    return false;
  }
  if (bytes == 0) {
    refuse_sound(s.name, "it holds no sound");
    return false;
  }
  DsBufferDesc d;
  d.flags = flags;
  d.bytes = bytes;
  d.format = &bf;
  DsResult r = Ds_device->create_sound_buffer(d, &s.pdsb);
  if (ds_failed(r)) {
    ds_diagnostic("CreateSoundBuffer failed: %s\n", ds_error_text(r));
    return false;
  }
  void* p1 = nullptr;
  uint32_t n1 = 0;
  if (ds_failed(s.pdsb->lock(0, 0, &p1, &n1, nullptr, nullptr, true))) return false;
  if (ff.tag == WAVE_FORMAT_ADPCM) {
    std::memcpy(p1, decoded.data(), n1);
  } else {
    uint32_t got = 0;
    if (wave_read(s.file, n1, static_cast<uint8_t*>(p1), &s.data_chunk, &got) != 0) {
      s.pdsb->unlock(p1, n1, nullptr, 0);
      return false;
    }
  }
  s.pdsb->unlock(p1, n1, nullptr, 0);
  s.frames = bf.block_align ? bytes / bf.block_align : 0;
  if (Ds_3d) {
    void* i3 = nullptr;
    DsResult q = s.pdsb->query_interface(DsInterface::Buffer3D, &i3);
    if (ds_failed(q))
      ds_diagnostic("Could not obtain 3D interface for hardware buffer: %s\n", ds_error_text(q));
    else
      s.pds3db = static_cast<Ds3DBuffer*>(i3);
  }
  return true;
}

void free_sound(LoadedSound& s) {
  {
    PlatformLockGuard lk(Stream_lock);
    int slot = static_cast<int>(&s - Loaded_sounds);
    for (int i = 0; i < MAX_WAVE_STREAMS; ++i)
      if ((Wave_streams[i].flags & WSF_ACTIVE) && Wave_streams[i].sound == slot) stream_stop(i);
  }
  wave_free_formats(&s.file_format, &s.buffer_format);
  if (s.acm_stream) acm_close_stream(s.acm_stream);
  if (s.file) wave_close(s.file);
  if (s.pdsb) s.pdsb->stop();
  release_object(s.pds3db);
  release_object(s.pdsb);
  clear_sound(s);
}

}  // namespace

void ds_diagnostic(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(Ds_diag, sizeof(Ds_diag), fmt, ap);
  va_end(ap);
}

const char* ds_last_diagnostic() { return Ds_diag; }
DsDevice* ds_device() { return Ds_device; }
DsPropertySet* ds_property_set() { return Vm_props; }
bool ds_initialized() { return Ds_initialized; }
bool ds_is_3d() { return Ds_3d; }
bool ds_is_eax() { return Ds_eax; }
void ds_disable_3d() { Ds_3d = false; }
void ds_disable_eax() { Ds_eax = false; }

uint32_t ds_name_hash(const char* name) {
  if (!name) return 0xFFFFFFFFu;
  uint32_t h = 0;
  for (const char* p = name; *p; ++p) {
    h = (h << 6) | (h >> 26);
    h ^= static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*p)));
  }
  return h;
}

int ds_volume_to_mb(float volume) {
  // A hair over, so that a level scaled down and back up by its category
  // lands on the step it left, not one below.
  float scaled = volume * 100.0f + 1e-4f;
  int i = scaled >= 100.0f ? 100 : !(scaled > 0.0f) ? 0 : static_cast<int>(scaled);
  return Ds_volume_table[i];
}

void ds_apply_volume(int ch, float volume) {
  if (ch < 0 || ch >= MAX_SOUND_CHANNELS || !Sound_channels[ch].pdsb) return;
  SoundChannel& c = Sound_channels[ch];
  c.volume = usable_volume(volume);
  c.pdsb->set_volume(ds_volume_to_mb(c.volume));
}

int ds_init(void* window, int rate, int bits, int channels, bool want_3d, bool want_eax,
            bool plain_device) {
  if (Ds_initialized) return 0;
  if (!ds_platform_library_available("dsound.dll")) return -1;
  Ds_3d = want_3d || want_eax;
  Ds_eax = want_eax;
  DsResult r = plain_device ? ds_platform_create(&Ds_device) : ds_platform_create_eax(&Ds_device);
  if (ds_failed(r)) {
    ds_diagnostic("DirectSoundCreate() failed with return value: %s\n", ds_error_text(r));
    std::fprintf(stderr, "Sound is off: no sound device could be opened.\n");
    Ds_device = nullptr;
    return -1;
  }
  r = Ds_device->set_cooperative_level(window, DSSCL_EXCLUSIVE);
  if (ds_failed(r)) {
    release_object(Ds_device);
    ds_diagnostic("SetCooperativeLevel() failed with return value: %s\n", ds_error_text(r));
    return -1;
  }
  DsBufferDesc pd;
  pd.flags = Ds_3d ? DSBCAPS_PRIMARYBUFFER | DSBCAPS_CTRL3D : DSBCAPS_PRIMARYBUFFER;
  r = Ds_device->create_sound_buffer(pd, &pPrimaryBuffer);
  if (ds_failed(r) && Ds_3d) {
    Ds_3d = Ds_eax = false;
    pd.flags = DSBCAPS_PRIMARYBUFFER;
    r = Ds_device->create_sound_buffer(pd, &pPrimaryBuffer);
  }
  if (ds_failed(r)) {
    release_object(Ds_device);
    return -1;
  }
  WaveFormat pf;
  pf.channels = static_cast<uint16_t>(channels);
  pf.rate = static_cast<uint32_t>(rate);
  pf.bits = static_cast<uint16_t>(bits);
  pf.block_align = static_cast<uint16_t>(bits / 8 * channels);
  pf.bytes_per_second = pf.block_align * pf.rate;
  pPrimaryBuffer->set_format(pf);
  for (LoadedSound& s : Loaded_sounds) clear_sound(s);
  for (SoundChannel& c : Sound_channels) clear_channel(c);
  Ds_signature = 0;
  for (float& v : Ds_category_volume) v = 1.0f;
  stream_init();
  if (Ds_3d) {
    bool ok = false;
    WaveFormat vf;
    vf.channels = 1;
    vf.rate = 22050;
    vf.bits = 16;
    vf.block_align = 2;
    vf.bytes_per_second = 44100;
    DsBufferDesc vd;
    vd.flags = DSBCAPS_STATIC | DSBCAPS_CTRL3D;
    vd.bytes = 32;
    vd.format = &vf;
    void* p = nullptr;
    uint32_t support = 0;
    int one = 1;
    if (!ds_failed(Ds_device->create_sound_buffer(vd, &Vm_buffer)) &&
        !ds_failed(Vm_buffer->query_interface(DsInterface::Buffer3D, &p)) && (Vm_3d = static_cast<Ds3DBuffer*>(p)) &&
        !ds_failed(Vm_buffer->query_interface(DsInterface::PropertySet, &p)) &&
        (Vm_props = static_cast<DsPropertySet*>(p)) &&
        !ds_failed(Vm_props->query_support(DsPropertySetId::VoiceManager, DSPROP_VOICE_MANAGER_MODE, &support)) &&
        (support & KSPROPERTY_SUPPORT_SET) &&
        !ds_failed(Vm_props->set(DsPropertySetId::VoiceManager, DSPROP_VOICE_MANAGER_MODE, &one, 4))) {
      DsResult q = pPrimaryBuffer->query_interface(DsInterface::Listener3D, &p);
      if (ds_failed(q)) {
        ds_diagnostic("Fatal error calling pPrimaryBuffer->QueryInterface(): %s\n", ds_error_text(q));
      } else {
        Ds_listener = static_cast<Ds3DListener*>(p);
        Ds_listener_ready = true;
        ok = true;
      }
    }
    if (!ok) {
      Ds_3d = Ds_eax = false;
      release_object(Vm_props);
      release_object(Vm_3d);
      release_object(Vm_buffer);
    }
  }
  if (Ds_eax) eax_init();
  build_volume_table();
  Ds_initialized = true;
  return 0;
}

void ds_close() {
  if (!Ds_initialized) return;
  for (int i = 0; i < MAX_SOUND_CHANNELS; ++i) ds_release_channel(i, true);
  for (LoadedSound& s : Loaded_sounds)
    if (s.name_hash != 0xFFFFFFFFu || s.pdsb || s.file) free_sound(s);
  stream_close();
  eax_close();
  release_object(Ds_listener);
  Ds_listener_ready = false;
  release_object(Vm_props);
  release_object(Vm_3d);
  release_object(Vm_buffer);
  release_object(pPrimaryBuffer);
  release_object(Ds_device);
  acm_close();
  Ds_3d = Ds_eax = false;
  Ds_initialized = false;
}

int ds_load(const char* name, const char* path, uint32_t offset, int category, bool stream) {
  if (!Ds_initialized || !name || !path) return -1;
  if (std::strlen(name) >= sizeof(LoadedSound::name) || std::strlen(path) >= sizeof(LoadedSound::path))
    return -1;
  uint32_t h = ds_name_hash(name);
  int free_slot = -1;
  for (int i = 0; i < MAX_LOADED_SOUNDS; ++i) {
    LoadedSound& s = Loaded_sounds[i];
    if (s.name_hash == 0xFFFFFFFFu) {
      if (free_slot < 0) free_slot = i;
      continue;
    }
    // A file opened for streaming has no buffer to play whole, and a whole
    // one no open file to stream from: each kind has a slot of its own.
    if ((s.pdsb == nullptr) != stream) continue;
    // Names differing only in case are one sound, though their hashes differ.
    if ((s.name_hash == h && strcmp(s.name, name) == 0) || strcasecmp(s.name, name) == 0) {
      ++s.refs;
      return i;
    }
  }
  if (free_slot < 0) return -1;
  LoadedSound& s = Loaded_sounds[free_slot];
  std::snprintf(s.name, sizeof(s.name), "%s", name);
  std::snprintf(s.path, sizeof(s.path), "%s", path);
  s.offset = offset;
  s.category = category;
  if (wave_open(path, offset, &s.file, &s.file_format, &s.buffer_format, &s.riff_chunk) != 0) {
    refuse_sound(name, wave_refusal());
    clear_sound(s);
    return -1;
  }
  if (!stream) {
    bool ok = create_static_buffer(s);
    wave_close(s.file);
    s.file = nullptr;
    if (!ok) {
      free_sound(s);
      return -1;
    }
  } else if (s.file_format->tag == WAVE_FORMAT_ADPCM && acm_init() != 0) {
    refuse_sound(name, "no MS-ADPCM decoder is available");
    free_sound(s);
    return -1;
  } else if (wave_find_data(s.file, &s.data_chunk, &s.riff_chunk) != 0) {
    refuse_sound(name, "it has no sound data");
    free_sound(s);
    return -1;
  } else {
    s.frames = wave_frames(*s.file_format, s.data_chunk.size);
  }
  s.name_hash = h;
  s.refs = 1;
  return free_slot;
}

void ds_unload(int slot) {
  if (slot < 0 || slot >= MAX_LOADED_SOUNDS) return;
  LoadedSound& s = Loaded_sounds[slot];
  if (s.name_hash == 0xFFFFFFFFu) return;
  if (--s.refs > 0) return;
  free_sound(s);
}

int ds_free_channel() {
  for (int i = 0; i < MAX_SOUND_CHANNELS; ++i) {
    SoundChannel& c = Sound_channels[i];
    if (!c.pdsb) return i;
    // A paused sound is only waiting for its resume.
    if (c.flags & SCF_PAUSED) continue;
    if (c.flags & SCF_STREAMED) {
      // A stream that ran out and stopped itself no longer needs its channel.
      bool feeds;
      {
        PlatformLockGuard lk(Stream_lock);
        feeds = stream_feeds(c.stream, i);
      }
      if (feeds) continue;
      ds_release_channel(i, true);
      return i;
    }
    if (c.flags & SCF_LOOPING) continue;
    uint32_t status = 0;
    if (ds_failed(c.pdsb->get_status(&status))) return -1;
    if (status & DSBSTATUS_PLAYING) continue;
    ds_release_channel(i, true);
    return i;
  }
  return -1;
}

void ds_release_channel(int ch, bool even_fading) {
  if (ch < 0 || ch >= MAX_SOUND_CHANNELS) return;
  SoundChannel& c = Sound_channels[ch];
  if (!c.pdsb) {
    clear_channel(c);
    return;
  }
  if ((c.flags & SCF_FADING) && !even_fading) return;
  if (c.flags & SCF_STREAMED) {
    PlatformLockGuard lk(Stream_lock);
    if (stream_feeds(c.stream, ch)) stream_stop(c.stream);
  }
  c.pdsb->stop();
  release_object(c.pds3db);
  release_object(c.pdsb);
  clear_channel(c);
}

void ds_set_signature_counter(int value) { Ds_signature = value; }

int ds_next_signature() {
  int sig = Ds_signature;
  // Past the largest number the count starts again at 0.
  Ds_signature = Ds_signature == 0x7fffffff ? 0 : Ds_signature + 1;
  return sig;
}

namespace {

// Steps shared by the 2-D and 3-D plays: a free channel holding a duplicate.
int start_duplicate(int slot, SoundChannel** out) {
  if (!Ds_initialized || slot < 0 || slot >= MAX_LOADED_SOUNDS) return -1;
  LoadedSound& s = Loaded_sounds[slot];
  if (!s.pdsb) return -1;
  int ch = ds_free_channel();
  if (ch < 0) return -1;
  SoundChannel& c = Sound_channels[ch];
  DsResult r = Ds_device->duplicate_sound_buffer(s.pdsb, &c.pdsb);
  if (ds_failed(r)) {
    ds_diagnostic("DuplicateSoundBuffer failed because: %s\n", ds_error_text(r));
    clear_channel(c);
    return -1;
  }
  *out = &c;
  return ch;
}

}  // namespace

int ds_start_channel(int ch, bool looping) {
  SoundChannel& c = Sound_channels[ch];
  if (ds_failed(c.pdsb->play(looping ? DSBPLAY_LOOPING : 0))) {
    ds_release_channel(ch, true);
    return -1;
  }
  c.signature = ds_next_signature();
  return c.signature;
}

int ds_play(int slot, float volume, float pan, bool looping) {
  SoundChannel* c = nullptr;
  int ch = start_duplicate(slot, &c);
  if (ch < 0) return -1;
  void* p = nullptr;
  if (!ds_failed(c->pdsb->query_interface(DsInterface::Buffer3D, &p))) {
    c->pds3db = static_cast<Ds3DBuffer*>(p);
    c->pds3db->set_mode(DS3DMODE_DISABLE, DS3D_IMMEDIATE);
    if (Ds_eax) eax_buffer_no_reverb(c->pdsb);
  }
  if (looping) c->flags |= SCF_LOOPING;
  ds_apply_volume(ch, volume);
  c->category = Loaded_sounds[slot].category;
  c->pdsb->set_pan(static_cast<int>(pan * 1000.0f));
  c->sound = slot;
  return ds_start_channel(ch, looping);
}

int ds_play_3d(int slot, const vector* position, const vector* velocity, float min_distance,
               float max_distance, float volume, bool looping) {
  if (!Ds_listener_ready) return -1;
  SoundChannel* c = nullptr;
  int ch = start_duplicate(slot, &c);
  if (ch < 0) return -1;
  void* p = nullptr;
  if (ds_failed(c->pdsb->query_interface(DsInterface::Buffer3D, &p))) {
    ds_release_channel(ch, true);
    return -1;
  }
  c->pds3db = static_cast<Ds3DBuffer*>(p);
  c->pds3db->set_mode(DS3DMODE_NORMAL, DS3D_IMMEDIATE);
  if (looping) c->flags |= SCF_LOOPING;
  ds_apply_volume(ch, volume);
  c->category = Loaded_sounds[slot].category;
  c->sound = slot;
  place_3d(c->pds3db, position, velocity, min_distance, max_distance);
  Ds_listener->commit_deferred_settings();
  return ds_start_channel(ch, looping);
}

bool ds_has_3d(int slot) {
  return Ds_listener_ready && slot >= 0 && slot < MAX_LOADED_SOUNDS && Loaded_sounds[slot].pds3db;
}

int ds_set_3d(int signature, const vector* position, const vector* velocity, float min_distance,
              float max_distance) {
  int ch = ds_channel_from_handle(signature);
  if (ch < 0 || !Ds_listener_ready) return -1;
  SoundChannel& c = Sound_channels[ch];
  if (!c.pds3db) return -1;
  place_3d(c.pds3db, position, velocity, min_distance, max_distance);
  return ds_failed(Ds_listener->commit_deferred_settings()) ? -1 : 0;
}

int ds_set_listener(const vector* position, const vector* velocity, const matrix* orientation) {
  if (!Ds_listener_ready) return -1;
  Ds_listener->set_position(to_ds(*position), DS3D_DEFERRED);
  Ds_listener->set_velocity(to_ds(*velocity), DS3D_DEFERRED);
  Ds_listener->set_orientation(to_ds(orientation->forward), to_ds(orientation->up), DS3D_DEFERRED);
  Ds_listener->set_rolloff_factor(2.0f, DS3D_DEFERRED);
  Ds_listener->set_doppler_factor(1.0f, DS3D_DEFERRED);
  return ds_failed(Ds_listener->commit_deferred_settings()) ? -1 : 0;
}

int ds_channel_from_handle(int signature) {
  if (signature < 0) return -1;
  for (int i = 0; i < MAX_SOUND_CHANNELS; ++i)
    if (Sound_channels[i].pdsb && Sound_channels[i].signature == signature) return i;
  return -1;
}

void ds_stop(int signature) { ds_release_channel(ds_channel_from_handle(signature), false); }

void ds_stop_all() {
  for (int i = 0; i < MAX_SOUND_CHANNELS; ++i) ds_release_channel(i, false);
}

void ds_fade_out(int signature, int ms) {
  int ch = ds_channel_from_handle(signature);
  if (ch < 0) return;
  SoundChannel& c = Sound_channels[ch];
  if (ms < 75) {
    ds_release_channel(ch, true);
    return;
  }
  c.flags |= SCF_FADING;
  c.fade_timer.set(0);
  c.fade_step = c.volume / static_cast<float>(ms / 75);
}

void ds_update_fades() {
  stream_report_damage();
  for (int i = 0; i < MAX_SOUND_CHANNELS; ++i) {
    SoundChannel& c = Sound_channels[i];
    if (!c.pdsb || !(c.flags & SCF_FADING)) continue;
    if (!buffer_playing(c.pdsb)) continue;
    if (!c.fade_timer.elapsed()) continue;
    c.fade_timer.set(75);
    c.volume -= c.fade_step;
    if (c.volume <= 0.0f) {
      c.flags &= ~SCF_FADING;
      ds_release_channel(i, true);
    } else {
      c.pdsb->set_volume(ds_volume_to_mb(c.volume));
    }
  }
}

void ds_pause_all(bool include_streams) {
  for (SoundChannel& c : Sound_channels) {
    if (!c.pdsb) continue;
    if ((c.flags & SCF_STREAMED) && !include_streams) continue;
    if (!buffer_playing(c.pdsb)) continue;
    c.pdsb->stop();
    c.flags |= SCF_PAUSED;
  }
}

namespace {
void resume_channel(SoundChannel& c) {
  if (!c.pdsb || !(c.flags & SCF_PAUSED)) return;
  c.pdsb->play((c.flags & (SCF_LOOPING | SCF_STREAMED)) ? DSBPLAY_LOOPING : 0);
  c.flags &= ~SCF_PAUSED;
}
}  // namespace

void ds_resume(int signature) {
  int ch = ds_channel_from_handle(signature);
  if (ch >= 0) resume_channel(Sound_channels[ch]);
}

void ds_resume_all() {
  for (SoundChannel& c : Sound_channels) resume_channel(c);
}

void ds_set_volume(int signature, float volume) {
  ds_apply_volume(ds_channel_from_handle(signature), volume);
}

void ds_set_pan(int signature, float pan) {
  int ch = ds_channel_from_handle(signature);
  if (ch >= 0) Sound_channels[ch].pdsb->set_pan(static_cast<int>(pan * 1000.0f));
}

void ds_set_frequency(int signature, int hz) {
  int ch = ds_channel_from_handle(signature);
  if (ch < 0) return;
  uint32_t status = 0;
  DsResult r = Sound_channels[ch].pdsb->get_status(&status);
  if (ds_failed(r)) {
    ds_diagnostic("GetStatus failed with return value %s\n", ds_error_text(r));
    return;
  }
  if (status & DSBSTATUS_PLAYING) {
    r = Sound_channels[ch].pdsb->set_frequency(static_cast<uint32_t>(hz));
    if (ds_failed(r)) ds_diagnostic("SetFrequency failed with return value %s\n", ds_error_text(r));
  }
}

int ds_get_frequency(int signature, int* hz) {
  int ch = ds_channel_from_handle(signature);
  if (ch < 0) return -1;
  uint32_t f = 0;
  if (ds_failed(Sound_channels[ch].pdsb->get_frequency(&f))) return -1;
  *hz = static_cast<int>(f);
  return 0;
}

bool ds_is_playing(int signature) {
  int ch = ds_channel_from_handle(signature);
  return ch >= 0 && buffer_playing(Sound_channels[ch].pdsb);
}

int ds_count_playing() {
  int n = 0;
  for (SoundChannel& c : Sound_channels) {
    if (c.pdsb && buffer_playing(c.pdsb)) ++n;
  }
  return n;
}

void ds_get_format(int slot, int* rate, int* bits, int* channels) {
  if (slot < 0 || slot >= MAX_LOADED_SOUNDS || !Loaded_sounds[slot].buffer_format) return;
  const WaveFormat& f = *Loaded_sounds[slot].buffer_format;
  if (rate) *rate = static_cast<int>(f.rate);
  if (bits) *bits = f.bits;
  if (channels) *channels = f.channels;
}

// The frames of sound the data holds over the rate: the RIFF chunk counts
// headers too, and neither it nor compressed bytes are frames.
float ds_get_duration(int slot) {
  if (slot < 0 || slot >= MAX_LOADED_SOUNDS || !Loaded_sounds[slot].buffer_format) return 0.0f;
  const LoadedSound& s = Loaded_sounds[slot];
  const WaveFormat& f = *s.buffer_format;
  if (f.rate == 0) return 0.0f;
  return static_cast<float>(static_cast<double>(s.frames) / f.rate);
}

void ds_set_category_volume(int category, float volume) {
  volume = usable_volume(volume);
  // Each channel keeps its own level within the category: it is scaled by
  // the change, not set to the category's volume.
  for (int i = 0; i < MAX_SOUND_CHANNELS; ++i) {
    SoundChannel& c = Sound_channels[i];
    if (!c.pdsb) continue;
    if (category != -1 && c.category != category) continue;
    bool known = c.category >= 0 && c.category < 4;
    float old = known ? Ds_category_volume[c.category] : 1.0f;
    if (!known && category != -1) continue;
    if (old > 0.0f) ds_apply_volume(i, c.volume * volume / old);
  }
  for (int k = 0; k < 4; ++k)
    if (category == -1 || category == k) Ds_category_volume[k] = volume;
}

const char* ds_error_text(DsResult code) {
  switch (code) {
    case DS_OK: return "DS_OK";
    case DSERR_ALLOCATED: return "DSERR_ALLOCATED";
    case DSERR_ALREADYINITIALIZED: return "DSERR_ALREADYINITIALIZED";
    case DSERR_BADFORMAT: return "DSERR_BADFORMAT";
    case DSERR_BUFFERLOST: return "DSERR_BUFFERLOST";
    case DSERR_CONTROLUNAVAIL: return "DSERR_CONTROLUNAVAIL";
    case DSERR_GENERIC: return "DSERR_GENERIC";
    case DSERR_INVALIDCALL: return "DSERR_INVALIDCALL";
    case DSERR_INVALIDPARAM: return "DSERR_INVALIDPARAM";
    case DSERR_NOAGGREGATION: return "DSERR_NOAGGREGATION";
    case DSERR_NODRIVER: return "DSERR_NODRIVER";
    case DSERR_OUTOFMEMORY: return "DSERR_OUTOFMEMORY";
    case DSERR_OTHERAPPHASPRIO: return "DSERR_OTHERAPPHASPRIO";
    case DSERR_PRIOLEVELNEEDED: return "DSERR_PRIOLEVELNEEDED";
    case DSERR_UNINITIALIZED: return "DSERR_UNINITIALIZED";
    case DSERR_UNSUPPORTED: return "DSERR_UNSUPPORTED";
    default: return "unknown";
  }
}
