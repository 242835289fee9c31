// The sound device on OpenAL Soft.
//
// A buffer that plays flat (no 3-D control, or 3-D switched off) is voiced by
// two sources fed with one-sided stereo copies of its data, played in lock
// step with direct channels: that is the only way to give the left and right
// outputs the exact attenuations of the pan law, which lowers the far side
// only. A buffer that plays in 3-D is voiced by one mono source.
//
// A streaming ring is not something OpenAL has: the ring memory belongs to
// us, and a feeder queues slices of it to the sources. The write cursor is the
// feeder's read position (everything behind it is already copied into the
// mixer); the play cursor is what is being heard, behind it by what is still
// queued. Writers go by the play cursor, so a stream that ends is stopped
// only once its last sample has been heard.
#include "quarn/platform/dsound.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <AL/efx-presets.h>
#include <AL/efx.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace {

std::recursive_mutex g_mx;

struct SharedData {
  std::vector<uint8_t> bytes;
  ALuint mono = 0, left = 0, right = 0;
  bool uploaded = false;
  ~SharedData() {
    ALuint b[3] = {mono, left, right};
    for (ALuint id : b)
      if (id) alDeleteBuffers(1, &id);
  }
};

struct ListenerState {
  DsVector pos, vel, front{0, 0, 1}, top{0, 1, 0};
  float rolloff = 1.0f, doppler = 1.0f;
};

struct Al {
  ALCdevice* device = nullptr;
  ALCcontext* context = nullptr;
  bool loopback = false;
  int loopback_rate = 0;
  LPALCRENDERSAMPLESSOFT render = nullptr;
  bool efx = false;
  LPALGENEFFECTS gen_effects = nullptr;
  LPALDELETEEFFECTS delete_effects = nullptr;
  LPALEFFECTI effecti = nullptr;
  LPALEFFECTF effectf = nullptr;
  LPALEFFECTFV effectfv = nullptr;
  LPALGENAUXILIARYEFFECTSLOTS gen_slots = nullptr;
  LPALDELETEAUXILIARYEFFECTSLOTS delete_slots = nullptr;
  LPALAUXILIARYEFFECTSLOTI sloti = nullptr;
  ALuint slot = 0, effect = 0;
  int environment = -1;
  float decay = 0.0f;
  ListenerState listener, pending;
  std::set<DsBufferState*> buffers;
  std::thread feeder;
  std::atomic<bool> feeder_run{false};
  int devices = 0;
};
Al g_al;
int g_next_loopback = 0;

const EFXEAXREVERBPROPERTIES kPresets[EAX_ENVIRONMENT_COUNT] = {
    EFX_REVERB_PRESET_GENERIC,         EFX_REVERB_PRESET_PADDEDCELL,
    EFX_REVERB_PRESET_ROOM,            EFX_REVERB_PRESET_BATHROOM,
    EFX_REVERB_PRESET_LIVINGROOM,      EFX_REVERB_PRESET_STONEROOM,
    EFX_REVERB_PRESET_AUDITORIUM,      EFX_REVERB_PRESET_CONCERTHALL,
    EFX_REVERB_PRESET_CAVE,            EFX_REVERB_PRESET_ARENA,
    EFX_REVERB_PRESET_HANGAR,          EFX_REVERB_PRESET_CARPETEDHALLWAY,
    EFX_REVERB_PRESET_HALLWAY,         EFX_REVERB_PRESET_STONECORRIDOR,
    EFX_REVERB_PRESET_ALLEY,           EFX_REVERB_PRESET_FOREST,
    EFX_REVERB_PRESET_CITY,            EFX_REVERB_PRESET_MOUNTAINS,
    EFX_REVERB_PRESET_QUARRY,          EFX_REVERB_PRESET_PLAIN,
    EFX_REVERB_PRESET_PARKINGLOT,      EFX_REVERB_PRESET_SEWERPIPE,
    EFX_REVERB_PRESET_UNDERWATER,      EFX_REVERB_PRESET_DRUGGED,
    EFX_REVERB_PRESET_DIZZY,           EFX_REVERB_PRESET_PSYCHOTIC,
};

// A ring is queued in slices of a 32nd (62.5 ms of a two-second ring).
constexpr uint32_t kRingSlices = 32;
// 750 ms queued: a device that renders in real time catches up in one burst
// after the process has stalled (a loaded machine), faster than the feeder
// wakes; the rest of the ring still leaves the refill timer over a second.
constexpr size_t kSlicesAhead = 12;

float finite_or_zero(float v) { return std::isfinite(v) ? v : 0.0f; }

// Left-handed to right-handed.
void al_vec(const DsVector& v, ALfloat out[3]) {
  out[0] = finite_or_zero(v.x);
  out[1] = finite_or_zero(v.y);
  out[2] = -finite_or_zero(v.z);
}

float mb_to_gain(int mb) {
  if (mb <= DSBVOLUME_MIN) return 0.0f;
  return std::pow(10.0f, static_cast<float>(mb) / 2000.0f);
}

// The data as 16-bit stereo with only one side kept, for the flat voices.
std::vector<int16_t> one_side(const uint8_t* data, size_t bytes, const WaveFormat& f,
                              int side) {
  int ch = f.channels == 2 ? 2 : 1;
  int bps = f.bits == 8 ? 1 : 2;
  size_t frames = bytes / static_cast<size_t>(ch * bps);
  std::vector<int16_t> out(frames * 2, 0);
  for (size_t i = 0; i < frames; ++i) {
    int c = ch == 2 ? side : 0;
    size_t at = (i * ch + c) * bps;
    int16_t s;
    if (bps == 1) {
      s = static_cast<int16_t>((static_cast<int>(data[at]) - 128) * 256);
    } else {
      s = static_cast<int16_t>(data[at] | (data[at + 1] << 8));
    }
    out[i * 2 + side] = s;
  }
  return out;
}

