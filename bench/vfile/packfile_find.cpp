// Member lookup over a full table of 13,500 members: the index built at
// mount time against a plain linear case-insensitive scan of the table; and
// the game's own lookup of the same members by bare name through the file
// layer (loose files first, in every data folder the name could lie in),
// with and without a path type, beside the index alone.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <strings.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "Orrimund/fs_paths.h"
#include "quarn/vfile/packfile/file_packfile.h"
#include "quarn/vfile/vfile.h"
#include "tools/writers/packfile_writer.h"

namespace {

constexpr int kMembers = MAX_PACKFILE_FILES;

struct Mounted {
  std::string root;
  std::vector<std::string> hits;
  std::vector<std::string> misses;
  std::vector<std::string> bare;

  Mounted() {
    char t[] = "/tmp/bench_findXXXXXX";
    root = mkdtemp(t);
    std::vector<PackfileMember> members;
    for (int i = 0; i < kMembers; ++i) {
      char name[64];
      std::snprintf(name, sizeof name, "mbr_%05d.tga", i);
      members.push_back(PackfileMember{name, {}});
      std::snprintf(name, sizeof name, "data\\maps\\MBR_%05d.TGA", (i * 7919) % kMembers);
      hits.push_back(name);
      bare.push_back(name + std::strlen("data\\maps\\"));
      std::snprintf(name, sizeof name, "data\\maps\\mis_%05d.tga", i);
      misses.push_back(name);
    }
    std::string err;
    if (!packfile_write(root + "/big.vpp", members, &err)) {
      std::fprintf(stderr, "%s\n", err.c_str());
      std::abort();
    }
    // The game's data folders, some there and holding loose files, as an
    // installation with a few overrides has them.
    for (const char* dir : {"data/maps/characters", "data/interface/pc", "data/fonts", "data/tables"}) {
      std::filesystem::create_directories(root + "/" + dir);
      for (int i = 0; i < 50; ++i) {
        std::FILE* f = std::fopen((root + "/" + dir + "/loose_" + std::to_string(i) + ".tga").c_str(), "wb");
        if (f) std::fclose(f);
      }
    }
    vfile_set_root(root.c_str(), false);
    fs_register_path_types();
    packfile_add("big.vpp");
  }
  ~Mounted() {
    vfile_shutdown();
    std::filesystem::remove_all(root);
  }
};

Mounted& mounted() {
  static Mounted m;
  return m;
}

PackfileEntry* linear_find(const char* path) {
  const char* name = path;
  for (const char* p = path; *p; ++p) {
    if (*p == '\\' || *p == '/') name = p + 1;
  }
  int n = packfile_num_files();
  for (int i = 0; i < n; ++i) {
    PackfileEntry* e = packfile_entry(i);
    if (strcasecmp(e->name, name) == 0) return e;
  }
  return nullptr;
}

void run(benchmark::State& state, bool hit, bool indexed) {
  Mounted& m = mounted();
  const std::vector<std::string>& names = hit ? m.hits : m.misses;
  size_t i = 0;
  for (auto _ : state) {
    const char* n = names[i].c_str();
    PackfileEntry* e = indexed ? packfile_find(n) : linear_find(n);
    benchmark::DoNotOptimize(e);
    if ((e != nullptr) != hit) state.SkipWithError("wrong lookup result");
    if (++i == names.size()) i = 0;
  }
}

// FileHandle::find as the game calls it: the bare name with its path type,
// or with none (every type that lists the extension, then the root).
void run_game_find(benchmark::State& state, int type) {
  Mounted& m = mounted();
  FileHandle fh;
  size_t i = 0;
  for (auto _ : state) {
    const bool found = fh.find(m.bare[i].c_str(), type);
    benchmark::DoNotOptimize(found);
    if (!found || !fh.pack_entry()) state.SkipWithError("member not found");
    if (++i == m.bare.size()) i = 0;
  }
}

// The index alone, asked with the same bare names.
void BM_PackfileFindBareHit(benchmark::State& state) {
  Mounted& m = mounted();
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(packfile_find(m.bare[i].c_str()));
    if (++i == m.bare.size()) i = 0;
  }
}
void BM_GameFindWithPathType(benchmark::State& s) { run_game_find(s, Maps_path_type); }
void BM_GameFindAnyType(benchmark::State& s) { run_game_find(s, VFILE_ANY_TYPE); }

void BM_PackfileFindHit(benchmark::State& s) { run(s, true, true); }
void BM_PackfileFindMiss(benchmark::State& s) { run(s, false, true); }
void BM_LinearScanHit(benchmark::State& s) { run(s, true, false); }
void BM_LinearScanMiss(benchmark::State& s) { run(s, false, false); }

}  // namespace

BENCHMARK(BM_PackfileFindHit);
BENCHMARK(BM_PackfileFindMiss);
BENCHMARK(BM_LinearScanHit);
BENCHMARK(BM_LinearScanMiss);
BENCHMARK(BM_PackfileFindBareHit);
BENCHMARK(BM_GameFindWithPathType);
BENCHMARK(BM_GameFindAnyType);
