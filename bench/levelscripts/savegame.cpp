// Writing and reading a whole save against the plain system calls moving the
// same bytes: write() of the image to a new file, fsync and rename over the
// old one (what keeps a save safe), and a plain read() of the file.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Orrimund/fs_paths.h"
#include "levelscripts/level_flags.h"
#include "levelscripts/savegame.h"
#include "quarn/vfile/vfile.h"
#include "tests/support/game_tables.h"
#include "tools/writers/script_table_writers.h"

namespace {

std::string Root;

void set_up() {
  static bool done = false;
  if (done) return;
  done = true;
  Root = (std::filesystem::temp_directory_path() / "bench_savegame").string();
  std::filesystem::remove_all(Root);
  std::filesystem::create_directories(Root + "/data/tables");
  std::ofstream(Root + "/data/tables/demo_events.tbl", std::ios::binary)
      << demo_events_text(game_event_declarations(), demo_quests());
  vfile_set_root(Root.c_str(), false);
  fs_register_path_types();
  load_demo_spells_and_items();
  level_flags_init();
  savegame_init();
  level_position_set_level("masad", "");
  level_flag_set(level_script_info_lookup("eleh"), "found_ruvizo", true);
  save_write("bench.sav", "bench");
}

void BM_SaveWrite(benchmark::State& state) {
  set_up();
  for (auto _ : state) {
    if (!save_write("bench.sav", "bench")) state.SkipWithError("save failed");
  }
  state.SetBytesProcessed(state.iterations() * Save_image.cursor);
}

void BM_PlainWriteFsyncRename(benchmark::State& state) {
  set_up();
  const std::string path = Root + "/savegame/plain.sav", tmp = path + ".tmp";
  for (auto _ : state) {
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (write(fd, Save_image.buffer, Save_image.cursor) != Save_image.cursor) state.SkipWithError("write");
    fsync(fd);
    close(fd);
    std::rename(tmp.c_str(), path.c_str());
  }
  state.SetBytesProcessed(state.iterations() * Save_image.cursor);
}

void BM_PlainWrite(benchmark::State& state) {
  set_up();
  const std::string path = Root + "/savegame/plain.sav";
  for (auto _ : state) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (write(fd, Save_image.buffer, Save_image.cursor) != Save_image.cursor) state.SkipWithError("write");
    close(fd);
  }
  state.SetBytesProcessed(state.iterations() * Save_image.cursor);
}

void BM_SaveRead(benchmark::State& state) {
  set_up();
  for (auto _ : state) {
    if (!save_read("bench.sav", 0)) state.SkipWithError("load failed");
  }
  state.SetBytesProcessed(state.iterations() * Save_image.cursor);
}

void BM_PlainRead(benchmark::State& state) {
  set_up();
  const std::string path = Root + "/savegame/bench.sav";
  std::vector<uint8_t> buffer(static_cast<size_t>(Save_image.cursor));
  for (auto _ : state) {
    int fd = open(path.c_str(), O_RDONLY);
    if (read(fd, buffer.data(), buffer.size()) != static_cast<ssize_t>(buffer.size())) state.SkipWithError("read");
    close(fd);
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(state.iterations() * Save_image.cursor);
}

}  // namespace

BENCHMARK(BM_SaveWrite)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainWriteFsyncRename)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainWrite)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SaveRead)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMicrosecond);