ALuint make_side_buffer(const uint8_t* data, size_t bytes, const WaveFormat& f, int side) {
  std::vector<int16_t> s = one_side(data, bytes, f, side);
  ALuint id = 0;
  alGenBuffers(1, &id);
  alBufferData(id, AL_FORMAT_STEREO16, s.data(), static_cast<ALsizei>(s.size() * 2),
               static_cast<ALsizei>(f.rate));
  return id;
}

void load_preset(const EFXEAXREVERBPROPERTIES& r, float decay) {
  ALuint e = g_al.effect;
  g_al.effectf(e, AL_EAXREVERB_DENSITY, r.flDensity);
  g_al.effectf(e, AL_EAXREVERB_DIFFUSION, r.flDiffusion);
  g_al.effectf(e, AL_EAXREVERB_GAIN, r.flGain);
  g_al.effectf(e, AL_EAXREVERB_GAINHF, r.flGainHF);
  g_al.effectf(e, AL_EAXREVERB_GAINLF, r.flGainLF);
  g_al.effectf(e, AL_EAXREVERB_DECAY_TIME, decay);
  g_al.effectf(e, AL_EAXREVERB_DECAY_HFRATIO, r.flDecayHFRatio);
  g_al.effectf(e, AL_EAXREVERB_DECAY_LFRATIO, r.flDecayLFRatio);
  g_al.effectf(e, AL_EAXREVERB_REFLECTIONS_GAIN, r.flReflectionsGain);
  g_al.effectf(e, AL_EAXREVERB_REFLECTIONS_DELAY, r.flReflectionsDelay);
  g_al.effectfv(e, AL_EAXREVERB_REFLECTIONS_PAN, r.flReflectionsPan);
  g_al.effectf(e, AL_EAXREVERB_LATE_REVERB_GAIN, r.flLateReverbGain);
  g_al.effectf(e, AL_EAXREVERB_LATE_REVERB_DELAY, r.flLateReverbDelay);
  g_al.effectfv(e, AL_EAXREVERB_LATE_REVERB_PAN, r.flLateReverbPan);
  g_al.effectf(e, AL_EAXREVERB_ECHO_TIME, r.flEchoTime);
  g_al.effectf(e, AL_EAXREVERB_ECHO_DEPTH, r.flEchoDepth);
  g_al.effectf(e, AL_EAXREVERB_MODULATION_TIME, r.flModulationTime);
  g_al.effectf(e, AL_EAXREVERB_MODULATION_DEPTH, r.flModulationDepth);
  g_al.effectf(e, AL_EAXREVERB_AIR_ABSORPTION_GAINHF, r.flAirAbsorptionGainHF);
  g_al.effectf(e, AL_EAXREVERB_HFREFERENCE, r.flHFReference);
  g_al.effectf(e, AL_EAXREVERB_LFREFERENCE, r.flLFReference);
  g_al.effectf(e, AL_EAXREVERB_ROOM_ROLLOFF_FACTOR, r.flRoomRolloffFactor);
  g_al.effecti(e, AL_EAXREVERB_DECAY_HFLIMIT, r.iDecayHFLimit);
  g_al.sloti(g_al.slot, AL_EFFECTSLOT_EFFECT, static_cast<ALint>(e));
}

void feeder_main();

}  // namespace

// ---- Buffer state -------------------------------------------------------------

struct DsBufferState {
  uint32_t flags = 0;
  WaveFormat fmt;
  bool primary = false;
  bool ring = false;
  std::shared_ptr<SharedData> data;
  // Flat pair and 3-D source; created on first play.
  ALuint src_l = 0, src_r = 0, src_3d = 0;
  int voice = 0;  // 0 none yet, 1 flat pair, 2 3-D
  int volume = 0, pan = 0;
  uint32_t freq = 0;
  bool playing = false, looping = false;
  int mode = DS3DMODE_NORMAL;
  DsVector pos, vel;
  float min_d = 1.0f, max_d = 1e9f;
  // Deferred values waiting for the listener's commit.
  bool pending = false;
  int p_mode = DS3DMODE_NORMAL;
  DsVector p_pos, p_vel;
  float p_min = 1.0f, p_max = 1e9f;
  int room = 0;
  // Ring feeder.
  uint32_t read_pos = 0;
  struct Slice {
    ALuint left, right;
    uint32_t frames;
  };
  std::deque<Slice> queued;
  std::vector<uint8_t> wrap_scratch;
  std::vector<uint8_t> ring_bytes;

  bool flat() const { return !(flags & DSBCAPS_CTRL3D) || mode == DS3DMODE_DISABLE; }

  void ensure_sources() {
    if (!src_l) {
      ALuint s[2];
      alGenSources(2, s);
      src_l = s[0];
      src_r = s[1];
      for (ALuint id : s) {
        alSourcei(id, AL_SOURCE_RELATIVE, AL_TRUE);
        alSource3f(id, AL_POSITION, 0, 0, 0);
        alSourcef(id, AL_ROLLOFF_FACTOR, 0.0f);
        alSourcei(id, AL_DIRECT_CHANNELS_SOFT, AL_TRUE);
        if (g_al.efx) alSource3i(id, AL_AUXILIARY_SEND_FILTER, AL_EFFECTSLOT_NULL, 0, AL_FILTER_NULL);
      }
    }
    if ((flags & DSBCAPS_CTRL3D) && !src_3d && fmt.channels == 1) alGenSources(1, &src_3d);
  }

