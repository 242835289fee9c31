#pragma once
// The sound device as the output layer expects it: a device object, primary
// and secondary buffers (static, streaming rings, duplicates), their 3-D
// interfaces, the 3-D listener with deferred settings, and the property sets
// for the voice manager and the reverberation environments. Backed by OpenAL
// Soft with its effect extension.
//
// Distances and directions arrive in a left-handed frame (z away from the
// listener); the layer turns them into OpenAL's right-handed frame.
#include <cstdint>

using DsResult = uint32_t;

constexpr DsResult DS_OK = 0;
constexpr DsResult DSERR_ALLOCATED = 0x8878000A;
constexpr DsResult DSERR_ALREADYINITIALIZED = 0x88780082;
constexpr DsResult DSERR_BADFORMAT = 0x88780064;
constexpr DsResult DSERR_BUFFERLOST = 0x88780096;
constexpr DsResult DSERR_CONTROLUNAVAIL = 0x8878001E;
constexpr DsResult DSERR_GENERIC = 0x80004005;
constexpr DsResult DSERR_INVALIDCALL = 0x88780032;
constexpr DsResult DSERR_INVALIDPARAM = 0x80070057;
constexpr DsResult DSERR_NOAGGREGATION = 0x80040110;
constexpr DsResult DSERR_NODRIVER = 0x88780078;
constexpr DsResult DSERR_OUTOFMEMORY = 0x8007000E;
constexpr DsResult DSERR_OTHERAPPHASPRIO = 0x887800A0;
constexpr DsResult DSERR_PRIOLEVELNEEDED = 0x88780046;
constexpr DsResult DSERR_UNINITIALIZED = 0x887800AA;
constexpr DsResult DSERR_UNSUPPORTED = 0x80004001;
constexpr DsResult DSERR_NOINTERFACE = 0x80004002;

inline bool ds_failed(DsResult r) { return (r & 0x80000000u) != 0; }

// Buffer capability flags.
constexpr uint32_t DSBCAPS_PRIMARYBUFFER = 0x1;
constexpr uint32_t DSBCAPS_STATIC = 0x2;
constexpr uint32_t DSBCAPS_LOCSOFTWARE = 0x8;
constexpr uint32_t DSBCAPS_CTRL3D = 0x10;
constexpr uint32_t DSBCAPS_CTRLFREQUENCY = 0x20;
constexpr uint32_t DSBCAPS_CTRLPAN = 0x40;
constexpr uint32_t DSBCAPS_CTRLVOLUME = 0x80;
constexpr uint32_t DSBCAPS_MUTE3DATMAXDISTANCE = 0x20000;

constexpr uint32_t DSBPLAY_LOOPING = 0x1;
constexpr uint32_t DSBSTATUS_PLAYING = 0x1;
constexpr uint32_t DSBSTATUS_LOOPING = 0x4;
constexpr int DSSCL_EXCLUSIVE = 3;

constexpr int DS3D_IMMEDIATE = 0;
constexpr int DS3D_DEFERRED = 1;
constexpr int DS3DMODE_NORMAL = 0;
constexpr int DS3DMODE_DISABLE = 2;

constexpr int DSBVOLUME_MIN = -10000;
constexpr int DSBFREQUENCY_MIN = 100;
constexpr int DSBFREQUENCY_MAX = 100000;

constexpr uint16_t WAVE_FORMAT_PCM = 1;
constexpr uint16_t WAVE_FORMAT_ADPCM = 2;

// A wave format; extra bytes (the ADPCM coefficient block) are kept apart.
struct WaveFormat {
  uint16_t tag = WAVE_FORMAT_PCM;
  uint16_t channels = 0;
  uint32_t rate = 0;
  uint32_t bytes_per_second = 0;
  uint16_t block_align = 0;
  uint16_t bits = 0;
  uint16_t extra_size = 0;
  uint8_t extra[1028] = {};  // room for 256 coefficient pairs
};

struct DsVector {
  float x = 0, y = 0, z = 0;
};

// What the interfaces can be asked for.
enum class DsInterface { Buffer3D, Listener3D, PropertySet };

// Property sets and their properties.
enum class DsPropertySetId { VoiceManager, Eax20Listener, Eax20Buffer };
constexpr uint32_t DSPROP_VOICE_MANAGER_MODE = 0;
constexpr uint32_t EAX_LISTENER_ALL = 1;
constexpr uint32_t EAX_LISTENER_DECAY_TIME = 5;
constexpr uint32_t EAX_LISTENER_ENVIRONMENT = 11;
constexpr uint32_t EAX_BUFFER_ROOM = 3;
constexpr uint32_t KSPROPERTY_SUPPORT_GET = 1;
constexpr uint32_t KSPROPERTY_SUPPORT_SET = 2;
constexpr int EAX_ENVIRONMENT_COUNT = 26;

