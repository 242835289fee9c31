// Mixing 32 playing channels (16 flat, 16 placed in 3-D, all looping) into
// the loopback device: one second of audio per iteration; the ratio of one
// second to the time taken is the multiple of real time. The baseline is
// OpenAL mixing the same voices without our layer: as many sources (a flat
// channel is two, one per side, so that each side gets the pan law's exact
// gain), the same data, and with reverberation the same cave slot fed by
// the 3-D half.
#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <AL/efx-presets.h>
#include <AL/efx.h>
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "quarn/math/vector.h"
#include "quarn/sound/ds.h"
#include "quarn/sound/eax.h"
#include "tools/writers/wave_writer.h"

namespace {

constexpr int kRate = 44100;

void BM_Mix32Channels(benchmark::State& state) {
  const int channels = static_cast<int>(state.range(1));
  ds_platform_use_loopback(kRate);
  ds_init(nullptr, kRate, 16, 2, true, state.range(0) != 0, false);
  if (state.range(0)) eax_set_environment("cave");
  std::string path = "/tmp/bench_mix32_tone.wav";
  wave_write_file(path, wave_build_pcm(wave_noise(kRate, 1, 1.0, 0.2, 3), 1, kRate, 16));
  int s = ds_load("tone.wav", path.c_str(), 0, 0, false);
  vector zero{0, 0, 0};
  for (int i = 0; i < channels; ++i) {
    if (i % 2) {
      vector at{static_cast<float>(i), 0, 3};
      ds_play_3d(s, &at, &zero, 1.0f, 100.0f, 0.5f, true);
    } else {
      ds_play(s, 0.5f, (i % 5) * 0.2f - 0.4f, true);
    }
  }
  std::vector<float> out(kRate * 2);
  for (auto _ : state) {
    ds_platform_render(out.data(), kRate);
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["x_realtime"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                    benchmark::Counter::kIsRate);
  ds_close();
  ds_platform_use_loopback(0);
}
// Arguments: 1 with the cave reverberation on the 3-D half (0 dry); the
// number of channels (8 and 16 show how the cost grows).
BENCHMARK(BM_Mix32Channels)->ArgsProduct({{0, 1}, {8, 16, 32}})->Unit(benchmark::kMillisecond);

template <typename T>
T al_proc(const char* name) {
  return reinterpret_cast<T>(alGetProcAddress(name));
}

// One side of the data in a stereo buffer, as a flat voice plays it.
ALuint side_buffer(const std::vector<int16_t>& mono, int side) {
  std::vector<int16_t> st(mono.size() * 2, 0);
  for (size_t i = 0; i < mono.size(); ++i) st[i * 2 + static_cast<size_t>(side)] = mono[i];
  ALuint b;
  alGenBuffers(1, &b);
  alBufferData(b, AL_FORMAT_STEREO16, st.data(), static_cast<ALsizei>(st.size() * 2), kRate);
  return b;
}

void BM_PlainOpenAL32Voices(benchmark::State& state) {
  const int channels = static_cast<int>(state.range(1));
  auto open_lb = reinterpret_cast<LPALCLOOPBACKOPENDEVICESOFT>(
      alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT"));
  auto render = reinterpret_cast<LPALCRENDERSAMPLESSOFT>(alcGetProcAddress(nullptr, "alcRenderSamplesSOFT"));
  ALCdevice* dev = open_lb(nullptr);
  ALCint attrs[] = {ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT, ALC_FORMAT_TYPE_SOFT, ALC_FLOAT_SOFT,
                    ALC_FREQUENCY, kRate, ALC_HRTF_SOFT, ALC_FALSE, ALC_OUTPUT_LIMITER_SOFT, ALC_FALSE, 0};
  ALCcontext* ctx = alcCreateContext(dev, attrs);
  alcMakeContextCurrent(ctx);
  alDistanceModel(AL_INVERSE_DISTANCE_CLAMPED);
  ALuint slot = 0, effect = 0;
  if (state.range(0)) {
    al_proc<LPALGENEFFECTS>("alGenEffects")(1, &effect);
    al_proc<LPALEFFECTI>("alEffecti")(effect, AL_EFFECT_TYPE, AL_EFFECT_EAXREVERB);
    EFXEAXREVERBPROPERTIES cave = EFX_REVERB_PRESET_CAVE;
    auto f = al_proc<LPALEFFECTF>("alEffectf");
    auto fv = al_proc<LPALEFFECTFV>("alEffectfv");
    f(effect, AL_EAXREVERB_DENSITY, cave.flDensity);
    f(effect, AL_EAXREVERB_DIFFUSION, cave.flDiffusion);
    f(effect, AL_EAXREVERB_GAIN, cave.flGain);
    f(effect, AL_EAXREVERB_GAINHF, cave.flGainHF);
    f(effect, AL_EAXREVERB_GAINLF, cave.flGainLF);
    f(effect, AL_EAXREVERB_DECAY_TIME, cave.flDecayTime);
    f(effect, AL_EAXREVERB_DECAY_HFRATIO, cave.flDecayHFRatio);
    f(effect, AL_EAXREVERB_DECAY_LFRATIO, cave.flDecayLFRatio);
    f(effect, AL_EAXREVERB_REFLECTIONS_GAIN, cave.flReflectionsGain);
    f(effect, AL_EAXREVERB_REFLECTIONS_DELAY, cave.flReflectionsDelay);
    fv(effect, AL_EAXREVERB_REFLECTIONS_PAN, cave.flReflectionsPan);
    f(effect, AL_EAXREVERB_LATE_REVERB_GAIN, cave.flLateReverbGain);
    f(effect, AL_EAXREVERB_LATE_REVERB_DELAY, cave.flLateReverbDelay);
    fv(effect, AL_EAXREVERB_LATE_REVERB_PAN, cave.flLateReverbPan);
    f(effect, AL_EAXREVERB_ECHO_TIME, cave.flEchoTime);
    f(effect, AL_EAXREVERB_ECHO_DEPTH, cave.flEchoDepth);
    f(effect, AL_EAXREVERB_MODULATION_TIME, cave.flModulationTime);
    f(effect, AL_EAXREVERB_MODULATION_DEPTH, cave.flModulationDepth);
    f(effect, AL_EAXREVERB_AIR_ABSORPTION_GAINHF, cave.flAirAbsorptionGainHF);
    f(effect, AL_EAXREVERB_HFREFERENCE, cave.flHFReference);
    f(effect, AL_EAXREVERB_LFREFERENCE, cave.flLFReference);
    f(effect, AL_EAXREVERB_ROOM_ROLLOFF_FACTOR, cave.flRoomRolloffFactor);
    al_proc<LPALEFFECTI>("alEffecti")(effect, AL_EAXREVERB_DECAY_HFLIMIT, cave.iDecayHFLimit);
    al_proc<LPALGENAUXILIARYEFFECTSLOTS>("alGenAuxiliaryEffectSlots")(1, &slot);
    al_proc<LPALAUXILIARYEFFECTSLOTI>("alAuxiliaryEffectSloti")(slot, AL_EFFECTSLOT_EFFECT,
                                                               static_cast<ALint>(effect));
  }
  std::vector<int16_t> data = wave_noise(kRate, 1, 1.0, 0.2, 3);
  ALuint mono;
  alGenBuffers(1, &mono);
  alBufferData(mono, AL_FORMAT_MONO16, data.data(), static_cast<ALsizei>(data.size() * 2), kRate);
  ALuint left = side_buffer(data, 0), right = side_buffer(data, 1);
  std::vector<ALuint> src;
  for (int i = 0; i < channels; ++i) {
    if (i % 2) {
      ALuint s;
      alGenSources(1, &s);
      alSourcei(s, AL_BUFFER, static_cast<ALint>(mono));
      alSource3f(s, AL_POSITION, static_cast<float>(i), 0, -3);
      alSourcef(s, AL_GAIN, 0.3f);
      alSourcef(s, AL_ROLLOFF_FACTOR, 1.0f);
      if (slot) alSource3i(s, AL_AUXILIARY_SEND_FILTER, static_cast<ALint>(slot), 0, AL_FILTER_NULL);
      src.push_back(s);
    } else {
      for (ALuint b : {left, right}) {
        ALuint s;
        alGenSources(1, &s);
        alSourcei(s, AL_BUFFER, static_cast<ALint>(b));
        alSourcei(s, AL_SOURCE_RELATIVE, AL_TRUE);
        alSource3f(s, AL_POSITION, 0, 0, 0);
        alSourcef(s, AL_ROLLOFF_FACTOR, 0.0f);
        alSourcei(s, AL_DIRECT_CHANNELS_SOFT, AL_TRUE);
        alSourcef(s, AL_GAIN, 0.3f);
        src.push_back(s);
      }
    }
  }
  for (ALuint s : src) alSourcei(s, AL_LOOPING, AL_TRUE);
  alSourcePlayv(static_cast<ALsizei>(src.size()), src.data());
  std::vector<float> out(kRate * 2);
  for (auto _ : state) {
    render(dev, out.data(), kRate);
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["x_realtime"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                    benchmark::Counter::kIsRate);
  state.counters["sources"] = static_cast<double>(src.size());
  alDeleteSources(static_cast<ALsizei>(src.size()), src.data());
  ALuint bufs[3] = {mono, left, right};
  alDeleteBuffers(3, bufs);
  if (slot) al_proc<LPALDELETEAUXILIARYEFFECTSLOTS>("alDeleteAuxiliaryEffectSlots")(1, &slot);
  if (effect) al_proc<LPALDELETEEFFECTS>("alDeleteEffects")(1, &effect);
  alcMakeContextCurrent(nullptr);
  alcDestroyContext(ctx);
  alcCloseDevice(dev);
}
// Arguments: 1 with a cave reverberation slot fed by the 3-D half (0 dry);
// the number of voices.
BENCHMARK(BM_PlainOpenAL32Voices)->ArgsProduct({{0, 1}, {8, 16, 32}})->Unit(benchmark::kMillisecond);

}  // namespace