  void apply_gain() {
    float g = mb_to_gain(volume);
    float gl = g * (pan > 0 ? mb_to_gain(-pan) : 1.0f);
    float gr = g * (pan < 0 ? mb_to_gain(pan) : 1.0f);
    if (src_l) {
      alSourcef(src_l, AL_GAIN, gl);
      alSourcef(src_r, AL_GAIN, gr);
    }
    if (src_3d) {
      float d2 = (pos.x - g_al.listener.pos.x) * (pos.x - g_al.listener.pos.x) +
                 (pos.y - g_al.listener.pos.y) * (pos.y - g_al.listener.pos.y) +
                 (pos.z - g_al.listener.pos.z) * (pos.z - g_al.listener.pos.z);
      bool muted = (flags & DSBCAPS_MUTE3DATMAXDISTANCE) && d2 > max_d * max_d;
      alSourcef(src_3d, AL_GAIN, muted ? 0.0f : g);
    }
  }

  void apply_pitch() {
    float p = freq && fmt.rate ? static_cast<float>(freq) / static_cast<float>(fmt.rate) : 1.0f;
    ALuint s[3] = {src_l, src_r, src_3d};
    for (ALuint id : s)
      if (id) alSourcef(id, AL_PITCH, p);
  }

  void apply_sends() {
    if (!g_al.efx || !src_3d) return;
    ALint slot = (g_al.slot && room > -10000) ? static_cast<ALint>(g_al.slot) : AL_EFFECTSLOT_NULL;
    alSource3i(src_3d, AL_AUXILIARY_SEND_FILTER, slot, 0, AL_FILTER_NULL);
  }

  void apply_3d() {
    if (!src_3d) return;
    ALfloat v[3];
    al_vec(pos, v);
    alSourcefv(src_3d, AL_POSITION, v);
    al_vec(vel, v);
    alSourcefv(src_3d, AL_VELOCITY, v);
    alSourcef(src_3d, AL_REFERENCE_DISTANCE, min_d);
    alSourcef(src_3d, AL_MAX_DISTANCE, max_d);
    alSourcef(src_3d, AL_ROLLOFF_FACTOR, g_al.listener.rolloff);
    apply_gain();
  }

  void commit() {
    if (!pending) return;
    pending = false;
    pos = p_pos;
    vel = p_vel;
    min_d = p_min;
    max_d = p_max;
    set_mode_now(p_mode);
    apply_3d();
  }

  void set_mode_now(int m) {
    if (m == mode) return;
    bool was = playing;
    if (was) halt_voice();
    mode = m;
    if (was) start_voice();
  }

  void halt_voice() {
    ALuint s[3] = {src_l, src_r, src_3d};
    for (ALuint id : s)
      if (id) alSourceStop(id);
  }

  void attach_static() {
    if (!data || !data->uploaded) return;
    if (voice == 1) {
      alSourcei(src_l, AL_BUFFER, static_cast<ALint>(data->left));
      alSourcei(src_r, AL_BUFFER, static_cast<ALint>(data->right));
    } else if (voice == 2) {
      alSourcei(src_3d, AL_BUFFER, static_cast<ALint>(data->mono));
    }
  }

  void start_voice() {
    ensure_sources();
    int want = flat() || !src_3d ? 1 : 2;
    if (want != voice) {
      halt_voice();
      voice = want;
      if (!ring) attach_static();
      apply_gain();
      apply_pitch();
      apply_3d();
      apply_sends();
    }
    if (ring) {
      feed();
      return;
    }
    if (voice == 1) {
      alSourcei(src_l, AL_LOOPING, looping ? AL_TRUE : AL_FALSE);
      alSourcei(src_r, AL_LOOPING, looping ? AL_TRUE : AL_FALSE);
      ALuint s[2] = {src_l, src_r};
      alSourcePlayv(2, s);
    } else {
      alSourcei(src_3d, AL_LOOPING, looping ? AL_TRUE : AL_FALSE);
      alSourcePlay(src_3d);
    }
  }

  void pause_voice() {
    if (voice == 1) {
      ALuint s[2] = {src_l, src_r};
      alSourcePausev(2, s);
    } else if (voice == 2) {
      alSourcePause(src_3d);
    }
  }

  bool source_playing() const {
    ALuint id = voice == 2 ? src_3d : src_l;
    if (!id) return false;
    ALint st = 0;
    alGetSourcei(id, AL_SOURCE_STATE, &st);
    return st == AL_PLAYING;
  }

  // Ring: give the mixer back its used slices and queue the next ones.
  void feed() {
    if (!ring || !playing || voice != 1) return;
    ALint pl = 0, pr = 0;
    alGetSourcei(src_l, AL_BUFFERS_PROCESSED, &pl);
    alGetSourcei(src_r, AL_BUFFERS_PROCESSED, &pr);
    int done = std::min(pl, pr);
    for (int i = 0; i < done && !queued.empty(); ++i) {
      Slice b = queued.front();
      queued.pop_front();
      alSourceUnqueueBuffers(src_l, 1, &b.left);
      alSourceUnqueueBuffers(src_r, 1, &b.right);
      alDeleteBuffers(1, &b.left);
      alDeleteBuffers(1, &b.right);
    }
    uint32_t size = static_cast<uint32_t>(ring_bytes.size());
    uint32_t align = fmt.block_align ? fmt.block_align : 1;
    // Every slice is the same length, the one that crosses the ring's end
    // included: a slice of a few frames there would leave the source nothing
    // to play while the feeder sleeps. Enough are queued to ride out a
    // feeder that wakes late on a busy machine.
    uint32_t slice = size / kRingSlices / align * align;
    if (slice == 0) slice = size / align * align;
    while (queued.size() < kSlicesAhead && slice) {
      const uint8_t* from = ring_bytes.data() + read_pos;
      if (read_pos + slice > size) {
        wrap_scratch.resize(slice);
        uint32_t first = size - read_pos;
        std::memcpy(wrap_scratch.data(), from, first);
        std::memcpy(wrap_scratch.data() + first, ring_bytes.data(), slice - first);
        from = wrap_scratch.data();
      }
      ALuint l = make_side_buffer(from, slice, fmt, 0);
      ALuint r = make_side_buffer(from, slice, fmt, 1);
      alSourceQueueBuffers(src_l, 1, &l);
      alSourceQueueBuffers(src_r, 1, &r);
      queued.push_back({l, r, slice / align});
      read_pos = (read_pos + slice) % size;
    }
    if (!source_playing()) {
      ALuint s[2] = {src_l, src_r};
      alSourcePlayv(2, s);
    }
  }

