// Reading a 64 MiB packfile member through the file layer, beside fread on
// the same bytes of the packfile; both come from the page cache after the
// first pass.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "quarn/vfile/packfile/file_packfile.h"
#include "quarn/vfile/vfile.h"
#include "tools/writers/packfile_writer.h"

namespace {

constexpr int kSize = 64 << 20;

struct Fixture {
  std::string root;
  int offset = 0;

  Fixture() {
    char t[] = "/tmp/bench_readXXXXXX";
    root = mkdtemp(t);
    std::vector<PackfileMember> members(2);
    members[0].name = "small.bin";
    members[0].data.assign(100, 1);
    members[1].name = "big.bin";
    members[1].data.resize(kSize);
    for (int i = 0; i < kSize; ++i) members[1].data[static_cast<size_t>(i)] = static_cast<uint8_t>(i * 31);
    std::string err;
    if (!packfile_write(root + "/levels.vpp", members, &err)) std::abort();
    vfile_set_root(root.c_str(), false);
    vfile_add_path_type("", ".bin");
    packfile_add("levels.vpp");
    int size = 0;
    packfile_locate("levels.vpp", "big.bin", &size, &offset);
  }
  ~Fixture() {
    vfile_shutdown();
    std::filesystem::remove_all(root);
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

void BM_VfileRead(benchmark::State& state) {
  Fixture& f = fixture();
  int chunk = static_cast<int>(state.range(0));
  std::vector<char> buf(static_cast<size_t>(chunk));
  for (auto _ : state) {
    FileHandle fh;
    if (fh.open("big.bin", VF_READ, 0) != 0) {
      state.SkipWithError("open failed");
      break;
    }
    for (int done = 0; done < kSize; done += chunk) {
      if (fh.read(buf.data(), chunk) != chunk) {
        state.SkipWithError("short read");
        break;
      }
    }
    benchmark::DoNotOptimize(buf.data());
  }
  (void)f;
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kSize));
}

void BM_Fread(benchmark::State& state) {
  Fixture& f = fixture();
  int chunk = static_cast<int>(state.range(0));
  std::vector<char> buf(static_cast<size_t>(chunk));
  std::string path = f.root + "/levels.vpp";
  for (auto _ : state) {
    FILE* fp = std::fopen(path.c_str(), "rb");
    std::fseek(fp, f.offset, SEEK_SET);
    for (int done = 0; done < kSize; done += chunk) {
      if (std::fread(buf.data(), 1, static_cast<size_t>(chunk), fp) != static_cast<size_t>(chunk)) {
        state.SkipWithError("short read");
        break;
      }
    }
    std::fclose(fp);
    benchmark::DoNotOptimize(buf.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kSize));
}

}  // namespace

BENCHMARK(BM_VfileRead)->Arg(4096)->Arg(65536)->Arg(1 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Fread)->Arg(4096)->Arg(65536)->Arg(1 << 20)->Unit(benchmark::kMillisecond);
