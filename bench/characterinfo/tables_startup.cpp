// Reading every start-up table of the demo world as start-up does (spells,
// materials and items, alternate textures, the 160 character tables,
// experience), beside the raw read of the same files' bytes through the file
// layer: how much the parsing and record building cost on top of the I/O.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Engine/Objects/items.h"
#include "Engine/characterinfo/alt_textures.h"
#include "Engine/characterinfo/characterinfo.h"
#include "Engine/characterinfo/experience.h"
#include "Engine/characterinfo/spells.h"
#include "Orrimund/fs_paths.h"
#include "quarn/os/console.h"
#include "quarn/vfile/vfile.h"
#include "tools/writers/table_writers.h"

namespace {

struct DemoRoot {
  std::string root;
  std::vector<std::pair<std::string, int>> files;  // name, path type
  DemoRoot() {
    root = (std::filesystem::temp_directory_path() / "orrimund_bench_tables").string() + "/";
    std::filesystem::remove_all(root);
    table_write_demo_tables(root);
    vfile_set_root(root.c_str(), false);
    fs_register_path_types();
    for (const char* t : {"spells.tbl", "materials.tbl", "items.tbl", "alt_textures.tbl", "experience.tbl"})
      files.push_back({t, Tables_path_type});
    for (const auto& e : std::filesystem::directory_iterator(root + "data/tables/characterinfo"))
      files.push_back({e.path().filename().string(), Characterinfo_path_type});
  }
};

DemoRoot& demo() {
  static DemoRoot d;
  return d;
}

void startup_tables() {
  spells_load();
  item_tables_init();
  alt_textures_load();
  charinfo_reset();
  charinfo_init();
  experience_load();
}

void BM_StartupTables(benchmark::State& state) {
  demo();
  console_set_output_hook([](const char*) {});
  for (auto _ : state) {
    startup_tables();
    benchmark::DoNotOptimize(Num_character_infos);
  }
  state.counters["types"] = Num_character_infos;
}
BENCHMARK(BM_StartupTables)->Unit(benchmark::kMillisecond);

// The baseline: the same files opened and read whole through the file
// layer, as the parser does before it parses.
void BM_RawReadSameBytes(benchmark::State& state) {
  std::vector<char> buffer(1 << 16);
  size_t total = 0;
  for (auto _ : state) {
    total = 0;
    for (const auto& [name, type] : demo().files) {
      FileHandle fh;
      if (fh.open(name.c_str(), VF_READ, type) != 0) continue;
      const int size = fh.size();
      if (static_cast<size_t>(size) > buffer.size()) buffer.resize(static_cast<size_t>(size));
      total += static_cast<size_t>(fh.read(buffer.data(), size));
    }
    benchmark::DoNotOptimize(total);
  }
  state.counters["bytes"] = static_cast<double>(total);
  state.counters["files"] = static_cast<double>(demo().files.size());
}
BENCHMARK(BM_RawReadSameBytes)->Unit(benchmark::kMillisecond);

}  // namespace