  // Bytes of the ring that are queued in the mixer but not yet heard.
  uint32_t unheard_bytes() const {
    if (!ring || voice != 1 || queued.empty()) return 0;
    ALint st = 0;
    alGetSourcei(src_l, AL_SOURCE_STATE, &st);
    uint64_t total = 0;
    for (const Slice& b : queued) total += b.frames;
    if (st == AL_STOPPED) return 0;
    uint64_t heard = 0;
    if (st != AL_INITIAL) {
      ALint off = 0;
      alGetSourcei(src_l, AL_SAMPLE_OFFSET, &off);
      heard = off > 0 ? static_cast<uint64_t>(off) : 0;
    }
    uint64_t left = total > heard ? total - heard : 0;
    return static_cast<uint32_t>(left * (fmt.block_align ? fmt.block_align : 1));
  }

  void free_al() {
    ALuint s[3] = {src_l, src_r, src_3d};
    for (ALuint id : s) {
      if (!id) continue;
      alSourceStop(id);
      alSourcei(id, AL_BUFFER, 0);
      alDeleteSources(1, &id);
    }
    for (Slice& b : queued) {
      alDeleteBuffers(1, &b.left);
      alDeleteBuffers(1, &b.right);
    }
    queued.clear();
    src_l = src_r = src_3d = 0;
  }
};

