// Reading every start-up table of the demo world as start-up does (spells,
// materials and items, alternate textures, the 160 character tables,
// experience), beside the raw read of the same files' bytes through the file
// layer: how much the parsing and record building cost on top of the I/O.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// The plain form of start-up's work: each file read whole with open, read
// and close, then split into the tokens of the table grammar (blanks and
// comments skipped with lines counted; quoted strings, numbers and words),
// each number converted; nothing else: no records built, no checks.
size_t plain_tokens(const char* p, int64_t& sum) {
  size_t tokens = 0;
  int line = 1;
  for (;;) {
    const char c = *p;
    if (c == ' ' || c == '\t') {
      p++;
    } else if (c == '\r' || c == '\n') {
      line += c == '\n' || p[1] != '\n';
      p++;
    } else if (c == '/' && p[1] == '/') {
      while (*p && *p != '\r' && *p != '\n') p++;
    } else if (c == '/' && p[1] == '*') {
      for (p += 2; *p && !(p[0] == '*' && p[1] == '/'); p++) line += *p == '\n';
      if (*p) p += 2;
    } else if (c == '\0') {
      break;
    } else if (c == '"') {
      for (p++; *p && *p != '"'; p++) {}
      if (*p) p++;
      tokens++;
    } else if ((c >= '0' && c <= '9') || c == '-') {
      p += c == '-';
      int64_t v = 0;
      while (*p >= '0' && *p <= '9') v = v * 10 + (*p++ - '0');
      if (*p == '.')
        for (p++; *p >= '0' && *p <= '9'; p++) v += *p - '0';
      sum += v;
      tokens++;
    } else {
      while (*p && *p != ' ' && *p != '\t' && *p != '\r' && *p != '\n') p++;
      tokens++;
    }
  }
  sum += line;
  return tokens;
}

void BM_PlainReadAndTokenize(benchmark::State& state) {
  std::vector<std::string> paths;
  for (const auto& [name, type] : demo().files) {
    const std::string dir = type == Characterinfo_path_type ? "data/tables/characterinfo/" : "data/tables/";
    paths.push_back(demo().root + dir + name);
  }
  std::vector<char> buffer(1 << 16);
  size_t tokens = 0;
  for (auto _ : state) {
    tokens = 0;
    int64_t sum = 0;
    for (const std::string& path : paths) {
      const int fd = ::open(path.c_str(), O_RDONLY);
      if (fd < 0) continue;
      struct stat st;
      fstat(fd, &st);
      const size_t size = static_cast<size_t>(st.st_size);
      if (size + 1 > buffer.size()) buffer.resize(size + 1);
      size_t got = 0;
      for (ssize_t r; got < size && (r = ::read(fd, buffer.data() + got, size - got)) > 0;) got += static_cast<size_t>(r);
      ::close(fd);
      buffer[got] = '\0';
      tokens += plain_tokens(buffer.data(), sum);
    }
    benchmark::DoNotOptimize(sum);
  }
  state.counters["tokens"] = static_cast<double>(tokens);
}
BENCHMARK(BM_PlainReadAndTokenize)->Unit(benchmark::kMillisecond);

}  // namespace
