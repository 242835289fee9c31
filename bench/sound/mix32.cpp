// Mixing 32 playing channels (flat and 3-D, looping) into the loopback
// device: one second of audio per iteration; the ratio of one second to the
// time taken is the multiple of real time. The baseline is OpenAL mixing 32
// plain sources of the same data without our layer.
#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "quarn/math/vector.h"
#include "quarn/sound/ds.h"
#include "tools/writers/wave_writer.h"

namespace {

void BM_Mix32Channels(benchmark::State& state) {
  ds_platform_use_loopback(44100);
  ds_init(nullptr, 44100, 16, 2, true, state.range(0) != 0, false);
  std::string path = "/tmp/bench_mix32_tone.wav";
  wave_write_file(path, wave_build_pcm(wave_noise(44100, 1, 1.0, 0.2, 3), 1, 44100, 16));
  int s = ds_load("tone.wav", path.c_str(), 0, 0, false);
  vector zero{0, 0, 0};
  for (int i = 0; i < 32; ++i) {
    if (i % 2) {
      vector at{static_cast<float>(i), 0, 3};
      ds_play_3d(s, &at, &zero, 1.0f, 100.0f, 0.5f, true);
    } else {
      ds_play(s, 0.5f, (i % 5) * 0.2f - 0.4f, true);
    }
  }
  std::vector<float> out(44100 * 2);
  for (auto _ : state) {
    ds_platform_render(out.data(), 44100);
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["x_realtime"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                    benchmark::Counter::kIsRate);
  ds_close();
  ds_platform_use_loopback(0);
}
// Argument: 1 with the cave reverberation on the 3-D half, 0 dry.
BENCHMARK(BM_Mix32Channels)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The same 32 voices as plain OpenAL sources: one mono source each, half of
// them placed in 3-D, all looping, no reverberation.
void BM_PlainOpenAL32Sources(benchmark::State& state) {
  auto open_lb = reinterpret_cast<LPALCLOOPBACKOPENDEVICESOFT>(
      alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT"));
  auto render = reinterpret_cast<LPALCRENDERSAMPLESSOFT>(alcGetProcAddress(nullptr, "alcRenderSamplesSOFT"));
  ALCdevice* dev = open_lb(nullptr);
  ALCint attrs[] = {ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT, ALC_FORMAT_TYPE_SOFT, ALC_FLOAT_SOFT,
                    ALC_FREQUENCY, 44100, 0};
  ALCcontext* ctx = alcCreateContext(dev, attrs);
  alcMakeContextCurrent(ctx);
  std::vector<int16_t> data = wave_noise(44100, 1, 1.0, 0.2, 3);
  ALuint buf;
  alGenBuffers(1, &buf);
  alBufferData(buf, AL_FORMAT_MONO16, data.data(), static_cast<ALsizei>(data.size() * 2), 44100);
  ALuint src[32];
  alGenSources(32, src);
  for (int i = 0; i < 32; ++i) {
    alSourcei(src[i], AL_BUFFER, static_cast<ALint>(buf));
    alSourcei(src[i], AL_LOOPING, AL_TRUE);
    alSourcef(src[i], AL_GAIN, 0.3f);
    if (i % 2) {
      alSource3f(src[i], AL_POSITION, static_cast<float>(i), 0, -3);
    } else {
      alSourcei(src[i], AL_SOURCE_RELATIVE, AL_TRUE);
      alSource3f(src[i], AL_POSITION, 0, 0, 0);
    }
  }
  alSourcePlayv(32, src);
  std::vector<float> out(44100 * 2);
  for (auto _ : state) {
    render(dev, out.data(), 44100);
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["x_realtime"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                    benchmark::Counter::kIsRate);
  alDeleteSources(32, src);
  alDeleteBuffers(1, &buf);
  alcMakeContextCurrent(nullptr);
  alcDestroyContext(ctx);
  alcCloseDevice(dev);
}
BENCHMARK(BM_PlainOpenAL32Sources)->Unit(benchmark::kMillisecond);

}  // namespace
