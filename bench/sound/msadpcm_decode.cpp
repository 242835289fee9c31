// MS-ADPCM decoding throughput: our decoder behind the compression-manager
// calls against libsndfile decoding the same file from memory.
#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <cstring>
#include <vector>

#include "quarn/sound/stream.h"
#include "tools/writers/wave_writer.h"

namespace {

const std::vector<uint8_t>& file() {
  static std::vector<uint8_t> f = wave_build_msadpcm(wave_melody(44100, 2, 10.0, 0.6), 2, 44100, 2048);
  return f;
}

void BM_OurDecoder(benchmark::State& state) {
  const auto& f = file();
  MmioFile* mf;
  WaveFormat *ff, *bf;
  MmioChunk riff, data;
  wave_open_memory(f.data(), static_cast<uint32_t>(f.size()), &mf, &ff, &bf, &riff);
  wave_find_data(mf, &data, &riff);
  std::vector<uint8_t> packed(data.size);
  uint32_t got = 0;
  wave_read(mf, data.size, packed.data(), &data, &got);
  WaveFormat pcm;
  AcmStream* s = nullptr;
  acm_open_stream(ff, &pcm, &s, 16);
  std::vector<uint8_t> out(static_cast<size_t>(acm_dest_size(s, got)));
  for (auto _ : state) {
    uint32_t du = 0, su = 0;
    acm_convert(s, packed.data(), got, out.data(), static_cast<uint32_t>(out.size()), &du, &su);
    benchmark::DoNotOptimize(out.data());
    state.SetBytesProcessed(state.bytes_processed() + du);
  }
  acm_close_stream(s);
  wave_free_formats(&ff, &bf);
  wave_close(mf);
}
BENCHMARK(BM_OurDecoder)->Unit(benchmark::kMillisecond);

struct Mem {
  const std::vector<uint8_t>* f;
  sf_count_t pos;
};

sf_count_t vlen(void* u) { return static_cast<sf_count_t>(static_cast<Mem*>(u)->f->size()); }
sf_count_t vseek(sf_count_t off, int whence, void* u) {
  Mem* m = static_cast<Mem*>(u);
  sf_count_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? m->pos : static_cast<sf_count_t>(m->f->size());
  m->pos = base + off;
  return m->pos;
}
sf_count_t vread(void* p, sf_count_t n, void* u) {
  Mem* m = static_cast<Mem*>(u);
  sf_count_t left = static_cast<sf_count_t>(m->f->size()) - m->pos;
  if (n > left) n = left < 0 ? 0 : left;
  std::memcpy(p, m->f->data() + m->pos, static_cast<size_t>(n));
  m->pos += n;
  return n;
}
sf_count_t vwrite(const void*, sf_count_t, void*) { return 0; }
sf_count_t vtell(void* u) { return static_cast<Mem*>(u)->pos; }

void BM_Libsndfile(benchmark::State& state) {
  const auto& f = file();
  std::vector<short> out(44100 * 2 * 11);
  for (auto _ : state) {
    Mem m{&f, 0};
    SF_VIRTUAL_IO io{vlen, vseek, vread, vwrite, vtell};
    SF_INFO info{};
    SNDFILE* sf = sf_open_virtual(&io, SFM_READ, &info, &m);
    sf_count_t n = sf_read_short(sf, out.data(), static_cast<sf_count_t>(out.size()));
    sf_close(sf);
    benchmark::DoNotOptimize(out.data());
    state.SetBytesProcessed(state.bytes_processed() + n * 2);
  }
}
BENCHMARK(BM_Libsndfile)->Unit(benchmark::kMillisecond);

}  // namespace