namespace {

void feeder_main() {
  while (g_al.feeder_run.load()) {
    ds_platform_pump();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

DsResult open_device() {
  if (g_al.devices > 0) {
    ++g_al.devices;
    return DS_OK;
  }
  g_al.loopback = g_next_loopback > 0;
  if (g_al.loopback) {
    auto open_lb = reinterpret_cast<LPALCLOOPBACKOPENDEVICESOFT>(
        alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT"));
    g_al.render = reinterpret_cast<LPALCRENDERSAMPLESSOFT>(
        alcGetProcAddress(nullptr, "alcRenderSamplesSOFT"));
    if (!open_lb || !g_al.render) return DSERR_NODRIVER;
    g_al.device = open_lb(nullptr);
    if (!g_al.device) return DSERR_NODRIVER;
    ALCint attrs[] = {ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT, ALC_FORMAT_TYPE_SOFT,
                      ALC_FLOAT_SOFT,           ALC_FREQUENCY,   g_next_loopback,
                      ALC_HRTF_SOFT,            ALC_FALSE,       ALC_OUTPUT_LIMITER_SOFT,
                      ALC_FALSE,                0};
    g_al.context = alcCreateContext(g_al.device, attrs);
    g_al.loopback_rate = g_next_loopback;
  } else {
    g_al.device = alcOpenDevice(nullptr);
    if (!g_al.device) return DSERR_NODRIVER;
    g_al.context = alcCreateContext(g_al.device, nullptr);
  }
  if (!g_al.context || !alcMakeContextCurrent(g_al.context)) {
    if (g_al.context) alcDestroyContext(g_al.context);
    alcCloseDevice(g_al.device);
    g_al.device = nullptr;
    g_al.context = nullptr;
    return DSERR_NODRIVER;
  }
  alDistanceModel(AL_INVERSE_DISTANCE_CLAMPED);
  g_al.efx = alcIsExtensionPresent(g_al.device, "ALC_EXT_EFX") == ALC_TRUE;
  if (g_al.efx) {
    g_al.gen_effects = reinterpret_cast<LPALGENEFFECTS>(alGetProcAddress("alGenEffects"));
    g_al.delete_effects = reinterpret_cast<LPALDELETEEFFECTS>(alGetProcAddress("alDeleteEffects"));
    g_al.effecti = reinterpret_cast<LPALEFFECTI>(alGetProcAddress("alEffecti"));
    g_al.effectf = reinterpret_cast<LPALEFFECTF>(alGetProcAddress("alEffectf"));
    g_al.effectfv = reinterpret_cast<LPALEFFECTFV>(alGetProcAddress("alEffectfv"));
    g_al.gen_slots =
        reinterpret_cast<LPALGENAUXILIARYEFFECTSLOTS>(alGetProcAddress("alGenAuxiliaryEffectSlots"));
    g_al.delete_slots = reinterpret_cast<LPALDELETEAUXILIARYEFFECTSLOTS>(
        alGetProcAddress("alDeleteAuxiliaryEffectSlots"));
    g_al.sloti =
        reinterpret_cast<LPALAUXILIARYEFFECTSLOTI>(alGetProcAddress("alAuxiliaryEffectSloti"));
    g_al.efx = g_al.gen_effects && g_al.delete_effects && g_al.effecti && g_al.effectf &&
               g_al.effectfv && g_al.gen_slots && g_al.delete_slots && g_al.sloti;
  }
  g_al.environment = -1;
  g_al.listener = ListenerState{};
  g_al.pending = ListenerState{};
  g_al.devices = 1;
  if (!g_al.loopback) {
    g_al.feeder_run = true;
    g_al.feeder = std::thread(feeder_main);
  }
  return DS_OK;
}

void close_device() {
  if (g_al.devices <= 0 || --g_al.devices > 0) return;
  if (g_al.feeder.joinable()) {
    g_al.feeder_run = false;
    g_al.feeder.join();
  }
  std::lock_guard<std::recursive_mutex> lk(g_mx);
  for (DsBufferState* b : g_al.buffers) b->free_al();
  if (g_al.slot) g_al.delete_slots(1, &g_al.slot);
  if (g_al.effect) g_al.delete_effects(1, &g_al.effect);
  g_al.slot = g_al.effect = 0;
  alcMakeContextCurrent(nullptr);
  alcDestroyContext(g_al.context);
  alcCloseDevice(g_al.device);
  g_al.context = nullptr;
  g_al.device = nullptr;
  g_al.environment = -1;
}

DsResult set_environment(int env, float decay) {
  if (!g_al.efx) return DSERR_UNSUPPORTED;
  if (env < 0 || env >= EAX_ENVIRONMENT_COUNT) return DSERR_INVALIDPARAM;
  if (!g_al.slot) {
    alGetError();
    g_al.gen_effects(1, &g_al.effect);
    g_al.effecti(g_al.effect, AL_EFFECT_TYPE, AL_EFFECT_EAXREVERB);
    g_al.gen_slots(1, &g_al.slot);
    if (alGetError() != AL_NO_ERROR) return DSERR_GENERIC;
  }
  load_preset(kPresets[env], decay);
  g_al.environment = env;
  g_al.decay = decay;
  for (DsBufferState* b : g_al.buffers) b->apply_sends();
  return DS_OK;
}

}  // namespace

// ---- Objects ------------------------------------------------------------------

int DsObject::release() {
  int left = --refs_;
  if (left <= 0) delete this;
  return left < 0 ? 0 : left;
}

DsBuffer::~DsBuffer() {
  std::lock_guard<std::recursive_mutex> lk(g_mx);
  if (!st_) return;
  g_al.buffers.erase(st_);
  if (g_al.context) st_->free_al();
  delete st_;
}

DsResult DsBuffer::lock(uint32_t offset, uint32_t bytes, void** p1, uint32_t* n1, void** p2,
                        uint32_t* n2, bool entire) {
  std::lock_guard<std::recursive_mutex> lk(g_mx);
  if (st_->primary) return DSERR_INVALIDCALL;
  uint8_t* base = st_->ring ? st_->ring_bytes.data() : st_->data->bytes.data();
  uint32_t size = static_cast<uint32_t>(st_->ring ? st_->ring_bytes.size() : st_->data->bytes.size());
  if (entire) {
    offset = 0;
    bytes = size;
  }
  if (offset >= size || bytes > size || bytes == 0) return DSERR_INVALIDPARAM;
  uint32_t first = std::min(bytes, size - offset);
  *p1 = base + offset;
  *n1 = first;
  if (p2) *p2 = first < bytes ? base : nullptr;
  if (n2) *n2 = first < bytes ? bytes - first : 0;
  if (!p2 && first < bytes) return DSERR_INVALIDPARAM;
  return DS_OK;
}

DsResult DsBuffer::unlock(void*, uint32_t, void*, uint32_t) {
  std::lock_guard<std::recursive_mutex> lk(g_mx);
  if (st_->ring || st_->primary) return DS_OK;
  SharedData& d = *st_->data;
  for (ALuint* id : {&d.mono, &d.left, &d.right})
    if (*id) {
      alDeleteBuffers(1, id);
      *id = 0;
    }
  const WaveFormat& f = st_->fmt;
  d.left = make_side_buffer(d.bytes.data(), d.bytes.size(), f, 0);
  d.right = make_side_buffer(d.bytes.data(), d.bytes.size(), f, 1);
  if (f.channels == 1) {
    alGenBuffers(1, &d.mono);
    alBufferData(d.mono, f.bits == 8 ? AL_FORMAT_MONO8 : AL_FORMAT_MONO16, d.bytes.data(),
                 static_cast<ALsizei>(d.bytes.size() / f.block_align * f.block_align),
                 static_cast<ALsizei>(f.rate));
  }
  d.uploaded = true;
  if (st_->voice) st_->attach_static();
  return DS_OK;
}

DsResult DsBuffer::play(uint32_t flags) {
  std::lock_guard<std::recursive_mutex> lk(g_mx);
  if (st_->primary) return DS_OK;
  st_->looping = (flags & DSBPLAY_LOOPING) != 0;
  st_->playing = true;
  st_->start_voice();
  return DS_OK;
}

DsResult DsBuffer::stop() {
  std::lock_guard<std::recursive_mutex> lk(g_mx);
  if (st_->primary) return DS_OK;
  st_->playing = false;
  st_->pause_voice();
  return DS_OK;
}

DsResult DsBuffer::get_status(uint32_t* status) {
  std::lock_guard<std::recursive_mutex> lk(g_mx);
  *status = 0;
  if (st_->primary) return DS_OK;
  if (st_->playing && !st_->ring && !st_->source_playing()) st_->playing = false;
  if (st_->playing) *status = DSBSTATUS_PLAYING | (st_->looping ? DSBSTATUS_LOOPING : 0);
  return DS_OK;
}

DsResult DsBuffer::get_current_position(uint32_t* play, uint32_t* write) {
  std::lock_guard<std::recursive_mutex> lk(g_mx);
  uint32_t p = 0;
  if (st_->ring) {
    uint32_t size = static_cast<uint32_t>(st_->ring_bytes.size());
    uint32_t behind = std::min(st_->unheard_bytes(), size);
    if (play) *play = size ? (st_->read_pos + size - behind) % size : 0;
    if (write) *write = st_->read_pos;
    return DS_OK;
  } else if (st_->voice) {
    ALint off = 0;
    alGetSourcei(st_->voice == 2 ? st_->src_3d : st_->src_l, AL_SAMPLE_OFFSET, &off);
    p = static_cast<uint32_t>(off) * st_->fmt.block_align;
  }
  if (play) *play = p;
  if (write) *write = p;
  return DS_OK;
}

DsResult DsBuffer::set_current_position(uint32_t pos) {
  std::lock_guard<std::recursive_mutex> lk(g_mx);
  if (st_->ring) {
    st_->read_pos = pos % std::max<uint32_t>(1, static_cast<uint32_t>(st_->ring_bytes.size()));
    return DS_OK;
  }
  ALint frame = static_cast<ALint>(pos / std::max<uint16_t>(1, st_->fmt.block_align));
  ALuint s[3] = {st_->src_l, st_->src_r, st_->src_3d};
  for (ALuint id : s)
    if (id) alSourcei(id, AL_SAMPLE_OFFSET, frame);
  return DS_OK;
}

DsResult DsBuffer::set_volume(int mb) {
  std::lock_guard<std::recursive_mutex> lk(g_mx);
  if (!(st_->flags & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
  if (mb < DSBVOLUME_MIN || mb > 0) return DSERR_INVALIDPARAM;
  st_->volume = mb;
  st_->apply_gain();
  return DS_OK;
}

DsResult DsBuffer::get_volume(int* mb) {
  std::lock_guard<std::recursive_mutex> lk(g_mx);
  *mb = st_->volume;
  return DS_OK;
}

DsResult DsBuffer::set_pan(int mb) {
  std::lock_guard<std::recursive_mutex> lk(g_mx);
  if (!(st_->flags & DSBCAPS_CTRLPAN)) return DSERR_CONTROLUNAVAIL;
  if (mb < -10000 || mb > 10000) return DSERR_INVALIDPARAM;
  st_->pan = mb;
  st_->apply_gain();
  return DS_OK;
}

DsResult DsBuffer::set_frequency(uint32_t hz) {
  std::lock_guard<std::recursive_mutex> lk(g_mx);
  if (!(st_->flags & DSBCAPS_CTRLFREQUENCY)) return DSERR_CONTROLUNAVAIL;
  if (hz != 0 && (hz < DSBFREQUENCY_MIN || hz > DSBFREQUENCY_MAX)) return DSERR_INVALIDPARAM;
  st_->freq = hz;
  st_->apply_pitch();
  return DS_OK;
}

DsResult DsBuffer::get_frequency(uint32_t* hz) {
  std::lock_guard<std::recursive_mutex> lk(g_mx);
  if (!(st_->flags & DSBCAPS_CTRLFREQUENCY)) return DSERR_CONTROLUNAVAIL;
  *hz = st_->freq ? st_->freq : st_->fmt.rate;
  return DS_OK;
}

DsResult DsBuffer::set_format(const WaveFormat& f) {
  std::lock_guard<std::recursive_mutex> lk(g_mx);
  if (!st_->primary) return DSERR_INVALIDCALL;
  if (f.tag != WAVE_FORMAT_PCM || (f.bits != 8 && f.bits != 16) || f.channels < 1 ||
      f.channels > 2 || f.rate < DSBFREQUENCY_MIN || f.rate > DSBFREQUENCY_MAX)
    return DSERR_BADFORMAT;
  st_->fmt = f;
  return DS_OK;
}

DsResult DsBuffer::query_interface(DsInterface which, void** out) {
  std::lock_guard<std::recursive_mutex> lk(g_mx);
  *out = nullptr;
  switch (which) {
    case DsInterface::Listener3D:
      if (!st_->primary || !(st_->flags & DSBCAPS_CTRL3D)) return DSERR_NOINTERFACE;
      *out = new Ds3DListener();
      break;
    case DsInterface::Buffer3D:
      if (st_->primary || !(st_->flags & DSBCAPS_CTRL3D)) return DSERR_NOINTERFACE;
      add_ref();
      *out = new Ds3DBuffer(this);
      break;
    case DsInterface::PropertySet:
      if (st_->primary) return DSERR_NOINTERFACE;
      add_ref();
      *out = new DsPropertySet(this);
      break;
  }
  return DS_OK;
}

Ds3DBuffer::~Ds3DBuffer() { owner_->release(); }
DsPropertySet::~DsPropertySet() { owner_->release(); }

// ---- 3-D buffer -----------------------------------------------------------------

namespace {
template <typename F>
DsResult buffer_3d(DsBuffer* owner, int apply, F set) {
  std::lock_guard<std::recursive_mutex> lk(g_mx);
  DsBufferState* s = owner->state();
  if (!s->pending) {
    s->p_mode = s->mode;
    s->p_pos = s->pos;
    s->p_vel = s->vel;
    s->p_min = s->min_d;
    s->p_max = s->max_d;
  }
  set(*s);
  s->pending = true;
  if (apply == DS3D_IMMEDIATE) s->commit();
  return DS_OK;
}
}  // namespace

DsResult Ds3DBuffer::set_mode(int mode, int apply) {
  if (mode != DS3DMODE_NORMAL && mode != DS3DMODE_DISABLE && mode != 1) return DSERR_INVALIDPARAM;
  return buffer_3d(owner_, apply, [&](DsBufferState& s) { s.p_mode = mode; });
}
DsResult Ds3DBuffer::set_position(const DsVector& p, int apply) {
  return buffer_3d(owner_, apply, [&](DsBufferState& s) { s.p_pos = p; });
}
DsResult Ds3DBuffer::set_velocity(const DsVector& v, int apply) {
  return buffer_3d(owner_, apply, [&](DsBufferState& s) { s.p_vel = v; });
}
DsResult Ds3DBuffer::set_min_distance(float d, int apply) {
  if (!(d > 0.0f)) return DSERR_INVALIDPARAM;
  return buffer_3d(owner_, apply, [&](DsBufferState& s) { s.p_min = d; });
}
DsResult Ds3DBuffer::set_max_distance(float d, int apply) {
  if (!(d > 0.0f)) return DSERR_INVALIDPARAM;
  return buffer_3d(owner_, apply, [&](DsBufferState& s) { s.p_max = d; });
}

// ---- Listener ---------------------------------------------------------------------

namespace {
template <typename F>
DsResult listener_set(int apply, F set) {
  std::lock_guard<std::recursive_mutex> lk(g_mx);
  set(g_al.pending);
  if (apply == DS3D_IMMEDIATE) {
    g_al.listener = g_al.pending;
    ALfloat v[3];
    al_vec(g_al.listener.pos, v);
    alListenerfv(AL_POSITION, v);
    for (DsBufferState* b : g_al.buffers) b->apply_3d();
  }
  return DS_OK;
}
}  // namespace

DsResult Ds3DListener::set_position(const DsVector& p, int apply) {
  return listener_set(apply, [&](ListenerState& l) { l.pos = p; });
}
DsResult Ds3DListener::set_velocity(const DsVector& v, int apply) {
  return listener_set(apply, [&](ListenerState& l) { l.vel = v; });
}
DsResult Ds3DListener::set_orientation(const DsVector& front, const DsVector& top, int apply) {
  return listener_set(apply, [&](ListenerState& l) {
    l.front = front;
    l.top = top;
  });
}
DsResult Ds3DListener::set_rolloff_factor(float f, int apply) {
  if (f < 0.0f || f > 10.0f) return DSERR_INVALIDPARAM;
  return listener_set(apply, [&](ListenerState& l) { l.rolloff = f; });
}
DsResult Ds3DListener::set_doppler_factor(float f, int apply) {
  if (f < 0.0f || f > 10.0f) return DSERR_INVALIDPARAM;
  return listener_set(apply, [&](ListenerState& l) { l.doppler = f; });
}

DsResult Ds3DListener::commit_deferred_settings() {
  std::lock_guard<std::recursive_mutex> lk(g_mx);
  if (!g_al.context) return DSERR_UNINITIALIZED;
  g_al.listener = g_al.pending;
  const ListenerState& l = g_al.listener;
  ALfloat v[3];
  al_vec(l.pos, v);
  alListenerfv(AL_POSITION, v);
  al_vec(l.vel, v);
  alListenerfv(AL_VELOCITY, v);
  ALfloat o[6];
  al_vec(l.front, o);
  al_vec(l.top, o + 3);
  alListenerfv(AL_ORIENTATION, o);
  alDopplerFactor(l.doppler);
  for (DsBufferState* b : g_al.buffers) {
    b->commit();
    b->apply_3d();
  }
  return DS_OK;
}

// ---- Property sets ------------------------------------------------------------------

DsResult DsPropertySet::query_support(DsPropertySetId set, uint32_t prop, uint32_t* support) {
  std::lock_guard<std::recursive_mutex> lk(g_mx);
  *support = 0;
  switch (set) {
    case DsPropertySetId::VoiceManager:
      if (prop != DSPROP_VOICE_MANAGER_MODE) return DSERR_UNSUPPORTED;
      *support = KSPROPERTY_SUPPORT_SET;
      return DS_OK;
    case DsPropertySetId::Eax20Listener:
    case DsPropertySetId::Eax20Buffer:
      if (!g_al.efx) return DSERR_UNSUPPORTED;
      *support = KSPROPERTY_SUPPORT_GET | KSPROPERTY_SUPPORT_SET;
      return DS_OK;
  }
  return DSERR_UNSUPPORTED;
}

DsResult DsPropertySet::set(DsPropertySetId set, uint32_t prop, const void* data, uint32_t size) {
  std::lock_guard<std::recursive_mutex> lk(g_mx);
  switch (set) {
    case DsPropertySetId::VoiceManager:
      // The mixer places its own voices: the mode is accepted and has no effect.
      return prop == DSPROP_VOICE_MANAGER_MODE ? DS_OK : DSERR_UNSUPPORTED;
    case DsPropertySetId::Eax20Listener:
      if (!g_al.efx) return DSERR_UNSUPPORTED;
      if (prop == EAX_LISTENER_ENVIRONMENT && size >= 4) {
        int32_t env;
        std::memcpy(&env, data, 4);
        if (env < 0 || env >= EAX_ENVIRONMENT_COUNT) return DSERR_INVALIDPARAM;
        return set_environment(env, kPresets[env].flDecayTime);
      }
      if (prop == EAX_LISTENER_DECAY_TIME && size >= 4) {
        float t;
        std::memcpy(&t, data, 4);
        if (!(t >= 0.1f && t <= 20.0f)) return DSERR_INVALIDPARAM;
        return set_environment(g_al.environment < 0 ? 0 : g_al.environment, t);
      }
      return DSERR_UNSUPPORTED;
    case DsPropertySetId::Eax20Buffer:
      if (!g_al.efx) return DSERR_UNSUPPORTED;
      if (prop == EAX_BUFFER_ROOM && size >= 4) {
        int32_t room;
        std::memcpy(&room, data, 4);
        owner_->state()->room = room;
        owner_->state()->apply_sends();
        return DS_OK;
      }
      return DSERR_UNSUPPORTED;
  }
  return DSERR_UNSUPPORTED;
}

DsResult DsPropertySet::get(DsPropertySetId set, uint32_t prop, void* data, uint32_t size,
                            uint32_t* got) {
  std::lock_guard<std::recursive_mutex> lk(g_mx);
  if (got) *got = 0;
  if (set == DsPropertySetId::Eax20Listener && g_al.efx && size >= 4) {
    if (prop == EAX_LISTENER_ENVIRONMENT) {
      int32_t env = g_al.environment;
      std::memcpy(data, &env, 4);
    } else if (prop == EAX_LISTENER_DECAY_TIME) {
      std::memcpy(data, &g_al.decay, 4);
    } else {
      return DSERR_UNSUPPORTED;
    }
    if (got) *got = 4;
    return DS_OK;
  }
  return DSERR_UNSUPPORTED;
}

// ---- Device ---------------------------------------------------------------------------

DsDevice::~DsDevice() { close_device(); }

DsResult DsDevice::set_cooperative_level(void*, int level) {
  return level >= 1 && level <= 3 ? DS_OK : DSERR_INVALIDPARAM;
}

DsResult DsDevice::create_sound_buffer(const DsBufferDesc& desc, DsBuffer** out) {
  std::lock_guard<std::recursive_mutex> lk(g_mx);
  *out = nullptr;
  auto* st = new DsBufferState();
  st->flags = desc.flags;
  if (desc.flags & DSBCAPS_PRIMARYBUFFER) {
    st->primary = true;
    st->fmt.channels = 2;
    st->fmt.rate = 22050;
    st->fmt.bits = 8;
  } else {
    if (!desc.format || desc.format->tag != WAVE_FORMAT_PCM ||
        (desc.format->bits != 8 && desc.format->bits != 16) || desc.format->channels < 1 ||
        desc.format->channels > 2 || desc.format->rate < DSBFREQUENCY_MIN ||
        desc.format->rate > DSBFREQUENCY_MAX) {
      delete st;
      return DSERR_BADFORMAT;
    }
    // 3-D control is for mono buffers only.
    if ((desc.flags & DSBCAPS_CTRL3D) && desc.format->channels != 1) {
      delete st;
      return DSERR_INVALIDPARAM;
    }
    if (desc.bytes == 0 || desc.bytes > (256u << 20)) {
      delete st;
      return DSERR_INVALIDPARAM;
    }
    st->fmt = *desc.format;
    st->fmt.block_align = static_cast<uint16_t>(st->fmt.channels * st->fmt.bits / 8);
    uint8_t silence = st->fmt.bits == 8 ? 128 : 0;
    if (desc.flags & DSBCAPS_STATIC) {
      st->data = std::make_shared<SharedData>();
      st->data->bytes.assign(desc.bytes, silence);
    } else {
      st->ring = true;
      st->ring_bytes.assign(desc.bytes, silence);
    }
  }
  auto* b = new DsBuffer();
  b->st_ = st;
  g_al.buffers.insert(st);
  *out = b;
  return DS_OK;
}

DsResult DsDevice::duplicate_sound_buffer(DsBuffer* original, DsBuffer** out) {
  std::lock_guard<std::recursive_mutex> lk(g_mx);
  *out = nullptr;
  DsBufferState* o = original ? original->st_ : nullptr;
  if (!o || o->primary || o->ring) return DSERR_INVALIDCALL;
  auto* st = new DsBufferState();
  st->flags = o->flags;
  st->fmt = o->fmt;
  st->data = o->data;
  st->volume = o->volume;
  st->pan = o->pan;
  st->freq = o->freq;
  auto* b = new DsBuffer();
  b->st_ = st;
  g_al.buffers.insert(st);
  *out = b;
  return DS_OK;
}

DsResult ds_platform_create(DsDevice** out) {
  std::lock_guard<std::recursive_mutex> lk(g_mx);
  *out = nullptr;
  DsResult r = open_device();
  if (ds_failed(r)) return r;
  *out = new DsDevice();
  return DS_OK;
}

DsResult ds_platform_create_eax(DsDevice** out) { return ds_platform_create(out); }

bool ds_platform_library_available(const char* name) {
  static const char* const kNames[] = {"dsound.dll", "msacm32.dll", "eax.dll"};
  if (!name) return false;
  for (const char* n : kNames)
    if (strcasecmp(n, name) == 0) return true;
  return false;
}

void ds_platform_use_loopback(int rate) { g_next_loopback = rate; }

void ds_platform_pump() {
  std::lock_guard<std::recursive_mutex> lk(g_mx);
  if (!g_al.context) return;
  for (DsBufferState* b : g_al.buffers)
    if (b->ring) b->feed();
}

void ds_platform_render(float* out, int frames) {
  // Rings are fed between blocks; a block is well under one queued slice.
  constexpr int kBlock = 1024;
  while (frames > 0) {
    int n = std::min(frames, kBlock);
    {
      std::lock_guard<std::recursive_mutex> lk(g_mx);
      if (!g_al.device || !g_al.loopback) {
        std::memset(out, 0, sizeof(float) * 2 * static_cast<size_t>(frames));
        return;
      }
      for (DsBufferState* b : g_al.buffers)
        if (b->ring) b->feed();
      g_al.render(g_al.device, out, n);
    }
    out += 2 * n;
    frames -= n;
  }
}

bool ds_platform_has_efx() { return g_al.efx; }
int ds_platform_environment() { return g_al.environment; }
float ds_platform_decay_time() { return g_al.decay; }
