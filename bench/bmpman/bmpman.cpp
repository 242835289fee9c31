// Loading and locking a 1024 x 1024 run-length Targa through the bitmap
// manager, beside stb_image decoding the same file from memory. The manager
// also reads the file, so the comparison is in stb_image's favour.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "quarn/bmpman/bmpman.h"
#include "quarn/bmpman/targautils.h"
#include "quarn/vfile/vfile.h"
#include "tools/writers/image_writers.h"

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_TGA
#define STBI_NO_STDIO
#include <stb/stb_image.h>

namespace {

constexpr int kSize = 1024;

// A picture like a game texture: flat areas (runs) and noisy detail (raw
// packets), 24 bits.
std::vector<uint8_t> texture() {
  std::vector<uint8_t> out;
  out.reserve(static_cast<size_t>(kSize) * kSize * 3);
  uint32_t noise = 12345;
  for (int y = 0; y < kSize; y++) {
    for (int x = 0; x < kSize; x++) {
      const bool flat = ((x / 64) + (y / 64)) % 3 == 0;
      noise = noise * 1103515245u + 12345u;
      const uint8_t n = flat ? 0 : static_cast<uint8_t>(noise >> 24) & 15;
      out.push_back(static_cast<uint8_t>((x / 4) + n));
      out.push_back(static_cast<uint8_t>((y / 4) + n));
      out.push_back(static_cast<uint8_t>(flat ? 90 : 128 + n));
    }
  }
  return out;
}

struct Fixture {
  std::string root;
  std::vector<uint8_t> file;
  Fixture() {
    root = (std::filesystem::temp_directory_path() / ("orrimund_bm_bench_" + std::to_string(::getpid()))).string() + "/";
    std::filesystem::create_directories(root);
    const auto pixels = texture();
    TgaWriterOptions o;
    o.rle = true;
    file = tga_build(pixels.data(), kSize, kSize, 24, o);
    image_write_bytes(root + "bench.tga", file);
    vfile_set_root(root.c_str(), false);
    bm_init();
  }
  ~Fixture() {
    bm_close();
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

void BM_ManagerLoadAndLock(benchmark::State& state) {
  fixture();
  for (auto _ : state) {
    bm_set_mark();
    const int h = bm_load("bench.tga");
    uint8_t* data = nullptr;
    uint8_t* palette = nullptr;
    if (bm_lock(h, &data, &palette) != BM_FORMAT_BGR24) state.SkipWithError("lock failed");
    benchmark::DoNotOptimize(data);
    bm_unlock(h);
    bm_release_from_mark();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kSize * kSize * 3);
}
BENCHMARK(BM_ManagerLoadAndLock)->Unit(benchmark::kMillisecond);

void BM_TargaDecodeFromMemory(benchmark::State& state) {
  const auto& file = fixture().file;
  std::vector<uint8_t> pixels(static_cast<size_t>(kSize) * kSize * 3);
  for (auto _ : state) {
    if (targa_decode(file.data(), file.size(), pixels.data(), pixels.size(), nullptr) != 0)
      state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(pixels.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kSize * kSize * 3);
}
BENCHMARK(BM_TargaDecodeFromMemory)->Unit(benchmark::kMillisecond);

void BM_StbImageDecodeFromMemory(benchmark::State& state) {
  const auto& file = fixture().file;
  for (auto _ : state) {
    int w = 0, h = 0, n = 0;
    stbi_uc* pixels = stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &w, &h, &n, 0);
    if (!pixels || w != kSize) state.SkipWithError("stb_image failed");
    benchmark::DoNotOptimize(pixels);
    stbi_image_free(pixels);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kSize * kSize * 3);
}
BENCHMARK(BM_StbImageDecodeFromMemory)->Unit(benchmark::kMillisecond);

}  // namespace