class DsObject {
 public:
  virtual ~DsObject() = default;
  void add_ref() { ++refs_; }
  // Returns the references left; the object is gone at 0.
  int release();

 private:
  int refs_ = 1;
};

class DsBuffer;

class DsPropertySet : public DsObject {
 public:
  explicit DsPropertySet(DsBuffer* owner) : owner_(owner) {}
  ~DsPropertySet() override;
  DsResult query_support(DsPropertySetId set, uint32_t prop, uint32_t* support);
  DsResult set(DsPropertySetId set, uint32_t prop, const void* data, uint32_t size);
  DsResult get(DsPropertySetId set, uint32_t prop, void* data, uint32_t size, uint32_t* got);

 private:
  DsBuffer* owner_;
};

class Ds3DBuffer : public DsObject {
 public:
  explicit Ds3DBuffer(DsBuffer* owner) : owner_(owner) {}
  ~Ds3DBuffer() override;
  DsResult set_mode(int mode, int apply);
  DsResult set_position(const DsVector& p, int apply);
  DsResult set_velocity(const DsVector& v, int apply);
  DsResult set_min_distance(float d, int apply);
  DsResult set_max_distance(float d, int apply);

 private:
  DsBuffer* owner_;
};

class Ds3DListener : public DsObject {
 public:
  DsResult set_position(const DsVector& p, int apply);
  DsResult set_velocity(const DsVector& v, int apply);
  DsResult set_orientation(const DsVector& front, const DsVector& top, int apply);
  DsResult set_rolloff_factor(float f, int apply);
  DsResult set_doppler_factor(float f, int apply);
  DsResult commit_deferred_settings();
};

struct DsBufferState;

class DsBuffer : public DsObject {
 public:
  ~DsBuffer() override;
  DsResult lock(uint32_t offset, uint32_t bytes, void** p1, uint32_t* n1, void** p2,
                uint32_t* n2, bool entire);
  DsResult unlock(void* p1, uint32_t n1, void* p2, uint32_t n2);
  DsResult play(uint32_t flags);
  DsResult stop();
  DsResult get_status(uint32_t* status);
  DsResult get_current_position(uint32_t* play, uint32_t* write);
  DsResult set_current_position(uint32_t pos);
  DsResult set_volume(int mb);
  DsResult get_volume(int* mb);
  DsResult set_pan(int mb);
  DsResult set_frequency(uint32_t hz);
  DsResult get_frequency(uint32_t* hz);
  DsResult set_format(const WaveFormat& f);
  DsResult query_interface(DsInterface which, void** out);

  DsBufferState* state() { return st_; }

 private:
  friend class DsDevice;
  DsBuffer() = default;
  DsBufferState* st_ = nullptr;
};

struct DsBufferDesc {
  uint32_t flags = 0;
  uint32_t bytes = 0;
  const WaveFormat* format = nullptr;
};

class DsDevice : public DsObject {
 public:
  ~DsDevice() override;
  DsResult set_cooperative_level(void* window, int level);
  DsResult create_sound_buffer(const DsBufferDesc& desc, DsBuffer** out);
  DsResult duplicate_sound_buffer(DsBuffer* original, DsBuffer** out);
};

// The device creators: plain, and the reverberation-capable one. Both open
// OpenAL's default device (or the loopback device tests asked for).
DsResult ds_platform_create(DsDevice** out);
DsResult ds_platform_create_eax(DsDevice** out);

// True for the run-time libraries this layer stands in for ("dsound.dll",
// "msacm32.dll", "eax.dll").
bool ds_platform_library_available(const char* name);

// Tests: the next device renders into memory at this rate (stereo floats)
// instead of playing; 0 goes back to the real device.
void ds_platform_use_loopback(int rate);
// Renders frames of the loopback device into out (2 floats per frame),
// feeding streaming rings between blocks as the mixer would.
void ds_platform_render(float* out, int frames);
// Moves data from every playing streaming ring into the mixer. The real
// device does it from its own thread; loopback rendering does it itself.
void ds_platform_pump();
// Effect extension present on the open device.
bool ds_platform_has_efx();
// Environment last set through the listener property set (-1 none).
int ds_platform_environment();
float ds_platform_decay_time();
